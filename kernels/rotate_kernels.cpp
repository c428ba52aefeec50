#include "kernels/rotate_kernels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/exact_turns.h"
#include "kernels/row_bands.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr long double Pi = 3.141592653589793238462643383279502884L;

size_t PixelBytes(int64_t Width, int32_t BitCount) { return size_t((Width * BitCount + 7) / 8); }

inline void CopyPixel(const uint8_t* Src, int64_t SrcX, uint8_t* Dst, int64_t DstX, int32_t BitCount) {
  if (BitCount == 1) {
    const uint8_t Mask = uint8_t(0x80u >> (DstX & 7));
    if (Src[SrcX >> 3] & (0x80u >> (SrcX & 7)))
      Dst[DstX >> 3] |= Mask;
    else
      Dst[DstX >> 3] &= uint8_t(~Mask);
  } else {
    const int64_t N = BitCount / 8;
    std::memcpy(Dst + DstX * N, Src + SrcX * N, size_t(N));
  }
}

bool Usable(TIEBitmap* B) {
  const int32_t Bits = B ? B->GetBitCount() : 0;
  return B && B->GetWidth() > 0 && B->GetHeight() > 0 && (Bits == 1 || (Bits > 0 && Bits % 8 == 0));
}

int32_t Nint(long double V) { return IERound(V); }

// Exact turns by multiples of 90 degrees; false when Angle is not one.
bool ExactTurn(TIEBitmap* Src, TIEBitmap* Dst, double Angle) {
  if (Angle != std::trunc(Angle) || std::fabs(Angle) > 2e9) return false;
  const int32_t Turn = IEExactTurnOf(Angle);
  if (Turn < 0) return false;
  if (Turn == 0)
    Dst->Assign(Src);
  else
    IETurnExact(Src, Dst, Turn);  // without memory Dst stays empty: the caller sees it
  return true;
}

// Bilinear or bicubic turn of C interleaved byte channels, with the
// three-pixel background frame and the final three-pixel cut.
template <int C>
void RotateHQ(TIEBitmap* Bitmap, const uint8_t* Bg, int32_t Quality, double Angle,
              const TIEProgressEvent& OnProgress, TObject* Sender) {
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  const int32_t PW = W + 6, PH = H + 6;
  // The padded source: picture at (3, 3), background around it.
  std::vector<uint8_t> Pad(size_t(PW) * PH * C);
  for (size_t i = 0; i < Pad.size(); ++i) Pad[i] = Bg[i % C];
  for (int32_t y = 0; y < H; ++y)
    std::memcpy(Pad.data() + (size_t(y + 3) * PW + 3) * C, Bitmap->GetScanline(y), size_t(W) * C);
  const long double T = Angle * Pi / 180;
  const long double Cs = std::cos(T), Sn = std::sin(T);
  const int32_t DW = Nint(std::fabs(Cs) * (PW - 1) + std::fabs(Sn) * (PH - 1));
  const int32_t DH = Nint(std::fabs(Sn) * (PW - 1) + std::fabs(Cs) * (PH - 1));
  const int32_t OutW = std::max(DW - 6, 1), OutH = std::max(DH - 6, 1);
  const long double Scx = (PW - 1) / 2.0L, Scy = (PH - 1) / 2.0L, Dcx = (DW - 1) / 2.0L, Dcy = (DH - 1) / 2.0L;
  auto Px = [&](int64_t X, int64_t Y, int c) -> double {
    if (X < 0 || Y < 0 || X >= PW || Y >= PH) return Bg[c];
    return Pad[(size_t(Y) * PW + size_t(X)) * C + c];
  };
  TIEBitmap Out(OutW, OutH, Bitmap->GetPixelFormat());
  for (int32_t j = 0; j < OutH; ++j) {
    uint8_t* D = Out.GetScanline(j);
    const long double Dy = (j + 3) - Dcy;
    for (int32_t i = 0; i < OutW; ++i) {
      const long double Dx = (i + 3) - Dcx;
      const double Sx = double(Dx * Cs - Dy * Sn + Scx), Sy = double(Dx * Sn + Dy * Cs + Scy);
      for (int c = 0; c < C; ++c) {
        int32_t V;
        if (Sx <= -2 || Sy <= -2 || Sx >= PW + 1 || Sy >= PH + 1) {
          V = Bg[c];
        } else if (Quality == 2) {
          const int64_t X0 = int64_t(Sx), Y0 = int64_t(Sy);
          const double Tt = Sx - X0, U = Sy - Y0;
          const double WX[4] = {-Tt * (1 - Tt) * (1 - Tt), 1 - 2 * Tt * Tt + Tt * Tt * Tt, Tt * (1 + Tt - Tt * Tt),
                                -Tt * Tt * (1 - Tt)};
          const double WY[4] = {-U * (1 - U) * (1 - U), 1 - 2 * U * U + U * U * U, U * (1 + U - U * U),
                                -U * U * (1 - U)};
          double Sum = 0;
          for (int r = 0; r < 4; ++r) {
            double RowSum = 0;
            for (int k = 0; k < 4; ++k) RowSum += WX[k] * Px(X0 - 1 + k, Y0 - 1 + r, c);
            Sum += WY[r] * RowSum;
          }
          // Undershoot clamps to 0 (not its absolute value), overshoot to 255.
          V = Sum < 0 ? 0 : (Sum > 255 ? 255 : int32_t(Sum));
        } else {
          const int64_t X0 = int64_t(Sx), Y0 = int64_t(Sy);
          const double Fx = Sx - std::floor(Sx), Fy = Sy - std::floor(Sy);
          const double Top = Px(X0, Y0, c) + (Px(X0 + 1, Y0, c) - Px(X0, Y0, c)) * Fx;
          const double Bot = Px(X0, Y0 + 1, c) + (Px(X0 + 1, Y0 + 1, c) - Px(X0, Y0 + 1, c)) * Fx;
          V = std::clamp(int32_t(Top + (Bot - Top) * Fy), 0, 255);
        }
        D[i * C + c] = uint8_t(V);
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(j) * 100 / OutH));
  }
  std::unique_ptr<TIEBitmap> Alpha = Bitmap->DetachAlphaChannel();
  Bitmap->AssignImage(&Out);
  if (Alpha) {
    IERotateHQ8(Alpha.get(), 0, Quality, Angle);
    Bitmap->AttachAlphaChannel(std::move(Alpha));
  }
}

// One destination row of a nearest-pixel turn for N-byte pixels: column i
// takes source (X[i] - A, Y[i] + B) when it lies on the page.  X and Y are
// monotonic along the row, so the columns inside the page form one run,
// found by narrowing from both ends; only that run is copied, with a copy
// of fixed size per pixel.
template <int N>
void SampleRow(const uint8_t* const* Rows, const int32_t* X, const int32_t* Y, int32_t A, int32_t B, int32_t W,
               int32_t H, int32_t DW, uint8_t* D) {
  const auto Inside = [&](int32_t i) {
    const int64_t Sx = int64_t(X[i]) - A, Sy = int64_t(Y[i]) + B;
    return Sx >= 0 && Sy >= 0 && Sx < W && Sy < H;
  };
  int32_t First = 0, Last = DW - 1;
  while (First <= Last && !Inside(First)) ++First;
  while (Last >= First && !Inside(Last)) --Last;
  for (int32_t i = First; i <= Last; ++i) {
    const int64_t Sx = int64_t(X[i]) - A, Sy = int64_t(Y[i]) + B;
    const uint8_t* S = Rows[size_t(Sy)] + Sx * N;
    uint8_t* P = D + int64_t(i) * N;
    if constexpr (N == 3) {
      P[0] = S[0];
      P[1] = S[1];
      P[2] = S[2];
    } else {
      std::memcpy(P, S, N);
    }
  }
}

}  // namespace

void IERotateInto(TIEBitmap* Src, TIEBitmap* Dst, double Background, double Angle,
                  const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Usable(Src) || !Dst || !std::isfinite(Angle)) return;
  if (ExactTurn(Src, Dst, Angle)) return;
  const int32_t W = Src->GetWidth(), H = Src->GetHeight(), Bits = Src->GetBitCount();
  const long double T = Angle * Pi / 180;
  const long double Cs = std::cos(T), Sn = std::sin(T);
  const int32_t DW = std::max(Nint(std::fabs(Cs) * W + std::fabs(Sn) * H), 1);
  const int32_t DH = std::max(Nint(std::fabs(Sn) * W + std::fabs(Cs) * H), 1);
  if (!Dst->Allocate(DW, DH, Src->GetPixelFormat())) return;
  if (Src->GetPixelFormat() == ie8p) Src->CopyPaletteTo(Dst);
  Dst->Fill(Background);
  const long double Scx = (W - 1) / 2.0L, Scy = (H - 1) / 2.0L, Dcx = (DW - 1) / 2.0L, Dcy = (DH - 1) / 2.0L;
  std::vector<int32_t> X(DW), Y(DW);
  for (int32_t i = 0; i < DW; ++i) {
    const long double Dx = i - Dcx;
    X[i] = Nint(Dx * Cs + Scx);
    Y[i] = Nint(Dx * Sn + Scy);
  }
  const TIEAllRows Rows(Src);
  for (int32_t j = 0; j < DH; ++j) {
    const long double Dy = j - Dcy;
    const int32_t A = Nint(Dy * Sn), B = Nint(Dy * Cs);
    uint8_t* D = Dst->GetScanline(j);
    switch (Bits) {
      case 8: SampleRow<1>(Rows.Rows.data(), X.data(), Y.data(), A, B, W, H, DW, D); break;
      case 24: SampleRow<3>(Rows.Rows.data(), X.data(), Y.data(), A, B, W, H, DW, D); break;
      case 32: SampleRow<4>(Rows.Rows.data(), X.data(), Y.data(), A, B, W, H, DW, D); break;
      default:
        for (int32_t i = 0; i < DW; ++i) {
          const int64_t Sx = int64_t(X[i]) - A, Sy = int64_t(Y[i]) + B;
          if (Sx >= 0 && Sy >= 0 && Sx < W && Sy < H) CopyPixel(Rows.Rows[size_t(Sy)], Sx, D, i, Bits);
        }
    }
    if (OnProgress) OnProgress(Sender, int32_t(int64_t(j) * 100 / DH));
  }
}

bool IERotateGeneric(TIEBitmap* Bitmap, double Background, double Angle, const TIEProgressEvent& OnProgress,
                     TObject* Sender) {
  if (!Usable(Bitmap)) return true;
  TIEBitmap Turned;
  IERotateInto(Bitmap, &Turned, Background, Angle, OnProgress, Sender);
  if (Turned.GetWidth() <= 0) return false;
  // The alpha plane is turned before anything is replaced, so a failure
  // leaves image and plane as they were.
  TIEBitmap TurnedAlpha;
  const bool HasAlpha = Bitmap->HasAlphaChannel() && Usable(Bitmap->GetAlphaChannel());
  if (HasAlpha) {
    IERotateInto(Bitmap->GetAlphaChannel(), &TurnedAlpha, 0, Angle);
    if (TurnedAlpha.GetWidth() <= 0) return false;
  }
  std::unique_ptr<TIEBitmap> Alpha = Bitmap->DetachAlphaChannel();
  IETakeTurnedPixels(Bitmap, &Turned);
  if (Alpha) {
    if (HasAlpha) Alpha->AssignImage(&TurnedAlpha);
    Bitmap->AttachAlphaChannel(std::move(Alpha));
  }
  return true;
}

void IERotateHQ24(TIEBitmap* Bitmap, TRGB Background, int32_t Quality, double Angle,
                  const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!Usable(Bitmap) || Bitmap->GetPixelFormat() != ie24RGB || !std::isfinite(Angle)) return;
  const uint8_t Bg[3] = {Background.b, Background.g, Background.r};
  RotateHQ<3>(Bitmap, Bg, Quality, Angle, OnProgress, Sender);
}

void IERotateHQ8(TIEBitmap* Bitmap, uint8_t Background, int32_t Quality, double Angle) {
  if (!Usable(Bitmap) || Bitmap->GetBitCount() != 8 || !std::isfinite(Angle)) return;
  RotateHQ<1>(Bitmap, &Background, Quality, Angle, nullptr, nullptr);
}

void IEFlip(TIEBitmap* Bitmap, int32_t Direction) {
  if (!Usable(Bitmap)) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight(), Bits = Bitmap->GetBitCount();
  const size_t Len = PixelBytes(W, Bits);
  std::vector<uint8_t> A(Len), C(Len);
  if (Direction == 1) {
    for (int32_t y = 0; y < H / 2; ++y) {
      std::memcpy(A.data(), Bitmap->GetScanline(y), Len);
      std::memcpy(C.data(), Bitmap->GetScanline(H - 1 - y), Len);
      std::memcpy(Bitmap->GetScanline(y), C.data(), Len);
      std::memcpy(Bitmap->GetScanline(H - 1 - y), A.data(), Len);
    }
  } else {
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = Bitmap->GetScanline(y);
      std::memcpy(A.data(), Row, Len);
      std::memcpy(C.data(), Row, Len);
      for (int32_t x = 0; x < W; ++x) CopyPixel(A.data(), W - 1 - x, C.data(), x, Bits);
      std::memcpy(Row, C.data(), Len);
    }
  }
  if (Bitmap->HasAlphaChannel()) IEFlip(Bitmap->GetAlphaChannel(), Direction);
}
