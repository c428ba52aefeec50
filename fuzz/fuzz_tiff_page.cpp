// TIFF pages: the page the first byte chooses, read whole, as the I/O
// components read it, then a params-only read and the page count.
#include <memory>

#include "formats/io_params.h"
#include "formats/tiff/tiff_reader.h"
#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 1) return 0;
  const int32_t page = Data[0] & 3;
  auto s = fuzzsupport::StreamOf(Data + 1, Size - 1);
  {
    TIEBitmap bitmap;
    TIOParamsVals params;
    params.TiffPageIndex = page;
    params.NativePixelFormat = (Data[0] & 4) != 0;
    fuzzsupport::TProgress progress;
    std::unique_ptr<TIEMask> mask;
    int32_t count = 0;
    TiffReadStream(&bitmap, s.get(), count, &params, progress.Rec, mask);
  }
  {
    s->SetPosition(0);
    TIOParamsVals params;
    fuzzsupport::TProgress progress;
    std::unique_ptr<TIEMask> mask;
    int32_t count = 0;
    TiffReadStream(nullptr, s.get(), count, &params, progress.Rec, mask, {.ParamsOnly = true});
  }
  s->SetPosition(0);
  TiffPageCount(s.get());
  return 0;
}
