// PNM and WBMP: files made by netpbm and ImageMagick read as those tools
// decode them, ours read right there, maxval scaling of every variant, and
// damaged headers and data fail cleanly.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "formats/pnm/pnm_codec.h"
#include "formats/pnm/wbmp_codec.h"
#include "platform/rtl/lists.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

auto ReadPnm = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
  PnmReadStream(S, B, P, R, false);
};
auto ReadWbmp = [](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
  WbmpReadStream(S, B, P, R, false);
};
auto WriteWbmp = [](TStream* S, TIEBitmap* B, TIOParamsVals&, TIEProgressRec& R) { WbmpWriteStream(S, B, R); };

Bytes Text(const std::string& S) { return Bytes(S.begin(), S.end()); }

// Every variant netpbm makes of one picture reads as ImageMagick decodes it:
// exactly at maxval 255 and 1, within one step of 8-bit rounding otherwise
// (this codec truncates v x 255 / maxval, ImageMagick rounds).
TEST(PnmCodec, NetpbmVariantsReadAsPeerDecodes) {
  if (!HaveTool("pamdepth") || !HaveTool("convert")) GTEST_SKIP() << "netpbm or ImageMagick missing";
  TempDir dir;
  auto pic = ColourPicture(41, 17);
  const std::string base = WritePpm(dir, "base.ppm", pic.get());
  struct Case {
    const char* Name;
    std::string Pipe;
    int32_t Tolerance;
  } cases[] = {
      {"P6", "cat", 0},
      {"P3", "pnmtoplainpnm", 0},
      {"P5", "ppmtopgm", 0},
      {"P2", "ppmtopgm | pnmtoplainpnm", 0},
      {"P4", "ppmtopgm | pgmtopbm -threshold", 0},
      {"P1", "ppmtopgm | pgmtopbm -threshold | pnmtoplainpnm", 0},
      {"P6 maxval 1000", "pamdepth 1000", 1},
      {"P6 maxval 15", "pamdepth 15", 1},
      {"P5 maxval 15", "ppmtopgm | pamdepth 15", 1},
      {"P3 maxval 1000", "pamdepth 1000 | pnmtoplainpnm", 1},
      {"P6 16-bit", "pamdepth 65535", 1},
      {"P5 16-bit", "ppmtopgm | pamdepth 65535", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string path = dir.file("v.pnm");
    ASSERT_EQ(RunCommand("cat '" + base + "' | " + c.Pipe + " > '" + path + "' 2>/dev/null"), 0);
    const Bytes file = ReadFileBytes(path);
    auto r = ReadWith(ReadPnm, file);
    ASSERT_FALSE(r->Aborting);
    ASSERT_EQ(r->Bitmap->GetWidth(), 41);
    ASSERT_EQ(r->Bitmap->GetHeight(), 17);
    const Bytes peer = PeerRgb(dir, "magick", file, "pnm");
    ASSERT_FALSE(peer.empty());
    EXPECT_LE(MaxDiff(Rgb(r->Bitmap.get()), peer), c.Tolerance);
  }
}

// P5 and P6 scale alike by maxval; samples above maxval are clamped;
// NativePixelFormat keeps 16-bit samples scaled to the full 16-bit range.
TEST(PnmCodec, MaxvalScalingAndClamping) {
  struct Case {
    std::string File;
    bool Native;
    TIEPixelFormat Format;
    std::vector<uint32_t> First;  // first pixel's stored samples
  } cases[] = {
      {"P5 1 1 15\n\x0f", false, ie24RGB, {255, 255, 255}},
      {std::string("P6 1 1 15\n\x0f\x07\x00", 13), false, ie24RGB, {0, 119, 255}},  // blue, green, red
      {"P2 2 1 1000\n1000 500", false, ie24RGB, {255, 255, 255}},
      {"P2 1 1 10\n20", false, ie24RGB, {255, 255, 255}},           // above maxval: clamped
      {std::string("P6 1 1 10\n\x14\x05\x00", 13), false, ie24RGB, {0, 127, 255}},
      {std::string("P5 1 1 1000\n\x03\xe8", 14), true, ie16g, {65535}},
      {std::string("P5 1 1 1000\n\x01\xf4", 14), true, ie16g, {32767}},
      {std::string("P6 1 1 1000\n\x03\xe8\x01\xf4\x00\x00", 18), true, ieRGB48, {65535, 32767, 0}},
      {std::string("P6 1 1 65535\n\xff\xff\x80\x00\x00\x00", 19), false, ie24RGB, {0, 127, 255}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.File.substr(0, 12));
    auto r = ReadWith(ReadPnm, Text(c.File), [&](TIOParamsVals& P) { P.NativePixelFormat = c.Native; });
    ASSERT_FALSE(r->Aborting);
    ASSERT_EQ(r->Bitmap->GetPixelFormat(), c.Format);
    const uint8_t* row = r->Bitmap->GetScanline(0);
    for (size_t i = 0; i < c.First.size(); ++i) {
      const uint32_t v = c.Format == ie24RGB ? row[i] : reinterpret_cast<const uint16_t*>(row)[i];
      EXPECT_EQ(v, c.First[i]) << "sample " << i;
    }
  }
  // P2 with maxval 1000: 500 gives 127.
  auto r = ReadWith(ReadPnm, Text("P2 2 1 1000\n1000 500"));
  EXPECT_EQ(r->Bitmap->GetPixelRGB(1, 0).g, 127);
}

TEST(PnmCodec, CommentsBetweenTokensAreCollected) {
  auto r = ReadWith(ReadPnm, Text("P2\n# one\n2 # two\n1\n#  three  \n255\n7 9\n"));
  ASSERT_FALSE(r->Aborting);
  ASSERT_EQ(r->Params->PnmComments->GetCount(), 3);
  EXPECT_EQ(r->Params->PnmComments->Get(0), "one");
  EXPECT_EQ(r->Params->PnmComments->Get(1), "two");
  EXPECT_EQ(r->Params->PnmComments->Get(2), "three");
  EXPECT_EQ(r->Bitmap->GetPixelRGB(1, 0).r, 9);

  // Written comments come back.
  TIOParamsVals p;
  p.PnmComments->Add("made here");
  auto pic = ColourPicture(5, 3);
  const Bytes file = WriteWith(PnmWriteStream, pic.get(), p);
  auto back = ReadWith(ReadPnm, file);
  ASSERT_EQ(back->Params->PnmComments->GetCount(), 1);
  EXPECT_EQ(back->Params->PnmComments->Get(0), "made here");
  EXPECT_EQ(Rgb(back->Bitmap.get()), Rgb(pic.get()));
}

// What is written here decodes in netpbm and ImageMagick to the same pixels.
TEST(PnmCodec, WrittenFilesReadRightInPeers) {
  if (!HaveTool("convert") || !HaveTool("pamtopnm")) GTEST_SKIP() << "ImageMagick or netpbm missing";
  TempDir dir;
  auto colour = ColourPicture(39, 21);
  auto bilevel = BilevelPicture(45, 19);
  struct Case {
    const char* Name;
    TIEBitmap* Bitmap;
    int32_t Bits, Samples;
    std::string Magic;
  } cases[] = {
      {"P4", bilevel.get(), 1, 1, "P4"},
      {"P6", colour.get(), 8, 3, "P6"},
      {"P6 16-bit", colour.get(), 16, 3, "P6"},
      {"P5", colour.get(), 8, 1, "P5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIOParamsVals p;
    p.BitsPerSample = c.Bits;
    p.SamplesPerPixel = c.Samples;
    const Bytes file = WriteWith(PnmWriteStream, c.Bitmap, p);
    ASSERT_EQ(std::string(file.begin(), file.begin() + 2), c.Magic);
    // netpbm accepts the file.
    WriteFileBytes(dir.file("ours.pnm"), file);
    ASSERT_EQ(RunCommand("pamtopnm '" + dir.file("ours.pnm") + "' > /dev/null 2>&1"), 0);
    const Bytes peer = PeerRgb(dir, "magick", file, "pnm");
    if (c.Magic == "P5") {
      // Gray by the library's weights: compare with our own reading.
      auto back = ReadWith(ReadPnm, file);
      EXPECT_EQ(Rgb(back->Bitmap.get()), peer);
    } else {
      EXPECT_EQ(Rgb(c.Bitmap), peer);
    }
  }
  // The P4 bytes are the bitmap's rows inverted.
  TIOParamsVals p;
  const Bytes file = WriteWith(PnmWriteStream, bilevel.get(), p);
  const size_t head = std::string(file.begin(), file.end()).find('\n') + 1;
  EXPECT_EQ(file[head], uint8_t(~bilevel->GetScanline(0)[0]));
}

TEST(PnmCodec, DamagedFilesFailCleanly) {
  const std::string cases[] = {
      "P5 4 4 0\n0000000000000000",          // maxval 0
      "P5 2 1 70000\n0000",                  // maxval beyond 16 bits
      "P6 100000 100000 255\n\x01\x02\x03",  // far more than the data holds
      "P5 3 3 255\n\x01\x02",                // truncated binary data
      "P2 3 3 255\n1 2 3",                   // truncated ASCII data
      "P7 3 3 255\n",                        // no such magic
      "P5 -3 3 255\n",                       // no size
      "P6 99999999999999999999 2 255\n",     // size overflow
      "P5",                                  // header only
      "",
  };
  for (const std::string& c : cases) {
    SCOPED_TRACE(c.substr(0, 20));
    auto r = ReadWith(ReadPnm, Text(c));
    EXPECT_TRUE(r->Aborting);
    EXPECT_LE(int64_t(r->Bitmap->GetWidth()) * r->Bitmap->GetHeight(), 9);
  }
  TMemoryStream s;
  s.WriteBuffer("P6 3 2 255\n", 11);
  s.SetPosition(0);
  EXPECT_TRUE(IETryPnm(&s));
  EXPECT_EQ(s.GetPosition(), 0);
  TMemoryStream t;
  t.WriteBuffer("P9 3 2", 6);
  t.SetPosition(0);
  EXPECT_FALSE(IETryPnm(&t));
}

// WBMP keeps sizes above 255 both ways and never crops; ImageMagick agrees.
TEST(WbmpCodec, LargeSizesRoundTripAndMatchPeer) {
  auto pic = BilevelPicture(600, 300);
  TIOParamsVals p;
  const Bytes file = WriteWith(WriteWbmp, pic.get(), p);
  ASSERT_GE(file.size(), 6u);
  // 600 = 0x84 0x58, 300 = 0x82 0x2C.
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 6), (Bytes{0, 0, 0x84, 0x58, 0x82, 0x2C}));
  auto back = ReadWith(ReadWbmp, file);
  ASSERT_FALSE(back->Aborting);
  ASSERT_EQ(back->Bitmap->GetWidth(), 600);
  ASSERT_EQ(back->Bitmap->GetHeight(), 300);
  EXPECT_EQ(Rgb(back->Bitmap.get()), Rgb(pic.get()));

  // 200 x 100: the width is the two bytes 0x81 0x48.
  auto small = BilevelPicture(200, 100);
  const Bytes f2 = WriteWith(WriteWbmp, small.get(), p);
  EXPECT_EQ(f2[2], 0x81);
  EXPECT_EQ(f2[3], 0x48);

  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  int32_t w = 0, h = 0;
  EXPECT_EQ(PeerRgb(dir, "magick", file, "wbmp", &w, &h), Rgb(pic.get()));
  EXPECT_EQ(w, 600);
  // A WBMP made by ImageMagick reads as it decodes it.
  const std::string ppm = WritePpm(dir, "bw.ppm", small.get());
  ASSERT_EQ(RunCommand("convert '" + ppm + "' '" + dir.file("m.wbmp") + "'"), 0);
  const Bytes theirs = ReadFileBytes(dir.file("m.wbmp"));
  auto r = ReadWith(ReadWbmp, theirs);
  ASSERT_FALSE(r->Aborting);
  EXPECT_EQ(Rgb(r->Bitmap.get()), PeerRgb(dir, "magick", theirs, "wbmp"));
}

TEST(WbmpCodec, DamagedFilesFailCleanly) {
  const Bytes cases[] = {
      {1, 0, 4, 4, 0, 0, 0, 0},               // type 1
      {0, 0, 0, 4},                           // zero width
      {0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x7F},   // a fifth integer byte
      {0, 0, 0x87, 0xFF, 0x7F, 0x87, 0xFF, 0x7F, 0},  // huge, no rows
      {0, 0, 16, 4, 0xFF, 0xFF},              // rows cut short
      {0, 0, 0x81},                           // ends inside the width
  };
  for (const Bytes& c : cases) {
    auto r = ReadWith(ReadWbmp, c);
    EXPECT_TRUE(r->Aborting);
    EXPECT_EQ(r->Bitmap->GetWidth(), 0);
  }
}

}  // namespace
