#pragma once
// TIFF strip and tile decoding: fetches the compressed strips or tiles of one
// page, decompresses them row by row (none, Modified Huffman, Group 3, Group 4,
// LZW, PackBits, Deflate; JPEG strips and tiles whole, through the JPEG
// codec), undoes the horizontal predictor and the fill order,
// and converts every row from the file's sample layout into the bitmap's pixel
// format and the alpha mask.
//
// Rows the data does not reach are white (strips set them, the reader fills
// tiled pages beforehand).  A layout
// or compression this decoder does not handle sets the abort flag: a page is
// never passed off as read when its pixels were not decoded.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "formats/tiff/tiff_reader.h"

class TIEBitmap;
struct TIEProgressRec;

// Decodes the whole page (Vars.TileIndex = -1) or one tile into Bitmap, which
// the reader has allocated with the page's (or the tile's) size.  Strips:
// every byte of the page the data does not reach is set to Fill (the page
// need not be filled beforehand).  Tiles: those bytes stay as they were.
void TiffReadStrips(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                    TIEProgressRec& Progress, uint8_t Fill);
void TiffReadTiles(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                   TIEProgressRec& Progress);

// Decodes RowCount rows of Width pixels held in Data (DataLength bytes, one
// strip or tile) into Bitmap from row FirstRow and pixel column XPixel.
// Columns and rows outside the bitmap are decoded and dropped.
void TiffDecodeRows(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t FirstRow, TIEProgressRec& Progress,
                    int32_t RowCount, int32_t Width, int64_t DataLength, const uint8_t* Data,
                    int32_t XPixel);

// The same for planar configuration 2: one buffer per plane, at most 10.
void TiffDecodePlanarRows(TTIFFVars& Vars, TIEBitmap* Bitmap, int32_t FirstRow,
                          TIEProgressRec& Progress, int32_t RowCount, int32_t Width,
                          const uint8_t* const* PlaneData, const int64_t* PlaneLength,
                          int32_t XPixel = 0);

// The older JPEG form (compression 6): the JPEG interchange block (tags 513,
// 514) with each strip's data, or one whole JPEG stream; into a 24-bit page.
void TiffReadOldJpeg(const TiffDirectory& Directory, TTIFFVars& Vars, TIEBitmap* Bitmap,
                     TIEProgressRec& Progress);

// Undoes horizontal differencing (Predictor 2) in a row of Width pixels of
// Samples samples of Bits bits (16-bit samples in host order).
void TiffUndoPredictor(uint8_t* Row, int32_t Width, int32_t Samples, int32_t Bits);

// Bytes of one packed row of Width pixels as stored (Samples samples of Bits
// bits each; YCbCr 2 x 1 subsampled rows hold 4 bytes per pixel pair, a last
// odd pixel included).
int64_t TiffRowLength(const TTIFFVars& Vars, int32_t Width, int32_t Samples);

// The compression values this decoder handles.
bool TiffCompressionSupported(int32_t Compression);

// The sample layout of Vars has a conversion into Format.
bool TiffLayoutSupported(const TTIFFVars& Vars, TIEPixelFormat Format);
