#include "gui.h"

#include <algorithm>
#include <cmath>

namespace kurvo::host {

Dialog::Dialog(KhDialogCallback callback_, void* userObject_, const void* plugin_)
    : callback(callback_), userObject(userObject_), plugin(plugin_) {}

Dialog::~Dialog() {
  for (UserArea* a : areas) a->dialog = nullptr;
  magic = 0;
}

int32_t Dialog::send(const Container& message, UserArea* area) {
  if (!callback) return 0;
  result.reset();
  // Every draw starts on an erased canvas, whoever asked for it.
  if (area && message.id == kMsgDraw) {
    area->offScreen = false;
    area->erase();
  }
  Container copy(message);
  return callback(handle(), area ? area->handle() : nullptr, &copy.self);
}

UserArea* Dialog::areaById(int32_t id) noexcept {
  for (UserArea* a : areas)
    if (a->id == id) return a;
  return nullptr;
}

Gadget* Dialog::gadgetById(int32_t id) noexcept {
  for (auto& g : gadgets)
    if (g->id == id) return g.get();
  return nullptr;
}

void Dialog::flushRedraws() {
  std::vector<int32_t> queue;
  queue.swap(redrawQueue);
  for (int32_t id : queue)
    if (UserArea* a = areaById(id)) a->draw();
}

int32_t Dialog::advanceClock(int32_t ms) {
  int32_t sent = 0;
  // A timer message may take an area down; walk a copy and re-check.
  const std::vector<UserArea*> snapshot = areas;
  for (UserArea* a : snapshot)
    if (std::find(areas.begin(), areas.end(), a) != areas.end()) sent += a->advanceClock(ms);
  return sent;
}

UserArea::UserArea(Dialog* dialog_, int32_t id_, void* areaObject_, const Gadget* gadget)
    : dialog(dialog_), id(id_), areaObject(areaObject_) {
  if (gadget) {
    width = std::max(0, gadget->width);
    height = std::max(0, gadget->height);
  }
  if (width > 0 && height > 0) canvas.resize(width, height);
}

UserArea::~UserArea() {
  if (dialog) {
    auto& list = dialog->areas;
    list.erase(std::remove(list.begin(), list.end(), this), list.end());
  }
  magic = 0;
}

void UserArea::resize(int32_t w, int32_t h) {
  width = std::max(0, w);
  height = std::max(0, h);
  if (width > 0 && height > 0)
    canvas.resize(width, height);
  else
    canvas.clear();
  if (dialog) dialog->send(kMsgSized, this);
}

int32_t UserArea::draw() {
  if (!dialog) return 0;
  Container msg(kMsgDraw);
  msg.setLong(1, 0);
  msg.setLong(2, 0);
  msg.setLong(3, width);
  msg.setLong(4, height);
  return dialog->send(msg, this);
}

bool UserArea::tick() {
  if (!dialog || timerMs <= 0) return false;
  timerElapsed = 0;
  dialog->send(kMsgTimer, this);
  return true;
}

void UserArea::setTimer(int32_t ms) noexcept {
  timerMs = ms > 0 ? ms : 0;
  timerElapsed = 0;
}

int32_t UserArea::advanceClock(int32_t ms) {
  int32_t sent = 0;
  int32_t left = std::max(0, ms);
  while (dialog && timerMs > 0) {
    const int32_t due = timerMs - timerElapsed;
    if (left < due) {
      timerElapsed += left;
      break;
    }
    left -= due;
    // A tick that stops the timer ends the run; one that re-sets it starts
    // the new interval now.
    tick();
    ++sent;
  }
  if (timerMs <= 0) timerElapsed = 0;
  return sent;
}

int32_t UserArea::cursorInfo() {
  if (!dialog) return 0;
  return dialog->send(kMsgCursorInfo, this);
}

int32_t UserArea::inputEvent(int32_t device, int32_t x, int32_t y, int32_t channel) {
  if (!dialog) return 0;
  Container msg(kMsgInput);
  msg.setLong(kFieldDevice, device);
  msg.setLong(kFieldChannel, channel);
  msg.setLong(kFieldX, x);
  msg.setLong(kFieldY, y);
  return dialog->send(msg, this);
}

void UserArea::erase() {
  const KhVector saved = pen;
  pen = background;
  fillRect(0, 0, canvas.width() - 1, canvas.height() - 1);
  pen = saved;
}

namespace {
uint8_t toByte(float c) {
  if (!(c > 0.0f)) return 0;
  if (c >= 1.0f) return 255;
  return static_cast<uint8_t>(std::lround(c * 255.0f));
}
}  // namespace

void UserArea::fillRect(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const uint8_t r = toByte(pen.x), g = toByte(pen.y), b = toByte(pen.z);
  x1 = std::max(x1, 0);
  y1 = std::max(y1, 0);
  x2 = std::min(x2, canvas.width() - 1);
  y2 = std::min(y2, canvas.height() - 1);
  for (int32_t y = y1; y <= y2; ++y)
    for (int32_t x = x1; x <= x2; ++x) canvas.set(x, y, r, g, b);
}

void UserArea::blit(const Bitmap& bmp, int32_t wx, int32_t wy, int32_t ww, int32_t wh, int32_t x,
                    int32_t y, int32_t w, int32_t h) {
  if (ww <= 0 || wh <= 0 || w <= 0 || h <= 0) return;
  // Nearest-neighbour scaling from the source to the destination rectangle.
  for (int32_t dy = 0; dy < wh; ++dy) {
    const int32_t ty = wy + dy;
    if (ty < 0 || ty >= canvas.height()) continue;
    const int32_t sy = y + static_cast<int32_t>(static_cast<int64_t>(dy) * h / wh);
    for (int32_t dx = 0; dx < ww; ++dx) {
      const int32_t tx = wx + dx;
      if (tx < 0 || tx >= canvas.width()) continue;
      const int32_t sx = x + static_cast<int32_t>(static_cast<int64_t>(dx) * w / ww);
      uint8_t px[4];
      bmp.get(sx, sy, px);
      if (bmp.inside(sx, sy)) canvas.set(tx, ty, px[0], px[1], px[2]);
    }
  }
}

}  // namespace kurvo::host
