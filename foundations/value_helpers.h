#pragma once
// Small value helpers of the library: fitting a size into a box, colour counts
// and colour text, conditional values and 16-byte identifiers.
#include <cstdint>
#include <string>

// A 16-byte identifier (scanner sources, layers): a 32-bit part, two 16-bit
// parts and eight bytes.
struct TGUID {
  uint32_t D1 = 0;
  uint16_t D2 = 0;
  uint16_t D3 = 0;
  uint8_t D4[8] = {0, 0, 0, 0, 0, 0, 0, 0};
};
static_assert(sizeof(TGUID) == 16, "TGUID must be 16 bytes");

// Scales Width x Height by min(MaxWidth / Width, MaxHeight / Height) (so a small
// size is enlarged), each side truncated and at least 1.  Leaves NewWidth and
// NewHeight alone when Width or Height is 0.
void IEAspectFit(int32_t Width, int32_t Height, int32_t MaxWidth, int32_t MaxHeight, int32_t& NewWidth,
                 int32_t& NewHeight);
// IEAspectFit of the image's shape on paper: with resolutions that differ a
// row stands DpiX / DpiY columns high (a 204 x 98 DPI fax page is twice as
// high as its pixel count says).  Resolutions of 0 or less count as equal.
void IEAspectFitAtResolution(int32_t Width, int32_t Height, int32_t DpiX, int32_t DpiY, int32_t MaxWidth,
                             int32_t MaxHeight, int32_t& NewWidth, int32_t& NewHeight);

// 2 to the power BitsPerSample x SamplesPerPixel: SamplesPerPixel factors of
// (1 << BitsPerSample), the shift count taken modulo 32 (8 x 3 gives
// 16777216).  A count beyond the Integer range answers 2147483647 instead of
// wrapping round to 0 or a negative number.
int32_t IEColorCount(int32_t BitsPerSample, int32_t SamplesPerPixel);

// Bits 16..23, 8..15 and 0..7 of Value as three decimal numbers joined by ","
// ($00FF8001 gives "255,128,1").
std::string IEColorToCommaText(int32_t Value);

inline int32_t IEIfThen(bool Condition, int32_t IfTrue, int32_t IfFalse) { return Condition ? IfTrue : IfFalse; }
inline double IEIfThen(bool Condition, double IfTrue, double IfFalse) { return Condition ? IfTrue : IfFalse; }
inline double IEIfThenDouble(bool Condition, double IfTrue, double IfFalse) { return Condition ? IfTrue : IfFalse; }

// The 16 bytes are equal.
bool IESameGUID(const TGUID& A, const TGUID& B);
// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" in lower-case hexadecimal: the
// 32-bit part, the two 16-bit parts, bytes 0 and 1 of D4, then bytes 2..7.
std::string IEGUIDToString(const TGUID& GUID);
// The inverse, any case: the digits at (1-based) character positions 2..9,
// 11..14 and 16..19 give the three parts, those at 21..24 and 26..37 give the
// eight bytes.  The braces and hyphens are not looked at.  A text that is too
// short or has anything but a hexadecimal digit at one of those positions is
// refused: the answer is false and GUID is all zero.
bool IEStringToGUID(const std::string& Text, TGUID& GUID);
