#pragma once
// Writes a bitmap as a Windows bitmap file: 1, 4, 8, 24 or 32 bits, a core,
// info or OS/2 2.x header, a colour table, optional RLE4/RLE8 rows.  Rows are
// stored bottom-up.  A core header cannot hold sizes beyond 65535: such images
// get the 40-byte header.
#include <cstdint>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// Writes at the stream's position (the stream must allow seeking back there).
// The bit count: BitsPerSample 1 or 4 as given, else 8 for one sample, else
// 32 with an alpha plane, else 24.  SaveAlpha stores the alpha plane in the
// fourth byte of 32-bit pixels (255 otherwise).  Failures set the abort flag.
void BmpWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    bool SaveAlpha);

// Codes one row of indices (one per byte); Output must hold 10 bytes per
// pixel.  Answers the number of bytes produced, end-of-line code included.
int32_t BmpEncodeRle4Row(const uint8_t* Indices, int32_t Count, uint8_t* Output);
int32_t BmpEncodeRle8Row(const uint8_t* Indices, int32_t Count, uint8_t* Output);

// The writer in the common shape (the alpha plane is saved when
// Params.BmpAlphaChannel is set).
void IEWriteBmpStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
