#include "widgets/tracker.h"

#include <algorithm>

#include "platform/vcl/form_properties.h"
#include "platform/rtl/sysutils.h"
#include "widgets/draw_helpers.h"
#include "widgets/speed_button.h"

int32_t TrackerThumbOfValue(int32_t Value, int32_t Minimum, int32_t Maximum, int32_t Start, int32_t End) {
  if (Maximum <= Minimum || End <= Start) return Start;
  return Start + IERound(static_cast<long double>(Value - Minimum) / (static_cast<long double>(Maximum) - Minimum) *
                         (End - Start));
}

int32_t TrackerValueOfThumb(int32_t Thumb, int32_t Minimum, int32_t Maximum, int32_t Start, int32_t End,
                            int32_t Current) {
  // A track narrower than the thumb has no length to map: the value stays.
  if (End <= Start) return Current;
  return IERound(static_cast<long double>(Thumb - Start) / (End - Start) *
                     (static_cast<long double>(Maximum) - Minimum) +
                 Minimum);
}

TOxTracker::TOxTracker(TComponent* AOwner)
    : TOxExCustomControl(AOwner), FBackBitmap(std::make_unique<TBitmap>()) {
  FBackBitmap->OnChange = [this](TGraphic*) { Invalidate(); };
  SetBounds(GetLeft(), GetTop(), 150, 24);
  DoBoundsChange();
}

TOxTracker::~TOxTracker() { FBackBitmap->OnChange = nullptr; }

TRect TOxTracker::Oriented(int32_t A1, int32_t C1, int32_t A2, int32_t C2) const {
  return Horizontal() ? Rect(A1, C1, A2, C2) : Rect(C1, A1, C2, A2);
}

void TOxTracker::ComputeTrackRange() {
  const int32_t Thumb = Horizontal() ? FThumbWidth : FThumbHeight;
  FTrackStart = Thumb / 2 + 5;
  FTrackEnd = Along() - FTrackStart;
}

void TOxTracker::ComputeTrackRect() {
  const int32_t A = (Across() - FTrackHeight) / 2;
  FTrackRect = Oriented(FTrackStart, A, FTrackEnd, Across() - A);
  const int32_t Widen = ((Horizontal() ? FThumbHeight : FThumbWidth) - FTrackHeight) / 2;
  FHitRect = Oriented(FTrackStart, A - Widen, FTrackEnd, Across() - A + Widen);
}

void TOxTracker::ComputeThumbRect() {
  const int32_t Half = (Horizontal() ? FThumbWidth : FThumbHeight) / 2;
  const int32_t Cross = Horizontal() ? FThumbHeight : FThumbWidth;
  const int32_t C = (Across() - Cross) / 2;
  FThumbRect = Oriented(FThumbPos - Half, C, FThumbPos + Half, Across() - C);
}

void TOxTracker::ThumbFromValue() {
  FThumbPos = TrackerThumbOfValue(FValue, FMinimum, FMaximum, FTrackStart, FTrackEnd);
  ComputeThumbRect();
}

void TOxTracker::ValueFromThumb() {
  FValue = TrackerValueOfThumb(FThumbPos, FMinimum, FMaximum, FTrackStart, FTrackEnd, FValue);
}

void TOxTracker::DoBoundsChange() {
  ComputeTrackRange();
  ComputeTrackRect();
  ThumbFromValue();
  Invalidate();
}

void TOxTracker::SetValue(int32_t Value) {
  if (Value == FValue || Value < FMinimum || Value > FMaximum) return;
  FValue = Value;
  ThumbFromValue();
  Invalidate();
}

void TOxTracker::SetMinimum(int32_t Value) {
  if (Value == FMinimum || Value >= FMaximum) return;
  FMinimum = Value;
  FValue = std::max(FValue, FMinimum);
  ThumbFromValue();
  Invalidate();
}

void TOxTracker::SetMaximum(int32_t Value) {
  if (Value == FMaximum || Value <= FMinimum) return;
  FMaximum = Value;
  FValue = std::min(FValue, FMaximum);
  ThumbFromValue();
  Invalidate();
}

void TOxTracker::SetThumbWidth(int32_t Value) {
  if (Value == FThumbWidth) return;
  FThumbWidth = Value;
  DoBoundsChange();
}

void TOxTracker::SetThumbHeight(int32_t Value) {
  if (Value == FThumbHeight || Value >= GetHeight()) return;
  FThumbHeight = Value;
  DoBoundsChange();
}

void TOxTracker::SetTrackHeight(int32_t Value) {
  if (Value == FTrackHeight || Value >= Across()) return;
  FTrackHeight = Value;
  ComputeTrackRect();
  Invalidate();
}

void TOxTracker::SetOrientation(TjtbOrientation Value) {
  if (Value == FOrientation) return;
  FOrientation = Value;
  if (GetComponentState() & csDesigning) SetBounds(GetLeft(), GetTop(), GetHeight(), GetWidth());
  DoBoundsChange();
}

void TOxTracker::DragTo(int32_t X, int32_t Y, bool Clamp) {
  const int32_t P = Horizontal() ? X : Y;
  const int32_t Lo = Horizontal() ? FTrackRect.Left : FTrackRect.Top;
  const int32_t Hi = Horizontal() ? FTrackRect.Right : FTrackRect.Bottom;
  if (Clamp && P < Lo) {
    FThumbPos = FTrackStart;
  } else if (Clamp && P > Hi) {
    FThumbPos = FTrackEnd;
  } else {
    FThumbPos = P;
  }
  ValueFromThumb();
  ComputeThumbRect();
  Invalidate();
  if (OnChangedValue) OnChangedValue(this, FValue);
}

void TOxTracker::MouseDown(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  if (Button != mbLeft) return;
  if (!PtInRect(FHitRect, TPoint{X, Y})) return;
  FDragging = true;
  DragTo(X, Y, false);
}

void TOxTracker::MouseMove(TShiftState Shift, int32_t X, int32_t Y) {
  TOxExCustomControl::MouseMove(Shift, X, Y);
  if ((Shift & ssLeft) && FDragging) DragTo(X, Y, true);
}

void TOxTracker::MouseUp(TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
  FDragging = false;
  TOxExCustomControl::MouseUp(Button, Shift, X, Y);
}

void TOxTracker::Paint() {
  TCanvas* C = GetCanvas();
  ComputeTrackRange();
  ComputeThumbRect();
  ComputeTrackRect();
  const int32_t W = GetClientWidth(), H = GetClientHeight();
  const int32_t BW = FBackBitmap->GetWidth(), BH = FBackBitmap->GetHeight();
  if (BW > 0 && BH > 0) {
    for (int32_t Col = 0; Col <= W / BW; ++Col)
      for (int32_t Row = 0; Row <= H / BH; ++Row) C->Draw(Col * BW, Row * BH, FBackBitmap.get());
  } else {
    C->GetBrush()->SetStyle(bsSolid);
    C->GetBrush()->SetColor(FBackColor);
    C->GetPen()->SetColor(FBackBorder ? FBorderColor : FBackColor);
    C->Rectangle(0, 0, GetWidth(), GetHeight());
  }
  TColor Track = FTrackColor;
  if (FTrackPositionColored) {
    const long double F = static_cast<long double>(FValue - FMinimum) / (static_cast<long double>(FMaximum) - FMinimum);
    const uint32_t V = ColorToRGB(FTrackColor);
    auto Ch = [F](uint32_t X) { return static_cast<uint32_t>(X * F); };
    Track = static_cast<TColor>(Ch(V & 0xFF) | (Ch((V >> 8) & 0xFF) << 8) | (Ch((V >> 16) & 0xFF) << 16));
  }
  C->GetBrush()->SetColor(Track);
  C->FillRect(FTrackRect);
  if (FTrackBorder) Frame3DOnce(C, FTrackRect, clBlack, clBtnHighlight);
  C->GetBrush()->SetColor(FThumbColor);
  C->FillRect(FThumbRect);
  Frame3DOnce(C, FThumbRect, clBtnHighlight, clBlack);
  if (FShowCaption) {
    C->GetBrush()->SetStyle(bsClear);
    TFontStyles Style = GetFont()->GetStyle();
    Style = FCaptionBold ? (Style | fsBold) : (Style & ~fsBold);
    C->GetFont()->Assign(GetFont());
    C->GetFont()->SetStyle(Style);
    C->GetFont()->SetColor(FCaptionColor);
    TRect R = FThumbRect;
    CanvasDrawText(C, IntToStr(FValue), -1, R, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS);
  }
}

void TOxTracker::Loaded() {
  TOxExCustomControl::Loaded();
  FValue = std::clamp(FValue, FMinimum, FMaximum);
  DoBoundsChange();
}

const TFormPropertyTable& TOxTracker::FormProperties() const {
  static const TFormEnumNames OrientationNames = {"jtbHorizontal", "jtbVertical"};
  using T = TOxTracker;
  static const TFormPropertyTable Table =
      TFormProperties<T>("TOxTracker", &TOxExCustomControl::FormProperties())
          .Bitmap("BackBitmap.Data", &T::GetBackBitmap, &T::SetBackBitmap)
          .Bool("BackBorder", &T::GetBackBorder, &T::SetBackBorder)
          .Color("BackColor", &T::GetBackColor, &T::SetBackColor)
          .Color("BorderColor", &T::GetBorderColor, &T::SetBorderColor)
          .Bool("CaptionBold", &T::GetCaptionBold, &T::SetCaptionBold)
          .Color("CaptionColor", &T::GetCaptionColor, &T::SetCaptionColor)
          .Integer("Maximum", &T::GetMaximum, &T::SetMaximum)
          .Integer("Minimum", &T::GetMinimum, &T::SetMinimum)
          .Enum("Orientation", OrientationNames, &T::GetOrientation, &T::SetOrientation)
          .Bool("ShowCaption", &T::GetShowCaption, &T::SetShowCaption)
          .Bool("ThumbBorder", &T::GetThumbBorder, &T::SetThumbBorder)
          .Color("ThumbColor", &T::GetThumbColor, &T::SetThumbColor)
          .Integer("ThumbHeight", &T::GetThumbHeight, &T::SetThumbHeight)
          .Integer("ThumbWidth", &T::GetThumbWidth, &T::SetThumbWidth)
          .Bool("TrackBorder", &T::GetTrackBorder, &T::SetTrackBorder)
          .Color("TrackColor", &T::GetTrackColor, &T::SetTrackColor)
          .Integer("TrackHeight", &T::GetTrackHeight, &T::SetTrackHeight)
          .Bool("TrackPositionColored", &T::GetTrackPositionColored, &T::SetTrackPositionColored)
          // Kept as stored even when the range comes later in the resource.
          .Custom("Value",
                  [](T& Tracker, const TFormValue& V, TFormReadContext&) {
                    Tracker.FValue = V.AsInteger();
                    Tracker.ThumbFromValue();
                  },
                  [](const T& Tracker, TFormValue& V) {
                    V = TFormValue::OfInteger(Tracker.GetValue());
                    return true;
                  })
          .Event("OnChangedValue", &T::OnChangedValue)
          .Build();
  return Table;
}
