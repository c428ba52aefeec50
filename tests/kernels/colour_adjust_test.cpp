// Colour models, per-pixel adjustments, histograms and equalisation.
#include "kernels/colour_adjust.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "kernels/histogram.h"

namespace {

std::unique_ptr<TIEBitmap> Photo(int32_t W = 24, int32_t H = 16) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B->SetPixel24(x, y, TRGB{uint8_t(x * 10 + y), uint8_t(200 - y * 9), uint8_t((x * y * 13) & 255)});
  return B;
}

bool Same(TIEBitmap* A, TIEBitmap* B) { return IEBitmapsEqual(A, B); }

bool Eq(const TRGB& A, uint8_t R, uint8_t G, uint8_t B) { return A.r == R && A.g == G && A.b == B; }

TEST(ColourModels, HsvWrapsHueAndHslKeepsGray) {
  EXPECT_TRUE(Eq(IEHSVToRGB(360, 99, 99), 255, 0, 0));
  EXPECT_TRUE(IESameRGB(IEHSVToRGB(360, 99, 99), IEHSVToRGB(0, 99, 99)));
  EXPECT_TRUE(IESameRGB(IEHSVToRGB(-30, 80, 90), IEHSVToRGB(330, 80, 90)));
  double H, S, L;
  IERGBToHSL(IECreateRGB(77, 77, 77), H, S, L);
  EXPECT_EQ(H, 0);
  EXPECT_EQ(S, 0);
  EXPECT_TRUE(Eq(IEHSLToRGB(0.3, 0, 77 / 255.0), 77, 77, 77));
  // Saturated primaries go round the models and come back.
  for (TRGB C :
       {IECreateRGB(255, 0, 0), IECreateRGB(0, 255, 0), IECreateRGB(0, 0, 255), IECreateRGB(255, 255, 0)}) {
    IERGBToHSL(C, H, S, L);
    EXPECT_TRUE(IESameRGB(IEHSLToRGB(H, S, L), C));
    int32_t h, s, v;
    IERGBToHSV(C, h, s, v);
    EXPECT_TRUE(IESameRGB(IEHSVToRGB(h, s, v), C));
  }
}

TEST(ColourAdjust, NeutralSettingsChangeNothing) {
  auto Ref = Photo();
  const int32_t W = Ref->GetWidth(), H = Ref->GetHeight();
  auto B = Photo();
  IEContrast(B.get(), 0, 0, W, H, 0, IECreateRGB(100, 100, 100));
  IEThreshold(B.get(), 0, 0, W, H, IECreateRGB(0, 0, 0), IECreateRGB(255, 255, 255), IECreateRGB(9, 9, 9),
              IECreateRGB(1, 2, 3));
  IEHistEqualize(B.get(), 0, 0, W, H, IECreateRGB(0, 0, 0), IECreateRGB(255, 255, 255));
  IEAdjustRGB(B.get(), 0, 0, W, H, 0, 0, 0);
  IEReorderChannels(B.get(), "bgr");
  EXPECT_TRUE(Same(B.get(), Ref.get()));
}

TEST(ColourAdjust, ContrastMinusHundredGivesTheCentre) {
  auto B = Photo();
  IEContrast(B.get(), 0, 0, 99, 99, -100, IECreateRGB(10, 20, 30));
  EXPECT_TRUE(Eq(B->GetPixel24(5, 5), 10, 20, 30));
}

TEST(ColourAdjust, RectangleLimitsTheChange) {
  auto B = Photo();
  auto Ref = Photo();
  IEAdjustRGB(B.get(), 2, 3, 5, 7, 300, -300, 0);
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const TRGB P = B->GetPixel24(x, y), R = Ref->GetPixel24(x, y);
      if (x >= 2 && x < 5 && y >= 3 && y < 7)
        EXPECT_TRUE(Eq(P, 255, 0, R.b));
      else
        EXPECT_TRUE(IESameRGB(P, R));
    }
}

TEST(ColourAdjust, ReorderChannelsPatterns) {
  struct {
    const char* Pattern;
    uint8_t R, G, B;
  } Rows[] = {{"BGR", 10, 20, 30}, {"RGB", 30, 20, 10}, {"00R", 10, 0, 0},
              {"gg0", 0, 20, 20},  {"RG", 10, 20, 30},  {"RGX", 10, 20, 30}};
  for (auto& Row : Rows) {
    TIEBitmap B(1, 1, ie24RGB);
    B.SetPixel24(0, 0, IECreateRGB(10, 20, 30));
    IEReorderChannels(&B, Row.Pattern);
    EXPECT_TRUE(Eq(B.GetPixel24(0, 0), Row.R, Row.G, Row.B)) << Row.Pattern;
  }
  TIEBitmap Deep(1, 1, ieRGB48);
  TRGB48 V;
  V.r = 1000, V.g = 2000, V.b = 3000;
  Deep.SetPixel48(0, 0, V);
  IEReorderChannels(&Deep, "RGB");
  EXPECT_EQ(Deep.GetPixel48(0, 0).r, 3000);
  EXPECT_EQ(Deep.GetPixel48(0, 0).b, 1000);
}

TEST(ColourAdjust, GrayAndTransparentPixels) {
  auto B = Photo(4, 4);
  IEConvertToGray24(B.get(), 0, 0, 4, 4);
  const TRGB P = B->GetPixel24(1, 2);
  EXPECT_TRUE(P.r == P.g && P.g == P.b);
  B->GetAlphaChannel()->Fill(255);
  B->SetAlpha(3, 3, 0);
  IEColorTransparentPixels(B.get(), IECreateRGB(1, 2, 3));
  EXPECT_TRUE(Eq(B->GetPixel24(3, 3), 1, 2, 3));
  EXPECT_TRUE(IESameRGB(B->GetPixel24(1, 2), P));
}

TEST(Histogram, CountsTheMaskedPixelsOnly) {
  TIEBitmap B(4, 2, ie24RGB);
  B.Fill(double(uint32_t(IERGBToColor(IECreateRGB(255, 0, 0)))));
  B.SetPixel24(0, 0, IECreateRGB(0, 0, 255));
  TIEHistogram H;
  IEHistogram(&B, H, 0, 0, 4, 2);
  EXPECT_EQ(H[255].r, 7u);
  EXPECT_EQ(H[255].b, 1u);
  EXPECT_EQ(H[0].g, 8u);
  EXPECT_EQ(H[IERGBToGray(IECreateRGB(255, 0, 0))].gray, 7u);
  TIEMask M;
  M.AllocateBits(4, 2, 1);
  M.SetPixel(0, 0, 1);
  M.SetPixel(1, 0, 1);
  IEHistogram(&B, H, 0, 0, 4, 2, &M);
  EXPECT_EQ(H[255].b, 1u);
  EXPECT_EQ(H[255].r, 1u);
  // Another format leaves the table as it was.
  TIEBitmap G(2, 2, ie8g);
  IEHistogram(&G, H, 0, 0, 2, 2);
  EXPECT_EQ(H[255].b, 1u);
}

TEST(Histogram, AutoEqualizeKeepsAUniformImageAndMapsLevels) {
  TIEBitmap U(9, 7, ie24RGB);
  U.Fill(double(uint32_t(IERGBToColor(IECreateRGB(90, 90, 90)))));
  TIEBitmap Ref;
  Ref.Assign(&U);
  IEHistAutoEqualize(&U, 0, 0, 9, 7);
  EXPECT_TRUE(Same(&U, &Ref));
  // Two grays in halves: the lower half's pixels sit inside their level's
  // range and keep their neighbourhood mean; the upper half's lie below
  // theirs and take the level map's low end.
  TIEBitmap N(20, 20, ie24RGB);
  for (int32_t y = 0; y < 20; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      const uint8_t v = x < 10 ? 100 : 110;
      N.SetPixel24(x, y, IECreateRGB(v, v, v));
    }
  IEHistAutoEqualize(&N, 0, 0, 20, 20);
  EXPECT_TRUE(IESameRGB(N.GetPixel24(2, 10), IECreateRGB(100, 100, 100)));
  EXPECT_TRUE(IESameRGB(N.GetPixel24(17, 10), IECreateRGB(127, 127, 127)));
}

TEST(Histogram, MatchingAnImageToItselfKeepsItClose) {
  // Every level present, so the cumulative curves have no flat stretches.
  auto Dense = [] {
    auto B = std::make_unique<TIEBitmap>(256, 8, ie24RGB);
    for (int32_t y = 0; y < 8; ++y)
      for (int32_t x = 0; x < 256; ++x)
        B->SetPixel24(x, y, IECreateRGB(uint8_t(x), uint8_t(255 - x), uint8_t(x + y * 32)));
    return B;
  };
  auto Ref = Dense(), T = Dense();
  IEMatchHistograms(Ref.get(), T.get());
  int32_t Worst = 0;
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 256; ++x) {
      const TRGB A = Ref->GetPixel24(x, y), B = T->GetPixel24(x, y);
      Worst = std::max({Worst, std::abs(A.r - B.r), std::abs(A.g - B.g), std::abs(A.b - B.b)});
    }
  EXPECT_LE(Worst, 2);
}

}  // namespace

namespace {

TEST(ColourAdjust, ExtremeOffsetsSaturate) {
  auto B = Photo();
  IEAdjustHSV(B.get(), 0, 0, 99, 99, INT32_MAX, INT32_MIN, INT32_MAX);
  EXPECT_TRUE(Eq(B->GetPixel24(3, 4), 255, 255, 255));
  IEAdjustHSL(B.get(), 0, 0, 99, 99, INT32_MIN, 0, INT32_MIN);
  EXPECT_TRUE(Eq(B->GetPixel24(3, 4), 0, 0, 0));
  IEAdjustRGB(B.get(), 0, 0, 99, 99, INT32_MAX, INT32_MIN, 7);
  EXPECT_TRUE(Eq(B->GetPixel24(3, 4), 255, 0, 7));
}

}  // namespace
