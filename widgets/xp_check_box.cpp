#include "widgets/xp_check_box.h"

#include "platform/vcl/form_properties.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/keys.h"

namespace {

constexpr TColor kCheckBorderXP = static_cast<TColor>(0x733800);
constexpr TColor kCheckBorderOffice = static_cast<TColor>(0xF7FBFF);

void CopyFace(TCanvas* Canvas, TBitmap* B, int32_t X, int32_t Y, int32_t W, int32_t H) {
  if (!B || B->GetEmpty() || W <= 0 || H <= 0) return;
  BitBlt(Canvas, X, Y, std::min(W, B->GetWidth()), std::min(H, B->GetHeight()), B->GetCanvas(), 0, 0, SRCCOPY);
}

}  // namespace

std::unique_ptr<TBitmap> MakeCheckMarkBitmap(bool Grayed) {
  // Rows from the top; '#' is black.
  static const char* const kMark[7] = {"......#", ".....##", "#...###", "##.###.", "#####..", ".###...", "..#...."};
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(7, 7);
  for (int32_t Y = 0; Y < 7; ++Y)
    for (int32_t X = 0; X < 7; ++X)
      B->GetCanvas()->SetPixel(X, Y, Grayed || kMark[Y][X] == '#' ? clBlack : static_cast<TColor>(0xC0C0C0));
  return B;
}

TOxXPCustomCheckControl::TOxXPCustomCheckControl(TComponent* AOwner)
    : TOxXPCustomStyleControl(AOwner),
      FFace(std::make_unique<TBitmap>()),
      FPressed(std::make_unique<TBitmap>()),
      FHot(std::make_unique<TBitmap>()) {
  SetControlStyle(GetControlStyle() & ~csDoubleClicks);
  SetBounds(GetLeft(), GetTop(), 161, 17);
  SetTabStop(true);
  XPResized();
}

TOxXPCustomCheckControl::~TOxXPCustomCheckControl() = default;

void TOxXPCustomCheckControl::SetBoundLines(TOxXPBoundLines Value) {
  if (Value == FBoundLines) return;
  FBoundLines = Value;
  RedrawForProperty();
}

void TOxXPCustomCheckControl::SetChecked(bool Value) {
  if (Value == FChecked) return;
  FChecked = Value;
  RedrawForProperty();
}

void TOxXPCustomCheckControl::SetSpacing(uint8_t Value) {
  if (Value == FSpacing) return;
  FSpacing = Value;
  RedrawForProperty();
}

void TOxXPCustomCheckControl::XPResized() {
  const int32_t S = FCheckSize - 2;
  MakeGradientBitmap(S, S, static_cast<TColor>(0xFFFFFF), static_cast<TColor>(0xE7EBEF), 16, 1, false, FFace.get());
  MakeGradientBitmap(S, S, static_cast<TColor>(0xC6CFD6), static_cast<TColor>(0xEBF3F7), 16, 1, true,
                     FPressed.get());
  MakeGradientBitmap(S, S, static_cast<TColor>(0xCEF3FF), static_cast<TColor>(0x0096E7), 16, 1, true, FHot.get());
  RedrawForProperty();
}

void TOxXPCustomCheckControl::KeyDown(uint16_t& Key, TShiftState Shift) {
  if (Key == VK_SPACE) SetChecked(!FChecked);
  TOxXPCustomStyleControl::KeyDown(Key, Shift);
}

void TOxXPCustomCheckControl::Paint() {
  TCanvas* C = GetCanvas();
  const TRect R = GetClientRect();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(GetColor());
  C->FillRect(R);
  if (Designing()) C->DrawFocusRect(R);
  if (FBoundLines != 0)
    DrawBoundLines(C, FBoundLines, GetStyle()->EffectiveTheme() == WindowsXP ? kCheckBorderXP : kCheckBorderOffice,
                   R);
  if (FXPState & xsFocused) {
    C->GetBrush()->SetStyle(bsSolid);
    C->DrawFocusRect(R);
  }
  DrawCheckSymbol(R);
  C->GetBrush()->SetStyle(bsClear);
  C->GetFont()->Assign(GetFont());
  TRect T = R;
  T.Left += FCheckSize + FSpacing + 4;
  DrawAlignedText(this, C, GetCaption(), GetFont(), GetEnabled(), true, 0, true, T);
}

const TFormPropertyTable& TOxXPCustomCheckControl::FormProperties() const {
  static const TFormEnumNames BoundLineNames = {"blLeft", "blTop", "blRight", "blBottom"};
  using C = TOxXPCustomCheckControl;
  static const TFormPropertyTable Table = TFormProperties<C>("", &TOxXPCustomStyleControl::FormProperties())
                                              .Set("BoundLines", BoundLineNames, &C::GetBoundLines, &C::SetBoundLines)
                                              .Bool("Checked", &C::GetChecked, &C::SetChecked)
                                              .Value<TFormByteKind>("Spacing", &C::GetSpacing, &C::SetSpacing)
                                              .Build();
  return Table;
}

void TOxXPCheckbox::SetChecked(bool Value) {
  if (Value == FChecked) return;
  TOxXPCustomCheckControl::SetChecked(Value);
  FState = Value ? cbChecked : cbUnchecked;
  RedrawForProperty();
}

void TOxXPCheckbox::SetState(TCheckBoxState Value) {
  if (Value == FState || (Value == cbGrayed && !FAllowGrayed)) return;
  FState = Value;
  FChecked = Value == cbChecked;
  RedrawForProperty();
}

void TOxXPCheckbox::SetAllowGrayed(bool Value) {
  FAllowGrayed = Value;
  if (!Value && FState == cbGrayed) {
    FState = cbUnchecked;
    RedrawForProperty();
  }
}

void TOxXPCheckbox::Click() {
  if (FAllowGrayed) {
    SetState(static_cast<TCheckBoxState>((FState + 1) % 3));
  } else {
    SetChecked(!FChecked);
  }
  TOxXPCustomCheckControl::Click();
}

void TOxXPCheckbox::DrawCheckSymbol(const TRect& R) {
  TCanvas* C = GetCanvas();
  const int32_t S = FCheckSize;
  const int32_t Y0 = (GetClientHeight() - S) / 2;
  const bool Hot = (FXPState & xsHot) != 0, Pressed = (FXPState & xsPressed) != 0;
  const int32_t H = Hot ? 1 : 0;
  const int32_t X0 = R.Left + 2;
  const TOxXPTheme Theme = GetStyle()->EffectiveTheme();
  C->GetPen()->SetColor(Theme == OfficeXP && Hot ? static_cast<TColor>(0x663300) : static_cast<TColor>(0x845118));
  C->Rectangle(X0, Y0, X0 + S, Y0 + S);
  if (Theme == WindowsXP) {
    if (Hot && Pressed) {
      CopyFace(C, FPressed.get(), X0 + 1, Y0 + 1, S - 2, S - 2);
    } else {
      if (Hot) CopyFace(C, FHot.get(), X0 + 1, Y0 + 1, S - 2, S - 2);
      CopyFace(C, FFace.get(), X0 + 1 + H, Y0 + 1 + H, S - 2 - 2 * H, S - 2 - 2 * H);
    }
  } else if (Hot) {
    C->GetBrush()->SetStyle(bsSolid);
    C->GetBrush()->SetColor(Pressed ? static_cast<TColor>(0xCC9999) : static_cast<TColor>(0xD6BEB5));
    C->FillRect(Rect(X0 + 1, Y0 + 1, X0 + S - 1, Y0 + S - 1));
  }
  if (FState == cbChecked || FState == cbGrayed) {
    auto Mark = MakeCheckMarkBitmap(FState == cbGrayed);
    if (Theme == WindowsXP) {
      RecolorBlack(Mark.get(), FState == cbChecked ? static_cast<TColor>(0x21A621) : static_cast<TColor>(0x71C671));
    } else if (Pressed && Hot) {
      RecolorBlack(Mark.get(), clWhite);
    }
    const int32_t MX = S / 2 - 1, MY = Y0 + 3;
    if (FState == cbChecked) {
      DrawBitmapMasked(C, MX, MY, Mark.get(), static_cast<TColor>(0xC0C0C0));
    } else {
      C->Draw(MX, MY, Mark.get());
    }
  }
}

const TFormPropertyTable& TOxXPCheckbox::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TOxXPCheckbox>("TOxXPCheckbox", &TOxXPCustomCheckControl::FormProperties())
          .Bool("AllowGrayed", &TOxXPCheckbox::GetAllowGrayed, &TOxXPCheckbox::SetAllowGrayed)
          .Enum("State", CheckBoxStateNames(), &TOxXPCheckbox::GetState, &TOxXPCheckbox::SetState)
          .Build();
  return Table;
}
