// TFolioIO: the metadata markers of a JPEG, brought in step with the
// parameters before the image is written.
#include <cstring>
#include <memory>

#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/xmp_dicom_tags.h"
#include "io/exif_block.h"
#include "io/folio_io.h"

namespace {
constexpr uint8_t APP1 = 0xE1;
constexpr uint8_t APP13 = 0xED;
// Largest payload a marker segment can carry (its 16-bit length counts itself).
constexpr int32_t MaxMarkerPayload = 65533;

void PutBE32(uint8_t* P, uint32_t V) {
  P[0] = uint8_t(V >> 24);
  P[1] = uint8_t(V >> 16);
  P[2] = uint8_t(V >> 8);
  P[3] = uint8_t(V);
}
void PutBE16(uint8_t* P, uint16_t V) {
  P[0] = uint8_t(V >> 8);
  P[1] = uint8_t(V);
}
}  // namespace

void TFolioIO::UpdateJpegResolutionInfo() {
  TIEMarkerList* Markers = FParams->JpegMarkers.get();
  if (!Markers) return;
  const int32_t I = Markers->IndexOf(APP13);
  if (I < 0) return;
  uint8_t* Data = Markers->GetMarkerData(I);
  const int64_t Len = Markers->GetMarkerLength(I);
  if (!Data) return;
  static const uint8_t Sig[6] = {'8', 'B', 'I', 'M', 0x03, 0xED};
  for (int64_t P = 0; P + 6 <= Len; ++P) {
    if (std::memcmp(Data + P, Sig, 6) != 0) continue;
    int64_t Q = P + 6;
    if (Q + 2 > Len) return;
    const int64_t NameLen = (int64_t(Data[Q]) << 8) | Data[Q + 1];
    Q += 2 + NameLen;
    if (Q + 4 > Len) return;
    const uint32_t Size = (uint32_t(Data[Q]) << 24) | (uint32_t(Data[Q + 1]) << 16) |
                          (uint32_t(Data[Q + 2]) << 8) | Data[Q + 3];
    Q += 4;
    if (Size < 16 || Q + 16 > Len) return;
    uint8_t* R = Data + Q;
    PutBE32(R, uint32_t(FParams->DpiX) << 16);
    PutBE16(R + 4, 1);
    PutBE16(R + 6, 1);
    PutBE32(R + 8, uint32_t(FParams->DpiY) << 16);
    PutBE16(R + 12, 1);
    PutBE16(R + 14, 1);
    return;
  }
}

void TFolioIO::RebuildJpegMarkers() {
  TIOParamsVals& P = *FParams;
  if (!P.JpegMarkers) return;
  TIEMarkerList& M = *P.JpegMarkers;
  UpdateJpegResolutionInfo();

  // IPTC, only when the records were changed (or there is no marker yet)
  if (P.IptcRecords && (P.IptcRecords->GetUserChanged() || (P.IptcRecords->GetCount() > 0 && M.GetCount() == 0))) {
    std::unique_ptr<uint8_t[]> Buffer;
    int32_t Size = 0;
    P.IptcRecords->SaveToBuffer(Buffer, Size, true);
    const int32_t I = M.IndexOf(APP13);
    if (Buffer && Size > 0 && Size <= MaxMarkerPayload) {
      if (I < 0)
        M.AddMarker(APP13, Buffer.get(), uint16_t(Size));
      else
        M.SetMarker(I, APP13, Buffer.get(), uint16_t(Size));
    } else if (!Buffer && I >= 0) {
      M.DeleteMarker(I);
    }
  }

  // EXIF: one block, built from the fields
  if (P.ExifPresent) {
    uint8_t* Raw = nullptr;
    int32_t Size = 0;
    IEEncodeExifBlock(&P, Raw, Size, true);
    std::unique_ptr<uint8_t[]> Buffer(Raw);
    if (Buffer && Size > 0 && Size <= MaxMarkerPayload) {
      for (int32_t I = 0; I < M.GetCount(); ++I) {
        if (M.GetMarkerType(I) == APP1 && IEIsExifHeader(M.GetMarkerData(I), M.GetMarkerLength(I))) {
          M.DeleteMarker(I);
          break;
        }
      }
      M.AddMarker(APP1, Buffer.get(), uint16_t(Size));
    }
  }

  // XMP: the packet read with the file goes; the current one is written
  for (int32_t I = 0; I < M.GetCount(); ++I) {
    if (M.GetMarkerType(I) == APP1 && IEFindXMPPacket(M.GetMarkerData(I), M.GetMarkerLength(I))) {
      M.DeleteMarker(I);
      break;
    }
  }
  if (!P.XmpPacket.empty()) {
    std::unique_ptr<uint8_t[]> Block;
    int32_t Length = 0;
    IEBuildXMPSegment(P.XmpPacket, Block, Length);
    if (Block && Length > 0 && Length <= MaxMarkerPayload) M.AddMarker(APP1, Block.get(), uint16_t(Length));
  }
}
