#include "platform/gdi/canvas.h"

#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>
#include <numbers>
#include <unordered_map>

#include "platform/gdi/graphics.h"
#include "platform/gdi/canvas_engine.h"
#include "platform/gdi/raster.h"
#include "platform/gdi/screen.h"

using gdiraster::Span;

using namespace gdiengine;

namespace {

// The figure box of two corner points in device coordinates: left <= right,
// top <= bottom.
struct DeviceBox {
  int64_t l, t, r, b;
};
DeviceBox BoxOf(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TPoint& Origin) {
  return {int64_t(std::min(X1, X2)) + Origin.X, int64_t(std::min(Y1, Y2)) + Origin.Y,
          int64_t(std::max(X1, X2)) + Origin.X, int64_t(std::max(Y1, Y2)) + Origin.Y};
}

}  // namespace

// --------------------------------------------------------------------------

TCanvas::TCanvas() : TCanvas(nullptr) {}

TCanvas::TCanvas(QImage* Target)
    : FTarget(Target),
      FPen(std::make_unique<TPen>()),
      FBrush(std::make_unique<TBrush>()),
      FFont(std::make_unique<TFont>()) {
  FPixelsPerInchX = ScreenLogPixelsX();
  FPixelsPerInchY = ScreenLogPixelsY();
  FTextColor = FFont->GetColor();
  FBkColor = FBrush->GetColor();
  FFont->OnChange = [this](TObject* s) { FontChanged(s); };
  FBrush->OnChange = [this](TObject* s) { BrushChanged(s); };
}

TCanvas::~TCanvas() {
  FFont->OnChange = nullptr;
  FBrush->OnChange = nullptr;
}

void TCanvas::SetTarget(QImage* Target) { FTarget = Target; }

void TCanvas::FontChanged(TObject*) { FTextColor = FFont->GetColor(); }

void TCanvas::BrushChanged(TObject*) {
  FBkColor = FBrush->GetColor();
  FBkMode = FBrush->GetStyle() == bsSolid ? OPAQUE : TRANSPARENT;
}

void TCanvas::Changing() {
  if (OnChanging) OnChanging(this);
}
void TCanvas::Changed() {
  if (OnChange) OnChange(this);
}

void TCanvas::SetPixelsPerInch(int32_t X, int32_t Y) {
  if (X > 0) FPixelsPerInchX = X;
  if (Y > 0) {
    FPixelsPerInchY = Y;
    // Font sizes in points follow the device.
    FFont->SetPixelsPerInch(Y);
  }
}

TRect TCanvas::GetClipRect() const {
  if (!FTarget || FTarget->isNull()) return TRect{};
  QRect r(0, 0, FTarget->width(), FTarget->height());
  if (FClip) r = FClip->intersected(r).boundingRect();
  if (r.isEmpty()) return TRect{};
  return TRect{r.left() - FOrigin.X, r.top() - FOrigin.Y, r.right() + 1 - FOrigin.X,
               r.bottom() + 1 - FOrigin.Y};
}

TColor TCanvas::GetPixel(int32_t X, int32_t Y) const {
  if (!FTarget || FTarget->isNull()) return -1;
  const int64_t x = int64_t(X) + FOrigin.X, y = int64_t(Y) + FOrigin.Y;
  if (x < 0 || y < 0 || x >= FTarget->width() || y >= FTarget->height()) return -1;
  if (FClip && !FClip->contains(QPoint(int(x), int(y)))) return -1;
  // QImage::pixel reads any format through its table without copying it.
  return TColorOf(FTarget->pixel(int(x), int(y)) & 0xFFFFFF);
}

void TCanvas::SetPixel(int32_t X, int32_t Y, TColor Color) {
  if (!FTarget || FTarget->isNull()) return;
  const int64_t x = int64_t(X) + FOrigin.X, y = int64_t(Y) + FOrigin.Y;
  if (x < 0 || y < 0 || x >= FTarget->width() || y >= FTarget->height()) return;
  if (FClip && !FClip->contains(QPoint(int(x), int(y)))) return;
  Changing();
  const uint32_t rgb = RgbOf(Color);
  switch (FTarget->format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
      reinterpret_cast<uint32_t*>(FTarget->scanLine(int(y)))[x] = 0xFF000000u | rgb;
      break;
    default: {
      Surface s(*FTarget);
      s.Put(int(x), int(y), rgb);
    }
  }
  Changed();
}

void TCanvas::MoveTo(int32_t X, int32_t Y) {
  FPenPos = TPoint{X, Y};
  FDashPhase = 0;
}

void TCanvas::LineTo(int32_t X, int32_t Y) {
  const TPoint from = FPenPos;
  FPenPos = TPoint{X, Y};
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    int64_t phase = FDashPhase;
    p.PenLine(int64_t(from.X) + FOrigin.X, int64_t(from.Y) + FOrigin.Y, int64_t(X) + FOrigin.X,
              int64_t(Y) + FOrigin.Y, false, phase);
    FDashPhase = int32_t(phase % 1000000);
    p.Flush(false);
  }
  Changed();
}

void TCanvas::Polyline(const TPoint* Points, int32_t Count) {
  if (!Points || Count <= 0) return;
  FPenPos = Points[Count - 1];
  if (!FTarget || FTarget->isNull() || Count < 2) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    int64_t phase = 0;
    for (int32_t i = 0; i + 1 < Count; ++i)
      p.PenLine(int64_t(Points[i].X) + FOrigin.X, int64_t(Points[i].Y) + FOrigin.Y,
                int64_t(Points[i + 1].X) + FOrigin.X, int64_t(Points[i + 1].Y) + FOrigin.Y, false,
                phase);
    p.Flush(false);
  }
  Changed();
}

void TCanvas::Polygon(const TPoint* Points, int32_t Count) {
  if (!Points || Count <= 0 || !FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    std::vector<TPoint> dev(Points, Points + Count);
    for (auto& pt : dev) {
      pt.X = int32_t(std::clamp<int64_t>(int64_t(pt.X) + FOrigin.X, INT32_MIN / 2, INT32_MAX / 2));
      pt.Y = int32_t(std::clamp<int64_t>(int64_t(pt.Y) + FOrigin.Y, INT32_MIN / 2, INT32_MAX / 2));
    }
    std::vector<Span> spans;
    gdiraster::PolygonSpans(dev.data(), Count, FPolyFillMode, p.Visible().top(),
                            p.Visible().bottom(), spans);
    for (const Span& s : spans) p.AddFill(s.Y, s.X0, s.X1);
    int64_t phase = 0;
    if (Count == 1) {
      // A one-point polygon draws nothing, as a zero-length line.
    } else {
      for (int32_t i = 0; i < Count; ++i) {
        const TPoint& a = dev[size_t(i)];
        const TPoint& b = dev[size_t((i + 1) % Count)];
        p.PenLine(a.X, a.Y, b.X, b.Y, false, phase);
      }
    }
    p.Flush(true);
  }
  Changed();
}

void TCanvas::Rectangle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const auto [l, t, r, b] = BoxOf(X1, Y1, X2, Y2, FOrigin);
    const auto& pat = DashPattern(FPen->GetStyle());
    if (FPen->GetWidth() <= 1 && !pat.empty() && r - l >= 2 && b - t >= 2) {
      // Dashed frames follow the edges clockwise from the top-left corner.
      int64_t phase = 0;
      p.PenLine(l, t, r - 1, t, false, phase);
      p.PenLine(r - 1, t, r - 1, b - 1, false, phase);
      p.PenLine(r - 1, b - 1, l, b - 1, false, phase);
      p.PenLine(l, b - 1, l, t, false, phase);
      if (b - t > 2) {
        for (int64_t y = std::max<int64_t>(t + 1, p.Visible().top());
             y <= std::min<int64_t>(b - 2, p.Visible().bottom()); ++y)
          p.AddFill(int(y), int(std::max<int64_t>(l + 1, INT32_MIN)),
                    int(std::min<int64_t>(r - 2, INT32_MAX)));
      }
    } else {
      p.Shape(l, t, r, b, 0, 0, true);
    }
    p.Flush(true);
  }
  Changed();
}

void TCanvas::RoundRect(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const auto [l, t, r, b] = BoxOf(X1, Y1, X2, Y2, FOrigin);
    p.Shape(l, t, r, b, std::min<int64_t>(std::abs(X3), r - l), std::min<int64_t>(std::abs(Y3), b - t),
            true);
    p.Flush(true);
  }
  Changed();
}

void TCanvas::Ellipse(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const auto [l, t, r, b] = BoxOf(X1, Y1, X2, Y2, FOrigin);
    p.Shape(l, t, r, b, r - l, b - t, true);
    p.Flush(true);
  }
  Changed();
}

void TCanvas::Arc(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3,
                  int32_t X4, int32_t Y4) {
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const auto [l, t, r, b] = BoxOf(X1, Y1, X2, Y2, FOrigin);
    const double cx = (double(l) + double(r)) / 2, cy = (double(t) + double(b)) / 2;
    auto ang = [&](int32_t x, int32_t y) {
      double a = std::atan2(-(double(y) + FOrigin.Y - cy), double(x) + FOrigin.X - cx);
      if (a < 0) a += 2 * std::numbers::pi;
      return a;
    };
    // A clear pen draws no arc; the figure has no fill.
    if (FPen->GetStyle() != psClear) p.Shape(l, t, r, b, r - l, b - t, false, true, ang(X3, Y3), ang(X4, Y4));
    p.Flush(false);
  }
  Changed();
}

void TCanvas::FillRect(const TRect& R) {
  if (!FTarget || FTarget->isNull()) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok() && FBrush->GetStyle() != bsClear) {
    const QRect d = NormRect(int64_t(R.Left) + FOrigin.X, int64_t(R.Top) + FOrigin.Y,
                             int64_t(R.Right) + FOrigin.X, int64_t(R.Bottom) + FOrigin.Y);
    // FillRect does not normalise: an inverted rectangle fills nothing.
    if (R.Right > R.Left && R.Bottom > R.Top) {
      p.SetBrushRgb(RgbOf(FBrush->GetColor()));
      const QRect v = d.intersected(p.Visible());
      for (int y = v.top(); y <= v.bottom() && !v.isEmpty(); ++y)
        p.ClipSpan(y, v.left(), v.right(), [&](int x) {
          uint32_t c;
          if (p.BrushAt(x, y, c)) p.Surf().Put(x, y, c);
        });
    }
  }
  Changed();
}

void TCanvas::FrameRect(const TRect& R) {
  if (!FTarget || FTarget->isNull()) return;
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok() && FBrush->GetStyle() != bsClear) {
    p.SetBrushRgb(RgbOf(FBrush->GetColor()));
    const int64_t l = int64_t(R.Left) + FOrigin.X, t = int64_t(R.Top) + FOrigin.Y;
    const int64_t r = int64_t(R.Right) + FOrigin.X - 1, b = int64_t(R.Bottom) + FOrigin.Y - 1;
    p.FramePixels(l, t, r, b, [&](int x, int y) {
      uint32_t c;
      if (p.BrushAt(x, y, c)) p.Surf().Put(x, y, c);
    });
  }
  Changed();
}

void TCanvas::DrawFocusRect(const TRect& R) {
  if (!FTarget || FTarget->isNull()) return;
  if (R.Right <= R.Left || R.Bottom <= R.Top) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const int64_t l = int64_t(R.Left) + FOrigin.X, t = int64_t(R.Top) + FOrigin.Y;
    const int64_t r = int64_t(R.Right) + FOrigin.X - 1, b = int64_t(R.Bottom) + FOrigin.Y - 1;
    // Every other pixel, inverted.
    p.FramePixels(l, t, r, b, [&](int x, int y) {
      if (((x + y) & 1) == 0) p.Surf().Put(x, y, ~p.Surf().Get(x, y) & 0xFFFFFF);
    });
  }
  Changed();
}

void TCanvas::InvertRect(const TRect& R) {
  PatternBlt(R.Left, R.Top, R.Right - R.Left, R.Bottom - R.Top, DSTINVERT);
}

void TCanvas::PatternBlt(int32_t X, int32_t Y, int32_t W, int32_t H, uint32_t Rop) {
  if (!FTarget || FTarget->isNull() || W == 0 || H == 0) return;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const uint8_t code = uint8_t(Rop >> 16);
    const QRect d = NormRect(int64_t(X) + FOrigin.X, int64_t(Y) + FOrigin.Y,
                             int64_t(X) + W + FOrigin.X, int64_t(Y) + H + FOrigin.Y)
                        .intersected(p.Visible());
    p.SetBrushRgb(RgbOf(FBrush->GetColor()));
    const bool usesP = RopUsesPattern(code), clearBrush = FBrush->GetStyle() == bsClear;
    const uint32_t bkRgb = RgbOf(FBkColor);
    for (int y = d.top(); y <= d.bottom() && !d.isEmpty(); ++y)
      p.ClipSpan(y, d.left(), d.right(), [&](int x) {
        uint32_t pat = 0;
        if (usesP && !p.BrushAt(x, y, pat)) {
          if (clearBrush) return;
          pat = bkRgb;
        }
        p.Surf().Put(x, y, Rop3(code, pat, 0, p.Surf().Get(x, y)));
      });
  }
  Changed();
}

void TCanvas::StretchFromImage(const QImage& SrcImage, int32_t X, int32_t Y, int32_t W, int32_t H,
                               int32_t XSrc, int32_t YSrc, int32_t WSrc, int32_t HSrc, uint32_t Rop,
                               bool SrcMonoDevice, TColor SrcBkColor, TColor Transparent) {
  if (!FTarget || FTarget->isNull() || W == 0 || H == 0) return;
  const uint8_t code = uint8_t(Rop >> 16);
  if (!RopUsesSource(code)) {
    PatternBlt(X, Y, W, H, Rop);
    return;
  }
  if (SrcImage.isNull() || WSrc == 0 || HSrc == 0) return;
  // Drawing a canvas onto itself reads from a copy.
  QImage ownCopy;
  if (&SrcImage == FTarget || SrcImage.constBits() == FTarget->constBits()) ownCopy = SrcImage.copy();
  const QImage& src = ownCopy.isNull() ? SrcImage : ownCopy;
  Changing();
  TCanvasPainter p(*this);
  if (p.Ok()) {
    const bool mirrorX = (W < 0) != (WSrc < 0), mirrorY = (H < 0) != (HSrc < 0);
    // A negative extent runs from the given edge backwards: X + W + 1 .. X.
    const int64_t dx0 = (W < 0 ? int64_t(X) + W + 1 : int64_t(X)) + FOrigin.X;
    const int64_t dy0 = (H < 0 ? int64_t(Y) + H + 1 : int64_t(Y)) + FOrigin.Y;
    const int64_t dw = std::llabs(W), dh = std::llabs(H);
    const int64_t sx0 = WSrc < 0 ? int64_t(XSrc) + WSrc + 1 : int64_t(XSrc);
    const int64_t sy0 = HSrc < 0 ? int64_t(YSrc) + HSrc + 1 : int64_t(YSrc);
    const int64_t sw = std::llabs(WSrc), sh = std::llabs(HSrc);
    const QRect d = NormRect(dx0, dy0, dx0 + dw, dy0 + dh).intersected(p.Visible());
    if (!d.isEmpty()) {
      Surface in(const_cast<QImage&>(src), true);
      const bool srcMono = IsMonoFormat(src.format());
      const bool dstMonoDevice = FMonochromeDevice && IsMonoFormat(FTarget->format());
      const uint32_t textRgb = RgbOf(FTextColor), bkRgb = RgbOf(FBkColor);
      const uint32_t srcBk = RgbOf(SrcBkColor);
      const bool transparent = Transparent != clNone;
      const uint32_t transRgb = transparent ? RgbOf(Transparent) : 0;
      // Shrinking merges source pixels: averaged (HALFTONE), ANDed so black
      // survives (BLACKONWHITE, the default) or ORed so white survives
      // (WHITEONBLACK); COLORONCOLOR just drops them.
      const bool shrinking = sw > dw || sh > dh;
      const bool halftone = FStretchBltMode == HALFTONE && shrinking;
      const bool andScans = FStretchBltMode == BLACKONWHITE && shrinking;
      const bool orScans = FStretchBltMode == WHITEONBLACK && shrinking;
      const bool merge = halftone || andScans || orScans;
      p.SetBrushRgb(RgbOf(FBrush->GetColor()));
      const bool usesP = RopUsesPattern(code);
      auto srcPixel = [&](int64_t sx, int64_t sy) -> uint32_t {
        // Device monochrome: a set bit is the destination's background
        // colour, a clear bit its text colour.
        if (srcMono && SrcMonoDevice) return in.Bit(int(sx), int(sy)) ? bkRgb : textRgb;
        return in.Get(int(sx), int(sy));
      };
      // Column and row lookup: destination index -> source range.
      auto srcRange = [](int64_t i, int64_t dn, int64_t sn, bool mirror, int64_t& a, int64_t& b) {
        const int64_t k = mirror ? dn - 1 - i : i;
        a = (k * sn) / dn;
        b = std::max(a, ((k + 1) * sn) / dn - 1);
      };
      // Source columns of every destination column, computed once.
      const size_t ncols = size_t(d.width());
      std::vector<int64_t> colA(ncols), colB(ncols);
      for (size_t i = 0; i < ncols; ++i) {
        srcRange(d.left() + int64_t(i) - dx0, dw, sw, mirrorX, colA[i], colB[i]);
        if (!merge) colB[i] = colA[i];
      }
      // Plain 1:1 or stretched copies between 32-bit and 24-bit images go
      // straight through memory.
      const QImage::Format df = FTarget->format(), sf = src.format();
      const bool fast = code == 0xCC && !merge && !transparent &&
                        (df == QImage::Format_RGB32 || df == QImage::Format_ARGB32) &&
                        (sf == QImage::Format_RGB32 || sf == QImage::Format_ARGB32 ||
                         sf == QImage::Format_BGR888);
      for (int y = d.top(); y <= d.bottom(); ++y) {
        int64_t ya, yb;
        srcRange(y - dy0, dh, sh, mirrorY, ya, yb);
        if (!merge) yb = ya;
        if (fast) {
          const int64_t sy = sy0 + ya;
          if (sy < 0 || sy >= src.height()) continue;
          const uchar* srow = src.constScanLine(int(sy));
          uint32_t* drow = reinterpret_cast<uint32_t*>(FTarget->scanLine(y));
          p.ClipSpan(y, d.left(), d.right(), [&](int x) {
            const int64_t sx = sx0 + colA[size_t(x - d.left())];
            if (sx < 0 || sx >= src.width()) return;
            if (sf == QImage::Format_BGR888) {
              const uchar* q = srow + 3 * sx;
              drow[x] = 0xFF000000u | (uint32_t(q[2]) << 16) | (uint32_t(q[1]) << 8) | q[0];
            } else {
              drow[x] = 0xFF000000u | reinterpret_cast<const uint32_t*>(srow)[sx];
            }
          });
          continue;
        }
        p.ClipSpan(y, d.left(), d.right(), [&](int x) {
          const int64_t xa = colA[size_t(x - d.left())], xb = colB[size_t(x - d.left())];
          uint64_t sr = 0, sg = 0, sb = 0, n = 0;
          uint32_t andAll = 0xFFFFFF, orAll = 0;
          for (int64_t yy = ya; yy <= yb; ++yy) {
            const int64_t sy = sy0 + yy;
            if (sy < 0 || sy >= src.height()) continue;
            for (int64_t xx = xa; xx <= xb; ++xx) {
              const int64_t sx = sx0 + xx;
              if (sx < 0 || sx >= src.width()) continue;
              const uint32_t c = srcPixel(sx, sy);
              sr += (c >> 16) & 0xFF;
              sg += (c >> 8) & 0xFF;
              sb += c & 0xFF;
              andAll &= c;
              orAll |= c;
              ++n;
            }
          }
          if (n == 0) return;  // outside the source: the destination stays
          uint32_t s;
          if (n == 1)
            s = uint32_t((sr << 16) | (sg << 8) | sb);
          else if (andScans)
            s = andAll;
          else if (orScans)
            s = orAll;
          else
            s = uint32_t(((sr + n / 2) / n) << 16 | ((sg + n / 2) / n) << 8 | ((sb + n / 2) / n));
          if (transparent && s == transRgb) return;
          if (dstMonoDevice && !srcMono) s = (s == srcBk) ? 0xFFFFFF : 0;
          uint32_t pat = 0;
          if (usesP && !p.BrushAt(x, y, pat)) pat = bkRgb;
          p.Surf().Put(x, y, Rop3(code, pat, s, p.Surf().Get(x, y)));
        });
      }
    }
  }
  Changed();
}

void TCanvas::CopyRect(const TRect& Dest, TCanvas* Canvas, const TRect& Source) {
  if (!Canvas || !Canvas->FTarget) return;
  StretchFromImage(*Canvas->FTarget, Dest.Left, Dest.Top, Dest.Right - Dest.Left,
                   Dest.Bottom - Dest.Top, Source.Left + Canvas->FOrigin.X,
                   Source.Top + Canvas->FOrigin.Y, Source.Right - Source.Left,
                   Source.Bottom - Source.Top, uint32_t(FCopyMode), Canvas->FMonochromeDevice,
                   Canvas->FBkColor);
}

void TCanvas::Draw(int32_t X, int32_t Y, TGraphic* Graphic) {
  if (!Graphic || Graphic->GetEmpty()) return;
  Graphic->Draw(this, Bounds(X, Y, Graphic->GetWidth(), Graphic->GetHeight()));
}

void TCanvas::StretchDraw(const TRect& R, TGraphic* Graphic) {
  if (!Graphic || Graphic->GetEmpty()) return;
  Graphic->Draw(this, R);
}

void TCanvas::Lock() {
  FLock.lock();
  ++FLockCount;
}

void TCanvas::Unlock() {
  if (FLockCount <= 0) return;  // unbalanced: nothing is held
  --FLockCount;
  FLock.unlock();
}

bool TCanvas::TryLock() {
  if (!FLock.try_lock()) return false;
  ++FLockCount;
  return true;
}

int32_t TCanvas::SaveDC() {
  FSaved.push_back({FClip, FOrigin, FPolyFillMode, FStretchBltMode, FBkMode, FTextAlign, FTextColor,
                    FBkColor});
  return int32_t(FSaved.size());
}

bool TCanvas::RestoreDC(int32_t SavedDC) {
  const int64_t n = int64_t(FSaved.size());
  const int64_t index = SavedDC < 0 ? n + SavedDC : int64_t(SavedDC) - 1;
  if (index < 0 || index >= n) return false;
  const SavedState s = FSaved[size_t(index)];
  FSaved.resize(size_t(index));
  FClip = s.Clip;
  FOrigin = s.Origin;
  FPolyFillMode = s.PolyFillMode;
  FStretchBltMode = s.StretchBltMode;
  FBkMode = s.BkMode;
  FTextAlign = s.TextAlign;
  FTextColor = s.TextColor;
  FBkColor = s.BkColor;
  return true;
}

// ------------------------------------------------------------------ free calls

bool BitBlt(TCanvas* DestDC, int32_t X, int32_t Y, int32_t Width, int32_t Height, TCanvas* SrcDC,
            int32_t XSrc, int32_t YSrc, uint32_t Rop) {
  return StretchBlt(DestDC, X, Y, Width, Height, SrcDC, XSrc, YSrc, Width, Height, Rop);
}

bool StretchBlt(TCanvas* DestDC, int32_t X, int32_t Y, int32_t Width, int32_t Height,
                TCanvas* SrcDC, int32_t XSrc, int32_t YSrc, int32_t WidthSrc, int32_t HeightSrc,
                uint32_t Rop) {
  if (!DestDC || !DestDC->GetTarget()) return false;
  const uint8_t code = uint8_t(Rop >> 16);
  if (!RopUsesSource(code)) {
    DestDC->PatternBlt(X, Y, Width, Height, Rop);
    return true;
  }
  if (!SrcDC || !SrcDC->GetTarget()) return false;
  const TPoint o = SrcDC->GetViewportOrg();
  DestDC->StretchFromImage(*SrcDC->GetTarget(), X, Y, Width, Height, XSrc + o.X, YSrc + o.Y,
                           WidthSrc, HeightSrc, Rop, SrcDC->GetMonochromeDevice(),
                           SrcDC->GetBkColor());
  return true;
}

bool PatBlt(TCanvas* DC, int32_t X, int32_t Y, int32_t Width, int32_t Height, uint32_t Rop) {
  if (!DC || !DC->GetTarget()) return false;
  DC->PatternBlt(X, Y, Width, Height, Rop);
  return true;
}

int32_t SetStretchBltMode(TCanvas* DC, int32_t Mode) {
  if (!DC || Mode < BLACKONWHITE || Mode > HALFTONE) return 0;
  const int32_t old = DC->GetStretchBltMode();
  DC->SetStretchBltMode(Mode);
  return old;
}

int32_t GetStretchBltMode(TCanvas* DC) { return DC ? DC->GetStretchBltMode() : 0; }

TColor SetTextColor(TCanvas* DC, TColor Color) {
  if (!DC) return -1;
  const TColor old = DC->GetTextColor();
  DC->SetTextColor(Color);
  return old;
}

TColor SetBkColor(TCanvas* DC, TColor Color) {
  if (!DC) return -1;
  const TColor old = DC->GetBkColor();
  DC->SetBkColor(Color);
  return old;
}

int32_t SetBkMode(TCanvas* DC, int32_t Mode) {
  if (!DC || (Mode != TRANSPARENT && Mode != OPAQUE)) return 0;
  const int32_t old = DC->GetBkMode();
  DC->SetBkMode(Mode);
  return old;
}

int32_t SetPolyFillMode(TCanvas* DC, int32_t Mode) {
  if (!DC || (Mode != ALTERNATE && Mode != WINDING)) return 0;
  const int32_t old = DC->GetPolyFillMode();
  DC->SetPolyFillMode(Mode);
  return old;
}

bool SetViewportOrgEx(TCanvas* DC, int32_t X, int32_t Y, TPoint* Old) {
  if (!DC) return false;
  if (Old) *Old = DC->GetViewportOrg();
  DC->SetViewportOrg(TPoint{X, Y});
  return true;
}

int32_t SaveDC(TCanvas* DC) { return DC ? DC->SaveDC() : 0; }
bool RestoreDC(TCanvas* DC, int32_t SavedDC) { return DC && DC->RestoreDC(SavedDC); }

uint32_t SetTextAlign(TCanvas* DC, uint32_t Align) {
  if (!DC) return 0;
  const uint32_t old = DC->GetTextAlign();
  DC->SetTextAlign(Align);
  return old;
}

void GradientFill(TCanvas* DC, const TRect& R, TColor From, TColor To, bool Vertical) {
  if (!DC || R.Right <= R.Left || R.Bottom <= R.Top) return;
  const uint32_t a = ColorToRGB(From), b = ColorToRGB(To);
  const int64_t n = Vertical ? int64_t(R.Bottom) - R.Top : int64_t(R.Right) - R.Left;
  const TBrushKeeper keep(DC);
  // Clip the steps to what the canvas can show.
  const TRect clip = DC->GetClipRect();
  const int64_t lo = Vertical ? std::max<int64_t>(0, int64_t(clip.Top) - R.Top)
                              : std::max<int64_t>(0, int64_t(clip.Left) - R.Left);
  const int64_t hi = Vertical ? std::min<int64_t>(n, int64_t(clip.Bottom) - R.Top)
                              : std::min<int64_t>(n, int64_t(clip.Right) - R.Left);
  for (int64_t i = lo; i < hi; ++i) {
    auto ch = [&](int shift) {
      const int64_t c0 = (a >> shift) & 0xFF, c1 = (b >> shift) & 0xFF;
      return uint8_t(c0 + (c1 - c0) * i / n);
    };
    DC->GetBrush()->SetColor(RGB(ch(0), ch(8), ch(16)));
    if (Vertical)
      DC->FillRect(Rect(R.Left, R.Top + int32_t(i), R.Right, R.Top + int32_t(i) + 1));
    else
      DC->FillRect(Rect(R.Left + int32_t(i), R.Top, R.Left + int32_t(i) + 1, R.Bottom));
  }
}

bool DrawEdge(TCanvas* DC, TRect& R, uint32_t Edge, uint32_t Flags) {
  if (!DC) return false;
  const TBrushKeeper keep(DC);
  TRect r = R;
  auto line = [&](TColor c, const TRect& part) {
    DC->GetBrush()->SetColor(c);
    DC->FillRect(part);
  };
  // One ring per border: outer first, then inner.
  for (int ring = 0; ring < 2; ++ring) {
    const bool raised = ring == 0 ? (Edge & BDR_RAISEDOUTER) : (Edge & BDR_RAISEDINNER);
    const bool sunken = ring == 0 ? (Edge & BDR_SUNKENOUTER) : (Edge & BDR_SUNKENINNER);
    if (!raised && !sunken) continue;
    TColor tl, br;
    if (Flags & BF_MONO) {
      tl = br = clWindowFrame;
    } else if (Flags & BF_FLAT) {
      tl = br = ring == 0 ? clBtnShadow : clBtnFace;
    } else if (ring == 0) {
      tl = raised ? ((Flags & BF_SOFT) ? clBtnHighlight : cl3DLight) : clBtnShadow;
      br = raised ? cl3DDkShadow : clBtnHighlight;
    } else {
      tl = raised ? ((Flags & BF_SOFT) ? cl3DLight : clBtnHighlight) : cl3DDkShadow;
      br = raised ? clBtnShadow : cl3DLight;
    }
    if (r.Right <= r.Left || r.Bottom <= r.Top) break;
    if (Flags & BF_LEFT) line(tl, Rect(r.Left, r.Top, r.Left + 1, r.Bottom));
    if (Flags & BF_TOP) line(tl, Rect(r.Left, r.Top, r.Right, r.Top + 1));
    if (Flags & BF_RIGHT) line(br, Rect(r.Right - 1, r.Top, r.Right, r.Bottom));
    if (Flags & BF_BOTTOM) line(br, Rect(r.Left, r.Bottom - 1, r.Right, r.Bottom));
    if (Flags & BF_LEFT) ++r.Left;
    if (Flags & BF_TOP) ++r.Top;
    if (Flags & BF_RIGHT) --r.Right;
    if (Flags & BF_BOTTOM) --r.Bottom;
  }
  if ((Flags & BF_MIDDLE) && r.Right > r.Left && r.Bottom > r.Top)
    line((Flags & BF_MONO) ? clWindow : clBtnFace, r);
  if (Flags & BF_ADJUST) R = r;
  return true;
}
