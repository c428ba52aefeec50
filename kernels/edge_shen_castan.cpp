#include "kernels/edge_shen_castan.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"

namespace {

// The gray plane is padded by the border plus two pixels on every side.
constexpr int32_t kPad = IEShenCastanBorder + 2;

// A plane of floats left uninitialised: every cell is written before it is
// read, so no time goes into clearing it first.
struct TFloats {
  std::unique_ptr<float[]> P;
  size_t N = 0;
  void Reset(size_t Count) {
    P.reset(new float[Count]);
    N = Count;
  }
  void Free() {
    P.reset();
    N = 0;
  }
  float& operator[](size_t I) { return P[I]; }
  const float& operator[](size_t I) const { return P[I]; }
  float* begin() { return P.get(); }
  float* end() { return P.get() + N; }
};

struct TPlanes {
  int32_t W = 0, H = 0;  // padded size
  TFloats In;  // unsmoothed gray, later the gradient
  TFloats S;   // smoothed
  std::vector<uint8_t> L;    // band-limited Laplacian (0/1)
  std::vector<uint8_t> E;    // edge marks
  size_t At(int32_t X, int32_t Y) const { return size_t(Y) * size_t(W) + size_t(X); }
  bool Inside(int32_t X, int32_t Y) const {
    return X >= IEShenCastanBorder && Y >= IEShenCastanBorder && X < W - IEShenCastanBorder &&
           Y < H - IEShenCastanBorder;
  }
};

void Report(TIEProgressRec& Progress, int32_t Stage) {
  if (Progress.fOnProgress) Progress.Report(int32_t(Stage * (100.0 / 6)));
}

// Two first-order recursions, causal and anticausal, along each column and
// then along each row: the separable ISEF.
void Smooth(TPlanes& P, float b) {
  const float b1 = (1.0f - b) / (1.0f + b), b2 = b * b1;
  const int32_t W = P.W, H = P.H;
  // Vertical, all columns at once row by row: the causal recursion goes
  // straight into the smoothed plane, the anticausal one into T.
  P.S.Reset(size_t(W) * H);
  TFloats T;
  T.Reset(size_t(W) * H);
  for (int32_t x = 0; x < W; ++x) P.S[x] = b1 * P.In[x];
  for (int32_t y = 1; y < H; ++y) {
    const float* Xr = &P.In[P.At(0, y)];
    const float* Ap = &P.S[P.At(0, y - 1)];
    float* Ar = &P.S[P.At(0, y)];
    for (int32_t x = 0; x < W; ++x) Ar[x] = b1 * Xr[x] + b * Ap[x];
  }
  for (int32_t x = 0; x < W; ++x) T[P.At(x, H - 1)] = b2 * P.In[P.At(x, H - 1)];
  for (int32_t y = H - 2; y >= 0; --y) {
    const float* Xr = &P.In[P.At(0, y)];
    const float* Bn = &T[P.At(0, y + 1)];
    float* Br = &T[P.At(0, y)];
    for (int32_t x = 0; x < W; ++x) Br[x] = b2 * Xr[x] + b * Bn[x];
  }
  // Output y[r] = A[r] + B[r + 1]; the last row keeps A alone.
  for (int32_t y = 0; y < H - 1; ++y) {
    const float* Bn = &T[P.At(0, y + 1)];
    float* Sr = &P.S[P.At(0, y)];
    for (int32_t x = 0; x < W; ++x) Sr[x] += Bn[x];
  }
  T.Free();
  // Horizontal, on the vertical output.
  std::vector<float> Ah(static_cast<size_t>(W)), Bh(static_cast<size_t>(W));
  for (int32_t y = 0; y < H; ++y) {
    float* Sr = &P.S[P.At(0, y)];
    Ah[0] = b1 * Sr[0];
    for (int32_t x = 1; x < W; ++x) Ah[x] = b1 * Sr[x] + b * Ah[x - 1];
    Bh[W - 1] = b2 * Sr[W - 1];
    for (int32_t x = W - 2; x >= 0; --x) Bh[x] = b2 * Sr[x] + b * Bh[x + 1];
    for (int32_t x = 0; x < W - 1; ++x) Sr[x] = Ah[x] + Bh[x + 1];
    Sr[W - 1] = Ah[W - 1];
  }
}

// Whether the pixel is a zero crossing of the Laplacian with the right slope;
// the first neighbour on the other side decides.
bool IsCandidate(const TPlanes& P, int32_t x, int32_t y) {
  const auto L = [&](int32_t X, int32_t Y) { return P.L[P.At(X, Y)]; };
  const auto S = [&](int32_t X, int32_t Y) { return P.S[P.At(X, Y)]; };
  if (L(x, y + 1) == 0) return S(x, y + 1) - S(x, y - 1) > 0;
  if (L(x + 1, y) == 0) return S(x + 1, y) - S(x - 1, y) > 0;
  if (L(x, y - 1) == 0) return S(x, y + 1) - S(x, y - 1) < 0;
  if (L(x - 1, y) == 0) return S(x + 1, y) - S(x - 1, y) < 0;
  return false;
}

// Window sums of the smoothed plane, of the smoothed plane where the
// Laplacian is positive, and of the positive pixels, kept per column over the
// window's rows as the window moves down, with prefix sums along the row: each
// adaptive gradient costs the same whatever the window.
class TWindowSums {
 public:
  TWindowSums(const TPlanes& P, int32_t Half)
      : FP(P), FHalf(Half), FAll(size_t(P.W), 0), FPos(size_t(P.W), 0), FCount(size_t(P.W), 0),
        FPreAll(size_t(P.W) + 1, 0), FPrePos(size_t(P.W) + 1, 0), FPreCount(size_t(P.W) + 1, 0) {}
  // Moves the window's rows to Y - Half .. Y + Half (clipped); rows advance
  // one at a time from the first call.
  void MoveTo(int32_t Y) {
    const int32_t Top = std::max(0, Y - FHalf), Bottom = std::min(FP.H - 1, Y + FHalf);
    if (FTop < 0 || Top > FBottom) {
      // First use, or a jump past the old window: start afresh.
      std::fill(FAll.begin(), FAll.end(), 0);
      std::fill(FPos.begin(), FPos.end(), 0);
      std::fill(FCount.begin(), FCount.end(), 0);
      for (int32_t y = Top; y <= Bottom; ++y) AddRow(y, 1);
    } else {
      for (int32_t y = FTop; y < Top; ++y) AddRow(y, -1);
      for (int32_t y = FBottom + 1; y <= Bottom; ++y) AddRow(y, 1);
    }
    FTop = Top;
    FBottom = Bottom;
    for (int32_t x = 0; x < FP.W; ++x) {
      FPreAll[x + 1] = FPreAll[x] + FAll[x];
      FPrePos[x + 1] = FPrePos[x] + FPos[x];
      FPreCount[x + 1] = FPreCount[x] + FCount[x];
    }
  }
  // Mean of S outside minus mean inside the positive region, over the window
  // centred on column X.
  float Gradient(int32_t X) const {
    const int32_t X1 = std::max(0, X - FHalf), X2 = std::min(FP.W - 1, X + FHalf);
    const double Sum1 = FPrePos[X2 + 1] - FPrePos[X1];
    const double Sum0 = FPreAll[X2 + 1] - FPreAll[X1] - Sum1;
    const int64_t N1 = FPreCount[X2 + 1] - FPreCount[X1];
    const int64_t N0 = int64_t(X2 - X1 + 1) * (FBottom - FTop + 1) - N1;
    const double M0 = (N0 > 0 && Sum0 != 0) ? Sum0 / double(N0) : 0.0;
    const double M1 = (N1 > 0 && Sum1 != 0) ? Sum1 / double(N1) : 0.0;
    return float(M0 - M1);
  }

 private:
  void AddRow(int32_t y, int32_t Sign) {
    const float* Sr = &FP.S[FP.At(0, y)];
    const uint8_t* Lr = &FP.L[FP.At(0, y)];
    for (int32_t x = 0; x < FP.W; ++x) {
      FAll[x] += Sign * double(Sr[x]);
      if (Lr[x]) {
        FPos[x] += Sign * double(Sr[x]);
        FCount[x] += Sign;
      }
    }
  }
  const TPlanes& FP;
  int32_t FHalf;
  int32_t FTop = -1, FBottom = -1;
  std::vector<double> FAll, FPos;
  std::vector<int64_t> FCount;
  std::vector<double> FPreAll, FPrePos;
  std::vector<int64_t> FPreCount;
};

// The high threshold: the gradient level below which Ratio of the padded
// plane's pixels lie, read from a 256-bin histogram.
double HighThreshold(const TPlanes& P, double Ratio) {
  const TFloats& G = P.In;
  double vmin = std::fabs(G[P.At(20, 20)]), vmax = vmin;
  for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y)
    for (int32_t x = IEShenCastanBorder; x < P.W - IEShenCastanBorder; ++x) {
      const double v = G[P.At(x, y)];
      if (v < vmin)
        vmin = v;
      else if (v > vmax)
        vmax = v;
    }
  const double Scale = 256.0 / (vmax - vmin + 1);
  int64_t Hist[256] = {};
  for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y)
    for (int32_t x = IEShenCastanBorder; x < P.W - IEShenCastanBorder; ++x) {
      const int64_t Bin = int64_t((G[P.At(x, y)] - vmin) * Scale);
      ++Hist[std::clamp<int64_t>(Bin, 0, 255)];
    }
  const int64_t Limit = int64_t(double(P.H) * Ratio * double(P.W));
  int32_t k = 255;
  int64_t Count = Hist[255];
  while (Count < Limit) {
    --k;
    if (k < 0) break;
    Count += Hist[k];
  }
  return k / Scale + vmin;
}

// Hysteresis: from every pixel above High, floods the 8-connected pixels whose
// gradient is above Low, depth first on an explicit stack.  With ThinFactor,
// a chain pixel that has a successor keeps its mark only every ThinFactor-th
// step of depth.
void MarkEdges(TPlanes& P, double High, double Low, int32_t ThinFactor) {
  static constexpr int32_t DX[8] = {1, -1, 1, 0, -1, -1, 0, 1};
  static constexpr int32_t DY[8] = {0, 0, 1, 1, 1, -1, -1, -1};
  const TFloats& G = P.In;
  P.E.assign(size_t(P.W) * P.H, 0);
  struct TFrame {
    int32_t X, Y, Depth;
    int8_t Next;
    bool Any;
  };
  std::vector<TFrame> Stack;
  const auto Accept = [&](int32_t X, int32_t Y) {
    if (X < 0 || Y < 0 || X >= P.W || Y >= P.H) return false;
    const size_t I = P.At(X, Y);
    return P.E[I] == 0 && G[I] != 0 && G[I] > Low;
  };
  for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y)
    for (int32_t x = IEShenCastanBorder; x < P.W - IEShenCastanBorder; ++x) {
      if (!(G[P.At(x, y)] > High) || !Accept(x, y)) continue;
      P.E[P.At(x, y)] = 1;
      Stack.push_back({x, y, 0, 0, false});
      while (!Stack.empty()) {
        TFrame& F = Stack.back();
        if (F.Next < 8) {
          const int32_t NX = F.X + DX[F.Next], NY = F.Y + DY[F.Next];
          const int32_t Depth = F.Depth + 1;
          ++F.Next;
          if (Accept(NX, NY)) {
            F.Any = true;
            P.E[P.At(NX, NY)] = 1;
            Stack.push_back({NX, NY, Depth, 0, false});
          }
          continue;
        }
        if (F.Any && F.Depth > 0 && ThinFactor > 0 && F.Depth % ThinFactor != 0) P.E[P.At(F.X, F.Y)] = 255;
        Stack.pop_back();
      }
    }
  for (uint8_t& e : P.E)
    if (e == 255) e = 0;
}

}  // namespace

bool IEShenCastanEdges(TIEBitmap* Src, TIEBitmap* Dst, int32_t WindowSize, double Ratio, double Smoothing,
                       int32_t ThinFactor, bool Hysteresis, TIEProgressRec& Progress) {
  if (!Src || !Dst || Src->GetPixelFormat() != ie24RGB) return false;
  const int32_t W = Src->GetWidth(), H = Src->GetHeight();
  if (W < 1 || H < 1 || !(Smoothing > 0 && Smoothing < 1) || !std::isfinite(Ratio)) return false;
  if (WindowSize < 1) WindowSize = 1;
  try {
    TPlanes P;
    P.W = W + 2 * kPad;
    P.H = H + 2 * kPad;
    // Gray of the image, wrapped around on every side.
    std::vector<uint8_t> Gray(size_t(W) * H);
    for (int32_t y = 0; y < H; ++y) {
      const TRGB* Row = reinterpret_cast<const TRGB*>(Src->GetScanline(y));
      for (int32_t x = 0; x < W; ++x) Gray[size_t(y) * W + x] = uint8_t(IERGBToGray(Row[x]));
    }
    P.In.Reset(size_t(P.W) * P.H);
    std::vector<int32_t> ColOf(static_cast<size_t>(P.W));
    for (int32_t X = 0; X < P.W; ++X) ColOf[X] = ((X - kPad) % W + W) % W;
    for (int32_t Y = 0; Y < P.H; ++Y) {
      const uint8_t* G = &Gray[size_t(((Y - kPad) % H + H) % H) * W];
      float* R = &P.In[P.At(0, Y)];
      for (int32_t X = 0; X < P.W; ++X) R[X] = float(G[ColOf[X]]);
    }
    Report(Progress, 1);
    Smooth(P, float(Smoothing));
    Report(Progress, 2);
    P.L.assign(size_t(P.W) * P.H, 0);
    for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y)
      for (int32_t x = IEShenCastanBorder; x < P.W - IEShenCastanBorder; ++x)
        P.L[P.At(x, y)] = P.S[P.At(x, y)] - P.In[P.At(x, y)] > 0 ? 1 : 0;
    Report(Progress, 3);
    // The input plane becomes the gradient plane.
    std::fill(P.In.begin(), P.In.end(), 0.0f);
    const int32_t Half = WindowSize / 2;
    TWindowSums Sums(P, Half);
    for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y) {
      bool Moved = false;
      for (int32_t x = IEShenCastanBorder; x < P.W - IEShenCastanBorder; ++x) {
        if (!P.L[P.At(x, y)] || !IsCandidate(P, x, y)) continue;
        if (!Moved) {
          Sums.MoveTo(y);
          Moved = true;
        }
        P.In[P.At(x, y)] = Sums.Gradient(x);
      }
    }
    Report(Progress, 4);
    P.S.Free();
    std::vector<uint8_t>().swap(P.L);
    const double High = HighThreshold(P, Ratio);
    const double Low = Hysteresis ? High / 2 : High;
    MarkEdges(P, High, Low, ThinFactor);
    Report(Progress, 5);
    Report(Progress, 6);
    if (!Dst->Allocate(W, H, ie1g)) return false;
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = Dst->GetScanline(y);
      std::memset(Row, 0xFF, size_t((W + 7) / 8));
      if (y == H - 1) continue;
      const uint8_t* E = &P.E[P.At(kPad, y + kPad)];
      for (int32_t x = 1; x < W; ++x)
        if (E[x] == 1) Row[x >> 3] &= uint8_t(~(0x80u >> (x & 7)));
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
