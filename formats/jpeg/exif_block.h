#pragma once
// EXIF block: the small TIFF structure that carries camera data (IFD0 with the
// image tags and the pointers to the EXIF and GPS directories, optionally IFD1
// with a JPEG thumbnail).  In a JPEG file it travels in an APP1 marker after
// the six bytes "Exif" 0 0; in a TIFF file the same tags stand in the page.
//
// These functions move such a block to and from the EXIF and GPS fields of a
// TIOParamsVals, and take EXIF data and an embedded preview out of
// TIFF-structured files (camera raw files).  Every offset and count of a block
// is checked against the block's size: a damaged block is refused, never read
// outside its bytes.
#include <cstdint>

#include <memory>

#include "kernels/rotate_flip.h"  // IEApplyEXIFOrientation, used on thumbnails

class TStream;
class TIEBitmap;
class TIOParamsVals;
class TiffDirectory;

// Builds the block of Params in a new buffer for the caller; with ExifHeader it starts with the 6-byte header (for a JPEG APP1
// marker), without it is the bare little-endian TIFF structure.  The thumbnail
// (ExifThumbnail, when not empty) goes into IFD1 as a JPEG.  Buffer is null
// and Size 0 when nothing could be built.
void IEEncodeExifBlock(TIOParamsVals* Params, std::unique_ptr<uint8_t[]>& Buffer, int32_t& Size, bool ExifHeader);

// Reads an APP1 payload into Params.  False, with Params untouched, when the
// data does not begin with the EXIF header or when the TIFF structure behind
// it is damaged (header, IFD0 or a sub-directory outside the block).  On
// success ExifPresent is True and ExifThumbnail holds the thumbnail of IFD1
// turned upright (empty when there is none, it is damaged or it is larger
// than 400 pixels in either direction).
bool IEDecodeExifBlock(const void* Data, int32_t Length, TIOParamsVals* Params);

// Copies the EXIF and GPS fields (not ExifPresent, not ExifThumbnail).
void IECopyExifFields(TIOParamsVals* Source, TIOParamsVals* Dest);

// Fills the EXIF and GPS fields of Params from a page directory and its EXIF
// and GPS sub-directories (either may be null): texts, resolution,
// orientation, the EXIF values, the user comment, the maker note and the GPS
// values.  Fields whose tags are absent get their absent values.
void IEReadExifDirectories(const TiffDirectory& Page, const TiffDirectory* Exif, const TiffDirectory* Gps,
                           TIOParamsVals& Params);

// Offset, counted from the stream's position, of the first TIFF-like header
// within the next 131072 bytes; -1 when none.  The position is restored.
int64_t IEFindTiffHeader(TStream* Stream);

// EXIF fields and the embedded preview (the narrower of pages 0 and 1 that is
// not all zero, each at most 400 pixels a side) of a TIFF-structured stream;
// always True.  The position is restored.
bool IEReadTiffPreviewAndExif(TStream* Stream, TIOParamsVals* Params);

// Only the parameters (with EXIF) of page 0 of a TIFF-structured stream;
// always True.  The position is restored.
bool IEReadTiffExifParams(TStream* Stream, TIOParamsVals* Params);
