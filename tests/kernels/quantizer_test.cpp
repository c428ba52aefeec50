// Colour quantizer: exact palettes, gray ramps, source palettes, and the
// median-cut and NeuQuant builders judged by how close the mapped colours are.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "foundations/pixel_utils.h"
#include "kernels/quantizer.h"

namespace {

const TRGB kSentinel = IECreateRGB(1, 2, 3);

std::unique_ptr<TIEBitmap> Make24(int W, int H, TRGB (*Colour)(int, int)) {
  auto b = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(b->Allocate(W, H, ie24RGB));
  for (int y = 0; y < H; ++y) {
    TRGB* row = reinterpret_cast<TRGB*>(b->GetScanline(y));
    for (int x = 0; x < W; ++x) row[x] = Colour(x, y);
  }
  return b;
}

// A smooth colour field with thousands of distinct colours.
TRGB Photo(int X, int Y) {
  return IECreateRGB(uint8_t(X * 4), uint8_t(Y * 4), uint8_t(255 - (X + Y) * 2));
}

// Mean and largest channel error of mapping every pixel to its palette entry.
void MappingError(TIEBitmap* B, TIEQuantizer& Q, const std::vector<TRGB>& Pal, double& Mean,
                  int& Max) {
  int64_t sum = 0;
  Max = 0;
  int64_t n = 0;
  for (int y = 0; y < B->GetHeight(); ++y) {
    const TRGB* row = reinterpret_cast<const TRGB*>(B->GetScanline(y));
    for (int x = 0; x < B->GetWidth(); ++x) {
      const int i = Q.ColorToIndex(row[x]);
      EXPECT_GE(i, 0);
      EXPECT_LT(i, int(Pal.size()));
      const TRGB& p = Pal[size_t(i)];
      const int e = std::abs(p.r - row[x].r) + std::abs(p.g - row[x].g) + std::abs(p.b - row[x].b);
      sum += e;
      Max = std::max(Max, e);
      ++n;
    }
  }
  Mean = double(sum) / double(n) / 3;
}

TEST(Quantizer, ExactPaletteInOrderOfFirstAppearance) {
  auto b = Make24(20, 20, [](int x, int y) {
    const int i = (y * 20 + x) % 200;  // 200 distinct colours, then repeats
    return IECreateRGB(uint8_t(i), uint8_t(255 - i), uint8_t(i / 2));
  });
  std::vector<TRGB> pal(256, kSentinel);
  TIEQuantizer q(b.get(), pal, 256);
  EXPECT_TRUE(q.HasExactPalette());
  EXPECT_EQ(q.GetExactCount(), 200);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(pal[i], IECreateRGB(uint8_t(i), uint8_t(255 - i), uint8_t(i / 2))) << i;
    EXPECT_EQ(q.ColorToIndex(pal[i]), i);
  }
  for (int i = 200; i < 256; ++i) EXPECT_EQ(pal[i], kSentinel) << i;
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(7, 7, 8)), -1);

  // A buffer shorter than the colour count is never overrun.
  std::vector<TRGB> small(4, kSentinel);
  TIEQuantizer q2(b.get(), small.data(), 4, 256);
  EXPECT_EQ(q2.GetExactCount(), 200);
  EXPECT_EQ(small[3], IECreateRGB(3, 252, 1));
}

TEST(Quantizer, HugeRequestsStayBounded) {
  // Every pixel a different colour, asked for far more colours than exist:
  // the exact palette, quickly, and nothing written beyond the buffer.
  auto b = Make24(128, 128, [](int x, int y) {
    return IECreateRGB(uint8_t(x * 2), uint8_t(y * 2), uint8_t((x + y) & 1));
  });
  std::vector<TRGB> pal(16, kSentinel);
  TIEQuantizer q(b.get(), pal, 1000000000);
  EXPECT_EQ(q.GetColorCount(), 65536);
  EXPECT_EQ(q.GetExactCount(), 128 * 128);
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(254, 254, 0)), 128 * 128 - 1);
  TIEQuantizer none(b.get(), nullptr, 0, -5);
  EXPECT_EQ(none.GetColorCount(), 1);
}

TEST(Quantizer, GrayImagesGetARamp) {
  auto b = Make24(64, 4, [](int x, int) { return IECreateRGB(uint8_t(x * 4), uint8_t(x * 4), uint8_t(x * 4)); });
  std::vector<TRGB> pal(16, kSentinel);
  TIEQuantizer q(b.get(), pal, 16);
  EXPECT_TRUE(q.GetIsGray());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(pal[i], IECreateRGB(uint8_t(i * 16), uint8_t(i * 16), uint8_t(i * 16)));
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(255, 255, 255)), 15);
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(15, 15, 15)), 0);
  std::vector<TRGB> two(2);
  TIEQuantizer q2(b.get(), two, 2);
  EXPECT_EQ(two[1], IECreateRGB(128, 128, 128));
}

TEST(Quantizer, PaletteImagesKeepTheirPalette) {
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(4, 1, ie8p));
  // A gray palette that is not a ramp: black and white only.
  b.SetPaletteColor(0, IECreateRGB(0, 0, 0));
  b.SetPaletteColor(1, IECreateRGB(255, 255, 255));
  b.SetPaletteColor(2, IECreateRGB(255, 255, 255));
  b.SetPaletteColor(3, IECreateRGB(10, 200, 30));
  std::vector<TRGB> pal(256, kSentinel);
  TIEQuantizer q(&b, pal, 4);
  EXPECT_EQ(pal[3], IECreateRGB(10, 200, 30));
  EXPECT_EQ(pal[4], kSentinel);
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(255, 255, 255)), 1);  // the first equal entry
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(10, 200, 30)), 3);
  EXPECT_EQ(q.ColorToIndex(IECreateRGB(12, 190, 30)), 3);   // not in it: the nearest
}

TEST(Quantizer, MedianCutBelow128ColoursNeuQuantFrom128) {
  const int32_t savedMethod = IEColorReductionAlgorithm;
  IEColorReductionAlgorithm = -1;
  auto b = Make24(64, 64, Photo);
  {
    std::vector<TRGB> pal(256, kSentinel);
    TIEQuantizer q(b.get(), pal, 64);
    EXPECT_FALSE(q.HasExactPalette());
    EXPECT_EQ(q.GetMethod(), 1);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(pal[i].r % 8, 0);
      EXPECT_EQ(pal[i].g % 8, 0);
      EXPECT_EQ(pal[i].b % 8, 0);
    }
    EXPECT_EQ(pal[64], kSentinel);
    pal.resize(64);
    double mean;
    int max;
    MappingError(b.get(), q, pal, mean, max);
    EXPECT_LT(mean, 11.0);
    EXPECT_LT(max, 80);
  }
  {
    std::vector<TRGB> pal(256, kSentinel);
    TIEQuantizer q(b.get(), pal, 256);
    EXPECT_EQ(q.GetMethod(), 0);
    double mean;
    int max;
    MappingError(b.get(), q, pal, mean, max);
    EXPECT_LT(mean, 7.5);
    EXPECT_LT(max, 70);
  }
  // Forced median cut with one colour: one box holding the mean colour.
  IEColorReductionAlgorithm = 1;
  auto two = Make24(8, 8, [](int x, int) {
    return x < 4 ? IECreateRGB(200, 0, 0) : IECreateRGB(0, 0, 200);
  });
  std::vector<TRGB> one(1);
  TIEQuantizer q1(two.get(), one, 1);
  EXPECT_EQ(q1.GetMethod(), 1);
  EXPECT_EQ(one[0], IECreateRGB(96, 0, 96));  // 12.5 rounds to 12 (even), times 8
  EXPECT_EQ(q1.ColorToIndex(IECreateRGB(200, 0, 0)), 0);
  IEColorReductionAlgorithm = savedMethod;
}

TEST(Quantizer, NearestIndexPrefersTheFirst) {
  const TRGB pal[] = {IECreateRGB(10, 10, 10), IECreateRGB(30, 30, 30), IECreateRGB(20, 20, 20)};
  EXPECT_EQ(IEFindNearestColorIndex(pal, 3, IECreateRGB(15, 15, 15)), 0);
  EXPECT_EQ(IEFindNearestColorIndex(pal, 3, IECreateRGB(26, 26, 26)), 1);
  EXPECT_EQ(IEFindNearestColorIndex(pal, 0, IECreateRGB(26, 26, 26)), 0);
}

}  // namespace
