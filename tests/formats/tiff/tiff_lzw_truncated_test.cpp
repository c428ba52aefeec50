// A gray or colour LZW page whose strip is cut short: the rows its data holds
// decode exactly and the rows beyond it stay white, without failing the page.
#include <atomic>
#include <gtest/gtest.h>

#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_lzw.h"
#include "formats/tiff/tiff_reader.h"
#include "platform/rtl/streams.h"
#include "support/mini_tiff.h"

namespace {

std::vector<uint8_t> LzwStrip(const std::vector<uint8_t>& Pixels, int32_t RowBytes) {
  TMemoryStream s;
  void* state = nullptr;
  for (size_t at = 0; at < Pixels.size(); at += size_t(RowBytes))
    TiffLzwEncode(Pixels.data() + at, RowBytes, &s, state);
  TiffLzwEncode(nullptr, 0, &s, state);
  const auto* m = static_cast<const uint8_t*>(s.GetMemory());
  return std::vector<uint8_t>(m, m + s.GetSize());
}

TEST(TiffLzwTruncated, RowsBeyondTheDataStayWhite) {
  const int32_t w = 61, h = 40;
  for (int32_t samples : {1, 3}) {
    const int32_t rowBytes = w * samples;
    // Dark noise-like rows that LZW cannot shrink much.
    std::vector<uint8_t> pixels(size_t(rowBytes) * h);
    uint32_t x = 12345;
    for (auto& p : pixels) {
      x = x * 1103515245u + 12345u;
      p = uint8_t((x >> 16) % 120);
    }
    minitiff::Page page;
    page.Width = w;
    page.Height = h;
    page.BitsPerSample = 8;
    page.SamplesPerPixel = uint32_t(samples);
    page.Photometric = samples == 1 ? 1 : 2;
    page.Compression = 5;
    const auto strip = LzwStrip(pixels, rowBytes);
    page.Strips.push_back(std::vector<uint8_t>(strip.begin(), strip.begin() + strip.size() / 3));
    const auto file = minitiff::WriteTiff({page});

    TMemoryStream s;
    s.WriteBuffer(file.data(), int64_t(file.size()));
    s.SetPosition(0);
    TIEBitmap bmp;
    TIOParamsVals params;
    params.TiffPageIndex = 0;
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    int32_t count = 0;
    std::unique_ptr<TIEMask> mask;
    TTiffReadOptions options;
    options.RelativeOffsets = false;
    options.IgnoreAlpha = true;
    TiffReadStream(&bmp, &s, count, &params, progress, mask, options);
    ASSERT_FALSE(aborting) << samples;
    ASSERT_EQ(bmp.GetHeight(), h);
    ASSERT_EQ(bmp.GetPixelFormat(), ie24RGB);
    // Rows wholly inside the data keep their pixels; at most one row is cut
    // partway; every row after it is white.
    int32_t exact = 0;
    for (; exact < h; ++exact) {
      const uint8_t* r = bmp.GetScanline(exact);
      bool same = true;
      for (int32_t i = 0; i < w && same; ++i) {
        const uint8_t* src = pixels.data() + size_t(exact) * rowBytes + size_t(i) * samples;
        same = samples == 1 ? (r[3 * i] == src[0] && r[3 * i + 1] == src[0] && r[3 * i + 2] == src[0])
                            : (r[3 * i] == src[2] && r[3 * i + 1] == src[1] && r[3 * i + 2] == src[0]);
      }
      if (!same) break;
    }
    EXPECT_GT(exact, 3) << samples;
    EXPECT_LT(exact, h - 3) << samples;
    for (int32_t y = exact + 1; y < h; ++y) {
      const uint8_t* r = bmp.GetScanline(y);
      for (int32_t i = 0; i < 3 * w; ++i) ASSERT_EQ(r[i], 255) << "samples " << samples << " row " << y;
    }
  }
}

}  // namespace
