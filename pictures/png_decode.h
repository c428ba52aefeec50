#pragma once
// Shared pieces of the PNG image-data decoder and encoder: the Paeth
// predictor, the removal of row filters, the Adam7 pass geometry and the
// layout of the in-memory image for each colour type and bit depth.
#include <cstdint>

// The Paeth predictor of the PNG standard (a left, b above, c upper left).
inline uint8_t PaethPredict(uint8_t a, uint8_t b, uint8_t c) {
  const int pa = b > c ? b - c : c - b;
  const int pb = a > c ? a - c : c - a;
  const int s = int(a) + int(b) - 2 * int(c);
  const int pc = s < 0 ? -s : s;
  if (pa <= pb && pa <= pc) return a;
  if (pb <= pc) return b;
  return c;
}

// Removes the filter of Row (Row[0] the filter type, then RowBytes bytes) in
// place, with Previous (same layout) the unfiltered row above and Distance
// the bytes per complete pixel. A filter type above 4 raises
// EPNGUnknownCompression: the row cannot be reconstructed.
void UnfilterRow(uint8_t* Row, const uint8_t* Previous, int64_t RowBytes, int32_t Distance);

// The seven Adam7 passes.
struct TAdam7Pass {
  int32_t StartRow, StartColumn, RowStep, ColumnStep;
};
constexpr TAdam7Pass kAdam7Passes[7] = {{0, 0, 8, 8}, {0, 4, 8, 8}, {4, 0, 8, 4}, {0, 2, 4, 4},
                                        {2, 0, 4, 2}, {0, 1, 2, 2}, {1, 0, 2, 1}};

// True for the colour type and bit depth pairs the PNG standard allows.
bool PngValidColorTypeAndDepth(uint8_t ColorType, uint8_t BitDepth);
// Bits per pixel of the in-memory image: 1, 4 or 8 with a colour table for
// gray, palette and gray with alpha; 24 for RGB and RGB with alpha.
int32_t PngDibBitCount(uint8_t ColorType, uint8_t BitDepth);
