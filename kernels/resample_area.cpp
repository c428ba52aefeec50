#include "kernels/resample_area.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr double Tolerance = 0.0001;

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

template <class T, int C>
void AreaResample(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, int32_t MaxV, const TIEProgressEvent& OnProgress,
                  TObject* Sender) {
  const int32_t SrcW = Src->GetWidth(), SrcH = Src->GetHeight();
  const int32_t DstW = Dst->GetWidth(), DstH = Dst->GetHeight();
  const double Gx = double(SrcW) / DstW, Gy = double(SrcH) / DstH;
  const int Mode = Gx < 1 ? (Gy < 1 ? 0 : 1) : (Gy < 1 ? 2 : 3);
  const std::vector<TPiece> Pieces = HorizontalPieces(SrcW, DstW, Gx);
  const size_t RowSamples = size_t(SrcW) * C;

  // Four-row window, each source row loaded once into slot row % 4.
  std::vector<T> Window[4];
  int32_t Loaded[4] = {-1, -1, -1, -1};
  auto Row = [&](int32_t r) -> const T* {
    r = std::clamp(r, 0, SrcH - 1);
    int s = r & 3;
    if (Loaded[s] != r) {
      Window[s].resize(RowSamples);
      std::memcpy(Window[s].data(), Src->GetScanline(r), RowSamples * sizeof(T));
      Loaded[s] = r;
    }
    return Window[s].data();
  };

  std::vector<double> Acc(size_t(DstW) * C, 0.0);
  std::vector<T> Out(size_t(DstW) * C);
  const double Norm = (double(DstW) * DstH) / (double(SrcW) * SrcH);
  const double Hi = MaxV;
  int32_t J = 0, Written = 0;
  double Pos = 0, Bound = Gy;
  while (Written < DstH) {
    const bool EndsAtSrc = J + 1 < SrcH && J + 1 + Tolerance < Bound;
    double Height, G;
    if (EndsAtSrc) {
      Height = (J + 1) - Pos;
      G = 1;
      Pos = J + 1;
    } else {
      Height = Bound - Pos;
      G = Bound - J;
      Pos = Bound;
      Bound += Gy;
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
        if (Mode == 3) {
          V = S[x * C + c];
        } else if (!Bicubic) {
          if (Mode == 0)
            V = (1 - G) * ((1 - L) * S[x * C + c] + L * S[Right * C + c]) +
                G * ((1 - L) * P[x * C + c] + L * P[Right * C + c]);
          else if (Mode == 1)
            V = (1 - L) * S[x * C + c] + L * S[Right * C + c];
          else
            V = (1 - G) * S[x * C + c] + G * P[x * C + c];
        } else {
          auto HCubic = [&](const T* Rw) {
            return IECubicSample(Rw[Left * C + c], Rw[x * C + c], Rw[Right * C + c], Rw[Right2 * C + c], L, 0, Hi);
          };
          if (Mode == 0)
            V = IECubicSample(IERound(HCubic(Q)), IERound(HCubic(S)), IERound(HCubic(P)), IERound(HCubic(R)), G, 0,
                              Hi);
          else if (Mode == 1)
            V = HCubic(S);
          else
            V = IECubicSample(Q[x * C + c], S[x * C + c], P[x * C + c], R[x * C + c], G, 0, Hi);
        }
        A[c] += Area * V;
      }
    }
    if (EndsAtSrc) {
      ++J;
      continue;
    }
    for (size_t i = 0; i < Out.size(); ++i) Out[i] = T(std::clamp(IERound(Acc[i] * Norm), 0, MaxV));
    std::memcpy(Dst->GetScanline(Written), Out.data(), Out.size() * sizeof(T));
    std::fill(Acc.begin(), Acc.end(), 0.0);
    ++Written;
    if (OnProgress) OnProgress(Sender, int32_t(double(Written) / DstH * 100));
  }
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
                     TObject* Sender) {
  if (!Usable(Src, Dst)) return;
  if (Src->GetPixelFormat() == ie8g)
    AreaResample<uint8_t, 1>(Src, Dst, Bicubic, 255, OnProgress, Sender);
  else if (Src->GetPixelFormat() == ie24RGB)
    AreaResample<uint8_t, 3>(Src, Dst, Bicubic, 255, OnProgress, Sender);
}

void IEAreaResample16(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress,
                      TObject* Sender) {
  if (!Usable(Src, Dst)) return;
  if (Src->GetPixelFormat() == ie16g)
    AreaResample<uint16_t, 1>(Src, Dst, Bicubic, 65535, OnProgress, Sender);
  else if (Src->GetPixelFormat() == ieRGB48)
    AreaResample<uint16_t, 3>(Src, Dst, Bicubic, 65535, OnProgress, Sender);
}
