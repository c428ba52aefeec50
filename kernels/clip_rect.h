#pragma once
// The rectangle X1..X2-1 x Y1..Y2-1 limited to a 24-bit bitmap, shared by the
// colour kernels.
#include <cstdint>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"

// Limits the rectangle to the bitmap; false when nothing is left or the
// bitmap is not ie24RGB.
inline bool IEClipRect24(TIEBitmap* B, int32_t& X1, int32_t& Y1, int32_t& X2, int32_t& Y2) {
  if (!B || B->GetPixelFormat() != ie24RGB) return false;
  X2 = IEMinInt(X2, B->GetWidth());
  Y2 = IEMinInt(Y2, B->GetHeight());
  X1 = IEMaxInt(X1, 0);
  Y1 = IEMaxInt(Y1, 0);
  return X1 < X2 && Y1 < Y2;
}
