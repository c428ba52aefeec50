// GIF codec and its LZW coder, checked against Pillow and ImageMagick.
#include "formats/gif/gif_codec.h"

#include <atomic>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>

#include "formats/gif/gif_lzw.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/settings.h"
#include "platform/rtl/lists.h"
#include "platform/rtl/streams.h"
#include "formats/codec_test_helpers.h"

using namespace codectest;
using testsupport::RunCommand;
using testsupport::TempDir;

namespace {

class GifCodecTest : public ::testing::Test {
 protected:
  void SetUp() override { IEInstallGifLzwHooks(); }

  // Reads frame Index of a file; answers false when the reader aborted.
  static bool ReadFrame(const std::string& Path, int32_t Index, TIEBitmap& B, TIOParamsVals& P,
                        std::unique_ptr<TIEMask>& Mask, int32_t& Frames) {
    TFileStream f(Path, fmOpenRead);
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    P.SetImageIndex(Index);
    GifReadStream(&f, &B, Frames, P, progress, false, Mask, false);
    return !aborting;
  }
  static bool ReadBytes(const std::vector<uint8_t>& Data, TIEBitmap& B, TIOParamsVals& P) {
    TMemoryStream m;
    if (!Data.empty()) m.Write(Data.data(), int64_t(Data.size()));
    m.Seek(0, soBeginning);
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    std::unique_ptr<TIEMask> mask;
    int32_t frames = 0;
    GifReadStream(&m, &B, frames, P, progress, false, mask, false);
    return !aborting;
  }
  static std::vector<uint8_t> Write(TIEBitmap& B, TIOParamsVals& P) {
    TMemoryStream m;
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    GifWriteStream(&m, &B, P, progress);
    EXPECT_FALSE(aborting);
    const uint8_t* p = static_cast<const uint8_t*>(m.GetMemory());
    return std::vector<uint8_t>(p, p + m.GetSize());
  }
  TempDir FDir;
};

// Files that Pillow writes (palette sizes, interlace, two colours,
// transparency, a long comment) read as Pillow decodes them.
TEST_F(GifCodecTest, PillowFilesReadAsPillowDecodesThem) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow missing";
  ASSERT_TRUE(RunPython(FDir.path(), R"(
from PIL import Image
import random
random.seed(7)
def make(name, size, colours, mode='P', **kw):
    im = Image.new(mode, size)
    if mode == 'P':
        pal = []
        for i in range(256): pal += [(i*37) % 256, (i*91) % 256, (i*13) % 256 ^ 0x55]
        im.putpalette(pal)
    im.putdata([random.randrange(0, colours) for _ in range(size[0]*size[1])])
    im.save(name + '.gif', **kw)
    back = Image.open(name + '.gif')
    back.convert('RGB').save(name + '.ppm')
    if 'transparency' in kw:
        back.convert('RGBA').getchannel('A').save(name + '_a.pgm')
make('p256', (61, 37), 256)
make('p16', (33, 20), 16, interlace=False)
make('inter', (29, 43), 200, interlace=True)
make('bw', (45, 17), 2, mode='1')
make('trans', (23, 19), 8, transparency=3)
make('comment', (9, 9), 4, comment=b'x' * 300 + b'end')
)"));
  for (const char* name : {"p256", "p16", "inter", "bw", "trans", "comment"}) {
    SCOPED_TRACE(name);
    TIEBitmap b;
    TIOParamsVals p;
    std::unique_ptr<TIEMask> mask;
    int32_t frames = 0;
    ASSERT_TRUE(ReadFrame(FDir.file(std::string(name) + ".gif"), 0, b, p, mask, frames));
    EXPECT_EQ(frames, 1);
    ExpectPixelsEqualPnm(&b, FDir.file(std::string(name) + ".ppm"));
    if (std::string(name) == "trans") {
      ASSERT_TRUE(mask);
      int32_t w = 0, h = 0;
      const std::vector<uint8_t> alpha = PnmRgb(FDir.file("trans_a.pgm"), w, h);
      for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
          ASSERT_EQ(mask->GetPixel(x, y), alpha[size_t(y * w + x) * 3]);
        }
    } else {
      EXPECT_FALSE(mask);
    }
    if (std::string(name) == "comment") {
      ASSERT_EQ(p.GifCommentTexts->GetCount(), 1);
      EXPECT_EQ(p.GifCommentTexts->Get(0), std::string(300, 'x') + "end");
    }
  }
}

// ImageMagick's multi-frame file: every frame by index, the frame count, and
// an index past the end that decodes nothing but still counts.
TEST_F(GifCodecTest, ImageMagickFramesReadByIndex) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP();
  std::string cmd = "cd '" + FDir.path() + "' && convert -delay 20";
  for (int32_t i = 0; i < 3; ++i) {
    TIEBitmap src;
    FillPattern(src, 40 + i, 30, 60 + i * 50, 11u + uint32_t(i));
    // Written as P6 by hand so that the test does not rely on a PNM writer.
    std::string hdr = "P6\n" + std::to_string(src.GetWidth()) + " 30\n255\n";
    std::vector<uint8_t> bytes(hdr.begin(), hdr.end());
    const std::vector<uint8_t> rgb = RgbBytes(&src);
    bytes.insert(bytes.end(), rgb.begin(), rgb.end());
    testsupport::WriteFileBytes(FDir.file("f" + std::to_string(i) + ".ppm"), bytes);
    cmd += " f" + std::to_string(i) + ".ppm";
  }
  ASSERT_EQ(RunCommand(cmd + " -loop 0 multi.gif"), 0);
  for (int32_t i = 0; i < 3; ++i) {
    TIEBitmap b;
    TIOParamsVals p;
    std::unique_ptr<TIEMask> mask;
    int32_t frames = 0;
    ASSERT_TRUE(ReadFrame(FDir.file("multi.gif"), i, b, p, mask, frames));
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(p.GifDelay, 20);
    ExpectPixelsEqualPnm(&b, FDir.file("f" + std::to_string(i) + ".ppm"));
  }
  TIEBitmap b;
  TIOParamsVals p;
  std::unique_ptr<TIEMask> mask;
  int32_t frames = 0;
  EXPECT_TRUE(ReadFrame(FDir.file("multi.gif"), 7, b, p, mask, frames));
  EXPECT_EQ(frames, 3);
  EXPECT_TRUE(b.IsEmpty());
  TFileStream f(FDir.file("multi.gif"), fmOpenRead);
  EXPECT_EQ(GifFrameCount(&f), 3);
  EXPECT_EQ(GifRemoveFrame(FDir.file("multi.gif"), -1, false), 3);
}

// Our files read right in Pillow: colour, interlaced, 1-bit, alpha.
TEST_F(GifCodecTest, OurFilesReadRightInPillow) {
  if (!HavePillow()) GTEST_SKIP() << "Pillow missing";
  struct Case {
    const char* Name;
    int32_t Colours;
    bool Interlaced;
    bool Mono;
    bool Alpha;
  } cases[] = {{"colour", 200, false, false, false},
               {"inter", 256, true, false, false},
               {"mono", 2, false, true, false},
               {"alpha", 100, false, false, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    TIEBitmap src;
    FillPattern(src, 67, 45, c.Colours, 5);
    if (c.Mono) src.ConvertToPixelFormat(ie1g);
    if (c.Alpha) {
      for (int32_t y = 0; y < 45; ++y)
        for (int32_t x = 0; x < 67; ++x) src.SetAlpha(x, y, (x + y) % 5 == 0 ? 0 : 255);
    }
    TIOParamsVals p;
    p.BitsPerSample = c.Mono ? 1 : 8;
    p.GifInterlaced = c.Interlaced;
    testsupport::WriteFileBytes(FDir.file(std::string(c.Name) + ".gif"), Write(src, p));
    ASSERT_TRUE(RunPython(FDir.path(), std::string(R"(
from PIL import Image
im = Image.open(')") + c.Name + R"(.gif')
im.convert('RGB').save('out.ppm')
im.convert('RGBA').getchannel('A').save('out_a.pgm')
)"));
    if (c.Alpha) {
      // The common reader shape gives the transparency back as the alpha plane.
      TFileStream f(FDir.file("alpha.gif"), fmOpenRead);
      TIEBitmap back;
      TIOParamsVals q;
      std::atomic<bool> aborting{false};
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      IEReadGifStream(&f, &back, q, progress, false);
      ASSERT_FALSE(aborting);
      ASSERT_TRUE(back.HasAlphaChannel());
      for (int32_t y = 0; y < 45; ++y)
        for (int32_t x = 0; x < 67; ++x) ASSERT_EQ(back.GetAlpha(x, y), src.GetAlpha(x, y) == 0 ? 0 : 255);
    }
    if (c.Mono) {
      TIEBitmap back;
      TIOParamsVals q;
      std::unique_ptr<TIEMask> mask;
      int32_t frames = 0;
      ASSERT_TRUE(ReadFrame(FDir.file("mono.gif"), 0, back, q, mask, frames));
      EXPECT_EQ(back.GetPixelFormat(), ie1g);
    }
    int32_t w = 0, h = 0;
    const std::vector<uint8_t> got = PnmRgb(FDir.file("out.ppm"), w, h);
    const std::vector<uint8_t> alpha = PnmRgb(FDir.file("out_a.pgm"), w, h);
    const std::vector<uint8_t> want = RgbBytes(&src);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size() / 3; ++i) {
      const bool transparent = c.Alpha && src.GetAlpha(int32_t(i % 67), int32_t(i / 67)) == 0;
      ASSERT_EQ(alpha[i * 3], transparent ? 0 : 255) << i;
      if (!transparent) {
        ASSERT_EQ(std::memcmp(&got[i * 3], &want[i * 3], 3), 0) << "pixel " << i;
      }
    }
  }
}

// Frames appended one by one and the looping extension: ImageMagick sees
// every frame, Pillow the loop, and our reader the frames in order.
TEST_F(GifCodecTest, AppendedFramesAndLoop) {
  if (!testsupport::HaveTool("convert")) GTEST_SKIP();
  const std::string path = FDir.file("anim.gif");
  std::vector<std::unique_ptr<TIEBitmap>> pages;
  {
    TFileStream f(path, fmCreate);
    for (int32_t i = 0; i < 3; ++i) {
      pages.push_back(std::make_unique<TIEBitmap>());
      FillPattern(*pages.back(), 30, 20, 50 + i * 20, 100u + uint32_t(i));
      TIOParamsVals p;
      p.SetImageIndex(i);
      p.GifDelay = 10 * (i + 1);
      std::atomic<bool> aborting{false};
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      f.Seek(0, soBeginning);
      if (i == 0)
        GifWriteStream(&f, pages.back().get(), p, progress);
      else
        EXPECT_EQ(GifAppendFrame(&f, pages.back().get(), p, progress), i + 1);
      ASSERT_FALSE(aborting);
    }
  }
  GifSetLoop(path, 0, 0, 0);
  std::string out;
  ASSERT_EQ(RunCommand("identify -format '%T %wx%h\\n' '" + path + "'", &out), 0);
  EXPECT_EQ(out, "10 30x20\n20 30x20\n30 30x20\n");
  for (int32_t i = 0; i < 3; ++i) {
    const std::string ppm = FDir.file("peer" + std::to_string(i) + ".ppm");
    ASSERT_EQ(RunCommand("convert '" + path + "[" + std::to_string(i) + "]' -depth 8 '" + ppm + "'"), 0);
    ExpectPixelsEqualPnm(pages[size_t(i)].get(), ppm);
  }
  for (int32_t i = 0; i < 3; ++i) {
    TIEBitmap b;
    TIOParamsVals p;
    std::unique_ptr<TIEMask> mask;
    int32_t frames = 0;
    ASSERT_TRUE(ReadFrame(path, i, b, p, mask, frames));
    EXPECT_EQ(frames, 3);
    EXPECT_EQ(RgbBytes(&b), RgbBytes(pages[size_t(i)].get())) << i;
  }
  const std::vector<uint8_t> bytes = testsupport::ReadFileBytes(path);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.find("NETSCAPE2.0"), 13u + 3u * 256u + 3u);
  EXPECT_EQ(text.compare(0, 6, "GIF89a"), 0);
}

// A frame without a local table takes the global table's size; bits per
// sample beyond 8 are clamped; long comments become several sub-blocks.
TEST_F(GifCodecTest, TableSizeClampAndLongComments) {
  TIEBitmap src;
  FillPattern(src, 20, 10, 4, 3);
  TIOParamsVals p;
  p.BitsPerSample = 2;
  TIEBitmap back;
  TIOParamsVals q;
  ASSERT_TRUE(ReadBytes(Write(src, p), back, q));
  EXPECT_EQ(q.BitsPerSample, 2);
  EXPECT_EQ(q.ColorMapCount, 4);
  EXPECT_EQ(RgbBytes(&back), RgbBytes(&src));

  p.BitsPerSample = 24;
  p.GifCommentTexts->Add(std::string(600, 'c'));
  const std::vector<uint8_t> file = Write(src, p);
  EXPECT_EQ(file[10] & 7, 7);  // 256-entry table
  const std::string text(file.begin(), file.end());
  const size_t at = text.find(std::string("\x21\xFE", 2));
  ASSERT_NE(at, std::string::npos);
  EXPECT_EQ(uint8_t(file[at + 2]), 255);
  EXPECT_EQ(uint8_t(file[at + 3 + 255]), 255);
  EXPECT_EQ(uint8_t(file[at + 2 + 2 * 256]), 90);
  TIEBitmap back2;
  TIOParamsVals q2;
  ASSERT_TRUE(ReadBytes(file, back2, q2));
  EXPECT_EQ(RgbBytes(&back2), RgbBytes(&src));
  ASSERT_EQ(q2.GifCommentTexts->GetCount(), 1);
  EXPECT_EQ(q2.GifCommentTexts->Get(0), std::string(600, 'c'));
}

// Hand-made file: 2-entry global table, LZW data with index 3, transparent
// index 7 and background index 9 -> no crash, indices taken as entry 0, no
// transparency, background left alone.
TEST_F(GifCodecTest, IndicesBeyondTheTableAreChecked) {
  std::vector<uint8_t> f = {'G',  'I',  'F', '8', '9', 'a', 4, 0, 1,    0, 0x80, 9, 0, 255, 0, 0, 0, 255,
                            0,  // red, green
                            0x21, 0xF9, 4,   1,   0,   0,   7, 0, 0x2C, 0, 0,    0, 0, 4,   0, 1, 0, 0};
  TMemoryStream lzw;
  const uint8_t idx[4] = {0, 3, 1, 7};
  GifLzwEncode(&lzw, 1, 4, false, idx, 3);
  const uint8_t* d = static_cast<const uint8_t*>(lzw.GetMemory());
  f.insert(f.end(), d, d + lzw.GetSize());
  f.push_back(0x3B);
  TIEBitmap b;
  TIOParamsVals p;
  p.GifBackgroundColor = TRGB{1, 2, 3};
  ASSERT_TRUE(ReadBytes(f, b, p));
  EXPECT_FALSE(p.GifTransparent);
  EXPECT_TRUE(p.GifBackgroundColor == (TRGB{1, 2, 3}));
  EXPECT_EQ(RgbBytes(&b), (std::vector<uint8_t>{255, 0, 0, 255, 0, 0, 0, 255, 0, 255, 0, 0}));
}

// An encoder that lets the table fill up and goes on without a clear code
// (allowed by GIF): the data decode to the right pixels.
TEST_F(GifCodecTest, DeferredClearCodesDecode) {
  const int32_t w = 300, h = 200;
  std::vector<uint8_t> pixels(size_t(w * h));
  std::mt19937 rng(3);
  for (auto& v : pixels) v = uint8_t(rng() % 256);
  // Plain LZW with 8-bit literals that never clears.
  std::vector<uint8_t> data;
  uint32_t bits = 0;
  int32_t count = 0;
  auto put = [&](int32_t code, int32_t width) {
    bits |= uint32_t(code) << count;
    count += width;
    while (count >= 8) {
      data.push_back(uint8_t(bits));
      bits >>= 8;
      count -= 8;
    }
  };
  std::map<std::pair<int32_t, int32_t>, int32_t> table;
  int32_t next = 258, width = 9;
  put(256, width);
  int32_t prefix = pixels[0];
  for (size_t i = 1; i < pixels.size(); ++i) {
    const auto it = table.find({prefix, pixels[i]});
    if (it != table.end()) {
      prefix = it->second;
      continue;
    }
    put(prefix, width);
    if (next < 4096) {
      table[{prefix, pixels[i]}] = next++;
      if (next > (1 << width) && width < 12) ++width;
    }
    prefix = pixels[i];
  }
  put(prefix, width);
  if (next < 4096 && next + 1 > (1 << width) && width < 12) ++width;
  put(257, width);
  if (count) data.push_back(uint8_t(bits));
  ASSERT_GE(next, 4096);
  TMemoryStream s;
  const uint8_t codeSize = 8;
  s.Write(&codeSize, 1);
  for (size_t p = 0; p < data.size(); p += 255) {
    const uint8_t len = uint8_t(std::min<size_t>(255, data.size() - p));
    s.Write(&len, 1);
    s.Write(&data[p], len);
  }
  const uint8_t zero = 0;
  s.Write(&zero, 1);
  s.Seek(0, soBeginning);
  std::vector<uint8_t> out(pixels.size(), 0xEE);
  GifLzwDecode(&s, h, w, false, out.data());
  EXPECT_EQ(s.GetPosition(), s.GetSize());
  EXPECT_EQ(out, pixels);
}

// Round trip through the coder: sizes that exercise the interlace passes,
// table resets and the code-size byte of 1-bit images.
TEST_F(GifCodecTest, LzwRoundTrip) {
  struct Case {
    int32_t W, H, Bits;
    bool Interlaced;
  } cases[] = {{1, 1, 1, false}, {5, 2, 1, true},      {7, 3, 4, true},
               {9, 4, 8, true},  {640, 480, 8, false}, {333, 77, 3, true}};
  std::mt19937 rng(9);
  for (const Case& c : cases) {
    std::vector<uint8_t> px(size_t(c.W * c.H));
    for (size_t i = 0; i < px.size(); ++i) px[i] = uint8_t((i / 17 % 3 ? rng() : i) % (1u << c.Bits));
    TMemoryStream s;
    GifLzwEncode(&s, c.H, c.W, c.Interlaced, px.data(), c.Bits);
    EXPECT_EQ(static_cast<const uint8_t*>(s.GetMemory())[0], c.Bits == 1 ? 2 : c.Bits);
    s.Seek(0, soBeginning);
    std::vector<uint8_t> out(px.size());
    GifLzwDecode(&s, c.H, c.W, c.Interlaced, out.data());
    EXPECT_EQ(s.GetPosition(), s.GetSize());
    EXPECT_EQ(out, px) << c.W << "x" << c.H;
  }
  // Code sizes outside 2..9 are refused with the position unchanged.
  for (uint8_t bad : {uint8_t(1), uint8_t(10)}) {
    TMemoryStream s;
    const uint8_t d[4] = {bad, 1, 0, 0};
    s.Write(d, 4);
    s.Seek(0, soBeginning);
    uint8_t out[4] = {};
    GifLzwDecode(&s, 1, 4, false, out);
    EXPECT_EQ(s.GetPosition(), 0);
  }
}

// Truncated and corrupted files and absurd sizes fail cleanly.
TEST_F(GifCodecTest, DamagedFilesFailCleanly) {
  TIEBitmap src;
  FillPattern(src, 50, 40, 100, 1);
  TIOParamsVals p;
  const std::vector<uint8_t> good = Write(src, p);
  for (size_t len : {size_t(0), size_t(5), size_t(13), size_t(13 + 768), size_t(13 + 768 + 8 + 5)}) {
    TIEBitmap b;
    TIOParamsVals q;
    EXPECT_FALSE(ReadBytes(std::vector<uint8_t>(good.begin(), good.begin() + int64_t(len)), b, q)) << len;
  }
  // A 65535 x 65535 frame over a few bytes of data is refused before any
  // allocation.
  std::vector<uint8_t> huge = good;
  const size_t desc = 13 + 768 + 8;
  ASSERT_EQ(huge[desc], 0x2C);
  huge[desc + 5] = huge[desc + 6] = huge[desc + 7] = huge[desc + 8] = 0xFF;
  TIEBitmap b;
  TIOParamsVals q;
  EXPECT_FALSE(ReadBytes(huge, b, q));
  // Random corruption: never a crash or a hang.
  std::mt19937 rng(5);
  for (int32_t k = 0; k < 300; ++k) {
    std::vector<uint8_t> bad = good;
    for (int32_t j = 0; j < 4; ++j) bad[13 + rng() % (bad.size() - 13)] = uint8_t(rng());
    TIEBitmap bb;
    TIOParamsVals qq;
    ReadBytes(bad, bb, qq);
  }
}

}  // namespace
