#include "kernels/resample_area.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <type_traits>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/resample_rows.h"
#include "kernels/row_bands.h"
#include "platform/rtl/sysutils.h"

// How the definition becomes two passes.  A destination pixel is
// Norm x sum over its pieces of area x sample, with area = width x height.
// Where the sample is linear in the source pixels (bilinear, and the box of a
// reduced axis) this is a separable filter: each destination column takes
// fixed weights of a few source columns (width / gx, split by the fraction
// where that axis interpolates), each destination row of a few source rows;
// every source row is filtered horizontally once and the vertical step
// filters those rows.  Bicubic samples are limited to the sample range,
// which is not linear, so they keep their pieces:
// - both axes enlarged: the horizontal step makes every piece's rounded
//   horizontal cubic once per source row; the vertical step takes the
//   vertical cubic of four of those rows per vertical piece;
// - only the width enlarged: the horizontal step makes each piece's limited
//   cubic and sums them into destination columns; the rows are a box;
// - only the height enlarged: one step takes the vertical cubic of four
//   source rows per vertical piece and sums its columns' boxes.
// Destination rows run in bands; each band keeps the horizontally filtered
// rows it needs in a small ring, so the source streams through once (rows
// at the border of two bands are filtered by both) and no plane of the
// whole image is needed.
//
// Arithmetic.  Weights of the horizontal pass are integers scaled by 2^14
// (summing to exactly 2^14 per destination); the linear intermediate keeps
// 8 bits of fraction (8-bit images) and the vertical pass adds in single
// precision (double for 16-bit images) before the final rounding, halves to
// even.  Where the weights are dyadic (halving, doubling, quartering) every
// step is exact and the results are the definition's to the bit; elsewhere a
// result differs from the definition's by one level only when the exact
// value lies within about 2^-9 of a half.

namespace {

constexpr double Tolerance = 0.0001;
constexpr int32_t One = 1 << 14;  // fixed-point weight 1

double CubicKernel(double D) {
  D = std::fabs(D);
  if (D <= 1) return D * D * D - 2 * D * D + 1;
  if (D <= 2) return -D * D * D + 5 * D * D - 8 * D + 4;
  return 0;
}

// A piece of one axis: the source index it lies in, the destination index it
// adds to, its sampling fraction and its length.
struct TPiece {
  int32_t Src;
  int32_t Dst;
  double Frac;
  double Len;
};

// Cuts an axis of SrcLen source pixels into DstLen destination pixels of G
// source pixels each: a source boundary within the tolerance before a
// destination boundary counts as that boundary.  Pieces of no length (where
// the two coincide) are left out: they add nothing.
std::vector<TPiece> Pieces(int32_t SrcLen, int32_t DstLen, double G) {
  std::vector<TPiece> P;
  P.reserve(size_t(SrcLen) + size_t(DstLen) + 1);
  int32_t S = 0, D = 0;
  double Pos = 0, Bound = G;
  while (D < DstLen) {
    if (S + 1 < SrcLen && S + 1 + Tolerance < Bound) {
      if (S + 1 - Pos != 0) P.push_back({S, D, 1.0, (S + 1) - Pos});
      Pos = S + 1;
      ++S;
    } else {
      if (Bound - Pos != 0) P.push_back({S, D, Bound - S, Bound - Pos});
      Pos = Bound;
      ++D;
      Bound += G;
    }
  }
  return P;
}

// Cubic weights at fraction T of the four samples around a piece, scaled
// by 2^14 and summing to exactly 2^14 (the kernel sums to one).
void CubicWeights(double T, int32_t W[4]) {
  const double K[4] = {CubicKernel(T + 1), CubicKernel(T), CubicKernel(1 - T), CubicKernel(2 - T)};
  int32_t Sum = 0, Big = 0;
  for (int i = 0; i < 4; ++i) {
    W[i] = IERound(K[i] * One);
    Sum += W[i];
    if (std::fabs(K[i]) > std::fabs(K[Big])) Big = i;
  }
  W[Big] += One - Sum;
}

// The four neighbours of index X on an axis of Len samples, clamped as the
// definition clamps them: X - 1, X, X + 1, X + 2.
void Neighbours(int32_t X, int32_t Len, int32_t N[4]) {
  N[0] = std::max(X - 1, 0);
  N[1] = X;
  N[2] = std::min(X + 1, Len - 1);
  N[3] = X + 2 <= Len - 1 ? X + 2 : N[2];
}

// Weighted lists of a linear axis: destination index i takes Index[k] with
// Weight[k] for k in Start[i] .. Start[i + 1] (in rising index order, each
// index once, weights summing to one).  Interpolating, a piece splits its
// share between its sample and the next by its fraction.
struct TLinearAxis {
  std::vector<int32_t> Start, Index;
  std::vector<double> Weight;

  TLinearAxis(const std::vector<TPiece>& P, int32_t SrcLen, int32_t DstLen, double G, bool Interpolate) {
    Start.assign(size_t(DstLen) + 1, 0);
    auto Add = [&](int32_t D, int32_t I, double W) {
      if (W == 0) return;
      if (int32_t(Index.size()) > Start[size_t(D)] && Index.back() == I) {
        Weight.back() += W;
      } else {
        Index.push_back(I);
        Weight.push_back(W);
      }
    };
    size_t k = 0;
    for (int32_t D = 0; D < DstLen; ++D) {
      Start[size_t(D)] = int32_t(Index.size());
      for (; k < P.size() && P[k].Dst == D; ++k) {
        const double U = P[k].Len / G;
        if (Interpolate) {
          Add(D, P[k].Src, U * (1 - P[k].Frac));
          Add(D, std::min(P[k].Src + 1, SrcLen - 1), U * P[k].Frac);
        } else {
          Add(D, P[k].Src, U);
        }
      }
    }
    Start[size_t(DstLen)] = int32_t(Index.size());
  }
  int32_t Longest() const {
    int32_t N = 0;
    for (size_t i = 0; i + 1 < Start.size(); ++i) N = std::max(N, Start[i + 1] - Start[i]);
    return N;
  }
};

// Tap lists for the horizontal pass: every output takes Taps (even) taps of
// integer weights.
struct TTaps {
  int32_t Taps = 2;
  std::vector<int32_t> Index;
  std::vector<int16_t> Weight;  // scaled by 2^14 (8-bit samples)
  std::vector<double> Real;     // as they are (16-bit samples)

  void Resize(size_t Outputs, int32_t Longest) {
    Taps = std::max(2, (Longest + 1) & ~1);
    Index.assign(Outputs * size_t(Taps), 0);
    Weight.assign(Outputs * size_t(Taps), 0);
    Real.assign(Outputs * size_t(Taps), 0.0);
  }
  // Weights scaled by 2^14, the rounding remainder given to the largest so
  // that they sum to exactly 2^14.
  void SetLinear(size_t Out, const int32_t* I, const double* W, int32_t N) {
    int32_t Sum = 0, Big = 0;
    for (int32_t k = 0; k < N; ++k) {
      Index[Out * size_t(Taps) + size_t(k)] = I[k];
      Real[Out * size_t(Taps) + size_t(k)] = W[k];
      const int32_t V = IERound(W[k] * One);
      Weight[Out * size_t(Taps) + size_t(k)] = int16_t(V);
      Sum += V;
      if (W[k] > W[Big]) Big = k;
    }
    Weight[Out * size_t(Taps) + size_t(Big)] = int16_t(Weight[Out * size_t(Taps) + size_t(Big)] + One - Sum);
  }
  void SetCubic(size_t Out, int32_t X, int32_t Len, double T) {
    int32_t N[4], W[4];
    Neighbours(X, Len, N);
    CubicWeights(T, W);
    const double K[4] = {CubicKernel(T + 1), CubicKernel(T), CubicKernel(1 - T), CubicKernel(2 - T)};
    for (int k = 0; k < 4; ++k) {
      Index[Out * size_t(Taps) + size_t(k)] = N[k];
      Weight[Out * size_t(Taps) + size_t(k)] = int16_t(W[k]);
      Real[Out * size_t(Taps) + size_t(k)] = K[k];
    }
  }
};

// A sum scaled by 2^14 rounded to an integer, halves to even (S >= 0).
inline int32_t RoundEven14(int32_t S) {
  const int32_t Q = S >> 14, R = S & (One - 1);
  return Q + ((R > One / 2) | ((R == One / 2) & Q & 1));
}

// Rounds to the nearest integer, halves to even, for 0 <= V < 2^22 (float)
// or 2^51 (double): adding and taking away 1.5 x 2^23 (2^52) leaves the
// processor's own rounding; written so that it vectorises.
template <class A>
inline A RoundEven(A V) {
  constexpr A Shift = std::is_same_v<A, float> ? A(12582912.0) : A(6755399441055744.0);
  return (V + Shift) - Shift;
}

template <class T, int C>
class TAreaResampler {
  // 8-bit samples: sums of weights scaled by 2^14 in 32-bit integers, a
  // 16-bit intermediate with 8 bits of fraction and a single-precision
  // vertical pass.  16-bit samples would lose levels to weights of 14 bits:
  // they are summed in doubles throughout.
  static constexpr bool Small = sizeof(T) == 1;
  using TS = std::conditional_t<Small, int32_t, double>;   // sums
  using TI = std::conditional_t<Small, uint16_t, double>;  // linear intermediate
  using TA = std::conditional_t<Small, float, double>;     // vertical sums
  static constexpr int32_t Max = Small ? 255 : 65535;
  static constexpr TS Scale = Small ? TS(One) : TS(1);  // of the sums
  static constexpr TS Top = TS(Max) * Scale;            // largest sum a sample takes
  static constexpr bool Vectors = Small && C == 3;

 public:
  TAreaResampler(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, int32_t ThreadCount)
      : FSrc(Src),
        FDst(Dst),
        SW(Src->GetWidth()),
        SH(Src->GetHeight()),
        DW(Dst->GetWidth()),
        DH(Dst->GetHeight()),
        Gx(double(SW) / DW),
        Gy(double(SH) / DH),
        FBicubic(Bicubic),
        HP(Pieces(SW, DW, Gx)),
        VP(Pieces(SH, DH, Gy)) {
    FirstOf.assign(size_t(DH) + 1, VP.size());
    for (size_t k = VP.size(); k-- > 0;) FirstOf[size_t(VP[k].Dst)] = k;
    FHWorkers = IEBandWorkerCount(Src, ThreadCount);
    FVWorkers = IEBandWorkerCount(Dst, ThreadCount);
  }

  void Run(const std::function<void(int32_t)>& Report) {
    const bool XUp = Gx < 1, YUp = Gy < 1;
    if (FBicubic && XUp && YUp)
      CubicBoth(Report);
    else if (FBicubic && YUp)
      CubicHeight(Report);
    else
      Linear(Report, FBicubic && XUp);
  }

 private:
  // ---- shared steps ----

  // The horizontally filtered source rows of one band of destination rows:
  // Size of them at a time (the most one destination row takes, so all of
  // one row's stay together), each made once as the band moves down.
  template <class TR>
  struct TRing {
    int32_t Size;
    size_t Len;
    std::vector<TR> Data;
    std::vector<int32_t> Held;
    std::vector<uint8_t> Pixels;  // the source row as 4-byte pixels
    std::vector<TS> Sums;
    TRing(int32_t RingSize, size_t RowLen, int32_t SrcW)
        : Size(RingSize),
          Len(RowLen),
          Data(size_t(RingSize) * RowLen),
          Held(size_t(RingSize), -1),
          Pixels(size_t(SrcW) * 4 + 4, 0) {}
  };

  // Intermediate row y of the band, made by Fill(Source row, its pixels,
  // scratch sums, out) when it is not held.
  template <class TR, class TFill>
  const TR* RingRow(TRing<TR>& R, int32_t y, TFill Fill) {
    const size_t Slot = size_t(y % R.Size);
    TR* Out = R.Data.data() + Slot * R.Len;
    if (R.Held[Slot] != y) {
      const T* S = reinterpret_cast<const T*>(FSrc->GetScanline(y));
      if constexpr (Vectors)
        for (int32_t x = 0; x < SW; ++x) std::memcpy(R.Pixels.data() + 4 * size_t(x), S + 3 * size_t(x), 3);
      Fill(S, R.Pixels.data(), R.Sums, Out);
      R.Held[Slot] = y;
    }
    return Out;
  }

  // Destination rows in bands, one worker per band (one when either image
  // lives in a temporary file); MakeBand() makes a band's own working state
  // and Row(y, Acc, Band) leaves destination row y's values in Acc, which is
  // then rounded and stored.
  template <class TMakeBand, class TRow>
  void Bands(const std::function<void(int32_t)>& Report, TMakeBand MakeBand, TRow Row) {
    const size_t N = size_t(DW) * C;
    const int32_t Workers = std::min(FHWorkers, FVWorkers);
    IERunRowBands(
        DH, Workers,
        [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Publish) {
          std::vector<TA> Acc(N);
          auto Band = MakeBand();
          for (int32_t y = Start; y < Start + Count; ++y) {
            Row(y, Acc.data(), Band);
            Store(Acc.data(), N, reinterpret_cast<T*>(FDst->GetScanline(y)));
            Publish(int32_t(double(y - Start + 1) * Workers / DH * 100));
          }
        },
        Report);
  }

  static void Store(const TA* __restrict Acc, size_t N, T* __restrict Out) {
    for (size_t i = 0; i < N; ++i) {
      const TA V = RoundEven(Acc[i]);
      Out[i] = T(V < 0 ? 0 : (V > TA(Max) ? TA(Max) : V));
    }
  }

  // Sums of the taps of Count outputs for one source row: Sums[4e + c].
  void TapSums(const T* S, const uint8_t* Pixels, const TTaps& Tp, int32_t Count, std::vector<TS>& Sums) {
    Sums.resize(4 * size_t(Count));
    if constexpr (Vectors) {
      IETapSums32(Pixels, Tp.Index.data(), Tp.Weight.data(), Tp.Taps, Count, Sums.data());
    } else {
      for (int32_t e = 0; e < Count; ++e)
        for (int c = 0; c < C; ++c) {
          TS Sum = 0;
          for (int32_t t = 0; t < Tp.Taps; ++t) {
            const size_t k = size_t(e) * size_t(Tp.Taps) + size_t(t);
            const TS W = Small ? TS(Tp.Weight[k]) : TS(Tp.Real[k]);
            Sum += W * TS(S[size_t(Tp.Index[k]) * C + size_t(c)]);
          }
          Sums[4 * size_t(e) + size_t(c)] = Sum;
        }
    }
  }

  // A sum limited to the sample range, as the vertical sums take it.
  static TA Limited(TS S) { return TA(std::clamp(S, TS(0), Top)); }

  // ---- linear samples: bilinear, boxes, and bicubic enlarging only the width ----

  void Linear(const std::function<void(int32_t)>& Report, bool CubicWidth) {
    const bool XUp = Gx < 1, YUp = Gy < 1;
    const TLinearAxis Cols(HP, SW, DW, Gx, XUp && !FBicubic);
    const TLinearAxis Rows(VP, SH, DH, Gy, YUp && !FBicubic);
    const size_t RowLen = size_t(DW) * C;
    int32_t RingSize = 1;
    for (int32_t y = 0; y < DH; ++y) {
      const int32_t B = Rows.Start[size_t(y)], E = Rows.Start[size_t(y) + 1];
      if (E > B) RingSize = std::max(RingSize, Rows.Index[size_t(E) - 1] - Rows.Index[size_t(B)] + 1);
    }
    TTaps Tp;
    if (!CubicWidth) {
      Tp.Resize(size_t(DW), Cols.Longest());
      for (int32_t x = 0; x < DW; ++x)
        Tp.SetLinear(size_t(x), Cols.Index.data() + Cols.Start[size_t(x)],
                     Cols.Weight.data() + Cols.Start[size_t(x)],
                     Cols.Start[size_t(x) + 1] - Cols.Start[size_t(x)]);
    } else {
      Tp.Resize(HP.size(), 4);
      for (size_t k = 0; k < HP.size(); ++k) Tp.SetCubic(k, HP[k].Src, SW, HP[k].Frac);
    }
    auto Fill = [&](const T* S, const uint8_t* Pixels, std::vector<TS>& Sums, TI* I) {
      if (!CubicWidth) {
        // Sums scaled by 2^14 keep 8 bits of fraction.
        TapSums(S, Pixels, Tp, DW, Sums);
        for (int32_t x = 0; x < DW; ++x)
          for (int c = 0; c < C; ++c) {
            const TS V = Sums[4 * size_t(x) + size_t(c)];
            if constexpr (Small)
              I[size_t(x) * C + size_t(c)] = TI((V + 32) >> 6);
            else
              I[size_t(x) * C + size_t(c)] = V;
          }
        return;
      }
      // Each piece's cubic, limited to the sample range, weighted by its
      // share of its column.
      TapSums(S, Pixels, Tp, int32_t(HP.size()), Sums);
      std::vector<double> Col(RowLen, 0.0);
      for (size_t k = 0; k < HP.size(); ++k) {
        const double U = HP[k].Len / Gx;
        for (int c = 0; c < C; ++c)
          Col[size_t(HP[k].Dst) * C + size_t(c)] +=
              U * double(std::clamp(Sums[4 * k + size_t(c)], TS(0), Top));
      }
      for (size_t i = 0; i < RowLen; ++i) I[i] = Small ? TI(Col[i] / 64 + 0.5) : TI(Col[i]);
    };
    // The vertical weights carry the 8-bit intermediate's 2^-8.
    Bands(
        Report, [&] { return TRing<TI>(RingSize, RowLen, SW); },
        [&](int32_t y, TA* Acc, TRing<TI>& Ring) {
          const int32_t B = Rows.Start[size_t(y)], E = Rows.Start[size_t(y) + 1];
          std::fill(Acc, Acc + RowLen, TA(0));
          for (int32_t k = B; k < E; ++k) {
            const TI* __restrict I = RingRow(Ring, Rows.Index[size_t(k)], Fill);
            const TA W = TA(Small ? Rows.Weight[size_t(k)] / 256 : Rows.Weight[size_t(k)]);
            for (size_t i = 0; i < RowLen; ++i) Acc[i] += W * TA(I[i]);
          }
        });
  }

  // ---- bicubic, both axes enlarged ----

  void CubicBoth(const std::function<void(int32_t)>& Report) {
    // Horizontal step: every piece's horizontal cubic of a source row,
    // limited and rounded to a sample.
    const size_t NP = HP.size(), RowLen = NP * C;
    TTaps Tp;
    Tp.Resize(NP, 4);
    for (size_t k = 0; k < NP; ++k) Tp.SetCubic(k, HP[k].Src, SW, HP[k].Frac);
    auto Fill = [&](const T* S, const uint8_t* Pixels, std::vector<TS>& Sums, T* I) {
      TapSums(S, Pixels, Tp, int32_t(NP), Sums);
      for (size_t k = 0; k < NP; ++k)
        for (int c = 0; c < C; ++c) {
          const TS V = std::clamp(Sums[4 * k + size_t(c)], TS(0), Top);
          if constexpr (Small)
            I[k * C + size_t(c)] = T(RoundEven14(V));
          else
            I[k * C + size_t(c)] = T(RoundEven(V));
        }
    };
    int32_t RingSize = 4;
    for (int32_t y = 0; y < DH; ++y) {
      size_t Last = FirstOf[size_t(y)];
      if (Last >= VP.size()) continue;
      while (Last + 1 < VP.size() && VP[Last + 1].Dst == y) ++Last;
      RingSize = std::max(
          RingSize, std::min(VP[Last].Src + 2, SH - 1) - std::max(VP[FirstOf[size_t(y)]].Src - 1, 0) + 1);
    }
    // Each piece's share of its destination column, per sample; the pieces
    // of a column follow each other, one per column when every column is one
    // piece.
    std::vector<TA> Share(RowLen);
    bool OnePerColumn = int32_t(NP) == DW;
    for (size_t k = 0; k < NP; ++k) {
      for (int c = 0; c < C; ++c) Share[k * C + size_t(c)] = TA(HP[k].Len / Gx);
      OnePerColumn = OnePerColumn && HP[k].Dst == int32_t(k);
    }
    struct TBand {
      TRing<T> Ring;
      std::vector<TS> Sums;
    };
    // Vertical step: per vertical piece, the vertical cubic of four rows of
    // the horizontal step, limited, then added by area.
    Bands(
        Report,
        [&] {
          return TBand{TRing<T>(RingSize, RowLen, SW), std::vector<TS>(RowLen)};
        },
        [&](int32_t y, TA* Acc, TBand& Band) {
          std::fill(Acc, Acc + size_t(DW) * C, TA(0));
          for (size_t m = FirstOf[size_t(y)]; m < VP.size() && VP[m].Dst == y; ++m) {
            int32_t N[4];
            Neighbours(VP[m].Src, SH, N);
            const T* Rows[4];
            for (int r = 0; r < 4; ++r) Rows[r] = RingRow(Band.Ring, N[r], Fill);
            ColumnSums(Rows, VP[m].Frac, RowLen, Band.Sums.data());
            const TA H = TA(VP[m].Len / Gy / double(Scale));
            const TS* Sums = Band.Sums.data();
            if (OnePerColumn) {
              for (size_t i = 0; i < RowLen; ++i) Acc[i] += Limited(Sums[i]) * Share[i] * H;
            } else {
              for (size_t k = 0; k < NP; ++k)
                for (int c = 0; c < C; ++c) {
                  const size_t i = k * C + size_t(c);
                  Acc[size_t(HP[k].Dst) * C + size_t(c)] += Limited(Sums[i]) * Share[i] * H;
                }
            }
          }
        });
  }

  // Sums[i] = the cubic at fraction F of Rows[0 .. 3][i].
  static void ColumnSums(const T* const* Rows, double F, size_t Len, TS* Sums) {
    if constexpr (Small) {
      int32_t W[4];
      CubicWeights(F, W);
      const int16_t W16[4] = {int16_t(W[0]), int16_t(W[1]), int16_t(W[2]), int16_t(W[3])};
      IERowSums8(Rows, W16, 4, Len, Sums);
    } else {
      const double K[4] = {CubicKernel(F + 1), CubicKernel(F), CubicKernel(1 - F), CubicKernel(2 - F)};
      for (size_t i = 0; i < Len; ++i)
        Sums[i] = K[0] * Rows[0][i] + K[1] * Rows[1][i] + K[2] * Rows[2][i] + K[3] * Rows[3][i];
    }
  }

  // ---- bicubic, only the height enlarged ----

  void CubicHeight(const std::function<void(int32_t)>& Report) {
    // Four source rows per vertical piece: every row stays reachable.
    const TIEAllRows Src(FSrc);
    const size_t RowLen = size_t(SW) * C;
    Bands(
        Report, [&] { return std::vector<TS>(RowLen); },
        [&](int32_t y, TA* Acc, std::vector<TS>& Sums) {
          std::fill(Acc, Acc + size_t(DW) * C, TA(0));
          for (size_t m = FirstOf[size_t(y)]; m < VP.size() && VP[m].Dst == y; ++m) {
            int32_t N[4];
            Neighbours(VP[m].Src, SH, N);
            const T* Rows[4];
            for (int r = 0; r < 4; ++r) Rows[r] = reinterpret_cast<const T*>(Src.Rows[size_t(N[r])]);
            ColumnSums(Rows, VP[m].Frac, RowLen, Sums.data());
            const TA H = TA(VP[m].Len / Gy / double(Scale));
            for (const TPiece& P : HP) {
              const TA U = TA(P.Len / Gx);
              for (int c = 0; c < C; ++c)
                Acc[size_t(P.Dst) * C + size_t(c)] += Limited(Sums[size_t(P.Src) * C + size_t(c)]) * U * H;
            }
          }
        });
  }

  TIEBitmap* FSrc;
  TIEBitmap* FDst;
  const int32_t SW, SH, DW, DH;
  const double Gx, Gy;
  const bool FBicubic;
  const std::vector<TPiece> HP, VP;
  std::vector<size_t> FirstOf;  // first vertical piece of each destination row
  int32_t FHWorkers = 1, FVWorkers = 1;
};

template <class T, int C>
void AreaResample(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress,
                  TObject* Sender, int32_t ThreadCount) {
  std::function<void(int32_t)> Report;
  if (OnProgress) Report = [&](int32_t V) { OnProgress(Sender, std::clamp(V, 0, 100)); };
  TAreaResampler<T, C>(Src, Dst, Bicubic, ThreadCount).Run(Report);
}

bool Usable(TIEBitmap* Src, TIEBitmap* Dst) {
  return Src && Dst && Src->GetWidth() > 0 && Src->GetHeight() > 0 && Dst->GetWidth() > 0 &&
         Dst->GetHeight() > 0 && Dst->GetPixelFormat() == Src->GetPixelFormat();
}

}  // namespace

double IECubicSample(int32_t Pm1, int32_t P0, int32_t P1, int32_t P2, double T, double Low, double High) {
  double V =
      Pm1 * CubicKernel(T + 1) + P0 * CubicKernel(T) + P1 * CubicKernel(1 - T) + P2 * CubicKernel(2 - T);
  if (V < Low) return Low;
  if (V > High) return High;
  return V;
}

void IEAreaResample8(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress,
                     TObject* Sender, int32_t ThreadCount) {
  if (!Usable(Src, Dst)) return;
  if (Src->GetPixelFormat() == ie8g)
    AreaResample<uint8_t, 1>(Src, Dst, Bicubic, OnProgress, Sender, ThreadCount);
  else if (Src->GetPixelFormat() == ie24RGB)
    AreaResample<uint8_t, 3>(Src, Dst, Bicubic, OnProgress, Sender, ThreadCount);
}

void IEAreaResample16(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress,
                      TObject* Sender, int32_t ThreadCount) {
  if (!Usable(Src, Dst)) return;
  if (Src->GetPixelFormat() == ie16g)
    AreaResample<uint16_t, 1>(Src, Dst, Bicubic, OnProgress, Sender, ThreadCount);
  else if (Src->GetPixelFormat() == ieRGB48)
    AreaResample<uint16_t, 3>(Src, Dst, Bicubic, OnProgress, Sender, ThreadCount);
}
