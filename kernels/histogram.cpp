#include "kernels/histogram.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "kernels/clip_rect.h"
#include "kernels/kernel_progress.h"
#include "platform/rtl/sysutils.h"

void IEHistogram(TIEBitmap* Bitmap, TIEHistogram& Hist, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                 TIEMask* Mask) {
  if (!Bitmap || Bitmap->GetPixelFormat() != ie24RGB) return;
  for (auto& E : Hist) E = TIEHistogramEntry{};
  if (!IEClipRect24(Bitmap, X1, Y1, X2, Y2)) return;
  const bool UseMask = Mask && !Mask->IsEmpty();
  for (int32_t y = Y1; y < Y2; ++y) {
    const TRGB* P = reinterpret_cast<const TRGB*>(Bitmap->GetScanline(y));
    for (int32_t x = X1; x < X2; ++x) {
      if (UseMask && !Mask->IsPointInside(x, y)) continue;
      const TRGB& C = P[x];
      Hist[C.r].r++;
      Hist[C.g].g++;
      Hist[C.b].b++;
      Hist[IEClampByte(IERGBToGray(C))].gray++;
    }
  }
}

void IEHistEqualize(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRGB& Low,
                    const TRGB& High, const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!IEClipRect24(Bitmap, X1, Y1, X2, Y2)) return;
  const int32_t hk[3] = {IEMaxInt(High.r, 1), IEMaxInt(High.g, 1), IEMaxInt(High.b, 1)};
  const int32_t lk[3] = {Low.r, Low.g, Low.b};
  if (hk[0] == lk[0] && hk[1] == lk[1] && hk[2] == lk[2]) return;
  uint8_t T[3][256];
  for (int32_t k = 0; k < 3; ++k) {
    const double Span = lk[k] == 255 ? 1 : 255 - lk[k];
    for (int32_t v = 0; v < 256; ++v) {
      const int32_t t1 = IEClampByte(IERound((v - lk[k]) / Span * 255));
      T[k][v] = uint8_t(IEClampByte(IERound(double(t1) / hk[k] * 255)));
    }
  }
  const TIERowProgress Progress(OnProgress, Sender, Y1, Y2);
  for (int32_t y = Y1; y < Y2; ++y) {
    TRGB* P = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    for (int32_t x = X1; x < X2; ++x) {
      P[x].r = T[0][P[x].r];
      P[x].g = T[1][P[x].g];
      P[x].b = T[2][P[x].b];
    }
    Progress.Row(y);
  }
}

void IEHistAutoEqualize(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                        const TIEProgressEvent& OnProgress, TObject* Sender) {
  if (!IEClipRect24(Bitmap, X1, Y1, X2, Y2)) return;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  TIEHistogram Hist;
  IEHistogram(Bitmap, Hist, 0, 0, W, H, nullptr);
  const double Step = double(W) * double(H) / 256;
  uint8_t Lo[256], Hi[256];
  int64_t i = 0;
  double Acc = 0;
  for (int32_t k = 0; k < 256; ++k) {
    Lo[k] = uint8_t(IEClampByte(int32_t(std::min<int64_t>(i, 256))));
    Acc += Hist[k].gray;
    while (Acc > Step) {
      Acc -= Step;
      ++i;
    }
    Hi[k] = uint8_t(IEClampByte(int32_t(std::min<int64_t>(i, 256))));
  }
  // The neighbourhood reads the original pixels, so the result goes into a
  // copy first.
  TIEBitmap Src;
  Src.Assign(Bitmap);
  const TIERowProgress Progress(OnProgress, Sender, Y1, Y2);
  for (int32_t y = Y1; y < Y2; ++y) {
    const TRGB* Rows[3] = {reinterpret_cast<const TRGB*>(Src.GetScanline(IEMaxInt(y - 1, 0))),
                           reinterpret_cast<const TRGB*>(Src.GetScanline(y)),
                           reinterpret_cast<const TRGB*>(Src.GetScanline(IEMinInt(y + 1, H - 1)))};
    TRGB* D = reinterpret_cast<TRGB*>(Bitmap->GetScanline(y));
    for (int32_t x = X1; x < X2; ++x) {
      const int32_t xs[3] = {IEMaxInt(x - 1, 0), x, IEMinInt(x + 1, W - 1)};
      int32_t sr = 0, sg = 0, sb = 0;
      for (const TRGB* R : Rows)
        for (int32_t c : xs) {
          sr += R[c].r;
          sg += R[c].g;
          sb += R[c].b;
        }
      const TRGB Mean = IECreateRGB(uint8_t(sr / 9), uint8_t(sg / 9), uint8_t(sb / 9));
      const TRGB Px = Rows[1][x];
      const int32_t g = IEClampByte(IERGBToGray(Px)), a = IEClampByte(IERGBToGray(Mean));
      TRGB Out;
      if (Lo[g] == Hi[g])
        Out = IECreateRGB(Lo[Px.r], Lo[Px.g], Lo[Px.b]);
      else if (a > Hi[g])
        Out = IECreateRGB(Hi[Px.r], Hi[Px.g], Hi[Px.b]);
      else if (a < Lo[g])
        Out = IECreateRGB(Lo[Px.r], Lo[Px.g], Lo[Px.b]);
      else
        Out = Mean;
      D[x] = Out;
    }
    Progress.Row(y);
  }
}

void IEMatchHistograms(TIEBitmap* Reference, TIEBitmap* Target) {
  if (!Reference || !Target || Reference->GetPixelFormat() != ie24RGB || Reference->IsEmpty() ||
      Target->IsEmpty())
    return;
  const TIEPixelFormat TF = Target->GetPixelFormat();
  if (TF != ie24RGB && TF != ieRGB48) return;
  // Reference histograms in memory order blue, green, red.
  std::vector<uint64_t> RefHist(3 * 256, 0);
  const int32_t RW = Reference->GetWidth(), RH = Reference->GetHeight();
  for (int32_t y = 0; y < RH; ++y) {
    const uint8_t* P = Reference->GetScanline(y);
    for (int32_t x = 0; x < RW; ++x)
      for (int32_t c = 0; c < 3; ++c) RefHist[size_t(c) * 256 + P[x * 3 + c]]++;
  }
  const double Count = double(RW) * double(RH);
  const int32_t W = Target->GetWidth(), H = Target->GetHeight();
  const double N = double(W) * double(H);
  // Channel c of memory order blue, green, red; ieRGB48 stores red first.
  auto Sample = [&](uint8_t* Row, int32_t x, int32_t c) -> uint8_t* {
    if (TF == ie24RGB) return Row + size_t(x) * 3 + c;
    return Row + size_t(x) * 6 + size_t(2 - c) * 2;
  };
  auto Get = [&](uint8_t* Row, int32_t x, int32_t c) -> int32_t {
    uint8_t* S = Sample(Row, x, c);
    if (TF == ie24RGB) return *S;
    uint16_t v;
    std::memcpy(&v, S, 2);
    return v >> 8;
  };
  auto Set = [&](uint8_t* Row, int32_t x, int32_t c, int32_t Level) {
    uint8_t* S = Sample(Row, x, c);
    if (TF == ie24RGB) {
      *S = uint8_t(Level);
    } else {
      const uint16_t v = uint16_t(Level * 257);
      std::memcpy(S, &v, 2);
    }
  };
  for (int32_t c = 0; c < 3; ++c) {
    uint64_t q[256] = {};
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = Target->GetScanline(y);
      for (int32_t x = 0; x < W; ++x) q[Get(Row, x, c)]++;
    }
    int32_t Eq[256];
    uint64_t Sum = 0;
    for (int32_t i = 0; i < 256; ++i) {
      Sum += q[i];
      Eq[i] = IEClampByte(int32_t(double(Sum) * 255 / N));
    }
    double R[256];
    uint64_t RSum = 0;
    for (int32_t i = 0; i < 256; ++i) {
      RSum += RefHist[size_t(c) * 256 + i];
      R[i] = 255 / Count * double(RSum);
    }
    int32_t S[256];
    for (int32_t i = 0; i < 256; ++i) {
      int32_t Best = 0;
      double BestD = std::fabs(i - R[0]);
      for (int32_t j = 1; j < 256; ++j) {
        const double d = std::fabs(i - R[j]);
        if (d < BestD) BestD = d, Best = j;
      }
      S[i] = Best;
    }
    // Equalisation then matching, in one look-up.
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = Target->GetScanline(y);
      for (int32_t x = 0; x < W; ++x) Set(Row, x, c, S[Eq[Get(Row, x, c)]]);
    }
  }
}
