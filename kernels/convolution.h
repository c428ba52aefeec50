#pragma once
// 3 x 3 integer convolution (the effects dialog's user filter and the preset
// filters), the small filter file format the dialog loads and saves, the text
// form of a filter, and the list of named preset filters.
#include <cstdint>
#include <string>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// Nine coefficients row by row from the top-left neighbour, then the divisor
// (0 is read as 1).  40 bytes, as stored in filter files.
struct TIEFilterKernel3x3 {
  int32_t Values[3][3] = {};
  int32_t Divisor = 0;
};
static_assert(sizeof(TIEFilterKernel3x3) == 40);

// ie24RGB: each channel becomes |sum of coefficient x neighbour| / divisor,
// limited to 0..255; neighbours beyond the image repeat the border pixels.
// X2 and Y2 exclusive, limited to the bitmap.
void IEConvolve3x3(TIEBitmap* Bitmap, const TIEFilterKernel3x3& Filter, int32_t X1, int32_t Y1, int32_t X2,
                   int32_t Y2, const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// The same on an ie8g bitmap, without progress.
void IEConvolve3x3Gray(TIEBitmap* Bitmap, const TIEFilterKernel3x3& Filter, int32_t X1, int32_t Y1,
                       int32_t X2, int32_t Y2);

// A filter file is the bytes 1, 3, 3 and the 40-byte record (little-endian).
// Loading leaves Filter unchanged and answers false when the file has another
// head or ends early; a file that cannot be opened raises EFOpenError.
bool IELoadFilterFromFile(const std::string& FileName, TIEFilterKernel3x3& Filter);
// Creates or overwrites the file (EFCreateError when it cannot).
void IESaveFilterToFile(const std::string& FileName, const TIEFilterKernel3x3& Filter);
// Each coefficient, "/" and the divisor, with nothing between coefficients.
std::string IEFilterToString(const TIEFilterKernel3x3& Filter);

// The named presets: "None", "Blur", "Edges", "Emboss", "High Pass 1" .. "3",
// "Low Pass 1", "Low Pass 2".  An index out of range gives the identity
// ("None").
constexpr int32_t IEPresetFilterCount = 9;
const TIEFilterKernel3x3& IEGetPresetFilter(int32_t Index);
std::string IEGetPresetFilterName(int32_t Index);
