#pragma once
// Leaf helpers shared by the image buffers, the masks and the codecs: the row
// length rule, bit access in 1-bit rows, byte-order and bit-order swaps, powers.
//
// 1-bit rows hold pixel x in bit (7 - (x & 7)) of byte x / 8: the most
// significant bit is the leftmost pixel.
#include <cstdint>

#include "foundations/pixel_types.h"

// Pixel format of a platform bitmap (platform/gdi/bitmap.h).
enum TPixelFormat : uint8_t;

// Mask of pixel x within its byte, indexed by x and 7: 128, 64, ..., 1.
extern const uint8_t IEBitMask1[8];

// Table that reverses the eight bits of a byte (TIFF fill order 2).
extern const uint8_t IEReverseBitTable[256];

// Bytes of one row of Width pixels of BitsPerPixel bits, padded to AlignBits
// (a positive multiple of 8).  Computed in 64 bits: huge widths cannot wrap.
// Answers 0 for a zero or negative width, bit count or alignment, and -1 when
// the bit count of the row would not fit 64 bits.
int64_t IEBitmapRowLen(int64_t Width, int32_t BitsPerPixel, int32_t AlignBits);

// Row length of a platform bitmap: IEBitmapRowLen (Width, bit count of the
// format, 32).
int64_t IETBitmapRowLen(int64_t Width, TPixelFormat PixelFormat);
// Bits per pixel of a platform bitmap format: pf1bit 1, pf4bit 4, pf8bit 8,
// pf15bit 15, pf16bit 16, pf24bit 24, pf32bit 32, device or custom 0.
int32_t IEPixelFormatToBitCount(TPixelFormat PixelFormat);
// Image-buffer format matching a platform bitmap format: pf1bit ie1g, pf4bit
// and pf8bit ie8p, anything else ie24RGB.
TIEPixelFormat IEPixelFormatFromTBitmap(TPixelFormat PixelFormat);

// Non-zero when pixel X of a 1-bit row is set.
inline int32_t IEGetBit(const uint8_t* Row, int64_t X) { return Row[X >> 3] & (0x80 >> (X & 7)); }
// Sets pixel X of a 1-bit row when Value != 0, else clears it.
inline void IESetBit(uint8_t* Row, int64_t X, int32_t Value) {
  const uint8_t Mask = uint8_t(0x80 >> (X & 7));
  if (Value != 0)
    Row[X >> 3] |= Mask;
  else
    Row[X >> 3] &= uint8_t(~Mask);
}

// From the lowest set bit of Mask, the number of consecutive set bits ($7C00
// gives 5, $07E0 gives 6, 0 gives 0).  All 32 bits count.
int32_t IEBitMaskWidth(uint32_t Mask);

// Bits needed for Count colours: -1 for 0 (or less); the bit index for a power
// of two (16 gives 4); otherwise the highest set bit index + 1 (3 gives 2).
int32_t IEColorCountToBitCount(int32_t Count);

// Reverses the bit order of one byte.
void IEReverseBitOrder(uint8_t& B);
// Reverses the bit order of every byte of a block.
void IEReverseBitOrderBuffer(uint8_t* P, int64_t Count);
// Reverses all 32 bits of V.
void IEReverseBits32(uint32_t& V);

// Exchanges the two bytes of V.
uint16_t IESwapWord(uint16_t V);
// Byte-swaps Count consecutive 16-bit values in place (P need not be aligned).
void IESwapWords(void* P, int64_t Count);
// Reverses the four bytes of V.
uint32_t IESwapDWord(uint32_t V);

// Base raised to an integral exponent by repeated squaring; 1 for exponent 0;
// the reciprocal for a negative exponent.
long double IEPowerInt(int32_t Exponent, long double Base);
// Base raised to Exponent: 1 for exponent 0; 0 for base 0 and a positive
// exponent; integral exponents (|e| <= 2147483647) by IEPowerInt; otherwise
// exp(Exponent x ln(Base)).
long double IEPower(long double Base, long double Exponent);
// The same rule on doubles.
double IEPowerDouble(double Base, double Exponent);
