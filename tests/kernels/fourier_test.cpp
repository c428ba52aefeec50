// The Fourier-transform image: sizes, the transform against a direct DFT,
// the centred zero frequency, the round trip, clearing zones (clipped to the
// square) and refusing squares below 4.
#include "kernels/fourier.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"

namespace {

TEST(Fourier, ReducedAndPowerOfTwoSizes) {
  struct {
    int32_t A, B, NA, NB;
  } Reduced[] = {{900, 300, 300, 100}, {300, 900, 100, 300}, {200, 100, 128, 64}};
  for (const auto& C : Reduced) {
    int32_t NA, NB;
    TIEFtImage::CalcReducedSize(C.A, C.B, NA, NB);
    EXPECT_EQ(NA, C.NA);
    EXPECT_EQ(NB, C.NB);
  }
  struct {
    int32_t A, B, N;
  } Pow2[] = {{3, 1, 4}, {4, 4, 4}, {5, 2, 8}, {300, 200, 512}};
  for (const auto& C : Pow2) {
    int32_t N;
    TIEFtImage::CalcPow2Size(C.A, C.B, N);
    EXPECT_EQ(N, C.N);
  }
}

std::unique_ptr<TIEBitmap> Pattern(int32_t W, int32_t H) {
  auto B = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      B->SetPixel24(x, y, TRGB{uint8_t(x * 16 + y), uint8_t((x ^ y) * 9), uint8_t(255 - y * 7)});
  return B;
}

TEST(Fourier, MatchesADirectTransform) {
  auto B = Pattern(8, 8);
  TIEFtImage FT;
  ASSERT_TRUE(FT.BuildFFT(B.get(), iefftGray));
  ASSERT_EQ(FT.GetSize(), 8);
  // The direct unitary DFT of the normalised, checkerboard-signed gray plane.
  double Plane[8][8], Max = 1;
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 8; ++x) {
      const TRGB P = B->GetPixel24(x, y);
      Plane[y][x] = (P.r * 21 + P.g * 71 + P.b * 8) / 100;
      Max = std::max(Max, Plane[y][x]);
    }
  for (int32_t ky = 0; ky < 8; ++ky)
    for (int32_t kx = 0; kx < 8; ++kx) {
      std::complex<double> S = 0;
      for (int32_t y = 0; y < 8; ++y)
        for (int32_t x = 0; x < 8; ++x) {
          const double V = Plane[y][x] / Max * (((x + y) & 1) ? -1 : 1);
          S += V * std::polar(1.0, -2 * M_PI * (double(kx) * x + double(ky) * y) / 8);
        }
      S /= 8;
      EXPECT_NEAR(FT.GetRe(3, ky, kx), S.real(), 1e-4) << ky << "," << kx;
      EXPECT_NEAR(FT.GetIm(3, ky, kx), S.imag(), 1e-4) << ky << "," << kx;
    }
}

TEST(Fourier, RoundTripAndOffsets) {
  auto B = Pattern(300, 200);
  TIEFtImage FT;
  int32_t Calls = 0;
  FT.OnProgress = [&](TObject* Sender, int32_t) {
    EXPECT_EQ(Sender, &FT);
    ++Calls;
  };
  ASSERT_TRUE(FT.BuildFFT(B.get(), iefftRGB));
  EXPECT_EQ(FT.GetSize(), 512);
  EXPECT_EQ(FT.GetOffsetX(), 106);
  EXPECT_EQ(FT.GetOffsetY(), 156);
  EXPECT_EQ(Calls, 3 * 512);
  TIEBitmap Back;
  FT.GetInverseImage(&Back);
  ASSERT_EQ(Back.GetWidth(), 300);
  ASSERT_EQ(Back.GetHeight(), 200);
  int32_t Worst = 0;
  for (int32_t y = 0; y < 200; ++y)
    for (int32_t x = 0; x < 300; ++x) {
      const TRGB A = B->GetPixel24(x, y), C = Back.GetPixel24(x, y);
      // Each channel comes back stretched to its own maximum of 255.
      Worst = std::max({Worst, std::abs(A.b - C.b), std::abs(A.g - C.g)});
    }
  EXPECT_LE(Worst, 1);
  // The spectrum's brightest cell is the zero frequency at the centre.
  TIEBitmap Spectrum;
  FT.GetSpectrumImage(&Spectrum);
  ASSERT_EQ(Spectrum.GetWidth(), 512);
  EXPECT_EQ(Spectrum.GetPixel24(256, 256).g, 255);
}

TEST(Fourier, ClearingEverythingGivesBlackAndZonesAreClipped) {
  auto B = Pattern(16, 16);
  TIEFtImage FT;
  ASSERT_TRUE(FT.BuildFFT(B.get(), iefftRGB));
  // A mask larger than the square: the part past it is ignored.
  TIEMask Mask;
  ASSERT_TRUE(Mask.AllocateBits(40, 40, 8));
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x) Mask.SetPixel(x, y, 255);
  FT.ClearZone(&Mask, 0, 0);
  TIEBitmap Back;
  FT.GetInverseImage(&Back);
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 16; ++x) {
      const TRGB P = Back.GetPixel24(x, y);
      ASSERT_EQ(P.r + P.g + P.b, 0) << x << "," << y;
    }
}

TEST(Fourier, SquaresBelowFourAreRefused) {
  for (int32_t Size : {1, 2}) {
    TIEBitmap B(Size, Size, ie24RGB);
    TIEFtImage FT;
    EXPECT_FALSE(FT.BuildFFT(&B, iefftRGB));
    EXPECT_FALSE(FT.HasPlanes());
    TIEBitmap Out(5, 5, ie24RGB);
    FT.GetSpectrumImage(&Out);
    EXPECT_EQ(Out.GetWidth(), 5);
  }
  // A 1-bit picture is read through a 24-bit copy.
  TIEBitmap Mono(3, 1, ie1g);
  Mono.Fill(1);
  TIEFtImage FT;
  EXPECT_TRUE(FT.BuildFFT(&Mono, iefftGray));
  EXPECT_EQ(FT.GetSize(), 4);
  EXPECT_EQ(Mono.GetPixelFormat(), ie1g);
}

}  // namespace
