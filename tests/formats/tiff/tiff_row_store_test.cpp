// How the strip decoder stores rows: the page is not filled white before it
// is decoded, so every byte of a row it stores (the bits past the width of a
// 1-bit row, the padding of every row) and every row the data does not reach
// must still come out exactly as a white-filled page would hold them, also
// when the bitmap held another picture of the same size before.
#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formats/tiff/tiff_lzw.h"
#include "formats/tiff/tiff_reader.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"
#include "support/mini_tiff.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Reads page 0 of File into Bitmap as the reader allocates it.
bool ReadInto(const Bytes& File, TIEBitmap& Bitmap) {
  TMemoryStream s;
  s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  TTiffPageRequest req;
  req.NativePixelFormat = true;
  req.RelativeOffsets = false;
  TTiffPageInfo info;
  std::unique_ptr<TIEMask> mask;
  TiffReadPage(&Bitmap, &s, req, info, progress, mask);
  return !aborting;
}

// Every byte of every row, padding included.
Bytes RawRows(TIEBitmap& B) {
  Bytes out;
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint8_t* r = B.GetScanline(y);
    out.insert(out.end(), r, r + B.GetRowLen());
  }
  return out;
}

Bytes LzwStrip(const Bytes& Data) {
  TMemoryStream s;
  void* state = nullptr;
  TiffLzwEncode(Data.data(), int32_t(Data.size()), &s, state);
  TiffLzwEncode(nullptr, 0, &s, state);
  const auto* p = static_cast<const uint8_t*>(s.GetMemory());
  return Bytes(p, p + s.GetSize());
}

struct Layout {
  const char* Name;
  uint32_t Width, Bits, Samples, Photometric, Compression, Predictor;
  TIEPixelFormat Format;
};

TEST(TiffRowStore, StoredRowsAndRowsBeyondTheDataMatchAWhiteFilledPage) {
  const Layout layouts[] = {
      {"bilevel", 301, 1, 1, 0, 1, 1, ie1g},
      {"bilevel lzw", 301, 1, 1, 0, 5, 1, ie1g},
      {"gray", 97, 8, 1, 1, 1, 1, ie8g},
      {"gray lzw predictor", 97, 8, 1, 1, 5, 2, ie8g},
      {"rgb", 83, 8, 3, 2, 1, 1, ie24RGB},
      {"rgb lzw", 83, 8, 3, 2, 5, 1, ie24RGB},
      {"rgb lzw predictor", 83, 8, 3, 2, 5, 2, ie24RGB},
      {"narrow rgb lzw predictor", 4, 8, 3, 2, 5, 2, ie24RGB},
  };
  constexpr uint32_t kHeight = 40, kRowsPerStrip = 8;
  for (const Layout& l : layouts) {
    SCOPED_TRACE(l.Name);
    const size_t rowBytes = (size_t(l.Width) * l.Bits * l.Samples + 7) / 8;
    std::mt19937 rng(l.Width);
    // Rows of noise and of flat runs, as the samples are stored.
    Bytes samples(rowBytes * kHeight);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = (i / rowBytes) % 3 ? uint8_t(rng()) : uint8_t(i / 50);
    minitiff::Page page;
    page.Width = l.Width;
    page.Height = kHeight;
    page.BitsPerSample = l.Bits;
    page.SamplesPerPixel = l.Samples;
    page.Photometric = l.Photometric;
    page.Compression = l.Compression;
    page.Predictor = l.Predictor;
    page.RowsPerStrip = kRowsPerStrip;
    // Strips 0 to 3 of 5: the rows of the last strip have no data.  An LZW
    // strip 2 is cut to half its codes.
    for (uint32_t s = 0; s < 4; ++s) {
      const Bytes strip(samples.begin() + std::ptrdiff_t(s * kRowsPerStrip * rowBytes),
                        samples.begin() + std::ptrdiff_t((s + 1) * kRowsPerStrip * rowBytes));
      if (l.Compression == 1) {
        page.Strips.push_back(strip);
        continue;
      }
      Bytes coded = strip;
      if (l.Predictor == 2)
        for (uint32_t r = 0; r < kRowsPerStrip; ++r)
          for (size_t i = rowBytes; i-- > l.Samples;) {
            uint8_t* row = coded.data() + r * rowBytes;
            row[i] = uint8_t(row[i] - row[i - l.Samples]);
          }
      coded = LzwStrip(coded);
      if (s == 2) coded.resize(coded.size() / 2);
      page.Strips.push_back(coded);
    }
    const Bytes file = minitiff::WriteTiff({page});

    TIEBitmap fresh;
    ASSERT_TRUE(ReadInto(file, fresh));
    ASSERT_EQ(fresh.GetPixelFormat(), l.Format);
    // The same page read over another picture of its size: the bitmap keeps
    // its memory, dirty bytes everywhere.
    TIEBitmap reused;
    ASSERT_TRUE(reused.Allocate(int32_t(l.Width), int32_t(kHeight), l.Format));
    for (int32_t y = 0; y < int32_t(kHeight); ++y) std::memset(reused.GetScanline(y), 0x5A, size_t(reused.GetRowLen()));
    const uint8_t* before = reused.GetScanline(0);
    ASSERT_TRUE(ReadInto(file, reused));
    ASSERT_EQ(reused.GetScanline(0), before);
    EXPECT_EQ(RawRows(reused), RawRows(fresh));

    const size_t len = size_t(fresh.GetRowLen());
    const size_t pixelBytes = l.Format == ie1g ? l.Width / 8 : size_t(l.Width) * (l.Format == ie24RGB ? 3 : 1);
    for (uint32_t y = 0; y < kHeight; ++y) {
      const uint8_t* r = fresh.GetScanline(int32_t(y));
      // Past the pixels: white bits, white padding.
      if (l.Format == ie1g && (l.Width & 7)) {
        EXPECT_EQ(r[pixelBytes] | uint8_t(0xFF00 >> (l.Width & 7)), 0xFF) << y;
      }
      for (size_t i = pixelBytes + (l.Format == ie1g && (l.Width & 7) ? 1 : 0); i < len; ++i)
        ASSERT_EQ(r[i], 0xFF) << "row " << y << " byte " << i;
      const bool noData = y >= 4 * kRowsPerStrip || (l.Compression != 1 && y == 3 * kRowsPerStrip - 1);
      if (noData) {
        for (size_t i = 0; i < pixelBytes; ++i) ASSERT_EQ(r[i], 0xFF) << "row " << y << " byte " << i;
        continue;
      }
      if (l.Compression != 1 && y / kRowsPerStrip == 2) continue;  // partly decoded
      // Stored rows hold the picture.
      const uint8_t* s = samples.data() + y * rowBytes;
      for (uint32_t x = 0; x < (l.Format == ie1g ? uint32_t(pixelBytes) : l.Width); ++x) {
        if (l.Format == ie1g)
          ASSERT_EQ(r[x], uint8_t(~s[x])) << y;
        else if (l.Format == ie8g)
          ASSERT_EQ(r[x], s[x]) << y;
        else
          ASSERT_TRUE(r[3 * x] == s[3 * x + 2] && r[3 * x + 1] == s[3 * x + 1] && r[3 * x + 2] == s[3 * x])
              << "row " << y << " pixel " << x;
      }
    }
  }
}

}  // namespace
