#pragma once
// JPEG reading and writing through the system's libjpeg (API version 62).
//
// The codec reports errors through our error manager: its error exit jumps
// back into the small C-only frame that made the library call (no C++ object
// lives there), and the error is turned into the abort flag (reading) or into
// EIEJpegException (writing) only after that frame has been left, so no
// exception ever crosses the library's C frames.  The source and destination
// managers move the data through 65536-byte buffers over our streams; their
// stream calls never let an exception escape into the library either.
//
// Pixel order: colour rows are delivered and accepted blue, green, red, the
// order of the image buffer, whatever the JPEG's own colour space.
#include <cstdint>
#include <string>

#include "platform/rtl/sysutils.h"

class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIEProgressRec;

// Raised by the writer with the codec's message text.
class EIEJpegException : public Exception {
 public:
  using Exception::Exception;
  std::string ClassName() const override { return "EIEJpegException"; }
};

// The text of a codec message code: the library's message with every printf
// conversion written as "?"; "" for the library's copyright and version
// notices; "Corrupted" for a code the library does not know.
std::string IEJpegMessageText(int32_t Code);

// What a JPEG read is asked to do.
struct TJpegReadRequest {
  // An abbreviated tables-only JPEG read before the image (null, or the image
  // stream itself, for none).
  TStream* TablesStream = nullptr;
  // Fill Params only, no pixels.
  bool ParamsOnly = false;
  // Samples as stored: YCbCr and RGB data without conversion.
  bool NoColorConversion = false;
  // Keep the markers and read the metadata they carry into Params.
  bool ReadMetadata = false;
  // CMYK samples are stored inverted (Adobe files).
  bool InvertCmyk = false;
  // Apply the embedded colour profile to the pixels.
  bool ApplyIcc = false;
  // Gather the ICC profile chunks of the APP2 markers into Params.
  bool ReadIccChunks = false;
  // Rows to decode; below 0 every row.
  int32_t MaxRows = -1;
  // Keep gray and CMYK data in their own pixel formats.
  bool NativePixelFormat = false;
  // Subsampled chroma repeated over the pixels it covers instead of
  // interpolated between them (as TIFF readers decode the older JPEG form).
  bool ReplicateChroma = false;
};

// Reads the JPEG image that starts at, or within 150 bytes after, the stream's
// position into Bitmap and Params; answers the number of rows decoded.  Bad
// data never raises: it sets the abort flag and keeps the rows decoded so far.
int32_t JpegReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                       const TJpegReadRequest& Request = {});

// Writes Bitmap as one JPEG from the stream's position with the JPEG options
// and markers of Params.  Codec errors raise EIEJpegException; stream write
// failures and an empty bitmap set the abort flag.  CMYK files carry their
// ink inverted, as JPEG files with an Adobe marker do; InkCmyk stores the ink
// amounts themselves, as TIFF pages expect (a TIFF reader does not invert).
void JpegWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                     TIEProgressRec& Progress, bool InkCmyk = false);

// Probe: with Scan, the absolute position of the first 0xFF 0xD8 0xFF within 150
// bytes from the position (-1 when none); without, 0 when the position holds
// it, else -1.  The position is restored.
int64_t JpegIsStream(TStream* Stream, bool Scan);

// Bytes from the position to the end of the first EOI marker (or to the end
// of the data); the position is restored.
int32_t JpegStreamSize(TStream* Stream);

// Loads an ICC profile carried in APP2 "ICC_PROFILE" chunks into Params'
// InputIccProfile; chunks with an impossible sequence number or count are
// ignored.  The position is restored.
void IEJpegReadIccProfile(TStream* Stream, TIOParamsVals& Params);
