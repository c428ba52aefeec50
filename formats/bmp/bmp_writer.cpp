#include "formats/bmp/bmp_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "formats/bmp/bmp_reader.h"
#include "formats/checked_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/number_text.h"
#include "kernels/quantizer.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

void PutLe16(uint8_t* P, uint32_t V) { IEPutWord(P, uint32_t(V), false); }
void PutLe32(uint8_t* P, uint32_t V) { IEPutDWord(P, V, false); }

// Flushes K pending literals starting at Src.
int32_t FlushLiterals(const uint8_t* Src, int32_t K, bool Rle4, uint8_t* Out) {
  int32_t n = 0;
  while (K > 0) {
    const int32_t k = std::min(K, 255);
    if (k == 1) {
      Out[n++] = 1;
      Out[n++] = Rle4 ? uint8_t(Src[0] << 4) : Src[0];
    } else if (k == 2) {
      if (Rle4) {
        Out[n++] = 2;
        Out[n++] = uint8_t((Src[0] << 4) | (Src[1] & 15));
      } else {
        Out[n++] = 1;
        Out[n++] = Src[0];
        Out[n++] = 1;
        Out[n++] = Src[1];
      }
    } else {
      Out[n++] = 0;
      Out[n++] = uint8_t(k);
      int32_t bytes;
      if (Rle4) {
        bytes = (k + 1) / 2;
        for (int32_t i = 0; i < bytes; ++i) {
          const uint8_t hi = Src[2 * i] & 15;
          const uint8_t lo = 2 * i + 1 < k ? Src[2 * i + 1] & 15 : 0;
          Out[n++] = uint8_t((hi << 4) | lo);
        }
      } else {
        bytes = k;
        std::memcpy(Out + n, Src, size_t(k));
        n += k;
      }
      if (bytes & 1) Out[n++] = 0;
    }
    Src += k;
    K -= k;
  }
  return n;
}

int32_t EncodeRleRow(const uint8_t* Indices, int32_t Count, uint8_t* Output, bool Rle4) {
  int32_t n = 0, p = 0, s = 0;
  while (p < Count) {
    if (p - s > 255) {
      n += FlushLiterals(Indices + s, p - s, Rle4, Output + n);
      s = p;
    }
    if (p + 1 < Count && Indices[p] == Indices[p + 1]) {
      n += FlushLiterals(Indices + s, p - s, Rle4, Output + n);
      int32_t run = 1;
      while (p + run < Count && run < 255 && Indices[p + run] == Indices[p]) ++run;
      Output[n++] = uint8_t(run);
      Output[n++] = Rle4 ? uint8_t(((Indices[p] & 15) << 4) | (Indices[p] & 15)) : Indices[p];
      p += run;
      s = p;
    } else {
      ++p;
    }
  }
  n += FlushLiterals(Indices + s, p - s, Rle4, Output + n);
  Output[n++] = 0;
  Output[n++] = 0;
  return n;
}

}  // namespace

int32_t BmpEncodeRle4Row(const uint8_t* Indices, int32_t Count, uint8_t* Output) {
  return EncodeRleRow(Indices, Count, Output, true);
}
int32_t BmpEncodeRle8Row(const uint8_t* Indices, int32_t Count, uint8_t* Output) {
  return EncodeRleRow(Indices, Count, Output, false);
}

void BmpWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    bool SaveAlpha) {
  const int32_t width = Bitmap->GetWidth(), height = Bitmap->GetHeight();
  if (width <= 0 || height <= 0) {
    Progress.SetAborting();
    return;
  }
  int32_t bitCount;
  if (Params.BitsPerSample == 1 || Params.BitsPerSample == 4)
    bitCount = Params.BitsPerSample;
  else if (Params.SamplesPerPixel == 1)
    bitCount = 8;
  else
    bitCount = Bitmap->HasAlphaChannel() ? 32 : 24;
  // A core header holds 16-bit sizes only.
  uint8_t version = Params.BmpHeaderKind;
  if (version == ioBMP_BMOS2V1 && (width > 65535 || height > 65535)) version = ioBMP_BM3;
  const bool core = version == ioBMP_BMOS2V1;
  const bool rle = !core && Params.BmpCompression == ioBMP_RLE && (bitCount == 4 || bitCount == 8);
  const int64_t rowLen = (int64_t(width) * bitCount + 31) / 32 * 4;
  if (!rle && rowLen * height > int64_t(UINT32_MAX) - 2048) {
    Progress.SetAborting();
    return;
  }

  const int64_t start = Stream->GetPosition();
  TIECheckedWriter out(Stream, Progress);
  uint8_t fileHeader[14] = {'B', 'M'};
  out.Write(fileHeader, 14);
  uint8_t header[64] = {};
  const int32_t headerSize = core ? 12 : (version == ioBMP_BMOS2V2 ? 64 : 40);
  PutLe32(header, uint32_t(headerSize));
  if (core) {
    PutLe16(header + 4, uint32_t(width));
    PutLe16(header + 6, uint32_t(height));
    PutLe16(header + 8, 1);
  } else {
    PutLe32(header + 4, uint32_t(width));
    PutLe32(header + 8, uint32_t(height));
    PutLe16(header + 12, 1);
    PutLe32(header + 16, rle ? (bitCount == 4 ? 2u : 1u) : 0u);
    PutLe32(header + 24, uint32_t(std::max(0, IERound(Params.DpiX / 2.54 * 100))));
    PutLe32(header + 28, uint32_t(std::max(0, IERound(Params.DpiY / 2.54 * 100))));
    PutLe32(header + 32, bitCount <= 8 ? 1u << bitCount : 0u);
    PutLe32(header + 36, bitCount <= 8 ? 1u << bitCount : (bitCount == 24 ? 16777216u : 1u));
  }
  const int64_t headerPos = Stream->GetPosition();
  out.Write(header, headerSize);

  auto writeTable = [&](const std::vector<TRGB>& Table) {
    for (const TRGB& c : Table) {
      const uint8_t e[4] = {c.b, c.g, c.r, 0};
      if (!out.Write(e, core ? 3 : 4)) return;
    }
  };
  auto report = [&](int32_t Row) {
    Progress.Report(int32_t(int64_t(height - 1 - Row) * 100 / height));
    return !Progress.IsAborting();
  };
  std::unique_ptr<TIEBitmap> temp;
  TIEBitmap* work = Bitmap;
  auto useCopyAs = [&](TIEPixelFormat Format) {
    temp = std::make_unique<TIEBitmap>();
    temp->Assign(Bitmap);
    temp->ConvertToPixelFormat(Format);
    work = temp.get();
  };
  int64_t firstRow = 0;
  std::vector<uint8_t> row(size_t(std::max<int64_t>(rowLen, width)));

  if (bitCount == 4 || bitCount == 8) {
    const int32_t n = 1 << bitCount;
    if (work->GetPixelFormat() != ie8p && work->GetPixelFormat() != ie24RGB) useCopyAs(ie24RGB);
    std::vector<TRGB> table(static_cast<size_t>(n));
    std::array<uint8_t, 256> lut{};
    std::unique_ptr<TIEQuantizer> q;
    const bool ownPalette = work->GetPixelFormat() == ie8p && work->GetPaletteLen() <= n;
    if (ownPalette) {
      for (int32_t i = 0; i < work->GetPaletteLen(); ++i) table[size_t(i)] = work->GetPaletteColor(i);
      for (int32_t i = 0; i < 256; ++i) lut[size_t(i)] = uint8_t(i < work->GetPaletteLen() ? i : 0);
    } else {
      q = std::make_unique<TIEQuantizer>(work, table.data(), n, n);
    }
    auto index = [&](const TRGB& c) {
      const int32_t i = q->ColorToIndex(c);
      return uint8_t(i < 0 || i >= n ? IEFindNearestColorIndex(table.data(), n, c) : i);
    };
    if (q && work->GetPixelFormat() == ie8p)
      for (int32_t i = 0; i < 256 && i < work->GetPaletteLen(); ++i)
        lut[size_t(i)] = index(work->GetPaletteColor(i));
    Params.FreeColorMap();
    Params.ColorMap.reset(new TRGB[size_t(n)]);
    std::copy(table.begin(), table.end(), Params.ColorMap.get());
    Params.ColorMapCount = n;
    writeTable(table);
    firstRow = Stream->GetPosition();
    std::vector<uint8_t> indices(static_cast<size_t>(width));
    std::vector<uint8_t> coded(rle ? size_t(width) * 10 + 4 : 0);
    for (int32_t y = height - 1; y >= 0 && !Progress.IsAborting(); --y) {
      if (!report(y)) break;
      const uint8_t* src = work->GetScanline(y);
      if (work->GetPixelFormat() == ie8p) {
        for (int32_t x = 0; x < width; ++x) indices[size_t(x)] = lut[src[x]];
      } else {
        const TRGB* px = reinterpret_cast<const TRGB*>(src);
        for (int32_t x = 0; x < width; ++x) indices[size_t(x)] = index(px[x]);
      }
      if (rle) {
        const int32_t len = bitCount == 4 ? BmpEncodeRle4Row(indices.data(), width, coded.data())
                                          : BmpEncodeRle8Row(indices.data(), width, coded.data());
        out.Write(coded.data(), len);
      } else {
        std::fill(row.begin(), row.end(), 0);
        if (bitCount == 8) {
          std::memcpy(row.data(), indices.data(), size_t(width));
        } else {
          for (int32_t x = 0; x < width; ++x)
            row[size_t(x / 2)] |= uint8_t((indices[size_t(x)] & 15) << ((x & 1) ? 0 : 4));
        }
        out.Write(row.data(), rowLen);
      }
    }
    if (rle) {
      const uint8_t eob[2] = {0, 1};
      out.Write(eob, 2);
    }
  } else if (bitCount == 1) {
    std::vector<TRGB> table = {TRGB{0, 0, 0}, TRGB{255, 255, 255}};
    if (work->GetPixelFormat() != ie1g) {
      if (work->GetPixelFormat() != ie24RGB) useCopyAs(ie24RGB);
      std::vector<TRGB> two(2);
      TIEQuantizer q(work, two.data(), 2, 2);
      if (q.HasExactPalette() && q.GetExactCount() == 2) {
        // Two colours are kept, the darker as entry 0.
        auto lum = [](const TRGB& c) { return int32_t(c.r) * 299 + int32_t(c.g) * 587 + int32_t(c.b) * 114; };
        if (lum(two[1]) < lum(two[0])) std::swap(two[0], two[1]);
        table = two;
        auto mono = std::make_unique<TIEBitmap>(width, height, ie1g);
        for (int32_t y = 0; y < height; ++y) {
          const TRGB* px = reinterpret_cast<const TRGB*>(work->GetScanline(y));
          uint8_t* dst = mono->GetScanline(y);
          std::memset(dst, 0, size_t((width + 7) / 8));
          for (int32_t x = 0; x < width; ++x)
            if (px[x] == table[1]) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
        temp = std::move(mono);
        work = temp.get();
      } else {
        useCopyAs(ie1g);
      }
    }
    Params.FreeColorMap();
    Params.ColorMap.reset(new TRGB[2]);
    std::copy(table.begin(), table.end(), Params.ColorMap.get());
    Params.ColorMapCount = 2;
    writeTable(table);
    firstRow = Stream->GetPosition();
    for (int32_t y = height - 1; y >= 0 && !Progress.IsAborting(); --y) {
      if (!report(y)) break;
      std::fill(row.begin(), row.end(), 0);
      std::memcpy(row.data(), work->GetScanline(y), size_t((width + 7) / 8));
      if (width & 7) row[size_t(width / 8)] &= uint8_t(0xFF00 >> (width & 7));
      out.Write(row.data(), rowLen);
    }
  } else {
    if (work->GetPixelFormat() != ie24RGB) useCopyAs(ie24RGB);
    firstRow = Stream->GetPosition();
    for (int32_t y = height - 1; y >= 0 && !Progress.IsAborting(); --y) {
      if (!report(y)) break;
      std::fill(row.begin(), row.end(), 0);
      const uint8_t* src = work->GetScanline(y);
      if (bitCount == 24) {
        std::memcpy(row.data(), src, size_t(width) * 3);
      } else {
        for (int32_t x = 0; x < width; ++x) {
          std::memcpy(&row[size_t(x) * 4], src + size_t(x) * 3, 3);
          row[size_t(x) * 4 + 3] = SaveAlpha && Bitmap->HasAlphaChannel() ? Bitmap->GetAlpha(x, y) : 255;
        }
      }
      out.Write(row.data(), rowLen);
    }
  }
  if (Progress.IsAborting()) return;
  const int64_t end = Stream->GetPosition();
  if (end - start > int64_t(UINT32_MAX)) {
    Progress.SetAborting();
    return;
  }
  PutLe32(fileHeader + 2, uint32_t(end - start));
  PutLe32(fileHeader + 10, uint32_t(firstRow - start));
  if (core) {
    PutLe16(header + 10, uint32_t(bitCount));
  } else {
    PutLe16(header + 14, uint32_t(bitCount));
    PutLe32(header + 20, uint32_t(end - firstRow));
  }
  Stream->Seek(start, soBeginning);
  out.Write(fileHeader, 14);
  Stream->Seek(headerPos, soBeginning);
  out.Write(header, headerSize);
  Stream->Seek(end, soBeginning);
}

void IEWriteBmpStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  BmpWriteStream(Stream, Bitmap, Params, Progress, Params.BmpAlphaChannel);
}
