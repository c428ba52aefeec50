#include "kernels/gamma_blur_shadow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/rtl/sysutils.h"

namespace {

// Blurs N samples (Stride apart) in place through Tmp; ends are replicated.
void BlurLine(uint8_t* P, int32_t N, int32_t Stride, const TIEGaussKernel& K, std::vector<uint8_t>& Tmp) {
  Tmp.resize(size_t(N));
  for (int32_t i = 0; i < N; ++i) Tmp[i] = P[size_t(i) * Stride];
  const int32_t H = K.HalfWidth;
  for (int32_t x = 0; x < N; ++x) {
    int32_t Sum = 32768;
    for (int32_t d = -H; d <= H; ++d) Sum += K.At(d) * Tmp[std::clamp(x + d, 0, N - 1)];
    P[size_t(x) * Stride] = uint8_t(std::clamp(Sum >> 16, 0, 255));
  }
}

// Blur of C interleaved channels over the inclusive rectangle.
void BlurRect(TIEBitmap* B, int32_t C, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TIEGaussKernel& K,
              const TIEProgressEvent& OnProgress, TObject* Sender) {
  std::vector<uint8_t> Tmp, Col;
  const int32_t W = X2 - X1 + 1, H = Y2 - Y1 + 1;
  const double F = 100.0 / (double(W) + H);
  for (int32_t y = Y1; y <= Y2; ++y) {
    uint8_t* R = B->GetScanline(y) + size_t(X1) * C;
    for (int32_t c = 0; c < C; ++c) BlurLine(R + c, W, C, K, Tmp);
    if (OnProgress) OnProgress(Sender, int32_t((y - Y1) * F));
  }
  Col.resize(size_t(H) * C);
  for (int32_t x = X1; x <= X2; ++x) {
    for (int32_t y = Y1; y <= Y2; ++y)
      for (int32_t c = 0; c < C; ++c) Col[size_t(y - Y1) * C + c] = B->GetScanline(y)[size_t(x) * C + c];
    for (int32_t c = 0; c < C; ++c) BlurLine(Col.data() + c, H, C, K, Tmp);
    for (int32_t y = Y1; y <= Y2; ++y)
      for (int32_t c = 0; c < C; ++c) B->GetScanline(y)[size_t(x) * C + c] = Col[size_t(y - Y1) * C + c];
    if (OnProgress) OnProgress(Sender, int32_t((H + x - X1) * F));
  }
}

// The 3 x 3 box smoothing ("Blur" preset: all ones, divisor 9) of an 8-bit
// plane over the inclusive rectangle, neighbours clamped into it.
void Box3x3(TIEBitmap* B, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const int32_t W = X2 - X1 + 1, H = Y2 - Y1 + 1;
  std::vector<uint8_t> Copy(size_t(W) * H);
  for (int32_t y = 0; y < H; ++y)
    std::copy_n(B->GetScanline(Y1 + y) + X1, W, Copy.begin() + size_t(y) * W);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* R = B->GetScanline(Y1 + y) + X1;
    for (int32_t x = 0; x < W; ++x) {
      int32_t Sum = 0;
      for (int32_t dy = -1; dy <= 1; ++dy)
        for (int32_t dx = -1; dx <= 1; ++dx)
          Sum += Copy[size_t(std::clamp(y + dy, 0, H - 1)) * W + size_t(std::clamp(x + dx, 0, W - 1))];
      R[x] = uint8_t(Sum / 9);
    }
  }
}

int32_t ShadowMargin(int32_t OffsetX, int32_t OffsetY, double Radius) {
  return std::max(2 * std::max(std::abs(OffsetX), std::abs(OffsetY)) + int32_t(Radius * 5), 1);
}

// Puts the shadow under the picture over the inclusive rectangle: Orig is the
// unblurred alpha plane (full image), the bitmap's alpha plane the shadow.
void Composite(TIEBitmap* B, const std::vector<uint8_t>& Orig, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
               double V, TRGB Colour, bool DivideOneBit) {
  TIEBitmap* Alpha = B->GetAlphaChannel();
  const int32_t W = B->GetWidth();
  const TIEPixelFormat Fmt = B->GetPixelFormat();
  for (int32_t y = Y1; y <= Y2; ++y) {
    uint8_t* A = Alpha->GetScanline(y);
    uint8_t* P = B->GetScanline(y);
    for (int32_t x = X1; x <= X2; ++x) {
      const int32_t A0 = Orig[size_t(y) * W + x], S = A[x];
      if (Fmt == ie1g) {
        if (A0 != 0 || A0 == S) {
          A[x] = uint8_t(A0);
        } else {
          P[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
          if (V != 1 && DivideOneBit) A[x] = uint8_t(int32_t(S / V));
        }
      } else if (Fmt == ie24RGB) {
        uint8_t* Px = P + 3 * x;
        const uint8_t Col[3] = {Colour.b, Colour.g, Colour.r};
        if (A0 != 0 || A0 == S) {
          if (A0 == 255 || A0 == 0) {
            A[x] = uint8_t(A0);
          } else {
            const double T = S / 255.0, Af = A0 / 255.0;
            for (int c = 0; c < 3; ++c) {
              const int32_t Shadowed = int32_t(Col[c] * T + (1 - T) * Px[c]);
              Px[c] = uint8_t(std::clamp(int32_t(Af * Px[c] + (1 - Af) * Shadowed), 0, 255));
            }
            A[x] = uint8_t(std::clamp(int32_t((Af + T * (1 - Af)) * 255), 0, 255));
          }
        } else {
          for (int c = 0; c < 3; ++c) Px[c] = Col[c];
          if (V != 1) A[x] = uint8_t(int32_t(S / V));
        }
      }
    }
  }
}

std::vector<uint8_t> PlaneCopy(TIEBitmap* Plane) {
  const int32_t W = Plane->GetWidth(), H = Plane->GetHeight();
  std::vector<uint8_t> C(size_t(W) * H);
  for (int32_t y = 0; y < H; ++y) std::copy_n(Plane->GetScanline(y), W, C.begin() + size_t(y) * W);
  return C;
}

}  // namespace

bool IEGammaCorrect(TIEBitmap* Bitmap, double Gamma, int32_t Channels, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                    const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || !(Gamma > 0) || !std::isfinite(Gamma)) return false;
  const TIEPixelFormat Fmt = Bitmap->GetPixelFormat();
  if (Fmt != ie24RGB && Fmt != ieRGB48) return false;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (X2 < 0 || X2 > W) X2 = W;
  if (Y2 < 0 || Y2 > H) Y2 = H;
  X1 = std::clamp(X1, 0, W);
  Y1 = std::clamp(Y1, 0, H);
  const double E = 1 / Gamma;
  const bool R = Channels & iecRed, G = Channels & iecGreen, B = Channels & iecBlue;
  if (Fmt == ie24RGB) {
    uint8_t T[256];
    for (int i = 0; i < 256; ++i) T[i] = uint8_t(std::clamp(IERound(std::pow(i / 255.0, E) * 255), 0, 255));
    for (int32_t y = Y1; y < Y2; ++y) {
      uint8_t* P = Bitmap->GetScanline(y);
      for (int32_t x = X1; x < X2; ++x) {
        if (B) P[3 * x] = T[P[3 * x]];
        if (G) P[3 * x + 1] = T[P[3 * x + 1]];
        if (R) P[3 * x + 2] = T[P[3 * x + 2]];
      }
      if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / H));
    }
  } else {
    std::vector<uint16_t> T(65536);
    for (int i = 0; i < 65536; ++i) T[i] = uint16_t(std::clamp(IERound(std::pow(i / 65535.0, E) * 65535), 0, 65535));
    for (int32_t y = Y1; y < Y2; ++y) {
      TRGB48* P = reinterpret_cast<TRGB48*>(Bitmap->GetScanline(y));
      for (int32_t x = X1; x < X2; ++x) {
        if (R) P[x].r = T[P[x].r];
        if (G) P[x].g = T[P[x].g];
        if (B) P[x].b = T[P[x].b];
      }
      if (OnProgress) OnProgress(Sender, int32_t(int64_t(y) * 100 / H));
    }
  }
  return true;
}

TIEGaussKernel IEGaussKernel(double Radius) {
  TIEGaussKernel K;
  if (!(Radius > 0)) return K;
  double Q[201], S = 0;
  for (int32_t d = -100; d <= 100; ++d) {
    Q[d + 100] = std::exp(-(d / Radius) * (d / Radius) / 2);
    S += Q[d + 100];
  }
  for (int32_t i = 0; i < 201; ++i) K.Weight[i] = IERound(Q[i] * 65536 / S);
  K.HalfWidth = 100;
  while (K.HalfWidth > 1 && K.At(K.HalfWidth) == 0 && K.At(-K.HalfWidth) == 0) --K.HalfWidth;
  return K;
}

void IEBlur(TIEBitmap* Bitmap, TObject* Sender, double Radius, const TIEProgressEvent& OnProgress) {
  if (!Bitmap || !(Radius > 0) || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0) return;
  const TIEPixelFormat Fmt = Bitmap->GetPixelFormat();
  if (Fmt != ie8g && Fmt != ie24RGB) return;
  BlurRect(Bitmap, Fmt == ie8g ? 1 : 3, 0, 0, Bitmap->GetWidth() - 1, Bitmap->GetHeight() - 1, IEGaussKernel(Radius),
           OnProgress, Sender);
}

void IEBlur8Bit(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius) {
  if (!Bitmap || !(Radius > 0) || Bitmap->GetPixelFormat() != ie8g) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return;
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  X1 = std::clamp(X1, 0, W - 1);
  X2 = std::clamp(X2, 0, W - 1);
  Y1 = std::clamp(Y1, 0, H - 1);
  Y2 = std::clamp(Y2, 0, H - 1);
  BlurRect(Bitmap, 1, X1, Y1, X2, Y2, IEGaussKernel(Radius), nullptr, nullptr);
}

void IEAddSoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                     bool AdaptSize, TRGB Colour, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0 || !std::isfinite(Radius)) return;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (!Alpha) return;
  Alpha->SetFull(false);
  if (AdaptSize) {
    const int32_t G = ShadowMargin(OffsetX, OffsetY, Radius);
    Bitmap->Resize(Bitmap->GetWidth() + G, Bitmap->GetHeight() + G, 0, 0, 1, 1);
    Alpha = Bitmap->GetAlphaChannel();
  }
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const std::vector<uint8_t> Orig = PlaneCopy(Alpha);
  IEBlur(Alpha, Sender, Radius, OnProgress);
  if (OffsetX != 0 || OffsetY != 0) Alpha->MoveRect(0, 0, W - 1, H - 1, OffsetX, OffsetY, 0, true);
  Intensity = std::clamp(Intensity, 0, 100);
  const double V = 3 - 2 * Intensity / 100.0;
  Composite(Bitmap, Orig, 0, 0, W - 1, H - 1, V, Colour, true);
}

int32_t IEAddSoftShadowRect(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                            TRGB Colour, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  const int32_t M = ShadowMargin(OffsetX, OffsetY, Radius == 0 ? 2 : Radius);
  if (!Bitmap || Bitmap->GetWidth() <= 0 || Bitmap->GetHeight() <= 0 || !std::isfinite(Radius)) return M;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight(), Hm = M / 2;
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (!Alpha) return M;
  Alpha->SetFull(false);
  const std::vector<uint8_t> Orig = PlaneCopy(Alpha);
  const int32_t BX1 = std::clamp(X1 - Hm, 0, W - 1), BY1 = std::clamp(Y1 - Hm, 0, H - 1);
  const int32_t BX2 = std::clamp(X2 + Hm, 0, W - 1), BY2 = std::clamp(Y2 + Hm, 0, H - 1);
  if (Radius == 0)
    Box3x3(Alpha, BX1, BY1, BX2, BY2);
  else
    IEBlur8Bit(Alpha, BX1, BY1, BX2, BY2, Radius);
  if (OffsetX != 0 || OffsetY != 0) Alpha->MoveRect(BX1, BY1, BX2, BY2, BX1 + OffsetX, BY1 + OffsetY, 0, true);
  Intensity = std::clamp(Intensity, 0, 100);
  const double V = 3 - 2 * Intensity / 100.0;
  Composite(Bitmap, Orig, std::clamp(X1 - M, 0, W - 1), std::clamp(Y1 - M, 0, H - 1), std::clamp(X2 + M, 0, W - 1),
            std::clamp(Y2 + M, 0, H - 1), V, Colour, false);
  return M;
}
