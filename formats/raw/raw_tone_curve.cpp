#include "formats/raw/raw_tone_curve.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundations/image_buffer.h"

TRawCurve MakeRawCurve(const TRawLinear& L, bool Fuji, double Brightness, double Gamma, bool Wide) {
  std::vector<int64_t> hist(0x2000, 0);
  const int64_t n = int64_t(L.Width) * L.Height;
  for (int64_t i = 0; i < n; ++i) ++hist[RawLuminance(L.Image[i]) >> 3];
  const int64_t p = int64_t((Fuji ? 0.005 : 0.01) * double(n));
  int32_t bin = 0x1FFF;
  for (int64_t sum = 0; bin > 0; --bin) {
    sum += hist[size_t(bin)];
    if (sum > p) break;
  }
  const double white = std::max(1, bin * 16);
  const double gamma = std::clamp(Gamma, 0.05, 10.0);
  const double mul = std::clamp(Brightness, 0.01, 100.0) * 442.0 / white * (Wide ? 65535.0 / 255.0 : 1.0);
  TRawCurve c;
  c.Lut.resize(65536);
  c.Lut[0] = 0;
  for (int32_t i = 1; i < 65536; ++i) c.Lut[size_t(i)] = mul * std::pow(2.0 * i / white, gamma - 1.0);
  c.Limit = Wide ? 65535 : 255;
  c.White = int32_t(white);
  return c;
}

bool WriteRawCurve(const TRawLinear& L, const TRawCurve& C, int32_t Trim, bool Wide, TIEBitmap* Bitmap) {
  const int32_t srcW = L.Width - 2 * Trim, srcH = L.Height - 2 * Trim;
  if (srcW <= 0 || srcH <= 0) return false;
  const bool swap = (L.Flip & 4) != 0;
  const int32_t outW = swap ? srcH : srcW, outH = swap ? srcW : srcH;
  if (!Bitmap->Allocate(outW, outH, Wide ? ieRGB48 : ie24RGB)) return false;
  for (int32_t y = 0; y < outH; ++y) {
    uint8_t* row = Bitmap->GetScanline(y);
    for (int32_t x = 0; x < outW; ++x) {
      int32_t r = swap ? x : y, c = swap ? y : x;
      if (L.Flip & 2) r = srcH - 1 - r;
      if (L.Flip & 1) c = srcW - 1 - c;
      const uint16_t* px = L.Image[size_t(r + Trim) * size_t(L.Width) + size_t(c + Trim)];
      const double f = C.Lut[RawLuminance(px)];
      uint32_t v[3];
      for (int32_t k = 0; k < 3; ++k) v[k] = uint32_t(std::min<double>(double(px[k]) * f, C.Limit));
      if (Wide) {
        const uint16_t o[3] = {uint16_t(v[0]), uint16_t(v[1]), uint16_t(v[2])};
        std::memcpy(row + 6 * x, o, 6);
      } else {
        row[3 * x] = uint8_t(v[2]);
        row[3 * x + 1] = uint8_t(v[1]);
        row[3 * x + 2] = uint8_t(v[0]);
      }
    }
  }
  return true;
}

