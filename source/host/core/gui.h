// Host side of dialogs and user areas. A dialog routes every message through
// the module's one callback; a user area draws into an off-screen RGBA canvas
// of its size and records each drawing call so tests can look at both.
//
// Time is the caller's: a headless host has no event loop, so timers advance
// only when the caller moves the clock (advanceClock), which delivers one
// timer message per elapsed interval while the area's timer is armed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bitmap.h"
#include "data_value.h"
#include "kh_dialog.h"

namespace kurvo::host {

class UserArea;

// Message codes the host sends.
enum : int32_t {
  kMsgInit = KH_FOURCC('b', 'I', 'N', 'I'),
  kMsgInitValues = KH_FOURCC('b', 'V', 'I', 'N'),
  kMsgMinSize = KH_FOURCC('b', 'C', 'A', 'S'),
  kMsgSized = KH_FOURCC('b', 'I', 'S', 'I'),
  kMsgDraw = KH_FOURCC('b', 'D', 'R', 'A'),
  kMsgInput = KH_FOURCC('b', 'I', 'P', 'N'),
  kMsgCursorInfo = KH_FOURCC('c', 'i', 'n', 'f'),
  kMsgAction = KH_FOURCC('b', 'A', 'C', 'T'),
  kMsgDestroy = KH_FOURCC('d', 's', 't', 'y'),
  kMsgTimer = 10020,
  kDeviceMouse = KH_FOURCC('m', 'o', 'u', 's'),
  kFieldDevice = KH_FOURCC('i', 'p', 'd', 'v'),
  kFieldChannel = KH_FOURCC('i', 'p', 'c', 'a'),
  kFieldX = KH_FOURCC('i', 'p', 'v', 'x'),
  kFieldY = KH_FOURCC('i', 'p', 'v', 'y'),
  kFieldValue = KH_FOURCC('i', 'p', 'v', 'a'),
};

struct Gadget {
  enum class Kind { GroupBegin, GroupEnd, UserArea };
  Kind kind = Kind::GroupBegin;
  int32_t id = 0;
  int32_t flags = 0;
  int32_t width = 0;   // user area: initial size; group: columns
  int32_t height = 0;  // user area: initial size; group: rows
  std::string title;
  int32_t borderStyle = -1;
  int32_t borderSpace[4] = {0, 0, 0, 0};
};

class Dialog {
 public:
  static constexpr uint32_t kMagic = 0x44494C47;  // 'DILG'
  Dialog(KhDialogCallback callback, void* userObject, const void* plugin);
  ~Dialog();

  uint32_t magic = kMagic;
  KhDialogCallback callback;
  void* userObject;
  const void* plugin;

  std::vector<std::unique_ptr<Gadget>> gadgets;
  Gadget* lastGroup = nullptr;
  std::vector<UserArea*> areas;  // attached, not owned
  std::vector<int32_t> redrawQueue;
  std::unique_ptr<Container> result;  // answer of the message being handled
  int32_t checkAnswer = 1;
  bool customGuiDestroyed = false;

  KhDialog* handle() noexcept { return reinterpret_cast<KhDialog*>(this); }
  // Delivers `message` to the dialog (area null) or to one of its areas;
  // answers the callback's truth value. `result` then holds any answer.
  int32_t send(const Container& message, UserArea* area = nullptr);
  int32_t send(int32_t code, UserArea* area = nullptr) { return send(Container(code), area); }
  UserArea* areaById(int32_t id) noexcept;
  Gadget* gadgetById(int32_t id) noexcept;
  // Sends a draw message to every area queued by redraw_later.
  void flushRedraws();
  // Moves the clock of every area by `ms`; answers the timer messages sent.
  int32_t advanceClock(int32_t ms);
};

struct DrawCall {
  enum class Kind { Pen, Rectangle, Bitmap, OffScreen };
  Kind kind;
  KhVector pen{};
  int32_t v[9] = {};  // rectangle: x1 y1 x2 y2; bitmap: wx wy ww wh x y w h mode
};

class UserArea {
 public:
  static constexpr uint32_t kMagic = 0x55534152;  // 'USAR'
  UserArea(Dialog* dialog, int32_t id, void* areaObject, const Gadget* gadget);
  ~UserArea();

  uint32_t magic = kMagic;
  Dialog* dialog;  // null once the dialog is gone
  int32_t id;
  void* areaObject;
  int32_t width = 0;
  int32_t height = 0;
  int32_t minWidth = 0;
  int32_t minHeight = 0;
  int32_t timerMs = 0;
  int32_t timerElapsed = 0;  // clock time since the timer was set or last fired
  int32_t originX = 0;       // screen position of the area's top left corner
  int32_t originY = 0;
  KhVector pen{0, 0, 0};
  // What the host erases the canvas with before each draw message.
  KhVector background{0, 0, 0};
  bool offScreen = false;
  Bitmap canvas;
  std::vector<DrawCall> calls;
  std::vector<Container> parentMessages;  // every send_parent_message, in order

  KhUserArea* handle() noexcept { return reinterpret_cast<KhUserArea*>(this); }
  // Resizes the area and tells the module ("bISI").
  void resize(int32_t w, int32_t h);
  // A draw message for the whole area.
  int32_t draw();
  // One timer tick when the timer runs; answers whether one was sent.
  bool tick();
  // Moves the area's clock by `ms`: a timer message for every full interval
  // that passes while the timer stays armed (a tick that stops or changes the
  // timer ends the run). Answers the number sent.
  int32_t advanceClock(int32_t ms);
  // Arms (ms > 0) or stops the timer; the interval starts afresh.
  void setTimer(int32_t ms) noexcept;
  // The host's "cinf" request, sent while the pointer is over the area.
  int32_t cursorInfo();
  // An input event from `device` at screen position (x, y) on `channel`.
  int32_t inputEvent(int32_t device, int32_t x, int32_t y, int32_t channel);
  // A mouse event at screen position (x, y) on `channel` (1: left button).
  int32_t mouseEvent(int32_t x, int32_t y, int32_t channel) { return inputEvent(kDeviceMouse, x, y, channel); }
  // Screen position (x, y) lies on the area.
  bool contains(int32_t x, int32_t y) const noexcept {
    return x >= originX && y >= originY && x < originX + width && y < originY + height;
  }
  // Erases the canvas to the background (the host does so before a draw).
  void erase();

  void fillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
  void blit(const Bitmap& bmp, int32_t wx, int32_t wy, int32_t ww, int32_t wh, int32_t x, int32_t y,
            int32_t w, int32_t h);
};

inline Dialog* dialogFrom(KhDialog* h) noexcept {
  auto* d = reinterpret_cast<Dialog*>(h);
  return d && d->magic == Dialog::kMagic ? d : nullptr;
}
inline UserArea* userAreaFrom(KhUserArea* h) noexcept {
  auto* a = reinterpret_cast<UserArea*>(h);
  return a && a->magic == UserArea::kMagic ? a : nullptr;
}

}  // namespace kurvo::host
