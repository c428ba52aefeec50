// CCITT strips: the first bytes choose the coding, the fill order and the
// width; the rest is one strip decoded row by row as the TIFF reader does.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "formats/fax/ccitt_fax.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size < 3) return 0;
  const int32_t coding = Data[0] % 4;  // MH, G3 1-D, G3 2-D, G4
  const int32_t fillOrder = (Data[0] & 4) ? 2 : 1;
  const bool eolSearch = (Data[0] & 8) != 0;
  const int32_t width = 1 + ((int32_t(Data[1]) << 8 | Data[2]) % 5000);
  const uint8_t* strip = Data + 3;
  int32_t len = int32_t(Size - 3);
  std::vector<uint8_t> row(size_t(width + 7) / 8 + 8), ref(row.size(), 0xFF);
  TCcittDecodeState state;
  // The same two-dimensional lines through the full decoder only: rows and
  // positions must not differ.
  std::vector<uint8_t> fullRow(row.size()), fullRef(row.size(), 0xFF);
  TCcittDecodeState fullState;
  fullState.FCommonLines = false;
  int32_t fullPos = 0;
  int32_t bitPos = 0;
  for (int32_t y = 0; y < 4096 && len > 0; ++y) {
    if (coding == 0) {
      const int32_t used = CcittDecodeMhRow(row.data(), strip, len, fillOrder, width);
      if (used <= 0) break;
      strip += used;
      len -= used;
      continue;
    }
    if (int64_t(bitPos) >= int64_t(len) * 8) break;
    const int32_t before = bitPos;
    if (coding == 1)
      bitPos = CcittDecode1DLine(row.data(), strip, len, fillOrder, bitPos, width);
    else {
      bitPos = CcittDecode2DLine(row.data(), strip, len, coding == 2 || eolSearch, fillOrder, bitPos,
                                 ref.data(), width, &state);
      fullPos = CcittDecode2DLine(fullRow.data(), strip, len, coding == 2 || eolSearch, fillOrder, fullPos,
                                  fullRef.data(), width, &fullState);
      if (fullPos != bitPos || std::memcmp(fullRow.data(), row.data(), size_t(width + 7) / 8) != 0)
        __builtin_trap();
    }
    if (bitPos < before || int64_t(bitPos) > int64_t(len) * 8) __builtin_trap();
    if (bitPos == before) break;
  }
  return 0;
}
