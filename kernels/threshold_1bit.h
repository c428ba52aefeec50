#pragma once
// Reduction of images to 1 bit per pixel: by a gray threshold (given, the
// gray of the mean colour, or a maximum-entropy threshold) and by an 8 x 8
// ordered dither. In 1-bit images a set bit is white.
#include <cstdint>

class TIEBitmap;
struct TIEProgressRec;

// The ordered-dither matrix, indexed [x and 7][y and 7]. A pixel of level L
// (0..63) is white where the matrix value is below L.
extern const int32_t IEOrderedDitherMatrix[8][8];

// Dst = a 1-bit image of Src: a pixel is white when its gray level (the
// library's weights) is at least Threshold. Threshold -1 uses the gray of the
// mean colour, -2 a maximum-entropy threshold. Src may have any pixel format;
// a 1-bit Src is copied. Dst is (re)allocated as ie1g of Src's size when it is
// not already. Progress may be null.
void IEThresholdTo1Bit(TIEBitmap* Src, TIEBitmap* Dst, int32_t Threshold,
                       TIEProgressRec* Progress = nullptr);

// In place, ie24RGB only (other formats are left alone): ordered dither with
// level = gray >> 2, pixels whose channels are all above 250 always white.
void IEConvertTo1BitOrdered(TIEBitmap* Bitmap, TIEProgressRec* Progress = nullptr);
// In place, ie24RGB only: IEThresholdTo1Bit with Threshold.
void IEConvertTo1BitThreshold(TIEBitmap* Bitmap, int32_t Threshold,
                              TIEProgressRec* Progress = nullptr);
