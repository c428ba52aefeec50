// The PDF row of the codec table: a writer only. A document is begun with the
// first page's options and ended with them, each page written as it comes.
#include <memory>

#include "formats/codec_table.h"
#include "formats/pdf/pdf_writer.h"
#include "platform/rtl/streams.h"

namespace {

class TPdfPageWriter : public TIECodecPageWriter {
 public:
  TPdfPageWriter(TStream* Stream, TIEProgressRec& Progress) : FStream(Stream), FProgress(Progress) {}

  bool AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) override {
    if (!FState) {
      FState = PdfBeginDocument(FStream);
      FFirstParams = &Params;
    }
    const int32_t Before = PdfPageCount(FState.get());
    PdfAddPage(FState.get(), Bitmap, Params, FProgress);
    return PdfPageCount(FState.get()) > Before;
  }

  void Finish() override {
    if (FState) PdfEndDocument(FState, *FFirstParams);
  }

 private:
  TStream* FStream;
  TIEProgressRec& FProgress;
  std::unique_ptr<TIEPdfDocState> FState;
  TIOParamsVals* FFirstParams = nullptr;
};

TIECodec MakePdfCodec() {
  TIECodec C;
  C.Format = ioPDF;
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    PdfWriteStream(Stream, Bitmap, Params, Progress);
    return !Progress.IsAborting();
  };
  C.CreatePages = [](TStream* Stream, int32_t, TIEProgressRec& Progress) {
    return std::make_unique<TPdfPageWriter>(Stream, Progress);
  };
  return C;
}

const bool Registered = IERegisterCodec(MakePdfCodec());

}  // namespace
