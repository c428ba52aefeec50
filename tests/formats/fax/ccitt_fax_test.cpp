// The fax codec: code tables and trees, exact bit patterns, round trips over
// every coding and fill order, truncated and corrupt data, and files made by
// (and for) Ghostscript, libtiff's tools and ImageMagick.
#include <gtest/gtest.h>

#include <cctype>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "formats/fax/ccitt_fax.h"
#include "platform/rtl/streams.h"
#include "support/mini_tiff.h"
#include "support/peer_fixture.h"
#include "support/test_support.h"

namespace {

using minitiff::Bitmap;
using testsupport::RunCommand;

// TIFF codings of the encoders under test.
enum Coding { cMH, cG31D, cG32D, cG4 };
const char* CodingName(Coding C) {
  static const char* names[] = {"MH", "G3-1D", "G3-2D", "G4"};
  return names[C];
}

size_t RowBytes(uint32_t Width) { return (size_t(Width) + 7) / 8; }

// Clears the bits of a packed row that lie beyond Width.
void MaskPadding(std::vector<uint8_t>& Row, uint32_t Width) {
  if (Width % 8 && !Row.empty()) Row.back() &= uint8_t(0xFF << (8 - Width % 8));
}

bool Black(const Bitmap& B, uint32_t X, uint32_t Y) {
  return (B.Rows[Y][X >> 3] >> (7 - (X & 7))) & 1;
}

// A test page (1 = black) with rows that exercise every mode: white, black,
// single-pixel alternation, runs across the 64 / 1728 / 2560 code boundaries,
// small shifts of the row above (vertical modes), long and random runs, noise.
// The padding bits of every row are set: encoders must ignore them.  With
// MostRuns, one row in 28 alternates from a black first pixel: Width + 1 runs,
// more than libtiff's one-dimensional decoders hold (even in files libtiff
// wrote itself).
Bitmap MakePage(uint32_t Width, uint32_t Height, uint32_t Seed, bool MostRuns = true) {
  std::mt19937 rng(Seed);
  Bitmap b;
  b.Width = Width;
  b.Height = Height;
  const size_t rb = RowBytes(Width);
  auto set = [&](std::vector<uint8_t>& r, uint32_t x) { r[x >> 3] |= uint8_t(0x80 >> (x & 7)); };
  auto runs = [&](std::vector<uint8_t>& r, const std::vector<uint32_t>& lens, bool startBlack) {
    uint32_t x = 0;
    bool black = startBlack;
    for (size_t i = 0; x < Width; ++i) {
      const uint32_t n = lens[i % lens.size()];
      for (uint32_t k = 0; k < n && x < Width; ++k, ++x)
        if (black) set(r, x);
      black = !black;
    }
  };
  for (uint32_t y = 0; y < Height; ++y) {
    std::vector<uint8_t> r(rb, 0);
    const std::vector<uint8_t>* prev = y ? &b.Rows[y - 1] : nullptr;
    switch (y % 14) {
      case 0: break;
      case 1: std::fill(r.begin(), r.end(), 0xFF); break;
      case 2: runs(r, {1}, MostRuns && y % 28 == 2); break;
      case 3: runs(r, {63, 64, 65, 1, 1727, 1728, 1729, 2, 2559, 2560, 2561, 3000, 5200}, false); break;
      case 4: runs(r, {3000, 64, 2560, 1}, true); break;
      case 5: case 6: case 7: {
        // The row above shifted by -3..3 pixels.
        const int shift = int(rng() % 7) - 3;
        for (uint32_t x = 0; x < Width; ++x) {
          const int sx = int(x) + shift;
          if (prev && sx >= 0 && sx < int(Width) && ((*prev)[sx >> 3] >> (7 - (sx & 7))) & 1) set(r, x);
        }
        break;
      }
      case 8: {
        std::vector<uint32_t> lens;
        for (int i = 0; i < 64; ++i) lens.push_back(1 + rng() % 300);
        runs(r, lens, rng() & 1);
        break;
      }
      case 9:
        for (auto& v : r) v = uint8_t(rng());
        break;
      case 10:
        set(r, 0);
        set(r, Width - 1);
        break;
      case 11: runs(r, {Width / 2 + 1}, true); break;
      default:
        if (prev) r = *prev;
        for (int i = 0; i < 3; ++i) {
          const uint32_t x = rng() % Width;
          r[x >> 3] ^= uint8_t(0x80 >> (x & 7));
        }
        break;
    }
    if (Width % 8) r.back() |= uint8_t(0xFF >> (Width % 8));
    b.Rows.push_back(std::move(r));
  }
  return b;
}

// Encodes rows [First, First + Count) of B as one strip.
std::vector<uint8_t> EncodeStrip(Coding C, const Bitmap& B, uint32_t First, uint32_t Count,
                                 int32_t FillOrder) {
  const TCcittScheme scheme = C == cMH    ? ccsModifiedHuffman
                              : C == cG31D ? ccsGroup3OneD
                              : C == cG32D ? ccsGroup3TwoD
                                           : ccsGroup4;
  TCcittEncoder encoder(scheme, int32_t(B.Width), FillOrder);
  for (uint32_t y = First; y < First + Count; ++y) encoder.EncodeRow(B.Rows[y].data());
  encoder.FinishStrip();
  return std::vector<uint8_t>(encoder.Data(), encoder.Data() + encoder.Size());
}

// The coded bytes of Rows as one strip.
std::vector<uint8_t> Encoded(TCcittScheme Scheme, int32_t Width, int32_t FillOrder,
                             const std::vector<const uint8_t*>& Rows) {
  TCcittEncoder encoder(Scheme, Width, FillOrder);
  for (const uint8_t* r : Rows) encoder.EncodeRow(r);
  encoder.FinishStrip();
  return std::vector<uint8_t>(encoder.Data(), encoder.Data() + encoder.Size());
}

// A TIFF page (photometric 0: 1 = black) of B encoded here.
minitiff::Page EncodePage(Coding C, const Bitmap& B, int32_t FillOrder, uint32_t RowsPerStrip) {
  minitiff::Page p;
  p.Width = B.Width;
  p.Height = B.Height;
  p.Compression = C == cMH ? 2 : C == cG4 ? 4 : 3;
  p.T4Options = C == cG32D ? 1 : 0;
  p.FillOrder = uint32_t(FillOrder);
  p.RowsPerStrip = RowsPerStrip;
  for (uint32_t y = 0; y < B.Height; y += p.StripRows())
    p.Strips.push_back(EncodeStrip(C, B, y, std::min(p.StripRows(), B.Height - y), FillOrder));
  return p;
}

// The page's fax strips decoded here, the way the TIFF reader drives the
// decoders; rows come back as 1 = black with the padding cleared.
Bitmap DecodePage(const minitiff::Page& P) {
  Bitmap b;
  b.Width = P.Width;
  b.Height = P.Height;
  const int32_t w = int32_t(P.Width);
  const int32_t fo = int32_t(P.FillOrder);
  uint32_t y = 0;
  for (const auto& strip : P.Strips) {
    const uint8_t* data = strip.data();
    int32_t len = int32_t(strip.size());
    int32_t bitPos = 0;
    std::vector<uint8_t> ref(RowBytes(P.Width), 0xFF);
    TCcittDecodeState state;
    for (uint32_t k = 0; k < P.StripRows() && y < P.Height; ++k, ++y) {
      std::vector<uint8_t> row(RowBytes(P.Width));
      if (P.Compression == 2) {
        const int32_t used = CcittDecodeMhRow(row.data(), data, len, fo, w);
        data += used;
        len -= used;
      } else if (P.Compression == 3 && !(P.T4Options & 1)) {
        bitPos = CcittDecode1DLine(row.data(), data, len, fo, bitPos, w);
      } else {
        const bool eolSearch = P.Compression == 3 || (P.T4Options & 4);
        bitPos = CcittDecode2DLine(row.data(), data, len, eolSearch, fo, bitPos, ref.data(), w, &state);
      }
      for (auto& v : row) v = uint8_t(~v);
      MaskPadding(row, P.Width);
      b.Rows.push_back(std::move(row));
    }
  }
  return b;
}

// The rows of an uncompressed 1-bit page as 1 = black.
Bitmap PlainPage(const minitiff::Page& P) {
  EXPECT_EQ(P.Compression, 1u);
  EXPECT_EQ(P.BitsPerSample, 1u);
  Bitmap b;
  b.Width = P.Width;
  b.Height = P.Height;
  const size_t rb = RowBytes(P.Width);
  std::vector<uint8_t> all;
  for (const auto& s : P.Strips) all.insert(all.end(), s.begin(), s.end());
  EXPECT_GE(all.size(), rb * P.Height);
  all.resize(rb * P.Height);
  for (uint32_t y = 0; y < P.Height; ++y) {
    std::vector<uint8_t> row(all.begin() + y * rb, all.begin() + (y + 1) * rb);
    for (auto& v : row) {
      if (P.FillOrder == 2) v = uint8_t((v * 0x0202020202ULL & 0x010884422010ULL) % 1023);  // reversed
      if (P.Photometric == 1) v = uint8_t(~v);
    }
    b.Rows.push_back(std::move(row));
  }
  return b;
}

minitiff::Page PlainTiffPage(const Bitmap& B) {
  minitiff::Page p;
  p.Width = B.Width;
  p.Height = B.Height;
  std::vector<uint8_t> all;
  for (auto r : B.Rows) {
    MaskPadding(r, B.Width);
    all.insert(all.end(), r.begin(), r.end());
  }
  p.Strips.push_back(all);
  return p;
}

// Empty when equal, else where they first differ.
std::string Compare(const Bitmap& Want, const Bitmap& Got) {
  if (Want.Width != Got.Width || Want.Height != Got.Height || Got.Rows.size() != Got.Height)
    return "size " + std::to_string(Got.Width) + "x" + std::to_string(Got.Height) + ", want " +
           std::to_string(Want.Width) + "x" + std::to_string(Want.Height);
  for (uint32_t y = 0; y < Want.Height; ++y) {
    auto a = Want.Rows[y];
    auto b = Got.Rows[y];
    MaskPadding(a, Want.Width);
    MaskPadding(b, Want.Width);
    if (a != b) {
      for (uint32_t x = 0; x < Want.Width; ++x)
        if (Black(Want, x, y) != Black(Got, x, y))
          return "row " + std::to_string(y) + " pixel " + std::to_string(x) + " differs";
    }
  }
  return "";
}

// Bits written MSB first as text, for exact-pattern checks.
std::string BitText(const std::vector<uint8_t>& Bytes, size_t N) {
  std::string s;
  for (size_t i = 0; i < N && i / 8 < Bytes.size(); ++i) s += (Bytes[i / 8] >> (7 - i % 8)) & 1 ? '1' : '0';
  return s;
}

// Builds coded data from bit text (spaces ignored), in either fill order.
std::vector<uint8_t> FromBitText(const std::string& Text, int32_t FillOrder = 1) {
  std::vector<uint8_t> out;
  size_t n = 0;
  for (char c : Text) {
    if (c != '0' && c != '1') continue;
    if (n % 8 == 0) out.push_back(0);
    if (c == '1') out.back() |= FillOrder == 2 ? uint8_t(1 << (n % 8)) : uint8_t(0x80 >> (n % 8));
    ++n;
  }
  return out;
}

std::string CodeText(const CcittCodeEntry& E) {
  std::string s;
  for (int32_t b = E.Length - 1; b >= 0; --b) s += b < 16 && ((E.Code >> b) & 1) ? '1' : '0';
  return s;
}

// Row text of a decoded row (decoded values: 'w' for 1, 'b' for 0).
std::string RowText(const std::vector<uint8_t>& Row, int32_t Width) {
  std::string s;
  for (int32_t x = 0; x < Width; ++x) s += (Row[x >> 3] >> (7 - (x & 7))) & 1 ? 'w' : 'b';
  return s;
}

// ---------------------------------------------------------------------------

TEST(CcittTables, TreesHoldEveryCodeOnceAndAreCompleteAbove31Zeros) {
  CcittInitialize();
  for (int colour = 0; colour < 2; ++colour) {
    std::vector<int> seen(128, 0);
    int oneChildNodes = 0;
    std::function<void(const CcittTreeNode*, int, bool)> walk = [&](const CcittTreeNode* n, int depth,
                                                                    bool allZeros) {
      if (n->Value != 128) {
        ASSERT_TRUE(n->Value >= 0 && n->Value < 128);
        ++seen[n->Value];
        EXPECT_EQ(n->Child0, nullptr);
        EXPECT_EQ(n->Child1, nullptr);
        return;
      }
      if (!n->Child0 || !n->Child1) {
        // Only the node reached by 31 zeros lacks a child: its 0 child.
        EXPECT_TRUE(allZeros && depth == 31 && n->Child1 && !n->Child0) << "depth " << depth;
        ++oneChildNodes;
      }
      if (n->Child0) walk(n->Child0, depth + 1, allZeros);
      if (n->Child1) walk(n->Child1, depth + 1, false);
    };
    walk(&CcittTreeRoots[colour], 0, true);
    EXPECT_EQ(oneChildNodes, 1);
    for (int j = 0; j < 128; ++j) EXPECT_EQ(seen[j], 1) << "colour " << colour << " code " << j;
  }
  // Freed by the finalization, built again by the next start-up (or the next
  // decode, when a program decodes without the start-up).
  CcittFreeTrees();
  EXPECT_EQ(CcittTreeRoots[0].Child0, nullptr);
  EXPECT_EQ(CcittTreeRoots[1].Child1, nullptr);
  const uint8_t white3 = 0x80;  // "1000"
  EXPECT_EQ(CcittDecodeRunCode(&white3, 1, 0, 1, 0), 3);
  EXPECT_NE(CcittTreeRoots[1].Child1, nullptr);
}

TEST(CcittTables, EveryCodeDecodesToItsIndexInBothFillOrders) {
  std::mt19937 rng(7);
  for (int fo : {1, 2}) {
    for (int colour = 0; colour < 2; ++colour) {
      for (int j = 0; j < 128; ++j) {
        // The code at bit offset 0..7 (as far as the 32-bit window still holds
        // all of it), random bits around it.
        const int lead = CcittRunCodes[colour][j].Length + j % 8 <= 32 ? j % 8 : 0;
        std::string text;
        for (int i = 0; i < lead; ++i) text += char('0' + rng() % 2);
        text += CodeText(CcittRunCodes[colour][j]);
        for (int i = 0; i < 40; ++i) text += char('0' + rng() % 2);
        const auto data = FromBitText(text, fo);
        const int got = CcittDecodeRunCode(data.data(), int32_t(data.size()), lead, fo, colour);
        // The 32-bit code is never found: 31 leading zeros mean "no code".
        EXPECT_EQ(got, j == 127 ? CcittNoCode : j) << "fill " << fo << " colour " << colour;
      }
    }
    for (int m = 1; m < CcittModeCount; ++m) {
      const auto data = FromBitText("101" + CodeText(CcittModeCodes[m]) + "1011", fo);
      EXPECT_EQ(CcittDecodeModeCode(data.data(), int32_t(data.size()), 3, fo), m);
    }
    const auto junk = FromBitText("0000000111 000000", fo);  // no mode code
    EXPECT_EQ(CcittDecodeModeCode(junk.data(), int32_t(junk.size()), 0, fo), 0);
  }
  const uint8_t one = 0x80;
  EXPECT_EQ(CcittDecodeRunCode(&one, 1, 8, 1, 0), CcittEndOfData);
  const std::vector<uint8_t> zeros(8, 0);
  EXPECT_EQ(CcittDecodeRunCode(zeros.data(), 8, 0, 1, 1), CcittNoCode);
}

TEST(CcittEncode, KnownBitPatterns) {
  std::vector<uint8_t> white1728(RowBytes(1728), 0);
  // An all-white 1728-pixel Modified Huffman row: make-up 1728, terminating 0.
  EXPECT_EQ(Encoded(ccsModifiedHuffman, 1728, 1, {white1728.data()}), (std::vector<uint8_t>{0x4D, 0x9A, 0x80}));
  EXPECT_EQ(Encoded(ccsModifiedHuffman, 1728, 2, {white1728.data()}), (std::vector<uint8_t>{0xB2, 0x59, 0x01}));

  // Two all-white Group 4 lines: V0, V0, EOFB, padding.
  EXPECT_EQ(Encoded(ccsGroup4, 1728, 1, {white1728.data(), white1728.data()}),
            (std::vector<uint8_t>{0xC0, 0x04, 0x00, 0x40}));

  struct Case {
    const char* Name;
    std::function<void(uint8_t*, int32_t&)> Code;
    std::string Want;
  };
  const uint8_t beginsBlack[2] = {0xF0, 0x00};  // 16 pixels: 4 black, 12 white
  const uint8_t whiteRef[4] = {0, 0, 0, 0};
  const std::vector<Case> cases = {
      {"white run of 3000", [](uint8_t* b, int32_t& n) { CcittPutRun(b, n, 3000, 0, 1); },
       "000000011111" "00110111" "01011001"},
      {"black run of 2560 + 64", [](uint8_t* b, int32_t& n) { CcittPutRun(b, n, 2624, 1, 1); },
       "000000011111" "0000001111" "0000110111"},
      {"1D line that begins black",
       [&](uint8_t* b, int32_t& n) { CcittEncodeRuns(beginsBlack, 16, b, 1, n); },
       "00110101" "011" "001000"},
      {"2D line that begins black",
       [&](uint8_t* b, int32_t& n) { CcittEncode2DLine(beginsBlack, whiteRef, b, 16, 1, n); },
       "001" "00110101" "011" "1"},
      {"2D line equal to its reference",
       [&](uint8_t* b, int32_t& n) { CcittEncode2DLine(beginsBlack, beginsBlack, b, 16, 1, n); },
       "1" "1" "1"},
      {"pass mode",
       [&](uint8_t* b, int32_t& n) {
         const uint8_t ref[2] = {0x3C, 0x00};  // black 2..5
         const uint8_t row[2] = {0x00, 0x0F};  // black 12..15
         CcittEncode2DLine(row, ref, b, 16, 1, n);
       },
       "0001" "001" "1110" "011"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> buf(64, 0);
    int32_t n = 0;
    c.Code(buf.data(), n);
    std::string want;
    for (char ch : c.Want) want += ch;
    EXPECT_EQ(BitText(buf, size_t(n)), want) << c.Name;
  }
}

TEST(CcittEncode, Group3LinesCarryEolsAndTagBits) {
  const uint8_t white8 = 0x00;
  // EOL and white 8 twice, no byte alignment between lines.
  const std::vector<uint8_t> oneD = Encoded(ccsGroup3OneD, 8, 1, {&white8, &white8});
  EXPECT_EQ(BitText(oneD, 34), "000000000001" "10011" "000000000001" "10011");
  EXPECT_EQ(oneD.size(), 5u);

  const std::vector<uint8_t> twoD = Encoded(ccsGroup3TwoD, 8, 1, {&white8, &white8});
  EXPECT_EQ(BitText(twoD, 44), "000000000001" "1" "10011" "000000000001" "0" "1" "000000000001");
}

TEST(CcittEncode, StripsStartAfreshAndTheBufferCanBeTakenInPieces) {
  const Bitmap page = MakePage(1728, 40, 3);
  for (TCcittScheme scheme : {ccsModifiedHuffman, ccsGroup3OneD, ccsGroup3TwoD, ccsGroup4}) {
    // Whole strips in one piece.
    TCcittEncoder whole(scheme, 1728, 1);
    for (uint32_t y = 0; y < 20; ++y) whole.EncodeRow(page.Rows[y].data());
    whole.FinishStrip();
    const std::vector<uint8_t> first(whole.Data(), whole.Data() + whole.Size());
    whole.Clear();
    // The second strip of the same rows codes against a white reference
    // again, with no bits left over from the first.
    for (uint32_t y = 0; y < 20; ++y) whole.EncodeRow(page.Rows[y].data());
    whole.FinishStrip();
    EXPECT_EQ(std::vector<uint8_t>(whole.Data(), whole.Data() + whole.Size()), first) << int(scheme);

    // The same strip taken a few bytes after every row.
    TCcittEncoder pieces(scheme, 1728, 1);
    std::vector<uint8_t> taken;
    for (uint32_t y = 0; y < 20; ++y) {
      pieces.EncodeRow(page.Rows[y].data());
      const int64_t n = pieces.Size() / 2;
      taken.insert(taken.end(), pieces.Data(), pieces.Data() + n);
      pieces.Consume(n);
    }
    pieces.FinishStrip();
    taken.insert(taken.end(), pieces.Data(), pieces.Data() + pieces.Size());
    EXPECT_EQ(taken, first) << int(scheme);
  }
}

TEST(CcittRoundTrip, EveryCodingFillOrderAndWidth) {
  for (uint32_t width : {1u, 7u, 8u, 9u, 63u, 64u, 65u, 1728u, 2560u, 2561u, 5127u}) {
    const Bitmap page = MakePage(width, 45, width);
    for (Coding c : {cMH, cG31D, cG32D, cG4}) {
      for (int32_t fo : {1, 2}) {
        const minitiff::Page enc = EncodePage(c, page, fo, 16);
        EXPECT_EQ(Compare(page, DecodePage(enc)), "")
            << CodingName(c) << " fill " << fo << " width " << width;
      }
    }
  }
}

TEST(CcittDecode, TruncatedDataKeepsWhatItHoldsAndTheRestIsWhite) {
  const uint32_t w = 1728, h = 28;
  const Bitmap page = MakePage(w, h, 99);
  for (Coding c : {cMH, cG31D, cG32D, cG4}) {
    const auto full = EncodeStrip(c, page, 0, h, 1);
    // Where each row's code ends, from the encoder's own output.
    std::vector<size_t> endBit;
    for (uint32_t y = 1; y <= h; ++y) {
      const auto part = EncodeStrip(c, page, 0, y, 1);
      // The end-of-strip codes (at most 24 bits and padding) follow the row.
      const size_t tail = c == cG4 ? 24 : c == cG32D ? 12 : 0;
      endBit.push_back(part.size() * 8 - (c == cMH ? 0 : tail));
    }
    for (size_t cut : {size_t(0), size_t(1), full.size() / 4, full.size() / 3, full.size() / 2}) {
      minitiff::Page p = EncodePage(c, page, 1, 0);
      p.Strips[0].resize(cut);
      const Bitmap got = DecodePage(p);
      ASSERT_EQ(got.Rows.size(), h);
      // Rows whose codes lie inside the data decode exactly.  The few bits left
      // after the last of them make at most a few junk rows (each takes at
      // least one bit); every row after those is white.
      uint32_t exact = 0;
      while (exact < h && endBit[exact] + 8 <= cut * 8) ++exact;
      for (uint32_t y = 0; y < h; ++y) {
        Bitmap one{w, 1, {got.Rows[y]}};
        if (y < exact) {
          EXPECT_EQ(Compare(Bitmap{w, 1, {page.Rows[y]}}, one), "") << CodingName(c) << " cut " << cut << " row " << y;
        } else if (y >= exact + 17) {
          EXPECT_EQ(Compare(Bitmap{w, 1, {std::vector<uint8_t>(RowBytes(w), 0)}}, one), "")
              << CodingName(c) << " cut " << cut << " row " << y;
        }
      }
    }
  }
}

TEST(CcittDecode, CorruptDataNeverReadsOrWritesOutsideItsBuffers) {
  std::mt19937 rng(2024);
  std::vector<std::vector<uint8_t>> inputs = {{}, std::vector<uint8_t>(64, 0), std::vector<uint8_t>(64, 0xFF)};
  for (int i = 0; i < 60; ++i) {
    std::vector<uint8_t> d(rng() % 700);
    for (auto& v : d) v = uint8_t(rng() % 4 ? rng() : (rng() % 2 ? 0 : 1));
    inputs.push_back(std::move(d));
  }
  // A valid strip with random bytes flipped.
  auto valid = EncodeStrip(cG4, MakePage(1728, 20, 5), 0, 20, 1);
  for (int i = 0; i < 20; ++i) {
    auto d = valid;
    for (int k = 0; k < 4; ++k) d[rng() % d.size()] ^= uint8_t(1 << (rng() % 8));
    inputs.push_back(std::move(d));
  }
  for (const auto& in : inputs) {
    // Exactly sized copies, so that any stray read shows under the sanitizers.
    std::unique_ptr<uint8_t[]> data(new uint8_t[in.size() + 1]);
    if (!in.empty()) std::memcpy(data.get(), in.data(), in.size());
    const int32_t len = int32_t(in.size());
    for (int32_t width : {1, 13, 1728, 3000}) {
      const size_t rb = RowBytes(uint32_t(width));
      std::vector<uint8_t> row(rb + 4, 0x5A), ref(rb + 4, 0x5A);
      std::fill(ref.begin(), ref.begin() + rb, 0xFF);
      for (int mode = 0; mode < 4; ++mode) {
        const int32_t fo = 1 + mode % 2;
        int32_t pos = 0;
        const uint8_t* mh = data.get();
        int32_t mhLen = len;
        for (int y = 0; y < 40; ++y) {
          int32_t next = 0;
          switch (mode) {
            case 0: next = CcittDecode1DLine(row.data(), data.get(), len, fo, pos, width); break;
            case 1: next = CcittDecode2DLine(row.data(), data.get(), len, true, fo, pos, ref.data(), width); break;
            case 2: next = CcittDecode2DLine(row.data(), data.get(), len, false, fo, pos, ref.data(), width); break;
            case 3: {
              const int32_t used = CcittDecodeMhRow(row.data(), mh, mhLen, fo, width);
              ASSERT_GE(used, 0);
              ASSERT_LE(used, mhLen);
              mh += used;
              mhLen -= used;
              next = pos;
              break;
            }
          }
          ASSERT_GE(next, pos);
          ASSERT_LE(next, len * 8);
          pos = next;
          for (size_t k = rb; k < rb + 4; ++k) {
            ASSERT_EQ(row[k], 0x5A);
            ASSERT_EQ(ref[k], 0x5A);
          }
        }
      }
    }
  }
}

// Decodes one line of hand-made bits.
std::string Decode1(const std::string& Bits, int32_t Width, int32_t* End = nullptr) {
  const auto data = FromBitText(Bits);
  std::vector<uint8_t> row(RowBytes(uint32_t(Width)));
  const int32_t e = CcittDecode1DLine(row.data(), data.data(), int32_t(data.size()), 1, 0, Width);
  if (End) *End = e;
  return RowText(row, Width);
}

std::string Decode2(const std::string& Bits, int32_t Width, bool EolSearch, int32_t* End = nullptr) {
  const auto data = FromBitText(Bits);
  std::vector<uint8_t> row(RowBytes(uint32_t(Width)));
  std::vector<uint8_t> ref(RowBytes(uint32_t(Width)), 0xFF);
  const int32_t e =
      CcittDecode2DLine(row.data(), data.data(), int32_t(data.size()), EolSearch, 1, 0, ref.data(), Width);
  if (End) *End = e;
  return RowText(row, Width);
}

TEST(CcittDecode, EndOfLineCodesAndFillBits) {
  const std::string eol = "000000000001";
  const std::string fill40(40, '0');
  int32_t end = 0;
  // A leading EOL, with no, few or more fill zeros than one window holds.
  EXPECT_EQ(Decode1(eol + "0111" "10", 5, &end), "wwbbb");
  EXPECT_EQ(end, 12 + 4 + 2);
  EXPECT_EQ(Decode1("000" + eol + "0111" "10", 5), "wwbbb");
  EXPECT_EQ(Decode1(fill40 + eol + "0111" "10", 5, &end), "wwbbb");
  EXPECT_EQ(end, 40 + 12 + 6);
  // A second EOL right after the leading one: an all-white line, EOL consumed.
  EXPECT_EQ(Decode1(eol + eol + "0111" "10", 5, &end), "wwwww");
  EXPECT_EQ(end, 24);
  // An EOL, or the end of the data, inside a black run paints the rest of the
  // line black; inside a white run the rest stays white.
  EXPECT_EQ(Decode1(eol + "0111" + eol, 8), "wwbbbbbb");
  EXPECT_EQ(Decode1(eol + "0111", 8), "wwbbbbbb");
  EXPECT_EQ(Decode1(eol + "0111" "10", 8), "wwbbbwww");
  // Runs past the width are cut at the width.
  EXPECT_EQ(Decode1("10011" "11", 4), "wwww");

  // Two-dimensional lines: an EOL with fill is found only with the EOL search.
  const std::string g3line = "0000" + eol + "1" + "0111" "10";  // fill, EOL, tag 1, 1D line
  EXPECT_EQ(Decode2(g3line, 5, true, &end), "wwbbb");
  EXPECT_EQ(end, 4 + 12 + 1 + 6);
  // An EOL in the middle of a line ends it before the EOL (left for the next
  // line), black to the width when the line was in a black run.
  EXPECT_EQ(Decode2("001" "0111" "11" + eol + "1", 8, true, &end), "wwbbwwww");
  EXPECT_EQ(end, 9);
  EXPECT_EQ(Decode2("0000010" + eol, 12, false, &end), "wwwwwwwwwbbb");  // VL3, then EOL
  EXPECT_EQ(end, 7);
}

TEST(CcittDecode, TwoDimensionalModesAndUncompressedMode) {
  // Horizontal white 2 / black 2, VL3 (black from 5), V0 to the end.
  EXPECT_EQ(Decode2("001" "0111" "11" "0000010" "1", 8, false), "wwbbwbbb");
  // Uncompressed mode: "1" black, "01" white+black, "000001" five white, exit
  // with 0 whites and the tag 0 (white next), then V0 to the end.
  EXPECT_EQ(Decode2("0000001111" "1" "01" "000001" "0000001" "0" "1", 16, false),
            "bwbwwwwwwwwwwwww");
  // Exit with two whites and tag 1: the next run (to b1 = width) is black.
  EXPECT_EQ(Decode2("0000001111" "000000001" "1" "1", 6, false), "wwbbbb");
  // A horizontal mode whose run reaches the end of the data ends the line white.
  EXPECT_EQ(Decode2("001" "0111", 8, false), "wwwwwwww");
  // Group 3: a tag-1 line is one-dimensional and becomes the reference.
  const std::string eol = "000000000001";
  const auto data = FromBitText(eol + "1" + "0111" "10" "1000" + eol + "0" + "1" "1" "1");
  std::vector<uint8_t> ref(2, 0xFF), row(2);
  int32_t p = CcittDecode2DLine(row.data(), data.data(), int32_t(data.size()), true, 1, 0, ref.data(), 8);
  EXPECT_EQ(RowText(row, 8), "wwbbbwww");
  p = CcittDecode2DLine(row.data(), data.data(), int32_t(data.size()), true, 1, p, ref.data(), 8);
  EXPECT_EQ(RowText(row, 8), "wwbbbwww");
}

// A horizontal mode of a white and a black run of no pixels leaves two
// changes at its position in the reference line: the next line's pass code
// ends at them, as coders that keep their lines as runs (and libtiff's
// decoder) count them.  Commercial encoders write such lines.
TEST(CcittDecode, ZeroLengthRunsCountAsChangesOfTheReferenceLine) {
  const std::string line1 = "001" "00110101" "0000110111"  // H: white 0, black 0
                            "001" "00111" "0011"             // H: white 10, black 5
                            "1";                              // V0 to the end
  const std::string line2 = "0001"                          // pass: b1 = b2 = 0
                            "001" "1000" "11"                // H: white 3, black 2
                            "1" "1" "1";                      // V0 to 10, to 15, to the end
  for (const int32_t fillOrder : {1, 2}) {
    const auto data = FromBitText(line1 + line2, fillOrder);
    std::vector<uint8_t> ref(RowBytes(20), 0xFF), row(RowBytes(20));
    int32_t p = CcittDecode2DLine(row.data(), data.data(), int32_t(data.size()), false, fillOrder, 0,
                                  ref.data(), 20);
    EXPECT_EQ(RowText(row, 20), "wwwwwwwwwwbbbbbwwwww");
    EXPECT_EQ(p, int32_t(line1.size()));
    p = CcittDecode2DLine(row.data(), data.data(), int32_t(data.size()), false, fillOrder, p, ref.data(), 20);
    EXPECT_EQ(RowText(row, 20), "wwwbbwwwwwbbbbbwwwww") << "fill order " << fillOrder;
    EXPECT_EQ(p, int32_t(line1.size() + line2.size()));
  }
}

TEST(CcittRows, FindColourAndPaintBlack) {
  std::vector<uint8_t> line(9, 0xFF);
  CcittPaintBlack(line.data(), 3, 2, 70);    // 3, 4
  CcittPaintBlack(line.data(), 16, 40, 70);  // whole bytes 16..55
  CcittPaintBlack(line.data(), 66, 10, 70);  // cut at the width: 66..69
  EXPECT_EQ(CcittFindColour(line.data(), 0, 70, 0), 3);
  EXPECT_EQ(CcittFindColour(line.data(), 5, 70, 0), 16);
  EXPECT_EQ(CcittFindColour(line.data(), 16, 70, 1), 56);
  EXPECT_EQ(CcittFindColour(line.data(), 57, 70, 0), 66);
  EXPECT_EQ(CcittFindColour(line.data(), 66, 70, 1), 70);  // the padding is not a pixel
  EXPECT_EQ(CcittFindColour(line.data(), -1, 70, 1), -1);  // before the line: white
  EXPECT_EQ(CcittFindColour(line.data(), -1, 70, 0), 3);
  EXPECT_EQ(line[8], 0xC3);  // 64, 65 white, 66..69 black, padding untouched
  CcittPaintBlack(line.data(), 10, 0, 70);
  CcittPaintBlack(line.data(), 80, 5, 70);
  EXPECT_EQ(CcittFindColour(line.data(), 5, 70, 0), 16);
}

// ---------------------------------------------------------------------------
// Peers

class CcittPeers : public testsupport::PeerToolTest {
 protected:
  // The first page of a TIFF file uncompressed by libtiff, as 1 = black.
  Bitmap LibtiffPixels(const std::string& Tif, size_t Page = 0) {
    Run("tiffcp -c none " + Tif + " " + File("plain.tif"));
    if (HasFatalFailure()) return {};
    return PlainPage(minitiff::ReadTiff(testsupport::ReadFileBytes(File("plain.tif"))).at(Page));
  }
  Bitmap DecodedHere(const std::string& Tif, size_t Page = 0) {
    if (HasFatalFailure()) return {};
    return DecodePage(minitiff::ReadTiff(testsupport::ReadFileBytes(Tif)).at(Page));
  }
};

// Drawn at 72 dpi, so that one point is one pixel; the second page is the
// first turned upside down.
const char* kPostScriptPage = R"PS(%!PS
/drawing {
/Helvetica findfont 30 scalefont setfont
0 setgray
40 270 moveto (Folivra fax page: THE QUICK BROWN FOX 0123456789) show
/Times-Roman findfont 12 scalefont setfont
40 245 moveto (small print on a fax page, with kerning and serifs ~ | ! @ #) show
3 setlinewidth 30 30 moveto 1000 230 lineto stroke
0.5 setlinewidth 30 230 moveto 1200 40 lineto stroke
50 50 200 150 rectfill
1 setgray 80 80 100 60 rectfill 0 setgray
500 150 90 0 360 arc fill
0 1 60 { 7 mul 1300 add 60 5 200 rectfill } for
20 10 1050 8 rectfill
0 100 2700 6 rectfill
30 120 2650 3 rectfill
} def
drawing showpage
currentpagedevice /PageSize get aload pop translate 180 rotate drawing showpage
)PS";

// One case per Ghostscript fax device, so that CTest spreads them over the
// cores.
class CcittGhostscriptPeers : public CcittPeers, public ::testing::WithParamInterface<const char*> {};

TEST_P(CcittGhostscriptPeers, FaxPagesDecodeLikeTheirUncompressedCopies) {
  if (!Have("gs") || !Have("tiffcp")) GTEST_SKIP() << "Ghostscript or libtiff tools missing";
  testsupport::WriteFileBytes(File("page.ps"),
                              std::vector<uint8_t>(kPostScriptPage, kPostScriptPage + strlen(kPostScriptPage)));
  const char* dev = GetParam();
  struct Size { int W, H; } sizes[] = {{1728, 320}, {2700, 150}};
  for (const Size& sz : sizes) {
    for (int fo : {1, 2}) {
      const std::string tif = File(std::string(dev) + ".tif");
      Run("gs -q -dNOPAUSE -dBATCH -dSAFER -sDEVICE=" + std::string(dev) + " -dFillOrder=" + std::to_string(fo) +
          " -r72 -g" + std::to_string(sz.W) + "x" + std::to_string(sz.H) + " -sOutputFile=" + tif + " " +
          File("page.ps"));
      // Two pages: the drawing, then the same drawing turned upside down.
      for (size_t page = 0; page < 2; ++page) {
        const Bitmap want = LibtiffPixels(tif, page);
        const Bitmap got = DecodedHere(tif, page);
        EXPECT_EQ(Compare(want, got), "") << dev << " fill " << fo << " width " << sz.W << " page " << page;
        // The page is not blank: the comparison means something.
        size_t black = 0;
        for (uint32_t y = 0; y < want.Height; ++y)
          for (uint32_t x = 0; x < want.Width; ++x) black += Black(want, x, y);
        EXPECT_GT(black, 1000u);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Devices, CcittGhostscriptPeers, ::testing::Values("tiffcrle", "tiffg3", "tiffg32d", "tiffg4"),
                         [](const ::testing::TestParamInfo<const char*>& Info) { return std::string(Info.param); });

// One case per page width, so that CTest spreads them over the cores.
class CcittLibtiffPeers : public CcittPeers, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(CcittLibtiffPeers, LibtiffFaxCodingsDecodeHere) {
  if (!Have("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  const uint32_t width = GetParam();
  const Bitmap page = MakePage(width, 40, width + 1);
  testsupport::WriteFileBytes(File("src.tif"), minitiff::WriteTiff({PlainTiffPage(page)}));
  for (const char* coding : {"g3:1d", "g3:2d", "g3:1d:fill", "g3:2d:fill", "g4"}) {
    for (const char* order : {"msb2lsb", "lsb2msb"}) {
      Run(std::string("tiffcp -r 16 -f ") + order + " -c " + coding + " " + File("src.tif") + " " +
          File("peer.tif"));
      EXPECT_EQ(Compare(page, DecodedHere(File("peer.tif"))), "") << coding << " " << order << " width " << width;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Widths, CcittLibtiffPeers, ::testing::Values(1u, 7u, 8u, 1728u, 2600u),
                         [](const ::testing::TestParamInfo<uint32_t>& Info) {
                           return "width" + std::to_string(Info.param);
                         });

TEST_F(CcittPeers, ImageMagickFaxTiffsDecodeHere) {
  if (!Have("convert")) GTEST_SKIP() << "ImageMagick missing";
  const Bitmap page = MakePage(1728, 60, 3);
  Bitmap clean = page;
  for (auto& r : clean.Rows) MaskPadding(r, clean.Width);
  testsupport::WriteFileBytes(File("src.pbm"), minitiff::WritePbm(clean));
  for (const char* compress : {"Group4", "Fax"}) {
    Run(std::string("convert ") + File("src.pbm") + " -compress " + compress + " " + File("im.tif"));
    EXPECT_EQ(Compare(page, DecodedHere(File("im.tif"))), "") << compress;
  }
}

// netpbm's raw Group 3 files: one-dimensional lines, each after an EOL.
TEST_F(CcittPeers, NetpbmRawGroup3BothWays) {
  if (!Have("pbmtog3") || !Have("g3topbm")) GTEST_SKIP() << "netpbm missing";
  for (uint32_t width : {7u, 64u, 1728u, 2600u}) {
    const Bitmap page = MakePage(width, 30, width + 5);
    Bitmap clean = page;
    for (auto& r : clean.Rows) MaskPadding(r, width);
    testsupport::WriteFileBytes(File("src.pbm"), minitiff::WritePbm(clean));
    for (int32_t fo : {1, 2}) {
      const std::string what = "width " + std::to_string(width) + " fill " + std::to_string(fo);
      const std::string rev = fo == 2 ? " -reversebits" : "";
      // Theirs, read here line after line.
      Run("pbmtog3 -nofixedwidth" + rev + " " + File("src.pbm") + " >" + File("peer.g3"));
      const auto coded = testsupport::ReadFileBytes(File("peer.g3"));
      Bitmap got{width, 30, {}};
      int32_t pos = 0;
      for (int y = 0; y < 30; ++y) {
        std::vector<uint8_t> row(RowBytes(width));
        pos = CcittDecode1DLine(row.data(), coded.data(), int32_t(coded.size()), fo, pos, int32_t(width));
        for (auto& v : row) v = uint8_t(~v);
        got.Rows.push_back(row);
      }
      EXPECT_EQ(Compare(page, got), "") << "pbmtog3, " << what;
      // Ours, read there.
      testsupport::WriteFileBytes(File("ours.g3"), EncodeStrip(cG31D, page, 0, 30, fo));
      Run("g3topbm" + rev + " " + File("ours.g3") + " >" + File("back.pbm"));
      EXPECT_EQ(Compare(page, minitiff::ReadPbm(testsupport::ReadFileBytes(File("back.pbm")))), "")
          << "g3topbm, " << what;
    }
  }
}

// One case per width and coding, so that CTest spreads them over the cores.
struct TStripCase {
  uint32_t Width;
  Coding Code;
};

class CcittStripPeers : public CcittPeers, public ::testing::WithParamInterface<TStripCase> {};

TEST_P(CcittStripPeers, OurStripsReadRightInLibtiffAndImageMagick) {
  if (!Have("tiffcp") || !Have("tiffcmp")) GTEST_SKIP() << "libtiff tools missing";
  const bool haveIm = Have("convert");
  const uint32_t width = GetParam().Width;
  const Coding c = GetParam().Code;
  const Bitmap page = MakePage(width, 40, width + 11, c == cG32D || c == cG4);
  testsupport::WriteFileBytes(File("src.tif"), minitiff::WriteTiff({PlainTiffPage(page)}));
  for (int32_t fo : {1, 2}) {
    const std::string what =
        std::string(CodingName(c)) + " fill " + std::to_string(fo) + " width " + std::to_string(width);
    testsupport::WriteFileBytes(File("ours.tif"), minitiff::WriteTiff({EncodePage(c, page, fo, 16)}));
    EXPECT_EQ(Compare(page, LibtiffPixels(File("ours.tif"))), "") << what;
    Run("tiffcmp " + File("src.tif") + " " + File("ours.tif"));
    if (haveIm && (width == 1728 || width == 7)) {
      Run("convert " + File("ours.tif") + " " + File("im.pbm"));
      EXPECT_EQ(Compare(page, minitiff::ReadPbm(testsupport::ReadFileBytes(File("im.pbm")))), "")
          << what << " (ImageMagick)";
    }
  }
}

std::vector<TStripCase> StripCases() {
  std::vector<TStripCase> cases;
  for (uint32_t width : {1u, 7u, 8u, 1728u, 2600u})
    for (Coding c : {cMH, cG31D, cG32D, cG4}) cases.push_back({width, c});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(WidthsAndCodings, CcittStripPeers, ::testing::ValuesIn(StripCases()),
                         [](const ::testing::TestParamInfo<TStripCase>& Info) {
                           std::string name = std::string(CodingName(Info.param.Code)) + "_width" +
                                              std::to_string(Info.param.Width);
                           for (char& ch : name)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return name;
                         });

}  // namespace
