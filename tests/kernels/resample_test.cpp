// Resampling kernels: the fixed-point arithmetic of every filter pinned on
// small rows, the 1-bit projections on fax-like strokes, and the threaded
// convolution compared with the single-threaded one.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/resample_area.h"
#include "kernels/resample_engine.h"
#include "kernels/resample_fast.h"
#include "kernels/resample_rows.h"
#include "platform/gdi/colors.h"
#include "support/bitmap_bytes.h"

namespace {

std::unique_ptr<TIEBitmap> Gray8(int32_t W, int32_t H, std::vector<uint8_t> V) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie8g);
  for (int32_t y = 0; y < H; ++y) std::memcpy(B->GetScanline(y), V.data() + size_t(y) * W, W);
  return B;
}

std::vector<uint8_t> Row8(TIEBitmap* B, int32_t Y = 0) {
  const uint8_t* R = B->GetScanline(Y);
  return std::vector<uint8_t>(R, R + B->GetWidth());
}

// A 24-bit bitmap whose three channels all carry the same values (row by row).
std::unique_ptr<TIEBitmap> Gray24(int32_t W, int32_t H, std::vector<uint8_t> V) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      uint8_t* P = B->GetScanline(y) + 3 * x;
      P[0] = P[1] = P[2] = V[size_t(y) * W + x];
    }
  return B;
}

std::vector<uint8_t> Blue24(TIEBitmap* B, int32_t Y = 0) {
  std::vector<uint8_t> Out;
  for (int32_t x = 0; x < B->GetWidth(); ++x) Out.push_back(B->GetScanline(Y)[3 * x]);
  return Out;
}

// A white 1-bit page with the given black columns.
std::unique_ptr<TIEBitmap> PageWithColumns(int32_t W, int32_t H, std::vector<int32_t> Black) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie1g);
  B->Fill(1);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x : Black) B->GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  return B;
}

bool BitAt(TIEBitmap* B, int32_t X, int32_t Y) { return (B->GetScanline(Y)[X >> 3] >> (7 - (X & 7))) & 1; }

TEST(FastLinear, PinnedRows) {
  struct Case {
    std::vector<uint8_t> Src;
    int32_t DstW;
    std::vector<uint8_t> Want;
  } Cases[] = {
      {{0, 200}, 4, {0, 100, 200, 200}},                    // fractions 0, 1/2, 0, 1/2
      {{10, 20, 30, 40, 50, 60}, 3, {20, 40, 50}},          // boxes 0..2, 2..4, 4
      {{0, 255, 0}, 6, {0, 127, 255, 127, 0, 0}},           // floor of the shifted product
      {{1, 2, 3, 4}, 2, {2, 3}},                            // boxes 0..2 and 2
  };
  for (const Case& C : Cases) {
    auto S = Gray8(int32_t(C.Src.size()), 1, C.Src);
    TIEBitmap D(C.DstW, 1, ie8g);
    IEFastLinearResample8(S.get(), &D);
    EXPECT_EQ(Row8(&D), C.Want);
    auto S24 = Gray24(int32_t(C.Src.size()), 1, C.Src);
    TIEBitmap D24(C.DstW, 1, ie24RGB);
    IEFastLinearResample24(S24.get(), &D24);
    EXPECT_EQ(Blue24(&D24), C.Want);
  }
}

TEST(FastLinear, OneAxisScaledDoesNotBlurTheOther) {
  // Height doubled, width kept: every row stays a copy of its source row.
  auto S = Gray8(4, 2, {0, 255, 0, 255, 10, 20, 30, 40});
  TIEBitmap D(4, 4, ie8g);
  IEFastLinearResample8(S.get(), &D);
  EXPECT_EQ(Row8(&D, 0), (std::vector<uint8_t>{0, 255, 0, 255}));
  // Width reduced, height kept: rows are not averaged with their neighbours.
  auto S2 = Gray8(2, 3, {0, 0, 255, 255, 0, 0});
  TIEBitmap D2(1, 3, ie8g);
  IEFastLinearResample8(S2.get(), &D2);
  EXPECT_EQ(D2.GetScanline(0)[0], 0);
  EXPECT_EQ(D2.GetScanline(1)[0], 255);
  EXPECT_EQ(D2.GetScanline(2)[0], 0);
}

TEST(FastLinear, ProgressStaysBelowHundredAndRises) {
  auto S = Gray24(8, 8, std::vector<uint8_t>(64, 9));
  TIEBitmap D(3, 5, ie24RGB);
  std::vector<int32_t> Seen;
  IEFastLinearResample24(S.get(), &D, [&](TObject*, int32_t P) { Seen.push_back(P); });
  ASSERT_EQ(Seen.size(), 13u);
  EXPECT_TRUE(std::is_sorted(Seen.begin(), Seen.end()));
  EXPECT_LT(Seen.back(), 100);
}

TEST(FastLinear, OneBitWidthReductionKeepsThinVerticalStrokes) {
  // Only the width shrinks (height enlarged): a one-pixel stroke leaves gray.
  auto Page = PageWithColumns(40, 4, {17});
  TIEBitmap D(10, 8, ie24RGB);
  IEFastLinearResample1To24(Page.get(), &D);
  int32_t Darkest = 255;
  for (int32_t x = 0; x < 10; ++x) Darkest = std::min<int32_t>(Darkest, D.GetScanline(3)[3 * x]);
  EXPECT_LT(Darkest, 255);
  // Same size: a 1-bit copy.
  TIEBitmap Same(40, 4, ie24RGB);
  IEFastLinearResample1To24(Page.get(), &Same);
  EXPECT_EQ(Same.GetPixelFormat(), ie1g);
}

TEST(Projection, StrokesSurviveIncludingLastColumns) {
  auto Page = PageWithColumns(100, 30, {3, 99});
  TIEBitmap BW(10, 3, ie24RGB);
  IEProjectResample1Bit(Page.get(), &BW, false);
  ASSERT_EQ(BW.GetPixelFormat(), ie1g);
  for (int32_t y = 0; y < 3; ++y) {
    EXPECT_FALSE(BitAt(&BW, 0, y));
    EXPECT_FALSE(BitAt(&BW, 9, y)) << "stroke in the last column lost";
    for (int32_t x = 1; x < 9; ++x) EXPECT_TRUE(BitAt(&BW, x, y));
  }
  TIEBitmap WB(10, 3, ie1g);
  IEProjectResample1Bit(Page.get(), &WB, true);
  for (int32_t x = 0; x < 10; ++x) EXPECT_TRUE(BitAt(&WB, x, 0));
}

TEST(Projection, TwentyFourBitThresholds) {
  auto S = std::make_unique<TIEBitmap>(3, 1, ie24RGB);
  uint8_t Px[] = {0, 0, 128, 10, 10, 10, 200, 200, 200};  // (r=128,g,b=0) is neither
  std::memcpy(S->GetScanline(0), Px, 9);
  TIEBitmap D(3, 1, ie1g);
  IEProjectResample24To1Bit(S.get(), &D, false);
  EXPECT_TRUE(BitAt(&D, 0, 0));
  EXPECT_FALSE(BitAt(&D, 1, 0));
  EXPECT_TRUE(BitAt(&D, 2, 0));
  IEProjectResample24To1Bit(S.get(), &D, true);
  EXPECT_FALSE(BitAt(&D, 0, 0));
  EXPECT_FALSE(BitAt(&D, 1, 0));
  EXPECT_TRUE(BitAt(&D, 2, 0));
}

TEST(BoxGray, AveragesBlocks) {
  auto White = PageWithColumns(8, 8, {});
  TIEBitmap D(2, 2, ie24RGB);
  IEResample1BitBoxGray(White.get(), 0, 0, 7, 7, &D);
  EXPECT_EQ(D.GetScanline(1)[3], 255);
  auto Half = PageWithColumns(2, 1, {1});
  TIEBitmap D1(1, 1, ie24RGB);
  IEResample1BitBoxGray(Half.get(), 0, 0, 1, 0, &D1);
  EXPECT_EQ(D1.GetScanline(0)[0], 127);
}

TEST(AreaResample, PinnedCases) {
  // Halving a 4x4 plane gives the exact 2x2 block means (halves to even).
  auto S = Gray8(4, 4, {0, 1, 10, 20, 2, 3, 30, 41, 100, 100, 7, 7, 100, 101, 7, 7});
  TIEBitmap D(2, 2, ie8g);
  IEAreaResample8(S.get(), &D, false);
  EXPECT_EQ(Row8(&D, 0), (std::vector<uint8_t>{2, 25}));   // 1.5 -> 2, 25.25 -> 25
  EXPECT_EQ(Row8(&D, 1), (std::vector<uint8_t>{100, 7}));  // 100.25 -> 100
  for (auto [Block, Want] : {std::pair{std::vector<uint8_t>{1, 2, 3, 4}, 2}, std::pair{std::vector<uint8_t>{3, 4, 3, 4}, 4}}) {
    auto B = Gray8(2, 2, Block);  // means 2.5 and 3.5: halves go to even
    TIEBitmap One(1, 1, ie8g);
    IEAreaResample8(B.get(), &One, false);
    EXPECT_EQ(One.GetScanline(0)[0], Want);
  }
  // Doubling (0, 100) samples each destination pixel at its right edge.
  auto R = Gray8(2, 1, {0, 100});
  TIEBitmap D2(4, 1, ie8g);
  IEAreaResample8(R.get(), &D2, false);
  EXPECT_EQ(Row8(&D2), (std::vector<uint8_t>{50, 100, 100, 100}));
  // Bicubic overshoot at a hard edge stays inside 0 .. 255.
  auto E = Gray8(4, 1, {0, 0, 255, 255});
  TIEBitmap D3(16, 1, ie8g);
  IEAreaResample8(E.get(), &D3, true);
  auto V = Row8(&D3);
  EXPECT_EQ(V.front(), 0);
  EXPECT_EQ(V.back(), 255);
}

TEST(AreaResample, CubicSample) {
  EXPECT_DOUBLE_EQ(IECubicSample(0, 10, 20, 30, 0, 0, 255), 10);
  EXPECT_DOUBLE_EQ(IECubicSample(0, 10, 20, 30, 1, 0, 255), 20);
  EXPECT_DOUBLE_EQ(IECubicSample(0, 10, 20, 30, 0.5, 0, 255), 15);
  EXPECT_DOUBLE_EQ(IECubicSample(255, 0, 0, 255, 0.5, 0, 255), 0);  // limited below
}

TEST(AreaResample, SixteenBitNeverWraps) {
  auto S = std::make_unique<TIEBitmap>(2, 2, ie16g);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) S->SetPixel16(x, y, 65535);
  TIEBitmap D(5, 5, ie16g);
  IEAreaResample16(S.get(), &D, true);
  EXPECT_EQ(D.GetPixel16(4, 4), 65535);
  EXPECT_EQ(D.GetPixel16(2, 2), 65535);
}

TEST(Convolution, FilterWeights) {
  struct Case {
    TResampleFilter F;
    double X, W;
  } Cases[] = {{rfTriangle, 0.5, 0.5},       {rfHermite, 0.5, 0.5},         {rfBell, 0.25, 0.6875},
               {rfBell, 1.0, 0.125},         {rfBSpline, 0, 2.0 / 3},       {rfBSpline, 1.5, 1.0 / 48},
               {rfLanczos3, 0, 1},           {rfLanczos3, 3, 0},            {rfMitchell, 0, 8.0 / 9},
               {rfNearest, -0.5, 0},         {rfNearest, 0.5, 1},           {rfLinear, -1, 0}};
  for (const Case& C : Cases) EXPECT_NEAR(IEResampleFilterWeight(C.F, C.X), C.W, 1e-12) << int(C.F) << " " << C.X;
  EXPECT_EQ(IEResampleFilterRadius(rfNearest), 1.0);
}

TEST(Convolution, PinnedRows) {
  struct Case {
    TResampleFilter F;
    std::vector<uint8_t> Src;
    int32_t DstW;
    std::vector<uint8_t> Want;
  } Cases[] = {
      {rfTriangle, {0, 255}, 3, {0, 127, 255}},       // 255 x 128 div 256
      {rfNearest, {10, 20, 30}, 5, {10, 10, 20, 20, 30}},  // -0.5 < x <= 0.5
      {rfLinear, {0, 100}, 3, {0, 50, 100}},
  };
  for (const Case& C : Cases) {
    auto S = Gray8(int32_t(C.Src.size()), 2, [&] {
      auto V = C.Src;
      V.insert(V.end(), C.Src.begin(), C.Src.end());
      return V;
    }());
    TIEBitmap D(C.DstW, 2, ie8g);
    IEResample8Bit(S.get(), &D, C.F);
    EXPECT_EQ(Row8(&D), C.Want) << int(C.F);
    auto S24 = Gray24(int32_t(C.Src.size()), 2, [&] {
      auto V = C.Src;
      V.insert(V.end(), C.Src.begin(), C.Src.end());
      return V;
    }());
    TIEBitmap D24(C.DstW, 2, ie24RGB);
    _ResampleEx(S24.get(), &D24, C.F, nullptr, nullptr, 1);
    EXPECT_EQ(Blue24(&D24), C.Want) << int(C.F);
  }
}

TEST(Convolution, TinySourcesAndFormats) {
  TIEBitmap One(1, 1, ie24RGB), D(4, 4, ie24RGB);
  D.Fill(0);
  One.Fill(clWhite);
  _ResampleEx(&One, &D, rfLanczos3);
  EXPECT_EQ(D.GetScanline(0)[0], 0);  // a 1x1 source leaves the destination alone
  TIEBitmap G16(4, 4, ie16g), D16(2, 2, ie16g);
  _ResampleEx(&G16, &D16, rfLanczos3);
  EXPECT_EQ(D16.GetPixelFormat(), ie24RGB);
  TIEBitmap G16b(4, 4, ie16g), D16b(2, 2, ie16g);
  _ResampleEx(&G16b, &D16b, rfBicubic);
  EXPECT_EQ(D16b.GetPixelFormat(), ie16g);
}

TEST(Convolution, ThreadedEqualsSingleThreaded) {
  std::mt19937 Rng(7);
  auto S = std::make_unique<TIEBitmap>(97, 61, ie24RGB);
  for (int32_t y = 0; y < 61; ++y)
    for (int32_t x = 0; x < 97 * 3; ++x) S->GetScanline(y)[x] = uint8_t(Rng());
  for (TResampleFilter F : {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfNearest, rfLinear}) {
    for (auto [W, H] : {std::pair{40, 25}, std::pair{150, 130}}) {
      TIEBitmap One(W, H, ie24RGB), Many(W, H, ie24RGB), TooMany(W, H, ie24RGB);
      _ResampleEx(S.get(), &One, F, nullptr, nullptr, 1);
      _ResampleEx(S.get(), &Many, F, nullptr, nullptr, 8);
      _ResampleEx(S.get(), &TooMany, F, nullptr, nullptr, F == rfLanczos3 ? 70 : 3);  // 70 > rows
      for (int32_t y = 0; y < H; ++y) {
        ASSERT_EQ(std::memcmp(One.GetScanline(y), Many.GetScanline(y), size_t(W) * 3), 0) << int(F) << " row " << y;
        ASSERT_EQ(std::memcmp(One.GetScanline(y), TooMany.GetScanline(y), size_t(W) * 3), 0) << int(F);
      }
    }
  }
}

TEST(Convolution, ColourPathEqualsThePlanePath) {
  // The 24-bit pass reads dense windows, the 8-bit one sparse lists: one
  // channel of a colour resample must equal the same plane resampled alone.
  std::mt19937 Rng(5);
  const int32_t W = 37, H = 23;
  auto C = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  auto G = std::make_unique<TIEBitmap>(W, H, ie8g);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      uint8_t* P = C->GetScanline(y) + 3 * x;
      P[0] = P[1] = P[2] = uint8_t(Rng());
      P[1] = uint8_t(Rng());
      G->GetScanline(y)[x] = P[0];
    }
  for (TResampleFilter F : {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfNearest, rfLinear})
    for (auto [DW, DH] : {std::pair{3, 2}, std::pair{11, 40}, std::pair{90, 9}, std::pair{1, 5}}) {
      TIEBitmap Dc(DW, DH, ie24RGB), Dg(DW, DH, ie8g);
      _ResampleEx(C.get(), &Dc, F, nullptr, nullptr, 2);
      IEResample8Bit(G.get(), &Dg, F);
      for (int32_t y = 0; y < DH; ++y)
        for (int32_t x = 0; x < DW; ++x)
          ASSERT_EQ(Dc.GetScanline(y)[3 * x], Dg.GetScanline(y)[x]) << int(F) << " " << DW << "x" << DH;
    }
}

TEST(Convolution, VectorAndPortablePathsAgree) {
  // Both paths of the weighted sums must give every resampler the same
  // bytes: colour and gray, every filter, enlarged, reduced and mixed.
  std::mt19937 Rng(3);
  auto C = std::make_unique<TIEBitmap>(61, 37, ie24RGB);
  auto G = std::make_unique<TIEBitmap>(61, 37, ie8g);
  for (int32_t y = 0; y < 37; ++y) {
    for (int32_t x = 0; x < 61 * 3; ++x)
      C->GetScanline(y)[x] = uint8_t(x % 7 == 0 ? 255 * (Rng() & 1) : Rng());
    for (int32_t x = 0; x < 61; ++x) G->GetScanline(y)[x] = uint8_t(Rng());
  }
  const bool Saved = IEResampleVectors;
  for (TResampleFilter F : {rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell, rfNearest,
                            rfLinear, rfBilinear, rfBicubic})
    for (auto [W, H] : {std::pair{130, 80}, std::pair{17, 9}, std::pair{150, 11}, std::pair{20, 90}}) {
      std::vector<uint8_t> Out[2];
      for (int Pass = 0; Pass < 2; ++Pass) {
        IEResampleVectors = Pass == 0 && Saved;
        TIEBitmap Dc(W, H, ie24RGB), Dg(W, H, ie8g);
        _ResampleEx(C.get(), &Dc, F, nullptr, nullptr, 2);
        _ResampleEx(G.get(), &Dg, F, nullptr, nullptr, 2);
        for (int32_t y = 0; y < H; ++y) {
          Out[Pass].insert(Out[Pass].end(), Dc.GetScanline(y), Dc.GetScanline(y) + 3 * W);
          Out[Pass].insert(Out[Pass].end(), Dg.GetScanline(y), Dg.GetScanline(y) + W);
        }
      }
      EXPECT_EQ(Out[0], Out[1]) << int(F) << " " << W << "x" << H;
    }
  IEResampleVectors = Saved;
}

TEST(AreaResample, ThreadedEqualsSingleThreaded) {
  std::mt19937 Rng(11);
  auto S = std::make_unique<TIEBitmap>(53, 47, ie24RGB);
  for (int32_t y = 0; y < 47; ++y)
    for (int32_t x = 0; x < 53 * 3; ++x) S->GetScanline(y)[x] = uint8_t(Rng());
  for (bool Bicubic : {false, true})
    for (auto [W, H] : {std::pair{20, 19}, std::pair{120, 100}, std::pair{20, 100}, std::pair{120, 19}}) {
      TIEBitmap One(W, H, ie24RGB), Many(W, H, ie24RGB);
      IEAreaResample8(S.get(), &One, Bicubic, nullptr, nullptr, 1);
      IEAreaResample8(S.get(), &Many, Bicubic, nullptr, nullptr, 6);
      for (int32_t y = 0; y < H; ++y)
        ASSERT_EQ(std::memcmp(One.GetScanline(y), Many.GetScanline(y), size_t(W) * 3), 0) << Bicubic << " " << W;
    }
}

TEST(AreaResample, ImagesInATemporaryFileGiveTheSameResult) {
  // One worker streams a file-backed source once; the bytes are those of
  // the same images in memory, in every mode.
  std::mt19937 Rng(19);
  auto S = std::make_unique<TIEBitmap>(41, 29, ie24RGB);
  for (int32_t y = 0; y < 29; ++y)
    for (int32_t x = 0; x < 41 * 3; ++x) S->GetScanline(y)[x] = uint8_t(Rng());
  TIEBitmap File;
  File.Assign(S.get());
  testsupport::MoveToTemporaryFile(&File);
  ASSERT_EQ(File.GetLocation(), ieFile);
  for (bool Bicubic : {false, true})
    for (auto [W, H] : {std::pair{90, 70}, std::pair{13, 11}, std::pair{90, 11}, std::pair{13, 70}}) {
      TIEBitmap A(W, H, ie24RGB), B;
      testsupport::MoveToTemporaryFile(&B);
      B.Allocate(W, H, ie24RGB);
      IEAreaResample8(S.get(), &A, Bicubic, nullptr, nullptr, 4);
      IEAreaResample8(&File, &B, Bicubic, nullptr, nullptr, 4);
      EXPECT_EQ(testsupport::CanonicalPixels(&A), testsupport::CanonicalPixels(&B))
          << Bicubic << " " << W << "x" << H;
    }
}

TEST(Convolution, ProgressReachesOnlyTheCallingThread) {
  auto S = std::make_unique<TIEBitmap>(300, 400, ie24RGB);
  TIEBitmap D(150, 200, ie24RGB);
  const auto Caller = std::this_thread::get_id();
  int32_t Calls = 0, Max = -1;
  bool Foreign = false;
  _ResampleEx(
      S.get(), &D, rfLanczos3,
      [&](TObject*, int32_t P) {
        ++Calls;
        Max = std::max(Max, P);
        if (std::this_thread::get_id() != Caller) Foreign = true;
      },
      nullptr, 4);
  EXPECT_FALSE(Foreign);
  EXPECT_GT(Calls, 0);
  EXPECT_LE(Max, 100);
  Calls = 0;
  _ResampleEx(
      S.get(), &D, rfBilinear,
      [&](TObject*, int32_t P) {
        ++Calls;
        if (std::this_thread::get_id() != Caller) Foreign = true;
      },
      nullptr, 4);
  EXPECT_FALSE(Foreign);
  EXPECT_GT(Calls, 0);
}

TEST(Convolution, OneBitAndResampleBitmap) {
  auto Page = PageWithColumns(40, 40, {20});
  TIEBitmap D(20, 20, ie24RGB);
  _Resample1BitEx(Page.get(), &D, rfTriangle);
  EXPECT_LT(D.GetScanline(10)[30], 255);  // the stroke shows as gray
  EXPECT_EQ(D.GetScanline(10)[0], 255);
  // Unfiltered stretch keeps the format; an alpha plane follows the image.
  TIEBitmap Pal(4, 1, ie8p), Big(8, 2, ie24RGB);
  Pal.GetScanline(0)[3] = 9;
  Pal.GetAlphaChannel()->GetScanline(0)[3] = 17;
  IEResampleBitmap(&Pal, &Big, rfNone);
  EXPECT_EQ(Big.GetPixelFormat(), ie8p);
  EXPECT_EQ(Big.GetScanline(1)[7], 9);
  ASSERT_TRUE(Big.HasAlphaChannel());
  EXPECT_EQ(Big.GetAlpha(6, 1), 17);
  TIEBitmap P(10, 10, ie24RGB);
  IEResampleBitmap(Page.get(), &P, rfProjectBW);
  EXPECT_EQ(P.GetPixelFormat(), ie1g);
  EXPECT_FALSE(BitAt(&P, 5, 5));
}

}  // namespace
