#pragma once
// Camera strings, image size, maker tags and the smallest embedded JPEG
// preview of raw files in the heap container ("HEAPCCDR").
#include <cstdint>
#include <vector>

class TIOParamsVals;

// One maker tag of 16-bit values.
struct TRawMakerTag {
  uint16_t Id = 0;
  std::vector<uint16_t> Values;
};

// Walks the file held in Data (Size bytes) when it is a heap container:
// fills the EXIF description, make, model, software and pixel dimensions and
// loads the smallest JPEG preview into ExifThumbnail.  Every record is
// checked against its heap, record counts are limited to 256, tag lengths
// count bytes and sub-heaps nest at most 8 deep.  Answers false (and leaves
// the parameters alone) for other files.  Tags, when given, receives the
// maker tags in the order met.
bool RawReadEmbeddedInfo(const uint8_t* Data, int64_t Size, TIOParamsVals& Params,
                         std::vector<TRawMakerTag>* Tags = nullptr);
