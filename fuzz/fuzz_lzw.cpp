// TIFF LZW: the first bytes choose the row length and fill order; the rest
// is one strip decoded row by row until it runs out.
#include <cstddef>
#include <cstdint>

#include "formats/tiff/tiff_lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const int32_t rowLength = 1 + ((int32_t(Data[0]) << 8 | Data[1]) % 8192);
  const int32_t fillOrder = (Data[2] & 1) ? 2 : 1;
  void* state = nullptr;
  for (int32_t y = 0; y < 256; ++y) {
    const uint8_t* row = TiffLzwDecode(Data + 3, int64_t(Size - 3), rowLength, state, fillOrder);
    if (!row || TiffLzwDecodeFinished(state)) break;
  }
  if (state) TiffLzwDecode(nullptr, 0, rowLength, state, fillOrder);
  return 0;
}
