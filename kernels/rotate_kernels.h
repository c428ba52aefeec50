#pragma once
// Turning a bitmap by an arbitrary angle in degrees.  Positive angles turn the
// picture counter-clockwise as seen on screen (rows run downward); the result
// grows so that the whole turned picture fits.  The nearest-pixel kernel takes
// any pixel format and copies exactly for multiples of 90 degrees; the high
// quality kernels sample bilinearly or by cubic convolution (ie24RGB and 8-bit
// planes) inside a three-pixel background frame so the edges blend with the
// background.  Also the mirror of a bitmap.  Caller's thread.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// Allocates Dst in Src's format (palette copied) at the turned size, fills it
// with Background (read as TIEBitmap::Fill reads it: for ie1g non-zero is
// white, 0 black) and draws Src turned by Angle into it.  Exact multiples of
// 90 copy pixels and ignore Background.
void IERotateInto(TIEBitmap* Src, TIEBitmap* Dst, double Background, double Angle,
                  const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// In place, through IERotateInto, the alpha plane with it.  False, with the
// image as it was, when memory for the turned copy cannot be had.
bool IERotateGeneric(TIEBitmap* Bitmap, double Background, double Angle, const TIEProgressEvent& OnProgress = nullptr,
                     TObject* Sender = nullptr);
// In place, ie24RGB; Quality 1 bilinear, 2 bicubic (undershoot clamps to 0,
// overshoot to 255).
void IERotateHQ24(TIEBitmap* Bitmap, TRGB Background, int32_t Quality, double Angle,
                  const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// In place, an 8-bit plane (alpha planes with Background 0).
void IERotateHQ8(TIEBitmap* Bitmap, uint8_t Background, int32_t Quality, double Angle);
// Mirrors in place: Direction 0 left-right, 1 top-bottom.  The alpha plane too.
void IEFlip(TIEBitmap* Bitmap, int32_t Direction);
