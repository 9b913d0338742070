#include "host_table.h"

const KhHostTable* t_HostOS = nullptr;

int32 InitOS(const void* table) {
  t_HostOS = static_cast<const KhHostTable*>(table);
  return t_HostOS ? t_HostOS->version : 0;
}
