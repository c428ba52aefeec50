#pragma once
// Windows and OS/2 device-independent bitmaps: core (12-byte), info (40-byte),
// OS/2 2.x (64-byte) and longer headers; 1, 4, 8, 16, 24 and 32 bits;
// uncompressed, bit fields, RLE4 and RLE8; bottom-up and top-down rows.
// Every size the file states (header, colour count, pixel offset, image size,
// RLE runs and deltas) is checked against the data before it is used; a file
// that cannot be read sets the abort flag of the progress record.
#include <cstdint>
#include <memory>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;
class TIEMask;

// Reads one bitmap from the stream's position.  DataSize: bytes that belong
// to the bitmap from there (0 = unknown: the file header's size, else the
// rest of the stream).  NoFileHeader (or Params.FromResource): the stream
// starts at the info header.  AlphaMask receives the fourth byte of 32-bit
// pixels (created when null; reset when every alpha byte is 0 or 255) unless
// IgnoreAlpha.  A null Bitmap reads parameters only.
void BmpReadStream(TStream* Stream, TIEBitmap* Bitmap, int32_t DataSize, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool ParamsOnly, bool NoFileHeader,
                   std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);

// The codec in the common shape: probe ("BM" at the position, position
// restored, never raises) and reader (32-bit alpha becomes the bitmap's alpha
// plane when Params.BmpAlphaChannel is set).
bool IETryBmp(TStream* Stream);
void IEReadBmpStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly);
