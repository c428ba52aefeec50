#include "foundations/value_helpers.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundations/view_geometry.h"
#include "platform/rtl/sysutils.h"

void IEAspectFit(int32_t Width, int32_t Height, int32_t MaxWidth, int32_t MaxHeight, int32_t& NewWidth,
                 int32_t& NewHeight) {
  if (Width == 0 || Height == 0) return;
  const double F = std::min(static_cast<double>(MaxWidth) / Width, static_cast<double>(MaxHeight) / Height);
  // Trunc saturates, so odd inputs (negative boxes) cannot overflow.
  NewWidth = std::max(1, Trunc(static_cast<long double>(Width * F)));
  NewHeight = std::max(1, Trunc(static_cast<long double>(Height * F)));
}

void IEAspectFitAtResolution(int32_t Width, int32_t Height, int32_t DpiX, int32_t DpiY, int32_t MaxWidth,
                             int32_t MaxHeight, int32_t& NewWidth, int32_t& NewHeight) {
  if (Width == 0 || Height == 0) return;
  const double Aspect = IEPixelAspect(DpiX, DpiY);
  // Both sides in columns: the factor that fits the shape fits the pixels.
  const double ShownHeight = Height * Aspect;
  const double F = std::min(static_cast<double>(MaxWidth) / Width, MaxHeight / ShownHeight);
  NewWidth = std::max(1, Trunc(static_cast<long double>(Width * F)));
  NewHeight = std::max(1, Trunc(static_cast<long double>(ShownHeight * F)));
}

int32_t IEColorCount(int32_t BitsPerSample, int32_t SamplesPerPixel) {
  const uint64_t Factor = uint64_t{1} << (static_cast<uint32_t>(BitsPerSample) & 31u);
  const uint64_t Limit = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  uint64_t Count = 1;
  for (int32_t i = 0; i < SamplesPerPixel; ++i) {
    Count *= Factor;  // Factor <= 2^31 and Count <= 2^31 before: no 64-bit overflow
    if (Count > Limit) return std::numeric_limits<int32_t>::max();
  }
  return static_cast<int32_t>(Count);
}

std::string IEColorToCommaText(int32_t Value) {
  const uint32_t V = static_cast<uint32_t>(Value);
  return IntToStr((V >> 16) & 0xFF) + "," + IntToStr((V >> 8) & 0xFF) + "," + IntToStr(V & 0xFF);
}

bool IESameGUID(const TGUID& A, const TGUID& B) {
  return A.D1 == B.D1 && A.D2 == B.D2 && A.D3 == B.D3 && std::memcmp(A.D4, B.D4, 8) == 0;
}

std::string IEGUIDToString(const TGUID& GUID) {
  return Format("{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", GUID.D1, GUID.D2, GUID.D3, GUID.D4[0],
                GUID.D4[1], GUID.D4[2], GUID.D4[3], GUID.D4[4], GUID.D4[5], GUID.D4[6], GUID.D4[7]);
}

namespace {

// Value of Count hexadecimal digits starting at the 0-based index Start;
// false on anything that is not a digit.
bool HexAt(const std::string& Text, size_t Start, size_t Count, uint64_t& Value) {
  Value = 0;
  for (size_t i = Start; i < Start + Count; ++i) {
    const char C = Text[i];
    uint32_t D;
    if (C >= '0' && C <= '9') D = static_cast<uint32_t>(C - '0');
    else if (C >= 'a' && C <= 'f') D = static_cast<uint32_t>(C - 'a' + 10);
    else if (C >= 'A' && C <= 'F') D = static_cast<uint32_t>(C - 'A' + 10);
    else return false;
    Value = (Value << 4) | D;
  }
  return true;
}

}  // namespace

bool IEStringToGUID(const std::string& Text, TGUID& GUID) {
  GUID = TGUID{};
  if (Text.size() < 37) return false;
  TGUID R;
  uint64_t V;
  if (!HexAt(Text, 1, 8, V)) return false;
  R.D1 = static_cast<uint32_t>(V);
  if (!HexAt(Text, 10, 4, V)) return false;
  R.D2 = static_cast<uint16_t>(V);
  if (!HexAt(Text, 15, 4, V)) return false;
  R.D3 = static_cast<uint16_t>(V);
  for (size_t i = 0; i < 2; ++i) {
    if (!HexAt(Text, 20 + 2 * i, 2, V)) return false;
    R.D4[i] = static_cast<uint8_t>(V);
  }
  for (size_t i = 0; i < 6; ++i) {
    if (!HexAt(Text, 25 + 2 * i, 2, V)) return false;
    R.D4[2 + i] = static_cast<uint8_t>(V);
  }
  GUID = R;
  return true;
}
