#include "kernels/pixel_conversion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/bit_helpers.h"
#include "foundations/geometry_colour.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "foundations/colour_conversion.h"
#include "foundations/bit_expansion.h"
#include "kernels/quantizer.h"
#include "kernels/threshold_1bit.h"

namespace {

// ---- sample access (rows of float and 16-bit samples need not be aligned) --

inline float GetF(const uint8_t* Row, int32_t X) {
  float f;
  std::memcpy(&f, Row + size_t(X) * 4, 4);
  return f;
}
inline void PutF(uint8_t* Row, int32_t X, long double V) {
  const float f = float(V);
  std::memcpy(Row + size_t(X) * 4, &f, 4);
}
inline uint16_t GetW(const uint8_t* Row, int32_t I) {
  return uint16_t(Row[size_t(I) * 2] | (Row[size_t(I) * 2 + 1] << 8));
}
inline void PutW(uint8_t* Row, int32_t I, uint32_t V) {
  Row[size_t(I) * 2] = uint8_t(V);
  Row[size_t(I) * 2 + 1] = uint8_t(V >> 8);
}

// Float samples are clamped to 0..1 (NaN reads as 0) before scaling, so an
// out-of-range sample saturates instead of wrapping.
inline long double ClampF(float F) {
  if (!(F > 0)) return 0;
  return F >= 1 ? 1.0L : (long double)F;
}
inline uint32_t FloatTo(float F, uint32_t Max) { return uint32_t(std::trunc(ClampF(F) * Max)); }

inline int32_t Gray8(int32_t R, int32_t G, int32_t B) {
  return (R * IEGrayWeightRed + G * IEGrayWeightGreen + B * IEGrayWeightBlue) / 100;
}
inline uint32_t Gray16(int32_t R, int32_t G, int32_t B) {
  return uint32_t((R * 54484 + G * 183241 + B * 19275) / 1000);
}
inline long double GrayF(int32_t R, int32_t G, int32_t B) {
  return (R * 0.2126L + G * 0.7152L + B * 0.0722L) / 255;
}

inline void Put24(uint8_t* Row, int32_t X, uint8_t B, uint8_t G, uint8_t R) {
  Row[X * 3] = B;
  Row[X * 3 + 1] = G;
  Row[X * 3 + 2] = R;
}
inline void Put32(uint8_t* Row, int32_t X, uint8_t B, uint8_t G, uint8_t R) {
  Row[X * 4] = B;
  Row[X * 4 + 1] = G;
  Row[X * 4 + 2] = R;
  Row[X * 4 + 3] = 255;
}
inline void Put48(uint8_t* Row, int32_t X, uint32_t R, uint32_t G, uint32_t B) {
  PutW(Row, X * 3, R);
  PutW(Row, X * 3 + 1, G);
  PutW(Row, X * 3 + 2, B);
}

// Pairs that have a rule of their own; every other pair of different
// formats passes through 24-bit colour.
bool HasDirectRule(TIEPixelFormat S, TIEPixelFormat D) {
  if (D == ie24RGB) return true;
  switch (S) {
    case ie1g:
    case ie8p:
    case ie8g:
    case ie16g:
    case ie32f: return D != ieCMYK && D != ieCIELab;
    case ie24RGB: return true;
    case ieCMYK:
    case ieCIELab: return D == ie32RGB;
    case ieRGB48: return D != ie8p && D != ieCMYK && D != ieCIELab;
    default: return false;
  }
}

// The dither level (0..63) of pixel X of a source row; only for sources with
// a direct rule to ie1g.
struct TLevelReader {
  TIEPixelFormat Format;
  const TRGB* Palette;
  int32_t PaletteLen;
  int32_t operator()(const uint8_t* Row, int32_t X) const {
    switch (Format) {
      case ie8p: {
        const uint8_t i = Row[X];
        const TRGB c = i < PaletteLen ? Palette[i] : TRGB{};
        return Gray8(c.r, c.g, c.b) >> 2;
      }
      case ie8g: return Row[X] >> 2;
      case ie16g: return GetW(Row, X) >> 10;
      case ie24RGB: return Gray8(Row[X * 3 + 2], Row[X * 3 + 1], Row[X * 3]) >> 2;
      // Float samples dither like 8-bit levels: Trunc(f x 255) >> 2.
      case ie32f: return int32_t(FloatTo(GetF(Row, X), 255)) >> 2;
      case ieRGB48:
        return Gray8(GetW(Row, X * 3) / 256, GetW(Row, X * 3 + 1) / 256,
                     GetW(Row, X * 3 + 2) / 256) >> 2;
      default: return 0;
    }
  }
};

void SetGrayRamp(TIEBitmap* Dest) {
  TRGB* pal = Dest->GetPalette();
  const int32_t n = pal ? Dest->GetPaletteLen() : 0;
  for (int32_t i = 0; i < n; ++i) pal[i] = i < 256 ? TRGB{uint8_t(i), uint8_t(i), uint8_t(i)} : TRGB{};
}

void ClearPalette(TIEBitmap* Dest) {
  TRGB* pal = Dest->GetPalette();
  if (pal) std::fill(pal, pal + Dest->GetPaletteLen(), TRGB{});
}

void CopyRows(TIEBitmap* Dest, TIEBitmap* Source) {
  const int64_t len = std::min(Dest->GetRowLen(), Source->GetRowLen());
  for (int32_t y = 0; y < Source->GetHeight(); ++y)
    std::memcpy(Dest->GetScanline(y), Source->GetScanline(y), size_t(len));
  if (Source->GetPaletteLen() > 0) Source->CopyPaletteTo(Dest);
}

// Converts the pixels of Source into Dest (same size, different formats,
// a direct rule between them). Source's options that matter live in Dest.
void ConvertDirect(TIEBitmap* Dest, TIEBitmap* Source) {
  const TIEPixelFormat sf = Source->GetPixelFormat(), df = Dest->GetPixelFormat();
  const int32_t width = Source->GetWidth(), height = Source->GetHeight();
  const TRGB* spal = Source->GetPalette();
  const int32_t spalLen = spal ? Source->GetPaletteLen() : 0;
  auto palEntry = [&](uint8_t I) { return I < spalLen ? spal[I] : TRGB{}; };

  if (df == ie1g && Dest->GetMonoConversion() != 0) {
    IEThresholdTo1Bit(Source, Dest, -1, nullptr);
    return;
  }

  std::unique_ptr<TIEQuantizer> quantizer;
  if (df == ie8p) {
    ClearPalette(Dest);
    TRGB* dpal = Dest->GetPalette();
    const int32_t dpalLen = dpal ? Dest->GetPaletteLen() : 0;
    if (sf == ie1g) {
      if (dpalLen >= 2) dpal[1] = TRGB{255, 255, 255};
    } else if (sf == ie24RGB) {
      std::vector<TRGB> palette(256);
      const int32_t wanted = std::clamp(Dest->GetPaletteUsed(), 1, 256);
      quantizer = std::make_unique<TIEQuantizer>(Source, palette, wanted);
      std::copy(palette.begin(), palette.begin() + std::min(dpalLen, 256), dpal);
    } else {
      SetGrayRamp(Dest);
    }
  }

  const TLevelReader level{sf, spal, spalLen};
  const double rangeLow = Dest->GetRangeLow(), rangeHigh = Dest->GetRangeHigh();

  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* s = Source->GetScanline(y);
    uint8_t* d = Dest->GetScanline(y);

    if (sf == ie1g && df == ie24RGB) {  // eight pixels per byte through the table
      IEExpand1BitRow(s, d, width);
      continue;
    }
    if (df == ie1g) {  // ordered dither
      std::memset(d, 0, size_t((width + 7) / 8));
      for (int32_t x = 0; x < width; ++x)
        if (IEOrderedDitherMatrix[x & 7][y & 7] < level(s, x)) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
      continue;
    }

    for (int32_t x = 0; x < width; ++x) {
      switch (sf) {
        case ie1g: {
          const bool on = IEGetBit(s, x) != 0;
          const uint8_t v8 = on ? 255 : 0;
          switch (df) {
            case ie8p: d[x] = on ? 1 : 0; break;
            case ie8g: d[x] = v8; break;
            case ie16g: PutW(d, x, on ? 65535 : 0); break;
            case ie32f: PutF(d, x, on ? 1.0L : 0.0L); break;
            case ie24RGB: Put24(d, x, v8, v8, v8); break;
            case ieRGB48: Put48(d, x, on ? 65535 : 0, on ? 65535 : 0, on ? 65535 : 0); break;
            case ie32RGB: Put32(d, x, v8, v8, v8); break;
            default: break;
          }
          break;
        }
        case ie8p: {
          const TRGB c = palEntry(s[x]);
          switch (df) {
            case ie8g: d[x] = uint8_t(Gray8(c.r, c.g, c.b)); break;
            case ie16g: PutW(d, x, Gray16(c.r, c.g, c.b)); break;
            case ie32f: PutF(d, x, GrayF(c.r, c.g, c.b)); break;
            case ie24RGB: Put24(d, x, c.b, c.g, c.r); break;
            case ie32RGB: Put32(d, x, c.b, c.g, c.r); break;
            case ieRGB48: Put48(d, x, c.r * 257u, c.g * 257u, c.b * 257u); break;
            default: break;
          }
          break;
        }
        case ie8g: {
          const uint8_t v = s[x];
          switch (df) {
            case ie8p: d[x] = v; break;
            case ie16g: PutW(d, x, v * 257u); break;
            case ie32f: PutF(d, x, v / 255.0L); break;
            case ie24RGB: Put24(d, x, v, v, v); break;
            case ie32RGB: Put32(d, x, v, v, v); break;
            case ieRGB48: Put48(d, x, v * 257u, v * 257u, v * 257u); break;
            default: break;
          }
          break;
        }
        case ie16g: {
          const uint16_t w = GetW(s, x);
          switch (df) {
            case ie8p:
            case ie8g: d[x] = uint8_t(w >> 8); break;
            case ie24RGB: {
              uint8_t g;
              if (rangeHigh - rangeLow != 0) {
                const int64_t lo = (int64_t)std::trunc(rangeLow), hi = (int64_t)std::trunc(rangeHigh);
                int64_t v = w;
                if (lo >= v) v = lo;
                if (v >= hi) v = hi;
                const long double t = std::trunc((v - lo) / (long double)(rangeHigh - rangeLow) * 255);
                g = uint8_t(std::clamp<long double>(t, 0, 255));
              } else {
                g = uint8_t(w >> 8);
              }
              Put24(d, x, g, g, g);
              break;
            }
            case ie32f: PutF(d, x, w / 65535.0L); break;
            case ieRGB48: Put48(d, x, w, w, w); break;
            case ie32RGB: Put32(d, x, uint8_t(w >> 8), uint8_t(w >> 8), uint8_t(w >> 8)); break;
            default: break;
          }
          break;
        }
        case ie24RGB: {
          const uint8_t b = s[x * 3], g = s[x * 3 + 1], r = s[x * 3 + 2];
          switch (df) {
            case ie8p: {
              const int32_t i = quantizer->ColorToIndex(TRGB{b, g, r});
              d[x] = uint8_t(std::clamp(i, 0, 255));
              break;
            }
            case ie8g: d[x] = uint8_t(Gray8(r, g, b)); break;
            case ie16g: PutW(d, x, Gray16(r, g, b)); break;
            case ie32f: PutF(d, x, GrayF(r, g, b)); break;
            case ieCMYK: reinterpret_cast<TCMYK*>(d)[x] = IERgbToCmykPixel(TRGB{b, g, r}); break;
            case ieCIELab: reinterpret_cast<TCIELab*>(d)[x] = IERGBToCIELab(TRGB{b, g, r}); break;
            case ieRGB48: Put48(d, x, r * 257u, g * 257u, b * 257u); break;
            case ie32RGB: Put32(d, x, b, g, r); break;
            default: break;
          }
          break;
        }
        case ie32f: {
          const float f = GetF(s, x);
          const uint8_t v8 = uint8_t(FloatTo(f, 255));
          switch (df) {
            case ie8p:
            case ie8g: d[x] = v8; break;
            case ie24RGB: Put24(d, x, v8, v8, v8); break;
            case ie32RGB: Put32(d, x, v8, v8, v8); break;
            case ie16g: PutW(d, x, FloatTo(f, 65535)); break;
            case ieRGB48: {
              const uint32_t w = FloatTo(f, 65535);
              Put48(d, x, w, w, w);
              break;
            }
            default: break;
          }
          break;
        }
        case ieCMYK: {
          const TRGB c = IECmykToRgb(reinterpret_cast<const TCMYK*>(s)[x]);
          if (df == ie24RGB) Put24(d, x, c.b, c.g, c.r);
          else if (df == ie32RGB) Put32(d, x, c.b, c.g, c.r);
          break;
        }
        case ieRGB48: {
          const uint16_t r16 = GetW(s, x * 3), g16 = GetW(s, x * 3 + 1), b16 = GetW(s, x * 3 + 2);
          switch (df) {
            case ie8g: d[x] = uint8_t(Gray8(r16 / 256, g16 / 256, b16 / 256)); break;
            case ie16g: PutW(d, x, (r16 * 212u + g16 * 713u + b16 * 75u) / 1000); break;
            case ie24RGB: Put24(d, x, uint8_t(b16 >> 8), uint8_t(g16 >> 8), uint8_t(r16 >> 8)); break;
            case ie32RGB: Put32(d, x, uint8_t(b16 >> 8), uint8_t(g16 >> 8), uint8_t(r16 >> 8)); break;
            case ie32f:
              PutF(d, x,
                   std::min(1.0L, (r16 * 0.2126L / 256 + g16 * 0.7152L / 256 + b16 * 0.0722L / 256) /
                                      255));
              break;
            default: break;
          }
          break;
        }
        case ieCIELab: {
          const TRGB c = IECIELabToRGB(reinterpret_cast<const TCIELab*>(s)[x]);
          if (df == ie24RGB) Put24(d, x, c.b, c.g, c.r);
          else if (df == ie32RGB) Put32(d, x, c.b, c.g, c.r);
          break;
        }
        case ie32RGB:
          if (df == ie24RGB) Put24(d, x, s[x * 4], s[x * 4 + 1], s[x * 4 + 2]);
          break;
        default: break;
      }
    }
  }
}

struct TOptions {
  uint8_t MonoConversion;
  int32_t PaletteUsed;
  double RangeLow, RangeHigh;
  explicit TOptions(TIEBitmap* B)
      : MonoConversion(B->GetMonoConversion()),
        PaletteUsed(B->GetPaletteUsed()),
        RangeLow(B->GetRangeLow()),
        RangeHigh(B->GetRangeHigh()) {}
  void ApplyTo(TIEBitmap* B) const {
    B->SetMonoConversion(MonoConversion);
    B->SetPaletteUsed(PaletteUsed);
    B->SetRangeLow(RangeLow);
    B->SetRangeHigh(RangeHigh);
  }
};

bool ConvertAtTBitmap(TIEBitmap* Bitmap, TIEPixelFormat PixelFormat) {
  if (!IEFormatFitsTBitmap(PixelFormat)) {
    // These formats cannot live in a platform bitmap: the image moves to
    // memory and converts there.
    Bitmap->SetLocation(ieMemory);
    if (Bitmap->GetLocation() == ieTBitmap) return false;
    return IEConvertToPixelFormat(Bitmap, PixelFormat);
  }
  const TOptions options(Bitmap);
  TIEBitmap copy;
  copy.Assign(Bitmap);
  if (copy.IsEmpty()) return false;
  options.ApplyTo(&copy);
  if (copy.GetPixelFormat() == ie24RGB && PixelFormat == ie1g && options.MonoConversion == 0)
    IEConvertTo1BitOrdered(&copy, nullptr);
  else if (!IEConvertToPixelFormat(&copy, PixelFormat))
    return false;
  if (copy.GetPixelFormat() != PixelFormat) return false;
  Bitmap->Assign(&copy);
  options.ApplyTo(Bitmap);
  return Bitmap->GetPixelFormat() == PixelFormat;
}

}  // namespace

bool IEConvertToPixelFormat(TIEBitmap* Bitmap, TIEPixelFormat PixelFormat) {
  if (!Bitmap || PixelFormat == ieNoFormat || uint8_t(PixelFormat) >= IEPixelFormatCount)
    return false;
  if (Bitmap->IsEmpty()) {
    const int32_t w = Bitmap->GetWidth(), h = Bitmap->GetHeight();
    return w > 0 && h > 0 ? Bitmap->Allocate(w, h, PixelFormat) : true;
  }
  if (Bitmap->GetPixelFormat() == PixelFormat) return true;
  if (Bitmap->GetLocation() == ieTBitmap) return ConvertAtTBitmap(Bitmap, PixelFormat);

  const TOptions options(Bitmap);
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  TIEBitmap old;
  Bitmap->MoveContentTo(&old);
  options.ApplyTo(Bitmap);
  if (!Bitmap->Allocate(width, height, PixelFormat)) {
    // Put the untouched pixels back: a failed conversion loses nothing.
    old.MoveContentTo(Bitmap);
    options.ApplyTo(Bitmap);
    return false;
  }
  IEConvertFrom(Bitmap, &old);
  return true;
}

void IEConvertPixels(TIEBitmap* Dest, TIEBitmap* Source) {
  if (!Dest || !Source || Dest == Source || Source->IsEmpty() || Dest->IsEmpty()) return;
  if (Dest->GetWidth() != Source->GetWidth() || Dest->GetHeight() != Source->GetHeight()) return;
  const TIEPixelFormat sf = Source->GetPixelFormat(), df = Dest->GetPixelFormat();
  if (sf == ieNoFormat || df == ieNoFormat) return;
  if (sf == df) {
    CopyRows(Dest, Source);
    return;
  }
  if (HasDirectRule(sf, df)) {
    ConvertDirect(Dest, Source);
    return;
  }
  // Through 24-bit colour, on a copy: the caller's source stays as it is.
  TIEBitmap rgb;
  rgb.SetRangeLow(Source->GetRangeLow());
  rgb.SetRangeHigh(Source->GetRangeHigh());
  if (!rgb.Allocate(Source->GetWidth(), Source->GetHeight(), ie24RGB)) return;
  ConvertDirect(&rgb, Source);
  ConvertDirect(Dest, &rgb);
}

void IEConvertFrom(TIEBitmap* Dest, TIEBitmap* Source) {
  if (!Dest || !Source || Dest == Source) return;
  if (Dest->GetLocation() == ieTBitmap) return;
  if (Dest->GetWidth() != Source->GetWidth() || Dest->GetHeight() != Source->GetHeight()) return;
  IEConvertPixels(Dest, Source);
  if (Source->HasAlphaChannel() && !Dest->GetIsAlphaChannel()) {
    if (TIEBitmap* alpha = Dest->GetAlphaChannel()) alpha->Assign(Source->GetAlphaChannel());
  }
}

// The image buffer converts through these rules from the start of the program.
namespace {
const bool Installed = [] {
  TIEPixelConversion Conversion;
  Conversion.ConvertToPixelFormat = IEConvertToPixelFormat;
  Conversion.ConvertFrom = IEConvertFrom;
  Conversion.ConvertPixels = IEConvertPixels;
  IEInstallPixelConversion(Conversion);
  return true;
}();
}  // namespace
