/* Family 13: user areas (drawing areas inside a dialog). [main-thread].
 * Coordinates are area pixels, x to the right, y downward. */
#ifndef KH_USERAREA_H
#define KH_USERAREA_H
#include "kh_types.h"
#ifdef __cplusplus
extern "C" {
#endif

typedef struct KhUserAreaFamily {
  /* Releases a handle from the dialog family's `attach_user_area`. */
  void(KH_CALL* free)(KhUserArea* area);
  /* The module's object bound at attach time, or null. */
  void*(KH_CALL* get_user_object)(KhUserArea* area);
  int32_t(KH_CALL* get_id)(KhUserArea* area);
  int32_t(KH_CALL* get_width)(KhUserArea* area);
  int32_t(KH_CALL* get_height)(KhUserArea* area);
  /* The area's minimum size, as its GetMinSize answered it. */
  void(KH_CALL* set_min_size)(KhUserArea* area, int32_t width, int32_t height);
  /* Pen colour (red, green, blue in 0..1) for what follows. */
  void(KH_CALL* draw_set_pen)(KhUserArea* area, const KhVector* colour);
  /* Filled rectangle, corners inclusive. */
  void(KH_CALL* draw_rectangle)(KhUserArea* area, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  /* Copies the source rectangle of `bmp` to the destination rectangle. */
  void(KH_CALL* draw_bitmap)(KhUserArea* area, KhBitmap* bmp, int32_t wx, int32_t wy, int32_t ww,
                             int32_t wh, int32_t x, int32_t y, int32_t w, int32_t h, int32_t mode);
  /* Switches the current draw message to off-screen drawing. */
  void(KH_CALL* off_screen_on)(KhUserArea* area);
  /* Periodic timer messages every `ms` milliseconds; 0 stops them. */
  void(KH_CALL* set_timer)(KhUserArea* area, int32_t ms);
  /* Polls device/channel into `result` (initialised by the caller). */
  int32_t(KH_CALL* get_input_state)(KhUserArea* area, int32_t device, int32_t channel,
                                    KhContainerValue* result);
  /* Screen to area coordinates, in place. */
  void(KH_CALL* global_to_local)(KhUserArea* area, int32_t* x, int32_t* y);
  /* Hands `message` to the dialog that holds the area. */
  int32_t(KH_CALL* send_parent_message)(KhUserArea* area, const KhContainerValue* message);
} KhUserAreaFamily;

#ifdef __cplusplus
}
#endif
#endif
