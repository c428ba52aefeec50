// DCX: the page table and the first two pages.
#include "formats/io_params.h"
#include "formats/pcx/pcx_dcx.h"
#include "foundations/image_buffer.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  auto s = fuzzsupport::StreamOf(Data, Size);
  if (!DcxIsStream(s.get())) return 0;
  DcxPageCount(s.get());
  for (int32_t page = 0; page < 2; ++page) {
    s->SetPosition(0);
    TIEBitmap bitmap;
    TIOParamsVals params;
    params.DcxPageIndex = page;
    fuzzsupport::TProgress progress;
    DcxReadStream(s.get(), &bitmap, params, progress.Rec, page == 1);
  }
  return 0;
}
