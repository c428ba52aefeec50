// Expansion of 1-bit images to 24-bit colour, for image buffers and for
// platform bitmaps.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "platform/gdi/bitmap.h"
#include "foundations/bit_expansion.h"

namespace {

const uint8_t kRows[2][2] = {{0xA5, 0xC0}, {0x01, 0x7F}};  // 11 pixels per row

bool Set(int Row, int X) { return kRows[Row][X >> 3] & (0x80 >> (X & 7)); }

TEST(BitExpansion, ImageBuffersAndPlatformBitmaps) {
  TIEBitmap src;
  ASSERT_TRUE(src.Allocate(11, 2, ie1g));
  for (int y = 0; y < 2; ++y) std::memcpy(src.GetScanline(y), kRows[y], 2);
  TIEBitmap dst;
  std::vector<int> seen;
  TIEProgressRec rec;
  rec.fOnProgress = [&](TObject*, int32_t p) { seen.push_back(p); };
  IEConvert1BitTo24Bit(&src, &dst, &rec);
  ASSERT_EQ(dst.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(seen, (std::vector<int>{40, 80}));

  TBitmap tsrc, tdst;
  tsrc.SetPixelFormat(pf1bit);
  tsrc.SetSize(11, 2);
  for (int y = 0; y < 2; ++y) std::memcpy(tsrc.GetScanLine(y), kRows[y], 2);
  tdst.SetPixelFormat(pf8bit);
  tdst.SetSize(3, 3);
  IEConvert1BitTBitmapTo24Bit(&tsrc, &tdst);
  ASSERT_EQ(tdst.GetPixelFormat(), pf24bit);
  ASSERT_EQ(tdst.GetWidth(), 11);
  ASSERT_EQ(tdst.GetHeight(), 2);

  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 11; ++x) {
      const uint8_t want = Set(y, x) ? 255 : 0;
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(dst.GetScanline(y)[x * 3 + c], want) << x << "," << y;
        EXPECT_EQ(tdst.GetScanLine(y)[x * 3 + c], want) << x << "," << y;
      }
    }
  // Not 1-bit: nothing happens.
  TIEBitmap gray, out;
  ASSERT_TRUE(gray.Allocate(2, 2, ie8g));
  IEConvert1BitTo24Bit(&gray, &out);
  EXPECT_TRUE(out.IsEmpty());
}

}  // namespace
