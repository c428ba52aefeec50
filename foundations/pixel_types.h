#pragma once
// Pixel formats, storage locations and pixel records of the image buffers.
//
// The records are laid out exactly as the pixels lie in a row, so a row
// pointer may be cast to an array of them.
#include <cstdint>

// Pixel format of an image buffer (one byte; the values are stored in files).
enum TIEPixelFormat : uint8_t {
  ieNoFormat = 0,  // no pixels
  ie1g = 1,        // 1 bit, most significant bit leftmost; 1 = white, 0 = black
  ie8p = 2,        // 8-bit palette index
  ie8g = 3,        // 8-bit gray, 0 black .. 255 white
  ie16g = 4,       // unsigned 16-bit gray, little-endian
  ie24RGB = 5,     // bytes blue, green, red
  ie32f = 6,       // IEEE single gray, 0.0 black .. 1.0 white
  ieCMYK = 7,      // bytes C, M, Y, K, stored inverted (255 = no ink)
  ieRGB48 = 8,     // three little-endian words red, green, blue (red first)
  ieCIELab = 9,    // bytes L, a, b (a and b signed)
  ie32RGB = 10     // bytes blue, green, red, fourth byte
};

inline constexpr int32_t IEPixelFormatCount = 11;

// Bits per pixel of each format, indexed by the format value.
inline constexpr int32_t IEPixelFormat2BitCount[IEPixelFormatCount] = {0,  1,  8,  8,  16, 24,
                                                                       32, 32, 48, 24, 32};
// Channels of each format, indexed by the format value.
inline constexpr int32_t IEPixelFormat2ChannelCount[IEPixelFormatCount] = {0, 1, 1, 1, 1, 3,
                                                                           1, 4, 3, 3, 4};

// Bits per pixel of a format; 0 for a value outside the enumeration.
inline constexpr int32_t IEBitCountOf(TIEPixelFormat F) {
  return uint8_t(F) < IEPixelFormatCount ? IEPixelFormat2BitCount[uint8_t(F)] : 0;
}
// Channels of a format; 0 for a value outside the enumeration.
inline constexpr int32_t IEChannelCountOf(TIEPixelFormat F) {
  return uint8_t(F) < IEPixelFormatCount ? IEPixelFormat2ChannelCount[uint8_t(F)] : 0;
}

// The formats a buffer kept in a platform bitmap can hold.
inline constexpr bool IEFormatFitsTBitmap(TIEPixelFormat F) {
  return F == ie1g || F == ie8p || F == ie8g || F == ie24RGB || F == ie32RGB;
}

// Where a buffer keeps its pixels (one byte).
enum TIELocation : uint8_t {
  ieMemory = 0,  // one aligned block, or segments when one block cannot be had
  ieFile = 1,    // a delete-on-close temporary file, one mapped row at a time
  ieTBitmap = 2  // a platform bitmap (1-bit, 8-bit, 24-bit and 32-bit RGB only)
};

// Access mode of a buffer (a set in one byte): whether a row mapped from a
// temporary file is read from it, and whether it is written back.
enum TIEDataAccess : uint8_t { iedRead = 1, iedWrite = 2 };
using TIEDataAccessSet = uint8_t;
inline constexpr TIEDataAccessSet iedReadWrite = iedRead | iedWrite;

// A 24-bit pixel: memory order blue, green, red (ie24RGB, palette entries,
// device-independent bitmaps).
#pragma pack(push, 1)
struct TRGB {
  uint8_t b = 0;
  uint8_t g = 0;
  uint8_t r = 0;
};

// A 48-bit pixel: three 16-bit words red, green, blue (ieRGB48).
struct TRGB48 {
  uint16_t r = 0;
  uint16_t g = 0;
  uint16_t b = 0;
};

// A CMYK pixel: bytes c, m, y, k in that order, stored inverted (255 = no ink).
struct TCMYK {
  uint8_t c = 0;
  uint8_t m = 0;
  uint8_t y = 0;
  uint8_t k = 0;
};

// A CIE L*a*b* pixel: lightness, then a* and b* as signed bytes.
struct TCIELab {
  uint8_t l = 0;
  int8_t a = 0;
  int8_t b = 0;
};

// A 32-bit pixel of ie32RGB: blue, green, red, fourth byte.
struct TRGBA {
  uint8_t b = 0;
  uint8_t g = 0;
  uint8_t r = 0;
  uint8_t a = 0;
};
#pragma pack(pop)

static_assert(sizeof(TRGB) == 3);
static_assert(sizeof(TRGB48) == 6);
static_assert(sizeof(TCMYK) == 4);
static_assert(sizeof(TCIELab) == 3);
static_assert(sizeof(TRGBA) == 4);

inline constexpr bool operator==(const TRGB& A, const TRGB& B) {
  return A.b == B.b && A.g == B.g && A.r == B.r;
}
inline constexpr bool operator==(const TRGB48& A, const TRGB48& B) {
  return A.r == B.r && A.g == B.g && A.b == B.b;
}
inline constexpr bool operator==(const TCMYK& A, const TCMYK& B) {
  return A.c == B.c && A.m == B.m && A.y == B.y && A.k == B.k;
}
inline constexpr bool operator==(const TCIELab& A, const TCIELab& B) {
  return A.l == B.l && A.a == B.a && A.b == B.b;
}
