#pragma once
// Small arithmetic and pixel helpers that nearly every kernel calls: integer
// and floating minimum, maximum and clamping, ceiling and floor, pixel record
// constructors and colour conversions, the weighted gray level, rectangle
// ordering, a few trigonometric functions and a bitmap comparison.
//
// Their tie rules matter (many kernels count on them): IEMinInt/IEMaxInt
// answer the first argument on a tie, IEMinDouble/IEMaxDouble the second, and
// IEClampInt tests the lower bound first.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "platform/gdi/colors.h"

class TIEBitmap;

// Trunc(X), plus 1 when the fraction is above 0.
int32_t IECeil(long double X);
// Trunc(X), minus 1 when the fraction is below 0.
int32_t IEFloor(long double X);

inline TRGB IECreateRGB(uint8_t R, uint8_t G, uint8_t B) {
  TRGB P;
  P.b = B;
  P.g = G;
  P.r = R;
  return P;
}
inline TCMYK IECreateCMYK(uint8_t C, uint8_t M, uint8_t Y, uint8_t K) {
  TCMYK P;
  P.c = C;
  P.m = M;
  P.y = Y;
  P.k = K;
  return P;
}

// (R x red weight + G x green weight + B x blue weight) / 100 with the
// library-wide gray weights in per cent (settings.h; 21, 71, 8 by default).
int32_t IERGBToGray(const TRGB& RGB);

// R + G x 256 + B x 65536.
inline TColor IERGBToColor(const TRGB& RGB) {
  return TColor(uint32_t(RGB.r) | (uint32_t(RGB.g) << 8) | (uint32_t(RGB.b) << 16));
}
// System colours are resolved first; then the low byte is red, the next
// green, the next blue.
TRGB IEColorToRGB(TColor Color);
// After the same resolution: Alpha x 2^24 + R x 2^16 + G x 256 + B.
uint32_t IEColorToARGB(TColor Color, uint8_t Alpha);

inline double IEMinDouble(double A, double B) { return A < B ? A : B; }
inline double IEMaxDouble(double A, double B) { return A > B ? A : B; }
inline int32_t IEMinInt(int32_t A, int32_t B) { return A <= B ? A : B; }
inline int32_t IEMaxInt(int32_t A, int32_t B) { return A >= B ? A : B; }
// Low when V <= Low; else High when V >= High; else V (Low wins when Low > High).
inline int32_t IEClampInt(int32_t V, int32_t Low, int32_t High) {
  if (V <= Low) return Low;
  if (V >= High) return High;
  return V;
}
// 0 below 0, 255 above 255, else V.
inline int32_t IEClampByte(int32_t V) { return V < 0 ? 0 : (V > 255 ? 255 : V); }

inline void IESwapInt(int32_t& A, int32_t& B) {
  int32_t T = A;
  A = B;
  B = T;
}
inline void IESwapByte(uint8_t& A, uint8_t& B) {
  uint8_t T = A;
  A = B;
  B = T;
}
inline bool IESameRGB(const TRGB& A, const TRGB& B) {
  return A.r == B.r && A.g == B.g && A.b == B.b;
}
// Swaps X1 and X2 when X1 > X2, then Y1 and Y2 when Y1 > Y2.
inline void IEOrderRect(int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  if (X1 > X2) IESwapInt(X1, X2);
  if (Y1 > Y2) IESwapInt(Y1, Y2);
}

// The angle of the point (X, Y) in -pi..pi.
long double IEArcTan2(long double Y, long double X);
// IEArcTan2(X, sqrt(1 - X x X)).
long double IEArcSin(long double X);
// IEArcTan2(sqrt(1 - X x X), X).
long double IEArcCos(long double X);
long double IETan(long double X);

// True when both have the same width and height, both have or both lack an
// alpha plane, and every row (and alpha row) is byte-equal over the whole row
// length. Pixel formats and palettes are not compared.
bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B);
