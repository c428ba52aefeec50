#pragma once
// The base of the XP-style controls: a double-buffered control that turns
// mouse, focus, size and change notifications into a small state set (hot,
// pressed, focused) and repaints only after the notifications named in
// RedrawOn; the shared style object and the optional style manager that
// switches the theme of many controls at once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "widgets/control_base.h"

// The visual state, a set of flags.
using TOxXPStates = uint8_t;
constexpr TOxXPStates xsNormal = 1 << 0;
constexpr TOxXPStates xsHot = 1 << 1;
constexpr TOxXPStates xsPressed = 1 << 2;
constexpr TOxXPStates xsFocused = 1 << 3;

// The notifications after which a control repaints, a set of flags.
using TOxXPRedrawOn = uint16_t;
constexpr TOxXPRedrawOn roTextChanged = 1 << 0;
constexpr TOxXPRedrawOn roBorderChanged = 1 << 1;
constexpr TOxXPRedrawOn roEnabledChanged = 1 << 2;
constexpr TOxXPRedrawOn roFocusChanged = 1 << 3;
constexpr TOxXPRedrawOn roMouseDown = 1 << 4;
constexpr TOxXPRedrawOn roMouseEnter = 1 << 5;
constexpr TOxXPRedrawOn roMouseLeave = 1 << 6;
constexpr TOxXPRedrawOn roMouseMove = 1 << 7;
constexpr TOxXPRedrawOn roMouseUp = 1 << 8;
constexpr TOxXPRedrawOn roParentColorChanged = 1 << 9;
constexpr TOxXPRedrawOn roParentFontChanged = 1 << 10;
constexpr TOxXPRedrawOn roPosChanged = 1 << 11;
constexpr TOxXPRedrawOn roResized = 1 << 12;
// Text, enabled, focus, mouse down, enter, leave, up and parent colour.
constexpr TOxXPRedrawOn kDefaultRedrawOn = 893;

enum TOxXPTheme : uint8_t { WindowsXP, OfficeXP };

// An unbalanced EndUpdate.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EAssertionFailed"; }
};

class TOxXPCustomControl : public TOxExCustomControl {
 public:
  explicit TOxXPCustomControl(TComponent* AOwner);

  TOxXPStates GetXPState() const { return FXPState; }
  bool GetMouseHeld() const { return FMouseHeld; }
  bool GetXPActiveOnForm() const { return FXPActiveOnForm; }
  int32_t GetUpdateCount() const { return FUpdateCount; }
  TModalResult GetModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult Value) { FModalResult = Value; }
  TOxXPRedrawOn GetRedrawOn() const { return FRedrawOn; }
  void SetRedrawOn(TOxXPRedrawOn Value) { FRedrawOn = Value; }

  // Repaints unless an update bracket is open.
  virtual void RedrawForState();
  virtual void BeginUpdate();
  // Closes a bracket and repaints; without an open bracket raises
  // EAssertionFailed and changes nothing.
  virtual void EndUpdate();
  virtual void RedrawForProperty();

  // The hooks of the notifications.
  virtual void XPBorderChanged();
  virtual void XPEnabledChanged();
  virtual void XPFocusChanged();
  virtual void XPMouseDown();
  virtual void XPMouseEnter();
  virtual void XPMouseLeave();
  virtual void XPMouseMove();
  virtual void XPMouseUp();
  virtual void XPParentColorChanged();
  virtual void XPParentFontChanged();
  virtual void XPPosChanged();
  virtual void XPResized();
  virtual void XPTextChanged();

  void Click() override;
  const TFormPropertyTable& FormProperties() const override;

  // The control's own enter and leave events (fired by the hooks).
  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseLeave;

 protected:
  void Dispatch(TMessage& Message) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) override;
  void RedrawOnElement(TOxXPRedrawOn Element);
  bool Designing() const { return (GetComponentState() & csDesigning) != 0; }
  // Whether the control has the focus now (Qt's focus, or the control the
  // focus notification names).
  bool HasFocusNow(TControl* Focused) const;

  bool FMouseHeld = false;
  TOxXPStates FXPState = xsNormal;
  int32_t FUpdateCount = 0;
  bool FXPActiveOnForm = false;
  TModalResult FModalResult = mrNone;
  TOxXPRedrawOn FRedrawOn = kDefaultRedrawOn;
  TControl* FLastFocused = nullptr;
};

class TOxXPCustomStyleControl;
class TOxXPStyleManager;

// The theme of one style control.
class TOxXPStyle : public TPersistent {
 public:
  explicit TOxXPStyle(TOxXPCustomStyleControl* AOwner) : FOwner(AOwner) {}
  TOxXPTheme GetTheme() const { return FTheme; }
  virtual void SetTheme(TOxXPTheme Value);
  bool GetUseStyleManager() const { return FUseStyleManager; }
  virtual void SetUseStyleManager(bool Value);
  // The manager's theme while UseStyleManager holds and there is a manager.
  TOxXPTheme EffectiveTheme() const;
  void Assign(TPersistent* Source) override;

 private:
  TOxXPCustomStyleControl* FOwner;
  TOxXPTheme FTheme = WindowsXP;
  bool FUseStyleManager = true;
};

class TOxXPCustomComponent : public TOxComponent {
 public:
  using TOxComponent::TOxComponent;
};

// Switches the theme of its registered controls at once.
class TOxXPStyleManager : public TOxXPCustomComponent, public IFormPropertyTarget {
 public:
  explicit TOxXPStyleManager(TComponent* AOwner) : TOxXPCustomComponent(AOwner) {}
  ~TOxXPStyleManager() override;
  TOxXPTheme GetTheme() const { return FTheme; }
  virtual void SetTheme(TOxXPTheme Value);
  void AddControls(const std::vector<TOxXPCustomStyleControl*>& Controls);
  void RemoveControls(const std::vector<TOxXPCustomStyleControl*>& Controls);
  void RedrawControls();
  const std::vector<TOxXPCustomStyleControl*>& Controls() const { return FControls; }
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnThemeChanged;

 private:
  std::vector<TOxXPCustomStyleControl*> FControls;
  TOxXPTheme FTheme = WindowsXP;
};

class TOxXPCustomStyleControl : public TOxXPCustomControl {
 public:
  explicit TOxXPCustomStyleControl(TComponent* AOwner);
  ~TOxXPCustomStyleControl() override;
  TOxXPStyle* GetStyle() const { return FStyle.get(); }
  void SetStyle(TOxXPStyle* Value) { FStyle->Assign(Value); }
  TOxXPStyleManager* GetStyleManager() const { return FStyleManager; }
  virtual void SetStyleManager(TOxXPStyleManager* Value);
  void Notification(TComponent* AComponent, TOperation Operation) override;
  const TFormPropertyTable& FormProperties() const override;

 private:
  std::unique_ptr<TOxXPStyle> FStyle;
  TOxXPStyleManager* FStyleManager = nullptr;
};

// The accelerator character of a caption ("&Save" gives 's'), 0 when none.
char16_t AcceleratorOf(const std::string& Caption);
