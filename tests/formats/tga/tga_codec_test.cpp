// Targa: files Pillow and ImageMagick make read as they decode them, ours
// read right there, run-length packets across rows, mirrored rows with
// alpha, the extension area, and damaged files fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/tga/tga_codec.h"
#include "platform/rtl/sysutils.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

struct TgaOut {
  std::unique_ptr<ReadOut> R;
  std::unique_ptr<TIEMask> Mask;
};

TgaOut ReadTga(const Bytes& File, bool IgnoreAlpha = false) {
  TgaOut o;
  o.R = ReadWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
    TgaReadStream(S, B, P, R, false, o.Mask, IgnoreAlpha);
  }, File);
  return o;
}

Bytes WriteTga(TIEBitmap* B, TIOParamsVals& P, TIEMask* Mask = nullptr) {
  return WriteWith([Mask](TStream* S, TIEBitmap* Bm, TIOParamsVals& Pr, TIEProgressRec& R) {
    TgaWriteStream(S, Bm, Pr, R, Mask);
  }, B, P);
}

TEST(TgaCodec, PeerFilesReadAsPeerDecodes) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  auto pic = ColourPicture(45, 21);
  WritePpm(dir, "base.ppm", pic.get());
  ASSERT_TRUE(Python(dir, R"(
im = Image.open('base.ppm')
im.save('rgb.tga')
im.save('rgb_rle.tga', compression='tga_rle')
a = im.convert('RGBA'); a.putalpha(im.convert('L')); a.save('rgba.tga'); a.save('rgba_rle.tga', compression='tga_rle')
im.convert('L').save('gray.tga'); im.convert('L').save('gray_rle.tga', compression='tga_rle')
im.quantize(100).save('pal.tga'); im.quantize(100).save('pal_rle.tga', compression='tga_rle')
im.save('top.tga', orientation=1)
)"));
  ASSERT_EQ(RunCommand("convert '" + dir.file("base.ppm") + "' -compress RLE '" + dir.file("im_rle.tga") + "'"), 0);
  ASSERT_EQ(RunCommand("convert '" + dir.file("base.ppm") + "' -compress None '" + dir.file("im.tga") + "'"), 0);
  const char* files[] = {"rgb.tga", "rgb_rle.tga", "rgba.tga", "rgba_rle.tga", "gray.tga", "gray_rle.tga",
                         "pal.tga", "pal_rle.tga", "top.tga", "im_rle.tga", "im.tga"};
  for (const char* f : files) {
    SCOPED_TRACE(f);
    const Bytes file = ReadFileBytes(dir.file(f));
    auto o = ReadTga(file);
    ASSERT_FALSE(o.R->Aborting);
    EXPECT_EQ(Rgb(o.R->Bitmap.get()), PeerRgb(dir, "pil", file, "tga"));
    if (std::string(f).find("rgba") == 0) {
      ASSERT_TRUE(o.Mask != nullptr);
      EXPECT_EQ(MaskBytes(o.Mask.get()), PeerAlpha(dir, file, "tga"));
    } else {
      EXPECT_TRUE(o.Mask == nullptr);
    }
  }
}

TEST(TgaCodec, WrittenFilesReadRightInPeers) {
  TempDir dir;
  auto colour = ColourPicture(41, 23);
  auto few = ColourPicture(41, 23);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 41; ++x) {
      uint8_t* q = few->GetScanline(y) + 3 * x;
      q[0] = uint8_t(q[0] & 0xC0), q[1] = uint8_t(q[1] & 0xC0), q[2] = uint8_t(q[2] & 0xC0);
    }
  auto sixteen = ColourPicture(41, 23);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 41; ++x) {
      uint8_t* q = sixteen->GetScanline(y) + 3 * x;
      q[0] = uint8_t((x / 11) * 80), q[1] = uint8_t((y / 6) * 80), q[2] = 0;
    }
  auto gray = ColourPicture(41, 23);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 41; ++x) {
      uint8_t* q = gray->GetScanline(y) + 3 * x;
      q[0] = q[2] = q[1];
    }
  auto bilevel = BilevelPicture();
  struct Case {
    const char* Name;
    TIEBitmap* Bitmap;
    int32_t Samples, Bits;
    bool Compressed, Gray;
    uint8_t Type, Depth;
  } cases[] = {
      {"24 raw", colour.get(), 3, 8, false, false, 2, 24},
      {"24 rle", colour.get(), 3, 8, true, false, 10, 24},
      {"8 palette", few.get(), 1, 8, false, false, 1, 8},
      {"8 palette rle", few.get(), 1, 8, true, false, 9, 8},
      {"4-bit request", sixteen.get(), 1, 4, true, false, 1, 8},
      {"8 gray", gray.get(), 1, 8, false, true, 3, 8},
      {"8 gray rle", gray.get(), 1, 8, true, true, 11, 8},
      {"1 bit", bilevel.get(), 1, 1, true, false, 3, 1},
      {"1-bit source at 24 bits", bilevel.get(), 3, 8, true, false, 10, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p;
    p.SamplesPerPixel = c.Samples;
    p.BitsPerSample = c.Bits;
    p.TgaCompressed = c.Compressed;
    p.TgaGray = c.Gray;
    const Bytes file = WriteTga(c.Bitmap, p);
    ASSERT_GT(file.size(), 18u + 26u);
    EXPECT_EQ(file[2], c.Type);
    EXPECT_EQ(file[16], c.Depth);
    if (c.Gray) {
      // No colour map: the map fields are all zero.
      EXPECT_EQ(Bytes(file.begin() + 1, file.begin() + 2), Bytes{0});
      EXPECT_EQ(Bytes(file.begin() + 3, file.begin() + 8), Bytes(5, 0));
    }
    EXPECT_EQ(Rgb(c.Bitmap), PeerRgb(dir, "pil", file, "tga"));
    if (HaveTool("convert") && c.Depth != 1) {  // ImageMagick reads no 1-bit Targa
      EXPECT_EQ(Rgb(c.Bitmap), PeerRgb(dir, "magick", file, "tga"));
    }
    auto back = ReadTga(file);
    EXPECT_FALSE(back.R->Aborting);
    EXPECT_EQ(Rgb(back.R->Bitmap.get()), Rgb(c.Bitmap));
  }
  // 32 bits with alpha.
  TIEMask mask;
  mask.AllocateBits(41, 23, 8);
  for (int32_t y = 0; y < 23; ++y)
    for (int32_t x = 0; x < 41; ++x) mask.SetPixel(x, y, (x * 6 + y * 3) & 255);
  TIOParamsVals p;
  const Bytes file = WriteTga(colour.get(), p, &mask);
  EXPECT_EQ(file[16], 32);
  EXPECT_FALSE(p.TgaCompressed);
  EXPECT_EQ(PeerAlpha(dir, file, "tga"), MaskBytes(&mask));
  EXPECT_EQ(PeerRgb(dir, "pil", file, "tga"), Rgb(colour.get()));
}

// Packets that cross row ends decode like packets split at them; right-to-
// left rows are turned round together with their alpha.
TEST(TgaCodec, RunsAcrossRowsAndMirroredRows) {
  // 3 x 2, 24-bit run-length: a run of 4 red pixels, then a raw packet of 2.
  const Bytes head = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 24, 0x20};
  Bytes rle = head;
  rle.insert(rle.end(), {0x83, 0, 0, 255, 0x01, 0, 255, 0, 255, 0, 0});
  Bytes raw = head;
  raw[2] = 2;
  raw.insert(raw.end(), {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 255, 0, 255, 0, 0});
  auto a = ReadTga(rle), b = ReadTga(raw);
  ASSERT_FALSE(a.R->Aborting);
  EXPECT_EQ(Rgb(a.R->Bitmap.get()), Rgb(b.R->Bitmap.get()));

  // A 32-bit file stored right to left reads as the left-to-right original.
  auto pic = ColourPicture(7, 3);
  TIEMask mask;
  mask.AllocateBits(7, 3, 8);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 7; ++x) mask.SetPixel(x, y, 30 * x + y + 1);
  TIOParamsVals p;
  Bytes file = WriteTga(pic.get(), p, &mask);
  const size_t data = 18 + file[0];
  for (int32_t y = 0; y < 3; ++y) {
    uint8_t* row = file.data() + data + size_t(y) * 7 * 4;
    for (int32_t x = 0; x < 3; ++x) std::swap_ranges(row + 4 * x, row + 4 * x + 4, row + 4 * (6 - x));
  }
  file[17] |= 0x10;
  auto m = ReadTga(file);
  ASSERT_FALSE(m.R->Aborting);
  EXPECT_EQ(Rgb(m.R->Bitmap.get()), Rgb(pic.get()));
  ASSERT_TRUE(m.Mask != nullptr);
  EXPECT_EQ(MaskBytes(m.Mask.get()), MaskBytes(&mask));

  // Packet bytes: two equal pixels 0x81, 128 equal 0xFF, a single one 0x00.
  for (int32_t w : {2, 128, 1}) {
    auto flat = TIEBitmap::CreateSized(w, 1, ie24RGB);
    flat->Fill(0);
    TIOParamsVals q;
    const Bytes f = WriteTga(flat.get(), q);
    EXPECT_EQ(f[18 + f[0]], w == 1 ? 0x00 : uint8_t(0x80 | (w - 1)));
  }
}

TEST(TgaCodec, ExtensionAreaAndDescription) {
  auto pic = ColourPicture(9, 5);
  TIOParamsVals p;
  p.TgaImageId = "scan of page 1";
  p.TgaAuthor = "Someone";
  p.TgaJobName = "Job";
  p.TgaDate = EncodeDate(2024, 2, 29) + EncodeTime(13, 14, 15, 0);
  p.TgaKeyColor = TRGB{1, 2, 3};
  p.TgaAspectRatio = 10.0;  // 100000 over 10000 does not fit 16 bits
  p.TgaGamma = 100.0;
  p.TgaXOrigin = 12;
  Bytes file = WriteTga(pic.get(), p);
  for (int round = 0; round < 3; ++round) {
    auto o = ReadTga(file);
    ASSERT_FALSE(o.R->Aborting);
    const TIOParamsVals& r = *o.R->Params;
    EXPECT_EQ(r.TgaImageId, "scan of page 1");
    EXPECT_EQ(r.TgaAuthor, "Someone");
    EXPECT_EQ(r.TgaJobName, "Job");
    EXPECT_DOUBLE_EQ(r.TgaDate, p.TgaDate);
    EXPECT_TRUE(r.TgaKeyColor == p.TgaKeyColor);
    EXPECT_NEAR(r.TgaAspectRatio, 10.0, 0.01);
    EXPECT_NEAR(r.TgaGamma, 100.0, 0.2);
    EXPECT_EQ(r.TgaXOrigin, 12);
    file = WriteTga(o.R->Bitmap.get(), *o.R->Params);
  }
  // A description longer than the field allows is cut to 254 bytes plus its
  // terminator.
  p.TgaImageId = std::string(300, 'x');
  file = WriteTga(pic.get(), p);
  EXPECT_EQ(file[0], 255);
  EXPECT_EQ(ReadTga(file).R->Params->TgaImageId, std::string(254, 'x'));
  // Without a footer the defaults hold.
  Bytes bare(file.begin(), file.end() - 26 - 495);
  auto o = ReadTga(bare);
  ASSERT_FALSE(o.R->Aborting);
  EXPECT_EQ(o.R->Params->TgaAuthor, "");
  EXPECT_DOUBLE_EQ(o.R->Params->TgaGamma, 2.2);
  EXPECT_DOUBLE_EQ(o.R->Params->TgaDate, Date());
}

TEST(TgaCodec, ColourMapsAreBoundedAndAlphaComesFromThem) {
  // 2 x 1, colour-mapped, map from index 250 with 20 entries of 32 bits: the
  // entries past 255 are read over; pixel 250 and 255 use the map's alpha.
  Bytes f = {0, 1, 1, 250, 0, 20, 0, 32, 0, 0, 0, 0, 2, 0, 1, 0, 8, 0x20};
  for (int i = 0; i < 20; ++i) f.insert(f.end(), {uint8_t(i), uint8_t(2 * i), uint8_t(3 * i), uint8_t(10 * i + 5)});
  f.insert(f.end(), {250, 255});
  auto o = ReadTga(f);
  ASSERT_FALSE(o.R->Aborting);
  EXPECT_EQ(o.R->Bitmap->GetPixelRGB(1, 0).r, 15);
  ASSERT_TRUE(o.Mask != nullptr);
  EXPECT_EQ(o.Mask->GetPixel(0, 0), 5);
  EXPECT_EQ(o.Mask->GetPixel(1, 0), 55);
  EXPECT_EQ(o.R->Params->ColorMapCount, 20);

  // A 32-bit image whose alpha is 0 everywhere loads opaque.
  Bytes z = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 32, 0x28, 9, 9, 9, 0};
  auto zo = ReadTga(z);
  ASSERT_FALSE(zo.R->Aborting);
  EXPECT_TRUE(zo.Mask == nullptr);
}

TEST(TgaCodec, DamagedFilesFailCleanly) {
  auto pic = ColourPicture(30, 20);
  TIOParamsVals p;
  p.TgaCompressed = true;
  const Bytes good = WriteTga(pic.get(), p);
  std::vector<Bytes> cases;
  cases.emplace_back(good.begin(), good.begin() + 10);        // header cut
  cases.emplace_back(good.begin(), good.begin() + 60);        // run-length data cut
  Bytes huge = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 24, 0x20, 1, 2, 3};
  cases.push_back(huge);
  Bytes hugeRle = huge;
  hugeRle[2] = 10;
  cases.push_back(hugeRle);
  Bytes four = {0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 4, 0x20, 0x12, 0x34};
  cases.push_back(four);                                     // 4-bit pixels: no decoder
  Bytes fifteen = four;
  fifteen[16] = 15;
  cases.push_back(fifteen);
  Bytes oddMap = {0, 1, 1, 0, 0, 2, 0, 8, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0x20, 1, 2, 0};
  cases.push_back(oddMap);                                   // 8-bit map entries
  cases.push_back(Bytes{});
  for (const Bytes& c : cases) {
    SCOPED_TRACE(c.size());
    auto o = ReadTga(c);
    EXPECT_TRUE(o.R->Aborting);
    EXPECT_LE(int64_t(o.R->Bitmap->GetWidth()) * o.R->Bitmap->GetHeight(), 600);
  }
  TMemoryStream s;
  s.WriteBuffer(good.data(), 18);
  s.SetPosition(0);
  EXPECT_TRUE(IETryTga(&s));
  EXPECT_EQ(s.GetPosition(), 0);
}

}  // namespace
