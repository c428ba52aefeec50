#include "kernels/despeckle.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

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

namespace {

// The k-fill passes work on 64-pixel words, bit 63 the leftmost pixel of a
// word and a set bit a white pixel (after the optional inversion).  A pass
// is decided from the page as it stood before the pass: a pixel filled in
// the running pass still reads as its old colour to the windows after it.
// Row buffers carry a zero word on each side, so the neighbours of the first
// and last words are at hand.
using TWord = uint64_t;
constexpr TWord kAllSet = ~TWord(0);

inline TWord FromBigEndian(TWord V) {
  if constexpr (std::endian::native == std::endian::little) return __builtin_bswap64(V);
  return V;
}

// Word P[0] with every pixel replaced by the one S columns to its left (S in
// 1 .. 63); the pixels come in from P[-1].
inline TWord FromLeft(const TWord* P, int32_t S) { return (P[0] >> S) | (P[-1] << (64 - S)); }
// The same with the pixel S columns to the right, coming in from P[1].
inline TWord FromRight(const TWord* P, int32_t S) { return (P[0] << S) | (P[1] >> (64 - S)); }

// Set where at least five of the eight words' bits are set: a bit-sliced
// adder tree.
inline TWord AtLeastFiveOfEight(TWord A0, TWord A1, TWord A2, TWord A3, TWord A4, TWord A5, TWord A6, TWord A7) {
  const auto Add3 = [](TWord A, TWord B, TWord C, TWord& Sum, TWord& Carry) {
    const TWord T = A ^ B;
    Sum = T ^ C;
    Carry = (A & B) | (T & C);
  };
  TWord S1, C1, S2, C2, S, C4;
  Add3(A0, A1, A2, S1, C1);
  Add3(A4, A5, A6, S2, C2);
  const TWord S3 = A3 ^ A7, C3 = A3 & A7;
  Add3(S1, S2, S3, S, C4);
  // Total = S + 2 (C1 + C2 + C3 + C4); the four carries as two 2-bit sums.
  const TWord U0 = C1 ^ C2, U1 = C1 & C2, V0 = C3 ^ C4, V1 = C3 & C4;
  const TWord TwoOrMore = U1 | V1 | (U0 & V0);
  const TWord ThreeOrMore = (U1 & (V0 | V1)) | (V1 & (U0 | U1));
  return ThreeOrMore | (TwoOrMore & S);
}

class TKFill {
 public:
  TKFill(TIEBitmap* Bitmap, bool CheckConnectivity, bool StrictBlackFill, bool Invert)
      : FBitmap(Bitmap),
        FW(Bitmap->GetWidth()),
        FH(Bitmap->GetHeight()),
        FBytes((FW + 7) / 8),
        FWords((FW + 63) / 64),
        FInvert(Invert ? kAllSet : 0) {
    BuildTable(false, CheckConnectivity, StrictBlackFill, FTables[0]);
    BuildTable(true, CheckConnectivity, StrictBlackFill, FTables[1]);
    const size_t Padded = size_t(FWords) + 2;
    FBuf.assign(Padded * 4 + size_t(FWords) * 2, 0);
    for (int32_t i = 0; i < 3; ++i) FRows[i] = &FBuf[Padded * size_t(i) + 1];
    FClosed = &FBuf[Padded * 3 + 1];
    FFlips = &FBuf[Padded * 4];
    FInner = FFlips + FWords;
    // Inner columns 1 .. W - 2: the frame around them reads black and never
    // changes.
    for (int32_t x = 1; x <= FW - 2; ++x) FInner[x >> 6] |= TWord(1) << (63 - (x & 63));
  }

  // One pass over the inner rows.  The first pass looks at every inner pixel
  // (and, with MakeVisit, records the columns later passes look at); later
  // ones only at those columns.  UseFresh: the pixels filled by the pass
  // before, which had this pass's mode, still read as their old colour and
  // are no candidates.  RecordFresh: this pass's fills are kept for the next
  // pass.  Answers whether a pixel changed.
  bool Pass(bool WhiteMode, bool First, bool MakeVisit, bool UseFresh, bool RecordFresh) {
    if (MakeVisit && !FVisit) FVisit = std::make_unique_for_overwrite<TWord[]>(size_t(FWords) * size_t(FH));
    if (RecordFresh && !FFresh) FFresh = std::make_unique_for_overwrite<TWord[]>(size_t(FWords) * size_t(FH));
    const uint8_t* Table = FTables[WhiteMode ? 1 : 0];
    // XOR turning a reading into "has the fill colour".
    const TWord Toward = WhiteMode ? 0 : kAllSet;
    TWord* Up = FRows[0];
    TWord* Mid = FRows[1];
    TWord* Down = FRows[2];
    std::fill(Up, Up + FWords, 0);
    LoadReading(1, Mid, WhiteMode, UseFresh);
    bool Changed = false;
    for (int32_t y = 1; y < FH - 1; ++y) {
      if (y + 1 < FH - 1)
        LoadReading(y + 1, Down, WhiteMode, UseFresh);
      else
        std::fill(Down, Down + FWords, 0);
      const TWord* Visit = First ? FInner : &FVisit[size_t(y) * size_t(FWords)];
      const TWord* Fresh = UseFresh ? &FFresh[size_t(y) * size_t(FWords)] : nullptr;
      bool RowChanged = false;
      for (int32_t k = 0; k < FWords; ++k) {
        // Candidates: pixels not yet of the fill colour.  In the black-fill
        // mode the readings of fresh fills are set, in the white-fill mode
        // clear, like the pixels they came from; they are no candidates.
        TWord Cand = (WhiteMode ? ~Mid[k] : Mid[k]) & Visit[k];
        if (Fresh) Cand &= ~Fresh[k];
        TWord Out = 0;
        // A black fill needs black around the pixel: skip a plain white word.
        if (Cand && (WhiteMode || (Up[k] & Mid[k] & Down[k]) != kAllSet ||
                     !(Up[k - 1] & Mid[k - 1] & Down[k - 1] & 1) ||
                     !((Up[k + 1] & Mid[k + 1] & Down[k + 1]) >> 63))) {
          const TWord R0 = FromLeft(Up + k, 1), R1 = Up[k], R2 = FromRight(Up + k, 1);
          const TWord R3 = FromRight(Mid + k, 1), R7 = FromLeft(Mid + k, 1);
          const TWord R4 = FromRight(Down + k, 1), R5 = Down[k], R6 = FromLeft(Down + k, 1);
          // Every fill needs at least five ring pixels of the fill colour.
          TWord Left = Cand & AtLeastFiveOfEight(R0 ^ Toward, R1 ^ Toward, R2 ^ Toward, R3 ^ Toward, R4 ^ Toward,
                                                 R5 ^ Toward, R6 ^ Toward, R7 ^ Toward);
          while (Left) {
            const int32_t j = std::countr_zero(Left);
            Left &= Left - 1;
            const uint32_t Pattern = uint32_t((R0 >> j) & 1) | uint32_t((R1 >> j) & 1) << 1 |
                                     uint32_t((R2 >> j) & 1) << 2 | uint32_t((R3 >> j) & 1) << 3 |
                                     uint32_t((R4 >> j) & 1) << 4 | uint32_t((R5 >> j) & 1) << 5 |
                                     uint32_t((R6 >> j) & 1) << 6 | uint32_t((R7 >> j) & 1) << 7;
            if (Table[Pattern]) Out |= TWord(1) << j;
          }
        }
        FFlips[k] = Out;
        RowChanged |= Out != 0;
      }
      if (RecordFresh) std::copy(FFlips, FFlips + FWords, &FFresh[size_t(y) * size_t(FWords)]);
      if (MakeVisit) MakeVisitRow(Mid, &FVisit[size_t(y) * size_t(FWords)]);
      if (RowChanged) {
        Store(y);
        Changed = true;
      }
      TWord* Spare = Up;
      Up = Mid;
      Mid = Down;
      Down = Spare;
    }
    return Changed;
  }

 private:
  // Row y of the bitmap as words of white pixels, the frame columns black.
  void Load(int32_t y, TWord* Dst) const {
    const uint8_t* Src = FBitmap->GetScanline(y);
    int32_t k = 0;
    for (; (k + 1) * 8 <= FBytes; ++k) {
      TWord V;
      std::memcpy(&V, Src + size_t(k) * 8, sizeof V);
      Dst[k] = FromBigEndian(V);
    }
    if (k < FWords) {
      TWord V = 0;
      for (int32_t i = k * 8; i < FBytes; ++i) V |= TWord(Src[i]) << (56 - 8 * (i - k * 8));
      Dst[k] = V;
    }
    for (k = 0; k < FWords; ++k) Dst[k] = (Dst[k] ^ FInvert) & FInner[k];
  }

  // Row y as the pass reads it: set for white, and for the fresh fills of a
  // black-fill pass; clear for the fresh fills of a white-fill pass.
  void LoadReading(int32_t y, TWord* Dst, bool WhiteMode, bool UseFresh) const {
    Load(y, Dst);
    if (!UseFresh) return;
    const TWord* Fresh = &FFresh[size_t(y) * size_t(FWords)];
    for (int32_t k = 0; k < FWords; ++k) Dst[k] = WhiteMode ? Dst[k] & ~Fresh[k] : Dst[k] | Fresh[k];
  }

  // Flips the pixels of row y set in FFlips.
  void Store(int32_t y) {
    uint8_t* Row = FBitmap->GetScanline(y);
    for (int32_t k = 0; k < FWords; ++k) {
      const TWord V = FFlips[k];
      if (!V) continue;
      const int32_t End = std::min(FBytes, k * 8 + 8);
      for (int32_t i = k * 8; i < End; ++i) Row[i] ^= uint8_t(V >> (56 - 8 * (i - k * 8)));
    }
  }

  // The columns later passes look at in one row, from its white pixels
  // before the first pass: runs of white, a run joined to the one before
  // when at most three pixels lie between them, widened by one column on
  // each side and kept to the inner columns.
  void MakeVisitRow(const TWord* White, TWord* Visit) const {
    for (int32_t k = 0; k < FWords; ++k) {
      const TWord* P = White + k;
      const TWord L1 = FromLeft(P, 1), L2 = FromLeft(P, 2), L3 = FromLeft(P, 3);
      const TWord R1 = FromRight(P, 1), R2 = FromRight(P, 2), R3 = FromRight(P, 3);
      // A gap pixel has white i columns left and j right with i + j <= 4.
      FClosed[k] = P[0] | (L1 & (R1 | R2 | R3)) | (L2 & (R1 | R2)) | (L3 & R1);
    }
    for (int32_t k = 0; k < FWords; ++k)
      Visit[k] = (FClosed[k] | FromLeft(FClosed + k, 1) | FromRight(FClosed + k, 1)) & FInner[k];
  }

  TIEBitmap* FBitmap;
  int32_t FW, FH, FBytes, FWords;
  TWord FInvert;
  uint8_t FTables[2][256];
  std::vector<TWord> FBuf;
  TWord* FRows[3];
  TWord* FClosed;
  TWord* FFlips;
  TWord* FInner;
  // Per inner row: the columns later passes look at.
  std::unique_ptr<TWord[]> FVisit;
  // Per inner row: the fills of the last pass, when the next pass keeps its
  // mode.
  std::unique_ptr<TWord[]> FFresh;
};

}  // namespace

void IEKFill(TIEBitmap* Bitmap, bool CheckConnectivity, bool StrictBlackFill, int32_t Iterations, int32_t K,
             bool Invert) {
  (void)K;  // only the 3 x 3 window is offered
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g || Iterations < 1) return;
  // Without inner pixels nothing can change.
  if (Bitmap->GetWidth() < 3 || Bitmap->GetHeight() < 3) return;
  TKFill Filter(Bitmap, CheckConnectivity, StrictBlackFill, Invert);
  // The first pass fills black; the second fills white.  After each later
  // pass the mode switches only when the pass before it changed something;
  // passes go on while one of the last two changed something.  So a mode is
  // kept for at most two passes in a row, and only the second of them sees
  // fresh fills of the same mode.
  bool Last = Filter.Pass(false, true, Iterations > 1, false, false);
  bool BeforeLast = true, WhiteMode = true, FreshKept = false;
  int32_t Passes = 1;
  while (Passes < Iterations && (Last || BeforeLast)) {
    const bool KeepFresh = !Last && Passes + 1 < Iterations;
    const bool Changed = Filter.Pass(WhiteMode, false, false, FreshKept, KeepFresh);
    FreshKept = KeepFresh;
    ++Passes;
    if (Last) WhiteMode = !WhiteMode;
    BeforeLast = Last;
    Last = Changed;
  }
}
