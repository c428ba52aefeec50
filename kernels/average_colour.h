#pragma once
// Mean colour of an image of any pixel format.
#include <cstdint>

class TIEBitmap;

// Mean red, green and blue (integers). Each row's sums are divided by the
// width and added up, the totals divided by the height, so the result stays
// in 0..255 for any image size. Pixels are read per format: ie1g 255 for a
// set bit, ie8p through the palette, ie8g replicated, ie16g and ieRGB48 as
// Trunc(v / 65535 x 255), ie32f as Trunc(v x 255) (clamped to 0..1), ieCMYK
// and ieCIELab converted to RGB, ie24RGB and ie32RGB their bytes. An empty
// bitmap gives 0, 0, 0.
void IEGetAverageRGB(TIEBitmap* Bitmap, int32_t& Red, int32_t& Green, int32_t& Blue);
