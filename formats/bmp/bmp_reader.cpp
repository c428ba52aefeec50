#include "formats/bmp/bmp_reader.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

uint16_t Le16(const uint8_t* P) { return IEGetWord(P, false); }
uint32_t Le32(const uint8_t* P) { return IEGetDWord(P, false); }

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3;
constexpr int64_t kRlePixelsPerByte = 4096;

// One channel of a bit-field pixel scaled to 8 bits: wider fields keep their
// top 8 bits, narrower ones are shifted up (five bits 31 give 248).
struct TBitField {
  uint32_t Mask = 0;
  int32_t Shift = 0;
  int32_t Width = 0;
  explicit TBitField(uint32_t M = 0) : Mask(M) {
    if (M == 0) return;
    Shift = std::countr_zero(M);
    Width = std::countr_one(M >> Shift);
  }
  uint8_t Get(uint32_t Pixel) const {
    if (Mask == 0) return 0;
    const uint32_t v = (Pixel & Mask) >> Shift;
    return uint8_t(Width >= 8 ? v >> (Width - 8) : v << (8 - Width));
  }
};

// Writes decoded indices of RLE data at (column, storage row).
class TRlePlacer {
 public:
  TRlePlacer(TIEBitmap* Bitmap, bool Native, const std::array<TRGB, 256>& Map, int32_t Width, int32_t Height,
             bool BottomUp)
      : FBitmap(Bitmap), FNative(Native), FMap(Map), FWidth(Width), FHeight(Height), FBottomUp(BottomUp) {}
  void Put(int32_t X, int32_t Row, uint8_t Index) {
    if (X < 0 || X >= FWidth || Row < 0 || Row >= FHeight) return;
    uint8_t* line = FBitmap->GetScanline(FBottomUp ? FHeight - 1 - Row : Row);
    if (FNative)
      line[X] = Index;
    else
      reinterpret_cast<TRGB*>(line)[X] = FMap[Index];
  }

 private:
  TIEBitmap* FBitmap;
  bool FNative;
  const std::array<TRGB, 256>& FMap;
  int32_t FWidth, FHeight;
  bool FBottomUp;
};

// RLE4/RLE8 decoding; answers false when the data end before an
// end-of-bitmap code while rows remain.
bool DecodeRle(const std::vector<uint8_t>& Data, bool Rle4, TRlePlacer& Out, int32_t Width, int32_t Height,
               TIEProgressRec& Progress) {
  size_t p = 0;
  int32_t x = 0, row = 0;
  const size_t n = Data.size();
  while (row < Height) {
    if (p + 2 > n) return false;
    const uint8_t count = Data[p], value = Data[p + 1];
    p += 2;
    if (count > 0) {
      for (int32_t i = 0; i < count; ++i, ++x) {
        const uint8_t idx = Rle4 ? ((i & 1) ? value & 15 : value >> 4) : value;
        // Pixels past the row's end (padding that some writers code) are
        // dropped.
        Out.Put(x, row, idx);
      }
      continue;
    }
    switch (value) {
      case 0:  // end of line
        ++row;
        x = 0;
        if (Progress.IsAborting()) return true;
        break;
      case 1:  // end of bitmap
        return true;
      case 2: {  // delta
        if (p + 2 > n) return false;
        x += Data[p];
        row += Data[p + 1];
        p += 2;
        break;
      }
      default: {  // absolute run
        const size_t bytes = Rle4 ? (size_t(value) + 1) / 2 : value;
        if (p + bytes > n) return false;
        for (int32_t i = 0; i < value; ++i, ++x) {
          const uint8_t idx = Rle4 ? ((i & 1) ? Data[p + size_t(i / 2)] & 15 : Data[p + size_t(i / 2)] >> 4)
                                   : Data[p + size_t(i)];
          Out.Put(x, row, idx);
        }
        p += bytes + (bytes & 1);
        break;
      }
    }
  }
  return true;
}

}  // namespace

void BmpReadStream(TStream* Stream, TIEBitmap* Bitmap, int32_t DataSize, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool ParamsOnly, bool NoFileHeader,
                   std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha) {
  if (Bitmap == nullptr) ParamsOnly = true;
  const int64_t start = Stream->GetPosition();
  const int64_t streamSize = Stream->GetSize();
  uint32_t offBits = 0;
  if (NoFileHeader || Params.FromResource) {
    if (DataSize <= 0) DataSize = int32_t(std::min<int64_t>(streamSize - start, INT32_MAX));
  } else {
    uint8_t fh[14];
    if (Stream->Read(fh, 14) != 14 || fh[0] != 'B' || fh[1] != 'M') {
      Progress.SetAborting();
      return;
    }
    const uint32_t bfSize = Le32(fh + 2);
    if (bfSize > 0 && DataSize <= 0) DataSize = int32_t(std::min<uint32_t>(bfSize, INT32_MAX));
    offBits = Le32(fh + 10);
  }
  // The bitmap's data cannot reach beyond the stream.
  const int64_t dataEnd = DataSize > 0 ? std::min<int64_t>(start + DataSize, streamSize) : streamSize;

  uint8_t hdr[64] = {};
  if (Stream->Read(hdr, 4) != 4) {
    Progress.SetAborting();
    return;
  }
  const uint32_t headerSize = Le32(hdr);
  Params.FreeColorMap();
  int32_t width = 0, height = 0, bitCount = 0;
  uint32_t compression = kRgb, sizeImage = 0, colors = 0;
  bool bottomUp = true, core = false;
  int32_t dpiX = IEDefaultDpiX, dpiY = IEDefaultDpiY;
  std::vector<TRGB> table;
  if (headerSize == 12) {
    core = true;
    if (Stream->Read(hdr + 4, 8) != 8) {
      Progress.SetAborting();
      return;
    }
    Params.BmpHeaderKind = ioBMP_BMOS2V1;
    width = Le16(hdr + 4);
    height = Le16(hdr + 6);
    bitCount = Le16(hdr + 10);
    if (bitCount <= 8) colors = 1u << bitCount;
  } else {
    // Headers between 16 and 64 bytes (OS/2 2.x may be cut short) and the
    // longer Windows ones; anything else is not a bitmap header.
    if (headerSize < 16 || headerSize > 4096) {
      Progress.SetAborting();
      return;
    }
    const uint32_t keep = std::min<uint32_t>(64, headerSize);
    if (Stream->Read(hdr + 4, keep - 4) != int64_t(keep - 4)) {
      Progress.SetAborting();
      return;
    }
    if (headerSize > 64) Stream->Seek(headerSize - 64, soCurrent);
    Params.BmpHeaderKind = headerSize == 64 ? ioBMP_BMOS2V2 : (headerSize == 40 ? ioBMP_BM3 : ioBMP_BM);
    width = int32_t(Le32(hdr + 4));
    height = int32_t(Le32(hdr + 8));
    bitCount = Le16(hdr + 14);
    compression = Le32(hdr + 16);
    sizeImage = Le32(hdr + 20);
    const int32_t ppmX = int32_t(Le32(hdr + 24)), ppmY = int32_t(Le32(hdr + 28));
    if (ppmX > 0) dpiX = IERound(ppmX / 100.0 * 2.54);
    if (ppmY > 0) dpiY = IERound(ppmY / 100.0 * 2.54);
    if (dpiX <= 0) dpiX = IEDefaultDpiX;
    if (dpiY <= 0) dpiY = IEDefaultDpiY;
    colors = Le32(hdr + 32);
    if (colors > 256) colors = 0;
    if (colors == 0 && bitCount <= 8) colors = 1u << bitCount;
    if (height < 0) {
      if (height == INT32_MIN) {
        Progress.SetAborting();
        return;
      }
      bottomUp = false;
      height = -height;
    }
  }
  // Negative widths have no meaning.
  if (width < 0) {
    Progress.SetAborting();
    return;
  }
  if (colors > 0) {
    const int32_t entry = core ? 3 : 4;
    std::vector<uint8_t> raw(size_t(colors) * size_t(entry));
    if (Stream->Read(raw.data(), int64_t(raw.size())) != int64_t(raw.size())) {
      Progress.SetAborting();
      return;
    }
    table.resize(colors);
    for (uint32_t i = 0; i < colors; ++i)
      table[i] = TRGB{raw[i * size_t(entry)], raw[i * size_t(entry) + 1], raw[i * size_t(entry) + 2]};
  }
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};
  if (bitCount == 32) {
    masks[0] = 0xFF0000;
    masks[1] = 0xFF00;
    masks[2] = 0xFF;
  }
  if (compression == kBitFields) {
    if (headerSize >= 52) {
      for (int32_t i = 0; i < 3; ++i) masks[i] = Le32(hdr + 40 + 4 * i);
    } else {
      uint8_t m[12];
      if (Stream->Read(m, 12) != 12) {
        Progress.SetAborting();
        return;
      }
      for (int32_t i = 0; i < 3; ++i) masks[i] = Le32(m + 4 * i);
    }
  }
  if (!table.empty()) {
    Params.ColorMap.reset(new TRGB[table.size()]);
    std::copy(table.begin(), table.end(), Params.ColorMap.get());
    Params.ColorMapCount = int32_t(table.size());
  }
  Params.SetImageCount(1);
  Params.BmpCompression = (compression == kRle8 || compression == kRle4) ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
  Params.Width = Params.StoredWidth = width;
  Params.Height = Params.StoredHeight = height;
  Params.SetDpiX(dpiX);
  Params.SetDpiY(dpiY);
  switch (bitCount) {
    case 1:
      Params.BitsPerSample = 1;
      Params.SamplesPerPixel = 1;
      break;
    case 4:
      Params.BitsPerSample = 4;
      Params.SamplesPerPixel = 1;
      break;
    case 8:
      Params.BitsPerSample = 8;
      Params.SamplesPerPixel = 1;
      break;
    case 16:
      Params.BitsPerSample = 5;
      Params.SamplesPerPixel = 3;
      break;
    case 24:
      Params.BitsPerSample = 8;
      Params.SamplesPerPixel = 3;
      break;
    case 32:
      Params.BitsPerSample = 8;
      Params.SamplesPerPixel = 4;
      break;
    default:
      break;
  }
  if (ParamsOnly) return;

  // Only the combinations that have a decoder are read.
  const bool supported =
      (bitCount == 1 && compression == kRgb) ||
      (bitCount == 4 && (compression == kRgb || compression == kRle4)) ||
      (bitCount == 8 && (compression == kRgb || compression == kRle8)) ||
      ((bitCount == 16 || bitCount == 32) && (compression == kRgb || compression == kBitFields)) ||
      (bitCount == 24 && compression == kRgb);
  if (!supported || width == 0 || height == 0) {
    Progress.SetAborting();
    return;
  }
  if (offBits != 0) {
    if (start + int64_t(offBits) > dataEnd) {
      Progress.SetAborting();
      return;
    }
    Stream->Seek(start + offBits, soBeginning);
  }
  const int64_t available = dataEnd - Stream->GetPosition();
  const int64_t rowLen = (int64_t(width) * bitCount + 31) / 32 * 4;
  const bool rle = compression == kRle4 || compression == kRle8;
  std::vector<uint8_t> rleData;
  if (rle) {
    // The image size is trusted only as far as the data reach. Two bytes of
    // codes place at most 255 pixels; rows ended early and deltas leave the
    // rest at 0, so a sparse image may declare more pixels than its codes
    // place, but not without bound: beyond 4096 pixels per byte of codes the
    // declared size is refused before the bitmap is allocated and filled.
    int64_t size = sizeImage > 0 ? std::min<int64_t>(sizeImage, available) : available;
    if (size <= 0 || int64_t(width) * height > (size + 1) * kRlePixelsPerByte) {
      Progress.SetAborting();
      return;
    }
    rleData.resize(size_t(size));
    if (Stream->Read(rleData.data(), size) != size) {
      Progress.SetAborting();
      return;
    }
  } else {
    // The last row may lack its padding; anything shorter is refused before
    // the bitmap is allocated. Divided rather than multiplied out, as the
    // declared rows of two 31-bit sizes overflow 64 bits.
    const int64_t lastRow = (int64_t(width) * bitCount + 7) / 8;
    if (available < lastRow || (height > 1 && (available - lastRow) / (height - 1) < rowLen)) {
      Progress.SetAborting();
      return;
    }
  }

  std::array<TRGB, 256> map{};
  for (size_t i = 0; i < table.size() && i < 256; ++i) map[i] = table[i];
  const bool blackWhite = table.size() == 2 && map[0] == TRGB{0, 0, 0} && map[1] == TRGB{255, 255, 255};
  const bool whiteBlack = table.size() == 2 && map[0] == TRGB{255, 255, 255} && map[1] == TRGB{0, 0, 0};
  const bool native = Params.NativePixelFormat && bitCount <= 8;
  TIEPixelFormat format = ie24RGB;
  if (bitCount == 1 && (blackWhite || whiteBlack))
    format = ie1g;
  else if (native)
    format = ie8p;
  if (!Bitmap->Allocate(width, height, format)) {
    Progress.SetAborting();
    return;
  }
  if (format == ie8p) {
    for (int32_t i = 0; i < 256; ++i) Bitmap->SetPaletteColor(i, map[size_t(i)]);
  }
  const double factor = 100.0 / height;
  int32_t lastPercent = -1;

  if (rle) {
    // Pixels that deltas and early line ends skip stay at index 0 (black),
    // which is all zero bytes in both the palette and the colour layout.
    const size_t rowBytes = size_t(Bitmap->GetRowLen());
    for (int32_t y = 0; y < height; ++y) std::memset(Bitmap->GetScanline(y), 0, rowBytes);
    TRlePlacer out(Bitmap, format == ie8p, map, width, height, bottomUp);
    if (!DecodeRle(rleData, compression == kRle4, out, width, height, Progress)) Progress.SetAborting();
    return;
  }

  TIEMask* mask = nullptr;
  if (bitCount == 32 && !IgnoreAlpha) {
    if (!AlphaMask) AlphaMask = std::make_unique<TIEMask>();
    AlphaMask->AllocateBits(width, height, 8);
    AlphaMask->Fill(255);
    mask = AlphaMask.get();
  }
  bool anyAlpha = false;
  const TBitField red(masks[0]), green(masks[1]), blue(masks[2]);
  std::vector<uint8_t> row(static_cast<size_t>(rowLen));
  for (int32_t fileRow = 0; fileRow < height; ++fileRow) {
    const int32_t y = bottomUp ? height - 1 - fileRow : fileRow;
    const int32_t percent = int32_t(fileRow * factor);
    if (percent != lastPercent) {
      Progress.Report(percent);
      lastPercent = percent;
    }
    if (Progress.IsAborting()) return;
    const int64_t got = Stream->Read(row.data(), rowLen);
    if (got < (int64_t(width) * bitCount + 7) / 8) {
      Progress.SetAborting();
      return;
    }
    uint8_t* dst = Bitmap->GetScanline(y);
    TRGB* px = reinterpret_cast<TRGB*>(dst);
    switch (bitCount) {
      case 1:
        if (format == ie1g) {
          const size_t n = size_t(width + 7) / 8;
          for (size_t i = 0; i < n; ++i) dst[i] = whiteBlack ? uint8_t(~row[i]) : row[i];
        } else {
          for (int32_t x = 0; x < width; ++x) {
            const uint8_t idx = (row[size_t(x >> 3)] >> (7 - (x & 7))) & 1;
            if (format == ie8p)
              dst[x] = idx;
            else
              px[x] = map[idx];
          }
        }
        break;
      case 4:
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t idx = (x & 1) ? row[size_t(x >> 1)] & 15 : row[size_t(x >> 1)] >> 4;
          if (format == ie8p)
            dst[x] = idx;
          else
            px[x] = map[idx];
        }
        break;
      case 8:
        for (int32_t x = 0; x < width; ++x) {
          if (format == ie8p)
            dst[x] = row[size_t(x)];
          else
            px[x] = map[row[size_t(x)]];
        }
        break;
      case 16:
        for (int32_t x = 0; x < width; ++x) {
          const uint32_t v = Le16(&row[size_t(x) * 2]);
          px[x] = TRGB{blue.Get(v), green.Get(v), red.Get(v)};
        }
        break;
      case 24:
        std::memcpy(dst, row.data(), size_t(width) * 3);
        break;
      case 32:
        for (int32_t x = 0; x < width; ++x) {
          const uint8_t* s = &row[size_t(x) * 4];
          if (compression == kBitFields) {
            const uint32_t v = Le32(s);
            px[x] = TRGB{blue.Get(v), green.Get(v), red.Get(v)};
          } else {
            px[x] = TRGB{s[0], s[1], s[2]};
          }
          if (mask) {
            mask->GetScanline(y)[x] = s[3];
            if (s[3] != 0) anyAlpha = true;
          }
        }
        break;
    }
  }
  if (mask) {
    mask->UpdateFullFlag();
    if (!anyAlpha || mask->GetFull()) AlphaMask.reset();
  }
  Progress.Report(100);
}

bool IETryBmp(TStream* Stream) {
  try {
    const int64_t pos = Stream->GetPosition();
    uint8_t sig[2] = {};
    const int64_t got = Stream->Read(sig, 2);
    Stream->Seek(pos, soBeginning);
    return got == 2 && sig[0] == 'B' && sig[1] == 'M';
  } catch (...) {
    return false;
  }
}

void IEReadBmpStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  std::unique_ptr<TIEMask> mask;
  BmpReadStream(Stream, Bitmap, 0, Params, Progress, ParamsOnly, false, mask, !Params.BmpAlphaChannel);
  if (Bitmap && !ParamsOnly && !Progress.IsAborting()) {
    if (mask)
      Bitmap->GetAlphaChannel()->CopyFromTIEMask(mask.get());
    else if (Bitmap->HasAlphaChannel())
      Bitmap->RemoveAlphaChannel();
  }
}
