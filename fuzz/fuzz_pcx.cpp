// PCX: the image, then a params-only read.
#include "formats/io_params.h"
#include "formats/pcx/pcx_dcx.h"
#include "foundations/image_buffer.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  for (const bool paramsOnly : {false, true}) {
    auto s = fuzzsupport::StreamOf(Data, Size);
    TIEBitmap bitmap;
    TIOParamsVals params;
    fuzzsupport::TProgress progress;
    PcxReadStream(s.get(), &bitmap, params, int64_t(Size), progress.Rec, paramsOnly);
  }
  return 0;
}
