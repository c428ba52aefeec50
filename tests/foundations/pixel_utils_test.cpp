// Arithmetic and pixel helpers, bit-run copies and platform bitmap copies.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "platform/gdi/bitmap.h"
#include "foundations/bit_rows.h"
#include "foundations/pixel_utils.h"

namespace {

TEST(PixelUtils, CeilAndFloor) {
  struct Case {
    long double X;
    int32_t Ceil, Floor;
  };
  const Case Cases[] = {{2.0L, 2, 2},   {2.1L, 3, 2},    {-2.5L, -2, -3}, {2.9L, 3, 2},
                        {-0.0L, 0, 0},  {-0.1L, 0, -1},  {1e300L, INT32_MAX, INT32_MAX},
                        {-1e300L, INT32_MIN, INT32_MIN}};
  for (const Case& C : Cases) {
    EXPECT_EQ(IECeil(C.X), C.Ceil) << double(C.X);
    EXPECT_EQ(IEFloor(C.X), C.Floor) << double(C.X);
  }
}

TEST(PixelUtils, MinMaxClampTies) {
  EXPECT_EQ(IEClampInt(5, 10, 3), 10);  // the lower bound is tested first
  EXPECT_EQ(IEClampInt(3, 3, 3), 3);
  EXPECT_EQ(IEClampInt(7, 0, 5), 5);
  EXPECT_EQ(IEClampInt(4, 0, 5), 4);
  EXPECT_EQ(IEMinInt(4, 4), 4);
  EXPECT_EQ(IEMaxInt(-3, 2), 2);
  EXPECT_EQ(IEMinInt(-3, 2), -3);
  // The doubles answer their second argument on a tie: visible with signed zeros.
  EXPECT_TRUE(std::signbit(IEMinDouble(0.0, -0.0)));
  EXPECT_FALSE(std::signbit(IEMaxDouble(-0.0, 0.0)));
  EXPECT_EQ(IEClampByte(-1), 0);
  EXPECT_EQ(IEClampByte(256), 255);
  EXPECT_EQ(IEClampByte(255), 255);
  int32_t X1 = 10, Y1 = 5, X2 = 2, Y2 = 7;
  IEOrderRect(X1, Y1, X2, Y2);
  EXPECT_EQ(X1, 2);
  EXPECT_EQ(Y1, 5);
  EXPECT_EQ(X2, 10);
  EXPECT_EQ(Y2, 7);
  uint8_t A = 1, B = 2;
  IESwapByte(A, B);
  EXPECT_EQ(A, 2);
}

TEST(PixelUtils, RecordsGrayAndColours) {
  TRGB P = IECreateRGB(1, 2, 3);
  uint8_t Bytes[3];
  std::memcpy(Bytes, &P, 3);
  EXPECT_EQ(Bytes[0], 3);  // memory order blue, green, red
  EXPECT_EQ(Bytes[2], 1);
  TCMYK K = IECreateCMYK(1, 2, 3, 4);
  std::memcpy(Bytes, &K, 3);
  EXPECT_EQ(Bytes[0], 1);
  EXPECT_EQ(IERGBToGray(IECreateRGB(255, 0, 0)), 53);
  EXPECT_EQ(IERGBToGray(IECreateRGB(0, 255, 0)), 181);
  EXPECT_EQ(IERGBToGray(IECreateRGB(0, 0, 255)), 20);
  EXPECT_EQ(IERGBToGray(IECreateRGB(255, 255, 255)), 255);
  int32_t Saved = IEGrayWeightRed;
  IEGrayWeightRed = 100;
  IEGrayWeightGreen = 0;
  IEGrayWeightBlue = 0;
  EXPECT_EQ(IERGBToGray(IECreateRGB(200, 10, 10)), 200);
  IEGrayWeightRed = Saved;
  IEGrayWeightGreen = 71;
  IEGrayWeightBlue = 8;
  EXPECT_EQ(IERGBToColor(IECreateRGB(1, 2, 3)), 0x030201);
  EXPECT_EQ(IEColorToRGB(0x030201), IECreateRGB(1, 2, 3));
  EXPECT_EQ(IEColorToARGB(0x030201, 0x80), 0x80010203u);
  // System colours are resolved first.
  uint32_t Face = ColorToRGB(clBtnFace);
  EXPECT_EQ(IERGBToColor(IEColorToRGB(clBtnFace)), TColor(Face));
  EXPECT_TRUE(IESameRGB(IECreateRGB(4, 5, 6), IECreateRGB(4, 5, 6)));
  EXPECT_FALSE(IESameRGB(IECreateRGB(4, 5, 6), IECreateRGB(4, 5, 7)));
}

TEST(PixelUtils, Trigonometry) {
  const long double Pi = 3.14159265358979323846264338327950288L;
  EXPECT_NEAR(double(IEArcSin(1)), double(Pi / 2), 1e-15);
  EXPECT_NEAR(double(IEArcCos(1)), 0.0, 1e-15);
  EXPECT_NEAR(double(IEArcTan2(1, -1)), double(3 * Pi / 4), 1e-15);
  EXPECT_NEAR(double(IETan(Pi / 4)), 1.0, 1e-15);
}

TEST(PixelUtils, BitmapsEqualComparesRowsAndAlphaNotFormats) {
  TIEBitmap A(5, 3, ie8g), B(5, 3, ie8p);
  A.Fill(9);
  B.Fill(9);
  EXPECT_TRUE(IEBitmapsEqual(&A, &B));
  B.SetPixel8(4, 2, 8);
  EXPECT_FALSE(IEBitmapsEqual(&A, &B));
  B.SetPixel8(4, 2, 9);
  A.GetAlphaChannel();
  EXPECT_FALSE(IEBitmapsEqual(&A, &B));
  B.GetAlphaChannel();
  EXPECT_TRUE(IEBitmapsEqual(&A, &B));
  B.SetAlpha(0, 0, 1);
  EXPECT_FALSE(IEBitmapsEqual(&A, &B));
  TIEBitmap C(5, 4, ie8g);
  EXPECT_FALSE(IEBitmapsEqual(&A, &C));
}

// The bit-run copy against a plain bit-by-bit reference, over random runs.
TEST(BitRows, CopyBitsMatchesBitByBitCopies) {
  std::mt19937 Rng(12345);
  for (int Trial = 0; Trial < 2000; ++Trial) {
    std::vector<uint8_t> Src(24), Dst(24), Ref;
    for (auto& B : Src) B = uint8_t(Rng());
    for (auto& B : Dst) B = uint8_t(Rng());
    Ref = Dst;
    int64_t SO = Rng() % 80, DO = Rng() % 80, N = Rng() % 100;
    N = std::min<int64_t>({N, 192 - SO, 192 - DO});
    IECopyBits(Dst.data(), Src.data(), DO, SO, N, 24);
    IECopyBitsOneByOne(Ref.data(), Src.data(), DO, SO, N, 24);
    ASSERT_EQ(Dst, Ref) << "src " << SO << " dst " << DO << " n " << N;
  }
}

TEST(BitRows, CopyBitsEdges) {
  // 5 bits from source bit 3 to destination bit 6: bits 6, 7 of byte 0 and
  // 0..2 of byte 1 change, nothing else.
  uint8_t Src[2] = {0xFF, 0xFF}, Dst[3] = {0, 0, 0};
  IECopyBits(Dst, Src, 6, 3, 5, 2);
  EXPECT_EQ(Dst[0], 0x03);
  EXPECT_EQ(Dst[1], 0xE0);
  EXPECT_EQ(Dst[2], 0);
  // Nothing for an empty run or a negative offset.
  uint8_t Keep[2] = {0x5A, 0x5A};
  IECopyBits(Keep, Src, 0, 0, 0, 2);
  IECopyBits(Keep, Src, -1, 0, 8, 2);
  IECopyBits(Keep, Src, 0, -1, 8, 2);
  EXPECT_EQ(Keep[0], 0x5A);
  // The source is never read past its length: missing bits read as 0.
  uint8_t One[1] = {0xFF}, Out[3] = {0xFF, 0xFF, 0xFF};
  IECopyBits(Out, One, 0, 4, 16, 1);
  EXPECT_EQ(Out[0], 0xF0);
  EXPECT_EQ(Out[1], 0x00);
}

TEST(BitRows, CopyTBitmapCopiesSizeFormatTableAndPixels) {
  TBitmap S;
  S.SetPixelFormat(pf8bit);
  S.SetSize(7, 3);
  TRGBQuad Q;
  Q.rgbRed = 11;
  S.SetColorTableEntry(4, Q);
  S.GetScanLine(2)[6] = 4;
  TBitmap D;
  D.SetPixelFormat(pf24bit);
  D.SetSize(2, 2);
  IECopyTBitmap(&S, &D);
  EXPECT_EQ(D.GetPixelFormat(), pf8bit);
  EXPECT_EQ(D.GetWidth(), 7);
  EXPECT_EQ(D.GetHeight(), 3);
  EXPECT_EQ(D.GetScanLine(2)[6], 4);
  EXPECT_EQ(D.GetColorTableEntry(4).rgbRed, 11);
  auto C = IECloneTBitmap(&S);
  EXPECT_EQ(C->GetScanLine(2)[6], 4);
  TBitmap Empty;
  Empty.SetPixelFormat(pf1bit);
  IECopyTBitmap(&Empty, &D);
  EXPECT_EQ(D.GetWidth(), 1);
  EXPECT_EQ(D.GetPixelFormat(), pf1bit);
}

}  // namespace
