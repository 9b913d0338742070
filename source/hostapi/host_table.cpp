#include "host_table.h"

// The boundary's sizes and offsets for this pointer width, checked where the
// module takes the table.
#include "kh_layout.h"

const KhHostTable* t_HostOS = nullptr;

int32 InitOS(const void* table) {
  t_HostOS = static_cast<const KhHostTable*>(table);
  return t_HostOS ? t_HostOS->version : 0;
}
