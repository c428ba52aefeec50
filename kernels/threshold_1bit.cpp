#include "kernels/threshold_1bit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "foundations/colour_conversion.h"
#include "foundations/progress.h"
#include "kernels/average_colour.h"
#include "foundations/pixel_utils.h"

const int32_t IEOrderedDitherMatrix[8][8] = {
    {0, 32, 8, 40, 2, 34, 10, 42},   {48, 16, 56, 24, 50, 18, 58, 26},
    {12, 44, 4, 36, 14, 46, 6, 38},  {60, 28, 52, 20, 62, 30, 54, 22},
    {3, 35, 11, 43, 1, 33, 9, 41},   {51, 19, 59, 27, 49, 17, 57, 25},
    {15, 47, 7, 39, 13, 45, 5, 37},  {63, 31, 55, 23, 61, 29, 53, 21}};

namespace {

// One row of any pixel format as 3-byte colours, the way the threshold reads
// it: 16-bit samples by their high byte, floats as Trunc(v x 255) clamped.
void RowToRGB(TIEBitmap* Bitmap, const uint8_t* Row, int32_t Width, TRGB* Out) {
  const TRGB* pal = Bitmap->GetPalette();
  const int32_t palLen = pal ? Bitmap->GetPaletteLen() : 0;
  switch (Bitmap->GetPixelFormat()) {
    case ie1g:
      for (int32_t x = 0; x < Width; ++x) {
        const uint8_t v = (Row[x >> 3] & (0x80 >> (x & 7))) ? 255 : 0;
        Out[x] = TRGB{v, v, v};
      }
      break;
    case ie8p:
      for (int32_t x = 0; x < Width; ++x) Out[x] = Row[x] < palLen ? pal[Row[x]] : TRGB{};
      break;
    case ie8g:
      for (int32_t x = 0; x < Width; ++x) Out[x] = TRGB{Row[x], Row[x], Row[x]};
      break;
    case ie16g:
      for (int32_t x = 0; x < Width; ++x) {
        const uint8_t v = Row[x * 2 + 1];
        Out[x] = TRGB{v, v, v};
      }
      break;
    case ie24RGB: std::memcpy(Out, Row, size_t(Width) * 3); break;
    case ie32RGB:
      for (int32_t x = 0; x < Width; ++x) Out[x] = TRGB{Row[x * 4], Row[x * 4 + 1], Row[x * 4 + 2]};
      break;
    case ie32f:
      for (int32_t x = 0; x < Width; ++x) {
        float f;
        std::memcpy(&f, Row + size_t(x) * 4, 4);
        const uint8_t v = !(f > 0) ? 0 : (f >= 1 ? 255 : uint8_t(std::trunc(f * 255.0)));
        Out[x] = TRGB{v, v, v};
      }
      break;
    case ieCMYK:
      for (int32_t x = 0; x < Width; ++x)
        Out[x] = IECmykToRgb(reinterpret_cast<const TCMYK*>(Row)[x]);
      break;
    case ieRGB48:
      for (int32_t x = 0; x < Width; ++x) {
        const uint8_t* p = Row + size_t(x) * 6;
        Out[x].r = p[1];
        Out[x].g = p[3];
        Out[x].b = p[5];
      }
      break;
    case ieCIELab:
      for (int32_t x = 0; x < Width; ++x)
        Out[x] = IECIELabToRGB(reinterpret_cast<const TCIELab*>(Row)[x]);
      break;
    default: std::fill(Out, Out + Width, TRGB{}); break;
  }
}

int32_t MaxEntropyThreshold(TIEBitmap* Src) {
  const int32_t width = Src->GetWidth(), height = Src->GetHeight();
  std::vector<int64_t> hist(256, 0);
  std::vector<TRGB> rgb(width);
  for (int32_t y = 0; y < height; ++y) {
    RowToRGB(Src, Src->GetScanline(y), width, rgb.data());
    for (int32_t x = 0; x < width; ++x) hist[std::clamp(IERGBToGray(rgb[x]), 0, 255)]++;
  }
  const double total = double(width) * double(height);
  double p[256];
  double ht = 0;
  for (int i = 0; i < 256; ++i) {
    p[i] = double(hist[i]) / total;
    if (p[i] > 0) ht -= p[i] * std::log(p[i]);
  }
  // The best split starts below any value the criterion can take: a page of
  // exactly two levels scores 0 at every split between them and must still
  // be split there rather than fall back to all white.
  int32_t threshold = -2;
  double best = -std::numeric_limits<double>::infinity(), P = 0, hb = 0;
  for (int t = 1; t <= 255; ++t) {
    P += p[t - 1];
    if (p[t - 1] > 0) hb -= p[t - 1] * std::log(p[t - 1]);
    if (P > 0 && P < 1) {
      const double phi = std::log(P * (1 - P)) + hb / P + (ht - hb) / (1 - P);
      if (phi > best) {
        best = phi;
        threshold = t;
      }
    }
  }
  return threshold;
}

bool EnsureOneBit(TIEBitmap* Src, TIEBitmap* Dst) {
  if (Dst->GetPixelFormat() == ie1g && Dst->GetWidth() == Src->GetWidth() &&
      Dst->GetHeight() == Src->GetHeight())
    return true;
  return Dst->Allocate(Src->GetWidth(), Src->GetHeight(), ie1g);
}

}  // namespace

void IEThresholdTo1Bit(TIEBitmap* Src, TIEBitmap* Dst, int32_t Threshold,
                       TIEProgressRec* Progress) {
  if (!Src || !Dst || Src == Dst || Src->IsEmpty()) return;
  if (Src->GetPixelFormat() == ie1g) {
    Dst->AssignImage(Src);
    return;
  }
  if (!EnsureOneBit(Src, Dst)) return;
  if (Threshold == -2) {
    Threshold = MaxEntropyThreshold(Src);
  } else if (Threshold == -1) {
    int32_t r, g, b;
    IEGetAverageRGB(Src, r, g, b);
    Threshold = (IEGrayWeightRed * r + IEGrayWeightGreen * g + IEGrayWeightBlue * b) / 100;
  }
  const int32_t width = Src->GetWidth(), height = Src->GetHeight();
  const double step = 100.0 / (height + 0.5);
  if (Progress) Progress->per1 = step;
  std::vector<TRGB> rgb(width);
  for (int32_t y = 0; y < height; ++y) {
    RowToRGB(Src, Src->GetScanline(y), width, rgb.data());
    uint8_t* out = Dst->GetScanline(y);
    std::memset(out, 0, size_t((width + 7) / 8));
    for (int32_t x = 0; x < width; ++x)
      if (IERGBToGray(rgb[x]) >= Threshold) out[x >> 3] |= uint8_t(0x80 >> (x & 7));
    if (Progress) Progress->Report(int32_t(std::trunc((y + 1) * step)));
  }
}

void IEConvertTo1BitOrdered(TIEBitmap* Bitmap, TIEProgressRec* Progress) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() != ie24RGB) return;
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  auto result = std::make_unique<TIEBitmap>();
  if (!result->Allocate(width, height, ie1g)) return;
  for (int32_t y = 0; y < height; ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(y));
    uint8_t* out = result->GetScanline(y);
    std::memset(out, 0, size_t((width + 7) / 8));
    for (int32_t x = 0; x < width; ++x) {
      const TRGB& c = row[x];
      const int32_t level =
          (c.r > 250 && c.g > 250 && c.b > 250) ? 64 : (IERGBToGray(c) >> 2);
      if (level > IEOrderedDitherMatrix[x & 7][y & 7]) out[x >> 3] |= uint8_t(0x80 >> (x & 7));
    }
    if (Progress) Progress->Report(int32_t(std::trunc(100.0 / (height + 0.5) * (y + 1))));
  }
  Bitmap->AssignImage(result.get());
}

void IEConvertTo1BitThreshold(TIEBitmap* Bitmap, int32_t Threshold, TIEProgressRec* Progress) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() != ie24RGB) return;
  auto result = std::make_unique<TIEBitmap>();
  if (!result->Allocate(Bitmap->GetWidth(), Bitmap->GetHeight(), ie1g)) return;
  IEThresholdTo1Bit(Bitmap, result.get(), Threshold, Progress);
  Bitmap->AssignImage(result.get());
}
