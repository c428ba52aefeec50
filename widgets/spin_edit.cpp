#include "widgets/spin_edit.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "platform/vcl/form_properties.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/keys.h"
#include "widgets/char_tables.h"
#include "widgets/draw_helpers.h"

// ------------------------------------------------------------ value rules
namespace {

std::string StripThousandSeparators(const std::string& S) {
  if (kSpinThousandSeparator == kSpinDecimalSeparator) return S;
  return RemoveChar(S, kSpinThousandSeparator);
}

int32_t ClampTo32(long double V) {
  return static_cast<int32_t>(std::clamp<long double>(V, std::numeric_limits<int32_t>::min(),
                                                      std::numeric_limits<int32_t>::max()));
}

// Optional sign, then at least one digit of the base; the magnitude is summed
// in long double so text of any length clamps instead of overflowing.
bool ParseWhole(const std::string& S, int32_t Base, long double& Result) {
  size_t I = 0;
  bool Negative = false;
  if (I < S.size() && (S[I] == '-' || S[I] == '+')) Negative = S[I++] == '-';
  if (I >= S.size()) return false;
  long double V = 0;
  for (; I < S.size(); ++I) {
    const char C = S[I];
    int32_t D;
    if (C >= '0' && C <= '9') {
      D = C - '0';
    } else if (Base == 16 && C >= 'a' && C <= 'f') {
      D = C - 'a' + 10;
    } else if (Base == 16 && C >= 'A' && C <= 'F') {
      D = C - 'A' + 10;
    } else {
      return false;
    }
    V = V * Base + D;
  }
  Result = Negative ? -V : V;
  return true;
}

std::string GroupThousands(const std::string& Digits) {
  std::string Out;
  const int32_t N = static_cast<int32_t>(Digits.size());
  for (int32_t I = 0; I < N; ++I) {
    if (I > 0 && (N - I) % 3 == 0) Out += kSpinThousandSeparator;
    Out += Digits[I];
  }
  return Out;
}

// Fixed notation with Decimals digits, 15 significant digits at most.
std::string FixedText(long double V, int32_t Decimals, bool Thousands) {
  std::string S = FloatToStrF(V, Thousands ? ffNumber : ffFixed, 15, Decimals);
  if (kSpinDecimalSeparator != '.' || kSpinThousandSeparator != ',') {
    for (char& C : S) {
      if (C == '.') {
        C = kSpinDecimalSeparator;
      } else if (C == ',') {
        C = kSpinThousandSeparator;
      }
    }
  }
  return S;
}

}  // namespace

long double SpinTextToValue(const std::string& Text, TValueType Type, const std::string& DisplayFormat,
                            long double MinValue) {
  long double V = 0;
  switch (Type) {
    case vtFloat: {
      const std::string S = DisplayFormat.empty()
                                ? StripThousandSeparators(Text)
                                : ToNumericText(Text, kSpinDecimalSeparator, kSpinThousandSeparator);
      return TryStrToFloat(S, V) ? V : MinValue;
    }
    case vtHex: return ParseWhole(Text, 16, V) ? ClampTo32(V) : IERound(MinValue);
    case vtInteger: return ParseWhole(StripThousandSeparators(Text), 10, V) ? ClampTo32(V) : IERound(MinValue);
  }
  return MinValue;
}

std::string FormatFloatPicture(long double Value, const std::string& Picture) {
  const size_t Dot = Picture.find('.');
  const std::string IntPart = Picture.substr(0, Dot);
  const std::string FracPart = Dot == std::string::npos ? "" : Picture.substr(Dot + 1);
  const bool Group = IntPart.find(',') != std::string::npos;
  const int32_t MinInt = static_cast<int32_t>(std::count(IntPart.begin(), IntPart.end(), '0'));
  const int32_t MinFrac = static_cast<int32_t>(std::count(FracPart.begin(), FracPart.end(), '0'));
  const int32_t MaxFrac = MinFrac + static_cast<int32_t>(std::count(FracPart.begin(), FracPart.end(), '#'));
  // Pictures round halves away from zero, as number pictures always have.
  const long double Scale = std::pow(10.0L, MaxFrac);
  const long double Rounded = std::floor(std::fabs(Value) * Scale + 0.5L) / Scale;
  char Buf[128];
  std::snprintf(Buf, sizeof Buf, "%.*Lf", MaxFrac, Rounded);
  std::string S = Buf;
  std::string Whole = S.substr(0, S.find('.'));
  std::string Frac = S.find('.') == std::string::npos ? "" : S.substr(S.find('.') + 1);
  while (static_cast<int32_t>(Frac.size()) > MinFrac && !Frac.empty() && Frac.back() == '0') Frac.pop_back();
  if (Whole == "0" && MinInt == 0) Whole.clear();
  while (static_cast<int32_t>(Whole.size()) < MinInt) Whole.insert(Whole.begin(), '0');
  if (Group) Whole = GroupThousands(Whole);
  std::string Out = Whole;
  if (!Frac.empty()) Out += kSpinDecimalSeparator + Frac;
  const bool Zero = Out.find_first_not_of("0.,") == std::string::npos;
  if (Value < 0 && !Zero) Out.insert(Out.begin(), '-');
  return Out;
}

std::string SpinValueToText(long double Value, TValueType Type, const std::string& DisplayFormat, uint8_t Decimal,
                            bool Thousands) {
  switch (Type) {
    case vtFloat:
      return DisplayFormat.empty() ? FixedText(Value, Decimal, Thousands) : FormatFloatPicture(Value, DisplayFormat);
    case vtHex: {
      const long double R = std::nearbyint(Value);
      const auto Whole = static_cast<int64_t>(std::clamp<long double>(R, -9.2e18L, 9.2e18L));
      const uint64_t Magnitude = Whole < 0 ? static_cast<uint64_t>(-(Whole + 1)) + 1 : static_cast<uint64_t>(Whole);
      char Buf[24];
      std::snprintf(Buf, sizeof Buf, "%llX", static_cast<unsigned long long>(Magnitude));
      return (Whole < 0 ? "-" : "") + std::string(Buf);
    }
    case vtInteger: return FixedText(Value, 0, Thousands);
  }
  return "0";
}

// ------------------------------------------------------------ the edit
TOxCustomSpinEdit::TOxCustomSpinEdit(TComponent* AOwner) : TOxExCustomMaskEdit(AOwner) {
  SetControlStyle(GetControlStyle() & ~csSetCaption);
  RebuildButtons();
}

TOxCustomSpinEdit::~TOxCustomSpinEdit() {
  FInChange = true;
  if (FButton) {
    FButton->OnTopClick = nullptr;
    FButton->OnBottomClick = nullptr;
  }
}

void TOxCustomSpinEdit::RebuildButtons() {
  if (GetComponentState() & csDestroying) return;
  delete FButton;
  FButton = nullptr;
  delete FHolder;
  FHolder = nullptr;
  if (!FShowButton) return;
  FHolder = new TPanel(this);
  FHolder->SetBevelOuter(bvNone);
  FHolder->SetParent(this);
  FButton = new TOxSpinButton(this);
  FButton->SetParent(FHolder);
  FButton->SetFocusControl(this);
  FButton->OnTopClick = [this](TObject* S) { StepUp(S); };
  FButton->OnBottomClick = [this](TObject* S) { StepDown(S); };
  // The platform has no up-down control: the standard kind is the classic
  // split spin button.
  FButton->SetButtonStyle(FButtonKind == bkDiagonal ? sbsDefault : sbsClassic);
  LayoutButtons();
}

void TOxCustomSpinEdit::LayoutButtons() {
  if (!FHolder || !FButton) return;
  const int32_t W = GetWidth(), H = GetHeight();
  // Inside the edit's own frame: a square for the diagonal kind, a narrow
  // strip for the split kinds.
  const int32_t Side = std::max(H - 2, 1);
  const int32_t BW = FButtonKind == bkDiagonal ? Side : std::min(15, Side);
  FHolder->SetBounds(W - BW - 1, 1, BW, Side);
  FButton->SetBounds(0, 0, BW, Side);
}

void TOxCustomSpinEdit::SetShowButton(bool Value) {
  if (Value == FShowButton) return;
  FShowButton = Value;
  RebuildButtons();
}

void TOxCustomSpinEdit::SetButtonKind(TSpinButtonKind Value) {
  if (Value == FButtonKind) return;
  FButtonKind = Value;
  RebuildButtons();
}

int32_t TOxCustomSpinEdit::MinimumEditHeight() const {
  TBitmap Probe;
  Probe.SetSize(1, 1);
  Probe.GetCanvas()->GetFont()->Assign(GetFont());
  return Probe.GetCanvas()->TextHeight("0") + 4 * 1 + 1;
}

void TOxCustomSpinEdit::SetBounds(int32_t ALeft, int32_t ATop, int32_t AWidth, int32_t AHeight) {
  if (!(GetComponentState() & (csLoading | csReading))) AHeight = std::max(AHeight, MinimumEditHeight());
  TOxExCustomMaskEdit::SetBounds(ALeft, ATop, AWidth, AHeight);
  LayoutButtons();
}

long double TOxCustomSpinEdit::ClampToRange(long double X) const {
  if (!FCheckMinValue && !FCheckMaxValue) return X;
  if (FCheckMinValue && X < FMinValue) return FMinValue;
  if (FCheckMaxValue && X > FMaxValue) return FMaxValue;
  return X;
}

long double TOxCustomSpinEdit::ClampToRangeOrRaise(long double X, bool Raise) const {
  const long double R = ClampToRange(X);
  if ((FCheckMinValue || FCheckMaxValue) && Raise && R != X)
    throw ERangeError("Value must be between " + FloatToStr(FMinValue) + " and " + FloatToStr(FMaxValue));
  return R;
}

void TOxCustomSpinEdit::SetCheckMinValue(bool Value) {
  if (FMinValue != 0) Value = true;
  if (GetComponentState() & csLoading) FAutoCheckMin = false;
  FCheckMinValue = Value;
  SetValue(GetValue());
}

void TOxCustomSpinEdit::SetCheckMaxValue(bool Value) {
  if (FMaxValue != 0) Value = true;
  if (GetComponentState() & csLoading) FAutoCheckMax = false;
  FCheckMaxValue = Value;
  SetValue(GetValue());
}

void TOxCustomSpinEdit::SetMaxValue(long double Value) {
  if (Value == FMaxValue) return;
  // A flag a form resource would store differs from its implied default;
  // only a flag at that default follows the limits.
  const bool MaxAtDefault = !(FMaxValue == 0 && FCheckMaxValue == (FMinValue == 0));
  const bool ZeroChange = (FMaxValue == 0) != (Value == 0);
  FMaxValue = Value;
  if (ZeroChange && FAutoCheckMax) {
    FCheckMaxValue = RangeIsSet();
    if (MaxAtDefault && FAutoCheckMin) FCheckMinValue = RangeIsSet();
  }
  SetValue(GetValue());
}

void TOxCustomSpinEdit::SetMinValue(long double Value) {
  if (Value == FMinValue) return;
  const bool MinAtDefault = !(FMinValue == 0 && FCheckMinValue == (FMaxValue == 0));
  const bool ZeroChange = (FMinValue == 0) != (Value == 0);
  FMinValue = Value;
  if (ZeroChange && FAutoCheckMin) {
    FCheckMinValue = RangeIsSet();
    if (MinAtDefault && FAutoCheckMax) FCheckMaxValue = RangeIsSet();
  }
  SetValue(GetValue());
}

void TOxCustomSpinEdit::SetValueType(TValueType NewType) {
  if (NewType == FValueType) return;
  const long double V = GetValue();
  FValueType = NewType;
  SetValue(V);
  if (NewType == vtInteger || NewType == vtHex) {
    FIncrement = IERound(FIncrement);
    if (FIncrement == 0) FIncrement = 1;
  }
  if (NewType == vtHex) FThousands = false;
}

void TOxCustomSpinEdit::SetDecimal(uint8_t Value) {
  if (Value == FDecimal) return;
  const long double V = GetValue();
  FDecimal = Value;
  SetValue(V);
}

void TOxCustomSpinEdit::SetDisplayFormat(const std::string& Value) {
  FDisplayFormat = Value;
  Invalidate();
}

void TOxCustomSpinEdit::SetThousands(bool Value) {
  if (FValueType == vtHex) return;
  FThousands = Value;
}

void TOxCustomSpinEdit::ApplyEditFormat() {
  if (FValueType != vtFloat || !FEditingFocus || FDisplayFormat.empty()) return;
  std::string Picture = "0";
  if (FDecimal > 0) Picture += "." + std::string(FDecimal, '0');
  WriteText(FormatFloatPicture(GetValue(), Picture));
}

void TOxCustomSpinEdit::WriteText(const std::string& Text) {
  // The text change notification runs Change, which decides about OnChange.
  if (Text != GetText()) SetText(Text);
}

void TOxCustomSpinEdit::SetEditingFocus(bool Value) {
  if (Value == FEditingFocus) return;
  FEditingFocus = Value;
  Invalidate();
  ApplyEditFormat();
}

void TOxCustomSpinEdit::Change() {
  if (FInChange) return;
  FInChange = true;
  const std::string Text = GetText();
  const int32_t Caret = GetSelStart();
  FNegativeTyped = !Text.empty() && Text[0] == '-';
  if (!(GetComponentState() & csDesigning) && (FCheckOptions & coCheckOnChange)) {
    try {
      ClampToRangeOrRaise(GetValue(), !(FCheckOptions & coCropBeyondLimit));
      SetValue(ClampToRange(GetValue()));
    } catch (...) {
      // Typing never shows a message: the nearest limit replaces the entry.
      SetValue(ClampToRange(GetValue()));
    }
  }
  FInChange = false;
  FNegativeTyped = false;
  // Re-writing the value re-writes the text: the caret goes back where the
  // user left it.
  SetSelStart(Caret);
  const long double V = GetValue();
  if (V != FLastValue) {
    if (FThousands && GetSelStart() == Caret) {
      // Separators added or dropped in front of the caret move it, so it
      // stays behind the same digit.
      const std::string NewText = GetText();
      const size_t Head = static_cast<size_t>(std::max(0, Caret));
      const int32_t Shift = CharOccurrences(NewText.substr(0, std::min(Head, NewText.size())), kSpinThousandSeparator) -
                            CharOccurrences(Text.substr(0, std::min(Head, Text.size())), kSpinThousandSeparator);
      SetSelStart(Caret + Shift);
    }
    TOxExCustomMaskEdit::Change();
    FLastValue = V;
  }
}

void TOxCustomSpinEdit::Step(bool Up) {
  if (GetReadOnly()) {
    DoBeepOnError();
    return;
  }
  const std::string Old = GetText();
  FInChange = true;
  try {
    SetValue(GetValue() + (Up ? FIncrement : -FIncrement));
  } catch (...) {
    FInChange = false;
    throw;
  }
  FInChange = false;
  if (!SameText(Old, GetText())) Change();
  if (Up && OnTopClick) OnTopClick(this);
  if (!Up && OnBottomClick) OnBottomClick(this);
}

void TOxCustomSpinEdit::StepUp(TObject*) { Step(true); }
void TOxCustomSpinEdit::StepDown(TObject*) { Step(false); }

bool TOxCustomSpinEdit::DoMouseWheel(TShiftState, int32_t WheelDelta, TPoint) {
  if (WheelDelta > 0) {
    StepUp(nullptr);
  } else {
    StepDown(nullptr);
  }
  return true;
}

void TOxCustomSpinEdit::KeyDown(uint16_t& Key, TShiftState Shift) {
  TOxExCustomMaskEdit::KeyDown(Key, Shift);
  if (FArrowKeys && (Key == VK_UP || Key == VK_DOWN)) {
    if (Key == VK_UP) {
      StepUp(nullptr);
    } else {
      StepDown(nullptr);
    }
    Key = 0;
  }
  // Delete and Backspace next to the decimal separator step over it instead
  // of deleting it.
  if ((Key == VK_DELETE || Key == VK_BACK) && GetSelLength() == 0) {
    const std::string Text = GetText();
    const int32_t Caret = GetSelStart();
    const int32_t Separator = static_cast<int32_t>(Text.find(kSpinDecimalSeparator));
    if (Separator >= 0) {
      if (Key == VK_DELETE && Caret == Separator) {
        SetSelStart(Caret + 1);
        Key = 0;
      } else if (Key == VK_BACK && Caret == Separator + 1) {
        SetSelStart(Caret - 1);
        Key = 0;
      }
    }
  }
}

bool TOxCustomSpinEdit::IsAllowedChar(char16_t Key) const {
  if (Key < 32) return true;
  if ((Key >= '0' && Key <= '9') || Key == '+' || Key == '-') return true;
  const std::string Text = GetText();
  if (FValueType == vtFloat) {
    if (Key == static_cast<char16_t>(kSpinDecimalSeparator) && Text.find(kSpinDecimalSeparator) == std::string::npos)
      return true;
    if ((Key == 'e' || Key == 'E') && Text.find_first_of("eE") == std::string::npos) return true;
  }
  if (FValueType == vtHex && ((Key >= 'A' && Key <= 'F') || (Key >= 'a' && Key <= 'f'))) return true;
  return false;
}

void TOxCustomSpinEdit::KeyPress(char16_t& Key) {
  if (Key == '.' && !(FThousands && kSpinThousandSeparator == '.')) Key = kSpinDecimalSeparator;
  if (FValueType == vtFloat && Key == static_cast<char16_t>(kSpinDecimalSeparator)) {
    // A second separator puts the caret behind the first one.
    const size_t Separator = GetText().find(kSpinDecimalSeparator);
    if (Separator != std::string::npos) {
      SetSelStart(static_cast<int32_t>(Separator) + 1);
      Key = 0;
      return;
    }
  }
  bool Allowed = IsAllowedChar(Key);
  if (Allowed && !FEditorEnabled && (Key >= 32 || Key == 8 || Key == 127)) Allowed = false;
  if (!Allowed) {
    Key = 0;
    DoBeepOnError();
    return;
  }
  TOxExCustomMaskEdit::KeyPress(Key);
  if (Key == 13 || Key == 27) {
    if (TCustomForm* Form = GetParentForm()) Form->Perform(CM_DIALOGKEY, Key, LPARAM(0));
    if (Key == 13) Key = 0;
  }
}

void TOxCustomSpinEdit::DoEnter() {
  SetEditingFocus(true);
  TOxExCustomMaskEdit::DoEnter();
}

void TOxCustomSpinEdit::DoExit() {
  SetEditingFocus(false);
  if (FCheckOptions & coCheckOnExit) {
    try {
      SetValue(ClampToRangeOrRaise(GetValue(), !(FCheckOptions & coCropBeyondLimit)));
    } catch (...) {
      SetEditingFocus(true);
      SelectAll();
      if (CanFocus()) SetFocus();
      throw;
    }
  }
  TOxExCustomMaskEdit::DoExit();
}

void TOxCustomSpinEdit::DoFocusLost(HWND NextWnd) {
  // A held button stops stepping when the field (or its window) loses the
  // focus, even though the release will go elsewhere.
  if (FButton) FButton->Perform(CM_CANCELMODE, 0, LPARAM(0));
  if (!(GetComponentState() & csDesigning) && (FCheckOptions & coCheckOnExit) &&
      (FCheckOptions & coCropBeyondLimit))
    SetValue(ClampToRange(GetValue()));
  TOxExCustomMaskEdit::DoFocusLost(NextWnd);
}

void TOxCustomSpinEdit::DoEnabledChange() {
  TOxExCustomMaskEdit::DoEnabledChange();
  if (FButton) FButton->SetEnabled(GetEnabled());
}

void TOxCustomSpinEdit::WndProc(TMessage& Message) {
  // Cutting and pasting change the text: only an editable field takes them.
  if ((Message.Msg == WM_CUT_MSG || Message.Msg == WM_PASTE_MSG) && (!FEditorEnabled || GetReadOnly())) {
    Message.Result = 0;
    return;
  }
  TOxExCustomMaskEdit::WndProc(Message);
}

void TOxCustomSpinEdit::Loaded() {
  TOxExCustomMaskEdit::Loaded();
  FAutoCheckMin = true;
  FAutoCheckMax = true;
  FLastValue = GetValue();
}

const TFormPropertyTable& TOxCustomSpinEdit::FormProperties() const {
  static const TFormEnumNames CheckNames = {"coCheckOnChange", "coCheckOnExit", "coCropBeyondLimit"};
  static const TFormEnumNames ValueTypeNames = {"vtInteger", "vtFloat", "vtHex"};
  static const TFormEnumNames KindNames = {"bkStandard", "bkDiagonal", "bkClassic"};
  using E = TOxCustomSpinEdit;
  static const TFormPropertyTable Table =
      TFormProperties<E>("", &TOxExCustomMaskEdit::FormProperties())
          .Enum("Alignment", AlignmentNames(), &E::GetAlignment, &E::SetAlignment)
          .Bool("ArrowKeys", &E::GetArrowKeys, &E::SetArrowKeys)
          .Enum("ButtonKind", KindNames, &E::GetButtonKind, &E::SetButtonKind)
          .Bool("CheckMaxValue", &E::GetCheckMaxValue, &E::SetCheckMaxValue)
          .Bool("CheckMinValue", &E::GetCheckMinValue, &E::SetCheckMinValue)
          .Set("CheckOptions", CheckNames, &E::GetCheckOptions, &E::SetCheckOptions)
          .Value<TFormByteKind>("Decimal", &E::GetDecimal, &E::SetDecimal)
          .String("DisplayFormat", &E::GetDisplayFormat, &E::SetDisplayFormat)
          .Bool("EditorEnabled", &E::GetEditorEnabled, &E::SetEditorEnabled)
          .Float("Increment", &E::GetIncrement, &E::SetIncrement)
          .Float("MaxValue", &E::GetMaxValue, &E::SetMaxValue)
          .Float("MinValue", &E::GetMinValue, &E::SetMinValue)
          .Bool("ShowButton", &E::GetShowButton, &E::SetShowButton)
          .Bool("Thousands", &E::GetThousands, &E::SetThousands)
          .Enum("ValueType", ValueTypeNames, &E::GetValueType, &E::SetValueType)
          .Float("Value", &E::GetValue, &E::SetValue)
          .Event("OnBottomClick", &E::OnBottomClick)
          .Event("OnTopClick", &E::OnTopClick)
          .Build();
  return Table;
}

TOxSpinEdit::TOxSpinEdit(TComponent* AOwner) : TOxCustomSpinEdit(AOwner) {
  FInChange = true;
  SetText("0");
  FInChange = false;
}

long double TOxSpinEdit::GetValue() const {
  try {
    return SpinTextToValue(GetText(), GetValueType(), GetDisplayFormat(), GetMinValue());
  } catch (...) {
    return GetValueType() == vtFloat ? GetMinValue() : IERound(GetMinValue());
  }
}

void TOxSpinEdit::SetValue(long double NewValue) {
  std::string Text = SpinValueToText(ClampToRange(NewValue), GetValueType(), GetDisplayFormat(), GetDecimal(),
                                     GetThousands());
  if (FNegativeTyped && !Text.empty() && Text[0] != '-') Text.insert(Text.begin(), '-');
  WriteText(Text);
  ApplyEditFormat();
}
