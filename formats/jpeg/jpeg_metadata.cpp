#include "formats/jpeg/jpeg_metadata.h"

#include <cstring>
#include <memory>

#include "formats/io_params.h"
#include "formats/jpeg/exif_block.h"
#include "formats/jpeg/jpeg_resolution.h"
#include "foundations/iptc.h"
#include "foundations/jpeg_markers.h"
#include "foundations/xmp_dicom_tags.h"

namespace {
// Largest payload a marker segment can carry (its 16-bit length counts itself).
constexpr int32_t MaxMarkerPayload = 65533;

}  // namespace

void IERebuildJpegMarkers(TIOParamsVals& P) {
  if (!P.JpegMarkers) return;
  TIEMarkerList& M = *P.JpegMarkers;
  IEUpdateJpegResolutionResource(M, P.DpiX, P.DpiY);

  // IPTC, only when the records were changed (or there is no marker yet)
  if (P.IptcRecords && (P.IptcRecords->GetUserChanged() || (P.IptcRecords->GetCount() > 0 && M.GetCount() == 0))) {
    std::unique_ptr<uint8_t[]> Buffer;
    int32_t Size = 0;
    P.IptcRecords->SaveToBuffer(Buffer, Size, true);
    const int32_t I = M.IndexOf(IEJPEG_APP13);
    if (Buffer && Size > 0 && Size <= MaxMarkerPayload) {
      if (I < 0)
        M.AddMarker(IEJPEG_APP13, Buffer.get(), uint16_t(Size));
      else
        M.SetMarker(I, IEJPEG_APP13, Buffer.get(), uint16_t(Size));
    } else if (!Buffer && I >= 0) {
      M.DeleteMarker(I);
    }
  }

  // EXIF: one block, built from the fields
  if (P.ExifPresent) {
    std::unique_ptr<uint8_t[]> Buffer;
    int32_t Size = 0;
    IEEncodeExifBlock(&P, Buffer, Size, true);
    if (Buffer && Size > 0 && Size <= MaxMarkerPayload) {
      const int32_t Exif = M.IndexOfExif();
      if (Exif >= 0) M.DeleteMarker(Exif);
      M.AddMarker(IEJPEG_APP1, Buffer.get(), uint16_t(Size));
    }
  }

  // XMP: the packet read with the file goes; the current one is written
  for (int32_t I = 0; I < M.GetCount(); ++I) {
    if (M.GetMarkerType(I) == IEJPEG_APP1 && IEFindXMPPacket(M.GetMarkerData(I), M.GetMarkerLength(I))) {
      M.DeleteMarker(I);
      break;
    }
  }
  if (!P.XmpPacket.empty()) {
    std::unique_ptr<uint8_t[]> Block;
    int32_t Length = 0;
    IEBuildXMPSegment(P.XmpPacket, Block, Length);
    if (Block && Length > 0 && Length <= MaxMarkerPayload) M.AddMarker(IEJPEG_APP1, Block.get(), uint16_t(Length));
  }
}
