// PDF writer: multi-page documents checked by qpdf, pdfinfo and Ghostscript.
#include "formats/pdf/pdf_writer.h"

#include <atomic>
#include <gtest/gtest.h>

#include "foundations/image_buffer.h"
#include "formats/tiff/tiff_lzw.h"
#include "platform/rtl/streams.h"
#include "formats/codec_test_helpers.h"

using namespace codectest;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

// A page of each kind: a fax-like 1-bit page, colour, gray, palette.
std::unique_ptr<TIEBitmap> MakePage(TIEPixelFormat Format, int32_t W, int32_t H, uint32_t Seed) {
  auto b = std::make_unique<TIEBitmap>();
  FillPattern(*b, W, H, 180, Seed);
  if (Format == ie1g) {
    b->Allocate(W, H, ie1g);
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* row = b->GetScanline(y);
      for (int32_t x = 0; x < W; ++x)
        if (((x / 9 + y / 7) % 3 != 0) || (x * y) % 31 == 1) row[x / 8] |= uint8_t(0x80 >> (x % 8));
    }
  } else if (Format == ie8g) {
    b->ConvertToPixelFormat(ie8g);
  } else if (Format == ie8p) {
    TIEBitmap p(W, H, ie8p);
    for (int32_t i = 0; i < 256; ++i)
      p.SetPaletteColor(i, TRGB{uint8_t(i * 3), uint8_t(255 - i), uint8_t(i * 7)});
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) p.GetScanline(y)[x] = uint8_t((x * 5 + y * 3 + Seed) % 256);
    b->Assign(&p);
  }
  return b;
}

struct Page {
  TIEPixelFormat Format;
  uint8_t Compression;
  bool Exact;
};

class PdfWriterTest : public ::testing::Test {
 protected:
  // Writes the pages as one document, each page's paper its own pixel size
  // so that a 72 dpi rendering is pixel for pixel.
  void WriteDocument(const std::string& Path, const std::vector<Page>& Pages,
                     std::vector<std::unique_ptr<TIEBitmap>>& Bitmaps) {
    TFileStream f(Path, fmCreate);
    auto doc = PdfBeginDocument(&f);
    int64_t lastSize = f.GetSize();
    for (size_t i = 0; i < Pages.size(); ++i) {
      Bitmaps.push_back(MakePage(Pages[i].Format, 120 + int32_t(i) * 8, 90 + int32_t(i) * 5, uint32_t(i)));
      if (!Pages[i].Exact) {
        // A smooth picture, as JPEG is meant for.
        TIEBitmap& b = *Bitmaps.back();
        for (int32_t y = 0; y < b.GetHeight(); ++y)
          for (int32_t x = 0; x < b.GetWidth(); ++x)
            b.SetPixel24(x, y, TRGB{uint8_t(x * 2), uint8_t(y * 2), 128});
      }
      TIOParamsVals p;
      p.PdfImageCompression = Pages[i].Compression;
      p.PdfPageWidth = Bitmaps.back()->GetWidth();
      p.PdfPageHeight = Bitmaps.back()->GetHeight();
      p.TiffLzwEncoder = TiffLzwEncode;
      std::atomic<bool> aborting{false};
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      PdfAddPage(doc.get(), Bitmaps.back().get(), p, progress);
      ASSERT_FALSE(aborting);
      // The page is in the file as soon as it is added.
      EXPECT_GT(f.GetSize(), lastSize + 50);
      lastSize = f.GetSize();
    }
    TIOParamsVals p;
    p.PdfTitle = "Fax (copy) \xC3\xA9";
    p.PdfProducer = "Folivra";
    PdfEndDocument(doc, p);
  }
  TempDir FDir;
};

TEST_F(PdfWriterTest, MultiPageDocumentsPassQpdfPdfinfoAndGhostscript) {
  if (!testsupport::HaveTool("qpdf") || !testsupport::HaveTool("pdfinfo") || !testsupport::HaveTool("gs"))
    GTEST_SKIP();
  const std::vector<Page> pages = {{ie1g, ioPDF_G4FAX, true},        {ie24RGB, ioPDF_G4FAX, true},
                                   {ie8g, ioPDF_G4FAX, true},        {ie8p, ioPDF_G4FAX, true},
                                   {ie1g, ioPDF_G3FAX2D, true},      {ie1g, ioPDF_RLE, true},
                                   {ie1g, ioPDF_LZW, true},          {ie24RGB, ioPDF_LZW, true},
                                   {ie1g, ioPDF_UNCOMPRESSED, true}, {ie24RGB, ioPDF_UNCOMPRESSED, true},
                                   {ie24RGB, ioPDF_JPEG, false},     {ie1g, ioPDF_JPEG, true}};
  std::vector<std::unique_ptr<TIEBitmap>> bitmaps;
  const std::string path = FDir.file("doc.pdf");
  WriteDocument(path, pages, bitmaps);
  std::string out;
  EXPECT_EQ(RunCommand("qpdf --check '" + path + "' 2>&1", &out), 0) << out;
  ASSERT_EQ(RunCommand("pdfinfo '" + path + "'", &out), 0);
  EXPECT_NE(out.find("Pages:           " + std::to_string(pages.size())), std::string::npos) << out;
  EXPECT_NE(out.find("Title:           Fax (copy) \xC3\xA9"), std::string::npos) << out;
  ASSERT_EQ(RunCommand("cd '" + FDir.path() +
                       "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw "
                       "-r72 -o p%02d.ppm doc.pdf"),
            0);
  for (size_t i = 0; i < pages.size(); ++i) {
    SCOPED_TRACE(i);
    char name[16];
    std::snprintf(name, sizeof name, "p%02d.ppm", int(i + 1));
    if (pages[i].Exact) {
      ExpectPixelsEqualPnm(bitmaps[i].get(), FDir.file(name));
    } else {
      int32_t w = 0, h = 0;
      const std::vector<uint8_t> got = PnmRgb(FDir.file(name), w, h);
      const std::vector<uint8_t> want = RgbBytes(bitmaps[i].get());
      ASSERT_EQ(got.size(), want.size());
      double sum = 0;
      for (size_t k = 0; k < got.size(); ++k) sum += std::abs(int(got[k]) - int(want[k]));
      EXPECT_LT(sum / double(got.size()), 3.0);
    }
  }
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.compare(0, 10, "%PDF-1.4\n%"), 0);
  EXPECT_GE(uint8_t(text[10]), 128);
}

// Two full fax pages in Group 4 at their own size: exact in Ghostscript.
TEST_F(PdfWriterTest, FaxPagesRenderExactly) {
  if (!testsupport::HaveTool("gs") || !testsupport::HaveTool("qpdf")) GTEST_SKIP();
  std::vector<std::unique_ptr<TIEBitmap>> pages;
  {
    TFileStream f(FDir.file("fax.pdf"), fmCreate);
    auto doc = PdfBeginDocument(&f);
    for (uint32_t i = 0; i < 2; ++i) {
      pages.push_back(MakeFaxPage(1728, 2200, i));
      TIOParamsVals p;  // Group 4 by default
      p.PdfPageWidth = 1728;
      p.PdfPageHeight = 2200;
      std::atomic<bool> aborting{false};
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      PdfAddPage(doc.get(), pages.back().get(), p, progress);
      ASSERT_FALSE(aborting);
    }
    TIOParamsVals p;
    PdfEndDocument(doc, p);
  }
  // Coded, not stored: two raw pages would take 950400 bytes.
  EXPECT_LT(testsupport::ReadFileBytes(FDir.file("fax.pdf")).size(), 600000u);
  EXPECT_EQ(RunCommand("qpdf --check '" + FDir.file("fax.pdf") + "' >/dev/null 2>&1"), 0);
  ASSERT_EQ(RunCommand("cd '" + FDir.path() +
                       "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pbmraw "
                       "-r72 -o f%d.pbm fax.pdf"),
            0);
  for (size_t i = 0; i < 2; ++i)
    ExpectPixelsEqualPnm(pages[i].get(), FDir.file("f" + std::to_string(i + 1) + ".pbm"));
}

// A page scaled onto A4 (the default paper) sits at the top-left corner.
TEST_F(PdfWriterTest, PagePlacedTopLeftOnPaper) {
  if (!testsupport::HaveTool("gs")) GTEST_SKIP();
  TIEBitmap b(100, 50, ie1g);
  b.Fill(0.0);  // black
  TIOParamsVals p;
  {
    TFileStream f(FDir.file("a4.pdf"), fmCreate);
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    PdfWriteStream(&f, &b, p, progress);
    ASSERT_FALSE(aborting);
  }
  ASSERT_EQ(RunCommand("cd '" + FDir.path() +
                       "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pgmraw "
                       "-r72 -o a4.pgm a4.pdf"),
            0);
  int32_t w = 0, h = 0;
  const std::vector<uint8_t> px = PnmRgb(FDir.file("a4.pgm"), w, h);
  ASSERT_EQ(w, 595);
  ASSERT_EQ(h, 842);
  // The image scaled to 595 x 297 points: black above row 297, white below.
  EXPECT_EQ(px[size_t(10 * w + 10) * 3], 0);
  EXPECT_EQ(px[size_t(290 * w + 590) * 3], 0);
  EXPECT_EQ(px[size_t(300 * w + 10) * 3], 255);
}

}  // namespace
