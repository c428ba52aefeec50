#include "kernels/skew.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundations/bit_expansion.h"
#include "foundations/bit_rows.h"
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "platform/rtl/sysutils.h"
#include "kernels/dib_stretch.h"
#include "kernels/edge_shen_castan.h"
#include "kernels/resample_engine.h"

namespace {

constexpr int32_t kTrigScale = 131072;  // 2^17
// 180 degrees at the finest precision (10 steps per degree).
constexpr int32_t kTableSize = 1800;

// Sine and cosine of the step angles From .. To - 1 (the rest stay 0),
// scaled by 2^17 and cut toward zero.  Each angle is the previous one plus
// the step.
void BuildTables(int32_t StepsPerDegree, int32_t From, int32_t To, std::vector<int32_t>& Sin,
                 std::vector<int32_t>& Cos) {
  Sin.assign(kTableSize, 0);
  Cos.assign(kTableSize, 0);
  const long double Step = (1.0L / StepsPerDegree) * 0.017453292519444445L;
  long double Theta = 0;
  for (int32_t l = 0; l < std::min(To, kTableSize); ++l) {
    if (l >= From) {
      Sin[l] = int32_t(std::trunc(std::sin(Theta) * kTrigScale));
      Cos[l] = int32_t(std::trunc(std::cos(Theta) * kTrigScale));
    }
    Theta += Step;
  }
}

// V / 2^17 rounded to the nearest integer, halves away from zero.
inline int32_t ScaleDown(int64_t V) {
  return V >= 0 ? int32_t((V + kTrigScale / 2) >> 17) : -int32_t((-V + kTrigScale / 2) >> 17);
}

// Eight bytes as one number, the first byte highest, and back.
inline uint64_t LoadBigEndian(const uint8_t* P) {
  uint64_t V;
  std::memcpy(&V, P, 8);
  if constexpr (std::endian::native == std::endian::little) V = __builtin_bswap64(V);
  return V;
}
inline void StoreBigEndian(uint8_t* P, uint64_t V) {
  if constexpr (std::endian::native == std::endian::little) V = __builtin_bswap64(V);
  std::memcpy(P, &V, 8);
}

bool IsEdgeInput(TIEBitmap* B) { return B->GetPixelFormat() == ie24RGB; }

// Edge map of a 24-bit picture into a new 1-bit bitmap, with the settings the
// skew search wants.
bool EdgeMap(TIEBitmap* Src, TIEBitmap* Dst) {
  TIEProgressRec Silent;
  return IEShenCastanEdges(Src, Dst, 7, 0.99, 0.9, 0, true, Silent);
}

}  // namespace

double IEHoughSkewAngle(TIEBitmap* Bitmap, TIEProgressRec& Progress, int32_t AngleRange, double Precision,
                        bool* Found) {
  if (Found) *Found = false;
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g) return 0;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W < 1 || H < 1 || !std::isfinite(Precision)) return 0;
  // One decimal, cut in extended precision: 0.3 (just below in binary) is 0.2.
  const long double Tenths = std::trunc(static_cast<long double>(Precision) * 10.0L);
  if (Tenths < 1 || Tenths > 10 || AngleRange < 0 || AngleRange > 180) return 0;
  const int32_t n = IERound(double(10.0L / Tenths));
  const int64_t R = int64_t(std::trunc(std::sqrt(double(W) * W + double(H) * H) / 2));
  const int32_t Cols = int32_t(2 * R + 1);
  const int32_t Half = AngleRange * n / 2, Mid = 90 * n;
  const int32_t First = Mid - Half;       // first searched row
  const int32_t LastVote = Mid + Half - 2;  // last row that receives votes
  const int32_t LastSearch = Mid + Half - 1;
  if (LastVote < First) return 0;
  const int32_t Rows = LastSearch - First + 1;

  std::vector<int32_t> Sin, Cos;
  const int32_t VoteRows = LastVote - First + 1;
  BuildTables(n, First, First + VoteRows, Sin, Cos);
  std::vector<int32_t> Acc;
  std::vector<int32_t> BTerm;  // [x][row]: cos x (x - cx), scaled down
  try {
    Acc.assign(size_t(Rows) * size_t(Cols), 0);
    BTerm.resize(size_t(W) * size_t(VoteRows));
  } catch (const std::bad_alloc&) {
    return 0;
  }
  const int32_t cx = W / 2, cy = H / 2;
  for (int32_t x = 0; x < W; ++x)
    for (int32_t r = 0; r < VoteRows; ++r)
      BTerm[size_t(x) * VoteRows + r] = ScaleDown(int64_t(Cos[First + r]) * (x - cx));
  // Each column's lowest and highest term, so that a pixel whose votes all
  // land on the cells (nearly every one) votes without a check per cell.
  std::vector<int32_t> BMin(static_cast<size_t>(W)), BMax(static_cast<size_t>(W));
  for (int32_t x = 0; x < W; ++x) {
    const int32_t* Bt = &BTerm[size_t(x) * VoteRows];
    BMin[x] = *std::min_element(Bt, Bt + VoteRows);
    BMax[x] = *std::max_element(Bt, Bt + VoteRows);
  }
  // For each column, the angles at which the next column's term differs
  // (few: the terms change by a step every 1 / |cos| columns).
  std::vector<int32_t> DiffStart, DiffRow;
  try {
    DiffStart.assign(static_cast<size_t>(W) + 1, 0);
    for (int32_t x = 0; x + 1 < W; ++x) {
      DiffStart[x] = int32_t(DiffRow.size());
      const int32_t* Bt = &BTerm[size_t(x) * VoteRows];
      for (int32_t r = 0; r < VoteRows; ++r)
        if (Bt[VoteRows + r] != Bt[r]) DiffRow.push_back(r);
    }
  } catch (const std::bad_alloc&) {
    return 0;
  }
  DiffStart[W - 1] = DiffStart[W] = int32_t(DiffRow.size());
  std::vector<int64_t> ATerm(static_cast<size_t>(VoteRows));
  std::vector<int64_t> AtCell(static_cast<size_t>(VoteRows));  // ATerm + the row's start
  int32_t* const Cells = Acc.data();
  Progress.per1 = 100.0 / H;
  int64_t Votes = 0;
  for (int32_t y = 0; y < H; ++y) {
    for (int32_t r = 0; r < VoteRows; ++r) ATerm[r] = R + ScaleDown(int64_t(Sin[First + r]) * (y - cy));
    const int64_t AMin = *std::min_element(ATerm.begin(), ATerm.end());
    const int64_t AMax = *std::max_element(ATerm.begin(), ATerm.end());
    for (int32_t r = 0; r < VoteRows; ++r) AtCell[r] = ATerm[r] + int64_t(r) * Cols;
    const uint8_t* Row = Bitmap->GetScanline(y);
    const auto IsBlack = [&](int32_t x) { return !(Row[x >> 3] & (0x80u >> (x & 7))); };
    const auto InRange = [&](int32_t x) { return AMin + BMin[x] >= 0 && AMax + BMax[x] < Cols; };
    int32_t x = 0;
    while (x < W) {
      if ((x & 7) == 0 && Row[x >> 3] == 0xFF) {
        x += 8;
        continue;
      }
      if (!IsBlack(x)) {
        ++x;
        continue;
      }
      // A run of black pixels whose votes all land on the cells (along the
      // run each angle's term only grows or only falls, so its ends hold the
      // extremes): all its votes go to the first pixel's cells, then at the
      // angles where a pixel's term differs from its left neighbour's, the
      // votes of that pixel and those after it move over to its cells.
      int32_t Xb = x;
      while (Xb + 1 < W && IsBlack(Xb + 1)) ++Xb;
      if (Xb > x && AMin + std::min(BMin[x], BMin[Xb]) >= 0 && AMax + std::max(BMax[x], BMax[Xb]) < Cols) {
        const int32_t Len = Xb - x + 1;
        const int32_t* Bt = &BTerm[size_t(x) * VoteRows];
        const int64_t* At = AtCell.data();
        for (int32_t r = 0; r < VoteRows; ++r) Cells[At[r] + Bt[r]] += Len;
        for (int32_t k = 1; k < Len; ++k) {
          const int32_t Moved = Len - k;
          const int32_t* Prev = &BTerm[size_t(x + k - 1) * VoteRows];
          const int32_t* Next = Prev + VoteRows;
          for (int32_t i = DiffStart[x + k - 1]; i < DiffStart[x + k]; ++i) {
            const int32_t r = DiffRow[size_t(i)];
            Cells[At[r] + Prev[r]] -= Moved;
            Cells[At[r] + Next[r]] += Moved;
          }
        }
        Votes += int64_t(Len) * VoteRows;
        x = Xb + 1;
        continue;
      }
      // Otherwise pixel by pixel.
      for (; x <= Xb; ++x) {
        const int32_t* Bt = &BTerm[size_t(x) * VoteRows];
        if (InRange(x)) {
          const int64_t* At = AtCell.data();
          for (int32_t r = 0; r < VoteRows; ++r) ++Cells[At[r] + Bt[r]];
          Votes += VoteRows;
          continue;
        }
        for (int32_t r = 0; r < VoteRows; ++r) {
          const int64_t c = ATerm[r] + Bt[r];
          // Corners near the search's diagonal can fall past the cells: such
          // votes are dropped.
          if (c < 0 || c >= Cols) continue;
          ++Acc[size_t(r) * Cols + size_t(c)];
          ++Votes;
        }
      }
    }
    if (Progress.fOnProgress) Progress.Report(int32_t(Progress.per1 * y));
  }
  if (Votes == 0) return 0;
  // The highest count; when several angles share it (lines short enough that
  // neighbouring angles put every vote in the same cells), the middle of
  // those angles is taken rather than the first, which would lean the
  // answer toward negative angles.
  int32_t Best = 0;
  std::vector<int32_t> RowMax(static_cast<size_t>(Rows), 0);
  for (int32_t r = 0; r < Rows; ++r) {
    const int32_t* A = &Acc[size_t(r) * Cols];
    RowMax[r] = *std::max_element(A, A + Cols);
    Best = std::max(Best, RowMax[r]);
  }
  std::vector<int32_t> Tied;
  for (int32_t r = 0; r < Rows; ++r)
    if (RowMax[r] == Best) Tied.push_back(r);
  const int32_t BestRow = First + (Tied.empty() ? 0 : Tied[(Tied.size() - 1) / 2]);
  if (Best == 0) return 0;
  if (Found) *Found = true;
  return double(BestRow) / n - 90;
}

double IEDetectSkewAngle(TIEBitmap* Bitmap, int32_t ResampleWidth, int32_t AngleRange, double Precision,
                         bool EdgeDetect, const TIEProgressEvent& OnProgress, TObject* Sender, bool* Found) {
  if (Found) *Found = false;
  if (!Bitmap || Bitmap->GetWidth() < 1 || Bitmap->GetHeight() < 1) return 0;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const bool OneBit = Bitmap->GetPixelFormat() == ie1g;
  std::unique_ptr<TIEBitmap> Made;  // a picture made here, freed afterwards
  TIEBitmap* Picture = Bitmap;
  if (ResampleWidth < 1 || ResampleWidth == W) {
    if (!OneBit) {
      Made = std::make_unique<TIEBitmap>();
      if (!IsEdgeInput(Bitmap)) {
        // The edge detector reads 24-bit pixels: measure a converted copy.
        auto Copy = std::make_unique<TIEBitmap>();
        Copy->Assign(Bitmap);
        Copy->SetPixelFormat(ie24RGB);
        if (Copy->GetPixelFormat() != ie24RGB) return 0;
        if (!EdgeMap(Copy.get(), Made.get())) return 0;
      } else if (!EdgeMap(Bitmap, Made.get())) {
        return 0;
      }
      Picture = Made.get();
    } else if (EdgeDetect) {
      Made = std::make_unique<TIEBitmap>();
      IEConvert1BitTo24Bit(Bitmap, Made.get());
      if (Made->GetPixelFormat() != ie24RGB || !EdgeMap(Made.get(), Made.get())) return 0;
      Picture = Made.get();
    }
  } else {
    const int32_t NewH = std::max<int32_t>(1, int32_t(int64_t(H) * ResampleWidth / W));
    Made = std::make_unique<TIEBitmap>();
    if (!OneBit) {
      if (!Made->Allocate(ResampleWidth, NewH, Bitmap->GetPixelFormat())) return 0;
      _ResampleEx(Bitmap, Made.get(), rfFastLinear);
    } else if (EdgeDetect) {
      if (!Made->Allocate(ResampleWidth, NewH, ie24RGB)) return 0;
      _Resample1BitEx(Bitmap, Made.get(), rfFastLinear);
    } else {
      if (!Made->Allocate(ResampleWidth, NewH, ie1g)) return 0;
      _IEBmpStretchEx(Bitmap, Made.get());
    }
    if (EdgeDetect) {
      if (!IsEdgeInput(Made.get())) Made->SetPixelFormat(ie24RGB);
      if (!EdgeMap(Made.get(), Made.get())) return 0;
    }
    Picture = Made.get();
  }
  TIEProgressRec Progress;
  Progress.fOnProgress = OnProgress;
  Progress.Sender = Sender;
  return IEHoughSkewAngle(Picture, Progress, AngleRange, Precision, Found);
}

bool IERotate1BitShear(TIEBitmap* Bitmap, double Angle) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie1g || !std::isfinite(Angle) || std::fabs(Angle) > 45) return false;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W < 1 || H < 1) return false;
  if (Angle == 0) return true;
  const double Theta = Angle * 3.14159265358979323846 / 180;
  // Counter-clockwise on screen (rows run down): x' = x cos + y sin,
  // y' = -x sin + y cos, as x-shear(a), y-shear(b), x-shear(a).
  const double a = std::tan(Theta / 2), b = -std::sin(Theta);
  const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0;
  const int64_t RowBytes = (W + 7) / 8;
  // Rows in memory are sheared where they lie; a page in a temporary file
  // (one row addressable at a time) is sheared in a copy.
  std::vector<uint8_t> Copy;
  std::vector<uint8_t*> Rows(static_cast<size_t>(H));
  try {
    if (Bitmap->GetLocation() == ieFile) {
      Copy.resize(size_t(RowBytes) * size_t(H));
      for (int32_t y = 0; y < H; ++y) {
        std::memcpy(&Copy[size_t(y) * RowBytes], Bitmap->GetScanline(y), size_t(RowBytes));
        Rows[y] = &Copy[size_t(y) * RowBytes];
      }
    } else {
      for (int32_t y = 0; y < H; ++y) Rows[y] = Bitmap->GetScanline(y);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  // Every row moved sideways by its own shift, white coming in.  The row is
  // copied between runs of white bytes (its bits past the width made white
  // too), so each output byte is two neighbouring bytes of the copy shifted
  // by the same amount.
  const int64_t Pad = RowBytes + 2;
  std::vector<uint8_t> Tmp(size_t(RowBytes + 2 * Pad + 16), 0xFF);
  const uint8_t TailWhite = uint8_t(0xFFu >> (((W - 1) & 7) + 1));
  const auto ShearRows = [&]() {
    for (int32_t y = 0; y < H; ++y) {
      const int32_t d = int32_t(std::floor(a * (y - cy) + 0.5));
      if (d == 0) continue;
      uint8_t* Row = Rows[y];
      if (d >= W || d <= -W) {
        std::memset(Row, 0xFF, size_t(RowBytes));
        continue;
      }
      uint8_t* T = Tmp.data() + Pad;
      std::memcpy(T, Row, size_t(RowBytes));
      T[RowBytes - 1] |= TailWhite;
      // Output bit x reads bit x - d of the copy.
      const int64_t S = Pad * 8 - d;
      const uint8_t* From = Tmp.data() + (S >> 3);
      const uint32_t Sh = uint32_t(S & 7);
      // Eight bytes at a time: the copy's bits from From[k] on, moved up by
      // Sh, with the top bits of the next byte coming in.
      int64_t k = 0;
      for (; k + 8 <= RowBytes; k += 8) {
        uint64_t V = LoadBigEndian(From + k) << Sh;
        if (Sh) V |= uint64_t(From[k + 8]) >> (8 - Sh);
        StoreBigEndian(Row + k, V);
      }
      for (; k < RowBytes; ++k) Row[k] = uint8_t(((uint32_t(From[k]) << 8 | From[k + 1]) << Sh) >> 8);
      Row[RowBytes - 1] |= TailWhite;
    }
  };
  ShearRows();
  // The vertical shear moves bands of columns that share one shift; columns
  // keep their place in the row, so each 64-bit word of a row is put
  // together from the words of a few source rows under masks, one mask per
  // band crossing the word.  Words are taken a strip of four at a time: the
  // strip of every row is copied aside, then every row of the strip is
  // written from the copy, so the page is read and written row by row, once
  // per strip.
  constexpr int32_t kStripWords = 4, kStripBytes = 8 * kStripWords;
  struct TSegment {
    int32_t d;
    uint64_t Mask;  // in the word's own byte order
  };
  // A word's mask from its eight byte masks (first byte first in memory).
  const auto WordOf = [](const uint8_t* ByteMasks) {
    uint64_t V;
    std::memcpy(&V, ByteMasks, 8);
    return V;
  };
  std::vector<int32_t> Shift(static_cast<size_t>(W));
  for (int32_t x = 0; x < W; ++x) Shift[x] = int32_t(std::floor(b * (x - cx) + 0.5));
  std::vector<TSegment> Segments;
  std::vector<int32_t> SegStart;
  std::vector<uint64_t> Keep;
  std::vector<uint8_t> Strip;
  for (int64_t S0 = 0; S0 < RowBytes; S0 += kStripBytes) {
    const int32_t SB = int32_t(std::min<int64_t>(kStripBytes, RowBytes - S0));
    const int32_t NW = (SB + 7) / 8;
    Segments.clear();
    SegStart.assign(size_t(NW) + 1, 0);
    Keep.assign(size_t(NW), 0);
    for (int32_t j = 0; j < NW; ++j) {
      SegStart[j] = int32_t(Segments.size());
      // Columns of the word grouped by shift (shifts only grow or only fall
      // along the row, so each group is one run of columns).
      const int32_t X0 = int32_t(S0 * 8) + 64 * j, X1 = std::min(W, X0 + 64);
      uint8_t KeepBytes[8];
      std::memset(KeepBytes, 0xFF, 8);
      int32_t x = X0;
      while (x < X1) {
        const int32_t d = Shift[x];
        int32_t e = x + 1;
        while (e < X1 && Shift[e] == d) ++e;
        if (d != 0) {
          uint8_t Bytes[8] = {};
          for (int32_t c = x; c < e; ++c) Bytes[(c - X0) >> 3] |= uint8_t(0x80u >> (c & 7));
          for (int32_t k = 0; k < 8; ++k) KeepBytes[k] &= uint8_t(~Bytes[k]);
          Segments.push_back({d, WordOf(Bytes)});
        }
        x = e;
      }
      Keep[j] = WordOf(KeepBytes);
    }
    SegStart[NW] = int32_t(Segments.size());
    if (Segments.empty()) continue;
    Strip.resize(size_t(kStripBytes) * size_t(H));
    for (int32_t y = 0; y < H; ++y) std::memcpy(&Strip[size_t(y) * kStripBytes], Rows[y] + S0, size_t(SB));
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* D = Rows[y] + S0;
      const auto Compose = [&](int32_t j, uint64_t Word) {
        Word &= Keep[j];
        for (int32_t g = SegStart[j]; g < SegStart[j + 1]; ++g) {
          const int32_t Sy = y - Segments[g].d;
          uint64_t V = ~uint64_t(0);
          if (Sy >= 0 && Sy < H) std::memcpy(&V, &Strip[size_t(Sy) * kStripBytes + 8 * size_t(j)], 8);
          Word |= V & Segments[g].Mask;
        }
        return Word;
      };
      const int32_t Full = SB / 8;
      for (int32_t j = 0; j < Full; ++j) {
        if (SegStart[j] == SegStart[j + 1]) continue;
        uint64_t Word;
        std::memcpy(&Word, D + 8 * j, 8);
        Word = Compose(j, Word);
        std::memcpy(D + 8 * j, &Word, 8);
      }
      if (Full < NW) {
        // The row's last bytes, fewer than a word.
        uint8_t Last[8] = {};
        std::memcpy(Last, D + 8 * Full, size_t(SB - 8 * Full));
        uint64_t Word;
        std::memcpy(&Word, Last, 8);
        Word = Compose(Full, Word);
        std::memcpy(Last, &Word, 8);
        std::memcpy(D + 8 * Full, Last, size_t(SB - 8 * Full));
      }
    }
  }
  ShearRows();
  if (!Copy.empty())
    for (int32_t y = 0; y < H; ++y) std::memcpy(Bitmap->GetScanline(y), Rows[y], size_t(RowBytes));
  return true;
}
