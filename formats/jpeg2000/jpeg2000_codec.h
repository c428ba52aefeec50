#pragma once
// JPEG 2000 images, JP2 files and bare code streams, over OpenJPEG.
//
// The reader gives 1-bit gray as ie1g and everything else as ie24RGB with
// each sample reduced to its top 8 bits (signed samples offset to unsigned
// first); an opacity component becomes the alpha plane.  The writer takes
// ie1g (written as 1-bit gray) and ie24RGB (gray or RGB by J2kColorSpace,
// with an opacity component when the alpha plane is not fully opaque).
#include <cstdint>
#include <string>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// Format ids of the writer.
enum : int32_t { J2K_FORMAT_JP2 = 0, J2K_FORMAT_J2K = 1 };

// Probes; the position is restored and they never raise.
// JP2: the signature box (12, "jP  ", 0x0D0A870A) at the position.
bool IETryJP2(TStream* Stream);
// J2K: start of code stream 0xFF4F followed by the image and tile size 0xFF51.
bool IETryJ2K(TStream* Stream);

// Reads a JP2 file or a J2K code stream at the stream's position.  Failure
// (no signature, damaged data, colour spaces other than gray, RGB and YCbCr,
// sizes beyond what the data can describe) sets the abort flag.
void J2kReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly);
// Writes Bitmap as a JP2 file (FormatId 0) or a J2K code stream (1).  A rate
// J2kRate of 1 or more is lossless (reversible wavelet); below 1 it is the
// fraction of the uncompressed size to aim at.  Failure sets the abort flag.
void J2kWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    int32_t FormatId);

// The common codec shape.
void IEReadJ2kStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly);
void IEWriteJp2Stream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
void IEWriteJ2kStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// The YCbCr-to-RGB chroma tables (index: chroma byte).
struct TJ2kYCbCrTables {
  int32_t CrToR[256], CbToB[256], CrToG[256], CbToG[256];
};
const TJ2kYCbCrTables& J2kYCbCrTables();

// True when this build has the JPEG 2000 library.
bool J2kAvailable();
