// BMP: the image with its alpha, then a params-only read.
#include <memory>

#include "formats/bmp/bmp_reader.h"
#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 24)) return 0;
  for (const bool paramsOnly : {false, true}) {
    auto s = fuzzsupport::StreamOf(Data, Size);
    TIEBitmap bitmap;
    TIOParamsVals params;
    fuzzsupport::TProgress progress;
    std::unique_ptr<TIEMask> mask;
    BmpReadStream(s.get(), paramsOnly ? nullptr : &bitmap, int32_t(Size), params, progress.Rec, paramsOnly,
                  false, mask, false);
  }
  return 0;
}
