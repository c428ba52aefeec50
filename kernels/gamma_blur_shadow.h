#pragma once
// Gamma curves on colour channels, the integer Gaussian blur (16-bit fixed
// point, edges replicated, the kernel trimmed to its non-zero weights) and the
// soft drop shadow built from an image's alpha plane: blurred, offset and
// composited in a colour under the opaque part of the picture.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// Channel set of IEGammaCorrect: red 1, green 2, blue 4.
inline constexpr int32_t iecRed = 1, iecGreen = 2, iecBlue = 4, iecAll = 7;

// Maps the chosen channels of an ie24RGB or ieRGB48 bitmap through the curve
// (i / max)^(1 / Gamma) x max, rounded halves to even.  Gamma <= 0 (or not a
// number) is refused: false and nothing changes.  The rectangle X1 <= x < X2,
// Y1 <= y < Y2 is clipped to the bitmap; X2 or Y2 below 0 mean the whole width
// or height.
bool IEGammaCorrect(TIEBitmap* Bitmap, double Gamma, int32_t Channels, int32_t X1 = 0, int32_t Y1 = 0,
                    int32_t X2 = -1, int32_t Y2 = -1, const TIEProgressEvent& OnProgress = nullptr,
                    TObject* Sender = nullptr);

// Gaussian weights of a radius: 201 fixed-point weights (offsets -100 .. 100,
// summing to about 65536) and the half-width in use.
struct TIEGaussKernel {
  int32_t Weight[201] = {};
  int32_t HalfWidth = 0;
  int32_t At(int32_t D) const { return Weight[D + 100]; }
};
TIEGaussKernel IEGaussKernel(double Radius);

// Blurs a whole ie8g or ie24RGB bitmap in place; other formats and Radius <= 0
// do nothing.
void IEBlur(TIEBitmap* Bitmap, TObject* Sender, double Radius, const TIEProgressEvent& OnProgress = nullptr);
// Blurs the inclusive rectangle of an ie8g bitmap (clamped into it).
void IEBlur8Bit(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Radius);

// Adds a soft shadow of Colour behind the opaque part of Bitmap (its alpha
// plane is created opaque when missing).  AdaptSize grows the canvas by
// max(2 x max(|OffsetX|, |OffsetY|) + Trunc(Radius x 5), 1) with the picture
// centred.  Intensity 0 .. 100 (100 keeps the blurred alpha, 0 divides it
// by 3).
void IEAddSoftShadow(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                     bool AdaptSize, TRGB Colour, const TIEProgressEvent& OnProgress = nullptr,
                     TObject* Sender = nullptr);
// The same limited to the inclusive rectangle (X1, Y1)-(X2, Y2); Radius 0
// smooths with a 3 x 3 box instead of the blur.  Returns the margin by which
// the shadow extends the rectangle on every side.
int32_t IEAddSoftShadowRect(TIEBitmap* Bitmap, int32_t OffsetX, int32_t OffsetY, double Radius, int32_t Intensity,
                            TRGB Colour, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
