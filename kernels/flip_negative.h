#pragma once
// Colour negative of every pixel format, bitwise inversion of buffers and
// bitmaps (the photometric conversions of the codecs), and the opaque extent
// of an alpha plane.  Mirroring is IEFlip in rotate_kernels.h.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// Mirroring directions, as IEFlip takes them.
enum TIEFlipDirection : uint8_t { flipHorizontal = 0, flipVertical = 1 };

// Negative of the rectangle (X2, Y2 exclusive, limited to the bitmap): 1-bit
// pixels toggle, gray and colour channels become their complement (16-bit:
// 65535 - v, float: 1 - v), CMYK and CIELab go through RGB, the fourth byte
// of ie32RGB is kept.  ie8p inverts its whole palette.  Whole bytes are
// inverted in runs, so 1-bit pages and 24-bit rows go at memory speed.
void IENegative(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Bitwise NOT of Length bytes.
void IEInvertBuffer(void* Buffer, int64_t Length);
// Bitwise NOT of every row over the whole row length (padding included).
void IEInvertBitmap(TIEBitmap* Bitmap);

struct TIEAlphaExtent {
  int32_t Left = 0, Top = 0, Right = -1, Bottom = -1;  // inclusive
};
// The rows and columns left after trimming fully transparent edges; the whole
// image without an alpha plane; Left = width, Right = -1, Top = height,
// Bottom = -1 when every pixel is transparent.
TIEAlphaExtent IEGetAlphaExtent(TIEBitmap* Bitmap);
