/* Family 38: typed values (GeData). A value holds nothing (KH_DA_NIL), a long,
 * a real, a vector, a matrix, a string, a file name, a link, a container or a
 * custom data object of a registered custom data type. [thread-safe] for
 * distinct values. */
#ifndef KH_DATA_H
#define KH_DATA_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhDataFamily {
  void(KH_CALL* init)(KhDataValue* d);
  void(KH_CALL* init_copy)(KhDataValue* dst, const KhDataValue* src);
  void(KH_CALL* assign)(KhDataValue* dst, const KhDataValue* src);
  void(KH_CALL* free)(KhDataValue* d);
  int32_t(KH_CALL* get_type)(const KhDataValue* d);
  void(KH_CALL* set_long)(KhDataValue* d, int32_t v);
  void(KH_CALL* set_real)(KhDataValue* d, float v);
  void(KH_CALL* set_vector)(KhDataValue* d, const KhVector* v);
  void(KH_CALL* set_string)(KhDataValue* d, const KhStringValue* v);
  void(KH_CALL* set_filename)(KhDataValue* d, const KhFilenameValue* v);
  int32_t(KH_CALL* get_long)(const KhDataValue* d);
  float(KH_CALL* get_real)(const KhDataValue* d);
  void(KH_CALL* get_vector)(const KhDataValue* d, KhVector* out);
  /* Initialises `out` with the value as text (a file name's path; empty for
   * types without text). */
  void(KH_CALL* get_string)(const KhDataValue* d, KhStringValue* out);
  /* Initialises `out` with the value as a file name. */
  void(KH_CALL* get_filename)(const KhDataValue* d, KhFilenameValue* out);
  /* Makes `d` a new custom data value of `type` with the type's default
   * content. False when the type is unknown or memory is short. */
  int32_t(KH_CALL* init_custom)(KhDataValue* d, int32_t type);
  /* Makes `d` hold a copy of `data` as custom data of `type`. */
  int32_t(KH_CALL* set_custom)(KhDataValue* d, int32_t type, const KhCustomData* data);
  /* The custom data object of `type` held by `d` (owned by `d`), or null when
   * `d` holds another type. */
  KhCustomData*(KH_CALL* get_custom)(const KhDataValue* d, int32_t type);
} KhDataFamily;

#ifdef __cplusplus
}
#endif
#endif
