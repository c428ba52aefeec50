#include "formats/jpeg/jpeg_resolution.h"

#include <cstring>

#include "foundations/jpeg_markers.h"
#include "foundations/number_text.h"

bool IEUpdateJpegResolutionResource(TIEMarkerList& Markers, int32_t DpiX, int32_t DpiY) {
  const int32_t Index = Markers.IndexOf(0xED);
  if (Index < 0) return false;
  uint8_t* Data = Markers.GetMarkerData(Index);
  const int64_t Length = Markers.GetMarkerLength(Index);
  if (!Data || Length <= 0) return false;

  static const uint8_t Signature[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
  int64_t Pos = -1;
  for (int64_t i = 0; i + 6 <= Length; ++i) {
    if (std::memcmp(Data + i, Signature, 6) == 0) {
      Pos = i + 6;
      break;
    }
  }
  if (Pos < 0) return false;

  // The resource name is a Pascal string: one length byte and the text,
  // padded so that length byte and text together take an even count.
  if (Pos >= Length) return false;
  int64_t NameBytes = 1 + int64_t(Data[Pos]);
  if (NameBytes & 1) ++NameBytes;
  Pos += NameBytes;
  if (Pos + 4 > Length) return false;
  const uint32_t Size = (uint32_t(Data[Pos]) << 24) | (uint32_t(Data[Pos + 1]) << 16) |
                        (uint32_t(Data[Pos + 2]) << 8) | uint32_t(Data[Pos + 3]);
  Pos += 4;
  if (Size < 16 || Pos + 16 > Length) return false;

  uint8_t* R = Data + Pos;
  IEPutDWord(R + 0, uint32_t(DpiX) << 16, true);
  IEPutWord(R + 4, 1, true);
  IEPutWord(R + 6, 1, true);
  IEPutDWord(R + 8, uint32_t(DpiY) << 16, true);
  IEPutWord(R + 12, 1, true);
  IEPutWord(R + 14, 1, true);
  return true;
}
