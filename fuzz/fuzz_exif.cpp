// EXIF blocks as JPEG's APP1 marker carries them, with or without the
// "Exif" header, and re-encoded after a successful read.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "formats/io_params.h"
#include "formats/jpeg/exif_block.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 20)) return 0;
  TIOParamsVals params;
  if (IEDecodeExifBlock(Data, int32_t(Size), &params)) {
    std::unique_ptr<uint8_t[]> buffer;
    int32_t length = 0;
    IEEncodeExifBlock(&params, buffer, length, true);
  }
  return 0;
}
