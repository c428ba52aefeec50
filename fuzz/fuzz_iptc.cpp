// IPTC records, as the TIFF tag or the Photoshop resource holds them.
#include <cstddef>
#include <cstdint>
#include "foundations/iptc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 20)) return 0;
  TIEIPTCInfoList list;
  list.LoadFromBuffer(Data, int32_t(Size));
  for (int32_t i = 0; i < list.GetCount(); ++i) {
    const uint8_t* d = list.GetData(i);
    const int32_t n = list.GetDataLength(i);
    volatile uint8_t sink = 0;
    for (int32_t k = 0; d && k < n; ++k) sink = sink + d[k];
  }
  return 0;
}
