// Plain stretch, packed DIB decoding (colour tables, top-down rows, run-length
// rows, bit fields, YUV, sizes checked against the block) and row conversion.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/dib_stretch.h"
#include "foundations/pixel_utils.h"

namespace {

void Put32(std::vector<uint8_t>& V, size_t At, uint32_t X) {
  for (int i = 0; i < 4; ++i) V[At + i] = uint8_t(X >> (8 * i));
}

// A BITMAPINFOHEADER followed by Table (4-byte entries) and Rows.
std::vector<uint8_t> Dib(int32_t W, int32_t H, uint16_t Bits, uint32_t Compression,
                         std::vector<uint32_t> Table, std::vector<uint8_t> Rows) {
  std::vector<uint8_t> V(40 + Table.size() * 4);
  Put32(V, 0, 40);
  Put32(V, 4, uint32_t(W));
  Put32(V, 8, uint32_t(H));
  V[12] = 1;
  V[14] = uint8_t(Bits);
  Put32(V, 16, Compression);
  Put32(V, 32, uint32_t(Table.size()));
  for (size_t i = 0; i < Table.size(); ++i) Put32(V, 40 + 4 * i, Table[i]);
  V.insert(V.end(), Rows.begin(), Rows.end());
  return V;
}

TEST(Stretch, NearestColumnsAndPalette) {
  TIEBitmap S(4, 1, ie8p), D(2, 1, ie8p), E(8, 1, ie8p);
  for (int i = 0; i < 4; ++i) S.GetScanline(0)[i] = uint8_t(i + 1);
  S.SetPaletteColor(3, IECreateRGB(1, 2, 3));
  _IEBmpStretchEx(&S, &D);
  EXPECT_EQ(D.GetScanline(0)[0], 1);
  EXPECT_EQ(D.GetScanline(0)[1], 3);
  EXPECT_TRUE(D.GetPaletteColor(3) == IECreateRGB(1, 2, 3));
  _IEBmpStretchEx(&S, &E);
  EXPECT_EQ(std::vector<uint8_t>(E.GetScanline(0), E.GetScanline(0) + 8),
            (std::vector<uint8_t>{1, 1, 2, 2, 3, 3, 4, 4}));
}

// Every destination pixel is the source pixel at the nearest-below position,
// for every pixel size, shrinking, enlarging and at the same width; the
// padding bits of 1-bit rows keep what the destination held.
TEST(Stretch, MatchesPerPixelNearestForEveryShape) {
  struct TCase {
    TIEPixelFormat Fmt;
    int32_t SW, SH, DW, DH;
  };
  const TCase Cases[] = {{ie1g, 37, 11, 37, 23}, {ie1g, 1728, 9, 1728, 10}, {ie1g, 45, 13, 17, 5},
                         {ie1g, 19, 7, 61, 15},  {ie1g, 8, 3, 9, 3},         {ie8g, 13, 9, 29, 20},
                         {ie24RGB, 21, 8, 10, 17}, {ieRGB48, 9, 5, 9, 11},   {ie32RGB, 12, 6, 25, 4}};
  for (const TCase& C : Cases) {
    SCOPED_TRACE(::testing::Message() << int(C.Fmt) << " " << C.SW << "x" << C.SH << " -> " << C.DW << "x" << C.DH);
    TIEBitmap S(C.SW, C.SH, C.Fmt), D(C.DW, C.DH, C.Fmt);
    uint32_t Seed = 12345;
    for (int32_t y = 0; y < C.SH; ++y)
      for (int32_t b = 0; b < S.GetRowLen(); ++b) {
        Seed = Seed * 1103515245 + 12345;
        // 1-bit rows mostly plain white or black bytes, as on a page.
        const bool Plain = C.Fmt == ie1g && ((Seed >> 8) & 3) != 0;
        S.GetScanline(y)[b] = Plain ? uint8_t((Seed >> 12) & 1 ? 0xFF : 0x00) : uint8_t(Seed >> 16);
      }
    for (int32_t y = 0; y < C.DH; ++y) std::memset(D.GetScanline(y), 0x5A, size_t(D.GetRowLen()));
    _IEBmpStretchEx(&S, &D);
    const int32_t Bpp = IEBitCountOf(C.Fmt) / 8;
    for (int32_t y = 0; y < C.DH; ++y) {
      const uint8_t* Sr = S.GetScanline(std::min(int32_t(double(C.SH) / C.DH * y), C.SH - 1));
      const uint8_t* Dr = D.GetScanline(y);
      for (int32_t x = 0; x < C.DW; ++x) {
        const int32_t X = std::min(int32_t(double(C.SW) / C.DW * x), C.SW - 1);
        if (C.Fmt == ie1g)
          ASSERT_EQ((Dr[x >> 3] >> (7 - (x & 7))) & 1, (Sr[X >> 3] >> (7 - (X & 7))) & 1) << "row " << y << " col " << x;
        else
          ASSERT_EQ(std::memcmp(Dr + size_t(Bpp) * x, Sr + size_t(Bpp) * X, size_t(Bpp)), 0) << "row " << y << " col " << x;
      }
      if (C.Fmt == ie1g && (C.DW & 7)) {
        const uint8_t Pad = uint8_t(0xFF >> (C.DW & 7));
        EXPECT_EQ(Dr[C.DW >> 3] & Pad, 0x5A & Pad) << "row " << y;
      }
    }
  }
}

TEST(DIB, OneBitAppliesItsColourTable) {
  // Bits 1010... with table (white, black): set bits are black.
  auto V = Dib(8, 1, 1, 0, {0xFFFFFF, 0x000000}, {0xAA, 0, 0, 0});
  TIEBitmap B;
  ASSERT_EQ(IECopyDIBToBitmap(V.data(), V.size(), &B), 1);
  ASSERT_EQ(B.GetPixelFormat(), ie1g);
  EXPECT_EQ(B.GetScanline(0)[0], 0x55);  // white pixels are set bits here
  auto N = Dib(8, 1, 1, 0, {0x000000, 0xFFFFFF}, {0xAA, 0, 0, 0});
  ASSERT_EQ(IECopyDIBToBitmap(N.data(), N.size(), &B), 1);
  EXPECT_EQ(B.GetScanline(0)[0], 0xAA);
}

TEST(DIB, RowsBottomUpAndTopDown) {
  // Two 8-bit rows: first stored row 0, second 1.
  std::vector<uint32_t> T{0x000000, 0xFF0000};
  auto Up = Dib(1, 2, 8, 0, T, {0, 0, 0, 0, 1, 0, 0, 0});
  auto Down = Dib(1, -2, 8, 0, T, {0, 0, 0, 0, 1, 0, 0, 0});
  TIEBitmap B;
  ASSERT_EQ(IECopyDIBToBitmap(Up.data(), Up.size(), &B), 8);
  EXPECT_EQ(B.GetScanline(0)[2], 255);  // last stored row is the top
  ASSERT_EQ(IECopyDIBToBitmap(Down.data(), Down.size(), &B), 8);
  EXPECT_EQ(B.GetHeight(), 2);
  EXPECT_EQ(B.GetScanline(1)[2], 255);
}

TEST(DIB, RunLengthDecodedAndBadBlocksRefused) {
  // RLE8: 3 pixels of index 1, end of line, 2 absolute... end of bitmap.
  std::vector<uint32_t> T{0x000000, 0x00FF00, 0x0000FF};
  auto R = Dib(3, 1, 8, 1, T, {3, 1, 0, 0, 0, 1});
  TIEBitmap B;
  ASSERT_EQ(IECopyDIBToBitmap(R.data(), R.size(), &B), 8);
  EXPECT_EQ(B.GetScanline(0)[3 * 2 + 1], 255);
  // Truncated rows, absurd sizes, tables beyond the block: refused.
  auto Short = Dib(100, 100, 24, 0, {}, std::vector<uint8_t>(100));
  EXPECT_EQ(IECopyDIBToBitmap(Short.data(), Short.size(), &B), 0);
  auto Huge = Dib(0x7FFFFFFF, 0x7FFFFFFF, 24, 0, {}, {});
  EXPECT_EQ(IECopyDIBToBitmap(Huge.data(), Huge.size(), &B), 0);
  auto Table = Dib(1, 1, 8, 0, {}, {});
  Put32(Table, 32, 200);  // 200 entries claimed, none there
  EXPECT_EQ(IECopyDIBToBitmap(Table.data(), Table.size(), &B), 0);
  auto Fields24 = Dib(1, 1, 24, 3, {0, 0, 0}, {1, 2, 3, 0});
  EXPECT_EQ(IECopyDIBToBitmap(Fields24.data(), Fields24.size(), &B), 0);
  EXPECT_EQ(IECopyDIBToBitmap(Short.data(), 39, &B), 0);
}

TEST(DIB, SixteenBitAndYUV) {
  auto V = Dib(1, 1, 16, 0, {}, {0x00, 0x7C, 0, 0});  // pure red in 5-5-5
  TIEBitmap B;
  ASSERT_EQ(IECopyDIBToBitmap(V.data(), V.size(), &B), 16);
  EXPECT_EQ(B.GetScanline(0)[2], 0xF8);
  EXPECT_EQ(B.GetScanline(0)[0], 0);
  // YUY2 2x1: (16,128,128) black and (235,128,128) white.
  auto Y = Dib(2, 1, 16, 0x32595559, {}, {});
  uint8_t Px[] = {16, 128, 235, 128};
  ASSERT_EQ(IECopyDIBToBitmap(Y.data(), Y.size(), &B, Px, sizeof Px), 16);
  EXPECT_EQ(B.GetScanline(0)[0], 0);
  EXPECT_EQ(B.GetScanline(0)[3], 255);
  EXPECT_EQ(IECopyDIBToBitmap(Y.data(), Y.size(), &B, Px, 3), 0);  // frame shorter than its size
  // IYU1: U Y0 Y1 V Y2 Y3 for four pixels.
  auto I = Dib(4, 1, 12, 0x31555949, {}, {});
  uint8_t Px1[] = {128, 16, 235, 128, 16, 235};
  ASSERT_EQ(IECopyDIBToBitmap(I.data(), I.size(), &B, Px1, sizeof Px1), 12);
  EXPECT_EQ(B.GetScanline(0)[3 * 1], 255);
  EXPECT_EQ(B.GetScanline(0)[3 * 2], 0);
  // Y41P: twelve bytes for eight pixels, pixels 4 .. 7 with the second chroma.
  auto P41 = Dib(8, 1, 12, 0x50313459, {}, {});
  uint8_t Px2[] = {128, 16, 128, 16, 128, 16, 128, 16, 235, 235, 235, 235};
  ASSERT_EQ(IECopyDIBToBitmap(P41.data(), P41.size(), &B, Px2, sizeof Px2), 12);
  EXPECT_EQ(B.GetScanline(0)[3 * 3], 0);
  EXPECT_EQ(B.GetScanline(0)[3 * 7], 255);
}

TEST(DIB, GammaAndSwaps) {
  auto V = Dib(1, 1, 24, 0, {}, {64, 0, 255, 0});
  IEDIBGammaCorrect(V.data(), V.size(), 2.0);
  EXPECT_EQ(V[40], 128);
  IEDIBGammaCorrect(V.data(), V.size(), 0);
  EXPECT_EQ(V[40], 128);
  uint8_t P[6] = {1, 2, 3, 4, 5, 6}, Q[6];
  IECopySwapRB(Q, P, 2);
  EXPECT_EQ(Q[0], 3);
  EXPECT_EQ(Q[5], 4);
  IESwapRB(P, 2);
  EXPECT_EQ(P[2], 1);
}

TEST(RowBitDepth, Pairs) {
  uint8_t Src[10] = {1, 0, 0, 0, 0, 0, 0, 1, 1, 0}, Dst[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  EXPECT_EQ(IEConvertRowBitDepth(Src, Dst, 8, 1, 10, nullptr, 0, nullptr), 2);
  EXPECT_EQ(Dst[0], 0x81);
  EXPECT_EQ(Dst[1], 0x80);
  EXPECT_EQ(Dst[2], 0xFF);
  TRGB Pal[2] = {IECreateRGB(0, 0, 0), IECreateRGB(9, 8, 7)};
  uint8_t Bits[1] = {0x40}, Out[6] = {};
  EXPECT_EQ(IEConvertRowBitDepth(Bits, Out, 1, 24, 2, Pal, 2, nullptr), 6);
  EXPECT_EQ(Out[3], 7);
  uint8_t Idx[1] = {200}, Out2[3] = {1, 1, 1};
  IEConvertRowBitDepth(Idx, Out2, 8, 24, 1, Pal, 2, nullptr);  // beyond the palette: black
  EXPECT_EQ(Out2[0], 0);
  EXPECT_EQ(IEConvertRowBitDepth(Src, Dst, 16, 24, 3, nullptr, 0, nullptr), 9);
}

TEST(TwoColour, DarkerColourTakesTheZeroBits) {
  TIEBitmap B(3, 1, ie24RGB);
  B.SetPixel24(0, 0, IECreateRGB(250, 250, 0));
  B.SetPixel24(1, 0, IECreateRGB(0, 0, 90));
  B.SetPixel24(2, 0, IECreateRGB(250, 250, 0));
  TRGB A, C;
  auto One = IEConvertTwoColorTo1Bit(&B, A, C);
  ASSERT_TRUE(One);
  EXPECT_TRUE(A == IECreateRGB(0, 0, 90));
  EXPECT_EQ(One->GetScanline(0)[0] & 0xE0, 0xA0);
  B.SetPixel24(1, 0, IECreateRGB(250, 250, 0));
  EXPECT_FALSE(IEConvertTwoColorTo1Bit(&B, A, C));  // one colour
  B.SetPixel24(0, 0, IECreateRGB(1, 1, 1));
  B.SetPixel24(1, 0, IECreateRGB(2, 2, 2));
  EXPECT_FALSE(IEConvertTwoColorTo1Bit(&B, A, C));  // three colours
}

}  // namespace
