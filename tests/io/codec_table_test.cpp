// The codec table is the one way a format reaches its codec: a row registered
// for a format that had none makes both I/O components read and write it
// (single images and documents page by page), and taking the row away makes
// the format unavailable again.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "formats/codec_table.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "platform/rtl/streams.h"
#include "views/multi_view.h"

namespace {

// A toy format: one byte per image, its value the width of a 1-row gray image.
class TToyPages : public TIECodecPageReader {
 public:
  int32_t PageCount() override { return 3; }
  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult&) override {
    Request.Bitmap->Allocate(Index + 1, 1, ie8g);
  }
};

class TToyWriter : public TIECodecPageWriter {
 public:
  explicit TToyWriter(TStream* Stream) : FStream(Stream) {}
  bool AddPage(TIEBitmap* Bitmap, TIOParamsVals&) override {
    const uint8_t Width = uint8_t(Bitmap->GetWidth());
    FStream->WriteBuffer(&Width, 1);
    return true;
  }
  void Finish() override { Finished = true; }
  static inline bool Finished = false;

 private:
  TStream* FStream;
};

TIECodec ToyCodec() {
  TIECodec C;
  C.Format = ioWBMP;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    uint8_t Width = 0;
    if (Request.Stream->Read(&Width, 1) != 1 || Width == 0) {
      Request.Progress->SetAborting();
      return;
    }
    Request.Params->Width = Width;
    if (!Request.ParamsOnly) Request.Bitmap->Allocate(Width, 1, ie8g);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals&, TIEProgressRec&) {
    const uint8_t Width = uint8_t(Bitmap->GetWidth());
    Stream->WriteBuffer(&Width, 1);
    return true;
  };
  C.OpenPages = [](TStream*) { return std::make_unique<TToyPages>(); };
  C.CreatePages = [](TStream* Stream, int32_t, TIEProgressRec&) { return std::make_unique<TToyWriter>(Stream); };
  return C;
}

// Puts the registry in step with the codec table after a change of it.
void RebuildRegistry() {
  IEFreeFormatRegistry();
  IEBuildFormatRegistry();
}

}  // namespace

TEST(CodecTable, ARegisteredRowServesBothComponentsUntilItIsRemoved) {
  ASSERT_EQ(IEFindCodec(ioWBMP), nullptr) << "the toy format must be one without a codec";
  ASSERT_TRUE(IERegisterCodec(ToyCodec()));
  RebuildRegistry();
  EXPECT_TRUE(IEIsReadableFileName("x.wbmp"));

  TIEBitmap Image;
  TFolioIO IO;
  IO.AttachBitmap(&Image);
  TMemoryStream In;
  const uint8_t Seven = 7;
  In.WriteBuffer(&Seven, 1);
  In.SetPosition(0);
  IO.LoadFromStreamFormat(&In, ioWBMP);
  EXPECT_FALSE(IO.GetAborting());
  EXPECT_EQ(Image.GetWidth(), 7);
  TMemoryStream Out;
  IO.SaveToStream(&Out, ioWBMP);
  EXPECT_FALSE(IO.GetAborting());
  EXPECT_EQ(Out.GetSize(), 1);

  TFolioMView View(nullptr);
  TFolioMIO Pages(nullptr);
  Pages.SetAttachedMView(&View);
  In.SetPosition(0);
  Pages.LoadPagesStream(&In, ioWBMP);
  EXPECT_FALSE(Pages.GetAborting());
  ASSERT_EQ(View.GetImageCount(), 3);
  TMemoryStream Document;
  Pages.SavePagesStream(&Document, ioWBMP, false);
  EXPECT_FALSE(Pages.GetAborting());
  EXPECT_EQ(Document.GetSize(), 3);
  EXPECT_TRUE(TToyWriter::Finished);

  IEUnregisterCodec(ioWBMP);
  RebuildRegistry();
  EXPECT_FALSE(IEIsReadableFileName("x.wbmp"));
  In.SetPosition(0);
  IO.LoadFromStreamFormat(&In, ioWBMP);
  EXPECT_TRUE(IO.GetAborting());
  Pages.LoadPagesStream(&In, ioWBMP);
  EXPECT_TRUE(Pages.GetAborting());
  EXPECT_EQ(View.GetImageCount(), 3);
}

TEST(CodecTable, TheFourCodecsOfThisBuildHaveTheirRows) {
  for (TIEFileFormat Format : {ioTIFF, ioJPEG, ioPCX, ioDCX}) {
    const TIECodec* Codec = IEFindCodec(Format);
    ASSERT_NE(Codec, nullptr) << Format;
    EXPECT_TRUE(Codec->Read && Codec->Write) << Format;
  }
  // Formats with pages carry their page procedures.
  for (TIEFileFormat Format : {ioTIFF, ioDCX}) {
    EXPECT_TRUE(IEFindCodec(Format)->PageCount && IEFindCodec(Format)->OpenPages && IEFindCodec(Format)->CreatePages)
        << Format;
  }
}
