/* Family 15: a module's local resources (its "res" directory). [main-thread]
 * for load and free; string reads [thread-safe]. */
#ifndef KH_RESOURCE_H
#define KH_RESOURCE_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhResourceFamily {
  /* Opens the "res" directory inside module directory `dir`: its string table
   * and descriptions. Null when it is missing or unreadable. */
  KhResource*(KH_CALL* load)(const KhFilenameValue* dir);
  void(KH_CALL* free)(KhResource* res);
  /* The string with this ID, owned by the resource; the shared empty string
   * when there is none. */
  const KhStringValue*(KH_CALL* load_string)(KhResource* res, int32_t id);
} KhResourceFamily;

#ifdef __cplusplus
}
#endif
#endif
