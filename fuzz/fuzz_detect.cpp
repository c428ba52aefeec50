// Detection of unknown input: every format probe of the registry.
#include "fuzz_support.h"
#include "io/format_registry.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 20)) return 0;
  auto s = fuzzsupport::StreamOf(Data, Size);
  IEDetectStreamFormat(s.get());
  return 0;
}
