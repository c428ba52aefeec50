#include "widgets/control_base.h"

#include <QWidget>

namespace {
// Set element and platform bit, in the set's order.
constexpr std::pair<TDialogKeyCodes, uint32_t> kDialogBits[] = {
    {dkWantAllKeys, DLGC_WANTALLKEYS}, {dkWantArrows, DLGC_WANTARROWS}, {dkWantChars, DLGC_WANTCHARS},
    {dkButton, DLGC_BUTTON},           {dkHasSetSel, DLGC_HASSETSEL},   {dkWantTab, DLGC_WANTTAB},
};

enum : uint32_t { UIS_INITIALIZE = 3, UIS_CLEAR = 2, UISF_HIDEFOCUS = 1, UISF_HIDEACCEL = 2, MA_NOACTIVATE = 3 };
}  // namespace

TDialogKeyCodes DialogCodesFromDlgc(uint32_t Dlgc) {
  TDialogKeyCodes Codes = 0;
  for (auto [Element, Bit] : kDialogBits)
    if (Dlgc & Bit) Codes |= Element;
  return Codes;
}

uint32_t DlgcFromDialogCodes(TDialogKeyCodes Codes) {
  uint32_t Dlgc = 0;
  for (auto [Element, Bit] : kDialogBits)
    if (Codes & Element) Dlgc |= Bit;
  return Dlgc;
}

int32_t ShiftToKeyFlags(TShiftState Shift) {
  int32_t Flags = 0;
  if (Shift & ssShift) Flags |= 0x08000000;
  if (Shift & ssCtrl) Flags |= 0x10000000;
  if (Shift & ssAlt) Flags |= 0x20000000;
  return Flags;
}

void ResolveHintColor(THintInfo& HintInfo, TControl* Control, TColor Color) {
  if (Color == clNone) {
    if (Application) HintInfo.HintColor = Application->GetHintColor();
  } else if (Color == clDefault) {
    if (Control && Control->GetParent()) {
      THintInfo Copy = HintInfo;
      Control->GetParent()->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Copy));
      HintInfo.HintColor = Copy.HintColor;
    }
  } else {
    HintInfo.HintColor = Color;
  }
}

TStructPtrMessage::TStructPtrMessage(uint32_t Msg, WPARAM WParam, void* Record) {
  Message.Msg = Msg;
  Message.WParam = WParam;
  Message.LParam = reinterpret_cast<LPARAM>(Record);
  Message.Result = 0;
}

void DrawHighlightFrame(TCanvas* DC, TRect Rect, TColor Color, bool Hot) {
  if (!DC) return;
  TBrush* Brush = DC->GetBrush();
  const TColor SavedColor = Brush->GetColor();
  const TBrushStyle SavedStyle = Brush->GetStyle();
  Brush->SetStyle(bsSolid);
  Brush->SetColor(Hot ? HighlightFocusedColor : HighlightUnfocusedColor);
  DC->FrameRect(Rect);
  InflateRect(Rect, -1, -1);
  if (!Hot) Brush->SetColor(Color);
  DC->FrameRect(Rect);
  Brush->SetColor(SavedColor);
  Brush->SetStyle(SavedStyle);
}

// ------------------------------------------------------------ forms
void TOxExForm::DoShowingChange() {
  if (GetShowing()) Perform(WM_CHANGEUISTATE, UIS_INITIALIZE, 0);
  TOxExControl<TForm>::DoShowingChange();
}

void TOxExForm::Dispatch(TMessage& Message) {
  if (Message.Msg == CM_DIALOGKEY) {
    const auto Key = static_cast<uint16_t>(Message.WParam);
    if (Key == VK_TAB || (Key >= VK_LEFT && Key <= VK_DOWN)) {
      Perform(WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    } else if (Key == VK_MENU) {
      Perform(WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS | UISF_HIDEACCEL), 0);
    }
  }
  TOxExControl<TForm>::Dispatch(Message);
}

TOxForm::TOxForm(TComponent* AOwner) : TOxExForm(AOwner) { FIsFocusable = true; }

void TOxForm::SetIsFocusable(bool Value) {
  FIsFocusable = Value;
  if (QWidget* W = GetWidget()) {
    // A click must not activate a form that refuses the focus.
    W->setAttribute(Qt::WA_ShowWithoutActivating, !Value);
    W->setWindowFlag(Qt::WindowDoesNotAcceptFocus, !Value);
  }
}

void TOxForm::ShowWithoutActivating(bool CallActivate) {
  if (CallActivate && OnActivate) OnActivate(this);
  QWidget* W = GetWidget();
  const bool Saved = W && W->testAttribute(Qt::WA_ShowWithoutActivating);
  if (W) W->setAttribute(Qt::WA_ShowWithoutActivating, true);
  SetVisible(true);
  if (W) {
    W->raise();
    W->setAttribute(Qt::WA_ShowWithoutActivating, Saved);
  }
}

const TFormPropertyTable& TOxForm::FormProperties() const {
  static const TFormPropertyTable Table = TFormProperties<TOxForm>("", &TOxExForm::FormProperties())
                                              .Bool("IsFocusable", &TOxForm::GetIsFocusable, &TOxForm::SetIsFocusable)
                                              .Build();
  return Table;
}

void TOxForm::Dispatch(TMessage& Message) {
  if (Message.Msg == WM_MOUSEACTIVATE && !FIsFocusable) {
    Message.Result = MA_NOACTIVATE;
    return;
  }
  TOxExForm::Dispatch(Message);
}

// ------------------------------------------------------------ non-visual bases
TOxPersistent::TOxPersistent(TPersistent* AOwner)
    : TComponent(dynamic_cast<TComponent*>(AOwner)), FPersistentOwner(AOwner) {}

std::string TOxPersistent::GetNamePath() const {
  std::string Own = TComponent::GetNamePath();
  if (auto* OwnerComponent = dynamic_cast<TComponent*>(FPersistentOwner)) {
    const bool SubComponent = dynamic_cast<TOxPersistent*>(OwnerComponent) != nullptr;
    if (SubComponent || OwnerComponent->GetOwner()) {
      const std::string OwnerPath = OwnerComponent->GetNamePath();
      if (!OwnerPath.empty()) return OwnerPath + "." + Own;
    }
  }
  return Own;
}

void TOxPersistentProperty::DoBeforeChange() {
  if (FChangeDepth == 0 && OnBeforeChange) OnBeforeChange(this);
}

void TOxPersistentProperty::DoAfterChange() {
  if (FChangeDepth == 0 && OnAfterChange) OnAfterChange(this);
}

void TOxPersistentProperty::DoBeforePropertyChange(const std::string& PropName) {
  if (OnBeforePropertyChange) OnBeforePropertyChange(this, PropName);
}

void TOxPersistentProperty::DoAfterPropertyChange(const std::string& PropName) {
  if (OnAfterPropertyChange) OnAfterPropertyChange(this, PropName);
}

void TOxPersistentProperty::SetChanging(bool Starting) {
  if (Starting) {
    DoBeforeChange();
  } else {
    DoAfterChange();
  }
}

void TOxPersistentProperty::BeginChanges() {
  if (FChangeDepth == 0) SetChanging(true);
  ++FChangeDepth;
}

void TOxPersistentProperty::EndChanges() {
  if (FChangeDepth <= 0) return;
  if (--FChangeDepth == 0) SetChanging(false);
}

template class TOxExControl<TWinControl>;
template class TOxExControl<TCustomControl>;
template class TOxExControl<TCustomPanel>;
template class TOxExControl<TGraphicControl>;
