#pragma once
// Pages shared by the benchmarks that run beside Leptonica: a 300-DPI A4 page
// of word-like lines in Leptonica's layout, and the same page in ours.
#ifdef FOLIVRA_HAVE_LEPT
#include <leptonica/allheaders.h>

#include <cstdint>
#include <memory>
#include <random>

#include "foundations/image_buffer.h"

namespace benchsupport {

constexpr int32_t kPageW = 2480, kPageH = 3508;

// Lines of word-like blobs (letters as two strokes and a bar) on white, in
// Leptonica's layout (1 = black). Varied letters are sometimes taller and
// sometimes closed by a bottom bar. Rng goes on for whatever the caller adds.
// The page is A4 at 300 DPI unless another size is given.
inline PIX* LeptTextPage(std::mt19937& Rng, bool Varied, int32_t W = kPageW, int32_t H = kPageH) {
  PIX* Pix = pixCreate(W, H, 1);
  for (int32_t Base = 200; Base < H - 200; Base += 62) {
    int32_t x = 180;
    while (x < W - 300) {
      const int32_t Letters = 2 + int32_t(Rng() % 8);
      for (int32_t l = 0; l < Letters; ++l) {
        const int32_t Tall = Varied && Rng() % 4 == 0 ? 42 : 30;
        pixRasterop(Pix, x, Base - Tall, 4, Tall, PIX_SET, nullptr, 0, 0);
        pixRasterop(Pix, x + 14, Base - 30, 4, 30, PIX_SET, nullptr, 0, 0);
        pixRasterop(Pix, x, Base - 30, 18, 4, PIX_SET, nullptr, 0, 0);
        if (Varied && Rng() % 2) pixRasterop(Pix, x, Base - 4, 18, 4, PIX_SET, nullptr, 0, 0);
        x += 24;
      }
      x += 26;
    }
  }
  return Pix;
}

// Leptonica's 1-bit page in our layout (1 = white).
inline std::unique_ptr<TIEBitmap> LeptToBitmap(PIX* Pix) {
  auto B = std::make_unique<TIEBitmap>(int32_t(pixGetWidth(Pix)), int32_t(pixGetHeight(Pix)), ie1g);
  const l_int32 Wpl = pixGetWpl(Pix);
  const l_uint32* Data = pixGetData(Pix);
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    uint8_t* Row = B->GetScanline(y);
    const l_uint32* Src = Data + size_t(y) * Wpl;
    for (int32_t i = 0; i < (B->GetWidth() + 7) / 8; ++i) Row[i] = uint8_t(~(Src[i / 4] >> (24 - 8 * (i % 4))));
  }
  return B;
}

}  // namespace benchsupport
#endif
