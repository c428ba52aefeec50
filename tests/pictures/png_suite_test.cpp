// The PNG picture class against a suite of files made at test time by Pillow
// and ImageMagick: every colour type and bit depth, interlaced and not, with
// tRNS, gAMA, tEXt and zTXt chunks. Each file must read as libpng reads it,
// and what the class writes must pass pngcheck and read back the same in
// libpng and Pillow.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "support/test_support.h"
#include "pictures/png_test_helpers.h"

namespace {

using namespace pngtest;

const char* kPillowScript = R"PY(
import struct, sys
from PIL import Image, PngImagePlugin
out = sys.argv[1]
W, H = 29, 17
def info(gamma=None):
    i = PngImagePlugin.PngInfo()
    i.add_text("Title", "Suite picture")
    i.add_text("Comment", "compressed " * 40, zip=True)
    if gamma is not None:
        i.add(b"gAMA", struct.pack(">I", gamma))
    return i
def pattern(mode, levels):
    im = Image.new(mode, (W, H))
    px = im.load()
    for y in range(H):
        for x in range(W):
            v = (x * 7 + y * 13 + (x * y) % 5) % levels
            if mode == "RGB":
                px[x, y] = (v * 255 // (levels - 1), (x * 9) % 256, (y * 15) % 256)
            elif mode == "RGBA":
                px[x, y] = (v * 255 // (levels - 1), (x * 9) % 256, (y * 15) % 256, (x * 17 + y * 3) % 256)
            elif mode == "LA":
                px[x, y] = (v * 255 // (levels - 1), (x * 23 + y) % 256)
            elif mode == "I;16":
                px[x, y] = (x * 2111 + y * 977) % 65536
            else:
                px[x, y] = v
    return im
pattern("1", 2).save(out + "/pil_gray1.png", pnginfo=info())
pattern("L", 256).save(out + "/pil_gray8_trns.png", pnginfo=info(), transparency=26)
pattern("I;16", 2).save(out + "/pil_gray16.png", pnginfo=info(gamma=45455))
pattern("RGB", 256).save(out + "/pil_rgb8_gamma.png", pnginfo=info(gamma=100000))
pattern("RGB", 256).save(out + "/pil_rgb8_trns.png", pnginfo=info(), transparency=(0, 9, 15))
pattern("RGBA", 256).save(out + "/pil_rgba8.png", pnginfo=info(gamma=55000))
pattern("LA", 256).save(out + "/pil_ga8.png", pnginfo=info())
for bits in (1, 2, 4, 8):
    n = 1 << bits
    im = pattern("P", n)
    im.putpalette([c for i in range(n) for c in ((i * 37) % 256, (i * 91) % 256, (255 - i * 13) % 256)])
    im.save(out + "/pil_pal%d.png" % bits, bits=bits, pnginfo=info(gamma=70000 if bits == 8 else None))
    im.save(out + "/pil_pal%d_alpha.png" % bits, bits=bits,
            transparency=bytes([(i * 50) % 256 for i in range(min(n, 6))]), pnginfo=info())
    key = [255] * min(n, 3)
    key[-1] = 0
    im.save(out + "/pil_pal%d_key.png" % bits, bits=bits, transparency=bytes(key), pnginfo=info())
)PY";

const char* kImageMagickScript = R"SH(
set -e
cd "$1"
convert -seed 3 -size 37x23 plasma:fractal -depth 8 base.ppm
convert -size 23x37 gradient:white-black -rotate 90 amask.pgm
for i in None PNG; do
  for d in 1 2 4 8 16; do
    convert base.ppm -colorspace gray -depth $d -interlace $i -define png:color-type=0 \
      -define png:bit-depth=$d im_g${d}_$i.png
  done
  for d in 8 16; do
    convert base.ppm -depth $d -interlace $i -define png:color-type=2 -define png:bit-depth=$d im_rgb${d}_$i.png
    convert base.ppm amask.pgm -alpha off -compose CopyOpacity -composite -depth $d -interlace $i \
      -define png:color-type=6 -define png:bit-depth=$d im_rgba${d}_$i.png
    convert base.ppm -colorspace gray amask.pgm -alpha off -compose CopyOpacity -composite -depth $d -interlace $i \
      -define png:color-type=4 -define png:bit-depth=$d im_ga${d}_$i.png
  done
  for cd in 2:1 3:2 12:4 200:8; do
    c=${cd%:*}; d=${cd#*:}
    convert base.ppm -colors $c -interlace $i -define png:bit-depth=$d PNG8:im_pal${c}_$i.png
  done
done
convert base.ppm -colors 12 -transparent "$(convert base.ppm -colors 12 -format '%[pixel:p{0,0}]' info:)" \
  -interlace PNG PNG8:im_pal_trns_PNG.png
convert base.ppm -depth 16 -transparent "$(convert base.ppm -depth 16 -format '%[pixel:p{0,0}]' info:)" \
  -define png:color-type=2 -interlace PNG im_rgb16_trns_PNG.png 2>/dev/null || true
rm -f base.ppm amask.pgm
)SH";

// The file's gamma table as the class builds it from a gAMA value.
std::array<uint8_t, 256> GammaTable(bool HasGamma, uint32_t Gamma) {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 256; ++i) t[size_t(i)] = uint8_t(i);
  if (!HasGamma || Gamma == 0) return t;
  for (int i = 0; i < 256; ++i) {
    const double v = i == 0 ? 0.0 : std::pow(i / 255.0, 1.0 / (Gamma / 100000.0 * 2.2));
    t[size_t(i)] = uint8_t(std::nearbyint(v * 255.0));
  }
  return t;
}

bool IsIdentity(const std::array<uint8_t, 256>& T) {
  for (int i = 0; i < 256; ++i)
    if (T[size_t(i)] != i) return false;
  return true;
}

int Field(const uint8_t* Row, int64_t X, int Bits) {
  if (Bits == 8) return Row[X];
  const int64_t bit = X * Bits;
  return (Row[bit >> 3] >> (8 - Bits - (bit & 7))) & ((1 << Bits) - 1);
}

// Compares the image held by Png with libpng's samples; answers "" or the
// first difference.
std::string CompareSamples(const TPNGObject& Png, const RefImage& Ref, const std::array<uint8_t, 256>& Lut) {
  const TChunkIHDR* h = Png.HeaderChunk();
  std::ostringstream why;
  if (h->Width != Ref.Width || h->Height != Ref.Height || h->ColorType != Ref.ColorType)
    return "layout differs";
  const int bits = h->BitmapInfo.bmiHeader.biBitCount;
  const int depth = Ref.BitDepth;
  for (uint32_t y = 0; y < Ref.Height; ++y) {
    const uint8_t* row = Png.RowPointer(int32_t(y));
    const uint8_t* low = Png.LowByteRowPointer(int32_t(y));
    const uint8_t* alpha = Png.AlphaRowPointer(int32_t(y));
    const uint8_t* alphaLow = h->ExtraImageAlpha.empty() ? nullptr : h->ExtraImageAlpha.data() + int64_t(h->Width) * y;
    const Bytes& r = Ref.Rows[y];
    for (uint32_t x = 0; x < Ref.Width; ++x) {
      std::vector<std::pair<int, int>> pairs;  // (ours, expected)
      switch (Ref.ColorType) {
        case 0:
        case 3:
          if (depth == 16) {
            pairs = {{row[x], r[2 * x]}, {low[x], r[2 * x + 1]}};
          } else {
            // The held index: 2-bit gray is kept as its 4-bit equivalent.
            const int scale = (Ref.ColorType == 0 && depth == 2) ? 5 : 1;
            pairs = {{Field(row, x, bits), r[x] * scale}};
          }
          break;
        case 2:
        case 6: {
          const int n = Ref.ColorType == 2 ? 3 : 4;
          for (int c = 0; c < 3; ++c) {
            const int dib = int(3 * x) + 2 - c;
            if (depth == 8) {
              pairs.push_back({row[dib], Lut[r[n * x + c]]});
            } else {
              pairs.push_back({row[dib], Lut[r[2 * (n * x + c)]]});
              pairs.push_back({low[dib], Lut[r[2 * (n * x + c) + 1]]});
            }
          }
          if (n == 4) {
            if (depth == 8) {
              pairs.push_back({alpha[x], r[4 * x + 3]});
            } else {
              pairs.push_back({alpha[x], r[8 * x + 6]});
              pairs.push_back({alphaLow[x], r[8 * x + 7]});
            }
          }
          break;
        }
        case 4:
          if (depth == 8)
            pairs = {{row[x], r[2 * x]}, {alpha[x], r[2 * x + 1]}};
          else
            pairs = {{row[x], r[4 * x]}, {low[x], r[4 * x + 1]}, {alpha[x], r[4 * x + 2]}, {alphaLow[x], r[4 * x + 3]}};
          break;
      }
      for (const auto& [ours, expected] : pairs)
        if (ours != expected) {
          why << "pixel (" << x << ", " << y << "): " << ours << " instead of " << expected;
          return why.str();
        }
    }
  }
  return "";
}

struct SuiteFile {
  std::string Name;
  Bytes Data;
};

class PngSuite : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    Dir = new testsupport::TempDir();
    HavePillow = testsupport::RunCommand("/usr/bin/python3 -c 'import PIL' 2>/dev/null") == 0;
    HaveMagick = testsupport::HaveTool("convert");
    if (HavePillow) {
      std::ofstream(Dir->file("gen.py")) << kPillowScript;
      EXPECT_EQ(testsupport::RunCommand("/usr/bin/python3 " + Dir->file("gen.py") + " " + Dir->path()), 0);
    }
    if (HaveMagick) {
      std::ofstream(Dir->file("gen.sh")) << kImageMagickScript;
      EXPECT_EQ(testsupport::RunCommand("sh " + Dir->file("gen.sh") + " " + Dir->path() + " 2>/dev/null"), 0);
    }
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(Dir->path()))
      if (e.path().extension() == ".png") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    for (const auto& n : names) Files.push_back({n, testsupport::ReadFileBytes(Dir->file(n))});
  }
  static void TearDownTestSuite() {
    delete Dir;
    Dir = nullptr;
    Files.clear();
  }
  void SetUp() override {
    if (!HavePillow || !HaveMagick) GTEST_SKIP() << "Pillow and ImageMagick make the suite";
  }

  static testsupport::TempDir* Dir;
  static bool HavePillow, HaveMagick;
  static std::vector<SuiteFile> Files;
};

testsupport::TempDir* PngSuite::Dir = nullptr;
bool PngSuite::HavePillow = false;
bool PngSuite::HaveMagick = false;
std::vector<SuiteFile> PngSuite::Files;

// Where gAMA stands before PLTE the palette is corrected too.
bool GammaBeforePalette(const Bytes& File) {
  const auto types = ChunkTypes(File);
  const auto g = std::find(types.begin(), types.end(), "gAMA");
  const auto p = std::find(types.begin(), types.end(), "PLTE");
  return g != types.end() && g < p;
}

TEST_F(PngSuite, EveryFileReadsAsLibpngReadsIt) {
  std::set<std::string> covered;
  ASSERT_GE(Files.size(), 40u);
  for (const SuiteFile& f : Files) {
    SCOPED_TRACE(f.Name);
    const RefImage ref = LibpngDecode(f.Data);
    ASSERT_TRUE(ref.Ok);
    std::unique_ptr<TPNGObject> png;
    ASSERT_NO_THROW(png = Load(f.Data));
    const auto lut = GammaTable(ref.HasGamma, ref.Gamma);
    EXPECT_EQ(png->GammaLut(), lut);
    EXPECT_EQ(CompareSamples(*png, ref, lut), "");
    const TChunkIHDR* h = png->HeaderChunk();
    // Colour tables: the palette through the gamma table, gray ramps over
    // the held bit count.
    if (ref.ColorType == 3) {
      const auto palLut = GammaBeforePalette(f.Data) ? lut : GammaTable(false, 0);
      for (size_t i = 0; i < ref.Palette.size(); ++i) {
        const TRGBQuad& q = h->BitmapInfo.bmiColors[i];
        EXPECT_EQ((std::array<int, 3>{q.rgbRed, q.rgbGreen, q.rgbBlue}),
                  (std::array<int, 3>{palLut[ref.Palette[i].red], palLut[ref.Palette[i].green],
                                      palLut[ref.Palette[i].blue]}))
            << "entry " << i;
      }
    } else if (ref.ColorType == 0 || ref.ColorType == 4) {
      const int n = 1 << h->BitmapInfo.bmiHeader.biBitCount;
      for (int k = 0; k < n; ++k) EXPECT_EQ(h->BitmapInfo.bmiColors[k].rgbRed, lut[size_t(k * 255 / (n - 1))]);
    }
    const TChunktRNS* t = png->GetChunkList().FindChunk<TChunktRNS>();
    EXPECT_EQ(t != nullptr, ref.HasTrns);
    if (t && ref.ColorType == 3) {
      for (size_t i = 0; i < ref.TrnsAlpha.size(); ++i) EXPECT_EQ(t->AlphaTable[i], ref.TrnsAlpha[i]);
      EXPECT_EQ(png->TransparencyKind(), t->ColorKeyOnly ? tkColorKey : tkAlpha);
    } else if (t && ref.ColorType == 0) {
      EXPECT_EQ((t->AlphaTable[0] << 8) | t->AlphaTable[1], ref.TrnsColor.gray);
    } else if (t && ref.ColorType == 2) {
      EXPECT_EQ((t->AlphaTable[0] << 8) | t->AlphaTable[1], ref.TrnsColor.red);
      EXPECT_EQ((t->AlphaTable[2] << 8) | t->AlphaTable[3], ref.TrnsColor.green);
      EXPECT_EQ((t->AlphaTable[4] << 8) | t->AlphaTable[5], ref.TrnsColor.blue);
    }
    std::vector<std::pair<std::string, std::string>> texts;
    for (int32_t i = 0; i < png->GetChunkList().GetCount(); ++i)
      if (auto* c = dynamic_cast<TChunktEXt*>(png->GetChunkList().GetItem(i))) texts.emplace_back(c->Keyword, c->Text);
    EXPECT_EQ(texts, ref.Texts);

    covered.insert("ct" + std::to_string(ref.ColorType) + "d" + std::to_string(ref.BitDepth));
    if (ref.Interlace) covered.insert("interlace ct" + std::to_string(ref.ColorType));
    if (ref.HasTrns) covered.insert("tRNS ct" + std::to_string(ref.ColorType));
    if (ref.HasGamma) covered.insert("gAMA");
    for (const auto& type : ChunkTypes(f.Data)) covered.insert(type);
  }
  for (const char* want : {"ct0d1", "ct0d2", "ct0d4", "ct0d8", "ct0d16", "ct2d8", "ct2d16", "ct3d1", "ct3d2", "ct3d4",
                           "ct3d8", "ct4d8", "ct4d16", "ct6d8", "ct6d16", "interlace ct0", "interlace ct2",
                           "interlace ct3", "interlace ct4", "interlace ct6", "tRNS ct0", "tRNS ct2", "tRNS ct3",
                           "gAMA", "tEXt", "zTXt"})
    EXPECT_TRUE(covered.count(want)) << want;
}

TEST_F(PngSuite, WrittenFilesPassPngcheckAndReadBackTheSame) {
  const bool havePngcheck = testsupport::HaveTool("pngcheck");
  std::ostringstream pairs;
  int written = 0;
  for (const SuiteFile& f : Files) {
    SCOPED_TRACE(f.Name);
    const RefImage ref = LibpngDecode(f.Data);
    std::unique_ptr<TPNGObject> png = Load(f.Data);
    // Samples come back unchanged where the gamma table is the identity.
    const bool exact = IsIdentity(png->GammaLut());
    for (int interlace = 0; interlace < 2; ++interlace) {
      png->SetInterlacing(uint8_t(interlace));
      png->SetFilterSet(interlace ? 0x1F : PngFilterBit(pfSub));
      const Bytes out = Save(*png);
      const std::string name = Dir->file("out" + std::to_string(interlace) + "_" + f.Name);
      testsupport::WriteFileBytes(name, out);
      ++written;
      if (havePngcheck) {
        std::string report;
        EXPECT_EQ(testsupport::RunCommand("pngcheck " + name + " 2>&1", &report), 0) << report;
      }
      const RefImage back = LibpngDecode(out);
      ASSERT_TRUE(back.Ok);
      EXPECT_EQ(back.Interlace, interlace);
      // 2-bit images are written at 4 bits.
      EXPECT_EQ(back.BitDepth, ref.BitDepth == 2 ? 4 : ref.BitDepth);
      if (!exact) continue;
      for (uint32_t y = 0; y < ref.Height; ++y) {
        Bytes expected = ref.Rows[y];
        if (ref.BitDepth == 2 && ref.ColorType == 0)
          for (auto& s : expected) s = uint8_t(s * 5);
        ASSERT_EQ(back.Rows[y], expected) << "row " << y;
      }
      EXPECT_EQ(back.Palette.size(), ref.Palette.size());
      EXPECT_EQ(back.TrnsAlpha, ref.TrnsAlpha);
      if (ref.HasTrns && ref.ColorType != 3) {
        const int scale = (ref.BitDepth == 2 && ref.ColorType == 0) ? 5 : 1;
        EXPECT_EQ(back.TrnsColor.gray, ref.TrnsColor.gray * scale);
        EXPECT_EQ(back.TrnsColor.red, ref.TrnsColor.red);
        EXPECT_EQ(back.TrnsColor.blue, ref.TrnsColor.blue);
      }
      EXPECT_EQ(back.Texts, ref.Texts);
      pairs << Dir->file(f.Name) << " " << name << "\n";
    }
  }
  EXPECT_GE(written, 80);
  // Pillow reads each written file as it reads the original.
  std::ofstream(Dir->file("pairs.txt")) << pairs.str();
  std::ofstream(Dir->file("cmp.py")) << R"PY(
import sys
from PIL import Image
def canon(name):
    im = Image.open(name)
    im.load()
    if im.mode.startswith("I"):
        return (list(im.convert("I").getdata()), im.info.get("transparency"))
    return im.convert("RGBA").tobytes()
for line in open(sys.argv[1]):
    a, b = line.split()
    if canon(a) != canon(b):
        print("differs:", b)
)PY";
  std::string report;
  EXPECT_EQ(testsupport::RunCommand("/usr/bin/python3 " + Dir->file("cmp.py") + " " + Dir->file("pairs.txt") + " 2>&1",
                                    &report),
            0);
  EXPECT_EQ(report, "");
}

}  // namespace
