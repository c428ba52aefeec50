// The JPEG row of the codec table.
#include "formats/codec_table.h"
#include "formats/jpeg/jpeg_codec.h"
#include "formats/jpeg/jpeg_metadata.h"
#include "platform/rtl/streams.h"

namespace {

TIECodec MakeJpegCodec() {
  TIECodec C;
  C.Format = ioJPEG;
  C.Probe = [](TStream* Stream) { return JpegIsStream(Stream, true) >= 0; };
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult&) {
    TJpegReadRequest Jpeg;
    Jpeg.ParamsOnly = Request.ParamsOnly;
    Jpeg.ReadMetadata = true;
    // The colour profile is applied to pixels only.
    Jpeg.ApplyIcc = !Request.ParamsOnly;
    Jpeg.ReadIccChunks = true;
    Jpeg.NativePixelFormat = Request.Params->NativePixelFormat;
    JpegReadStream(Request.Stream, Request.Bitmap, *Request.Params, *Request.Progress, Jpeg);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    IERebuildJpegMarkers(Params);
    JpegWriteStream(Stream, Bitmap, Params, Progress);
    return true;
  };
  // A "JFIF" stream header is skipped wherever one is found.
  C.StreamHeader = {{'J', 'F', 'I', 'F'}, false, {0, 0, 0, 0}};
  C.BufferedRead = true;
  C.SaveAs24 = true;
  return C;
}

const bool Registered = IERegisterCodec(MakeJpegCodec());

}  // namespace
