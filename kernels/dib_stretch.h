#pragma once
// Moving pixels between layouts: the unfiltered nearest-pixel stretch, the
// decoding of packed device-independent bitmaps (and YUV video frames) into
// image buffers, gamma correction of a 24-bit DIB, red/blue swaps for codecs
// that store RGB order, and the conversion of one row between 1, 4, 8, 24 and
// 32 bits per pixel.
//
// A packed DIB here is a block in memory with its length: a BITMAPINFOHEADER,
// the colour table, optional masks and the rows.  Every size is checked
// against the block before a byte is read; a DIB that does not fit, or one
// whose layout is not understood (run-length rows that do not decode, unknown
// video codes), is refused with 0 and leaves the bitmap untouched.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundations/pixel_types.h"
#include "foundations/bitmap_stretch.h"
#include "foundations/progress.h"

class TIEBitmap;
class TIEQuantizer;
class TObject;

// Copies every destination pixel from source pixel (Trunc(x x srcW / dstW),
// Trunc(y x srcH / dstH)), any pixel format.  Dst must already have its size
// and Src's pixel format; an ie8p palette is copied.  Returns Dst.
TIEBitmap* _IEBmpStretchEx(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender = nullptr,
                           const TIEProgressEvent& OnProgress = nullptr);

// Fills Bitmap from the packed DIB of DIBSize bytes.  Pixels (PixelsSize bytes),
// when given, is where the pixel rows lie instead of after the header, table
// and masks (video frames).  1-bit DIBs become ie1g with their colour table
// applied; everything else ie24RGB.  Bottom-up and top-down (negative height)
// rows, uncompressed 1/4/8/16/24/32 bits, bit fields, run-length 4 and 8 bits
// and the YUV layouts I420, IYUV, YV12, YVU9, YUY2, YUNV, UYVY, UYNV, cyuv,
// YVYU, IYU2, Y211, IYU1, Y41P and CLJR (whose 5- and 6-bit fields are
// widened to 8 bits first).  Returns the header's bit count, 0 when nothing was decoded.
int32_t IECopyDIBToBitmap(const void* DIB, size_t DIBSize, TIEBitmap* Bitmap, const void* Pixels = nullptr,
                          size_t PixelsSize = 0);

// IEDIBGammaCorrect (gamma of a packed 24-bit DIB in place) lives beside the
// DIB copies of the image buffer, in foundations/bitmap_stretch.h.

// Copies Count 3-byte pixels exchanging their first and third bytes.
void IECopySwapRB(void* Dest, const void* Source, int32_t Count);
// The same exchange in place.
void IESwapRB(void* Buffer, int32_t Count);
// Exchanges the first and third 16-bit word of Count 6-byte pixels in place.
void IESwapRB48(void* Buffer, int32_t Count);
// Exchanges blue and red in the first Count palette entries.
void IESwapRBArray(TRGB* Palette, int32_t Count);

// Converts one row of Width pixels from SourceBits to DestBits per pixel
// (pairs 24>4, 24>8, 24>24, 32>24, 8>1, 8>8, 8>24, 1>1, 1>4, 1>8, 1>24, 4>4,
// 4>8, 4>24); colours become indexes through Quantizer, indexes become colours
// through Palette (PaletteCount entries; an index beyond it gives black).
// 4-bit destinations are OR-ed into a row the caller zeroed.  Returns the row
// length for DestBits (0 for unknown depths); other pairs write nothing.
int32_t IEConvertRowBitDepth(const uint8_t* Source, uint8_t* Dest, uint16_t SourceBits, uint16_t DestBits,
                             uint16_t Width, const TRGB* Palette, int32_t PaletteCount, TIEQuantizer* Quantizer);

// When Bitmap holds exactly two colours: a new ie1g image of it, with the
// darker colour (by the library's gray weights; the first met on a tie) for
// the 0 bits, and the two colours in ColourA (0 bits) and ColourB (1 bits).
// nullptr for any other number of colours.
std::unique_ptr<TIEBitmap> IEConvertTwoColorTo1Bit(TIEBitmap* Bitmap, TRGB& ColourA, TRGB& ColourB);
