#include "gui_element.h"

#include <algorithm>
#include <cstddef>

#include "kh_library.h"
#include "kh_plugin.h"

namespace kurvo::panel {

using kurvo::host::Container;
using kurvo::host::Data;
using kurvo::host::Dialog;
using kurvo::host::RegisteredPlugin;
using kurvo::host::UserArea;
using kurvo::media::Result;
using kurvo::media::Status;

namespace {

// The library that a custom GUI installs under its own ID, when it is long
// enough to hold `entry`.
const KhCustomGuiLib* guiLibrary(kurvo::host::PluginRegistry& registry, int32_t id, size_t entryEnd) {
  auto* entry = registry.registryFind(id, KH_REGISTRYTYPE_LIBRARY);
  if (!entry || !entry->data) return nullptr;
  const auto* lib = static_cast<const KhCustomGuiLib*>(entry->data);
  if (lib->head.size < 0 || static_cast<size_t>(lib->head.size) < entryEnd) return nullptr;
  return lib;
}

}  // namespace

const RegisteredPlugin* findCustomGui(const kurvo::host::PluginRegistry& registry, const std::string& symbol,
                                      int32_t dataType) {
  for (const RegisteredPlugin* p : registry.all()) {
    if (p->type != KH_PLUGINTYPE_CUSTOMGUI) continue;
    const auto* record = p->as<KhCustomGuiPlugin>();
    if (!record->get_resource_sym || !record->alloc) continue;
    const char* sym = record->get_resource_sym(record->data);
    if (!sym || symbol != sym) continue;
    // A GUI that lists no data types is taken at its symbol's word.
    if (!record->get_resource_data_type) return p;
    const int32_t* table = nullptr;
    const int32_t count = record->get_resource_data_type(record->data, &table);
    if (count <= 0 || !table) return p;
    if (std::find(table, table + count, dataType) != table + count) return p;
  }
  return nullptr;
}

GuiElement::GuiElement(kurvo::host::HostSession& session, Dialog* dialog) : session_(session), dialog_(dialog) {}

GuiElement::~GuiElement() { close(); }

Result<std::unique_ptr<GuiElement>> GuiElement::create(kurvo::host::HostSession& session,
                                                      const RegisteredPlugin& plugin, const Data& value,
                                                      int32_t x, int32_t y, int32_t width, Colour background) {
  const Container settings;
  Dialog* dialog = session.createCustomGui(plugin.id, &settings);
  if (!dialog) return Status::failure("custom GUI \"" + plugin.name + "\" made no element");
  std::unique_ptr<GuiElement> element(new GuiElement(session, dialog));
  dialog->send(kurvo::host::kMsgInit);
  dialog->send(kurvo::host::kMsgInitValues);
  element->library_ = guiLibrary(session.registry(), plugin.id, offsetof(KhCustomGuiLib, get_data) +
                                                                    sizeof(KhCustomGuiLib::get_data));
  if (element->library_ && element->library_->set_data && dialog->userObject) {
    KhTriState state{0, value.self};
    element->library_->set_data(dialog->userObject, &state);
  }
  element->layout(x, y, width, background);
  return element;
}

void GuiElement::layout(int32_t x, int32_t y, int32_t width, Colour background) {
  using namespace kurvo::host;
  const KhVector erase{background.r / 255.0f, background.g / 255.0f, background.b / 255.0f};
  int32_t top = y;
  // Areas stack from top to bottom in the order the dialog attached them;
  // each takes the full width.
  for (UserArea* area : std::vector<UserArea*>(dialog_->areas)) {
    const Gadget* gadget = dialog_->gadgetById(area->id);
    area->background = erase;
    dialog_->send(kMsgInit, area);
    dialog_->send(kMsgInitValues, area);
    dialog_->send(kMsgMinSize, area);
    // The gadget's initial size and the area's minimum size are both lower
    // bounds.
    const int32_t w = std::max({width, area->minWidth, gadget ? gadget->width : 0});
    const int32_t h = std::max(area->minHeight, gadget ? gadget->height : 0);
    area->originX = x;
    area->originY = top;
    area->resize(w, h);
    area->draw();
    top += h;
  }
  dialog_->flushRedraws();
  height_ = top - y;
}

UserArea* GuiElement::areaAt(int32_t x, int32_t y) const noexcept {
  if (!dialog_) return nullptr;
  for (UserArea* area : dialog_->areas)
    if (area->contains(x, y)) return area;
  return nullptr;
}

Data GuiElement::value() const {
  Data out;
  if (!dialog_ || !library_ || !library_->get_data) return out;
  KhTriState state{0, {nullptr}};
  library_->get_data(dialog_->userObject, &state);
  if (const Data* d = kurvo::host::dataOf(&state.value)) out = *d;
  kurvo::host::freeDataStorage(&state.value);
  return out;
}

void GuiElement::paint(Painter& painter) const {
  if (!dialog_) return;
  for (const UserArea* area : dialog_->areas)
    painter.blit(area->canvas, 0, 0, area->canvas.width(), area->canvas.height(), area->originX, area->originY);
}

void GuiElement::close() {
  if (!dialog_) return;
  dialog_->send(kurvo::host::kMsgDestroy);
  session_.freeCustomGui(dialog_);
  dialog_ = nullptr;
  library_ = nullptr;
}

}  // namespace kurvo::panel
