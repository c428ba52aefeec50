#include "kernels/resample_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/dib_stretch.h"
#include "kernels/resample_area.h"
#include "kernels/resample_fast.h"
#include "kernels/row_bands.h"
#include "platform/rtl/sysutils.h"

namespace {

using LD = long double;
constexpr LD Pi = 3.141592653589793238462643383279502884L;

LD Sinc(LD T) {
  if (T == 0) return 1;
  T *= Pi;
  return std::sin(T) / T;
}

LD FilterWeight(TResampleFilter F, LD X) {
  const LD A = std::fabs(X);
  switch (F) {
    case rfTriangle:
      return A < 1 ? 1 - A : 0;
    case rfHermite:
      return A < 1 ? (2 * A - 3) * X * X + 1 : 0;
    case rfBell:
      if (A < 0.5L) return 0.75L - X * X;
      if (A < 1.5L) return 0.5L * (A - 1.5L) * (A - 1.5L);
      return 0;
    case rfBSpline:
      if (A < 1) return 0.5L * A * A * A - X * X + 2.0L / 3.0L;
      if (A < 2) return (2 - A) * (2 - A) * (2 - A) / 6.0L;
      return 0;
    case rfLanczos3:
      return A < 3 ? Sinc(A) * Sinc(A / 3) : 0;
    case rfMitchell:
      if (A < 1) return (7 * A * A * A - 12 * X * X + 16.0L / 3.0L) / 6;
      if (A < 2) return (-(7.0L / 3.0L) * A * A * A + 12 * X * X - 20 * A + 32.0L / 3.0L) / 6;
      return 0;
    case rfNearest:
      return (X > -0.5L && X <= 0.5L) ? 1 : 0;
    case rfLinear:
      if (X >= -1 && X < 0) return 1 + X;
      if (X >= 0 && X < 1) return 1 - X;
      return 0;
    default:
      return 0;
  }
}

// Contributors of every destination index of one axis, flattened: the list of
// index i is Pixel/Weight[Start[i] .. Start[i + 1]).
struct TContributors {
  std::vector<int32_t> Start, Pixel, Weight, Total;
  std::vector<int64_t> Raw;  // the position before mirroring, per contributor

  void Build(int32_t S, int32_t D, double Scale, TResampleFilter F) {
    const LD R = IEResampleFilterRadius(F);
    LD Width = R, FScale = 1;
    if (Scale < 1) {
      Width = R / Scale;
      FScale = 1 / LD(Scale);
    }
    Start.assign(size_t(D) + 1, 0);
    Total.assign(size_t(D), 0);
    Pixel.clear();
    Weight.clear();
    Raw.clear();
    for (int32_t i = 0; i < D; ++i) {
      Start[i] = int32_t(Pixel.size());
      const LD Center = LD(i) / LD(Scale);
      const int64_t Left = int64_t(std::floor(Center - Width));
      const int64_t Right = int64_t(std::ceil(Center + Width));
      int32_t T = 0;
      for (int64_t j = Left; j <= Right; ++j) {
        int32_t W = IERound(FilterWeight(F, (Center - LD(j)) / FScale) * 256 / FScale);
        if (W == 0) continue;
        int64_t Ix = j;
        if (Ix < 0) Ix = -Ix;
        if (Ix >= S) Ix = 2 * int64_t(S) - 1 - Ix;
        Ix = std::clamp<int64_t>(Ix, 0, S - 1);
        Pixel.push_back(int32_t(Ix));
        Weight.push_back(W);
        Raw.push_back(j);
        T += W;
      }
      Total[i] = T;
    }
    Start[D] = int32_t(Pixel.size());
  }
};

// The same contributors as dense windows over a padded row: destination
// index i reads K consecutive positions from First[i] with K weights (zero
// where a contributor was dropped), and padded position p holds source pixel
// Map[p] (mirrored at the edges).  Integer sums do not depend on their order,
// so this gives exactly the sparse lists' results, in loops that vectorise.
struct TDenseContributors {
  int32_t K = 0;
  std::vector<int32_t> First, W, Total, Map;

  void Build(const TContributors& C, int32_t S, int32_t D) {
    int64_t MinLeft = 0, MaxEnd = S;
    std::vector<int64_t> Left(size_t(D), 0);
    for (int32_t i = 0; i < D; ++i) {
      const int32_t B = C.Start[i], E = C.Start[i + 1];
      if (B == E) continue;
      Left[i] = C.Raw[B];
      K = std::max<int32_t>(K, int32_t(C.Raw[E - 1] - C.Raw[B] + 1));
      MinLeft = std::min(MinLeft, C.Raw[B]);
    }
    const int64_t Pad = -MinLeft;
    First.assign(size_t(D), 0);
    W.assign(size_t(D) * size_t(K), 0);
    Total = C.Total;
    for (int32_t i = 0; i < D; ++i) {
      const int32_t B = C.Start[i], E = C.Start[i + 1];
      First[i] = int32_t((B == E ? 0 : Left[i]) + Pad);
      MaxEnd = std::max<int64_t>(MaxEnd, First[i] + int64_t(K));
      for (int32_t k = B; k < E; ++k) W[size_t(i) * K + size_t(C.Raw[k] - Left[i])] = C.Weight[k];
    }
    Map.resize(size_t(MaxEnd + Pad));
    for (size_t p = 0; p < Map.size(); ++p) {
      int64_t Ix = int64_t(p) - Pad;
      if (Ix < 0) Ix = -Ix;
      if (Ix >= S) Ix = 2 * int64_t(S) - 1 - Ix;
      Map[p] = int32_t(std::clamp<int64_t>(Ix, 0, S - 1));
    }
  }
};

// Horizontal pass of 24-bit rows Y0 .. Y1 - 1 through the dense windows: each
// source row is split into three padded planes, then every destination pixel
// is three dot products.
void HorizontalRows24(TIEBitmap* Src, int32_t Y0, int32_t Y1, const TDenseContributors& H, int32_t DstW,
                      uint8_t* Work, const std::function<void(int32_t)>& AfterRow) {
  const size_t Len = H.Map.size(), RowBytes = size_t(DstW) * 3;
  std::vector<uint8_t> Planes(Len * 3);
  uint8_t* P0 = Planes.data();
  uint8_t* P1 = P0 + Len;
  uint8_t* P2 = P1 + Len;
  const int32_t K = H.K;
  for (int32_t y = Y0; y < Y1; ++y) {
    const uint8_t* S = Src->GetScanline(y);
    for (size_t p = 0; p < Len; ++p) {
      const uint8_t* Px = S + size_t(H.Map[p]) * 3;
      P0[p] = Px[0];
      P1[p] = Px[1];
      P2[p] = Px[2];
    }
    uint8_t* Out = Work + RowBytes * size_t(y);
    for (int32_t x = 0; x < DstW; ++x) {
      const int32_t* Wt = H.W.data() + size_t(x) * K;
      const uint8_t* A0 = P0 + H.First[x];
      const uint8_t* A1 = P1 + H.First[x];
      const uint8_t* A2 = P2 + H.First[x];
      int32_t S0 = 0, S1 = 0, S2 = 0;
      for (int32_t k = 0; k < K; ++k) {
        S0 += Wt[k] * A0[k];
        S1 += Wt[k] * A1[k];
        S2 += Wt[k] * A2[k];
      }
      const int32_t T = H.Total[x] == 0 ? 256 : H.Total[x];
      Out[3 * x] = uint8_t(std::clamp(S0 / T, 0, 255));
      Out[3 * x + 1] = uint8_t(std::clamp(S1 / T, 0, 255));
      Out[3 * x + 2] = uint8_t(std::clamp(S2 / T, 0, 255));
    }
    if (AfterRow) AfterRow(y);
  }
}

double AxisScale(int32_t S, int32_t D) {
  if (S == 1 || D == 1) return double(D) / S;
  return double(D - 1) / (S - 1);
}

// Horizontal pass of rows Y0 .. Y1 - 1 into the intermediate plane (DstW x C
// bytes per row).  A zero weight sum counts as 256.
template <int C, class TGetRow>
void HorizontalRows(TGetRow GetRow, int32_t Y0, int32_t Y1, const TContributors& H, int32_t DstW, uint8_t* Work,
                    const std::function<void(int32_t)>& AfterRow) {
  const size_t RowBytes = size_t(DstW) * C;
  for (int32_t y = Y0; y < Y1; ++y) {
    const uint8_t* S = GetRow(y);
    uint8_t* W = Work + RowBytes * size_t(y);
    for (int32_t x = 0; x < DstW; ++x) {
      int32_t Sum[C] = {};
      const int32_t B = H.Start[x], E = H.Start[x + 1];
      for (int32_t k = B; k < E; ++k) {
        const uint8_t* P = S + size_t(H.Pixel[k]) * C;
        const int32_t Wt = H.Weight[k];
        for (int c = 0; c < C; ++c) Sum[c] += Wt * P[c];
      }
      int32_t T = H.Total[x] == 0 ? 256 : H.Total[x];
      for (int c = 0; c < C; ++c) W[x * C + c] = uint8_t(std::clamp(Sum[c] / T, 0, 255));
    }
    if (AfterRow) AfterRow(y);
  }
}

// Vertical pass over the intermediate plane for destination rows Y0 .. Y1 - 1;
// Emit receives each destination row.  The division truncates toward zero;
// done in doubles it is exact here (|sums| < 2^31, divisors < 2^20) and
// vectorises.
template <class TEmit>
void VerticalRows(const uint8_t* Work, size_t RowBytes, const TContributors& V, int32_t Y0, int32_t Y1, TEmit Emit,
                  const std::function<void(int32_t)>& AfterRow) {
  std::vector<int32_t> Acc(RowBytes);
  std::vector<uint8_t> Out(RowBytes);
  for (int32_t y = Y0; y < Y1; ++y) {
    std::fill(Acc.begin(), Acc.end(), 0);
    int32_t* A = Acc.data();
    for (int32_t k = V.Start[y]; k < V.Start[y + 1]; ++k) {
      const uint8_t* R = Work + RowBytes * size_t(V.Pixel[k]);
      const int32_t Wt = V.Weight[k];
      for (size_t x = 0; x < RowBytes; ++x) A[x] += Wt * R[x];
    }
    const double T = V.Total[y] == 0 ? 256.0 : double(V.Total[y]);
    uint8_t* O = Out.data();
    for (size_t x = 0; x < RowBytes; ++x) {
      double Q = std::trunc(double(A[x]) / T);
      O[x] = uint8_t(Q < 0 ? 0 : (Q > 255 ? 255 : Q));
    }
    Emit(y, O);
    if (AfterRow) AfterRow(y);
  }
}

void CheckPlaneSize(int32_t W, int32_t H, int32_t C) {
  // Sizes are positive 32-bit values; their product is computed in 64 bits
  // and must stay addressable.
  int64_t Bytes = int64_t(W) * H * C;
  if (Bytes <= 0 || uint64_t(Bytes) > uint64_t(PTRDIFF_MAX) / 2) throw std::bad_alloc();
}

// The single-channel convolution shared by IEResample8Bit and _Resample1BitEx.
template <class TGetRow, class TEmit>
void Convolve1(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, TResampleFilter F, TGetRow GetRow,
               TEmit Emit) {
  TContributors H, V;
  H.Build(SrcW, DstW, AxisScale(SrcW, DstW), F);
  CheckPlaneSize(DstW, SrcH, 1);
  std::vector<uint8_t> Work(size_t(DstW) * size_t(SrcH));
  HorizontalRows<1>(GetRow, 0, SrcH, H, DstW, Work.data(), nullptr);
  V.Build(SrcH, DstH, AxisScale(SrcH, DstH), F);
  VerticalRows(Work.data(), size_t(DstW), V, 0, DstH, Emit, nullptr);
}

bool TooSmall(TIEBitmap* B) {
  int32_t W = B->GetWidth(), H = B->GetHeight();
  return W <= 0 || H <= 0 || (W < 2 && H < 2);
}

bool IsConvolution(TResampleFilter F) { return F >= rfTriangle && F <= rfLinear; }

}  // namespace

double IEResampleFilterWeight(TResampleFilter Filter, double X) { return double(FilterWeight(Filter, X)); }

double IEResampleFilterRadius(TResampleFilter Filter) {
  switch (Filter) {
    case rfTriangle:
    case rfHermite:
    case rfNearest:
    case rfLinear:
      return 1.0;
    case rfBell:
      return 1.5;
    case rfBSpline:
    case rfMitchell:
      return 2.0;
    case rfLanczos3:
      return 3.0;
    default:
      return 0.0;
  }
}

void _ResampleEx(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                 TObject* Sender, int32_t ThreadCount) {
  if (!Src || !Dst || TooSmall(Src) || Dst->GetWidth() <= 0 || Dst->GetHeight() <= 0) return;
  const TIEPixelFormat Fmt = Src->GetPixelFormat();
  if (Filter == rfBilinear || Filter == rfBicubic) {
    if (Fmt == ie24RGB || Fmt == ie8g) {
      if (Dst->GetPixelFormat() != Fmt) Dst->Allocate(Dst->GetWidth(), Dst->GetHeight(), Fmt);
      IEAreaResample8(Src, Dst, Filter == rfBicubic, OnProgress, Sender, ThreadCount);
      return;
    }
    if (Fmt == ie16g || Fmt == ieRGB48) {
      if (Dst->GetPixelFormat() != Fmt) Dst->Allocate(Dst->GetWidth(), Dst->GetHeight(), Fmt);
      IEAreaResample16(Src, Dst, Filter == rfBicubic, OnProgress, Sender, ThreadCount);
      return;
    }
    Filter = rfTriangle;
  }
  if (Filter == rfNone) Filter = rfTriangle;
  if (Fmt == ie8g) {
    if (Dst->GetPixelFormat() != ie8g) Dst->Allocate(Dst->GetWidth(), Dst->GetHeight(), ie8g);
    IEResample8Bit(Src, Dst, Filter);
    return;
  }
  std::unique_ptr<TIEBitmap> Copy;
  TIEBitmap* Work24 = Src;
  if (Fmt != ie24RGB) {
    Copy = std::make_unique<TIEBitmap>(Src->GetWidth(), Src->GetHeight(), ie24RGB);
    Copy->ConvertFrom(Src);
    Work24 = Copy.get();
  }
  if (Dst->GetPixelFormat() != ie24RGB && Filter != rfProjectBW && Filter != rfProjectWB)
    Dst->Allocate(Dst->GetWidth(), Dst->GetHeight(), ie24RGB);
  if (Filter == rfFastLinear) {
    IEFastLinearResample24(Work24, Dst, OnProgress, Sender);
    return;
  }
  if (Filter == rfProjectBW || Filter == rfProjectWB) {
    IEProjectResample24To1Bit(Work24, Dst, Filter == rfProjectWB, OnProgress, Sender);
    return;
  }
  if (!IsConvolution(Filter)) return;

  const int32_t SrcW = Work24->GetWidth(), SrcH = Work24->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  TContributors H;
  H.Build(SrcW, DstW, AxisScale(SrcW, DstW), Filter);
  TDenseContributors HD;
  HD.Build(H, SrcW, DstW);
  CheckPlaneSize(DstW, SrcH, 3);
  std::vector<uint8_t> Work(size_t(DstW) * 3 * size_t(SrcH));
  const double F = 100.0 / (SrcH + DstH + 0.5);

  const int32_t N = IEBandWorkerCount(Work24, ThreadCount);
  std::function<void(int32_t)> Report;
  if (OnProgress) Report = [&](int32_t V) { OnProgress(Sender, std::clamp(V, 0, 100)); };

  // Horizontal pass in bands of source rows; band 0 stands for the whole pass
  // in the progress.
  IERunRowBands(
      SrcH, N,
      [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Publish) {
        std::function<void(int32_t)> After;
        if (OnProgress) After = [&](int32_t r) { Publish(int32_t((double(r) * N + 1) * F)); };
        HorizontalRows24(Work24, Start, Start + Count, HD, DstW, Work.data(), After);
      },
      Report);

  // Vertical pass in bands of destination rows, started only once every
  // horizontal band is done.
  TContributors V;
  V.Build(SrcH, DstH, AxisScale(SrcH, DstH), Filter);
  const size_t RowBytes = size_t(DstW) * 3;
  const int32_t NV = IEBandWorkerCount(Dst, ThreadCount);
  IERunRowBands(
      DstH, NV,
      [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Publish) {
        std::function<void(int32_t)> After;
        if (OnProgress) After = [&](int32_t y) { Publish(int32_t((double(SrcH) + double(y) * NV + 1) * F)); };
        VerticalRows(
            Work.data(), RowBytes, V, Start, Start + Count,
            [&](int32_t y, const uint8_t* Row) { std::copy(Row, Row + RowBytes, Dst->GetScanline(y)); }, After);
      },
      Report);
}

void IEResample8Bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter) {
  if (!Src || !Dst || Dst->GetWidth() <= 0 || Dst->GetHeight() <= 0) return;
  if (Filter == rfFastLinear || Filter == rfBilinear || Filter == rfBicubic || Filter == rfProjectBW ||
      Filter == rfProjectWB) {
    IEFastLinearResample8(Src, Dst);
    return;
  }
  if (TooSmall(Src) || Src->GetBitCount() != 8 || Dst->GetBitCount() != 8) return;
  if (!IsConvolution(Filter)) Filter = rfTriangle;
  const int32_t DstW = Dst->GetWidth();
  Convolve1(
      Src->GetWidth(), Src->GetHeight(), DstW, Dst->GetHeight(), Filter,
      [Src](int32_t y) -> const uint8_t* { return Src->GetScanline(y); },
      [&](int32_t y, const uint8_t* Row) { std::copy(Row, Row + DstW, Dst->GetScanline(y)); });
}

void _Resample1BitEx(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter) {
  if (!Src || !Dst || Src->GetPixelFormat() != ie1g || Dst->GetWidth() <= 0 || Dst->GetHeight() <= 0) return;
  if (Filter == rfFastLinear || Filter == rfBilinear || Filter == rfBicubic) {
    IEFastLinearResample1To24(Src, Dst);
    return;
  }
  if (Filter == rfProjectBW || Filter == rfProjectWB) {
    IEProjectResample1Bit(Src, Dst, Filter == rfProjectWB);
    return;
  }
  if (TooSmall(Src)) return;
  if (!IsConvolution(Filter)) Filter = rfTriangle;
  const int32_t SrcW = Src->GetWidth(), DstW = Dst->GetWidth();
  if (Dst->GetPixelFormat() != ie24RGB) Dst->Allocate(DstW, Dst->GetHeight(), ie24RGB);
  std::vector<uint8_t> Bytes(SrcW);
  Convolve1(
      SrcW, Src->GetHeight(), DstW, Dst->GetHeight(), Filter,
      [&](int32_t y) -> const uint8_t* {
        const uint8_t* S = Src->GetScanline(y);
        for (int32_t x = 0; x < SrcW; ++x) Bytes[x] = ((S[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
        return Bytes.data();
      },
      [&](int32_t y, const uint8_t* Row) {
        uint8_t* D = Dst->GetScanline(y);
        for (int32_t x = 0; x < DstW; ++x) D[3 * x] = D[3 * x + 1] = D[3 * x + 2] = Row[x];
      });
}

void IEResampleBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter, const TIEProgressEvent& OnProgress,
                      TObject* Sender) {
  if (!Source || !Dest || Source->GetWidth() <= 0 || Source->GetHeight() <= 0) return;
  const int32_t W = Dest->GetWidth(), H = Dest->GetHeight();
  if (W <= 0 || H <= 0) return;
  if (W == Source->GetWidth() && H == Source->GetHeight()) {
    Dest->Assign(Source);
    return;
  }
  const TIEPixelFormat Fmt = Source->GetPixelFormat();
  if (Filter == rfNone) {
    if (Dest->GetPixelFormat() != Fmt) Dest->Allocate(W, H, Fmt);
    _IEBmpStretchEx(Source, Dest, Sender, OnProgress);
  } else if (Fmt == ie1g) {
    Dest->Allocate(W, H, (Filter == rfProjectBW || Filter == rfProjectWB) ? ie1g : ie24RGB);
    _Resample1BitEx(Source, Dest, Filter);
  } else {
    _ResampleEx(Source, Dest, Filter, OnProgress, Sender);
  }
  if (Source->HasAlphaChannel()) {
    TIEBitmap* SA = Source->GetAlphaChannel();
    auto DA = std::make_unique<TIEBitmap>(W, H, ie8g);
    if (Filter == rfNone)
      _IEBmpStretchEx(SA, DA.get(), nullptr, nullptr);
    else
      IEResample8Bit(SA, DA.get(), Filter);
    Dest->AttachAlphaChannel(std::move(DA));
  }
}
