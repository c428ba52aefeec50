// HD Photo: jxrlib's own tools (JxrEncApp, JxrDecApp) make and decode the
// reference files; CMYK keeps its bytes through a write and a read; damaged
// files fail cleanly.
#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "formats/hdphoto/hdphoto_codec.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

bool HaveJxr() { return IEHdPhotoAvailable() && HaveTool("JxrEncApp") && HaveTool("JxrDecApp"); }

struct TRead {
  std::atomic<bool> Aborted{false};
  TIEBitmap Bitmap;
  TIOParamsVals Params;
};

std::unique_ptr<TRead> ReadBytes(const std::vector<uint8_t>& F, bool Native) {
  auto r = std::make_unique<TRead>();
  TMemoryStream ms;
  if (!F.empty()) ms.WriteBuffer(F.data(), int64_t(F.size()));
  ms.SetPosition(0);
  r->Params.NativePixelFormat = Native;
  TIEProgressRec p;
  p.Aborting = &r->Aborted;
  HdpReadStream(&ms, &r->Bitmap, r->Params, p);
  return r;
}

std::vector<uint8_t> WriteBytes(TIEBitmap* B, bool* Aborted = nullptr) {
  TMemoryStream ms;
  TIOParamsVals p;
  p.HdpLossless = true;
  p.SetDpiX(150);
  p.SetDpiY(150);
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  HdpWriteStream(&ms, B, p, pr);
  if (Aborted) *Aborted = abort;
  const auto* m = static_cast<const uint8_t*>(ms.GetMemory());
  return std::vector<uint8_t>(m, m + ms.GetSize());
}

std::vector<uint8_t> Rgb(TIEBitmap& B) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y)
    for (int32_t x = 0; x < B.GetWidth(); ++x) {
      const uint8_t* p = B.GetScanline(y) + 3 * x;
      v.insert(v.end(), {p[2], p[1], p[0]});
    }
  return v;
}
std::vector<uint8_t> Rows(TIEBitmap& B) {
  std::vector<uint8_t> v;
  const int64_t n = B.GetPixelFormat() == ie1g ? (B.GetWidth() + 7) / 8 : int64_t(B.GetWidth()) * B.GetBitCount() / 8;
  for (int32_t y = 0; y < B.GetHeight(); ++y) v.insert(v.end(), B.GetScanline(y), B.GetScanline(y) + n);
  return v;
}

}  // namespace

TEST(HdPhotoPeer, ToolFilesReadAndOursDecodeInTheTool) {
  if (!HaveJxr() || !HaveTool("convert")) GTEST_SKIP() << "jxrlib tools or ImageMagick missing";
  TempDir dir;
  const std::string bmp = dir.file("s.bmp"), ppm = dir.file("s.ppm"), tif = dir.file("g.tif"), pgm = dir.file("g.pgm");
  ASSERT_EQ(RunCommand("convert -size 40x24 gradient:orange-navy -fx 'p+0.1*sin(i*j)' -type TrueColor BMP3:" + bmp +
                       " && convert " + bmp + " " + ppm + " && convert -size 40x24 gradient:white-black -depth 8 "
                       "-type Grayscale -compress none " + tif + " && convert " + tif + " " + pgm),
            0);
  const std::string jr = dir.file("r.jxr"), jg = dir.file("g.jxr");
  ASSERT_EQ(RunCommand("JxrEncApp -i " + bmp + " -o " + jr + " -q 1 >/dev/null 2>&1"), 0);
  ASSERT_EQ(RunCommand("JxrEncApp -i " + tif + " -o " + jg + " -q 1 >/dev/null 2>&1"), 0);
  const PnmImage refRgb = ParsePnm(ReadFileBytes(ppm)), refGray = ParsePnm(ReadFileBytes(pgm));

  auto r = ReadBytes(ReadFileBytes(jr), false);
  ASSERT_FALSE(r->Aborted);
  ASSERT_EQ(r->Bitmap.GetPixelFormat(), ie24RGB);
  EXPECT_EQ(Rgb(r->Bitmap), refRgb.Data);
  auto g = ReadBytes(ReadFileBytes(jg), true);
  ASSERT_FALSE(g->Aborted);
  ASSERT_EQ(g->Bitmap.GetPixelFormat(), ie8g);
  EXPECT_EQ(Rows(g->Bitmap), refGray.Data);

  // Ours, lossless, decoded by the tool.
  for (TIEBitmap* b : {&r->Bitmap, &g->Bitmap}) {
    const std::string out = dir.file("o.jxr"), dec = dir.file(b == &g->Bitmap ? "o.pgm" : "o.ppm");
    bool aborted = true;
    WriteFileBytes(out, WriteBytes(b, &aborted));
    ASSERT_FALSE(aborted);
    ASSERT_EQ(RunCommand("JxrDecApp -i " + out + " -o " + dec + " >/dev/null 2>&1"), 0);
    const PnmImage d = ParsePnm(ReadFileBytes(dec));
    EXPECT_EQ(d.Data, b == &g->Bitmap ? refGray.Data : refRgb.Data);
  }
}

TEST(HdPhoto, CmykAndBlackAndWhiteKeepTheirBytes) {
  if (!IEHdPhotoAvailable()) GTEST_SKIP() << "jxrlib missing";
  TIEBitmap cmyk(17, 9, ieCMYK);
  for (int32_t y = 0; y < 9; ++y)
    for (int32_t x = 0; x < 17 * 4; ++x) cmyk.GetScanline(y)[x] = uint8_t(x * 13 + y * 7);
  bool aborted = true;
  const std::vector<uint8_t> f = WriteBytes(&cmyk, &aborted);
  ASSERT_FALSE(aborted);
  auto r = ReadBytes(f, true);
  ASSERT_FALSE(r->Aborted);
  ASSERT_EQ(r->Bitmap.GetPixelFormat(), ieCMYK);
  EXPECT_EQ(Rows(r->Bitmap), Rows(cmyk));

  TIEBitmap bw(21, 5, ie1g);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t i = 0; i < 3; ++i) bw.GetScanline(y)[i] = uint8_t(0xA5 ^ (y * 31 + i));
  for (int32_t y = 0; y < 5; ++y) bw.GetScanline(y)[2] &= 0xF8;  // padding bits clear
  const std::vector<uint8_t> fb = WriteBytes(&bw, &aborted);
  ASSERT_FALSE(aborted);
  auto rb = ReadBytes(fb, false);
  ASSERT_FALSE(rb->Aborted);
  ASSERT_EQ(rb->Bitmap.GetPixelFormat(), ie1g);
  std::vector<uint8_t> got = Rows(rb->Bitmap);
  for (size_t i = 2; i < got.size(); i += 3) got[i] &= 0xF8;
  EXPECT_EQ(got, Rows(bw));
}

TEST(HdPhoto, DamagedFilesFailCleanly) {
  if (!IEHdPhotoAvailable()) GTEST_SKIP() << "jxrlib missing";
  TIEBitmap src(48, 32, ie24RGB);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 48 * 3; ++x) src.GetScanline(y)[x] = uint8_t(x ^ y);
  const std::vector<uint8_t> good = WriteBytes(&src);
  ASSERT_GT(good.size(), 100u);
  for (size_t n : {size_t(0), size_t(4), size_t(30), size_t(100)}) {
    auto r = ReadBytes(std::vector<uint8_t>(good.begin(), good.begin() + int64_t(n)), false);
    EXPECT_TRUE(r->Aborted) << n;
  }
  std::vector<uint8_t> notHdp = good;
  notHdp[2] = 0x2A;
  EXPECT_TRUE(ReadBytes(notHdp, false)->Aborted);
  // Writing a format the file cannot hold fails instead of claiming success.
  TIEBitmap pal(4, 4, ie8p);
  bool aborted = false;
  EXPECT_TRUE(WriteBytes(&pal, &aborted).empty());
  EXPECT_TRUE(aborted);
}

// Camera and EXIF fields travel in the container's directory: what is written
// reads back, and the tool still decodes the file they were added to.
TEST(HdPhoto, ExifFieldsRoundTrip) {
  if (!IEHdPhotoAvailable()) GTEST_SKIP() << "jxrlib missing";
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(24, 16, ie24RGB));
  for (int32_t y = 0; y < 16; ++y)
    for (int32_t x = 0; x < 24 * 3; ++x) b.GetScanline(y)[x] = uint8_t(x * 5 + y * 9);
  TMemoryStream ms;
  TIOParamsVals p;
  p.HdpLossless = true;
  p.ExifPresent = true;
  p.ExifMake = "Folivra Scanner";
  p.ExifModel = "FS-1";
  p.ExifSoftware = "Folivra";
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  HdpWriteStream(&ms, &b, p, pr);
  ASSERT_FALSE(abort);
  const auto* m = static_cast<const uint8_t*>(ms.GetMemory());
  const std::vector<uint8_t> file(m, m + ms.GetSize());
  auto r = ReadBytes(file, false);
  ASSERT_FALSE(r->Aborted);
  EXPECT_EQ(r->Params.ExifMake, "Folivra Scanner");
  EXPECT_EQ(r->Params.ExifModel, "FS-1");
  EXPECT_EQ(r->Params.ExifSoftware, "Folivra");
  EXPECT_EQ(Rgb(r->Bitmap), Rgb(b));
  if (!HaveJxr()) return;
  TempDir dir;
  const std::string out = dir.file("e.jxr"), dec = dir.file("e.ppm");
  WriteFileBytes(out, file);
  ASSERT_EQ(RunCommand("JxrDecApp -i " + out + " -o " + dec + " >/dev/null 2>&1"), 0);
  EXPECT_EQ(ParsePnm(ReadFileBytes(dec)).Data, Rgb(b));
}
