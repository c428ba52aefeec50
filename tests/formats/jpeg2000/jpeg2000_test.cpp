// JPEG 2000: OpenJPEG's tools make the files, their decodes are the
// reference; ours decode in opj_decompress; damaged streams fail cleanly.
#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/jpeg2000/jpeg2000_codec.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

bool HaveOpj() { return J2kAvailable() && HaveTool("opj_compress") && HaveTool("opj_decompress"); }

struct TRead {
  std::atomic<bool> Aborted{false};
  TIEBitmap Bitmap;
  TIOParamsVals Params;
};

void ReadBytes(const std::vector<uint8_t>& Bytes, TRead& R, bool ParamsOnly = false) {
  TMemoryStream ms;
  if (!Bytes.empty()) ms.WriteBuffer(Bytes.data(), int64_t(Bytes.size()));
  ms.SetPosition(0);
  TIEProgressRec p;
  p.Aborting = &R.Aborted;
  J2kReadStream(&ms, &R.Bitmap, R.Params, p, ParamsOnly);
}

std::vector<uint8_t> WriteBytes(TIEBitmap* B, int32_t Format, uint8_t ColourSpace = ioJ2K_RGB) {
  TMemoryStream ms;
  TIOParamsVals params;
  params.J2kColorSpace = ColourSpace;
  std::atomic<bool> abort{false};
  TIEProgressRec p;
  p.Aborting = &abort;
  J2kWriteStream(&ms, B, params, p, Format);
  EXPECT_FALSE(abort);
  const auto* m = static_cast<const uint8_t*>(ms.GetMemory());
  return std::vector<uint8_t>(m, m + ms.GetSize());
}

// Pixels of an ie24RGB bitmap in netpbm order (RGB), or its red bytes only.
std::vector<uint8_t> Rgb(TIEBitmap& B, bool GrayOnly = false) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint8_t* s = B.GetScanline(y);
    for (int32_t x = 0; x < B.GetWidth(); ++x) {
      if (GrayOnly)
        v.push_back(s[3 * x + 2]);
      else
        v.insert(v.end(), {s[3 * x + 2], s[3 * x + 1], s[3 * x]});
    }
  }
  return v;
}

PnmImage Decode(const std::string& File, const std::string& Ext, const TempDir& Dir) {
  const std::string out = Dir.file("dec." + Ext);
  RunCommand("opj_decompress -i '" + File + "' -o '" + out + "' >/dev/null 2>&1");
  return ParsePnm(ReadFileBytes(out));
}

PnmImage TestPicture(char Kind, int32_t W, int32_t H) {
  PnmImage p;
  p.Kind = Kind;
  p.Width = W;
  p.Height = H;
  const int32_t ch = Kind == '6' ? 3 : 1;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x)
      for (int32_t c = 0; c < ch; ++c) p.Data.push_back(uint8_t((x * 9 + y * 5 + c * 80) ^ (x * y)));
  return p;
}

}  // namespace

TEST(J2kProbes, SignaturesAndPositions) {
  const uint8_t jp2[] = {0, 0, 0, 12, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A, 0};
  const uint8_t j2k[] = {0xFF, 0x4F, 0xFF, 0x51, 0};
  TMemoryStream a, b;
  a.WriteBuffer(jp2, sizeof(jp2));
  b.WriteBuffer(j2k, sizeof(j2k));
  a.SetPosition(0);
  b.SetPosition(0);
  EXPECT_TRUE(IETryJP2(&a));
  EXPECT_FALSE(IETryJ2K(&a));
  EXPECT_TRUE(IETryJ2K(&b));
  EXPECT_FALSE(IETryJP2(&b));
  EXPECT_EQ(a.GetPosition(), 0);
  EXPECT_EQ(b.GetPosition(), 0);
  const auto& t = J2kYCbCrTables();
  EXPECT_EQ(t.CrToR[255], 178);  // 1.402 x 127
  EXPECT_EQ(t.CbToB[0], -227);   // 1.772 x -128
}

TEST(J2kPeer, ToolFilesReadAsTheToolDecodesThem) {
  if (!HaveOpj()) GTEST_SKIP() << "OpenJPEG or its tools missing";
  TempDir dir;
  const std::string ppm = dir.file("src.ppm"), pgm = dir.file("src.pgm");
  WriteFileBytes(ppm, FormatPnm(TestPicture('6', 45, 23)));
  WriteFileBytes(pgm, FormatPnm(TestPicture('5', 45, 23)));
  struct TCase {
    const char* Name;
    std::string Source;
    std::string Options;
    bool Gray;
  } cases[] = {
      {"rgb.jp2", ppm, "", false},           {"rgb.j2k", ppm, "", false},
      {"gray.j2k", pgm, "", true},           {"gray.jp2", pgm, "", true},
      {"lossy.jp2", ppm, "-r 20", false},    {"tiles.j2k", ppm, "-t 16,16 -p RLCP", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string f = dir.file(c.Name);
    ASSERT_EQ(RunCommand("opj_compress -i " + c.Source + " -o " + f + " -n 3 " + c.Options + " >/dev/null 2>&1"), 0);
    TRead r;
    ReadBytes(ReadFileBytes(f), r);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap.GetPixelFormat(), ie24RGB);
    EXPECT_EQ(r.Params.SamplesPerPixel, c.Gray ? 1 : 3);
    EXPECT_EQ(r.Params.BitsPerSample, 8);
    const PnmImage ref = Decode(f, c.Gray ? "pgm" : "ppm", dir);
    ASSERT_EQ(ref.Width, 45);
    EXPECT_EQ(Rgb(r.Bitmap, c.Gray), ref.Data);
  }
}

// Raw samples through the tool: 12-bit, signed 8-bit and 1-bit code streams,
// gray with opacity and RGB with opacity.
TEST(J2kPeer, PrecisionSignAndOpacityComeFromTheStream) {
  if (!HaveOpj()) GTEST_SKIP() << "OpenJPEG or its tools missing";
  TempDir dir;
  const int32_t W = 19, H = 11;
  auto raw = [&](const std::string& Name, int32_t Comps, int32_t Bits, bool Signed,
                 const std::vector<int32_t>& Samples) -> std::unique_ptr<TRead> {
    std::vector<uint8_t> bytes;
    for (int32_t v : Samples) {
      if (Bits > 8) {
        bytes.push_back(uint8_t(v >> 8));
        bytes.push_back(uint8_t(v));
      } else {
        bytes.push_back(uint8_t(v));
      }
    }
    const std::string in = dir.file(Name + ".raw"), out = dir.file(Name + ".j2k");
    WriteFileBytes(in, bytes);
    std::string layout = std::to_string(W) + "," + std::to_string(H) + "," + std::to_string(Comps) + "," +
                         std::to_string(Bits) + "," + (Signed ? "s" : "u");
    EXPECT_EQ(RunCommand("opj_compress -i " + in + " -o " + out + " -n 3 -F " + layout + " >/dev/null 2>&1"), 0);
    auto r = std::make_unique<TRead>();
    ReadBytes(ReadFileBytes(out), *r);
    return r;
  };
  // Planar samples, component after component.
  std::vector<int32_t> s12, s8s, ga, rgba;
  for (int32_t i = 0; i < W * H; ++i) {
    s12.push_back((i * 37) % 4096);
    s8s.push_back(int8_t(i * 3 - 100));
  }
  for (int32_t c = 0; c < 2; ++c)
    for (int32_t i = 0; i < W * H; ++i) ga.push_back(c == 0 ? i % 256 : (i * 7) % 256);
  for (int32_t c = 0; c < 4; ++c)
    for (int32_t i = 0; i < W * H; ++i) rgba.push_back((i * (c + 3) + c * 40) % 256);

  auto r12p = raw("p12", 1, 12, false, s12);
  TRead& r12 = *r12p;
  ASSERT_FALSE(r12.Aborted);
  EXPECT_EQ(r12.Params.BitsPerSample, 12);
  for (int32_t i = 0; i < W * H; ++i)
    ASSERT_EQ(r12.Bitmap.GetScanline(i / W)[3 * (i % W)], s12[size_t(i)] >> 4) << i;

  auto rsp = raw("s8", 1, 8, true, s8s);
  TRead& rs = *rsp;
  ASSERT_FALSE(rs.Aborted);
  for (int32_t i = 0; i < W * H; ++i) ASSERT_EQ(rs.Bitmap.GetScanline(i / W)[3 * (i % W)], s8s[size_t(i)] + 128) << i;

  auto rgap = raw("ga", 2, 8, false, ga);
  TRead& rga = *rgap;
  ASSERT_FALSE(rga.Aborted);
  ASSERT_TRUE(rga.Bitmap.HasAlphaChannel());
  for (int32_t i = 0; i < W * H; ++i) {
    ASSERT_EQ(rga.Bitmap.GetScanline(i / W)[3 * (i % W) + 1], ga[size_t(i)]);
    ASSERT_EQ(rga.Bitmap.GetAlpha(i % W, i / W), ga[size_t(W * H + i)]);
  }

  auto r4p = raw("rgba", 4, 8, false, rgba);
  TRead& r4 = *r4p;
  ASSERT_FALSE(r4.Aborted);
  ASSERT_TRUE(r4.Bitmap.HasAlphaChannel());
  for (int32_t i = 0; i < W * H; ++i) {
    const uint8_t* p = r4.Bitmap.GetScanline(i / W) + 3 * (i % W);
    ASSERT_EQ(p[2], rgba[size_t(i)]);
    ASSERT_EQ(p[0], rgba[size_t(2 * W * H + i)]);
    ASSERT_EQ(r4.Bitmap.GetAlpha(i % W, i / W), rgba[size_t(3 * W * H + i)]);
  }
}

TEST(J2kPeer, OurFilesDecodeInTheToolAndReadBack) {
  if (!HaveOpj()) GTEST_SKIP() << "OpenJPEG or its tools missing";
  TempDir dir;
  const PnmImage pic = TestPicture('6', 33, 17);
  TIEBitmap rgb(33, 17, ie24RGB);
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 33; ++x) {
      const uint8_t* s = &pic.Data[size_t(3 * (y * 33 + x))];
      uint8_t* d = rgb.GetScanline(y) + 3 * x;
      d[0] = s[2];
      d[1] = s[1];
      d[2] = s[0];
    }
  for (int32_t format : {J2K_FORMAT_JP2, J2K_FORMAT_J2K}) {
    SCOPED_TRACE(format);
    const std::string f = dir.file(format == J2K_FORMAT_JP2 ? "o.jp2" : "o.j2k");
    WriteFileBytes(f, WriteBytes(&rgb, format));
    EXPECT_EQ(Decode(f, "ppm", dir).Data, pic.Data);
    TRead r;
    ReadBytes(ReadFileBytes(f), r);
    EXPECT_EQ(Rgb(r.Bitmap), pic.Data);
  }
  // Gray: the library's gray of each pixel.
  const std::string g = dir.file("g.jp2");
  WriteFileBytes(g, WriteBytes(&rgb, J2K_FORMAT_JP2, ioJ2K_GRAYLEV));
  const PnmImage gd = Decode(g, "pgm", dir);
  ASSERT_EQ(gd.Kind, '5');
  EXPECT_EQ(gd.Data[0], (pic.Data[0] * 21 + pic.Data[1] * 71 + pic.Data[2] * 8) / 100);
  // 1-bit: written as 1-bit gray whatever the colour space says.
  TIEBitmap bw(21, 6, ie1g);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t i = 0; i < 3; ++i) bw.GetScanline(y)[i] = uint8_t(0x5A ^ (y * 17 + i));
  const std::string b = dir.file("b.j2k");
  WriteFileBytes(b, WriteBytes(&bw, J2K_FORMAT_J2K, ioJ2K_RGB));
  std::string bdump;
  RunCommand("opj_dump -i " + b + " 2>/dev/null", &bdump);
  EXPECT_NE(bdump.find("prec=1"), std::string::npos);
  TRead rb;
  ReadBytes(ReadFileBytes(b), rb);
  ASSERT_EQ(rb.Bitmap.GetPixelFormat(), ie1g);
  for (int32_t y = 0; y < 6; ++y)
    for (int32_t x = 0; x < 21; ++x)
      ASSERT_EQ((rb.Bitmap.GetScanline(y)[x / 8] >> (7 - x % 8)) & 1, (bw.GetScanline(y)[x / 8] >> (7 - x % 8)) & 1);
  // Alpha: our RGBA file reads back with its alpha, and the tool sees four
  // components.
  for (int32_t y = 0; y < 17; ++y)
    for (int32_t x = 0; x < 33; ++x) rgb.SetAlpha(x, y, uint8_t(x * 7));
  const std::string a = dir.file("a.jp2");
  WriteFileBytes(a, WriteBytes(&rgb, J2K_FORMAT_JP2));
  TRead ra;
  ReadBytes(ReadFileBytes(a), ra);
  ASSERT_TRUE(ra.Bitmap.HasAlphaChannel());
  EXPECT_EQ(ra.Bitmap.GetAlpha(5, 3), 35);
  std::string dump;
  RunCommand("opj_dump -i " + a + " 2>/dev/null", &dump);
  EXPECT_NE(dump.find("numcomps=4"), std::string::npos);
}

TEST(J2kReader, DamagedStreamsFailCleanly) {
  if (!J2kAvailable()) GTEST_SKIP();
  TIEBitmap rgb(40, 30, ie24RGB);
  rgb.Fill(100);
  for (int32_t y = 0; y < 30; ++y) rgb.GetScanline(y)[y * 3] = 7;
  const std::vector<uint8_t> good = WriteBytes(&rgb, J2K_FORMAT_J2K);
  for (size_t n : {size_t(0), size_t(4), size_t(20), size_t(60), good.size() / 2}) {
    TRead r;
    ReadBytes(std::vector<uint8_t>(good.begin(), good.begin() + int64_t(n)), r);
    EXPECT_TRUE(r.Aborted) << n;
  }
  for (size_t i = 4; i < good.size(); i += 5) {
    std::vector<uint8_t> bad = good;
    bad[i] ^= 0x5C;
    TRead r;
    ReadBytes(bad, r);
  }
  // A size segment claiming 1 000 000 x 1 000 000 pixels is refused before
  // anything is allocated.
  std::vector<uint8_t> huge = good;
  for (int k = 0; k < 2; ++k) {
    // Xsiz and Ysiz follow the marker, its length and Rsiz.
    const size_t at = 8 + 4 * size_t(k);
    const uint32_t v = 1000000;
    huge[at] = uint8_t(v >> 24);
    huge[at + 1] = uint8_t(v >> 16);
    huge[at + 2] = uint8_t(v >> 8);
    huge[at + 3] = uint8_t(v);
  }
  TRead h;
  ReadBytes(huge, h);
  EXPECT_TRUE(h.Aborted);
  EXPECT_TRUE(h.Bitmap.IsEmpty());
}
