// Dialogs: the host dialog's life, gadget operations and message dispatch for
// GeDialog, SubDialog and iCustomGui, and the one callback that routes every
// dialog and user-area message.
#include "dialogs.h"

#include "families.h"

using family::Dialog;

namespace {
constexpr int32 kTimerMessage = 10020;
constexpr int32 kCheckClose = 32;
}  // namespace

int32 KH_CALL CDialogCallBack(KhDialog* dialog, KhUserArea* area, const KhContainerValue* message) noexcept {
  if (!message) return false;
  try {
    const BaseContainer& msg = *BaseContainer::From(message);
    BaseContainer result;  // ID -1 until a handler fills it
    int32 answer = false;
    if (area) {
      auto* object = static_cast<GeUserArea*>(family::UserArea().get_user_object(area));
      if (!object) return false;
      answer = object->Message(msg, result);
    } else {
      if (!dialog) return false;
      auto* object = static_cast<GeDialog*>(Dialog().get_user_object(dialog));
      if (!object) return false;
      answer = object->Message(msg, result);
    }
    if (result.GetId() != -1 && dialog) Dialog().set_message_result(dialog, result.Kh());
    return answer;
  } catch (...) {
    return false;
  }
}

// GeDialog.

GeDialog::GeDialog() : GeDialog(nullptr) {}

GeDialog::GeDialog(const void* plugin) : dialog_(Dialog().create(CDialogCallBack, this, plugin)) {}

GeDialog::~GeDialog() {
  if (dialog_) Dialog().destroy(dialog_);
  dialog_ = nullptr;
}

Bool GeDialog::CreateLayout() { return true; }
Bool GeDialog::InitValues() { return true; }
Bool GeDialog::CoreMessage(int32, const BaseContainer&) { return true; }
Bool GeDialog::Command(int32, const BaseContainer&) { return true; }
Bool GeDialog::AskClose() { return false; }
void GeDialog::Timer(const BaseContainer&) {}
void GeDialog::DestroyWindow() {}

int32 GeDialog::Message(const BaseContainer& msg, BaseContainer&) {
  const int32 id = msg.GetId();
  if (id == FourCC("bINI")) {
    if (created_) return true;
    created_ = true;
    return CreateLayout();
  }
  if (id == FourCC("bVIN")) return created_ ? InitValues() : true;
  if (id == FourCC("bACT")) return Command(msg.GetLong(FourCC("meid")), msg);
  if (id == FourCC("chkc")) return AskClose();
  if (id == FourCC("dsty")) {
    DestroyWindow();
    created_ = false;
    return false;
  }
  if (id == FourCC("inta")) {
    StopAllThreads();
    return false;
  }
  if (id == FourCC("MciM") || id == FourCC("sync")) return CoreMessage(msg.GetLong(FourCC("MciI")), msg);
  if (id == kTimerMessage) {
    Timer(msg);
    return true;
  }
  return false;
}

Bool GeDialog::GroupBegin(int32 id, int32 flags, int32 cols, int32 rows, const String& title, int32 groupflags) {
  if (!dialog_) return false;
  return Dialog().group_begin(dialog_, id, flags, cols, rows, title.Kh(), groupflags);
}

Bool GeDialog::GroupEnd() { return dialog_ ? Dialog().group_end(dialog_) : false; }

Bool GeDialog::GroupBorderNoTitle(int32 style) {
  return dialog_ ? Dialog().group_border_no_title(dialog_, style) : false;
}

Bool GeDialog::GroupBorderSpace(int32 left, int32 top, int32 right, int32 bottom) {
  return dialog_ ? Dialog().group_border_space(dialog_, left, top, right, bottom) : false;
}

Gadget* GeDialog::AddUserArea(int32 id, int32 flags, int32 width, int32 height) {
  return dialog_ ? Dialog().add_user_area(dialog_, id, flags, width, height) : nullptr;
}

Bool GeDialog::AttachUserArea(GeUserArea& area, Gadget* gadget, int32 userareaflags) {
  if (!dialog_) return false;
  area.ReleaseHandle();
  area.dialog_ = this;
  area.area_ = Dialog().attach_user_area(dialog_, gadget ? -1 : 0, &area, userareaflags, gadget);
  return area.area_ != nullptr;
}

Bool GeDialog::AttachUserArea(GeUserArea& area, int32 id, int32 userareaflags) {
  if (!dialog_) return false;
  area.ReleaseHandle();
  area.dialog_ = this;
  area.area_ = Dialog().attach_user_area(dialog_, id, &area, userareaflags, nullptr);
  return area.area_ != nullptr;
}

// SubDialog: a close request is confirmed with the host first.

int32 SubDialog::Message(const BaseContainer& msg, BaseContainer& result) {
  const int32 id = msg.GetId();
  if (id == FourCC("askc")) return close_requested_ ? AskClose() : false;
  if (id == FourCC("chkc")) {
    close_requested_ = true;
    if (Get() && Dialog().check(Get(), kCheckClose)) {
      close_requested_ = false;
      return true;
    }
    return false;
  }
  return GeDialog::Message(msg, result);
}

// iCustomGui.

iCustomGui::iCustomGui(const BaseContainer& settings, const CUSTOMGUIPLUGIN* plugin) : SubDialog(plugin) {
  SetCreated(false);
  close_requested_ = true;
  plugin_ = plugin;
  const int32 mode = settings.GetLong(FourCC("laym"), 0);
  layout_mode_ = (mode == 1 || mode == 2) ? mode : 0;
  default_height_ = settings.GetLong(FourCC("defh"), 0);
}

int32 iCustomGui::Message(const BaseContainer& msg, BaseContainer& result) {
  if (msg.GetId() == FourCC("dsty")) {
    if (Get()) Dialog().custom_gui_destroyed(Get());
    DestroyWindow();
    return true;
  }
  return SubDialog::Message(msg, result);
}

int32 iCustomGui::CustomGuiWidth() { return 0; }
int32 iCustomGui::CustomGuiHeight() { return default_height_; }
void iCustomGui::CustomGuiRedraw() {}
void iCustomGui::CustomGuiLayoutChanged() {}
void iCustomGui::CustomGuiActivate() {}
void iCustomGui::SetDefaultForResEdit() {}
Bool iCustomGui::SetData(const TriState&) { return false; }
TriState iCustomGui::GetData() { return TriState(); }
Bool iCustomGui::SupportLayoutSwitch() { return false; }
void iCustomGui::LayoutModeChanged() {}
void iCustomGui::SetLayoutMode(int32 mode) {
  layout_mode_ = mode;
  LayoutModeChanged();
}
int32 iCustomGui::GetLayoutMode() { return layout_mode_; }
Bool iCustomGui::SetObjects(void*) { return false; }
