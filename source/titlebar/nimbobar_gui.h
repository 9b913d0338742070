// The title bar as a custom GUI element of the attribute panel. Descriptions
// name it by its resource symbol "KURVO2_GUI" on a string parameter; the host
// then asks NimboBarGui for one NimboBar_GuiDialog per panel that shows the
// parameter. The element shows fixed artwork and hands the parameter's value
// back unchanged.
#pragma once

#include "kurvo_api.h"
#include "titlebar/nimbobar_user_area.h"

enum : int32 {
  ID_NIMBOBARGUI = 1024107,        // custom GUI ID, also the ID of its library
  NIMBOBARGUI_LIBRARY_VERSION = 1000,
  NIMBOBARGUI_INFO = 0x20000000,   // registration info flags: bit 29 alone
  IDC_NIMBOBAR_GROUP = 1001,
  IDC_NIMBOBAR_AREA = 1002
};

// One title bar in one panel: a sub-dialog whose only gadget is the user area.
class NimboBar_GuiDialog : public iCustomGui {
 public:
  NimboBar_GuiDialog(const BaseContainer& settings, const CUSTOMGUIPLUGIN* plugin);

  Bool CreateLayout() override;
  Bool InitValues() override;
  // The user area's action messages end here.
  Bool Command(int32 id, const BaseContainer& msg) override;
  int32 Message(const BaseContainer& msg, BaseContainer& result) override;
  // Keeps the value's text as a file name, whatever the tri-state's state.
  Bool SetData(const TriState& tristate) override;
  // State 0 and the kept value, as a file name.
  TriState GetData() override;

  nimbobarUserArea& UserArea() { return area_; }

 private:
  nimbobarUserArea area_;
  Filename value_;
};

// The custom GUI plug-in; the host owns it once it is registered.
class NimboBarGui : public CustomGuiData {
 public:
  int32 GetId() override;
  // A new element with an empty bitmap for its user area; its host dialog,
  // or null.
  CDialog* Alloc(const BaseContainer& settings) override;
  // Destroys the element given as user data; nothing when either is null.
  void Free(CDialog* dlg, void* userdata) override;
  const char* GetResourceSym() override;
  int32 GetResourceDataType(const int32*& table) override;
};
