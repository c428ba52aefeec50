#include "platform/vcl/caret.h"

#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "platform/vcl/controls.h"
#include "platform/vcl/vcl_internal.h"

namespace {
struct TCaret {
  QPointer<QWidget> Widget;
  TControl* Owner = nullptr;
  HWND Wnd = 0;
  int32_t Width = 1, Height = 0;
  bool Grey = false;
  TPoint Pos{0, 0};
  int32_t HideCount = 1;
  bool On = true;
  uint32_t BlinkTime = 530;
  std::unique_ptr<QTimer> Timer;
};

TCaret& Caret() {
  static TCaret C;
  return C;
}

bool Alive(const TCaret& C) { return C.Owner && C.Widget && FindControl(C.Wnd) == C.Owner; }

// Asks the owner's widget to show the caret's rectangle again.
void Refresh() {
  TCaret& C = Caret();
  if (!Alive(C)) return;
  const TPoint O = C.Owner->GetClientOffset();
  C.Widget->update(QRect(O.X + C.Pos.X, O.Y + C.Pos.Y, C.Width, C.Height));
}

void Blink() {
  TCaret& C = Caret();
  if (!Alive(C)) {
    if (C.Timer) C.Timer->stop();
    return;
  }
  C.On = !C.On;
  Refresh();
}

void Restart() {
  TCaret& C = Caret();
  C.On = true;
  if (!C.Timer) {
    C.Timer = std::make_unique<QTimer>();
    QObject::connect(C.Timer.get(), &QTimer::timeout, C.Timer.get(), [] { Blink(); });
  }
  if (C.HideCount == 0 && C.BlinkTime > 0) {
    C.Timer->start(static_cast<int>(C.BlinkTime));
  } else {
    C.Timer->stop();
  }
}
}  // namespace

bool CreateCaret(HWND Wnd, uintptr_t Bitmap, int32_t Width, int32_t Height) {
  TWinControl* W = FindControl(Wnd);
  if (!W || !W->GetWidget()) return false;
  DestroyCaret();
  TCaret& C = Caret();
  C.Owner = W;
  C.Widget = W->GetWidget();
  C.Wnd = Wnd;
  C.Width = Width > 0 ? Width : GetSystemMetrics(SM_CXBORDER);
  C.Height = Height > 0 ? Height : GetSystemMetrics(SM_CYBORDER);
  C.Grey = Bitmap == 1;
  C.Pos = TPoint{0, 0};
  C.HideCount = 1;
  Restart();
  return true;
}

bool DestroyCaret() {
  TCaret& C = Caret();
  if (!C.Owner) return false;
  C.HideCount = 1;
  Refresh();
  if (C.Timer) C.Timer->stop();
  C.Owner = nullptr;
  C.Widget = nullptr;
  C.Wnd = 0;
  return true;
}

bool SetCaretPos(int32_t X, int32_t Y) {
  TCaret& C = Caret();
  if (!Alive(C)) return false;
  Refresh();
  C.Pos = TPoint{X, Y};
  Restart();
  Refresh();
  return true;
}

bool GetCaretPos(TPoint& Point) {
  const TCaret& C = Caret();
  if (!Alive(C)) return false;
  Point = C.Pos;
  return true;
}

bool ShowCaret(HWND Wnd) {
  TCaret& C = Caret();
  if (!Alive(C) || (Wnd != 0 && Wnd != C.Wnd)) return false;
  if (C.HideCount > 0) --C.HideCount;
  Restart();
  Refresh();
  return true;
}

bool HideCaret(HWND Wnd) {
  TCaret& C = Caret();
  if (!Alive(C) || (Wnd != 0 && Wnd != C.Wnd)) return false;
  ++C.HideCount;
  Restart();
  Refresh();
  return true;
}

uint32_t GetCaretBlinkTime() { return Caret().BlinkTime; }

bool SetCaretBlinkTime(uint32_t Milliseconds) {
  Caret().BlinkTime = Milliseconds;
  Restart();
  return true;
}

bool VclCaretDrawn() {
  const TCaret& C = Caret();
  return Alive(C) && C.HideCount == 0 && C.On;
}

TRect VclCaretRect() {
  const TCaret& C = Caret();
  return Alive(C) ? Bounds(C.Pos.X, C.Pos.Y, C.Width, C.Height) : TRect{};
}

void VclPaintCaret(TControl* Control, QPainter& Painter, TPoint ClientOrigin) {
  const TCaret& C = Caret();
  if (Control != C.Owner || !VclCaretDrawn()) return;
  Painter.save();
  Painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  const QRect R(ClientOrigin.X + C.Pos.X, ClientOrigin.Y + C.Pos.Y, C.Width, C.Height);
  if (C.Grey) {
    for (int Y = R.top(); Y <= R.bottom(); ++Y)
      for (int X = R.left() + (Y & 1); X <= R.right(); X += 2) Painter.fillRect(QRect(X, Y, 1, 1), Qt::white);
  } else {
    Painter.fillRect(R, Qt::white);
  }
  Painter.restore();
}
