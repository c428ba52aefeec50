#include "views/window_helpers.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/application.h"
#include "platform/vcl/clipboard.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/keys.h"

bool IEIsPrimaryMouseButtonDown() {
  const bool Swapped = GetSystemMetrics(SM_SWAPBUTTON) != 0;
  const bool Left = GetAsyncKeyState(VK_LBUTTON) < 0;
  const bool Right = GetAsyncKeyState(VK_RBUTTON) < 0;
  return Swapped ? Right : Left;
}

bool IEOpenClipboard() {
  constexpr int32_t Tries = 10;
  for (int32_t i = 0; i < Tries; ++i) {
    if (OpenClipboard(0)) return true;
    if (i + 1 < Tries) Sleep(20);
  }
  return false;
}

// ---------------------------------------------------------------- dialogs

TPoint IEDialogPlacement(const TRect& Monitor, const TSize& WindowSize) {
  // C++ integer division truncates toward zero, as the placement wants.
  const int64_t MW = static_cast<int64_t>(Monitor.Right) - Monitor.Left;
  const int64_t MH = static_cast<int64_t>(Monitor.Bottom) - Monitor.Top;
  const int64_t X = Monitor.Left + (MW - WindowSize.cx) / 2;
  const int64_t Y = Monitor.Top + (MH - WindowSize.cy) / 3;
  auto Clamp = [](int64_t V) {
    return static_cast<int32_t>(std::clamp<int64_t>(V, INT32_MIN, INT32_MAX));
  };
  return TPoint{Clamp(X), Clamp(Y)};
}

namespace {

QScreen* DialogMonitor() {
  QScreen* S = nullptr;
  TForm* Main = Application ? Application->GetMainForm() : nullptr;
  if (Main) {
    TControl* Form = Screen ? Screen->GetActiveForm() : nullptr;
    if (!Form) Form = Main;
    if (QWidget* W = Form->GetWidget()) S = W->screen();
  }
  if (!S && qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
    const QList<QScreen*> All = QGuiApplication::screens();
    if (!All.isEmpty()) S = All.first();
  }
  return S;
}

}  // namespace

bool IEPlaceDialogOnMonitor(QWidget* Window) {
  if (IEPlaceDialogHook) return IEPlaceDialogHook(Window);
  if (!Window) return false;
  QScreen* S = DialogMonitor();
  if (!S) return false;
  const QRect G = S->geometry();
  const TRect Monitor{G.left(), G.top(), G.left() + G.width(), G.top() + G.height()};
  if (TControl* C = TControl::FromWidget(Window)) {
    const TPoint P = IEDialogPlacement(Monitor, TSize{C->GetWidth(), C->GetHeight()});
    C->SetBounds(P.X, P.Y, C->GetWidth(), C->GetHeight());
  } else {
    const QRect F = Window->frameGeometry();
    const TPoint P = IEDialogPlacement(Monitor, TSize{F.width(), F.height()});
    Window->move(P.X, P.Y);
  }
  return true;
}

bool IEPlaceDialogOnMonitor(HWND Window) {
  TWinControl* C = FindControl(Window);
  return IEPlaceDialogOnMonitor(C ? C->GetWidget() : nullptr);
}

// ---------------------------------------------------------------- scroll bars

namespace {

void SetInfo(HWND Handle, int32_t Bar, const TScrollInfo& Info, bool Redraw, bool Flat) {
  if (Flat) FlatSB_SetScrollInfo(Handle, Bar, Info, Redraw);
  else SetScrollInfo(Handle, Bar, Info, Redraw);
}

}  // namespace

void IESetScrollInfo(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, int32_t Page, int32_t Pos, bool Redraw,
                     bool Flat) {
  TScrollInfo Info;
  Info.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  Info.nMin = Min;
  Info.nMax = Max;
  Info.nPage = static_cast<uint32_t>(std::max(0, Page));
  Info.nPos = Pos;
  SetInfo(Handle, Bar, Info, Redraw, Flat);
}

void IESetScrollRange(HWND Handle, int32_t Bar, int32_t Min, int32_t Max, bool Redraw, bool Flat) {
  TScrollInfo Info;
  Info.fMask = SIF_RANGE;
  Info.nMin = Min;
  Info.nMax = Max;
  SetInfo(Handle, Bar, Info, Redraw, Flat);
}

void IESetScrollPos(HWND Handle, int32_t Bar, int32_t Pos, bool Redraw, bool Flat) {
  TScrollInfo Info;
  Info.fMask = SIF_POS;
  Info.nPos = Pos;
  SetInfo(Handle, Bar, Info, Redraw, Flat);
}

void IEEnableScrollBar(HWND Handle, int32_t Bar, uint32_t Arrows, bool Flat) {
  if (Flat) FlatSB_EnableScrollBar(Handle, Bar, Arrows);
  else EnableScrollBar(Handle, Bar, Arrows);
}

void IEShowScrollBar(HWND Handle, int32_t Bar, bool Show, bool Flat) {
  if (Flat) FlatSB_ShowScrollBar(Handle, Bar, Show);
  else ShowScrollBar(Handle, Bar, Show);
}

// ---------------------------------------------------------------- drawing

int32_t IETextWidthW(TCanvas* Canvas, const std::u16string& Text) {
  if (!Canvas) return 0;
  return Canvas->TextExtent(QString::fromStdU16String(Text).toStdString()).cx;
}

int32_t IETextHeightW(TCanvas* Canvas, const std::u16string& Text) {
  if (!Canvas) return 0;
  return Canvas->TextExtent(QString::fromStdU16String(Text).toStdString()).cy;
}

void IEDraw3DFrame(TCanvas* Canvas, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TColor TopLeftColor,
                   TColor BottomRightColor) {
  if (!Canvas) return;
  TPen* Pen = Canvas->GetPen();
  Pen->SetMode(pmCopy);
  Pen->SetStyle(psSolid);
  Pen->SetWidth(1);
  Pen->SetColor(TopLeftColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X1, Y1);
  Canvas->LineTo(X2, Y1);
  Pen->SetColor(BottomRightColor);
  Canvas->MoveTo(X1, Y2);
  Canvas->LineTo(X2, Y2);
  Canvas->LineTo(X2, Y1);
}

namespace {

bool EmptyRect(const TRect& R) { return R.Right <= R.Left || R.Bottom <= R.Top; }

// Darkens one band (logical coordinates) of the canvas.
void DimBand(TCanvas* Canvas, const TRect& Band) {
  if (EmptyRect(Band)) return;
  QImage* Target = Canvas->GetTarget();
  const TPoint Org = Canvas->GetViewportOrg();
  // The band on the target, in device pixels, inside the image.
  const QRect Device = QRect(Band.Left + Org.X, Band.Top + Org.Y, Band.Right - Band.Left, Band.Bottom - Band.Top)
                           .intersected(Target->rect());
  if (Device.isEmpty()) return;
  QImage Part = Target->copy(Device).convertToFormat(QImage::Format_RGB32);
  if (Part.isNull()) return;
  // Black at opacity 150 over an opaque pixel keeps 105/255 of each channel.
  for (int y = 0; y < Part.height(); ++y) {
    uint8_t* Row = Part.scanLine(y);
    for (int i = 0; i < Part.width() * 4; ++i)
      if ((i & 3) != 3) Row[i] = static_cast<uint8_t>((Row[i] * 105 + 127) / 255);
  }
  // Back through the canvas, so its clip holds and indexed targets get the
  // nearest colours of their tables.
  Canvas->StretchFromImage(Part, Device.left() - Org.X, Device.top() - Org.Y, Part.width(), Part.height(), 0, 0,
                           Part.width(), Part.height(), SRCCOPY);
}

}  // namespace

void IEDimOutsideRect(TCanvas* Canvas, const TRect& Outer, const TRect& Inner) {
  if (!Canvas || !Canvas->GetTarget() || EmptyRect(Inner) || EmptyRect(Outer)) return;
  // Inner's rows clipped to Outer: the left and right bands span them.
  const int32_t MidTop = std::clamp(Inner.Top, Outer.Top, Outer.Bottom);
  const int32_t MidBottom = std::clamp(Inner.Bottom, Outer.Top, Outer.Bottom);
  DimBand(Canvas, TRect{Outer.Left, Outer.Top, Outer.Right, MidTop});
  DimBand(Canvas, TRect{Outer.Left, MidBottom, Outer.Right, Outer.Bottom});
  DimBand(Canvas, TRect{Outer.Left, MidTop, std::clamp(Inner.Left, Outer.Left, Outer.Right), MidBottom});
  DimBand(Canvas, TRect{std::clamp(Inner.Right, Outer.Left, Outer.Right), MidTop, Outer.Right, MidBottom});
}

// ---------------------------------------------------------------- colour tables

void IESetGrayColorTable(TBitmap* Bitmap) {
  if (!Bitmap || Bitmap->GetPixelFormat() != pf8bit) return;
  std::vector<TRGBQuad> Table(256);
  for (int i = 0; i < 256; ++i) {
    const uint8_t V = static_cast<uint8_t>(i);
    Table[static_cast<size_t>(i)] = TRGBQuad{V, V, V, 0};
  }
  Bitmap->SetColorTable(Table);
}

bool IEIsGrayColorTable(TBitmap* Bitmap) {
  if (!Bitmap) return false;
  const std::vector<TRGBQuad> Table = Bitmap->GetColorTable();
  if (Table.empty()) return false;
  for (size_t i = 0; i < Table.size(); ++i) {
    const TRGBQuad& Q = Table[i];
    if (Q.rgbRed != i || Q.rgbGreen != i || Q.rgbBlue != i) return false;
  }
  return true;
}

void IECopyColorTableToPalette(TBitmap* Bitmap, TIEBitmap* Image) {
  if (!Bitmap || !Image || Bitmap->GetPixelFormat() != pf8bit || Image->GetPixelFormat() != ie8p) return;
  const std::vector<TRGBQuad> Table = Bitmap->GetColorTable();
  const int32_t N = std::min(static_cast<int32_t>(Table.size()), Image->GetPaletteLen());
  for (int32_t i = 0; i < N; ++i) {
    const TRGBQuad& Q = Table[static_cast<size_t>(i)];
    Image->SetPaletteColor(i, TRGB{Q.rgbBlue, Q.rgbGreen, Q.rgbRed});
  }
}
