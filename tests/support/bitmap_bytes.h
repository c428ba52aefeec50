#pragma once
// The pixels of an image buffer as plain bytes for comparisons: packed 1-bit
// rows with the padding bits cleared, otherwise width x bytes per pixel, row
// after row without the row alignment; and images kept in temporary files.
#include <cstdint>
#include <vector>

#include "foundations/image_buffer.h"

namespace testsupport {

inline std::vector<uint8_t> CanonicalPixels(TIEBitmap* B) {
  std::vector<uint8_t> out;
  const int32_t w = B->GetWidth();
  const int64_t n = B->GetPixelFormat() == ie1g ? (int64_t(w) + 7) / 8 : int64_t(w) * B->GetBitCount() / 8;
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* p = B->GetScanline(y);
    out.insert(out.end(), p, p + n);
    if (B->GetPixelFormat() == ie1g && (w & 7)) out.back() &= uint8_t(0xFF00 >> (w & 7));
  }
  return out;
}

// Moves an image's pixels into a temporary file (where the buffer keeps
// large images), keeping them; later allocations of the image go there too.
inline void MoveToTemporaryFile(TIEBitmap* B) {
  B->SetMemoryThreshold(1);
  B->SetLocation(ieFile);
}

}  // namespace testsupport
