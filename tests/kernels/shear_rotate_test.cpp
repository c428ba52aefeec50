// Three-shear rotation, nearest-pixel 1-bit and 8-bit rotation and the
// quarter-turn copies.
#include "kernels/shear_rotate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/sysutils.h"
#include "support/bitmap_bytes.h"

namespace {

std::unique_ptr<TIEBitmap> Photo(int32_t W, int32_t H) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B->SetPixel24(x, y, TRGB{uint8_t(x * 13 + y), uint8_t(y * 7), uint8_t(x ^ y)});
  return B;
}

bool Bit(TIEBitmap* B, int32_t X, int32_t Y) { return (B->GetScanline(Y)[X >> 3] >> (7 - (X & 7))) & 1; }
void SetBit(TIEBitmap* B, int32_t X, int32_t Y) { B->GetScanline(Y)[X >> 3] |= uint8_t(0x80 >> (X & 7)); }

std::unique_ptr<TIEBitmap> Fax(int32_t W, int32_t H) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie1g);
  B->Fill(0);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      if ((x * 3 + y * 5) % 7 < 2 || x == W - 1 || y == H - 1) SetBit(B.get(), x, y);
  return B;
}

TEST(ShearRotate, MultipleOf90) {
  struct {
    double A;
    bool R;
  } Rows[] = {{180.0, true}, {-270, true},   {0, true},   {90.5, false},
              {45, false},   {1e300, false}, {NAN, false}};
  for (auto& Row : Rows) EXPECT_EQ(IEIsMultipleOf90(Row.A), Row.R) << Row.A;
}

TEST(ShearRotate, QuarterTurnCopiesMoveEachPixel) {
  auto S = Photo(5, 3);
  TIEBitmap Cw, Ccw;
  IERotate90CW24(S.get(), &Cw);
  IERotate90CCW24(S.get(), &Ccw);
  ASSERT_EQ(Cw.GetWidth(), 3);
  ASSERT_EQ(Cw.GetHeight(), 5);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      EXPECT_TRUE(IESameRGB(Cw.GetPixel24(3 - 1 - y, x), S->GetPixel24(x, y)));
      EXPECT_TRUE(IESameRGB(Ccw.GetPixel24(y, 5 - 1 - x), S->GetPixel24(x, y)));
    }
}

TEST(ShearRotate, QuarterTurnsThroughTheShearAreExact) {
  auto S = Photo(7, 4);
  TIEBitmap Expected;
  IERotate90CCW24(S.get(), &Expected);
  auto B = Photo(7, 4);
  IERotateShear(B.get(), true, nullptr, nullptr, IECreateRGB(255, 0, 0), 90);
  EXPECT_TRUE(IEBitmapsEqual(B.get(), &Expected));
  auto Full = Photo(7, 4);
  IERotateShear(Full.get(), true, nullptr, nullptr, IECreateRGB(255, 0, 0), 360);
  EXPECT_TRUE(IEBitmapsEqual(Full.get(), S.get()));
}

TEST(ShearRotate, CanvasSizesAndBlendsStayInsideTheColours) {
  // A uniform page turned with blending: every pixel is a mix of the page
  // colour and the white background, never outside the two, and the page's
  // middle keeps its exact colour.
  TIEBitmap B(100, 50, ie24RGB);
  B.Fill(double(uint32_t(IERGBToColor(IECreateRGB(101, 37, 200)))));
  IERotateShear(&B, true, nullptr, nullptr, IECreateRGB(255, 255, 255), 30);
  const double q = 30 * M_PI / 180, T = std::tan(q / 2), S = std::sin(q);
  const int32_t m = IERound(50 * T + 100 + 1), h = IERound((m - 100) * S), Full = IERound(S * m + 50 + 1);
  const int32_t o = Full - 2 * h, t = IERound(T * (Full - 50 - h)), Wf = IERound(T * o + m + 1 - 2 * t);
  ASSERT_EQ(B.GetWidth(), Wf);
  ASSERT_EQ(B.GetHeight(), o);
  EXPECT_TRUE(IESameRGB(B.GetPixel24(0, 0), IECreateRGB(255, 255, 255)));
  EXPECT_TRUE(IESameRGB(B.GetPixel24(Wf / 2, o / 2), IECreateRGB(101, 37, 200)));
  for (int32_t y = 0; y < o; ++y)
    for (int32_t x = 0; x < Wf; ++x) {
      const TRGB P = B.GetPixel24(x, y);
      ASSERT_TRUE(P.r >= 101 && P.g >= 37 && P.b >= 200) << x << "," << y;
      // The three channels move together from the colour to white.
      const double k = (P.r - 101) / 154.0;
      ASSERT_NEAR(P.g, 37 + k * 218, 2.0);
    }
}

TEST(ShearRotate, OneBitQuarterAndHalfTurnsAreExact) {
  auto S = Fax(13, 6);
  struct {
    double Angle;
    int32_t W, H;
  } Rows[] = {{90, 6, 13}, {-90, 6, 13}, {270, 6, 13}, {180, 13, 6}, {-180, 13, 6}};
  for (auto& Row : Rows) {
    auto B = Fax(13, 6);
    IERotate1Bit(B.get(), false, nullptr, nullptr, Row.Angle);
    ASSERT_EQ(B->GetWidth(), Row.W);
    ASSERT_EQ(B->GetHeight(), Row.H);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 13; ++x) {
        int32_t X, Y;
        if (Row.Angle == 90)
          X = y, Y = 13 - 1 - x;
        else if (Row.Angle == 180 || Row.Angle == -180)
          X = 13 - 1 - x, Y = 6 - 1 - y;
        else
          X = 6 - 1 - y, Y = x;
        ASSERT_EQ(Bit(B.get(), X, Y), Bit(S.get(), x, y)) << Row.Angle << " " << x << "," << y;
      }
  }
}

TEST(ShearRotate, OneBitTinyTurnKeepsTheLastColumnAndRow) {
  // Columns and rows at the far edges are set: a turn too small to move any
  // pixel must give the page back whole.
  auto S = Fax(20, 11);
  auto B = Fax(20, 11);
  IERotate1Bit(B.get(), false, nullptr, nullptr, 0.001);
  ASSERT_EQ(B->GetWidth(), 20);
  ASSERT_EQ(B->GetHeight(), 11);
  for (int32_t y = 0; y < 11; ++y)
    for (int32_t x = 0; x < 20; ++x) ASSERT_EQ(Bit(B.get(), x, y), Bit(S.get(), x, y)) << x << "," << y;
}

TEST(ShearRotate, OneBitFreeAngleFollowsTheTurnedGrid) {
  // 1.5 degrees: each result pixel holds the source pixel nearest to where
  // the turn takes it back; the corners are the fill.
  auto S = Fax(40, 30);
  for (bool White : {false, true}) {
    auto B = Fax(40, 30);
    IERotate1Bit(B.get(), White, nullptr, nullptr, 1.5);
    const double r = -1.5 / 57.295779513082320877, cs = std::cos(r), sn = std::sin(r);
    const int32_t Wr = B->GetWidth(), Hr = B->GetHeight();
    EXPECT_EQ(Wr, IERound(std::fabs(40 * cs) + std::fabs(30 * sn)));
    EXPECT_EQ(Hr, IERound(std::fabs(40 * sn) + std::fabs(30 * cs)));
    for (int32_t v = 0; v < Hr; ++v)
      for (int32_t k = 0; k < Wr; ++k) {
        const double u = k - (Wr / 2.0 - 0.5), w = v - (Hr / 2.0 - 0.5);
        const double X = std::floor(40 / 2.0 - 0.5 + sn * w + cs * u + 0.5);
        const double Y = std::floor(30 / 2.0 - 0.5 + cs * w - sn * u + 0.5);
        const bool In = X >= 0 && Y >= 0 && X < 40 && Y < 30;
        ASSERT_EQ(Bit(B.get(), k, v), In ? Bit(S.get(), int32_t(X), int32_t(Y)) : White) << k << "," << v;
      }
  }
}

TEST(ShearRotate, EightBitPlaneTurnsWithItsImage) {
  TIEBitmap A(30, 20, ie8g);
  A.Fill(255);
  auto Img = Photo(30, 20);
  IERotateShear8(&A, true, 0, nullptr, nullptr, 20);
  IERotateShear(Img.get(), true, nullptr, nullptr, IECreateRGB(0, 0, 0), 20);
  EXPECT_EQ(A.GetWidth(), Img->GetWidth());
  EXPECT_EQ(A.GetHeight(), Img->GetHeight());
  EXPECT_EQ(A.GetPixel8(0, 0), 0);
  EXPECT_EQ(A.GetPixel8(A.GetWidth() / 2, A.GetHeight() / 2), 255);
  TIEBitmap N(9, 4, ie8g);
  N.Fill(7);
  IERotate8Bit(&N, 200, 90);
  EXPECT_EQ(N.GetWidth(), 4);
  EXPECT_EQ(N.GetPixel8(1, 1), 7);
}

}  // namespace

namespace {

TEST(ShearRotate, PageInATemporaryFileTurnsLikeOneInMemory) {
  auto Mem = Photo(64, 40);
  TIEBitmap File;
  File.Assign(Mem.get());
  testsupport::MoveToTemporaryFile(&File);
  ASSERT_EQ(File.GetLocation(), ieFile);
  for (double Angle : {12.5, -100.0}) {
    IERotateShear(Mem.get(), true, nullptr, nullptr, IECreateRGB(9, 8, 7), Angle);
    IERotateShear(&File, true, nullptr, nullptr, IECreateRGB(9, 8, 7), Angle);
    ASSERT_EQ(File.GetWidth(), Mem->GetWidth());
    for (int32_t y = 0; y < Mem->GetHeight(); ++y)
      ASSERT_EQ(std::memcmp(File.GetScanline(y), Mem->GetScanline(y), size_t(Mem->GetWidth()) * 3), 0) << y;
  }
}

}  // namespace

namespace {

TEST(ShearRotate, WithoutBlendingPixelsAreCopiedWhole) {
  auto Ref = Photo(50, 30);
  TIEBitmap Blended, Plain;
  Blended.Assign(Ref.get());
  Plain.Assign(Ref.get());
  IERotateShear(&Plain, false, nullptr, nullptr, IECreateRGB(1, 2, 3), -33);
  IERotateShear(&Blended, true, nullptr, nullptr, IECreateRGB(1, 2, 3), -33);
  ASSERT_EQ(Plain.GetWidth(), Blended.GetWidth());
  ASSERT_EQ(Plain.GetHeight(), Blended.GetHeight());
  // Every pixel is the background or one of the page's own colours.
  std::set<uint32_t> Colours{uint32_t(IERGBToColor(IECreateRGB(1, 2, 3)))};
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 50; ++x) Colours.insert(uint32_t(IERGBToColor(Ref->GetPixel24(x, y))));
  for (int32_t y = 0; y < Plain.GetHeight(); ++y)
    for (int32_t x = 0; x < Plain.GetWidth(); ++x)
      ASSERT_TRUE(Colours.count(uint32_t(IERGBToColor(Plain.GetPixel24(x, y))))) << x << "," << y;
}

}  // namespace
