#include "formats/tiff/tiff_strips.h"
#include "formats/tiff/tiff_tags.h"

#include <atomic>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/bit_helpers.h"
#include "foundations/icc_profile.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/ie_streams.h"
#include "formats/fax/ccitt_fax.h"
#include "formats/io_params.h"
#include "formats/jpeg/jpeg_codec.h"
#include "foundations/progress.h"
#include "formats/row_colour_converter.h"
#include "formats/tiff/tiff_lzw.h"
#include "platform/rtl/streams.h"

#if defined(__x86_64__) || defined(__i386__)
#include <tmmintrin.h>
#define FOLIO_TIFF_SSSE3_ROWS 1
#endif

namespace {

#ifdef FOLIO_TIFF_SSSE3_ROWS
bool HasSsse3() {
  static const bool has = __builtin_cpu_supports("ssse3");
  return has;
}

// Stores 8-bit RGB pixels of S as blue, green, red into D, five pixels per
// step, undoing the horizontal predictor when Predict is set: the running
// sums of a step come from three shifted additions, and the step's last
// pixel carries into the next.  Every step reads and writes 16 bytes (one
// past its five pixels), so the last one to five pixels are left to the
// caller: answers the pixels done, with Sums set to the running sums (red,
// green, blue) after them.
__attribute__((target("ssse3"))) int32_t StoreRgb8Ssse3(const uint8_t* S, uint8_t* D, int32_t Count,
                                                        bool Predict, uint8_t* Sums) {
  const __m128i swap = _mm_setr_epi8(2, 1, 0, 5, 4, 3, 8, 7, 6, 11, 10, 9, 14, 13, 12, 15);
  const __m128i last = _mm_setr_epi8(12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 12, 13, 14, 15);
  __m128i carry = _mm_setzero_si128();
  int32_t i = 0;
  if (Predict) {
    for (; i + 6 <= Count; i += 5) {
      __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + int64_t(i) * 3));
      v = _mm_add_epi8(v, _mm_slli_si128(v, 3));
      v = _mm_add_epi8(v, _mm_slli_si128(v, 6));
      v = _mm_add_epi8(v, _mm_slli_si128(v, 12));
      v = _mm_add_epi8(v, carry);
      carry = _mm_shuffle_epi8(v, last);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(D + int64_t(i) * 3), _mm_shuffle_epi8(v, swap));
    }
  } else {
    for (; i + 6 <= Count; i += 5) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(S + int64_t(i) * 3));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(D + int64_t(i) * 3), _mm_shuffle_epi8(v, swap));
    }
  }
  const uint32_t sums = uint32_t(_mm_cvtsi128_si32(carry));
  Sums[0] = uint8_t(sums);
  Sums[1] = uint8_t(sums >> 8);
  Sums[2] = uint8_t(sums >> 16);
  return i;
}
#endif

bool IsCcitt(int32_t Compression) {
  return Compression >= TiffCompression::CcittRle && Compression <= TiffCompression::CcittT6;
}
bool IsDeflate(int32_t Compression) {
  return Compression == TiffCompression::AdobeDeflate || Compression == TiffCompression::Deflate;
}

// Inflates as much of a zlib stream as it holds, at most OutSize bytes; a
// damaged or cut stream keeps what came out before the damage.
std::vector<uint8_t> InflatePartial(const uint8_t* Data, int64_t Size, int64_t OutSize) {
  std::vector<uint8_t> out;
  if (Size <= 0 || OutSize <= 0) return out;
  out.resize(size_t(OutSize));
  z_stream z{};
  if (inflateInit(&z) != Z_OK) return {};
  int64_t inDone = 0, outDone = 0;
  for (;;) {
    const uInt inChunk = uInt(std::min<int64_t>(Size - inDone, 1 << 30));
    const uInt outChunk = uInt(std::min<int64_t>(OutSize - outDone, 1 << 30));
    z.next_in = const_cast<Bytef*>(Data + inDone);
    z.avail_in = inChunk;
    z.next_out = out.data() + outDone;
    z.avail_out = outChunk;
    const int r = inflate(&z, Z_NO_FLUSH);
    inDone += inChunk - z.avail_in;
    outDone += outChunk - z.avail_out;
    if (r != Z_OK || outDone >= OutSize || (inDone >= Size && z.avail_out != 0)) break;
  }
  inflateEnd(&z);
  out.resize(size_t(outDone));
  return out;
}

// Decompresses the rows of one strip, tile or plane, one after another.
class TRowSource {
 public:
  TRowSource(TTIFFVars& Vars, const uint8_t* Data, int64_t DataLength, int32_t Width,
             int32_t RowCount, int64_t RowLength)
      : FVars(Vars), FData(Data), FDataLength(DataLength), FWidth(Width), FRowCount(RowCount),
        FRowLength(RowLength) {
    if (IsCcitt(Vars.Compression))
      FRefLine.assign(size_t((int64_t(Width) + 7) / 8) + 8, 0xFF);
    // Fill order 2 reverses the bits of the coded bytes of every codec that
    // does not handle it itself, whatever the sample size (16-bit and wider
    // samples have every byte reversed, as the coded bytes are).
    if (Vars.FillOrder == TiffFillOrder::Lsb2Msb &&
        (IsDeflate(Vars.Compression) || Vars.Compression == TiffCompression::PackBits ||
         Vars.Compression == TiffCompression::None)) {
      FReversed.assign(Data, Data + DataLength);
      IEReverseBitOrderBuffer(FReversed.data(), DataLength);
      FData = FReversed.data();
    }
  }
  ~TRowSource() {
    if (FLzwState) FLzw(nullptr, 0, int32_t(FRowLength), FLzwState, FVars.FillOrder);
  }
  TRowSource(const TRowSource&) = delete;
  TRowSource& operator=(const TRowSource&) = delete;

  void SetLzw(TTiffLzwDecoder Lzw) { FLzw = Lzw; }

  // The library's own LZW decoder has used up its data: further rows would
  // only be zeros (another decoder installed through the hook cannot tell).
  bool LzwRanOut() const {
    return FVars.Compression == TiffCompression::Lzw && FLzw == TiffLzwDecode && FLzwState &&
           TiffLzwDecodeFinished(FLzwState);
  }

  // True when the data is used up (no further row can come from it).
  bool Exhausted() const {
    if (IsCcitt(FVars.Compression)) {
      if (FVars.Compression == TiffCompression::CcittRle) return FConsumed >= FDataLength;
      return int64_t(FBitPos) >= FDataLength * 8;
    }
    if (FVars.Compression == TiffCompression::None || FVars.Compression == TiffCompression::PackBits)
      return FConsumed >= FDataLength;
    return false;
  }

  // Decodes row Index (rows come in order) into Row (RowLength bytes).  False
  // when the row cannot be decoded (corrupt LZW data, no data left).
  bool Next(int32_t Index, uint8_t* Row) {
    const uint8_t* p = Fetch(Index, Row);
    if (!p) return false;
    if (p != Row) std::memcpy(Row, p, size_t(FRowLength));
    return true;
  }

  // Decodes row Index like Next, but answers where its RowLength bytes are:
  // Row, or a buffer the source holds (the LZW decoder's output, the inflated
  // strip, the strip's own bytes: read only, valid until the next call),
  // which saves a copy of every row.  Null when Next would fail.
  const uint8_t* Fetch(int32_t Index, uint8_t* Row) {
    const int32_t len32 = int32_t(std::min<int64_t>(FDataLength, INT32_MAX));
    switch (FVars.Compression) {
      case TiffCompression::None: {
        if (FConsumed >= FDataLength) return nullptr;
        const int64_t n = std::min(FRowLength, FDataLength - FConsumed);
        if (n == FRowLength) {
          FConsumed += FRowLength;
          return FData + FConsumed - FRowLength;
        }
        std::memcpy(Row, FData + FConsumed, size_t(n));
        if (n < FRowLength) std::memset(Row + n, 0, size_t(FRowLength - n));
        FConsumed += FRowLength;
        return Row;
      }
      case TiffCompression::CcittRle: {
        if (FConsumed >= FDataLength) return nullptr;
        const int32_t rest = int32_t(std::min<int64_t>(FDataLength - FConsumed, INT32_MAX));
        FConsumed += CcittDecodeMhRow(Row, FData + FConsumed, rest, FVars.FillOrder, FWidth);
        return Row;
      }
      case TiffCompression::CcittT4:
        if (int64_t(FBitPos) >= int64_t(len32) * 8) return nullptr;
        if ((FVars.T4Options & 1) == 0)
          FBitPos = CcittDecode1DLine(Row, FData, len32, FVars.FillOrder, FBitPos, FWidth);
        else
          FBitPos = CcittDecode2DLine(Row, FData, len32, true, FVars.FillOrder, FBitPos,
                                      FRefLine.data(), FWidth, &FCcittState);
        return Row;
      case TiffCompression::CcittT6:
        if (int64_t(FBitPos) >= int64_t(len32) * 8) return nullptr;
        FBitPos = CcittDecode2DLine(Row, FData, len32, (FVars.T4Options & 4) != 0, FVars.FillOrder,
                                    FBitPos, FRefLine.data(), FWidth, &FCcittState);
        return Row;
      case TiffCompression::Lzw: {
        if (!FLzw) return nullptr;
        return FLzw(FData, FDataLength, int32_t(FRowLength), FLzwState, FVars.FillOrder);
      }
      case TiffCompression::AdobeDeflate:
      case TiffCompression::Deflate: {
        if (!FInflatedDone) {
          FInflatedDone = true;
          FInflated = InflatePartial(FData, FDataLength, FRowLength * FRowCount);
        }
        const int64_t at = int64_t(Index) * FRowLength;
        if (at + FRowLength > int64_t(FInflated.size())) return nullptr;
        return FInflated.data() + at;
      }
      case TiffCompression::PackBits: {
        if (FConsumed >= FDataLength) return nullptr;
        int64_t out = 0;
        while (out < FRowLength && FConsumed < FDataLength) {
          const int8_t n = int8_t(FData[FConsumed++]);
          if (n >= 0) {
            const int64_t count = int64_t(n) + 1;
            const int64_t avail = std::min(count, FDataLength - FConsumed);
            const int64_t keep = std::min(avail, FRowLength - out);
            std::memcpy(Row + out, FData + FConsumed, size_t(keep));
            out += keep;
            FConsumed += avail;
          } else if (n != -128) {
            if (FConsumed >= FDataLength) break;
            const uint8_t v = FData[FConsumed++];
            const int64_t keep = std::min<int64_t>(1 - int64_t(n), FRowLength - out);
            std::memset(Row + out, v, size_t(keep));
            out += keep;
          }
        }
        if (out < FRowLength) std::memset(Row + out, 0, size_t(FRowLength - out));
        return Row;
      }
      default:
        return nullptr;
    }
  }

 private:
  TTIFFVars& FVars;
  const uint8_t* FData;
  int64_t FDataLength;
  int32_t FWidth;
  int32_t FRowCount;
  int64_t FRowLength;
  int64_t FConsumed = 0;
  int32_t FBitPos = 0;
  std::vector<uint8_t> FRefLine;
  TCcittDecodeState FCcittState;  // the reference line's changes, line to line
  std::vector<uint8_t> FReversed;
  std::vector<uint8_t> FInflated;
  bool FInflatedDone = false;
  TTiffLzwDecoder FLzw = nullptr;
  void* FLzwState = nullptr;
};

TTiffLzwDecoder LzwOf(const TTIFFVars& Vars) {
  if (Vars.LzwDecoder) return Vars.LzwDecoder;
  if (TiffLzwDecodeHook) return TiffLzwDecodeHook;
  return TiffLzwDecode;
}

// Bytes per pixel of the bitmap formats rows are written into (0: ie1g).
int32_t BytesPerPixel(TIEPixelFormat F) {
  switch (F) {
    case ie8g:
    case ie8p:
      return 1;
    case ie16g:
      return 2;
    case ie24RGB:
      return 3;
    case ieCMYK:
      return 4;
    case ieRGB48:
      return 6;
    default:
      return 0;
  }
}

bool FormatWritable(TIEPixelFormat F) { return F == ie1g || BytesPerPixel(F) > 0; }

// Widens packed samples of fewer than 8 bits into one byte each, in place
// from the end (Row must hold Count bytes).
void UnpackSamples(uint8_t* Row, int64_t Count, int32_t Bits) {
  const uint32_t mask = (1u << Bits) - 1;
  for (int64_t i = Count - 1; i >= 0; --i) {
    const int64_t bit = i * Bits;
    const int64_t byte = bit >> 3;
    const int32_t shift = 16 - Bits - int32_t(bit & 7);
    const uint32_t word = (uint32_t(Row[byte]) << 8) | (byte + 1 < (bit + Bits + 7) / 8 ? Row[byte + 1] : 0);
    Row[i] = uint8_t((word >> shift) & mask);
  }
}

// Scales levels of Bits bits to 0..255, rounding to nearest.
void ScaleLevels(uint8_t* Row, int64_t Count, int32_t Bits) {
  const uint32_t max = (1u << Bits) - 1;
  for (int64_t i = 0; i < Count; ++i) Row[i] = uint8_t((Row[i] * 255u + max / 2) / max);
}

void CopyBits(uint8_t* Dst, int64_t DstX, const uint8_t* Src, int64_t Count) {
  if ((DstX & 7) == 0) {
    const int64_t whole = Count >> 3;
    std::memcpy(Dst + (DstX >> 3), Src, size_t(whole));
    for (int64_t i = whole * 8; i < Count; ++i) IESetBit(Dst, DstX + i, IEGetBit(Src, i));
    return;
  }
  for (int64_t i = 0; i < Count; ++i) IESetBit(Dst, DstX + i, IEGetBit(Src, i));
}

// Converts decoded rows into the bitmap's format and writes them.
class TRowWriter {
 public:
  TRowWriter(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t Width)
      : FVars(Vars), FBitmap(Bitmap), FWidth(Width), FFormat(Bitmap->GetPixelFormat()) {
    const int32_t bpp = BytesPerPixel(FFormat);
    FPixels.assign(size_t(bpp ? int64_t(Width) * bpp : (int64_t(Width) + 7) / 8) + 16, 0);
    FWork.assign(size_t(int64_t(Width) * 8) + 16, 0);
    FAlpha.assign(size_t(Width) + 16, 255);
    FMask = Vars.IgnoreAlpha ? nullptr : Vars.AlphaMask;
    if (FMask && (FMask->GetWidth() <= 0 || FMask->GetBitsPerPixel() != 8)) FMask = nullptr;
  }

  bool Supported() const { return TiffLayoutSupported(FVars, FFormat); }

  // Rows the writer stores are not filled beforehand: every byte of a stored
  // row beyond its pixels (the row's padding, the last bits of a 1-bit row)
  // is set to Fill, as a page filled with Fill before decoding would hold.
  void SetFill(uint8_t Fill) {
    FFill = Fill;
    FFillRows = true;
  }

  // Chunky 8-bit RGB into the 24-bit bitmap through the plain colour
  // formulas: rows can be stored in one pass (see WriteRgb8).
  bool PlainRgb8() const {
    const TTIFFVars& v = FVars;
    return v.Photometric == TiffPhotometric::Rgb && v.SamplesPerPixel == 3 && v.BitsPerSample == 8 &&
           FFormat == ie24RGB && IEColorConvertIsPlain(v.Params);
  }

  // Stores a row of 8-bit RGB samples S (read only) at bitmap row Y from
  // column X as blue, green, red, undoing the horizontal predictor on the way
  // when Predict is set: the one pass over the row that the separate
  // predictor, conversion and copy would take three for.
  void WriteRgb8(const uint8_t* S, int32_t Y, int32_t X, bool Predict) {
    if (Y < 0 || Y >= FBitmap->GetHeight() || X >= FBitmap->GetWidth()) return;
    const int32_t count = std::min(FWidth, FBitmap->GetWidth() - X);
    if (count <= 0) return;
    uint8_t* row = FBitmap->GetScanline(Y);
    uint8_t* d = row + int64_t(X) * 3;
    int32_t i = 0;
    uint8_t sums[3] = {0, 0, 0};
#ifdef FOLIO_TIFF_SSSE3_ROWS
    if (HasSsse3()) {
      i = StoreRgb8Ssse3(S, d, count, Predict, sums);
      S += int64_t(i) * 3;
      d += int64_t(i) * 3;
    }
#endif
    if (Predict) {
      // The running sums stay in whole registers, one per sample.
      uint32_t r = sums[0], g = sums[1], b = sums[2];
      for (; i < count; ++i, S += 3, d += 3) {
        r += S[0];
        g += S[1];
        b += S[2];
        d[0] = uint8_t(b);
        d[1] = uint8_t(g);
        d[2] = uint8_t(r);
      }
    } else {
      for (; i < count; ++i, S += 3, d += 3) {
        const uint8_t r = S[0], g = S[1], b = S[2];
        d[0] = b;
        d[1] = g;
        d[2] = r;
      }
    }
    if (FFillRows) FillTail(row, X, count);
  }

 private:
  void PutAlpha(int32_t I, uint8_t A) {
    FAlpha[size_t(I)] = A;
    FHasAlpha = true;
  }

 public:
  // Converts one decoded row S (samples widened to whole bytes, 16-bit in host
  // order) and writes it at bitmap row Y from pixel column X.
  void Write(uint8_t* S, int32_t Y, int32_t X) {
    if (Y < 0 || Y >= FBitmap->GetHeight() || X >= FBitmap->GetWidth()) return;
    FHasAlpha = false;
    const int32_t count = std::min(FWidth, FBitmap->GetWidth() - X);
    if (count <= 0) return;
    uint8_t* row = FBitmap->GetScanline(Y);
    if (X == 0 && count == FWidth) {
      // A whole row is converted straight into the bitmap.  A 1-bit row's
      // last byte keeps its bits past the page's width.
      const int32_t rest = count & 7;
      const uint8_t keep = FFillRows ? FFill : (FFormat == ie1g && rest ? row[count >> 3] : 0);
      Convert(S, row);
      if (FFormat == ie1g && rest) {
        const uint8_t mask = uint8_t(0xFF00 >> rest);
        row[count >> 3] = uint8_t((row[count >> 3] & mask) | (keep & ~mask));
      }
    } else {
      Convert(S, FPixels.data());
      if (FFormat == ie1g)
        CopyBits(row, X, FPixels.data(), count);
      else {
        const int32_t bpp = BytesPerPixel(FFormat);
        std::memcpy(row + int64_t(X) * bpp, FPixels.data(), size_t(int64_t(count) * bpp));
      }
    }
    if (FFillRows) FillTail(row, X, count);
    if (FHasAlpha && FMask && Y < FMask->GetHeight()) {
      FMask->SetFull(false);
      uint8_t* arow = FMask->GetScanline(Y);
      const int32_t n = std::min(count, FMask->GetWidth() - X);
      if (arow && n > 0) std::memcpy(arow + X, FAlpha.data(), size_t(n));
    }
  }

  // Pixels of Colours colour samples (1 gray, 3 RGB) followed by extra
  // samples, 8 or 16 bits each: the colours into the 24-bit row, the first
  // alpha sample into the mask.  ExtraSamples types: 1 associated alpha
  // (colours premultiplied: divided back), 2 unassociated alpha; a second
  // gray sample or a fourth RGB sample without a type counts as
  // unassociated alpha.
  void ConvertWithExtras(const uint8_t* S, uint8_t* D, int32_t Colours, bool ZeroIsWhite) {
    const TTIFFVars& v = FVars;
    const int32_t spp = v.SamplesPerPixel, w = FWidth;
    const bool wide = v.BitsPerSample == 16;
    auto* rgb = reinterpret_cast<TRGB*>(D);
    // The alpha sample and its kind, once for the page.
    int32_t alphaAt = -1, kind = 0;
    for (int32_t e = 0; e < spp - Colours; ++e) {
      const int32_t type = e < v.ExtraSamplesCount ? v.ExtraSamplesValues[e] : 0;
      const int32_t k = (type == 0 && e == 0 && spp == Colours + 1) ? 2 : type;
      if (k == 1 || k == 2) {
        alphaAt = Colours + e;
        kind = k;
        break;
      }
    }
    auto sample = [&](int64_t Pixel, int32_t Index) -> uint8_t {
      const int64_t at = Pixel * spp + Index;
      if (!wide) return S[at];
      uint16_t val;
      std::memcpy(&val, S + at * 2, 2);
      return uint8_t(val >> 8);
    };
    for (int32_t i = 0; i < w; ++i) {
      uint8_t c[3];
      for (int32_t k = 0; k < 3; ++k) c[k] = sample(i, Colours == 1 ? 0 : k);
      if (alphaAt >= 0) {
        const uint8_t a = sample(i, alphaAt);
        if (kind == 1) {
          // Premultiplied colours: divide by alpha, never above 255.
          for (uint8_t& x : c) {
            if (a == 0)
              x = 0;
            else if (a < 255)
              x = uint8_t(std::min<uint32_t>(255, (uint32_t(x) * 255 + a / 2) / a));
          }
        }
        if (FMask) PutAlpha(i, a);
      }
      if (ZeroIsWhite)
        for (uint8_t& x : c) x = uint8_t(255 - x);
      rgb[i].r = c[0];
      rgb[i].g = c[1];
      rgb[i].b = c[2];
    }
  }

  // Converts the row S into D (the bitmap's format, FWidth pixels).
  void Convert(uint8_t* S, uint8_t* D) {
    const TTIFFVars& v = FVars;
    const int32_t spp = v.SamplesPerPixel, bps = v.BitsPerSample, w = FWidth;
    uint8_t* d = D;
    auto* rgb = reinterpret_cast<TRGB*>(d);
    const bool alpha = FMask != nullptr;
    switch (v.Photometric) {
      case TiffPhotometric::MinIsWhite:
      case TiffPhotometric::MinIsBlack: {
        const bool zeroIsWhite = v.Photometric == TiffPhotometric::MinIsWhite;
        if (spp == 1 && bps == 1) {
          const int64_t n = (int64_t(w) + 7) / 8;
          // Fax rows come out with 1 = white run; raw samples are 1 = sample
          // value 1.  Either way the photometric value says what white is.
          const bool invert = IsCcitt(v.Compression) ? !zeroIsWhite : zeroIsWhite;
          if (invert)
            for (int64_t i = 0; i < n; ++i) d[i] = uint8_t(~S[i]);
          else
            std::memcpy(d, S, size_t(n));
          return;
        }
        if (spp == 1 && bps <= 8) {
          for (int32_t i = 0; i < w; ++i) {
            const uint8_t g = zeroIsWhite ? uint8_t(255 - S[i]) : S[i];
            if (FFormat == ie8g)
              d[i] = g;
            else
              rgb[i].r = rgb[i].g = rgb[i].b = g;
          }
          return;
        }
        if (spp == 1 && bps == 16) {
          const int32_t shift = v.TwelveBitSoftware ? 4 : 8;
          for (int32_t i = 0; i < w; ++i) {
            uint16_t val;
            std::memcpy(&val, S + 2 * i, 2);
            if (zeroIsWhite) val = uint16_t(65535 - val);
            if (FFormat == ie16g)
              std::memcpy(d + 2 * i, &val, 2);
            else {
              const uint32_t g = std::min<uint32_t>(255, uint32_t(val) >> shift);
              rgb[i].r = rgb[i].g = rgb[i].b = uint8_t(g);
            }
          }
          return;
        }
        // Gray with extra samples (8 or 16 bits): picture and alpha.
        ConvertWithExtras(S, d, 1, zeroIsWhite);
        return;
      }
      case TiffPhotometric::Rgb: {
        if (bps == 8 && spp == 3) {
          IEColorConvertRow(S, ieiccRGB, d, ieiccBGR, w, v.Params);
          return;
        }
        if (bps == 16 && spp == 3) {
          for (int32_t i = 0; i < w; ++i) {
            uint16_t c[3];
            std::memcpy(c, S + int64_t(i) * spp * 2, 6);
            if (FFormat == ieRGB48)
              std::memcpy(d + int64_t(i) * 6, c, 6);
            else {
              rgb[i].r = uint8_t(c[0] >> 8);
              rgb[i].g = uint8_t(c[1] >> 8);
              rgb[i].b = uint8_t(c[2] >> 8);
            }
          }
          return;
        }
        if ((bps == 8 || bps == 16) && spp > 3 && FFormat != ieRGB48) {
          // RGB with extra samples: picture and alpha.
          ConvertWithExtras(S, d, 3, false);
          return;
        }
        if (bps == 16 && spp > 3) {
          for (int32_t i = 0; i < w; ++i) std::memcpy(d + int64_t(i) * 6, S + int64_t(i) * spp * 2, 6);
          return;
        }
        // 15-bit colour in one 16-bit sample.
        for (int32_t i = 0; i < w; ++i) {
          uint16_t val;
          std::memcpy(&val, S + 2 * i, 2);
          rgb[i].r = uint8_t(((val >> 10) & 31) * 8);
          rgb[i].g = uint8_t(((val >> 5) & 31) * 8);
          rgb[i].b = uint8_t((val & 31) * 8);
        }
        return;
      }
      case TiffPhotometric::Palette: {
        const int32_t n = v.ColorMapCount;
        auto entry = [&](uint8_t idx) {
          TRGB c;
          if (idx < n) std::memcpy(&c, v.ColorMap.data() + size_t(idx) * 3, 3);
          return c;
        };
        if (spp == 1) {
          for (int32_t i = 0; i < w; ++i) {
            if (FFormat == ie8p)
              d[i] = S[i];
            else
              rgb[i] = entry(S[i]);
          }
          return;
        }
        for (int32_t i = 0; i < w; ++i) {
          rgb[i] = entry(S[int64_t(i) * spp]);
          if (alpha) PutAlpha(i, S[int64_t(i) * spp + 1]);
        }
        return;
      }
      case TiffPhotometric::Separated: {
        uint8_t* cmyk = FFormat == ieCMYK ? d : FWork.data();
        for (int32_t i = 0; i < w; ++i) {
          if (bps == 8) {
            const uint8_t* p = S + int64_t(i) * spp;
            for (int c = 0; c < 4; ++c) cmyk[i * 4 + c] = uint8_t(255 - p[c]);
            if (spp >= 5 && alpha && (v.ExtraSamples == 2 || v.ExtraSamples == 1)) PutAlpha(i, p[4]);
          } else {
            for (int c = 0; c < 4; ++c) {
              uint16_t val;
              std::memcpy(&val, S + (int64_t(i) * 4 + c) * 2, 2);
              cmyk[i * 4 + c] = uint8_t((val >> 8) ^ 255);
            }
          }
        }
        if (FFormat != ieCMYK) IEColorConvertRow(cmyk, ieiccCMYKInv, d, ieiccBGR, w, v.Params);
        return;
      }
      case TiffPhotometric::CieLab:
        IEColorConvertRow(S, ieiccCIELab, d, ieiccBGR, w, v.Params);
        return;
      case TiffPhotometric::YCbCr: {
        uint8_t* ycc = FWork.data();
        if (v.YCbCrSubsampling[0] == 1) {
          std::memcpy(ycc, S, size_t(w) * 3);
        } else {
          for (int32_t i = 0; i < w; i += 2) {
            const uint8_t* p = S + int64_t(i / 2) * 4;
            ycc[i * 3] = p[0];
            ycc[i * 3 + 1] = p[2];
            ycc[i * 3 + 2] = p[3];
            if (i + 1 < w) {
              ycc[i * 3 + 3] = p[1];
              ycc[i * 3 + 4] = p[2];
              ycc[i * 3 + 5] = p[3];
            }
          }
        }
        IEColorConvertRow(ycc, ieicc3Channel, d, ieiccBGR, w, v.Params);
        return;
      }
      default:
        return;
    }
  }

  // Sets the bytes of a stored row past the Count pixels written from X.
  void FillTail(uint8_t* Row, int32_t X, int32_t Count) {
    const int64_t end = int64_t(X) + Count;
    const int32_t bpp = BytesPerPixel(FFormat);
    const int64_t from = bpp ? end * bpp : (end + 7) / 8;
    const int64_t len = FBitmap->GetRowLen();
    if (from < len) std::memset(Row + from, FFill, size_t(len - from));
  }

  TTIFFVars& FVars;
  TIEBitmap* FBitmap;
  int32_t FWidth;
  TIEPixelFormat FFormat;
  TIEMask* FMask = nullptr;
  uint8_t FFill = 0;
  bool FFillRows = false;
  std::vector<uint8_t> FPixels;
  std::vector<uint8_t> FWork;
  std::vector<uint8_t> FAlpha;
  bool FHasAlpha = false;
};

// After decompression: byte order, predictor, widening and level scaling.
void PrepareRow(const TTIFFVars& Vars, uint8_t* Row, int64_t RowLength, int32_t Width,
                int32_t Samples) {
  const int32_t bps = Vars.BitsPerSample;
  if (bps == 16 && !Vars.LittleEndian) IESwapWords(Row, RowLength / 2);
  if (Vars.Predictor == TiffPredictor::Horizontal &&
      (Vars.Compression == TiffCompression::Lzw || IsDeflate(Vars.Compression)))
    TiffUndoPredictor(Row, Width, Samples, bps);
  if (bps < 8 && !(bps == 1 && Samples == 1 && Vars.Photometric != TiffPhotometric::Palette)) {
    const int64_t count = int64_t(Width) * Samples;
    UnpackSamples(Row, count, bps);
    if (Vars.Photometric <= TiffPhotometric::MinIsBlack) ScaleLevels(Row, count, bps);
  }
}

// Room for a decoded row and for its widened form.
int64_t WorkRowSize(int64_t RowLength, int32_t Width, int32_t Samples) {
  return std::max<int64_t>(RowLength, int64_t(Width) * Samples * 2) + 16;
}

void ReportRow(TIEProgressRec& Progress, int32_t RowsDone, int32_t Height) {
  if (!Progress.fOnProgress || Height <= 0) return;
  const int32_t per = int32_t(int64_t(RowsDone) * 100 / Height);
  if (per != Progress.last) {
    Progress.last = per;
    Progress.Report(per);
  }
}

int64_t Clamp(int64_t Offset, int64_t Count, int64_t Available) {
  if (Offset < 0 || Offset >= Available) return 0;
  return std::min(Count, Available - Offset);
}

// Bytes to read of the strip or tile at Offset whose byte count is Count (0:
// the file gives none): never past the end of the data (Size); without a
// count, up to the start of the next block, so that a page of many blocks
// without counts is not read again and again to the end of the file.
class TBlockExtents {
 public:
  TBlockExtents(const std::vector<uint32_t>& Offsets, int64_t Size) : FOffsets(Offsets), FSize(Size) {}

  int64_t Get(int64_t Offset, int64_t Count) {
    if (Count == 0) {
      if (FSorted.empty()) {
        FSorted = FOffsets;
        std::sort(FSorted.begin(), FSorted.end());
      }
      const auto next = std::upper_bound(FSorted.begin(), FSorted.end(), Offset,
                                         [](int64_t O, uint32_t V) { return O < int64_t(V); });
      Count = (next == FSorted.end() ? FSize : int64_t(*next)) - Offset;
    }
    return Clamp(Offset, Count, FSize);
  }

 private:
  const std::vector<uint32_t>& FOffsets;
  int64_t FSize;
  std::vector<uint32_t> FSorted;
};

// Decodes one JPEG strip or tile (compression 7) into the page at (XPixel,
// FirstRow); rows the data does not hold stay as they were.
void DecodeJpegChunk(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t FirstRow, int32_t XPixel, int32_t Width,
                     int32_t RowCount, const uint8_t* Data, int64_t Length, TIEProgressRec& Progress) {
  TIEMemStream data(const_cast<uint8_t*>(Data), Length);
  std::unique_ptr<TIEMemStream> tables;
  if (!Vars.JpegTables.empty())
    tables = std::make_unique<TIEMemStream>(Vars.JpegTables.data(), int64_t(Vars.JpegTables.size()));
  TIEBitmap work;
  TIOParamsVals params;
  std::atomic<bool> aborting{false};
  TIEProgressRec silent;
  silent.Aborting = &aborting;
  // RGB pages store their components as they are: no YCbCr conversion.
  const bool rgb = Vars.Photometric == TiffPhotometric::Rgb;
  {
    // The JPEG's own header states its size: a strip or tile claiming far
    // more than its block (a few MB of data may claim gigapixels) fails
    // before anything is allocated for it.  Coders pad to whole blocks of
    // up to 16 pixels; more slack than that is allowed.
    constexpr int32_t Slack = 64;
    TIOParamsVals head;
    JpegReadStream(&data, &work, head, silent, {.TablesStream = tables.get(), .ParamsOnly = true, .NoColorConversion = rgb});
    if (aborting || head.Width <= 0 || head.Height <= 0 || head.Width > int64_t(Width) + Slack ||
        head.Height > int64_t(RowCount) + Slack) {
      Progress.SetAborting();
      return;
    }
    data.SetPosition(0);
    if (tables) tables->SetPosition(0);
  }
  const int32_t rows = JpegReadStream(&data, &work, params, silent,
                                      {.TablesStream = tables.get(),
                                       .NoColorConversion = rgb,
                                       .InvertCmyk = Vars.Photometric == TiffPhotometric::Separated});
  if (rows <= 0 || work.GetPixelFormat() != ie24RGB) {
    if (rows <= 0) Progress.SetAborting();
    return;
  }
  const int32_t w = std::min(work.GetWidth(), Bitmap->GetWidth() - XPixel);
  for (int32_t y = 0; y < rows && FirstRow + y < Bitmap->GetHeight(); ++y) {
    if (w <= 0) break;
    uint8_t* src = work.GetScanline(y);
    if (rgb && params.JpegColorSpace != ioJPEG_RGB) {
      // Delivered as stored (red first): turn into blue, green, red.
      for (int32_t x = 0; x < w; ++x) std::swap(src[3 * x], src[3 * x + 2]);
    }
    std::memcpy(Bitmap->GetScanline(FirstRow + y) + int64_t(XPixel) * 3, src, size_t(w) * 3);
  }
}

// Appends a marker segment: FF Marker, its length, then Body.
void PutSegment(std::vector<uint8_t>& Out, uint8_t Marker, const std::vector<uint8_t>& Body) {
  const size_t length = Body.size() + 2;
  Out.insert(Out.end(), {0xFF, Marker, uint8_t(length >> 8), uint8_t(length)});
  Out.insert(Out.end(), Body.begin(), Body.end());
}

// The older JPEG form with its tables in tags: the quantisation tables (64
// bytes each, zigzag order) and the DC and AC Huffman tables (16 counts, then
// the values) at the offsets the tags list, one per component.  Each strip or
// tile becomes one baseline JPEG: the tables, a frame of the block's size,
// one scan header, the block's data and EOI.
template <typename TDecode>
void TiffReadOldJpegFromTables(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                               TIEProgressRec& Progress, TDecode& Decode) {
  const int64_t size = Directory.StreamSize - Directory.Base;
  const int32_t comps = Vars.SamplesPerPixel;
  std::vector<uint32_t> q, dc, ac;
  Directory.ReadArray(TiffTag::JpegQTables, q);
  Directory.ReadArray(TiffTag::JpegDcTables, dc);
  Directory.ReadArray(TiffTag::JpegAcTables, ac);
  if ((comps != 1 && comps != 3) || q.empty() || dc.empty() || ac.empty() || q.size() > 4 || dc.size() > 4 ||
      ac.size() > 4) {
    Progress.SetAborting();
    return;
  }
  std::vector<uint8_t> tables = {0xFF, 0xD8};
  for (size_t t = 0; t < q.size(); ++t) {
    std::vector<uint8_t> body(65);
    body[0] = uint8_t(t);  // 8-bit precision, table t
    if (!Directory.ReadAt(q[t], body.data() + 1, 64)) {
      Progress.SetAborting();
      return;
    }
    PutSegment(tables, 0xDB, body);
  }
  for (int32_t kind = 0; kind < 2; ++kind) {
    const std::vector<uint32_t>& offsets = kind == 0 ? dc : ac;
    for (size_t t = 0; t < offsets.size(); ++t) {
      std::vector<uint8_t> body(17);
      body[0] = uint8_t((kind << 4) | t);
      if (!Directory.ReadAt(offsets[t], body.data() + 1, 16)) {
        Progress.SetAborting();
        return;
      }
      int32_t count = 0;
      for (int32_t k = 1; k <= 16; ++k) count += body[size_t(k)];
      if (count > 256) {
        Progress.SetAborting();
        return;
      }
      body.resize(17 + size_t(count));
      if (!Directory.ReadAt(int64_t(offsets[t]) + 16, body.data() + 17, count)) {
        Progress.SetAborting();
        return;
      }
      PutSegment(tables, 0xC4, body);
    }
  }
  if (Vars.JpegRestartInterval > 0 && Vars.JpegRestartInterval <= 0xFFFF)
    PutSegment(tables, 0xDD, {uint8_t(Vars.JpegRestartInterval >> 8), uint8_t(Vars.JpegRestartInterval)});
  // Luma of YCbCr pages carries the subsampling; chroma and other pages 1 x 1.
  const bool ycc = Vars.Photometric == TiffPhotometric::YCbCr && comps == 3;
  const int32_t h0 = ycc ? std::clamp(Vars.YCbCrSubsampling[0], 1, 4) : 1;
  const int32_t v0 = ycc ? std::clamp(Vars.YCbCrSubsampling[1], 1, 4) : 1;
  auto headers = [&](int32_t W, int32_t H) {
    std::vector<uint8_t> out = tables;
    std::vector<uint8_t> frame = {8, uint8_t(H >> 8), uint8_t(H), uint8_t(W >> 8), uint8_t(W), uint8_t(comps)};
    std::vector<uint8_t> scan = {uint8_t(comps)};
    for (int32_t c = 0; c < comps; ++c) {
      const uint8_t sampling = c == 0 ? uint8_t((h0 << 4) | v0) : uint8_t(0x11);
      frame.insert(frame.end(), {uint8_t(c + 1), sampling, uint8_t(std::min<size_t>(size_t(c), q.size() - 1))});
      const uint8_t dcT = uint8_t(std::min<size_t>(size_t(c), dc.size() - 1));
      const uint8_t acT = uint8_t(std::min<size_t>(size_t(c), ac.size() - 1));
      scan.insert(scan.end(), {uint8_t(c + 1), uint8_t((dcT << 4) | acT)});
    }
    scan.insert(scan.end(), {0, 63, 0});
    PutSegment(out, 0xC0, frame);
    PutSegment(out, 0xDA, scan);
    return out;
  };
  const bool tiled = !Vars.TileOffsets.empty() && Vars.TileWidth > 0 && Vars.TileLength > 0;
  const std::vector<uint32_t>& offsets = tiled ? Vars.TileOffsets : Vars.StripOffsets;
  const std::vector<uint32_t>& counts = tiled ? Vars.TileByteCounts : Vars.StripByteCounts;
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  const int32_t bw = tiled ? Vars.TileWidth : width;
  const int32_t bh = tiled ? Vars.TileLength : (Vars.RowsPerStrip > 0 ? Vars.RowsPerStrip : height);
  if (bw > 0xFFFF || bh <= 0) {
    Progress.SetAborting();
    return;
  }
  const int64_t across = (int64_t(width) + bw - 1) / bw;
  const int64_t blocks = std::min<int64_t>(int64_t(std::min(offsets.size(), counts.size())),
                                           across * ((int64_t(height) + bh - 1) / bh));
  int32_t decoded = 0;
  for (int64_t b = 0; b < blocks; ++b) {
    if (Progress.IsAborting()) return;
    const int32_t x = int32_t((b % across) * bw);
    const int32_t y = int32_t((b / across) * bh);
    // A strip's frame covers the rows it has; a tile's its whole block.
    const int32_t rows = tiled ? bh : std::min(bh, height - y);
    if (rows > 0xFFFF) {
      Progress.SetAborting();
      return;
    }
    const int64_t n = Clamp(offsets[size_t(b)], counts[size_t(b)], size);
    if (n <= 0) continue;
    std::vector<uint8_t> data = headers(bw, rows);
    const size_t at = data.size();
    data.resize(at + size_t(n));
    if (!Directory.ReadAt(offsets[size_t(b)], data.data() + at, n)) continue;
    data.insert(data.end(), {0xFF, 0xD9});
    decoded += Decode(data, y, x) > 0 ? 1 : 0;
    if (Progress.fOnProgress) Progress.Report(int32_t((b + 1) * 100 / blocks));
  }
  if (decoded == 0) Progress.SetAborting();
}

}  // namespace

void TiffReadOldJpeg(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                     TIEProgressRec& Progress) {
  const int64_t size = Directory.StreamSize - Directory.Base;
  const int32_t height = Bitmap->GetHeight();
  // Decodes one JPEG held in Data into the page from row FirstRow and column
  // X; answers the rows decoded.
  auto decode = [&](std::vector<uint8_t>& Data, int32_t FirstRow, int32_t X = 0) -> int32_t {
    if (Data.empty()) return 0;
    TIEMemStream ms(Data.data(), int64_t(Data.size()));
    TIEBitmap work;
    TIOParamsVals params;
    std::atomic<bool> aborting{false};
    TIEProgressRec silent;
    silent.Aborting = &aborting;
    // A JPEG claiming more than the page is refused before it is decoded
    // (its header alone can claim gigapixels).
    constexpr int32_t Slack = 64;
    JpegReadStream(&ms, &work, params, silent, {.ParamsOnly = true});
    if (aborting || params.Width <= 0 || params.Height <= 0 ||
        params.Width > int64_t(Bitmap->GetWidth()) + Slack || params.Height > int64_t(height) + Slack)
      return 0;
    ms.SetPosition(0);
    // Chroma is repeated, not interpolated, as libtiff's reading does.
    const int32_t rows = JpegReadStream(&ms, &work, params, silent, {.ReplicateChroma = true});
    if (rows <= 0 || work.GetPixelFormat() != ie24RGB) return 0;
    const int32_t w = std::min(work.GetWidth(), Bitmap->GetWidth() - X);
    if (w <= 0) return 0;
    for (int32_t y = 0; y < rows && FirstRow + y < height; ++y)
      std::memcpy(Bitmap->GetScanline(FirstRow + y) + int64_t(X) * 3, work.GetScanline(y), size_t(w) * 3);
    return rows;
  };
  auto readAt = [&](int64_t Offset, int64_t Count, std::vector<uint8_t>& Out) {
    Count = Clamp(Offset, Count, size);
    if (Count <= 0) return;
    const size_t at = Out.size();
    Out.resize(at + size_t(Count));
    if (!Directory.ReadAt(Offset, Out.data() + at, Count)) Out.resize(at);
  };
  const int64_t jif = Vars.JpegInterchangeFormat, jifLength = Vars.JpegInterchangeFormatLength;
  // Pages with the tables in tags and no interchange block: every strip or
  // tile holds the entropy-coded data only; the markers around it are built
  // from the tags.
  if (jif == 0 && Directory.HasTag(TiffTag::JpegQTables) && Directory.HasTag(TiffTag::JpegDcTables)) {
    TiffReadOldJpegFromTables(Directory, Vars, Bitmap, Progress, decode);
    return;
  }
  if (!Vars.StripByteCounts.empty() && !Vars.StripOffsets.empty()) {
    const int32_t rps = Vars.RowsPerStrip > 0 ? Vars.RowsPerStrip : height;
    // The interchange block opens every strip's stream: read once.
    std::vector<uint8_t> interchange, firstSegment;
    if (jifLength > 0) readAt(jif, jifLength, interchange);
    const size_t strips = std::min(Vars.StripOffsets.size(), Vars.StripByteCounts.size());
    int32_t decoded = 0;
    // Every strip repeats the interchange block: a file whose block is
    // large and whose strips are many would make that cost grow with their
    // product.  Real files repeat only small tables.
    const int64_t budget = 4 * size + (int64_t(1) << 20);
    int64_t spent = 0;
    for (size_t s = 0; s < strips && int64_t(s) * rps < height; ++s) {
      if (Progress.IsAborting()) return;
      spent += int64_t(interchange.size());
      if (spent > budget) {
        Progress.SetAborting();
        return;
      }
      std::vector<uint8_t> data = interchange;
      if (s > 0) {
        // The tables segment that opens strip 0 serves every strip.
        if (firstSegment.empty()) {
          std::vector<uint8_t> head;
          readAt(Vars.StripOffsets[0], 4, head);
          if (head.size() == 4) readAt(Vars.StripOffsets[0], ((int64_t(head[2]) << 8) | head[3]) + 2, firstSegment);
        }
        data.insert(data.end(), firstSegment.begin(), firstSegment.end());
      }
      readAt(Vars.StripOffsets[s], Vars.StripByteCounts[s], data);
      decoded += decode(data, int32_t(s) * rps);
      if (Progress.fOnProgress) Progress.Report(int32_t((s + 1) * 100 / strips));
    }
    if (decoded == 0) Progress.SetAborting();
    return;
  }
  int64_t start = jif;
  if (start == 0 && !Vars.StripOffsets.empty()) start = Vars.StripOffsets[0];
  if (start <= 0 || start >= size) {
    Progress.SetAborting();
    return;
  }
  // The length of the JPEG stream from its markers.
  std::vector<uint8_t> data;
  {
    Directory.Stream->Seek(Directory.Base + start, soBeginning);
    const int64_t length = JpegStreamSize(Directory.Stream);
    readAt(start, length, data);
  }
  if (decode(data, 0) == 0) Progress.SetAborting();
}

bool TiffLayoutSupported(const TTIFFVars& v, TIEPixelFormat FFormat) {
  const int32_t spp = v.SamplesPerPixel, bps = v.BitsPerSample;
  if (spp < 1 || bps < 1) return false;
  switch (v.Photometric) {
    case TiffPhotometric::MinIsWhite:
    case TiffPhotometric::MinIsBlack:
      if (spp == 1 && bps == 1) return FFormat == ie1g;
      if (spp == 1 && bps <= 8) return FFormat == ie8g || FFormat == ie24RGB;
      if (spp == 1 && bps == 16) return FFormat == ie16g || FFormat == ie24RGB;
      if (spp >= 2 && (bps == 8 || bps == 16)) return FFormat == ie24RGB;
      return false;
    case TiffPhotometric::Rgb:
      if ((spp >= 3) && bps == 8) return FFormat == ie24RGB;
      if ((spp == 3 || spp == 4) && bps == 16) return FFormat == ie24RGB || FFormat == ieRGB48;
      if (spp == 1 && bps == 16) return FFormat == ie24RGB;
      return false;
    case TiffPhotometric::Palette:
      if (spp == 1 && bps <= 8) return FFormat == ie8p || FFormat == ie24RGB;
      if (spp == 2 && bps == 8) return FFormat == ie24RGB;
      return false;
    case TiffPhotometric::Separated:
      if (spp >= 4 && bps == 8) return FFormat == ieCMYK || FFormat == ie24RGB;
      if (spp == 4 && bps == 16) return FFormat == ieCMYK || FFormat == ie24RGB;
      return false;
    case TiffPhotometric::CieLab:
      return spp == 3 && bps == 8 && FFormat == ie24RGB;
    case TiffPhotometric::YCbCr:
      return spp == 3 && bps == 8 && FFormat == ie24RGB &&
             ((v.YCbCrSubsampling[0] == 2 && v.YCbCrSubsampling[1] == 1) ||
              (v.YCbCrSubsampling[0] == 1 && v.YCbCrSubsampling[1] == 1));
    default:
      return false;
  }
}

bool TiffCompressionSupported(int32_t Compression) {
  return Compression == TiffCompression::None || Compression == TiffCompression::Jpeg ||
         IsCcitt(Compression) || Compression == TiffCompression::Lzw || IsDeflate(Compression) ||
         Compression == TiffCompression::PackBits;
}

int64_t TiffRowLength(const TTIFFVars& Vars, int32_t Width, int32_t Samples) {
  if (Vars.Photometric == TiffPhotometric::YCbCr && Samples == 3 && Vars.YCbCrSubsampling[0] == 2 &&
      Vars.YCbCrSubsampling[1] == 1)
    return (int64_t(Width) + 1) / 2 * 4;
  return (int64_t(Width) * Samples * Vars.BitsPerSample + 7) / 8;
}

void TiffUndoPredictor(uint8_t* Row, int32_t Width, int32_t Samples, int32_t Bits) {
  if (Width < 2 || Samples < 1) return;
  const int64_t n = int64_t(Width) * Samples;
  if (Bits == 8) {
    // The running sums of the common layouts stay in registers: a plain
    // loop re-reads the byte it wrote Samples steps before, which keeps
    // every iteration waiting on the previous store.
    if (Samples == 3) {
      uint8_t r = Row[0], g = Row[1], b = Row[2];
      for (int64_t i = 3; i < n; i += 3) {
        Row[i] = r = uint8_t(r + Row[i]);
        Row[i + 1] = g = uint8_t(g + Row[i + 1]);
        Row[i + 2] = b = uint8_t(b + Row[i + 2]);
      }
    } else if (Samples == 1) {
      uint8_t v = Row[0];
      for (int64_t i = 1; i < n; ++i) Row[i] = v = uint8_t(v + Row[i]);
    } else {
      for (int64_t i = Samples; i < n; ++i) Row[i] = uint8_t(Row[i] + Row[i - Samples]);
    }
  } else if (Bits == 16) {
    for (int64_t i = Samples; i < n; ++i) {
      uint16_t a, b;
      std::memcpy(&a, Row + 2 * i, 2);
      std::memcpy(&b, Row + 2 * (i - Samples), 2);
      a = uint16_t(a + b);
      std::memcpy(Row + 2 * i, &a, 2);
    }
  }
}

namespace {

// TiffDecodeRows; with Fill not negative, the rows are not filled beforehand
// (whole rows from column 0, JPEG aside) and every byte of a stored row past
// its pixels is set to Fill.  Answers how many rows from FirstRow were stored.
int32_t DecodeRows(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t FirstRow, TIEProgressRec& Progress,
                   int32_t RowCount, int32_t Width, int64_t DataLength, const uint8_t* Data,
                   int32_t XPixel, int32_t Fill) {
  if (RowCount <= 0 || Width <= 0 || !Data || DataLength <= 0) return 0;
  if (!TiffCompressionSupported(Vars.Compression)) {
    Progress.SetAborting();
    return 0;
  }
  if (Vars.Compression == TiffCompression::Jpeg) {
    if (Bitmap->GetPixelFormat() != ie24RGB) {
      Progress.SetAborting();
      return 0;
    }
    DecodeJpegChunk(Vars, Bitmap, FirstRow, XPixel, Width, RowCount, Data, DataLength, Progress);
    if (XPixel == 0) ReportRow(Progress, std::min(FirstRow + RowCount, Bitmap->GetHeight()), Bitmap->GetHeight());
    return 0;
  }
  TRowWriter writer(Vars, Bitmap, Width);
  if (!writer.Supported()) {
    Progress.SetAborting();
    return 0;
  }
  if (Fill >= 0) writer.SetFill(uint8_t(Fill));
  const int32_t spp = Vars.SamplesPerPixel;
  const int64_t rowLength = TiffRowLength(Vars, Width, spp);
  std::vector<uint8_t> row(size_t(WorkRowSize(rowLength, Width, spp)), 0);
  TRowSource source(Vars, Data, DataLength, Width, RowCount, rowLength);
  if (Vars.Compression == TiffCompression::Lzw) source.SetLzw(LzwOf(Vars));
  // 8-bit RGB goes from the decoded row into the bitmap in one pass.
  const bool rgb8 = writer.PlainRgb8();
  const bool predict = Vars.Predictor == TiffPredictor::Horizontal &&
                       (Vars.Compression == TiffCompression::Lzw || IsDeflate(Vars.Compression));
  const int32_t height = Bitmap->GetHeight();
  int32_t stored = 0;
  for (int32_t r = 0; r < RowCount; ++r) {
    if (Progress.IsAborting()) break;
    const int32_t y = FirstRow + r;
    if (y >= height) break;
    // Rows beyond the data stay white.
    if (source.Exhausted() || source.LzwRanOut()) break;
    const uint8_t* p = source.Fetch(r, row.data());
    if (!p) {
      // Corrupt LZW data fails the page; other codecs just ran out of data.
      if (Vars.Compression == TiffCompression::Lzw) Progress.SetAborting();
      break;
    }
    if (rgb8) {
      writer.WriteRgb8(p, y, XPixel, predict);
    } else {
      // The decoder's own buffer is read only: the row is prepared in place.
      if (p != row.data()) std::memcpy(row.data(), p, size_t(rowLength));
      PrepareRow(Vars, row.data(), rowLength, Width, spp);
      writer.Write(row.data(), y, XPixel);
    }
    ++stored;
    if (XPixel == 0) ReportRow(Progress, y + 1, height);
  }
  return stored;
}

// Sets rows [From, To) of the page to Fill bytes.
void FillRows(TIEBitmap* Bitmap, int32_t From, int32_t To, uint8_t Fill) {
  const int64_t len = Bitmap->GetRowLen();
  for (int32_t y = std::max(From, 0); y < std::min(To, Bitmap->GetHeight()); ++y)
    std::memset(Bitmap->GetScanline(y), Fill, size_t(len));
}

}  // namespace

void TiffDecodeRows(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t FirstRow, TIEProgressRec& Progress,
                    int32_t RowCount, int32_t Width, int64_t DataLength, const uint8_t* Data,
                    int32_t XPixel) {
  DecodeRows(Vars, Bitmap, FirstRow, Progress, RowCount, Width, DataLength, Data, XPixel, -1);
}

void TiffDecodePlanarRows(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t FirstRow,
                          TIEProgressRec& Progress, int32_t RowCount, int32_t Width,
                          const uint8_t* const* PlaneData, const int64_t* PlaneLength,
                          int32_t XPixel) {
  const int32_t spp = Vars.SamplesPerPixel;
  if (RowCount <= 0 || Width <= 0 || spp < 1 || spp > 10) return;
  if (!TiffCompressionSupported(Vars.Compression) || IsCcitt(Vars.Compression) ||
      (Vars.BitsPerSample != 8 && Vars.BitsPerSample != 16)) {
    Progress.SetAborting();
    return;
  }
  TRowWriter writer(Vars, Bitmap, Width);
  if (!writer.Supported()) {
    Progress.SetAborting();
    return;
  }
  const int32_t bytes = Vars.BitsPerSample / 8;
  const int64_t planeRow = int64_t(Width) * bytes;
  std::vector<std::unique_ptr<TRowSource>> sources;
  std::vector<std::vector<uint8_t>> rows;
  for (int32_t p = 0; p < spp; ++p) {
    sources.push_back(std::make_unique<TRowSource>(Vars, PlaneData[p], PlaneLength[p], Width,
                                                   RowCount, planeRow));
    if (Vars.Compression == TiffCompression::Lzw) sources.back()->SetLzw(LzwOf(Vars));
    rows.emplace_back(size_t(planeRow) + 16, 0);
  }
  std::vector<uint8_t> chunky(size_t(planeRow * spp) + 16, 0);
  TTIFFVars planeVars = Vars;
  planeVars.SamplesPerPixel = 1;
  const int32_t height = Bitmap->GetHeight();
  for (int32_t r = 0; r < RowCount; ++r) {
    if (Progress.IsAborting()) return;
    const int32_t y = FirstRow + r;
    if (y >= height) break;
    for (int32_t p = 0; p < spp; ++p) {
      uint8_t* pr = rows[size_t(p)].data();
      if (!PlaneData[p] || PlaneLength[p] <= 0 || sources[size_t(p)]->Exhausted() ||
          !sources[size_t(p)]->Next(r, pr)) {
        if (Vars.Compression == TiffCompression::Lzw && PlaneData[p] && PlaneLength[p] > 0) {
          Progress.SetAborting();
          return;
        }
        std::memset(pr, 0, size_t(planeRow));
      }
      PrepareRow(planeVars, pr, planeRow, Width, 1);
      for (int32_t x = 0; x < Width; ++x)
        std::memcpy(chunky.data() + (int64_t(x) * spp + p) * bytes, pr + int64_t(x) * bytes,
                    size_t(bytes));
    }
    writer.Write(chunky.data(), y, XPixel);
    if (XPixel == 0) ReportRow(Progress, y + 1, height);
  }
}

void TiffReadStrips(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                    TIEProgressRec& Progress, uint8_t Fill) {
  const int64_t size = Directory.StreamSize - Directory.Base;
  const int32_t height = Bitmap->GetHeight();
  const int32_t width = Bitmap->GetWidth();
  const bool planar = Vars.PlanarConfig == TiffPlanarConfig::Separate && Vars.SamplesPerPixel > 1;
  // Chunky rows other than JPEG's are stored whole and in order: only the
  // rows no strip stores are filled, after decoding, instead of the whole
  // page before it.  JPEG strips and separate planes get the page filled.
  if (planar || Vars.Compression == TiffCompression::Jpeg) FillRows(Bitmap, 0, height, Fill);
  const int32_t rps = Vars.RowsPerStrip > 0 ? Vars.RowsPerStrip : height;
  const size_t strips = Vars.StripOffsets.size();
  TBlockExtents extents(Vars.StripOffsets, size);
  auto readStrip = [&](size_t s, std::vector<uint8_t>& Buffer, int64_t MinBytes) -> int64_t {
    const int64_t off = Vars.StripOffsets[s];
    int64_t n = s < Vars.StripByteCounts.size() ? int64_t(Vars.StripByteCounts[s]) : 0;
    if (Vars.Compression == TiffCompression::None) n = std::max(n, MinBytes);
    n = extents.Get(off, n);
    Buffer.resize(size_t(n));
    if (n <= 0 || !Directory.ReadAt(off, Buffer.data(), n)) return 0;
    return n;
  };
  if (planar) {
    const int32_t spp = Vars.SamplesPerPixel;
    if (spp > 10) {
      Progress.SetAborting();
      return;
    }
    const size_t perPlane = strips / size_t(spp);
    std::vector<std::vector<uint8_t>> buffers(static_cast<size_t>(spp));
    int32_t first = 0;
    for (size_t s = 0; s < perPlane && first < height; ++s) {
      const uint8_t* data[10] = {};
      int64_t lengths[10] = {};
      for (int32_t p = 0; p < spp; ++p) {
        lengths[p] = readStrip(s + size_t(p) * perPlane, buffers[size_t(p)],
                               int64_t(rps) * ((int64_t(width) * Vars.BitsPerSample + 7) / 8));
        data[p] = buffers[size_t(p)].data();
      }
      TiffDecodePlanarRows(Vars, Bitmap, first, Progress, std::min(rps, height - first), width,
                           data, lengths);
      first = int32_t(std::min<int64_t>(int64_t(first) + rps, height));
      if (Progress.IsAborting()) return;
    }
    return;
  }
  const bool jpeg = Vars.Compression == TiffCompression::Jpeg;
  std::vector<uint8_t> buffer;
  const int64_t rowLength = TiffRowLength(Vars, width, Vars.SamplesPerPixel);
  int32_t first = 0;
  for (size_t s = 0; s < strips && first < height; ++s) {
    const int64_t n = readStrip(s, buffer, int64_t(rps) * rowLength);
    const int32_t count = std::min(rps, height - first);
    const int32_t stored =
        n > 0 ? DecodeRows(Vars, Bitmap, first, Progress, count, width, n, buffer.data(), 0, jpeg ? -1 : Fill) : 0;
    if (!jpeg) FillRows(Bitmap, first + stored, first + count, Fill);
    first = int32_t(std::min<int64_t>(int64_t(first) + rps, height));
    if (Progress.IsAborting()) break;
  }
  if (!jpeg) FillRows(Bitmap, first, height, Fill);
}

void TiffReadTiles(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                   TIEProgressRec& Progress) {
  const bool planar = Vars.PlanarConfig == TiffPlanarConfig::Separate && Vars.SamplesPerPixel > 1;
  if (planar && Vars.SamplesPerPixel > 10) {
    Progress.SetAborting();
    return;
  }
  if (!FormatWritable(Bitmap->GetPixelFormat()) || Vars.TileWidth <= 0 || Vars.TileLength <= 0) {
    Progress.SetAborting();
    return;
  }
  const int64_t size = Directory.StreamSize - Directory.Base;
  const int32_t tw = Vars.TileWidth, tl = Vars.TileLength;
  const int32_t width = Vars.TileIndex >= 0 ? tw : Vars.ImageWidth;
  const int32_t height = Vars.TileIndex >= 0 ? tl : Vars.ImageHeight;
  const int64_t across = (int64_t(width) + tw - 1) / tw;
  const int64_t down = (int64_t(height) + tl - 1) / tl;
  const size_t count = Vars.TileOffsets.size();
  TBlockExtents extents(Vars.TileOffsets, size);
  // Reads tile T into Buffer; answers its length (0 when it has no data).
  auto readTile = [&](size_t T, std::vector<uint8_t>& Buffer) -> int64_t {
    if (T >= count) return 0;
    const int64_t off = Vars.TileOffsets[T];
    const int64_t n = extents.Get(off, T < Vars.TileByteCounts.size() ? int64_t(Vars.TileByteCounts[T]) : 0);
    if (n <= 0) return 0;
    Buffer.resize(size_t(n));
    return Directory.ReadAt(off, Buffer.data(), n) ? n : 0;
  };
  // With separate planes the tiles of plane p follow those of plane p - 1,
  // each plane holding the whole page's tiles.
  const int64_t pageTiles = (int64_t(Vars.ImageWidth) + tw - 1) / tw * ((int64_t(Vars.ImageHeight) + tl - 1) / tl);
  const int32_t planes = planar ? Vars.SamplesPerPixel : 1;
  std::vector<std::vector<uint8_t>> buffers(static_cast<size_t>(planes));
  size_t index = Vars.TileIndex >= 0 ? size_t(Vars.TileIndex) : 0;
  const int64_t tiles = planar ? std::min<int64_t>(pageTiles, int64_t(count) / planes) : int64_t(count);
  const size_t last = Vars.TileIndex >= 0 ? index + 1 : size_t(std::min<int64_t>(across * down, tiles));
  for (size_t t = index; t < last && int64_t(t) < tiles; ++t) {
    if (Progress.IsAborting()) return;
    const int64_t local = Vars.TileIndex >= 0 ? 0 : int64_t(t);
    const int32_t x = int32_t((local % across) * tw);
    const int32_t y = int32_t((local / across) * tl);
    if (planar) {
      const uint8_t* data[10] = {};
      int64_t lengths[10] = {};
      for (int32_t p = 0; p < planes; ++p) {
        lengths[p] = readTile(t + size_t(p) * size_t(pageTiles), buffers[size_t(p)]);
        data[p] = lengths[p] > 0 ? buffers[size_t(p)].data() : nullptr;
      }
      TiffDecodePlanarRows(Vars, Bitmap, y, Progress, tl, tw, data, lengths, x);
    } else {
      const int64_t n = readTile(t, buffers[0]);
      if (n <= 0) continue;
      TiffDecodeRows(Vars, Bitmap, y, Progress, tl, tw, n, buffers[0].data(), x);
    }
    ReportRow(Progress, int32_t(std::min<int64_t>(height, int64_t(y) + tl)), height);
  }
}
