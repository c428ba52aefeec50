#include "foundations/geometry_colour.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "platform/rtl/sysutils.h"
#include "foundations/pixel_utils.h"

namespace {

constexpr long double kPi = std::numbers::pi_v<long double>;

// Coordinates computed beyond the 32-bit range are pinned to its ends.
int32_t Sat32(long double V) {
  if (!(V > INT32_MIN)) return INT32_MIN;  // also NaN
  if (V >= INT32_MAX) return INT32_MAX;
  return int32_t(V);
}


}  // namespace

double IEDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const long double dx = (long double)X2 - X1, dy = (long double)Y2 - Y1;
  return (double)std::sqrt(dx * dx + dy * dy);
}

double IEDistancePointToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2,
                             int32_t Y2) {
  const long double a = (long double)Y2 - Y1;
  const long double b = (long double)X1 - X2;
  const long double c = (long double)X2 * Y1 - (long double)X1 * Y2;
  const long double den = std::sqrt(a * a + b * b);
  if (den == 0) return IEFarDistance;
  return (double)(std::fabs((long double)X * a + (long double)Y * b + c) / den);
}

double IEDistancePointToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2,
                                int32_t Y2) {
  if (X1 == X2 && Y1 == Y2) return IEDistance(X, Y, X1, Y1);
  // Exact integer products (128 bits: coordinate differences reach 2^32).
  const __int128 sx = int64_t(X2) - X1, sy = int64_t(Y2) - Y1;
  const __int128 num = (__int128(X) - X1) * sx + (__int128(Y) - Y1) * sy;
  const __int128 den = sx * sx + sy * sy;
  const long double t = (long double)num / (long double)den;
  // Points far beyond an end are reported as far away rather than measured:
  // the hit tests only care about points near the stroke.
  if (t > 1) {
    if (std::llabs(int64_t(X) - X2) > 45000 || std::llabs(int64_t(Y) - Y2) > 45000)
      return IEFarDistance;
    return IEDistance(X, Y, X2, Y2);
  }
  if (t < 0) {
    if (std::llabs(int64_t(X1) - X) > 45000 || std::llabs(int64_t(Y1) - Y) > 45000)
      return IEFarDistance;
    return IEDistance(X, Y, X1, Y1);
  }
  const double d = IEDistancePointToLine(X, Y, X1, Y1, X2, Y2);
  return std::isfinite(d) ? d : IEFarDistance;
}

double IEDistancePointToPolyline(int32_t X, int32_t Y, const TPoint* Points, int32_t Count,
                                 int32_t SourceX, int32_t SourceY, int32_t DestX, int32_t DestY,
                                 double ScaleX, double ScaleY, int32_t PenWidth, bool Closed) {
  double result = IEFarDistance;
  if (Count <= 0 || !Points) return result;
  auto mapX = [&](int32_t v) {
    return Sat32(std::nearbyint(((long double)v - SourceX) * ScaleX + DestX));
  };
  auto mapY = [&](int32_t v) {
    return Sat32(std::nearbyint(((long double)v - SourceY) * ScaleY + DestY));
  };
  const int32_t half = PenWidth / 2;
  auto segment = [&](const TPoint& a, const TPoint& b) {
    const int32_t ax = mapX(a.X), ay = mapY(a.Y), bx = mapX(b.X), by = mapY(b.Y);
    double d = IEDistancePointToSegment(X, Y, ax, ay, bx, by);
    if (PenWidth > 1) {
      for (int32_t dx = -half; dx <= half; ++dx)
        for (int32_t dy = 2; dy <= half; ++dy)
          d = std::min(d, IEDistancePointToSegment(X, Y, Sat32((long double)ax + dx),
                                                   Sat32((long double)ay + dy),
                                                   Sat32((long double)bx + dx),
                                                   Sat32((long double)by + dy)));
    }
    result = std::min(result, d);
  };
  for (int32_t i = 1; i < Count; ++i) segment(Points[i - 1], Points[i]);
  if (Closed) segment(Points[Count - 1], Points[0]);
  return result;
}

double IEDistanceToRectEdges(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                             bool InsideCounts, int32_t PenWidth) {
  double result = IEMaxDistance;
  const int32_t half = PenWidth / 2;
  for (int32_t k = -half; k <= half; ++k) {
    const int32_t l = Sat32((long double)X1 + k), t = Sat32((long double)Y1 + k);
    const int32_t r = Sat32((long double)X2 + k), b = Sat32((long double)Y2 + k);
    if (InsideCounts && X >= std::min(l, r) && X <= std::max(l, r) && Y >= std::min(t, b) &&
        Y <= std::max(t, b))
      return 0.0;
    result = std::min(result, IEDistancePointToSegment(X, Y, l, t, r, t));
    result = std::min(result, IEDistancePointToSegment(X, Y, r, t, r, b));
    result = std::min(result, IEDistancePointToSegment(X, Y, r, b, l, b));
    result = std::min(result, IEDistancePointToSegment(X, Y, l, b, l, t));
  }
  return result;
}

double IEDistanceToEllipse(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                           bool Filled, int32_t PenWidth) {
  double result = IEMaxDistance;
  const int32_t half = PenWidth / 2;
  const int64_t hw = (int64_t(X2) - X1) / 2, hh = (int64_t(Y2) - Y1) / 2;
  const int32_t px = Sat32((long double)X - X1 - hw), py = Sat32((long double)Y - Y1 - hh);
  for (int32_t k = -half; k <= half; ++k) {
    const int32_t rx = Sat32((long double)hw + k), ry = Sat32((long double)hh + k);
    int64_t n = (int64_t)std::trunc(2 * kPi * std::min(rx, ry));
    if (!Filled) n /= 8;
    if (n < 2) n = 2;
    // Very large boxes are sampled no finer than one point per pixel of a
    // screen-sized outline; the distance only needs to find the stroke.
    n = std::min<int64_t>(n, 1 << 16);
    int32_t prevX = rx, prevY = 0;
    for (int64_t w = 1; w < n; ++w) {
      const long double ang = 2 * kPi * (long double)w / (long double)n;
      const int32_t ox = Sat32(std::trunc(rx * std::cos(ang)));
      const int32_t oy = Sat32(std::trunc(ry * std::sin(ang)));
      double d;
      if (Filled)
        d = std::trunc(IEDistancePointToSegment(px, py, 0, 0, ox, oy));
      else
        d = IEDistancePointToSegment(px, py, prevX, prevY, ox, oy);
      result = std::min(result, d);
      prevX = ox;
      prevY = oy;
    }
  }
  return result;
}

bool IEPointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count) {
  if (!Points || Count <= 0) return false;
  bool inside = false;
  for (int32_t i = 0, j = Count - 1; i < Count; j = i++) {
    const TPoint& pi = Points[i];
    const TPoint& pj = Points[j];
    if (((pi.Y <= Y && Y < pj.Y) || (pj.Y <= Y && Y < pi.Y)) &&
        (long double)X < pi.X + ((long double)pj.X - pi.X) * ((long double)Y - pi.Y) /
                                    ((long double)pj.Y - pi.Y))
      inside = !inside;
  }
  return inside;
}

bool IEPointInZoomedPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count,
                            int32_t SourceX, int32_t SourceY, int32_t DestX, int32_t DestY,
                            double ScaleX, double ScaleY) {
  if (!Points || Count <= 0) return false;
  auto mx = [&](int32_t v) { return ((long double)v - SourceX) * ScaleX + DestX; };
  auto my = [&](int32_t v) { return ((long double)v - SourceY) * ScaleY + DestY; };
  bool inside = false;
  for (int32_t i = 0, j = Count - 1; i < Count; j = i++) {
    const long double xi = mx(Points[i].X), yi = my(Points[i].Y);
    const long double xj = mx(Points[j].X), yj = my(Points[j].Y);
    if (((yi <= Y && Y < yj) || (yj <= Y && Y < yi)) && X < xi + (xj - xi) * (Y - yi) / (yj - yi))
      inside = !inside;
  }
  return inside;
}

void IERotatePoints(TPoint* Points, int32_t Count, int32_t CenterX, int32_t CenterY,
                    double Angle) {
  if (!Points) return;
  const long double a = -(long double)Angle * kPi / 180;
  long double ca = std::cos(a), sa = std::sin(a);
  // Quarter turns use exact sines and cosines: a cosine of 1e-19 instead of 0
  // would make the truncation below drop whole pixels.
  const long double quarters = (long double)Angle / 90;
  if (std::isfinite(quarters) && quarters == std::trunc(quarters)) {
    static const long double kCos[4] = {1, 0, -1, 0}, kSin[4] = {0, -1, 0, 1};
    const int q = int(std::fmod(quarters, 4.0L) + 4) % 4;
    ca = kCos[q];
    sa = kSin[q];
  }
  for (int32_t i = 0; i < Count; ++i) {
    const long double dx = (long double)Points[i].X - CenterX;
    const long double dy = (long double)Points[i].Y - CenterY;
    Points[i].X = Sat32(CenterX + std::trunc(ca * dx - sa * dy));
    Points[i].Y = Sat32(CenterY + std::trunc(sa * dx + ca * dy));
  }
}

void IEBezierPoints(const TPoint& Start, const TPoint& Control1, const TPoint& Control2,
                    const TPoint& End, int32_t N, TPoint* Points) {
  if (!Points || N < 1) return;
  for (int32_t i = 1; i <= N; ++i) {
    const long double t = (long double)i / N, u = 1 - t;
    const long double a = u * u * u, b = 3 * t * u * u, c = 3 * t * t * u, d = t * t * t;
    Points[i - 1].X =
        (int32_t)IERound(Start.X * a + Control1.X * b + Control2.X * c + End.X * d);
    Points[i - 1].Y =
        (int32_t)IERound(Start.Y * a + Control1.Y * b + Control2.Y * c + End.Y * d);
  }
}

TRect IEExtendRect(TRect& Rect, int32_t X, int32_t Y) {
  if (X < Rect.Left) Rect.Left = X;
  if (X > Rect.Right) Rect.Right = X;
  if (Y < Rect.Top) Rect.Top = Y;
  if (Y > Rect.Bottom) Rect.Bottom = Y;
  return Rect;
}

double IEVectorAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  const long double ax = (long double)X2 - X1, ay = (long double)Y2 - Y1;
  const long double bx = (long double)X3 - X2, by = (long double)Y3 - Y2;
  const long double la = std::sqrt(ax * ax + ay * ay), lb = std::sqrt(bx * bx + by * by);
  if (la == 0 || lb == 0) return 0.0;
  // Rounding can push the cosine of (anti)parallel vectors a hair past +-1;
  // clamp it so that they give 0 and pi instead of no angle at all.
  const long double c = std::clamp((ax * bx + ay * by) / (la * lb), -1.0L, 1.0L);
  return (double)IEArcCos(c);
}

double IELineAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const int64_t dx = int64_t(X2) - X1, dy = int64_t(Y2) - Y1;
  if (dx == 0 && dy == 0) return 0.0;
  if (dy == 0) return dx > 0 ? 0.0 : (double)kPi;
  if (dx == 0) return dy < 0 ? (double)(kPi / 2) : (double)(3 * kPi / 2);
  // Angle against the x axis (a unit step to the right ending at point 1).
  const double a = IEVectorAngle(X1 - 1, Y1, X1, Y1, X2, Y2);
  return dy < 0 ? a : (double)(2 * kPi - a);
}

int32_t IETurnDirection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  const __int128 dx1 = int64_t(X2) - X1, dy1 = int64_t(Y2) - Y1;
  const __int128 dx2 = int64_t(X3) - X1, dy2 = int64_t(Y3) - Y1;
  if (dy1 * dx2 < dx1 * dy2) return 1;
  if (dx1 * dy2 < dy1 * dx2) return -1;
  if (dx1 * dx2 < 0 || dy1 * dy2 < 0) return -1;
  if (dx1 * dx1 + dy1 * dy1 < dx2 * dx2 + dy2 * dy2) return 1;
  return 0;
}

double IEVertexAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3) {
  long double a = IEDistance(X1, Y1, X2, Y2);
  long double b = IEDistance(X2, Y2, X3, Y3);
  const long double c = IEDistance(X1, Y1, X3, Y3);
  if (a == 0) a = 1;
  if (b == 0) b = 1;
  const long double cs = std::clamp((a * a + b * b - c * c) / (2 * a * b), -1.0L, 1.0L);
  long double r = IEArcCos(cs);
  if (IETurnDirection(X1, Y1, X2, Y2, X3, Y3) == -1) r = 2 * kPi - r;
  return (double)r;
}

TFontStyles IELogFontToFontStyles(const LOGFONT* LogFont) {
  TFontStyles styles = 0;
  if (!LogFont) return styles;
  if (LogFont->lfWeight >= 700) styles |= FontStyleBit(fsBold);
  if (LogFont->lfItalic) styles |= FontStyleBit(fsItalic);
  if (LogFont->lfUnderline) styles |= FontStyleBit(fsUnderline);
  if (LogFont->lfStrikeOut) styles |= FontStyleBit(fsStrikeOut);
  return styles;
}

// ---- colour conversions ----

namespace {

long double SRGBToLinear(long double v) {
  return v <= 0.04045L ? v / 12.92L : std::pow((v + 0.055L) / 1.055L, 2.4L);
}
long double LinearToSRGB(long double v) {
  return v <= 0.0031308L ? 12.92L * v : 1.055L * std::pow(v, 1 / 2.4L) - 0.055L;
}
long double LabF(long double t) {
  return t > 0.008856L ? std::cbrt(t) : 7.787L * t + 16.0L / 116.0L;
}
long double LabFInv(long double t) {
  const long double t3 = t * t * t;
  return t3 > 0.008856L ? t3 : (t - 0.13793103448L) / 7.787L;
}
uint8_t ClampRound(long double v) {
  const int64_t i = IERound64(v * 255);
  return (uint8_t)std::clamp<int64_t>(i, 0, 255);
}
uint8_t ClampTrunc(long double v) {
  if (!(v > 0)) return 0;  // also NaN
  if (v >= 255) return 255;
  return (uint8_t)std::trunc(v);
}

}  // namespace

void IERGBToCIELab(TCIELab& Lab, uint32_t RGB) {
  const long double r = SRGBToLinear(((RGB >> 16) & 0xFF) / 255.0L);
  const long double g = SRGBToLinear(((RGB >> 8) & 0xFF) / 255.0L);
  const long double b = SRGBToLinear((RGB & 0xFF) / 255.0L);
  const long double X = (0.412453L * r + 0.35758L * g + 0.180423L * b) / 0.95047L;
  const long double Y = 0.212671L * r + 0.71516L * g + 0.072169L * b;
  const long double Z = (0.019334L * r + 0.119193L * g + 0.950227L * b) / 1.088883L;
  const long double fx = LabF(X), fy = LabF(Y), fz = LabF(Z);
  const long double L = Y > 0.008856L ? 116 * fy - 16 : 903.3L * Y;
  Lab.l = (uint8_t)(int32_t)std::trunc(L * 2.55L);
  Lab.a = (int8_t)(uint8_t)(int32_t)std::trunc(500 * (fx - fy));
  Lab.b = (int8_t)(uint8_t)(int32_t)std::trunc(200 * (fy - fz));
}

TCIELab IERGBToCIELab(const TRGB& RGB) {
  TCIELab lab{};
  IERGBToCIELab(lab, IEPackRGB(RGB));
  return lab;
}

void IECIELabToRGB(TRGB& RGB, uint32_t Lab) {
  const long double L = Lab & 0xFF;
  const long double a = (int8_t)((Lab >> 8) & 0xFF);
  const long double b = (int8_t)((Lab >> 16) & 0xFF);
  const long double fy = (L / 2.55L + 16) / 116;
  const long double fx = fy + a / 500;
  const long double fz = fy - b / 200;
  const long double X = 0.95047L * LabFInv(fx);
  const long double Y = LabFInv(fy);
  const long double Z = 1.08883L * LabFInv(fz);
  const long double R = 3.2406L * X - 1.5372L * Y - 0.4986L * Z;
  const long double G = -0.9689L * X + 1.8758L * Y + 0.0415L * Z;
  const long double B = 0.0557L * X - 0.204L * Y + 1.057L * Z;
  RGB.r = ClampRound(LinearToSRGB(R));
  RGB.g = ClampRound(LinearToSRGB(G));
  RGB.b = ClampRound(LinearToSRGB(B));
}

TRGB IECIELabToRGB(const TCIELab& Lab) {
  TRGB rgb{};
  IECIELabToRGB(rgb, IEPackCIELab(Lab));
  return rgb;
}

void IEYCbCrToRGB(TRGB& RGB, int32_t Y, int32_t Cb, int32_t Cr) {
  RGB.r = ClampTrunc(Y + 1.402L * (Cr - 128));
  RGB.g = ClampTrunc(Y - 0.34414L * (Cb - 128) - 0.71414L * (Cr - 128));
  RGB.b = ClampTrunc(Y + 1.772L * (Cb - 128));
}
