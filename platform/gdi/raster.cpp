#include "platform/gdi/raster.h"

#include <algorithm>
#include <cmath>

namespace gdiraster {

void ShapeRows(int32_t L, int32_t T, int32_t R, int32_t B, int32_t CW, int32_t CH, int32_t YFrom,
               int32_t YTo, std::vector<int32_t>& Left, std::vector<int32_t>& Right) {
  Left.clear();
  Right.clear();
  if (YTo < YFrom) return;
  const size_t n = static_cast<size_t>(int64_t(YTo) - YFrom + 1);
  Left.assign(n, 1);
  Right.assign(n, 0);
  const double w = double(R) - L, h = double(B) - T;
  if (w <= 0 || h <= 0) return;
  const double cw = std::clamp(double(CW), 0.0, w), ch = std::clamp(double(CH), 0.0, h);
  const double a = cw / 2, bb = ch / 2;
  for (size_t i = 0; i < n; ++i) {
    const int64_t y = int64_t(YFrom) + int64_t(i);
    if (y < T || y >= B) continue;
    if (a <= 0 || bb <= 0) {
      Left[i] = L;
      Right[i] = R - 1;
      continue;
    }
    const double yy = double(y) + 0.5;
    double dy = 0;
    if (yy < T + bb)
      dy = T + bb - yy;
    else if (yy > B - bb)
      dy = yy - (B - bb);
    double dx = a;
    if (dy > 0) {
      const double q = dy / bb;
      dx = q >= 1 ? 0 : a * std::sqrt(1 - q * q);
    }
    // Pixel x is inside when its centre x + 0.5 lies within the outline;
    // the small margin keeps exact boundary cases symmetric.
    const double xl = std::ceil(L + a - dx - 0.5 - 1e-9);
    const double xr = std::floor(R - a + dx - 0.5 + 1e-9);
    if (xl > xr) continue;
    Left[i] = static_cast<int32_t>(std::max<double>(xl, L));
    Right[i] = static_cast<int32_t>(std::min<double>(xr, double(R) - 1));
  }
}

void PolygonSpans(const TPoint* Points, int32_t Count, int32_t FillMode, int32_t YFrom,
                  int32_t YTo, std::vector<Span>& Out) {
  if (!Points || Count < 3 || YTo < YFrom) return;
  int64_t minY = Points[0].Y, maxY = Points[0].Y;
  for (int32_t i = 1; i < Count; ++i) {
    minY = std::min<int64_t>(minY, Points[i].Y);
    maxY = std::max<int64_t>(maxY, Points[i].Y);
  }
  const int64_t y0 = std::max<int64_t>(minY, YFrom), y1 = std::min<int64_t>(maxY - 1, YTo);
  struct Cross {
    double X;
    int Dir;
  };
  std::vector<Cross> xs;
  for (int64_t y = y0; y <= y1; ++y) {
    xs.clear();
    for (int32_t i = 0; i < Count; ++i) {
      const TPoint& p = Points[i];
      const TPoint& q = Points[(i + 1) % Count];
      if (p.Y == q.Y) continue;
      const int64_t lo = std::min(p.Y, q.Y), hi = std::max(p.Y, q.Y);
      if (y < lo || y >= hi) continue;
      const double x = p.X + (double(y) - p.Y) * (double(q.X) - p.X) / (double(q.Y) - p.Y);
      xs.push_back({x, q.Y > p.Y ? 1 : -1});
    }
    std::sort(xs.begin(), xs.end(), [](const Cross& a, const Cross& b) { return a.X < b.X; });
    auto emit = [&](double xa, double xb) {
      const double a = std::ceil(xa - 1e-9), b = std::ceil(xb - 1e-9) - 1;
      if (a > b) return;
      const double lim = 2147483647.0;
      Out.push_back({static_cast<int32_t>(y), static_cast<int32_t>(std::clamp(a, -lim, lim)),
                     static_cast<int32_t>(std::clamp(b, -lim, lim))});
    };
    if (FillMode == 2) {
      int wind = 0;
      for (size_t k = 0; k + 1 < xs.size(); ++k) {
        wind += xs[k].Dir;
        if (wind != 0) emit(xs[k].X, xs[k + 1].X);
      }
    } else {
      for (size_t k = 0; k + 1 < xs.size(); k += 2) emit(xs[k].X, xs[k + 1].X);
    }
  }
}

void LinePixels(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, bool IncludeLast, int32_t VL,
                int32_t VT, int32_t VR, int32_t VB,
                const std::function<void(int32_t X, int32_t Y, int64_t Step)>& Plot) {
  const int64_t dx = int64_t(X1) - X0, dy = int64_t(Y1) - Y0;
  const int64_t adx = dx < 0 ? -dx : dx, ady = dy < 0 ? -dy : dy;
  const int64_t n = std::max(adx, ady);
  if (n == 0) {
    if (IncludeLast && X0 >= VL && X0 <= VR && Y0 >= VT && Y0 <= VB) Plot(X0, Y0, 0);
    return;
  }
  const int64_t last = IncludeLast ? n : n - 1;
  const bool xMajor = adx >= ady;
  const int64_t sMajor = xMajor ? (dx < 0 ? -1 : 1) : (dy < 0 ? -1 : 1);
  const int64_t sMinor = xMajor ? (dy < 0 ? -1 : 1) : (dx < 0 ? -1 : 1);
  const int64_t dMinor = xMajor ? ady : adx;
  const int64_t m0 = xMajor ? X0 : Y0;
  const int64_t lo = xMajor ? VL : VT, hi = xMajor ? VR : VB;
  // Steps whose major coordinate is inside the box.
  int64_t i0 = 0, i1 = last;
  if (sMajor > 0) {
    i0 = std::max<int64_t>(i0, lo - m0);
    i1 = std::min<int64_t>(i1, hi - m0);
  } else {
    i0 = std::max<int64_t>(i0, m0 - hi);
    i1 = std::min<int64_t>(i1, m0 - lo);
  }
  for (int64_t i = i0; i <= i1; ++i) {
    // Minor offset rounded to nearest, halves away from the start.
    const int64_t off = static_cast<int64_t>((__int128(2) * i * dMinor + n) / (__int128(2) * n));
    const int64_t major = m0 + sMajor * i;
    const int64_t minor = (xMajor ? Y0 : X0) + sMinor * off;
    const int64_t x = xMajor ? major : minor, y = xMajor ? minor : major;
    if (x < VL || x > VR || y < VT || y > VB) continue;
    Plot(static_cast<int32_t>(x), static_cast<int32_t>(y), i);
  }
}

}  // namespace gdiraster
