// The BMP row of the codec table.
#include <cstdint>
#include <limits>

#include "formats/bmp/bmp_reader.h"
#include "formats/bmp/bmp_writer.h"
#include "formats/codec_table.h"
#include "foundations/selection_mask.h"
#include "platform/rtl/streams.h"

namespace {

TIECodec MakeBmpCodec() {
  TIECodec C;
  C.Format = ioBMP;
  C.Probe = IETryBmp;
  C.Read = [](const TIECodecReadRequest& Request, TIECodecReadResult& Result) {
    // A size beyond what the file header can state says nothing: the header's
    // own size then holds.
    const int32_t DataSize = Request.DataSize > 0 && Request.DataSize <= std::numeric_limits<int32_t>::max()
                                 ? static_cast<int32_t>(Request.DataSize)
                                 : 0;
    BmpReadStream(Request.Stream, Request.ParamsOnly ? nullptr : Request.Bitmap, DataSize, *Request.Params,
                  *Request.Progress, Request.ParamsOnly, false, Result.AlphaMask,
                  !Request.Params->BmpAlphaChannel);
  };
  C.Write = [](TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress) {
    BmpWriteStream(Stream, Bitmap, Params, Progress, Params.BmpAlphaChannel);
    return !Progress.IsAborting();
  };
  return C;
}

const bool Registered = IERegisterCodec(MakeBmpCodec());

}  // namespace
