// Antialiased drawing through QPainter on a canvas's image.
#include <QPainter>
#include <QRectF>

#include "platform/gdi/canvas.h"
#include "platform/gdi/canvas_engine.h"

void TCanvas::PaintSmooth(const QRectF& Bounds, bool AntiAlias,
                          const std::function<void(QPainter&)>& Paint) {
  if (FTarget == nullptr || FTarget->isNull() || !Paint) return;
  // Device rectangle touched: the bounds, a pixel of slack for antialiased
  // edges, clipped to the image and the clip.
  QRect Dev = Bounds.translated(FOrigin.X, FOrigin.Y).toAlignedRect().adjusted(-1, -1, 1, 1) &
              FTarget->rect();
  if (FClip) Dev &= FClip->boundingRect();
  if (Dev.isEmpty()) return;
  Changing();
  const QImage::Format F = FTarget->format();
  const bool Direct = F != QImage::Format_Mono && F != QImage::Format_MonoLSB &&
                      F != QImage::Format_Indexed8;
  auto Setup = [&](QPainter& P, QPoint Shift) {
    P.setRenderHint(QPainter::Antialiasing, AntiAlias);
    P.setClipRect(Dev.translated(-Shift));
    if (FClip) P.setClipRegion(FClip->translated(-Shift), Qt::IntersectClip);
    P.translate(FOrigin.X - Shift.x(), FOrigin.Y - Shift.y());
  };
  if (Direct) {
    QPainter P(FTarget);
    Setup(P, QPoint(0, 0));
    Paint(P);
  } else {
    gdiengine::Surface Surf(*FTarget);
    QImage Shadow(Dev.size(), QImage::Format_RGB32);
    for (int Y = 0; Y < Dev.height(); ++Y) {
      auto* Row = reinterpret_cast<uint32_t*>(Shadow.scanLine(Y));
      for (int X = 0; X < Dev.width(); ++X) Row[X] = 0xFF000000u | Surf.Get(Dev.x() + X, Dev.y() + Y);
    }
    const QImage Before = Shadow.copy();
    {
      QPainter P(&Shadow);
      Setup(P, Dev.topLeft());
      Paint(P);
    }
    for (int Y = 0; Y < Dev.height(); ++Y) {
      const auto* Now = reinterpret_cast<const uint32_t*>(Shadow.constScanLine(Y));
      const auto* Old = reinterpret_cast<const uint32_t*>(Before.constScanLine(Y));
      for (int X = 0; X < Dev.width(); ++X)
        if (Now[X] != Old[X]) Surf.Put(Dev.x() + X, Dev.y() + Y, Now[X] & 0xFFFFFF);
    }
  }
  Changed();
}
