// Raw samples (binary and text, interleaved and planar) and the metafile
// probes, with ImageMagick's raw output as the peer for binary samples.
#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/metafile/metafile_probes.h"
#include "formats/metafile/raw_samples.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

void Read(const std::string& Data, TIEBitmap& B, TIOParamsVals& P) {
  TMemoryStream ms;
  if (!Data.empty()) ms.WriteBuffer(Data.data(), int64_t(Data.size()));
  ms.SetPosition(0);
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  RawBitmapReadStream(&ms, &B, P, pr);
}

std::vector<uint8_t> Bytes(TIEBitmap& B) {
  std::vector<uint8_t> v;
  const int64_t n = B.GetPixelFormat() == ie1g ? (B.GetWidth() + 7) / 8 : int64_t(B.GetWidth()) * B.GetBitCount() / 8;
  for (int32_t y = 0; y < B.GetHeight(); ++y) v.insert(v.end(), B.GetScanline(y), B.GetScanline(y) + n);
  return v;
}

bool Probe(bool (*P)(TStream*), const std::vector<uint8_t>& D) {
  TMemoryStream ms;
  if (!D.empty()) ms.WriteBuffer(D.data(), int64_t(D.size()));
  ms.SetPosition(0);
  const bool r = P(&ms);
  EXPECT_EQ(ms.GetPosition(), 0);
  return r;
}

}  // namespace

TEST(RawSamples, DecimalTextInterleavedAndPlanar) {
  const std::vector<uint8_t> want = {0, 0, 255, 0, 255, 0, 255, 0, 0, 9, 9, 9};  // blue, green, red
  TIEBitmap b(2, 2, ie24RGB);
  TIOParamsVals p;
  p.RawPixelsEncoding = ioRAW_DECIMAL_TEXT;
  Read("255 0 0\n0,255;0 x0 0 255 -9 9 9", b, p);
  EXPECT_EQ(Bytes(b), want);
  TIEBitmap planar(2, 2, ie24RGB);
  p.RawPixelsPlanar = ioRAW_PLANAR;
  Read("255 0 0 9  0 255 0 9  0 0 255 9", planar, p);
  EXPECT_EQ(Bytes(planar), want);
}

TEST(RawSamples, TextNumbersAreClampedAndOneBitRowsPackBits) {
  TIOParamsVals p;
  p.RawPixelsEncoding = ioRAW_DECIMAL_TEXT;
  TIEBitmap g(4, 1, ie8g);
  Read("1.5 300 99999999999999999999999999", g, p);  // "1.5" is two samples
  EXPECT_EQ(Bytes(g), (std::vector<uint8_t>{1, 5, 255, 255}));
  TIEBitmap w(2, 1, ie16g);
  Read("70000 65535", w, p);
  uint16_t s[2];
  std::memcpy(s, w.GetScanline(0), 4);
  EXPECT_EQ(s[0], 65535);
  EXPECT_EQ(s[1], 65535);
  // Nine samples fill one 1-bit row of two bytes, not nine bytes.
  TIEBitmap bw(9, 2, ie1g);
  bw.Fill(0);
  Read("1 0 0 1 1 0 0 0 1  0 0 0 0 0 0 0 0 7", bw, p);
  EXPECT_EQ(Bytes(bw), (std::vector<uint8_t>{0x98, 0x80, 0x00, 0x80}));
  // Hexadecimal: upper-case digits only; lower-case letters separate samples.
  p.RawPixelsEncoding = ioRAW_HEX_TEXT;
  TIEBitmap hx(3, 1, ie8g);
  Read("FF 1a 2B", hx, p);
  EXPECT_EQ(Bytes(hx), (std::vector<uint8_t>{255, 1, 43}));
  TIEBitmap f(1, 1, ie32f);
  EXPECT_THROW(Read("1", f, p), Exception);
}

TEST(RawSamples, BinaryDataMatchesImageMagickRawOutput) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  const std::string ppm = dir.file("a.ppm");
  ASSERT_EQ(RunCommand("convert -size 13x7 gradient:orange-teal -fx 'p+0.1*sin(i*j)' -depth 8 " + ppm), 0);
  const PnmImage ref = ParsePnm(ReadFileBytes(ppm));
  std::string rgb, gray16;
  RunCommand("convert " + ppm + " -depth 8 rgb:-", &rgb);
  RunCommand("convert " + ppm + " -colorspace gray -depth 16 -endian LSB gray:-", &gray16);
  // A 54-byte header in front, skipped.
  TIEBitmap b(13, 7, ie24RGB);
  TIOParamsVals p;
  p.RawPixelsSkipBytes = 54;
  Read(std::string(54, 'h') + rgb, b, p);
  std::vector<uint8_t> mine;
  for (int32_t y = 0; y < 7; ++y)
    for (int32_t x = 0; x < 13; ++x) {
      const uint8_t* px = b.GetScanline(y) + 3 * x;
      mine.insert(mine.end(), {px[2], px[1], px[0]});
    }
  EXPECT_EQ(mine, ref.Data);
  TIEBitmap g(13, 7, ie16g);
  TIOParamsVals q;
  Read(gray16, g, q);
  EXPECT_EQ(Bytes(g), std::vector<uint8_t>(gray16.begin(), gray16.end()));
  // Rows padded to 32 bits: 13 gray bytes take 16 in the file.
  std::string padded;
  for (int32_t y = 0; y < 7; ++y) padded += std::string(13, char('a' + y)) + "ppp";
  TIEBitmap a(13, 7, ie8g);
  TIOParamsVals r;
  r.RawPixelsRowAlignBits = 32;
  Read(padded, a, r);
  EXPECT_EQ(a.GetScanline(6)[12], 'g');
  // Short data leave the rest as it was.
  TIEBitmap s(4, 4, ie8g);
  s.Fill(77);
  TIOParamsVals t;
  Read("abcdef", s, t);
  EXPECT_EQ(s.GetScanline(0)[3], 'd');
  EXPECT_EQ(s.GetScanline(1)[0], 77);
}

TEST(MetafileProbes, SignaturesShortStreamsAndPositions) {
  std::vector<uint8_t> emf(100, 0);
  emf[0] = 1;
  std::memcpy(&emf[40], " EMF", 4);
  EXPECT_TRUE(Probe(IETryEMF, emf));
  emf[0] = 2;
  EXPECT_FALSE(Probe(IETryEMF, emf));
  emf[0] = 1;
  EXPECT_TRUE(Probe(IETryEMF, std::vector<uint8_t>(emf.begin(), emf.begin() + 44)));
  EXPECT_FALSE(Probe(IETryEMF, std::vector<uint8_t>(emf.begin(), emf.begin() + 43)));

  std::vector<uint8_t> wmf = {1, 0, 9, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_TRUE(Probe(IETryWMF, wmf));
  std::vector<uint8_t> placeable = {0xD7, 0xCD, 0xC6, 0x9A};
  placeable.resize(22, 0);
  placeable.insert(placeable.end(), wmf.begin(), wmf.end());
  EXPECT_TRUE(Probe(IETryWMF, placeable));
  placeable[24] = 8;  // header size 8 words
  EXPECT_FALSE(Probe(IETryWMF, placeable));
  // Streams shorter than the headers answer false without reading beyond.
  EXPECT_FALSE(Probe(IETryWMF, std::vector<uint8_t>(wmf.begin(), wmf.begin() + 10)));
  EXPECT_FALSE(Probe(IETryWMF, std::vector<uint8_t>(placeable.begin(), placeable.begin() + 30)));
  EXPECT_FALSE(Probe(IETryWMF, {}));
}
