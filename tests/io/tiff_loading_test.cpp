// TIFF pages through the single- and multi-image components: pages with an
// alpha sample load their picture with the alpha beside it, and a load that
// gets no image reports the failure through the abort flag.
#include <gtest/gtest.h>

#include <string>

#include "io/folio_io.h"
#include "io/multi_io.h"
#include "support/raster_codec_helpers.h"
#include "views/multi_view.h"

namespace {

using namespace rastertest;

// A 40 x 24 PAM picture whose alpha runs from 0 on the left to full on the
// right, in Depth channels (2 gray + alpha, 4 RGBA) of 8 or 16 bits.
Bytes AlphaPam(int32_t Depth, int32_t Bits) {
  const std::string head = "P7\nWIDTH 40\nHEIGHT 24\nDEPTH " + std::to_string(Depth) + "\nMAXVAL " +
                           (Bits == 8 ? "255" : "65535") + "\nTUPLTYPE " +
                           (Depth == 2 ? "GRAYSCALE_ALPHA" : "RGB_ALPHA") + "\nENDHDR\n";
  Bytes out(head.begin(), head.end());
  for (int32_t y = 0; y < 24; ++y)
    for (int32_t x = 0; x < 40; ++x)
      for (int32_t c = 0; c < Depth; ++c) {
        const int32_t v = c == Depth - 1 ? x * 255 / 39 : (x * 6 + y * 9 + c * 80) & 255;
        out.push_back(uint8_t(v));
        if (Bits == 16) out.push_back(uint8_t(v));  // v * 257: the high byte is v
      }
  return out;
}

TEST(TiffLoading, AlphaPagesLoadPictureAndAlphaThroughBothComponents) {
  if (!HaveTool("convert")) GTEST_SKIP() << "ImageMagick missing";
  TempDir dir;
  for (const int32_t depth : {2, 4}) {
    for (const int32_t bits : {8, 16}) {
      for (const char* layout : {"-compress LZW", "-interlace plane -compress Zip"}) {
        const std::string what = std::to_string(depth) + " channels, " + std::to_string(bits) + " bits " + layout;
        WriteFileBytes(dir.file("src.pam"), AlphaPam(depth, bits));
        ASSERT_EQ(RunCommand("convert " + dir.file("src.pam") + " -define tiff:alpha=unassociated " + layout + " " +
                             dir.file("a.tif")),
                  0)
            << what;
        // The picture and the alpha as the source holds them.
        TIEBitmap want;
        want.Allocate(40, 24, ie24RGB);
        for (int32_t y = 0; y < 24; ++y)
          for (int32_t x = 0; x < 40; ++x) {
            const auto v = [&](int32_t c) { return uint8_t((x * 6 + y * 9 + (depth == 2 ? 0 : c) * 80) & 255); };
            uint8_t* px = want.GetScanline(y) + 3 * x;  // blue, green, red
            px[0] = v(2), px[1] = v(1), px[2] = v(0);
            want.SetAlpha(x, y, uint8_t(x * 255 / 39));
          }

        TIEBitmap single;
        TFolioIO io;
        io.AttachBitmap(&single);
        io.LoadFromFile(dir.file("a.tif"));
        ASSERT_FALSE(io.GetAborting()) << what;
        EXPECT_EQ(Rgb(&single), Rgb(&want)) << what;
        EXPECT_EQ(Alpha(&single), Alpha(&want)) << what;

        TFolioMView view(nullptr);
        TFolioMIO pages(nullptr);
        pages.SetAttachedMView(&view);
        pages.LoadTiffFile(dir.file("a.tif"));
        ASSERT_FALSE(pages.GetAborting()) << what;
        ASSERT_EQ(view.GetImageCount(), 1) << what;
        EXPECT_EQ(Rgb(view.GetIEBitmap(0)), Rgb(&want)) << what;
        EXPECT_EQ(Alpha(view.GetIEBitmap(0)), Alpha(&want)) << what;
      }
    }
  }
}

TEST(TiffLoading, LoadsThatGetNoImageSetTheAbortFlag) {
  TempDir dir;
  struct Case {
    const char* Name;
    Bytes File;
  } cases[] = {
      {"BigTIFF", {'I', 'I', 43, 0, 8, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 3, 0, 1, 0}},
      {"first directory beyond the end", {'I', 'I', 42, 0, 0xF0, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}},
      // 100000 x 100000 gray samples from 16 bytes: no allocation can be justified.
      {"unallocatable size",
       {'I', 'I', 42, 0, 8,   0, 0, 0, 7, 0,                                   //
        0,   1,   4,  0, 1,   0, 0, 0, 0xA0, 0x86, 1, 0,                      // width 100000
        1,   1,   4,  0, 1,   0, 0, 0, 0xA0, 0x86, 1, 0,                      // height 100000
        2,   1,   3,  0, 1,   0, 0, 0, 8,    0,    0, 0,                      // 8 bits
        3,   1,   3,  0, 1,   0, 0, 0, 1,    0,    0, 0,                      // uncompressed
        6,   1,   3,  0, 1,   0, 0, 0, 1,    0,    0, 0,                      // black is zero
        0x11, 1,  4,  0, 1,   0, 0, 0, 0,    0,    0, 0,                      // strip at 0
        0x17, 1,  4,  0, 1,   0, 0, 0, 16,   0,    0, 0,                      // 16 bytes
        0,   0,   0,  0}},
  };
  for (const Case& c : cases) {
    const std::string path = dir.file("bad.tif");
    WriteFileBytes(path, c.File);
    TIEBitmap single;
    TFolioIO io;
    io.AttachBitmap(&single);
    io.LoadFromFile(path);
    EXPECT_TRUE(io.GetAborting()) << c.Name;

    TFolioMView view(nullptr);
    TFolioMIO pages(nullptr);
    pages.SetAttachedMView(&view);
    pages.LoadTiffFile(path);
    EXPECT_TRUE(pages.GetAborting()) << c.Name;
    EXPECT_EQ(view.GetImageCount(), 0) << c.Name;
  }
}

}  // namespace
