#pragma once
// The pixel engine behind TCanvas: reading and writing any image format,
// raster operations, clipping and the pixel sets of figures. Internal to the
// drawing layer.
#include <QImage>
#include <QRect>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <unordered_map>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/raster.h"

namespace gdiengine {

// Colours inside the raster code are 0x00RRGGBB.
inline uint32_t RgbOf(TColor c) {
  const uint32_t v = ColorToRGB(c);
  return ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
}
inline TColor TColorOf(uint32_t rgb) {
  return static_cast<TColor>(((rgb & 0xFF) << 16) | (rgb & 0xFF00) | ((rgb >> 16) & 0xFF));
}

inline uint32_t Rop2(TPenMode m, uint32_t P, uint32_t D) {
  uint32_t r;
  switch (m) {
    case pmBlack: r = 0; break;
    case pmWhite: r = 0xFFFFFF; break;
    case pmNop: r = D; break;
    case pmNot: r = ~D; break;
    case pmCopy: r = P; break;
    case pmNotCopy: r = ~P; break;
    case pmMergePenNot: r = P | ~D; break;
    case pmMaskPenNot: r = P & ~D; break;
    case pmMergeNotPen: r = ~P | D; break;
    case pmMaskNotPen: r = ~P & D; break;
    case pmMerge: r = P | D; break;
    case pmNotMerge: r = ~(P | D); break;
    case pmMask: r = P & D; break;
    case pmNotMask: r = ~(P & D); break;
    case pmXor: r = P ^ D; break;
    case pmNotXor: r = ~(P ^ D); break;
    default: r = P;
  }
  return r & 0xFFFFFF;
}

// The operation code of a ternary raster operation is its truth table:
// bit (P*4 + S*2 + D) of the code's third byte gives the result bit.
inline uint32_t Rop3(uint8_t code, uint32_t P, uint32_t S, uint32_t D) {
  switch (code) {
    case 0xCC: return S;
    case 0x66: return (S ^ D) & 0xFFFFFF;
    case 0x88: return S & D;
    case 0xEE: return S | D;
    case 0xF0: return P;
    case 0x55: return ~D & 0xFFFFFF;
    case 0x00: return 0;
    case 0xFF: return 0xFFFFFF;
    default: break;
  }
  uint32_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (!((code >> i) & 1)) continue;
    r |= ((i & 4) ? P : ~P) & ((i & 2) ? S : ~S) & ((i & 1) ? D : ~D);
  }
  return r & 0xFFFFFF;
}

inline bool RopUsesSource(uint8_t code) { return ((code >> 2) & 0x33) != (code & 0x33); }
inline bool RopUsesPattern(uint8_t code) { return ((code >> 4) & 0x0F) != (code & 0x0F); }

// Reads and writes pixels of any image format as 0x00RRGGBB. On images with
// a colour table a written colour becomes the nearest table entry.
class Surface {
 public:
  // A read-only surface never detaches the image's pixels (no copy, and
  // row pointers others hold stay valid).
  explicit Surface(QImage& img, bool readOnly = false) : FImg(img) {
    if (img.isNull()) return;
    FBits = readOnly ? const_cast<uchar*>(img.constBits()) : img.bits();
    FBpl = img.bytesPerLine();
    FFmt = img.format();
    FW = img.width();
    FH = img.height();
    if (FFmt == QImage::Format_Mono || FFmt == QImage::Format_MonoLSB ||
        FFmt == QImage::Format_Indexed8) {
      const QList<QRgb> t = img.colorTable();
      for (QRgb c : t) FTable.push_back(c & 0xFFFFFF);
      const size_t need = FFmt == QImage::Format_Indexed8 ? 256 : 2;
      // Indices without an entry read as black.
      while (FTable.size() < need) FTable.push_back(0);
    }
  }
  bool Ok() const { return FBits != nullptr; }
  int W() const { return FW; }
  int H() const { return FH; }

  uint32_t Get(int x, int y) const {
    const uchar* line = FBits + FBpl * y;
    switch (FFmt) {
      case QImage::Format_RGB32:
      case QImage::Format_ARGB32:
      case QImage::Format_ARGB32_Premultiplied:
        return reinterpret_cast<const uint32_t*>(line)[x] & 0xFFFFFF;
      case QImage::Format_BGR888: {
        const uchar* p = line + 3 * x;
        return (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
      }
      case QImage::Format_RGB888: {
        const uchar* p = line + 3 * x;
        return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2];
      }
      case QImage::Format_Indexed8:
        return FTable[line[x]];
      case QImage::Format_Mono:
        return FTable[(line[x >> 3] >> (7 - (x & 7))) & 1];
      case QImage::Format_MonoLSB:
        return FTable[(line[x >> 3] >> (x & 7)) & 1];
      case QImage::Format_Grayscale8:
        return uint32_t(line[x]) * 0x010101u;
      default:
        return FImg.pixel(x, y) & 0xFFFFFF;
    }
  }

  // The raw bit of a monochrome image.
  bool Bit(int x, int y) const {
    const uchar* line = FBits + FBpl * y;
    if (FFmt == QImage::Format_MonoLSB) return (line[x >> 3] >> (x & 7)) & 1;
    return (line[x >> 3] >> (7 - (x & 7))) & 1;
  }

  void Put(int x, int y, uint32_t rgb) {
    uchar* line = FBits + FBpl * y;
    switch (FFmt) {
      case QImage::Format_RGB32:
      case QImage::Format_ARGB32:
      case QImage::Format_ARGB32_Premultiplied:
        reinterpret_cast<uint32_t*>(line)[x] = 0xFF000000u | rgb;
        return;
      case QImage::Format_BGR888: {
        uchar* p = line + 3 * x;
        p[0] = uchar(rgb);
        p[1] = uchar(rgb >> 8);
        p[2] = uchar(rgb >> 16);
        return;
      }
      case QImage::Format_RGB888: {
        uchar* p = line + 3 * x;
        p[0] = uchar(rgb >> 16);
        p[1] = uchar(rgb >> 8);
        p[2] = uchar(rgb);
        return;
      }
      case QImage::Format_Indexed8:
        line[x] = Nearest(rgb);
        return;
      case QImage::Format_Mono: {
        const uchar bit = uchar(0x80 >> (x & 7));
        if (Nearest(rgb))
          line[x >> 3] |= bit;
        else
          line[x >> 3] &= uchar(~bit);
        return;
      }
      case QImage::Format_MonoLSB: {
        const uchar bit = uchar(1 << (x & 7));
        if (Nearest(rgb))
          line[x >> 3] |= bit;
        else
          line[x >> 3] &= uchar(~bit);
        return;
      }
      case QImage::Format_Grayscale8:
        line[x] = uchar((((rgb >> 16) & 0xFF) * 77 + ((rgb >> 8) & 0xFF) * 150 + (rgb & 0xFF) * 29) >> 8);
        return;
      default:
        FImg.setPixel(x, y, 0xFF000000u | rgb);
        return;
    }
  }

 private:
  uint8_t Nearest(uint32_t rgb) {
    auto it = FCache.find(rgb);
    if (it != FCache.end()) return it->second;
    int best = 0;
    int64_t bestD = INT64_MAX;
    const int r = (rgb >> 16) & 0xFF, g = (rgb >> 8) & 0xFF, b = rgb & 0xFF;
    for (size_t i = 0; i < FTable.size(); ++i) {
      const int dr = r - int((FTable[i] >> 16) & 0xFF), dg = g - int((FTable[i] >> 8) & 0xFF),
                db = b - int(FTable[i] & 0xFF);
      const int64_t d = int64_t(dr) * dr + int64_t(dg) * dg + int64_t(db) * db;
      if (d < bestD) {
        bestD = d;
        best = int(i);
        if (d == 0) break;
      }
    }
    FCache.emplace(rgb, uint8_t(best));
    return uint8_t(best);
  }

  QImage& FImg;
  uchar* FBits = nullptr;
  qsizetype FBpl = 0;
  QImage::Format FFmt = QImage::Format_Invalid;
  int FW = 0, FH = 0;
  std::vector<uint32_t> FTable;
  std::unordered_map<uint32_t, uint8_t> FCache;
};

inline bool IsMonoFormat(QImage::Format f) {
  return f == QImage::Format_Mono || f == QImage::Format_MonoLSB;
}

// Dash patterns of one-pixel pens: lengths of on, off, on, off ...
inline const std::vector<int>& DashPattern(TPenStyle s) {
  static const std::vector<int> none;
  static const std::vector<int> dash = {18, 6};
  static const std::vector<int> dot = {3, 3};
  static const std::vector<int> dashDot = {9, 6, 3, 6};
  static const std::vector<int> dashDotDot = {9, 3, 3, 3, 3, 3};
  static const std::vector<int> alternate = {1, 1};
  switch (s) {
    case psDash: return dash;
    case psDot: return dot;
    case psDashDot: return dashDot;
    case psDashDotDot: return dashDotDot;
    case psAlternate: return alternate;
    default: return none;
  }
}

inline bool DashOn(const std::vector<int>& pat, int64_t step) {
  if (pat.empty()) return true;
  int total = 0;
  for (int v : pat) total += v;
  int64_t k = step % total;
  if (k < 0) k += total;
  for (size_t i = 0; i < pat.size(); ++i) {
    if (k < pat[i]) return (i % 2) == 0;
    k -= pat[i];
  }
  return true;
}

inline QRect NormRect(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  // Device rectangles are clamped to a range QRect can hold.
  auto c = [](int64_t v) { return int(std::clamp<int64_t>(v, -(1 << 30), 1 << 30)); };
  const int l = c(std::min(x1, x2)), r = c(std::max(x1, x2)), t = c(std::min(y1, y2)),
            b = c(std::max(y1, y2));
  return QRect(QPoint(l, t), QPoint(r - 1, b - 1));
}

}  // namespace gdiengine

using namespace gdiengine;

// Keeps a canvas's brush, background colour and background mode while a
// helper fills with brushes of its own (setting the brush also moves the
// background state), and puts them back when it goes.
class TBrushKeeper {
 public:
  explicit TBrushKeeper(TCanvas* DC) : FDC(DC), FBkColor(DC->GetBkColor()), FBkMode(DC->GetBkMode()) {
    FBrush.Assign(DC->GetBrush());
  }
  ~TBrushKeeper() {
    FDC->GetBrush()->Assign(&FBrush);
    FDC->SetBkColor(FBkColor);
    FDC->SetBkMode(FBkMode);
  }
  TBrushKeeper(const TBrushKeeper&) = delete;
  TBrushKeeper& operator=(const TBrushKeeper&) = delete;

 private:
  TCanvas* FDC;
  TBrush FBrush;
  TColor FBkColor;
  int32_t FBkMode;
};

// --------------------------------------------------------------------------
// The drawing engine of one call: the surface, the clip rectangles and the
// pixel sets of a figure.

class TCanvasPainter {
  using Span = gdiraster::Span;
  using Surface = gdiengine::Surface;

 public:
  explicit TCanvasPainter(TCanvas& c) : FCanvas(c), FSurface(*c.FTarget) {
    if (!FSurface.Ok()) return;
    const QRect bounds(0, 0, FSurface.W(), FSurface.H());
    if (c.FClip) {
      const QRegion r = c.FClip->intersected(bounds);
      for (const QRect& q : r) FClip.push_back(q);
    } else {
      FClip.push_back(bounds);
    }
    for (const QRect& q : FClip) FVisible = FVisible.united(q);
    FOX = c.FOrigin.X;
    FOY = c.FOrigin.Y;
  }

  bool Ok() const { return FSurface.Ok() && !FVisible.isEmpty(); }

  // Narrows the clip of this call to R (device coordinates).
  void Restrict(const QRect& R) {
    std::vector<QRect> out;
    QRect vis;
    for (const QRect& q : FClip) {
      const QRect i = q.intersected(R);
      if (i.isEmpty()) continue;
      out.push_back(i);
      vis = vis.united(i);
    }
    FClip.swap(out);
    FVisible = vis;
  }
  const QRect& Visible() const { return FVisible; }
  Surface& Surf() { return FSurface; }
  int64_t OX() const { return FOX; }
  int64_t OY() const { return FOY; }

  bool InClip(int x, int y) const {
    for (const QRect& r : FClip)
      if (r.contains(x, y)) return true;
    return false;
  }

  // Calls F(x) for the pixels of x0..x1 in row y that lie in the clip.
  template <typename F>
  void ClipSpan(int y, int64_t x0, int64_t x1, F&& f) const {
    for (const QRect& r : FClip) {
      if (y < r.top() || y > r.bottom()) continue;
      const int64_t a = std::max<int64_t>(x0, r.left()), b = std::min<int64_t>(x1, r.right());
      for (int64_t x = a; x <= b; ++x) f(int(x));
    }
  }

  // Calls F(x, y) for the pixels of the one-pixel frame of the device box
  // l..r, t..b (inclusive) that lie in the clip.
  template <typename F>
  void FramePixels(int64_t l, int64_t t, int64_t r, int64_t b, F&& f) const {
    for (int64_t y = std::max<int64_t>(t, FVisible.top()); y <= std::min<int64_t>(b, FVisible.bottom());
         ++y) {
      auto put = [&](int x) { f(x, int(y)); };
      if (y == t || y == b) {
        ClipSpan(int(y), l, r, put);
      } else {
        ClipSpan(int(y), l, l, put);
        if (r != l) ClipSpan(int(y), r, r, put);
      }
    }
  }

  // ---- figure building (device coordinates)

  void AddPen(int x, int y) { FPen.push_back(Key(x, y)); }
  void AddGap(int x, int y) { FGap.push_back(Key(x, y)); }
  void AddFill(int y, int x0, int x1) {
    if (x0 <= x1) FFill.push_back({y, x0, x1});
  }

  // A line of the current pen from (x0,y0) to (x1,y1), device coordinates.
  // Phase counts the dash pattern along a figure.
  void PenLine(int64_t x0, int64_t y0, int64_t x1, int64_t y1, bool includeLast, int64_t& phase) {
    TPen* pen = FCanvas.FPen.get();
    if (pen->GetStyle() == psClear) return;
    const int w = pen->GetWidth();
    const QRect& v = FVisible;
    if (w <= 1) {
      const auto& pat = DashPattern(pen->GetStyle());
      const int64_t base = phase;
      int64_t steps = std::max(std::llabs(x1 - x0), std::llabs(y1 - y0));
      gdiraster::LinePixels(int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1), includeLast,
                            v.left(), v.top(), v.right(), v.bottom(),
                            [&](int32_t x, int32_t y, int64_t step) {
                              if (DashOn(pat, base + step))
                                AddPen(x, y);
                              else
                                AddGap(x, y);
                            });
      phase += includeLast ? steps + 1 : steps;
      return;
    }
    // Wide pens: a disc of the pen's width at every point, round ends.
    const std::vector<QPoint>& disc = Disc(w);
    const int reach = w / 2 + 1;
    gdiraster::LinePixels(int32_t(x0), int32_t(y0), int32_t(x1), int32_t(y1), true,
                          v.left() - reach, v.top() - reach, v.right() + reach,
                          v.bottom() + reach, [&](int32_t x, int32_t y, int64_t) {
                            for (const QPoint& d : disc) {
                              const int px = x + d.x(), py = y + d.y();
                              if (v.contains(px, py)) AddPen(px, py);
                            }
                          });
  }

  static const std::vector<QPoint>& Disc(int w) {
    static thread_local std::unordered_map<int, std::vector<QPoint>> cache;
    auto it = cache.find(w);
    if (it != cache.end()) return it->second;
    std::vector<QPoint> d;
    const double c = (w % 2) ? 0.0 : -0.5;  // even widths centre between pixels
    const double r2 = (w / 2.0) * (w / 2.0);
    for (int dy = -w; dy <= w; ++dy)
      for (int dx = -w; dx <= w; ++dx) {
        const double fx = dx - c, fy = dy - c;
        if (fx * fx + fy * fy <= r2 + 0.25) d.emplace_back(dx, dy);
      }
    return cache.emplace(w, std::move(d)).first->second;
  }

  // Outline and fill of a rounded rectangle (device box, R and B outside).
  void Shape(int64_t l, int64_t t, int64_t r, int64_t b, int64_t cw, int64_t ch, bool fill,
             bool arcOnly = false, double a0 = 0, double a1 = 0) {
    TPen* pen = FCanvas.FPen.get();
    const bool noPen = pen->GetStyle() == psClear;
    if (noPen) {
      --r;
      --b;
    }
    if (r <= l || b <= t) return;
    const int w = noPen ? 0 : pen->GetWidth();
    const bool ellipse = cw >= r - l && ch >= b - t;
    // Outer box of the outline: a wide pen straddles the figure's edge
    // unless it is an inside-frame pen.
    int64_t ol = l, ot = t, orr = r, ob = b;
    if (w > 1 && pen->GetStyle() != psInsideFrame) {
      ol -= (w - 1) / 2;
      ot -= (w - 1) / 2;
      orr += w / 2;
      ob += w / 2;
    }
    auto cornerW = [&](int64_t L, int64_t R) { return ellipse ? R - L : cw; };
    auto cornerH = [&](int64_t T, int64_t B) { return ellipse ? B - T : ch; };
    const int vy0 = FVisible.top(), vy1 = FVisible.bottom();
    const int y0 = int(std::max<int64_t>(ot - 1, vy0)), y1 = int(std::min<int64_t>(ob, vy1));
    if (y0 > y1) return;
    std::vector<int32_t> L0, R0;
    gdiraster::ShapeRows(int32_t(ol), int32_t(ot), int32_t(orr), int32_t(ob),
                         int32_t(cornerW(ol, orr)), int32_t(cornerH(ot, ob)), y0 - 1, y1 + 1, L0,
                         R0);
    auto rowOf = [&](const std::vector<int32_t>& Lv, const std::vector<int32_t>& Rv, int y,
                     int32_t& lo, int32_t& hi) {
      const size_t i = size_t(y - (y0 - 1));
      lo = Lv[i];
      hi = Rv[i];
      return lo <= hi;
    };
    std::vector<std::pair<int, int>> outlinePix;  // (y, x)
    // Only pixels near the visible box are listed; the figure may be far
    // larger than the image.
    const int64_t vl = FVisible.left() - 1, vr = FVisible.right() + 1;
    auto outline = [&](int y, int64_t a, int64_t b2) {
      for (int64_t x = std::max(a, vl); x <= std::min(b2, vr); ++x) outlinePix.emplace_back(y, int(x));
    };
    auto fillSpan = [&](int y, int64_t a, int64_t b2) {
      a = std::max(a, vl);
      b2 = std::min(b2, vr);
      if (a <= b2) AddFill(y, int(a), int(b2));
    };
    if (w == 1) {
      // Thin outline: per row, the pixels that close the gap to the rows
      // above and below; rows at the top and bottom are outline entirely.
      for (int y = y0; y <= y1; ++y) {
        int32_t lo, hi;
        if (!rowOf(L0, R0, y, lo, hi)) continue;
        int32_t ulo, uhi, dlo, dhi;
        const bool up = rowOf(L0, R0, y - 1, ulo, uhi);
        const bool down = rowOf(L0, R0, y + 1, dlo, dhi);
        if (!up || !down) {
          outline(y, lo, hi);
          continue;
        }
        // Enough pixels to touch both neighbour rows' ends diagonally.
        const int64_t leftEnd = std::max<int64_t>(lo, int64_t(std::max(ulo, dlo)) - 1);
        const int64_t rightStart = std::min<int64_t>(hi, int64_t(std::min(uhi, dhi)) + 1);
        outline(y, lo, std::min<int64_t>(leftEnd, hi));
        outline(y, std::max(rightStart, leftEnd + 1), hi);
        if (fill) fillSpan(y, leftEnd + 1, rightStart - 1);
      }
    } else {
      // Wide (or no) pen: the outline is the outer figure minus the inner.
      int64_t il = ol + w, it = ot + w, ir = orr - w, ib = ob - w;
      std::vector<int32_t> L1, R1;
      const bool inner = ir > il && ib > it;
      if (inner)
        gdiraster::ShapeRows(int32_t(il), int32_t(it), int32_t(ir), int32_t(ib),
                             int32_t(ellipse ? ir - il : std::max<int64_t>(cw - 2 * w, 0)),
                             int32_t(ellipse ? ib - it : std::max<int64_t>(ch - 2 * w, 0)),
                             y0 - 1, y1 + 1, L1, R1);
      for (int y = y0; y <= y1; ++y) {
        int32_t lo, hi;
        if (!rowOf(L0, R0, y, lo, hi)) continue;
        int32_t ilo = 1, ihi = 0;
        const bool in = inner && rowOf(L1, R1, y, ilo, ihi);
        if (!in) {
          if (w > 0)
            outline(y, lo, hi);
          else if (fill)
            fillSpan(y, lo, hi);
          continue;
        }
        outline(y, lo, int64_t(ilo) - 1);
        outline(y, int64_t(ihi) + 1, hi);
        if (fill) fillSpan(y, ilo, ihi);
      }
    }
    if (noPen) return;
    // Keep the outline pixels inside the visible box and, for arcs, those
    // between the two angles.
    const double cx = (double(l) + double(r)) / 2, cy = (double(t) + double(b)) / 2;
    auto angleOf = [&](int y, int x) {
      double a = std::atan2(-(y + 0.5 - cy), x + 0.5 - cx);
      if (a < 0) a += 2 * std::numbers::pi;
      return a;
    };
    std::vector<std::pair<int, int>> kept;
    kept.reserve(outlinePix.size());
    for (auto& p : outlinePix) {
      if (!FVisible.contains(p.second, p.first)) continue;
      if (arcOnly) {
        double sweep = a1 - a0;
        if (sweep <= 0) sweep += 2 * std::numbers::pi;
        double d = angleOf(p.first, p.second) - a0;
        if (d < 0) d += 2 * std::numbers::pi;
        if (d > sweep) continue;
      }
      kept.push_back(p);
    }
    const auto& pat = DashPattern(pen->GetStyle());
    if (w == 1 && !pat.empty()) {
      // Dashes follow the outline: order the pixels counter-clockwise.
      std::sort(kept.begin(), kept.end(), [&](const auto& a, const auto& b2) {
        return angleOf(a.first, a.second) < angleOf(b2.first, b2.second);
      });
      for (size_t i = 0; i < kept.size(); ++i) {
        if (DashOn(pat, int64_t(i)))
          AddPen(kept[i].second, kept[i].first);
        else
          AddGap(kept[i].second, kept[i].first);
      }
    } else {
      for (auto& p : kept) AddPen(p.second, p.first);
    }
  }

  // Colour of the brush at a device pixel; false where a hatch leaves the
  // background.
  bool BrushAt(int x, int y, uint32_t& rgb) {
    TBrush* br = FCanvas.FBrush.get();
    if (TBitmap* bmp = br->GetBitmap()) {
      const QImage& img = bmp->GetImage();
      if (!img.isNull()) {
        int bx = x % img.width(), by = y % img.height();
        if (bx < 0) bx += img.width();
        if (by < 0) by += img.height();
        rgb = img.pixel(bx, by) & 0xFFFFFF;
        return true;
      }
    }
    rgb = FBrushRgb;
    const int mx = x & 7, my = y & 7;
    switch (br->GetStyle()) {
      case bsSolid: return true;
      case bsClear: return false;
      case bsHorizontal: return my == 0;
      case bsVertical: return mx == 0;
      case bsFDiagonal: return ((mx - my) & 7) == 0;
      case bsBDiagonal: return ((mx + my) & 7) == 7;
      case bsCross: return mx == 0 || my == 0;
      case bsDiagCross: return ((mx - my) & 7) == 0 || ((mx + my) & 7) == 7;
    }
    return true;
  }

  // Writes the figure once per pixel: outline with the pen, gaps with the
  // background colour (opaque mode only), fill with the brush, all through
  // the pen mode.
  void Flush(bool brushFill) {
    TPen* pen = FCanvas.FPen.get();
    const TPenMode mode = pen->GetMode();
    const uint32_t penRgb = RgbOf(pen->GetColor());
    const uint32_t bkRgb = RgbOf(FCanvas.FBkColor);
    FBrushRgb = RgbOf(FCanvas.FBrush->GetColor());
    std::sort(FPen.begin(), FPen.end());
    FPen.erase(std::unique(FPen.begin(), FPen.end()), FPen.end());
    std::sort(FGap.begin(), FGap.end());
    FGap.erase(std::unique(FGap.begin(), FGap.end()), FGap.end());
    // A pixel that is both pen and gap is pen.
    std::vector<uint64_t> gaps;
    std::set_difference(FGap.begin(), FGap.end(), FPen.begin(), FPen.end(),
                        std::back_inserter(gaps));
    std::vector<uint64_t> outline;
    std::merge(FPen.begin(), FPen.end(), gaps.begin(), gaps.end(), std::back_inserter(outline));
    Surface& s = FSurface;
    if (brushFill && FCanvas.FBrush->GetStyle() != bsClear) {
      std::sort(FFill.begin(), FFill.end(),
                [](const Span& a, const Span& b) { return a.Y != b.Y ? a.Y < b.Y : a.X0 < b.X0; });
      for (const Span& sp : FFill) {
        if (sp.Y < FVisible.top() || sp.Y > FVisible.bottom()) continue;
        auto it = std::lower_bound(outline.begin(), outline.end(), Key(sp.X0, sp.Y));
        const uint64_t end = Key(sp.X1, sp.Y);
        ClipSpan(sp.Y, sp.X0, sp.X1, [&](int x) {
          const uint64_t k = Key(x, sp.Y);
          while (it != outline.end() && *it < k) ++it;
          if (it != outline.end() && *it == k && *it <= end) return;
          uint32_t p;
          if (!BrushAt(x, sp.Y, p)) return;
          s.Put(x, sp.Y, Rop2(mode, p, s.Get(x, sp.Y)));
        });
      }
    }
    for (uint64_t k : FPen) {
      const int x = KeyX(k), y = KeyY(k);
      if (InClip(x, y)) s.Put(x, y, Rop2(mode, penRgb, s.Get(x, y)));
    }
    if (FCanvas.FBkMode == OPAQUE)
      for (uint64_t k : gaps) {
        const int x = KeyX(k), y = KeyY(k);
        if (InClip(x, y)) s.Put(x, y, Rop2(mode, bkRgb, s.Get(x, y)));
      }
    FPen.clear();
    FGap.clear();
    FFill.clear();
  }

  uint32_t BrushRgb() const { return FBrushRgb; }
  void SetBrushRgb(uint32_t v) { FBrushRgb = v; }

 private:
  // Sorts by row, then column.
  static uint64_t Key(int x, int y) {
    return (uint64_t(uint32_t(y) ^ 0x80000000u) << 32) | uint64_t(uint32_t(x) ^ 0x80000000u);
  }
  static int KeyX(uint64_t k) { return int(uint32_t(k) ^ 0x80000000u); }
  static int KeyY(uint64_t k) { return int(uint32_t(k >> 32) ^ 0x80000000u); }

  TCanvas& FCanvas;
  Surface FSurface;
  std::vector<QRect> FClip;
  QRect FVisible;
  int64_t FOX = 0, FOY = 0;
  std::vector<uint64_t> FPen, FGap;
  std::vector<Span> FFill;
  uint32_t FBrushRgb = 0xFFFFFF;
};

