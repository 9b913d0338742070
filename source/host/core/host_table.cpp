#include "families.h"

namespace kurvo::host {

KhHostTable makeHostTable(int32_t version) noexcept {
  KhHostTable t{};
  t.version = version;
  t.general = generalFamily();
  t.container = containerFamily();
  t.string = stringFamily();
  t.bitmap = bitmapFamily();
  t.filename = filenameFamily();
  t.dialog = dialogFamily();
  t.user_area = userAreaFamily();
  t.resource = resourceFamily();
  t.list_node = listNodeFamily();
  t.object = objectFamily();
  t.thread = threadFamily();
  t.draw = drawFamily();
  t.data = dataFamily();
  t.node_member = nodeMemberFamily();
  return t;
}

}  // namespace kurvo::host
