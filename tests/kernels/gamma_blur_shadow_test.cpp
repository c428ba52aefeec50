// Gamma tables, the Gaussian kernel and blur, and the soft shadow's canvas and
// intensity rules.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "foundations/image_buffer.h"
#include "kernels/gamma_blur_shadow.h"
#include "platform/gdi/colors.h"
#include "foundations/pixel_utils.h"

namespace {

TEST(Gamma, TablesAndChannels) {
  TIEBitmap B(2, 1, ie24RGB);
  uint8_t* P = B.GetScanline(0);
  P[0] = P[1] = P[2] = 64;
  P[3] = P[4] = P[5] = 255;
  ASSERT_TRUE(IEGammaCorrect(&B, 2.0, iecAll));
  EXPECT_EQ(P[0], 128);  // 127.75 rounded
  EXPECT_EQ(P[5], 255);
  P[0] = P[1] = P[2] = 64;
  ASSERT_TRUE(IEGammaCorrect(&B, 2.0, iecRed));
  EXPECT_EQ(P[0], 64);
  EXPECT_EQ(P[1], 64);
  EXPECT_EQ(P[2], 128);
  ASSERT_TRUE(IEGammaCorrect(&B, 1.0, iecAll));
  EXPECT_EQ(P[2], 128);
  TIEBitmap W(1, 1, ieRGB48);
  W.SetPixel48(0, 0, TRGB48{16384, 1, 65535});
  ASSERT_TRUE(IEGammaCorrect(&W, 2.0, iecAll));
  EXPECT_EQ(W.GetPixel48(0, 0).r, 32768);  // sqrt(16384 / 65535) x 65535 = 32767.75
}

TEST(Gamma, NonPositiveGammaIsRefused) {
  TIEBitmap B(1, 1, ie24RGB);
  B.GetScanline(0)[0] = 77;
  for (double G : {0.0, -1.0, std::nan("")}) {
    EXPECT_FALSE(IEGammaCorrect(&B, G, iecAll));
    EXPECT_EQ(B.GetScanline(0)[0], 77);
  }
}

TEST(Blur, KernelHalfWidths) {
  auto K1 = IEGaussKernel(1.0);
  EXPECT_EQ(K1.HalfWidth, 4);
  int32_t Sum = 0;
  for (int32_t d = -4; d <= 4; ++d) {
    Sum += K1.At(d);
    EXPECT_EQ(K1.At(d), K1.At(-d));
  }
  EXPECT_EQ(Sum, 65535);
  EXPECT_EQ(IEGaussKernel(0.5).HalfWidth, 2);
  EXPECT_EQ(IEGaussKernel(0).HalfWidth, 0);
}

TEST(Blur, UniformStaysAndEdgesSpread) {
  TIEBitmap B(9, 7, ie8g);
  B.Fill(90);
  IEBlur(&B, nullptr, 2.0);
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 9; ++x) ASSERT_EQ(B.GetScanline(y)[x], 90);
  TIEBitmap D(9, 9, ie8g);
  D.Fill(0);
  D.GetScanline(4)[4] = 255;
  IEBlur8Bit(&D, 2, 2, 6, 6, 1.0);
  EXPECT_GT(D.GetScanline(4)[3], 0);
  EXPECT_EQ(D.GetScanline(4)[1], 0);  // outside the rectangle
  EXPECT_EQ(D.GetScanline(4)[3], D.GetScanline(4)[5]);
}

TEST(SoftShadow, GrowsCanvasAndFollowsIntensity) {
  TIEBitmap B(100, 100, ie24RGB);
  B.Fill(clWhite);
  IEAddSoftShadow(&B, 5, 5, 3, 100, true, IECreateRGB(0, 0, 0));
  EXPECT_EQ(B.GetWidth(), 125);
  EXPECT_EQ(B.GetHeight(), 125);
  // The centre stays opaque, the shadow side is darker and partly opaque,
  // the far corner on the other side stays transparent.
  EXPECT_EQ(B.GetAlpha(62, 62), 255);
  EXPECT_GT(B.GetAlpha(117, 117), 0);
  EXPECT_EQ(B.GetScanline(117)[3 * 117], 0);
  EXPECT_EQ(B.GetAlpha(1, 1), 0);

  // Intensity 0 divides the blurred shadow alpha by 3.
  TIEBitmap Full(60, 60, ie24RGB), Faint(60, 60, ie24RGB);
  Full.Fill(clWhite);
  Faint.Fill(clWhite);
  IEAddSoftShadow(&Full, 4, 4, 2, 100, true, IECreateRGB(0, 0, 0));
  IEAddSoftShadow(&Faint, 4, 4, 2, 0, true, IECreateRGB(0, 0, 0));
  int32_t A = Full.GetAlpha(Full.GetWidth() - 3, 40), F = Faint.GetAlpha(Faint.GetWidth() - 3, 40);
  EXPECT_GT(A, 0);
  EXPECT_EQ(F, A / 3);
}

TEST(SoftShadow, RectVariantReturnsMargin) {
  TIEBitmap B(80, 80, ie24RGB);
  B.Fill(clWhite);
  TIEBitmap* Alpha = B.GetAlphaChannel();
  Alpha->Fill(0);
  Alpha->FillRect(20, 20, 39, 39, 255);
  EXPECT_EQ(IEAddSoftShadowRect(&B, 3, 3, 0, 100, IECreateRGB(0, 0, 0), 20, 20, 39, 39), 16);  // 6 + 10
  EXPECT_EQ(IEAddSoftShadowRect(&B, 0, 0, 1.5, 100, IECreateRGB(0, 0, 0), 20, 20, 39, 39), 7);
  EXPECT_GT(B.GetAlpha(41, 41), 0);
  EXPECT_EQ(B.GetAlpha(30, 30), 255);
}

}  // namespace
