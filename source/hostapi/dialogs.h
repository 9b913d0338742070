// Dialogs and user areas. The host sends every dialog and user-area message to
// CDialogCallBack, which finds the module's object and calls its Message; the
// Message of each class dispatches by message code to the virtual operations.
#pragma once

#include "api_types.h"
#include "values.h"

// The one callback given to the host for every dialog the module creates.
int32 KH_CALL CDialogCallBack(KhDialog* dialog, KhUserArea* area,
                              const KhContainerValue* message) noexcept;

class GeDialog {
 public:
  // Creates the host dialog (created flag false).
  GeDialog();
  GeDialog(const GeDialog&) = delete;
  GeDialog& operator=(const GeDialog&) = delete;
  // Releases the host dialog.
  virtual ~GeDialog();

  virtual Bool CreateLayout();                                   // true
  virtual Bool InitValues();                                     // true
  virtual Bool CoreMessage(int32 id, const BaseContainer& msg);  // true
  virtual Bool Command(int32 id, const BaseContainer& msg);      // true
  virtual Bool AskClose();                                       // false: may close
  virtual void Timer(const BaseContainer& msg);                  // nothing
  virtual void DestroyWindow();                                  // nothing
  // Dispatches by message code; `result` goes back to the host when its ID
  // is no longer -1.
  virtual int32 Message(const BaseContainer& msg, BaseContainer& result);

  // Gadget operations: false or null without a host dialog.
  Bool GroupBegin(int32 id, int32 flags, int32 cols, int32 rows, const String& title,
                  int32 groupflags);
  Bool GroupEnd();
  Bool GroupBorderNoTitle(int32 style);
  Bool GroupBorderSpace(int32 left, int32 top, int32 right, int32 bottom);
  Gadget* AddUserArea(int32 id, int32 flags, int32 width = 0, int32 height = 0);
  // Binds `area` to a gadget (by handle; by id when gadget is null).
  Bool AttachUserArea(GeUserArea& area, Gadget* gadget, int32 userareaflags = 0);
  Bool AttachUserArea(GeUserArea& area, int32 id, int32 userareaflags = 0);

  // Nothing to stop: the module runs no threads of its own.
  void StopAllThreads() {}

  CDialog* Get() const { return dialog_; }

 protected:
  // For subclasses that create the host dialog with a custom GUI record.
  explicit GeDialog(const void* plugin);
  Bool IsCreated() const { return created_; }
  void SetCreated(Bool created) { created_ = created; }

 private:
  CDialog* dialog_ = nullptr;
  Bool created_ = false;
};

class SubDialog : public GeDialog {
 public:
  SubDialog() = default;
  ~SubDialog() override = default;
  int32 Message(const BaseContainer& msg, BaseContainer& result) override;

 protected:
  explicit SubDialog(const void* plugin) : GeDialog(plugin) {}
  Bool close_requested_ = false;
};

// One element of a custom GUI in an attribute panel.
class iCustomGui : public SubDialog {
 public:
  // Creates the host dialog for `plugin`; layout mode from settings "laym"
  // (1 or 2, else 0), default height from "defh".
  iCustomGui(const BaseContainer& settings, const CUSTOMGUIPLUGIN* plugin);
  ~iCustomGui() override = default;

  int32 Message(const BaseContainer& msg, BaseContainer& result) override;

  virtual int32 CustomGuiWidth();             // 0
  virtual int32 CustomGuiHeight();            // the settings' "defh"
  virtual void CustomGuiRedraw();             // nothing
  virtual void CustomGuiLayoutChanged();      // nothing
  virtual void CustomGuiActivate();           // nothing
  virtual void SetDefaultForResEdit();        // nothing
  virtual Bool SetData(const TriState& tristate);  // false
  virtual TriState GetData();                 // state 0, empty value
  virtual Bool SupportLayoutSwitch();         // false
  virtual void LayoutModeChanged();           // nothing
  virtual void SetLayoutMode(int32 mode);     // stores it, then LayoutModeChanged
  virtual int32 GetLayoutMode();              // the stored mode
  virtual Bool SetObjects(void* objects);     // false

  const CUSTOMGUIPLUGIN* GetPlugin() const { return plugin_; }

  // The GUI object that a dialog's user object stands for.
  static iCustomGui* FromUserObject(void* gui) {
    return static_cast<iCustomGui*>(static_cast<GeDialog*>(gui));
  }

 private:
  const CUSTOMGUIPLUGIN* plugin_ = nullptr;
  int32 layout_mode_ = 0;
  int32 default_height_ = 0;
};

class GeUserArea {
 public:
  // No handle, no dialog.
  GeUserArea() = default;
  GeUserArea(const GeUserArea&) = delete;
  GeUserArea& operator=(const GeUserArea&) = delete;
  // Releases the handle unless it is marked as not owned.
  virtual ~GeUserArea();

  virtual Bool Init();                                           // true
  virtual Bool InitValues();                                     // true
  virtual Bool GetMinSize(int32& w, int32& h);                   // false
  virtual void Sized(int32 w, int32 h);                          // nothing
  virtual void Draw(int32 x1, int32 y1, int32 x2, int32 y2);     // nothing
  // Default: Draw(x1, y1, x2, y2).
  virtual void DrawMsg(int32 x1, int32 y1, int32 x2, int32 y2, const BaseContainer& msg);
  virtual Bool InputEvent(const BaseContainer& msg);             // false
  virtual Bool CoreMessage(int32 id, const BaseContainer& msg);  // true
  virtual void Timer(const BaseContainer& msg);                  // nothing
  // Dispatches by message code.
  virtual int32 Message(const BaseContainer& msg, BaseContainer& result);

  int32 GetId() const;
  int32 GetWidth() const;
  int32 GetHeight() const;
  void DrawSetPen(const Vector& colour);
  void DrawRectangle(int32 x1, int32 y1, int32 x2, int32 y2);
  void DrawBitmap(BaseBitmap* bmp, int32 wx, int32 wy, int32 ww, int32 wh, int32 x, int32 y, int32 w,
                  int32 h, int32 mode);
  void OffScreenOn();
  void SetTimer(int32 milliseconds);
  Bool GetInputState(int32 device, int32 channel, BaseContainer& result);
  void Global2Local(int32* x, int32* y) const;
  Bool SendParentMessage(const BaseContainer& msg);
  // threaded: redraw later; otherwise send "bDRA" to the gadget now.
  void Redraw(Bool threaded = false);

  CUserArea* Get() const { return area_; }
  GeDialog* GetDialog() const { return dialog_; }

 private:
  friend class GeDialog;
  void ReleaseHandle();

  CUserArea* area_ = nullptr;
  GeDialog* dialog_ = nullptr;
  Bool not_owned_ = false;
};
