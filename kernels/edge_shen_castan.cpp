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

// A plane left uninitialised: every cell is written before it is read, so no
// time goes into clearing it first.  Its memory is kept between calls (see
// TScratch), so a page measured again does not fault fresh pages in.
template <class T>
struct TPlane {
  std::unique_ptr<T[]> P;
  size_t N = 0, Capacity = 0;
  void Reset(size_t Count) {
    if (Count > Capacity) {
      P.reset();
      P.reset(new T[Count]);
      Capacity = Count;
    }
    N = Count;
  }
  void Free() {
    P.reset();
    N = Capacity = 0;
  }
  T& operator[](size_t I) { return P[I]; }
  const T& operator[](size_t I) const { return P[I]; }
  T* begin() { return P.get(); }
  T* end() { return P.get() + N; }
};
using TFloats = TPlane<float>;

struct TPlanes {
  int32_t W = 0, H = 0;  // padded size
  TFloats In;  // unsmoothed gray, later the gradient
  TFloats S;   // smoothed
  TPlane<uint8_t> L;  // band-limited Laplacian (0/1)
  TPlane<uint8_t> E;  // edge marks
  TPlane<uint8_t> Gray;  // gray of the image, unpadded
  std::vector<size_t> Cand;  // the candidates, in raster order
  std::vector<float> Row, Ah, Bh;  // one row, and eight rows' recursions
  size_t At(int32_t X, int32_t Y) const { return size_t(Y) * size_t(W) + size_t(X); }
  bool Inside(int32_t X, int32_t Y) const {
    return X >= IEShenCastanBorder && Y >= IEShenCastanBorder && X < W - IEShenCastanBorder &&
           Y < H - IEShenCastanBorder;
  }
};

// Planes of one thread kept for its next call when they are small (the
// reduced pages skew detection measures); bigger ones are freed afterwards.
constexpr size_t kKeptPixels = size_t(1) << 20;
struct TScratch {
  TPlanes Planes;
  bool Busy = false;
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
  // straight into the smoothed plane; the anticausal one runs back up in a
  // single row, adding each row's successor to the plane as it goes.
  P.S.Reset(size_t(W) * H);
  for (int32_t x = 0; x < W; ++x) P.S[x] = b1 * P.In[x];
  for (int32_t y = 1; y < H; ++y) {
    const float* Xr = &P.In[P.At(0, y)];
    const float* Ap = &P.S[P.At(0, y - 1)];
    float* Ar = &P.S[P.At(0, y)];
    for (int32_t x = 0; x < W; ++x) Ar[x] = b1 * Xr[x] + b * Ap[x];
  }
  // Output y[r] = A[r] + B[r + 1]; the last row keeps A alone.
  P.Row.resize(size_t(W));
  float* Bn = P.Row.data();
  {
    const float* Xr = &P.In[P.At(0, H - 1)];
    for (int32_t x = 0; x < W; ++x) Bn[x] = b2 * Xr[x];
  }
  for (int32_t y = H - 2; y >= 0; --y) {
    const float* Xr = &P.In[P.At(0, y)];
    float* Sr = &P.S[P.At(0, y)];
    for (int32_t x = 0; x < W; ++x) {
      Sr[x] += Bn[x];
      Bn[x] = b2 * Xr[x] + b * Bn[x];
    }
  }
  // Horizontal, on the vertical output, eight rows side by side so that the
  // eight recursions overlap (lanes past the last row work on a spare row).
  constexpr int32_t K = 8;
  P.Ah.resize(size_t(W) * K);
  P.Bh.resize(size_t(W) * K);
  float* Ah = P.Ah.data();
  float* Bh = P.Bh.data();
  for (int32_t y0 = 0; y0 < H; y0 += K) {
    float* R[K];
    for (int32_t k = 0; k < K; ++k) R[k] = y0 + k < H ? &P.S[P.At(0, y0 + k)] : Bn;
    for (int32_t k = 0; k < K; ++k) Ah[k] = b1 * R[k][0];
    for (int32_t x = 1; x < W; ++x)
      for (int32_t k = 0; k < K; ++k) Ah[x * K + k] = b1 * R[k][x] + b * Ah[(x - 1) * K + k];
    for (int32_t k = 0; k < K; ++k) Bh[(W - 1) * K + k] = b2 * R[k][W - 1];
    for (int32_t x = W - 2; x >= 0; --x)
      for (int32_t k = 0; k < K; ++k) Bh[x * K + k] = b2 * R[k][x] + b * Bh[(x + 1) * K + k];
    for (int32_t k = 0; k < K; ++k) {
      float* Sr = R[k];
      for (int32_t x = 0; x < W - 1; ++x) Sr[x] = Ah[x * K + k] + Bh[(x + 1) * K + k];
      Sr[W - 1] = Ah[(W - 1) * K + k];
    }
  }
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
    // Adding +0 where the Laplacian is not positive leaves the sum as it is
    // (it is never -0: it starts at +0 and only sums of values are added).
    const double D = Sign;
    for (int32_t x = 0; x < FP.W; ++x) {
      const double V = D * double(Sr[x]);
      FAll[x] += V;
      FPos[x] += Lr[x] ? V : 0.0;
      FCount[x] += Lr[x] ? Sign : 0;
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
  // Only candidates hold a gradient (listed in P.Cand); every other pixel
  // inside the border is 0.  Extremes in float (each is one of the plane's
  // values, so the same in double).
  const int64_t Inside = int64_t(P.H - 2 * IEShenCastanBorder) * int64_t(P.W - 2 * IEShenCastanBorder);
  float Lo = std::fabs(G[P.At(20, 20)]), Hi = Lo;
  if (Inside > int64_t(P.Cand.size())) {
    Lo = 0 < Lo ? 0.0f : Lo;
    Hi = 0 > Hi ? 0.0f : Hi;
  }
  for (const size_t I : P.Cand) {
    Lo = G[I] < Lo ? G[I] : Lo;
    Hi = G[I] > Hi ? G[I] : Hi;
  }
  const double vmin = Lo, vmax = Hi;
  const double Scale = 256.0 / (vmax - vmin + 1);
  const auto BinOf = [&](float v) { return std::clamp<int64_t>(int64_t((v - vmin) * Scale), 0, 255); };
  int64_t Hist[256] = {};
  Hist[BinOf(0.0f)] += Inside - int64_t(P.Cand.size());
  for (const size_t I : P.Cand) ++Hist[BinOf(G[I])];
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
  P.E.Reset(size_t(P.W) * P.H);
  struct TFrame {
    int32_t X, Y, Depth;
    int8_t Next;
    bool Any;
  };
  if (ThinFactor <= 0) {
    // Without thinning the marks are the 8-connected regions reached from
    // the seeds, whatever the order of the flood.  The plane first notes the
    // pixels a flood may enter (kOpen); marked ones become 1.  Gradients are
    // only ever set inside the border, so the neighbours of an open pixel all
    // lie on the plane.
    constexpr uint8_t kOpen = 3;
    // Only candidates can be open.
    uint8_t* E = P.E.begin();
    std::fill(P.E.begin(), P.E.end(), uint8_t(0));
    for (const size_t I : P.Cand) E[I] = G[I] != 0 && double(G[I]) > Low ? kOpen : 0;
    const ptrdiff_t W = P.W;
    const ptrdiff_t Step[8] = {1, -1, W + 1, W, W - 1, -W - 1, -W, -W + 1};
    // Every open pixel enters the stack at most once; each neighbour is
    // written to the top and kept there only when it was open.
    std::vector<size_t> Open(P.Cand.size() + 8);
    size_t* const Stack = Open.data();
    for (const size_t I0 : P.Cand) {
      if (E[I0] != kOpen || !(G[I0] > High)) continue;
      E[I0] = 1;
      size_t Top = 0;
      Stack[Top++] = I0;
      while (Top > 0) {
        const size_t I = Stack[--Top];
        for (const ptrdiff_t d : Step) {
          const size_t N = size_t(ptrdiff_t(I) + d);
          const bool Take = E[N] == kOpen;
          E[N] = Take ? uint8_t(1) : E[N];
          Stack[Top] = N;
          Top += Take;
        }
      }
    }
    return;
  }
  std::fill(P.E.begin(), P.E.end(), uint8_t(0));
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
  thread_local TScratch Kept;
  // A call made from within another (through a progress method) works on
  // planes of its own.
  std::unique_ptr<TScratch> Own;
  TScratch* Scratch = &Kept;
  if (Kept.Busy) {
    Own = std::make_unique<TScratch>();
    Scratch = Own.get();
  }
  struct TRelease {
    TScratch* S;
    ~TRelease() {
      S->Busy = false;
      TPlanes& P = S->Planes;
      if (P.In.Capacity > kKeptPixels || P.S.Capacity > kKeptPixels || P.L.Capacity > kKeptPixels ||
          P.E.Capacity > kKeptPixels || P.Gray.Capacity > kKeptPixels || P.Row.capacity() > kKeptPixels / 16 ||
          P.Cand.capacity() > kKeptPixels / 4) {
        P.In.Free();
        P.S.Free();
        P.L.Free();
        P.E.Free();
        P.Gray.Free();
        std::vector<float>().swap(P.Row);
        std::vector<float>().swap(P.Ah);
        std::vector<float>().swap(P.Bh);
        std::vector<size_t>().swap(P.Cand);
      }
    }
  } Release{Scratch};
  Scratch->Busy = true;
  try {
    TPlanes& P = Scratch->Planes;
    P.W = W + 2 * kPad;
    P.H = H + 2 * kPad;
    // Gray of the image, wrapped around on every side.  Gray pixels (the
    // usual input: a reduced black-and-white page) are looked up.
    P.Gray.Reset(size_t(W) * H);
    uint8_t GrayOf[256];
    for (int32_t v = 0; v < 256; ++v) {
      TRGB C;
      C.r = C.g = C.b = uint8_t(v);
      GrayOf[v] = uint8_t(IERGBToGray(C));
    }
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* Row = Src->GetScanline(y);
      uint8_t* G = &P.Gray[size_t(y) * W];
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t* Px = Row + 3 * x;
        G[x] = Px[0] == Px[1] && Px[1] == Px[2] ? GrayOf[Px[0]]
                                                : uint8_t(IERGBToGray(*reinterpret_cast<const TRGB*>(Px)));
      }
    }
    P.In.Reset(size_t(P.W) * P.H);
    std::vector<int32_t> ColOf(static_cast<size_t>(P.W));
    for (int32_t X = 0; X < P.W; ++X) ColOf[X] = ((X - kPad) % W + W) % W;
    for (int32_t Y = 0; Y < P.H; ++Y) {
      const uint8_t* G = &P.Gray[size_t(((Y - kPad) % H + H) % H) * W];
      float* R = &P.In[P.At(0, Y)];
      for (int32_t X = 0; X < P.W; ++X) R[X] = float(G[ColOf[X]]);
    }
    Report(Progress, 1);
    Smooth(P, float(Smoothing));
    Report(Progress, 2);
    P.L.Reset(size_t(P.W) * P.H);
    std::fill(P.L.begin(), P.L.end(), uint8_t(0));
    for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y)
      for (int32_t x = IEShenCastanBorder; x < P.W - IEShenCastanBorder; ++x)
        P.L[P.At(x, y)] = P.S[P.At(x, y)] - P.In[P.At(x, y)] > 0 ? 1 : 0;
    Report(Progress, 3);
    // The input plane becomes the gradient plane.
    std::fill(P.In.begin(), P.In.end(), 0.0f);
    const int32_t Half = WindowSize / 2;
    TWindowSums Sums(P, Half);
    // Candidates: zero crossings of the Laplacian with the right slope, the
    // first neighbour on the other side deciding.  Those of a row are found
    // first, without a branch per pixel (the Laplacian's sign is close to
    // noise), and listed.
    const int32_t X0 = IEShenCastanBorder, X1 = P.W - IEShenCastanBorder;
    std::vector<int32_t> Found(size_t(std::max(0, X1 - X0)));
    P.Cand.clear();
    for (int32_t y = IEShenCastanBorder; y < P.H - IEShenCastanBorder; ++y) {
      const uint8_t* L = &P.L[P.At(0, y)];
      const uint8_t* Lu = &P.L[P.At(0, y - 1)];
      const uint8_t* Ld = &P.L[P.At(0, y + 1)];
      const float* S = &P.S[P.At(0, y)];
      const float* Su = &P.S[P.At(0, y - 1)];
      const float* Sd = &P.S[P.At(0, y + 1)];
      int32_t n = 0;
      for (int32_t x = X0; x < X1; ++x) {
        const float Dv = Sd[x] - Su[x], Dh = S[x + 1] - S[x - 1];
        const bool Is = Ld[x] == 0 ? Dv > 0 : L[x + 1] == 0 ? Dh > 0 : Lu[x] == 0 ? Dv < 0 : L[x - 1] == 0 && Dh < 0;
        Found[size_t(n)] = x;
        n += L[x] != 0 && Is;
      }
      if (n == 0) continue;
      Sums.MoveTo(y);
      float* Gr = &P.In[P.At(0, y)];
      for (int32_t i = 0; i < n; ++i) {
        Gr[Found[size_t(i)]] = Sums.Gradient(Found[size_t(i)]);
        P.Cand.push_back(P.At(Found[size_t(i)], y));
      }
    }
    Report(Progress, 4);
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
      // Marks of the first column are left out.
      const uint8_t* E = &P.E[P.At(kPad, y + kPad)];
      for (int32_t x0 = 0; x0 < W; x0 += 8) {
        const int32_t n = std::min(8, W - x0);
        uint32_t Black = 0;
        for (int32_t j = 0; j < n; ++j) Black |= uint32_t(E[x0 + j] == 1) << (7 - j);
        if (x0 == 0) Black &= 0x7Fu;
        Row[x0 >> 3] = uint8_t(Row[x0 >> 3] & ~Black);
      }
    }
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}
