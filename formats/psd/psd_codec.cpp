#include "formats/psd/psd_codec.h"

#include "formats/codec_table.h"

void IEReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly) {
  PsdReadStream(Stream, ParamsOnly ? nullptr : Bitmap, Params, Progress, false, nullptr);
}

void IEWritePSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
  PsdWriteStream(Stream, Params, Progress, Bitmap, nullptr);
}

namespace {

// The Photoshop row: the merged image only; the layer list is the view's
// business and goes through PsdReadStream/PsdWriteStream directly.
TIECodec MakePsdCodec() {
  TIECodec C;
  C.Format = ioPSD;
  C.Probe = IETryPSD;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    IEReadPSDStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Request.ParamsOnly);
  };
  // The writer keeps every pixel format it can write and refuses the rest
  // itself: no conversion before it.
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    IEWritePSDStream(Stream, Bitmap, Params, Progress);
    return !Progress.IsAborting();
  };
  return C;
}

const bool Registered = IERegisterCodec(MakePsdCodec());

}  // namespace
