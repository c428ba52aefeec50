#include "kernels/shear_rotate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/exact_turns.h"
#include "kernels/row_bands.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// A tightly packed copy of an image: W x H pixels of C bytes (or 1-bit rows
// of (W + 7) / 8 bytes when Bits is 1).  Planes that every pass writes whole
// are not cleared first.
struct TPlane {
  int32_t W = 0, H = 0;
  size_t Stride = 0;
  std::unique_ptr<uint8_t[]> D;
  uint8_t* Row(int32_t y) { return D.get() + size_t(y) * Stride; }
  const uint8_t* Row(int32_t y) const { return D.get() + size_t(y) * Stride; }
};

size_t RowBytes(int32_t W, int32_t Bits) { return (size_t(W) * size_t(Bits) + 7) / 8; }

TPlane MakePlane(int32_t W, int32_t H, int32_t Bits, bool Clear = true) {
  TPlane P;
  P.W = W;
  P.H = H;
  P.Stride = RowBytes(W, Bits);
  const size_t N = P.Stride * size_t(H);
  P.D = Clear ? std::make_unique<uint8_t[]>(N) : std::unique_ptr<uint8_t[]>(new uint8_t[N]);
  return P;
}

TPlane LoadPlane(TIEBitmap* B) {
  TPlane P = MakePlane(B->GetWidth(), B->GetHeight(), B->GetBitCount(), false);
  for (int32_t y = 0; y < P.H; ++y) std::memcpy(P.Row(y), B->GetScanline(y), P.Stride);
  return P;
}

// Replaces the pixels of B by the plane, keeping format and palette (the
// caller keeps the alpha plane apart).
void StorePlane(TIEBitmap* B, const TPlane& P) {
  const TIEPixelFormat F = B->GetPixelFormat();
  std::vector<TRGB> Pal;
  for (int32_t i = 0; i < B->GetPaletteLen(); ++i) Pal.push_back(B->GetPaletteColor(i));
  if (!B->Allocate(P.W, P.H, F)) return;
  for (int32_t i = 0; i < int32_t(Pal.size()) && i < B->GetPaletteLen(); ++i)
    B->SetPaletteColor(i, Pal[size_t(i)]);
  for (int32_t y = 0; y < P.H; ++y) std::memcpy(B->GetScanline(y), P.Row(y), P.Stride);
}

inline bool GetBit(const uint8_t* Row, int32_t X) { return (Row[X >> 3] >> (7 - (X & 7))) & 1; }
inline void SetBit(uint8_t* Row, int32_t X) { Row[X >> 3] |= uint8_t(0x80u >> (X & 7)); }

template <int C>
inline void FillPixels(uint8_t* Dst, int32_t Count, const uint8_t* Bg) {
  if (C == 1) {
    std::memset(Dst, Bg[0], size_t(Count));
    return;
  }
  for (int32_t i = 0; i < Count; ++i) std::memcpy(Dst + size_t(i) * C, Bg, C);
}

// (P x A + Q x B) / 4096 rounded, A + B = 4096, both in 0..4096.
inline uint8_t Blend(uint32_t P, uint32_t Q, uint32_t A, uint32_t B) {
  return uint8_t((P * A + Q * B + 2048) >> 12);
}

// One sheared row: Src's N pixels land at Shift .. Shift + N - 1 of Dst's
// Len pixels; with blending, position Shift + k holds A parts of pixel k - 1
// (the background before the first) and B parts of pixel k, and the
// position after the last takes A parts of the last pixel over the
// background.  Everything else is background.
template <int C>
void ShearRow(const uint8_t* Src, int32_t N, uint8_t* Dst, int32_t Len, int32_t Shift, uint32_t A, bool AA,
              const uint8_t* Bg) {
  FillPixels<C>(Dst, Len, Bg);
  const uint32_t B = 4096 - A;
  const int32_t k0 = std::max(0, -Shift), k1 = std::min(N, Len - Shift);  // pixels inside
  if (!AA) {
    if (k1 > k0) std::memcpy(Dst + size_t(Shift + k0) * C, Src + size_t(k0) * C, size_t(k1 - k0) * C);
    return;
  }
  for (int32_t k = k0; k < k1; ++k) {
    uint8_t* D = Dst + size_t(Shift + k) * C;
    const uint8_t* Q = Src + size_t(k) * C;
    const uint8_t* P = k > 0 ? Q - C : Bg;
    for (int32_t c = 0; c < C; ++c) D[c] = Blend(P[c], Q[c], A, B);
  }
  const int32_t Tail = Shift + N;
  if (A > 0 && N > 0 && Tail >= 0 && Tail < Len) {
    uint8_t* D = Dst + size_t(Tail) * C;
    const uint8_t* P = Src + size_t(N - 1) * C;
    for (int32_t c = 0; c < C; ++c) D[c] = Blend(P[c], Bg[c], A, B);
  }
}

// Whole part (toward minus infinity) and 12-bit fraction of an offset.
inline void Split(double V, int32_t& Whole, uint32_t& Frac, bool TruncFrac) {
  const double F = std::floor(V);
  Whole = int32_t(F);
  const double R = (V - F) * 4096;
  int32_t A = TruncFrac ? int32_t(R) : IERound(R);
  Frac = uint32_t(std::clamp(A, 0, 4096));
}

// Palette of an ie8p bitmap, kept across a reallocation.
struct TPaletteKeeper {
  std::vector<TRGB> Pal;
  explicit TPaletteKeeper(TIEBitmap* B) {
    for (int32_t i = 0; i < B->GetPaletteLen(); ++i) Pal.push_back(B->GetPaletteColor(i));
  }
  void Restore(TIEBitmap* B) const {
    for (int32_t i = 0; i < int32_t(Pal.size()) && i < B->GetPaletteLen(); ++i)
      B->SetPaletteColor(i, Pal[size_t(i)]);
  }
};

template <int C>
void ShearRotate(TIEBitmap* Bitmap, bool AA, const uint8_t* Bg, const TIEProgressEvent& OnProgress,
                 TObject* Sender, double Angle, int32_t ThreadCount) {
  if (Angle == 0 || !std::isfinite(Angle) || std::fabs(Angle) > 2e6) return;
  // Thousandths of a degree, remainder with the dividend's sign.
  double g = double(Trunc64((long double)Angle * 1000) % 360000) / 1000;
  // Whole quarter turns are exact and go first; the shears do what is left
  // (at most 45 degrees either way).
  int32_t Turn = 0;
  while (g > 45 || g < -45) {
    Turn += g > 45 ? 90 : 270;
    g += g > 45 ? -90 : 90;
  }
  Turn %= 360;
  TIEBitmap Turned;
  TIEBitmap* Source = Bitmap;
  if (Turn != 0) {
    Turned.SetMemoryThreshold(Bitmap->GetMemoryThreshold());
    if (!IETurnExact(Bitmap, &Turned, Turn)) return;
    if (g == 0) {
      IETakeTurnedPixels(Bitmap, &Turned);
      return;
    }
    Source = &Turned;
  }
  if (g == 0) return;
  // Rows of a bitmap in memory stay where they are, so the passes read and
  // write them directly and run in bands on every core; a bitmap in a
  // temporary file goes through a plane and one worker.
  const bool InMemory = Bitmap->GetLocation() != ieFile;
  const int32_t Workers = InMemory ? IEBandWorkerCount(nullptr, ThreadCount) : 1;
  const bool FromPlane = Source->GetLocation() == ieFile;
  TPlane P;
  if (FromPlane) P = LoadPlane(Source);
  const int32_t W = Source->GetWidth(), H = Source->GetHeight();
  std::vector<const uint8_t*> Src(static_cast<size_t>(H));
  for (int32_t y = 0; y < H; ++y) Src[size_t(y)] = FromPlane ? P.Row(y) : Source->GetScanline(y);

  const double q = g * Pi / 180;
  const double T = std::fabs(std::sin(q / 2) / std::cos(q / 2)), S = std::fabs(std::sin(q));
  const int32_t m = IERound(H * T + W + 1);
  const int32_t h = IERound((m - W) * S);
  const int32_t Full = IERound(S * m + H + 1);
  const int32_t o = Full - 2 * h;
  const int32_t t = IERound(T * (Full - H - h));
  const int32_t Wf = IERound(T * o + m + 1 - 2 * t);
  if (m < 1 || o < 1 || Wf < 1) return;
  const double Per = 100.0 / (double(H) + m + o);
  // Band 0 publishes the overall progress of the pass it is in; the calling
  // thread reports it.
  const std::function<void(int32_t)> Report =
      OnProgress ? std::function<void(int32_t)>([&](int32_t V) { OnProgress(Sender, V); }) : nullptr;
  auto Publish = [&](const std::function<void(int32_t)>& Pub, double Before, int32_t Done, int32_t Count,
                     int32_t Rows) {
    if (OnProgress) Pub(int32_t((Before + double(Done) * Rows / Count) * Per));
  };

  // First shear, horizontal: W x H into m x H.
  TPlane B1 = MakePlane(m, H, C * 8, false);
  IERunRowBands(
      H, Workers,
      [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Pub) {
        for (int32_t D = Start; D < Start + Count; ++D) {
          int32_t n;
          uint32_t A;
          Split(q > 0 ? T * D : T * (H - D), n, A, true);
          ShearRow<C>(Src[size_t(D)], W, B1.Row(D), m, n, A, AA, Bg);
          if (Start == 0) Publish(Pub, 0, D - Start + 1, Count, H);
        }
      },
      Report);
  Src.clear();
  P = TPlane();
  Turned.FreeImage();
  // Second shear, vertical: m x H into m x o, written row by row; column E
  // moves down by Shift[E] rows plus the fraction Frac[E].
  std::vector<int32_t> Shift(static_cast<size_t>(m));
  std::vector<uint32_t> Frac(static_cast<size_t>(m));
  for (int32_t E = 0; E < m; ++E) {
    int32_t I;
    Split(q > 0 ? S * (m - E) : S * E, I, Frac[size_t(E)], false);
    Shift[size_t(E)] = I - h;
  }
  TPlane B2 = MakePlane(m, o, C * 8, false);
  IERunRowBands(
      o, Workers,
      [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Pub) {
        for (int32_t Row = Start; Row < Start + Count; ++Row) {
          uint8_t* Dst = B2.Row(Row);
          for (int32_t E = 0; E < m; ++E) {
            uint8_t* Out = Dst + size_t(E) * C;
            const int32_t L = Row - Shift[size_t(E)];
            const uint32_t A = Frac[size_t(E)];
            if (!AA) {
              std::memcpy(Out, L >= 0 && L < H ? B1.Row(L) + size_t(E) * C : Bg, C);
              continue;
            }
            if (L < 0 || L > H || (L == H && A == 0)) {
              std::memcpy(Out, Bg, C);
              continue;
            }
            const uint8_t* Q = L < H ? B1.Row(L) + size_t(E) * C : Bg;
            const uint8_t* Pr = L > 0 ? B1.Row(L - 1) + size_t(E) * C : Bg;
            for (int32_t c = 0; c < C; ++c) Out[c] = Blend(Pr[c], Q[c], A, 4096 - A);
          }
          if (Start == 0) Publish(Pub, H, Row - Start + 1, Count, m);
        }
      },
      Report);
  B1 = TPlane();
  // Third shear, horizontal: m x o into the bitmap, now Wf x o.
  const TPaletteKeeper Palette(Bitmap);
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  if (!Bitmap->Allocate(Wf, o, F)) return;
  Palette.Restore(Bitmap);
  TPlane Out;
  if (!InMemory) Out = MakePlane(Wf, o, C * 8, false);
  std::vector<uint8_t*> Dst(static_cast<size_t>(o));
  for (int32_t R = 0; R < o; ++R) Dst[size_t(R)] = InMemory ? Bitmap->GetScanline(R) : Out.Row(R);
  IERunRowBands(
      o, Workers,
      [&](int32_t, int32_t Start, int32_t Count, const std::function<void(int32_t)>& Pub) {
        for (int32_t R = Start; R < Start + Count; ++R) {
          int32_t K;
          uint32_t A;
          Split(q > 0 ? T * R : T * (o - R), K, A, false);
          ShearRow<C>(B2.Row(R), m, Dst[size_t(R)], Wf, K - t, A, AA, Bg);
          if (Start == 0) Publish(Pub, double(H) + m, R - Start + 1, Count, o);
        }
      },
      Report);
  if (!InMemory)
    for (int32_t R = 0; R < o; ++R) std::memcpy(Bitmap->GetScanline(R), Out.Row(R), Out.Stride);
}

// Nearest-pixel rotation of 1-bit (Bits 1) or one-byte (Bits 8) images.
void NearestRotate(TIEBitmap* Bitmap, int32_t Bits, uint8_t Fill, const TIEProgressEvent& OnProgress,
                   TObject* Sender, double Angle) {
  if (!std::isfinite(Angle)) return;
  if (IEIsMultipleOf90(Angle)) {
    const int32_t Turn = IEExactTurnOf(Angle);
    if (Turn == 0) return;
    TIEBitmap Turned;
    Turned.SetMemoryThreshold(Bitmap->GetMemoryThreshold());
    if (IETurnExact(Bitmap, &Turned, Turn)) IETakeTurnedPixels(Bitmap, &Turned);
    return;
  }
  TPlane S = LoadPlane(Bitmap);
  const int32_t W = S.W, H = S.H;
  const double r = -Angle / 57.295779513082320877;
  const double cs = std::cos(r), sn = std::sin(r);
  const int32_t Wr = std::max(1, IERound(std::fabs(W * cs) + std::fabs(H * sn)));
  const int32_t Hr = std::max(1, IERound(std::fabs(sn * W) + std::fabs(cs * H)));
  TPlane D = MakePlane(Wr, Hr, Bits);
  const double cx = W / 2.0 - 0.5, cy = H / 2.0 - 0.5, dcx = Wr / 2.0 - 0.5, dcy = Hr / 2.0 - 0.5;
  // Per-column terms, computed once.
  std::vector<double> Cu(static_cast<size_t>(Wr)), Su(static_cast<size_t>(Wr));
  for (int32_t k = 0; k < Wr; ++k) {
    Cu[size_t(k)] = cs * (k - dcx);
    Su[size_t(k)] = -sn * (k - dcx);
  }
  for (int32_t v = 0; v < Hr; ++v) {
    const double w = v - dcy;
    // The nearest source pixel: the centre of each turned pixel rounds to
    // the pixel it falls in, so the last column and row are kept.
    const double Bx = cx + sn * w + 0.5, By = cy + cs * w + 0.5;
    uint8_t* Dst = D.Row(v);
    for (int32_t k = 0; k < Wr; ++k) {
      const double fx = std::floor(Bx + Cu[size_t(k)]), fy = std::floor(By + Su[size_t(k)]);
      const bool Inside = fx >= 0 && fy >= 0 && fx < W && fy < H;
      if (Bits == 1) {
        if (Inside ? GetBit(S.Row(int32_t(fy)), int32_t(fx)) : Fill != 0) SetBit(Dst, k);
      } else {
        Dst[k] = Inside ? S.Row(int32_t(fy))[int32_t(fx)] : Fill;
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(v) * 100 / Hr));
  }
  StorePlane(Bitmap, D);
}

void QuarterInto(TIEBitmap* Source, TIEBitmap* Dest, int32_t Bytes, bool Clockwise) {
  if (!Source || !Dest || Source == Dest || Source->IsEmpty() || Source->GetBitCount() != Bytes * 8) return;
  IETurnExact(Source, Dest, Clockwise ? 270 : 90);
}

}  // namespace

bool IEIsMultipleOf90(double Angle) {
  if (!std::isfinite(Angle) || Angle != std::trunc(Angle) || std::fabs(Angle) > 9e15) return false;
  return int64_t(Angle) % 90 == 0;
}

void IERotateShear(TIEBitmap* Bitmap, bool Antialias, const TIEProgressEvent& OnProgress, TObject* Sender,
                   const TRGB& Background, double Angle, int32_t ThreadCount) {
  if (!Bitmap || Bitmap->IsEmpty()) return;
  if (Bitmap->GetPixelFormat() != ie24RGB) {
    if (Bitmap->GetPixelFormat() == ie1g)
      IERotate1Bit(Bitmap, Background.r && Background.g && Background.b, OnProgress, Sender, Angle);
    return;
  }
  const uint8_t Bg[3] = {Background.b, Background.g, Background.r};
  ShearRotate<3>(Bitmap, Antialias, Bg, OnProgress, Sender, Angle, ThreadCount);
}

void IERotateShear8(TIEBitmap* Bitmap, bool Antialias, uint8_t Fill, const TIEProgressEvent& OnProgress,
                    TObject* Sender, double Angle, int32_t ThreadCount) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetBitCount() != 8) return;
  ShearRotate<1>(Bitmap, Antialias, &Fill, OnProgress, Sender, Angle, ThreadCount);
}

void IERotate1Bit(TIEBitmap* Bitmap, bool FillWhite, const TIEProgressEvent& OnProgress, TObject* Sender,
                  double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetPixelFormat() != ie1g) return;
  NearestRotate(Bitmap, 1, FillWhite ? 1 : 0, OnProgress, Sender, Angle);
}

void IERotate8Bit(TIEBitmap* Bitmap, uint8_t Fill, double Angle) {
  if (!Bitmap || Bitmap->IsEmpty() || Bitmap->GetBitCount() != 8) return;
  NearestRotate(Bitmap, 8, Fill, nullptr, nullptr, Angle);
}

void IERotate90CW24(TIEBitmap* Source, TIEBitmap* Dest) { QuarterInto(Source, Dest, 3, true); }
void IERotate90CCW24(TIEBitmap* Source, TIEBitmap* Dest) { QuarterInto(Source, Dest, 3, false); }
void IERotate90CW8(TIEBitmap* Source, TIEBitmap* Dest) { QuarterInto(Source, Dest, 1, true); }
void IERotate90CCW8(TIEBitmap* Source, TIEBitmap* Dest) { QuarterInto(Source, Dest, 1, false); }
