// The pointer, clicks and the clock over the panel's custom GUI elements.
#include "attribute_panel.h"

namespace kurvo::panel {

using kurvo::host::UserArea;

kurvo::host::UserArea* AttributePanel::areaAt(int32_t x, int32_t y) const noexcept {
  for (const auto& element : elements_)
    if (UserArea* area = element->areaAt(x, y)) return area;
  return nullptr;
}

void AttributePanel::movePointer(int32_t x, int32_t y) {
  kurvo::host::InputState& input = session_.state().input;
  input.mouseX = x;
  input.mouseY = y;
  // Only the area under the pointer is asked; the others notice that the
  // pointer has gone through their own timers.
  if (UserArea* area = areaAt(x, y)) area->cursorInfo();
  for (const auto& element : elements_) element->flushRedraws();
}

int32_t AttributePanel::click(int32_t x, int32_t y) {
  movePointer(x, y);
  UserArea* area = areaAt(x, y);
  if (!area) return 0;
  kurvo::host::InputState& input = session_.state().input;
  input.leftButton = true;
  const int32_t answer = area->mouseEvent(x, y, 1);
  input.leftButton = false;
  for (const auto& element : elements_) element->flushRedraws();
  return answer;
}

int32_t AttributePanel::advanceClock(int32_t ms) {
  int32_t sent = 0;
  for (const auto& element : elements_) {
    sent += element->dialog()->advanceClock(ms);
    element->flushRedraws();
  }
  return sent;
}

void AttributePanel::close() {
  // Last made, first taken down.
  while (!elements_.empty()) {
    elements_.back()->close();
    elements_.pop_back();
  }
  for (PanelRow& row : rows_) row.element = nullptr;
}

}  // namespace kurvo::panel
