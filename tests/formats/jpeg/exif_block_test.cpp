// EXIF block: blocks of Pillow read here, ours read by Pillow, thumbnails,
// damaged blocks, the TIFF header search and the eight orientations against
// ImageMagick.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "foundations/ie_lists.h"
#include "foundations/image_buffer.h"
#include "foundations/tag_directory.h"
#include "formats/jpeg/exif_block.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

using Bytes = std::vector<uint8_t>;
const char* const kPython = "/usr/bin/python3";

bool HavePillow() { return RunCommand(std::string(kPython) + " -c 'import PIL' 2>/dev/null") == 0; }

Bytes Encode(TIOParamsVals& P, bool Header = true) {
  std::unique_ptr<uint8_t[]> buf;
  int32_t size = 0;
  IEEncodeExifBlock(&P, buf, size, Header);
  return Bytes(buf.get(), buf.get() + size);
}

// A 24-bit picture whose every pixel differs from its neighbours.
std::unique_ptr<TIEBitmap> Picture(int32_t W, int32_t H, TIEPixelFormat F = ie24RGB) {
  auto b = std::make_unique<TIEBitmap>(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      uint8_t* p = b->GetScanline(y) + 3 * x;
      p[0] = uint8_t(x * 37 + y * 11);
      p[1] = uint8_t(x * 5 + y * 71);
      p[2] = uint8_t(200 - x * 13 - y * 3);
    }
  if (F != ie24RGB) b->ConvertToPixelFormat(F);
  return b;
}

void FillSample(TIOParamsVals& P) {
  P.ExifPresent = true;
  P.ExifMake = "Folicam";
  P.ExifModel = "FX-1";
  P.ExifImageDescription = "harbour at dawn";
  P.ExifArtist = "A. Painter";
  P.ExifDateTime = "2024:05:06 07:08:09";
  P.ExifDateTimeOriginal = "2024:05:06 07:08:00";
  P.ExifXPTitle = "Tür";
  P.SetOrientation(6);
  P.SetExifXResolution(300);
  P.SetExifYResolution(150);
  P.SetExifExposureTime(1.0 / 200);
  P.SetExifFNumber(5.6);
  P.SetExifExposureBiasValue(-0.5);
  P.SetExifFlash(16);
  P.SetExifPixelXDimension(640);
  P.SetExifIsoSpeed(0, 400);
  P.ExifUserComment = "héllo";
  P.GpsVersionID = "2.2.0.0";
  P.GpsLatitudeRef = "N";
  P.GpsLatitude[0] = 51, P.GpsLatitude[1] = 28, P.GpsLatitude[2] = 40.5;
  P.GpsLongitudeRef = "W";
  P.GpsLongitude[0] = 0, P.GpsLongitude[1] = 0, P.GpsLongitude[2] = 5.25;
  P.GpsAltitudeRef = "1";
  P.GpsAltitude = 12.5;
  P.GpsDateStamp = "2024:05:06";
}

void ExpectSample(TIOParamsVals& P) {
  EXPECT_TRUE(P.ExifPresent);
  EXPECT_EQ(P.ExifMake, "Folicam");
  EXPECT_EQ(P.ExifModel, "FX-1");
  EXPECT_EQ(P.ExifImageDescription, "harbour at dawn");
  EXPECT_EQ(P.ExifArtist, "A. Painter");
  EXPECT_EQ(P.ExifDateTime, "2024:05:06 07:08:09");
  EXPECT_EQ(P.ExifDateTimeOriginal, "2024:05:06 07:08:00");
  EXPECT_EQ(P.ExifXPTitle, "Tür");
  EXPECT_EQ(P.ExifOrientation, 6);
  EXPECT_EQ(P.TiffOrientation, 6);
  EXPECT_EQ(P.DpiX, 300);
  EXPECT_EQ(P.DpiY, 150);
  EXPECT_DOUBLE_EQ(P.ExifExposureTime, 1.0 / 200);
  EXPECT_DOUBLE_EQ(P.ExifFNumber, 5.6);
  EXPECT_DOUBLE_EQ(P.ExifExposureBiasValue, -0.5);
  EXPECT_EQ(P.ExifFlash, 16);
  EXPECT_EQ(P.ExifPixelXDimension, 640);
  EXPECT_EQ(P.GetExifIsoSpeed(0), 400);
  EXPECT_EQ(P.ExifUserComment, "héllo");
  EXPECT_TRUE(P.IsExifTagPresent(33434));
  EXPECT_TRUE(P.IsExifTagPresent(37380));
  EXPECT_FALSE(P.IsExifTagPresent(37379));  // brightness never set
  EXPECT_EQ(P.GpsVersionID, "2.2.0.0");
  EXPECT_EQ(P.GpsLatitudeRef, "N");
  EXPECT_DOUBLE_EQ(P.GpsLatitude[2], 40.5);
  EXPECT_EQ(P.GpsLongitudeRef, "W");
  EXPECT_DOUBLE_EQ(P.GpsLongitude[2], 5.25);
  EXPECT_EQ(P.GpsAltitudeRef, "1");
  EXPECT_DOUBLE_EQ(P.GpsAltitude, 12.5);
  EXPECT_EQ(P.GpsDateStamp, "2024:05:06");
}

// Every field that a decode may change, as text, to show a failed decode left
// the record alone.
std::string Snapshot(TIOParamsVals& P) {
  return P.ExifMake + "|" + P.ExifModel + "|" + std::to_string(P.ExifOrientation) + "|" +
         std::to_string(P.DpiX) + "|" + std::to_string(P.ExifPresent) + "|" + P.GpsVersionID + "|" +
         std::to_string(P.ExifTagsPresent->GetCount()) + "|" + std::to_string(P.ExifFNumber);
}

}  // namespace

TEST(ExifBlock, RoundTripKeepsEveryFieldAndTheThumbnail) {
  TIOParamsVals P;
  FillSample(P);
  P.ExifThumbnail = Picture(40, 30);
  const Bytes block = Encode(P);
  ASSERT_GT(block.size(), 16u);
  EXPECT_EQ(Bytes(block.begin(), block.begin() + 10), (Bytes{'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0}));
  // The bare form is the same structure without the header.
  EXPECT_EQ(Encode(P, false), Bytes(block.begin() + 6, block.end()));

  TIOParamsVals Q;
  ASSERT_TRUE(IEDecodeExifBlock(block.data(), int32_t(block.size()), &Q));
  ExpectSample(Q);
  // The thumbnail comes back upright: stored 40 x 30 with orientation 6.
  ASSERT_TRUE(Q.ExifThumbnail);
  EXPECT_EQ(Q.ExifThumbnail->GetWidth(), 30);
  EXPECT_EQ(Q.ExifThumbnail->GetHeight(), 40);
}

TEST(ExifBlock, LargeThumbnailIsRefusedButTheFieldsAreRead) {
  TIOParamsVals P;
  FillSample(P);
  P.SetOrientation(1);
  P.ExifThumbnail = Picture(640, 480);
  const Bytes block = Encode(P);
  TIOParamsVals Q;
  ASSERT_TRUE(IEDecodeExifBlock(block.data(), int32_t(block.size()), &Q));
  EXPECT_EQ(Q.ExifMake, "Folicam");
  ASSERT_TRUE(Q.ExifThumbnail);
  EXPECT_TRUE(Q.ExifThumbnail->IsEmpty());
}

TEST(ExifBlock, PillowReadsOurBlock) {
  if (!HavePillow()) GTEST_SKIP();
  TempDir dir;
  TIOParamsVals P;
  FillSample(P);
  P.ExifThumbnail = Picture(32, 24);
  WriteFileBytes(dir.file("exif.bin"), Encode(P));
  const std::string py =
      "from PIL import Image\n"
      "e = Image.Exif(); e.load(open('" + dir.file("exif.bin") + "','rb').read())\n"
      "x = e.get_ifd(0x8769); g = e.get_ifd(0x8825)\n"
      "print(e[271], e[272], e[274], float(e[282]), float(e[283]), e[306], e[315])\n"
      "print(float(x[33434]), float(x[33437]), float(x[37380]), x[37385], x[40962], x[34855], x[36867])\n"
      "print(g[1], [float(v) for v in g[2]], g[3], [float(v) for v in g[4]], float(g[6]), g[5], g[29], g[0])\n"
      "print(e[40091].decode('utf-16-le').rstrip('\\x00'))\n"
      "import struct, io\n"
      "b = open('" + dir.file("exif.bin") + "','rb').read()[6:]\n"
      "o = struct.unpack('<I', b[4:8])[0]; n = struct.unpack('<H', b[o:o+2])[0]\n"
      "o1 = struct.unpack('<I', b[o+2+12*n:o+6+12*n])[0]\n"
      "t = dict((struct.unpack('<H', b[p:p+2])[0], struct.unpack('<I', b[p+8:p+12])[0])\n"
      "  for p in (o1 + 2 + 12 * i for i in range(struct.unpack('<H', b[o1:o1+2])[0])))\n"
      "im = Image.open(io.BytesIO(b[t[513]:t[513]+t[514]])); im.load()\n"
      "print(t[259] & 0xFFFF, im.format, im.size)\n";
  std::string out;
  ASSERT_EQ(RunCommand(std::string(kPython) + " -c \"" + py + "\"", &out), 0) << out;
  EXPECT_EQ(out,
            "Folicam FX-1 6 300.0 150.0 2024:05:06 07:08:09 A. Painter\n"
            "0.005 5.6 -0.5 16 640 400 2024:05:06 07:08:00\n"
            "N [51.0, 28.0, 40.5] W [0.0, 0.0, 5.25] 12.5 b'\\x01' 2024:05:06 b'\\x02\\x02\\x00\\x00'\n"
            "Tür\n"
            "6 JPEG (32, 24)\n");
}

TEST(ExifBlock, PillowBlockReadsHere) {
  if (!HavePillow()) GTEST_SKIP();
  TempDir dir;
  // Both byte orders: Pillow writes big-endian blocks on request.
  for (const char* order : {"<", ">"}) {
    const std::string py =
        "from PIL import Image, TiffImagePlugin\n"
                "R = TiffImagePlugin.IFDRational\n"
        "e = Image.Exif(); e.endian = '" + std::string(order) + "'\n"
        "e[271] = 'Pilcam'; e[272] = 'P-2'; e[274] = 8; e[282] = R(72); e[283] = R(72); e[296] = 2\n"
        "e[306] = '2023:01:02 03:04:05'\n"
        "e[0x8769] = {33434: R(1, 250), 33437: R(28, 10), 37385: 1, 34855: 800, 37386: R(35),\n"
        "  36867: '2023:01:02 03:04:00', 37510: b'ASCII\\x00\\x00\\x00plain words'}\n"
        "e[0x8825] = {0: b'\\x02\\x03\\x00\\x00', 1: 'S', 2: (R(33), R(51), R(1234, 100)), 3: 'E',\n"
        "  4: (R(151), R(12), R(0)), 5: b'\\x00', 6: R(58), 29: '2023:01:02'}\n"
        "open('" + dir.file("p.bin") + "','wb').write(e.tobytes())\n";
    ASSERT_EQ(RunCommand(std::string(kPython) + " -c \"" + py + "\""), 0) << order;
    Bytes block = ReadFileBytes(dir.file("p.bin"));
    ASSERT_GT(block.size(), 6u);
    if (std::memcmp(block.data(), "Exif", 4) != 0) block.insert(block.begin(), {'E', 'x', 'i', 'f', 0, 0});
    TIOParamsVals Q;
    ASSERT_TRUE(IEDecodeExifBlock(block.data(), int32_t(block.size()), &Q)) << order;
    EXPECT_EQ(Q.ExifMake, "Pilcam");
    EXPECT_EQ(Q.ExifModel, "P-2");
    EXPECT_EQ(Q.ExifOrientation, 8);
    EXPECT_EQ(Q.DpiX, 72);
    EXPECT_EQ(Q.ExifDateTime, "2023:01:02 03:04:05");
    EXPECT_DOUBLE_EQ(Q.ExifExposureTime, 1.0 / 250);
    EXPECT_DOUBLE_EQ(Q.ExifFNumber, 2.8);
    EXPECT_DOUBLE_EQ(Q.ExifFocalLength, 35);
    EXPECT_EQ(Q.ExifFlash, 1);
    EXPECT_EQ(Q.GetExifIsoSpeed(0), 800);
    EXPECT_EQ(Q.ExifDateTimeOriginal, "2023:01:02 03:04:00");
    EXPECT_EQ(Q.ExifUserComment, "plain words");
    EXPECT_EQ(Q.GpsVersionID, "2.3.0.0");
    EXPECT_EQ(Q.GpsLatitudeRef, "S");
    EXPECT_DOUBLE_EQ(Q.GpsLatitude[2], 12.34);
    EXPECT_EQ(Q.GpsLongitudeRef, "E");
    EXPECT_DOUBLE_EQ(Q.GpsLongitude[0], 151);
    EXPECT_EQ(Q.GpsAltitudeRef, "0");
    EXPECT_DOUBLE_EQ(Q.GpsAltitude, 58);
    EXPECT_EQ(Q.GpsDateStamp, "2023:01:02");
    EXPECT_TRUE(Q.ExifPresent);
  }
}

TEST(ExifBlock, DamagedBlocksFailCleanly) {
  TIOParamsVals P;
  FillSample(P);
  P.ExifThumbnail = Picture(16, 12);
  const Bytes good = Encode(P);

  // Blocks that are not EXIF or whose structure lies outside the block are
  // refused and leave the record alone.
  auto patched = [&](size_t At, std::initializer_list<uint8_t> V) {
    Bytes b = good;
    std::copy(V.begin(), V.end(), b.begin() + ptrdiff_t(At));
    return b;
  };
  const std::vector<std::pair<const char*, Bytes>> bad = {
      {"lower-case header", patched(0, {'e'})},
      {"no TIFF byte order", patched(6, {'X', 'X'})},
      {"wrong magic", patched(8, {43})},
      {"IFD0 beyond the block", patched(10, {0xF0, 0xFF, 0, 0})},
      {"header only", Bytes(good.begin(), good.begin() + 10)},
      {"IFD0 cut off", Bytes(good.begin(), good.begin() + 20)},
  };
  for (const auto& c : bad) {
    TIOParamsVals Q;
    Q.ExifMake = "untouched";
    const std::string before = Snapshot(Q);
    EXPECT_FALSE(IEDecodeExifBlock(c.second.data(), int32_t(c.second.size()), &Q)) << c.first;
    EXPECT_EQ(Snapshot(Q), before) << c.first;
  }
  // An EXIF directory pointer beyond the block is damage too.
  {
    Bytes b = good;
    const size_t ifd0 = 6 + 8;
    const uint16_t n = uint16_t(b[ifd0] | (b[ifd0 + 1] << 8));
    bool found = false;
    for (size_t i = 0; i < n; ++i) {
      const size_t e = ifd0 + 2 + 12 * i;
      if (b[e] == 0x69 && b[e + 1] == 0x87) {
        b[e + 8] = 0xFF, b[e + 9] = 0xFF, b[e + 10] = 0, b[e + 11] = 0;
        found = true;
      }
    }
    ASSERT_TRUE(found);
    TIOParamsVals Q;
    EXPECT_FALSE(IEDecodeExifBlock(b.data(), int32_t(b.size()), &Q));
  }
  // Every truncation and every single-byte corruption is survived: an answer
  // either way, no read outside the block.
  for (size_t len = 0; len <= good.size(); ++len) {
    Bytes b(good.begin(), good.begin() + ptrdiff_t(len));
    TIOParamsVals Q;
    IEDecodeExifBlock(b.data(), int32_t(b.size()), &Q);
  }
  for (size_t i = 6; i < good.size() && i < 600; ++i)
    for (uint8_t v : {uint8_t(0x00), uint8_t(0xFF), uint8_t(0x80)}) {
      Bytes b = good;
      b[i] = v;
      TIOParamsVals Q;
      IEDecodeExifBlock(b.data(), int32_t(b.size()), &Q);
    }
}

TEST(ExifBlock, FindTiffHeader) {
  struct Case {
    const char* Name;
    Bytes Data;
    int64_t Expected;
  };
  Bytes mmAt12(12, 0x55);
  mmAt12.insert(mmAt12.end(), {'M', 'M', 0, 42, 0, 0, 0, 8});
  mmAt12.resize(64, 0);
  Bytes beyondThenGood = {'I', 'I', 42, 0, 0xFF, 0xFF, 0, 0, 'I', 'I', 0x52, 0x4F, 16, 0, 0, 0};
  beyondThenGood.resize(40, 0);
  const std::vector<Case> cases = {
      {"big-endian at 12", mmAt12, 12},
      {"offset beyond the stream skipped", beyondThenGood, 8},
      {"nothing", Bytes(100, 0), -1},
      {"window too short", Bytes{'I', 'I', 42, 0, 1, 0, 0}, -1},
  };
  for (const Case& c : cases) {
    TMemoryStream ms;
    ms.WriteBuffer(c.Data.data(), int64_t(c.Data.size()));
    ms.SetPosition(0);
    EXPECT_EQ(IEFindTiffHeader(&ms), c.Expected) << c.Name;
    EXPECT_EQ(ms.GetPosition(), 0) << c.Name;
  }
}

TEST(ExifBlock, OrientationsMatchImageMagick) {
  if (!HaveTool("convert")) GTEST_SKIP();
  TempDir dir;
  const int32_t W = 7, H = 4;
  auto src = Picture(W, H);
  PnmImage in;
  in.Kind = '6', in.Width = W, in.Height = H;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t* p = src->GetScanline(y) + 3 * x;
      in.Data.insert(in.Data.end(), {p[2], p[1], p[0]});
    }
  WriteFileBytes(dir.file("in.ppm"), FormatPnm(in));
  const char* names[9] = {"", "TopLeft", "TopRight", "BottomRight", "BottomLeft",
                          "LeftTop", "RightTop", "RightBottom", "LeftBottom"};
  for (int32_t o = 1; o <= 8; ++o) {
    const std::string out = dir.file("o" + std::to_string(o) + ".ppm");
    ASSERT_EQ(RunCommand("convert " + dir.file("in.ppm") + " -orient " + names[o] + " -auto-orient " + out), 0);
    const PnmImage ref = ParsePnm(ReadFileBytes(out));
    // 24-bit, 8-bit gray and 1-bit images turn alike; gray stays gray.
    for (TIEPixelFormat f : {ie24RGB, ie8g, ie1g}) {
      auto img = Picture(W, H, f);
      auto plain = Picture(W, H, f);
      ASSERT_EQ(img->GetPixelFormat(), f);
      IEApplyEXIFOrientation(img.get(), o);
      ASSERT_EQ(img->GetPixelFormat(), f) << o;
      ASSERT_EQ(img->GetWidth(), ref.Width) << o;
      ASSERT_EQ(img->GetHeight(), ref.Height) << o;
      // Where ImageMagick's pixel came from, found in the unturned picture.
      for (int32_t y = 0; y < ref.Height; ++y)
        for (int32_t x = 0; x < ref.Width; ++x) {
          const uint8_t* r = &ref.Data[size_t(y * ref.Width + x) * 3];
          int32_t sx = -1, sy = -1;
          for (int32_t yy = 0; yy < H && sx < 0; ++yy)
            for (int32_t xx = 0; xx < W; ++xx) {
              const uint8_t* p = src->GetScanline(yy) + 3 * xx;
              if (p[2] == r[0] && p[1] == r[1] && p[0] == r[2]) {
                sx = xx, sy = yy;
                break;
              }
            }
          ASSERT_GE(sx, 0);
          EXPECT_EQ(img->GetPixelRGB(x, y).r, plain->GetPixelRGB(sx, sy).r) << o << " f" << int(f);
          EXPECT_EQ(img->GetPixelRGB(x, y).g, plain->GetPixelRGB(sx, sy).g) << o << " f" << int(f);
        }
    }
  }
  // Values outside 2..8 leave the image alone; the alpha plane turns too.
  auto img = Picture(W, H);
  img->GetAlphaChannel()->Fill(0);
  img->SetAlpha(W - 1, 0, 200);
  for (int32_t o : {0, 1, 9}) {
    IEApplyEXIFOrientation(img.get(), o);
    EXPECT_EQ(img->GetWidth(), W);
  }
  IEApplyEXIFOrientation(img.get(), 6);
  ASSERT_TRUE(img->HasAlphaChannel());
  EXPECT_EQ(img->GetAlphaChannel()->GetWidth(), H);
  EXPECT_EQ(img->GetAlpha(H - 1, W - 1), 200);
}

TEST(ExifBlock, ThumbnailComesBackUprightWithItsPixels) {
  // Left half black, right half white, stored with orientation 6: upright the
  // black half is on top (a turn the other way would put it at the bottom).
  TIOParamsVals P;
  P.ExifPresent = true;
  P.SetOrientation(6);
  P.ExifThumbnail = std::make_unique<TIEBitmap>(40, 30, ie24RGB);
  P.ExifThumbnail->Fill(0xFFFFFF);
  P.ExifThumbnail->FillRect(0, 0, 19, 29, 0);
  const Bytes block = Encode(P);
  TIOParamsVals Q;
  ASSERT_TRUE(IEDecodeExifBlock(block.data(), int32_t(block.size()), &Q));
  ASSERT_TRUE(Q.ExifThumbnail && !Q.ExifThumbnail->IsEmpty());
  ASSERT_EQ(Q.ExifThumbnail->GetWidth(), 30);
  EXPECT_LT(Q.ExifThumbnail->GetPixelRGB(15, 5).g, 40);
  EXPECT_GT(Q.ExifThumbnail->GetPixelRGB(15, 35).g, 215);
}

// Camera-raw style TIFF files, made by Pillow: two pages, EXIF and GPS in the
// first.
TEST(ExifBlock, TiffPreviewAndParameters) {
  if (!HavePillow()) GTEST_SKIP();
  TempDir dir;
  auto make = [&](const std::string& Name, const char* FirstColour) {
    const std::string py =
        "from PIL import Image, TiffImagePlugin\n"
        "R = TiffImagePlugin.IFDRational\n"
        "e = Image.Exif(); e.endian = '<'; e[271] = 'Cam'\n"
        "e[0x8769] = {33434: R(1, 60)}\n"
        "e[0x8825] = {0: b'\\x02\\x02\\x00\\x00', 1: 'N', 2: (R(1), R(2), R(3))}\n"
        "a = Image.new('RGB', (160, 120), " + std::string(FirstColour) + ")\n"
        "b = Image.new('RGB', (300, 200), (200, 10, 10))\n"
        "a.save('" + dir.file(Name) + "', save_all=True, append_images=[b], exif=e.tobytes())\n";
    EXPECT_EQ(RunCommand(std::string(kPython) + " -c \"" + py + "\""), 0);
    // Behind a few bytes of something else, as in a container.
    Bytes f = ReadFileBytes(dir.file(Name));
    f.insert(f.begin(), 5, 0xAA);
    return f;
  };
  struct Case {
    const char* Name;
    const char* FirstColour;
    int32_t PreviewWidth;
  };
  for (const Case& c : {Case{"narrow.tif", "(10, 200, 30)", 160}, Case{"black.tif", "(0, 0, 0)", 300}}) {
    const Bytes f = make(c.Name, c.FirstColour);
    TMemoryStream ms;
    ms.WriteBuffer(f.data(), int64_t(f.size()));
    ms.SetPosition(0);
    const int64_t at = IEFindTiffHeader(&ms);
    ASSERT_EQ(at, 5) << c.Name;
    ms.SetPosition(at);
    TIOParamsVals P;
    EXPECT_TRUE(IEReadTiffPreviewAndExif(&ms, &P));
    EXPECT_EQ(ms.GetPosition(), at);
    EXPECT_TRUE(P.ExifPresent);
    EXPECT_EQ(P.ExifMake, "Cam");
    EXPECT_DOUBLE_EQ(P.ExifExposureTime, 1.0 / 60);
    EXPECT_EQ(P.GpsLatitudeRef, "N");
    ASSERT_TRUE(P.ExifThumbnail);
    EXPECT_EQ(P.ExifThumbnail->GetWidth(), c.PreviewWidth) << c.Name;

    TIOParamsVals Q;
    EXPECT_TRUE(IEReadTiffExifParams(&ms, &Q));
    EXPECT_EQ(ms.GetPosition(), at);
    EXPECT_EQ(Q.Width, 160);
    EXPECT_EQ(Q.ExifMake, "Cam");
    EXPECT_DOUBLE_EQ(Q.GpsLatitude[2], 3);
    EXPECT_TRUE(Q.ExifThumbnail && Q.ExifThumbnail->IsEmpty());
    EXPECT_TRUE(Q.ExifPresent);  // the page has an EXIF directory
  }
}

TEST(ExifBlock, App1BlockTooLargeForOneMarkerGoesWithoutThumbnail) {
  TIOParamsVals P;
  FillSample(P);
  P.ExifThumbnail = std::make_unique<TIEBitmap>(400, 400, ie24RGB);
  uint32_t seed = 12345;
  for (int32_t y = 0; y < 400; ++y) {
    uint8_t* row = P.ExifThumbnail->GetScanline(y);
    for (int32_t x = 0; x < 1200; ++x) row[x] = uint8_t((seed = seed * 1103515245u + 12345u) >> 24);
  }
  const Bytes bare = Encode(P, false);
  ASSERT_GT(bare.size(), 65533u);  // the TIFF form keeps the thumbnail
  const Bytes app1 = Encode(P, true);
  EXPECT_LE(app1.size(), 65533u);
  TIOParamsVals Q;
  ASSERT_TRUE(IEDecodeExifBlock(app1.data(), int32_t(app1.size()), &Q));
  EXPECT_EQ(Q.ExifMake, "Folicam");
  EXPECT_TRUE(Q.ExifThumbnail->IsEmpty());
}

TEST(ExifBlock, MakerNoteSurvivesARoundTrip) {
  if (!HavePillow()) GTEST_SKIP();
  TempDir dir;
  // A maker note that is a bare little-endian directory of two entries.
  const std::string py =
      "from PIL import Image\n"
      "import struct\n"
      "mn = struct.pack('<H', 2) + struct.pack('<HHIHH', 1, 3, 1, 7, 0) + struct.pack('<HHI4s', 2, 2, 4, b'abc\\\\x00') + struct.pack('<I', 0)\n"
      "e = Image.Exif(); e.endian = '<'; e[271] = 'M'\n"
      "e[0x8769] = {37500: mn}\n"
      "open('" + dir.file("m.bin") + "','wb').write(e.tobytes())\n";
  ASSERT_EQ(RunCommand(std::string(kPython) + " -c \"" + py + "\""), 0);
  Bytes block = ReadFileBytes(dir.file("m.bin"));
  if (std::memcmp(block.data(), "Exif", 4) != 0) block.insert(block.begin(), {'E', 'x', 'i', 'f', 0, 0});
  TIOParamsVals P;
  ASSERT_TRUE(IEDecodeExifBlock(block.data(), int32_t(block.size()), &P));
  ASSERT_EQ(P.ExifMakerNote->GetEntriesCount(), 2);
  EXPECT_EQ(P.ExifMakerNote->GetEntry(0).Tag, 1);
  const Bytes again = Encode(P);
  TIOParamsVals Q;
  ASSERT_TRUE(IEDecodeExifBlock(again.data(), int32_t(again.size()), &Q));
  ASSERT_EQ(Q.ExifMakerNote->GetEntriesCount(), 2);
  EXPECT_EQ(Q.ExifMakerNote->GetEntry(0).Tag, 1);
  EXPECT_EQ(Q.ExifMakerNote->GetEntry(0).Value & 0xFFFF, 7u);
  int64_t n = 0;
  const uint8_t* text = Q.ExifMakerNote->GetEntryData(1, n);
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(text), 3), "abc");
}

TEST(ExifBlock, ImageMagickReadsOurBlockInAJpeg) {
  if (!HaveTool("convert") || !HaveTool("identify")) GTEST_SKIP();
  TempDir dir;
  ASSERT_EQ(RunCommand("convert -size 16x8 xc:gray " + dir.file("plain.jpg")), 0);
  Bytes jpeg = ReadFileBytes(dir.file("plain.jpg"));
  ASSERT_GT(jpeg.size(), 2u);
  TIOParamsVals P;
  FillSample(P);
  P.ExifThumbnail = Picture(16, 8);
  const Bytes block = Encode(P);
  Bytes seg = {0xFF, 0xE1, uint8_t((block.size() + 2) >> 8), uint8_t(block.size() + 2)};
  seg.insert(seg.end(), block.begin(), block.end());
  jpeg.insert(jpeg.begin() + 2, seg.begin(), seg.end());
  WriteFileBytes(dir.file("exif.jpg"), jpeg);
  std::string out;
  ASSERT_EQ(RunCommand("identify -format '%[EXIF:Make]|%[EXIF:Orientation]|%[EXIF:ExposureTime]|%[EXIF:GPSLatitude]|"
                       "%[EXIF:GPSLatitudeRef]|%[EXIF:DateTimeOriginal]' " + dir.file("exif.jpg"),
                       &out),
            0);
  EXPECT_EQ(out, "Folicam|6|1/200|51/1, 28/1, 81/2|N|2024:05:06 07:08:00");
}

TEST(ExifBlock, UncompressedThumbnailReadsThroughTheTiffReader) {
  // IFD0 with Make only; IFD1 a 2 x 2 uncompressed RGB strip.
  Bytes b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag), u16(type), u32(count), u32(value);
  };
  // IFD0 at 8: 1 entry, next IFD at 26.
  u16(1), entry(271, 2, 4, 'C' | ('a' << 8) | ('m' << 16)), u32(26);
  // IFD1 at 26: 10 entries (2 + 120 + 4 = 126 bytes), bits at 152, pixels at 158.
  u16(10);
  entry(256, 3, 1, 2), entry(257, 3, 1, 2), entry(258, 3, 3, 152), entry(259, 3, 1, 1), entry(262, 3, 1, 2);
  entry(273, 4, 1, 158), entry(277, 3, 1, 3), entry(278, 3, 1, 2), entry(279, 4, 1, 12), entry(284, 3, 1, 1);
  u32(0);
  u16(8), u16(8), u16(8);
  for (uint8_t v : {255, 0, 0, 0, 255, 0, 0, 0, 255, 10, 20, 30}) b.push_back(v);
  ASSERT_EQ(b.size(), 6u + 158u + 12u);
  TIOParamsVals P;
  ASSERT_TRUE(IEDecodeExifBlock(b.data(), int32_t(b.size()), &P));
  EXPECT_EQ(P.ExifMake, "Cam");
  ASSERT_TRUE(P.ExifThumbnail && !P.ExifThumbnail->IsEmpty());
  EXPECT_EQ(P.ExifThumbnail->GetWidth(), 2);
  EXPECT_EQ(P.ExifThumbnail->GetPixelRGB(0, 0).r, 255);
  EXPECT_EQ(P.ExifThumbnail->GetPixelRGB(1, 1).b, 30);
  // The same with its pixels cut off: the fields stay (what the reader makes
  // of the missing strip is its own affair).
  b.resize(b.size() - 12);
  TIOParamsVals Q;
  EXPECT_TRUE(IEDecodeExifBlock(b.data(), int32_t(b.size()), &Q));
  EXPECT_EQ(Q.ExifMake, "Cam");
}

TEST(ExifBlock, JpegThumbnailLengthBeyondTheBlockAllocatesNothing) {
  // IFD0 with Make only; IFD1 a JPEG thumbnail whose length claims 2 GB of a
  // block of about a hundred bytes.
  Bytes b = {'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0};
  auto u16 = [&](uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); };
  auto u32 = [&](uint32_t v) { u16(v & 0xFFFF), u16(v >> 16); };
  auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
    u16(tag), u16(type), u32(count), u32(value);
  };
  u16(1), entry(271, 2, 4, 'C' | ('a' << 8) | ('m' << 16)), u32(26);
  u16(5);
  entry(256, 3, 1, 8), entry(257, 3, 1, 8), entry(259, 3, 1, 6), entry(513, 4, 1, 92);
  entry(514, 4, 1, 0x7FFFFFF0);
  u32(0);
  for (uint8_t v : {0xFF, 0xD8, 0xFF, 0xE0, 0, 0}) b.push_back(v);
  rusage before{}, after{};
  getrusage(RUSAGE_SELF, &before);
  TIOParamsVals P;
  ASSERT_TRUE(IEDecodeExifBlock(b.data(), int32_t(b.size()), &P));
  getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(P.ExifMake, "Cam");
  EXPECT_TRUE(P.ExifThumbnail && P.ExifThumbnail->IsEmpty());
  // Peak resident memory (kilobytes) did not take the claimed length.
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 512L * 1024);
}
