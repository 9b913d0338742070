// User areas: drawing into the off-screen canvas, timers and input polls.
#include "boundary.h"
#include "families.h"
#include "gui.h"
#include "host_state.h"
#include "memory.h"

namespace kurvo::host {
namespace {

void KH_CALL release(KhUserArea* handle) {
  if (UserArea* a = userAreaFrom(handle)) {
    delete a;
    LiveHandles::removed();
  }
}
void* KH_CALL getUserObject(KhUserArea* handle) {
  UserArea* a = userAreaFrom(handle);
  return a ? a->areaObject : nullptr;
}
int32_t KH_CALL getId(KhUserArea* handle) {
  UserArea* a = userAreaFrom(handle);
  return a ? a->id : 0;
}
int32_t KH_CALL getWidth(KhUserArea* handle) {
  UserArea* a = userAreaFrom(handle);
  return a ? a->width : 0;
}
int32_t KH_CALL getHeight(KhUserArea* handle) {
  UserArea* a = userAreaFrom(handle);
  return a ? a->height : 0;
}
void KH_CALL setMinSize(KhUserArea* handle, int32_t w, int32_t h) {
  if (UserArea* a = userAreaFrom(handle)) {
    a->minWidth = w;
    a->minHeight = h;
  }
}
void KH_CALL drawSetPen(KhUserArea* handle, const KhVector* colour) {
  guardedVoid([&] {
    UserArea* a = userAreaFrom(handle);
    if (!a || !colour) return;
    a->pen = *colour;
    DrawCall call{DrawCall::Kind::Pen};
    call.pen = *colour;
    a->calls.push_back(call);
  });
}
void KH_CALL drawRectangle(KhUserArea* handle, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  guardedVoid([&] {
    UserArea* a = userAreaFrom(handle);
    if (!a) return;
    DrawCall call{DrawCall::Kind::Rectangle};
    call.pen = a->pen;
    call.v[0] = x1;
    call.v[1] = y1;
    call.v[2] = x2;
    call.v[3] = y2;
    a->calls.push_back(call);
    a->fillRect(x1, y1, x2, y2);
  });
}
void KH_CALL drawBitmap(KhUserArea* handle, KhBitmap* bmp, int32_t wx, int32_t wy, int32_t ww,
                        int32_t wh, int32_t x, int32_t y, int32_t w, int32_t h, int32_t mode) {
  guardedVoid([&] {
    UserArea* a = userAreaFrom(handle);
    const Bitmap* b = bitmapFrom(bmp);
    if (!a || !b) return;
    DrawCall call{DrawCall::Kind::Bitmap};
    const int32_t values[9] = {wx, wy, ww, wh, x, y, w, h, mode};
    for (int i = 0; i < 9; ++i) call.v[i] = values[i];
    a->calls.push_back(call);
    a->blit(*b, wx, wy, ww, wh, x, y, w, h);
  });
}
void KH_CALL offScreenOn(KhUserArea* handle) {
  guardedVoid([&] {
    if (UserArea* a = userAreaFrom(handle)) {
      a->offScreen = true;
      a->calls.push_back(DrawCall{DrawCall::Kind::OffScreen});
    }
  });
}
void KH_CALL setTimer(KhUserArea* handle, int32_t ms) {
  if (UserArea* a = userAreaFrom(handle)) a->setTimer(ms);
}
int32_t KH_CALL getInputState(KhUserArea* handle, int32_t device, int32_t channel,
                              KhContainerValue* result) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    HostState* host = currentHost();
    Container* out = containerOf(result);
    if (!userAreaFrom(handle) || !host || !out || device != kDeviceMouse) return 0;
    if (!host->input.available) return 0;
    out->setLong(kFieldDevice, device);
    out->setLong(kFieldChannel, channel);
    out->setLong(kFieldX, host->input.mouseX);
    out->setLong(kFieldY, host->input.mouseY);
    out->setLong(kFieldValue, channel == 1 && host->input.leftButton ? 1 : 0);
    return 1;
  });
}
void KH_CALL globalToLocal(KhUserArea* handle, int32_t* x, int32_t* y) {
  UserArea* a = userAreaFrom(handle);
  if (!a) return;
  if (x) *x -= a->originX;
  if (y) *y -= a->originY;
}
int32_t KH_CALL sendParentMessage(KhUserArea* handle, const KhContainerValue* message) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    UserArea* a = userAreaFrom(handle);
    const Container* msg = containerOf(message);
    if (!a || !a->dialog || !msg) return 0;
    a->parentMessages.push_back(*msg);
    return a->dialog->send(*msg, nullptr);
  });
}

}  // namespace

const KhUserAreaFamily* userAreaFamily() noexcept {
  static const KhUserAreaFamily family = [] {
    KhUserAreaFamily f{};
    f.free = release;
    f.get_user_object = getUserObject;
    f.get_id = getId;
    f.get_width = getWidth;
    f.get_height = getHeight;
    f.set_min_size = setMinSize;
    f.draw_set_pen = drawSetPen;
    f.draw_rectangle = drawRectangle;
    f.draw_bitmap = drawBitmap;
    f.off_screen_on = offScreenOn;
    f.set_timer = setTimer;
    f.get_input_state = getInputState;
    f.global_to_local = globalToLocal;
    f.send_parent_message = sendParentMessage;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
