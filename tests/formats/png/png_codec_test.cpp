// PNG over libpng: files Pillow and ImageMagick make read as they decode
// them (alpha included), ours read right in Pillow, the background colour
// and 16-bit samples survive a round trip, and damaged files fail cleanly.
#include <atomic>
#include <gtest/gtest.h>

#include <string>

#include "formats/png/png_codec.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/lists.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

auto ReadPng = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) { PngReadStream(S, B, P, R, false); };

Bytes WritePngFile(TIEBitmap* B, TIOParamsVals& P, TIEMask* Mask = nullptr) {
  return WriteWith([Mask](TStream* S, TIEBitmap* Bm, TIOParamsVals& Pr,
                          TIEProgressRec& R) { PngWriteStream(S, Bm, Pr, R, Mask); },
                   B, P);
}

// Pillow and ImageMagick variants of one picture: every colour type and
// depth, palette transparency, interlacing.
TEST(PngCodec, PeerFilesReadAsPeerDecodes) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  auto pic = ColourPicture(43, 29);
  WritePpm(dir, "base.ppm", pic.get());
  ASSERT_TRUE(Python(dir, R"(
im = Image.open('base.ppm')
im.save('rgb.png')
im.convert('L').save('gray.png')
im.convert('1').save('bw.png')
im.quantize(200).save('pal8.png')
im.quantize(16).save('pal4.png', bits=4)
im.quantize(4).save('pal2.png', bits=2)
im.quantize(2).save('pal1.png', bits=1)
a = im.convert('RGBA'); a.putalpha(im.convert('L')); a.save('rgba.png')
la = im.convert('LA'); la.putalpha(im.convert('L').point(lambda v: 255 - v)); la.save('la.png')
im.save('trns.png', transparency=(200, 200, 250))
im.convert('I').point(lambda v: v * 257).convert('I;16').save('gray16.png')
pq = im.quantize(32); pq.info['transparency'] = 3; pq.save('paltrns.png', transparency=3)
)"));
  ASSERT_EQ(RunCommand("convert '" + dir.file("base.ppm") + "' -interlace PNG '" + dir.file("inter.png") + "'"), 0);
  ASSERT_EQ(RunCommand("convert '" + dir.file("base.ppm") + "' -depth 16 'PNG48:" + dir.file("rgb16.png") + "'"), 0);
  ASSERT_EQ(RunCommand("convert '" + dir.file("pal1.png") + "' -interlace PNG '" + dir.file("pal1i.png") + "'"), 0);
  struct Case {
    const char* File;
    int32_t Samples, Bits, Tolerance;
    TIEPixelFormat Format;
    bool HasAlpha;
    const char* Tool = "pil";  // Pillow clips 16-bit samples to 255 on conversion
  } cases[] = {
      {"rgb.png", 3, 8, 0, ie24RGB, false},    {"gray.png", 1, 8, 0, ie24RGB, false},
      {"bw.png", 1, 1, 0, ie1g, false},        {"pal8.png", 1, 8, 0, ie24RGB, false},
      {"pal4.png", 1, 4, 0, ie24RGB, false},   {"pal2.png", 1, 2, 0, ie24RGB, false},
      {"pal1.png", 1, 1, 0, ie24RGB, false},   {"rgba.png", 4, 8, 0, ie24RGB, true},
      {"la.png", 2, 8, 0, ie24RGB, true},      {"trns.png", 3, 8, 0, ie24RGB, true},
      {"gray16.png", 1, 16, 1, ie24RGB, false, "magick"}, {"paltrns.png", 1, 8, 0, ie24RGB, true},
      {"inter.png", 3, 8, 0, ie24RGB, false},  {"rgb16.png", 3, 16, 1, ie24RGB, false, "magick"},
      {"pal1i.png", 1, -1, 0, ie24RGB, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File);
    const Bytes file = ReadFileBytes(dir.file(c.File));
    auto r = ReadWith(ReadPng, file);
    ASSERT_FALSE(r->Aborting);
    EXPECT_EQ(r->Params->SamplesPerPixel, c.Samples);
    if (c.Bits > 0) {
      EXPECT_EQ(r->Params->BitsPerSample, c.Bits);
    }
    EXPECT_EQ(r->Bitmap->GetPixelFormat(), c.Format);
    EXPECT_EQ(r->Bitmap->HasAlphaChannel(), c.HasAlpha);
    if (std::string(c.File) == "rgb.png") {
      EXPECT_EQ(r->Params->DpiX, 300);  // no pHYs: the default resolution
      EXPECT_EQ(r->Params->DpiY, 300);
    }
    EXPECT_LE(MaxDiff(Rgb(r->Bitmap.get()), PeerRgb(dir, c.Tool, file, "png")), c.Tolerance);
    if (c.HasAlpha) {
      EXPECT_FALSE(r->Bitmap->GetAlphaChannel()->GetFull());
      EXPECT_EQ(Alpha(r->Bitmap.get()), PeerAlpha(dir, file, "png"));
    }
  }
}

TEST(PngCodec, NativeFormatsKeepSamples) {
  TempDir dir;
  ASSERT_TRUE(Python(dir, R"(
im = Image.new('I', (5, 2)); im.putdata([0, 1, 255, 256, 65535, 4660, 43981, 7, 8, 9]); im.convert('I;16').save('g16.png')
im = Image.new('L', (3, 1)); im.putdata([0, 100, 255]); im.save('g8.png')
p = Image.new('P', (3, 1)); p.putpalette([10, 20, 30, 40, 50, 60, 70, 80, 90] + [5] * 759); p.putdata([2, 0, 1]); p.save('p8.png')
)"));
  auto g16 = ReadWith(ReadPng, ReadFileBytes(dir.file("g16.png")), [](TIOParamsVals& P) { P.NativePixelFormat = true; });
  ASSERT_EQ(g16->Bitmap->GetPixelFormat(), ie16g);
  EXPECT_EQ(g16->Bitmap->GetPixel16(3, 0), 256);
  EXPECT_EQ(g16->Bitmap->GetPixel16(1, 1), 43981);
  auto g8 = ReadWith(ReadPng, ReadFileBytes(dir.file("g8.png")), [](TIOParamsVals& P) { P.NativePixelFormat = true; });
  ASSERT_EQ(g8->Bitmap->GetPixelFormat(), ie8g);
  EXPECT_EQ(g8->Bitmap->GetPixel8(1, 0), 100);
  auto p8 = ReadWith(ReadPng, ReadFileBytes(dir.file("p8.png")), [](TIOParamsVals& P) { P.NativePixelFormat = true; });
  ASSERT_EQ(p8->Bitmap->GetPixelFormat(), ie8p);
  EXPECT_EQ(int(p8->Bitmap->GetPixelRGB(0, 0).r), 70);
  ASSERT_GE(p8->Params->ColorMapCount, 3);
  EXPECT_EQ(int(p8->Params->ColorMap[p8->Bitmap->GetPixel8(1, 0)].b), 30);

  // The 16-bit gray image is written back with every bit of each sample.
  TIOParamsVals p;
  p.SamplesPerPixel = 1;
  p.BitsPerSample = 16;
  const Bytes file = WritePngFile(g16->Bitmap.get(), p);
  auto back = ReadWith(ReadPng, file, [](TIOParamsVals& P) { P.NativePixelFormat = true; });
  ASSERT_EQ(back->Bitmap->GetPixelFormat(), ie16g);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(back->Bitmap->GetPixel16(x, y), g16->Bitmap->GetPixel16(x, y));
  WriteFileBytes(dir.file("ours16.png"), file);
  std::string out;
  ASSERT_TRUE(Python(dir, "print(list(Image.open('ours16.png').getdata()))", &out));
  EXPECT_NE(out.find("43981"), std::string::npos) << out;
}

// Every output kind reads in Pillow as the image that was written.
TEST(PngCodec, WrittenFilesReadRightInPillow) {
  TempDir dir;
  auto colour = ColourPicture(41, 27);
  auto few = ColourPicture(41, 27);
  for (int32_t y = 0; y < 27; ++y)  // at most 256 colours, so the palette is exact
    for (int32_t x = 0; x < 41; ++x) {
      uint8_t* q = few->GetScanline(y) + 3 * x;
      q[0] = uint8_t(q[0] & 0xC0), q[1] = uint8_t(q[1] & 0xE0), q[2] = uint8_t(q[2] & 0xC0);
    }
  auto gray = ColourPicture(41, 27);
  for (int32_t y = 0; y < 27; ++y)
    for (int32_t x = 0; x < 41; ++x) {
      uint8_t* q = gray->GetScanline(y) + 3 * x;
      q[0] = q[2] = q[1];
    }
  auto bilevel = BilevelPicture();
  struct Case {
    const char* Name;
    TIEBitmap* Bitmap;
    int32_t Samples, Bits;
    bool Interlaced;
    const char* Mode;  // Pillow's mode of the file
    const char* Tool = "pil";
  } cases[] = {
      {"rgb", colour.get(), 3, 8, false, "RGB"},
      {"rgb interlaced", colour.get(), 3, 8, true, "RGB"},
      {"palette", few.get(), 1, 8, false, "P"},
      {"palette interlaced", few.get(), 1, 8, true, "P"},
      {"colour at 16 bits single sample", few.get(), 1, 16, false, "P"},
      {"gray", gray.get(), 1, 8, false, "L"},
      {"gray 16", gray.get(), 1, 16, false, "I", "magick"},
      {"bilevel", bilevel.get(), 1, 1, false, "1"},
      {"bilevel from colour", bilevel.get(), 1, 8, false, "L"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p;
    p.SamplesPerPixel = c.Samples;
    p.BitsPerSample = c.Bits;
    p.PngInterlaced = c.Interlaced;
    const Bytes file = WritePngFile(c.Bitmap, p);
    ASSERT_FALSE(file.empty());
    EXPECT_EQ(Rgb(c.Bitmap), PeerRgb(dir, c.Tool, file, "png"));
    WriteFileBytes(dir.file("m.png"), file);
    std::string mode;
    ASSERT_TRUE(Python(dir, "print(Image.open('m.png').mode)", &mode));
    EXPECT_EQ(mode.substr(0, mode.find_first_of("\n;")), c.Mode);
    auto back = ReadWith(ReadPng, file);
    EXPECT_FALSE(back->Aborting);
    EXPECT_EQ(Rgb(back->Bitmap.get()), Rgb(c.Bitmap));
    EXPECT_EQ(back->Params->PngInterlaced, c.Interlaced);
  }
}

TEST(PngCodec, AlphaBackgroundResolutionAndTexts) {
  TempDir dir;
  auto pic = ColourPicture(31, 17);
  TIEMask mask;
  mask.AllocateBits(31, 17, 8);
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 31; ++x) mask.SetPixel(x, y, (x * 8 + y) & 255);
  mask.UpdateFullFlag();
  TIOParamsVals p;
  p.PngBackgroundColor.r = 51, p.PngBackgroundColor.g = 102, p.PngBackgroundColor.b = 204;
  p.SetDpiX(300);
  p.SetDpiY(150);
  p.PngTextKeywords->Add("Title");
  p.PngTextKeywords->Add("Author");
  p.PngTextKeywords->Add("Lonely");
  p.PngTexts->Add("a page");
  p.PngTexts->Add("someone");
  const Bytes file = WritePngFile(pic.get(), p, &mask);
  EXPECT_EQ(Alpha(ReadWith(ReadPng, file)->Bitmap.get()), MaskBytes(&mask));
  EXPECT_EQ(PeerAlpha(dir, file, "png"), MaskBytes(&mask));
  EXPECT_EQ(PeerRgb(dir, "pil", file, "png"), Rgb(pic.get()));

  auto r = ReadWith(ReadPng, file);
  EXPECT_EQ(r->Params->PngBackgroundColor.r, 51);
  EXPECT_EQ(r->Params->PngBackgroundColor.g, 102);
  EXPECT_EQ(r->Params->PngBackgroundColor.b, 204);
  EXPECT_EQ(r->Params->DpiX, 300);
  EXPECT_EQ(r->Params->DpiY, 150);
  ASSERT_EQ(r->Params->PngTextKeywords->GetCount(), 2);
  EXPECT_EQ(r->Params->PngTexts->Get(1), "someone");
  WriteFileBytes(dir.file("bk.png"), WritePngFile(pic.get(), p));
  std::string out;
  ASSERT_TRUE(Python(dir, "im = Image.open('bk.png'); print(im.info.get('Title'), im.info.get('Author'))", &out));
  EXPECT_EQ(out, "a page someone\n");
  if (HaveTool("identify")) {
    ASSERT_EQ(RunCommand("identify -verbose '" + dir.file("bk.png") + "' | grep 'Background color'", &out), 0);
    EXPECT_NE(out.find("(51,102,204)"), std::string::npos) << out;
  }

  // An 8-bit palette file's background comes back as its colour, not black.
  TIOParamsVals pp;
  pp.SamplesPerPixel = 1;
  pp.BitsPerSample = 8;
  pp.PngBackgroundColor = p.PngBackgroundColor;
  auto q = ReadWith(ReadPng, WritePngFile(pic.get(), pp));
  EXPECT_GT(q->Params->PngBackgroundColor.b, 150);

  // A palette with a transparent entry: pixels whose alpha is below 255 go
  // transparent, others keep their colour.
  const Bytes pal = WritePngFile(pic.get(), pp, &mask);
  const Bytes peerAlpha = PeerAlpha(dir, pal, "png");
  const Bytes want = MaskBytes(&mask);
  ASSERT_EQ(peerAlpha.size(), want.size());
  for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(peerAlpha[i], want[i] == 255 ? 255 : 0);

  // ParamsOnly fills the parameters and leaves the bitmap alone.
  auto only = ReadWith([](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    PngReadStream(S, B, P, R, true);
  }, file);
  EXPECT_EQ(only->Params->Width, 31);
  EXPECT_EQ(only->Bitmap->GetWidth(), 0);
}

TEST(PngCodec, DamagedFilesFailCleanly) {
  auto pic = ColourPicture(64, 48);
  TIOParamsVals p;
  const Bytes good = WritePngFile(pic.get(), p);
  std::vector<Bytes> cases;
  for (size_t cut : {size_t(8), size_t(20), size_t(33), good.size() / 2, good.size() - 13}) cases.emplace_back(good.begin(), good.begin() + int64_t(cut));
  Bytes flipped = good;
  flipped[good.size() / 2] ^= 0x5A;  // inside the image data: CRC and zlib fail
  cases.push_back(flipped);
  // A header claiming 1000000 x 1000000 pixels over a few bytes of data
  // (CRC fixed so that only the size is wrong).
  Bytes huge(good.begin(), good.begin() + 33);
  const uint32_t big = 1000000;
  for (int i = 0; i < 2; ++i)
    for (int b = 0; b < 4; ++b) huge[16 + 4 * i + b] = uint8_t(big >> (24 - 8 * b));
  huge[24] = 8, huge[25] = 2;
  {
    uint32_t crc = 0xFFFFFFFFu;
    for (int i = 12; i < 29; ++i) {
      crc ^= huge[size_t(i)];
      for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    crc ^= 0xFFFFFFFFu;
    for (int b = 0; b < 4; ++b) huge[29 + size_t(b)] = uint8_t(crc >> (24 - 8 * b));
  }
  huge.insert(huge.end(), good.begin() + 33, good.begin() + 33 + 60);
  cases.push_back(huge);
  cases.push_back(Bytes{0x89, 'P', 'N', 'G'});
  for (const Bytes& c : cases) {
    SCOPED_TRACE(c.size());
    auto r = ReadWith(ReadPng, c);
    EXPECT_TRUE(r->Aborting);
    EXPECT_LE(int64_t(r->Bitmap->GetWidth()) * r->Bitmap->GetHeight(), 64 * 48);
  }
  // The probe: a short stream answers false and keeps its position.
  TMemoryStream s;
  s.WriteBuffer("\x89PN", 3);
  s.SetPosition(1);
  EXPECT_FALSE(IETryPng(&s));
  EXPECT_EQ(s.GetPosition(), 1);
  // An empty bitmap cannot be written.
  TIEBitmap empty;
  TMemoryStream out;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  EXPECT_THROW(PngWriteStream(&out, &empty, p, pr, nullptr), EInvalidGraphic);
}

}  // namespace
