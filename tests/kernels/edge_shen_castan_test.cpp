// Shen-Castan edges: nothing on a uniform page, edges beside a stroke, exact
// output size on pictures smaller than the padding, Dst the same as Src, and
// hysteresis over a long chain without recursion.
#include "kernels/edge_shen_castan.h"

#include <gtest/gtest.h>

#include <memory>

#include "foundations/image_buffer.h"

namespace {

int32_t BlackCount(TIEBitmap* B, int32_t X1 = 0, int32_t X2 = -1) {
  if (X2 < 0) X2 = B->GetWidth();
  int32_t N = 0;
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = X1; x < X2; ++x)
      if (!(B->GetScanline(y)[x >> 3] & (0x80 >> (x & 7)))) ++N;
  return N;
}

bool Edges(TIEBitmap* Src, TIEBitmap* Dst, bool Hysteresis = true) {
  TIEProgressRec P;
  return IEShenCastanEdges(Src, Dst, 7, 0.99, 0.9, 0, Hysteresis, P);
}

TEST(ShenCastan, UniformPageHasNoEdges) {
  TIEBitmap Src(40, 30, ie24RGB), Dst;
  Src.Fill(double(0x808080));
  ASSERT_TRUE(Edges(&Src, &Dst));
  EXPECT_EQ(Dst.GetPixelFormat(), ie1g);
  EXPECT_EQ(Dst.GetWidth(), 40);
  EXPECT_EQ(Dst.GetHeight(), 30);
  EXPECT_EQ(BlackCount(&Dst), 0);
}

TEST(ShenCastan, StrokeGivesEdgesBesideItAndWhiteFrame) {
  for (bool Hysteresis : {true, false}) {
    TIEBitmap Src(80, 60, ie24RGB), Dst;
    Src.Fill(double(0xFFFFFF));
    for (int32_t y = 0; y < 60; ++y)
      for (int32_t x = 38; x < 42; ++x) Src.SetPixel24(x, y, TRGB{});
    ASSERT_TRUE(Edges(&Src, &Dst, Hysteresis));
    EXPECT_GT(BlackCount(&Dst, 30, 50), 20) << Hysteresis;
    EXPECT_EQ(BlackCount(&Dst, 0, 30) + BlackCount(&Dst, 50, 80), 0) << Hysteresis;
    // Column 0 and the last row are white.
    for (int32_t y = 0; y < 60; ++y) EXPECT_TRUE(Dst.GetScanline(y)[0] & 0x80);
    for (int32_t x = 0; x < 80; ++x) EXPECT_TRUE(Dst.GetScanline(59)[x >> 3] & (0x80 >> (x & 7)));
  }
}

TEST(ShenCastan, SmallPicturesAndInPlace) {
  for (int32_t Size : {1, 3, 12, 26}) {
    TIEBitmap Src(Size, Size + 1, ie24RGB);
    Src.Fill(double(0xFFFFFF));
    Src.SetPixel24(Size / 2, Size / 2, TRGB{});
    ASSERT_TRUE(Edges(&Src, &Src)) << Size;
    EXPECT_EQ(Src.GetPixelFormat(), ie1g);
    EXPECT_EQ(Src.GetWidth(), Size);
    EXPECT_EQ(Src.GetHeight(), Size + 1);
  }
  // Refused: other formats and a smoothing factor outside (0, 1).
  TIEBitmap Gray(10, 10, ie8g), Dst;
  EXPECT_FALSE(Edges(&Gray, &Dst));
  TIEBitmap Rgb(10, 10, ie24RGB);
  TIEProgressRec P;
  EXPECT_FALSE(IEShenCastanEdges(&Rgb, &Dst, 7, 0.99, 1.0, 0, true, P));
}

TEST(ShenCastan, LongChainsAndSixProgressStages) {
  // A large checkerboard of wide squares: long connected edge chains that a
  // recursive flood would follow thousands of calls deep.
  TIEBitmap Src(1200, 1200, ie24RGB), Dst;
  for (int32_t y = 0; y < 1200; ++y)
    for (int32_t x = 0; x < 1200; ++x) {
      const uint8_t V = ((x / 300 + y / 300) & 1) ? 255 : 0;
      Src.SetPixel24(x, y, TRGB{V, V, V});
    }
  std::vector<int32_t> Stages;
  TIEProgressRec P;
  P.fOnProgress = [&](TObject*, int32_t Per) { Stages.push_back(Per); };
  ASSERT_TRUE(IEShenCastanEdges(&Src, &Dst, 7, 0.99, 0.9, 0, true, P));
  EXPECT_EQ(Stages, (std::vector<int32_t>{16, 33, 50, 66, 83, 100}));
  EXPECT_GT(BlackCount(&Dst), 1200 * 4);
}

}  // namespace
