// The TIFF LZW codec: round trips across code-width changes and table clears,
// hand-made code streams, corrupt and truncated data, and strips made by (and
// for) libtiff's tools and ImageMagick.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "formats/tiff/tiff_lzw.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"
#include "support/mini_tiff.h"
#include "support/peer_fixture.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes StreamBytes(TMemoryStream& S) {
  const auto* p = static_cast<const uint8_t*>(S.GetMemory());
  return Bytes(p, p + S.GetSize());
}

// Encodes Data as one strip, Chunk bytes per call.
Bytes Encode(const Bytes& Data, size_t Chunk) {
  TMemoryStream s;
  void* state = nullptr;
  for (size_t at = 0; at < Data.size(); at += Chunk)
    TiffLzwEncode(Data.data() + at, int32_t(std::min(Chunk, Data.size() - at)), &s, state);
  TiffLzwEncode(nullptr, 0, &s, state);
  EXPECT_EQ(state, nullptr);
  return StreamBytes(s);
}

// Decodes Rows rows of RowLength bytes; a failed row ends the list early.
std::vector<Bytes> Decode(const Bytes& Coded, int32_t RowLength, int32_t Rows, int32_t FillOrder = 1) {
  // An exactly sized copy, so that a stray read shows under the sanitizers.
  std::unique_ptr<uint8_t[]> data(new uint8_t[Coded.size() + 1]);
  if (!Coded.empty()) std::memcpy(data.get(), Coded.data(), Coded.size());
  std::vector<Bytes> out;
  void* state = nullptr;
  for (int32_t y = 0; y < Rows; ++y) {
    const uint8_t* row = TiffLzwDecode(data.get(), int64_t(Coded.size()), RowLength, state, FillOrder);
    if (!row) break;
    out.emplace_back(row, row + RowLength);
  }
  EXPECT_EQ(TiffLzwDecode(nullptr, 0, RowLength, state, FillOrder), nullptr);
  EXPECT_EQ(state, nullptr);
  return out;
}

Bytes Join(const std::vector<Bytes>& Rows) {
  Bytes all;
  for (const auto& r : Rows) all.insert(all.end(), r.begin(), r.end());
  return all;
}

// Writes codes the way a decoder reads them: 9 bits after Clear, one more bit
// when the table's next free code reaches 511, 1023 and 2047.
Bytes CodeStream(const std::vector<int>& Codes, bool TableGrows = true) {
  Bytes out;
  size_t bits = 0;
  int width = 9, nextFree = 258;
  bool first = true;
  for (int c : Codes) {
    for (int b = width - 1; b >= 0; --b) {
      if (bits % 8 == 0) out.push_back(0);
      if ((c >> b) & 1) out.back() |= uint8_t(0x80 >> (bits % 8));
      ++bits;
    }
    if (c == 256) {
      width = 9;
      nextFree = 258;
      first = true;
    } else if (c != 257 && TableGrows) {
      if (!first) ++nextFree;
      first = false;
      width = nextFree >= 2047 ? 12 : nextFree >= 1023 ? 11 : nextFree >= 511 ? 10 : 9;
    }
  }
  return out;
}

std::string Text(const uint8_t* P, size_t N) { return std::string(reinterpret_cast<const char*>(P), N); }

std::string DecodeText(const Bytes& Coded, int32_t Length) {
  void* state = nullptr;
  const uint8_t* row = TiffLzwDecode(Coded.data(), int64_t(Coded.size()), Length, state, 1);
  std::string s = row ? Text(row, size_t(Length)) : "<nil>";
  TiffLzwDecode(nullptr, 0, Length, state, 1);
  return s;
}

// Test data: incompressible bytes (many table clears), long repeats (long
// strings and codes equal to the next free code) and mixed structure.
Bytes MakeData(size_t Size, int Kind, uint32_t Seed) {
  std::mt19937 rng(Seed);
  Bytes d(Size);
  for (size_t i = 0; i < Size; ++i) {
    switch (Kind) {
      case 0: d[i] = uint8_t(rng()); break;
      case 1: d[i] = 0; break;
      default: d[i] = (i / 97) % 3 == 0 ? uint8_t(rng() % 4) : uint8_t((i * 7) / 13); break;
    }
  }
  return d;
}

TEST(TiffLzw, RowByRowRoundTripsAcrossWidthChangesAndClears) {
  for (int kind : {0, 1, 2}) {
    for (int32_t rowLength : {1, 3, 100, 4099}) {
      const int32_t rows = int32_t(150000 / rowLength) + 1;
      const Bytes data = MakeData(size_t(rowLength) * size_t(rows), kind, uint32_t(rowLength));
      const Bytes coded = Encode(data, size_t(rowLength));
      const auto back = Decode(coded, rowLength, rows);
      ASSERT_EQ(back.size(), size_t(rows)) << "kind " << kind << " row length " << rowLength;
      EXPECT_TRUE(Join(back) == data) << "kind " << kind << " row length " << rowLength;
      if (kind == 0) {
        EXPECT_GT(coded.size(), data.size());  // 12-bit codes for single bytes
      } else if (kind == 1) {
        EXPECT_LT(coded.size(), data.size() / 50);
      }
    }
  }
  // One LZW stream across calls: rows of other lengths than the writer's.
  const Bytes data = MakeData(60000, 2, 9);
  EXPECT_TRUE(Join(Decode(Encode(data, 777), 1000, 60)) == data);
  // Strips of several megabytes, long and short strings: the decoder lets go
  // of rows it answered long ago while the table still points into them.
  for (int kind : {1, 2}) {
    const Bytes big = MakeData(6000000, kind, 3);
    EXPECT_TRUE(Join(Decode(Encode(big, 6000), 6000, 1000)) == big) << "kind " << kind;
  }
}

// A plain string-table decoder: every entry a whole string, rows cut from
// one output as the library's decoder documents it.
std::vector<Bytes> ReferenceDecode(const Bytes& Coded, int32_t RowLength, int32_t Rows) {
  std::vector<Bytes> table(258);
  for (int i = 0; i < 256; ++i) table[size_t(i)] = Bytes{uint8_t(i)};
  size_t bitPos = 0;
  int width = 9, prev = -1;
  bool ended = false;
  Bytes pending;
  auto read = [&]() -> int {
    if (bitPos + size_t(width) > Coded.size() * 8) return -1;
    int c = 0;
    for (int b = 0; b < width; ++b, ++bitPos) c = (c << 1) | ((Coded[bitPos / 8] >> (7 - bitPos % 8)) & 1);
    return c;
  };
  auto add = [&](Bytes S) {
    if (table.size() >= 4097) return false;
    table.push_back(std::move(S));
    const size_t n = table.size();
    width = n >= 2047 ? 12 : n >= 1023 ? 11 : n >= 511 ? 10 : 9;
    return true;
  };
  std::vector<Bytes> rows;
  for (int32_t y = 0; y < Rows; ++y) {
    while (int32_t(pending.size()) < RowLength && !ended) {
      int c = read();
      if (c < 0 || c == 257) {
        ended = true;
        break;
      }
      if (c == 256) {
        table.resize(258);
        width = 9;
        do c = read();
        while (c == 256);
        if (c < 0 || c == 257) {
          ended = true;
          break;
        }
        if (c >= int(table.size())) return rows;
        pending.insert(pending.end(), table[size_t(c)].begin(), table[size_t(c)].end());
        prev = c;
        continue;
      }
      if (prev < 0) {
        if (c >= int(table.size())) return rows;
        pending.insert(pending.end(), table[size_t(c)].begin(), table[size_t(c)].end());
        prev = c;
        continue;
      }
      Bytes str;
      if (c < int(table.size())) {
        str = table[size_t(c)];
        Bytes entry = table[size_t(prev)];
        entry.push_back(str[0]);
        pending.insert(pending.end(), str.begin(), str.end());
        if (!add(entry)) return rows;
      } else if (c == int(table.size())) {
        str = table[size_t(prev)];
        str.push_back(str[0]);
        if (!add(str)) return rows;
        pending.insert(pending.end(), str.begin(), str.end());
      } else {
        break;  // beyond the table: the rest of the row is zero
      }
      prev = c;
    }
    Bytes row(size_t(RowLength), 0);
    const size_t n = std::min(pending.size(), size_t(RowLength));
    std::copy(pending.begin(), pending.begin() + std::ptrdiff_t(n), row.begin());
    pending.erase(pending.begin(), pending.begin() + std::ptrdiff_t(n));
    rows.push_back(row);
  }
  return rows;
}

// Random code streams a decoder must follow: literals, entries, the entry
// being defined many times in a row (strings of every length up to a few
// hundred bytes), clears, and now and then a code beyond the table.
TEST(TiffLzw, RandomCodeStreamsDecodeAsAPlainStringTable) {
  std::mt19937 rng(5);
  for (int round = 0; round < 25; ++round) {
    Bytes out;
    size_t bits = 0;
    auto put = [&](int C, int Width) {
      for (int b = Width - 1; b >= 0; --b, ++bits) {
        if (bits % 8 == 0) out.push_back(0);
        if ((C >> b) & 1) out.back() |= uint8_t(0x80 >> (bits % 8));
      }
    };
    int width = 9, nextFree = 258;
    bool havePrev = false;
    const int codes = 2000 + int(rng() % 8000);
    for (int k = 0; k < codes; ++k) {
      const uint32_t pick = rng() % 1000;
      int c;
      if (nextFree > 4000 || pick < 3) {
        put(256, width);
        width = 9;
        nextFree = 258;
        havePrev = false;
        continue;
      }
      if (!havePrev || pick < 250) {
        c = int(rng() % 4);  // few distinct bytes: long strings form
      } else if (pick < 700) {
        c = 258 + int(rng() % uint32_t(nextFree - 258 + 1));
        if (c == nextFree) c = int(rng() % 256);
      } else if (pick < 995) {
        // The entry being defined, again and again.
        for (int r = int(rng() % 200); r >= 0 && nextFree <= 4000; --r) {
          put(nextFree, width);
          ++nextFree;
          width = nextFree >= 2047 ? 12 : nextFree >= 1023 ? 11 : nextFree >= 511 ? 10 : 9;
        }
        continue;
      } else {
        c = nextFree + 1 + int(rng() % 4);  // beyond the table: adds nothing
        if (c < (1 << width)) put(c, width);
        continue;
      }
      put(c, width);
      if (havePrev) ++nextFree;
      havePrev = true;
      width = nextFree >= 2047 ? 12 : nextFree >= 1023 ? 11 : nextFree >= 511 ? 10 : 9;
    }
    if (round % 3) put(257, width);
    const int32_t rowLength = int32_t(1 + rng() % (round % 2 ? 50 : 9000));
    const int32_t rows = int32_t(600000 / rowLength) + 2;
    const auto want = ReferenceDecode(out, rowLength, rows);
    const auto got = Decode(out, rowLength, rows);
    ASSERT_EQ(got.size(), want.size()) << "round " << round;
    for (size_t y = 0; y < got.size(); ++y) ASSERT_TRUE(got[y] == want[y]) << "round " << round << " row " << y;
  }
}

TEST(TiffLzw, KnownCodeStreams) {
  // A single byte: Clear, the byte, EOI in 27 bits.
  const uint8_t a = 'A';
  TMemoryStream s;
  void* state = nullptr;
  TiffLzwEncode(&a, 1, &s, state);
  TiffLzwEncode(nullptr, 0, &s, state);
  EXPECT_EQ(StreamBytes(s), (Bytes{0x80, 0x10, 0x60, 0x20}));

  struct Case {
    const char* Name;
    std::vector<int> Codes;
    std::string Want;
  };
  const std::vector<Case> cases = {
      // The first code after Clear adds no entry: 258 is "ab", not "a" + "a".
      {"first code after Clear", {256, 'a', 'b', 258, 257}, "abab"},
      // 260 is the next free code: the previous string and its own first byte.
      {"code equal to the next free code", {256, 'a', 'b', 258, 260, 257}, "abababa"},
      // Data that does not begin with Clear decodes as if it did.
      {"no leading Clear", {'a', 'b', 258, 257}, "abab"},
      // Clear in the middle starts a fresh table; Clear, Clear is one Clear.
      {"Clear mid-stream", {256, 'x', 'y', 256, 256, 'a', 'b', 258, 257}, "xyabab"},
      // EOI ends the data: the rest of the row reads as zeros.
      {"EOI before the row is full", {256, 'a', 257, 'b'}, std::string("a\0\0", 3)},
      // A code beyond the next free code ends the row early.
      {"code beyond the table", {256, 'a', 'b', 300, 'c'}, std::string("ab\0\0", 4)},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DecodeText(CodeStream(c.Codes), int32_t(c.Want.size())), c.Want) << c.Name;

  // After a row cut short by a bad code, decoding goes on in the next row and
  // the entries made from then on are the strings they stand for: "bc" is made
  // from the last string before the cut, "cb" and "bca" from later ones.
  {
    const Bytes coded = CodeStream({256, 'a', 'b', 300, 'c', 259, 258, 261, 257});
    void* st = nullptr;
    std::string rows;
    for (int i = 0; i < 3; ++i) {
      const uint8_t* row = TiffLzwDecode(coded.data(), int64_t(coded.size()), 4, st, 1);
      ASSERT_NE(row, nullptr);
      rows += Text(row, 4);
    }
    TiffLzwDecode(nullptr, 0, 4, st, 1);
    EXPECT_EQ(rows, std::string("ab\0\0cbcabbca", 12));
  }

  // Fill order 2: every coded byte is bit-reversed before the codes are read.
  Bytes coded = CodeStream({256, 'a', 'b', 258, 260, 257});
  for (auto& v : coded) v = uint8_t((v * 0x0202020202ULL & 0x010884422010ULL) % 1023);
  void* st = nullptr;
  const uint8_t* row = TiffLzwDecode(coded.data(), int64_t(coded.size()), 7, st, 2);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(Text(row, 7), "abababa");
  TiffLzwDecode(nullptr, 0, 7, st, 2);
}

TEST(TiffLzw, CorruptDataFailsCleanly) {
  // Clear followed by a code beyond the table; a first code beyond the table.
  EXPECT_EQ(DecodeText(CodeStream({256, 300, 'a'}), 2), "<nil>");
  EXPECT_EQ(DecodeText(CodeStream({300, 'a'}), 2), "<nil>");

  // A table that would exceed 4096 entries: no Clear for 4000 codes.
  std::vector<int> codes = {256};
  for (int i = 0; i < 4000; ++i) codes.push_back('a' + i % 3);
  const Bytes overflow = CodeStream(codes);
  void* state = nullptr;
  int rowsBeforeFailure = 0;
  while (TiffLzwDecode(overflow.data(), int64_t(overflow.size()), 100, state, 1)) ++rowsBeforeFailure;
  EXPECT_EQ(rowsBeforeFailure, 38);  // entries 258..4096 come from codes 2..3840
  EXPECT_EQ(TiffLzwDecode(overflow.data(), int64_t(overflow.size()), 100, state, 1), nullptr);
  TiffLzwDecode(nullptr, 0, 100, state, 1);
  EXPECT_EQ(state, nullptr);

  // Random bytes and damaged strips: rows or a clean nil, never a stray access.
  std::mt19937 rng(11);
  const Bytes good = Encode(MakeData(20000, 2, 1), 200);
  for (int i = 0; i < 60; ++i) {
    Bytes d;
    if (i % 2) {
      d.resize(rng() % 3000);
      for (auto& v : d) v = uint8_t(rng());
      if (!d.empty() && i % 4 == 1) d[0] = 0x80;  // starts with Clear
    } else {
      d = good;
      for (int k = 0; k < 3; ++k) d[rng() % d.size()] ^= uint8_t(1 << (rng() % 8));
    }
    Decode(d, int32_t(1 + rng() % 300), 120, 1 + i % 2);
  }
}

TEST(TiffLzw, AStripThatCannotBeWrittenRaisesAtItsEnd) {
  uint8_t block[100];
  TCustomMemoryStream full(block, sizeof block);  // takes no writes
  const Bytes data = MakeData(5000, 0, 3);
  void* state = nullptr;
  TiffLzwEncode(data.data(), int32_t(data.size()), &full, state);
  EXPECT_THROW(TiffLzwEncode(nullptr, 0, &full, state), EWriteError);
  EXPECT_EQ(state, nullptr);  // freed all the same
  // A strip that fits raises nothing.
  TMemoryStream roomy;
  TiffLzwEncode(data.data(), 10, &roomy, state);
  EXPECT_NO_THROW(TiffLzwEncode(nullptr, 0, &roomy, state));
}

TEST(TiffLzw, TruncatedStripKeepsItsRowsAndTheRestIsZero) {
  const Bytes data = MakeData(30000, 2, 4);
  const Bytes coded = Encode(data, 300);
  for (size_t cut : {size_t(0), size_t(1), coded.size() / 3, coded.size() - 1}) {
    const Bytes part(coded.begin(), coded.begin() + cut);
    const auto rows = Decode(part, 300, 100);
    ASSERT_EQ(rows.size(), 100u) << "cut " << cut;
    // The decoded prefix equals the data; everything after it is zero.
    const Bytes all = Join(rows);
    size_t same = 0;
    while (same < all.size() && all[same] == data[same]) ++same;
    for (size_t i = same; i < all.size(); ++i) ASSERT_EQ(all[i], 0) << "cut " << cut << " byte " << i;
    if (cut == coded.size() - 1) {
      EXPECT_GT(same, data.size() - 300);
    }
  }
}

// ---------------------------------------------------------------------------
// Peers

using TiffLzwPeers = testsupport::PeerToolTest;

// An 8-bit page of Spp samples per pixel: gradients, flat areas and noise.
minitiff::Page MakePage(uint32_t W, uint32_t H, uint32_t Spp) {
  minitiff::Page p;
  p.Width = W;
  p.Height = H;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = Spp;
  p.Photometric = Spp == 3 ? 2 : 1;
  std::mt19937 rng(W * H);
  Bytes all;
  for (uint32_t y = 0; y < H; ++y)
    for (uint32_t x = 0; x < W; ++x)
      for (uint32_t s = 0; s < Spp; ++s)
        all.push_back(y % 5 == 0 ? uint8_t(rng()) : x < W / 3 ? uint8_t(200) : uint8_t(x * (s + 1) + y));
  p.Strips.push_back(all);
  return p;
}

// The page's pixels decoded here, with a horizontal predictor undone.
Bytes DecodePage(const minitiff::Page& P) {
  const int32_t rowLength = int32_t(P.RowBytes());
  Bytes all;
  uint32_t y = 0;
  for (const auto& strip : P.Strips) {
    const uint32_t rows = std::min(P.StripRows(), P.Height - y);
    const auto decoded = Decode(strip, rowLength, int32_t(rows), int32_t(P.FillOrder));
    EXPECT_EQ(decoded.size(), rows);
    for (Bytes r : decoded) {
      if (P.Predictor == 2)
        for (size_t i = P.SamplesPerPixel; i < r.size(); ++i) r[i] = uint8_t(r[i] + r[i - P.SamplesPerPixel]);
      all.insert(all.end(), r.begin(), r.end());
    }
    y += rows;
  }
  return all;
}

Bytes Plain(const minitiff::Page& P) {
  EXPECT_EQ(P.Compression, 1u);
  return Join(P.Strips);
}

TEST_F(TiffLzwPeers, LibtiffAndImageMagickStripsDecodeHere) {
  if (!testsupport::HaveTool("tiffcp")) GTEST_SKIP() << "libtiff tools missing";
  for (uint32_t spp : {1u, 3u}) {
    const minitiff::Page src = MakePage(301, 60, spp);
    testsupport::WriteFileBytes(File("src.tif"), minitiff::WriteTiff({src}));
    for (const char* opts : {"-c lzw -r 16", "-c lzw -f lsb2msb", "-c lzw:2 -r 7"}) {
      Run(std::string("tiffcp ") + opts + " " + File("src.tif") + " " + File("peer.tif"));
      const auto page = minitiff::ReadTiff(testsupport::ReadFileBytes(File("peer.tif"))).at(0);
      ASSERT_EQ(page.Compression, 5u);
      EXPECT_TRUE(DecodePage(page) == Plain(src)) << opts << " samples " << spp;
    }
    if (testsupport::HaveTool("convert")) {
      Run("convert " + File("src.tif") + " -compress LZW " + File("im.tif"));
      const auto page = minitiff::ReadTiff(testsupport::ReadFileBytes(File("im.tif"))).at(0);
      ASSERT_EQ(page.Compression, 5u);
      EXPECT_TRUE(DecodePage(page) == Plain(src)) << "ImageMagick, samples " << spp;
    }
  }
}

TEST_F(TiffLzwPeers, OurStripsReadRightInLibtiffAndImageMagick) {
  if (!testsupport::HaveTool("tiffcp") || !testsupport::HaveTool("tiffcmp")) GTEST_SKIP() << "libtiff tools missing";
  for (uint32_t spp : {1u, 3u}) {
    const minitiff::Page src = MakePage(1500, 200, spp);
    testsupport::WriteFileBytes(File("src.tif"), minitiff::WriteTiff({src}));
    // Strips of 64 rows, written one row per call.
    minitiff::Page ours = src;
    ours.Compression = 5;
    ours.RowsPerStrip = 64;
    ours.Strips.clear();
    const Bytes pixels = Plain(src);
    const size_t rb = src.RowBytes();
    for (uint32_t y = 0; y < src.Height; y += 64) {
      const uint32_t rows = std::min(64u, src.Height - y);
      ours.Strips.push_back(
          Encode(Bytes(pixels.begin() + y * rb, pixels.begin() + (y + rows) * rb), rb));
    }
    testsupport::WriteFileBytes(File("ours.tif"), minitiff::WriteTiff({ours}));
    Run("tiffcp -c none " + File("ours.tif") + " " + File("plain.tif"));
    EXPECT_TRUE(Plain(minitiff::ReadTiff(testsupport::ReadFileBytes(File("plain.tif"))).at(0)) == pixels);
    Run("tiffcmp " + File("src.tif") + " " + File("ours.tif"));
    if (testsupport::HaveTool("convert")) {
      Run("convert " + File("ours.tif") + " -depth 8 " + std::string(spp == 3 ? "rgb:" : "gray:") + File("im.raw"));
      EXPECT_TRUE(testsupport::ReadFileBytes(File("im.raw")) == pixels) << "ImageMagick, samples " << spp;
    }
  }
}

}  // namespace
