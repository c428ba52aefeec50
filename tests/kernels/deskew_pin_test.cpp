// Deskew results pinned bit for bit: the reduced gray page, its edge map, the
// measured angle and the straightened page of a few text-like pages, so that
// faster versions of these kernels are known to answer exactly as before.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>

#include "foundations/image_buffer.h"
#include "kernels/edge_shen_castan.h"
#include "kernels/resample_engine.h"
#include "kernels/skew.h"

namespace {

// FNV-1a over every row's bytes.
uint64_t Hash(TIEBitmap* B) {
  uint64_t H = 1469598103934665603ull;
  const int32_t W = B->GetWidth();
  const int32_t Bytes = B->GetPixelFormat() == ie1g ? (W + 7) / 8 : W * 3;
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* Row = B->GetScanline(y);
    for (int32_t i = 0; i < Bytes; ++i) H = (H ^ Row[i]) * 1099511628211ull;
  }
  return H;
}

void Black(TIEBitmap* B, int32_t X, int32_t Y, int32_t W, int32_t H) {
  for (int32_t y = std::max(0, Y); y < std::min(B->GetHeight(), Y + H); ++y)
    for (int32_t x = std::max(0, X); x < std::min(B->GetWidth(), X + W); ++x)
      B->GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
}

// Lines of word-like blobs on white, a few specks, turned by Degrees.
std::unique_ptr<TIEBitmap> TextPage(int32_t W, int32_t H, double Degrees, uint32_t Seed) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie1g);
  B->Fill(1);
  std::mt19937 Rng(Seed);
  for (int32_t Base = H / 16; Base < H - H / 16; Base += 41) {
    int32_t x = W / 14;
    while (x < W - W / 10) {
      const int32_t Letters = 2 + int32_t(Rng() % 8);
      for (int32_t l = 0; l < Letters; ++l) {
        const int32_t Tall = (Rng() % 4 == 0) ? 28 : 20;
        Black(B.get(), x, Base - Tall, 3, Tall);
        Black(B.get(), x + 9, Base - 20, 3, 20);
        Black(B.get(), x, Base - 20, 12, 3);
        if (Rng() % 2) Black(B.get(), x, Base - 3, 12, 3);
        x += 16;
      }
      x += 18;
    }
  }
  for (int32_t i = 0; i < 300; ++i) Black(B.get(), int32_t(Rng() % W), int32_t(Rng() % H), 1 + Rng() % 3, 1 + Rng() % 3);
  if (Degrees != 0) IERotate1BitShear(B.get(), Degrees);
  return B;
}

TEST(DeskewPinned, ReductionEdgesAngleAndRotationAnswerAsBefore) {
  struct {
    int32_t W, H;
    double Degrees;
    uint32_t Seed;
    uint64_t Page, Gray, Edges, Straight;
    double Angle;
  } Cases[] = {
      {1240, 1754, 3, 1, 0x3569db71c8544e5full, 0x7027e38d4096f17full, 0xbe7cf23a642ae780ull, 0xd9b476e8efc34a1ull, -3},
      {1237, 1601, -3, 2, 0xbee268dd1ace5dfdull, 0xf489a46c45575a85ull, 0xcc86ee67ac05ffffull, 0xd8a2b496d05294e4ull, 3},
      {1003, 1411, 7.3, 3, 0x2e3aa5e0e4d1073ull, 0x181e76953d2c990eull, 0x47e16748bacfc028ull, 0xe2f7677200167fa5ull,
       -7.2999999999999972},
      {2480, 3508, 0.4, 4, 0xc7348f5695a985dfull, 0x3ce32ac42c6f400bull, 0xdf8cad1326538c06ull, 0xc9bb62c78642acb8ull,
       -0.40000000000000568},
  };
  for (const auto& C : Cases) {
    auto P = TextPage(C.W, C.H, C.Degrees, C.Seed);
    const uint64_t PageHash = Hash(P.get());
    // The reduction and edge map the measurement works on.
    TIEBitmap Gray;
    ASSERT_TRUE(Gray.Allocate(300, int32_t(int64_t(C.H) * 300 / C.W), ie24RGB));
    _Resample1BitEx(P.get(), &Gray, rfFastLinear);
    TIEBitmap Edges;
    TIEProgressRec Silent;
    ASSERT_TRUE(IEShenCastanEdges(&Gray, &Edges, 7, 0.99, 0.9, 0, true, Silent));
    bool Found = false;
    const double Angle = IEDetectSkewAngle(P.get(), 300, 15, 0.1, true, nullptr, nullptr, &Found);
    EXPECT_TRUE(Found);
    ASSERT_TRUE(IERotate1BitShear(P.get(), Angle));
    EXPECT_EQ(PageHash, C.Page) << C.W;
    EXPECT_EQ(Hash(&Gray), C.Gray) << C.W;
    EXPECT_EQ(Hash(&Edges), C.Edges) << C.W;
    EXPECT_EQ(Angle, C.Angle) << C.W;
    EXPECT_EQ(Hash(P.get()), C.Straight) << C.W;
  }
}

// The edge detector's other settings on a colour picture, and the angle
// search on a whole page without reduction.
TEST(DeskewPinned, EdgeSettingsAndWholePageSearchAnswerAsBefore) {
  auto P = TextPage(1003, 1411, 2.2, 7);
  TIEBitmap Colour;
  ASSERT_TRUE(Colour.Allocate(251, 353, ie24RGB));
  _Resample1BitEx(P.get(), &Colour, rfFastLinear);
  for (int32_t y = 0; y < Colour.GetHeight(); ++y) {
    uint8_t* Row = Colour.GetScanline(y);
    for (int32_t x = 0; x < Colour.GetWidth(); ++x) {
      Row[3 * x] = uint8_t(Row[3 * x] * 3 / 4 + x % 61);
      Row[3 * x + 2] = uint8_t(Row[3 * x + 2] / 2 + y % 37);
    }
  }
  struct {
    int32_t Window;
    double Ratio, Smoothing;
    int32_t Thin;
    bool Hysteresis;
    uint64_t Edges;
  } Settings[] = {
      {7, 0.99, 0.9, 0, true, 0xb52b25d92ebc1e8full},
      {3, 0.95, 0.5, 3, false, 0x368fc25f497effbaull},
      {15, 0.9, 0.7, 2, true, 0x7d41c59811695eb1ull},
      {1, 0.8, 0.95, 0, true, 0x948ec64e51a43ce3ull},
  };
  for (const auto& S : Settings) {
    TIEBitmap Edges;
    TIEProgressRec Silent;
    ASSERT_TRUE(IEShenCastanEdges(&Colour, &Edges, S.Window, S.Ratio, S.Smoothing, S.Thin, S.Hysteresis, Silent));
    EXPECT_EQ(Hash(&Edges), S.Edges) << S.Window;
  }
  bool Found = false;
  EXPECT_EQ(IEDetectSkewAngle(P.get(), 0, 15, 0.1, false, nullptr, nullptr, &Found), -2.2000000000000028);
  EXPECT_EQ(IEDetectSkewAngle(P.get(), 500, 20, 0.2, true, nullptr, nullptr, &Found), -2.2000000000000028);
}

// The angle search alone on pages of long black runs (bars) and specks, with
// bands wide enough that votes near the corners fall past the cells.
TEST(DeskewPinned, SearchOverLongRunsAndWideBandsAnswersAsBefore) {
  struct {
    double Degrees;
    int32_t Range;
    double Precision;
    double Angle;
  } Cases[] = {
      {5, 15, 0.1, 5},
      {5, 60, 0.1, 5},
      {5, 180, 0.1, 5},
      {5, 180, 1, 5},
      {-20, 15, 0.1, -7.2000000000000028},
      {-20, 60, 0.5, -20},
      {-20, 180, 0.1, -20.099999999999994},
      {-20, 90, 1, -20},
  };
  for (const auto& C : Cases) {
    TIEBitmap Page(331, 217, ie1g);
    Page.Fill(1);
    std::mt19937 Rng(11);
    const double Slope = std::tan(C.Degrees * 3.14159265358979 / 180);
    for (int32_t Bar = 0; Bar < 9; ++Bar) {
      const int32_t X0 = int32_t(Rng() % 200), Len = 20 + int32_t(Rng() % 300), Y0 = 10 + 22 * Bar;
      for (int32_t x = X0; x < std::min(331, X0 + Len); ++x)
        Black(&Page, x, Y0 + int32_t(std::lround((x - 165) * Slope)), 1, 3);
    }
    for (int32_t i = 0; i < 400; ++i) Black(&Page, int32_t(Rng() % 331), int32_t(Rng() % 217), 1 + Rng() % 5, 1);
    TIEProgressRec Silent;
    bool Found = false;
    const double A = IEHoughSkewAngle(&Page, Silent, C.Range, C.Precision, &Found);
    EXPECT_TRUE(Found);
    EXPECT_EQ(A, C.Angle) << C.Degrees << " " << C.Range << " " << C.Precision;
  }
}

// The 1-bit page reduced to gray at other sizes: boxes of a few columns and
// boxes wider than a 64-bit load, pages with white and black rows.
TEST(DeskewPinned, BoxReductionAnswersAsBefore) {
  auto P = TextPage(1237, 1601, -3, 2);
  for (int32_t y = 700; y < 760; ++y) std::memset(P->GetScanline(y), 0, size_t((1237 + 7) / 8));
  struct {
    int32_t W, H;
    uint64_t Gray;
  } Cases[] = {{300, 388, 0x39526d5e9569dda2ull}, {40, 52, 0xb2bdb01768e29727ull},
               {1000, 1300, 0x20ca0fda4c5b9bc6ull}, {619, 800, 0x20ce339e5d609b50ull},
               {13, 1000, 0x1099598326d258c5ull}};
  for (const auto& C : Cases) {
    TIEBitmap Gray;
    ASSERT_TRUE(Gray.Allocate(C.W, C.H, ie24RGB));
    _Resample1BitEx(P.get(), &Gray, rfFastLinear);
    EXPECT_EQ(Hash(&Gray), C.Gray) << C.W << " x " << C.H;
  }
}

}  // namespace
