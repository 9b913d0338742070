// Registration of the title-bar custom GUI: its function library first, then
// the GUI plug-in itself.
#include <cstring>

#include "frame/registrations.h"
#include "titlebar/nimbobar_gui.h"

namespace {
// The host calls the elements through this record for as long as the module
// is loaded, so it lives in static storage.
BaseCustomGuiLib mylib;
}  // namespace

Bool RegisterNimbobarGUI() {
  std::memset(&mylib, 0, sizeof mylib);
  FillBaseCustomGui(mylib);
  if (!InstallLibrary(ID_NIMBOBARGUI, &mylib.head, NIMBOBARGUI_LIBRARY_VERSION, static_cast<int32>(sizeof mylib)))
    return false;

  NimboBarGui* gui = gNew<NimboBarGui>();  // null makes the registration fail
  if (RegisterCustomGuiPlugin(String("Kurvo-Titlebar"), NIMBOBARGUI_INFO, gui)) return true;
  // Refused: the host did not take the object, so it is still ours.
  gDelete(gui);
  return false;
}
