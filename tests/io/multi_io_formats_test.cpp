// Documents saved through the multi-image component as PDF, PostScript and
// GIF (the rows' page writers), read back by independent tools; multi-frame
// GIFs loaded through it; the single-image component's GIF, BMP, PDF and
// PostScript files.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "formats/codec_test_helpers.h"
#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/multi_io.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"
#include "views/multi_view.h"

namespace {

using namespace codectest;
using testsupport::HaveTool;
using testsupport::RunCommand;
using testsupport::TempDir;

constexpr int32_t kW = 320, kH = 240;

// A gray ramp and a colour pattern, to sit beside the fax page.
std::unique_ptr<TIEBitmap> GrayPage() {
  auto B = std::make_unique<TIEBitmap>(kW, kH, ie8g);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) B->SetPixel8(x, y, uint8_t((x + y) & 0xFF));
  return B;
}

std::unique_ptr<TIEBitmap> ColourPage() {
  auto B = std::make_unique<TIEBitmap>();
  FillPattern(*B, kW, kH, 200, 7);
  return B;
}

struct MultiIOFormatsTest : ::testing::Test {
  void SetUp() override {
    V = std::make_unique<TFolioMView>(nullptr);
    M = std::make_unique<TFolioMIO>(nullptr);
    M->SetAttachedMView(V.get());
  }
  void TearDown() override {
    M.reset();
    V.reset();
  }

  // Page 0 a Group 4 fax page, page 1 gray, page 2 colour; each page's paper
  // is its own size in points, so 72 dpi renders it pixel for pixel.
  void MakeDocument() {
    Fax = MakeFaxPage(kW, kH, 3);
    std::unique_ptr<TIEBitmap> Pages[] = {std::make_unique<TIEBitmap>(), GrayPage(), ColourPage()};
    Pages[0]->Assign(Fax.get());
    for (int32_t k = 0; k < 3; ++k) {
      const int32_t At = V->AppendImage();
      V->SetIEBitmap(At, Pages[k].get());
      TIOParamsVals* P = M->ParamsOf(At);
      ASSERT_NE(P, nullptr);
      P->PdfPageWidth = P->PsPageWidth = kW;
      P->PdfPageHeight = P->PsPageHeight = kH;
      P->PdfImageCompression = ioPDF_G4FAX;
      P->PsImageCompression = ioPS_G4FAX;
    }
    ASSERT_EQ(M->GetImageCount(), 3);
    TIEBitmap Stored;
    V->CopyToIEBitmap(0, &Stored);
    ASSERT_EQ(Stored.GetPixelFormat(), ie1g) << "the view must keep the fax page as 1 bit";
  }

  std::unique_ptr<TFolioMView> V;
  std::unique_ptr<TFolioMIO> M;
  std::unique_ptr<TIEBitmap> Fax;
  TempDir Dir;
};

TEST_F(MultiIOFormatsTest, ThreePageDocumentAsPdfAndPostScript) {
  if (!HaveTool("gs") || !HaveTool("qpdf") || !HaveTool("pdfinfo"))
    GTEST_SKIP() << "gs, qpdf or pdfinfo missing";
  MakeDocument();
  M->SavePdfFile(Dir.file("doc.pdf"));
  ASSERT_FALSE(M->GetAborting());
  M->SavePsFile(Dir.file("doc.ps"));
  ASSERT_FALSE(M->GetAborting());
  // The stream form writes the same kind of document.
  {
    TFileStream S(Dir.file("stream.pdf"), fmCreate);
    M->SavePagesStream(&S, ioPDF, false);
    ASSERT_FALSE(M->GetAborting());
  }

  for (const char* Pdf : {"doc.pdf", "stream.pdf"}) {
    SCOPED_TRACE(Pdf);
    EXPECT_EQ(RunCommand("qpdf --check '" + Dir.file(Pdf) + "' >/dev/null 2>&1"), 0);
    EXPECT_EQ(RunCommand("pdfinfo '" + Dir.file(Pdf) + "' | grep -q '^Pages: *3$'"), 0);
  }
  for (const char* Doc : {"doc.pdf", "doc.ps"}) {
    SCOPED_TRACE(Doc);
    const std::string Prefix = std::string(Doc) + "-";
    ASSERT_EQ(
        RunCommand("cd '" + Dir.path() + "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -o '" +
                   Prefix + "%d.ppm' " + Doc),
        0);
    // Three pages and no fourth, the fax page exact.
    for (int32_t k = 1; k <= 3; ++k)
      EXPECT_EQ(RunCommand("test -f '" + Dir.file(Prefix + std::to_string(k) + ".ppm") + "'"), 0) << k;
    EXPECT_NE(RunCommand("test -e '" + Dir.file(Prefix + "4.ppm") + "'"), 0);
    ExpectPixelsEqualPnm(Fax.get(), Dir.file(Prefix + "1.ppm"));
  }
}

TEST_F(MultiIOFormatsTest, ThreePageDocumentAsGifLoadsBackFrameForFrame) {
  if (!HaveTool("convert") || !HaveTool("identify")) GTEST_SKIP() << "ImageMagick missing";
  MakeDocument();
  M->SaveGifFile(Dir.file("doc.gif"));
  ASSERT_FALSE(M->GetAborting());
  const std::string File = Dir.file("doc.gif");
  EXPECT_EQ(RunCommand("test \"$(identify '" + File + "' | wc -l)\" = 3"), 0);
  // The looping extension went in after the last frame.
  EXPECT_EQ(RunCommand("grep -q NETSCAPE2.0 '" + File + "'"), 0);
  ASSERT_EQ(RunCommand("convert '" + File + "[0]' '" + Dir.file("g0.pbm") + "'"), 0);
  ExpectPixelsEqualPnm(Fax.get(), Dir.file("g0.pbm"));

  // Read back here: three frames, the fax page exact, the others their size.
  TFolioMView V2(nullptr);
  TFolioMIO M2(nullptr);
  M2.SetAttachedMView(&V2);
  M2.LoadGifFile(File);
  EXPECT_FALSE(M2.GetAborting());
  ASSERT_EQ(V2.GetImageCount(), 3);
  for (int32_t k = 0; k < 3; ++k) {
    TIEBitmap B;
    V2.CopyToIEBitmap(k, &B);
    EXPECT_EQ(B.GetWidth(), kW);
    EXPECT_EQ(B.GetHeight(), kH);
    EXPECT_EQ(M2.ParamsOf(k)->FileFormat, ioGIF);
    if (k == 0) ExpectPixelsEqualPnm(&B, Dir.file("g0.pbm"));
  }
}

// A GIF of three differently drawn frames made by ImageMagick loads as three
// pages through the component, each frame as ImageMagick decodes it.
TEST_F(MultiIOFormatsTest, ImageMagickGifLoadsEveryFrame) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  const std::string File = Dir.file("im.gif");
  ASSERT_EQ(RunCommand("cd '" + Dir.path() +
                       "' && convert -size 60x40 xc:white -fill black -draw 'rectangle 5,5 20,20' f0.ppm && "
                       "convert -size 60x40 xc:white -fill red -draw 'rectangle 30,10 50,30' f1.ppm && "
                       "convert -size 60x40 xc:blue -fill yellow -draw 'circle 30,20 30,5' f2.ppm && "
                       "convert f0.ppm f1.ppm f2.ppm -dispose none im.gif && "
                       "convert im.gif -coalesce c%d.ppm"),
            0);
  M->LoadGifFile(File);
  EXPECT_FALSE(M->GetAborting());
  ASSERT_EQ(V->GetImageCount(), 3);
  for (int32_t k = 0; k < 3; ++k) {
    SCOPED_TRACE(k);
    TIEBitmap B;
    V->CopyToIEBitmap(k, &B);
    B.SetPixelFormat(ie24RGB);
    ExpectPixelsEqualPnm(&B, Dir.file("c" + std::to_string(k) + ".ppm"));
    EXPECT_EQ(M->ParamsOf(k)->FileFormat, ioGIF);
  }
  EXPECT_EQ(IEFileImageCount(File, ioGIF), 3);

  // Not a GIF at all: nothing goes in, and the caller hears of it.
  testsupport::WriteFileBytes(Dir.file("bad.gif"), std::vector<uint8_t>(64, 0x47));
  TFolioMView V2(nullptr);
  TFolioMIO M2(nullptr);
  M2.SetAttachedMView(&V2);
  M2.LoadGifFile(Dir.file("bad.gif"));
  EXPECT_TRUE(M2.GetAborting());
  EXPECT_EQ(V2.GetImageCount(), 0);
}

// The single-image component reads and writes GIF and BMP and writes PDF and
// PostScript through the same rows.
TEST(FolioIOFormats, SingleImagesByExtension) {
  if (!HaveTool("convert") || !HaveTool("gs")) GTEST_SKIP() << "ImageMagick or Ghostscript missing";
  TempDir Dir;
  auto Colour = ColourPage();
  TIEBitmap Image;
  TFolioIO IO(nullptr);
  IO.AttachBitmap(&Image);
  for (const char* Name : {"one.gif", "one.bmp"}) {
    SCOPED_TRACE(Name);
    Image.Assign(Colour.get());
    IO.SaveToFile(Dir.file(Name));
    ASSERT_FALSE(IO.GetAborting());
    ASSERT_EQ(RunCommand("convert '" + Dir.file(Name) + "' '" + Dir.file(std::string(Name) + ".ppm") + "'"),
              0);
    ExpectPixelsEqualPnm(Colour.get(), Dir.file(std::string(Name) + ".ppm"));
    Image.Allocate(1, 1, ie8g);
    IO.LoadFromFile(Dir.file(Name));
    ASSERT_FALSE(IO.GetAborting());
    Image.SetPixelFormat(ie24RGB);
    ExpectPixelsEqualPnm(&Image, Dir.file(std::string(Name) + ".ppm"));
  }
  for (const char* Name : {"one.pdf", "one.ps"}) {
    SCOPED_TRACE(Name);
    Image.Assign(Colour.get());
    IO.GetParams()->PdfPageWidth = IO.GetParams()->PsPageWidth = kW;
    IO.GetParams()->PdfPageHeight = IO.GetParams()->PsPageHeight = kH;
    IO.SaveToFile(Dir.file(Name));
    ASSERT_FALSE(IO.GetAborting());
    EXPECT_EQ(
        RunCommand("cd '" + Dir.path() + "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw -r72 -o '" +
                   std::string(Name) + ".ppm' " + Name),
        0);
    int32_t W = 0, H = 0;
    PnmRgb(Dir.file(std::string(Name) + ".ppm"), W, H);
    EXPECT_EQ(W, kW);
    EXPECT_EQ(H, kH);
  }
}

}  // namespace
