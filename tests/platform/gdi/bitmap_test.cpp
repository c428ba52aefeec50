// TBitmap: layouts of each pixel format, conversions, the BMP file form and
// interchange with other tools.
#include <gtest/gtest.h>

#include "gdi_test_util.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/streams.h"
#include "support/test_support.h"

using namespace gditest;

TEST(Bitmap, LayoutOfEachFormat) {
  struct Case {
    TPixelFormat Format;
    QImage::Format Q;
    int BytesPerLine;  // for width 10
    int TableSize;
  };
  const Case cases[] = {
      {pf1bit, QImage::Format_Mono, 4, 2},        {pf8bit, QImage::Format_Indexed8, 12, 256},
      {pf15bit, QImage::Format_RGB555, 20, 0},    {pf16bit, QImage::Format_RGB16, 20, 0},
      {pf24bit, QImage::Format_BGR888, 32, 0},    {pf32bit, QImage::Format_RGB32, 40, 0},
  };
  for (const Case& c : cases) {
    auto b = MakeBitmap(c.Format, 10, 3);
    EXPECT_EQ(b->GetPixelFormat(), c.Format);
    EXPECT_EQ(b->GetImage().format(), c.Q);
    EXPECT_EQ(b->GetBytesPerLine(), c.BytesPerLine);
    EXPECT_EQ(b->GetColorTableSize(), c.TableSize);
    EXPECT_EQ(b->GetScanLine(1) - b->GetScanLine(0), c.BytesPerLine);
    EXPECT_EQ(b->GetPixelColor(9, 2), clWhite) << "new pixels are white";
  }
  // Rows are stored top first, B, G, R.
  auto b = MakeBitmap(pf24bit, 2, 2);
  b->GetScanLine(1)[3] = 0x11;
  b->GetScanLine(1)[4] = 0x22;
  b->GetScanLine(1)[5] = 0x33;
  EXPECT_EQ(b->GetPixelColor(1, 1), RGB(0x33, 0x22, 0x11));
  EXPECT_THROW(b->GetScanLine(2), EInvalidGraphicOperation);
  EXPECT_THROW(b->GetScanLine(-1), EInvalidGraphicOperation);
  b->SetPixelFormat(pfDevice);
  EXPECT_EQ(b->GetPixelFormat(), pf32bit);
}

TEST(Bitmap, ConversionsAndResizing) {
  auto b = MakeBitmap(pf24bit, 9, 2);
  TCanvas* cv = b->GetCanvas();
  cv->SetPixel(0, 0, RGB(127, 127, 127));
  cv->SetPixel(1, 0, RGB(128, 128, 128));
  cv->SetPixel(8, 1, clBlack);
  b->SetPixelFormat(pf1bit);
  EXPECT_EQ(b->GetPixelColor(0, 0), clBlack);
  EXPECT_EQ(b->GetPixelColor(1, 0), clWhite);
  EXPECT_EQ(b->GetPixelColor(8, 1), clBlack);
  EXPECT_EQ(b->GetScanLine(1)[1] & 0x80, 0);  // pixel 8 is the top bit of byte 1
  EXPECT_TRUE(b->GetMonochrome());
  // Growing keeps the pixels (also the partial byte) and adds white.
  b->SetSize(20, 3);
  EXPECT_EQ(b->GetPixelColor(8, 1), clBlack);
  EXPECT_EQ(b->GetPixelColor(9, 1), clWhite);
  EXPECT_EQ(b->GetPixelColor(15, 2), clWhite);
  b->SetPixelFormat(pf8bit);
  EXPECT_EQ(b->GetPixelColor(8, 1), clBlack);
  EXPECT_EQ(b->GetPixelColor(0, 1), clWhite);
  // The colour table can be rewritten; the pixels follow it.
  auto t = b->GetColorTable();
  for (auto& e : t)
    if (e.rgbRed == 0) e = TRGBQuad{0, 0, 255, 0};  // black becomes red
  b->SetColorTable(t);
  EXPECT_EQ(b->GetPixelColor(8, 1), clRed);
  // A size that cannot be allocated leaves the bitmap as it was.
  b->SetSize(1 << 20, 1 << 20);
  EXPECT_EQ(b->GetWidth(), 20);
  EXPECT_EQ(b->GetPixelColor(8, 1), clRed);
  b->SetSize(0, 0);
  EXPECT_TRUE(b->GetEmpty());
  EXPECT_EQ(b->GetPixelFormat(), pf8bit);
  // Assign copies pixels, not a shared buffer.
  auto c = MakeBitmap(pf32bit, 3, 3);
  auto d = std::make_unique<TBitmap>();
  d->Assign(c.get());
  c->GetCanvas()->SetPixel(1, 1, clBlack);
  EXPECT_EQ(d->GetPixelColor(1, 1), clWhite);
  EXPECT_EQ(d->GetWidth(), 3);
}

TEST(Bitmap, CanvasDrawingReportsChanges) {
  auto b = MakeBitmap(pf32bit, 4, 4);
  int changes = 0;
  b->OnChange = [&](TGraphic*) { ++changes; };
  b->GetCanvas()->Rectangle(0, 0, 2, 2);
  EXPECT_GT(changes, 0);
}

TEST(Bitmap, BmpStreamRoundTrip) {
  for (TPixelFormat pf : {pf1bit, pf8bit, pf24bit, pf32bit}) {
    auto b = MakeBitmap(pf, 13, 7);
    TCanvas* cv = b->GetCanvas();
    cv->GetPen()->SetColor(clBlack);
    cv->MoveTo(0, 0);
    cv->LineTo(13, 7);
    cv->SetPixel(12, 0, clBlack);
    TMemoryStream m;
    b->SaveToStream(&m);
    m.SetPosition(0);
    TBitmap back;
    back.LoadFromStream(&m);
    EXPECT_EQ(back.GetPixelFormat(), pf) << FormatName(pf);
    EXPECT_EQ(Picture(back, clWhite), Picture(*b, clWhite)) << FormatName(pf);
  }
}

TEST(Bitmap, BadBmpInputFailsCleanly) {
  auto b = MakeBitmap(pf24bit, 40, 30);
  TMemoryStream m;
  b->SaveToStream(&m);
  const std::vector<uint8_t> good(static_cast<uint8_t*>(m.GetMemory()),
                                  static_cast<uint8_t*>(m.GetMemory()) + m.GetSize());
  auto load = [](std::vector<uint8_t> bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), int64_t(bytes.size()));
    s.SetPosition(0);
    TBitmap t;
    t.LoadFromStream(&s);
  };
  EXPECT_NO_THROW(load(good));
  auto truncated = good;
  truncated.resize(good.size() - 10);
  EXPECT_THROW(load(truncated), EInvalidGraphic);
  auto notBmp = good;
  notBmp[0] = 'X';
  EXPECT_THROW(load(notBmp), EInvalidGraphic);
  auto huge = good;  // 2^30 x 2^30 pixels announced in a small file
  huge[18] = 0;
  huge[21] = 0x40;
  huge[22] = 0;
  huge[25] = 0x40;
  EXPECT_THROW(load(huge), EInvalidGraphic);
  auto badDepth = good;
  badDepth[28] = 7;
  EXPECT_THROW(load(badDepth), EInvalidGraphic);
  auto rle = good;
  rle[30] = 1;
  EXPECT_THROW(load(rle), EInvalidGraphic);
  EXPECT_THROW(load({'B', 'M'}), EInvalidGraphic);
}

TEST(Bitmap, BmpFilesInterchangeWithOtherTools) {
  const bool haveMagick = testsupport::HaveTool("convert");
  const bool havePython = testsupport::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
  if (!haveMagick && !havePython) GTEST_SKIP() << "no peer tool";
  testsupport::TempDir dir;
  // Ours, read by the peer: a diagonal on 1-bit and 24-bit.
  for (TPixelFormat pf : {pf1bit, pf24bit}) {
    auto b = MakeBitmap(pf, 21, 9);
    b->GetCanvas()->SetPixel(20, 0, clBlack);
    b->GetCanvas()->SetPixel(0, 8, clBlack);
    const std::string file = dir.file(std::string("ours_") + FormatName(pf) + ".bmp");
    b->SaveToFile(file);
    std::string out;
    const std::string cmd =
        havePython
            ? "/usr/bin/python3 -c \"from PIL import Image; im=Image.open('" + file +
                  "').convert('L'); print(im.size, im.getpixel((20,0)), im.getpixel((0,8)), im.getpixel((1,1)))\""
            : "convert '" + file + "' -format '(%w, %h) %[fx:p{20,0}.r*255] %[fx:p{0,8}.r*255] %[fx:p{1,1}.r*255]' info:";
    ASSERT_EQ(testsupport::RunCommand(cmd, &out), 0);
    EXPECT_NE(out.find("(21, 9) 0 0 255"), std::string::npos) << out;
  }
  // Theirs, read here.
  if (havePython) {
    const std::string file = dir.file("theirs.bmp");
    ASSERT_EQ(testsupport::RunCommand(
                  "/usr/bin/python3 -c \"from PIL import Image; im=Image.new('RGB',(5,3),(255,255,255)); "
                  "im.putpixel((4,2),(10,20,30)); im.save('" + file + "')\""),
              0);
    TBitmap t;
    t.LoadFromFile(file);
    EXPECT_EQ(t.GetWidth(), 5);
    EXPECT_EQ(t.GetPixelColor(4, 2), RGB(10, 20, 30));
    EXPECT_EQ(t.GetPixelColor(0, 0), clWhite);
    // 1-bit and palette files keep their depth.
    struct Case {
      const char* Mode;
      TPixelFormat Format;
      TColor Dot;
    };
    for (const Case& c : {Case{"1", pf1bit, clBlack}, Case{"L", pf8bit, RGB(40, 40, 40)},
                          Case{"P", pf8bit, RGB(40, 40, 40)}}) {
      const std::string f = dir.file(std::string("theirs_") + c.Mode + ".bmp");
      ASSERT_EQ(testsupport::RunCommand("/usr/bin/python3 -c \"from PIL import Image; im=Image.new('L',(13,3),255); "
                                        "im.putpixel((12,2),40); im.convert('" + std::string(c.Mode) +
                                        "').save('" + f + "')\""),
                0);
      TBitmap m;
      m.LoadFromFile(f);
      EXPECT_EQ(m.GetPixelFormat(), c.Format) << c.Mode;
      EXPECT_EQ(m.GetPixelColor(12, 2), c.Dot) << c.Mode;
      EXPECT_EQ(m.GetPixelColor(11, 2), clWhite) << c.Mode;
    }
  }
}

TEST(Picture, RegistryPicksTheClassByExtension) {
  TPicture::RegisterFileFormat(".TST", "Test pictures", [] { return std::unique_ptr<TGraphic>(new TBitmap()); });
  auto g = TPicture::CreateGraphicForExtension("tst");
  EXPECT_NE(dynamic_cast<TBitmap*>(g.get()), nullptr);
  EXPECT_NE(TPicture::CreateGraphicForExtension(".bmp"), nullptr);
  TPicture::UnregisterFileFormat("tst");
  EXPECT_EQ(TPicture::CreateGraphicForExtension("tst"), nullptr);
  TPicture p;
  try {
    p.LoadFromFile("/nonexistent/picture.xyz");
    FAIL();
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(e.Message, "Unknown picture file extension (.xyz)");
  }
  // Loading a BMP file and copying the picture.
  testsupport::TempDir dir;
  auto b = MakeBitmap(pf8bit, 3, 2);
  b->GetCanvas()->SetPixel(2, 1, clBlack);
  b->SaveToFile(dir.file("p.bmp"));
  p.LoadFromFile(dir.file("p.bmp"));
  ASSERT_NE(p.GetBitmap(), nullptr);
  EXPECT_EQ(p.GetWidth(), 3);
  TPicture q;
  q.Assign(&p);
  EXPECT_EQ(q.GetBitmap()->GetPixelColor(2, 1), clBlack);
  EXPECT_NE(q.GetGraphic(), p.GetGraphic());
}
