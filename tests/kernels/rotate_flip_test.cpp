// Turning images upright by their EXIF orientation.
#include <gtest/gtest.h>

#include <vector>

#include "kernels/rotate_flip.h"
#include "foundations/image_buffer.h"

namespace {

// A pixel of any format as its bytes (1-bit images: one byte 0 or 1).
std::vector<uint8_t> PixelAt(TIEBitmap& B, int32_t X, int32_t Y) {
  const uint8_t* Row = B.GetScanline(Y);
  const int32_t Bits = B.GetBitCount();
  if (Bits == 1) return {static_cast<uint8_t>((Row[X >> 3] >> (7 - (X & 7))) & 1)};
  const int32_t N = Bits / 8;
  return std::vector<uint8_t>(Row + X * N, Row + X * N + N);
}

void Paint(TIEBitmap& B) {
  const int32_t Bits = B.GetBitCount();
  for (int32_t y = 0; y < B.GetHeight(); ++y) {
    uint8_t* Row = B.GetScanline(y);
    for (int32_t x = 0; x < B.GetWidth(); ++x) {
      if (Bits == 1) {
        const uint8_t Mask = static_cast<uint8_t>(0x80 >> (x & 7));
        if ((x * 3 + y * 5) % 7 < 3) Row[x >> 3] |= Mask;
        else Row[x >> 3] &= static_cast<uint8_t>(~Mask);
      } else {
        for (int32_t b = 0; b < Bits / 8; ++b) Row[x * (Bits / 8) + b] = static_cast<uint8_t>(x * 7 + y * 13 + b * 3 + 1);
      }
    }
  }
}

// Where the upright pixel (x, y) lies in the stored image of W x H, by the
// meaning of the orientation tag (row 0 / column 0 of the stored image).
void StoredPosition(int32_t Orientation, int32_t W, int32_t H, int32_t x, int32_t y, int32_t& sx, int32_t& sy) {
  switch (Orientation) {
    case 2: sx = W - 1 - x; sy = y; break;
    case 3: sx = W - 1 - x; sy = H - 1 - y; break;
    case 4: sx = x; sy = H - 1 - y; break;
    case 5: sx = y; sy = x; break;                   // transpose
    case 6: sx = y; sy = H - 1 - x; break;           // stored image turned clockwise
    case 7: sx = W - 1 - y; sy = H - 1 - x; break;   // transverse
    case 8: sx = W - 1 - y; sy = x; break;           // turned counter-clockwise
    default: sx = x; sy = y; break;
  }
}

TEST(ExifOrientation, EveryOrientationOfEveryPixelWidth) {
  const TIEPixelFormat Formats[] = {ie1g, ie8g, ie16g, ie24RGB, ie32RGB, ieRGB48};
  const std::pair<int32_t, int32_t> Sizes[] = {{11, 3}, {5, 9}, {1, 1}};
  for (TIEPixelFormat F : Formats) {
    for (auto [W, H] : Sizes) {
      for (int32_t O : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, -1}) {
        SCOPED_TRACE(::testing::Message() << "format " << int(F) << " " << W << "x" << H << " orientation " << O);
        TIEBitmap Stored(W, H, F);
        Paint(Stored);
        TIEBitmap Image(W, H, F);
        Paint(Image);
        IEApplyEXIFOrientation(&Image, O);
        const bool Swaps = O >= 5 && O <= 8;
        ASSERT_EQ(Image.GetWidth(), Swaps ? H : W);
        ASSERT_EQ(Image.GetHeight(), Swaps ? W : H);
        ASSERT_EQ(Image.GetPixelFormat(), F);
        for (int32_t y = 0; y < Image.GetHeight(); ++y)
          for (int32_t x = 0; x < Image.GetWidth(); ++x) {
            int32_t sx, sy;
            StoredPosition(O, W, H, x, y, sx, sy);
            ASSERT_EQ(PixelAt(Image, x, y), PixelAt(Stored, sx, sy)) << "at " << x << "," << y;
          }
      }
    }
  }
}

TEST(ExifOrientation, AlphaPalettesAndFileBackedImagesTurnToo) {
  for (int32_t O = 2; O <= 8; ++O) {
    SCOPED_TRACE(O);
    const int32_t W = 6, H = 4;
    TIEBitmap Image;
    Image.SetMemoryThreshold(0);  // the pixels go to a temporary file
    ASSERT_TRUE(Image.Allocate(W, H, ie8p));
    ASSERT_EQ(Image.GetLocation(), ieFile);
    Paint(Image);
    for (int32_t i = 0; i < 256; ++i)
      Image.SetPaletteColor(i, TRGB{.b = uint8_t(i / 2), .g = uint8_t(255 - i), .r = uint8_t(i)});
    for (int32_t y = 0; y < H; ++y)
      for (int32_t x = 0; x < W; ++x) Image.SetAlpha(x, y, static_cast<uint8_t>(x + 10 * y));
    TIEBitmap Stored(W, H, ie8p);
    Paint(Stored);

    IEApplyEXIFOrientation(&Image, O);
    const bool Swaps = O >= 5;
    ASSERT_EQ(Image.GetWidth(), Swaps ? H : W);
    ASSERT_TRUE(Image.HasAlphaChannel());
    ASSERT_EQ(Image.GetAlphaChannel()->GetWidth(), Image.GetWidth());
    ASSERT_EQ(Image.GetAlphaChannel()->GetHeight(), Image.GetHeight());
    for (int32_t y = 0; y < Image.GetHeight(); ++y)
      for (int32_t x = 0; x < Image.GetWidth(); ++x) {
        int32_t sx, sy;
        StoredPosition(O, W, H, x, y, sx, sy);
        ASSERT_EQ(PixelAt(Image, x, y), PixelAt(Stored, sx, sy)) << x << "," << y;
        ASSERT_EQ(Image.GetAlpha(x, y), sx + 10 * sy) << x << "," << y;
      }
    EXPECT_EQ(Image.GetPaletteColor(200).r, 200);
    EXPECT_EQ(Image.GetPaletteColor(200).g, 55);
    EXPECT_EQ(Image.GetPaletteColor(200).b, 100);
  }
  // Nothing to turn: no crash.
  IEApplyEXIFOrientation(nullptr, 6);
  TIEBitmap Empty;
  IEApplyEXIFOrientation(&Empty, 6);
  IEApplyEXIFOrientation(&Empty, 2);
}

TEST(ExifOrientation, ImagesTurnedInSeveralBands) {
  // Larger than one 16 MB band of turned rows.
  const int32_t W = 4500, H = 4000;
  TIEBitmap Image(W, H, ie8g);
  ASSERT_EQ(Image.GetWidth(), W);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = Image.GetScanline(y);
    for (int32_t x = 0; x < W; ++x) Row[x] = static_cast<uint8_t>(x * 7 + y * 13);
  }
  IEApplyEXIFOrientation(&Image, 6);
  ASSERT_EQ(Image.GetWidth(), H);
  ASSERT_EQ(Image.GetHeight(), W);
  for (int32_t y = 0; y < W; ++y) {
    const uint8_t* Row = Image.GetScanline(y);
    for (int32_t x = 0; x < H; ++x)
      ASSERT_EQ(Row[x], static_cast<uint8_t>(y * 7 + (H - 1 - x) * 13)) << x << "," << y;
  }
}

}  // namespace
