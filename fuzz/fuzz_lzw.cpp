// TIFF LZW: the first bytes choose the row length and fill order; the rest
// is one strip decoded row by row until it runs out.
#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "formats/tiff/tiff_lzw.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const int32_t rowLength = 1 + ((int32_t(Data[0]) << 8 | Data[1]) % 8192);
  const int32_t fillOrder = (Data[2] & 1) ? 2 : 1;
  // A row cut short by a bad code leaves the decoder reading on, one code per
  // row, and the rest of each such row is zeros: a few random bytes ask for
  // 256 rows of up to 8 KB that cost only page faults. The rows asked for stop
  // at a budget per coded byte: 16 bytes mostly, and 1,024 (near the most a
  // strip can decode: 4096 ever longer strings average about 1,300 bytes per
  // coded byte) for one input in 64, so inputs of a kilobyte still reach the
  // decoder's compaction. The long budget follows a hash of the whole input,
  // not a byte of it: any mutation draws it afresh, so the inputs kept for
  // reaching the compaction do not make most runs long ones.
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < Size; ++i) hash = (hash ^ Data[i]) * 16777619u;
  const int64_t perByte = (hash >> 26) == 0 ? 1024 : 16;
  const int64_t budget = std::max<int64_t>(int64_t(Size - 3) * perByte, rowLength);
  const int32_t rows = int32_t(std::min<int64_t>(256, budget / rowLength));
  void* state = nullptr;
  for (int32_t y = 0; y < rows; ++y) {
    const uint8_t* row = TiffLzwDecode(Data + 3, int64_t(Size - 3), rowLength, state, fillOrder);
    if (!row || TiffLzwDecodeFinished(state)) break;
  }
  if (state) TiffLzwDecode(nullptr, 0, rowLength, state, fillOrder);
  return 0;
}
