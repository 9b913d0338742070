/* Family 4: parameter containers (BaseContainer). Entries are keyed by int32
 * IDs; a container also carries an ID of its own (-1 when empty). All entries
 * take the container storage first. [thread-safe] for distinct containers. */
#ifndef KH_CONTAINER_H
#define KH_CONTAINER_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhContainerFamily {
  /* Initialises storage as an empty container with ID `id`. */
  void(KH_CALL* init)(KhContainerValue* bc, int32_t id);
  /* Releases the contents; the storage may be initialised again afterwards. */
  void(KH_CALL* free)(KhContainerValue* bc);
  /* Initialises `dst` as a deep copy of `src`. */
  void(KH_CALL* init_copy)(KhContainerValue* dst, const KhContainerValue* src);
  /* Replaces the contents of initialised `dst` with a deep copy of `src`. */
  void(KH_CALL* assign)(KhContainerValue* dst, const KhContainerValue* src);
  int32_t(KH_CALL* get_id)(const KhContainerValue* bc);
  void(KH_CALL* set_id)(KhContainerValue* bc, int32_t id);
  /* Position of entry `id`, or -1 when there is none. */
  int32_t(KH_CALL* find_index)(const KhContainerValue* bc, int32_t id);
  /* Typed reads of an entry that exists; a value of another type converts
   * where it can (long <-> real) and answers 0 otherwise. */
  int32_t(KH_CALL* get_long)(const KhContainerValue* bc, int32_t id);
  float(KH_CALL* get_real)(const KhContainerValue* bc, int32_t id);
  void(KH_CALL* get_vector)(const KhContainerValue* bc, int32_t id, KhVector* out);
  void(KH_CALL* get_matrix)(const KhContainerValue* bc, int32_t id, KhMatrix* out);
  /* Initialises `out` with the string of entry `id` (empty when none). */
  void(KH_CALL* get_string)(const KhContainerValue* bc, int32_t id, KhStringValue* out);
  /* The typed value of entry `id`, owned by the container, or null. */
  const KhDataValue*(KH_CALL* get_data)(const KhContainerValue* bc, int32_t id);
  /* The object that link entry `id` names, if it resolves inside `doc` to a node
   * of type `type` (5155: any scene object); otherwise null. */
  KhNode*(KH_CALL* get_link)(const KhContainerValue* bc, int32_t id, KhDocument* doc,
                             int32_t type);
  /* The sub-container of entry `id`, owned by the container, or null. */
  KhContainerValue*(KH_CALL* get_container)(KhContainerValue* bc, int32_t id);
  void(KH_CALL* set_long)(KhContainerValue* bc, int32_t id, int32_t v);
  void(KH_CALL* set_real)(KhContainerValue* bc, int32_t id, float v);
  void(KH_CALL* set_vector)(KhContainerValue* bc, int32_t id, const KhVector* v);
  void(KH_CALL* set_matrix)(KhContainerValue* bc, int32_t id, const KhMatrix* v);
  void(KH_CALL* set_string)(KhContainerValue* bc, int32_t id, const KhStringValue* v);
  /* Stores a copy of `v` under `id`. */
  void(KH_CALL* set_data)(KhContainerValue* bc, int32_t id, const KhDataValue* v);
  /* Stores a link to `node` (null: an empty link). */
  void(KH_CALL* set_link)(KhContainerValue* bc, int32_t id, KhNode* node);
  void(KH_CALL* set_container)(KhContainerValue* bc, int32_t id, const KhContainerValue* v);
  /* Removes entry `id`; true when there was one. */
  int32_t(KH_CALL* remove)(KhContainerValue* bc, int32_t id);
  /* Number of entries. */
  int32_t(KH_CALL* count)(const KhContainerValue* bc);
} KhContainerFamily;

#ifdef __cplusplus
}
#endif
#endif
