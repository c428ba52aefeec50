#include "foundations/pixel_utils.h"

#include <cmath>
#include <cstring>

#include "foundations/image_buffer.h"
#include "foundations/settings.h"

namespace {

// Trunc into the Integer range (values beyond it saturate instead of wrapping).
int32_t TruncToInt(long double X) {
  if (std::isnan(X)) return 0;
  long double T = std::trunc(X);
  if (T >= 2147483647.0L) return INT32_MAX;
  if (T <= -2147483648.0L) return INT32_MIN;
  return int32_t(T);
}

}  // namespace

int32_t IECeil(long double X) {
  int32_t T = TruncToInt(X);
  if (X - std::trunc(X) > 0 && T < INT32_MAX) ++T;
  return T;
}

int32_t IEFloor(long double X) {
  int32_t T = TruncToInt(X);
  if (X - std::trunc(X) < 0 && T > INT32_MIN) --T;
  return T;
}

int32_t IERGBToGray(const TRGB& RGB) {
  return (int32_t(RGB.r) * IEGrayWeightRed + int32_t(RGB.g) * IEGrayWeightGreen +
          int32_t(RGB.b) * IEGrayWeightBlue) /
         100;
}

TRGB IEColorToRGB(TColor Color) {
  uint32_t C = ColorToRGB(Color);
  return IECreateRGB(uint8_t(C), uint8_t(C >> 8), uint8_t(C >> 16));
}

uint32_t IEColorToARGB(TColor Color, uint8_t Alpha) {
  uint32_t C = ColorToRGB(Color);
  uint32_t R = C & 0xFF, G = (C >> 8) & 0xFF, B = (C >> 16) & 0xFF;
  return (uint32_t(Alpha) << 24) | (R << 16) | (G << 8) | B;
}

long double IEArcTan2(long double Y, long double X) { return std::atan2(Y, X); }

long double IEArcSin(long double X) { return IEArcTan2(X, std::sqrt(1 - X * X)); }

long double IEArcCos(long double X) { return IEArcTan2(std::sqrt(1 - X * X), X); }

long double IETan(long double X) { return std::tan(X); }

bool IEBitmapsEqual(TIEBitmap* A, TIEBitmap* B) {
  if (A == nullptr || B == nullptr) return A == B;
  if (A == B) return true;
  if (A->GetWidth() != B->GetWidth() || A->GetHeight() != B->GetHeight()) return false;
  if (A->HasAlphaChannel() != B->HasAlphaChannel()) return false;
  int64_t Len = A->GetRowLen();
  if (Len != B->GetRowLen()) return false;
  for (int32_t Y = 0; Y < A->GetHeight(); ++Y) {
    // Each bitmap maps its own row, so both pointers stay valid here.
    const uint8_t* RA = A->GetScanline(Y);
    const uint8_t* RB = B->GetScanline(Y);
    if (std::memcmp(RA, RB, size_t(Len)) != 0) return false;
  }
  if (A->HasAlphaChannel()) return IEBitmapsEqual(A->GetAlphaChannel(), B->GetAlphaChannel());
  return true;
}
