// TIFF tag directories: the chain walk, every directory it finds, and the
// EXIF and preview reading over them.
#include "formats/io_params.h"
#include "formats/jpeg/exif_block.h"
#include "formats/tiff/tiff_reader.h"
#include "fuzz_support.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
  auto s = fuzzsupport::StreamOf(Data, Size);
  TTiffChain chain;
  if (TiffScanChain(s.get(), false, chain)) {
    for (size_t i = 0; i < chain.Offsets.size() && i < 64; ++i) {
      TiffDirectory d;
      d.Bind(s.get(), chain.LittleEndian, 0);
      if (TiffLoadIfdAt(chain.Offsets[i], d)) {
        std::vector<uint32_t> values;
        std::vector<uint8_t> block;
        for (const auto& e : d.Entries) {
          d.GetInteger(e.Tag, 0);
          d.GetRationalAt(e.Tag, 1, 0);
          d.ReadArray(e.Tag, values);
          d.ReadBlock(e.Tag, block, 1 << 20);
          d.ReadWideString(e.Tag);
        }
      }
    }
  }
  s->SetPosition(0);
  TIOParamsVals params;
  IEReadTiffExifParams(s.get(), &params);
  s->SetPosition(0);
  TIOParamsVals preview;
  IEReadTiffPreviewAndExif(s.get(), &preview);
  return 0;
}
