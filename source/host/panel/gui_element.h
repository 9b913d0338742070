// A custom GUI element in the attribute panel, on the host's side: the
// registered GUI plug-in makes the element's dialog, the host lays out its
// user areas at the panel's width, feeds it the parameter's value and copies
// the areas' canvases into the panel.
//
// Life of an element: the record's alloc (with a settings container), "bINI"
// and "bVIN" to the dialog, the GUI library's set_data with the value; for
// each user area "bINI", "bVIN", "bCAS" (its minimum size), a size (with
// "bISI") and "bDRA". At the end "dsty" to the dialog, then the record's free.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/data_value.h"
#include "core/gui.h"
#include "core/host_session.h"
#include "core/plugin_registry.h"
#include "painter.h"
#include "result.h"

namespace kurvo::panel {

// The registered custom GUI plug-in that shows values of `dataType` under the
// resource symbol `symbol`, or null.
const kurvo::host::RegisteredPlugin* findCustomGui(const kurvo::host::PluginRegistry& registry,
                                                   const std::string& symbol, int32_t dataType);

class GuiElement {
 public:
  // Creates and lays out the element of `plugin` at (x, y), `width` pixels
  // wide (wider when an area asks for more), showing `value`. Areas are
  // erased to `background` before they draw. Fails with a message naming the
  // GUI when the plug-in makes no element.
  static kurvo::media::Result<std::unique_ptr<GuiElement>> create(kurvo::host::HostSession& session,
                                                                  const kurvo::host::RegisteredPlugin& plugin,
                                                                  const kurvo::host::Data& value, int32_t x,
                                                                  int32_t y, int32_t width, Colour background);
  ~GuiElement();
  GuiElement(const GuiElement&) = delete;
  GuiElement& operator=(const GuiElement&) = delete;

  int32_t height() const noexcept { return height_; }
  kurvo::host::Dialog* dialog() const noexcept { return dialog_; }
  // The element's user areas, in layout order.
  const std::vector<kurvo::host::UserArea*>& areas() const noexcept { return dialog_->areas; }
  // The area at panel position (x, y), or null.
  kurvo::host::UserArea* areaAt(int32_t x, int32_t y) const noexcept;
  // The value the element gives back (the GUI library's get_data).
  kurvo::host::Data value() const;

  // Copies every area's canvas into the picture.
  void paint(Painter& painter) const;
  // Draws what the areas queued for a later redraw.
  void flushRedraws() { dialog_->flushRedraws(); }

  // "dsty", then the record's free. Runs at destruction too.
  void close();

 private:
  GuiElement(kurvo::host::HostSession& session, kurvo::host::Dialog* dialog);
  void layout(int32_t x, int32_t y, int32_t width, Colour background);

  kurvo::host::HostSession& session_;
  kurvo::host::Dialog* dialog_;
  const KhCustomGuiLib* library_ = nullptr;
  int32_t height_ = 0;
};

}  // namespace kurvo::panel
