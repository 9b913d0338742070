// User areas: drawing and input inside a dialog gadget, and their message
// dispatch.
#include "dialogs.h"

#include "bitmap.h"
#include "families.h"

using family::UserArea;

namespace {
constexpr int32 kTimerMessage = 10020;
}  // namespace

GeUserArea::~GeUserArea() {
  ReleaseHandle();
  dialog_ = nullptr;
}

void GeUserArea::ReleaseHandle() {
  if (area_ && !not_owned_) UserArea().free(area_);
  area_ = nullptr;
}

Bool GeUserArea::Init() { return true; }
Bool GeUserArea::InitValues() { return true; }
Bool GeUserArea::GetMinSize(int32&, int32&) { return false; }
void GeUserArea::Sized(int32, int32) {}
void GeUserArea::Draw(int32, int32, int32, int32) {}
void GeUserArea::DrawMsg(int32 x1, int32 y1, int32 x2, int32 y2, const BaseContainer&) { Draw(x1, y1, x2, y2); }
Bool GeUserArea::InputEvent(const BaseContainer&) { return false; }
Bool GeUserArea::CoreMessage(int32, const BaseContainer&) { return true; }
void GeUserArea::Timer(const BaseContainer&) {}

int32 GeUserArea::Message(const BaseContainer& msg, BaseContainer&) {
  const int32 id = msg.GetId();
  if (id == FourCC("bINI")) {
    Init();
    return true;
  }
  if (id == FourCC("bVIN")) {
    InitValues();
    return true;
  }
  if (id == FourCC("bCAS")) {
    int32 w = 0, h = 0;
    if (GetMinSize(w, h) && area_) UserArea().set_min_size(area_, w, h);
    return true;
  }
  if (id == FourCC("bISI")) {
    Sized(GetWidth(), GetHeight());
    return true;
  }
  if (id == FourCC("bDRA")) {
    DrawMsg(msg.GetLong(1), msg.GetLong(2), msg.GetLong(3), msg.GetLong(4), msg);
    return true;
  }
  if (id == FourCC("bIPN")) return InputEvent(msg);
  if (id == FourCC("MciM") || id == FourCC("sync")) return CoreMessage(msg.GetLong(FourCC("MciI")), msg);
  if (id == kTimerMessage) {
    Timer(msg);
    return true;
  }
  return false;
}

int32 GeUserArea::GetId() const { return area_ ? UserArea().get_id(area_) : 0; }
int32 GeUserArea::GetWidth() const { return area_ ? UserArea().get_width(area_) : 0; }
int32 GeUserArea::GetHeight() const { return area_ ? UserArea().get_height(area_) : 0; }

void GeUserArea::DrawSetPen(const Vector& colour) {
  if (area_) UserArea().draw_set_pen(area_, AsKh(&colour));
}

void GeUserArea::DrawRectangle(int32 x1, int32 y1, int32 x2, int32 y2) {
  if (area_) UserArea().draw_rectangle(area_, x1, y1, x2, y2);
}

void GeUserArea::DrawBitmap(BaseBitmap* bmp, int32 wx, int32 wy, int32 ww, int32 wh, int32 x, int32 y, int32 w,
                            int32 h, int32 mode) {
  if (area_) UserArea().draw_bitmap(area_, bmp ? bmp->Kh() : nullptr, wx, wy, ww, wh, x, y, w, h, mode);
}

void GeUserArea::OffScreenOn() {
  if (area_) UserArea().off_screen_on(area_);
}

void GeUserArea::SetTimer(int32 milliseconds) {
  if (area_) UserArea().set_timer(area_, milliseconds);
}

Bool GeUserArea::GetInputState(int32 device, int32 channel, BaseContainer& result) {
  return area_ ? UserArea().get_input_state(area_, device, channel, result.Kh()) : false;
}

void GeUserArea::Global2Local(int32* x, int32* y) const {
  if (area_ && x && y) UserArea().global_to_local(area_, x, y);
}

Bool GeUserArea::SendParentMessage(const BaseContainer& msg) {
  return area_ ? UserArea().send_parent_message(area_, msg.Kh()) : false;
}

void GeUserArea::Redraw(Bool threaded) {
  if (!dialog_ || !dialog_->Get()) return;
  const KhDialogFamily& dialogs = *t_HostOS->dialog;
  if (threaded) {
    dialogs.redraw_later(dialog_->Get(), GetId());
    return;
  }
  const BaseContainer draw(FourCC("bDRA"));
  // The host initialises the answer in every case; it is not needed here.
  KhContainerValue answer{nullptr};
  dialogs.send_gadget_message(dialog_->Get(), GetId(), draw.Kh(), &answer);
  t_HostOS->container->free(&answer);
}
