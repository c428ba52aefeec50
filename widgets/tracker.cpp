#include "widgets/tracker.h"

#include <algorithm>

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

bool TOxTracker::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  if (SameText(Name, "Value")) {
    // Applied after the range: a stored value is kept even when the range
    // comes later in the resource.
    FValue = Value.AsInteger();
    ThumbFromValue();
  } else if (SameText(Name, "Minimum")) {
    SetMinimum(Value.AsInteger());
  } else if (SameText(Name, "Maximum")) {
    SetMaximum(Value.AsInteger());
  } else if (SameText(Name, "TrackColor")) {
    SetTrackColor(Value.AsColor());
  } else if (SameText(Name, "ThumbColor")) {
    SetThumbColor(Value.AsColor());
  } else if (SameText(Name, "BackColor")) {
    SetBackColor(Value.AsColor());
  } else if (SameText(Name, "CaptionColor")) {
    SetCaptionColor(Value.AsColor());
  } else if (SameText(Name, "BorderColor")) {
    SetBorderColor(Value.AsColor());
  } else if (SameText(Name, "ThumbWidth")) {
    SetThumbWidth(Value.AsInteger());
  } else if (SameText(Name, "ThumbHeight")) {
    SetThumbHeight(Value.AsInteger());
  } else if (SameText(Name, "TrackHeight")) {
    SetTrackHeight(Value.AsInteger());
  } else if (SameText(Name, "ShowCaption")) {
    SetShowCaption(Value.AsBoolean());
  } else if (SameText(Name, "TrackBorder")) {
    SetTrackBorder(Value.AsBoolean());
  } else if (SameText(Name, "ThumbBorder")) {
    SetThumbBorder(Value.AsBoolean());
  } else if (SameText(Name, "BackBorder")) {
    SetBackBorder(Value.AsBoolean());
  } else if (SameText(Name, "CaptionBold")) {
    SetCaptionBold(Value.AsBoolean());
  } else if (SameText(Name, "TrackPositionColored")) {
    SetTrackPositionColored(Value.AsBoolean());
  } else if (SameText(Name, "Orientation")) {
    SetOrientation(static_cast<TjtbOrientation>(Value.AsEnum({"jtbHorizontal", "jtbVertical"})));
  } else if (SameText(Name, "BackBitmap.Data")) {
    if (Value.Kind != TFormValue::vkBinary) throw EReadError("Invalid property value");
    TBitmap B;
    ReadStoredBitmap(&B, Value.Binary);
    SetBackBitmap(&B);
  } else if (SameText(Name, "OnChangedValue")) {
    OnChangedValue = Context.Handler<TOnChangedValue>(Value);
  } else {
    return TOxExCustomControl::SetFormProperty(Name, Value, Context);
  }
  return true;
}
