// The resamplers this layer installs into the render paths of the image
// buffer: 1-bit pages averaged into gray (a part of a page too), 24-bit images
// stretched bilinearly, and unfiltered stretches that keep the format.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "foundations/bitmap_render.h"
#include "foundations/image_buffer.h"

namespace {

std::unique_ptr<TIEBitmap> Mem(int32_t W, int32_t H, TIEPixelFormat F) {
  auto B = std::make_unique<TIEBitmap>();
  B->SetLocation(ieMemory);
  EXPECT_TRUE(B->Allocate(W, H, F));
  return B;
}

TEST(RenderResamplers, InstalledAtStartUp) {
  const TIERenderResamplers& R = IEInstalledRenderResamplers();
  EXPECT_NE(R.ResampleEx, nullptr);
  EXPECT_NE(R.Resample1BitBoxGray, nullptr);
  EXPECT_NE(R.BmpStretch, nullptr);
}

TEST(RenderResamplers, OneBitPagesAverageToGrayOverTheAskedRectangle) {
  // Left half black, right half white (set bits are white).
  auto Page = Mem(8, 4, ie1g);
  for (int32_t Y = 0; Y < 4; ++Y) Page->GetScanline(Y)[0] = 0x0F;
  auto Dest = Mem(1, 1, ie24RGB);
  struct Case {
    int32_t X1, Y1, X2, Y2;
    uint8_t Gray;
  };
  // A block reaches half a step to each side of its pixel's centre (limited
  // by the image): averaging columns 0..7 into one pixel takes columns 0..4,
  // one of them white (255 / 5 = 51); columns 4..7 take 2..6 (3 x 255 / 5).
  for (const Case& C : {Case{0, 0, 7, 3, 51}, Case{4, 0, 7, 3, 153}, Case{0, 0, 3, 3, 0},
                        Case{2, 1, 5, 2, 51}, Case{6, -3, 20, 9, 255}}) {
    Dest->Fill(double(0x123456));
    IERenderResample1BitBoxGray(Page.get(), C.X1, C.Y1, C.X2, C.Y2, Dest.get());
    const TRGB P = Dest->GetPixel24(0, 0);
    EXPECT_EQ(P.r, C.Gray) << C.X1 << "," << C.Y1 << "-" << C.X2 << "," << C.Y2;
    EXPECT_EQ(P.g, P.r);
    EXPECT_EQ(P.b, P.r);
  }
}

TEST(RenderResamplers, FilteredColourStretchBlendsAndNearestDoesNot) {
  auto Source = Mem(2, 1, ie24RGB);
  uint8_t* Row = Source->GetScanline(0);
  std::memset(Row, 0, 3);
  std::memset(Row + 3, 255, 3);
  auto Dest = Mem(8, 1, ie24RGB);
  auto HasBlend = [&] {
    for (int32_t X = 0; X < 8; ++X) {
      const uint8_t V = Dest->GetPixel24(X, 0).r;
      if (V != 0 && V != 255) return true;
    }
    return false;
  };
  IERenderResample(Source.get(), Dest.get(), rfFastLinear);
  EXPECT_TRUE(HasBlend());
  IERenderResample(Source.get(), Dest.get(), rfNearest);
  EXPECT_FALSE(HasBlend());
}

TEST(RenderResamplers, UnfilteredStretchKeepsFormatAndPalette) {
  auto Source = Mem(2, 2, ie8p);
  Source->SetPaletteColor(7, TRGB{1, 2, 3});
  for (int32_t Y = 0; Y < 2; ++Y) std::memset(Source->GetScanline(Y), 7, 2);
  auto Dest = Mem(5, 3, ie8p);
  IERenderBmpStretch(Source.get(), Dest.get());
  EXPECT_EQ(Dest->GetScanline(2)[4], 7);
  const TRGB P = Dest->GetPaletteColor(7);
  EXPECT_EQ(P.b, 1);
  EXPECT_EQ(P.g, 2);
  EXPECT_EQ(P.r, 3);
}

}  // namespace
