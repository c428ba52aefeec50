// The single-image component saves and loads PNM, WBMP, PNG, Targa and icons
// through their codec rows, transparency included, finds each format with a
// signature by a stream's content, and the multi-image component reads the images of an
// icon file as pages.
#include <gtest/gtest.h>

#include "formats/codec_table.h"
#include "io/folio_io.h"
#include "io/multi_io.h"
#include "support/raster_codec_helpers.h"
#include "views/multi_view.h"

namespace {

using namespace rastertest;

// 32 x 32 colours, the left quarter transparent.
std::unique_ptr<TIEBitmap> Picture() {
  auto pic = ColourPicture(32, 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) pic->SetAlpha(x, y, x < 8 ? 0 : 255);
  return pic;
}

TEST(RasterCodecRows, FolioIOSavesAndLoadsEachFormat) {
  struct Case {
    TIEFileFormat Format;
    bool KeepsColour;
    bool KeepsAlpha;
    // WBMP has no signature to be told by.
    bool Detectable;
  } cases[] = {{ioPXM, true, false, true},
               {ioPNG, true, true, true},
               {ioTGA, true, true, true},
               {ioICO, true, true, true},
               {ioWBMP, false, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Format);
    auto pic = Picture();
    TIEBitmap Image;
    Image.Assign(pic.get());
    TFolioIO Out;
    Out.AttachBitmap(&Image);
    Out.GetParams()->IcoWriteSizes[0] = TSize{32, 32};
    Out.GetParams()->IcoWriteBitDepths[0] = 32;
    TMemoryStream Stream;
    Out.SaveToStream(&Stream, c.Format);
    ASSERT_FALSE(Out.GetAborting());
    ASSERT_GT(Stream.GetSize(), 0);
    // The caller's image is left as it was.
    EXPECT_EQ(Rgb(&Image), Rgb(pic.get()));

    TIEBitmap Back;
    TFolioIO In;
    In.AttachBitmap(&Back);
    Stream.SetPosition(0);
    In.LoadFromStreamFormat(&Stream, c.Format);
    ASSERT_FALSE(In.GetAborting());
    EXPECT_EQ(In.GetParams()->FileFormat, c.Format);
    ASSERT_EQ(Back.GetWidth(), 32);
    ASSERT_EQ(Back.GetHeight(), 32);
    if (c.KeepsColour) {
      EXPECT_EQ(Rgb(&Back), Rgb(pic.get()));
    }
    EXPECT_EQ(Alpha(&Back), c.KeepsAlpha ? Alpha(pic.get()) : Bytes(32 * 32, 255));

    // Found by its content as well.
    if (!c.Detectable) continue;
    TIEBitmap Detected;
    TFolioIO Any;
    Any.AttachBitmap(&Detected);
    Stream.SetPosition(0);
    Any.LoadFromStream(&Stream);
    ASSERT_FALSE(Any.GetAborting());
    EXPECT_EQ(Any.GetParams()->FileFormat, c.Format);
    EXPECT_EQ(Rgb(&Detected), Rgb(&Back));
  }
}

TEST(RasterCodecRows, IconImagesLoadAsPagesAndByIndex) {
  auto pic = Picture();
  TIEBitmap Image;
  Image.Assign(pic.get());
  TFolioIO Out;
  Out.AttachBitmap(&Image);
  Out.GetParams()->IcoWriteSizes[0] = TSize{32, 32};
  Out.GetParams()->IcoWriteBitDepths[0] = 32;
  Out.GetParams()->IcoWriteSizes[1] = TSize{16, 16};
  Out.GetParams()->IcoWriteBitDepths[1] = 8;
  TMemoryStream Stream;
  Out.SaveToStream(&Stream, ioICO);
  ASSERT_FALSE(Out.GetAborting());

  TFolioMView View(nullptr);
  TFolioMIO Pages(nullptr);
  Pages.SetAttachedMView(&View);
  Stream.SetPosition(0);
  Pages.LoadIcoStream(&Stream);
  EXPECT_FALSE(Pages.GetAborting());
  ASSERT_EQ(View.GetImageCount(), 2);
  EXPECT_EQ(View.GetIEBitmap(0)->GetWidth(), 32);
  EXPECT_EQ(Rgb(View.GetIEBitmap(0)), Rgb(pic.get()));
  EXPECT_EQ(View.GetIEBitmap(1)->GetWidth(), 16);

  // The single-image component picks an entry by its index.
  TIEBitmap Second;
  TFolioIO In;
  In.AttachBitmap(&Second);
  In.GetParams()->IcoImageIndex = 1;
  Stream.SetPosition(0);
  In.LoadFromStreamFormat(&Stream, ioICO);
  ASSERT_FALSE(In.GetAborting());
  EXPECT_EQ(Second.GetWidth(), 16);
  EXPECT_EQ(Alpha(&Second), Alpha(View.GetIEBitmap(1)));
}

}  // namespace
