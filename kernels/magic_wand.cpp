// Magic wand: a scan-line seed fill of the similar-colour region, its
// outline traced on a four-times magnified grid, and the similar-colour scan.
#include "kernels/magic_wand.h"

#include <algorithm>
#include <climits>
#include <cstdlib>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"

namespace {

struct TSpan {
  int32_t Row, Left, Right, Dir;
};

// The 4-connected region of pixels similar to the seed, as a visited plane
// (one bit per pixel) and its box.
class TRegion {
 public:
  TRegion(TIEBitmap* B, int32_t X, int32_t Y, int32_t Tolerance)
      : FB(B), W(B->GetWidth()), H(B->GetHeight()), FTol(Tolerance), RowLen(W / 8 + 1) {
    Seed = B->GetPixelRGB(X, Y);
    Visited.assign(size_t(RowLen) * size_t(H), 0);
    Fill(X, Y);
  }
  bool IsVisited(int32_t x, int32_t y) const { return (Visited[size_t(y) * RowLen + size_t(x >> 3)] >> (7 - (x & 7))) & 1; }
  TIEBitmap* FB;
  int32_t W, H;
  int32_t MinX = INT32_MAX, MinY = INT32_MAX, MaxX = 0, MaxY = 0;

 private:
  bool Similar(int32_t x, int32_t y) const {
    const TRGB P = FB->GetPixelRGB(x, y);
    return std::abs(int32_t(P.r) - Seed.r) <= FTol && std::abs(int32_t(P.g) - Seed.g) <= FTol &&
           std::abs(int32_t(P.b) - Seed.b) <= FTol;
  }
  bool Free(int32_t x, int32_t y) const { return !IsVisited(x, y) && Similar(x, y); }
  void Mark(int32_t x, int32_t y) {
    Visited[size_t(y) * RowLen + size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    MinX = std::min(MinX, x);
    MinY = std::min(MinY, y);
    MaxX = std::max(MaxX, x);
    MaxY = std::max(MaxY, y);
  }
  void Fill(int32_t X, int32_t Y) {
    std::vector<TSpan> Stack;
    Stack.reserve(size_t(2) * size_t(W));
    Stack.push_back({Y, X, X, 1});
    Stack.push_back({Y + 1, X, X, -1});
    while (!Stack.empty()) {
      const TSpan S = Stack.back();
      Stack.pop_back();
      const int32_t y = S.Row + S.Dir;
      if (y < 0 || y >= H) continue;
      const int32_t x1 = S.Left, x2 = std::min(S.Right, W - 1);
      int32_t x = x1, l = 0;
      while (x >= 0 && x < W && Free(x, y)) {
        Mark(x, y);
        --x;
      }
      bool Run;
      if (x >= x1) {
        x = x1;
        Run = false;
      } else {
        l = x + 1;
        if (l < x1) Stack.push_back({y, l, x1 - 1, -S.Dir});
        x = x1 + 1;
        Run = true;
      }
      for (;;) {
        if (Run) {
          while (x < W && Free(x, y)) {
            Mark(x, y);
            ++x;
          }
          Stack.push_back({y, l, x - 1, S.Dir});
          if (x > S.Right + 1) Stack.push_back({y, S.Right + 1, x - 1, -S.Dir});
        }
        ++x;
        while (x <= x2 && !Free(x, y)) ++x;
        l = x;
        if (x > x2) break;
        Run = true;
      }
    }
  }
  TRGB Seed{};
  int32_t FTol;
  int32_t RowLen;
  std::vector<uint8_t> Visited;
};

bool Inside(TIEBitmap* B, int32_t X, int32_t Y) {
  return B != nullptr && !B->IsEmpty() && X >= 0 && Y >= 0 && X < B->GetWidth() && Y < B->GetHeight();
}

// Search order of the trace: offsets and chain codes.
constexpr int32_t DX[8] = {1, 0, -1, 0, 1, -1, -1, 1};
constexpr int32_t DY[8] = {0, -1, 0, 1, -1, -1, 1, 1};
constexpr int32_t Code[8] = {0, 2, 4, 6, 1, 3, 5, 7};
// Offsets by chain code.
constexpr int32_t CX[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int32_t CY[8] = {0, -1, -1, -1, 0, 1, 1, 1};

int32_t FloorDiv4(int32_t v) { return v >= 0 ? v / 4 : -((-v + 3) / 4); }

}  // namespace

std::vector<TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Widen, int32_t Tolerance) {
  std::vector<TPoint> Result;
  if (!Inside(Bitmap, X, Y)) return Result;
  TRegion R(Bitmap, X, Y, Tolerance);
  const int32_t BW = R.MaxX - R.MinX + 1, BH = R.MaxY - R.MinY + 1;
  // The region in its box (widened inside the box).
  std::vector<uint8_t> Box(size_t(BW) * size_t(BH), 0);
  for (int32_t y = R.MinY; y <= R.MaxY; ++y)
    for (int32_t x = R.MinX; x <= R.MaxX; ++x) {
      if (!R.IsVisited(x, y)) continue;
      const int32_t c = x - R.MinX, r = y - R.MinY;
      if (!Widen) {
        Box[size_t(r) * BW + size_t(c)] = 1;
        continue;
      }
      for (int32_t rr = std::max(0, r - 1); rr <= std::min(BH - 1, r + 1); ++rr)
        for (int32_t cc = std::max(0, c - 1); cc <= std::min(BW - 1, c + 1); ++cc) Box[size_t(rr) * BW + size_t(cc)] = 1;
    }
  const int32_t GW = 4 * BW + 4, GH = 4 * BH + 4;
  std::vector<uint8_t> G(size_t(GW) * size_t(GH), 0);
  auto At = [&](int32_t c, int32_t r) -> uint8_t& { return G[size_t(r) * GW + size_t(c)]; };
  for (int32_t r = 0; r < BH; ++r)
    for (int32_t c = 0; c < BW; ++c)
      if (Box[size_t(r) * BW + size_t(c)])
        for (int32_t k = 0; k < 4; ++k)
          std::fill_n(&At(4 * c + 2, 4 * r + 2 + k), 4, uint8_t(1));
  // Edge cells: the empty cell before each run of region cells, in four scans.
  for (int32_t r = 0; r < GH; ++r) {
    for (int32_t c = 1; c < GW; ++c)
      if (At(c, r) == 1 && At(c - 1, r) == 0) At(c - 1, r) = 3;
    for (int32_t c = GW - 2; c >= 0; --c)
      if (At(c, r) == 1 && At(c + 1, r) == 0) At(c + 1, r) = 3;
  }
  for (int32_t c = 0; c < GW; ++c) {
    for (int32_t r = 1; r < GH; ++r)
      if (At(c, r) == 1 && At(c, r - 1) == 0) At(c, r - 1) = 3;
    for (int32_t r = GH - 2; r >= 0; --r)
      if (At(c, r) == 1 && At(c, r + 1) == 0) At(c, r + 1) = 3;
  }
  int32_t MinC = INT32_MAX, MinR = INT32_MAX;
  for (int32_t r = 0; r < GH; ++r)
    for (int32_t c = 1; c < GW; ++c)
      if (At(c, r) == 3) {
        MinC = std::min(MinC, c);
        MinR = std::min(MinR, r);
      }
  if (MinC == INT32_MAX) return Result;
  int32_t SC = 0, SR = 0;
  int64_t Best = INT64_MAX;
  for (int32_t r = 0; r < GH; ++r)
    for (int32_t c = 1; c < GW; ++c)
      if (At(c, r) == 3) {
        const int64_t d = int64_t(c - MinC) * (c - MinC) + int64_t(r - MinR) * (r - MinR);
        if (d < Best) {
          Best = d;
          SC = c;
          SR = r;
        }
      }
  // Trace the edge cells into a chain of direction codes.
  std::vector<uint8_t> Chain;
  Chain.reserve(8192);
  int32_t cc = SC, cr = SR, Prev = 4;
  At(cc, cr) = 2;
  auto Is3 = [&](int32_t c, int32_t r) { return c >= 0 && r >= 0 && c < GW && r < GH && At(c, r) == 3; };
  for (;;) {
    if (Is3(cc + DX[Prev], cr + DY[Prev])) {
      cc += DX[Prev];
      cr += DY[Prev];
      At(cc, cr) = 2;
      Chain.push_back(uint8_t(Code[Prev]));
    }
    int32_t Found = -1;
    for (int32_t k = 0; k < 8 && Found < 0; ++k)
      if (Is3(cc + DX[k], cr + DY[k])) Found = k;
    if (Found < 0) break;
    cc += DX[Found];
    cr += DY[Found];
    At(cc, cr) = 2;
    Chain.push_back(uint8_t(Code[Found]));
    Prev = Found;
  }
  for (int32_t k = 0; k < 8; ++k)
    if (SC - cc == DX[k] && SR - cr == DY[k]) {
      Chain.push_back(uint8_t(Code[k]));
      break;
    }
  TPoint P{SC + 4 * R.MinX - 1, SR + 4 * R.MinY - 1};
  std::vector<TPoint> Grid;
  Grid.push_back(P);
  int32_t Last = Chain.empty() ? 0 : Chain.front();
  for (uint8_t c : Chain) {
    if (c != Last) {
      Grid.push_back(P);
      Last = c;
    }
    P.X += CX[c];
    P.Y += CY[c];
  }
  Result.reserve(Grid.size());
  for (const TPoint& Q : Grid) Result.push_back(TPoint{FloorDiv4(Q.X), FloorDiv4(Q.Y)});
  return Result;
}

void IEMagicWandFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Widen, int32_t Tolerance, TIEMask* Mask,
                     int32_t Value) {
  if (!Inside(Bitmap, X, Y) || Mask == nullptr) return;
  TRegion R(Bitmap, X, Y, Tolerance);
  for (int32_t y = R.MinY; y <= R.MaxY; ++y)
    for (int32_t x = R.MinX; x <= R.MaxX; ++x) {
      if (!R.IsVisited(x, y)) continue;
      if (!Widen) {
        Mask->SetPixel(x, y, Value);
        continue;
      }
      for (int32_t yy = std::max(0, y - 1); yy <= std::min(R.H - 1, y + 1); ++yy)
        for (int32_t xx = std::max(0, x - 1); xx <= std::min(R.W - 1, x + 1); ++xx) Mask->SetPixel(xx, yy, Value);
    }
}

void IESelectSimilarColors(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TIEMask* Mask, int32_t Value) {
  if (!Inside(Bitmap, X, Y) || Mask == nullptr) return;
  const TRGB S = Bitmap->GetPixelRGB(X, Y);
  for (int32_t y = 0; y < Bitmap->GetHeight(); ++y)
    for (int32_t x = 0; x < Bitmap->GetWidth(); ++x) {
      const TRGB P = Bitmap->GetPixelRGB(x, y);
      if (std::abs(int32_t(P.r) - S.r) <= Tolerance && std::abs(int32_t(P.g) - S.g) <= Tolerance &&
          std::abs(int32_t(P.b) - S.b) <= Tolerance)
        Mask->SetPixel(x, y, Value);
    }
}
