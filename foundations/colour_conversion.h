#pragma once
// CMYK <-> RGB conversion of single pixels.  CMYK values are stored inverted
// (255 = no ink) and packed with c, m, y, k in bytes 0 to 3 (a TCMYK read
// little-endian).
#include <cstdint>

#include "foundations/pixel_types.h"

// Stored CMYK to blue, green, red: red = c x k / 255, green = m x k /
// 255, blue = y x k / 255.
void IECmykToRgb(uint32_t CMYK, TRGB& RGB);
TRGB IECmykToRgb(const TCMYK& CMYK);

// Blue, green, red to stored CMYK: k = the largest of R, G, B (1 when all are
// 0); c = R x 255 / k, m = G x 255 / k, y = B x 255 / k.
uint32_t IERgbToCmyk(const TRGB& RGB);
TCMYK IERgbToCmykPixel(const TRGB& RGB);

inline uint32_t IEPackCMYK(const TCMYK& P) {
  return uint32_t(P.c) | (uint32_t(P.m) << 8) | (uint32_t(P.y) << 16) | (uint32_t(P.k) << 24);
}
inline TCMYK IEUnpackCMYK(uint32_t V) {
  TCMYK P;
  P.c = uint8_t(V);
  P.m = uint8_t(V >> 8);
  P.y = uint8_t(V >> 16);
  P.k = uint8_t(V >> 24);
  return P;
}
