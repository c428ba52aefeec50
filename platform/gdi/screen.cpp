#include "platform/gdi/screen.h"

#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <QThread>
#include <atomic>
#include <cmath>

#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"

namespace {

// The screen is asked in the GUI thread only; other threads get what it
// answered last (or the defaults before that).
std::atomic<int32_t> gDpiX{96}, gDpiY{96}, gDepth{32};

QScreen* PrimaryScreen() {
  auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
  if (!app || QThread::currentThread() != app->thread()) return nullptr;
  return QGuiApplication::primaryScreen();
}

int32_t Dpi(bool y) {
  std::atomic<int32_t>& cache = y ? gDpiY : gDpiX;
  QScreen* s = PrimaryScreen();
  if (!s) return cache.load();
  const double d = y ? s->logicalDotsPerInchY() : s->logicalDotsPerInchX();
  const int32_t v = (d >= 24 && d <= 2400) ? IERound(d) : 96;
  cache.store(v);
  return v;
}

}  // namespace

int32_t ScreenBitsPerPixel() {
  QScreen* s = PrimaryScreen();
  if (!s) return gDepth.load();
  const int d = s->depth();
  gDepth.store(d > 0 ? d : 32);
  return gDepth.load();
}

int32_t ScreenLogPixelsX() { return Dpi(false); }
int32_t ScreenLogPixelsY() { return Dpi(true); }

int32_t ScreenWidth() {
  QScreen* s = PrimaryScreen();
  return s ? s->geometry().width() : 0;
}

int32_t ScreenHeight() {
  QScreen* s = PrimaryScreen();
  return s ? s->geometry().height() : 0;
}

int32_t GetDeviceCaps(TCanvas* DC, int32_t Index) {
  if (DC && DC->GetDeviceCapsHook()) {
    int32_t Value = 0;
    if (DC->GetDeviceCapsHook()(Index, Value)) return Value;
  }
  const bool screen = DC == nullptr || DC->GetTarget() == nullptr;
  const int32_t dpiX = screen ? ScreenLogPixelsX() : DC->GetPixelsPerInchX();
  const int32_t dpiY = screen ? ScreenLogPixelsY() : DC->GetPixelsPerInchY();
  const int32_t w = screen ? ScreenWidth() : DC->GetTarget()->width();
  const int32_t h = screen ? ScreenHeight() : DC->GetTarget()->height();
  switch (Index) {
    case HORZRES:
    case PHYSICALWIDTH:
      return w;
    case VERTRES:
    case PHYSICALHEIGHT:
      return h;
    case HORZSIZE:
      return dpiX > 0 ? IERound(w * 25.4 / dpiX) : 0;
    case VERTSIZE:
      return dpiY > 0 ? IERound(h * 25.4 / dpiY) : 0;
    case BITSPIXEL:
      return ScreenBitsPerPixel();
    case PLANES:
      return 1;
    case NUMCOLORS:
      return -1;
    case SIZEPALETTE:
      return 0;
    case RASTERCAPS:
      return RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DIBTODEV;
    case LOGPIXELSX:
      return dpiX;
    case LOGPIXELSY:
      return dpiY;
    case PHYSICALOFFSETX:
    case PHYSICALOFFSETY:
      return 0;
    default:
      return 0;
  }
}
