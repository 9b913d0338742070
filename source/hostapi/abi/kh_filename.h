/* Family 9: file names. [thread-safe] for distinct values. */
#ifndef KH_FILENAME_H
#define KH_FILENAME_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhFilenameFamily {
  void(KH_CALL* init)(KhFilenameValue* fn);
  void(KH_CALL* init_copy)(KhFilenameValue* dst, const KhFilenameValue* src);
  void(KH_CALL* assign)(KhFilenameValue* dst, const KhFilenameValue* src);
  void(KH_CALL* free)(KhFilenameValue* fn);
  void(KH_CALL* set_string)(KhFilenameValue* fn, const KhStringValue* text);
  /* Initialises `out` with the file name as text. */
  void(KH_CALL* get_string)(const KhFilenameValue* fn, KhStringValue* out);
  /* Initialises `out` with the directory part (empty when there is none). */
  void(KH_CALL* get_directory)(const KhFilenameValue* fn, KhFilenameValue* out);
  /* Initialises `out` with the last component. */
  void(KH_CALL* get_file)(const KhFilenameValue* fn, KhFilenameValue* out);
  /* fn = fn joined with `component` by the platform's separator. */
  void(KH_CALL* add_component)(KhFilenameValue* fn, const KhFilenameValue* component);
  /* True when not empty. */
  int32_t(KH_CALL* content)(const KhFilenameValue* fn);
} KhFilenameFamily;

#ifdef __cplusplus
}
#endif
#endif
