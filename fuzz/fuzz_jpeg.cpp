// JPEG: the whole image with its metadata, then a params-only read.
#include "formats/io_params.h"
#include "formats/jpeg/jpeg_codec.h"
#include "foundations/image_buffer.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  auto s = fuzzsupport::StreamOf(Data, Size);
  {
    TIEBitmap bitmap;
    TIOParamsVals params;
    fuzzsupport::TProgress progress;
    JpegReadStream(s.get(), &bitmap, params, progress.Rec,
                   {.ReadMetadata = true, .ReadIccChunks = true, .NativePixelFormat = Size % 2 == 0});
  }
  s->SetPosition(0);
  TIEBitmap bitmap;
  TIOParamsVals params;
  fuzzsupport::TProgress progress;
  JpegReadStream(s.get(), &bitmap, params, progress.Rec, {.ParamsOnly = true});
  return 0;
}
