#include "foundations/view_geometry.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>

#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/streams.h"

std::function<void(TIEBitmap*, int32_t, int32_t, int32_t, int32_t, double)> IEBlur8BitHook;

double IEPixelAspect(int32_t DpiX, int32_t DpiY) {
  return DpiX > 0 && DpiY > 0 ? static_cast<double>(DpiX) / DpiY : 1.0;
}

bool IEPointInRect(int32_t X, int32_t Y, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  return Left <= X && X <= Right && Top <= Y && Y <= Bottom;
}

bool IEPointInRectUnordered(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (X1 > X2) std::swap(X1, X2);
  if (Y1 > Y2) std::swap(Y1, Y2);
  return IEPointInRect(X, Y, X1, Y1, X2, Y2);
}

bool IERectIntersects(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Left, int32_t Top,
                      int32_t Right, int32_t Bottom) {
  return !(std::max(X1, X2) < Left || Right < std::min(X1, X2) || std::max(Y1, Y2) < Top ||
           Bottom < std::min(Y1, Y2));
}

int32_t IERectContainment(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom, int32_t X1,
                          int32_t Y1, int32_t X2, int32_t Y2) {
  bool Ax = X1 >= Left && X1 <= Right, Bx = X2 >= Left && X2 <= Right;
  bool Ay = Y1 >= Top && Y1 <= Bottom, By = Y2 >= Top && Y2 <= Bottom;
  if ((Ax != Bx && (Ay || By)) || ((Ax || Bx) && Ay != By) || (Ax != Bx && Ay != By)) return 1;
  return Ax && Bx && Ay && By ? 2 : 0;
}

void IESnapLine(int32_t X0, int32_t Y0, int32_t& X, int32_t& Y) {
  int32_t Dx = std::abs(X0 - X), Dy = std::abs(Y0 - Y);
  if (Dx + 30 < Dy) {
    X = X0;
    return;
  }
  if (Dy < Dx - 30) {
    Y = Y0;
    return;
  }
  int32_t D = std::abs(Dx - Dy);
  bool Wide = Dx >= Dy;
  if (X > X0 && Y > Y0) {
    (Wide ? Y : X) += D;
  } else if (X < X0 && Y < Y0) {
    (Wide ? X : Y) += D;
  } else if (X < X0 && Y >= Y0) {
    if (Wide)
      Y += D;
    else
      X -= D;
  } else if (X >= X0 && Y < Y0) {
    if (Wide)
      Y -= D;
    else
      X += D;
  }
}

int64_t IEGetFileSize(const std::string& FileName) {
  struct stat St;
  if (::stat(FileName.c_str(), &St) != 0 || !S_ISREG(St.st_mode)) return -1;
  return int64_t(St.st_size);
}

void IEStreamWriteChecked(TStream* Stream, bool& Error, const void* Buffer, int64_t Count) {
  if (Count <= 0) return;
  if (Stream == nullptr || Stream->Write(Buffer, Count) != Count) Error = true;
}

// ---------------------------------------------------------------------------
// Shadows

namespace {

// A pixel of the shadow target: the 24-bit bitmap's row when it lies there,
// else the canvas.
struct ShadowTarget {
  TCanvas* Canvas;
  TBitmap* Bitmap;
  bool InBitmap(int32_t X, int32_t Y) const {
    return Bitmap != nullptr && Bitmap->GetPixelFormat() == pf24bit && X >= 0 && Y >= 0 &&
           X < Bitmap->GetWidth() && Y < Bitmap->GetHeight();
  }
  void Darken(int32_t X, int32_t Y, double Factor) const {
    if (InBitmap(X, Y)) {
      uint8_t* P = Bitmap->GetScanLine(Y) + 3 * X;
      for (int C = 0; C < 3; ++C) P[C] = uint8_t(int32_t(P[C] * Factor));
      return;
    }
    if (Canvas == nullptr) return;
    TColor Old = Canvas->GetPixel(X, Y);
    if (Old < 0) return;
    uint32_t V = uint32_t(Old);
    auto Ch = [&](int Shift) { return uint8_t(int32_t(((V >> Shift) & 255) * Factor)); };
    Canvas->SetPixel(X, Y, RGB(Ch(0), Ch(8), Ch(16)));
  }
  void Gray(int32_t X, int32_t Y, int32_t Level) const {
    uint8_t L = uint8_t(std::clamp(Level, 0, 255));
    if (InBitmap(X, Y)) {
      uint8_t* P = Bitmap->GetScanLine(Y) + 3 * X;
      P[0] = P[1] = P[2] = L;
    } else if (Canvas != nullptr) {
      Canvas->SetPixel(X, Y, RGB(L, L, L));
    }
  }
};

// Shared by both strips: Across runs over the strip's width (its columns
// for the right strip), Along over its length.  Put(across, along) gives the
// pixel.
template <typename Map>
void DrawShadowStrip(const ShadowTarget& T, int32_t Width, int32_t AlongFirst, int32_t AlongLast,
                     int32_t Style, Map&& At) {
  if (Width <= 0) return;
  if (Style == 2) {
    for (int32_t I = 0; I < Width; ++I) {
      double Tv = (Width - I) / (Width / 3.0);
      double Factor = std::exp(-0.1 - Tv * Tv / 6);
      for (int32_t A = AlongFirst + Width; A <= AlongLast - Width + I + 3; ++A) {
        auto [X, Y] = At(I, A);
        T.Darken(X, Y, Factor);
      }
    }
  } else if (Style == 3) {
    int32_t Len = AlongLast - AlongFirst + 1;
    if (Len <= 0) return;
    int32_t J0 = 0;
    for (int32_t I = 0; I <= Len; ++I) {
      int32_t RowLevel = std::clamp(int32_t(255 * std::exp(-3.0 * I / Len)), 0, 255);
      if (I > Len - Width + 1) ++J0;
      for (int32_t J = J0; J <= Width; ++J) {
        int32_t ColLevel = int32_t(255 * std::exp(double(J) / Width - 1));
        auto [X, Y] = At(J, AlongFirst + I);
        T.Gray(X, Y, std::max(ColLevel, RowLevel));
      }
    }
  }
}

}  // namespace

void IEDrawRightShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                       int32_t Y2, int32_t Style, void*) {
  int32_t W = X2 - X1 + 1;
  if (Style == 1) {
    if (Canvas != nullptr) Canvas->FillRect(TRect{X1, Y1 + W, X2, Y2 + 1});
    return;
  }
  DrawShadowStrip(ShadowTarget{Canvas, Bitmap}, W, Y1, Y2, Style,
                  [&](int32_t Across, int32_t Along) { return std::pair{X1 + Across, Along}; });
}

void IEDrawBottomShadow(TCanvas* Canvas, TBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                        int32_t Y2, int32_t Style, void*) {
  int32_t H = Y2 - Y1 + 1;
  if (Style == 1) {
    if (Canvas != nullptr) Canvas->FillRect(TRect{X1 + H, Y1, X2 + 1, Y2});
    return;
  }
  DrawShadowStrip(ShadowTarget{Canvas, Bitmap}, H, X1, X2, Style,
                  [&](int32_t Across, int32_t Along) { return std::pair{Along, Y1 + Across}; });
}

namespace {

// Separable Gaussian of the rectangle of an 8-bit plane, used when no blur
// has been installed.
void PlainBlur8Bit(TIEBitmap* B, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius) {
  if (B == nullptr || B->GetPixelFormat() != ie8g || Radius <= 0) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, B->GetWidth() - 1);
  Y2 = std::min(Y2, B->GetHeight() - 1);
  if (X1 > X2 || Y1 > Y2) return;
  int32_t R = int32_t(std::ceil(Radius * 2));
  std::vector<double> K(size_t(2 * R + 1));
  double Sum = 0;
  for (int32_t I = -R; I <= R; ++I) Sum += K[size_t(I + R)] = std::exp(-0.5 * I * I / (Radius * Radius / 2.25));
  for (double& V : K) V /= Sum;
  int32_t W = X2 - X1 + 1, H = Y2 - Y1 + 1;
  std::vector<double> Plane(size_t(W) * size_t(H)), Tmp(Plane.size());
  for (int32_t Y = 0; Y < H; ++Y) {
    const uint8_t* Row = B->GetScanline(Y1 + Y);
    for (int32_t X = 0; X < W; ++X) Plane[size_t(Y) * W + X] = Row[X1 + X];
  }
  auto Pass = [&](const std::vector<double>& In, std::vector<double>& Out, bool Horizontal) {
    for (int32_t Y = 0; Y < H; ++Y)
      for (int32_t X = 0; X < W; ++X) {
        double Acc = 0;
        for (int32_t I = -R; I <= R; ++I) {
          int32_t Sx = Horizontal ? std::clamp(X + I, 0, W - 1) : X;
          int32_t Sy = Horizontal ? Y : std::clamp(Y + I, 0, H - 1);
          Acc += K[size_t(I + R)] * In[size_t(Sy) * W + Sx];
        }
        Out[size_t(Y) * W + X] = Acc;
      }
  };
  Pass(Plane, Tmp, true);
  Pass(Tmp, Plane, false);
  for (int32_t Y = 0; Y < H; ++Y) {
    uint8_t* Row = B->GetScanline(Y1 + Y);
    for (int32_t X = 0; X < W; ++X)
      Row[X1 + X] = uint8_t(std::clamp(int32_t(Plane[size_t(Y) * W + X] + 0.5), 0, 255));
  }
}

}  // namespace

void IEDrawSoftShadow(TBitmap* Bitmap, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                      void*) {
  if (Bitmap == nullptr || Bitmap->GetPixelFormat() != pf24bit || Right < Left || Bottom < Top) return;
  int64_t MW = int64_t(Right) - Left + 11, MH = int64_t(Bottom) - Top + 11;
  if (MW <= 0 || MH <= 0 || MW > 1000000 || MH > 1000000) return;
  TIEBitmap Mask;
  Mask.SetLocation(ieMemory);
  if (!Mask.Allocate(int32_t(MW), int32_t(MH), ie8g)) return;
  Mask.Fill(0);
  Mask.FillRect(5, 5, Right - Left + 7, Bottom - Top + 7, 255);
  if (IEBlur8BitHook)
    IEBlur8BitHook(&Mask, 0, 0, int32_t(MW) - 1, int32_t(MH) - 1, 2.5);
  else
    PlainBlur8Bit(&Mask, 0, 0, int32_t(MW) - 1, int32_t(MH) - 1, 2.5);
  int32_t BW = Bitmap->GetWidth(), BH = Bitmap->GetHeight();
  for (int32_t Y = std::max(Top - 5, 0); Y <= std::min(Bottom + 5, BH - 1); ++Y) {
    uint8_t* Row = Bitmap->GetScanLine(Y);
    const uint8_t* M = Mask.GetScanline(Y - Top + 5);
    for (int32_t X = std::max(Left - 5, 0); X <= std::min(Right + 5, BW - 1); ++X) {
      if (X >= Left && X < Right && Y >= Top && Y < Bottom) continue;
      int32_t Mx = X - Left + 5;
      if (Mx < 0 || Mx >= MW) continue;
      double F = 1 - M[Mx] / 255.0;
      for (int C = 0; C < 3; ++C) Row[3 * X + C] = uint8_t(int32_t(Row[3 * X + C] * F));
    }
  }
  Bitmap->Changed();
}

void IEGaussianRamp(int32_t Count, double Low, double High, std::vector<double>& Values,
                    double Sigma) {
  Values.assign(size_t(std::max(Count, 0)), 0.0);
  if (Count <= 0) return;
  double Max = 0;
  for (int32_t K = 0; K < Count; ++K) {
    double T = 2.0 * K / Count - 1;
    double V = std::exp(-0.5 * Sigma * Sigma * T * T) / (Sigma * std::sqrt(2 * std::numbers::pi));
    Values[size_t(K)] = V;
    Max = std::max(Max, V);
  }
  if (Max <= 0) return;
  for (double& V : Values) V = V / Max * (High - Low) + Low;
}

namespace {

bool PrepareBackground(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (Bitmap == nullptr || Width <= 0 || Height <= 0) return false;
  Bitmap->SetPixelFormat(pf24bit);
  Bitmap->SetSize(Width, Height);
  return Bitmap->GetWidth() == Width && Bitmap->GetHeight() == Height &&
         Bitmap->GetPixelFormat() == pf24bit;
}

}  // namespace

void IEPaintStripedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!PrepareBackground(Bitmap, Width, Height)) return;
  std::vector<double> Ramp;
  IEGaussianRamp(4, 130, 255, Ramp, 0.5);
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t Level = uint8_t(int32_t(Ramp[size_t(Y % 4)]));
    std::fill_n(Bitmap->GetScanLine(Y), size_t(3) * size_t(Width), Level);
  }
  Bitmap->Changed();
}

void IEPaintBrushedBackground(TBitmap* Bitmap, int32_t Width, int32_t Height) {
  if (!PrepareBackground(Bitmap, Width, Height)) return;
  std::vector<double> Ramp;
  IEGaussianRamp(Width, 160, 208, Ramp, 3);
  static std::minstd_rand Random(12345);
  uint8_t Offset = 0;
  int64_t Counter = 0;
  int64_t Next = int64_t(Random() % uint32_t(Width + 100));
  for (int32_t Y = 0; Y < Height; ++Y) {
    uint8_t* Row = Bitmap->GetScanLine(Y);
    for (int32_t X = 0; X < Width; ++X) {
      uint8_t Level = uint8_t(int32_t(Ramp[size_t(X)]) + Offset);
      Row[3 * X] = Row[3 * X + 1] = Row[3 * X + 2] = Level;
      if (++Counter > Next) {
        Counter = 0;
        Next = int64_t(Random() % uint32_t(Width + 100));
        Offset = uint8_t(Random() % 11);
      }
    }
  }
  Bitmap->Changed();
}
