#pragma once
// Exact turns of a whole image by a multiple of 90 degrees: every pixel moves
// to its place in the turned grid; nothing is sampled and nothing filled.
//
// 1-bit images turn a word at a time.  A quarter turn loads 64 rows of 64
// pixels as 64 words, transposes that block of bits in six exchange steps and
// stores each word straight into the turned row it belongs to; a half turn
// reverses each row's words and the bits inside them, shifted by the row's
// padding.  Bits past the width are never read as pixels and come out clear.
// Other formats move whole pixels: a quarter turn by tiles that keep both
// images in cache, a half turn a row at a time.
//
// Source rows in a temporary file are leased for the time of a quarter turn;
// a destination in a temporary file is written a band of rows at a time.
#include <cstdint>

class TIEBitmap;

// Dst becomes Src turned by Turn degrees: 90 counter-clockwise (pixel (x, y)
// of a W x H image goes to (y, W - 1 - x)), 270 clockwise (to (H - 1 - y, x))
// or 180 (to (W - 1 - x, H - 1 - y)).  Dst is allocated in Src's format at the
// turned size (an ie8p palette copied); its alpha plane is not touched.
// False, with Dst empty, when memory for it cannot be had, for any other Turn
// and for formats without whole bytes or single bits per pixel.
bool IETurnExact(TIEBitmap* Src, TIEBitmap* Dst, int32_t Turn);

// The quarter-turn count of an angle in degrees that is a whole multiple of
// 90, as 0, 90, 180 or 270 counter-clockwise; -1 for any other angle.
int32_t IEExactTurnOf(double Angle);

// Gives Bitmap the pixels of Turned (another image of any size): handed over
// when both live in memory with the same row layout, copied otherwise.
// Bitmap keeps its mono conversion, and its alpha plane while the size stays
// (a plane that no longer fits is dropped); Turned is left empty or as it
// was.
void IETakeTurnedPixels(TIEBitmap* Bitmap, TIEBitmap* Turned);
