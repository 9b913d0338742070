// The title bar's drawing area: a banner bitmap 16 pixels high at the left,
// the rest of the width in a fixed dark blue. The link zone of the banner
// lights up (the bitmap's lower row is drawn) while the pointer is over it,
// and a left click there opens the maker's web page.
//
// The host reports the pointer only while it is over the area ("cinf"), so a
// 100 ms timer, armed when the pointer enters, watches for it to leave and
// puts the banner back to its normal row.
#pragma once

#include "kurvo_api.h"

class nimbobarUserArea : public GeUserArea {
 public:
  nimbobarUserArea() = default;
  // Frees the bitmap.
  ~nimbobarUserArea() override;

  // Loads "kurvoBar_small.tif" into the bitmap the owner allocated.
  Bool Init() override;
  Bool GetMinSize(int32& w, int32& h) override;
  void Sized(int32 w, int32 h) override;
  void DrawMsg(int32 x1, int32 y1, int32 x2, int32 y2, const BaseContainer& msg) override;
  // Mouse events answer true; a left click also goes to MouseDown and then
  // sends an action message to the parent dialog. Other devices are declined.
  Bool InputEvent(const BaseContainer& msg) override;
  void Timer(const BaseContainer& msg) override;
  int32 Message(const BaseContainer& msg, BaseContainer& result) override;

  // Pointer handlers, in area coordinates.
  virtual void MouseOut();
  virtual void MouseMove(int32 x, int32 y);
  virtual void MouseDown(int32 x, int32 y);

  // Given by the owning dialog right after construction (may be null).
  void SetBitmap(BaseBitmap* bmp) { bitmap_ = bmp; }
  BaseBitmap* GetBitmap() const { return bitmap_; }

 private:
  // Polls the mouse and converts its position to area coordinates.
  Bool PollPointer(int32& x, int32& y);

  BaseBitmap* bitmap_ = nullptr;
  int32 width_ = 0;
  Bool timer_running_ = false;
  Bool hover_ = false;
};
