#include "widgets/xp_core.h"

#include <algorithm>
#include <cctype>

#include "platform/vcl/form_properties.h"
#include "widgets/draw_helpers.h"

namespace {
// The XP control under a screen point among Root's children, the last-placed
// (topmost) first.
TOxXPCustomControl* XPControlAt(TWinControl* Root, const TPoint& Screen) {
  for (int32_t I = Root->GetControlCount() - 1; I >= 0; --I) {
    TControl* C = Root->GetControls(I);
    if (!C->GetVisible()) continue;
    const TPoint P = C->ScreenToClient(Screen);
    if (P.X < 0 || P.Y < 0 || P.X >= C->GetWidth() || P.Y >= C->GetHeight()) continue;
    if (auto* W = dynamic_cast<TWinControl*>(C)) {
      if (TOxXPCustomControl* Inner = XPControlAt(W, Screen)) return Inner;
    }
    return dynamic_cast<TOxXPCustomControl*>(C);
  }
  return nullptr;
}
}  // namespace

char16_t AcceleratorOf(const std::string& Caption) {
  for (size_t I = 0; I + 1 < Caption.size(); ++I) {
    if (Caption[I] != '&') continue;
    if (Caption[I + 1] == '&') {
      ++I;
      continue;
    }
    return static_cast<char16_t>(std::tolower(static_cast<unsigned char>(Caption[I + 1])));
  }
  return 0;
}

// ------------------------------------------------------------ TOxXPCustomControl
TOxXPCustomControl::TOxXPCustomControl(TComponent* AOwner) : TOxExCustomControl(AOwner) {
  SetControlStyle(GetControlStyle() | csOpaque | csReplicatable);
  SetDoubleBuffered(true);
  FRedrawOn = kDefaultRedrawOn;
  FXPState = xsNormal;
  FModalResult = mrNone;
}

void TOxXPCustomControl::RedrawForState() {
  if (FUpdateCount <= 0) Invalidate();
}

void TOxXPCustomControl::RedrawForProperty() {
  if (FUpdateCount <= 0) Invalidate();
}

void TOxXPCustomControl::BeginUpdate() { ++FUpdateCount; }

void TOxXPCustomControl::EndUpdate() {
  if (FUpdateCount <= 0)
    throw EAssertionFailed("Unpaired call to TOxXPCustomControl.EndUpdate (oxcl/run/OxXPCore, line 363)");
  --FUpdateCount;
  RedrawForState();
}

void TOxXPCustomControl::RedrawOnElement(TOxXPRedrawOn Element) {
  if (FRedrawOn & Element) RedrawForState();
}

bool TOxXPCustomControl::HasFocusNow(TControl* FocusedControl) const {
  return Focused() || FocusedControl == this;
}

void TOxXPCustomControl::XPBorderChanged() { RedrawOnElement(roBorderChanged); }
void TOxXPCustomControl::XPEnabledChanged() { RedrawOnElement(roEnabledChanged); }
void TOxXPCustomControl::XPParentColorChanged() { RedrawOnElement(roParentColorChanged); }
void TOxXPCustomControl::XPParentFontChanged() { RedrawOnElement(roParentFontChanged); }
void TOxXPCustomControl::XPPosChanged() { RedrawOnElement(roPosChanged); }
void TOxXPCustomControl::XPResized() { RedrawOnElement(roResized); }
void TOxXPCustomControl::XPTextChanged() { RedrawOnElement(roTextChanged); }

void TOxXPCustomControl::XPFocusChanged() {
  if (HasFocusNow(FLastFocused)) {
    FXPState |= xsFocused;
  } else {
    FXPState &= ~(xsFocused | xsPressed);
  }
  TCustomForm* Form = GetParentForm();
  TControl* Active = FLastFocused ? FLastFocused : (Form ? Form->GetActiveControl() : nullptr);
  FXPActiveOnForm = dynamic_cast<TOxXPCustomControl*>(Active) != nullptr;
  RedrawOnElement(roFocusChanged);
}

void TOxXPCustomControl::XPMouseDown() {
  if (!Focused() && CanFocus()) SetFocus();
  FXPState |= xsPressed;
  RedrawOnElement(roMouseDown);
}

void TOxXPCustomControl::XPMouseEnter() {
  if (!Designing()) {
    FXPState |= xsHot;
    RedrawOnElement(roMouseEnter);
  }
  if (OnMouseEnter) OnMouseEnter(this);
}

void TOxXPCustomControl::XPMouseLeave() {
  if (!Designing()) {
    FXPState &= ~xsHot;
    RedrawOnElement(roMouseLeave);
  }
  if (OnMouseLeave) OnMouseLeave(this);
}

void TOxXPCustomControl::XPMouseMove() {
  if (!Designing()) RedrawOnElement(roMouseMove);
}

void TOxXPCustomControl::XPMouseUp() {
  FXPState &= ~xsPressed;
  RedrawOnElement(roMouseUp);
}

void TOxXPCustomControl::Click() {
  FControlState &= ~csClicked;
  if (TCustomForm* Form = GetParentForm()) Form->SetModalResult(FModalResult);
  TOxExCustomControl::Click();
}

void TOxXPCustomControl::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExCustomControl::MouseDown(Button, Shift, X, Y);
  if (Button == mbLeft) {
    FMouseHeld = true;
    XPMouseDown();
  }
}

void TOxXPCustomControl::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  TOxExCustomControl::MouseUp(Button, Shift, X, Y);
  if (!FMouseHeld) return;
  FMouseHeld = false;
  XPMouseUp();
  // After a drag the control under the pointer becomes hot at once.
  const TPoint Screen = ClientToScreen(TPoint{X, Y});
  TCustomForm* Form = GetParentForm();
  TWinControl* Root = Form ? static_cast<TWinControl*>(Form) : GetParent();
  if (!Root) return;
  TOxXPCustomControl* Under = XPControlAt(Root, Screen);
  if (Under && Under != this) Under->XPMouseEnter();
}

void TOxXPCustomControl::Dispatch(TMessage& Message) {
  switch (Message.Msg) {
    case CM_BORDERCHANGED:
      TOxExCustomControl::Dispatch(Message);
      XPBorderChanged();
      return;
    case CM_ENABLEDCHANGED:
      TOxExCustomControl::Dispatch(Message);
      XPEnabledChanged();
      return;
    case CM_FOCUSCHANGED:
      TOxExCustomControl::Dispatch(Message);
      FLastFocused = reinterpret_cast<TControl*>(Message.LParam);
      XPFocusChanged();
      FLastFocused = nullptr;
      return;
    case CM_MOUSEENTER:
      TOxExCustomControl::Dispatch(Message);
      XPMouseEnter();
      return;
    case CM_MOUSELEAVE:
      TOxExCustomControl::Dispatch(Message);
      XPMouseLeave();
      return;
    case CM_PARENTCOLORCHANGED:
      TOxExCustomControl::Dispatch(Message);
      XPParentColorChanged();
      return;
    case CM_PARENTFONTCHANGED:
      TOxExCustomControl::Dispatch(Message);
      XPParentFontChanged();
      return;
    case CM_TEXTCHANGED:
      TOxExCustomControl::Dispatch(Message);
      XPTextChanged();
      return;
    case WM_MOUSEMOVE:
      TOxExCustomControl::Dispatch(Message);
      XPMouseMove();
      return;
    case WM_SIZE:
      TOxExCustomControl::Dispatch(Message);
      XPResized();
      return;
    case WM_MOVE:
    case WM_WINDOWPOSCHANGED:
      TOxExCustomControl::Dispatch(Message);
      XPPosChanged();
      return;
    case CM_DIALOGCHAR: {
      const char16_t Accel = AcceleratorOf(GetText());
      const char16_t Ch = static_cast<char16_t>(Message.WParam);
      const bool IsAccel = Accel != 0 && Ch < 128 && std::tolower(static_cast<int>(Ch)) == Accel;
      if (IsAccel && CanFocus()) {
        const bool Alt = (static_cast<uint32_t>(Message.LParam) & 0x20000000u) != 0;
        if (Focused() || Alt) {
          Click();
          Message.Result = 1;
          return;
        }
      }
      TOxExCustomControl::Dispatch(Message);
      return;
    }
    default:
      TOxExCustomControl::Dispatch(Message);
  }
}

const TFormPropertyTable& TOxXPCustomControl::FormProperties() const {
  using C = TOxXPCustomControl;
  static const TFormPropertyTable Table =
      TFormProperties<C>("", &TOxExCustomControl::FormProperties())
          .Custom("ModalResult", [](C& Control, const TFormValue& V,
                                    TFormReadContext&) { Control.SetModalResult(ReadModalResult(V)); },
                  [](const C& Control, TFormValue& V) {
                    V = TFormValue::OfEnum(Control.GetModalResult(), ModalResultNames());
                    return true;
                  })
          .Event("OnMouseEnter", &C::OnMouseEnter)
          .Event("OnMouseLeave", &C::OnMouseLeave)
          .Build();
  return Table;
}

// ------------------------------------------------------------ style
void TOxXPStyle::SetTheme(TOxXPTheme Value) {
  if (Value == FTheme) return;
  FTheme = Value;
  if (FOwner) FOwner->RedrawForState();
}

void TOxXPStyle::SetUseStyleManager(bool Value) {
  if (Value == FUseStyleManager) return;
  FUseStyleManager = Value;
  if (FOwner) FOwner->RedrawForState();
}

TOxXPTheme TOxXPStyle::EffectiveTheme() const {
  if (FUseStyleManager && FOwner && FOwner->GetStyleManager()) return FOwner->GetStyleManager()->GetTheme();
  return FTheme;
}

void TOxXPStyle::Assign(TPersistent* Source) {
  if (auto* S = dynamic_cast<TOxXPStyle*>(Source)) {
    SetTheme(S->FTheme);
    SetUseStyleManager(S->FUseStyleManager);
    return;
  }
  TPersistent::Assign(Source);
}

// ------------------------------------------------------------ style manager
TOxXPStyleManager::~TOxXPStyleManager() {
  RedrawControls();
  FControls.clear();
}

void TOxXPStyleManager::SetTheme(TOxXPTheme Value) {
  if (Value == FTheme) return;
  FTheme = Value;
  if (OnThemeChanged) OnThemeChanged(this);
  RedrawControls();
}

void TOxXPStyleManager::AddControls(const std::vector<TOxXPCustomStyleControl*>& Controls) {
  for (TOxXPCustomStyleControl* C : Controls)
    if (C && std::find(FControls.begin(), FControls.end(), C) == FControls.end()) FControls.push_back(C);
}

void TOxXPStyleManager::RemoveControls(const std::vector<TOxXPCustomStyleControl*>& Controls) {
  for (TOxXPCustomStyleControl* C : Controls) FControls.erase(std::remove(FControls.begin(), FControls.end(), C), FControls.end());
}

void TOxXPStyleManager::RedrawControls() {
  for (TOxXPCustomStyleControl* C : FControls) C->RedrawForState();
}

namespace {
const TFormEnumNames& ThemeNames() {
  static const TFormEnumNames Names = {"WindowsXP", "OfficeXP"};
  return Names;
}
}  // namespace

const TFormPropertyTable& TOxXPStyleManager::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TOxXPStyleManager>("TOxXPStyleManager", &ComponentFormProperties())
          .Enum("Theme", ThemeNames(), &TOxXPStyleManager::GetTheme, &TOxXPStyleManager::SetTheme)
          .Event("OnThemeChanged", &TOxXPStyleManager::OnThemeChanged)
          // The about marker: nothing to apply.
          .Ignored({"AboutOXCL"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ style control
TOxXPCustomStyleControl::TOxXPCustomStyleControl(TComponent* AOwner)
    : TOxXPCustomControl(AOwner), FStyle(std::make_unique<TOxXPStyle>(this)) {}

TOxXPCustomStyleControl::~TOxXPCustomStyleControl() {
  if (FStyleManager) {
    FStyleManager->RemoveControls({this});
    FStyleManager->RemoveFreeNotification(this);
    FStyleManager = nullptr;
  }
}

void TOxXPCustomStyleControl::SetStyleManager(TOxXPStyleManager* Value) {
  if (Value == FStyleManager) return;
  if (FStyleManager) FStyleManager->RemoveControls({this});
  if (Value) Value->AddControls({this});
  ReplaceComponentReference(this, Value, FStyleManager);
  RedrawForState();
}

void TOxXPCustomStyleControl::Notification(TComponent* AComponent, TOperation Operation) {
  TOxXPCustomControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FStyleManager) FStyleManager = nullptr;
}

const TFormPropertyTable& TOxXPCustomStyleControl::FormProperties() const {
  using C = TOxXPCustomStyleControl;
  static const TFormPropertyTable Table =
      TFormProperties<C>("", &TOxXPCustomControl::FormProperties())
          .Custom("Style.Theme",
                  [](C& Control, const TFormValue& V, TFormReadContext&) {
                    Control.GetStyle()->SetTheme(static_cast<TOxXPTheme>(V.AsEnum(ThemeNames())));
                  },
                  [](const C& Control, TFormValue& V) {
                    V = TFormValue::OfEnum(Control.GetStyle()->GetTheme(), ThemeNames());
                    return true;
                  })
          .Custom("Style.UseStyleManager",
                  [](C& Control, const TFormValue& V, TFormReadContext&) {
                    Control.GetStyle()->SetUseStyleManager(V.AsBoolean());
                  },
                  [](const C& Control, TFormValue& V) {
                    V = TFormValue::OfBoolean(Control.GetStyle()->GetUseStyleManager());
                    return true;
                  })
          .Reference<TOxXPStyleManager>("StyleManager", &C::GetStyleManager, &C::SetStyleManager)
          .Build();
  return Table;
}
