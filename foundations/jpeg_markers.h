#pragma once
// The JPEG application and comment markers kept with an image: the JPEG reader
// fills the list in file order, the I/O component rebuilds its APP13 and APP1
// blocks before saving, and the JPEG writer sorts it and writes it back.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/rtl/object.h"

class TMemoryStream;

// Marker codes kept in the list.
enum : uint8_t {
  IEJPEG_APP0 = 0xE0,
  IEJPEG_APP1 = 0xE1,
  IEJPEG_APP2 = 0xE2,
  IEJPEG_APP13 = 0xED,
  IEJPEG_APP14 = 0xEE,
  IEJPEG_COM = 0xFE,
};

// True when the block starts with the zero-terminated text "Exif" (the header
// of an EXIF APP1 payload).  Only the first Length bytes are looked at, so a
// block shorter than five bytes is never an EXIF header.
bool IEIsExifHeader(const void* Data, int64_t Length);

// One entry per marker: its payload (the bytes after the two length bytes) in
// an owned memory stream, and its code byte (0xE0..0xEF for APP0..APP15, 0xFE for
// COM).  Index errors raise EListError "List index out of bounds (%d)".
class TIEMarkerList : public TObject {
 public:
  TIEMarkerList();
  ~TIEMarkerList() override;
  TIEMarkerList(const TIEMarkerList&) = delete;
  TIEMarkerList& operator=(const TIEMarkerList&) = delete;

  int32_t GetCount() const { return static_cast<int32_t>(FData.size()); }
  // The marker's bytes (the stream's memory; null for an empty marker).  Valid
  // until the marker is replaced, deleted or the list cleared.
  uint8_t* GetMarkerData(int32_t Index) const;
  uint8_t GetMarkerType(int32_t Index) const;
  int32_t GetMarkerLength(int32_t Index) const;
  // The stream that holds the marker's bytes.
  TMemoryStream* GetMarkerStream(int32_t Index) const;

  // Index of the first marker of that type, -1 when none.
  int32_t IndexOf(uint8_t MarkerType) const;
  // The first APP1 marker that holds an EXIF block; -1 when there is none.
  int32_t IndexOfExif() const;
  // Appends a marker with a copy of Length bytes of Data; answers its index.
  int32_t AddMarker(uint8_t MarkerType, const void* Data, uint16_t Length);
  // Replaces marker Index by a copy of Length bytes of Data and the new type.
  void SetMarker(int32_t Index, uint8_t MarkerType, const void* Data, uint16_t Length);
  void DeleteMarker(int32_t Index);
  void Clear();
  // Nothing when Source is null; else this list becomes a copy of Source.
  void Assign(const TIEMarkerList* Source);

  // Orders the markers by type (ICC chunks in APP2 by their sequence byte),
  // then moves the EXIF APP1 marker to the place of the first APP1.  The sort
  // is not stable: markers of one type may change their relative order.
  void SortMarkers();
  // The sort's comparison and exchange.
  int32_t CompareMarkers(int32_t I, int32_t J) const;
  void SwapMarkers(int32_t I, int32_t J);

 private:
  void CheckIndex(int32_t Index) const;

  std::vector<std::unique_ptr<TMemoryStream>> FData;
  std::vector<uint8_t> FType;
};
