#include "titlebar/nimbobar_user_area.h"

#include "frame/maker.h"

namespace {

// Banner geometry in area pixels (x to the right, y downward).
constexpr int32 kMinWidth = 130;
constexpr int32 kBarHeight = 16;
constexpr int32 kTimerMs = 100;

// The clickable part of the banner.
bool InLinkZone(int32 x, int32 y) { return x >= 36 && x <= 129 && y >= 1 && y <= 15; }
// Entering this arms the hover timer.
bool InArmZone(int32 x, int32 y) { return x >= 1 && x <= 129 && y >= 1 && y <= 15; }
// The timer keeps running while the pointer stays in here.
bool InKeepZone(int32 x, int32 y) { return x >= 0 && x <= 130 && y >= 0 && y <= 16; }

// 23/256, 83/256, 129/256.
const Vector kBackground(0.08984375f, 0.32421875f, 0.50390625f);

constexpr int32 kDeviceMouse = FourCC("mous");
constexpr int32 kLeftButton = 1;

}  // namespace

nimbobarUserArea::~nimbobarUserArea() { BaseBitmap::Free(bitmap_); }

Bool nimbobarUserArea::Init() {
  if (!bitmap_) return false;
  const Filename file = GeGetPluginPath() + Filename("res") + Filename("kurvoBar_small.tif");
  if (bitmap_->Init(file, -1, nullptr) != IMAGE_OK) return false;
  timer_running_ = false;
  hover_ = false;
  return true;
}

Bool nimbobarUserArea::GetMinSize(int32& w, int32& h) {
  w = kMinWidth;
  h = kBarHeight;
  return true;
}

void nimbobarUserArea::Sized(int32 w, int32) { width_ = w; }

void nimbobarUserArea::DrawMsg(int32, int32, int32, int32, const BaseContainer&) {
  OffScreenOn();
  DrawSetPen(kBackground);
  DrawRectangle(kMinWidth, 0, width_, kBarHeight);
  if (!bitmap_) return;
  const int32 bw = bitmap_->GetBw();
  // The bitmap's lower row is the lit banner.
  DrawBitmap(bitmap_, 0, 0, bw, kBarHeight, 0, hover_ ? kBarHeight : 0, bw, kBarHeight, 0);
}

void nimbobarUserArea::MouseMove(int32 x, int32 y) {
  const Bool inside = InLinkZone(x, y);
  if (inside == hover_) return;
  hover_ = inside;
  Redraw();
}

void nimbobarUserArea::MouseOut() { Redraw(); }

void nimbobarUserArea::MouseDown(int32 x, int32 y) {
  if (InLinkZone(x, y)) GeOpenHTML(String("https://") + String(kMakerWebAddress));
}

Bool nimbobarUserArea::PollPointer(int32& x, int32& y) {
  BaseContainer state;
  if (!GetInputState(kDeviceMouse, kLeftButton, state)) return false;
  x = state.GetLong(FourCC("ipvx"));
  y = state.GetLong(FourCC("ipvy"));
  Global2Local(&x, &y);
  return true;
}

int32 nimbobarUserArea::Message(const BaseContainer& msg, BaseContainer& result) {
  const int32 id = msg.GetId();
  if (id == FourCC("cinf")) {
    int32 x = 0, y = 0;
    if (PollPointer(x, y)) {
      MouseMove(x, y);
      if (InArmZone(x, y) && !timer_running_) {
        timer_running_ = true;
        SetTimer(kTimerMs);
      }
    }
  }
  const int32 answer = GeUserArea::Message(msg, result);
  // The base stores the new width first (Sized), so the redraw fills the
  // whole new width instead of the old one.
  if (id == FourCC("bISI")) Redraw();
  return answer;
}

void nimbobarUserArea::Timer(const BaseContainer&) {
  int32 x = 0, y = 0;
  if (!PollPointer(x, y)) return;  // no news: keep watching
  if (InKeepZone(x, y)) return;
  hover_ = false;
  timer_running_ = false;
  MouseOut();
  SetTimer(0);
}

Bool nimbobarUserArea::InputEvent(const BaseContainer& msg) {
  if (msg.GetLong(FourCC("ipdv")) != kDeviceMouse) return false;
  BaseContainer action(FourCC("bACT"));
  action.SetLong(FourCC("meid"), GetId());
  action.SetLong(FourCC("meva"), 0);
  if (msg.GetLong(FourCC("ipca")) == kLeftButton) {
    int32 x = msg.GetLong(FourCC("ipvx"));
    int32 y = msg.GetLong(FourCC("ipvy"));
    Global2Local(&x, &y);
    MouseDown(x, y);
    action.SetLong(FourCC("medr"), 0);
    SendParentMessage(action);
  }
  return true;
}
