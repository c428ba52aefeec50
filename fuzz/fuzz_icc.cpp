// ICC profiles: the profile and its tag texts.
#include <cstddef>
#include <cstdint>
#include "foundations/icc_profile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 20)) return 0;
  TIEICC icc;
  icc.LoadFromBuffer(Data, int32_t(Size));
  return 0;
}
