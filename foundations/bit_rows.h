#pragma once
// Bit-run copies in 1-bit rows and whole-bitmap copies of platform bitmaps.
//
// Bits are numbered from the most significant bit of the first byte: bit n
// lies in byte n / 8 under mask 128 >> (n % 8).  In the library's 1-bit images
// a set bit is white.
#include <cstdint>
#include <memory>

class TBitmap;

// Copies BitCount bits from Source (starting at bit SourceBitOffset) to Dest
// (starting at bit DestBitOffset).  The bits of Dest outside the run keep
// their values.  Source is read from byte SourceBitOffset / 8 and never beyond
// SourceByteLength bytes from its start (bits past that end read as 0).
// Nothing happens when BitCount < 1 or an offset is negative.
void IECopyBits(uint8_t* Dest, const uint8_t* Source, int64_t DestBitOffset,
                int64_t SourceBitOffset, int64_t BitCount, int64_t SourceByteLength);
// The same run copied one bit at a time (SourceByteLength is not used).
void IECopyBitsOneByOne(uint8_t* Dest, const uint8_t* Source, int64_t DestBitOffset,
                        int64_t SourceBitOffset, int64_t BitCount, int64_t SourceByteLength);

// Copies Source into Dest: size, pixel format, colour table and pixels.  An
// empty Source makes Dest 1 x 1 in Source's pixel format.
void IECopyTBitmap(TBitmap* Source, TBitmap* Dest);
// A new bitmap copied from Source by IECopyTBitmap.
std::unique_ptr<TBitmap> IECloneTBitmap(TBitmap* Source);
