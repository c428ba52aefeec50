#pragma once
// Device-independent bitmaps: the packed layout (BITMAPINFOHEADER, colour
// table, pixel rows) used by the clipboard, printing and the BMP format,
// and a StretchDIBits-like blit of such bits onto a canvas.
// Rows are 32-bit aligned; a positive height means bottom-up rows (the first
// row in memory is the bottom row), a negative height top-down rows.
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/gdi/colors.h"

class TCanvas;

constexpr uint32_t BI_RGB = 0;
constexpr uint32_t BI_RLE8 = 1;
constexpr uint32_t BI_RLE4 = 2;
constexpr uint32_t BI_BITFIELDS = 3;
constexpr uint32_t DIB_RGB_COLORS = 0;
constexpr uint32_t DIB_PAL_COLORS = 1;

// The 40-byte header, laid out as in files (little-endian host).
struct TBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = BI_RGB;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};
static_assert(sizeof(TBitmapInfoHeader) == 40, "BITMAPINFOHEADER must be 40 bytes");
using BITMAPINFOHEADER = TBitmapInfoHeader;

// Bytes of one DIB row (32-bit aligned); -1 for a negative width or a
// result beyond 2^31.
int64_t DIBRowLength(int64_t Width, int32_t BitCount);

// Describes a packed DIB held in memory.
struct TDIBLayout {
  TBitmapInfoHeader Header;
  std::vector<TRGBQuad> Colors;  // the colour table (1, 4 and 8 bits)
  uint32_t Masks[3] = {0, 0, 0};  // red, green, blue masks of 16/32-bit DIBs
  size_t BitsOffset = 0;          // from the start of the packed DIB
  int64_t RowLength = 0;
  bool BottomUp = true;
};

// Bytes of header, bit-field masks and colour table at the start of a
// packed DIB, from the header in Header[0..Available); -1 when the header
// size is unknown or the header itself is cut short. The answer may exceed
// Available: callers check that the block holds it.
int64_t PackedDIBInfoSize(const uint8_t* Header, size_t Available);

// Reads the header, masks and colour table of the packed DIB in
// Data[0..Size); false when they are malformed, or (RowsFollow) when the
// rows do not fit in Size (an unsupported compression also answers false).
// Header sizes 12 (core), 40 and the longer versions are read.
bool ReadPackedDIBLayout(const uint8_t* Data, size_t Size, TDIBLayout& Layout,
                         bool RowsFollow = true);

// Image as Format_Mono with the table black, white: pixels of luminance
// >= 128 become index 1 (white). Null when it cannot be allocated.
QImage ThresholdToMono(const QImage& Image);

// Builds a packed DIB of Image with BitCount 1, 4, 8, 24 or 32 bits
// (other counts give an empty vector). Images of another depth are
// converted: to 1 bit by luminance >= 128 (white), to 4 and 8 bits through a
// colour table built from the image. The colour table holds 2^BitCount
// entries; biClrUsed is 0. Dots per meter come from the image.
std::vector<uint8_t> CreatePackedDIB(const QImage& Image, int32_t BitCount, bool BottomUp = true);

// Decodes a packed DIB into Out (1 bit: Format_Mono with its table; 4 and 8
// bits: Format_Indexed8; 16 bits: Format_RGB16 or Format_RGB555 by masks;
// 24: Format_BGR888; 32: Format_RGB32). False, Out untouched, when the DIB
// cannot be read.
bool ParsePackedDIB(const uint8_t* Data, size_t Size, QImage& Out);

// Stretches the rectangle (XSrc, YSrc, SrcWidth, SrcHeight) of the DIB
// described by BitsInfo (header and colour table) with pixels Bits onto DC
// at (XDest, YDest, DestWidth, DestHeight), with the canvas's stretch mode
// and raster operation Rop (SRCCOPY, SRCINVERT, ...). For bottom-up DIBs
// YSrc counts from the bottom row, as the header's orientation says. Bits
// must hold the whole DIB. Answers the number of rows drawn, 0 on failure.
int32_t StretchDIBits(TCanvas* DC, int32_t XDest, int32_t YDest, int32_t DestWidth,
                      int32_t DestHeight, int32_t XSrc, int32_t YSrc, int32_t SrcWidth,
                      int32_t SrcHeight, const void* Bits, const void* BitsInfo, uint32_t Usage,
                      uint32_t Rop);
