#pragma once
// Gray-level morphology on ie24RGB images: every pixel takes the whole colour
// of the brightest or darkest pixel (by gray level) of its window.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// Operation 0 dilation (brightest), 1 erosion (darkest), 2 opening (darkest,
// then brightest), 3 closing (brightest, then darkest); any other value does
// nothing.  The window reaches WindowSize pixels to each side, clamped into
// the rectangle (X2, Y2 exclusive), whose borders repeat; ties keep the first
// pixel met row by row from the window's top-left.
void IEMorphFilter(TIEBitmap* Bitmap, int32_t WindowSize, int32_t Operation, int32_t X1, int32_t Y1,
                   int32_t X2, int32_t Y2, const TIEProgressEvent& OnProgress = nullptr,
                   TObject* Sender = nullptr);
