#pragma once
// Expansion of 1-bit images to 24-bit colour: a set bit (white) becomes
// (255, 255, 255), a clear bit (0, 0, 0), eight pixels per source byte through
// a 256-entry table of 24-byte runs.
#include <cstdint>

class TIEBitmap;
class TBitmap;
struct TIEProgressRec;

// The 24 bytes of the eight pixels of each byte value, most significant bit
// first.
const uint8_t* IEBitExpansionTable();
// Expands Width pixels of a 1-bit row into Width x 3 bytes of Dest.
void IEExpand1BitRow(const uint8_t* Source, uint8_t* Dest, int32_t Width);

// Dest = ie24RGB of Source's size holding the expanded pixels. Nothing when
// Source is not ie1g or Dest cannot be allocated.
void IEConvert1BitTo24Bit(TIEBitmap* Source, TIEBitmap* Dest, TIEProgressRec* Progress = nullptr);
// The same between platform bitmaps: Dest is made 1 x 1 with 24 bits per
// pixel, then given Source's size. Nothing when Source is not 1-bit.
void IEConvert1BitTBitmapTo24Bit(TBitmap* Source, TBitmap* Dest, TIEProgressRec* Progress = nullptr);
