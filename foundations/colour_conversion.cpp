#include "foundations/colour_conversion.h"

void IECmykToRgb(uint32_t CMYK, TRGB& RGB) {
  uint32_t C = CMYK & 0xFF, M = (CMYK >> 8) & 0xFF, Y = (CMYK >> 16) & 0xFF, K = CMYK >> 24;
  RGB.r = uint8_t(C * K / 255);
  RGB.g = uint8_t(M * K / 255);
  RGB.b = uint8_t(Y * K / 255);
}

TRGB IECmykToRgb(const TCMYK& CMYK) {
  TRGB RGB;
  IECmykToRgb(IEPackCMYK(CMYK), RGB);
  return RGB;
}

uint32_t IERgbToCmyk(const TRGB& RGB) {
  return IEPackCMYK(IERgbToCmykPixel(RGB));
}

TCMYK IERgbToCmykPixel(const TRGB& RGB) {
  uint32_t K = RGB.r;
  if (RGB.g > K) K = RGB.g;
  if (RGB.b > K) K = RGB.b;
  if (K == 0) K = 1;
  TCMYK P;
  P.c = uint8_t(uint32_t(RGB.r) * 255 / K);
  P.m = uint8_t(uint32_t(RGB.g) * 255 / K);
  P.y = uint8_t(uint32_t(RGB.b) * 255 / K);
  P.k = uint8_t(K);
  return P;
}
