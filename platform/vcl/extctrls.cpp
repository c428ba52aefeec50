#include "platform/vcl/extctrls.h"

#include <QCoreApplication>
#include <QPainter>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/application.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"

namespace {
void DrawBevel(QPainter& P, QRect& R, TBevelCut Cut, int32_t Width) {
  if (Cut == bvNone) return;
  QColor TopLeft = VclQColor(Cut == bvLowered ? clBtnShadow : clBtnHighlight);
  QColor BottomRight = VclQColor(Cut == bvLowered ? clBtnHighlight : clBtnShadow);
  for (int32_t I = 0; I < Width && R.width() > 0 && R.height() > 0; ++I) {
    if (Cut != bvSpace) {
      P.setPen(TopLeft);
      P.drawLine(R.left(), R.top(), R.right(), R.top());
      P.drawLine(R.left(), R.top(), R.left(), R.bottom());
      P.setPen(BottomRight);
      P.drawLine(R.left(), R.bottom(), R.right(), R.bottom());
      P.drawLine(R.right(), R.top(), R.right(), R.bottom());
    }
    R.adjust(1, 1, -1, -1);
  }
}
}  // namespace

// ------------------------------------------------------------ TCustomPanel
TCustomPanel::TCustomPanel(TComponent* AOwner) : TCustomControl(AOwner) {
  FControlStyle |= csAcceptsControls | csSetCaption | csOpaque;
  FColor = clBtnFace;
  SetBounds(0, 0, 185, 41);
}

void TCustomPanel::SetBevelInner(TBevelCut Value) {
  FBevelInner = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelOuter(TBevelCut Value) {
  FBevelOuter = Value;
  Realign();
  Invalidate();
}

void TCustomPanel::SetBevelWidth(int32_t Value) {
  FBevelWidth = std::max(1, Value);
  Realign();
  Invalidate();
}

void TCustomPanel::SetBorderWidth(int32_t Value) {
  FBorderWidth = std::max(0, Value);
  Realign();
  Invalidate();
}

void TCustomPanel::SetAlignment(TAlignment Value) {
  FAlignment = Value;
  Invalidate();
}

void TCustomPanel::SetText(const std::string& Value) {
  TCustomControl::SetText(Value);
  Invalidate();
}

void TCustomPanel::AlignControls(TControl* AControl, TRect& Rect) {
  int32_t Inset = FBorderWidth;
  if (FBevelOuter != bvNone) Inset += FBevelWidth;
  if (FBevelInner != bvNone) Inset += FBevelWidth;
  Rect.Left += Inset;
  Rect.Top += Inset;
  Rect.Right -= Inset;
  Rect.Bottom -= Inset;
  TCustomControl::AlignControls(AControl, Rect);
}

void TCustomPanel::Paint() {
  TBitmap* B = GetFrontBuffer();
  QPainter P(&B->GetImage());
  QRect R(0, 0, B->GetWidth(), B->GetHeight());
  P.fillRect(R, VclQColor(FColor));
  DrawBevel(P, R, FBevelOuter, FBevelWidth);
  R.adjust(FBorderWidth, FBorderWidth, -FBorderWidth, -FBorderWidth);
  DrawBevel(P, R, FBevelInner, FBevelWidth);
  if (!FText.empty() && R.width() > 0 && R.height() > 0) {
    P.setFont(VclQFont(GetFont()));
    P.setPen(VclQColor(FEnabled ? GetFont()->GetColor() : clGrayText));
    int Flags = Qt::AlignVCenter | (FAlignment == taCenter          ? Qt::AlignHCenter
                                    : FAlignment == taRightJustify ? Qt::AlignRight
                                                                   : Qt::AlignLeft);
    P.drawText(R, Flags, QString::fromStdString(FText));
  }
}

const TFormPropertyTable& TCustomPanel::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TCustomPanel>("TPanel", &TCustomControl::FormProperties())
          .Enum("Alignment", AlignmentNames(), &TCustomPanel::GetAlignment, &TCustomPanel::SetAlignment)
          .Enum("BevelInner", BevelCutNames(), &TCustomPanel::GetBevelInner, &TCustomPanel::SetBevelInner)
          .Enum("BevelOuter", BevelCutNames(), &TCustomPanel::GetBevelOuter, &TCustomPanel::SetBevelOuter)
          .Coordinate("BevelWidth", &TCustomPanel::GetBevelWidth, &TCustomPanel::SetBevelWidth)
          .Coordinate("BorderWidth", &TCustomPanel::GetBorderWidth, &TCustomPanel::SetBorderWidth)
          .Bool("FullRepaint", &TCustomPanel::GetFullRepaint, &TCustomPanel::SetFullRepaint)
          // Looks the platform decides for itself.
          .Ignored({"BorderStyle", "Locked", "UseDockManager"})
          .Build();
  return Table;
}

// ------------------------------------------------------------ TTimer
TTimer::TTimer(TComponent* AOwner) : TComponent(AOwner) {}

TTimer::~TTimer() {
  if (QTimer* T = FTimer.release()) {
    T->stop();
    T->disconnect();
    VclDisposeQObject(T);
  }
}

void TTimer::SetEnabled(bool Value) {
  FEnabled = Value;
  UpdateTimer();
}

void TTimer::SetInterval(uint32_t Value) {
  FInterval = Value;
  UpdateTimer();
}

void TTimer::Loaded() {
  TComponent::Loaded();
  UpdateTimer();
}

void TTimer::UpdateTimer() {
  const bool Run = FEnabled && FInterval > 0 && (GetComponentState() & (csLoading | csDestroying)) == 0 &&
                   QCoreApplication::instance() != nullptr;
  if (!Run) {
    if (FTimer) FTimer->stop();
    return;
  }
  if (!FTimer) {
    FTimer = std::make_unique<QTimer>();
    QObject::connect(FTimer.get(), &QTimer::timeout, FTimer.get(), [this] {
      VclDeliverCall(this, [this] { Timer(); });
    });
  }
  FTimer->start(static_cast<int>(std::min<uint32_t>(FInterval, INT32_MAX)));
}

void TTimer::Timer() {
  if (OnTimer) OnTimer(this);
}

const TFormPropertyTable& TTimer::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TTimer>("TTimer", &ComponentFormProperties())
          .Bool("Enabled", &TTimer::GetEnabled, &TTimer::SetEnabled)
          .Custom("Interval",
                  [](TTimer& T, const TFormValue& V, TFormReadContext&) {
                    const int64_t I = V.AsInt64();
                    if (I < 0 || I > UINT32_MAX) throw EReadError("Invalid property value");
                    T.SetInterval(static_cast<uint32_t>(I));
                  },
                  [](const TTimer& T, TFormValue& V) {
                    V = TFormValue::OfInteger(T.GetInterval());
                    return true;
                  })
          .Event("OnTimer", &TTimer::OnTimer)
          .Build();
  return Table;
}

// ------------------------------------------------------------ TPaintBox
TPaintBox::TPaintBox(TComponent* AOwner) : TGraphicControl(AOwner) { SetBounds(0, 0, 105, 105); }

void TPaintBox::Paint() {
  if (OnPaint) OnPaint(this);
}

const TFormPropertyTable& TPaintBox::FormProperties() const {
  static const TFormPropertyTable Table = TFormProperties<TPaintBox>("TPaintBox", &TGraphicControl::FormProperties())
                                              .Event("OnPaint", &TPaintBox::OnPaint)
                                              .Build();
  return Table;
}
