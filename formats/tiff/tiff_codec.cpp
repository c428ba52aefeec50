// The TIFF row of the codec table: single pages for the single-image
// component, documents page by page for the multi-image component.
#include <memory>

#include "formats/codec_table.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"

namespace {

void ReadTiff(const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
  TTiffReadOptions Options;
  Options.ParamsOnly = Request.ParamsOnly;
  TiffReadStream(Request.Bitmap, Request.Stream, Result.PageCount, Request.Params, *Request.Progress,
                 Result.AlphaMask, Options);
  // A file without the wanted page says nothing about it.
  if (Request.ParamsOnly && Result.PageCount <= Request.Params->TiffPageIndex) Request.Progress->SetAborting();
}

// The pages of one file: the chain of directories is walked once, at the
// first page, and serves every page after it (a long document opens in linear
// time). The page count comes with each page read.
class TTiffPageReader : public TIECodecPageReader {
 public:
  int32_t PageCount() override { return -1; }

  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) override {
    TStream* Stream = Request.Stream;
    if (!FScanned) {
      const int64_t At = Stream->GetPosition();
      TiffScanChain(Stream, true, FChain);
      Stream->SetPosition(At);
      FScanned = true;
    }
    TTiffReadOptions Options;
    Options.Chain = &FChain;
    TiffReadStream(Request.Bitmap, Stream, Result.PageCount, Request.Params, *Request.Progress, Result.AlphaMask,
                   Options);
  }

  bool PagesLost() override { return FChain.Cut; }

 private:
  TTiffChain FChain;
  bool FScanned = false;
};

// Pages appended one after another to the file that starts where the writer
// was made.
class TTiffPageWriter : public TIECodecPageWriter {
 public:
  TTiffPageWriter(TStream* Stream, TIEProgressRec& Progress)
      : FStream(Stream), FProgress(Progress), FStart(Stream->GetPosition()) {}

  bool AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) override {
    FStream->SetPosition(FStart);
    TTiffWriteRequest Request;
    Request.Stream = FStream;
    Request.Append = FPages > 0;
    Request.Bitmap = Bitmap;
    Request.Params = &Params;
    Request.Progress = &FProgress;
    Request.AppendPoint = &FEnd;
    const bool Written = TiffWritePage(Request) > 0;
    ++FPages;
    return Written;
  }

 private:
  TStream* FStream;
  TIEProgressRec& FProgress;
  int64_t FStart;
  int32_t FPages = 0;
  TTiffAppendPoint FEnd;
};

TIECodec MakeTiffCodec() {
  TIECodec C;
  C.Format = ioTIFF;
  C.Probe = TiffIsStream;
  C.Read = ReadTiff;
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    return TiffWriteStream(Stream, false, Bitmap, Params, Progress) != 0;
  };
  C.PageCount = TiffPageCount;
  C.OpenPages = [](TStream*) { return std::make_unique<TTiffPageReader>(); };
  C.CreatePages = [](TStream* Stream, int32_t, TIEProgressRec& Progress) {
    return std::make_unique<TTiffPageWriter>(Stream, Progress);
  };
  C.StreamHeader = {{'T', 'I', 'F', 'F'}, true, {0, 0, 0, 0}};
  C.BufferedRead = true;
  return C;
}

const bool Registered = IERegisterCodec(MakeTiffCodec());

}  // namespace
