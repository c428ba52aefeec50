// The camera raw output curve: the white point from the luminance histogram,
// the power curve's arithmetic, clipping, the demosaicing border and the
// camera's turn.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <vector>

#include "formats/raw/raw_tone_curve.h"
#include "foundations/image_buffer.h"

namespace {

using TPixels = std::vector<std::array<uint16_t, 4>>;

TRawLinear Linear(const TPixels& P, int32_t W, int32_t H, int32_t Flip = 0) {
  return TRawLinear{reinterpret_cast<const uint16_t(*)[4]>(P.data()), W, H, Flip};
}

TEST(RawToneCurve, WhitePointSkipsTheBrightestShare) {
  // 990 greys of 1000 and 10 highlights of 60000: the highlights are exactly
  // 1 %, not more, so the white point falls on the greys; Fuji's 0.5 % puts
  // it on the highlights.
  TPixels p(1000, {1000, 1000, 1000, 0});
  for (int32_t i = 0; i < 10; ++i) p[size_t(i * 97)] = {60000, 60000, 60000, 0};
  EXPECT_EQ(MakeRawCurve(Linear(p, 100, 10), false, 1.0, 0.6, false).White, (1000 >> 3) * 16);
  EXPECT_EQ(MakeRawCurve(Linear(p, 100, 10), true, 1.0, 0.6, false).White, (60000 >> 3) * 16);
  // A black picture never divides by zero.
  TPixels black(16, {0, 0, 0, 0});
  EXPECT_EQ(MakeRawCurve(Linear(black, 4, 4), false, 1.0, 0.6, false).White, 1);
}

TEST(RawToneCurve, GreyAtTheBrightestShareComesOutAt221) {
  TPixels p(100, {4000, 4000, 4000, 0});
  const TRawCurve c = MakeRawCurve(Linear(p, 10, 10), false, 1.0, 0.6, false);
  ASSERT_EQ(c.White, 8000) << "16 x the histogram bin of luminance 4000";
  EXPECT_DOUBLE_EQ(c.Lut[0], 0.0);
  // lut[y] = 442 / white x (2y / white)^(gamma - 1)
  EXPECT_NEAR(c.Lut[1000], 442.0 / 8000 * std::pow(0.25, -0.4), 1e-12);
  TPixels half(9, {4000, 4000, 4000, 0});
  TIEBitmap out;
  ASSERT_TRUE(WriteRawCurve(Linear(half, 3, 3), c, 0, false, &out));
  EXPECT_EQ(out.GetScanline(1)[3], 221);
  // Brightness scales it; 16-bit output spreads it over 65535.
  const TRawCurve bright = MakeRawCurve(Linear(p, 10, 10), false, 2.0, 0.6, false);
  ASSERT_TRUE(WriteRawCurve(Linear(half, 3, 3), bright, 0, false, &out));
  EXPECT_EQ(out.GetScanline(0)[0], 255) << "clipped";
  const TRawCurve wide = MakeRawCurve(Linear(p, 10, 10), false, 1.0, 0.6, true);
  ASSERT_TRUE(WriteRawCurve(Linear(half, 3, 3), wide, 0, true, &out));
  ASSERT_EQ(out.GetPixelFormat(), ieRGB48);
  const auto* w = reinterpret_cast<const uint16_t*>(out.GetScanline(2));
  EXPECT_EQ(w[0], uint16_t(221.0 * 65535.0 / 255.0));
}

TEST(RawToneCurve, BorderAndTurn) {
  // 4 x 3 pixels whose red channel numbers them, through a curve of factor 1
  // that keeps the values.
  TPixels p(12);
  for (int32_t i = 0; i < 12; ++i) p[size_t(i)] = {uint16_t(10 + i), 0, 0, 0};
  TRawCurve flat;
  flat.Lut.assign(65536, 1.0);
  TIEBitmap out;
  ASSERT_TRUE(WriteRawCurve(Linear(p, 4, 3), flat, 1, false, &out));
  EXPECT_EQ(out.GetWidth(), 2);
  EXPECT_EQ(out.GetHeight(), 1);
  EXPECT_EQ(out.GetScanline(0)[2], 15);
  EXPECT_EQ(out.GetScanline(0)[5], 16);
  // Flip 6 (swap, then mirror the columns): a quarter turn clockwise.
  ASSERT_TRUE(WriteRawCurve(Linear(p, 4, 3, 6), flat, 0, false, &out));
  ASSERT_EQ(out.GetWidth(), 3);
  ASSERT_EQ(out.GetHeight(), 4);
  EXPECT_EQ(out.GetScanline(0)[2], 10 + 8) << "top left is the old bottom left";
  EXPECT_EQ(out.GetScanline(0)[3 * 2 + 2], 10) << "top right is the old top left";
  // Flip 3: half a turn.
  ASSERT_TRUE(WriteRawCurve(Linear(p, 4, 3, 3), flat, 0, false, &out));
  EXPECT_EQ(out.GetScanline(0)[2], 10 + 11);
  // Nothing inside the border.
  EXPECT_FALSE(WriteRawCurve(Linear(p, 4, 3), flat, 2, false, &out));
}

}  // namespace
