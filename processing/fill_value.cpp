#include "processing/fill_value.h"

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "kernels/quantizer.h"

double IEFillValueOf(TIEBitmap* B, TColor Color) {
  const TRGB C = IEColorToRGB(Color);
  const int32_t Gray = IEClampByte(IERGBToGray(C));
  switch (B->GetPixelFormat()) {
    case ie1g:
      return Gray >= 128 ? 1 : 0;
    case ie8g:
      return Gray;
    case ie16g:
      return Gray * 257;
    case ie32f:
      return Gray / 255.0;
    case ie8p:
      return IEFindNearestColorIndex(B->GetPalette(), B->GetPaletteLen(), C);
    default:
      return double(uint32_t(IERGBToColor(C)));
  }
}
