// The page operations of the processing component: skew detection as a pure
// analysis, cleaning that refuses pages that are not black and white, crop
// (checked pixel for pixel against Pillow and ImageMagick), auto-crop, fills
// and the bucket fill through a selection, and the Fourier operations.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "kernels/fourier.h"
#include "processing/folio_proc.h"
#include "processing/selection_view.h"
#include "support/peer_fixture.h"
#include "support/pnm_image.h"

namespace {

using proctest::TSelectionView;

std::vector<uint8_t> Rows(TIEBitmap* B) {
  std::vector<uint8_t> V;
  const int64_t N = (int64_t(B->GetWidth()) * B->GetBitCount() + 7) / 8;
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* R = B->GetScanline(y);
    V.insert(V.end(), R, R + N);
  }
  V.push_back(uint8_t(B->GetPixelFormat()));
  return V;
}

void LinesPage(TIEBitmap* B, double Degrees) {
  B->Fill(1);
  const double Slope = std::tan(Degrees * M_PI / 180);
  for (int32_t y0 = -B->GetHeight(); y0 < 2 * B->GetHeight(); y0 += 16)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const int32_t y = y0 + int32_t(std::lround(x * Slope));
      if (y >= 0 && y < B->GetHeight()) B->GetScanline(y)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
    }
}

TEST(PageOps, SkewDetectionNeverChangesThePage) {
  TSelectionView View(600, 400, ie1g);
  LinesPage(&View.Image, 2);
  TFolioProc Proc(&View);
  Proc.SetAttachedFolio(&View);
  Proc.SetUndoLimit(5);
  const auto Before = Rows(&View.Image);
  int32_t Finished = 0;
  Proc.OnFinishWork = [&](TObject*) { ++Finished; };
  bool Found = false;
  EXPECT_NEAR(Proc.DetectSkewAngle(300, 15, 0.1, true, &Found), 2, 0.3);
  EXPECT_TRUE(Found);
  EXPECT_EQ(Rows(&View.Image), Before);
  EXPECT_EQ(Proc.UndoCount(), 0);
  EXPECT_EQ(Finished, 1);
  // A selection is measured on its own box.
  View.Select(100, 100, 499, 299);
  EXPECT_NEAR(Proc.DetectSkewAngle(0, 15, 0.1, false, &Found), 2, 0.2);
  EXPECT_EQ(Rows(&View.Image), Before);
  // A blank page: nothing found, 0, never -90.
  View.Deselect();
  View.Image.Fill(1);
  EXPECT_EQ(Proc.DetectSkewAngle(300, 15, 0.1, true, &Found), 0.0);
  EXPECT_FALSE(Found);
  // A gray page stays gray.
  View.Image.Allocate(200, 100, ie8g);
  View.Image.Fill(200);
  Proc.DetectSkewAngle(0, 15, 0.1, true, &Found);
  EXPECT_EQ(View.Image.GetPixelFormat(), ie8g);
  EXPECT_FALSE(Found);
}

TEST(PageOps, CleaningRefusesPagesThatAreNotBlackAndWhite) {
  for (TIEPixelFormat F : {ie24RGB, ie8g}) {
    TSelectionView View(20, 20, F);
    View.Image.Fill(F == ie8g ? 128 : double(0x808080));
    TFolioProc Proc(&View);
    Proc.SetAttachedFolio(&View);
    Proc.SetUndoLimit(5);
    const auto Before = Rows(&View.Image);
    Proc.RemoveNoise(2, false);
    Proc.RemoveIsolatedPixels(0, 3);
    EXPECT_EQ(Rows(&View.Image), Before) << int(F);
    EXPECT_EQ(Proc.UndoCount(), 0);
  }
}

TEST(PageOps, CleaningThroughTheSelection) {
  TSelectionView View(20, 10, ie1g);
  View.Image.Fill(1);
  for (int32_t x : {3, 15}) View.Image.GetScanline(5)[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  TFolioProc Proc(&View);
  Proc.SetAttachedFolio(&View);
  Proc.SetUndoLimit(5);
  Proc.RemoveIsolatedPixels(0, 0);  // size 0: nothing at all
  EXPECT_EQ(Proc.UndoCount(), 0);
  View.Select(0, 0, 9, 9);
  Proc.RemoveIsolatedPixels(0, 1);
  EXPECT_EQ(Proc.GetUndoCaption(0), "RemoveIsolatedPixels 0, 1");
  EXPECT_EQ(View.Image.GetPixelRGB(3, 5).r, 255);  // inside: removed
  EXPECT_EQ(View.Image.GetPixelRGB(15, 5).r, 0);   // outside: kept
  View.Select(10, 0, 19, 9);
  Proc.RemoveNoise(2, false);
  EXPECT_EQ(Proc.GetUndoCaption(0), "RemoveNoise");
  EXPECT_EQ(View.Image.GetPixelRGB(15, 5).r, 255);
}

class CropPeers : public testsupport::PeerToolTest {};

TEST_F(CropPeers, CropMatchesPillowAndImageMagickPixelForPixel) {
  const bool HavePillow = testsupport::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
  if (!HavePillow || !Have("convert")) GTEST_SKIP() << "needs Pillow and ImageMagick";
  testsupport::PnmImage In;
  In.Kind = '6';
  In.Width = 37;
  In.Height = 23;
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 37; ++x) In.Data.insert(In.Data.end(), {uint8_t(x * 7), uint8_t(y * 11), uint8_t(x ^ y)});
  testsupport::WriteFileBytes(File("in.ppm"), testsupport::FormatPnm(In));
  struct {
    int32_t X1, Y1, X2, Y2;  // asked
    int32_t L, T, R, B;      // after clipping
  } Cases[] = {{5, 3, 20, 14, 5, 3, 20, 14}, {0, 0, 0, 0, 0, 0, 0, 0}, {-4, -9, 10, 50, 0, 0, 10, 22},
               {30, 20, 99, 99, 30, 20, 36, 22}};
  for (const auto& C : Cases) {
    TIEBitmap B(37, 23, ie24RGB);
    for (int32_t y = 0; y < 23; ++y)
      for (int32_t x = 0; x < 37; ++x) B.SetPixel24(x, y, TRGB{uint8_t(x ^ y), uint8_t(y * 11), uint8_t(x * 7)});
    auto Proc = TFolioProc::CreateFromBitmap(&B);
    Proc->Crop(C.X1, C.Y1, C.X2, C.Y2);
    const int32_t W = C.R - C.L + 1, H = C.B - C.T + 1;
    ASSERT_EQ(B.GetWidth(), W);
    ASSERT_EQ(B.GetHeight(), H);
    Run("/usr/bin/python3 -c \"from PIL import Image; Image.open('" + File("in.ppm") + "').crop((" +
        std::to_string(C.L) + "," + std::to_string(C.T) + "," + std::to_string(C.R + 1) + "," +
        std::to_string(C.B + 1) + ")).save('" + File("pil.ppm") + "')\"");
    Run("convert " + File("in.ppm") + " -crop " + std::to_string(W) + "x" + std::to_string(H) + "+" +
        std::to_string(C.L) + "+" + std::to_string(C.T) + " +repage " + File("im.ppm"));
    ASSERT_FALSE(HasFatalFailure());
    for (const char* Peer : {"pil.ppm", "im.ppm"}) {
      const auto P = testsupport::ParsePnm(testsupport::ReadFileBytes(File(Peer)));
      ASSERT_EQ(P.Width, W) << Peer;
      ASSERT_EQ(P.Height, H) << Peer;
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x) {
          const TRGB Px = B.GetPixel24(x, y);
          const uint8_t* Q = &P.Data[(size_t(y) * W + x) * 3];
          ASSERT_TRUE(Px.r == Q[0] && Px.g == Q[1] && Px.b == Q[2]) << Peer << " " << x << "," << y;
        }
    }
  }
}

TEST(PageOps, CropRefusesEmptyAndReversedRectanglesAndKeepsAlpha) {
  TIEBitmap B(10, 8, ie8g);
  for (int32_t y = 0; y < 8; ++y)
    for (int32_t x = 0; x < 10; ++x) B.SetPixel8(x, y, uint8_t(y * 10 + x));
  B.GetAlphaChannel()->SetPixel8(4, 3, 7);
  TFolioProc Proc(nullptr);
  Proc.SetAttachedBitmap(&B);
  Proc.SetAutoUndo(true);
  Proc.SetUndoLimit(5);
  struct {
    int32_t X1, Y1, X2, Y2;
  } Refused[] = {{5, 5, 4, 6}, {3, 6, 5, 2}, {20, 0, 30, 7}, {0, -5, 9, -1}, {0, 0, 9, 7}};
  for (const auto& R : Refused) {
    Proc.Crop(R.X1, R.Y1, R.X2, R.Y2);
    EXPECT_EQ(B.GetWidth(), 10);
    EXPECT_EQ(B.GetHeight(), 8);
  }
  EXPECT_EQ(Proc.UndoCount(), 0);
  Proc.Crop(2, 1, 6, 4);
  EXPECT_EQ(Proc.GetUndoCaption(0), "Crop 2, 1, 6, 4");
  ASSERT_EQ(B.GetWidth(), 5);
  ASSERT_EQ(B.GetHeight(), 4);
  EXPECT_EQ(B.GetPixel8(0, 0), 12);
  ASSERT_TRUE(B.HasAlphaChannel());
  EXPECT_EQ(B.GetAlphaChannel()->GetWidth(), 5);
  EXPECT_EQ(B.GetAlpha(2, 2), 7);
  EXPECT_EQ(B.GetAlpha(0, 0), 255);
}

TEST(PageOps, AutoCropTrimsBordersAndRefusesBlackPages) {
  TIEBitmap B(40, 30, ie1g);
  B.Fill(1);
  B.FillRect(0, 0, 39, 2, 0);
  B.FillRect(36, 0, 39, 29, 0);
  TFolioProc Proc(nullptr);
  Proc.SetAttachedBitmap(&B);
  TRect R{-1, -1, -1, -1};
  EXPECT_FALSE(Proc.AutoCrop(true, R, 0));
  EXPECT_EQ(R, (TRect{-1, -1, -1, -1}));
  ASSERT_TRUE(Proc.AutoCrop(true, R, 2));
  EXPECT_EQ(R, (TRect{0, 3, 35, 29}));
  EXPECT_EQ(B.GetWidth(), 36);
  EXPECT_EQ(B.GetHeight(), 27);
  B.Fill(0);
  R = TRect{-1, -1, -1, -1};
  EXPECT_FALSE(Proc.AutoCrop(true, R, 2));
  EXPECT_EQ(B.GetWidth(), 36);
  EXPECT_EQ(R, (TRect{-1, -1, -1, -1}));
}

TEST(PageOps, FillAndCastColourThroughTheSelection) {
  TSelectionView View(12, 10, ie1g);
  View.Image.Fill(1);
  TFolioProc Proc(&View);
  Proc.SetAttachedFolio(&View);
  Proc.SetUndoLimit(5);
  View.Select(2, 2, 5, 5);
  Proc.Fill(TRGB{0, 255, 0});  // red 0 paints black on a 1-bit page
  EXPECT_EQ(Proc.GetUndoCaption(0), "Fill (0, 255, 0)");
  EXPECT_EQ(View.Image.GetPixelFormat(), ie1g);
  EXPECT_EQ(View.Image.GetPixelRGB(3, 3).r, 0);
  EXPECT_EQ(View.Image.GetPixelRGB(6, 6).r, 255);
  // The bucket fill at a point of the page inside the selection paints the
  // region under that point, limited to the selection.
  View.Select(4, 4, 9, 9);
  Proc.CastColor(8, 8, TRGB{0, 0, 255}, 0);
  EXPECT_EQ(Proc.GetUndoCaption(0), "CastColor");
  ASSERT_EQ(View.Image.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(View.Image.GetPixel24(8, 8).r, 255);
  EXPECT_EQ(View.Image.GetPixel24(8, 8).g, 0);
  EXPECT_EQ(View.Image.GetPixel24(4, 4).g, 0);     // black square: other colour
  EXPECT_EQ(View.Image.GetPixel24(11, 9).g, 255);  // outside the selection
}

TEST(PageOps, FourierOperationsWriteTheImage) {
  TIEBitmap Src(20, 10, ie24RGB);
  Src.Fill(double(0x204080));
  TIEFtImage FT;
  ASSERT_TRUE(FT.BuildFFT(&Src, iefftRGB));
  TIEBitmap B(3, 3, ie1g);
  TFolioProc Proc(nullptr);
  Proc.SetAttachedBitmap(&B);
  Proc.FFTSpectrumToImage(&FT);
  EXPECT_EQ(B.GetWidth(), 32);
  EXPECT_EQ(B.GetPixelFormat(), ie24RGB);
  Proc.InverseFFTToImage(&FT);
  EXPECT_EQ(B.GetWidth(), 20);
  EXPECT_EQ(B.GetHeight(), 10);
  TIEFtImage Empty;
  Proc.FFTSpectrumToImage(&Empty);
  EXPECT_EQ(B.GetWidth(), 20);
}

}  // namespace
