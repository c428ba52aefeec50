#include "kernels/resample_engine.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/dib_stretch.h"
#include "kernels/resample_area.h"
#include "kernels/resample_fast.h"
#include "kernels/resample_rows.h"
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
        T += W;
      }
      Total[i] = T;
    }
    Start[D] = int32_t(Pixel.size());
  }
};

// The quotient both passes take of a weighted sum S by its weight total T
// (a zero total counts as 256): toward zero, limited to 0 .. 255.  With the
// usual positive total a negative sum gives 0 and a positive one the floor
// of (S + 1/2) / T, which never lies within rounding of an integer (its
// numerator is a half-integer, at least 1/(2T) away), so a multiplication by
// the reciprocal gives it exactly.
struct TQuotient {
  int32_t T = 256;
  double Inv = 1.0 / 256;
  explicit TQuotient(int32_t Total) : T(Total == 0 ? 256 : Total), Inv(1.0 / double(T)) {}
  uint8_t operator()(int32_t S) const {
    if (T > 0) {
      if (S <= 0) return 0;
      const int32_t Q = int32_t((double(S) + 0.5) * Inv);
      return uint8_t(Q > 255 ? 255 : Q);
    }
    return uint8_t(std::clamp(S / T, 0, 255));
  }
};

// Horizontal pass of 24-bit rows Y0 .. Y1 - 1 through the dense windows: each
// source row is split into three padded planes, then every destination pixel
// is three dot products.
// The horizontal contributors as tap lists of one length (the longest list,
// rounded up to even, shorter ones padded with zero weights), for the tap
// sums of resample_rows.h.
struct TTapTable {
  int32_t Taps = 0;
  std::vector<int32_t> Index;
  std::vector<int16_t> Weight;

  explicit TTapTable(const TContributors& C) {
    const size_t D = C.Total.size();
    for (size_t i = 0; i < D; ++i) Taps = std::max(Taps, C.Start[i + 1] - C.Start[i]);
    Taps = std::max(2, (Taps + 1) & ~1);
    Index.assign(D * size_t(Taps), 0);
    Weight.assign(D * size_t(Taps), 0);
    for (size_t i = 0; i < D; ++i)
      for (int32_t k = C.Start[i]; k < C.Start[i + 1]; ++k) {
        Index[i * size_t(Taps) + size_t(k - C.Start[i])] = C.Pixel[size_t(k)];
        Weight[i * size_t(Taps) + size_t(k - C.Start[i])] = int16_t(C.Weight[size_t(k)]);
      }
  }
};

// The quotients of a whole row of sums by one positive total T, as
// TQuotient takes them, through the reciprocal in single precision: exact
// while every sum stays below 2^22 in size (S + 1/2 is then exact and the
// rounding error below 2^-14) and T is at most 4096 (every quotient that
// matters lies at least 2^-13 from an integer).  Written to vectorise.
bool FloatQuotientsExact(int32_t T, int64_t Reach) {
  return T > 0 && T <= 4096 && Reach < (int64_t(1) << 22);
}

void FloatQuotients(const int32_t* __restrict Sums, size_t Len, float Inv, uint8_t* __restrict Out) {
  // A sum at or below zero gives at most 1/(2T) here, which truncates to 0.
  for (size_t x = 0; x < Len; ++x) {
    const int32_t Q = int32_t((float(Sums[x]) + 0.5f) * Inv);
    Out[x] = uint8_t(std::min(std::max(Q, 0), 255));
  }
}

// Horizontal pass of 24-bit rows Y0 .. Y1 - 1: each source row is widened to
// 4-byte pixels once, then every destination pixel sums its taps.
void HorizontalRows24(TIEBitmap* Src, int32_t Y0, int32_t Y1, const TTapTable& Taps, const TContributors& H,
                      int32_t DstW, uint8_t* Work, const std::function<void(int32_t)>& AfterRow) {
  const int32_t SrcW = Src->GetWidth();
  const size_t RowBytes = size_t(DstW) * 3;
  std::vector<uint8_t> Pixels(size_t(SrcW) * 4 + 4, 0);
  std::vector<int32_t> Sums(size_t(DstW) * 4);
  std::vector<TQuotient> Q;
  std::vector<float> Inv(static_cast<size_t>(DstW));
  std::vector<uint8_t> Fast(static_cast<size_t>(DstW));
  for (int32_t x = 0; x < DstW; ++x) {
    Q.emplace_back(H.Total[size_t(x)]);
    int64_t Reach = 0;
    for (int32_t k = H.Start[size_t(x)]; k < H.Start[size_t(x) + 1]; ++k)
      Reach += std::abs(H.Weight[size_t(k)]) * 255;
    Fast[size_t(x)] = FloatQuotientsExact(Q.back().T, Reach);
    Inv[size_t(x)] = 1.0f / float(Q.back().T);
  }
  for (int32_t y = Y0; y < Y1; ++y) {
    const uint8_t* S = Src->GetScanline(y);
    for (int32_t x = 0; x < SrcW; ++x) std::memcpy(Pixels.data() + 4 * size_t(x), S + 3 * size_t(x), 3);
    IETapSums32(Pixels.data(), Taps.Index.data(), Taps.Weight.data(), Taps.Taps, DstW, Sums.data());
    uint8_t* Out = Work + RowBytes * size_t(y);
    for (int32_t x = 0; x < DstW; ++x) {
      const int32_t* Sx = Sums.data() + 4 * size_t(x);
      if (Fast[size_t(x)]) {
        FloatQuotients(Sx, 3, Inv[size_t(x)], Out + 3 * size_t(x));
      } else {
        for (int c = 0; c < 3; ++c) Out[3 * size_t(x) + size_t(c)] = Q[size_t(x)](Sx[c]);
      }
    }
    if (AfterRow) AfterRow(y);
  }
}

std::vector<TQuotient> Quotients(const std::vector<int32_t>& Total) {
  std::vector<TQuotient> Q;
  Q.reserve(Total.size());
  for (int32_t T : Total) Q.emplace_back(T);
  return Q;
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
  const std::vector<TQuotient> Q = Quotients(H.Total);
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
      for (int c = 0; c < C; ++c) W[x * C + c] = Q[size_t(x)](Sum[c]);
    }
    if (AfterRow) AfterRow(y);
  }
}

// Vertical pass over the intermediate plane for destination rows Y0 .. Y1 - 1;
// Target(y) answers where row y's bytes go, Done(y, Row) follows each row.  The sums of a row are gathered
// in 32-bit integers one contributing row at a time, in loops that
// vectorise; the quotients take the reciprocal in single precision where
// that is exact (sums below 2^22 keep S + 1/2 exact and the rounding error
// below 2^-14, totals up to 4096 keep every quotient at least 2^-13 from an
// integer), else the exact quotient of TQuotient.
template <class TTarget, class TDone>
void VerticalRows(const uint8_t* Work, size_t RowBytes, const TContributors& V, int32_t Y0, int32_t Y1,
                  TTarget Target, TDone Done, const std::function<void(int32_t)>& AfterRow) {
  // Rows are summed in pieces that keep the sums in the first-level cache.
  constexpr size_t Piece = 4096;
  std::vector<int32_t> Sums(std::min(RowBytes, Piece));
  std::vector<const uint8_t*> Rows;
  std::vector<int16_t> Weights;
  for (int32_t y = Y0; y < Y1; ++y) {
    uint8_t* O = Target(y);
    const int32_t B = V.Start[size_t(y)], E = V.Start[size_t(y) + 1];
    Weights.clear();
    int64_t Reach = 0;
    for (int32_t k = B; k < E; ++k) {
      Weights.push_back(int16_t(V.Weight[size_t(k)]));
      Reach += std::abs(V.Weight[size_t(k)]) * 255;
    }
    const TQuotient Q(V.Total[size_t(y)]);
    const bool Fast = FloatQuotientsExact(Q.T, Reach);
    const float Inv = 1.0f / float(Q.T);
    for (size_t x0 = 0; x0 < RowBytes; x0 += Piece) {
      const size_t Len = std::min(Piece, RowBytes - x0);
      Rows.clear();
      for (int32_t k = B; k < E; ++k) Rows.push_back(Work + RowBytes * size_t(V.Pixel[size_t(k)]) + x0);
      IERowSums8(Rows.data(), Weights.data(), E - B, Len, Sums.data());
      if (Fast) {
        FloatQuotients(Sums.data(), Len, Inv, O + x0);
      } else {
        for (size_t x = 0; x < Len; ++x) O[x0 + x] = Q(Sums[x]);
      }
    }
    Done(y, O);
    if (AfterRow) AfterRow(y);
  }
}

void CheckPlaneSize(int32_t W, int32_t H, int32_t C) {
  // Sizes are positive 32-bit values; their product is computed in 64 bits
  // and must stay addressable.
  int64_t Bytes = int64_t(W) * H * C;
  if (Bytes <= 0 || uint64_t(Bytes) > uint64_t(PTRDIFF_MAX) / 2) throw std::bad_alloc();
}

// The intermediate plane of a convolution: written whole by the horizontal
// pass, so never cleared.
TIEScratch WorkPlane(int32_t W, int32_t H, int32_t C) {
  CheckPlaneSize(W, H, C);
  return IEScratch(size_t(W) * size_t(H) * size_t(C));
}

// The single-channel convolution shared by IEResample8Bit and _Resample1BitEx.
template <class TGetRow, class TTarget, class TDone>
void Convolve1(int32_t SrcW, int32_t SrcH, int32_t DstW, int32_t DstH, TResampleFilter F, TGetRow GetRow,
               TTarget Target, TDone Done) {
  TContributors H, V;
  H.Build(SrcW, DstW, AxisScale(SrcW, DstW), F);
  const TIEScratch Work = WorkPlane(DstW, SrcH, 1);
  HorizontalRows<1>(GetRow, 0, SrcH, H, DstW, Work.get(), nullptr);
  V.Build(SrcH, DstH, AxisScale(SrcH, DstH), F);
  VerticalRows(Work.get(), size_t(DstW), V, 0, DstH, Target, Done, nullptr);
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
  const TTapTable Taps(H);
  const TIEScratch Work = WorkPlane(DstW, SrcH, 3);
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
        HorizontalRows24(Work24, Start, Start + Count, Taps, H, DstW, Work.get(), After);
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
            Work.get(), RowBytes, V, Start, Start + Count, [&](int32_t y) { return Dst->GetScanline(y); },
            [](int32_t, uint8_t*) {}, After);
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
      [Dst](int32_t y) { return Dst->GetScanline(y); }, [](int32_t, uint8_t*) {});
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
  std::vector<uint8_t> Bytes(SrcW), Gray(DstW);
  Convolve1(
      SrcW, Src->GetHeight(), DstW, Dst->GetHeight(), Filter,
      [&](int32_t y) -> const uint8_t* {
        const uint8_t* S = Src->GetScanline(y);
        for (int32_t x = 0; x < SrcW; ++x) Bytes[x] = ((S[x >> 3] >> (7 - (x & 7))) & 1) ? 255 : 0;
        return Bytes.data();
      },
      [&](int32_t) { return Gray.data(); },
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
