#include "platform/vcl/track_bar.h"

#include <QSlider>
#include <algorithm>

#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

namespace {
QSlider* SliderOf(QWidget* W) { return qobject_cast<QSlider*>(W); }
}  // namespace

TTrackBar::TTrackBar(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks);
  auto* W = new TVclWidgetT<QSlider>(true);
  AttachWidget(W);
  QObject::connect(W, &QSlider::valueChanged, W, [this](int Value) {
    if (FSyncing || Value == FPosition) return;
    FPosition = Value;
    VclDeliverCall(this, [this] { Changed(); });
  });
  SetTabStop(true);
  SetBounds(0, 0, 150, 45);
  Sync();
}

void TTrackBar::Sync() {
  QSlider* S = SliderOf(FWidget.data());
  if (!S) return;
  FSyncing = true;
  S->setOrientation(FOrientation == trHorizontal ? Qt::Horizontal : Qt::Vertical);
  // The minimum lies at the top of a vertical bar, as at the left of a
  // horizontal one.
  S->setInvertedAppearance(FOrientation == trVertical);
  S->setInvertedControls(FOrientation == trVertical);
  S->setRange(FMin, std::max(FMin, FMax));
  S->setValue(FPosition);
  S->setSingleStep(FLineSize);
  S->setPageStep(FPageSize);
  S->setTickInterval(std::max(1, FFrequency));
  QSlider::TickPosition Ticks = QSlider::NoTicks;
  if (FTickStyle != tsNone)
    Ticks = FTickMarks == tmBoth ? QSlider::TicksBothSides
            : FTickMarks == tmTopLeft ? QSlider::TicksAbove
                                      : QSlider::TicksBelow;
  S->setTickPosition(Ticks);
  FSyncing = false;
}

void TTrackBar::SetMin(int32_t Value) {
  FMin = Value;
  if (FMax < FMin) FMax = FMin;
  SetPosition(FPosition);
  Sync();
}

void TTrackBar::SetMax(int32_t Value) {
  FMax = Value;
  if (FMin > FMax) FMin = FMax;
  SetPosition(FPosition);
  Sync();
}

void TTrackBar::SetPosition(int32_t Value) {
  // While a resource is read the range may come after the position.
  const bool Loading = GetComponentState() & csLoading;
  if (!Loading) Value = std::clamp(Value, FMin, std::max(FMin, FMax));
  if (Value == FPosition) return;
  FPosition = Value;
  Sync();
  if (!Loading) Changed();
}

void TTrackBar::SetFrequency(int32_t Value) {
  FFrequency = std::max(1, Value);
  Sync();
}

void TTrackBar::SetOrientation(TTrackBarOrientation Value) {
  if (Value == FOrientation) return;
  FOrientation = Value;
  // Turning the bar turns its bounds.
  if (!(GetComponentState() & csLoading)) SetBounds(FLeft, FTop, FHeight, FWidth);
  Sync();
}

void TTrackBar::SetTickStyle(TTickStyle Value) {
  FTickStyle = Value;
  Sync();
}

void TTrackBar::SetTickMarks(TTickMark Value) {
  FTickMarks = Value;
  Sync();
}

void TTrackBar::SetLineSize(int32_t Value) {
  FLineSize = std::max(1, Value);
  Sync();
}

void TTrackBar::SetPageSize(int32_t Value) {
  FPageSize = std::max(1, Value);
  Sync();
}

void TTrackBar::SetSliderVisible(bool Value) {
  FSliderVisible = Value;
  if (QSlider* S = SliderOf(FWidget.data())) S->setStyleSheet(Value ? QString() : QStringLiteral("QSlider::handle { width: 0px; height: 0px; }"));
}

void TTrackBar::Loaded() {
  TWinControl::Loaded();
  FPosition = std::clamp(FPosition, FMin, std::max(FMin, FMax));
  Sync();
}

void TTrackBar::Changed() {
  if (OnChange) OnChange(this);
}

const TFormPropertyTable& TTrackBar::FormProperties() const {
  static const TFormEnumNames TickStyleNames = {"tsNone", "tsAuto", "tsManual"};
  static const TFormEnumNames TickMarkNames = {"tmBottomRight", "tmTopLeft", "tmBoth"};
  using T = TTrackBar;
  static const TFormPropertyTable Table =
      TFormProperties<T>("TTrackBar", &TWinControl::FormProperties())
          .Integer("Max", &T::GetMax, &T::SetMax)
          .Integer("Min", &T::GetMin, &T::SetMin)
          .Enum("Orientation", TrackBarOrientationNames(), &T::GetOrientation, &T::SetOrientation)
          .Integer("Frequency", &T::GetFrequency, &T::SetFrequency)
          .Integer("LineSize", &T::GetLineSize, &T::SetLineSize)
          .Integer("PageSize", &T::GetPageSize, &T::SetPageSize)
          .Integer("Position", &T::GetPosition, &T::SetPosition)
          .Integer("SelEnd", &T::GetSelEnd, &T::SetSelEnd)
          .Integer("SelStart", &T::GetSelStart, &T::SetSelStart)
          .Bool("SliderVisible", &T::GetSliderVisible, &T::SetSliderVisible)
          .Integer("ThumbLength", &T::GetThumbLength, &T::SetThumbLength)
          .Enum("TickMarks", TickMarkNames, &T::GetTickMarks, &T::SetTickMarks)
          .Enum("TickStyle", TickStyleNames, &T::GetTickStyle, &T::SetTickStyle)
          .Event("OnChange", &T::OnChange)
          .Build();
  return Table;
}
