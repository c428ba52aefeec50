// BMP reader and writer, checked against Pillow and ImageMagick.
#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "formats/bmp/bmp_reader.h"
#include "formats/bmp/bmp_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"
#include "formats/codec_test_helpers.h"

using namespace codectest;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

bool ReadBmp(const std::vector<uint8_t>& Data, TIEBitmap& B, TIOParamsVals& P,
             std::unique_ptr<TIEMask>* Mask = nullptr) {
  TMemoryStream m;
  if (!Data.empty()) m.Write(Data.data(), int64_t(Data.size()));
  m.Seek(0, soBeginning);
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  std::unique_ptr<TIEMask> local;
  BmpReadStream(&m, &B, 0, P, progress, false, false, Mask ? *Mask : local, Mask == nullptr);
  return !aborting;
}

std::vector<uint8_t> WriteBmp(TIEBitmap& B, TIOParamsVals& P, bool SaveAlpha = false) {
  TMemoryStream m;
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  BmpWriteStream(&m, &B, P, progress, SaveAlpha);
  EXPECT_FALSE(aborting);
  const uint8_t* p = static_cast<const uint8_t*>(m.GetMemory());
  return std::vector<uint8_t>(p, p + m.GetSize());
}

uint32_t Le32(const std::vector<uint8_t>& D, size_t At) {
  return uint32_t(D[At]) | uint32_t(D[At + 1]) << 8 | uint32_t(D[At + 2]) << 16 | uint32_t(D[At + 3]) << 24;
}

// Files written by Pillow and ImageMagick (palette sizes, 1 bit, RLE8,
// bit fields, OS/2 core header, top-down rows, 32 bits with alpha) read as
// Pillow decodes them.
TEST(BmpCodecTest, PeerFilesReadAsPillowDecodesThem) {
  if (!HavePillow() || !testsupport::HaveTool("convert")) GTEST_SKIP();
  TempDir dir;
  ASSERT_TRUE(RunPython(dir.path(), R"(
from PIL import Image
import random, struct, subprocess
random.seed(3)
def pal_image(size, colours):
    im = Image.new('P', size)
    pal = []
    for i in range(256): pal += [(i*37) % 256, (i*91) % 256, (i*13) % 256 ^ 0x55]
    im.putpalette(pal)
    im.putdata([random.randrange(0, colours) for _ in range(size[0]*size[1])])
    return im
pal_image((37, 21), 200).save('p8.bmp')
pal_image((30, 9), 2).convert('1').save('bw.bmp')
pal_image((41, 17), 250).convert('RGB').save('rgb.bmp')
rgba = pal_image((19, 13), 100).convert('RGBA')
rgba.putalpha(Image.frombytes('L', (19, 13), bytes(1 + (i * 7) % 255 for i in range(19 * 13))))
rgba.save('rgba.png')
subprocess.check_call(['convert', 'rgba.png', 'BMP:rgba.bmp'])
src = pal_image((45, 23), 12).convert('RGB')
src.save('src.ppm')
subprocess.check_call(['convert', 'src.ppm', '-type', 'Palette', '-compress', 'RLE', 'BMP3:rle8.bmp'])
subprocess.check_call(['convert', 'src.ppm', 'BMP2:os2.bmp'])
subprocess.check_call(['convert', 'src.ppm', '-define', 'bmp:subtype=RGB565', 'BMP:b565.bmp'])
subprocess.check_call(['convert', 'src.ppm', '-define', 'bmp:subtype=RGB555', 'BMP:b555.bmp'])
subprocess.check_call(['convert', 'src.ppm', '-type', 'Palette', '-colors', '16', 'BMP3:p4.bmp'])
# Top-down copy of rgb.bmp: height negated, rows reversed.
data = bytearray(open('rgb.bmp', 'rb').read())
off = struct.unpack_from('<I', data, 10)[0]
w, h = struct.unpack_from('<ii', data, 18)
row = (w * 3 + 3) // 4 * 4
rows = [data[off + i*row: off + (i+1)*row] for i in range(h)]
struct.pack_into('<i', data, 22, -h)
data[off:off + row*h] = b''.join(reversed(rows))
open('topdown.bmp', 'wb').write(bytes(data))
for name in ['p8', 'bw', 'rgb', 'rle8', 'os2', 'p4', 'topdown']:
    Image.open(name + '.bmp').convert('RGB').save(name + '.ppm')
rgba.convert('RGB').save('rgba.ppm')
rgba.getchannel('A').save('rgba_a.pgm')
# Bit fields: each field's bits from the file shifted up to 8 bits.
def fields(name, bits):
    data = open(name + '.bmp', 'rb').read()
    off = struct.unpack_from('<I', data, 10)[0]
    w, h = struct.unpack_from('<ii', data, 18)
    row = (w * 2 + 3) // 4 * 4
    px = []
    for y in range(h):
        for x in range(w):
            v = struct.unpack_from('<H', data, off + (h - 1 - y) * row + 2 * x)[0]
            g = (v >> 5) & (63 if bits == 6 else 31)
            px.append(((v >> (11 if bits == 6 else 10)) & 31) << 3)
            px.append(g << (8 - bits))
            px.append((v & 31) << 3)
    Image.frombytes('RGB', (w, h), bytes(px)).save(name + '.ppm')
fields('b565', 6)
fields('b555', 5)
)"));
  struct Case {
    const char* Name;
    uint8_t Header;
    int32_t Bits;
  } cases[] = {{"p8", ioBMP_BM3, 8},  {"bw", ioBMP_BM3, 1},      {"rgb", ioBMP_BM3, 8},
               {"rgba", ioBMP_BM, 8}, {"rle8", ioBMP_BM3, 8},    {"os2", ioBMP_BMOS2V1, 8},
               {"p4", ioBMP_BM3, 4},  {"topdown", ioBMP_BM3, 8}, {"b565", ioBMP_BM, 5},
               {"b555", ioBMP_BM, 5}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap b;
    TIOParamsVals p;
    std::unique_ptr<TIEMask> mask;
    ASSERT_TRUE(ReadBmp(testsupport::ReadFileBytes(dir.file(std::string(c.Name) + ".bmp")), b, p, &mask));
    ExpectPixelsEqualPnm(&b, dir.file(std::string(c.Name) + ".ppm"));
    EXPECT_EQ(p.BitsPerSample, c.Bits);
    if (std::string(c.Name) != "rgba") {
      EXPECT_EQ(p.BmpHeaderKind, c.Header);
    }
    if (std::string(c.Name) == "rgba") {
      ASSERT_TRUE(mask);
      int32_t w = 0, h = 0;
      const std::vector<uint8_t> alpha = PnmRgb(dir.file("rgba_a.pgm"), w, h);
      for (int32_t i = 0; i < w * h; ++i) ASSERT_EQ(mask->GetPixel(i % w, i / w), alpha[size_t(i) * 3]) << i;
    } else {
      EXPECT_FALSE(mask);
    }
  }
}

// Our files read right in ImageMagick: every bit count, RLE4 and RLE8, the
// OS/2 header, 32 bits with alpha.
TEST(BmpCodecTest, OurFilesReadRightInImageMagick) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP();
  TempDir dir;
  struct Case {
    const char* Name;
    int32_t Bits, Samples, Colours;
    uint8_t Header, Compression;
    bool Alpha;
  } cases[] = {{"b1", 1, 1, 2, ioBMP_BM3, 0, false},        {"b4", 4, 1, 16, ioBMP_BM3, 0, false},
               {"b4rle", 4, 1, 16, ioBMP_BM3, 1, false},    {"b8", 8, 1, 256, ioBMP_BM3, 0, false},
               {"b8rle", 8, 1, 7, ioBMP_BM3, 1, false},     {"b24", 8, 3, 5000, ioBMP_BM3, 0, false},
               {"os2", 8, 1, 100, ioBMP_BMOS2V1, 1, false}, {"v3", 8, 3, 5000, ioBMP_BMOS2V2, 0, false},
               {"b32", 8, 3, 5000, ioBMP_BM3, 0, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap src;
    FillPattern(src, 53, 29, c.Colours, 8);
    if (c.Compression) {
      // Runs for the RLE coders to find.
      for (int32_t y = 0; y < 29; y += 2)
        for (int32_t x = 0; x < 40; ++x) src.SetPixel24(x, y, src.GetPixel24(0, y));
    }
    if (c.Alpha) {
      for (int32_t y = 0; y < 29; ++y)
        for (int32_t x = 0; x < 53; ++x) src.SetAlpha(x, y, uint8_t(x * 4 + y));
    }
    TIOParamsVals p;
    p.BitsPerSample = c.Bits;
    p.SamplesPerPixel = c.Samples;
    p.BmpHeaderKind = c.Header;
    p.BmpCompression = c.Compression;
    const std::string path = dir.file(std::string(c.Name) + ".bmp");
    testsupport::WriteFileBytes(path, WriteBmp(src, p, c.Alpha));
    ASSERT_EQ(RunCommand("cd '" + dir.path() + "' && convert " + c.Name +
                         ".bmp -alpha off -depth 8 out.ppm && convert " + c.Name +
                         ".bmp -alpha extract -depth 8 out_a.pgm"),
              0);
    ExpectPixelsEqualPnm(&src, dir.file("out.ppm"));
    if (c.Alpha) {
      int32_t w = 0, h = 0;
      const std::vector<uint8_t> alpha = PnmRgb(dir.file("out_a.pgm"), w, h);
      for (int32_t i = 0; i < w * h; ++i) ASSERT_EQ(src.GetAlpha(i % w, i / w), alpha[size_t(i) * 3]) << i;
    }
    // And back here.
    TIEBitmap back;
    TIOParamsVals q;
    ASSERT_TRUE(ReadBmp(testsupport::ReadFileBytes(path), back, q));
    EXPECT_EQ(RgbBytes(&back), RgbBytes(&src));
  }
}

// The RLE coders' runs and literals, and a core header that cannot hold the
// width is replaced by the 40-byte header.
TEST(BmpCodecTest, RleRowsAndWideCoreHeader) {
  std::vector<uint8_t> row(300, 7), out(3000);
  int32_t n = BmpEncodeRle8Row(row.data(), 300, out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n), (std::vector<uint8_t>{255, 7, 45, 7, 0, 0}));
  const uint8_t lit[5] = {1, 2, 3, 4, 5};
  n = BmpEncodeRle4Row(lit, 5, out.data());
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
            (std::vector<uint8_t>{0, 5, 0x12, 0x34, 0x50, 0, 0, 0}));

  TIEBitmap wide(70000, 2, ie1g);
  wide.Fill(1.0);
  wide.GetScanline(1)[69999 / 8] &= uint8_t(~(0x80 >> (69999 % 8)));
  TIOParamsVals p;
  p.BitsPerSample = 1;
  p.BmpHeaderKind = ioBMP_BMOS2V1;
  const std::vector<uint8_t> file = WriteBmp(wide, p);
  EXPECT_EQ(Le32(file, 14), 40u);
  EXPECT_EQ(Le32(file, 18), 70000u);
  TIEBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(ReadBmp(file, back, q));
  EXPECT_EQ(back.GetWidth(), 70000);
  EXPECT_EQ(back.GetPixelRGB(69999, 1).r, 0);
  EXPECT_EQ(back.GetPixelRGB(69998, 1).r, 255);
}

// RLE8 by hand: file header, 40-byte header, two palette entries, codes.
std::vector<uint8_t> Rle8File(int32_t Width, int32_t Height, const std::vector<uint8_t>& Codes) {
  const size_t head = 14 + 40 + 8;
  std::vector<uint8_t> d(head + Codes.size(), 0);
  auto put32 = [&](size_t At, uint32_t V) {
    for (int32_t i = 0; i < 4; ++i) d[At + size_t(i)] = uint8_t(V >> (8 * i));
  };
  d[0] = 'B';
  d[1] = 'M';
  put32(2, uint32_t(d.size()));
  put32(10, uint32_t(head));
  put32(14, 40);
  put32(18, uint32_t(Width));
  put32(22, uint32_t(Height));
  d[26] = 1;
  d[28] = 8;
  put32(30, 1);  // RLE8
  put32(34, uint32_t(Codes.size()));
  put32(46, 2);
  const uint8_t palette[8] = {0, 0, 0, 0, 255, 255, 255, 0};
  std::copy(palette, palette + 8, d.begin() + 54);
  std::copy(Codes.begin(), Codes.end(), d.begin() + int64_t(head));
  return d;
}

// A declared RLE size is trusted only as far as its codes could place pixels:
// a sparse page whose rows all end early still reads, while a few bytes of
// codes behind a size of millions of pixels are refused before the bitmap is
// filled.
TEST(BmpCodecTest, RleSizeBoundedByItsCodes) {
  std::vector<uint8_t> sparse;
  for (int32_t y = 0; y < 100; ++y) {
    if (y == 50) sparse.insert(sparse.end(), {4, 1});
    sparse.insert(sparse.end(), {0, 0});
  }
  sparse.insert(sparse.end(), {0, 1});
  TIEBitmap b;
  TIOParamsVals q;
  ASSERT_TRUE(ReadBmp(Rle8File(4000, 100, sparse), b, q));
  EXPECT_EQ(b.GetWidth(), 4000);
  EXPECT_EQ(b.GetPixelRGB(3, 49).r, 255);
  EXPECT_EQ(b.GetPixelRGB(4, 49).r, 0);
  EXPECT_EQ(b.GetPixelRGB(3000, 10).r, 0);

  std::vector<uint8_t> few(96, 0);
  few.insert(few.end(), {0, 1});
  TIEBitmap big;
  TIOParamsVals bq;
  EXPECT_FALSE(ReadBmp(Rle8File(2500, 2500, few), big, bq));
  EXPECT_EQ(bq.Width, 2500);  // the header itself still reads
}

// Sizes from the file are checked: negative width, colour count, pixel
// offset, image size, RLE deltas and runs, truncation; never a crash.
TEST(BmpCodecTest, DamagedFilesFailCleanly) {
  TIEBitmap src;
  FillPattern(src, 40, 30, 200, 2);
  TIOParamsVals p;
  p.SamplesPerPixel = 1;
  const std::vector<uint8_t> good = WriteBmp(src, p);
  auto patched = [&](size_t At, uint32_t V) {
    std::vector<uint8_t> d = good;
    if (d.size() < At + 4) return d;
    const uint8_t le[4] = {uint8_t(V), uint8_t(V >> 8), uint8_t(V >> 16), uint8_t(V >> 24)};
    std::copy(le, le + 4, d.begin() + int64_t(At));
    return d;
  };
  struct Case {
    const char* What;
    std::vector<uint8_t> Data;
  } cases[] = {{"negative width", patched(18, uint32_t(-40))},
               {"huge size", patched(18, 60000)},
               {"huge height", patched(22, 0x7FFFFFFF)},
               {"huge 32-bit rows", [&] {
                  std::vector<uint8_t> d = patched(18, 0x7EFFFF01);
                  std::vector<uint8_t> h = patched(22, 0x66000000);
                  std::copy(h.begin() + 22, h.begin() + 26, d.begin() + 22);
                  d[28] = 32;
                  return d;
                }()},
               {"offset past the end", patched(10, 0x7FFFFFF0)},
               {"header size", patched(14, 0xFFFFFF00)},
               {"bit count", patched(28, 7)},
               {"truncated rows", std::vector<uint8_t>(good.begin(), good.end() - 100)},
               {"truncated table", std::vector<uint8_t>(good.begin(), good.begin() + 200)},
               {"not BM", patched(0, 0x4D41)}};
  for (const Case& c : cases) {
    TIEBitmap b;
    TIOParamsVals q;
    EXPECT_FALSE(ReadBmp(c.Data, b, q)) << c.What;
  }
  // A colour count beyond 256 counts as the bit count's own.
  {
    TIEBitmap b;
    TIOParamsVals q;
    EXPECT_TRUE(ReadBmp(patched(46, 100000), b, q));
    EXPECT_EQ(q.ColorMapCount, 256);
  }
  // RLE8 with a delta beyond the last row and a run beyond the data.
  p.BmpCompression = ioBMP_RLE;
  std::vector<uint8_t> rle = WriteBmp(src, p);
  const uint32_t off = Le32(rle, 10);
  std::vector<uint8_t> delta(rle.begin(), rle.begin() + off);
  delta.insert(delta.end(), {3, 9, 0, 2, 5, 250, 2, 8, 0, 1});
  TIEBitmap b;
  TIOParamsVals q;
  EXPECT_TRUE(ReadBmp(delta, b, q));
  EXPECT_EQ(b.GetPixelRGB(2, 29).r, q.ColorMap[9].r);
  std::vector<uint8_t> shortRun(rle.begin(), rle.begin() + off);
  shortRun.insert(shortRun.end(), {0, 200, 1, 2, 3});
  EXPECT_FALSE(ReadBmp(shortRun, b, q));
  std::mt19937 rng(4);
  for (const std::vector<uint8_t>* base : std::initializer_list<const std::vector<uint8_t>*>{&good, &rle}) {
    for (int32_t k = 0; k < 300; ++k) {
      std::vector<uint8_t> bad = *base;
      for (int32_t j = 0; j < 3; ++j) bad[rng() % 60] = uint8_t(rng());
      bad[(rng() % (bad.size() - 60)) + 60] = uint8_t(rng());
      TIEBitmap bb;
      TIOParamsVals qq;
      ReadBmp(bad, bb, qq);
    }
  }
}

}  // namespace
