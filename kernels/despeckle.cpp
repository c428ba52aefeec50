#include "kernels/despeckle.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

inline bool BitSet(const uint8_t* Row, int32_t X) { return (Row[X >> 3] & (0x80u >> (X & 7))) != 0; }

void InvertBits(TIEBitmap* B) {
  const int64_t Len = B->GetRowLen();
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int64_t i = 0; i < Len; ++i) Row[i] = uint8_t(~Row[i]);
  }
}

// Ring of the 3 x 3 window, clockwise from the top-left corner: offsets of
// the eight positions.  Positions 0, 2, 4, 6 are the corners.
constexpr int32_t kRingDX[8] = {-1, 0, 1, 1, 1, 0, -1, -1};
constexpr int32_t kRingDY[8] = {-1, -1, -1, 0, 1, 1, 1, 0};

// Decision of one mode for each of the 256 ring patterns (bit i = ring
// position i set).
void BuildTable(bool WhiteMode, bool CheckConnectivity, bool StrictBlackFill, uint8_t Table[256]) {
  constexpr int32_t k = 3;
  for (int32_t P = 0; P < 256; ++P) {
    const auto Bit = [P](int32_t i) { return (P >> (i & 7)) & 1; };
    // Clusters of set ring pixels: clear-to-set steps among the non-corner
    // positions in ring order, plus set corners between two clear neighbours.
    int32_t q = 0;
    for (int32_t i = 1; i < 8; i += 2)
      if (!Bit(i) && Bit(i + 2)) ++q;
    int32_t r = 0;
    for (int32_t c = 0; c < 8; c += 2) {
      if (!Bit(c)) continue;
      ++r;
      if (!Bit(c + 7) && !Bit(c + 1)) ++q;
    }
    int32_t Set = 0;
    for (int32_t i = 0; i < 8; ++i) Set += Bit(i);
    const int32_t n = WhiteMode ? Set : 8 - Set;
    bool Fill;
    if (CheckConnectivity && q > 1)
      Fill = false;
    else if (WhiteMode || !StrictBlackFill)
      Fill = n > 3 * k - 4 || (n == 3 * k - 4 && r == 2);
    else
      Fill = n == 4 * (k - 1) || (n == 3 * k - 4 && r == 2);
    Table[P] = Fill ? 1 : 0;
  }
}

struct TRun {
  int32_t A, E;
};

}  // namespace

void IERemoveIsolatedPixels(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Colour,
                            int32_t Size) {
  if (Size == 0 || !Bitmap || Bitmap->GetPixelFormat() != ie1g) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Bitmap->GetWidth());
  Y2 = std::min(Y2, Bitmap->GetHeight());
  if (X1 >= X2 || Y1 >= Y2) return;
  const int32_t W = X2 - X1;
  const bool White = Colour != 0;
  // Three rows of "is of the colour" flags with a one-cell margin, each
  // already summed over its horizontal three: rolling, so every count is
  // taken from the page as it was before any change.
  std::vector<uint8_t> Sums[3];
  for (auto& S : Sums) S.assign(size_t(W) + 2, 0);
  std::vector<uint8_t> Flags(size_t(W) + 2, 0);
  std::vector<uint8_t> Cur(size_t(W), 0);  // flags of the row being changed
  std::vector<uint8_t> Next(size_t(W), 0);
  const auto Load = [&](int32_t y, std::vector<uint8_t>& Sum, std::vector<uint8_t>& Own) {
    std::fill(Sum.begin(), Sum.end(), 0);
    if (y < Y1 || y >= Y2) {
      std::fill(Own.begin(), Own.end(), 0);
      return;
    }
    const uint8_t* Row = Bitmap->GetScanline(y);
    Flags[0] = Flags[size_t(W) + 1] = 0;
    for (int32_t x = 0; x < W; ++x) Flags[size_t(x) + 1] = Own[x] = BitSet(Row, X1 + x) == White ? 1 : 0;
    for (int32_t x = 0; x < W; ++x) Sum[size_t(x) + 1] = uint8_t(Flags[x] + Flags[x + 1] + Flags[x + 2]);
  };
  std::vector<uint8_t> Dummy(size_t(W), 0);
  Load(Y1 - 1, Sums[0], Dummy);
  Load(Y1, Sums[1], Cur);
  for (int32_t y = Y1; y < Y2; ++y) {
    Load(y + 1, Sums[2], Next);
    uint8_t* Row = nullptr;
    for (int32_t x = 0; x < W; ++x) {
      if (!Cur[x]) continue;
      const int32_t Count = Sums[0][x + 1] + Sums[1][x + 1] + Sums[2][x + 1];
      if (Count > Size) continue;
      if (!Row) Row = Bitmap->GetScanline(y);
      const int32_t X = X1 + x;
      if (White)
        Row[X >> 3] &= uint8_t(~(0x80u >> (X & 7)));
      else
        Row[X >> 3] |= uint8_t(0x80u >> (X & 7));
    }
    std::swap(Sums[0], Sums[1]);
    std::swap(Sums[1], Sums[2]);
    std::swap(Cur, Next);
  }
}

void IEKFill(TIEBitmap* Bitmap, bool CheckConnectivity, bool StrictBlackFill, int32_t Iterations, int32_t K,
             bool Invert) {
  (void)K;  // only the 3 x 3 window is offered
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g || Iterations < 1) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W < 1 || H < 1) return;
  if (Invert) InvertBits(Bitmap);
  // Work plane: 255 white, 0 black, levels in between mark earlier fills;
  // the frame is black and never written back.
  std::vector<uint8_t> Plane(size_t(W) * size_t(H));
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    uint8_t* P = &Plane[size_t(y) * W];
    for (int32_t x = 0; x < W; ++x) P[x] = BitSet(Row, x) ? 255 : 0;
  }
  for (int32_t x = 0; x < W; ++x) Plane[x] = Plane[size_t(H - 1) * W + x] = 0;
  for (int32_t y = 0; y < H; ++y) Plane[size_t(y) * W] = Plane[size_t(y) * W + W - 1] = 0;

  uint8_t Tables[2][256];
  BuildTable(false, CheckConnectivity, StrictBlackFill, Tables[0]);
  BuildTable(true, CheckConnectivity, StrictBlackFill, Tables[1]);
  int32_t Low = 1, High = 254;
  int32_t Offsets[8];
  for (int32_t i = 0; i < 8; ++i) Offsets[i] = kRingDY[i] * W + kRingDX[i];

  // One pixel in one mode: answers whether it was filled.
  const auto Step = [&](size_t I, bool WhiteMode) -> bool {
    uint8_t* P = &Plane[I];
    int32_t Pattern = 0;
    if (!WhiteMode) {
      if (*P <= Low) return false;
      for (int32_t i = 0; i < 8; ++i)
        if (P[Offsets[i]] >= Low) Pattern |= 1 << i;
      if (!Tables[0][Pattern]) return false;
      *P = uint8_t(Low);
    } else {
      if (*P >= High) return false;
      for (int32_t i = 0; i < 8; ++i)
        if (P[Offsets[i]] > High) Pattern |= 1 << i;
      if (!Tables[1][Pattern]) return false;
      *P = uint8_t(High);
    }
    return true;
  };

  // First pass: black fill over every inner pixel, recording the runs of
  // white-reading pixels that limit the later passes.
  std::vector<std::vector<TRun>> Runs{size_t(H)};
  bool Changed = false;
  if (H > 2 && W > 2) {
    for (int32_t y = 1; y < H - 1; ++y) {
      std::vector<TRun>& R = Runs[y];
      bool PrevWhite = false;
      const size_t Base = size_t(y) * W;
      for (int32_t x = 1; x < W - 1; ++x) {
        const bool IsWhite = Plane[Base + x] > Low;
        if (IsWhite && !PrevWhite) {
          if (!R.empty() && x - R.back().E < 5)
            R.back().E = -1;  // reopened
          else
            R.push_back({x, -1});
        } else if (!IsWhite && PrevWhite) {
          R.back().E = x - 1;
        }
        PrevWhite = IsWhite;
        if (Step(Base + x, false)) Changed = true;
      }
      if (!R.empty() && R.back().E < 0) R.back().E = W - 1;
    }
  }
  bool WhiteMode = true;
  --High;
  bool Last = Changed, BeforeLast = true;
  int32_t Passes = 1;
  while (Passes < Iterations && (Last || BeforeLast) && H > 2 && W > 2) {
    bool PassChanged = false;
    for (int32_t y = 1; y < H - 1; ++y) {
      const size_t Base = size_t(y) * W;
      int32_t NextFree = 1;
      for (const TRun& R : Runs[y]) {
        const int32_t From = std::max({R.A - 1, NextFree, 1});
        const int32_t To = std::min(R.E + 1, W - 2);
        for (int32_t x = From; x <= To; ++x)
          if (Step(Base + x, WhiteMode)) PassChanged = true;
        NextFree = std::max(NextFree, To + 1);
      }
    }
    ++Passes;
    if (WhiteMode)
      ++Low;
    else
      --High;
    if (Last) WhiteMode = !WhiteMode;
    BeforeLast = Last;
    Last = PassChanged;
  }

  for (int32_t y = 1; y < H - 1; ++y) {
    uint8_t* Row = Bitmap->GetScanline(y);
    const uint8_t* P = &Plane[size_t(y) * W];
    for (int32_t x = 1; x < W - 1; ++x) {
      const uint8_t Mask = uint8_t(0x80u >> (x & 7));
      if (P[x] <= Low)
        Row[x >> 3] &= uint8_t(~Mask);
      else if (P[x] >= High)
        Row[x >> 3] |= Mask;
    }
  }
  if (Invert) InvertBits(Bitmap);
}
