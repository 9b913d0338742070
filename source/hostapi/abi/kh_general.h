/* Family 1: general services (memory, console, registration, registry,
 * modelling commands, web pages, plug-in look-up). All entries [thread-safe]
 * unless marked [main-thread]. */
#ifndef KH_GENERAL_H
#define KH_GENERAL_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhGeneralFamily {
  /* A zero-filled block of at least `size` bytes (size > 0), or null when memory
   * is exhausted. `line`/`file` are bookkeeping only and may be 0/null. */
  void*(KH_CALL* alloc)(int64_t size, int32_t line, const char* file);
  /* Releases a block from `alloc`. Null is ignored. */
  void(KH_CALL* free)(void* block);
  /* Writes one line to the host console. */
  void(KH_CALL* print)(const KhStringValue* text);
  /* Opens a web address in the user's browser (a headless host prints it). */
  void(KH_CALL* open_html)(const KhStringValue* address);
  /* [main-thread] Registers a plug-in. `api_version` is the interface version the
   * module was built for; `type` 2 shader, 8 object, 10 tag, 27 custom GUI.
   * `record` points at a record of `record_size` bytes; the host copies it
   * before returning. True on success; false for a taken ID or a bad record. */
  int32_t(KH_CALL* register_plugin)(int32_t api_version, int32_t type, int32_t id,
                                    const KhStringValue* name, const void* record,
                                    int32_t record_size);
  /* [main-thread] Adds `data` to the registry under (type, id). The caller keeps
   * ownership; `data` must live as long as the module. False when taken. */
  int32_t(KH_CALL* registry_add)(int32_t id, int32_t type, void* data);
  /* The registry entry (type, id), or null. Valid as long as the registry. */
  KhRegistry*(KH_CALL* registry_find)(int32_t id, int32_t type);
  /* The data pointer of a registry entry. */
  void*(KH_CALL* registry_get_data)(KhRegistry* entry);
  /* The registered record of plug-in `id` of `type` as the host keeps it, or
   * null. */
  const void*(KH_CALL* find_plugin)(int32_t id, int32_t type);
  /* Runs modelling command `command` on data->op. True on success. */
  int32_t(KH_CALL* send_modeling_command)(int32_t command, KhModelingCommandData* data);
  /* Releases the result list of a modelling command record (null ignored). */
  void(KH_CALL* free_modeling_result)(void* result);
} KhGeneralFamily;

#ifdef __cplusplus
}
#endif
#endif
