#include "titlebar/nimbobar_gui.h"

namespace {

// Scale and fit horizontally.
constexpr int32 kLayoutFlags = 56;
constexpr int32 kAreaInitialHeight = 25;

// The data types the element shows: strings.
const int32 restypetable[] = {KH_DA_STRING};

}  // namespace

// NimboBar_GuiDialog.

NimboBar_GuiDialog::NimboBar_GuiDialog(const BaseContainer& settings, const CUSTOMGUIPLUGIN* plugin)
    : iCustomGui(settings, plugin) {}

Bool NimboBar_GuiDialog::CreateLayout() {
  GroupBegin(IDC_NIMBOBAR_GROUP, kLayoutFlags, 1, 1, String(), 0);
  GroupBorderNoTitle(0);
  GroupBorderSpace(0, 0, 0, 0);
  Gadget* gadget = AddUserArea(IDC_NIMBOBAR_AREA, kLayoutFlags, 0, kAreaInitialHeight);
  GroupEnd();
  AttachUserArea(area_, gadget, 0);
  return true;
}

Bool NimboBar_GuiDialog::InitValues() { return true; }

Bool NimboBar_GuiDialog::Command(int32, const BaseContainer&) { return true; }

int32 NimboBar_GuiDialog::Message(const BaseContainer& msg, BaseContainer& result) {
  return iCustomGui::Message(msg, result);
}

Bool NimboBar_GuiDialog::SetData(const TriState& tristate) {
  value_ = Filename(tristate.GetValue().GetString());
  return InitValues();
}

TriState NimboBar_GuiDialog::GetData() { return TriState(GeData(value_), 0); }

// NimboBarGui.

int32 NimboBarGui::GetId() { return ID_NIMBOBARGUI; }

CDialog* NimboBarGui::Alloc(const BaseContainer& settings) {
  NimboBar_GuiDialog* element = gNew<NimboBar_GuiDialog>(settings, GetPlugin());
  if (!element) return nullptr;
  CDialog* handle = element->Get();
  if (!handle) {
    // Without a host dialog the host never hands the element back to Free.
    gDelete(element);
    return nullptr;
  }
  // Loaded by the user area's Init; without it Init fails and the bar stays
  // empty, but the element still works.
  element->UserArea().SetBitmap(BaseBitmap::Alloc());
  return handle;
}

void NimboBarGui::Free(CDialog* dlg, void* userdata) {
  if (!dlg || !userdata) return;
  // The user data is the dialog's user object: the GeDialog it was made for.
  GeDialog* element = static_cast<GeDialog*>(userdata);
  gDelete(element);
}

const char* NimboBarGui::GetResourceSym() { return "KURVO2_GUI"; }

int32 NimboBarGui::GetResourceDataType(const int32*& table) {
  table = restypetable;
  return 1;
}
