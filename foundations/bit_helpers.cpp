#include "foundations/bit_helpers.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "platform/gdi/bitmap.h"

namespace {

constexpr uint8_t ReverseByte(uint8_t b) {
  uint8_t r = 0;
  for (int i = 0; i < 8; ++i)
    if (b & (1u << i)) r |= static_cast<uint8_t>(0x80u >> i);
  return r;
}

struct ReverseTable {
  uint8_t v[256];
  constexpr ReverseTable() : v{} {
    for (int i = 0; i < 256; ++i) v[i] = ReverseByte(static_cast<uint8_t>(i));
  }
};

constexpr ReverseTable kReverse{};

// Base raised to an integral exponent by repeated squaring, in the precision
// of the base; the reciprocal for a negative exponent.
template <class T>
T PowerInt(int32_t Exponent, T Base) {
  // The magnitude of INT32_MIN does not fit an int32_t; work unsigned.
  uint32_t n = Exponent < 0 ? 0u - static_cast<uint32_t>(Exponent) : static_cast<uint32_t>(Exponent);
  T result = 1;
  T b = Base;
  while (n != 0) {
    if (n & 1u) result *= b;
    b *= b;
    n >>= 1;
  }
  return Exponent < 0 ? 1 / result : result;
}

}  // namespace

const uint8_t IEBitMask1[8] = {128, 64, 32, 16, 8, 4, 2, 1};

const uint8_t IEReverseBitTable[256] = {
#define R(i) kReverse.v[i]
#define R8(i) R(i), R(i + 1), R(i + 2), R(i + 3), R(i + 4), R(i + 5), R(i + 6), R(i + 7)
#define R64(i) R8(i), R8(i + 8), R8(i + 16), R8(i + 24), R8(i + 32), R8(i + 40), R8(i + 48), R8(i + 56)
    R64(0), R64(64), R64(128), R64(192)
#undef R64
#undef R8
#undef R
};

int64_t IEBitmapRowLen(int64_t Width, int32_t BitsPerPixel, int32_t AlignBits) {
  if (Width <= 0 || BitsPerPixel <= 0 || AlignBits <= 0) return 0;
  // An image side is an Integer, so real rows stay far inside 64 bits; a width
  // whose bit count would not fit answers -1, which no allocation accepts.
  if (Width > (INT64_MAX - AlignBits) / BitsPerPixel) return -1;
  const int64_t bits = Width * BitsPerPixel;
  if (AlignBits == 32) return ((bits + 31) >> 5) << 2;
  return (bits + AlignBits - 1) / AlignBits * (AlignBits / 8);
}

int64_t IETBitmapRowLen(int64_t Width, TPixelFormat PixelFormat) {
  return IEBitmapRowLen(Width, IEPixelFormatToBitCount(PixelFormat), 32);
}

int32_t IEPixelFormatToBitCount(TPixelFormat PixelFormat) {
  switch (PixelFormat) {
    case pf1bit: return 1;
    case pf4bit: return 4;
    case pf8bit: return 8;
    case pf15bit: return 15;
    case pf16bit: return 16;
    case pf24bit: return 24;
    case pf32bit: return 32;
    default: return 0;
  }
}

TIEPixelFormat IEPixelFormatFromTBitmap(TPixelFormat PixelFormat) {
  switch (PixelFormat) {
    case pf1bit: return ie1g;
    case pf4bit:
    case pf8bit: return ie8p;
    default: return ie24RGB;
  }
}

int32_t IEBitMaskWidth(uint32_t Mask) {
  if (Mask == 0) return 0;
  while ((Mask & 1u) == 0) Mask >>= 1;
  int32_t width = 0;
  while (Mask & 1u) {
    ++width;
    Mask >>= 1;
  }
  return width;
}

int32_t IEColorCountToBitCount(int32_t Count) {
  if (Count <= 0) return -1;
  int32_t high = 31;
  while ((static_cast<uint32_t>(Count) & (1u << high)) == 0) --high;
  if ((Count & (Count - 1)) == 0) return high;  // a power of two
  return high + 1;
}

void IEReverseBitOrder(uint8_t& B) { B = IEReverseBitTable[B]; }

void IEReverseBitOrderBuffer(uint8_t* P, int64_t Count) {
  for (int64_t i = 0; i < Count; ++i) P[i] = IEReverseBitTable[P[i]];
}

void IEReverseBits32(uint32_t& V) {
  uint32_t v = IESwapDWord(V);
  v = ((v >> 1) & 0x55555555u) | ((v & 0x55555555u) << 1);
  v = ((v >> 2) & 0x33333333u) | ((v & 0x33333333u) << 2);
  v = ((v >> 4) & 0x0F0F0F0Fu) | ((v & 0x0F0F0F0Fu) << 4);
  V = v;
}

uint16_t IESwapWord(uint16_t V) { return static_cast<uint16_t>((V >> 8) | (V << 8)); }

void IESwapWords(void* P, int64_t Count) {
  auto* b = static_cast<uint8_t*>(P);
  for (int64_t i = 0; i < Count; ++i, b += 2) {
    const uint8_t t = b[0];
    b[0] = b[1];
    b[1] = t;
  }
}

uint32_t IESwapDWord(uint32_t V) {
  return (V >> 24) | ((V >> 8) & 0x0000FF00u) | ((V << 8) & 0x00FF0000u) | (V << 24);
}

long double IEPowerInt(int32_t Exponent, long double Base) { return PowerInt(Exponent, Base); }

long double IEPower(long double Base, long double Exponent) {
  if (Exponent == 0.0L) return 1.0L;
  if (Base == 0.0L && Exponent > 0.0L) return 0.0L;
  if (std::trunc(Exponent) == Exponent && std::fabs(Exponent) <= 2147483647.0L)
    return IEPowerInt(static_cast<int32_t>(Exponent), Base);
  return std::exp(Exponent * std::log(Base));
}

double IEPowerDouble(double Base, double Exponent) {
  if (Exponent == 0.0) return 1.0;
  if (Base == 0.0 && Exponent > 0.0) return 0.0;
  if (std::trunc(Exponent) == Exponent && std::fabs(Exponent) <= 2147483647.0)
    return PowerInt(static_cast<int32_t>(Exponent), Base);
  return std::exp(Exponent * std::log(Base));
}
