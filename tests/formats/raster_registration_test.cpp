// The codec table rows of PNM, WBMP, PNG, Targa, icons and cursors probe,
// read and write through their codecs; the transparency travels as the
// bitmap's alpha plane on the way out and comes back as the alpha plane (PNG)
// or as the read result's mask (Targa, icons).
#include <gtest/gtest.h>

#include "formats/codec_table.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

// Runs the row's reader over File; the mask of the result lands in Mask.
std::unique_ptr<ReadOut> ReadRow(const TIECodec& Row, const Bytes& File, std::unique_ptr<TIEMask>& Mask) {
  return ReadWith(
      [&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
        TIECodecReadRequest Request;
        Request.Stream = S;
        Request.Bitmap = B;
        Request.Params = &P;
        Request.Progress = &R;
        Request.DataSize = S->GetSize();
        TIECodecReadResult Result;
        Row.Read(Request, Result);
        Mask = std::move(Result.AlphaMask);
      },
      File);
}

Bytes WriteRow(const TIECodec& Row, TIEBitmap* B, TIOParamsVals& P) {
  return WriteWith([&](TStream* S, TIEBitmap* Bm, TIOParamsVals& Pv,
                       TIEProgressRec& R) { EXPECT_TRUE(Row.Write(S, Bm, Pv, R)); },
                   B, P);
}

TEST(RasterRegistration, RowsReadWhatTheyWrite) {
  auto pic = ColourPicture(32, 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) pic->SetAlpha(x, y, x < 8 ? 0 : 255);
  enum TAlphaWay { None, Plane, Mask };
  struct Case {
    TIEFileFormat Id;
    TAlphaWay Alpha;
  } cases[] = {{ioPXM, None}, {ioPNG, Plane}, {ioTGA, Mask}, {ioICO, Mask}, {ioWBMP, None}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Id);
    const TIECodec* row = IEFindCodec(c.Id);
    ASSERT_NE(row, nullptr);
    ASSERT_TRUE(row->Read && row->Write && row->Probe);
    TIOParamsVals p;
    p.IcoWriteSizes[0] = TSize{32, 32};
    p.IcoWriteBitDepths[0] = 32;
    const Bytes file = WriteRow(*row, pic.get(), p);
    TMemoryStream s;
    s.WriteBuffer(file.data(), int64_t(file.size()));
    s.SetPosition(0);
    EXPECT_TRUE(row->Probe(&s));
    EXPECT_EQ(s.GetPosition(), 0);
    std::unique_ptr<TIEMask> mask;
    auto back = ReadRow(*row, file, mask);
    ASSERT_FALSE(back->Aborting);
    EXPECT_EQ(back->Bitmap->GetWidth(), 32);
    if (c.Id != ioWBMP) {
      EXPECT_EQ(Rgb(back->Bitmap.get()), Rgb(pic.get()));
    }
    switch (c.Alpha) {
      case None:
        EXPECT_EQ(mask, nullptr);
        EXPECT_EQ(Alpha(back->Bitmap.get()), Bytes(32 * 32, 255));
        break;
      case Plane:
        EXPECT_EQ(mask, nullptr);
        EXPECT_EQ(Alpha(back->Bitmap.get()), Alpha(pic.get()));
        break;
      case Mask:
        ASSERT_NE(mask, nullptr);
        EXPECT_EQ(MaskBytes(mask.get()), Alpha(pic.get()));
        break;
    }
  }
}

// The cursor row reads (cursors are written by no one here); a cursor file
// is an icon directory of type 2, made here from an icon the row wrote.
TEST(RasterRegistration, CursorRowReadsAndProbesOnlyCursors) {
  const TIECodec* ico = IEFindCodec(ioICO);
  const TIECodec* cur = IEFindCodec(ioCUR);
  ASSERT_TRUE(ico != nullptr && cur != nullptr);
  EXPECT_TRUE(cur->Read && cur->Probe);
  EXPECT_FALSE(cur->Write);
  auto pic = ColourPicture(16, 16);
  TIOParamsVals p;
  p.IcoWriteSizes[0] = TSize{16, 16};
  p.IcoWriteBitDepths[0] = 24;
  Bytes file = WriteRow(*ico, pic.get(), p);
  ASSERT_GT(file.size(), 6u);
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  s.SetPosition(0);
  EXPECT_FALSE(cur->Probe(&s));
  EXPECT_EQ(ico->PageCount(&s), 1);
  file[2] = 2;
  std::unique_ptr<TIEMask> mask;
  auto back = ReadRow(*cur, file, mask);
  ASSERT_FALSE(back->Aborting);
  EXPECT_EQ(Rgb(back->Bitmap.get()), Rgb(pic.get()));
}

}  // namespace
