// The PostScript row of the codec table: a writer only. A document is begun
// with the first page's options, each page written as it comes.
#include <memory>

#include "formats/codec_table.h"
#include "formats/postscript/ps_writer.h"
#include "platform/rtl/streams.h"

namespace {

class TPsPageWriter : public TIECodecPageWriter {
 public:
  TPsPageWriter(TStream* Stream, TIEProgressRec& Progress) : FStream(Stream), FProgress(Progress) {}

  bool AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) override {
    if (!FState) FState = PsBeginDocument(FStream, Params);
    const int32_t Before = FState->PageCount;
    PsAddPage(FState.get(), FStream, Bitmap, Params, FProgress);
    return FState->PageCount > Before;
  }

  void Finish() override { PsEndDocument(FState, FStream); }

 private:
  TStream* FStream;
  TIEProgressRec& FProgress;
  std::unique_ptr<TIEPsDocState> FState;
};

TIECodec MakePsCodec() {
  TIECodec C;
  C.Format = ioPS;
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    PsWriteStream(Stream, Bitmap, Params, Progress);
    return !Progress.IsAborting();
  };
  C.CreatePages = [](TStream* Stream, int32_t, TIEProgressRec& Progress) {
    return std::make_unique<TPsPageWriter>(Stream, Progress);
  };
  return C;
}

const bool Registered = IERegisterCodec(MakePsCodec());

}  // namespace
