#pragma once
// Areas of one colour: the content rectangle of a scanned page (the borders
// whose brightness differs from the page's average are trimmed), filling a
// rectangle with one colour on any pixel format, and the bucket fill that
// paints the connected region of similar colour around a point.  Caller's
// thread.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TObject;
struct TRect;

// The content rectangle, corners inclusive.  A column (row) is typical when
// its brightness sum lies closer to the mean than mean / Tolerance; the
// content starts at the first pair of neighbouring typical columns (rows)
// from each side.  False, with Rect untouched, when no such pair exists on
// some side (a page of one dark level: its means are 0), when the rectangle
// would be reversed, or for an empty bitmap or Tolerance <= 0.
bool IEAutoCropRect(TIEBitmap* Bitmap, TRect& Rect, double Tolerance);

// Fills X1 <= x < X2, Y1 <= y < Y2 (clipped) with Colour: ie1g white when the
// red byte is not 0, black otherwise; ie8g the colour's gray; ie24RGB the
// three bytes; other formats through TIEBitmap::FillRect.
void IEFillRect(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TRGB Colour,
                const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);

// Paints Colour into the 4-connected region around (X, Y) whose pixels differ
// from the seed by at most Tolerance in each of red, green and blue.  Nothing
// when (X, Y) lies outside the bitmap.
void IECastColor(TIEBitmap* Bitmap, int32_t X, int32_t Y, TRGB Colour, int32_t Tolerance,
                 const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
