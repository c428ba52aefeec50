// Photoshop files: ImageMagick's files read pixel for pixel as ImageMagick
// decodes them, ours read back in ImageMagick and Pillow, the layer section
// and the resource walk hold on hand-built files, and damaged files fail
// cleanly.
#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/psd/psd_codec.h"
#include "formats/psd/psd_packbits.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"
#include "support/pnm_image.h"
#include "support/test_support.h"

using namespace testsupport;

namespace {

struct TReadResult {
  std::atomic<bool> Aborted{false};
  TIEBitmap Bitmap;
  TIOParamsVals Params;
  TIEPsdLayerList Layers;
};

void ReadBytes(const std::vector<uint8_t>& Bytes, TReadResult& R, bool Native, bool LoadLayers = false,
               bool WithList = false) {
  std::vector<uint8_t> copy = Bytes;
  TMemoryStream ms;
  if (!copy.empty()) ms.WriteBuffer(copy.data(), int64_t(copy.size()));
  ms.SetPosition(0);
  TIEProgressRec p;
  p.Aborting = &R.Aborted;
  R.Params.NativePixelFormat = Native;
  PsdReadStream(&ms, &R.Bitmap, R.Params, p, LoadLayers, WithList ? &R.Layers : nullptr);
}

std::vector<uint8_t> WriteBytes(TIEBitmap* B, const TIEPsdLayerList* Layers = nullptr, bool* Aborted = nullptr) {
  TMemoryStream ms;
  TIOParamsVals params;
  params.SetDpiX(150);
  params.SetDpiY(300);
  std::atomic<bool> abort{false};
  TIEProgressRec p;
  p.Aborting = &abort;
  PsdWriteStream(&ms, params, p, B, Layers);
  if (Aborted) *Aborted = abort;
  const auto* m = static_cast<const uint8_t*>(ms.GetMemory());
  return std::vector<uint8_t>(m, m + ms.GetSize());
}

// The peer's decode of the first image of File as 8-bit netpbm.
PnmImage PeerDecode(const std::string& File, const std::string& Options, const std::string& Kind) {
  std::string out;
  const std::string image = File.find('[') == std::string::npos ? File + "[0]" : File;
  RunCommand("convert '" + image + "' " + Options + " -depth 8 " + Kind + ":- 2>/dev/null", &out);
  return ParsePnm(std::vector<uint8_t>(out.begin(), out.end()));
}

// RGB bytes of an ie24RGB bitmap in netpbm order.
std::vector<uint8_t> RgbOf(TIEBitmap& B) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint8_t* s = B.GetScanline(y);
    for (int32_t x = 0; x < B.GetWidth(); ++x) v.insert(v.end(), {s[3 * x + 2], s[3 * x + 1], s[3 * x]});
  }
  return v;
}

std::vector<uint8_t> PlaneOf(TIEBitmap& B, int32_t BytesPerPixel = 1, int32_t Offset = 0) {
  std::vector<uint8_t> v;
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    const uint8_t* s = B.GetScanline(y);
    for (int32_t x = 0; x < B.GetWidth(); ++x) v.push_back(s[x * BytesPerPixel + Offset]);
  }
  return v;
}

// A test picture: colour gradients with a few sharp edges (runs and literals
// both occur in PackBits rows).
void MakeRgb(TIEBitmap& B, int32_t W, int32_t H) {
  B.Allocate(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* s = B.GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      s[3 * x] = uint8_t(x * 7);
      s[3 * x + 1] = uint8_t(x < W / 2 ? 200 : y * 13);
      s[3 * x + 2] = uint8_t((x * y) & 0xFF);
    }
  }
}

// A hand-built file: big-endian writer helpers.
struct TBytes {
  std::vector<uint8_t> D;
  TBytes& b(uint8_t v) { D.push_back(v); return *this; }
  TBytes& w(uint16_t v) { return b(uint8_t(v >> 8)).b(uint8_t(v)); }
  TBytes& l(uint32_t v) { return w(uint16_t(v >> 16)).w(uint16_t(v)); }
  TBytes& s(const std::string& t) { D.insert(D.end(), t.begin(), t.end()); return *this; }
  TBytes& add(const std::vector<uint8_t>& v) { D.insert(D.end(), v.begin(), v.end()); return *this; }
};

TBytes Header(int32_t Channels, int32_t H, int32_t W, int32_t Depth, int32_t Mode) {
  TBytes t;
  t.s("8BPS").w(1).l(0).w(0).w(uint16_t(Channels)).l(uint32_t(H)).l(uint32_t(W)).w(uint16_t(Depth)).w(uint16_t(Mode));
  return t;
}

}  // namespace

TEST(PsdPackBits, RunsLiteralsAndDamagedRows) {
  std::vector<uint8_t> out;
  const uint8_t four[] = {9, 9, 9, 9};
  PsdPackBitsRow(four, 4, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{0xFD, 9}));
  out.clear();
  const uint8_t threeAndOne[] = {5, 5, 5, 6};
  PsdPackBitsRow(threeAndOne, 4, out);
  EXPECT_EQ(out, (std::vector<uint8_t>{3, 5, 5, 5, 6}));
  // Long literals split at 128 bytes and round-trip.
  std::vector<uint8_t> row(300);
  for (size_t i = 0; i < row.size(); ++i) row[i] = uint8_t(i * 31 + (i / 50));
  out.clear();
  PsdPackBitsRow(row.data(), int64_t(row.size()), out);
  std::vector<uint8_t> back(row.size());
  EXPECT_TRUE(PsdUnpackBitsRow(out.data(), int64_t(out.size()), back.data(), int64_t(back.size())));
  EXPECT_EQ(back, row);
  // Packets claiming more than the row are cut at its end; the guard bytes
  // after the row stay as they were.
  const uint8_t over[] = {0x81, 7, 100, 1, 2, 3};
  std::vector<uint8_t> dest(10, 0xEE);
  EXPECT_FALSE(PsdUnpackBitsRow(over, 6, dest.data(), 4));
  EXPECT_EQ(dest, (std::vector<uint8_t>{7, 7, 7, 7, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE}));
}

TEST(PsdPeer, ImageMagickFilesReadAsImageMagickDecodesThem) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  const std::string ppm = dir.file("src.ppm"), pgm = dir.file("src.pgm");
  RunCommand("convert -size 37x19 gradient:red-blue -fx 'p+0.3*sin(i/3)' -depth 8 " + ppm);
  RunCommand("convert " + ppm + " -colorspace gray " + pgm);
  struct TCase {
    const char* Name;
    std::string Make;
    bool Native;
    TIEPixelFormat Expect;
  } cases[] = {
      {"rgb_rle", ppm + " -compress RLE", false, ie24RGB},
      {"rgb_raw", ppm + " -compress none", false, ie24RGB},
      {"gray8", pgm, true, ie8g},
      {"gray16", pgm + " -depth 16", true, ie16g},
      {"rgb16", ppm + " -depth 16", true, ieRGB48},
      {"cmyk", ppm + " -colorspace CMYK", true, ieCMYK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string psd = dir.file(std::string(c.Name) + ".psd");
    ASSERT_EQ(RunCommand("convert " + c.Make + " " + psd), 0);
    TReadResult r;
    ReadBytes(ReadFileBytes(psd), r, c.Native);
    ASSERT_FALSE(r.Aborted);
    ASSERT_EQ(r.Bitmap.GetPixelFormat(), c.Expect);
    EXPECT_EQ(r.Bitmap.GetWidth(), 37);
    EXPECT_EQ(r.Bitmap.GetHeight(), 19);
    const TIEPixelFormat pf = r.Bitmap.GetPixelFormat();
    if (pf == ie8g) {
      EXPECT_EQ(PlaneOf(r.Bitmap), PeerDecode(psd, "", "pgm").Data);
    } else if (pf == ie16g) {
      // 16-bit samples: the high byte equals the peer's 8-bit decode within
      // one step of its rounding.
      const auto ref = PeerDecode(psd, "", "pgm").Data;
      const auto hi = PlaneOf(r.Bitmap, 2, 1);
      ASSERT_EQ(hi.size(), ref.size());
      for (size_t i = 0; i < ref.size(); ++i) EXPECT_LE(std::abs(int(hi[i]) - int(ref[i])), 1) << i;
    } else if (pf == ieRGB48) {
      const auto ref = PeerDecode(psd, "", "ppm").Data;
      std::vector<uint8_t> hi;
      for (int32_t y = 0; y < 19; ++y)
        for (int32_t x = 0; x < 37 * 3; ++x) hi.push_back(r.Bitmap.GetScanline(y)[2 * x + 1]);
      ASSERT_EQ(hi.size(), ref.size());
      for (size_t i = 0; i < ref.size(); ++i) EXPECT_LE(std::abs(int(hi[i]) - int(ref[i])), 1) << i;
    } else if (pf == ieCMYK) {
      std::string raw;
      RunCommand("convert '" + psd + "[0]' -depth 8 cmyk:- 2>/dev/null", &raw);
      ASSERT_EQ(raw.size(), size_t(37 * 19 * 4));
      std::vector<uint8_t> mine;
      for (int32_t y = 0; y < 19; ++y)
        for (int32_t x = 0; x < 37 * 4; ++x) mine.push_back(uint8_t(255 - r.Bitmap.GetScanline(y)[x]));
      EXPECT_EQ(mine, std::vector<uint8_t>(raw.begin(), raw.end()));
    } else {
      EXPECT_EQ(RgbOf(r.Bitmap), PeerDecode(psd, "", "ppm").Data);
    }
  }
}

std::string PillowBytes(const std::string& File, const std::string& Mode) {
  std::string out;
  RunCommand("/usr/bin/python3 -c \"from PIL import Image; import sys; "
             "sys.stdout.buffer.write(Image.open('" + File + "').convert('" + Mode + "').tobytes())\" 2>/dev/null",
             &out);
  return out;
}

bool HavePillow() { return RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0; }

// ImageMagick keeps an alpha image in a layer (its merged image is its own
// blend); Pillow writes no PSD, so palette files come from our writer and
// are checked against Pillow's decode.
TEST(PsdPeer, AlphaAndPaletteAgreeWithThePeers) {
  if (!HaveTool("convert") || !HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  TempDir dir;
  const std::string psd = dir.file("rgba.psd");
  ASSERT_EQ(RunCommand("convert -size 23x9 gradient:yellow-navy -alpha set -channel A -fx 'i/w' +channel " + psd),
            0);
  TReadResult r;
  ReadBytes(ReadFileBytes(psd), r, false, false, true);
  ASSERT_FALSE(r.Aborted);
  ASSERT_EQ(r.Layers.size(), 1u);
  TIEBitmap* layer = r.Layers[0]->Bitmap.get();
  ASSERT_TRUE(layer->HasAlphaChannel());
  const std::string layerFile = psd + "[1]";
  // ImageMagick takes its own layer through its 16-bit pipeline: within one
  // step of its rounding.
  auto near = [](const std::vector<uint8_t>& A, const std::vector<uint8_t>& B) {
    if (A.size() != B.size() || A.empty()) return false;
    for (size_t i = 0; i < A.size(); ++i)
      if (std::abs(int(A[i]) - int(B[i])) > 1) return false;
    return true;
  };
  EXPECT_TRUE(near(RgbOf(*layer), PeerDecode(layerFile, "-alpha off", "ppm").Data));
  EXPECT_TRUE(near(PlaneOf(*layer->GetAlphaChannel()), PeerDecode(layerFile, "-alpha extract", "pgm").Data));

  // The merged image's alpha is written, and Pillow sees it.
  const std::string ours = dir.file("ours_rgba.psd");
  WriteFileBytes(ours, WriteBytes(layer));
  std::vector<uint8_t> rgba;
  for (int32_t y = 0; y < layer->GetHeight(); ++y)
    for (int32_t x = 0; x < layer->GetWidth(); ++x) {
      const TRGB c = layer->GetPixel24(x, y);
      rgba.insert(rgba.end(), {c.r, c.g, c.b, layer->GetAlpha(x, y)});
    }
  const std::string got = PillowBytes(ours, "RGBA");
  EXPECT_EQ(std::vector<uint8_t>(got.begin(), got.end()), rgba);

  // A palette image of ours: Pillow maps it to the same colours.
  TIEBitmap pal(17, 5, ie8p);
  for (int32_t i = 0; i < 256; ++i) pal.SetPaletteColor(i, TRGB{uint8_t(i * 3), uint8_t(i), uint8_t(255 - i)});
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 17; ++x) pal.GetScanline(y)[x] = uint8_t(x * 15 + y);
  const std::string palFile = dir.file("pal.psd");
  WriteFileBytes(palFile, WriteBytes(&pal));
  TIEBitmap palRgb;
  palRgb.Assign(&pal);
  palRgb.SetPixelFormat(ie24RGB);
  const std::string pgot = PillowBytes(palFile, "RGB");
  EXPECT_EQ(std::vector<uint8_t>(pgot.begin(), pgot.end()), RgbOf(palRgb));
}

TEST(PsdPeer, OurFilesReadInImageMagickAndPillow) {
  if (!HaveTool("convert") || !HavePillow()) GTEST_SKIP() << "ImageMagick or Pillow missing";
  TempDir dir;
  TIEBitmap rgb;
  MakeRgb(rgb, 301, 7);  // rows longer than one literal packet
  TIEBitmap gray;
  gray.Assign(&rgb);
  gray.SetPixelFormat(ie8g);
  TIEBitmap bw(13, 5, ie1g);
  for (int32_t y = 0; y < 5; ++y)
    for (int32_t x = 0; x < 13; ++x)
      if ((x + y) % 3 != 0) bw.GetScanline(y)[x / 8] |= uint8_t(0x80 >> (x % 8));
      else bw.GetScanline(y)[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
  struct TCase {
    const char* Name;
    TIEBitmap* B;
    const char* Kind;
  } cases[] = {{"rgb", &rgb, "ppm"}, {"gray", &gray, "pgm"}, {"bw", &bw, "pgm"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string f = dir.file(std::string(c.Name) + ".psd");
    WriteFileBytes(f, WriteBytes(c.B));
    std::vector<uint8_t> expect;
    if (c.B == &rgb) {
      expect = RgbOf(rgb);
    } else if (c.B == &gray) {
      expect = PlaneOf(gray);
    } else {
      for (int32_t y = 0; y < 5; ++y)
        for (int32_t x = 0; x < 13; ++x) expect.push_back((bw.GetScanline(y)[x / 8] & (0x80 >> (x % 8))) ? 255 : 0);
    }
    EXPECT_EQ(PeerDecode(f, "", c.Kind).Data, expect);
    // Pillow takes a bitmap-mode file's set bits as white, against the
    // format and ImageMagick: it checks the other two only.
    if (c.B == &bw) continue;
    std::string out;
    ASSERT_EQ(RunCommand("/usr/bin/python3 -c \"from PIL import Image; import sys; im=Image.open('" + f +
                             "'); print(im.info.get('dpi')); sys.stdout.flush(); "
                             "sys.stdout.buffer.write(im.convert('RGB' if '" + c.Kind +
                             "'=='ppm' else 'L').tobytes())\"",
                         &out),
              0);
    const size_t nl = out.find('\n');
    ASSERT_NE(nl, std::string::npos);
    EXPECT_EQ(std::vector<uint8_t>(out.begin() + int64_t(nl) + 1, out.end()), expect);
    // And ours reads its own file the same way.
    TReadResult r;
    ReadBytes(ReadFileBytes(f), r, true);
    ASSERT_FALSE(r.Aborted);
    EXPECT_EQ(r.Params.DpiX, 150);
    EXPECT_EQ(r.Params.DpiY, 300);
    EXPECT_EQ(r.Bitmap.GetPixelFormat(), c.B->GetPixelFormat());
    for (int32_t y = 0; y < c.B->GetHeight(); ++y)
      EXPECT_EQ(std::memcmp(r.Bitmap.GetScanline(y), c.B->GetScanline(y),
                            size_t(c.B->GetPixelFormat() == ie1g ? 1 : c.B->GetRowLen() > 0 ? c.B->GetWidth() * c.B->GetBitCount() / 8 : 0)),
                0);
  }
}

TEST(PsdWriter, PaletteTransparencyOnlyWhenTheImageHasIt) {
  TIEBitmap pal(8, 2, ie8p);
  for (int32_t i = 0; i < 256; ++i) pal.SetPaletteColor(i, TRGB{uint8_t(i), uint8_t(255 - i), 9});
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 8; ++x) pal.GetScanline(y)[x] = uint8_t(x == 7 ? 255 : x);
  auto hasResource1047 = [](const std::vector<uint8_t>& f) {
    for (size_t i = 0; i + 6 < f.size(); ++i)
      if (std::memcmp(&f[i], "8BIM\x04\x17", 6) == 0) return true;
    return false;
  };
  // No alpha: index 255 is an ordinary colour and reads back opaque.
  std::vector<uint8_t> f = WriteBytes(&pal);
  EXPECT_FALSE(hasResource1047(f));
  TReadResult r;
  ReadBytes(f, r, true);
  ASSERT_FALSE(r.Aborted);
  EXPECT_FALSE(r.Bitmap.HasAlphaChannel());
  EXPECT_EQ(r.Bitmap.GetPaletteColor(255).g, 0);

  // A transparent index 3 shared by all clear pixels is written as such.
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 8; ++x) pal.SetAlpha(x, y, pal.GetScanline(y)[x] == 3 ? 0 : 255);
  f = WriteBytes(&pal);
  EXPECT_TRUE(hasResource1047(f));
  TReadResult r2;
  ReadBytes(f, r2, true);
  ASSERT_TRUE(r2.Bitmap.HasAlphaChannel());
  for (int32_t x = 0; x < 8; ++x) EXPECT_EQ(r2.Bitmap.GetAlpha(x, 1), x == 3 ? 0 : 255);
}

TEST(PsdWriter, LayersWithMaskRoundTripAndCallerLayersStayAsTheyWere) {
  TIEBitmap merged;
  MakeRgb(merged, 20, 10);
  TIEPsdLayerList layers;
  auto l0 = std::make_unique<TIEPsdLayer>();
  l0->Bitmap->Allocate(6, 4, ie8g);  // a gray layer under an RGB image
  l0->Bitmap->Fill(77);
  l0->OffsetX = 3;
  l0->OffsetY = 2;
  l0->Name = "ab";
  l0->Opacity = 128;
  l0->Visible = false;
  auto m0 = std::make_unique<TIEPsdLayer>();
  m0->MaskLayer = true;
  m0->Bitmap->Allocate(5, 3, ie8g);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) m0->Bitmap->GetScanline(y)[x] = uint8_t(x * 50);
  m0->OffsetX = 4;
  m0->OffsetY = 1;
  auto l1 = std::make_unique<TIEPsdLayer>();
  MakeRgb(*l1->Bitmap, 9, 5);
  l1->Bitmap->SetAlpha(2, 3, 40);
  l1->Name = "second";
  layers.push_back(std::move(l0));
  layers.push_back(std::move(m0));
  layers.push_back(std::move(l1));

  bool aborted = false;
  const std::vector<uint8_t> f = WriteBytes(&merged, &layers, &aborted);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(layers[0]->Bitmap->GetPixelFormat(), ie8g);  // not converted in place
  EXPECT_EQ(layers[0]->Bitmap->GetWidth(), 6);

  TReadResult r;
  ReadBytes(f, r, true, true, true);
  ASSERT_FALSE(r.Aborted);
  ASSERT_EQ(r.Layers.size(), 3u);
  EXPECT_EQ(r.Layers[0]->Name, "ab");
  EXPECT_EQ(r.Layers[0]->Opacity, 128);
  EXPECT_FALSE(r.Layers[0]->Visible);
  EXPECT_EQ(r.Layers[0]->OffsetX, 3);
  EXPECT_EQ(r.Layers[0]->Bitmap->GetPixelFormat(), ie24RGB);
  EXPECT_EQ(r.Layers[0]->Bitmap->GetPixel24(5, 3).g, 77);
  ASSERT_TRUE(r.Layers[1]->MaskLayer);
  EXPECT_EQ(r.Layers[1]->OffsetX, 4);
  EXPECT_EQ(r.Layers[1]->Bitmap->GetWidth(), 5);
  EXPECT_EQ(r.Layers[1]->Bitmap->GetScanline(2)[3], 150);
  EXPECT_EQ(r.Layers[2]->Name, "second");
  EXPECT_EQ(r.Layers[2]->Bitmap->GetAlpha(2, 3), 40);
  EXPECT_EQ(r.Layers[2]->Bitmap->GetPixel24(4, 4).r, layers[2]->Bitmap->GetPixel24(4, 4).r);
  // With the layers taken, the merged image is left alone.
  EXPECT_TRUE(r.Bitmap.IsEmpty());
  // Without the load-layers flag and more than one layer: merged image only.
  TReadResult m;
  ReadBytes(f, m, true, false, true);
  EXPECT_TRUE(m.Layers.empty());
  EXPECT_EQ(m.Bitmap.GetWidth(), 20);
}

// Hand-built: a named resource ahead of the resolution, a layer whose mask
// block is 36 bytes long, a channel of an id this reader does not place
// (-3, a user mask) and PackBits rows that claim more than their row.
TEST(PsdReader, NamedResourcesLongMaskBlocksAndUnknownChannelsAreWalkedByLength) {
  TBytes res;
  res.s("8BIM").w(1000).b(3).s("abc").l(2).w(0);  // name of 3 + length byte: even
  res.s("8BIM").w(1005).w(0).l(16).l(72u << 16).w(1).w(1).l(144u << 16).w(1).w(1);
  TBytes f = Header(1, 2, 4, 8, psdGrayscale);
  f.l(0).l(uint32_t(res.D.size())).add(res.D);

  // One layer 4x2, channels: -3 (skipped), 0 (gray).
  TBytes chUnknown;
  chUnknown.w(0).add({1, 2, 3, 4, 5, 6, 7, 8});
  TBytes chGray;  // PackBits rows, the second one overrunning its 4 bytes
  chGray.w(1).w(2).w(4).b(0xFD).b(10).b(0x81).b(20).b(1).b(1);
  TBytes rec;
  rec.l(0).l(0).l(2).l(4).w(2).w(uint16_t(-3)).l(uint32_t(chUnknown.D.size())).w(0).l(uint32_t(chGray.D.size()));
  rec.s("8BIMnorm").b(255).b(0).b(0).b(0);
  TBytes extra;
  extra.l(36).l(0).l(0).l(1).l(1).b(0).b(0).w(0).add(std::vector<uint8_t>(16, 0x55));
  extra.l(0).b(1).s("L").w(0);  // name "L" padded to 4
  rec.l(uint32_t(extra.D.size())).add(extra.D);
  TBytes info;
  info.w(1).add(rec.D).add(chUnknown.D).add(chGray.D);
  TBytes section;
  section.l(uint32_t(info.D.size())).add(info.D).l(0);
  f.l(uint32_t(section.D.size())).add(section.D);
  f.w(0).add({1, 2, 3, 4, 5, 6, 7, 8});  // merged image, raw

  TReadResult r;
  ReadBytes(f.D, r, true, false, true);
  ASSERT_FALSE(r.Aborted);
  EXPECT_EQ(r.Params.DpiX, 72);
  EXPECT_EQ(r.Params.DpiY, 144);
  ASSERT_EQ(r.Layers.size(), 1u);
  EXPECT_EQ(r.Layers[0]->Name, "L");
  TIEBitmap* lb = r.Layers[0]->Bitmap.get();
  ASSERT_EQ(lb->GetPixelFormat(), ie8g);
  EXPECT_EQ(PlaneOf(*lb), (std::vector<uint8_t>{10, 10, 10, 10, 20, 20, 20, 20}));
  EXPECT_EQ(PlaneOf(r.Bitmap), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(PsdReader, DamagedFilesFailCleanly) {
  TIEBitmap src;
  MakeRgb(src, 40, 30);
  const std::vector<uint8_t> good = WriteBytes(&src);
  // Every truncation fails or reads; none crashes.  The header alone fails.
  for (size_t n : {size_t(0), size_t(10), size_t(26), size_t(30), size_t(60), good.size() / 2, good.size() - 1}) {
    TReadResult r;
    ReadBytes(std::vector<uint8_t>(good.begin(), good.begin() + int64_t(n)), r, true);
    EXPECT_TRUE(r.Aborted) << n;
  }
  // A header claiming 30000 x 30000 pixels over a few bytes allocates nothing.
  TBytes huge = Header(3, 30000, 30000, 8, psdRGB);
  huge.l(0).l(0).l(0).w(1).add(std::vector<uint8_t>(64, 0));
  TReadResult h;
  ReadBytes(huge.D, h, true);
  EXPECT_TRUE(h.Aborted);
  EXPECT_TRUE(h.Bitmap.IsEmpty());
  // Bytes flipped all over the file: never a crash.
  for (size_t i = 26; i < good.size(); i += 7) {
    std::vector<uint8_t> bad = good;
    bad[i] ^= 0xA5;
    TReadResult r;
    ReadBytes(bad, r, true);
  }
  // Not a header.
  std::vector<uint8_t> bad = good;
  bad[5] = 2;
  TReadResult v;
  ReadBytes(bad, v, true);
  EXPECT_TRUE(v.Aborted);
  TMemoryStream ms;
  ms.WriteBuffer(bad.data(), int64_t(bad.size()));
  ms.SetPosition(0);
  EXPECT_FALSE(IETryPSD(&ms));
  EXPECT_EQ(ms.GetPosition(), 0);
}
