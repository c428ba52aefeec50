// The registration functions give the registry rows procedures that read
// and write through the codecs, alpha planes included.
#include <gtest/gtest.h>

#include "formats/ico/ico_reader.h"
#include "formats/png/png_codec.h"
#include "formats/pnm/pnm_codec.h"
#include "formats/pnm/wbmp_codec.h"
#include "formats/tga/tga_codec.h"
#include "io/format_registry.h"
#include "raster_codec_helpers.h"

namespace {

using namespace rastertest;

TEST(RasterRegistration, RowsReadWhatTheyWrite) {
  IERegisterPnmCodec();
  IERegisterWbmpCodec();
  IERegisterPngCodec();
  IERegisterTgaCodec();
  IERegisterIcoCodec();
  auto pic = ColourPicture(32, 32);
  for (int32_t y = 0; y < 32; ++y)
    for (int32_t x = 0; x < 32; ++x) pic->SetAlpha(x, y, x < 8 ? 0 : 255);
  struct Case {
    TIEFileFormat Id;
    bool Alpha;
  } cases[] = {{ioPXM, false}, {ioPNG, true}, {ioTGA, true}, {ioICO, true}, {ioWBMP, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Id);
    TIEFileFormatInfo* row = IEFindFormatById(c.Id);
    ASSERT_NE(row, nullptr);
    ASSERT_TRUE(row->ReadProc && row->WriteProc && row->ProbeProc);
    TIOParamsVals p;
    p.IcoWriteSizes[0] = TSize{32, 32};
    p.IcoWriteBitDepths[0] = 32;
    const Bytes file = WriteWith(row->WriteProc, pic.get(), p);
    TMemoryStream s;
    s.WriteBuffer(file.data(), int64_t(file.size()));
    s.SetPosition(0);
    EXPECT_TRUE(row->ProbeProc(&s, c.Id));
    EXPECT_EQ(s.GetPosition(), 0);
    auto back = ReadWith([&](TStream* S, TIEBitmap* B, TIOParamsVals& P, TIEProgressRec& R) {
      row->ReadProc(S, B, P, R, false);
    }, file);
    ASSERT_FALSE(back->Aborting);
    EXPECT_EQ(back->Bitmap->GetWidth(), 32);
    if (c.Id != ioWBMP) {
      EXPECT_EQ(Rgb(back->Bitmap.get()), Rgb(pic.get()));
    }
    EXPECT_EQ(Alpha(back->Bitmap.get()), c.Alpha ? Alpha(pic.get()) : Bytes(32 * 32, 255));
  }
}

}  // namespace
