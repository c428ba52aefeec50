#pragma once
// DICOM files: one frame of the pixel data into a bitmap, every data element
// met into the parameters' DICOM tag list, and the frame count.
//
// Pixel data decoded here: native (implicit and explicit VR, little and big
// endian, packed 12-bit), RLE, baseline JPEG, lossless JPEG and JPEG 2000.
// Other transfer syntaxes set the abort flag.  Gray frames go through the
// modality rescale and the window (a fixed linear map clamped to the output
// range) or, without a window, a stretch of the frame's own range; the
// result is ie8g or ie16g (inverted for MONOCHROME1).  Colour frames are
// ie24RGB; palette frames ie24RGB (8-bit indexes) or ieRGB48 (16-bit).
#include <cstdint>
#include <string>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// True when "DICM" stands 128 bytes after the position; position restored.
bool IETryDICOM(TStream* Stream);

// Reads frame ImageIndex (limited to the last frame, the index used is
// stored back) at the stream's position.  Bitmap may be null (parameters
// only).  Failures set the abort flag.
void DicomReadStream(TStream* Stream, TIOParamsVals& Params, TIEBitmap* Bitmap, TIEProgressRec& Progress,
                     bool ParamsOnly);
// Frames of the file (0 when it cannot be read); position restored.
int32_t DicomPageCount(TStream* Stream);
int32_t DicomFilePageCount(const std::string& FileName);

// Decodes one RLE segment of SourceLen bytes into Count bytes of Dest (the
// rest zero when the segment is short); answers the source bytes used.
int64_t DicomRleDecode(const uint8_t* Source, int64_t SourceLen, uint8_t* Dest, int64_t Count);

// The common codec shape.
void IEReadDICOMStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       bool ParamsOnly);
