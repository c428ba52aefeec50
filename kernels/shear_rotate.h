#pragma once
// Rotation by three shears (ie24RGB with optional sub-pixel blending, and its
// one-byte twin for ie8g, ie8p and alpha planes), nearest-pixel rotation of
// 1-bit and one-byte images with exact quarter and half turns, and the
// quarter-turn copies.  Positive angles turn counter-clockwise as seen on
// screen; the canvas grows to hold the turned image and the corners take the
// background.
//
// Blending weights are 12-bit fixed point pairs (A, B), A + B = 4096, both
// within 0..4096: each shear places a row at the whole part of its offset and
// blends the fraction into the next pixel, so a shear never extrapolates.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// True when Angle has no fractional part and is a multiple of 90.
bool IEIsMultipleOf90(double Angle);

// ie24RGB; a 1-bit bitmap goes to IERotate1Bit (white fill when all three
// background channels are non-zero); other formats are left alone.  The
// shears of a bitmap in memory run in bands on ThreadCount workers (0: one
// per core); the result does not depend on the count.
void IERotateShear(TIEBitmap* Bitmap, bool Antialias, const TIEProgressEvent& OnProgress, TObject* Sender,
                   const TRGB& Background, double Angle, int32_t ThreadCount = 0);
// ie8g and ie8p (and alpha planes); other formats are left alone.
void IERotateShear8(TIEBitmap* Bitmap, bool Antialias, uint8_t Fill, const TIEProgressEvent& OnProgress,
                    TObject* Sender, double Angle, int32_t ThreadCount = 0);
// Nearest-pixel 1-bit rotation; exact for 90, -90, 270, 180 and -180.
// Every source pixel keeps its place in the turned grid: no column or row is
// dropped at the edges.
void IERotate1Bit(TIEBitmap* Bitmap, bool FillWhite, const TIEProgressEvent& OnProgress, TObject* Sender,
                  double Angle);
// The same for ie8g and ie8p, with Fill outside the source.
void IERotate8Bit(TIEBitmap* Bitmap, uint8_t Fill, double Angle);

// Quarter-turn copies: Dest becomes Source's height x width in Source's
// format.  Clockwise: (x, y) goes to (height - 1 - y, x); counter-clockwise:
// to (y, width - 1 - x).
void IERotate90CW24(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CCW24(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CW8(TIEBitmap* Source, TIEBitmap* Dest);
void IERotate90CCW8(TIEBitmap* Source, TIEBitmap* Dest);
