#pragma once
// HD Photo (JPEG XR) files over jxrlib, behind a small codec interface of
// our own: a reader that decodes one frame into a bitmap and a writer that
// encodes a bitmap.
//
// Pixel formats: black and white, 8- and 16-bit gray, 24-bit colour, 48-bit
// colour and CMYK are read natively (with NativePixelFormat) and written as
// they are; everything else is read as ie24RGB.  CMYK is held as the bitmap
// holds it (255 = no ink) and the file's ink amounts are converted both ways,
// so a CMYK image is written exactly as it was read.
#include <cstdint>
#include <string>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// True when this build has the HD Photo library.
bool IEHdPhotoAvailable();

// "II" 0xBC 0x01 at the position (version 1 of the container); position
// restored, never raises.
bool IETryHDP(TStream* Stream);

// Reads frame ImageIndex.  Failure (no library, damaged data, sizes beyond
// what a bitmap can hold) sets the abort flag.
void HdpReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
// Writes Bitmap with HdpImageQuality (1.0 and HdpLossless: lossless) and the
// resolution of Params.  Failure sets the abort flag; nothing is reported as
// written that was not.
void HdpWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
// Frames of the file (0 when it cannot be read); the stream variant restores
// the position.
int32_t HdpPageCount(TStream* Stream);
int32_t HdpFilePageCount(const std::string& FileName);

// The common codec shape.
void IEReadHDPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly);
void IEWriteHDPStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
