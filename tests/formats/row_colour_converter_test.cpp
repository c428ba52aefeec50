// The row colour converter: each layout pair it knows, and the pairs it must
// leave alone.
#include <gtest/gtest.h>

#include <vector>

#include "foundations/icc_profile.h"
#include "formats/row_colour_converter.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(RowColourConverter, ConvertsEachKnownLayoutPair) {
  struct Case {
    const char* Name;
    uint8_t In, Out;
    Bytes Input, Want;
  } cases[] = {
      {"RGB to BGR", ieiccRGB, ieiccBGR, {1, 2, 3, 4, 5, 6}, {3, 2, 1, 6, 5, 4}},
      {"BGR copy", ieiccBGR, ieiccBGR, {1, 2, 3}, {1, 2, 3}},
      {"BGR to gray", ieiccBGR, ieiccGray, {0, 0, 255}, {53}},
      {"BGR to inverted CMYK, white", ieiccBGR, ieiccCMYKInv, {255, 255, 255}, {255, 255, 255, 255}},
      {"BGR to inverted CMYK, black", ieiccBGR, ieiccCMYKInv, {0, 0, 0}, {0, 0, 0, 1}},
      {"inverted CMYK, no ink", ieiccCMYKInv, ieiccBGR, {255, 255, 255, 255}, {255, 255, 255}},
      {"inverted CMYK, full black", ieiccCMYKInv, ieiccBGR, {0, 0, 0, 255}, {0, 0, 0}},
      {"CMYK ink values, none", ieiccCMYK, ieiccBGR, {0, 0, 0, 0}, {255, 255, 255}},
      {"RGB48 little-endian", ieiccRGB48, ieiccBGR, {0x11, 0xA0, 0x22, 0xB0, 0x33, 0xC0}, {0xC0, 0xB0, 0xA0}},
      {"RGB48 big-endian", ieiccRGB48BE, ieiccBGR, {0xA0, 0x11, 0xB0, 0x22, 0xC0, 0x33}, {0xC0, 0xB0, 0xA0}},
      {"YCbCr gray", ieicc3Channel, ieiccBGR, {200, 128, 128}, {200, 200, 200}},
  };
  for (const Case& c : cases) {
    Bytes out(c.Want.size(), 0xEE);
    IEConvertColorRow(c.Input.data(), c.In, out.data(), c.Out, int32_t(c.Input.size() / (c.In == ieiccRGB48 || c.In == ieiccRGB48BE ? 6 : c.In == ieiccCMYK || c.In == ieiccCMYKInv ? 4 : 3)), nullptr);
    EXPECT_EQ(out, c.Want) << c.Name;
  }
  // Pairs without a formula leave the output untouched.
  const Bytes rgb = {1, 2, 3};
  for (uint8_t out : {ieiccCMYKInv, ieiccGray}) {
    Bytes o(4, 0xEE);
    IEConvertColorRow(rgb.data(), ieiccRGB, o.data(), out, 1, nullptr);
    EXPECT_EQ(o, Bytes(4, 0xEE));
  }
  Bytes o(3, 0xEE);
  IEConvertColorRow(rgb.data(), ieiccGray, o.data(), ieiccBGR, 1, nullptr);
  EXPECT_EQ(o, Bytes(3, 0xEE));
}

}  // namespace
