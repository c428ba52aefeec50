#include "kernels/distortion.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/kernel_progress.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr double Pi = 3.14159265358979323846;

// The light: brightest at the centre (128, 128), falling off to 0 at a
// distance of 128.
std::vector<uint8_t> LightMap() {
  std::vector<uint8_t> M(256 * 256);
  for (int32_t i = 0; i < 256; ++i)
    for (int32_t j = 0; j < 256; ++j) {
      const double di = (i - 128) / 128.0, dj = (j - 128) / 128.0;
      double v = 1 - std::sqrt(di * di + dj * dj);
      if (v < 0) v = 0;
      M[size_t(i) * 256 + j] = uint8_t(int32_t(v * 256) % 256);
    }
  M[128 * 256 + 128] = uint8_t((M[129 * 256 + 129] + M[127 * 256 + 127]) / 2);
  return M;
}

}  // namespace

void IEBumpMap(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t LightX,
               int32_t LightY, int32_t LightWidth, int32_t LightHeight, const TRGB& LightColor, int32_t Mix,
               const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || LightWidth == 0 || LightHeight == 0) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  X2 = IEMinInt(X2, W);
  Y2 = IEMinInt(Y2, H);
  X1 = IEMaxInt(X1, 0);
  Y1 = IEMaxInt(Y1, 0);
  if (X1 >= X2 || Y1 >= Y2) return;
  const std::vector<uint8_t> Map = LightMap();
  // Gray levels of the rectangle, indexed from its corner.
  const int32_t RW = X2 - X1, RH = Y2 - Y1;
  std::vector<uint8_t> Gray(size_t(RW) * RH);
  for (int32_t y = Y1; y < Y2; ++y) {
    const TRGB* P = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(y));
    for (int32_t x = X1; x < X2; ++x)
      Gray[size_t(y - Y1) * RW + (x - X1)] = uint8_t(IEClampByte(IERGBToGray(P[x])));
  }
  auto G = [&](int32_t x, int32_t y) { return int32_t(Gray[size_t(y - Y1) * RW + (x - X1)]); };
  const TIERowProgress Progress(OnProgress, Sender, Y1, Y2);
  for (int32_t y = Y1; y < Y2; ++y) {
    TRGB* P = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    const int32_t ly = Trunc((y - double(LightY)) / LightHeight * 128);
    for (int32_t x = X1; x < X2; ++x) {
      const int32_t gx = G(IEMinInt(x + 1, X2 - 1), y) - G(IEMaxInt(x - 1, X1), y);
      const int32_t gy = G(x, IEMinInt(y + 1, Y2 - 1)) - G(x, IEMaxInt(y - 1, Y1));
      const int32_t lx = Trunc((x - double(LightX)) / LightWidth * 128);
      const int32_t i = IEClampByte(gx - lx + 128), j = IEClampByte(gy - ly + 128);
      const double L = Map[size_t(i) * 256 + j] * (100.0 - Mix) / 100;
      P[x].r = uint8_t(IEClampByte(IERound(P[x].r * Mix / 100.0 + L * LightColor.r / 255)));
      P[x].g = uint8_t(IEClampByte(IERound(P[x].g * Mix / 100.0 + L * LightColor.g / 255)));
      P[x].b = uint8_t(IEClampByte(IERound(P[x].b * Mix / 100.0 + L * LightColor.b / 255)));
    }
    Progress.Row(y);
  }
}

void IELensRefract(double X, double Y, double B, double A, double N, double& XOut, double& YOut) {
  XOut = X;
  YOut = Y;
  const double r = IEMinDouble(B, A);
  const double zz = (1 - X * X / (B * B) - Y * Y / (A * A)) * r * r;
  if (!(zz > 0) || N == 0) return;
  const double z = N < 0 ? -std::sqrt(zz) : std::sqrt(zz);
  auto Axis = [&](double V) {
    const double Theta = Pi / 2 - double(IEArcCos(V / std::sqrt(V * V + z * z)));
    const double Rho = double(IEArcSin(std::sin(Theta) / std::fabs(N)));
    const double Out = V - z * double(IETan(Theta - Rho));
    return std::isfinite(Out) ? Out : V;
  };
  XOut = Axis(X);
  YOut = Axis(Y);
}

void IELens(TIEBitmap* Bitmap, int32_t CentreX, int32_t CentreY, int32_t Width, int32_t Height,
            double Refraction, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty() || !(std::fabs(Refraction) >= 1))
    return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const int32_t HW = Width / 2, HH = Height / 2;
  const int32_t X1 = IEClampInt(CentreX - HW, 0, W - 1), X2 = IEClampInt(CentreX + HW, 0, W - 1);
  const int32_t Y1 = IEClampInt(CentreY - HH, 0, H - 1), Y2 = IEClampInt(CentreY + HH, 0, H - 1);
  const int32_t w = X2 - X1, h = Y2 - Y1;
  if (w <= 0 || h <= 0) return;
  const double a = h / 2.0, b = w / 2.0;
  TIEBitmap Copy;
  Copy.Assign(Bitmap);
  for (int32_t i = 0; i < w; ++i) {
    const double X = i - b + 0.5;
    for (int32_t j = 0; j < h; ++j) {
      const double Y = -(j - a) - 0.5;
      if (a * a - a * a * X * X / (b * b) > Y * Y) {
        double XR, YR;
        IELensRefract(X, Y, b, a, Refraction, XR, YR);
        const int32_t sx = IEClampInt(X1 + Trunc(b + XR), 0, W - 1);
        const int32_t sy = IEClampInt(Y1 + Trunc(a - YR), 0, H - 1);
        reinterpret_cast<TRGB*>(Bitmap->GetScanline(Y1 + j))[X1 + i] =
            reinterpret_cast<const TRGB*>(Copy.GetScanline(sy))[sx];
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t((i + 1) * 100 / (w + 0.5)));
  }
}

void IEWave(TIEBitmap* Bitmap, int32_t Amplitude, int32_t WaveLength, int32_t Phase, bool Reflective,
            TIEProgressRec* Progress) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty() || Amplitude == 0 ||
      WaveLength == 0)
    return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  TIEBitmap Src;
  Src.SetLocation(ieMemory);
  Src.Assign(Bitmap);
  TIEBitmap Dst;
  Dst.SetLocation(ieMemory);
  if (!Dst.Allocate(W, H, ie24RGB)) return;
  const double Phi = Phase * Pi / 180;
  const double cx = (W - 1) / 2.0, cy = (H - 1) / 2.0;
  double kx = 1, ky = 1;
  if (W > H)
    ky = double(W) / H;
  else if (W < H)
    kx = double(H) / W;
  // Rows counted from the bottom edge: v = H - 1 - y.
  auto Pixel = [&](int32_t ix, int32_t iv, int32_t c) -> double {
    if (ix < 0 || iv < 0 || ix >= W || iv >= H) return 0;
    return reinterpret_cast<const uint8_t*>(Src.GetScanline(H - 1 - iv))[size_t(ix) * 3 + c];
  };
  if (Progress) Progress->per1 = 100.0 / H;
  for (int32_t v = 0; v < H; ++v) {
    uint8_t* D = Dst.GetScanline(H - 1 - v);
    for (int32_t x = 0; x < W; ++x) {
      const double dx = (x - cx) * kx, dy = (v - cy) * ky;
      const double r = std::sqrt(dx * dx + dy * dy);
      const double s = std::sin(r / (2.0 * WaveLength) * 2 * Pi + Phi);
      double sx, sv;
      if (Reflective) {
        const double q = std::fabs(s) * Amplitude;
        sx = cx + dx * q / kx;
        sv = cy + dy * q / ky;
      } else {
        const double q = s * Amplitude;
        sx = x + q / kx;
        sv = v + q / ky;
      }
      auto Cell = [](double S, int32_t Limit) {
        int32_t I = int32_t(std::clamp(std::trunc(S), -2.0e9, 2.0e9));
        if (I > Limit)
          I = Limit;
        else if (I < 0)
          I = 0;
        return I;
      };
      const int32_t ix = Cell(sx, W - 2), iv = Cell(sv, H - 2);
      double fx = sx - std::trunc(sx), fv = sv - std::trunc(sv);
      if (fx < 0) fx += 1;
      if (fv < 0) fv += 1;
      for (int32_t c = 0; c < 3; ++c) {
        const double Val = (1 - fv) * ((1 - fx) * Pixel(ix, iv, c) + fx * Pixel(ix + 1, iv, c)) +
                           fv * ((1 - fx) * Pixel(ix, iv + 1, c) + fx * Pixel(ix + 1, iv + 1, c));
        D[size_t(x) * 3 + c] = uint8_t(IEClampByte(int32_t(Val)));
      }
    }
    if (Progress) Progress->Report(int32_t(int64_t(v) * 100 / H));
  }
  Bitmap->AssignImage(&Dst);
}
