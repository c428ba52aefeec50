// The rows of the GIF, BMP, PDF and PostScript codecs: what each row offers,
// and that every writer refuses an empty bitmap with the abort flag instead
// of writing a file that claims a page.
#include <atomic>
#include <gtest/gtest.h>

#include <memory>

#include "formats/codec_table.h"
#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "platform/rtl/streams.h"

namespace {

TEST(CodecRows, EachRowOffersItsProcedures) {
  struct Case {
    TIEFileFormat Format;
    bool Reads, Pages, ReadsPages;
  } Cases[] = {
      {ioGIF, true, true, true},
      {ioBMP, true, false, false},
      {ioPDF, false, true, false},
      {ioPS, false, true, false},
  };
  for (const Case& C : Cases) {
    SCOPED_TRACE(C.Format);
    const TIECodec* Row = IEFindCodec(C.Format);
    ASSERT_NE(Row, nullptr);
    EXPECT_EQ(static_cast<bool>(Row->Probe), C.Reads);
    EXPECT_EQ(static_cast<bool>(Row->Read), C.Reads);
    EXPECT_TRUE(static_cast<bool>(Row->Write));
    EXPECT_EQ(static_cast<bool>(Row->CreatePages), C.Pages);
    EXPECT_EQ(static_cast<bool>(Row->OpenPages), C.ReadsPages);
    EXPECT_EQ(static_cast<bool>(Row->PageCount), C.ReadsPages);
  }
  // Linking the GIF row is enough for the LZW coder to be there.
  EXPECT_NE(GifLzwDecoderHook, nullptr);
  EXPECT_NE(GifLzwEncoderHook, nullptr);
}

TEST(CodecRows, WritersRefuseAnEmptyBitmap) {
  for (TIEFileFormat Format : {ioPS, ioPDF, ioGIF, ioBMP}) {
    SCOPED_TRACE(Format);
    const TIECodec* Row = IEFindCodec(Format);
    ASSERT_NE(Row, nullptr);
    TIEBitmap Empty;
    TIOParamsVals Params;
    TMemoryStream Out;
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    EXPECT_FALSE(Row->Write(&Out, &Empty, Params, Progress));
    EXPECT_TRUE(Aborting);
    if (Row->CreatePages) {
      Aborting = false;
      TMemoryStream Doc;
      std::unique_ptr<TIECodecPageWriter> Pages = Row->CreatePages(&Doc, 1, Progress);
      EXPECT_FALSE(Pages->AddPage(&Empty, Params));
      Pages->Finish();
      EXPECT_TRUE(Aborting);
    }
  }
}

}  // namespace
