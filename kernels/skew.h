#pragma once
// Skew detection of scanned pages: by how many degrees the text lines of a
// page are tilted.  The page is reduced to a working width, turned into a
// 1-bit edge map when asked (or when it is not black and white), and a Hough
// transform restricted to angles near the horizontal votes every black pixel
// into (angle, distance) cells; the angle of the most voted cell, less 90
// degrees, is the skew.  A positive result means the lines fall toward the
// right (the page turned clockwise); turning the page by the result with the
// rotation kernels (positive = counter-clockwise) straightens it.
//
// A picture without black pixels, a search without voting rows or arguments
// out of range find nothing: the answer is then 0 and Found (when given) is
// false.  Nothing here changes the caller's bitmap.  Caller's thread, except
// that the reduction of a colour page may use the resampling workers.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// The angle search on an ie1g picture.  Precision is cut to one decimal and
// must then lie in 0.1 .. 1 degree (steps per degree = the rounded inverse);
// AngleRange (0 .. 180) is the width of the searched band around the
// horizontal.  Progress reports Trunc(Progress.per1 x row) after each row
// when its method is set (per1 is set here to 100 / height).
double IEHoughSkewAngle(TIEBitmap* Bitmap, TIEProgressRec& Progress, int32_t AngleRange, double Precision,
                        bool* Found = nullptr);

// The measurement on any bitmap: reduction to ResampleWidth (< 1 or equal to
// the width: none), then the edge map when EdgeDetect is set or the picture is
// not 1-bit, then the angle search.  A colour page reduced without edge
// detection is not measured (0, not found).
double IEDetectSkewAngle(TIEBitmap* Bitmap, int32_t ResampleWidth, int32_t AngleRange, double Precision,
                         bool EdgeDetect, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr,
                         bool* Found = nullptr);

// Turns a 1-bit page by Angle degrees about its centre in place, keeping its
// size (corners that leave the page are cut, white comes in): three shears
// of whole bit runs, the rotation deskewing wants for small angles.  Positive
// angles turn counter-clockwise, as the rotation kernels do.  False, with the
// page unchanged, for another format, |Angle| above 45 or memory that cannot
// be had.
bool IERotate1BitShear(TIEBitmap* Bitmap, double Angle);
