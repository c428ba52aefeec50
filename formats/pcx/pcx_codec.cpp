// The PCX and DCX rows of the codec table. A DCX is a list of PCX pages.
#include <memory>

#include "formats/codec_table.h"
#include "formats/pcx/pcx_dcx.h"
#include "platform/rtl/streams.h"

namespace {

// The pages of one DCX: as many as its table lists; none when the stream is
// not a DCX at all.
class TDcxPageReader : public TIECodecPageReader {
 public:
  explicit TDcxPageReader(TStream* Stream) : FCount(DcxIsStream(Stream) ? DcxPageCount(Stream) : 0) {}

  int32_t PageCount() override { return FCount; }

  void ReadPage(int32_t Index, const TIECodecReadRequest& Request, TIECodecReadResult& Result) override {
    DcxReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, false);
  }

 private:
  int32_t FCount;
};

// Writes the whole document in one pass, one page in memory at a time.
class TDcxDocumentWriter : public TIECodecPageWriter {
 public:
  TDcxDocumentWriter(TStream* Stream, int32_t PageCount, TIEProgressRec& Progress)
      : FWriter(Stream, PageCount, Progress) {}

  // A failure shows in the abort flag of the progress record.
  bool AddPage(TIEBitmap* Bitmap, TIOParamsVals& Params) override {
    FWriter.AddPage(Bitmap, Params);
    return true;
  }
  void Finish() override { FWriter.Finish(); }

 private:
  TDcxPageWriter FWriter;
};

TIECodec MakePcxCodec() {
  TIECodec C;
  C.Format = ioPCX;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    PcxReadStream(Request.Stream, Request.Bitmap, *Request.Params, Request.DataSize, *Request.Progress,
                  Request.ParamsOnly);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    PcxWriteStream(Stream, Bitmap, Params, Progress);
    return true;
  };
  // "PCX2" with the data length; older streams carry "PCX" and a zero byte.
  C.StreamHeader = {{'P', 'C', 'X', '2'}, true, {'P', 'C', 'X', 0}};
  C.SaveAs24 = true;
  return C;
}

TIECodec MakeDcxCodec() {
  TIECodec C;
  C.Format = ioDCX;
  C.Probe = DcxIsStream;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    DcxReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
  };
  // The image goes in as a new page of the document in the stream.
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    DcxInsertPage(Stream, Bitmap, Params, Progress);
    return true;
  };
  C.PageCount = DcxPageCount;
  C.OpenPages = [](TStream* Stream) { return std::make_unique<TDcxPageReader>(Stream); };
  C.CreatePages = [](TStream* Stream, int32_t PageCount, TIEProgressRec& Progress) {
    return std::make_unique<TDcxDocumentWriter>(Stream, PageCount, Progress);
  };
  return C;
}

const bool Registered = IERegisterCodec(MakePcxCodec()) && IERegisterCodec(MakeDcxCodec());

}  // namespace
