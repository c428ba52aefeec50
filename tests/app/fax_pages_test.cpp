// Faxes as fax software makes them (Ghostscript's fax devices, libtiff's
// tiffcp) go through the window unchanged: opened with the size and both
// resolutions they were stored with, shown at their true shape, and saved
// without an edit as TIFF and as PDF with the same pages.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "app/app_fixture.h"
#include "app/main_form.h"
#include "foundations/image_buffer.h"
#include "io/multi_io.h"
#include "processing/folio_proc.h"
#include "views/folio_view.h"
#include "views/multi_view.h"

using namespace apptest;
namespace fs = std::filesystem;

namespace {

class FaxPages : public TPeerDocumentTest {
 protected:
  std::vector<std::string> Peers() const override {
    return {"gs", "tiffcp", "tiffcmp", "tiffinfo", "pdfimages", "convert", "tiffset"};
  }
};

TEST_F(FaxPages, SavedWithoutAnEditTheyKeepTheirPagesSizesAndResolutions) {
  struct TCase {
    const char* Mode;
    int32_t Height, DpiY;
  };
  for (const TCase& C : {TCase{"fine", 2156, 196}, TCase{"standard", 1078, 98}, TCase{"g3", 2156, 196}}) {
    SCOPED_TRACE(C.Mode);
    Boxes.Seen.clear();
    Choices.Seen.clear();
    const std::string Fax = Dir.file(std::string(C.Mode) + ".tif");
    const std::string Original = Dir.file(std::string(C.Mode) + "-as-made.tif");
    ASSERT_TRUE(MakeGhostscriptFax(Fax, C.Mode));
    fs::copy_file(Fax, Original);
    const std::vector<std::string> Source = PageLines(Original);
    ASSERT_EQ(Source.size(), 6u);
    TAppWindow W({Fax});
    Tform_multipage* F = W.Form;
    ASSERT_EQ(F->PageCount(), 3);
    EXPECT_EQ(F->StatusText(1), "Size: 1728x" + std::to_string(C.Height));
    EXPECT_EQ(F->FolioMIO1->ParamsOf(0)->DpiX, 204);
    EXPECT_EQ(F->FolioMIO1->ParamsOf(0)->DpiY, C.DpiY);
    // Shown at its true shape, the width filling the view.
    EXPECT_DOUBLE_EQ(F->PageView->GetZoomY(), F->PageView->GetZoom() * 204 / C.DpiY);
    EXPECT_EQ(F->StatusText(2), " Zoom: " + std::to_string(int(F->PageView->GetZoom())) + "%");
    EXPECT_EQ(F->GetCaption(), "Folivra 2.2.1 - " + std::string(C.Mode) + ".tif");

    // File > Save: the same pages, pixels, sizes and resolutions.
    W.Click("Save2");
    EXPECT_TRUE(Boxes.Seen.empty()) << Boxes.Seen.front().Text;
    EXPECT_TRUE(Choices.Seen.empty());
    int Status = -1;
    const std::string Diff = Shell("tiffcmp -t " + Quote(Original) + " " + Quote(Fax) + " 2>&1", &Status);
    EXPECT_EQ(Status, 0) << Diff;
    EXPECT_EQ(PageLines(Fax), Source);
    EXPECT_EQ(F->StatusText(4), "Saved " + Fax);

    // As PDF: 1728-wide images placed at the page's true shape.
    const std::string Pdf = Dir.file(std::string(C.Mode) + ".pdf");
    Choices.Answers = {Pdf};
    W.Click("multipagefile1");
    const std::vector<TPdfImage> Images = PdfImages(Pdf);
    ASSERT_EQ(Images.size(), 3u);
    for (const TPdfImage& I : Images) {
      EXPECT_EQ(I.Width, 1728);
      EXPECT_EQ(I.Height, C.Height);
      EXPECT_NEAR(I.XPpi / I.YPpi, 204.0 / C.DpiY, 0.01 * 204.0 / C.DpiY) << I.XPpi << " x " << I.YPpi;
    }
    EXPECT_FALSE(F->GetModified());
  }
}

TEST_F(FaxPages, AQuarterTurnWrittenBackSwapsTheResolutionsInTheFile) {
  // What a rotate command does to the shown page: the view's processing
  // turns it, the window writes it back, the document is saved.
  const std::string Fax = Dir.file("standard.tif");
  ASSERT_TRUE(MakeGhostscriptFax(Fax, "standard"));
  TAppWindow W({Fax});
  Tform_multipage* F = W.Form;
  ASSERT_EQ(F->PageCount(), 3);
  F->PageView->GetProc()->Rotate(90);
  F->WriteBackPage(F->CurrentPage);
  EXPECT_EQ(F->FolioMIO1->ParamsOf(0)->DpiX, 98);
  EXPECT_EQ(F->FolioMIO1->ParamsOf(0)->DpiY, 204);
  // The view shows the turned page at its true shape.
  EXPECT_DOUBLE_EQ(F->PageView->GetZoomY(), F->PageView->GetZoom() * 98 / 204);
  W.Click("Save2");
  const std::vector<std::string> Lines = PageLines(Fax);
  ASSERT_EQ(Lines.size(), 6u);
  EXPECT_NE(Lines[0].find("Image Width: 1078 Image Length: 1728"), std::string::npos) << Lines[0];
  EXPECT_NE(Lines[1].find("Resolution: 98, 204"), std::string::npos) << Lines[1];
  EXPECT_NE(Lines[3].find("Resolution: 204, 98"), std::string::npos) << Lines[3];
}

TEST_F(FaxPages, PagesStoredTurnedComeInUpright) {
  // A page with a mark at its top-left, stored as if turned half round (the
  // file's orientation says row 0 is the bottom, column 0 the right).
  const std::string Tif = Dir.file("turned.tif");
  int Status = -1;
  Shell("convert -size 200x100 xc:white -fill black -draw 'rectangle 0,0 49,19' -density 200 -units PixelsPerInch "
        "-monochrome -compress Group4 " + Quote(Tif) + " && tiffset -s 274 3 " + Quote(Tif),
        &Status);
  ASSERT_EQ(Status, 0);
  TAppWindow W({Tif});
  ASSERT_EQ(W.Form->PageCount(), 1);
  TIEBitmap* Page = W.Form->PageView->GetIEBitmap();
  ASSERT_EQ(Page->GetWidth(), 200);
  ASSERT_EQ(Page->GetHeight(), 100);
  // Upright: the mark shows at the bottom-right.
  auto Black = [&](int32_t X, int32_t Y) { return (Page->GetScanline(Y)[X >> 3] & (0x80 >> (X & 7))) == 0; };
  EXPECT_TRUE(Black(199, 99));
  EXPECT_TRUE(Black(150, 80));
  EXPECT_FALSE(Black(0, 0));
  EXPECT_FALSE(Black(10, 10));
}

}  // namespace
