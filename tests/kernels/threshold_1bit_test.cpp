// Reduction to 1 bit: fixed, mean-gray and maximum-entropy thresholds over
// every pixel format, the in-place ordered dither, and the mean colour.
#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "kernels/average_colour.h"
#include "foundations/pixel_utils.h"
#include "kernels/threshold_1bit.h"

namespace {

bool BitAt(TIEBitmap* B, int X, int Y) { return B->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7)); }

std::unique_ptr<TIEBitmap> Row24(const std::vector<TRGB>& Px) {
  auto b = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(b->Allocate(int(Px.size()), 1, ie24RGB));
  std::memcpy(b->GetScanline(0), Px.data(), Px.size() * 3);
  return b;
}

TEST(Threshold, FixedThresholdIsInclusive) {
  auto src = Row24({IECreateRGB(127, 127, 127), IECreateRGB(128, 128, 128),
                    IECreateRGB(255, 0, 0), IECreateRGB(0, 255, 0)});
  TIEBitmap dst;
  IEThresholdTo1Bit(src.get(), &dst, 128);
  ASSERT_EQ(dst.GetPixelFormat(), ie1g);
  EXPECT_FALSE(BitAt(&dst, 0, 0));
  EXPECT_TRUE(BitAt(&dst, 1, 0));
  EXPECT_FALSE(BitAt(&dst, 2, 0));  // pure red is gray 53
  EXPECT_TRUE(BitAt(&dst, 3, 0));   // pure green is gray 181
  EXPECT_EQ(src->GetPixelFormat(), ie24RGB);
}

TEST(Threshold, EveryFormatIsReadAsItsGray) {
  struct Case {
    TIEPixelFormat Format;
    std::vector<uint8_t> Bytes;  // two pixels: one dark, one light
  } cases[] = {
      {ie8g, {100, 150}},
      {ie16g, {0xFF, 100, 0x00, 150}},  // the high byte counts
      {ie32RGB, {100, 100, 100, 0, 150, 150, 150, 0}},
      {ieRGB48, {0, 100, 0, 100, 0, 100, 0, 150, 0, 150, 0, 150}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Format));
    TIEBitmap src;
    ASSERT_TRUE(src.Allocate(2, 1, c.Format));
    std::memcpy(src.GetScanline(0), c.Bytes.data(), c.Bytes.size());
    TIEBitmap dst;
    IEThresholdTo1Bit(&src, &dst, 128);
    EXPECT_FALSE(BitAt(&dst, 0, 0));
    EXPECT_TRUE(BitAt(&dst, 1, 0));
  }
  // Floats are clamped, NaN is black.
  TIEBitmap f;
  ASSERT_TRUE(f.Allocate(3, 1, ie32f));
  float* fs = reinterpret_cast<float*>(f.GetScanline(0));
  fs[0] = 7.0f;
  fs[1] = -3.0f;
  fs[2] = std::numeric_limits<float>::quiet_NaN();
  TIEBitmap d;
  IEThresholdTo1Bit(&f, &d, 128);
  EXPECT_TRUE(BitAt(&d, 0, 0));
  EXPECT_FALSE(BitAt(&d, 1, 0));
  EXPECT_FALSE(BitAt(&d, 2, 0));
}

TEST(Threshold, MeanAndMaximumEntropy) {
  // Mean gray of 0, 40, 60, 100 is 50: 40 stays black, 60 turns white.
  auto src = Row24({IECreateRGB(0, 0, 0), IECreateRGB(40, 40, 40), IECreateRGB(60, 60, 60),
                    IECreateRGB(100, 100, 100)});
  TIEBitmap dst;
  IEThresholdTo1Bit(src.get(), &dst, -1);
  EXPECT_EQ(dst.GetScanline(0)[0] & 0xF0, 0x30);

  // Dark and light populations of two levels each: the entropy threshold
  // falls between them.
  std::vector<TRGB> px;
  for (int i = 0; i < 10; ++i) px.push_back(IECreateRGB(20, 20, 20));
  for (int i = 0; i < 10; ++i) px.push_back(IECreateRGB(40, 40, 40));
  for (int i = 0; i < 6; ++i) px.push_back(IECreateRGB(200, 200, 200));
  for (int i = 0; i < 6; ++i) px.push_back(IECreateRGB(230, 230, 230));
  auto two = Row24(px);
  IEThresholdTo1Bit(two.get(), &dst, -2);
  for (int x = 0; x < 32; ++x) EXPECT_EQ(BitAt(&dst, x, 0), x >= 20) << x;

  // A uniform image has no entropy split: everything is white.
  auto flat = Row24(std::vector<TRGB>(10, IECreateRGB(90, 90, 90)));
  IEThresholdTo1Bit(flat.get(), &dst, -2);
  for (int x = 0; x < 10; ++x) EXPECT_TRUE(BitAt(&dst, x, 0));
}

TEST(Threshold, InPlaceReductions) {
  // Near-white (all channels above 250) is always white; (250, 255, 255) is
  // level 63 and black only where the matrix holds 63.
  auto img = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(img->Allocate(8, 16, ie24RGB));
  for (int y = 0; y < 16; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(img->GetScanline(y));
    for (int x = 0; x < 8; ++x) row[x] = y < 8 ? IECreateRGB(251, 251, 251) : IECreateRGB(250, 255, 255);
  }
  IEConvertTo1BitOrdered(img.get());
  ASSERT_EQ(img->GetPixelFormat(), ie1g);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 8; ++x)
      EXPECT_EQ(BitAt(img.get(), x, y), y < 8 || IEOrderedDitherMatrix[x][y & 7] != 63) << x << "," << y;

  auto t = Row24({IECreateRGB(10, 10, 10), IECreateRGB(200, 200, 200)});
  IEConvertTo1BitThreshold(t.get(), 100);
  ASSERT_EQ(t->GetPixelFormat(), ie1g);
  EXPECT_EQ(t->GetScanline(0)[0] & 0xC0, 0x40);

  // Progress after each row: Trunc(100 / (height + 0.5) x rows done).
  std::vector<int> seen;
  TIEProgressRec rec;
  rec.fOnProgress = [&](TObject*, int32_t p) { seen.push_back(p); };
  auto three = std::make_unique<TIEBitmap>();
  ASSERT_TRUE(three->Allocate(4, 3, ie24RGB));
  IEConvertTo1BitOrdered(three.get(), &rec);
  EXPECT_EQ(seen, (std::vector<int>{28, 57, 85}));
  seen.clear();
  TIEBitmap src3, dst3;
  ASSERT_TRUE(src3.Allocate(4, 3, ie8g));
  IEThresholdTo1Bit(&src3, &dst3, 10, &rec);
  EXPECT_EQ(seen, (std::vector<int>{28, 57, 85}));

  // Other formats are left alone.
  TIEBitmap g;
  ASSERT_TRUE(g.Allocate(2, 2, ie8g));
  IEConvertTo1BitOrdered(&g);
  EXPECT_EQ(g.GetPixelFormat(), ie8g);
}

TEST(Threshold, AverageColourDividesRowByRow) {
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(2, 2, ie1g));
  b.GetScanline(0)[0] = 0x80;
  b.GetScanline(1)[0] = 0x00;
  int r, g, bl;
  IEGetAverageRGB(&b, r, g, bl);
  EXPECT_EQ(r, 63);  // (255 div 2 + 0) div 2
  EXPECT_EQ(g, 63);
  EXPECT_EQ(bl, 63);
  TIEBitmap w;
  ASSERT_TRUE(w.Allocate(1, 1, ie16g));
  reinterpret_cast<uint16_t*>(w.GetScanline(0))[0] = 65535;
  IEGetAverageRGB(&w, r, g, bl);
  EXPECT_EQ(r, 255);
  TIEBitmap empty;
  IEGetAverageRGB(&empty, r, g, bl);
  EXPECT_EQ(r + g + bl, 0);
}

}  // namespace
