/* Family 12: dialogs and their gadgets. [main-thread] (the GUI thread).
 * Every message for a dialog or one of its user areas reaches the module
 * through the one callback that the module gives at `create`. */
#ifndef KH_DIALOG_H
#define KH_DIALOG_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

/* The module's message callback: `area` is null for messages to the dialog
 * itself. Answers the message's truth value. */
typedef int32_t(KH_CALL* KhDialogCallback)(KhDialog* dialog, KhUserArea* area,
                                           const KhContainerValue* message);

typedef struct KhDialogFamily {
  /* Creates the host side of a dialog that routes its messages to `callback`
   * with `user_object` (the module's dialog object) attached. `plugin` is the
   * custom GUI record for custom GUI dialogs, else null. Null on failure. */
  KhDialog*(KH_CALL* create)(KhDialogCallback callback, void* user_object, const void* plugin);
  /* Releases the host side; no message is sent afterwards. */
  void(KH_CALL* destroy)(KhDialog* dialog);
  /* The module's object given at `create`, or null. */
  void*(KH_CALL* get_user_object)(KhDialog* dialog);
  /* Sends `result` to the host as the answer of the message being handled. */
  void(KH_CALL* set_message_result)(KhDialog* dialog, const KhContainerValue* result);
  int32_t(KH_CALL* group_begin)(KhDialog* dialog, int32_t id, int32_t flags, int32_t cols,
                                int32_t rows, const KhStringValue* title, int32_t groupflags);
  int32_t(KH_CALL* group_end)(KhDialog* dialog);
  int32_t(KH_CALL* group_border_no_title)(KhDialog* dialog, int32_t style);
  int32_t(KH_CALL* group_border_space)(KhDialog* dialog, int32_t left, int32_t top,
                                       int32_t right, int32_t bottom);
  /* Adds a user-area gadget; its handle, or null. */
  KhGadget*(KH_CALL* add_user_area)(KhDialog* dialog, int32_t id, int32_t flags, int32_t width,
                                    int32_t height);
  /* Binds the module's user-area object `area_object` to a gadget (by handle,
   * or by `id` when `gadget` is null). Answers the new user-area handle, owned
   * by the module and released with the user-area family's `free`; or null. */
  KhUserArea*(KH_CALL* attach_user_area)(KhDialog* dialog, int32_t id, void* area_object,
                                         int32_t flags, KhGadget* gadget);
  /* Queues a redraw of gadget `id` for later. */
  void(KH_CALL* redraw_later)(KhDialog* dialog, int32_t id);
  /* Sends `message` to gadget `id` now; initialises `answer` with its answer. */
  int32_t(KH_CALL* send_gadget_message)(KhDialog* dialog, int32_t id,
                                        const KhContainerValue* message, KhContainerValue* answer);
  /* Asks the host whether the dialog may do `code` (32: close). */
  int32_t(KH_CALL* check)(KhDialog* dialog, int32_t code);
  /* Tells the host that a custom GUI dialog goes away. */
  void(KH_CALL* custom_gui_destroyed)(KhDialog* dialog);
} KhDialogFamily;

#ifdef __cplusplus
}
#endif
#endif
