/* Family 5: strings (UTF-8 inside). [thread-safe] for distinct values. */
#ifndef KH_STRING_H
#define KH_STRING_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhStringFamily {
  /* The host's shared empty string; answered by resource look-ups when no
   * resource is loaded. Never freed by the module. */
  const KhStringValue* shared_empty;
  void(KH_CALL* init)(KhStringValue* s);
  /* Initialises from NUL-terminated UTF-8 (null: empty). */
  void(KH_CALL* init_cstr)(KhStringValue* s, const char* text);
  void(KH_CALL* init_copy)(KhStringValue* dst, const KhStringValue* src);
  void(KH_CALL* assign)(KhStringValue* dst, const KhStringValue* src);
  void(KH_CALL* free)(KhStringValue* s);
  /* True when the string is not empty. */
  int32_t(KH_CALL* content)(const KhStringValue* s);
  /* Length in bytes of the UTF-8 text. */
  int32_t(KH_CALL* length)(const KhStringValue* s);
  /* Copies at most size-1 bytes and a NUL into buf; answers the full length. */
  int32_t(KH_CALL* get_cstr)(const KhStringValue* s, char* buf, int32_t size);
  /* dst = dst + add. */
  void(KH_CALL* append)(KhStringValue* dst, const KhStringValue* add);
  /* True when equal. */
  int32_t(KH_CALL* compare)(const KhStringValue* a, const KhStringValue* b);
} KhStringFamily;

#ifdef __cplusplus
}
#endif
#endif
