#pragma once
// Resampling of image buffers: nearest-neighbour and bilinear stretches and
// the box average that turns 1-bit pages into gray thumbnails. Each fills a
// Dest already allocated at the wanted size; empty images are left alone.
// Rows are read through copies, so file-backed sources work.
class TIEBitmap;

// Nearest-neighbour scaling of Source into Dest (allocated with Source's pixel
// format); exact for every pixel format, 1-bit rows included; the palette is
// copied.
void IEStretchNearest(TIEBitmap* Source, TIEBitmap* Dest);

// Bilinear scaling of a 24-bit RGB Source into a 24-bit RGB Dest.
void IEStretchLinear24(TIEBitmap* Source, TIEBitmap* Dest);

// A 1-bit Source reduced (or enlarged) into the 24-bit Dest: each target pixel
// is the average of the source pixels it covers, a set bit counting 255.
void IEResample1BitBoxGray(TIEBitmap* Source, TIEBitmap* Dest);
