#pragma once
// Headerless sample data ("Raw Bitmap"): fills a bitmap whose size and pixel
// format are already set, from binary samples or samples written as decimal
// or hexadecimal text, interleaved or one plane per channel, as the raw
// fields of the parameters say (skip bytes, row alignment, RGB order,
// planar, encoding).
#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// Data shorter than the image leaves the rest of the bitmap as it was; text
// samples that do not parse become 0 and numbers beyond a sample's range are
// clamped to it.  Text into 1-bit rows sets a bit for every non-zero sample.
// Hexadecimal text into an ie32f bitmap raises an Exception "Format
// unsupported".
void RawBitmapReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// The common codec shape (Bitmap must already be allocated).
void IEReadRawBitmapStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                           TIEProgressRec& Progress, bool ParamsOnly);
