// Icon handles over platform bitmaps come back as images whose alpha plane
// follows the icon's mask.
#include <gtest/gtest.h>

#include <cstring>

#include "formats/ico/icon_handles.h"
#include "platform/gdi/bitmap.h"
#include "support/raster_codec_helpers.h"

namespace {

using namespace rastertest;

TEST(IconHandles, IconBecomesImageWithMaskAsAlpha) {
  TBitmap colour;
  colour.SetPixelFormat(pf24bit);
  colour.SetSize(20, 12);
  for (int32_t y = 0; y < 12; ++y) {
    uint8_t* r = colour.GetScanLine(y);
    for (int32_t x = 0; x < 20; ++x) r[3 * x] = uint8_t(x * 9), r[3 * x + 1] = uint8_t(y * 20), r[3 * x + 2] = 77;
  }
  TBitmap mask;
  mask.SetPixelFormat(pf1bit);
  mask.SetSize(20, 12);
  for (int32_t y = 0; y < 12; ++y) {
    uint8_t* r = mask.GetScanLine(y);
    std::memset(r, 0, size_t(mask.GetBytesPerLine()));
    for (int32_t x = 0; x < 20; ++x)
      if (x + y < 6) r[x >> 3] |= uint8_t(0x80 >> (x & 7));  // transparent corner
  }
  HICON icon = CreateIconIndirect(true, 0, 0, &mask, &colour);
  ASSERT_NE(icon, nullptr);
  TIEBitmap b;
  IEIconToBitmap(icon, &b);
  ASSERT_EQ(b.GetWidth(), 20);
  ASSERT_EQ(b.GetHeight(), 12);
  ASSERT_TRUE(b.HasAlphaChannel());
  for (int32_t y = 0; y < 12; ++y)
    for (int32_t x = 0; x < 20; ++x) {
      EXPECT_EQ(b.GetAlpha(x, y), x + y < 6 ? 0 : 255) << x << "," << y;
      if (x + y >= 6) {
        const TRGB c = b.GetPixelRGB(x, y);
        EXPECT_EQ(c.b, uint8_t(x * 9));
        EXPECT_EQ(c.g, uint8_t(y * 20));
        EXPECT_EQ(c.r, 77);
      }
    }
  DestroyIcon(icon);

  // A fully opaque icon has no alpha plane.
  for (int32_t y = 0; y < 12; ++y) std::memset(mask.GetScanLine(y), 0, size_t(mask.GetBytesPerLine()));
  icon = CreateIconIndirect(true, 0, 0, &mask, &colour);
  TIEBitmap o;
  IEIconToBitmap(icon, &o);
  EXPECT_EQ(o.GetWidth(), 20);
  EXPECT_FALSE(o.HasAlphaChannel());
  DestroyIcon(icon);

  // Null handles give nothing and raise nothing.
  TMemoryStream s;
  EXPECT_FALSE(IETryIconToIcoStream(&s, nullptr));
  EXPECT_EQ(IEGetFileIconHandle("/etc/hostname"), nullptr);
  EXPECT_EQ(CreateIconIndirect(true, 0, 0, nullptr, &colour), nullptr);
}

}  // namespace
