#include "widgets/color_swatch.h"

#include "widgets/draw_helpers.h"

TRect TOxColorSpeedButton::SwatchRect() const {
  int32_t E = GetSwatchEdge();
  if (E < 0) E = GetHeight() / 5;
  const int32_t W = GetWidth(), H = GetHeight();
  switch (FSwatchPlacement) {
    case 1: return Rect(E + 1, E + 1, H, H - E);
    case 2: return Rect(W - H + 1, E + 1, W - E, H - E);
    case 3: return Rect(E, E, W - E, H - E);
    default: return Rect(0, 0, 0, 0);
  }
}

void TOxColorSpeedButton::SetShown(bool Value) {
  if (Value == GetVisible()) return;
  if (GetComponentState() & csDesigning) {
    SetControlStyle(Value ? (GetControlStyle() & ~csNoDesignVisible) : (GetControlStyle() | csNoDesignVisible));
  }
  SetVisible(Value);
}

void TOxColorSpeedButton::DoEnabledChange() {
  TOxSpeedButton::DoEnabledChange();
  if (OnEnabledChange) OnEnabledChange(this);
}

void TOxColorSpeedButton::Paint() {
  TOxSpeedButton::Paint();
  TCanvas* C = GetCanvas();
  const TColor Color = GetEnabled() ? FDrawColor : FDisabledDrawColor;
  int32_t E = GetSwatchEdge();
  if (E < 0) E = GetHeight() / 5;
  TPen* Pen = C->GetPen();
  TBrush* Brush = C->GetBrush();
  if (FBarUnderGlyph && !GetGlyph()->GetEmpty()) {
    GetGlyph()->SetTransparent(true);
    if (!FShowSwatch) return;
    const int32_t P = GetButtonState() == sbsDown ? 1 : 0;
    const int32_t X = GetWidth() / 2 - 9 + P, Y = GetHeight() / 2 + 4 + P;
    Pen->SetColor(Color);
    Brush->SetStyle(bsSolid);
    Brush->SetColor(Color);
    C->Rectangle(X, Y, X + 17, Y + 4);
    return;
  }
  if (FDrawBorder) {
    Pen->SetColor(clGray);
    Brush->SetStyle(bsClear);
    C->Rectangle(E - 1, E - 1, GetWidth() - E + 2, GetHeight() - E + 2);
  }
  if (FShowSwatch && FSwatchPlacement >= 1 && FSwatchPlacement <= 3) {
    Pen->SetColor(clGray);
    Brush->SetStyle(bsSolid);
    Brush->SetColor(Color);
    C->Rectangle(SwatchRect());
  }
}

bool TOxDefaultColorSpeendButton::DoHintShow(THintInfo& HintInfo) {
  const bool Result = TOxColorSpeedButton::DoHintShow(HintInfo);
  if (GetShowSwatch()) {
    const TRect R = SwatchRect();
    const TPoint C = HintInfo.CursorPos;
    if (C.X >= R.Left && C.X < R.Right && C.Y >= R.Top && C.Y < R.Bottom)
      HintInfo.HintStr = ColorDisplayName(GetDrawColor());
  }
  return Result;
}
