#include "formats/ico/ico_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

#include "formats/io_params.h"
#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/pixel_utils.h"
#include "foundations/progress.h"
#include "kernels/quantizer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

void Put16(uint8_t* P, uint32_t V) { IEPutWord(P, V, false); }
void Put32(uint8_t* P, uint32_t V) { IEPutDWord(P, V, false); }

void WriteChecked(TStream* Stream, const void* Data, int64_t Count, TIEProgressRec& Progress) {
  if (Count > 0 && Stream->Write(Data, Count) != Count) Progress.SetAborting();
}

// The source at another size: nearest pixels for bilevel images, bilinear
// sampling of colour and alpha otherwise.
std::unique_ptr<TIEBitmap> Resampled(TIEBitmap* Source, int32_t W, int32_t H) {
  const int32_t sw = Source->GetWidth(), sh = Source->GetHeight();
  auto out = TIEBitmap::CreateSized(W, H, Source->GetPixelFormat());
  if (Source->GetPixelFormat() == ie8p) Source->CopyPaletteTo(out.get());
  const bool alpha = Source->HasAlphaChannel();
  if (Source->GetPixelFormat() != ie24RGB || (sw == W && sh == H)) {
    for (int32_t y = 0; y < H; ++y) {
      const int32_t sy = int32_t(int64_t(y) * sh / H);
      for (int32_t x = 0; x < W; ++x) {
        const int32_t sx = int32_t(int64_t(x) * sw / W);
        switch (Source->GetPixelFormat()) {
          case ie1g: {
            const bool b = (Source->GetScanline(sy)[sx >> 3] & (0x80 >> (sx & 7))) != 0;
            uint8_t* d = out->GetScanline(y);
            if (b) d[x >> 3] |= uint8_t(0x80 >> (x & 7));
            else d[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
            break;
          }
          case ie8p: out->GetScanline(y)[x] = Source->GetScanline(sy)[sx]; break;
          default: reinterpret_cast<TRGB*>(out->GetScanline(y))[x] = reinterpret_cast<TRGB*>(Source->GetScanline(sy))[sx]; break;
        }
        if (alpha) out->SetAlpha(x, y, Source->GetAlpha(sx, sy));
      }
    }
    return out;
  }
  for (int32_t y = 0; y < H; ++y) {
    const double fy = std::max(0.0, (y + 0.5) * sh / H - 0.5);
    const int32_t y0 = std::min(int32_t(fy), sh - 1), y1 = std::min(y0 + 1, sh - 1);
    const double wy = fy - y0;
    for (int32_t x = 0; x < W; ++x) {
      const double fx = std::max(0.0, (x + 0.5) * sw / W - 0.5);
      const int32_t x0 = std::min(int32_t(fx), sw - 1), x1 = std::min(x0 + 1, sw - 1);
      const double wx = fx - x0;
      const TRGB* r0 = reinterpret_cast<TRGB*>(Source->GetScanline(y0));
      const TRGB c00 = r0[x0], c01 = r0[x1];
      const TRGB* r1 = reinterpret_cast<TRGB*>(Source->GetScanline(y1));
      const TRGB c10 = r1[x0], c11 = r1[x1];
      auto mix = [&](double a, double b, double c, double d) {
        return uint8_t(IEClampByte(IERound((a * (1 - wx) + b * wx) * (1 - wy) + (c * (1 - wx) + d * wx) * wy)));
      };
      TRGB& o = reinterpret_cast<TRGB*>(out->GetScanline(y))[x];
      o.b = mix(c00.b, c01.b, c10.b, c11.b);
      o.g = mix(c00.g, c01.g, c10.g, c11.g);
      o.r = mix(c00.r, c01.r, c10.r, c11.r);
      if (alpha)
        out->SetAlpha(x, y, mix(Source->GetAlpha(x0, y0), Source->GetAlpha(x1, y0), Source->GetAlpha(x0, y1),
                                Source->GetAlpha(x1, y1)));
    }
  }
  return out;
}

struct TWritten {
  int32_t Width = 0, Height = 0, Bits = 0;
  uint32_t Size = 0, Offset = 0;
};

}  // namespace

void IcoWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    const std::vector<TSize>& Sizes, const std::vector<int32_t>& BitCounts) {
  if (Bitmap == nullptr || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0 || Sizes.empty() ||
      Sizes.size() > 65535) {
    Progress.SetAborting();
    return;
  }
  const int64_t start = Stream->GetPosition();
  const int32_t n = int32_t(Sizes.size());
  uint8_t head[6] = {0, 0, 1, 0, 0, 0};
  Put16(head + 4, uint32_t(n));
  WriteChecked(Stream, head, 6, Progress);
  std::vector<uint8_t> dir(size_t(n) * 16, 0);
  WriteChecked(Stream, dir.data(), int64_t(dir.size()), Progress);
  Params.FreeColorMap();
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    Params.BitsPerSample = 1;
    Params.SamplesPerPixel = 1;
  }
  // The source: 1-bit and palette images as they are, everything else as
  // 24-bit colour; the alpha plane travels with it.
  std::unique_ptr<TIEBitmap> converted;
  TIEBitmap* source = Bitmap;
  const TIEPixelFormat pf = Bitmap->GetPixelFormat();
  if (pf != ie24RGB && pf != ie1g && pf != ie8p) {
    converted = std::make_unique<TIEBitmap>();
    converted->Assign(Bitmap);
    converted->ConvertToPixelFormat(ie24RGB);
    source = converted.get();
  }
  std::vector<TWritten> written;
  const double factor = 100.0 / n;
  for (int32_t i = 0; i < n; ++i) {
    if (Progress.fOnProgress) Progress.Report(int32_t(i * factor));
    if (Progress.IsAborting()) break;
    const int32_t w = Sizes[size_t(i)].cx, h = Sizes[size_t(i)].cy;
    if (w < 1 || h < 1 || w > 256 || h > 256) {
      Progress.SetAborting();
      break;
    }
    int32_t b = size_t(i) < BitCounts.size() ? BitCounts[size_t(i)] : 0;
    if (b == 0) {
      const int32_t s = Params.SamplesPerPixel, bp = Params.BitsPerSample;
      b = (s == 3 && bp == 8) ? 24 : (s == 4 && bp == 8) ? 32 : (s == 1 && bp == 1) ? 1 : (s == 1 && bp == 4) ? 4 : 8;
    }
    if (b != 1 && b != 4 && b != 8 && b != 32) b = 24;
    auto img = Resampled(source, w, h);
    // Rows are built from colour: bilevel and palette images are expanded
    // where the body needs colour.
    const bool keepPalette = img->GetPixelFormat() == ie8p && (b == 4 || b == 8);
    if (img->GetPixelFormat() != ie24RGB && !(img->GetPixelFormat() == ie1g && b == 1) && !keepPalette) {
      std::unique_ptr<TIEBitmap> alpha = img->HasAlphaChannel() ? img->DetachAlphaChannel() : nullptr;
      img->ConvertToPixelFormat(ie24RGB);
      if (alpha) img->AttachAlphaChannel(std::move(alpha));
    }
    const bool hasAlpha = img->HasAlphaChannel();
    auto transparent = [&](int32_t X, int32_t Y) { return hasAlpha && img->GetAlpha(X, Y) < 255; };

    const int64_t xorRow = IEBitmapRowLen(w, b, 32), andRow = IEBitmapRowLen(w, 1, 32);
    const uint32_t imageSize = uint32_t((xorRow + andRow) * h);
    const int64_t imageStart = Stream->GetPosition();
    uint8_t info[40] = {};
    Put32(info, 40);
    Put32(info + 4, uint32_t(w));
    Put32(info + 8, uint32_t(2 * h));
    Put16(info + 12, 1);
    Put16(info + 14, uint32_t(b));
    Put32(info + 20, imageSize);
    Put32(info + 24, uint32_t(std::max(0, IERound(Params.DpiX / 2.54 * 100))));
    Put32(info + 28, uint32_t(std::max(0, IERound(Params.DpiY / 2.54 * 100))));
    WriteChecked(Stream, info, 40, Progress);

    // Colour table and index mapping for 1, 4 and 8 bits.
    const int32_t tableLen = b <= 8 ? (1 << b) : 0;
    std::vector<TRGB> table(size_t(std::max(tableLen, 1)));
    std::unique_ptr<TIEQuantizer> quantizer;
    std::vector<TRGB> qPalette(256);
    if (b == 1) {
      table[1] = TRGB{255, 255, 255};
    } else if (b <= 8) {
      if (keepPalette) {
        for (int32_t k = 0; k < tableLen; ++k) table[size_t(k)] = img->GetPaletteColor(k);
      } else {
        quantizer = std::make_unique<TIEQuantizer>(img.get(), qPalette, tableLen - 1);
        for (int32_t k = 1; k < tableLen; ++k) table[size_t(k)] = qPalette[size_t(k - 1)];
      }
      Params.FreeColorMap();
      Params.ColorMapCount = tableLen;
      Params.ColorMap = std::make_unique<TRGB[]>(size_t(tableLen));
      std::copy(table.begin(), table.begin() + tableLen, Params.ColorMap.get());
    }
    std::vector<uint8_t> tbytes;
    for (int32_t k = 0; k < tableLen; ++k) tbytes.insert(tbytes.end(), {table[size_t(k)].b, table[size_t(k)].g, table[size_t(k)].r, 0});
    WriteChecked(Stream, tbytes.data(), int64_t(tbytes.size()), Progress);

    std::vector<uint8_t> row(static_cast<size_t>(xorRow));
    for (int32_t y = h - 1; y >= 0; --y) {
      std::fill(row.begin(), row.end(), 0);
      const uint8_t* s = img->GetScanline(y);
      for (int32_t x = 0; x < w; ++x) {
        const bool clear = transparent(x, y);
        int32_t index = 0;
        TRGB c{};
        if (img->GetPixelFormat() == ie24RGB) c = reinterpret_cast<const TRGB*>(s)[x];
        switch (b) {
          case 1: {
            const bool white = img->GetPixelFormat() == ie1g ? (s[x >> 3] & (0x80 >> (x & 7))) != 0 : IERGBToGray(c) >= 128;
            if (white && !clear) row[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
            break;
          }
          case 4:
          case 8:
            if (clear) index = 0;
            else if (keepPalette) {
              index = s[x];
              if (index >= tableLen) index = IEFindNearestColorIndex(table.data(), tableLen, img->GetPaletteColor(index));
            } else {
              index = quantizer->ColorToIndex(c);
              index = index < 0 || index >= tableLen - 1 ? IEFindNearestColorIndex(table.data() + 1, tableLen - 1, c) + 1
                                                         : index + 1;
            }
            if (b == 8) row[size_t(x)] = uint8_t(index);
            else row[size_t(x >> 1)] |= uint8_t((x & 1) ? index : index << 4);
            break;
          case 24:
            if (!clear) {
              row[size_t(3 * x)] = c.b, row[size_t(3 * x + 1)] = c.g, row[size_t(3 * x + 2)] = c.r;
            }
            break;
          default:  // 32
            row[size_t(4 * x)] = c.b, row[size_t(4 * x + 1)] = c.g, row[size_t(4 * x + 2)] = c.r;
            row[size_t(4 * x + 3)] = hasAlpha ? img->GetAlpha(x, y) : 255;
            break;
        }
      }
      WriteChecked(Stream, row.data(), xorRow, Progress);
    }
    std::vector<uint8_t> mask(static_cast<size_t>(andRow));
    for (int32_t y = h - 1; y >= 0; --y) {
      std::fill(mask.begin(), mask.end(), 0);
      for (int32_t x = 0; x < w; ++x)
        if (transparent(x, y)) mask[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
      WriteChecked(Stream, mask.data(), andRow, Progress);
    }
    written.push_back(TWritten{w, h, b, uint32_t(Stream->GetPosition() - imageStart), uint32_t(imageStart - start)});
  }

  // The directory, for the images written.
  const int64_t end = Stream->GetPosition();
  for (size_t i = 0; i < written.size(); ++i) {
    const TWritten& e = written[i];
    uint8_t* d = dir.data() + i * 16;
    d[0] = uint8_t(e.Width & 255);  // 256 is written 0
    d[1] = uint8_t(e.Height & 255);
    d[2] = uint8_t(e.Bits < 8 ? (1 << e.Bits) : 0);  // 0: 256 colours or more
    d[3] = 0;
    Put16(d + 4, 1);
    Put16(d + 6, uint32_t(e.Bits));
    Put32(d + 8, e.Size);
    Put32(d + 12, e.Offset);
  }
  Put16(head + 4, uint32_t(written.size()));
  Stream->Seek(start, soBeginning);
  WriteChecked(Stream, head, 6, Progress);
  WriteChecked(Stream, dir.data(), int64_t(written.size() * 16), Progress);
  Stream->Seek(end, soBeginning);
}
