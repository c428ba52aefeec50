#include "kernels/despeckle.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

void InvertBits(TIEBitmap* B) {
  const int64_t Len = B->GetRowLen();
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    uint8_t* Row = B->GetScanline(y);
    for (int64_t i = 0; i < Len; ++i) Row[i] = uint8_t(~Row[i]);
  }
}

// Ring of the 3 x 3 window, clockwise from the top-left corner: positions
// 0 to 7 are (-1, -1), (0, -1), (1, -1), (1, 0), (1, 1), (0, 1), (-1, 1),
// (-1, 0).  Positions 0, 2, 4, 6 are the corners.

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
  const bool White = Colour != 0;
  const int32_t Bytes = (Bitmap->GetWidth() + 7) / 8;
  // Three rows as they were, 1 bits for pixels of the colour inside the
  // rectangle, with a zero byte on each side; rolling, so every count is
  // taken from the page before any change.
  std::vector<uint8_t> Rows[3];
  for (auto& R : Rows) R.assign(size_t(Bytes) + 2, 0);
  const auto Load = [&](int32_t y, std::vector<uint8_t>& R) {
    std::fill(R.begin(), R.end(), 0);
    if (y < Y1 || y >= Y2) return;
    const uint8_t* Src = Bitmap->GetScanline(y);
    for (int32_t i = X1 / 8; i <= (X2 - 1) / 8; ++i) R[size_t(i) + 1] = White ? Src[i] : uint8_t(~Src[i]);
    // Bits outside the rectangle do not count.
    R[size_t(X1 / 8) + 1] &= uint8_t(0xFFu >> (X1 & 7));
    const int32_t Last = (X2 - 1) & 7;
    R[size_t((X2 - 1) / 8) + 1] &= uint8_t(0xFF00u >> (Last + 1));
  };
  // The three bits of a row around pixel x (x - 1, x, x + 1).
  const auto Window = [](const std::vector<uint8_t>& R, int32_t x) {
    const size_t i = size_t(x >> 3);
    const uint32_t V = uint32_t(R[i]) << 16 | uint32_t(R[i + 1]) << 8 | R[i + 2];
    return (V >> (14 - (x & 7))) & 7u;
  };
  static constexpr uint8_t Bits3[8] = {0, 1, 1, 2, 1, 2, 2, 3};
  Load(Y1 - 1, Rows[0]);
  Load(Y1, Rows[1]);
  for (int32_t y = Y1; y < Y2; ++y) {
    Load(y + 1, Rows[2]);
    const std::vector<uint8_t>& Cur = Rows[1];
    uint8_t* Row = nullptr;
    for (int32_t i = X1 / 8; i <= (X2 - 1) / 8; ++i) {
      const uint8_t Own = Cur[size_t(i) + 1];
      if (!Own) continue;
      for (int32_t k = 0; k < 8; ++k) {
        if (!(Own & (0x80u >> k))) continue;
        const int32_t x = i * 8 + k;
        const int32_t Count = Bits3[Window(Rows[0], x)] + Bits3[Window(Rows[1], x)] + Bits3[Window(Rows[2], x)];
        if (Count > Size) continue;
        if (!Row) Row = Bitmap->GetScanline(y);
        if (White)
          Row[x >> 3] &= uint8_t(~(0x80u >> (x & 7)));
        else
          Row[x >> 3] |= uint8_t(0x80u >> (x & 7));
      }
    }
    std::swap(Rows[0], Rows[1]);
    std::swap(Rows[1], Rows[2]);
  }
}

void IEKFill(TIEBitmap* Bitmap, bool CheckConnectivity, bool StrictBlackFill, int32_t Iterations, int32_t K,
             bool Invert) {
  (void)K;  // only the 3 x 3 window is offered
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g || Iterations < 1) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W < 1 || H < 1) return;
  if (Invert) InvertBits(Bitmap);
  const int32_t Bytes = (W + 7) / 8;
  // Work plane: 255 white, 0 black, levels in between mark earlier fills;
  // the frame is black and never written back.
  // Every byte is written below, so the plane is not cleared first.
  const std::unique_ptr<uint8_t[]> Plane = std::make_unique_for_overwrite<uint8_t[]>(size_t(W) * size_t(H));
  // Per byte of each row: whether any pixel of the 3 x 3 neighbourhoods of
  // its eight pixels may be other than plain white.  A pixel whose whole
  // neighbourhood is white can change in no pass (its ring fills nothing and
  // it is no candidate for white), so such bytes are skipped; every fill
  // marks the bytes around it.
  std::vector<uint8_t> Dark(size_t(Bytes) * size_t(H), 0);
  // The eight plane levels of every byte value.
  uint8_t Expand[256][8];
  for (int32_t v = 0; v < 256; ++v)
    for (int32_t k = 0; k < 8; ++k) Expand[v][k] = (v & (0x80 >> k)) ? 255 : 0;
  for (int32_t y = 0; y < H; ++y) {
    const uint8_t* Row = Bitmap->GetScanline(y);
    uint8_t* P = &Plane[size_t(y) * W];
    uint8_t* D = &Dark[size_t(y) * Bytes];
    for (int32_t b = 0; b < Bytes; ++b) {
      const int32_t N = std::min(8, W - b * 8);
      const uint8_t Mask = uint8_t(0xFF00u >> N);
      if ((Row[b] & Mask) == Mask) {
        std::memset(P + b * 8, 255, size_t(N));
      } else {
        D[b] = 1;
        std::memcpy(P + b * 8, Expand[Row[b]], size_t(N));
      }
    }
    D[0] = D[Bytes - 1] = 1;
  }
  for (int32_t x = 0; x < W; ++x) Plane[x] = Plane[size_t(H - 1) * W + x] = 0;
  for (int32_t y = 0; y < H; ++y) Plane[size_t(y) * W] = Plane[size_t(y) * W + W - 1] = 0;
  std::fill(Dark.begin(), Dark.begin() + Bytes, 1);
  std::fill(Dark.end() - Bytes, Dark.end(), 1);
  std::vector<uint8_t> Active(Dark.size(), 0);
  const auto Touch = [&](int32_t y, int32_t b) {
    for (int32_t j = std::max(0, y - 1); j <= std::min(H - 1, y + 1); ++j)
      for (int32_t c = std::max(0, b - 1); c <= std::min(Bytes - 1, b + 1); ++c) Active[size_t(j) * Bytes + c] = 1;
  };
  for (int32_t y = 0; y < H; ++y)
    for (int32_t b = 0; b < Bytes; ++b)
      if (Dark[size_t(y) * Bytes + b]) Touch(y, b);
  std::vector<uint8_t>().swap(Dark);

  uint8_t Tables[2][256];
  BuildTable(false, CheckConnectivity, StrictBlackFill, Tables[0]);
  BuildTable(true, CheckConnectivity, StrictBlackFill, Tables[1]);
  int32_t Low = 1, High = 254;

  // One pixel in one mode: answers whether it was filled.
  const auto Step = [&](int32_t x, int32_t y, bool WhiteMode) -> bool {
    uint8_t* P = &Plane[size_t(y) * W + x];
    // Ring pattern: bit i set where ring position i reads at least T.
    const auto Ring = [P, W](int32_t T) {
      const uint8_t* Up = P - W - 1;
      const uint8_t* Down = P + W - 1;
      return int32_t(Up[0] >= T) | int32_t(Up[1] >= T) << 1 | int32_t(Up[2] >= T) << 2 | int32_t(P[1] >= T) << 3 |
             int32_t(Down[2] >= T) << 4 | int32_t(Down[1] >= T) << 5 | int32_t(Down[0] >= T) << 6 |
             int32_t(P[-1] >= T) << 7;
    };
    if (!WhiteMode) {
      if (*P <= Low) return false;
      if (!Tables[0][Ring(Low)]) return false;
      *P = uint8_t(Low);
    } else {
      if (*P >= High) return false;
      if (!Tables[1][Ring(High + 1)]) return false;
      *P = uint8_t(High);
    }
    Touch(y, x >> 3);
    return true;
  };
  // Whether the whole byte holding x (which starts at x) can be skipped.
  const auto Quiet = [&](int32_t x, int32_t y, int32_t Last) {
    return (x & 7) == 0 && x + 7 <= Last && !Active[size_t(y) * Bytes + (x >> 3)];
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
        const bool Skip = Quiet(x, y, W - 2);
        const bool IsWhite = Skip || Plane[Base + x] > Low;
        if (IsWhite && !PrevWhite) {
          if (!R.empty() && x - R.back().E < 5)
            R.back().E = -1;  // reopened
          else
            R.push_back({x, -1});
        } else if (!IsWhite && PrevWhite) {
          R.back().E = x - 1;
        }
        PrevWhite = IsWhite;
        if (Skip) {
          x += 7;
          continue;
        }
        if (Step(x, y, false)) Changed = true;
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
      int32_t NextFree = 1;
      for (const TRun& R : Runs[y]) {
        const int32_t From = std::max({R.A - 1, NextFree, 1});
        const int32_t To = std::min(R.E + 1, W - 2);
        for (int32_t x = From; x <= To; ++x) {
          if (Quiet(x, y, To)) {
            x += 7;
            continue;
          }
          if (Step(x, y, WhiteMode)) PassChanged = true;
        }
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

  // Back into the bits a byte at a time: levels at or below Low are black,
  // at or above High white, others keep their bit; untouched bytes are as
  // they were.
  for (int32_t y = 1; y < H - 1; ++y) {
    uint8_t* Row = nullptr;
    const uint8_t* P = &Plane[size_t(y) * W];
    const uint8_t* A = &Active[size_t(y) * Bytes];
    for (int32_t b = 0; b < Bytes; ++b) {
      if (!A[b]) continue;
      const int32_t X0 = std::max(b * 8, 1), X1 = std::min(b * 8 + 7, W - 2);
      uint32_t Clear = 0, Set = 0;
      for (int32_t x = X0; x <= X1; ++x) {
        const uint32_t Mask = 0x80u >> (x & 7);
        Clear |= P[x] <= Low ? Mask : 0;
        Set |= P[x] >= High ? Mask : 0;
      }
      Set &= ~Clear;
      if (!(Clear | Set)) continue;
      if (!Row) Row = Bitmap->GetScanline(y);
      Row[b] = uint8_t((Row[b] & ~Clear) | Set);
    }
  }
  if (Invert) InvertBits(Bitmap);
}
