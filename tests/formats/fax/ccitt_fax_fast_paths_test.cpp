// The fax decoder's fast paths against their references: the run-code lookup
// table against a walk of the decoding trees, and the reference-line change
// list (lines up to 65536 pixels) against the bit search of wider lines.
#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/bit_helpers.h"
#include "formats/fax/ccitt_fax.h"
#include "platform/rtl/streams.h"

namespace {

// The tree walk over the 32-bit window at BitPos.
int32_t TreeWalk(const uint8_t* Data, int32_t Len, int32_t BitPos, int32_t FillOrder, int32_t Colour) {
  if ((BitPos >> 3) >= Len) return CcittEndOfData;
  const uint32_t w = CcittFetchBits(Data, Len, BitPos, FillOrder);
  if ((w >> 1) == 0) return CcittNoCode;
  const CcittTreeNode* n = &CcittTreeRoots[Colour];
  for (int32_t bit = 31; bit >= 0; --bit) {
    n = ((w >> bit) & 1) ? n->Child1 : n->Child0;
    if (!n) return CcittNoCode;
    if (n->Value != 128) return n->Value;
  }
  return CcittNoCode;
}

TEST(CcittFastPaths, RunCodeLookupAnswersWhatTheTreesAnswer) {
  CcittInitialize();
  std::mt19937 rng(3);
  for (int32_t colour = 0; colour < 2; ++colour) {
    for (uint32_t prefix = 0; prefix < 65536; ++prefix) {
      // Every 16-bit start, followed by zeros, ones or noise, at bit offsets
      // 0..7 (the window then holds only 25..32 bits of data), in both fill
      // orders, and cut short.
      const int tail = int(prefix % 3);
      uint8_t data[8];
      data[0] = uint8_t(prefix >> 8);
      data[1] = uint8_t(prefix);
      for (int i = 2; i < 8; ++i) data[i] = tail == 0 ? 0 : tail == 1 ? 0xFF : uint8_t(rng());
      const int32_t offset = int32_t(prefix % 8);
      const int32_t fo = (prefix >> 3) % 2 ? 2 : 1;
      const int32_t len = (prefix >> 4) % 5 == 0 ? 3 : 8;
      for (int32_t bitPos : {0, offset}) {
        ASSERT_EQ(CcittDecodeRunCode(data, len, bitPos, fo, colour), TreeWalk(data, len, bitPos, fo, colour))
            << "colour " << colour << " prefix " << prefix << " at " << bitPos;
      }
    }
  }
  // Long runs of zeros before a 1: EOLs with fill, up to the 31 zeros that
  // mean "no code".
  for (int32_t zeros = 11; zeros <= 40; ++zeros) {
    std::vector<uint8_t> data(8, 0);
    if (zeros < 64) data[size_t(zeros / 8)] = uint8_t(0x80 >> (zeros % 8));
    for (int32_t colour = 0; colour < 2; ++colour)
      EXPECT_EQ(CcittDecodeRunCode(data.data(), 8, 0, 1, colour), TreeWalk(data.data(), 8, 0, 1, colour)) << zeros;
  }
}

// Rows of 1 = black; vertical structure so that the 2D modes dominate.
std::vector<std::vector<uint8_t>> MakeRows(int32_t Width, int32_t Height, uint32_t Seed) {
  std::mt19937 rng(Seed);
  const size_t rb = size_t(Width + 7) / 8;
  std::vector<std::vector<uint8_t>> rows(size_t(Height), std::vector<uint8_t>(rb, 0));
  for (int32_t y = 0; y < Height; ++y) {
    auto& r = rows[size_t(y)];
    if (y > 0 && rng() % 4) r = rows[size_t(y - 1)];
    for (int k = int(rng() % 12); k > 0; --k) {
      const int32_t x0 = int32_t(rng() % uint32_t(Width));
      const int32_t n = 1 + int32_t(rng() % 40);
      for (int32_t x = x0; x < std::min(Width, x0 + n); ++x) r[size_t(x >> 3)] ^= uint8_t(0x80 >> (x & 7));
    }
    if (y % 9 == 0)  // a line that starts black and ends at the last pixel
      for (int32_t x = 0; x < Width; x += 1 + (x % 5)) r[size_t(x >> 3)] |= uint8_t(0x80 >> (x & 7));
    if (Width % 8) r.back() &= uint8_t(0xFF << (8 - Width % 8));
  }
  return rows;
}

std::vector<uint8_t> EncodeG4(const std::vector<std::vector<uint8_t>>& Rows, int32_t Width) {
  TCcittEncoder encoder(ccsGroup4, Width, 1);
  for (const auto& r : Rows) encoder.EncodeRow(r.data());
  encoder.FinishStrip();
  return std::vector<uint8_t>(encoder.Data(), encoder.Data() + encoder.Size());
}

TEST(CcittFastPaths, LinesOnBothSidesOfTheListedWidthRoundTrip) {
  for (int32_t width : {1, 64, 1728, 65535, 65536, 65537, 70001}) {
    const auto rows = MakeRows(width, 24, uint32_t(width));
    const auto data = EncodeG4(rows, width);
    const size_t rb = size_t(width + 7) / 8;
    // Exactly the row's bytes: the decoder reads and writes no further.
    std::vector<uint8_t> ref(rb, 0xFF);
    int32_t pos = 0;
    for (size_t y = 0; y < rows.size(); ++y) {
      std::vector<uint8_t> row(rb);
      pos = CcittDecode2DLine(row.data(), data.data(), int32_t(data.size()), false, 1, pos, ref.data(), width);
      for (size_t i = 0; i < rb; ++i) row[i] = uint8_t(~row[i]);
      if (width % 8) row.back() &= uint8_t(0xFF << (8 - width % 8));
      ASSERT_EQ(row, rows[y]) << "width " << width << " row " << y;
    }
  }
}

TEST(CcittFastPaths, CorruptLinesStayInsideTheirBuffers) {
  // Damaged data moves a0 backwards, before the line and past its end; the
  // change list must follow it like the bit search does (checked in the
  // sanitizer build by the exact-size buffers).
  std::mt19937 rng(11);
  for (int32_t width : {5, 1728, 65536, 65537}) {
    auto data = EncodeG4(MakeRows(width, 12, 7), width);
    for (int round = 0; round < 20; ++round) {
      auto bad = data;
      for (int k = 0; k < 30; ++k) bad[rng() % bad.size()] ^= uint8_t(rng());
      const size_t rb = size_t(width + 7) / 8;
      std::vector<uint8_t> ref(rb, 0xFF), row(rb);
      int32_t pos = 0;
      for (int y = 0; y < 14; ++y) {
        pos = CcittDecode2DLine(row.data(), bad.data(), int32_t(bad.size()), round % 2 == 0, 1, pos, ref.data(),
                                width);
        ASSERT_GE(pos, 0);
        ASSERT_LE(pos, int32_t(bad.size()) * 8);
        ASSERT_EQ(row, ref);
      }
    }
  }
}


TEST(CcittFastPaths, BothFillOrdersReadTheSameBitsUpToTheLastByte) {
  // The decoder reads its bits through a window that is loaded whole in the
  // middle of the data and byte by byte near its end or in reversed order:
  // cut anywhere, damaged or not, both orders must decode alike.
  std::mt19937 rng(5);
  const int32_t width = 300;
  const auto good = EncodeG4(MakeRows(width, 10, 3), width);
  for (int variant = 0; variant < 4; ++variant) {
    auto data = good;
    if (variant >= 2)
      for (int k = 0; k < 6; ++k) data[rng() % data.size()] ^= uint8_t(rng());
    for (size_t len = 0; len <= data.size(); len += (len < 24 || len + 24 > data.size()) ? 1 : 7) {
      std::vector<uint8_t> cut(data.begin(), data.begin() + ptrdiff_t(len));
      std::vector<uint8_t> reversed(cut);
      for (auto& b : reversed) b = IEReverseBitTable[b];
      const size_t rb = size_t(width + 7) / 8;
      std::vector<uint8_t> ref1(rb, 0xFF), ref2(rb, 0xFF), row1(rb), row2(rb);
      int32_t pos1 = 0, pos2 = 0;
      for (int y = 0; y < 12; ++y) {
        pos1 = CcittDecode2DLine(row1.data(), cut.data(), int32_t(len), variant % 2 == 1, 1, pos1, ref1.data(),
                                 width);
        pos2 = CcittDecode2DLine(row2.data(), reversed.data(), int32_t(len), variant % 2 == 1, 2, pos2,
                                 ref2.data(), width);
        ASSERT_EQ(pos1, pos2) << "length " << len << " row " << y;
        ASSERT_EQ(row1, row2) << "length " << len << " row " << y;
        ASSERT_LE(pos1, int32_t(len) * 8);
      }
    }
  }
}

}  // namespace

namespace {

// Decodes Lines lines of Data with the word-wise common lines on or off;
// every row (all its used bytes, the bits past the width included) and every
// position after a line.
struct TDecoded {
  std::vector<std::vector<uint8_t>> Rows;
  std::vector<int32_t> Positions;
};

TDecoded DecodeLines(const std::vector<uint8_t>& Data, int32_t Width, int32_t Lines, bool EolSearch,
                     int32_t FillOrder, bool CommonLines) {
  TCcittDecodeState state;
  state.FCommonLines = CommonLines;
  const size_t rb = size_t(Width + 7) / 8;
  std::vector<uint8_t> ref(rb, 0xFF);
  TDecoded d;
  int32_t pos = 0;
  for (int32_t y = 0; y < Lines; ++y) {
    std::vector<uint8_t> row(rb, 0x5A);  // whatever the row held before
    pos = CcittDecode2DLine(row.data(), Data.data(), int32_t(Data.size()), EolSearch, FillOrder, pos, ref.data(),
                            Width, &state);
    d.Rows.push_back(row);
    d.Positions.push_back(pos);
  }
  return d;
}

// Bits written as "0" and "1" characters (others ignored), packed most
// significant first and padded with Pad bytes.
std::vector<uint8_t> PackBits(const std::string& Bits, size_t Pad) {
  std::vector<uint8_t> out;
  int32_t n = 0;
  for (char c : Bits) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= uint8_t(0x80 >> (n % 8));
    ++n;
  }
  out.resize(out.size() + Pad, 0);
  return out;
}

}  // namespace

TEST(CcittFastPaths, CommonLinesDecodeAsTheFullDecoderDoes) {
  // Hand-built lines 2000 pixels wide whose horizontal runs do not end in a
  // terminating code where one is expected: a make-up code followed by zeros
  // (skipped bit by bit up to the next code), a run that hits an EOL, and a
  // run whose code is not a run code at all.
  const std::vector<std::string> odds = {
      "001 011000 " + std::string(40, '0') + "1 0111 11",  // 1664 then zeros, a 2 and a 2
      "001 011000 000000000001 0111 11",                   // 1664 then an EOL
      "001 011000 " + std::string(21, '0') + "1",           // 1664, zeros, the next line's pass
      "001 0111 00000000000000001 11",                     // a white 2, a black run of zeros
  };
  for (const std::string& odd : odds) {
    // The odd line first, then V0 codes: each ends a line or follows the
    // line above.
    const auto data = PackBits(odd + " 1 1 1 1 1 1 1 1", 16);
    const TDecoded fast = DecodeLines(data, 2000, 6, false, 1, true);
    const TDecoded full = DecodeLines(data, 2000, 6, false, 1, false);
    EXPECT_EQ(fast.Positions, full.Positions) << odd;
    EXPECT_EQ(fast.Rows, full.Rows) << odd;
  }

  // Widths around the word and byte sizes; intact, cut and damaged strips in
  // both fill orders, with and without the EOL search.  The damage brings
  // every kind of code and changes that go backwards into the lines.
  std::mt19937 rng(17);
  for (int32_t width : {1, 5, 8, 63, 64, 65, 127, 300, 1727, 1728, 2051}) {
    const auto rows = MakeRows(width, 40, uint32_t(width) * 7 + 1);
    const auto good = EncodeG4(rows, width);
    for (int variant = 0; variant < 12; ++variant) {
      auto data = good;
      if (variant >= 4)
        for (int k = 0; k < 2 + variant; ++k) data[rng() % data.size()] ^= uint8_t(1 + rng() % 255);
      if (variant % 4 == 3) data.resize(data.size() / 2);
      const int32_t fillOrder = variant % 2 ? 2 : 1;
      if (fillOrder == 2)
        for (auto& b : data) b = IEReverseBitTable[b];
      const bool eolSearch = variant % 3 == 0;
      const TDecoded fast = DecodeLines(data, width, 44, eolSearch, fillOrder, true);
      const TDecoded full = DecodeLines(data, width, 44, eolSearch, fillOrder, false);
      for (size_t y = 0; y < fast.Rows.size(); ++y) {
        ASSERT_EQ(fast.Positions[y], full.Positions[y]) << "width " << width << " variant " << variant << " row " << y;
        ASSERT_EQ(fast.Rows[y], full.Rows[y]) << "width " << width << " variant " << variant << " row " << y;
      }
      if (variant == 0)
        for (size_t y = 0; y < rows.size(); ++y) {
          // Intact data: the rows come back, the bits past the width white.
          std::vector<uint8_t> expect(rows[y]);
          for (auto& b : expect) b = uint8_t(~b);
          if (width % 8) expect.back() |= uint8_t(0xFF >> (width % 8));
          ASSERT_EQ(fast.Rows[y], expect) << "width " << width << " row " << y;
        }
    }
  }
}
