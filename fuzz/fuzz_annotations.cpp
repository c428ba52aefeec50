// Imaging annotations, as the TIFF tag holds them.
#include <cstddef>
#include <cstdint>
#include "foundations/imaging_annotations.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  if (Size > (1 << 20)) return 0;
  TIEImagingAnnot annot;
  annot.LoadFromTagData(Data, int32_t(Size));
  return 0;
}
