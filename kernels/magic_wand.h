#pragma once
// Magic wand and similar-colour selection: the pixels whose colour is within
// Tolerance (per channel, red, green and blue read through GetPixelRGB) of
// the colour at (X, Y).
//
// IEMagicWandPolygon: the outline of the 4-connected region holding the
// seed, clockwise on screen, in pixel-edge coordinates (the point (x, y) is
// the top-left corner of pixel (x, y)), holes filled; every corner yields
// two equal points and the last point repeats the first. Empty for a seed
// outside the bitmap. Widen grows the region by one pixel, kept inside the
// region's box.
// IEMagicWandFill: SetPixel(x, y, Value) in Mask for every pixel of the same
// region (with Widen, the pixel and its eight neighbours inside the bitmap).
// IESelectSimilarColors: SetPixel(x, y, Value) for every similar pixel of
// the bitmap, connected or not.
// None of them changes the bitmap; a seed outside it does nothing.
#include <cstdint>
#include <vector>

#include "platform/rtl/types.h"

class TIEBitmap;
class TIEMask;

std::vector<TPoint> IEMagicWandPolygon(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Widen, int32_t Tolerance);
void IEMagicWandFill(TIEBitmap* Bitmap, int32_t X, int32_t Y, bool Widen, int32_t Tolerance, TIEMask* Mask,
                     int32_t Value);
void IESelectSimilarColors(TIEBitmap* Bitmap, int32_t X, int32_t Y, int32_t Tolerance, TIEMask* Mask, int32_t Value);
