// Pins of the resamplers' results over shapes that take every path (2x and
// odd enlargements, quarter and odd reductions, one axis up and the other
// down, one-row and one-column sources):
// - the convolution filters are integer arithmetic throughout, so their
//   output is pinned exactly, by a digest per filter and entry point;
// - the area-sampling bilinear and bicubic are defined on real numbers: each
//   result is checked against a plain evaluation of that definition (every
//   piece of every destination pixel summed in doubles), within one level,
//   and only a small share of the samples (those whose exact value lies
//   within rounding noise of a half) may differ at all.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/resample_area.h"
#include "kernels/resample_engine.h"

namespace {

struct TShape {
  int32_t SW, SH, DW, DH;
};

constexpr TShape kShapes[] = {{13, 9, 26, 18},  {13, 9, 33, 23},  {40, 36, 10, 9},   {40, 36, 17, 13},
                              {13, 36, 31, 10}, {40, 9, 11, 25},  {1, 7, 3, 15},     {7, 1, 15, 3},
                              {2, 2, 5, 5},     {3, 40, 2, 7},    {61, 47, 122, 94}, {64, 48, 16, 12},
                              {50, 30, 150, 7}, {9, 200, 40, 13}, {300, 4, 7, 9}};

uint8_t Noise(uint32_t X, uint32_t Y, uint32_t K) {
  uint32_t V = X * 0x9E3779B1u ^ Y * 0x85EBCA77u ^ K * 0xC2B2AE3Du;
  V ^= V >> 15;
  V *= 0x2C1B3C6Du;
  V ^= V >> 12;
  return uint8_t(V >> 5);
}

// Sample c of pixel (x, y): smooth ramps, hard black-white edges (which make
// the cubics overshoot) and noise, in patches.
uint8_t Sample(int32_t X, int32_t Y, int32_t C) {
  switch ((X / 5 + Y / 4) % 4) {
    case 0:
      return uint8_t(X * 9 + Y * 5 + C * 60);
    case 1:
      return ((X + Y) / 2) % 2 ? 255 : 0;
    case 2:
      return uint8_t(200 - (X * X + Y) % 50 + C);
    default:
      return Noise(uint32_t(X), uint32_t(Y), uint32_t(C));
  }
}

std::unique_ptr<TIEBitmap> Source(int32_t W, int32_t H, TIEPixelFormat F) {
  auto B = std::make_unique<TIEBitmap>(W, H, F);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* R = B->GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      switch (F) {
        case ie1g:
          if (Sample(x, y, 0) & 0x40) R[x >> 3] |= uint8_t(0x80u >> (x & 7));
          break;
        case ie8g:
          R[x] = Sample(x, y, 0);
          break;
        case ie24RGB:
          for (int32_t c = 0; c < 3; ++c) R[3 * x + c] = Sample(x, y, c);
          break;
        case ie16g:
          B->SetPixel16(x, y, uint16_t(Sample(x, y, 0) * 257 + Noise(uint32_t(x), uint32_t(y), 9) % 200));
          break;
        case ieRGB48:
          for (int32_t c = 0; c < 3; ++c)
            reinterpret_cast<uint16_t*>(R)[3 * x + c] = uint16_t(Sample(x, y, c) * 257 + c * 31);
          break;
        default:
          break;
      }
    }
  }
  return B;
}

// FNV-1a over the sizes and every pixel byte of every row.
void Digest(uint64_t& H, TIEBitmap* B) {
  auto Add = [&H](const uint8_t* P, size_t N) {
    for (size_t i = 0; i < N; ++i) H = (H ^ P[i]) * 0x100000001B3ull;
  };
  const int32_t Size[2] = {B->GetWidth(), B->GetHeight()};
  Add(reinterpret_cast<const uint8_t*>(Size), sizeof Size);
  const size_t N = (size_t(B->GetWidth()) * size_t(B->GetBitCount()) + 7) / 8;
  for (int32_t y = 0; y < B->GetHeight(); ++y) Add(B->GetScanline(y), N);
}

TEST(ResamplePin, ConvolutionFiltersExactly) {
  // Digests of the output before the resampler's passes were rebuilt.
  struct {
    TResampleFilter F;
    uint64_t Colour, Gray, OneBit;
  } Pins[] = {
      {rfTriangle, 0x3C9A445B597C6047ull, 0xFAB3051EF2B9FD11ull, 0x098F99D95A68925Dull},
      {rfHermite, 0xAE253BECAC32CC5Cull, 0x5778C84EB4B6694Full, 0x97B25B23D4AEA76Full},
      {rfBell, 0xAE1D00B2EA32C952ull, 0xACE2A993709E3247ull, 0x5E53A67ACB29512Bull},
      {rfBSpline, 0x2066E8FECF389F91ull, 0x887D767A00932C35ull, 0xCE95BBD16DFD3572ull},
      {rfLanczos3, 0x253B4709BD6FA733ull, 0x9577C3E085964C8Full, 0x2AB5FE98D64D644Eull},
      {rfMitchell, 0xEF8BDE4453B3A6AAull, 0xF93A223BF982D494ull, 0xAC2A86DDFEC9826Bull},
      {rfNearest, 0xC98AB397830C425Bull, 0x1E32AFD234BEC5A7ull, 0xDDD1383E3260CD9Eull},
      {rfLinear, 0x3C9A445B597C6047ull, 0xFAB3051EF2B9FD11ull, 0x098F99D95A68925Dull},
      {rfFastLinear, 0x541699A197775474ull, 0x1957279A9C79BC7Bull, 0x272206F466F4B0B4ull},
  };
  for (const auto& P : Pins) {
    uint64_t Colour = 0xCBF29CE484222325ull, Gray = Colour, OneBit = Colour;
    for (const TShape& S : kShapes) {
      auto Src = Source(S.SW, S.SH, ie24RGB);
      TIEBitmap D(S.DW, S.DH, ie24RGB);
      _ResampleEx(Src.get(), &D, P.F, nullptr, nullptr, 2);
      Digest(Colour, &D);
      auto G = Source(S.SW, S.SH, ie8g);
      TIEBitmap DG(S.DW, S.DH, ie8g);
      IEResample8Bit(G.get(), &DG, P.F);
      Digest(Gray, &DG);
      auto B = Source(S.SW, S.SH, ie1g);
      TIEBitmap DB(S.DW, S.DH, ie24RGB);
      _Resample1BitEx(B.get(), &DB, P.F);
      Digest(OneBit, &DB);
    }
    EXPECT_EQ(Colour, P.Colour) << int(P.F);
    EXPECT_EQ(Gray, P.Gray) << int(P.F);
    EXPECT_EQ(OneBit, P.OneBit) << int(P.F);
  }
}

// One axis of the plane walked piece by piece: a piece ends at the next
// source boundary (fraction 1, same destination pixel) or, when that lies
// within 0.0001 before the destination boundary or beyond it, at the
// destination boundary (fraction = boundary - source index).
struct TAxisWalk {
  int32_t SrcLen;
  double G;
  int32_t Src = 0, Dst = 0;
  double Pos = 0, Bound = G;
  double Len = 0, Frac = 0;
  bool DstEnds = false;
  void Cut() {
    DstEnds = !(Src + 1 + 0.0001 < Bound && Src + 1 < SrcLen);
    if (!DstEnds) {
      Len = Src + 1 - Pos, Frac = 1, Pos = Src + 1;
    } else {
      Len = Bound - Pos, Frac = Bound - Src, Pos = Bound, Bound += G;
    }
  }
  void Next() { DstEnds ? ++Dst : ++Src; }
};

// The area-sampling resampler evaluated as its definition reads: the plane
// cut at every source and destination boundary, each piece adding its area
// times its sample, each destination pixel the mean of its pieces rounded
// halves to even.  Samples are C interleaved channels.
std::vector<double> AreaReference(const std::vector<int32_t>& S, int32_t SW, int32_t SH, int32_t C,
                                  int32_t DW, int32_t DH, bool Bicubic, double Max) {
  const double Gx = double(SW) / DW, Gy = double(SH) / DH;
  const int Mode = Gx < 1 ? (Gy < 1 ? 0 : 1) : (Gy < 1 ? 2 : 3);
  auto At = [&](int32_t x, int32_t y, int32_t c) { return S[(size_t(y) * SW + size_t(x)) * C + size_t(c)]; };
  auto Kernel = [](double D) {
    D = std::fabs(D);
    if (D <= 1) return D * D * D - 2 * D * D + 1;
    if (D <= 2) return -D * D * D + 5 * D * D - 8 * D + 4;
    return 0.0;
  };
  auto Cubic = [&](double A, double B, double P, double Q, double T) {
    const double V = A * Kernel(T + 1) + B * Kernel(T) + P * Kernel(1 - T) + Q * Kernel(2 - T);
    return V < 0 ? 0 : (V > Max ? Max : V);
  };
  std::vector<double> Out(size_t(DW) * DH * C, 0.0);
  for (TAxisWalk V{SH, Gy}; V.Dst < DH; V.Next()) {
    V.Cut();
    const int32_t J = V.Src, Y = V.Dst;
    const double G = V.Frac;
    const int32_t s = J, p = J + 1 < SH ? J + 1 : J, r = J + 2 < SH ? J + 2 : p, q = J > 0 ? J - 1 : J;
    for (TAxisWalk H{SW, Gx}; H.Dst < DW; H.Next()) {
      H.Cut();
      const int32_t x = H.Src, X = H.Dst;
      const double L = H.Frac;
      const int32_t Left = std::max(x - 1, 0), Right = std::min(x + 1, SW - 1),
                    Right2 = x + 2 <= SW - 1 ? x + 2 : Right;
      for (int32_t c = 0; c < C; ++c) {
        double Value;
        auto HCubic = [&](int32_t Row) {
          return Cubic(At(Left, Row, c), At(x, Row, c), At(Right, Row, c), At(Right2, Row, c), L);
        };
        if (Mode == 3) {
          Value = At(x, s, c);
        } else if (!Bicubic) {
          const double Top = (1 - L) * At(x, s, c) + L * At(Right, s, c);
          const double Bottom = (1 - L) * At(x, p, c) + L * At(Right, p, c);
          Value = Mode == 0 ? (1 - G) * Top + G * Bottom
                            : (Mode == 1 ? Top : (1 - G) * At(x, s, c) + G * At(x, p, c));
        } else if (Mode == 1) {
          Value = HCubic(s);
        } else if (Mode == 2) {
          Value = Cubic(At(x, q, c), At(x, s, c), At(x, p, c), At(x, r, c), G);
        } else {
          Value = Cubic(std::nearbyint(HCubic(q)), std::nearbyint(HCubic(s)), std::nearbyint(HCubic(p)),
                        std::nearbyint(HCubic(r)), G);
        }
        Out[(size_t(Y) * DW + size_t(X)) * C + size_t(c)] += H.Len * V.Len * Value;
      }
    }
  }
  const double Norm = double(DW) * DH / (double(SW) * SH);
  for (double& V : Out) V = std::clamp(std::nearbyint(V * Norm), 0.0, Max);
  return Out;
}

std::vector<int32_t> Samples(TIEBitmap* B) {
  const int32_t N = B->GetWidth() * B->GetChannelCount();
  std::vector<int32_t> V;
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t i = 0; i < N; ++i)
      V.push_back(B->GetBitCount() / B->GetChannelCount() == 16
                      ? reinterpret_cast<const uint16_t*>(B->GetScanline(y))[i]
                      : B->GetScanline(y)[i]);
  return V;
}

TEST(ResamplePin, AreaSamplingFollowsItsDefinition) {
  size_t Total = 0, Off = 0;
  for (TIEPixelFormat F : {ie24RGB, ie8g, ie16g, ieRGB48})
    for (bool Bicubic : {false, true})
      for (const TShape& S : kShapes) {
        auto Src = Source(S.SW, S.SH, F);
        TIEBitmap D(S.DW, S.DH, F);
        const bool Wide = F == ie16g || F == ieRGB48;
        if (Wide)
          IEAreaResample16(Src.get(), &D, Bicubic, nullptr, nullptr, 2);
        else
          IEAreaResample8(Src.get(), &D, Bicubic, nullptr, nullptr, 2);
        const std::vector<double> Want = AreaReference(Samples(Src.get()), S.SW, S.SH, Src->GetChannelCount(),
                                                       S.DW, S.DH, Bicubic, Wide ? 65535 : 255);
        const std::vector<int32_t> Got = Samples(&D);
        ASSERT_EQ(Got.size(), Want.size());
        for (size_t i = 0; i < Got.size(); ++i) {
          ASSERT_LE(std::fabs(Got[i] - Want[i]), 1.0)
              << int(F) << " " << Bicubic << " " << S.SW << "x" << S.SH << " -> " << S.DW << "x" << S.DH
              << " sample " << i;
          Off += Got[i] != Want[i];
        }
        Total += Got.size();
      }
  // A consistent bias (truncating instead of rounding, weights that do not
  // sum to one) would move far more than this.
  EXPECT_LE(Off * 200, Total) << Off << " of " << Total << " samples off by one";
  RecordProperty("samples_off_by_one", std::to_string(Off) + " of " + std::to_string(Total));
}

}  // namespace
