#pragma once
// Icon files holding several sizes and depths of one image.
#include <cstdint>
#include <vector>

#include "platform/rtl/types.h"

class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIEProgressRec;

// One image per Sizes entry (each side 1..256), resampled from Bitmap, with
// the bit count of the same BitCounts entry: 1, 4, 8, 24 or 32; 0 chooses by
// SamplesPerPixel and BitsPerSample; other values give 24.  Pixels whose
// alpha (the bitmap's alpha plane) is below 255 are transparent: their AND
// bit is set and their colour is black, except at 32 bits, where the alpha
// byte carries them.  Palette entry 0 of 4- and 8-bit images is black and
// kept for transparent pixels.
void IcoWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    const std::vector<TSize>& Sizes, const std::vector<int32_t>& BitCounts);
