#include "kernels/resample_area.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/row_bands.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr double Tolerance = 0.0001;

// Rounds V to the nearest integer, halves to even, after limiting it to
// 0 .. Max: adding and taking away 2^52 leaves the FPU's own rounding (to
// nearest, ties to even) for values in that range, and vectorises.
inline double RoundLimited(double V, double Max) {
  V = V < 0 ? 0 : (V > Max ? Max : V);
  constexpr double Shift = 4503599627370496.0;  // 2^52
  return (V + Shift) - Shift;
}

double CubicKernel(double D) {
  D = std::fabs(D);
  if (D <= 1) return D * D * D - 2 * D * D + 1;
  if (D <= 2) return -D * D * D + 5 * D * D - 8 * D + 4;
  return 0;
}

// A horizontal piece of a destination row: the source column it lies in, the
// horizontal sampling fraction, its width and the destination column it adds to.
struct TPiece {
  int32_t X;
  int32_t DstX;
  double L;
  double Width;
};

std::vector<TPiece> HorizontalPieces(int32_t SrcW, int32_t DstW, double Gx) {
  std::vector<TPiece> P;
  P.reserve(size_t(SrcW) + size_t(DstW) + 1);
  int32_t X = 0, DstX = 0;
  double Pos = 0, Bound = Gx;
  while (DstX < DstW) {
    if (X + 1 < SrcW && X + 1 + Tolerance < Bound) {
      P.push_back({X, DstX, 1.0, (X + 1) - Pos});
      Pos = X + 1;
      ++X;
    } else {
      P.push_back({X, DstX, Bound - X, Bound - Pos});
      Pos = Bound;
      ++DstX;
      Bound += Gx;
    }
  }
  return P;
}

// A vertical piece: the source row it lies in, its height, the vertical
// sampling fraction, and the destination row it adds to.
struct TVPiece {
  int32_t J;
  int32_t DstY;
  double G;
  double Height;
};

std::vector<TVPiece> VerticalPieces(int32_t SrcH, int32_t DstH, double Gy) {
  std::vector<TVPiece> P;
  P.reserve(size_t(SrcH) + size_t(DstH) + 1);
  int32_t J = 0, DstY = 0;
  double Pos = 0, Bound = Gy;
  while (DstY < DstH) {
    if (J + 1 < SrcH && J + 1 + Tolerance < Bound) {
      P.push_back({J, DstY, 1.0, (J + 1) - Pos});
      Pos = J + 1;
      ++J;
    } else {
      P.push_back({J, DstY, Bound - J, Bound - Pos});
      Pos = Bound;
      ++DstY;
      Bound += Gy;
    }
  }
  return P;
}

template <class T, int C>
void AreaResample(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, int32_t MaxV, const TIEProgressEvent& OnProgress,
                  TObject* Sender, int32_t ThreadCount) {
  const int32_t SrcW = Src->GetWidth(), SrcH = Src->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  const double Gx = double(SrcW) / DstW, Gy = double(SrcH) / DstH;
  const int Mode = Gx < 1 ? (Gy < 1 ? 0 : 1) : (Gy < 1 ? 2 : 3);
  const std::vector<TPiece> Pieces = HorizontalPieces(SrcW, DstW, Gx);
  const std::vector<TVPiece> VPieces = VerticalPieces(SrcH, DstH, Gy);
  // Where each destination row's vertical pieces start.
  std::vector<size_t> FirstOf(size_t(DstH) + 1, VPieces.size());
  for (size_t k = VPieces.size(); k-- > 0;) FirstOf[VPieces[k].DstY] = k;
  const size_t RowSamples = size_t(SrcW) * C;
  const double Norm = (double(DstW) * DstH) / (double(SrcW) * SrcH);
  const double Hi = MaxV;
  const int32_t Workers = std::min(IEBandWorkerCount(Src, ThreadCount), IEBandWorkerCount(Dst, ThreadCount));

  // Bands of destination rows; each band streams its own source rows through
  // a four-row window and sums each destination row in the same order as a
  // single pass would, so the result does not depend on the worker count.
  auto Band = [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Publish) {
    std::vector<T> Window[4];
    int32_t Loaded[4] = {-1, -1, -1, -1};
    auto Row = [&](int32_t r) -> const T* {
      r = std::clamp(r, 0, SrcH - 1);
      const int s = r & 3;
      if (Loaded[s] != r) {
        Window[s].resize(RowSamples);
        std::memcpy(Window[s].data(), Src->GetScanline(r), RowSamples * sizeof(T));
        Loaded[s] = r;
      }
      return Window[s].data();
    };
    // A source row's horizontal integral (each piece's width times its
    // horizontal sample) serves every vertical piece that samples that row
    // without a vertical fraction (modes 1 and 3), and bilinear vertical
    // interpolation is linear, so it blends the integrals of two rows.  Two
    // rows are kept.
    const bool HInterp = Mode == 0 || Mode == 1;
    std::vector<double> Ints[2] = {std::vector<double>(size_t(DstW) * C), std::vector<double>(size_t(DstW) * C)};
    int32_t IntOf[2] = {-1, -1};
    auto Integral = [&](int32_t J) -> const double* {
      for (int s = 0; s < 2; ++s)
        if (IntOf[s] == J) return Ints[s].data();
      // Rows only advance within a band: the older row is the one to drop.
      const int Slot = IntOf[0] <= IntOf[1] ? 0 : 1;
      std::vector<double>& RowInt = Ints[Slot];
      const T* S = Row(J);
      std::fill(RowInt.begin(), RowInt.end(), 0.0);
      if (!HInterp) {
        // Pieces come in order of destination column: sum each column's run
        // in registers and store it once.
        double Run[C] = {};
        int32_t Col = Pieces.empty() ? 0 : Pieces.front().DstX;
        for (const TPiece& Pc : Pieces) {
          if (Pc.DstX != Col) {
            for (int c = 0; c < C; ++c) RowInt[size_t(Col) * C + c] = Run[c], Run[c] = 0;
            Col = Pc.DstX;
          }
          const T* Px = S + size_t(Pc.X) * C;
          for (int c = 0; c < C; ++c) Run[c] += Pc.Width * Px[c];
        }
        for (int c = 0; c < C; ++c) RowInt[size_t(Col) * C + c] = Run[c];
        IntOf[Slot] = J;
        return RowInt.data();
      }
      for (const TPiece& Pc : Pieces) {
        const int32_t x = Pc.X;
        double* Ri = RowInt.data() + size_t(Pc.DstX) * C;
        const int32_t Left = std::max(x - 1, 0), Right = std::min(x + 1, SrcW - 1);
        const int32_t Right2 = x + 2 <= SrcW - 1 ? x + 2 : Right;
        const double L = Pc.L;
        for (int c = 0; c < C; ++c) {
          const double V = Bicubic ? IECubicSample(S[Left * C + c], S[x * C + c], S[Right * C + c],
                                                   S[Right2 * C + c], L, 0, Hi)
                                   : (1 - L) * S[x * C + c] + L * S[Right * C + c];
          Ri[c] += Pc.Width * V;
        }
      }
      IntOf[Slot] = J;
      return RowInt.data();
    };
    std::vector<double> Acc(size_t(DstW) * C, 0.0);
    std::vector<T> Out(size_t(DstW) * C);
    for (int32_t Y = Start; Y < Start + Count; ++Y) {
      std::fill(Acc.begin(), Acc.end(), 0.0);
      for (size_t k = FirstOf[Y]; k < VPieces.size() && VPieces[k].DstY == Y; ++k) {
        const TVPiece& Vp = VPieces[k];
        const int32_t J = Vp.J;
        const double G = Vp.G, Height = Vp.Height;
        if (Mode == 1 || Mode == 3) {
          const double* I0 = Integral(J);
          for (size_t i = 0; i < Acc.size(); ++i) Acc[i] += Height * I0[i];
          continue;
        }
        if (!Bicubic) {
          const double* I0 = Integral(J);
          const double* I1 = Integral(J + 1 < SrcH ? J + 1 : J);
          for (size_t i = 0; i < Acc.size(); ++i) Acc[i] += Height * ((1 - G) * I0[i] + G * I1[i]);
          continue;
        }
        const T* S = Row(J);
        const T* P = Row(J + 1 < SrcH ? J + 1 : J);
        const T* R = Row(J + 2 < SrcH ? J + 2 : (J + 1 < SrcH ? J + 1 : J));
        const T* Q = Row(J > 0 ? J - 1 : J);
        for (const TPiece& Pc : Pieces) {
          const double Area = Pc.Width * Height;
          const int32_t x = Pc.X;
          const int32_t Left = std::max(x - 1, 0), Right = std::min(x + 1, SrcW - 1);
          const int32_t Right2 = x + 2 <= SrcW - 1 ? x + 2 : Right;
          const double L = Pc.L;
          double* A = Acc.data() + size_t(Pc.DstX) * C;
          for (int c = 0; c < C; ++c) {
            double V;
            if (!Bicubic) {
              if (Mode == 0)
                V = (1 - G) * ((1 - L) * S[x * C + c] + L * S[Right * C + c]) +
                    G * ((1 - L) * P[x * C + c] + L * P[Right * C + c]);
              else
                V = (1 - G) * S[x * C + c] + G * P[x * C + c];
            } else {
              auto HCubic = [&](const T* Rw) {
                return IECubicSample(Rw[Left * C + c], Rw[x * C + c], Rw[Right * C + c], Rw[Right2 * C + c], L, 0,
                                     Hi);
              };
              if (Mode == 0)
                V = IECubicSample(int32_t(RoundLimited(HCubic(Q), Hi)), int32_t(RoundLimited(HCubic(S), Hi)),
                                  int32_t(RoundLimited(HCubic(P), Hi)), int32_t(RoundLimited(HCubic(R), Hi)), G, 0,
                                  Hi);
              else
                V = IECubicSample(Q[x * C + c], S[x * C + c], P[x * C + c], R[x * C + c], G, 0, Hi);
            }
            A[c] += Area * V;
          }
        }
      }
      for (size_t i = 0; i < Out.size(); ++i) Out[i] = T(RoundLimited(Acc[i] * Norm, Hi));
      std::memcpy(Dst->GetScanline(Y), Out.data(), Out.size() * sizeof(T));
      Publish(int32_t(double(Y - Start + 1) * Workers / DstH * 100));
    }
  };
  std::function<void(int32_t)> Report;
  if (OnProgress) Report = [&](int32_t V) { OnProgress(Sender, std::clamp(V, 0, 100)); };
  IERunRowBands(DstH, Workers, Band, Report);
}

bool Usable(TIEBitmap* Src, TIEBitmap* Dst) {
  return Src && Dst && Src->GetWidth() > 0 && Src->GetHeight() > 0 && Dst->GetWidth() > 0 &&
         Dst->GetHeight() > 0 && Dst->GetPixelFormat() == Src->GetPixelFormat();
}

}  // namespace

double IECubicSample(int32_t Pm1, int32_t P0, int32_t P1, int32_t P2, double T, double Low, double High) {
  double V = Pm1 * CubicKernel(T + 1) + P0 * CubicKernel(T) + P1 * CubicKernel(1 - T) + P2 * CubicKernel(2 - T);
  if (V < Low) return Low;
  if (V > High) return High;
  return V;
}

void IEAreaResample8(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress,
                     TObject* Sender, int32_t ThreadCount) {
  if (!Usable(Src, Dst)) return;
  if (Src->GetPixelFormat() == ie8g)
    AreaResample<uint8_t, 1>(Src, Dst, Bicubic, 255, OnProgress, Sender, ThreadCount);
  else if (Src->GetPixelFormat() == ie24RGB)
    AreaResample<uint8_t, 3>(Src, Dst, Bicubic, 255, OnProgress, Sender, ThreadCount);
}

void IEAreaResample16(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress,
                      TObject* Sender, int32_t ThreadCount) {
  if (!Usable(Src, Dst)) return;
  if (Src->GetPixelFormat() == ie16g)
    AreaResample<uint16_t, 1>(Src, Dst, Bicubic, 65535, OnProgress, Sender, ThreadCount);
  else if (Src->GetPixelFormat() == ieRGB48)
    AreaResample<uint16_t, 3>(Src, Dst, Bicubic, 65535, OnProgress, Sender, ThreadCount);
}
