// Rotation kernels: exact quarter turns, the turned size, the background of
// new corners (also on 1-bit pages) and the high-quality kernels' frame.
#include <gtest/gtest.h>

#include <cstring>

#include "foundations/image_buffer.h"
#include "kernels/rotate_kernels.h"
#include "platform/rtl/sysutils.h"
#include "foundations/pixel_utils.h"

#include <cmath>
#include "platform/gdi/colors.h"

namespace {

std::unique_ptr<TIEBitmap> Numbered(int32_t W, int32_t H) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie8g);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) B->GetScanline(y)[x] = uint8_t(10 * y + x + 1);
  return B;
}

TEST(Rotate, QuarterTurnsAndCopies) {
  auto S = Numbered(3, 2);  // 1 2 3 / 11 12 13
  struct Case {
    double Angle;
    int32_t W, H;
    uint8_t TopLeft;
  } Cases[] = {{90, 2, 3, 3}, {-270, 2, 3, 3}, {-90, 2, 3, 11}, {270, 2, 3, 11},
               {180, 3, 2, 13}, {-180, 3, 2, 13}, {0, 3, 2, 1}, {360, 3, 2, 1}};
  for (const Case& C : Cases) {
    TIEBitmap D;
    IERotateInto(S.get(), &D, 0, C.Angle);
    ASSERT_EQ(D.GetWidth(), C.W) << C.Angle;
    ASSERT_EQ(D.GetHeight(), C.H) << C.Angle;
    EXPECT_EQ(D.GetScanline(0)[0], C.TopLeft) << C.Angle;
  }
  TIEBitmap D;
  IERotateInto(S.get(), &D, 0, 90);
  EXPECT_EQ(D.GetScanline(2)[1], 11);  // bottom-right is the source's bottom-left
}

TEST(Rotate, GeneralSizeAndBackground) {
  TIEBitmap S(100, 50, ie24RGB), D;
  S.Fill(clBlack);
  IERotateInto(&S, &D, clWhite, 30);
  EXPECT_EQ(D.GetWidth(), 112);
  EXPECT_EQ(D.GetHeight(), 93);
  EXPECT_EQ(D.GetScanline(0)[0], 255);                 // corner keeps the background
  EXPECT_EQ(D.GetScanline(46)[3 * 56], 0);             // centre is the picture
}

TEST(Rotate, OneBitCornersTakeTheAskedBackground) {
  TIEBitmap Page(200, 100, ie1g);
  Page.Fill(1);
  Page.GetScanline(50)[12] = 0x00;  // a few black pixels keep their value
  IERotateGeneric(&Page, 1, 2);
  ASSERT_EQ(Page.GetPixelFormat(), ie1g);
  EXPECT_EQ(Page.GetScanline(0)[0] & 0x80, 0x80) << "corner must be white for a page";
  int32_t Black = 0;
  for (int32_t y = 0; y < Page.GetHeight(); ++y)
    for (int32_t x = 0; x < Page.GetWidth(); ++x) Black += !((Page.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1);
  EXPECT_GT(Black, 4);
  EXPECT_LT(Black, 20);
  TIEBitmap Dark(20, 20, ie1g), D;
  Dark.Fill(1);
  IERotateInto(&Dark, &D, 0, 45);
  EXPECT_EQ(D.GetScanline(0)[0] & 0x80, 0);  // black when black is asked for
}

TEST(Rotate, HighQualityFrameAndClamping) {
  TIEBitmap S(20, 20, ie24RGB);
  S.Fill(clWhite);
  TRGB Bg{};
  IERotateHQ24(&S, Bg, 2, 10);
  // Padded 26 x 26 turned by 10 degrees, three pixels cut from every side.
  EXPECT_EQ(S.GetWidth(), IERound(std::fabs(std::cos(10 * M_PI / 180)) * 25 + std::fabs(std::sin(10 * M_PI / 180)) * 25) - 6);
  // White against black: bicubic overshoot stays at 255, undershoot at 0.
  int32_t Lo = 255, Hi = 0;
  for (int32_t y = 0; y < S.GetHeight(); ++y)
    for (int32_t x = 0; x < S.GetWidth() * 3; ++x) {
      Lo = std::min<int32_t>(Lo, S.GetScanline(y)[x]);
      Hi = std::max<int32_t>(Hi, S.GetScanline(y)[x]);
    }
  EXPECT_EQ(Hi, 255);
  EXPECT_EQ(Lo, 0);
  // A black picture on white: undershoot below the black picture clamps to 0,
  // never reflects into a light fringe.
  TIEBitmap K(20, 20, ie24RGB);
  K.Fill(clBlack);
  IERotateHQ24(&K, IECreateRGB(255, 255, 255), 2, 10);
  const uint8_t* Mid = K.GetScanline(K.GetHeight() / 2);
  for (int32_t x = 1; x <= K.GetWidth() / 2; ++x) EXPECT_LE(Mid[3 * x], Mid[3 * (x - 1)]) << x;
  EXPECT_EQ(Mid[3 * (K.GetWidth() / 2)], 0);
}

TEST(Rotate, FlipBothWays) {
  auto S = Numbered(3, 2);
  IEFlip(S.get(), 0);
  EXPECT_EQ(S->GetScanline(0)[0], 3);
  IEFlip(S.get(), 1);
  EXPECT_EQ(S->GetScanline(0)[0], 13);
}

}  // namespace
