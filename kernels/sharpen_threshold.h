#pragma once
// Unsharp-mask sharpening and rounded (transparent) corners.  The 1-bit
// threshold conversion lives in threshold_1bit.h, histogram matching in
// histogram.h, the preset 3 x 3 filters in convolution.h.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// ie24RGB: each channel v of the rectangle (X2, Y2 exclusive) becomes
// v + (v - mean) x Amount / 10, truncated and limited to 0..255, the mean
// taken over the WindowSize x WindowSize window around the pixel without its
// own row and column.  A window with nothing left (WindowSize 1) takes the
// pixel itself as the mean, so it changes nothing.
void IESharpen(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Amount,
               int32_t WindowSize, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Makes the four corners outside quarter curves of CornerWidth x
// CornerHeight transparent (creating the alpha plane when needed).  Nothing
// for an empty bitmap or a corner size below 1.
void IERoundCorners(TIEBitmap* Bitmap, int32_t CornerWidth, int32_t CornerHeight);
