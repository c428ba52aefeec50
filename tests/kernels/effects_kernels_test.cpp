// Bump map, lens, wave, morphology, sharpening, rounded corners and the
// maximum-entropy threshold.
#include <gtest/gtest.h>

#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/distortion.h"
#include "kernels/morphology.h"
#include "kernels/sharpen_threshold.h"
#include "kernels/threshold_1bit.h"

namespace {

std::unique_ptr<TIEBitmap> Photo(int32_t W = 40, int32_t H = 30) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B->SetPixel24(x, y, TRGB{uint8_t(x * 5 + y), uint8_t(y * 8), uint8_t(x * y)});
  return B;
}

TRGB Gray(uint8_t V) { return IECreateRGB(V, V, V); }

std::unique_ptr<TIEBitmap> Speck(int32_t W, int32_t H, int32_t X, int32_t Y) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  B->Fill(0);
  B->SetPixel24(X, Y, Gray(255));
  return B;
}

TEST(Distortion, NeutralSettingsChangeNothing) {
  auto Ref = Photo();
  auto B = Photo();
  IEBumpMap(B.get(), 0, 0, 40, 30, 20, 15, 150, 150, Gray(255), 100);
  IEBumpMap(B.get(), 0, 0, 40, 30, 20, 15, 0, 150, Gray(255), 0);
  IELens(B.get(), 20, 15, 30, 20, 0.5);
  IELens(B.get(), 20, 15, 30, 20, 1);  // no bending: every pixel maps to itself
  IEWave(B.get(), 0, 10, 0, false);
  IEWave(B.get(), 10, 0, 0, true);
  EXPECT_TRUE(IEBitmapsEqual(B.get(), Ref.get()));
  double X, Y;
  IELensRefract(3.5, -2.5, 10, 8, 1, X, Y);
  EXPECT_NEAR(X, 3.5, 1e-9);
  EXPECT_NEAR(Y, -2.5, 1e-9);
}

TEST(Distortion, LensBendsInsideItsEllipseOnly) {
  auto Ref = Photo();
  auto B = Photo();
  IELens(B.get(), 2, 2, 20, 16, 1.7);  // clipped at the corner
  bool Changed = false;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40; ++x) {
      const bool Same = IESameRGB(B->GetPixel24(x, y), Ref->GetPixel24(x, y));
      if (x > 12 || y > 10) {
        EXPECT_TRUE(Same) << x << "," << y;
      }
      Changed |= !Same;
    }
  EXPECT_TRUE(Changed);
}

TEST(Distortion, WaveSamplesItsOwnCentre) {
  // Phase 0: at the centre the sine is 0, so the pixel samples itself.
  auto Ref = Photo(41, 31);
  auto B = Photo(41, 31);
  IEWave(B.get(), 5, 7, 0, false);
  EXPECT_TRUE(IESameRGB(B->GetPixel24(20, 15), Ref->GetPixel24(20, 15)));
  EXPECT_FALSE(IEBitmapsEqual(B.get(), Ref.get()));
}

TEST(Morphology, DilateErodeOpenClose) {
  auto D = Speck(9, 9, 4, 4);
  IEMorphFilter(D.get(), 1, 0, 0, 0, 9, 9);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 9; ++x)
      EXPECT_EQ(D->GetPixel24(x, y).g, (std::abs(x - 4) <= 1 && std::abs(y - 4) <= 1) ? 255 : 0)
          << x << "," << y;
  auto O = Speck(9, 9, 4, 4);
  IEMorphFilter(O.get(), 1, 2, 0, 0, 9, 9);  // opening removes the speck
  EXPECT_EQ(O->GetPixel24(4, 4).g, 0);
  auto Keep = Speck(9, 9, 4, 4);
  auto Ref = Speck(9, 9, 4, 4);
  IEMorphFilter(Keep.get(), 0, 0, 0, 0, 9, 9);
  IEMorphFilter(Keep.get(), 1, 7, 0, 0, 9, 9);
  IEMorphFilter(Keep.get(), -2, 3, 0, 0, 9, 9);
  EXPECT_TRUE(IEBitmapsEqual(Keep.get(), Ref.get()));
  // One row: the step is 100 / 0.5, so a single pass reports 200.
  int32_t Last = -1;
  auto Row = Speck(5, 1, 2, 0);
  IEMorphFilter(Row.get(), 1, 0, 0, 0, 5, 1, [&](TObject*, int32_t P) { Last = P; });
  EXPECT_EQ(Last, 200);
}

TEST(Sharpen, NeutralWindowsAndAmounts) {
  auto Ref = Photo();
  auto B = Photo();
  IESharpen(B.get(), 0, 0, 40, 30, 0, 5);
  EXPECT_TRUE(IEBitmapsEqual(B.get(), Ref.get()));
  // A window of one pixel has no neighbours: the page keeps its brightness.
  IESharpen(B.get(), 0, 0, 40, 30, 30, 1);
  EXPECT_TRUE(IEBitmapsEqual(B.get(), Ref.get()));
}

TEST(Sharpen, AnEdgeGainsContrast) {
  TIEBitmap B(10, 5, ie24RGB);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 10; ++x) B.SetPixel24(x, y, Gray(x < 5 ? 100 : 150));
  IESharpen(&B, 0, 0, 10, 5, 10, 3);
  // v + (v - mean) x 1, the mean over the 2 x 2 corners of the window.
  EXPECT_EQ(B.GetPixel24(4, 2).g, 100 + (100 - 125));
  EXPECT_EQ(B.GetPixel24(5, 2).g, 150 + (150 - 125));
  EXPECT_EQ(B.GetPixel24(1, 2).g, 100);
}

TEST(RoundCorners, CornersGoTransparent) {
  TIEBitmap B(100, 50, ie24RGB);
  IERoundCorners(&B, 10, 10);
  ASSERT_TRUE(B.HasAlphaChannel());
  for (auto [X, Y] : {std::pair{0, 0}, {99, 0}, {0, 49}, {99, 49}, {1, 1}})
    EXPECT_EQ(B.GetAlpha(X, Y), 0) << X;
  for (auto [X, Y] : {std::pair{50, 0}, {50, 25}, {0, 25}, {99, 25}, {50, 49}})
    EXPECT_EQ(B.GetAlpha(X, Y), 255) << X;
  EXPECT_FALSE(B.GetAlphaChannel()->GetFull());
}

TEST(MaxEntropyThreshold, TwoLevelPageKeepsBothLevelsAndUniformGoesWhite) {
  TIEBitmap Page(16, 4, ie24RGB);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 16; ++x) Page.SetPixel24(x, y, Gray(x % 3 ? 250 : 20));
  TIEBitmap Out;
  IEThresholdTo1Bit(&Page, &Out, -2);
  for (int32_t x = 0; x < 16; ++x)
    EXPECT_EQ((Out.GetScanline(2)[x >> 3] >> (7 - (x & 7))) & 1, x % 3 ? 1 : 0) << x;
  TIEBitmap Flat(5, 5, ie24RGB);
  Flat.Fill(double(uint32_t(IERGBToColor(Gray(128)))));
  IEThresholdTo1Bit(&Flat, &Out, -2);
  EXPECT_EQ(Out.GetScanline(4)[0] & 0xF8, 0xF8);
}

}  // namespace

namespace {

// Empty bitmaps, other formats, rectangles outside the image and extreme
// sizes: every kernel returns without touching memory it does not own.
TEST(KernelInput, UnsuitableInputIsLeftAlone) {
  TIEBitmap Empty;
  TIEBitmap Plane(6, 4, ie8g);
  Plane.Fill(77);
  auto Small = Photo(6, 4);
  auto Ref = Photo(6, 4);
  for (TIEBitmap* B : {&Empty, &Plane, Small.get()}) {
    IEBumpMap(B, 9, 9, 3, 3, 0, 0, 5, 5, Gray(1), 50);
    IELens(B, -50, -50, 10, 10, 2);
    IEMorphFilter(B, 3, 0, 10, 10, 20, 20);
    IEMorphFilter(B, 3, 9, 0, 0, 6, 4);
    IESharpen(B, 5, 5, 2, 2, 10, 3);
    IEWave(B, 0, 0, 0, false);
  }
  EXPECT_TRUE(IEBitmapsEqual(Small.get(), Ref.get()));
  EXPECT_EQ(Plane.GetPixel8(3, 3), 77);
  // Huge windows and corners finish at the cost of the image.
  IEMorphFilter(Small.get(), 2000000000, 0, 0, 0, 6, 4);
  IESharpen(Small.get(), 0, 0, 6, 4, 5, 2000000000);
  IERoundCorners(Small.get(), 2000000000, 2000000000);
  IEWave(Small.get(), 2000000000, 1, 0, true);
  IELens(Small.get(), 3, 2, 2000000000, 2000000000, -3);
  TIEBitmap One(1, 1, ie24RGB);
  IEWave(&One, 3, 3, 45, false);
  IESharpen(&One, 0, 0, 1, 1, 50, 5);
  SUCCEED();
}

}  // namespace
