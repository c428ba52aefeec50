// Negative of every pixel format, bitwise inversion and the alpha extent.
#include "kernels/flip_negative.h"

#include <gtest/gtest.h>

#include <cstring>

#include "foundations/colour_conversion.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"

namespace {

TEST(Negative, EveryFormatInvertsOnePixel) {
  TIEBitmap G(3, 1, ie8g);
  G.SetPixel8(1, 0, 10);
  IENegative(&G, 0, 0, 3, 1);
  EXPECT_EQ(G.GetPixel8(1, 0), 245);

  TIEBitmap G16(1, 1, ie16g);
  G16.SetPixel16(0, 0, 1000);
  IENegative(&G16, 0, 0, 1, 1);
  EXPECT_EQ(G16.GetPixel16(0, 0), 64535);

  TIEBitmap F(1, 1, ie32f);
  F.SetPixelFloat(0, 0, 0.25f);
  IENegative(&F, 0, 0, 1, 1);
  EXPECT_FLOAT_EQ(F.GetPixelFloat(0, 0), 0.75f);

  TIEBitmap D(1, 1, ieRGB48);
  TRGB48 V;
  V.r = 0, V.g = 65535, V.b = 0;
  D.SetPixel48(0, 0, V);
  IENegative(&D, 0, 0, 1, 1);
  EXPECT_EQ(D.GetPixel48(0, 0).r, 65535);
  EXPECT_EQ(D.GetPixel48(0, 0).g, 0);
  EXPECT_EQ(D.GetPixel48(0, 0).b, 65535);

  TIEBitmap Q(1, 1, ie32RGB);
  const uint8_t Px[4] = {1, 2, 3, 77};
  std::memcpy(Q.GetScanline(0), Px, 4);
  IENegative(&Q, 0, 0, 1, 1);
  EXPECT_EQ(Q.GetScanline(0)[0], 254);
  EXPECT_EQ(Q.GetScanline(0)[3], 77);

  TIEBitmap P(1, 1, ie8p);
  P.SetPaletteColor(0, IECreateRGB(10, 20, 30));
  IENegative(&P, 0, 0, 1, 1);
  EXPECT_TRUE(IESameRGB(P.GetPaletteColor(0), IECreateRGB(245, 235, 225)));

  TIEBitmap C(1, 1, ieCMYK);
  C.SetPixel32(0, 0, IERgbToCmykPixel(IECreateRGB(0, 0, 0)));
  IENegative(&C, 0, 0, 1, 1);
  EXPECT_TRUE(IESameRGB(IECmykToRgb(C.GetPixel32(0, 0)), IECreateRGB(255, 255, 255)));
}

TEST(Negative, OneBitRectanglesOfAnyAlignment) {
  // Byte-aligned and bit-aligned rectangles toggle exactly their bits.
  struct {
    int32_t X1, X2;
  } Rows[] = {{0, 21}, {3, 17}, {8, 16}, {5, 6}, {9, 21}};
  for (auto& Row : Rows) {
    TIEBitmap B(21, 3, ie1g);
    B.Fill(0);
    IENegative(&B, Row.X1, 1, Row.X2, 2);
    for (int32_t y = 0; y < 3; ++y)
      for (int32_t x = 0; x < 21; ++x) {
        const bool Set = (B.GetScanline(y)[x >> 3] >> (7 - (x & 7))) & 1;
        EXPECT_EQ(Set, y == 1 && x >= Row.X1 && x < Row.X2) << Row.X1 << ".." << Row.X2 << " x=" << x;
      }
  }
}

TEST(Negative, InvertBitmapCoversPaddingAndBufferInverts) {
  TIEBitmap B(3, 2, ie1g);
  B.Fill(0);
  IEInvertBitmap(&B);
  for (int64_t i = 0; i < B.GetRowLen(); ++i) EXPECT_EQ(B.GetScanline(1)[i], 255);
  uint8_t Buf[3] = {0, 0x0F, 0xFF};
  IEInvertBuffer(Buf, 3);
  EXPECT_EQ(Buf[0], 0xFF);
  EXPECT_EQ(Buf[1], 0xF0);
  EXPECT_EQ(Buf[2], 0);
}

TEST(AlphaExtent, TrimsTransparentEdges) {
  TIEBitmap B(6, 5, ie24RGB);
  TIEAlphaExtent R = IEGetAlphaExtent(&B);
  EXPECT_EQ(R.Left, 0);
  EXPECT_EQ(R.Right, 5);
  EXPECT_EQ(R.Bottom, 4);
  B.GetAlphaChannel()->Fill(0);
  R = IEGetAlphaExtent(&B);
  EXPECT_EQ(R.Left, 6);
  EXPECT_EQ(R.Right, -1);
  EXPECT_EQ(R.Top, 5);
  EXPECT_EQ(R.Bottom, -1);
  B.SetAlpha(2, 1, 9);
  B.SetAlpha(4, 3, 9);
  R = IEGetAlphaExtent(&B);
  EXPECT_EQ(R.Left, 2);
  EXPECT_EQ(R.Right, 4);
  EXPECT_EQ(R.Top, 1);
  EXPECT_EQ(R.Bottom, 3);
}

}  // namespace
