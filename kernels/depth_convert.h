#pragma once
// Colour reduction of 24-bit images to a palette of a given size, staying
// 24-bit.  The 1-bit reductions are in threshold_1bit.h, the 1-bit expansion
// in foundations/bit_expansion.h, the two-colour detection in dib_stretch.h.
#include <cstdint>

#include "foundations/pixel_types.h"

class TIEBitmap;
struct TIEProgressRec;

// Replaces every pixel of an ie24RGB bitmap by its colour in a palette of
// Colors entries chosen by the colour quantizer; the palette is written into
// Palette when given (Colors entries).  Other formats and Colors below 1 are
// left alone.  Progress after row r (from 1): Trunc(100 / (height + 0.5) x r).
void IEQuantizeInPlace(TIEBitmap* Bitmap, int32_t Colors, TRGB* Palette = nullptr,
                       TIEProgressRec* Progress = nullptr);
