#include "kernels/colour_adjust.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/clip_rect.h"
#include "kernels/kernel_progress.h"
#include "platform/rtl/sysutils.h"

namespace {

// Runs Fn on every pixel of the rectangle, reporting progress per row.
template <typename F>
void ForEachPixel(TIEBitmap* B, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                  const TIEProgressEvent& OnProgress, TObject* Sender, F&& Fn) {
  if (!IEClipRect24(B, X1, Y1, X2, Y2)) return;
  const TIERowProgress Progress(OnProgress, Sender, Y1, Y2);
  for (int32_t y = Y1; y < Y2; ++y) {
    TRGB* P = reinterpret_cast<TRGB*>(B->GetScanline(y)) + X1;
    for (int32_t x = X1; x < X2; ++x, ++P) Fn(*P);
    Progress.Row(y);
  }
}

// Brings a fraction of the circle into 0..1 by one step.
double WrapUnit(double T) {
  if (T < 0) return T + 1;
  if (T > 1) return T - 1;
  return T;
}

}  // namespace

void IERGBToHSL(const TRGB& RGB, double& H, double& S, double& L) {
  const double r = RGB.r / 255.0, g = RGB.g / 255.0, b = RGB.b / 255.0;
  const double mx = IEMaxDouble(IEMaxDouble(r, g), b), mn = IEMinDouble(IEMinDouble(r, g), b);
  L = (mx + mn) / 2;
  if (mx == mn) {
    H = S = 0;
    return;
  }
  const double d = mx - mn;
  S = L >= 0.5 ? d / (2 - mx - mn) : d / (mx + mn);
  double h;
  if (mx == r)
    h = (g - b) / d;
  else if (mx != g)
    h = (r - g) / d + 4;
  else
    h = (b - r) / d + 2;
  H = h / 6;
  if (H < 0) H += 1;
}

TRGB IEHSLToRGB(double H, double S, double L) {
  H = WrapUnit(H);
  S = std::clamp(S, 0.0, 1.0);
  L = std::clamp(L, 0.0, 1.0);
  if (S == 0) {
    const uint8_t v = uint8_t(IEClampByte(IERound(L * 255)));
    return IECreateRGB(v, v, v);
  }
  const double q = L > 0.5 ? L + S - L * S : L * (1 + S);
  const double p = 2 * L - q;
  auto f = [&](double t) {
    t = WrapUnit(t);
    double v;
    if (6 * t < 1)
      v = p + (q - p) * 6 * t;
    else if (2 * t < 1)
      v = q;
    else if (3 * t < 2)
      v = p + (q - p) * (2.0 / 3 - t) * 6;
    else
      v = p;
    return uint8_t(IEClampByte(IERound(v * 255)));
  };
  return IECreateRGB(f(H + 1.0 / 3), f(H), f(H - 1.0 / 3));
}

void IERGBToHSV(const TRGB& RGB, int32_t& H, int32_t& S, int32_t& V) {
  const int32_t r = IERound(RGB.r / 255.0 * 99), g = IERound(RGB.g / 255.0 * 99),
                b = IERound(RGB.b / 255.0 * 99);
  const int32_t mx = std::max({r, g, b}), mn = std::min({r, g, b});
  V = mx;
  S = mx == 0 ? 0 : (mx - mn) * 99 / mx;
  if (S == 0) {
    H = 0;
    return;
  }
  const int32_t d = mx - mn;
  if (r == mx)
    H = (g - b) * 60 / d;
  else if (g == mx)
    H = (b - r) * 60 / d + 120;
  else
    H = (r - g) * 60 / d + 240;
  if (H < 0) H += 360;
}

TRGB IEHSVToRGB(int32_t H, int32_t S, int32_t V) {
  // Any hue is taken modulo the full circle (-30 is 330, 360 is 0).
  H %= 360;
  if (H < 0) H += 360;
  S = std::clamp(S, 0, 99);
  V = std::clamp(V, 0, 99);
  auto out = [](int32_t c) { return uint8_t(IEClampByte(IERound(c / 99.0 * 255))); };
  if (S == 0) return IECreateRGB(out(V), out(V), out(V));
  const int32_t f = H % 60;
  const int32_t p = V - S * V / 99;
  const int32_t q = V - S * V * f / 5940;
  const int32_t t = V - S * V * (60 - f) / 5940;
  int32_t r, g, b;
  switch (H / 60) {
    case 0:
      r = V, g = t, b = p;
      break;
    case 1:
      r = q, g = V, b = p;
      break;
    case 2:
      r = p, g = V, b = t;
      break;
    case 3:
      r = p, g = q, b = V;
      break;
    case 4:
      r = t, g = p, b = V;
      break;
    default:
      r = V, g = p, b = q;
      break;
  }
  return IECreateRGB(out(r), out(g), out(b));
}

void IEAdjustHSL(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Hue, int32_t Sat,
                 int32_t Lum, const TIEProgressEvent& OnProgress, TObject* Sender) {
  ForEachPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](TRGB& P) {
    double H, S, L;
    IERGBToHSL(P, H, S, L);
    P = IEHSLToRGB(H + Hue / 360.0, S + Sat / 100.0, L + Lum / 100.0);
  });
}

void IEAdjustHSV(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Hue, int32_t Sat,
                 int32_t Val, const TIEProgressEvent& OnProgress, TObject* Sender) {
  // Any offset beyond a full turn or the whole scale acts like its limit.
  Hue %= 360;
  Sat = std::clamp(Sat, -200, 200);
  Val = std::clamp(Val, -200, 200);
  ForEachPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](TRGB& P) {
    int32_t H, S, V;
    IERGBToHSV(P, H, S, V);
    P = IEHSVToRGB(H + Hue, S + Sat, V + Val);
  });
}

void IEAdjustRGB(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Red,
                 int32_t Green, int32_t Blue, const TIEProgressEvent& OnProgress, TObject* Sender) {
  uint8_t TR[256], TG[256], TB[256];
  for (int32_t v = 0; v < 256; ++v) {
    TR[v] = uint8_t(IEClampByte(int32_t(std::clamp<int64_t>(int64_t(v) + Red, -1, 256))));
    TG[v] = uint8_t(IEClampByte(int32_t(std::clamp<int64_t>(int64_t(v) + Green, -1, 256))));
    TB[v] = uint8_t(IEClampByte(int32_t(std::clamp<int64_t>(int64_t(v) + Blue, -1, 256))));
  }
  ForEachPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](TRGB& P) {
    P.r = TR[P.r];
    P.g = TG[P.g];
    P.b = TB[P.b];
  });
}

void IEContrast(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Contrast,
                const TRGB& Centre, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!std::isfinite(Contrast)) return;
  const double f = Contrast >= 0 ? Contrast / 10 + 1 : 1 - std::sqrt(-Contrast) / 10;
  uint8_t TR[256], TG[256], TB[256];
  auto level = [f](int32_t v, int32_t c) {
    return uint8_t(IEClampByte(IERound(std::clamp((v - c) * f + c, -1.0, 256.0))));
  };
  for (int32_t v = 0; v < 256; ++v) {
    TR[v] = level(v, Centre.r);
    TG[v] = level(v, Centre.g);
    TB[v] = level(v, Centre.b);
  }
  ForEachPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](TRGB& P) {
    P.r = TR[P.r];
    P.g = TG[P.g];
    P.b = TB[P.b];
  });
}

void IEThreshold(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRGB& DownLimit,
                 const TRGB& UpLimit, const TRGB& DownVal, const TRGB& UpVal,
                 const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (IESameRGB(DownLimit, IECreateRGB(0, 0, 0)) && IESameRGB(UpLimit, IECreateRGB(255, 255, 255))) return;
  auto one = [](uint8_t& v, uint8_t lo, uint8_t hi, uint8_t loV, uint8_t hiV) {
    if (v <= lo) v = loV;
    if (v > hi) v = hiV;
  };
  ForEachPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [&](TRGB& P) {
    one(P.r, DownLimit.r, UpLimit.r, DownVal.r, UpVal.r);
    one(P.g, DownLimit.g, UpLimit.g, DownVal.g, UpVal.g);
    one(P.b, DownLimit.b, UpLimit.b, DownVal.b, UpVal.b);
  });
}

void IEConvertToGray24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       const TIEProgressEvent& OnProgress, TObject* Sender) {
  ForEachPixel(Bitmap, X1, Y1, X2, Y2, OnProgress, Sender, [](TRGB& P) {
    const uint8_t g = uint8_t(IEClampByte(IERGBToGray(P)));
    P.r = P.g = P.b = g;
  });
}

void IEColorTransparentPixels(TIEBitmap* Bitmap, const TRGB& Color) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB || Bitmap->IsEmpty()) return;
  TIEBitmap* Alpha = Bitmap->GetAlphaChannel();
  if (!Alpha) return;
  for (int32_t y = 0; y < Bitmap->GetHeight(); ++y) {
    const uint8_t* A = Alpha->GetScanline(y);
    TRGB* P = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    for (int32_t x = 0; x < Bitmap->GetWidth(); ++x)
      if (A[x] == 0) P[x] = Color;
  }
}

void IEReorderChannels(TIEBitmap* Bitmap, const std::string& Pattern, TObject* Sender,
                       const TIEProgressEvent& OnProgress) {
  if (!Bitmap || Pattern.size() < 3) return;
  const TIEPixelFormat F = Bitmap->GetPixelFormat();
  if (F != ie24RGB && F != ieRGB48) return;
  // Source of each new channel in memory order blue, green, red: 0 red,
  // 1 green, 2 blue, 3 zero.
  int32_t Src[3];
  for (int32_t i = 0; i < 3; ++i) {
    switch (std::toupper(static_cast<unsigned char>(Pattern[size_t(i)]))) {
      case 'R':
        Src[i] = 0;
        break;
      case 'G':
        Src[i] = 1;
        break;
      case 'B':
        Src[i] = 2;
        break;
      case '0':
        Src[i] = 3;
        break;
      default:
        return;
    }
  }
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  for (int32_t y = 0; y < H; ++y) {
    if (F == ie24RGB) {
      TRGB* P = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
      for (int32_t x = 0; x < W; ++x) {
        const uint8_t c[4] = {P[x].r, P[x].g, P[x].b, 0};
        P[x].b = c[Src[0]];
        P[x].g = c[Src[1]];
        P[x].r = c[Src[2]];
      }
    } else {
      uint8_t* Row = Bitmap->GetScanline(y);
      for (int32_t x = 0; x < W; ++x) {
        TRGB48 Px;
        std::memcpy(&Px, Row + size_t(x) * 6, 6);
        const uint16_t c[4] = {Px.r, Px.g, Px.b, 0};
        TRGB48 N;
        N.b = c[Src[0]];
        N.g = c[Src[1]];
        N.r = c[Src[2]];
        std::memcpy(Row + size_t(x) * 6, &N, 6);
      }
    }
    if (OnProgress) OnProgress(Sender, int32_t(double(y) / H * 100));
  }
}
