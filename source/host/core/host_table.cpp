#include "families.h"
#include "kh_layout.h"

// The positions of the families in the table are part of the published
// interface: a module built against another layout would call the wrong
// family. Counted from 1 for the first pointer after the version.
static_assert(offsetof(KhHostTable, general) == sizeof(void*), "the version is followed by the row of pointers");
static_assert(KH_TABLE_POSITION(general) == 1);
static_assert(KH_TABLE_POSITION(container) == 4);
static_assert(KH_TABLE_POSITION(string) == 5);
static_assert(KH_TABLE_POSITION(bitmap) == 6);
static_assert(KH_TABLE_POSITION(filename) == 9);
static_assert(KH_TABLE_POSITION(dialog) == 12);
static_assert(KH_TABLE_POSITION(user_area) == 13);
static_assert(KH_TABLE_POSITION(resource) == 15);
static_assert(KH_TABLE_POSITION(list_node) == 16);
static_assert(KH_TABLE_POSITION(object) == 18);
static_assert(KH_TABLE_POSITION(thread) == 20);
static_assert(KH_TABLE_POSITION(draw) == 28);
static_assert(KH_TABLE_POSITION(data) == 38);
static_assert(KH_TABLE_POSITION(node_member) == 39);
static_assert(KH_TABLE_POSITION(task) == 40);
static_assert(KH_TABLE_POSITION(spline_batch) == 41);

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
  t.task = taskFamily();
  t.spline_batch = splineBatchFamily();
  return t;
}

}  // namespace kurvo::host
