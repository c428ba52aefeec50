#pragma once
// Histograms of 24-bit images and the operations built on them: range
// stretching, automatic equalisation and matching one image's colours to
// another's.  Rectangles: X2 and Y2 exclusive, limited to the bitmap.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "foundations/progress.h"

class TIEBitmap;
class TIEMask;
class TObject;

// One entry per level: counts of red, green, blue and gray at that level.
struct TIEHistogramEntry {
  uint32_t r = 0;
  uint32_t g = 0;
  uint32_t b = 0;
  uint32_t gray = 0;
};
using TIEHistogram = TIEHistogramEntry[256];

// Zeroes Hist and counts the rectangle's pixels that the mask selects (no
// mask or an empty one selects all).  A bitmap that is not ie24RGB leaves
// Hist untouched.
void IEHistogram(TIEBitmap* Bitmap, TIEHistogram& Hist, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                 TIEMask* Mask = nullptr);
// Stretches each channel so that Low maps to 0 and High to 255.
void IEHistEqualize(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, const TRGB& Low,
                    const TRGB& High, const TIEProgressEvent& OnProgress = nullptr,
                    TObject* Sender = nullptr);
// Equalises the gray histogram of the whole image, applied to the rectangle,
// with each pixel judged against the mean of its 3 x 3 neighbourhood.
void IEHistAutoEqualize(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                        const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Equalises each channel of Target (ie24RGB or ieRGB48), then maps it onto
// the cumulative histogram of Reference (ie24RGB).
void IEMatchHistograms(TIEBitmap* Reference, TIEBitmap* Target);
