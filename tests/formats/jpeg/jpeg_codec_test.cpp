// The JPEG codec wrapper: files made by cjpeg, ImageMagick and Pillow read
// here as djpeg reads them, with their metadata; files written here read
// there with the quality, density, colour space and markers asked for; bad
// input fails cleanly through the abort flag.
#include <atomic>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "foundations/icc_profile.h"
#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/settings.h"
#include "formats/io_params.h"
#include "formats/jpeg/jpeg_codec.h"
#include "foundations/progress.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::HaveTool;
using testsupport::ParsePnm;
using testsupport::PnmImage;
using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// A colour test pattern with gradients, edges and some noise.
PnmImage Pattern(int32_t W, int32_t H, char Kind = '6') {
  PnmImage img;
  img.Kind = Kind;
  img.Width = W;
  img.Height = H;
  img.Data.resize(size_t(img.RowBytes()) * H);
  std::mt19937 rng(7);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const uint8_t n = uint8_t(rng() % 16);
      const uint8_t r = uint8_t((x * 255) / std::max(1, W - 1));
      const uint8_t g = uint8_t((y * 255) / std::max(1, H - 1));
      const uint8_t b = uint8_t(((x / 8 + y / 8) % 2) ? 200 + n : 40 + n);
      if (Kind == '5') {
        img.Data[size_t(y) * W + x] = uint8_t((r + g + b) / 3);
      } else {
        uint8_t* p = &img.Data[(size_t(y) * W + x) * 3];
        p[0] = r;
        p[1] = g;
        p[2] = b;
      }
    }
  return img;
}

struct ReadOut {
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  std::unique_ptr<TIOParamsVals> Params = std::make_unique<TIOParamsVals>();
  std::atomic<bool> Aborting{false};
  int32_t Rows = 0;
};

// Reads a JPEG held in memory, starting at Offset.
std::unique_ptr<ReadOut> Read(const Bytes& File, bool Native = false, int64_t Offset = 0,
                              const std::function<void(TIOParamsVals&)>& Setup = {}) {
  auto r = std::make_unique<ReadOut>();
  if (Setup) Setup(*r->Params);
  TMemoryStream s;
  if (!File.empty()) s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(Offset);
  TIEProgressRec progress;
  progress.Aborting = &r->Aborting;
  r->Rows = JpegReadStream(&s, r->Bitmap.get(), *r->Params, progress, {.ReadMetadata = true, .ApplyIcc = true, .ReadIccChunks = true, .NativePixelFormat = Native});
  return r;
}

Bytes Write(TIEBitmap* B, TIOParamsVals& P, bool* Aborting = nullptr) {
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIEProgressRec progress;
  progress.Aborting = &abort;
  JpegWriteStream(&s, B, P, progress);
  if (Aborting) *Aborting = abort;
  const uint8_t* m = static_cast<const uint8_t*>(s.GetMemory());
  return Bytes(m, m + s.GetSize());
}

// The image as netpbm data: red, green, blue (or gray for ie8g).
PnmImage ToPnm(TIEBitmap* B) {
  PnmImage img;
  img.Kind = B->GetPixelFormat() == ie8g ? '5' : '6';
  img.Width = B->GetWidth();
  img.Height = B->GetHeight();
  for (int32_t y = 0; y < img.Height; ++y) {
    const uint8_t* row = B->GetScanline(y);
    for (int32_t x = 0; x < img.Width; ++x) {
      if (img.Kind == '5') {
        img.Data.push_back(row[x]);
      } else {
        img.Data.push_back(row[3 * x + 2]);
        img.Data.push_back(row[3 * x + 1]);
        img.Data.push_back(row[3 * x]);
      }
    }
  }
  return img;
}

std::unique_ptr<TIEBitmap> FromPnm(const PnmImage& Img) {
  auto b = TIEBitmap::CreateSized(Img.Width, Img.Height, Img.Kind == '5' ? ie8g : ie24RGB);
  for (int32_t y = 0; y < Img.Height; ++y) {
    uint8_t* row = b->GetScanline(y);
    for (int32_t x = 0; x < Img.Width; ++x) {
      if (Img.Kind == '5') {
        row[x] = Img.Data[size_t(y) * Img.Width + x];
      } else {
        const uint8_t* p = &Img.Data[(size_t(y) * Img.Width + x) * 3];
        row[3 * x] = p[2];
        row[3 * x + 1] = p[1];
        row[3 * x + 2] = p[0];
      }
    }
  }
  return b;
}

double MeanAbsDiff(const Bytes& A, const Bytes& B) {
  if (A.size() != B.size() || A.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < A.size(); ++i) sum += std::abs(int(A[i]) - int(B[i]));
  return sum / double(A.size());
}

// What djpeg decodes of a file.
PnmImage Djpeg(const TempDir& Dir, const Bytes& File) {
  WriteFileBytes(Dir.file("djpeg-in.jpg"), File);
  RunCommand("djpeg -pnm -outfile '" + Dir.file("djpeg-out.pnm") + "' '" + Dir.file("djpeg-in.jpg") + "'");
  return ParsePnm(ReadFileBytes(Dir.file("djpeg-out.pnm")));
}

// A JPEG segment: marker, big-endian length, payload.
Bytes Segment(uint8_t Marker, const Bytes& Payload) {
  Bytes s = {0xFF, Marker, uint8_t((Payload.size() + 2) >> 8), uint8_t(Payload.size() + 2)};
  s.insert(s.end(), Payload.begin(), Payload.end());
  return s;
}

// Inserts segments right after the SOI marker.
Bytes Splice(const Bytes& Jpeg, const Bytes& Segments) {
  Bytes out(Jpeg.begin(), Jpeg.begin() + 2);
  out.insert(out.end(), Segments.begin(), Segments.end());
  out.insert(out.end(), Jpeg.begin() + 2, Jpeg.end());
  return out;
}

// Splits a JPEG into its segments: (marker, whole segment bytes); the
// entropy-coded data stays with the SOS segment.
std::vector<std::pair<uint8_t, Bytes>> Segments(const Bytes& F) {
  std::vector<std::pair<uint8_t, Bytes>> out;
  size_t p = 2;
  while (p + 4 <= F.size() && F[p] == 0xFF) {
    const uint8_t m = F[p + 1];
    const size_t len = size_t(F[p + 2]) << 8 | F[p + 3];
    size_t end = p + 2 + len;
    if (m == 0xDA) end = F.size() - 2;
    out.push_back({m, Bytes(F.begin() + int64_t(p), F.begin() + int64_t(end))});
    p = end;
  }
  return out;
}

// A JPEG made by cjpeg from a pattern image.
Bytes Cjpeg(const TempDir& Dir, const PnmImage& Img, const std::string& Options = "") {
  WriteFileBytes(Dir.file("cjpeg-in.pnm"), testsupport::FormatPnm(Img));
  RunCommand("cjpeg " + Options + " -outfile '" + Dir.file("cjpeg-out.jpg") + "' '" +
             Dir.file("cjpeg-in.pnm") + "'");
  return ReadFileBytes(Dir.file("cjpeg-out.jpg"));
}

bool HaveJpegTools() { return HaveTool("cjpeg") && HaveTool("djpeg"); }

void Put16BE(Bytes& B, uint32_t V) {
  B.push_back(uint8_t(V >> 8));
  B.push_back(uint8_t(V));
}
void Put32BE(Bytes& B, uint32_t V) {
  Put16BE(B, V >> 16);
  Put16BE(B, V & 0xFFFF);
}

// An EXIF APP1 payload (big-endian TIFF) with orientation, a resolution of
// XRes per Unit, and optionally a JPEG thumbnail in IFD1.
Bytes ExifPayload(uint16_t Orientation, uint32_t XResNum, uint32_t XResDen, uint16_t Unit,
                  const Bytes& Thumbnail = {}) {
  Bytes t = {'M', 'M', 0, 42};
  Put32BE(t, 8);
  // IFD0: 4 entries.
  const uint32_t ifd0 = 8, n0 = 4;
  const uint32_t ratOff = ifd0 + 2 + n0 * 12 + 4;  // two rationals follow IFD0
  const uint32_t ifd1 = Thumbnail.empty() ? 0 : ratOff + 16;
  Put16BE(t, n0);
  auto entry = [&](uint16_t Tag, uint16_t Type, uint32_t Count, uint32_t Value, bool Short) {
    Put16BE(t, Tag);
    Put16BE(t, Type);
    Put32BE(t, Count);
    if (Short) {
      Put16BE(t, Value);
      Put16BE(t, 0);
    } else {
      Put32BE(t, Value);
    }
  };
  entry(274, 3, 1, Orientation, true);
  entry(282, 5, 1, ratOff, false);
  entry(283, 5, 1, ratOff + 8, false);
  entry(296, 3, 1, Unit, true);
  Put32BE(t, ifd1);
  Put32BE(t, XResNum);
  Put32BE(t, XResDen);
  Put32BE(t, XResNum);
  Put32BE(t, XResDen);
  if (!Thumbnail.empty()) {
    const uint32_t data = ifd1 + 2 + 3 * 12 + 4;
    Put16BE(t, 3);
    entry(259, 3, 1, 6, true);
    entry(513, 4, 1, data, false);
    entry(514, 4, 1, uint32_t(Thumbnail.size()), false);
    Put32BE(t, 0);
    t.insert(t.end(), Thumbnail.begin(), Thumbnail.end());
  }
  Bytes p = {'E', 'x', 'i', 'f', 0, 0};
  p.insert(p.end(), t.begin(), t.end());
  return p;
}

// A Photoshop IPTC block with one caption record 2:120.
Bytes IptcPayload(const std::string& Caption) {
  Bytes rec = {0x1C, 0x02, 0x78};
  Put16BE(rec, uint32_t(Caption.size()));
  rec.insert(rec.end(), Caption.begin(), Caption.end());
  const std::string head = "Photoshop 3.0";
  Bytes p(head.begin(), head.end());
  p.push_back(0);
  for (char c : std::string("8BIM")) p.push_back(uint8_t(c));
  p.insert(p.end(), {0x04, 0x04, 0x00, 0x00});
  Put32BE(p, uint32_t(rec.size()));
  p.insert(p.end(), rec.begin(), rec.end());
  if (p.size() % 2) p.push_back(0);
  return p;
}

Bytes XmpPayload(const std::string& Xml) {
  const std::string sig = "http://ns.adobe.com/xap/1.0/";
  Bytes p(sig.begin(), sig.end());
  p.push_back(0);
  p.insert(p.end(), Xml.begin(), Xml.end());
  return p;
}

// ---------------------------------------------------------------------------

TEST(JpegCodec, PeerFilesDecodeAsDjpegDecodesThem) {
  if (!HaveJpegTools() || !HaveTool("convert")) GTEST_SKIP() << "cjpeg/djpeg/ImageMagick missing";
  TempDir dir;
  WriteFileBytes(dir.file("in.ppm"), testsupport::FormatPnm(Pattern(67, 45)));
  WriteFileBytes(dir.file("in.pgm"), testsupport::FormatPnm(Pattern(67, 45, '5')));
  const std::string in = "'" + dir.file("in.ppm") + "'", out = "'" + dir.file("peer.jpg") + "'";
  struct Case {
    const char* Name;
    std::string Command;
    uint8_t ColorSpace;
    bool Progressive;
    bool Gray;
  } cases[] = {
      {"cjpeg baseline", "cjpeg -quality 85 -outfile " + out + " " + in, ioJPEG_YCbCr, false, false},
      {"cjpeg progressive", "cjpeg -progressive -outfile " + out + " " + in, ioJPEG_YCbCr, true, false},
      {"cjpeg gray", "cjpeg -grayscale -outfile " + out + " " + in, ioJPEG_GRAYLEV, false, true},
      {"cjpeg RGB", "cjpeg -rgb -outfile " + out + " " + in, ioJPEG_RGB, false, false},
      {"ImageMagick 4:4:4", "convert " + in + " -quality 90 -sampling-factor 1x1 " + out, ioJPEG_YCbCr,
       false, false},
      {"ImageMagick gray", "convert '" + dir.file("in.pgm") + "' " + out, ioJPEG_GRAYLEV, false, true},
      {"Pillow 4:2:0", "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + dir.file("in.ppm") +
                           "').save('" + dir.file("peer.jpg") + "', quality=70, subsampling=2)\"",
       ioJPEG_YCbCr, false, false},
      {"Pillow progressive", "/usr/bin/python3 -c \"from PIL import Image; Image.open('" +
                                 dir.file("in.ppm") + "').save('" + dir.file("peer.jpg") +
                                 "', progressive=True, optimize=True)\"",
       ioJPEG_YCbCr, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::remove(dir.file("peer.jpg").c_str());
    ASSERT_EQ(RunCommand(c.Command), 0);
    const Bytes file = ReadFileBytes(dir.file("peer.jpg"));
    const PnmImage want = Djpeg(dir, file);
    ASSERT_EQ(want.Width, 67);
    for (bool native : {false, true}) {
      auto r = Read(file, native);
      EXPECT_FALSE(r->Aborting);
      EXPECT_EQ(r->Rows, 45);
      EXPECT_EQ(r->Params->Width, 67);
      EXPECT_EQ(r->Params->Height, 45);
      EXPECT_EQ(r->Params->JpegColorSpace, c.ColorSpace);
      EXPECT_EQ(r->Params->JpegProgressive, c.Progressive);
      EXPECT_EQ(r->Params->SamplesPerPixel, c.Gray ? 1 : 3);
      EXPECT_EQ(r->Bitmap->GetPixelFormat(), native && c.Gray ? ie8g : ie24RGB);
      PnmImage got = ToPnm(r->Bitmap.get());
      if (c.Gray && !native) {
        // Gray read as colour: every channel holds the gray value.
        PnmImage g = got;
        g.Kind = '5';
        g.Data.clear();
        for (size_t i = 0; i < got.Data.size(); i += 3) {
          EXPECT_TRUE(got.Data[i] == got.Data[i + 1] && got.Data[i] == got.Data[i + 2]);
          g.Data.push_back(got.Data[i]);
        }
        got = g;
      }
      EXPECT_EQ(got.Data, want.Data);
    }
  }
}

TEST(JpegCodec, CmykFromImageMagickKeepsItsInksAndConvertsToColour) {
  if (!HaveTool("convert")) GTEST_SKIP();
  TempDir dir;
  WriteFileBytes(dir.file("in.ppm"), testsupport::FormatPnm(Pattern(40, 30)));
  ASSERT_EQ(RunCommand("convert '" + dir.file("in.ppm") + "' -colorspace CMYK -quality 95 '" +
                       dir.file("c.jpg") + "' && convert '" + dir.file("c.jpg") + "' -depth 8 'cmyk:" +
                       dir.file("c.raw") + "'"),
            0);
  const Bytes file = ReadFileBytes(dir.file("c.jpg"));
  const Bytes inks = ReadFileBytes(dir.file("c.raw"));
  auto r = Read(file, true);
  ASSERT_FALSE(r->Aborting);
  // ImageMagick codes its CMYK as YCCK.
  EXPECT_TRUE(r->Params->JpegColorSpace == ioJPEG_CMYK || r->Params->JpegColorSpace == ioJPEG_YCbCrK);
  EXPECT_EQ(r->Params->SamplesPerPixel, 4);
  ASSERT_EQ(r->Bitmap->GetPixelFormat(), ieCMYK);
  ASSERT_EQ(inks.size(), size_t(40 * 30 * 4));
  // Stored inverted here (255 = no ink), as plain ink amounts there.
  Bytes ours;
  for (int32_t y = 0; y < 30; ++y)
    for (int32_t x = 0; x < 40 * 4; ++x) ours.push_back(uint8_t(255 - r->Bitmap->GetScanline(y)[x]));
  EXPECT_LT(MeanAbsDiff(ours, inks), 1.0);
  // As colour it comes close to the original picture.
  auto rgb = Read(file, false);
  ASSERT_EQ(rgb->Bitmap->GetPixelFormat(), ie24RGB);
  EXPECT_LT(MeanAbsDiff(ToPnm(rgb->Bitmap.get()).Data, Pattern(40, 30).Data), 12.0);
}

TEST(JpegCodec, PillowMetadataReadWithTheImage) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  WriteFileBytes(dir.file("in.pgm"), testsupport::FormatPnm(Pattern(24, 16, '5')));
  // Pillow writes the EXIF block and a profile large enough for three chunks.
  const std::string py =
      "from PIL import Image, ImageCms\n"
      "im = Image.open('" + dir.file("in.pgm") + "')\n"
      "ex = Image.Exif(); ex[274] = 6; ex[282] = 72.0; ex[283] = 72.0; ex[296] = 2; ex[271] = 'Folicam'\n"
      "icc = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes() + bytes(range(256)) * 600\n"
      "open('" + dir.file("icc.bin") + "', 'wb').write(icc)\n"
      "im.save('" + dir.file("meta.jpg") + "', exif=ex.tobytes(), icc_profile=icc, quality=95)\n";
  WriteFileBytes(dir.file("make.py"), Bytes(py.begin(), py.end()));
  ASSERT_EQ(RunCommand("/usr/bin/python3 '" + dir.file("make.py") + "'"), 0);
  Bytes file = ReadFileBytes(dir.file("meta.jpg"));
  const Bytes icc = ReadFileBytes(dir.file("icc.bin"));
  const std::string xml = "<x:xmpmeta xmlns:x='adobe:ns:meta/'><dc:title>Folivra</dc:title></x:xmpmeta>";
  Bytes extra = Segment(0xED, IptcPayload("A caption"));
  const Bytes xmp = Segment(0xE1, XmpPayload(xml));
  extra.insert(extra.end(), xmp.begin(), xmp.end());
  file = Splice(file, extra);

  auto plain = Read(file, true);
  ASSERT_FALSE(plain->Aborting);
  TIOParamsVals& p = *plain->Params;
  EXPECT_EQ(p.ExifOrientation, 6);
  EXPECT_EQ(p.DpiX, 72);
  EXPECT_EQ(p.DpiY, 72);
  EXPECT_EQ(p.ExifMake, "Folicam");
  ASSERT_TRUE(p.InputIccProfile);
  ASSERT_EQ(p.InputIccProfile->GetRawLength(), int32_t(icc.size()));
  EXPECT_EQ(std::memcmp(p.InputIccProfile->GetRawData(), icc.data(), icc.size()), 0);
  ASSERT_EQ(p.IptcRecords->GetCount(), 1);
  EXPECT_EQ(p.IptcRecords->GetDataSet(0), 120);
  EXPECT_EQ(std::string((const char*)p.IptcRecords->GetData(0), 9), "A caption");
  EXPECT_NE(p.XmpPacket.find("<dc:title>Folivra</dc:title>"), std::string::npos);
  int32_t app2 = 0;
  for (int32_t i = 0; i < p.JpegMarkers->GetCount(); ++i) app2 += p.JpegMarkers->GetMarkerType(i) == 0xE2;
  EXPECT_EQ(app2, 3);
  EXPECT_EQ(p.JpegMarkers->IndexOf(0xE0), -1);  // the codec's own JFIF header is not kept

  // Turned upright: orientation 6 is a quarter turn clockwise, and a gray
  // image stays gray.
  auto upright = Read(file, true, 0, [](TIOParamsVals& q) { q.JpegApplyOrientation = true; });
  ASSERT_EQ(upright->Bitmap->GetPixelFormat(), ie8g);
  ASSERT_EQ(upright->Bitmap->GetWidth(), 16);
  ASSERT_EQ(upright->Bitmap->GetHeight(), 24);
  EXPECT_EQ(upright->Params->ExifOrientation, 1);
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 16; ++x)
      ASSERT_EQ(upright->Bitmap->GetScanline(y)[x], plain->Bitmap->GetScanline(15 - x)[y]) << x << "," << y;
}

TEST(JpegCodec, EveryOrientationTurnedUprightAsImageMagickDoes) {
  if (!HaveJpegTools() || !HaveTool("convert")) GTEST_SKIP();
  TempDir dir;
  // Flat 8 x 8 blocks at quality 100 decode alike in every decoder.
  PnmImage gray;
  gray.Kind = '5';
  gray.Width = 32;
  gray.Height = 16;
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 32; ++x) gray.Data.push_back(uint8_t(((x / 8) * 2 + (y / 8)) * 30));
  const Bytes base = Cjpeg(dir, gray, "-quality 100 -grayscale");
  for (uint16_t o = 1; o <= 8; ++o) {
    SCOPED_TRACE(o);
    const Bytes f = Splice(base, Segment(0xE1, ExifPayload(o, 72, 1, 2)));
    WriteFileBytes(dir.file("o.jpg"), f);
    ASSERT_EQ(RunCommand("convert '" + dir.file("o.jpg") + "' -auto-orient 'pgm:" + dir.file("o.pgm") + "'"), 0);
    const PnmImage want = ParsePnm(ReadFileBytes(dir.file("o.pgm")));
    auto r = Read(f, true, 0, [](TIOParamsVals& p) { p.JpegApplyOrientation = true; });
    ASSERT_EQ(r->Bitmap->GetPixelFormat(), ie8g);
    const PnmImage got = ToPnm(r->Bitmap.get());
    ASSERT_EQ(got.Width, want.Width);
    ASSERT_EQ(got.Height, want.Height);
    int worst = 0;
    for (size_t i = 0; i < got.Data.size(); ++i) worst = std::max(worst, std::abs(got.Data[i] - want.Data[i]));
    EXPECT_LE(worst, 2);
  }
}

TEST(JpegCodec, ResolutionFromJfifAndExif) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  const Bytes base = Cjpeg(dir, Pattern(16, 16));
  ASSERT_GT(base.size(), 20u);
  ASSERT_EQ(std::memcmp(&base[6], "JFIF", 4), 0);
  struct Case {
    uint8_t Unit;
    uint16_t Density;
    Bytes Exif;
    int32_t Dpi;
  } cases[] = {
      {2, 118, {}, 299},
      {1, 300, {}, 300},
      {0, 1, ExifPayload(1, 72, 1, 2), 72},
      {0, 1, ExifPayload(1, 2835, 100, 3), 72},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.Unit) * 1000 + c.Density);
    Bytes f = base;
    f[13] = c.Unit;
    f[14] = uint8_t(c.Density >> 8);
    f[15] = uint8_t(c.Density);
    f[16] = uint8_t(c.Density >> 8);
    f[17] = uint8_t(c.Density);
    if (!c.Exif.empty()) f = Splice(f, Segment(0xE1, c.Exif));
    auto r = Read(f);
    EXPECT_FALSE(r->Aborting);
    EXPECT_EQ(r->Params->DpiX, c.Dpi);
    EXPECT_EQ(r->Params->DpiY, c.Dpi);
  }
}

TEST(JpegCodec, WrittenFilesReadByPeersWithTheirSettings) {
  if (!HaveJpegTools() || !HaveTool("identify")) GTEST_SKIP();
  TempDir dir;
  const PnmImage src = Pattern(50, 34);
  auto bmp = FromPnm(src);
  struct Case {
    uint8_t ColorSpace;
    int32_t Quality;
    bool Progressive;
    uint8_t Subsampling;
    int32_t Dpi;
    const char* Interlace;
    const char* ImColorspace;
    const char* Sampling;
  } cases[] = {
      {ioJPEG_YCbCr, 80, false, 1, 200, "None", "sRGB", "2x2,1x1,1x1"},
      {ioJPEG_YCbCr, 95, true, 2, 300, "JPEG", "sRGB", "1x1,1x1,1x1"},
      {ioJPEG_YCbCr, 50, false, 0, 96, "None", "sRGB", "2x1,1x1,1x1"},
      {ioJPEG_GRAYLEV, 90, false, 1, 150, "None", "Gray", "1x1"},
      {ioJPEG_RGB, 90, false, 1, 72, "None", "sRGB", "1x1,1x1,1x1"},
      {ioJPEG_CMYK, 90, false, 1, 600, "None", "CMYK", "1x1,1x1,1x1,1x1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.ColorSpace) * 1000 + c.Quality);
    TIOParamsVals p;
    p.JpegColorSpace = c.ColorSpace;
    p.JpegQuality = c.Quality;
    p.JpegProgressive = c.Progressive;
    p.JpegChromaSubsampling = c.Subsampling;
    p.SetDpiX(c.Dpi);
    p.SetDpiY(c.Dpi);
    bool abort = true;
    const Bytes file = Write(bmp.get(), p, &abort);
    ASSERT_FALSE(abort);
    WriteFileBytes(dir.file("ours.jpg"), file);
    std::string info;
    ASSERT_EQ(RunCommand("identify -format '%Q|%x|%y|%[interlace]|%[colorspace]|%[jpeg:sampling-factor]' '" +
                             dir.file("ours.jpg") + "'",
                         &info),
              0);
    const std::string dpi = std::to_string(c.Dpi);
    EXPECT_EQ(info, std::to_string(c.Quality) + "|" + dpi + "|" + dpi + "|" + c.Interlace + "|" +
                        c.ImColorspace + "|" + c.Sampling);
    if (c.ColorSpace == ioJPEG_CMYK) {
      // Read back here: the same inks.
      auto r = Read(file);
      EXPECT_LT(MeanAbsDiff(ToPnm(r->Bitmap.get()).Data, src.Data), 6.0);
      continue;
    }
    // djpeg decodes exactly what this reader decodes, and it is the picture.
    const PnmImage theirs = Djpeg(dir, file);
    auto r = Read(file, true);
    EXPECT_FALSE(r->Aborting);
    EXPECT_EQ(r->Params->JpegColorSpace, c.ColorSpace);
    // RGB files carry no JFIF header, hence no density.
    EXPECT_EQ(r->Params->DpiX, c.ColorSpace == ioJPEG_RGB ? 1 : c.Dpi);
    EXPECT_EQ(ToPnm(r->Bitmap.get()).Data, theirs.Data);
    if (c.ColorSpace != ioJPEG_GRAYLEV) {
      EXPECT_LT(MeanAbsDiff(theirs.Data, src.Data), 12.0);
    }
  }
}

TEST(JpegCodec, MarkersWrittenBackAfterTheCodecsHeader) {
  if (!HaveJpegTools() || !HaveTool("rdjpgcom") || !HaveTool("identify")) GTEST_SKIP();
  TempDir dir;
  // A file with two APP0 markers: only the second one is kept ...
  Bytes f = Cjpeg(dir, Pattern(16, 16));
  const Bytes extraApp0 = Segment(0xE0, Bytes{'F', 'O', 'L', 'I', 0, 1, 2, 3});
  f.insert(f.begin() + 20, extraApp0.begin(), extraApp0.end());
  f = Splice(f, Bytes{});
  auto r = Read(f);
  ASSERT_FALSE(r->Aborting);
  TIEMarkerList* ml = r->Params->JpegMarkers.get();
  ASSERT_EQ(ml->GetCount(), 1);
  EXPECT_EQ(ml->GetMarkerType(0), 0xE0);
  EXPECT_EQ(ml->GetMarkerLength(0), 8);
  // ... and, with a comment and an IPTC block, written after the JFIF header.
  const std::string comment = "written by Folivra";
  ml->AddMarker(0xFE, comment.data(), uint16_t(comment.size()));
  const Bytes iptc = IptcPayload("Harbour at dawn");
  ml->AddMarker(0xED, iptc.data(), uint16_t(iptc.size()));
  // The codec writes its own Adobe marker where one belongs; a kept one is
  // never written.
  const Bytes adobe = {'A', 'd', 'o', 'b', 'e', 0, 100, 0, 0, 0, 0, 1};
  ml->AddMarker(0xEE, adobe.data(), uint16_t(adobe.size()));
  const Bytes out = Write(r->Bitmap.get(), *r->Params);
  ASSERT_GT(out.size(), 40u);
  for (auto& seg : Segments(out)) EXPECT_NE(seg.first, 0xEE);
  EXPECT_EQ(std::memcmp(&out[6], "JFIF", 4), 0);
  EXPECT_EQ(out[20], 0xFF);
  EXPECT_EQ(out[21], 0xE0);
  EXPECT_EQ(std::memcmp(&out[24], "FOLI", 4), 0);
  WriteFileBytes(dir.file("m.jpg"), out);
  std::string text;
  RunCommand("rdjpgcom '" + dir.file("m.jpg") + "'", &text);
  EXPECT_NE(text.find(comment), std::string::npos);
  RunCommand("identify -format '%[IPTC:2:120]' '" + dir.file("m.jpg") + "'", &text);
  EXPECT_EQ(text, "Harbour at dawn");
}

TEST(JpegCodec, ReducedDecodingPicksTheScaleForTheWantedSize) {
  auto big = TIEBitmap::CreateSized(1600, 1200, ie24RGB);
  big->Fill(0x336699);
  TIOParamsVals wp;
  wp.JpegQuality = 30;
  const Bytes file = Write(big.get(), wp);
  struct Case {
    uint8_t Mode;
    int32_t W, H, OutW, OutH, Denom;
  } cases[] = {
      {ioJPEG_AUTOCALC, 100, 100, 200, 150, 8},
      {ioJPEG_AUTOCALC, 300, 300, 400, 300, 4},
      {ioJPEG_AUTOCALC, 0, 0, 1600, 1200, 1},
      {ioJPEG_HALF, 0, 0, 800, 600, 2},
  };
  for (const Case& c : cases) {
    auto r = Read(file, false, 0, [&](TIOParamsVals& p) {
      p.JpegReduceMode = c.Mode;
      p.Width = c.W;
      p.Height = c.H;
    });
    EXPECT_FALSE(r->Aborting);
    EXPECT_EQ(r->Bitmap->GetWidth(), c.OutW);
    EXPECT_EQ(r->Bitmap->GetHeight(), c.OutH);
    EXPECT_EQ(r->Params->JpegScaleDenominator, c.Denom);
    EXPECT_EQ(r->Params->StoredWidth, 1600);
  }
}

TEST(JpegCodec, ExifThumbnailShortcutReadsTheJpegWhereItStarts) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  const Bytes thumb = Cjpeg(dir, Pattern(12, 8));
  const Bytes other = Cjpeg(dir, Pattern(40, 20));
  const Bytes withThumb = Splice(Cjpeg(dir, Pattern(64, 48)), Segment(0xE1, ExifPayload(1, 72, 1, 2, thumb)));
  const Bytes noThumb = Cjpeg(dir, Pattern(64, 48));
  // Each image sits after another JPEG in the same stream.
  for (const Bytes* image : {&withThumb, &noThumb}) {
    Bytes stream = other;
    stream.insert(stream.end(), image->begin(), image->end());
    auto r = Read(stream, false, int64_t(other.size()),
                  [](TIOParamsVals& p) { p.SetLoadExifThumbnail(true); });
    EXPECT_FALSE(r->Aborting);
    if (image == &withThumb) {
      EXPECT_EQ(r->Rows, 0);
      EXPECT_EQ(r->Bitmap->GetWidth(), 12);
      EXPECT_EQ(r->Bitmap->GetHeight(), 8);
    } else {
      EXPECT_EQ(r->Bitmap->GetWidth(), 64);
      EXPECT_EQ(r->Bitmap->GetHeight(), 48);
      EXPECT_EQ(r->Params->Width, 64);
    }
    EXPECT_TRUE(r->Params->JpegLoadExifThumbnail);
  }
}

TEST(JpegCodec, ProbeAndStreamSize) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  const Bytes jpeg = Cjpeg(dir, Pattern(20, 20), "-restart 1");
  Bytes f(149, 0x00);
  f.insert(f.end(), jpeg.begin(), jpeg.end());
  f.insert(f.end(), {'t', 'a', 'i', 'l', 0xFF, 0xD9});
  TMemoryStream s;
  s.WriteBuffer(f.data(), int64_t(f.size()));
  s.SetPosition(0);
  EXPECT_EQ(JpegIsStream(&s, true), 149);
  EXPECT_EQ(JpegIsStream(&s, false), -1);
  EXPECT_EQ(s.GetPosition(), 0);
  s.SetPosition(149);
  EXPECT_EQ(JpegIsStream(&s, false), 0);
  EXPECT_EQ(JpegStreamSize(&s), int32_t(jpeg.size()));
  EXPECT_EQ(s.GetPosition(), 149);
  // Fill bytes before the EOI marker belong to the JPEG.
  Bytes filled(jpeg.begin(), jpeg.end() - 2);
  filled.insert(filled.end(), {0xFF, 0xFF, 0xFF, 0xD9, 'x', 0xFF, 0xD9});
  TMemoryStream fs;
  fs.WriteBuffer(filled.data(), int64_t(filled.size()));
  fs.SetPosition(0);
  EXPECT_EQ(JpegStreamSize(&fs), int32_t(jpeg.size() + 2));
  // 149 bytes of junk in front still read; 150 no longer.
  EXPECT_FALSE(Read(f)->Aborting);
  Bytes far(150, 0x00);
  far.insert(far.end(), jpeg.begin(), jpeg.end());
  auto r = Read(far);
  EXPECT_TRUE(r->Aborting);
  EXPECT_EQ(r->Rows, 0);
}

TEST(JpegCodec, IccChunksWithImpossibleNumbersAreIgnored) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  const Bytes jpeg = Cjpeg(dir, Pattern(8, 8));
  auto chunk = [](uint8_t Seq, uint8_t Total, const std::string& Data) {
    const char sig[] = "ICC_PROFILE";
    Bytes p(sig, sig + 12);
    p.push_back(Seq);
    p.push_back(Total);
    p.insert(p.end(), Data.begin(), Data.end());
    return Segment(0xE2, p);
  };
  struct Case {
    std::vector<Bytes> Chunks;
    std::string Profile;
  } cases[] = {
      {{chunk(2, 2, "world"), chunk(1, 2, "hello ")}, "hello world"},
      {{chunk(0, 2, "zero"), chunk(1, 1, "one")}, "one"},
      {{chunk(3, 2, "three"), chunk(1, 1, "one")}, "one"},
      {{chunk(1, 2, "a"), chunk(1, 2, "b"), chunk(2, 2, "c")}, "ac"},
      {{chunk(1, 2, "a"), chunk(2, 3, "b")}, "a"},
      {{chunk(1, 0, "none")}, ""},
  };
  for (const Case& c : cases) {
    Bytes segs;
    for (const Bytes& b : c.Chunks) segs.insert(segs.end(), b.begin(), b.end());
    const Bytes f = Splice(jpeg, segs);
    TMemoryStream s;
    s.WriteBuffer(f.data(), int64_t(f.size()));
    s.SetPosition(0);
    TIOParamsVals p;
    IEJpegReadIccProfile(&s, p);
    EXPECT_EQ(s.GetPosition(), 0);
    const std::string got = p.InputIccProfile ? std::string((const char*)p.InputIccProfile->GetRawData(),
                                                            size_t(p.InputIccProfile->GetRawLength()))
                                              : std::string();
    EXPECT_EQ(got, c.Profile);
  }
}

TEST(JpegCodec, DamagedInputFailsCleanly) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  const Bytes good = Cjpeg(dir, Pattern(64, 64));
  const Bytes goodProgressive = Cjpeg(dir, Pattern(64, 64), "-progressive");
  {
    auto r = Read(Bytes{});
    EXPECT_TRUE(r->Aborting);
    EXPECT_EQ(r->Rows, 0);
  }
  for (const Bytes* g : {&good, &goodProgressive}) {
    SCOPED_TRACE(g == &good ? "baseline" : "progressive");
    // Cut in the entropy data: the rows exist, the failure is reported, the
    // markers are kept.
    Bytes cut(g->begin(), g->begin() + int64_t(g->size() * 2 / 3));
    cut = Splice(cut, Segment(0xFE, Bytes{'h', 'i'}));
    auto r = Read(cut);
    EXPECT_TRUE(r->Aborting);
    EXPECT_EQ(r->Bitmap->GetHeight(), 64);
    EXPECT_EQ(r->Params->JpegMarkers->IndexOf(0xFE), 0);
    // The codec's complaints about the missing data are counted, not shown.
    if (g == &good) {
      EXPECT_GT(r->Params->JpegWarningCount, 0);
      EXPECT_NE(r->Params->JpegLastWarningCode, 0);
    }
  }
  {
    // A frame header announcing 65000 x 65000 pixels with a few bytes of data.
    Bytes huge = good;
    for (size_t i = 2; i + 9 < huge.size(); ++i)
      if (huge[i] == 0xFF && huge[i + 1] == 0xC0) {
        huge[i + 5] = 0xFD;
        huge[i + 6] = 0xE8;
        huge[i + 7] = 0xFD;
        huge[i + 8] = 0xE8;
        break;
      }
    auto r = Read(huge);
    EXPECT_TRUE(r->Aborting);
    EXPECT_TRUE(r->Bitmap->IsEmpty());
  }
  // Random damage anywhere never crashes or hangs.
  std::mt19937 rng(1234);
  for (int i = 0; i < 300; ++i) {
    Bytes f = (i % 2) ? good : goodProgressive;
    const int hits = 1 + int(rng() % 8);
    for (int k = 0; k < hits; ++k) f[2 + rng() % (f.size() - 2)] = uint8_t(rng());
    if (i % 5 == 0) f.resize(2 + rng() % (f.size() - 2));
    auto r = Read(f, i % 3 == 0);
    EXPECT_LE(r->Rows, 64);
  }
}

TEST(JpegCodec, TablesStreamRawComponentsAndRowLimit) {
  if (!HaveJpegTools()) GTEST_SKIP();
  TempDir dir;
  PnmImage flat = Pattern(32, 24);
  for (size_t i = 0; i < flat.Data.size(); i += 3) flat.Data[i] = 200, flat.Data[i + 1] = 100, flat.Data[i + 2] = 50;
  const Bytes file = Cjpeg(dir, flat, "-quality 95");
  // An abbreviated image: its tables travel in a separate tables-only JPEG,
  // as TIFF pages keep them.
  Bytes tables = {0xFF, 0xD8}, image = {0xFF, 0xD8};
  for (auto& [m, seg] : Segments(file)) {
    Bytes& to = (m == 0xDB || m == 0xC4) ? tables : image;
    to.insert(to.end(), seg.begin(), seg.end());
  }
  tables.insert(tables.end(), {0xFF, 0xD9});
  image.insert(image.end(), {0xFF, 0xD9});
  TMemoryStream ts, is;
  ts.WriteBuffer(tables.data(), int64_t(tables.size()));
  is.WriteBuffer(image.data(), int64_t(image.size()));
  struct Case {
    bool Tables;
    bool Raw;
    int32_t MaxRows;
  } cases[] = {{true, false, -1}, {true, true, -1}, {false, false, 10}, {false, true, 24}};
  std::vector<int32_t> reported;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Tables * 100 + c.Raw * 10);
    TStream* s = c.Tables ? static_cast<TStream*>(&is) : nullptr;
    TMemoryStream whole;
    whole.WriteBuffer(file.data(), int64_t(file.size()));
    if (!s) s = &whole;
    s->SetPosition(0);
    ts.SetPosition(0);
    TIEBitmap b;
    TIOParamsVals p;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    reported.clear();
    pr.fOnProgress = [&](TObject*, int32_t per) { reported.push_back(per); };
    const int32_t rows = JpegReadStream(s, &b, p, pr, {.TablesStream = c.Tables ? &ts : nullptr, .NoColorConversion = c.Raw, .MaxRows = c.MaxRows});
    EXPECT_FALSE(abort);
    EXPECT_EQ(rows, c.MaxRows < 0 ? 24 : c.MaxRows);
    ASSERT_EQ(b.GetWidth(), 32);
    const uint8_t* px = b.GetScanline(5) + 3 * 7;
    // Raw components are Y, Cb, Cr; converted ones blue, green, red.
    const int want[3] = {c.Raw ? 124 : 50, c.Raw ? 86 : 100, c.Raw ? 182 : 200};
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(px[k], want[k], 3) << k;
    ASSERT_FALSE(reported.empty());
    EXPECT_EQ(reported.back(), rows * 100 / 24);
  }
  // Without its tables the abbreviated image cannot be decoded.
  is.SetPosition(0);
  TIEBitmap b;
  TIOParamsVals p;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  JpegReadStream(&is, &b, p, pr);
  EXPECT_TRUE(abort);
}

TEST(JpegCodec, ColourManagedReadAppliesTheProfileOnce) {
  TempDir dir;
  const std::string py =
      "from PIL import Image, ImageCms\n"
      "im = Image.new('RGB', (16, 8), (30, 140, 220))\n"
      "icc = ImageCms.ImageCmsProfile(ImageCms.createProfile('sRGB')).tobytes()\n"
      "im.save('" + dir.file("srgb.jpg") + "', icc_profile=icc, quality=100, subsampling=0)\n";
  WriteFileBytes(dir.file("make.py"), Bytes(py.begin(), py.end()));
  if (RunCommand("/usr/bin/python3 '" + dir.file("make.py") + "' 2>/dev/null") != 0) GTEST_SKIP() << "Pillow missing";
  const Bytes file = ReadFileBytes(dir.file("srgb.jpg"));
  auto plain = Read(file);
  ASSERT_TRUE(plain->Params->InputIccProfile);
  EXPECT_NE(plain->Params->JpegMarkers->IndexOf(0xE2), -1);
  const bool saved = IEColorManagement;
  IEColorManagement = true;
  auto managed = Read(file);
  IEColorManagement = saved;
  ASSERT_FALSE(managed->Aborting);
  EXPECT_TRUE(managed->Params->InputIccProfile->GetApplied());
  // Applied to the pixels, so not written again with them.
  EXPECT_EQ(managed->Params->JpegMarkers->IndexOf(0xE2), -1);
  // sRGB into sRGB leaves the colours where they were.
  EXPECT_LT(MeanAbsDiff(ToPnm(managed->Bitmap.get()).Data, ToPnm(plain->Bitmap.get()).Data), 2.0);
}

TEST(JpegCodec, WriterFailures) {
  TIOParamsVals p;
  TIEBitmap empty;
  bool abort = false;
  EXPECT_TRUE(Write(&empty, p, &abort).empty());
  EXPECT_TRUE(abort);
  // Too wide for the format: the codec's own message, as an exception.
  auto wide = TIEBitmap::CreateSized(70000, 1, ie24RGB);
  try {
    Write(wide.get(), p);
    FAIL() << "no exception";
  } catch (const EIEJpegException& e) {
    EXPECT_EQ(e.Message, IEJpegMessageText(JERR_IMAGE_TOO_BIG));
    EXPECT_NE(e.Message.find('?'), std::string::npos);
    EXPECT_EQ(e.Message.find('%'), std::string::npos);
  }
  EXPECT_EQ(IEJpegMessageText(100000), "Corrupted");
  // A stream that takes nothing: the abort flag, no exception.
  auto bmp = TIEBitmap::CreateSized(300, 300, ie24RGB);
  bmp->Fill(0x123456);
  uint8_t block[16];
  TIEMemStream full(block, sizeof(block));
  std::atomic<bool> stopped{false};
  TIEProgressRec pr;
  pr.Aborting = &stopped;
  EXPECT_NO_THROW(JpegWriteStream(&full, bmp.get(), p, pr));
  EXPECT_TRUE(stopped);
}

}  // namespace
