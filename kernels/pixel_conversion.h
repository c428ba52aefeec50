#pragma once
// Pixel-format conversion of image buffers: in place, and from one buffer
// into another allocated in the destination format. The rules (constants,
// rounding, gray weights, dither and threshold) are those of every reader,
// writer and view of the library; TIEBitmap::SetPixelFormat,
// TIEBitmap::ConvertToPixelFormat and TIEBitmap::ConvertFrom run them.
//
// Reductions to ie1g follow the destination's mono conversion mode: 0 an 8 x 8
// ordered dither of the gray level, otherwise a threshold at the gray of the
// image's mean colour. Reductions to ie8p build their palette with the colour
// quantizer (24-bit colour) or as a gray ramp (gray sources); the palette of a
// new ie8p image starts all black.
#include <cstdint>

#include "foundations/pixel_types.h"

class TIEBitmap;

// Converts Bitmap in place. True when Bitmap holds PixelFormat afterwards
// (also when it already did). False when the new pixels cannot be allocated
// or the format is ieNoFormat: the image is then left exactly as it was.
// Bitmap keeps its options (mono conversion, palette used, range) and its
// alpha plane. At ieTBitmap formats that cannot live there move the image to
// memory first.
bool IEConvertToPixelFormat(TIEBitmap* Bitmap, TIEPixelFormat PixelFormat);

// Fills Dest, already allocated in its own format with Source's size, from
// Source. Nothing when the sizes differ, when Dest is at ieTBitmap or when
// either is missing; equal formats copy rows and palette. Source is never
// changed: conversions that pass through 24-bit colour use a temporary copy.
// Source's alpha plane, when present, is copied into Dest's.
void IEConvertFrom(TIEBitmap* Dest, TIEBitmap* Source);

// The pixels alone: Dest and Source allocated with the same size, each in its
// own format (Dest may be at any location). Nothing when the sizes differ or
// either is empty; alpha planes are left alone.
void IEConvertPixels(TIEBitmap* Dest, TIEBitmap* Source);
