// PCX and DCX: files from ImageMagick, netpbm and Pillow (1, 4, 8 and 24
// bits) read here pixel for pixel, ours read there pixel for pixel; the
// run-length coding's corner cases; DCX page tables; damaged files fail
// cleanly.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/ie_streams.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "formats/pcx/pcx_dcx.h"
#include "foundations/progress.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::FormatPnm;
using testsupport::HaveTool;
using testsupport::ParsePnm;
using testsupport::PnmImage;
using testsupport::ReadFileBytes;
using testsupport::RunCommand;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

// A picture with Colors distinct colours (2 gives black and white), odd
// width so that scan lines need padding.
PnmImage Picture(int32_t Colors, int32_t W = 37, int32_t H = 23) {
  static const uint8_t table[16][3] = {
      {0, 0, 0},       {255, 255, 255}, {200, 30, 30},  {30, 200, 30},  {30, 30, 200},  {220, 220, 40},
      {40, 220, 220},  {220, 40, 220},  {128, 128, 128}, {90, 60, 20},   {250, 160, 120}, {10, 90, 160},
      {160, 250, 10},  {60, 0, 120},    {200, 200, 255}, {140, 30, 70}};
  PnmImage img;
  img.Kind = '6';
  img.Width = W;
  img.Height = H;
  std::mt19937 rng(3);
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      if (Colors > 16) {
        img.Data.push_back(uint8_t(x * 7));
        img.Data.push_back(uint8_t(y * 11));
        img.Data.push_back(uint8_t(rng()));
      } else {
        // Runs of equal pixels besides single ones.
        const int32_t c = ((x / 5) + (y / 3) * 3 + (x % 7 == 0 ? 1 : 0)) % Colors;
        img.Data.insert(img.Data.end(), table[c], table[c] + 3);
      }
    }
  return img;
}

std::unique_ptr<TIEBitmap> ToBitmap(const PnmImage& Img) {
  auto b = TIEBitmap::CreateSized(Img.Width, Img.Height, ie24RGB);
  for (int32_t y = 0; y < Img.Height; ++y)
    for (int32_t x = 0; x < Img.Width; ++x) {
      const uint8_t* p = &Img.Data[(size_t(y) * Img.Width + x) * 3];
      uint8_t* q = b->GetScanline(y) + 3 * x;
      q[0] = p[2];
      q[1] = p[1];
      q[2] = p[0];
    }
  return b;
}

// Red, green, blue bytes of any bitmap.
Bytes Rgb(TIEBitmap* B) {
  Bytes out;
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      const TRGB c = B->GetPixelRGB(x, y);
      out.insert(out.end(), {c.r, c.g, c.b});
    }
  return out;
}

struct ReadOut {
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  TIOParamsVals Params;
  std::atomic<bool> Aborting{false};
};

std::unique_ptr<ReadOut> ReadPcx(const Bytes& File, bool ParamsOnly = false) {
  auto r = std::make_unique<ReadOut>();
  TMemoryStream s;
  if (!File.empty()) s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  TIEProgressRec p;
  p.Aborting = &r->Aborting;
  PcxReadStream(&s, r->Bitmap.get(), r->Params, int64_t(File.size()), p, ParamsOnly);
  return r;
}

std::unique_ptr<ReadOut> ReadDcx(const Bytes& File, int32_t Page) {
  auto r = std::make_unique<ReadOut>();
  TMemoryStream s;
  if (!File.empty()) s.WriteBuffer(File.data(), int64_t(File.size()));
  s.SetPosition(0);
  TIEProgressRec p;
  p.Aborting = &r->Aborting;
  r->Params.DcxPageIndex = Page;
  DcxReadStream(&s, r->Bitmap.get(), r->Params, p, false);
  return r;
}

Bytes Contents(TMemoryStream& S) {
  const uint8_t* m = static_cast<const uint8_t*>(S.GetMemory());
  return Bytes(m, m + S.GetSize());
}

Bytes WritePcx(TIEBitmap* B, int32_t Bits, int32_t Samples, uint8_t Compression = ioPCX_RLE) {
  TIOParamsVals p;
  p.BitsPerSample = Bits;
  p.SamplesPerPixel = Samples;
  p.PcxCompression = Compression;
  p.SetDpiX(150);
  p.SetDpiY(200);
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  PcxWriteStream(&s, B, p, pr);
  EXPECT_FALSE(abort);
  return Contents(s);
}

// The picture as a peer tool decodes a file: red, green, blue bytes.
Bytes PeerDecode(const TempDir& Dir, const std::string& Tool, const Bytes& File) {
  const std::string in = Dir.file("peer-in.pcx"), out = Dir.file("peer-out.ppm");
  WriteFileBytes(in, File);
  std::remove(out.c_str());
  std::string cmd;
  if (Tool == "convert")
    cmd = "convert 'pcx:" + in + "' -depth 8 'ppm:" + out + "'";
  else if (Tool == "pcxtoppm")
    cmd = "pcxtoppm '" + in + "' > '" + out + "' 2>/dev/null";
  else
    cmd = "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + in + "').convert('RGB').save('" + out +
          "', 'PPM')\"";
  EXPECT_EQ(RunCommand(cmd), 0) << cmd;
  return ParsePnm(ReadFileBytes(out)).Data;
}

bool HavePeers() {
  return HaveTool("convert") && HaveTool("ppmtopcx") && HaveTool("pcxtoppm");
}

// ---------------------------------------------------------------------------

TEST(PcxCodec, RunLengthCoding) {
  // 100 equal bytes: 63 + 37; a single byte of 192 or more is coded as a run.
  Bytes src(100, 0x41);
  Bytes dst(256);
  ASSERT_EQ(PcxEncodeRle(dst.data(), src.data(), 100, 1, 0), 4);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 4), (Bytes{0xFF, 0x41, 0xE5, 0x41}));
  const uint8_t one[2] = {0xC5, 0x10};
  // Odd count: a 0 byte makes the line even.
  ASSERT_EQ(PcxEncodeRle(dst.data(), one, 1, 1, 0), 3);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 3), (Bytes{0xC1, 0xC5, 0x00}));
  // Strided source: the second byte of every pair.
  const uint8_t pairs[6] = {1, 7, 2, 7, 3, 9};
  ASSERT_EQ(PcxEncodeRle(dst.data(), pairs, 3, 2, 1), 4);
  EXPECT_EQ(Bytes(dst.begin(), dst.begin() + 4), (Bytes{0xC2, 7, 9, 0}));
  // A run that crosses the end of a scan line continues on the next one.
  const uint8_t coded[] = {0xC6, 0x55, 0x01, 0x02};
  TPcxLineDecoder dec(coded, sizeof(coded), 1);
  uint8_t line[4];
  ASSERT_TRUE(dec.PcxDecodeScanLine(line, 4));
  EXPECT_EQ(Bytes(line, line + 4), (Bytes{0x55, 0x55, 0x55, 0x55}));
  ASSERT_TRUE(dec.PcxDecodeScanLine(line, 4));
  EXPECT_EQ(Bytes(line, line + 4), (Bytes{0x55, 0x55, 0x01, 0x02}));
  EXPECT_FALSE(dec.PcxDecodeScanLine(line, 4));
}

TEST(PcxCodec, PeerFilesReadExactly) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick or netpbm missing";
  TempDir dir;
  const PnmImage full = Picture(256), sixteen = Picture(16), two = Picture(2);
  WriteFileBytes(dir.file("full.ppm"), FormatPnm(full));
  WriteFileBytes(dir.file("sixteen.ppm"), FormatPnm(sixteen));
  WriteFileBytes(dir.file("two.ppm"), FormatPnm(two));
  const std::string out = "'" + dir.file("p.pcx") + "'";
  auto py = [&](const std::string& In, const std::string& Mode) {
    const std::string how = Mode == "P" ? "'P', palette=Image.ADAPTIVE, colors=16" : "'" + Mode + "'";
    return "/usr/bin/python3 -c \"from PIL import Image; Image.open('" + dir.file(In) + "').convert(" + how +
           ").save('" + dir.file("p.pcx") + "')\"";
  };
  struct Case {
    const char* Name;
    std::string Command;
    const PnmImage* Picture;
    int32_t Bits;     // BitsPerSample read back
    int32_t Samples;  // SamplesPerPixel read back
    TIEPixelFormat Format;
  } cases[] = {
      {"ImageMagick 24-bit", "convert '" + dir.file("full.ppm") + "' " + out, &full, 8, 3, ie24RGB},
      {"ImageMagick palette", "convert '" + dir.file("sixteen.ppm") + "' -type Palette " + out, &sixteen, 8, 1,
       ie24RGB},
      // ImageMagick writes two-colour pictures with three 8-bit planes.
      {"ImageMagick bilevel", "convert '" + dir.file("two.ppm") + "' -type Bilevel " + out, &two, 8, 3, ie24RGB},
      {"netpbm 1-bit", "ppmtopcx '" + dir.file("two.ppm") + "' > " + out, &two, 1, 1, ie1g},
      {"netpbm 24-bit", "ppmtopcx -24bit '" + dir.file("full.ppm") + "' > " + out, &full, 8, 3, ie24RGB},
      {"netpbm 8-bit", "ppmtopcx -8bit '" + dir.file("sixteen.ppm") + "' > " + out, &sixteen, 8, 1, ie24RGB},
      {"netpbm 16 colours in planes", "ppmtopcx '" + dir.file("sixteen.ppm") + "' > " + out, &sixteen, 4, 1,
       ie24RGB},
      {"netpbm 16 colours packed", "ppmtopcx -packed '" + dir.file("sixteen.ppm") + "' > " + out, &sixteen, 4, 1,
       ie24RGB},
      {"Pillow RGB", py("full.ppm", "RGB"), &full, 8, 3, ie24RGB},
      {"Pillow palette", py("sixteen.ppm", "P"), &sixteen, 8, 1, ie24RGB},
      {"Pillow 1-bit", py("two.ppm", "1"), &two, 1, 1, ie1g},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    std::remove(dir.file("p.pcx").c_str());
    ASSERT_EQ(RunCommand(c.Command), 0);
    const Bytes file = ReadFileBytes(dir.file("p.pcx"));
    auto r = ReadPcx(file);
    ASSERT_FALSE(r->Aborting);
    EXPECT_EQ(r->Params.Width, 37);
    EXPECT_EQ(r->Params.Height, 23);
    EXPECT_EQ(r->Params.BitsPerSample, c.Bits);
    EXPECT_EQ(r->Params.SamplesPerPixel, c.Samples);
    EXPECT_EQ(r->Bitmap->GetPixelFormat(), c.Format);
    EXPECT_EQ(Rgb(r->Bitmap.get()), c.Picture->Data);
  }
}

TEST(PcxCodec, OurFilesReadExactlyByPeers) {
  if (!HavePeers()) GTEST_SKIP() << "ImageMagick or netpbm missing";
  TempDir dir;
  // Peers that read each kind: netpbm and Pillow read only run-length coded
  // files, Pillow no packed 4-bit pixels, and this ImageMagick reads every
  // 1-bit PCX inverted (netpbm's own 1-bit files too), so it is left out there.
  const std::vector<std::string> all = {"convert", "pcxtoppm", "pillow"};
  struct Case {
    int32_t Colors, Bits, Samples;
    uint8_t Compression;
    std::vector<std::string> Tools;
  } cases[] = {
      {256, 8, 3, ioPCX_RLE, all},
      {256, 8, 3, ioPCX_UNCOMPRESSED, {"convert"}},
      {16, 8, 1, ioPCX_RLE, all},
      {16, 8, 1, ioPCX_UNCOMPRESSED, {"convert"}},
      {16, 4, 1, ioPCX_RLE, {"convert", "pcxtoppm"}},
      {2, 1, 1, ioPCX_RLE, {"pcxtoppm", "pillow"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Colors * 1000 + c.Bits * 10 + c.Compression);
    const PnmImage pic = Picture(c.Colors);
    auto bmp = ToBitmap(pic);
    const Bytes file = WritePcx(bmp.get(), c.Bits, c.Samples, c.Compression);
    // Read back here, then by every peer.
    auto r = ReadPcx(file);
    ASSERT_FALSE(r->Aborting);
    EXPECT_EQ(Rgb(r->Bitmap.get()), pic.Data);
    EXPECT_EQ(r->Params.DpiX, 150);
    EXPECT_EQ(r->Params.DpiY, 200);
    for (const std::string& tool : c.Tools) {
      SCOPED_TRACE(tool);
      EXPECT_EQ(PeerDecode(dir, tool, file), pic.Data);
    }
  }
}

TEST(PcxCodec, OneBitPagesAndOddWidths) {
  // A 1-bit image written from ie1g keeps its bits; an 8-bit line of 101
  // pixels takes 102 bytes and its coded form ends with one 0 byte.
  auto mono = TIEBitmap::CreateSized(13, 3, ie1g);
  mono->Fill(1);
  mono->GetScanline(1)[0] = 0x5A;
  const Bytes f1 = WritePcx(mono.get(), 1, 1);
  auto r1 = ReadPcx(f1);
  ASSERT_EQ(r1->Bitmap->GetPixelFormat(), ie1g);
  EXPECT_EQ(r1->Bitmap->GetScanline(1)[0], 0x5A);
  EXPECT_EQ(r1->Bitmap->GetScanline(0)[1] & 0xF8, 0xF8);
  EXPECT_EQ(f1[66] | (f1[67] << 8), 2);

  PnmImage wide = Picture(16, 101, 2);
  auto bmp = ToBitmap(wide);
  const Bytes f8 = WritePcx(bmp.get(), 8, 1, ioPCX_UNCOMPRESSED);
  EXPECT_EQ(f8[66] | (f8[67] << 8), 102);
  EXPECT_EQ(f8.size(), size_t(128 + 2 * 102 + 769));
  EXPECT_EQ(f8[128 + 101], 0);
  EXPECT_EQ(Rgb(ReadPcx(f8)->Bitmap.get()), wide.Data);
}

TEST(PcxCodec, HeaderFieldsAndDamagedFilesFailCleanly) {
  auto bmp = ToBitmap(Picture(256, 20, 10));
  const Bytes good = WritePcx(bmp.get(), 8, 3);
  // Resolution 200 x 0 reads as the default resolution.
  Bytes f = good;
  f[12] = 200, f[13] = 0, f[14] = 0, f[15] = 0;
  auto r = ReadPcx(f);
  EXPECT_EQ(r->Params.DpiX, IEDefaultDpiX);
  EXPECT_EQ(r->Params.DpiY, IEDefaultDpiY);
  struct Bad {
    const char* Name;
    size_t At;
    uint8_t Value;
  } bads[] = {
      {"manufacturer", 0, 11},      {"encoding", 2, 2},        {"16 bits", 3, 16},
      {"no planes", 65, 0},         {"short lines", 66, 19},   {"xmax below xmin", 9, 0x80},
  };
  for (const Bad& b : bads) {
    SCOPED_TRACE(b.Name);
    Bytes d = good;
    d[b.At] = b.Value;
    if (b.At == 9) d[4] = 0xFF, d[5] = 0xFF;
    auto x = ReadPcx(d);
    EXPECT_TRUE(x->Aborting);
  }
  // Truncated data: the rows present are read, the failure reported.
  Bytes cut(good.begin(), good.begin() + 128 + 40);
  auto c = ReadPcx(cut);
  EXPECT_TRUE(c->Aborting);
  EXPECT_TRUE(ReadPcx(Bytes(good.begin(), good.begin() + 60))->Aborting);
  EXPECT_TRUE(ReadPcx(Bytes{})->Aborting);
  // A header announcing 65535 x 65535 with a few bytes of data allocates
  // nothing.
  Bytes huge = good;
  huge.resize(400);
  huge[8] = huge[9] = huge[10] = huge[11] = 0xFF;
  huge[66] = huge[67] = 0xFF;
  auto h = ReadPcx(huge);
  EXPECT_TRUE(h->Aborting);
  EXPECT_TRUE(h->Bitmap->IsEmpty());
  // Writing into a stream that takes nothing sets the abort flag.
  uint8_t block[16];
  TIEMemStream full(block, sizeof(block));
  TIOParamsVals wp;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  PcxWriteStream(&full, bmp.get(), wp, pr);
  EXPECT_TRUE(abort);
  // Random damage never crashes or hangs.
  std::mt19937 rng(99);
  for (int i = 0; i < 300; ++i) {
    Bytes d = good;
    for (int k = 0; k < 1 + int(rng() % 6); ++k) d[rng() % d.size()] = uint8_t(rng());
    if (i % 4 == 0) d.resize(rng() % d.size());
    ReadPcx(d);
  }
}

// Files of 5 to 7 bits per pixel take their colours from the trailing
// palette (the header holds only 16), never from beyond the header's; layouts
// whose pixels this reader does not decode fail instead of passing for a
// picture.  Params-only reads and DCX pages go through the same reader.
TEST(PcxCodec, PaletteSizesAndUndecodedLayouts) {
  auto bmp = ToBitmap(Picture(256, 20, 10));
  const Bytes good = WritePcx(bmp.get(), 8, 1);
  ASSERT_GT(good.size(), 128u + 769u);
  ASSERT_EQ(good[3], 8);
  ASSERT_EQ(good[good.size() - 769], 12);
  const size_t palAt = good.size() - 768;
  for (const uint8_t bits : {5, 6, 7}) {
    SCOPED_TRACE(int(bits));
    Bytes f = good;
    f[3] = bits;
    for (const bool paramsOnly : {true, false}) {
      auto r = ReadPcx(f, paramsOnly);
      ASSERT_EQ(r->Params.ColorMapCount, 1 << bits);
      for (int32_t i = 0; i < (1 << bits); ++i) {
        const TRGB c = r->Params.ColorMap[size_t(i)];
        ASSERT_EQ(c.r, good[palAt + 3 * size_t(i)]) << i;
        ASSERT_EQ(c.g, good[palAt + 3 * size_t(i) + 1]) << i;
        ASSERT_EQ(c.b, good[palAt + 3 * size_t(i) + 2]) << i;
      }
      EXPECT_EQ(r->Aborting.load(), !paramsOnly);
    }
  }
  // Two bits in one plane, two planes of eight bits: not decoded here.
  for (const auto& [bits, planes] : {std::pair<uint8_t, uint8_t>{2, 1}, {8, 2}}) {
    Bytes f = good;
    f[3] = bits;
    f[65] = planes;
    EXPECT_TRUE(ReadPcx(f)->Aborting) << int(bits) << " x " << int(planes);
  }
}

// ---------------------------------------------------------------------------

// A DCX of Count pages, each a picture of its own size, built by inserting at
// the end one page at a time.
Bytes BuildDcx(int32_t Count, std::vector<PnmImage>* Pictures = nullptr) {
  TMemoryStream s;
  for (int32_t i = 0; i < Count; ++i) {
    const PnmImage pic = Picture(16, 10 + i, 5 + i);
    if (Pictures) Pictures->push_back(pic);
    auto bmp = ToBitmap(pic);
    TIOParamsVals p;
    p.DcxPageIndex = i;
    p.BitsPerSample = 8;
    p.SamplesPerPixel = 1;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    DcxInsertPage(&s, bmp.get(), p, pr);
    EXPECT_FALSE(abort);
  }
  return Contents(s);
}

TEST(DcxCodec, InsertAppendReadAndPeers) {
  std::vector<PnmImage> pics;
  const Bytes three = BuildDcx(3, &pics);
  TMemoryStream s;
  s.WriteBuffer(three.data(), int64_t(three.size()));
  EXPECT_TRUE(DcxIsStream(&s));
  EXPECT_EQ(DcxPageCount(&s), 3);
  for (int32_t i = 0; i < 3; ++i) {
    auto r = ReadDcx(three, i);
    ASSERT_FALSE(r->Aborting);
    EXPECT_EQ(Rgb(r->Bitmap.get()), pics[size_t(i)].Data);
  }
  // Index clamped and stored back.
  auto last = ReadDcx(three, 7);
  EXPECT_EQ(last->Params.DcxPageIndex, 2);
  EXPECT_EQ(Rgb(last->Bitmap.get()), pics[2].Data);

  // Insert at 0 puts the new page first; insert at 3 or past the end appends.
  const PnmImage extra = Picture(2, 9, 4);
  auto extraBmp = ToBitmap(extra);
  for (int32_t at : {0, 3, 50}) {
    SCOPED_TRACE(at);
    TMemoryStream d;
    d.WriteBuffer(three.data(), int64_t(three.size()));
    TIOParamsVals p;
    p.DcxPageIndex = at;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    DcxInsertPage(&d, extraBmp.get(), p, pr);
    ASSERT_FALSE(abort);
    const Bytes four = Contents(d);
    EXPECT_EQ(DcxPageCount(&d), 4);
    const int32_t newIndex = at == 0 ? 0 : 3;
    for (int32_t i = 0, old = 0; i < 4; ++i) {
      auto r = ReadDcx(four, i);
      ASSERT_FALSE(r->Aborting);
      EXPECT_EQ(Rgb(r->Bitmap.get()), i == newIndex ? extra.Data : pics[size_t(old++)].Data);
    }
  }
  if (!HaveTool("identify")) return;
  TempDir dir;
  WriteFileBytes(dir.file("three.dcx"), three);
  std::string out;
  ASSERT_EQ(RunCommand("identify -format '%wx%h\\n' '" + dir.file("three.dcx") + "'", &out), 0);
  EXPECT_EQ(out, "10x5\n11x6\n12x7\n");
  ASSERT_EQ(RunCommand("convert 'dcx:" + dir.file("three.dcx") + "[1]' -depth 8 'ppm:" + dir.file("p1.ppm") + "'"), 0);
  EXPECT_EQ(ParsePnm(ReadFileBytes(dir.file("p1.ppm"))).Data, pics[1].Data);
}

TEST(DcxCodec, WholeDocumentInOnePassAndImageMagickFiles) {
  std::vector<PnmImage> pics;
  std::vector<std::unique_ptr<TIEBitmap>> bitmaps;
  std::vector<std::unique_ptr<TIOParamsVals>> params;
  std::vector<TIEBitmap*> pages;
  std::vector<TIOParamsVals*> pageParams;
  for (int32_t i = 0; i < 5; ++i) {
    pics.push_back(Picture(i % 2 ? 2 : 256, 20 + i, 8));
    bitmaps.push_back(ToBitmap(pics.back()));
    params.push_back(std::make_unique<TIOParamsVals>());
    params.back()->BitsPerSample = i % 2 ? 1 : 8;
    params.back()->SamplesPerPixel = i % 2 ? 1 : 3;
    pages.push_back(bitmaps.back().get());
    pageParams.push_back(params.back().get());
  }
  TMemoryStream s;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  DcxWriteStream(&s, pages, pageParams, pr);
  ASSERT_FALSE(abort);
  const Bytes file = Contents(s);
  EXPECT_EQ(DcxPageCount(&s), 5);
  for (int32_t i = 0; i < 5; ++i) EXPECT_EQ(Rgb(ReadDcx(file, i)->Bitmap.get()), pics[size_t(i)].Data);
  if (!HaveTool("convert")) return;
  TempDir dir;
  WriteFileBytes(dir.file("ours.dcx"), file);
  std::string out;
  ASSERT_EQ(RunCommand("identify -format '%w\\n' '" + dir.file("ours.dcx") + "' | wc -l", &out), 0);
  EXPECT_EQ(std::stoi(out), 5);
  // ImageMagick's own DCX reads here page by page.
  WriteFileBytes(dir.file("a.ppm"), FormatPnm(pics[0]));
  WriteFileBytes(dir.file("b.ppm"), FormatPnm(pics[2]));
  ASSERT_EQ(RunCommand("convert '" + dir.file("a.ppm") + "' '" + dir.file("b.ppm") + "' 'dcx:" + dir.file("im.dcx") + "'"), 0);
  const Bytes im = ReadFileBytes(dir.file("im.dcx"));
  EXPECT_EQ(Rgb(ReadDcx(im, 0)->Bitmap.get()), pics[0].Data);
  EXPECT_EQ(Rgb(ReadDcx(im, 1)->Bitmap.get()), pics[2].Data);
}

TEST(DcxCodec, PagesStoredOutOfTableOrder) {
  // The table lists the second stored page first: each page's size runs to
  // the next larger offset, not to the next entry.
  std::vector<PnmImage> pics;
  Bytes two = BuildDcx(2, &pics);
  std::swap_ranges(two.begin() + 4, two.begin() + 8, two.begin() + 8);
  EXPECT_EQ(Rgb(ReadDcx(two, 0)->Bitmap.get()), pics[1].Data);
  EXPECT_EQ(Rgb(ReadDcx(two, 1)->Bitmap.get()), pics[0].Data);
  TMemoryStream s;
  s.WriteBuffer(two.data(), int64_t(two.size()));
  int32_t count = 0;
  const std::vector<uint32_t> offsets = DcxReadOffsets(&s, count);
  ASSERT_EQ(count, 2);
  const std::vector<int64_t> sizes = DcxPageSizes(&s, offsets, count);
  EXPECT_EQ(sizes[0], int64_t(two.size()) - offsets[0]);
  EXPECT_EQ(sizes[1], int64_t(offsets[0]) - offsets[1]);
}

TEST(DcxCodec, BadTablesFailCleanly) {
  const Bytes two = BuildDcx(2);
  struct Case {
    const char* Name;
    Bytes File;
  } cases[] = {
      {"empty", {}},
      {"signature", Bytes{0xB1, 0x68, 0xDE, 0x3B, 0, 0, 0, 0}},
      {"no pages", Bytes{0xB1, 0x68, 0xDE, 0x3A, 0, 0, 0, 0}},
      {"offset past the end", Bytes{0xB1, 0x68, 0xDE, 0x3A, 0x00, 0x10, 0, 0, 0, 0, 0, 0}},
      {"page is not PCX", Bytes{0xB1, 0x68, 0xDE, 0x3A, 12, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4}},
      {"truncated", Bytes(two.begin(), two.begin() + int64_t(two.size() / 2))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    auto r = ReadDcx(c.File, 1);
    EXPECT_TRUE(r->Aborting);
  }
  // Inserting into a stream that is not DCX changes nothing.
  TMemoryStream s;
  const Bytes junk = {1, 2, 3, 4, 5, 6, 7, 8};
  s.WriteBuffer(junk.data(), 8);
  TIOParamsVals p;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  auto bmp = ToBitmap(Picture(2, 4, 4));
  DcxInsertPage(&s, bmp.get(), p, pr);
  EXPECT_TRUE(abort);
  EXPECT_EQ(Contents(s), junk);
}

}  // namespace
