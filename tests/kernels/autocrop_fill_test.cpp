// Content rectangles, fills and the bucket fill: a page with a scanner border,
// uniform and dark pages, each pixel format's fill rule, and the connected
// region of similar colour.
#include "kernels/autocrop_fill.h"

#include <gtest/gtest.h>

#include <memory>

#include "foundations/image_buffer.h"
#include "platform/rtl/types.h"

namespace {

TEST(AutoCropRect, FindsThePageInsideAScannerBorder) {
  TIEBitmap B(60, 40, ie24RGB);
  B.Fill(double(0xFFFFFF));
  // Black border: 3 columns left, 5 right, 2 rows top, 4 bottom, and one
  // stray white row inside the top border.
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 60; ++x)
      if (x < 3 || x >= 55 || y < 2 || y >= 36) B.SetPixel24(x, y, TRGB{});
  TRect R{-1, -1, -1, -1};
  ASSERT_TRUE(IEAutoCropRect(&B, R, 2));
  EXPECT_EQ(R, (TRect{3, 2, 54, 35}));
  // Sums are 64-bit: a page whose profile overflows 32 bits still works.
  TIEBitmap Tall(2, 9000000, ie8g);  // 255 x 9e6 per column
  Tall.Fill(255);
  ASSERT_TRUE(IEAutoCropRect(&Tall, R, 2));
  EXPECT_EQ(R, (TRect{0, 0, 1, Tall.GetHeight() - 1}));
}

TEST(AutoCropRect, UniformPagesAndNoContent) {
  TIEBitmap White(20, 10, ie1g);
  White.Fill(1);
  TRect R;
  ASSERT_TRUE(IEAutoCropRect(&White, R, 2));
  EXPECT_EQ(R, (TRect{0, 0, 19, 9}));
  // An all-black page has means of 0: nothing is typical, no rectangle.
  TIEBitmap Black(20, 10, ie1g);
  Black.Fill(0);
  R = TRect{7, 7, 7, 7};
  EXPECT_FALSE(IEAutoCropRect(&Black, R, 2));
  EXPECT_EQ(R, (TRect{7, 7, 7, 7}));
  EXPECT_FALSE(IEAutoCropRect(&White, R, 0));
  TIEBitmap One(1, 1, ie24RGB);
  EXPECT_FALSE(IEAutoCropRect(&One, R, 2));
}

TEST(FillRect, EachFormatsRule) {
  const TRGB Colour{200, 255, 0};  // blue 200, green 255, red 0
  TIEBitmap Mono(10, 4, ie1g);
  Mono.Fill(1);
  IEFillRect(&Mono, 2, 1, 50, 3, Colour);
  EXPECT_EQ(Mono.GetPixelRGB(2, 1).r, 0);  // red 0 paints black
  EXPECT_EQ(Mono.GetPixelRGB(9, 2).r, 0);
  EXPECT_EQ(Mono.GetPixelRGB(1, 1).r, 255);
  EXPECT_EQ(Mono.GetPixelRGB(2, 3).r, 255);
  TIEBitmap Gray(4, 4, ie8g);
  Gray.Fill(0);
  IEFillRect(&Gray, 0, 0, 4, 4, Colour);
  EXPECT_EQ(Gray.GetPixel8(3, 3), (0 * 21 + 255 * 71 + 200 * 8) / 100);
  TIEBitmap Rgb(4, 4, ie24RGB);
  Rgb.Fill(0);
  int32_t Last = -1, Calls = 0;
  IEFillRect(&Rgb, 1, 1, 3, 3, Colour, [&](TObject*, int32_t Per) {
    Last = Per;
    ++Calls;
  });
  EXPECT_EQ(Rgb.GetPixel24(2, 2).b, 200);
  EXPECT_EQ(Rgb.GetPixel24(0, 0).b, 0);
  EXPECT_EQ(Calls, 2);
  EXPECT_EQ(Last, 133);  // Trunc(100 / 1.5 x 2): the caller clamps
  TIEBitmap Cmyk(3, 3, ieCMYK);
  IEFillRect(&Cmyk, 0, 0, 3, 3, TRGB{0, 0, 255});
  EXPECT_EQ(Cmyk.GetPixelRGB(1, 1).r, 255);
  EXPECT_EQ(Cmyk.GetPixelRGB(1, 1).g, 0);
}

TEST(CastColor, PaintsOnlyTheConnectedSimilarRegion) {
  TIEBitmap B(8, 6, ie24RGB);
  B.Fill(double(0xFFFFFF));
  for (int32_t y = 0; y < 6; ++y) B.SetPixel24(4, y, TRGB{});  // a wall
  B.SetPixel24(1, 1, TRGB{250, 250, 250});                     // similar
  IECastColor(&B, 0, 0, TRGB{0, 0, 255}, 10);
  EXPECT_EQ(B.GetPixel24(1, 1).r, 255);
  EXPECT_EQ(B.GetPixel24(1, 1).g, 0);
  EXPECT_EQ(B.GetPixel24(3, 5).r, 255);
  EXPECT_EQ(B.GetPixel24(4, 2).r, 0);   // the wall
  EXPECT_EQ(B.GetPixel24(6, 2).g, 255); // beyond it
  // A point outside does nothing.
  IECastColor(&B, 8, 0, TRGB{}, 255);
  EXPECT_EQ(B.GetPixel24(6, 2).g, 255);
}

}  // namespace
