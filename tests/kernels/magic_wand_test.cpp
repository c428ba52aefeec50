// Magic wand: outline polygons, connected fills and similar-colour scans.
#include "kernels/magic_wand.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"

namespace {

// A 24-bit image from rows of characters: '#' dark (10, 10, 10), '+' a
// near-dark (20, 20, 20), anything else white.
std::unique_ptr<TIEBitmap> Picture(const std::vector<std::string>& Rows) {
  auto B = std::make_unique<TIEBitmap>(int32_t(Rows[0].size()), int32_t(Rows.size()), ie24RGB);
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const char c = Rows[size_t(y)][size_t(x)];
      const uint8_t v = c == '#' ? 10 : c == '+' ? 20 : 255;
      B->SetPixel24(x, y, TRGB{v, v, v});
    }
  return B;
}

std::vector<std::string> MaskRows(TIEMask& M) {
  std::vector<std::string> R;
  for (int32_t y = 0; y < M.GetHeight(); ++y) {
    std::string s;
    for (int32_t x = 0; x < M.GetWidth(); ++x) s += M.GetPixel(x, y) ? '1' : '.';
    R.push_back(s);
  }
  return R;
}

std::vector<TPoint> P(std::initializer_list<std::pair<int32_t, int32_t>> L) {
  std::vector<TPoint> R;
  for (auto [x, y] : L) R.push_back(TPoint{x, y});
  return R;
}

bool Same(const std::vector<TPoint>& A, const std::vector<TPoint>& B) {
  if (A.size() != B.size()) return false;
  for (size_t i = 0; i < A.size(); ++i)
    if (A[i].X != B[i].X || A[i].Y != B[i].Y) return false;
  return true;
}

std::string Show(const std::vector<TPoint>& A) {
  std::string s;
  for (const TPoint& p : A) s += "(" + std::to_string(p.X) + "," + std::to_string(p.Y) + ")";
  return s;
}

TEST(MagicWand, OutlinePolygons) {
  struct Case {
    std::vector<std::string> Rows;
    int32_t X, Y;
    std::vector<TPoint> Want;
  };
  const std::vector<Case> Cases = {
      // An isolated pixel.
      {{"....", ".#..", "...."}, 1, 1, P({{1, 1}, {2, 1}, {2, 1}, {2, 2}, {2, 2}, {1, 2}, {1, 2}, {1, 1}})},
      // A uniform image.
      {{"###", "###"}, 2, 1, P({{0, 0}, {3, 0}, {3, 0}, {3, 2}, {3, 2}, {0, 2}, {0, 2}, {0, 0}})},
      // An L of three pixels.
      {{"#..", "##.", "..."}, 0, 0,
       P({{0, 0}, {1, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 1}, {2, 2}, {2, 2}, {0, 2}, {0, 2}, {0, 0}})},
  };
  for (const Case& C : Cases) {
    auto B = Picture(C.Rows);
    const auto Got = IEMagicWandPolygon(B.get(), C.X, C.Y, false, 0);
    EXPECT_TRUE(Same(Got, C.Want)) << Show(Got);
  }
  // A rectangle gives the same outline with and without widening.
  auto B = Picture({"......", ".###..", ".###..", "......"});
  EXPECT_TRUE(Same(IEMagicWandPolygon(B.get(), 2, 1, true, 0), IEMagicWandPolygon(B.get(), 2, 1, false, 0)));
  // Outside the bitmap: nothing.
  EXPECT_TRUE(IEMagicWandPolygon(B.get(), 6, 0, false, 0).empty());
  EXPECT_TRUE(IEMagicWandPolygon(B.get(), 0, 4, false, 0).empty());
}

TEST(MagicWand, FillStaysConnectedWithinTolerance) {
  auto B = Picture({"##.+#", "#+..#", "....#", "#...."});
  struct Case {
    int32_t Tol;
    bool Widen;
    std::vector<std::string> Want;
  };
  const std::vector<Case> Cases = {
      // Exact colour: the seed's 4-connected dark pixels only.
      {0, false, {"11...", "1....", ".....", "....."}},
      // Tolerance 10 takes the near-dark pixel beside them, not the one that
      // touches only at a corner, nor the separate ones.
      {10, false, {"11...", "11...", ".....", "....."}},
      // Widen grows the region by one pixel.
      {0, true, {"111..", "111..", "11...", "....."}},
  };
  for (const Case& C : Cases) {
    TIEMask M;
    M.AllocateBits(5, 4, 1);
    IEMagicWandFill(B.get(), 0, 0, C.Widen, C.Tol, &M, 1);
    EXPECT_EQ(MaskRows(M), C.Want) << C.Tol << " " << C.Widen;
  }
  // A hole keeps its mask values.
  auto Ring = Picture({"###", "#.#", "###"});
  TIEMask M;
  M.AllocateBits(3, 3, 1);
  IEMagicWandFill(Ring.get(), 0, 0, false, 0, &M, 1);
  EXPECT_EQ(MaskRows(M), (std::vector<std::string>{"111", "1.1", "111"}));
  // The polygon of the ring holds its outer outline only.
  EXPECT_EQ(IEMagicWandPolygon(Ring.get(), 0, 0, false, 0).size(), 8u);
}

TEST(MagicWand, SimilarColoursAnywhereAndSeedsOutside) {
  auto B = Picture({"#.#", "...", "+.#"});
  TIEMask M;
  M.AllocateBits(3, 3, 1);
  IESelectSimilarColors(B.get(), 0, 0, 0, &M, 1);
  EXPECT_EQ(MaskRows(M), (std::vector<std::string>{"1.1", "...", "..1"}));
  IESelectSimilarColors(B.get(), 1, 1, 255, &M, 1);
  EXPECT_EQ(MaskRows(M), (std::vector<std::string>{"111", "111", "111"}));
  TIEMask E;
  E.AllocateBits(3, 3, 1);
  IESelectSimilarColors(B.get(), 3, 0, 255, &E, 1);
  IEMagicWandFill(B.get(), 0, 3, false, 255, &E, 1);
  IEMagicWandFill(B.get(), -1, 0, false, 255, &E, 1);
  EXPECT_TRUE(E.IsEmpty());
}

TEST(MagicWand, OneBitPagesWork) {
  TIEBitmap B(64, 16, ie1g);
  B.Fill(1);
  B.FillRect(10, 4, 20, 9, 0);
  TIEMask M;
  M.AllocateBits(64, 16, 1);
  IEMagicWandFill(&B, 12, 5, false, 0, &M, 1);
  M.UpdateBoundingBox();
  EXPECT_EQ(M.GetX1(), 10);
  EXPECT_EQ(M.GetY1(), 4);
  EXPECT_EQ(M.GetX2(), 20);
  EXPECT_EQ(M.GetY2(), 9);
  const auto Poly = IEMagicWandPolygon(&B, 12, 5, false, 0);
  ASSERT_FALSE(Poly.empty());
  EXPECT_EQ(Poly.front().X, 10);
  EXPECT_EQ(Poly.front().Y, 4);
}

}  // namespace
