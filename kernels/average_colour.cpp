#include "kernels/average_colour.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/colour_conversion.h"

namespace {

uint8_t FloatLevel(float V) {
  if (!(V > 0)) return 0;  // also NaN
  if (V >= 1) return 255;
  return uint8_t(std::trunc(V * 255.0L));
}

uint8_t WordLevel(uint16_t V) { return uint8_t(std::trunc(V / 65535.0L * 255)); }

}  // namespace

void IEGetAverageRGB(TIEBitmap* Bitmap, int32_t& Red, int32_t& Green, int32_t& Blue) {
  Red = Green = Blue = 0;
  if (!Bitmap || Bitmap->IsEmpty()) return;
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  const TRGB* pal = Bitmap->GetPalette();
  const int32_t palLen = pal ? Bitmap->GetPaletteLen() : 0;
  int64_t tr = 0, tg = 0, tb = 0;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* row = Bitmap->GetScanline(y);
    int64_t sr = 0, sg = 0, sb = 0;
    for (int32_t x = 0; x < width; ++x) {
      TRGB c{};
      switch (pf) {
        case ie1g:
          if (row[x >> 3] & (0x80 >> (x & 7))) c = TRGB{255, 255, 255};
          break;
        case ie8p:
          if (row[x] < palLen) c = pal[row[x]];
          break;
        case ie8g: c = TRGB{row[x], row[x], row[x]}; break;
        case ie16g: {
          uint16_t w;
          std::memcpy(&w, row + size_t(x) * 2, 2);
          const uint8_t v = WordLevel(w);
          c = TRGB{v, v, v};
          break;
        }
        case ie24RGB: c = reinterpret_cast<const TRGB*>(row)[x]; break;
        case ie32RGB: c = TRGB{row[x * 4], row[x * 4 + 1], row[x * 4 + 2]}; break;
        case ie32f: {
          float f;
          std::memcpy(&f, row + size_t(x) * 4, 4);
          const uint8_t v = FloatLevel(f);
          c = TRGB{v, v, v};
          break;
        }
        case ieCMYK: c = IECmykToRgb(reinterpret_cast<const TCMYK*>(row)[x]); break;
        case ieRGB48: {
          const TRGB48& p = reinterpret_cast<const TRGB48*>(row)[x];
          c.r = WordLevel(p.r);
          c.g = WordLevel(p.g);
          c.b = WordLevel(p.b);
          break;
        }
        case ieCIELab: c = IECIELabToRGB(reinterpret_cast<const TCIELab*>(row)[x]); break;
        default: break;
      }
      sr += c.r;
      sg += c.g;
      sb += c.b;
    }
    tr += sr / width;
    tg += sg / width;
    tb += sb / width;
  }
  Red = int32_t(tr / height);
  Green = int32_t(tg / height);
  Blue = int32_t(tb / height);
}
