// Pages with an alpha sample (RGBA and gray + alpha, 8 and 16 bits, chunky
// and planar, associated and unassociated) written by Pillow and ImageMagick
// load here with their alpha beside the picture, and a save here as TIFF
// (uncompressed and LZW) keeps both: libtiff's tiffinfo sees the extra
// sample, and Pillow's and ImageMagick's decodes of our file match the
// peers' decodes of the source pixel for pixel.
#include <atomic>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "formats/io_params.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"
#include "formats/codec_test_helpers.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using testsupport::RunCommand;
using testsupport::TempDir;

// Loads page 0 the way the application does: the picture in Bitmap, the
// alpha mask copied into its alpha channel.
bool LoadWithAlpha(const std::string& Path, TIEBitmap& Bitmap, TIOParamsVals& Params) {
  const Bytes file = testsupport::ReadFileBytes(Path);
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  s.SetPosition(0);
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  std::unique_ptr<TIEMask> mask;
  TTiffReadOptions options;
  options.RelativeOffsets = false;
  int32_t pages = 0;
  Bitmap.RemoveAlphaChannel(false);
  TiffReadStream(&Bitmap, &s, pages, &Params, progress, mask, options);
  if (aborting) return false;
  if (mask) Bitmap.GetAlphaChannel()->CopyFromTIEMask(mask.get());
  return true;
}

bool SaveTiff(const std::string& Path, TIEBitmap& Bitmap, TIOParamsVals& Params) {
  TMemoryStream s;
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  if (TiffWriteStream(&s, false, &Bitmap, Params, progress) != 1 || aborting) return false;
  const auto* p = static_cast<const uint8_t*>(s.GetMemory());
  testsupport::WriteFileBytes(Path, Bytes(p, p + s.GetSize()));
  return true;
}

// A peer's decode of a file as 8-bit samples, alpha last: Pillow for 8-bit
// files, ImageMagick for 16-bit ones (Pillow keeps no 16-bit alpha modes).
Bytes PeerPixels(const std::string& Dir, const std::string& File, bool UseMagick) {
  const std::string out = File + (UseMagick ? ".im.raw" : ".pil.raw");
  int rc;
  if (UseMagick) {
    rc = RunCommand("cd '" + Dir + "' && convert '" + File + "' -depth 8 'rgba:" + out + "'");
  } else {
    rc = codectest::RunPython(Dir, "from PIL import Image\nim = Image.open('" + File + "')\n" +
                                       "open('" + out + "', 'wb').write(im.convert('RGBA').tobytes())\n")
             ? 0
             : 1;
  }
  if (rc != 0) return {};
  return testsupport::ReadFileBytes(Dir + "/" + out);
}

struct Source {
  const char* Name;
  const char* Make;  // the shell command that writes it, in the scratch folder
  bool Gray;
  int32_t Bits;
  bool Associated;
};

const Source kSources[] = {
    {"rgba8.tif", "/usr/bin/python3 make.py rgba8.tif RGBA", false, 8, false},
    {"la8.tif", "/usr/bin/python3 make.py la8.tif LA", true, 8, false},
    {"rgba8-planar.tif", "convert src.png -interlace plane -compress none rgba8-planar.tif", false, 8, false},
    {"rgba8-assoc.tif", "convert src.png -define tiff:alpha=associated -compress none rgba8-assoc.tif", false, 8,
     true},
    {"rgba16.tif", "convert src.png -depth 16 -compress none rgba16.tif", false, 16, false},
    {"ga16.tif", "convert src.png -colorspace gray -depth 16 -compress none ga16.tif", true, 16, false},
};

const char kMakeScript[] = R"(import sys
from PIL import Image
w, h = 37, 21
im = Image.new('RGBA', (w, h))
px = im.load()
for y in range(h):
    for x in range(w):
        px[x, y] = ((x * 7) % 256, (y * 12) % 256, (x * y * 3) % 256, (x * 11 + y * 5) % 256 if (x + y) % 9 else 255)
if len(sys.argv) > 2:
    im = im.convert(sys.argv[2]) if sys.argv[2] != 'RGBA' else im
    im.save(sys.argv[1])
else:
    im.save('src.png')
)";

TEST(TiffAlphaSave, PagesWithAlphaKeepItThroughASave) {
  if (!codectest::HavePillow() || !testsupport::HaveTool("convert") || !testsupport::HaveTool("tiffinfo"))
    GTEST_SKIP() << "Pillow, ImageMagick or libtiff's tools missing";
  TempDir dir;
  testsupport::WriteFileBytes(dir.file("make.py"), Bytes(kMakeScript, kMakeScript + sizeof(kMakeScript) - 1));
  ASSERT_EQ(RunCommand("cd '" + dir.path() + "' && /usr/bin/python3 make.py"), 0);
  for (const Source& src : kSources) {
    ASSERT_EQ(RunCommand("cd '" + dir.path() + "' && " + src.Make), 0) << src.Name;
    // Pages loaded as 24-bit colour and in their own pixel format (gray and
    // alpha come as colour either way), and gray pages of 8 and 16 bits or
    // colour pages of 16 bits made of them with the alpha kept.
    for (const int32_t variant : {0, 1, 2, 3, 4}) {
      const bool grayVariant = variant == 2 || variant == 3;
      if (variant >= 2 && grayVariant != src.Gray) continue;
      const bool native = variant == 1;
      SCOPED_TRACE(std::string(src.Name) + " variant " + std::to_string(variant));
      TIEBitmap page;
      TIOParamsVals params;
      params.NativePixelFormat = native;
      ASSERT_TRUE(LoadWithAlpha(dir.file(src.Name), page, params));
      ASSERT_TRUE(page.HasAlphaChannel());
      const TIEPixelFormat loaded = page.GetPixelFormat();
      if (variant >= 2) {
        page.SetPixelFormat(variant == 2 ? ie8g : variant == 3 ? ie16g : ieRGB48);
        ASSERT_TRUE(page.HasAlphaChannel());
      }
      const TIEPixelFormat format = page.GetPixelFormat();
      const bool grayPage = format == ie8g || format == ie16g;
      EXPECT_EQ(grayPage, grayVariant);
      if (variant == 4) {
        EXPECT_EQ(format, ieRGB48);
      }
      // Pillow keeps no 16-bit alpha modes: ImageMagick decodes those.
      const bool magick = src.Bits == 16 || format == ie16g || format == ieRGB48;
      const Bytes want = PeerPixels(dir.path(), src.Name, magick);
      ASSERT_FALSE(want.empty());
      // A 16-bit source read into 8 bits keeps the top byte, where the peer
      // rounds: one step apart at most.
      const int32_t depthTolerance = src.Bits == 16 && loaded != ie16g && loaded != ieRGB48 ? 1 : 0;
      for (const TIETIFFCompression compression : {ietcNone, ietcLZW}) {
        const std::string ours =
            std::string("ours-") + std::to_string(variant) + "-" + (compression == ietcLZW ? "lzw-" : "none-") + src.Name;
        SCOPED_TRACE(ours);
        TIOParamsVals saveParams;
        saveParams.Assign(&params);
        saveParams.TiffCompression = compression;
        ASSERT_TRUE(SaveTiff(dir.file(ours), page, saveParams));
        std::string info;
        ASSERT_EQ(RunCommand("tiffinfo '" + dir.file(ours) + "' 2>&1", &info), 0);
        EXPECT_NE(info.find(grayPage ? "Samples/Pixel: 2" : "Samples/Pixel: 4"), std::string::npos) << info;
        EXPECT_NE(info.find("Extra Samples: 1<unassoc-alpha>"), std::string::npos) << info;
        const Bytes got = PeerPixels(dir.path(), ours, magick);
        ASSERT_EQ(got.size(), want.size());
        size_t bad = 0, first = want.size();
        for (size_t i = 0; i < want.size(); i += 4) {
          const int32_t a = want[i + 3];
          for (size_t c = 0; c < 4; ++c) {
            // Premultiplied colours divided back differ by the rounding of
            // the division at most; colours under no alpha carry nothing.
            int32_t tol = depthTolerance;
            if (c < 3 && src.Associated) tol = a == 0 ? 255 : (255 + a - 1) / a;
            if (std::abs(int32_t(got[i + c]) - int32_t(want[i + c])) > tol) {
              ++bad;
              first = std::min(first, i / 4);
            }
          }
        }
        EXPECT_EQ(bad, 0u) << "first difference at pixel " << first << ": "
                           << (first < want.size() / 4 ? int(got[first * 4]) : -1) << " vs "
                           << (first < want.size() / 4 ? int(want[first * 4]) : -1);
      }
    }
  }
}

}  // namespace
