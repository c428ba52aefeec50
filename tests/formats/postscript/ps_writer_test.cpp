// PostScript writer: multi-page documents rendered by Ghostscript, and the
// document structure comments.
#include "formats/postscript/ps_writer.h"

#include <atomic>
#include <gtest/gtest.h>

#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"
#include "formats/codec_test_helpers.h"

using namespace codectest;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

std::unique_ptr<TIEBitmap> MakePsPage(TIEPixelFormat Format, int32_t W, int32_t H, uint32_t Seed) {
  auto b = std::make_unique<TIEBitmap>();
  FillPattern(*b, W, H, 150, Seed);
  if (Format == ie1g) {
    b->Allocate(W, H, ie1g);
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x)
        if ((x / 5 + y / 3 + Seed) % 4 != 0 || (x * y) % 29 == 3)
          b->GetScanline(y)[x / 8] |= uint8_t(0x80 >> (x % 8));
  } else if (Format == ie8g) {
    b->ConvertToPixelFormat(ie8g);
  } else if (Format == ie8p) {
    TIEBitmap p(W, H, ie8p);
    for (int32_t i = 0; i < 256; ++i)
      p.SetPaletteColor(i, TRGB{uint8_t(i * 5), uint8_t(i), uint8_t(255 - i * 3)});
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) p.GetScanline(y)[x] = uint8_t((x * 3 + y * 7 + Seed) % 256);
    b->Assign(&p);
  }
  return b;
}

TEST(PsWriterTest, MultiPageDocumentsRenderInGhostscript) {
  if (!testsupport::HaveTool("gs")) GTEST_SKIP();
  TempDir dir;
  struct Page {
    TIEPixelFormat Format;
    uint8_t Compression;
  } pages[] = {{ie1g, ioPS_G4FAX},   {ie24RGB, ioPS_G4FAX}, {ie8g, ioPS_G4FAX},  {ie8p, ioPS_G4FAX},
               {ie1g, ioPS_G3FAX2D}, {ie1g, ioPS_RLE},      {ie24RGB, ioPS_RLE}, {ie1g, ioPS_JPEG}};
  std::vector<std::unique_ptr<TIEBitmap>> bitmaps;
  const std::string path = dir.file("doc.ps");
  {
    TFileStream f(path, fmCreate);
    TIOParamsVals first;
    auto doc = PsBeginDocument(&f, first);
    for (size_t i = 0; i < std::size(pages); ++i) {
      bitmaps.push_back(MakePsPage(pages[i].Format, 100 + int32_t(i) * 6, 70 + int32_t(i) * 4, uint32_t(i)));
      TIOParamsVals p;
      p.PsImageCompression = pages[i].Compression;
      p.PsPageWidth = bitmaps.back()->GetWidth();
      p.PsPageHeight = bitmaps.back()->GetHeight();
      std::atomic<bool> aborting{false};
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      PsAddPage(doc.get(), &f, bitmaps.back().get(), p, progress);
      ASSERT_FALSE(aborting);
    }
    PsEndDocument(doc, &f);
  }
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_NE(text.find("%%Pages: " + std::to_string(std::size(pages)) + "     \r\n"), std::string::npos);
  // Every %%BeginData count is the number of bytes up to %%EndData.
  int32_t blocks = 0;
  for (size_t at = text.find("%%BeginData: "); at != std::string::npos;
       at = text.find("%%BeginData: ", at + 1)) {
    const size_t lineEnd = text.find("\r\n", at) + 2;
    const size_t end = text.find("%%EndData", lineEnd);
    EXPECT_EQ(std::stoul(text.substr(at + 13)), end - lineEnd);
    ++blocks;
  }
  EXPECT_EQ(blocks, int32_t(std::size(pages)));
  EXPECT_EQ(text.substr(text.size() - 18), "%%Trailer\r\n%%EOF\r\n");
  ASSERT_EQ(RunCommand("cd '" + dir.path() +
                       "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw "
                       "-r72 -o p%02d.ppm doc.ps"),
            0);
  for (size_t i = 0; i < std::size(pages); ++i) {
    SCOPED_TRACE(i);
    char name[16];
    std::snprintf(name, sizeof name, "p%02d.ppm", int(i + 1));
    ExpectPixelsEqualPnm(bitmaps[i].get(), dir.file(name));
  }
}

// Two full fax pages in Group 4 at their own size: exact in Ghostscript.
TEST(PsWriterTest, FaxPagesRenderExactly) {
  if (!testsupport::HaveTool("gs")) GTEST_SKIP();
  TempDir dir;
  std::vector<std::unique_ptr<TIEBitmap>> pages;
  {
    TFileStream f(dir.file("fax.ps"), fmCreate);
    TIOParamsVals first;
    auto doc = PsBeginDocument(&f, first);
    for (uint32_t i = 0; i < 2; ++i) {
      pages.push_back(MakeFaxPage(1728, 2200, i + 5));
      TIOParamsVals p;  // Group 4 by default
      p.PsPageWidth = 1728;
      p.PsPageHeight = 2200;
      std::atomic<bool> aborting{false};
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      PsAddPage(doc.get(), &f, pages.back().get(), p, progress);
      ASSERT_FALSE(aborting);
    }
    PsEndDocument(doc, &f);
  }
  ASSERT_EQ(RunCommand("cd '" + dir.path() +
                       "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=pbmraw "
                       "-r72 -o f%d.pbm fax.ps"),
            0);
  for (size_t i = 0; i < 2; ++i)
    ExpectPixelsEqualPnm(pages[i].get(), dir.file("f" + std::to_string(i + 1) + ".pbm"));
}

// A colour page as JPEG renders close to the source; a fax page on A4 keeps
// its proportions from the top-left corner.
TEST(PsWriterTest, JpegPageAndA4Placement) {
  if (!testsupport::HaveTool("gs")) GTEST_SKIP();
  TempDir dir;
  TIEBitmap colour(120, 80, ie24RGB);
  for (int32_t y = 0; y < 80; ++y)
    for (int32_t x = 0; x < 120; ++x) colour.SetPixel24(x, y, TRGB{uint8_t(x * 2), uint8_t(y * 3), 100});
  TIOParamsVals p;
  p.PsImageCompression = ioPS_JPEG;
  p.PsPageWidth = 120;
  p.PsPageHeight = 80;
  TIEBitmap fax(1728, 1100, ie1g);
  fax.Fill(0.0);
  TIOParamsVals q;  // A4, Group 4
  {
    TFileStream f(dir.file("two.ps"), fmCreate);
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    auto doc = PsBeginDocument(&f, p);
    PsAddPage(doc.get(), &f, &colour, p, progress);
    PsAddPage(doc.get(), &f, &fax, q, progress);
    PsEndDocument(doc, &f);
    ASSERT_FALSE(aborting);
  }
  ASSERT_EQ(RunCommand("cd '" + dir.path() +
                       "' && gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=ppmraw "
                       "-r72 -o q%d.ppm two.ps"),
            0);
  int32_t w = 0, h = 0;
  const std::vector<uint8_t> got = PnmRgb(dir.file("q1.ppm"), w, h);
  const std::vector<uint8_t> want = RgbBytes(&colour);
  ASSERT_EQ(got.size(), want.size());
  double sum = 0;
  for (size_t k = 0; k < got.size(); ++k) sum += std::abs(int(got[k]) - int(want[k]));
  EXPECT_LT(sum / double(got.size()), 3.0);
  const std::vector<uint8_t> a4 = PnmRgb(dir.file("q2.ppm"), w, h);
  ASSERT_EQ(w, 595);
  ASSERT_EQ(h, 842);
  // 1728 x 1100 scaled by 595/1728: 595 x 378 points of black from the top.
  EXPECT_EQ(a4[size_t(5 * w + 5) * 3], 0);
  EXPECT_EQ(a4[size_t(370 * w + 590) * 3], 0);
  EXPECT_EQ(a4[size_t(385 * w + 5) * 3], 255);
}

}  // namespace
