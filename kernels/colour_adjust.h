#pragma once
// Colour kernels of the page operations and the effects dialog: RGB to and
// from the HSL and HSV models, hue/saturation shifts, per-channel offsets,
// contrast, two-level threshold replacement, gray conversion, recolouring of
// transparent pixels and reordering of colour channels.
//
// Every rectangle kernel takes X1, Y1, X2, Y2 with X2 and Y2 exclusive and
// limited to the bitmap, works in place and leaves any bitmap that is not
// ie24RGB alone.  Progress follows kernel_progress.h.
#include <cstdint>
#include <string>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// HSL as fractions 0..1 (hue a fraction of the full circle).
void IERGBToHSL(const TRGB& RGB, double& H, double& S, double& L);
TRGB IEHSLToRGB(double H, double S, double L);
// HSV as integers: hue 0..359 degrees, saturation and value 0..99.
void IERGBToHSV(const TRGB& RGB, int32_t& H, int32_t& S, int32_t& V);
TRGB IEHSVToRGB(int32_t H, int32_t S, int32_t V);

// Hue in degrees, saturation and lightness in per cent.
void IEAdjustHSL(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Hue, int32_t Sat,
                 int32_t Lum, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Hue in degrees, saturation and value on the 0..99 scale.
void IEAdjustHSV(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Hue, int32_t Sat,
                 int32_t Val, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
void IEAdjustRGB(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Red,
                 int32_t Green, int32_t Blue, const TIEProgressEvent& OnProgress = nullptr,
                 TObject* Sender = nullptr);
// Factor n / 10 + 1 for n >= 0, 1 - sqrt(-n) / 10 below; each channel is
// stretched around its own centre.
void IEContrast(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, double Contrast,
                const TRGB& Centre, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Per channel: at most the low threshold takes the low replacement, then
// above the high threshold the high replacement.  Thresholds black and white
// change nothing.
void IEThreshold(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRGB& DownLimit,
                 const TRGB& UpLimit, const TRGB& DownVal, const TRGB& UpVal,
                 const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Each pixel's gray level into all three channels.
void IEConvertToGray24(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                       const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// ie24RGB: pixels whose alpha is 0 take Color (an alpha plane, all opaque,
// is created when there is none).
void IEColorTransparentPixels(TIEBitmap* Bitmap, const TRGB& Color);
// Pattern of three characters R, G, B or 0 (case ignored): the first names
// the source of the new blue channel, the second green, the third red; 0 is
// zero.  A shorter pattern or another character leaves the image alone.
// ie24RGB and ieRGB48 only.
void IEReorderChannels(TIEBitmap* Bitmap, const std::string& Pattern, TObject* Sender = nullptr,
                       const TIEProgressEvent& OnProgress = nullptr);
