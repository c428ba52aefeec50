// Packed DIBs: building, parsing, orientation and the StretchDIBits blit.
#include <gtest/gtest.h>

#include <cstring>

#include "gdi_test_util.h"
#include "platform/gdi/dib.h"

using namespace gditest;

namespace {

// A test image: white with a few coloured pixels at known places.
QImage Sample(int w, int h) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(Qt::white);
  img.setPixel(0, 0, qRgb(0, 0, 0));
  img.setPixel(w - 1, 0, qRgb(255, 0, 0));
  img.setPixel(0, h - 1, qRgb(0, 0, 255));
  img.setPixel(w / 2, h / 2, qRgb(0, 0, 0));
  return img;
}

uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}

}  // namespace

TEST(Dib, BuildAndParseRoundTrip) {
  struct Case {
    int Bits;
    bool BottomUp;
  };
  const Case cases[] = {{1, true}, {1, false}, {4, true}, {8, true}, {8, false}, {24, true}, {24, false}, {32, true}, {32, false}};
  const QImage img = Sample(37, 11);
  for (const Case& c : cases) {
    const std::vector<uint8_t> dib = CreatePackedDIB(img, c.Bits, c.BottomUp);
    ASSERT_FALSE(dib.empty()) << c.Bits;
    const size_t table = c.Bits <= 8 ? (size_t(4) << c.Bits) : 0;
    EXPECT_EQ(dib.size(), 40 + table + size_t(DIBRowLength(37, c.Bits)) * 11);
    EXPECT_EQ(int32_t(Le32(dib, 8)), c.BottomUp ? 11 : -11);
    QImage back;
    ASSERT_TRUE(ParsePackedDIB(dib.data(), dib.size(), back)) << c.Bits;
    ASSERT_EQ(back.size(), img.size());
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) {
        const QRgb want = img.pixel(x, y);
        QRgb expect = want;
        if (c.Bits == 1) expect = qGray(want) >= 128 && want != qRgb(255, 0, 0) ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
        ASSERT_EQ(back.pixel(x, y) & 0xFFFFFF, expect & 0xFFFFFF)
            << c.Bits << " bits, " << (c.BottomUp ? "bottom-up" : "top-down") << " at " << x << "," << y;
      }
  }
}

TEST(Dib, BottomUpRowsAndRowLength) {
  // 100 x 50 at 1 bit: rows of 16 bytes, row 0 last in memory.
  QImage img(100, 50, QImage::Format_Mono);
  img.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  img.fill(1);
  img.setPixel(0, 0, 0);
  const std::vector<uint8_t> dib = CreatePackedDIB(img, 1, true);
  EXPECT_EQ(DIBRowLength(100, 1), 16);
  const size_t bits = 40 + 8;
  EXPECT_EQ(dib.size(), bits + 16 * 50);
  EXPECT_EQ(dib[bits + 16 * 49] & 0x80, 0) << "top-left pixel in the last stored row";
  EXPECT_EQ(dib[bits] & 0x80, 0x80);
  // Padding bits beyond the width are zero.
  EXPECT_EQ(dib[bits + 12] & 0x0F, 0);
  EXPECT_EQ(dib[bits + 13], 0);
  TDIBLayout l;
  ASSERT_TRUE(ReadPackedDIBLayout(dib.data(), dib.size(), l));
  EXPECT_TRUE(l.BottomUp);
  EXPECT_EQ(l.RowLength, 16);
  EXPECT_EQ(l.BitsOffset, bits);
  EXPECT_EQ(l.Colors.size(), 2u);
}

TEST(Dib, MalformedDibsAreRejected) {
  const std::vector<uint8_t> good = CreatePackedDIB(Sample(8, 8), 8, true);
  auto bad = [&](auto edit) {
    std::vector<uint8_t> d = good;
    edit(d);
    QImage out;
    return !ParsePackedDIB(d.data(), d.size(), out) && out.isNull();
  };
  EXPECT_TRUE(bad([](auto& d) { d.resize(d.size() - 1); }));          // truncated rows
  EXPECT_TRUE(bad([](auto& d) { d.resize(30); }));                    // truncated header
  EXPECT_TRUE(bad([](auto& d) { d[0] = 41; }));                       // unknown header size
  EXPECT_TRUE(bad([](auto& d) { d[14] = 5; }));                       // bit count
  EXPECT_TRUE(bad([](auto& d) { d[4] = 0; }));                        // width 0
  EXPECT_TRUE(bad([](auto& d) { d[7] = 0x7F; }));                     // huge width
  EXPECT_TRUE(bad([](auto& d) { d[16] = BI_RLE8; }));                 // compressed
  EXPECT_TRUE(bad([](auto& d) { std::memset(&d[8], 0, 4); }));        // height 0
  QImage out;
  EXPECT_FALSE(ParsePackedDIB(nullptr, 0, out));
  // A short colour table (biClrUsed) is read as given.
  std::vector<uint8_t> shortTable = CreatePackedDIB(Sample(4, 1), 8, true);
  QImage ok;
  EXPECT_TRUE(ParsePackedDIB(shortTable.data(), shortTable.size(), ok));
}

TEST(Dib, SixteenBitMasks) {
  // A 2 x 1 bit-field DIB with 5-6-5 masks.
  std::vector<uint8_t> d(40 + 12 + 4, 0);
  d[0] = 40;
  d[4] = 2;
  d[8] = 1;
  d[12] = 1;
  d[14] = 16;
  d[16] = BI_BITFIELDS;
  const uint32_t masks[3] = {0xF800, 0x07E0, 0x001F};
  std::memcpy(&d[40], masks, 12);
  d[52] = 0xFF;
  d[53] = 0xFF;  // white
  d[54] = 0x1F;  // pure blue
  QImage out;
  ASSERT_TRUE(ParsePackedDIB(d.data(), d.size(), out));
  EXPECT_EQ(out.format(), QImage::Format_RGB16);
  EXPECT_EQ(out.pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(out.pixel(1, 0) & 0xFFFFFF, 0x0000FFu);
}

TEST(Dib, StretchDIBitsCopyAndInvert) {
  // A 1-bit mask, bit set where drawing should invert, as the selection
  // mask draws itself.
  QImage mask(8, 4, QImage::Format_Mono);
  mask.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
  mask.fill(0);
  for (int x = 2; x < 6; ++x) mask.setPixel(x, 1, 1);
  const std::vector<uint8_t> dib = CreatePackedDIB(mask, 1, true);
  const uint8_t* bits = dib.data() + 40 + 8;
  auto target = MakeBitmap(pf32bit, 8, 4);
  TCanvas* cv = target->GetCanvas();
  cv->GetBrush()->SetColor(clBlack);
  cv->FillRect(Rect(0, 0, 4, 4));
  const auto before = Picture(*target, clWhite);
  EXPECT_EQ(StretchDIBits(cv, 0, 0, 8, 4, 0, 0, 8, 4, bits, dib.data(), DIB_RGB_COLORS, SRCINVERT), 4);
  EXPECT_EQ(target->GetPixelColor(2, 1), clWhite);   // black inverted
  EXPECT_EQ(target->GetPixelColor(5, 1), clBlack);   // white inverted
  EXPECT_EQ(target->GetPixelColor(2, 2), clBlack);   // clear bits leave it
  EXPECT_EQ(target->GetPixelColor(6, 1), clWhite);
  StretchDIBits(cv, 0, 0, 8, 4, 0, 0, 8, 4, bits, dib.data(), DIB_RGB_COLORS, SRCINVERT);
  EXPECT_EQ(Picture(*target, clWhite), before);
  // SRCCOPY of the top row pair only: for a bottom-up DIB the source rows
  // count from the bottom, so (YSrc 2, height 2) is the top half.
  auto copy = MakeBitmap(pf24bit, 8, 2);
  StretchDIBits(copy->GetCanvas(), 0, 0, 8, 2, 0, 2, 8, 2, bits, dib.data(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(copy->GetPixelColor(0, 0), clBlack);
  EXPECT_EQ(copy->GetPixelColor(3, 1), clWhite);
  EXPECT_EQ(copy->GetPixelColor(3, 0), clBlack);
  // Stretching doubles each pixel.
  auto big = MakeBitmap(pf1bit, 16, 8);
  StretchDIBits(big->GetCanvas(), 0, 0, 16, 8, 0, 0, 8, 4, bits, dib.data(), DIB_RGB_COLORS, SRCCOPY);
  EXPECT_EQ(big->GetPixelColor(4, 2), clWhite);
  EXPECT_EQ(big->GetPixelColor(11, 3), clWhite);
  EXPECT_EQ(big->GetPixelColor(12, 2), clBlack);
  EXPECT_EQ(StretchDIBits(nullptr, 0, 0, 1, 1, 0, 0, 1, 1, bits, dib.data(), 0, SRCCOPY), 0);
  // A source row far outside the DIB draws nothing rather than overflowing.
  EXPECT_EQ(StretchDIBits(cv, 0, 0, 8, 4, 0, INT32_MIN, 8, 4, bits, dib.data(), 0, SRCCOPY), 0);
}
