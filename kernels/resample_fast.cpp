#include "kernels/resample_fast.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

constexpr int32_t FracOne = 131072;  // 2^17
constexpr int32_t FracShift = 17;

int32_t TruncD(double V) { return static_cast<int32_t>(V); }

bool Empty(TIEBitmap* B) { return B == nullptr || B->GetWidth() <= 0 || B->GetHeight() <= 0; }

// One axis of the fast linear resampler: per destination index, either an
// interpolation between Index and Index + 1 at Frac / 2^17 (enlarged axis), a
// copy of Index (unit scale) or the average of Index .. BoxEnd (reduced axis).
struct TLinearAxis {
  enum TMode { Interpolate, Copy, Box } Mode = Copy;
  std::vector<int32_t> Index, Frac, BoxEnd;

  // Columns nudge the box end by 1e-10, rows do not.
  void Build(int32_t SrcLen, int32_t DstLen, bool Columns) {
    double S = double(DstLen) / double(SrcLen);
    Mode = S > 1 ? Interpolate : (S == 1 ? Copy : Box);
    Index.resize(DstLen);
    Frac.resize(DstLen);
    BoxEnd.resize(DstLen);
    for (int32_t i = 0; i < DstLen; ++i) {
      double V = i / S;
      int32_t Ix = std::min(TruncD(V), SrcLen - 1);
      Index[i] = Ix;
      Frac[i] = std::clamp(TruncD((V - Ix) * FracOne), 0, FracOne - 1);
      double EndV = std::min(i + 1, DstLen - 1) / S + (Columns ? 1e-10 : 0.0);
      BoxEnd[i] = std::clamp(TruncD(EndV), Ix, SrcLen - 1);
    }
  }
};

inline int32_t Lerp17(int32_t A, int32_t B, int32_t F) { return A + (((B - A) * F) >> FracShift); }

// The separable fast linear resampler on C interleaved byte channels.  GetSrc
// answers a source row, Emit receives each finished destination row.
template <int C, class TGetSrc, class TEmit>
void FastLinearCore(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, TGetSrc GetSrc, TEmit Emit,
                    const TIEProgressEvent& OnProgress, TObject* Sender) {
  TLinearAxis H, V;
  H.Build(SrcW, DstW, true);
  V.Build(SrcH, DstH, false);
  const size_t RowBytes = size_t(DstW) * C;
  std::vector<uint8_t> Work(RowBytes * size_t(SrcH));
  const double F = 100.0 / (SrcH + DstH + 0.5);

  for (int32_t g = 0; g < SrcH; ++g) {
    const uint8_t* S = GetSrc(g);
    uint8_t* W = Work.data() + RowBytes * size_t(g);
    for (int32_t i = 0; i < DstW; ++i) {
      int32_t Ix = H.Index[i];
      if (H.Mode == TLinearAxis::Interpolate) {
        int32_t Nx = std::min(Ix + 1, SrcW - 1);
        for (int c = 0; c < C; ++c) W[i * C + c] = uint8_t(Lerp17(S[Ix * C + c], S[Nx * C + c], H.Frac[i]));
      } else if (H.Mode == TLinearAxis::Copy) {
        for (int c = 0; c < C; ++c) W[i * C + c] = S[Ix * C + c];
      } else {
        int32_t Sum[C] = {};
        for (int32_t x = Ix; x <= H.BoxEnd[i]; ++x)
          for (int c = 0; c < C; ++c) Sum[c] += S[x * C + c];
        int32_t N = H.BoxEnd[i] - Ix + 1;
        for (int c = 0; c < C; ++c) W[i * C + c] = uint8_t(Sum[c] / N);
      }
    }
    if (OnProgress) OnProgress(Sender, TruncD(F * g));
  }

  std::vector<uint8_t> Out(RowBytes);
  std::vector<int32_t> Sum(RowBytes);
  for (int32_t j = 0; j < DstH; ++j) {
    if (V.Mode == TLinearAxis::Interpolate) {
      double Vj = j / (double(DstH) / double(SrcH));
      int32_t R = std::min(TruncD(Vj), SrcH - 1);
      int32_t Fr = std::clamp(TruncD((Vj - R) * FracOne), 0, FracOne - 1);
      const uint8_t* A = Work.data() + RowBytes * size_t(R);
      const uint8_t* B = Work.data() + RowBytes * size_t(std::min(R + 1, SrcH - 1));
      for (size_t x = 0; x < RowBytes; ++x) Out[x] = uint8_t(Lerp17(A[x], B[x], Fr));
    } else if (V.Mode == TLinearAxis::Copy) {
      const uint8_t* A = Work.data() + RowBytes * size_t(V.Index[j]);
      std::copy(A, A + RowBytes, Out.begin());
    } else {
      std::fill(Sum.begin(), Sum.end(), 0);
      for (int32_t r = V.Index[j]; r <= V.BoxEnd[j]; ++r) {
        const uint8_t* A = Work.data() + RowBytes * size_t(r);
        for (size_t x = 0; x < RowBytes; ++x) Sum[x] += A[x];
      }
      int32_t N = V.BoxEnd[j] - V.Index[j] + 1;
      for (size_t x = 0; x < RowBytes; ++x) Out[x] = uint8_t(Sum[x] / N);
    }
    Emit(j, Out.data());
    if (OnProgress) OnProgress(Sender, TruncD(F * (SrcH + j)));
  }
}

inline bool GetBit(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }
inline void PutBit(uint8_t* Row, int32_t X, bool V) {
  uint8_t M = uint8_t(0x80 >> (X & 7));
  if (V)
    Row[X >> 3] |= M;
  else
    Row[X >> 3] &= uint8_t(~M);
}

// Number of set bits among columns X1 .. X2 of a 1-bit row.
int32_t CountBits(const uint8_t* Row, int32_t X1, int32_t X2) {
  int32_t N = 0;
  int32_t x = X1;
  for (; x <= X2 && (x & 7); ++x) N += GetBit(Row, x);
  for (; x + 7 <= X2; x += 8) N += std::popcount(unsigned(Row[x >> 3]));
  for (; x <= X2; ++x) N += GetBit(Row, x);
  return N;
}

// Eight bytes as one number, the first byte highest.
inline uint64_t LoadBigEndian64(const uint8_t* P) {
  uint64_t V;
  std::memcpy(&V, P, 8);
  if constexpr (std::endian::native == std::endian::little) V = __builtin_bswap64(V);
  return V;
}

// Set bits of V, without a library call where the processor's own count is
// not assumed.
inline int32_t Popcount64(uint64_t V) {
  V = V - ((V >> 1) & 0x5555555555555555ull);
  V = (V & 0x3333333333333333ull) + ((V >> 2) & 0x3333333333333333ull);
  V = (V + (V >> 4)) & 0x0F0F0F0F0F0F0F0Full;
  return int32_t((V * 0x0101010101010101ull) >> 56);
}

// Adds to Sum[k] the set bits of one row's box k, for boxes of at most 57
// columns given as the byte of their first column (Off), that column's place
// in it (Shl) and 64 less their width (Shr).  Padded holds the row with eight
// spare bytes after it.  Built twice: with the processor's bit count where it
// has one, and without.
#define FOLIO_BOX_ROW_SUMS_BODY                                                     \
  for (int32_t k = 0; k < N; ++k) {                                                 \
    const uint64_t V = (LoadBigEndian64(Padded + Off[k]) << Shl[k]) >> Shr[k];      \
    Sum[k] += COUNT(V);                                                             \
  }
#if defined(__x86_64__) || defined(__i386__)
__attribute__((target("popcnt"))) void BoxRowSumsPopcnt(const uint8_t* Padded, const int32_t* Off,
                                                        const uint8_t* Shl, const uint8_t* Shr, int32_t N,
                                                        int32_t* Sum) {
#define COUNT(V) int32_t(__builtin_popcountll(V))
  FOLIO_BOX_ROW_SUMS_BODY
#undef COUNT
}
bool DetectPopcnt() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("popcnt");
}
const bool HasPopcnt = DetectPopcnt();
#else
void BoxRowSumsPopcnt(const uint8_t*, const int32_t*, const uint8_t*, const uint8_t*, int32_t, int32_t*) {}
constexpr bool HasPopcnt = false;
#endif
void BoxRowSumsPlain(const uint8_t* Padded, const int32_t* Off, const uint8_t* Shl, const uint8_t* Shr, int32_t N,
                     int32_t* Sum) {
#define COUNT(V) Popcount64(V)
  FOLIO_BOX_ROW_SUMS_BODY
#undef COUNT
}
#undef FOLIO_BOX_ROW_SUMS_BODY

// Whether a 1-bit row's bytes are all set (a white row).
bool AllSet(const uint8_t* Row, int32_t Bytes) {
  int32_t i = 0;
  for (; i + 8 <= Bytes; i += 8) {
    uint64_t V;
    std::memcpy(&V, Row + i, 8);
    if (V != ~uint64_t(0)) return false;
  }
  for (; i < Bytes; ++i)
    if (Row[i] != 0xFF) return false;
  return true;
}

// Whether any bit among columns X1 .. X2 has the value Set.
bool AnyBit(const uint8_t* Row, int32_t X1, int32_t X2, bool Set) {
  int32_t x = X1;
  for (; x <= X2 && (x & 7); ++x)
    if (GetBit(Row, x) == Set) return true;
  const uint8_t Miss = Set ? 0x00 : 0xFF;
  for (; x + 7 <= X2; x += 8)
    if (Row[x >> 3] != Miss) return true;
  for (; x <= X2; ++x)
    if (GetBit(Row, x) == Set) return true;
  return false;
}

void WriteGray24(uint8_t* Row, const uint8_t* Gray, int32_t W) {
  for (int32_t x = 0; x < W; ++x) Row[3 * x] = Row[3 * x + 1] = Row[3 * x + 2] = Gray[x];
}

// First source index of every destination index, plus the source length at
// the end, so index k covers Start[k] .. max(Start[k], Start[k + 1] - 1).
std::vector<int32_t> ProjectStarts(int32_t SrcLen, int32_t DstLen) {
  std::vector<int32_t> S(DstLen + 1);
  double R = double(SrcLen) / double(DstLen);
  for (int32_t k = 0; k < DstLen; ++k) S[k] = std::min(TruncD(R * k), SrcLen - 1);
  S[DstLen] = SrcLen;
  return S;
}

// Makes Dst ie1g at its own size and answers whether there is anything to do.
bool PrepareProjection(TIEBitmap* Src, TIEBitmap* Dst) {
  if (Empty(Src) || Empty(Dst)) return false;
  if (Dst->GetPixelFormat() != ie1g) Dst->Allocate(Dst->GetWidth(), Dst->GetHeight(), ie1g);
  return true;
}

template <class TDecide>
void ProjectCore(int32_t SrcW, int32_t SrcH, TIEBitmap* Dst, bool WhiteOnBlack, TDecide Decide,
                 const TIEProgressEvent& OnProgress, TObject* Sender) {
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  std::vector<int32_t> Cols = ProjectStarts(SrcW, DstW);
  std::vector<int32_t> Rows = ProjectStarts(SrcH, DstH);
  const double F = 100.0 / (DstH + 0.5);
  const size_t RowLen = size_t((DstW + 7) / 8);
  for (int32_t j = 0; j < DstH; ++j) {
    uint8_t* D = Dst->GetScanline(j);
    std::fill(D, D + RowLen, WhiteOnBlack ? 0x00 : 0xFF);
    int32_t Y1 = Rows[j], Y2 = std::max(Rows[j], Rows[j + 1] - 1);
    for (int32_t k = 0; k < DstW; ++k) {
      int32_t X1 = Cols[k], X2 = std::max(Cols[k], Cols[k + 1] - 1);
      if (Decide(X1, Y1, X2, Y2)) PutBit(D, k, WhiteOnBlack);
    }
    if (OnProgress) OnProgress(Sender, TruncD(F * j));
  }
}

}  // namespace

void IEFastLinearResample24(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (Empty(Src) || Empty(Dst) || Src->GetPixelFormat() != ie24RGB) return;
  if (Dst->GetPixelFormat() != ie24RGB) Dst->Allocate(Dst->GetWidth(), Dst->GetHeight(), ie24RGB);
  const int32_t SrcW = Src->GetWidth(), SrcH = Src->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  if (SrcW == DstW && SrcH == DstH) {
    Dst->Assign(Src);
    return;
  }
  FastLinearCore<3>(
      SrcW, SrcH, DstW, DstH, [&](int32_t y) -> const uint8_t* { return Src->GetScanline(y); },
      [&](int32_t j, const uint8_t* Row) { std::copy(Row, Row + size_t(DstW) * 3, Dst->GetScanline(j)); },
      OnProgress, Sender);
}

void IEFastLinearResample8(TIEBitmap* Src, TIEBitmap* Dst) {
  if (Empty(Src) || Empty(Dst) || Src->GetBitCount() != 8 || Dst->GetBitCount() != 8) return;
  const int32_t SrcW = Src->GetWidth(), SrcH = Src->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  if (SrcW == DstW && SrcH == DstH) {
    Dst->Assign(Src);
    return;
  }
  FastLinearCore<1>(
      SrcW, SrcH, DstW, DstH, [&](int32_t y) -> const uint8_t* { return Src->GetScanline(y); },
      [&](int32_t j, const uint8_t* Row) { std::copy(Row, Row + DstW, Dst->GetScanline(j)); }, nullptr, nullptr);
}

void IEFastLinearResample1To24(TIEBitmap* Src, TIEBitmap* Dst) {
  if (Empty(Src) || Empty(Dst) || Src->GetPixelFormat() != ie1g) return;
  const int32_t SrcW = Src->GetWidth(), SrcH = Src->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  if (SrcW == DstW && SrcH == DstH) {
    Dst->Assign(Src);
    return;
  }
  if (DstW < SrcW && DstH < SrcH) {
    IEResample1BitBoxGray(Src, 0, 0, SrcW - 1, SrcH - 1, Dst);
    return;
  }
  if (Dst->GetPixelFormat() != ie24RGB) Dst->Allocate(DstW, DstH, ie24RGB);
  std::vector<uint8_t> Bytes(SrcW);
  FastLinearCore<1>(
      SrcW, SrcH, DstW, DstH,
      [&](int32_t y) -> const uint8_t* {
        const uint8_t* S = Src->GetScanline(y);
        for (int32_t x = 0; x < SrcW; ++x) Bytes[x] = GetBit(S, x) ? 255 : 0;
        return Bytes.data();
      },
      [&](int32_t j, const uint8_t* Row) { WriteGray24(Dst->GetScanline(j), Row, DstW); }, nullptr, nullptr);
}

void IEProjectResample1Bit(TIEBitmap* Src, TIEBitmap* Dst, bool WhiteOnBlack) {
  if (!PrepareProjection(Src, Dst)) return;
  if (Src->GetPixelFormat() != ie1g) return;
  const bool Wanted = WhiteOnBlack;  // the bit value that decides: set = white
  ProjectCore(
      Src->GetWidth(), Src->GetHeight(), Dst, WhiteOnBlack,
      [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        for (int32_t y = Y1; y <= Y2; ++y)
          if (AnyBit(Src->GetScanline(y), X1, X2, Wanted)) return true;
        return false;
      },
      nullptr, nullptr);
}

void IEProjectResample24To1Bit(TIEBitmap* Src, TIEBitmap* Dst, bool WhiteOnBlack, const TIEProgressEvent& OnProgress,
                               TObject* Sender) {
  if (!PrepareProjection(Src, Dst)) return;
  if (Src->GetPixelFormat() != ie24RGB) return;
  ProjectCore(
      Src->GetWidth(), Src->GetHeight(), Dst, WhiteOnBlack,
      [&](int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
        for (int32_t y = Y1; y <= Y2; ++y) {
          const uint8_t* S = Src->GetScanline(y);
          for (int32_t x = X1; x <= X2; ++x) {
            const uint8_t* P = S + 3 * x;
            bool Hit = WhiteOnBlack ? (P[0] > 128 && P[1] > 128 && P[2] > 128)
                                    : (P[0] < 128 && P[1] < 128 && P[2] < 128);
            if (Hit) return true;
          }
        }
        return false;
      },
      OnProgress, Sender);
}

void IEResample1BitBoxGray(TIEBitmap* Src, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dst) {
  if (Empty(Src) || Empty(Dst) || Src->GetPixelFormat() != ie1g) return;
  const int32_t SrcW = Src->GetWidth(), SrcH = Src->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  X1 = std::clamp(X1, 0, SrcW - 1);
  X2 = std::clamp(X2, 0, SrcW - 1);
  Y1 = std::clamp(Y1, 0, SrcH - 1);
  Y2 = std::clamp(Y2, 0, SrcH - 1);
  if (Dst->GetPixelFormat() != ie24RGB) Dst->Allocate(DstW, DstH, ie24RGB);
  const double Fx = double(X2 - X1 + 1) / DstW;
  const double Fy = double(Y2 - Y1 + 1) / DstH;
  std::vector<int32_t> C1(DstW), C2(DstW);
  for (int32_t k = 0; k < DstW; ++k) {
    C1[k] = std::clamp(X1 + TruncD(Fx * k - Fx / 2), 0, SrcW - 1);
    C2[k] = std::clamp(X1 + TruncD(Fx / 2 + Fx * k), C1[k], std::max(C1[k], X2));
  }
  std::vector<uint8_t> Gray(DstW);
  std::vector<int32_t> Sum(DstW);
  // Each source row is copied with eight spare bytes after it, so a box of up
  // to 57 columns is one 64-bit load, two shifts and a bit count.
  const int32_t RowBytes = (SrcW + 7) / 8;
  std::vector<uint8_t> Padded(size_t(RowBytes) + 8, 0);
  bool Narrow = true;
  std::vector<int32_t> Off(DstW), Width(DstW);
  std::vector<uint8_t> Shl(DstW), Shr(DstW);
  for (int32_t k = 0; k < DstW; ++k) {
    Width[k] = C2[k] - C1[k] + 1;
    Narrow = Narrow && Width[k] <= 57;
    Off[k] = C1[k] >> 3;
    Shl[k] = uint8_t(C1[k] & 7);
    Shr[k] = uint8_t(64 - std::min(Width[k], 57));
  }
  // A row whose bytes are all set (white) adds every box's width without
  // being looked at bit by bit.
  for (int32_t i = 0; i < DstH; ++i) {
    int32_t A = std::clamp(TruncD(Fy * i - Fy / 2), 0, SrcH - 1);
    int32_t B = std::clamp(TruncD(double(TruncD(Fy)) / 2 + Fy * i), 0, SrcH - 1);
    int32_t R1 = std::min(Y1 + A, Y2), R2 = std::clamp(Y1 + B, R1, Y2);
    std::fill(Sum.begin(), Sum.end(), 0);
    for (int32_t y = R1; y <= R2; ++y) {
      const uint8_t* S = Src->GetScanline(y);
      if (AllSet(S, RowBytes)) {
        for (int32_t k = 0; k < DstW; ++k) Sum[k] += Width[k];
        continue;
      }
      std::memcpy(Padded.data(), S, size_t(RowBytes));
      if (Narrow) {
        if (HasPopcnt)
          BoxRowSumsPopcnt(Padded.data(), Off.data(), Shl.data(), Shr.data(), DstW, Sum.data());
        else
          BoxRowSumsPlain(Padded.data(), Off.data(), Shl.data(), Shr.data(), DstW, Sum.data());
        continue;
      }
      for (int32_t k = 0; k < DstW; ++k) {
        const int32_t N = C2[k] - C1[k] + 1;
        if (N > 57) {
          Sum[k] += CountBits(S, C1[k], C2[k]);
          continue;
        }
        const uint64_t V = (LoadBigEndian64(Padded.data() + (C1[k] >> 3)) << (C1[k] & 7)) >> (64 - N);
        Sum[k] += Popcount64(V);
      }
    }
    // Sum x 255 / N in whole numbers; below 2^31 the quotient of the two as
    // doubles, cut, is the same (it never lands within 1 / N below a whole
    // number) and much cheaper than an integer division.
    const int64_t Rows = R2 - R1 + 1;
    if (int64_t(SrcW) * Rows < (int64_t(1) << 23)) {
      for (int32_t k = 0; k < DstW; ++k)
        Gray[k] = uint8_t(int32_t(double(Sum[k] * 255) / double(int32_t(Width[k] * Rows))));
    } else {
      for (int32_t k = 0; k < DstW; ++k) Gray[k] = uint8_t(int64_t(Sum[k]) * 255 / (int64_t(Width[k]) * Rows));
    }
    WriteGray24(Dst->GetScanline(i), Gray.data(), DstW);
  }
}
