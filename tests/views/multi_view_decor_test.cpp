// How the page list decorates its cells: cell frames, the narrowing draw
// event, rounded corners, the soft shadow, images served by ID and the
// thumbnail hints given to loads.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <tuple>

#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/multi_io.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/vcl/forms.h"
#include "support/avi_writer.h"
#include "support/test_support.h"
#include "foundations/image_store.h"
#include "views/multi_view.h"

namespace {

std::unique_ptr<TIEBitmap> Solid(int32_t W, int32_t H, uint8_t R, uint8_t G, uint8_t B) {
  auto Bm = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) Bm->SetPixel24(x, y, TRGB{B, G, R});
  return Bm;
}

constexpr TColor kBack = TColor(0x00102030), kCell = TColor(0x00405060);
constexpr TColor kPicture = TColor(0x00C86400);  // red 0, green 100, blue 200

// One view of 40 x 40 cells, border 6, flat, on a form with a window; every
// entry holds a 40 x 40 picture of kPicture.
class DecorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Form = std::make_unique<TForm>(nullptr);
    Form->SetBounds(0, 0, 400, 400);
    V = new TFolioMView(Form.get());
    V->SetParent(Form.get());
    V->SetBorderStyle(bsNone);
    V->SetBounds(0, 0, 200, 200);
    V->SetScrollBars(ssNone);
    V->HandleNeeded();
    V->SetThumbWidth(40);
    V->SetThumbHeight(40);
    V->SetHorizBorder(6);
    V->SetVertBorder(6);
    V->SetGridWidth(2);
    V->SetStyle(iemsFlat);
    V->SetBackground(kBack);
    V->SetThumbnailsBackground(kCell);
    V->SetSelectionRounded(false);
    V->SetSelectionColor(TColor(0x000000FF));
  }
  void Fill(int32_t Count) {
    for (int32_t i = 0; i < Count; ++i) {
      V->InsertImageNoSelect(i);
      auto B = Solid(40, 40, 0, 100, 200);
      V->SetIEBitmap(i, B.get());
    }
  }
  void PaintNow() {
    V->Invalidate();
    V->TCustomControl::Update();
  }
  TColor Pixel(int32_t X, int32_t Y) { return V->GetFrontBuffer()->GetPixelColor(X, Y); }

  testsupport::TempDir Dir;
  std::unique_ptr<TForm> Form;
  TFolioMView* V = nullptr;  // owned by the form
};

TEST_F(DecorTest, CellFramesHoldThePictureInTheirInnerPartAndReplaceTheSelectionFrame) {
  Fill(2);
  auto Normal = Solid(10, 10, 255, 0, 0), Selected = Solid(10, 10, 0, 255, 0);
  V->SetCellFrame(Normal.get(), Selected.get(), TRect{5, 5, 35, 35});
  V->SetSelectedImage(1);
  PaintNow();
  // Entry 0 at (6, 6) on the normal frame, entry 1 at (52, 6) on the selected one.
  EXPECT_EQ(Pixel(6 + 1, 6 + 1), TColor(0x000000FF));
  EXPECT_EQ(Pixel(52 + 1, 6 + 1), TColor(0x0000FF00));
  EXPECT_EQ(Pixel(52 + 38, 6 + 38), TColor(0x0000FF00));
  // The picture fills the inner 30 x 30 part only.
  EXPECT_EQ(Pixel(6 + 5, 6 + 5), kPicture);
  EXPECT_EQ(Pixel(6 + 34, 6 + 34), kPicture);
  EXPECT_EQ(Pixel(6 + 35, 6 + 20), TColor(0x000000FF));
  // No selection outline around the framed cell.
  EXPECT_EQ(Pixel(52 - 1, 6 + 20), kBack);

  // One frame alone is no frame: the cell is plain and the outline is back.
  V->SetCellFrame(Normal.get(), nullptr, TRect{5, 5, 35, 35});
  PaintNow();
  EXPECT_EQ(Pixel(6 + 1, 6 + 1), kPicture);
  EXPECT_EQ(Pixel(52 - 1, 6 + 20), TColor(0x000000FF));
}

TEST_F(DecorTest, TheDrawEventNarrowsTheCellAndTheLaterEventsSeeIt) {
  Fill(2);
  V->SetSelectedImage(0);
  V->SetFillThumbnail(false);
  TPoint Seen{-1, -1};
  V->OnBeforeImageDrawEx = [](TObject*, int32_t, int32_t, int32_t, TBitmap*, TRect& R) {
    R = TRect{10, 10, 30, 30};
  };
  V->OnImageDraw = [&](TObject*, int32_t idx, int32_t L, int32_t T, TCanvas*) {
    if (idx == 0) Seen = TPoint{L, T};
  };
  PaintNow();
  EXPECT_EQ(Seen.X, 6 + 10);
  EXPECT_EQ(Seen.Y, 6 + 10);
  EXPECT_EQ(Pixel(6 + 10, 6 + 10), kPicture);
  EXPECT_EQ(Pixel(6 + 29, 6 + 29), kPicture);
  EXPECT_EQ(Pixel(6 + 9, 6 + 20), kBack);
  EXPECT_EQ(Pixel(6 + 30, 6 + 20), kBack);
  // The handler draws its own selection: the view adds none.
  EXPECT_EQ(Pixel(6 + 9, 6 + 9), kBack);
  EXPECT_EQ(Pixel(6 - 1, 6 + 20), kBack);
}

TEST_F(DecorTest, RoundedCornersShowTheCellThroughAndLeaveTheStoredImageAlone) {
  Fill(1);
  V->SetCornerDivisor(4);  // corners of 10 x 10
  for (int Paint = 0; Paint < 2; ++Paint) {  // the second paint draws the display copy
    PaintNow();
    EXPECT_EQ(Pixel(6, 6), kCell) << Paint;
    EXPECT_EQ(Pixel(6 + 39, 6), kCell) << Paint;
    EXPECT_EQ(Pixel(6, 6 + 39), kCell) << Paint;
    EXPECT_EQ(Pixel(6 + 39, 6 + 39), kCell) << Paint;
    EXPECT_EQ(Pixel(6 + 20, 6), kPicture) << Paint;
    EXPECT_EQ(Pixel(6, 6 + 20), kPicture) << Paint;
    EXPECT_EQ(Pixel(6 + 20, 6 + 20), kPicture) << Paint;
  }
  EXPECT_TRUE(V->HasDisplayCopy(0));
  TIEBitmap* Stored = V->GetIEBitmap(0);
  ASSERT_NE(Stored, nullptr);
  EXPECT_FALSE(Stored->HasAlphaChannel());
  V->ReleaseBitmap(0);
}

TEST_F(DecorTest, TheSoftShadowKeepsThePictureSizeAndShrinksTheImageInsideIt) {
  Fill(1);
  V->GetSoftShadow().Enabled = true;
  V->Update();
  PaintNow();
  // Radius 3 and offsets 3 grow a 40 x 40 picture to 61 x 61; brought back
  // to 40 x 40 the image lies at (6, 6)-(33, 33).
  const TRect R = V->GetImageRect(0);
  EXPECT_EQ(R.Left, 6);
  EXPECT_EQ(R.Top, 6);
  EXPECT_EQ(R.Right, 33);
  EXPECT_EQ(R.Bottom, 33);
  EXPECT_EQ(Pixel(6 + 18, 6 + 18), kPicture);
  // The shadow darkens the cell below and right of the image, not above-left.
  const TColor Below = Pixel(6 + 34, 6 + 34);
  EXPECT_NE(Below, kCell);
  EXPECT_LT(Below & 0xFF, kCell & 0xFF);
  EXPECT_EQ(Pixel(6 + 1, 6 + 1), kCell);
}

TEST_F(DecorTest, ImagesServedByIdAreAskedForWhenShown) {
  // (served as a GUI bitmap, served as a library bitmap)
  for (const bool Ex : {false, true}) {
    V->Clear();
    V->InsertImageNoSelect(0);
    V->SetImageID(0, 7);
    EXPECT_FALSE(V->HasImage(0));
    int32_t Asked = -1;
    auto Served = Solid(40, 40, 0, 100, 200);
    TBitmap Gui;
    Gui.SetPixelFormat(pf24bit);
    Gui.SetSize(40, 40);
    Gui.GetCanvas()->GetBrush()->SetColor(kPicture);
    Gui.GetCanvas()->FillRect(TRect{0, 0, 40, 40});
    V->OnImageIDRequest = nullptr;
    V->OnImageIDRequestEx = nullptr;
    if (Ex)
      V->OnImageIDRequestEx = [&](TObject*, int32_t ID, TIEBitmap*& B) {
        Asked = ID;
        B = Served.get();
      };
    else
      V->OnImageIDRequest = [&](TObject*, int32_t ID, TBitmap*& B) {
        Asked = ID;
        B = &Gui;
      };
    PaintNow();
    EXPECT_EQ(Asked, 7) << Ex;
    EXPECT_TRUE(V->HasImage(0)) << Ex;
    EXPECT_EQ(Pixel(6 + 20, 6 + 20), kPicture) << Ex;
  }
  V->OnImageIDRequest = nullptr;
  V->OnImageIDRequestEx = nullptr;
}

// Thumbnail loads of small cells ask for embedded previews; the orientation
// follows AutoOrient in both store types.
TEST_F(DecorTest, LoadsGetTheThumbnailHints) {
  const std::string File = Dir.file("p.bmp");
  {
    auto B = Solid(30, 20, 1, 2, 3);
    auto IO = TFolioIO::CreateFromBitmap(B.get());
    IO->SaveToFile(File);
    ASSERT_FALSE(IO->GetAborting());
  }
  // (store type, cell side, prefer embedded, auto orient) -> embedded preview asked
  const std::tuple<TIEStoreType, int32_t, bool, bool, bool> Cases[] = {
      {ietThumb, 100, true, false, true},
      {ietThumb, 100, false, true, false},
      {ietThumb, 201, true, false, false},
      {ietNormal, 100, true, true, false},
  };
  for (const auto& [Store, Side, Prefer, Orient, Embedded] : Cases) {
    V->Clear();
    V->SetStoreType(Store);
    V->SetThumbWidth(Side);
    V->SetThumbHeight(Side);
    V->SetPreferEmbeddedThumbs(Prefer);
    V->SetAutoOrient(Orient);
    V->InsertImageNoSelect(0);
    V->SetImageFromFile(0, File, 0);
    const TIOParamsVals* P = V->GetMIO()->ParamsOf(0);
    ASSERT_NE(P, nullptr);
    EXPECT_EQ(P->JpegLoadExifThumbnail, Embedded) << Side << Prefer;
    EXPECT_EQ(P->RawLoadThumbnail, Embedded) << Side << Prefer;
    EXPECT_EQ(P->JpegApplyOrientation, Orient) << Side << Prefer;
  }
}

// A video fills the list with one entry per frame; each frame is grabbed
// when shown and plays for the video's frame time.
TEST_F(DecorTest, VideoFramesFillTheListAndLoadWhenShown) {
  const testsupport::TVideoFrames Video = testsupport::MakeTestFrames(16, 12, 5);
  const std::string File = Dir.file("v.avi");
  testsupport::WriteFileBytes(File, testsupport::MakeAvi(Video, 30000, 1001));
  V->SetThreadPoolSize(0);
  V->FillFromFileFrames(File);
  ASSERT_EQ(V->GetImageCount(), 5);
  EXPECT_EQ(V->GetDeferredFileName(3), File + "::3");
  EXPECT_FALSE(V->HasImage(3));
  PaintNow();
  for (int32_t i = 0; i < 5; ++i) {
    EXPECT_TRUE(V->HasImage(i)) << i;
    EXPECT_EQ(V->GetImageDelayTime(i), 33) << i;
  }
  EXPECT_EQ(V->GetFrameReaderCount(), 1);
  TIEBitmap* B = V->GetIEBitmap(2);
  ASSERT_NE(B, nullptr);
  ASSERT_EQ(B->GetWidth(), 16);
  // Frame 2's marker square starts at column 2.
  EXPECT_EQ(B->GetPixelRGB(2, 1).g, 255);
  EXPECT_NE(B->GetPixelRGB(1, 1).g, 255);
  V->ReleaseBitmap(2);
}

}  // namespace

namespace {

TEST_F(DecorTest, PicturesOfPagesWithUnequalResolutionsKeepTheirTrueShape) {
  // A 40 x 20 picture whose rows stand twice as high as its columns are wide
  // (100 x 50 DPI) is square on paper: it fills the whole 40 x 40 cell, on
  // the first paint and from the display copy alike.
  for (int32_t i = 0; i < 2; ++i) {
    V->InsertImageNoSelect(i);
    auto B = Solid(40, 20, 0, 100, 200);
    V->SetIEBitmap(i, B.get());
  }
  V->OnImagePixelAspect = [](TObject*, int32_t idx, double& Aspect) { Aspect = idx == 0 ? 2.0 : 1.0; };
  for (int Paint = 0; Paint < 2; ++Paint) {
    PaintNow();
    EXPECT_EQ(Pixel(6, 6), kPicture) << Paint;
    EXPECT_EQ(Pixel(6 + 39, 6 + 39), kPicture) << Paint;
    // Square pixels: the 40 x 20 picture sits in the middle of its cell.
    EXPECT_EQ(Pixel(52 + 20, 6 + 5), kCell) << Paint;
    EXPECT_EQ(Pixel(52 + 20, 6 + 20), kPicture) << Paint;
  }
  EXPECT_TRUE(V->HasDisplayCopy(0));
  // The copy made on request has the same shape.
  V->ClearImageCache(0);
  ASSERT_TRUE(V->MakeDisplayCopy(0));
  TIEBitmap Copy;
  ASSERT_TRUE(V->GetCacheList()->CopyToBitmap(V->GetCacheList()->GetMappedImages().back(), &Copy));
  EXPECT_EQ(Copy.GetWidth(), 40);
  EXPECT_EQ(Copy.GetHeight(), 40);
  // Answers that are no shape count as square.
  V->OnImagePixelAspect = [](TObject*, int32_t, double& Aspect) { Aspect = -3; };
  EXPECT_EQ(V->GetImagePixelAspect(0), 1.0);
}

}  // namespace
