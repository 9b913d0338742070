// Dialogs and their gadgets.
#include "boundary.h"
#include "families.h"
#include "gui.h"
#include "memory.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

KhDialog* KH_CALL create(KhDialogCallback callback, void* userObject, const void* plugin) {
  return guarded<KhDialog*>(nullptr, [&]() -> KhDialog* {
    if (!callback || !Memory::admit()) return nullptr;
    auto* d = new Dialog(callback, userObject, plugin);
    LiveHandles::added();
    return d->handle();
  });
}
void KH_CALL destroy(KhDialog* handle) {
  if (Dialog* d = dialogFrom(handle)) {
    delete d;
    LiveHandles::removed();
  }
}
void* KH_CALL getUserObject(KhDialog* handle) {
  Dialog* d = dialogFrom(handle);
  return d ? d->userObject : nullptr;
}
void KH_CALL setMessageResult(KhDialog* handle, const KhContainerValue* result) {
  guardedVoid([&] {
    Dialog* d = dialogFrom(handle);
    const Container* c = containerOf(result);
    if (d && c) d->result = std::make_unique<Container>(*c);
  });
}
int32_t KH_CALL groupBegin(KhDialog* handle, int32_t id, int32_t flags, int32_t cols, int32_t rows,
                           const KhStringValue* title, int32_t) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    Dialog* d = dialogFrom(handle);
    if (!d) return 0;
    auto g = std::make_unique<Gadget>();
    g->kind = Gadget::Kind::GroupBegin;
    g->id = id;
    g->flags = flags;
    g->width = cols;
    g->height = rows;
    g->title = textOf(title);
    d->lastGroup = g.get();
    d->gadgets.push_back(std::move(g));
    return 1;
  });
}
int32_t KH_CALL groupEnd(KhDialog* handle) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    Dialog* d = dialogFrom(handle);
    if (!d) return 0;
    auto g = std::make_unique<Gadget>();
    g->kind = Gadget::Kind::GroupEnd;
    d->gadgets.push_back(std::move(g));
    return 1;
  });
}
int32_t KH_CALL groupBorderNoTitle(KhDialog* handle, int32_t style) {
  Dialog* d = dialogFrom(handle);
  if (!d || !d->lastGroup) return 0;
  d->lastGroup->borderStyle = style;
  return 1;
}
int32_t KH_CALL groupBorderSpace(KhDialog* handle, int32_t left, int32_t top, int32_t right,
                                 int32_t bottom) {
  Dialog* d = dialogFrom(handle);
  if (!d || !d->lastGroup) return 0;
  d->lastGroup->borderSpace[0] = left;
  d->lastGroup->borderSpace[1] = top;
  d->lastGroup->borderSpace[2] = right;
  d->lastGroup->borderSpace[3] = bottom;
  return 1;
}
KhGadget* KH_CALL addUserArea(KhDialog* handle, int32_t id, int32_t flags, int32_t width,
                              int32_t height) {
  return guarded<KhGadget*>(nullptr, [&]() -> KhGadget* {
    Dialog* d = dialogFrom(handle);
    if (!d) return nullptr;
    auto g = std::make_unique<Gadget>();
    g->kind = Gadget::Kind::UserArea;
    g->id = id;
    g->flags = flags;
    g->width = width;
    g->height = height;
    KhGadget* h = reinterpret_cast<KhGadget*>(g.get());
    d->gadgets.push_back(std::move(g));
    return h;
  });
}
KhUserArea* KH_CALL attachUserArea(KhDialog* handle, int32_t id, void* areaObject, int32_t,
                                   KhGadget* gadgetHandle) {
  return guarded<KhUserArea*>(nullptr, [&]() -> KhUserArea* {
    Dialog* d = dialogFrom(handle);
    if (!d) return nullptr;
    Gadget* gadget = nullptr;
    // A gadget handle counts only when it is one of this dialog's gadgets.
    for (auto& g : d->gadgets)
      if (reinterpret_cast<KhGadget*>(g.get()) == gadgetHandle) gadget = g.get();
    if (!gadget && !gadgetHandle) gadget = d->gadgetById(id);
    if (!gadget || gadget->kind != Gadget::Kind::UserArea) return nullptr;
    if (!Memory::admit()) return nullptr;
    auto* area = new UserArea(d, gadget->id, areaObject, gadget);
    d->areas.push_back(area);
    LiveHandles::added();
    return area->handle();
  });
}
void KH_CALL redrawLater(KhDialog* handle, int32_t id) {
  guardedVoid([&] {
    if (Dialog* d = dialogFrom(handle)) d->redrawQueue.push_back(id);
  });
}
int32_t KH_CALL sendGadgetMessage(KhDialog* handle, int32_t id, const KhContainerValue* message,
                                  KhContainerValue* answer) {
  return guarded<int32_t>(0, [&]() -> int32_t {
    Dialog* d = dialogFrom(handle);
    const Container* msg = containerOf(message);
    int32_t value = 0;
    std::unique_ptr<Container> result;
    if (d && msg) {
      if (UserArea* area = d->areaById(id)) {
        value = d->send(*msg, area);
        result = std::move(d->result);
      }
    }
    if (answer) initContainerStorage(answer, result.get(), -1);
    return value;
  });
}
int32_t KH_CALL check(KhDialog* handle, int32_t) {
  Dialog* d = dialogFrom(handle);
  return d ? d->checkAnswer : 0;
}
void KH_CALL customGuiDestroyed(KhDialog* handle) {
  if (Dialog* d = dialogFrom(handle)) d->customGuiDestroyed = true;
}

}  // namespace

const KhDialogFamily* dialogFamily() noexcept {
  static const KhDialogFamily family = [] {
    KhDialogFamily f{};
    f.create = create;
    f.destroy = destroy;
    f.get_user_object = getUserObject;
    f.set_message_result = setMessageResult;
    f.group_begin = groupBegin;
    f.group_end = groupEnd;
    f.group_border_no_title = groupBorderNoTitle;
    f.group_border_space = groupBorderSpace;
    f.add_user_area = addUserArea;
    f.attach_user_area = attachUserArea;
    f.redraw_later = redrawLater;
    f.send_gadget_message = sendGadgetMessage;
    f.check = check;
    f.custom_gui_destroyed = customGuiDestroyed;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
