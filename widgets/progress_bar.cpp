#include "widgets/progress_bar.h"

#include <algorithm>

#include "platform/vcl/form_properties.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/messages.h"
#include "widgets/draw_helpers.h"

// ------------------------------------------------------------ base
TOxBaseProgressBar::TOxBaseProgressBar(TComponent* AOwner) : TGraphicControl(AOwner) {
  SetControlStyle(GetControlStyle() | csOpaque);
  SetBounds(GetLeft(), GetTop(), 150, VclScrollBarSize);
}

void TOxBaseProgressBar::SetBlockSize(int32_t Value) {
  if (Value == FBlockSize) return;
  FBlockSize = Value;
  Invalidate();
}

void TOxBaseProgressBar::SetSmooth(bool Value) {
  if (Value == FSmooth) return;
  FSmooth = Value;
  Invalidate();
}

void TOxBaseProgressBar::SetPosition(int32_t Value) {
  Value = std::max(std::min(Value, FMax), FMin);
  if (Value == FPosition) return;
  FPosition = Value;
  NotifyChange();
  Invalidate();
}

void TOxBaseProgressBar::SetMax(int32_t Value) {
  if (Value < FMin) Value = FMin;
  if (FPosition > Value) FPosition = Value;
  if (Value == FMax) return;
  FMax = Value;
  NotifyChange();
  Invalidate();
}

void TOxBaseProgressBar::SetMin(int32_t Value) {
  if (Value > FMax) Value = FMax;
  if (FPosition < Value) FPosition = Value;
  if (Value == FMin) return;
  FMin = Value;
  NotifyChange();
  Invalidate();
}

void TOxBaseProgressBar::SetOrientation(TProgressBarOrientation Value) {
  if (Value == FOrientation) return;
  FOrientation = Value;
  if (!(GetComponentState() & csLoading)) SetBounds(GetLeft(), GetTop(), GetWidth(), GetHeight());
  Invalidate();
}

void TOxBaseProgressBar::SetBarColor(TColor Value) {
  if (Value == FBarColor) return;
  FBarColor = Value;
  Invalidate();
}

void TOxBaseProgressBar::SetStep(int32_t Value) { FStep = Value <= 0 ? 1 : Value; }

int32_t TOxBaseProgressBar::FullBarLength() const { return FOrientation == pbVertical ? GetHeight() : GetWidth(); }

void TOxBaseProgressBar::NotifyChange() {
  if (OnChange) OnChange(this);
}

void TOxBaseProgressBar::AdvanceOneStep() { AdvanceBy(FStep); }

void TOxBaseProgressBar::AdvanceBy(int32_t Delta) {
  const int64_t Target = static_cast<int64_t>(FPosition) + Delta;
  SetPosition(static_cast<int32_t>(std::clamp<int64_t>(Target, FMin, FMax)));
}

void TOxBaseProgressBar::Paint() {
  if (static_cast<int64_t>(FMax) - FMin < 1 || GetWidth() < 1 || GetHeight() < 1) return;
  const int32_t L = MulDiv(FullBarLength(), FPosition - FMin, FMax - FMin);
  PaintBar(GetCanvas(), L);
}

void TOxBaseProgressBar::PaintBar(TCanvas* Canvas, int32_t L) {
  const int32_t W = GetWidth(), H = GetHeight();
  TRect R = Rect(0, 0, W, H);
  Canvas->GetBrush()->SetStyle(bsSolid);
  Canvas->GetBrush()->SetColor(GetColor());
  Canvas->FillRect(R);
  DrawEdge(Canvas, R, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
  if (L == 0) return;
  Canvas->GetBrush()->SetColor(FBarColor);
  if (FOrientation == pbHorizontal) {
    if (FSmooth) {
      TRect B = R;
      B.Right = B.Left + L;
      InflateRect(B, -1, -1);
      B.Right = std::min(B.Right, W - 2);
      if (!IsRectEmpty(B)) Canvas->FillRect(B);
      return;
    }
    TRect B = R;
    B.Right = B.Left + FStep;
    InflateRect(B, -1, -1);
    while (L > 0) {
      B.Right = std::min(B.Right, W - 3);
      if (IsRectEmpty(B)) break;
      Canvas->FillRect(B);
      const int32_t Move = B.Width() + 2;
      OffsetRect(B, Move, 0);
      L -= Move;
    }
    return;
  }
  if (FSmooth) {
    TRect B = R;
    B.Top = std::max(B.Bottom - L, 2);
    InflateRect(B, -1, -1);
    if (!IsRectEmpty(B)) Canvas->FillRect(B);
    return;
  }
  TRect B = R;
  OffsetRect(B, 0, H - FStep - 2);
  B.Bottom = B.Top + FStep;
  InflateRect(B, -1, -1);
  while (L > 0) {
    B.Top = std::max(B.Top, 3);
    if (!IsRectEmpty(B)) Canvas->FillRect(B);
    OffsetRect(B, 0, -FStep);
    L -= FStep;
  }
}

const TFormPropertyTable& TOxBaseProgressBar::FormProperties() const {
  static const TFormEnumNames OrientationNames = {"pbHorizontal", "pbVertical"};
  using B = TOxBaseProgressBar;
  static const TFormPropertyTable Table =
      TFormProperties<B>("", &TGraphicControl::FormProperties())
          .Color("BarColor", &B::GetBarColor, &B::SetBarColor)
          .Integer("BlockSize", &B::GetBlockSize, &B::SetBlockSize)
          .Integer("Min", &B::GetMin, &B::SetMin)
          .Integer("Max", &B::GetMax, &B::SetMax)
          .Enum("Orientation", OrientationNames, &B::GetOrientation, &B::SetOrientation)
          .Integer("Position", &B::GetPosition, &B::SetPosition)
          .Bool("Smooth", &B::GetSmooth, &B::SetSmooth)
          .Integer("Step", &B::GetStep, &B::SetStep)
          // The platform drags no controls: read and left alone.
          .Ignored({"DragKind"})
          .Event("OnChange", &B::OnChange)
          .Build();
  return Table;
}

// ------------------------------------------------------------ two colours
void TOxBaseGradientProgressBar::SetBarColorFrom(TColor Value) {
  if (Value == FBarColorFrom) return;
  FBarColorFrom = Value;
  Invalidate();
}

void TOxBaseGradientProgressBar::SetBarColorTo(TColor Value) {
  if (Value == FBarColorTo) return;
  FBarColorTo = Value;
  Invalidate();
}

const TFormPropertyTable& TOxBaseGradientProgressBar::FormProperties() const {
  using B = TOxBaseGradientProgressBar;
  static const TFormPropertyTable Table = TFormProperties<B>("", &TOxBaseProgressBar::FormProperties())
                                              .Color("BarColorFrom", &B::GetBarColorFrom, &B::SetBarColorFrom)
                                              .Color("BarColorTo", &B::GetBarColorTo, &B::SetBarColorTo)
                                              .Build();
  return Table;
}

// ------------------------------------------------------------ XP look
TOxCustomXPProgressBar::TOxCustomXPProgressBar(TComponent* AOwner) : TOxBaseGradientProgressBar(AOwner) {
  FStep = 7;
  SetParentColor(false);
  SetColor(clWindow);
  FBarColorFrom = static_cast<TColor>(0x31D329);
  FBarColorTo = static_cast<TColor>(0xADEFAD);
}

void TOxCustomXPProgressBar::PaintBar(TCanvas* Canvas, int32_t L) {
  const int32_t W = GetWidth(), H = GetHeight();
  const TColor Background = GetParent() ? GetParent()->GetColor() : clBtnFace;
  constexpr TColor Key = static_cast<TColor>(0xFF00FF);

  TBitmap Work;
  Work.SetPixelFormat(pf32bit);
  Work.SetSize(W, H);
  TCanvas* C = Work.GetCanvas();
  C->GetBrush()->SetStyle(bsSolid);
  C->GetBrush()->SetColor(Key);
  C->FillRect(Rect(0, 0, W, H));
  TRect Inner = Rect(0, 0, W, H);
  InflateRect(Inner, -3, -2);
  C->GetBrush()->SetColor(GetColor());
  C->FillRect(Inner);

  // The rounded frame, line by line.
  struct Line {
    int32_t X1, Y1, X2, Y2;
    TColor Color;
  };
  const Line Frame[] = {
      {0, 1, 0, H - 1, kXPBarMiddle},         {0, 2, 0, H - 2, kXPBarDark},
      {W - 1, 1, W - 1, H - 1, kXPBarMiddle}, {W - 1, 2, W - 1, H - 2, kXPBarDark},
      {1, 0, 1, H, kXPBarMiddle},             {1, 1, 1, H - 1, kXPBarDark},
      {1, 2, 1, H - 2, kXPBarMiddle},         {W - 2, 0, W - 2, H, kXPBarMiddle},
      {W - 2, 1, W - 2, H - 1, kXPBarDark},   {W - 2, 2, W - 2, H - 2, kXPBarMiddle},
      {2, 0, 2, H, kXPBarDark},               {2, 1, 2, H - 1, kXPBarMiddle},
      {2, 3, 2, H - 1, kXPBarLight},          {W - 3, 0, W - 3, H, kXPBarDark},
      {W - 3, 1, W - 3, H - 1, kXPBarMiddle}, {W - 3, 3, W - 3, H - 1, kXPBarLight},
      {3, 0, W - 3, 0, kXPBarDark},           {3, 1, W - 3, 1, kXPBarMiddle},
      {3, 2, W - 3, 2, kXPBarLight},          {3, H - 1, W - 2, H - 1, kXPBarDark},
      {3, H - 2, W - 3, H - 2, kXPBarLight},
  };
  C->GetPen()->SetStyle(psSolid);
  C->GetPen()->SetWidth(1);
  for (const Line& F : Frame) {
    C->GetPen()->SetColor(F.Color);
    LineBetween(C, F.X1, F.Y1, F.X2, F.Y2);
  }

  // A block is two mirrored gradients, light at both edges.
  const bool Horizontal = FOrientation == pbHorizontal;
  auto PaintBlock = [&](const TRect& B) {
    if (IsRectEmpty(B)) return;
    TRect First = B, Second = B;
    if (Horizontal) {
      First.Bottom = B.Top + B.Height() / 2;
      Second.Top = First.Bottom;
      GradientFillRect(C, First, FBarColorTo, FBarColorFrom, 0, 255);
      GradientFillRect(C, Second, FBarColorFrom, FBarColorTo, 0, 255);
    } else {
      First.Right = B.Left + B.Width() / 2;
      Second.Left = First.Right;
      GradientFillRect(C, First, FBarColorTo, FBarColorFrom, 2, 255);
      GradientFillRect(C, Second, FBarColorFrom, FBarColorTo, 2, 255);
    }
  };
  const int32_t S = FBlockSize - 2;
  if (Horizontal && FSmooth) {
    TRect B = Inner;
    B.Right = B.Left + L;
    InflateRect(B, -1, -1);
    B.Right = std::min(B.Right, W - 3);
    PaintBlock(B);
  } else if (Horizontal) {
    TRect B = Rect(2, 2, S, H - 4);
    OffsetRect(B, 2, 1);
    while (L > 2) {
      B.Right = std::min(B.Right, W - 3);
      PaintBlock(B);
      OffsetRect(B, S, 0);
      L -= S;
    }
  } else if (FSmooth) {
    TRect B = Inner;
    B.Top = std::max(B.Bottom - L, 3);
    InflateRect(B, -1, -1);
    PaintBlock(B);
  } else {
    TRect B = Rect(2, 2, W - 4, S);
    OffsetRect(B, 1, 0);
    OffsetRect(B, 0, H - S - 3);
    while (L > 2) {
      B.Top = std::max(B.Top, 3);
      PaintBlock(B);
      OffsetRect(B, 0, -S);
      L -= S;
    }
  }

  // The key colour shows the parent behind the rounded corners.
  Canvas->GetBrush()->SetStyle(bsSolid);
  Canvas->GetBrush()->SetColor(Background);
  Canvas->FillRect(Rect(0, 0, W, H));
  DrawBitmapMasked(Canvas, 0, 0, &Work, Key);
}
