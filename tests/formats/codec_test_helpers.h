#pragma once
// Helpers of the format tests: pixels as red-green-blue bytes for comparison
// with netpbm files from the peer tools, and the peers themselves.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

namespace codectest {

// Red, green, blue per pixel, row after row.
inline std::vector<uint8_t> RgbBytes(TIEBitmap* B) {
  std::vector<uint8_t> out;
  out.reserve(size_t(B->GetWidth()) * size_t(B->GetHeight()) * 3);
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const TRGB c = B->GetPixelRGB(x, y);
      out.push_back(c.r);
      out.push_back(c.g);
      out.push_back(c.b);
    }
  return out;
}

// The pixels of a P6 (or P5/P4) file as red, green, blue bytes.
inline std::vector<uint8_t> PnmRgb(const std::string& Path, int32_t& Width, int32_t& Height) {
  const testsupport::PnmImage img = testsupport::ParsePnm(testsupport::ReadFileBytes(Path));
  Width = img.Width;
  Height = img.Height;
  std::vector<uint8_t> out;
  for (int32_t y = 0; y < img.Height; ++y)
    for (int32_t x = 0; x < img.Width; ++x) {
      if (img.Kind == '6') {
        const uint8_t* p = &img.Data[size_t(y) * img.RowBytes() + size_t(x) * 3];
        out.insert(out.end(), p, p + 3);
      } else if (img.Kind == '5') {
        const uint8_t v = img.Data[size_t(y) * img.RowBytes() + size_t(x)];
        out.insert(out.end(), {v, v, v});
      } else {
        const bool black = (img.Data[size_t(y) * img.RowBytes() + size_t(x / 8)] >> (7 - x % 8)) & 1;
        const uint8_t v = black ? 0 : 255;
        out.insert(out.end(), {v, v, v});
      }
    }
  return out;
}

// Expects the bitmap to hold exactly the pixels of the netpbm file.
inline void ExpectPixelsEqualPnm(TIEBitmap* B, const std::string& Path) {
  int32_t w = 0, h = 0;
  const std::vector<uint8_t> want = PnmRgb(Path, w, h);
  ASSERT_GT(w, 0) << Path;
  ASSERT_EQ(B->GetWidth(), w) << Path;
  ASSERT_EQ(B->GetHeight(), h) << Path;
  const std::vector<uint8_t> got = RgbBytes(B);
  size_t firstDiff = 0;
  while (firstDiff < got.size() && got[firstDiff] == want[firstDiff]) ++firstDiff;
  EXPECT_EQ(firstDiff, got.size()) << Path << ": first difference at pixel " << firstDiff / 3;
}

inline bool HavePillow() {
  return testsupport::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
}

// Runs a Python script (Pillow available) in Dir; true on success.
inline bool RunPython(const std::string& Dir, const std::string& Script) {
  testsupport::WriteFileBytes(Dir + "/script.py", std::vector<uint8_t>(Script.begin(), Script.end()));
  return testsupport::RunCommand("cd '" + Dir + "' && /usr/bin/python3 script.py") == 0;
}

// A deterministic colour image of at most Colours distinct colours.
inline void FillPattern(TIEBitmap& B, int32_t Width, int32_t Height, int32_t Colours, uint32_t Seed) {
  B.Allocate(Width, Height, ie24RGB);
  uint32_t s = Seed;
  for (int32_t y = 0; y < Height; ++y)
    for (int32_t x = 0; x < Width; ++x) {
      s = s * 1103515245u + 12345u;
      const uint32_t k = ((s >> 16) % uint32_t(Colours));
      B.SetPixel24(x, y, TRGB{uint8_t(k * 37 % 256), uint8_t(k * 91 % 256), uint8_t(k * 13 % 256 ^ 0x55)});
    }
}

// A fax-like 1-bit page: lines of word-sized black blocks on white.
inline std::unique_ptr<TIEBitmap> MakeFaxPage(int32_t Width, int32_t Height, uint32_t Seed) {
  auto b = std::make_unique<TIEBitmap>(Width, Height, ie1g);
  uint32_t s = Seed * 2654435761u + 1;
  for (int32_t y = 0; y < Height; ++y) {
    uint8_t* row = b->GetScanline(y);
    for (int32_t x = 0; x < (Width + 7) / 8; ++x) row[x] = 0xFF;
    if (y % 40 >= 28) continue;
    for (int32_t x = 100; x < Width - 100;) {
      s = s * 1103515245u + 12345u;
      const int32_t word = 20 + int32_t((s >> 16) % 120);
      for (int32_t k = x; k < x + word && k < Width - 100; ++k)
        if (((k + y) % 7) < 4 || (s >> 8) % 3 == 0) row[k / 8] &= uint8_t(~(0x80 >> (k % 8)));
      x += word + 15;
    }
  }
  return b;
}

}  // namespace codectest
