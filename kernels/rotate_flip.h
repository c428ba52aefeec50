#pragma once
// Quarter turns and mirrors of an image buffer with its alpha plane, and
// turning an image upright after its EXIF orientation value. Images of 1 bit
// or whole bytes per pixel are turned; others, and empty ones, are left alone.
#include <cstdint>

class TIEBitmap;

// Mirrors Image and its alpha plane in place: Vertical reverses the order of
// the rows, otherwise each row is reversed.
void IEMirror(TIEBitmap* Image, bool Vertical);

// Turns Image and its alpha plane by a quarter turn in place (CounterClockwise
// = +90 degrees), swapping width and height. False, with the image as it was,
// when memory for the turned copy cannot be had.
bool IERotateQuarter(TIEBitmap* Image, bool CounterClockwise);

// 2 mirror horizontally; 3 mirror vertically, then horizontally; 4 mirror
// vertically; 5 rotate by -90 degrees, then mirror horizontally (the
// transpose: stored row 0 becomes the left column); 6 rotate by -90; 7 rotate
// by +90, then mirror horizontally (the transverse: stored row 0 becomes the
// right column, read upwards); 8 rotate by +90; any other value (1 = upright)
// leaves the image alone.  Positive angles turn counter-clockwise; a rotation
// swaps width and height exactly.  The alpha
// plane turns with the image.  When memory for the turned copy cannot be had
// the image stays as it was.
void IEApplyEXIFOrientation(TIEBitmap* Image, int32_t Orientation);
