// Row lengths, bit access, bit and byte reversal, powers and the colour hash.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <set>
#include <vector>

#include "foundations/bit_helpers.h"
#include "foundations/colour_hash.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/sysutils.h"

namespace {

TEST(BitHelpers, RowLengthTable) {
  struct Case {
    int64_t width;
    int32_t bits, align;
    int64_t expected;
  };
  const Case cases[] = {
      {1, 1, 32, 4},
      {100, 24, 32, 300},
      {10, 1, 8, 2},
      {3, 24, 8, 9},
      {33, 1, 32, 8},
      {32, 1, 32, 4},
      {1728, 1, 32, 216},
      {1728, 1, 8, 216},
      {3, 8, 16, 4},
      {5, 48, 32, 32},
      {0, 24, 32, 0},
      {-7, 24, 32, 0},
      {10, 0, 32, 0},
      {10, 8, 0, 0},
      // Huge sides: the bit count passes 2^32 and must not wrap.
      {2147483647LL, 48, 32, ((2147483647LL * 48 + 31) / 32) * 4},
      {2147483647LL, 32, 32, 2147483647LL * 4},
      {2147483647LL, 24, 8, 2147483647LL * 3},
      {200000000LL, 48, 32, 1200000000LL},
      // A bit count that does not fit 64 bits answers -1.
      {std::numeric_limits<int64_t>::max() / 2, 48, 32, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IEBitmapRowLen(c.width, c.bits, c.align), c.expected)
        << c.width << " x " << c.bits << " / " << c.align;
}

TEST(BitHelpers, PlatformPixelFormats) {
  struct Case {
    TPixelFormat pf;
    int32_t bits;
    TIEPixelFormat ie;
  };
  const Case cases[] = {
      {pfDevice, 0, ie24RGB}, {pf1bit, 1, ie1g},     {pf4bit, 4, ie8p},
      {pf8bit, 8, ie8p},      {pf15bit, 15, ie24RGB}, {pf16bit, 16, ie24RGB},
      {pf24bit, 24, ie24RGB}, {pf32bit, 32, ie24RGB}, {pfCustom, 0, ie24RGB},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IEPixelFormatToBitCount(c.pf), c.bits) << int(c.pf);
    EXPECT_EQ(IEPixelFormatFromTBitmap(c.pf), c.ie) << int(c.pf);
  }
  EXPECT_EQ(IETBitmapRowLen(10, pf24bit), 32);
  EXPECT_EQ(IETBitmapRowLen(1, pf1bit), 4);
  EXPECT_EQ(IETBitmapRowLen(7, pf15bit), 16);
  EXPECT_EQ(IETBitmapRowLen(100, pfDevice), 0);
}

TEST(BitHelpers, GetAndSetBitMostSignificantFirst) {
  std::vector<uint8_t> row(5, 0);
  IESetBit(row.data(), 0, 1);
  IESetBit(row.data(), 7, 5);
  IESetBit(row.data(), 9, -1);
  IESetBit(row.data(), 39, 1);
  EXPECT_EQ(row, (std::vector<uint8_t>{0x81, 0x40, 0x00, 0x00, 0x01}));
  for (int x = 0; x < 40; ++x) EXPECT_EQ(IEGetBit(row.data(), x) != 0, x == 0 || x == 7 || x == 9 || x == 39) << x;
  IESetBit(row.data(), 7, 0);
  IESetBit(row.data(), 39, 0);
  EXPECT_EQ(row, (std::vector<uint8_t>{0x80, 0x40, 0x00, 0x00, 0x00}));
  for (int x = 0; x < 8; ++x) EXPECT_EQ(IEBitMask1[x], 0x80 >> x);
}

TEST(BitHelpers, BitMaskWidthEveryBitAndRuns) {
  for (int b = 0; b < 32; ++b) {
    EXPECT_EQ(IEBitMaskWidth(uint32_t{1} << b), 1) << "bit " << b;
    // A run from bit b to the top.
    EXPECT_EQ(IEBitMaskWidth(0xFFFFFFFFu << b), 32 - b) << "run from " << b;
  }
  struct Case {
    uint32_t mask;
    int32_t width;
  };
  const Case cases[] = {{0, 0},          {0x7C00, 5},      {0x03E0, 5},     {0x001F, 5},
                        {0x07E0, 6},     {0xF800, 5},      {0xFF0000, 8},   {0xFF000000u, 8},
                        {0xC0000000u, 2}, {0xFFFFFFFFu, 32}, {0xF0F0, 4},     {0x80000001u, 1}};
  for (const Case& c : cases) EXPECT_EQ(IEBitMaskWidth(c.mask), c.width) << std::hex << c.mask;
}

TEST(BitHelpers, ColorCountToBitCount) {
  const std::pair<int32_t, int32_t> cases[] = {
      {0, -1}, {-5, -1}, {1, 0},   {2, 1},   {3, 2},        {4, 2},  {5, 3},
      {16, 4}, {17, 5},  {255, 8}, {256, 8}, {257, 9}, {1 << 30, 30}, {2147483647, 31}};
  for (const auto& [count, bits] : cases) EXPECT_EQ(IEColorCountToBitCount(count), bits) << count;
}

TEST(BitHelpers, BitReversalTables) {
  for (int v = 0; v < 256; ++v) {
    uint8_t expected = 0;
    for (int i = 0; i < 8; ++i)
      if (v & (1 << i)) expected |= uint8_t(1 << (7 - i));
    uint8_t b = uint8_t(v);
    IEReverseBitOrder(b);
    EXPECT_EQ(b, expected) << v;
    EXPECT_EQ(IEReverseBitTable[v], expected) << v;
  }
  uint8_t one = 0x01;
  IEReverseBitOrder(one);
  EXPECT_EQ(one, 0x80);

  std::vector<uint8_t> buf{0x01, 0xF0, 0xA0, 0x3C};
  IEReverseBitOrderBuffer(buf.data(), int64_t(buf.size()));
  EXPECT_EQ(buf, (std::vector<uint8_t>{0x80, 0x0F, 0x05, 0x3C}));

  const std::pair<uint32_t, uint32_t> words[] = {{0x00000001u, 0x80000000u},
                                                 {0x12345678u, 0x1E6A2C48u},
                                                 {0xFFFF0000u, 0x0000FFFFu},
                                                 {0x00000000u, 0x00000000u},
                                                 {0x80000001u, 0x80000001u}};
  for (const auto& [in, out] : words) {
    uint32_t v = in;
    IEReverseBits32(v);
    EXPECT_EQ(v, out) << std::hex << in;
    IEReverseBits32(v);
    EXPECT_EQ(v, in);
  }
}

TEST(BitHelpers, ByteSwaps) {
  EXPECT_EQ(IESwapWord(0x1234), 0x3412);
  EXPECT_EQ(IESwapWord(0x00FF), 0xFF00);
  EXPECT_EQ(IESwapDWord(0x12345678u), 0x78563412u);
  EXPECT_EQ(IESwapDWord(0xFF000001u), 0x010000FFu);
  // Words at an odd address: swapped in place, the bytes around untouched.
  std::vector<uint8_t> buf{0xAA, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0xBB};
  IESwapWords(buf.data() + 1, 3);
  EXPECT_EQ(buf, (std::vector<uint8_t>{0xAA, 0x02, 0x01, 0x04, 0x03, 0x06, 0x05, 0xBB}));
  IESwapWords(buf.data(), 0);
  EXPECT_EQ(buf[0], 0xAA);
}

TEST(BitHelpers, Powers) {
  EXPECT_EQ(IEPowerInt(0, 7.5L), 1.0L);
  EXPECT_EQ(IEPowerInt(10, 2.0L), 1024.0L);
  EXPECT_EQ(IEPowerInt(-2, 2.0L), 0.25L);
  EXPECT_EQ(IEPowerInt(3, -2.0L), -8.0L);
  EXPECT_EQ(IEPowerInt(std::numeric_limits<int32_t>::min(), 1.0L), 1.0L);
  EXPECT_EQ(IEPowerInt(std::numeric_limits<int32_t>::min(), -1.0L), 1.0L);

  EXPECT_EQ(IEPower(0.0L, 0.0L), 1.0L);
  EXPECT_EQ(IEPower(5.0L, 0.0L), 1.0L);
  EXPECT_EQ(IEPower(0.0L, 2.5L), 0.0L);
  EXPECT_EQ(IEPower(-2.0L, 3.0L), -8.0L);  // integral exponent: a negative base works
  EXPECT_EQ(IEPower(2.0L, -3.0L), 0.125L);
  EXPECT_NEAR(double(IEPower(2.0L, 0.5L)), std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(double(IEPower(10.0L, 1.0L / 3.0L)), std::cbrt(10.0), 1e-14);
  // An integral exponent beyond the Integer range goes through exp and ln.
  EXPECT_NEAR(double(IEPower(1.0000001L, 3e9L)) / std::pow(1.0000001, 3e9), 1.0, 1e-6);

  EXPECT_EQ(IEPowerDouble(0.0, 0.0), 1.0);
  EXPECT_EQ(IEPowerDouble(0.0, 3.0), 0.0);
  EXPECT_EQ(IEPowerDouble(-3.0, 3.0), -27.0);
  EXPECT_EQ(IEPowerDouble(4.0, -1.0), 0.25);
  EXPECT_NEAR(IEPowerDouble(0.5, 2.4), std::pow(0.5, 2.4), 1e-15);
  EXPECT_NEAR(IEPowerDouble(216.0 / 24389.0, 1.0 / 3.0), std::cbrt(216.0 / 24389.0), 1e-15);
}

TEST(ColourHash, InsertChainsAndCount) {
  THash1 hash(4);
  EXPECT_EQ(hash.GetBucketCount(), 16);
  EXPECT_TRUE(hash.Insert(5));
  EXPECT_TRUE(hash.Insert(21));  // same bucket as 5: starts a chain
  EXPECT_FALSE(hash.Insert(21));
  EXPECT_FALSE(hash.Insert(5));
  EXPECT_EQ(hash.GetCount(), 2);
  EXPECT_TRUE(hash.Insert(37));  // third key of the chain
  EXPECT_FALSE(hash.Insert(37));
  EXPECT_FALSE(hash.Insert(21));
  EXPECT_TRUE(hash.Insert(0));
  EXPECT_TRUE(hash.Insert(0xFFFFFFFFu));
  EXPECT_EQ(hash.GetCount(), 5);

  // One bucket only: every key chains.
  THash1 single(0);
  for (uint32_t k = 0; k < 500; ++k) EXPECT_TRUE(single.Insert(k * 7919u));
  for (uint32_t k = 0; k < 500; ++k) EXPECT_FALSE(single.Insert(k * 7919u));
  EXPECT_EQ(single.GetCount(), 500);
}

TEST(ColourHash, CountsDistinctColours) {
  std::mt19937 rng(7);
  std::set<uint32_t> reference;
  THash1 hash(13);
  for (int i = 0; i < 20000; ++i) {
    // 24-bit colours from a small palette-like range, so many repeat.
    const uint32_t colour = (rng() % 3000u) * 5531u & 0xFFFFFFu;
    EXPECT_EQ(hash.Insert(colour), reference.insert(colour).second);
  }
  EXPECT_EQ(hash.GetCount(), int32_t(reference.size()));
}

TEST(ColourHash, RejectsBadBucketBits) {
  EXPECT_THROW(THash1(-1), EListError);
  EXPECT_THROW(THash1(31), EListError);
  EXPECT_THROW(THash1(64), EListError);
}

}  // namespace
