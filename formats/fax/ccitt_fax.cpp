#include "formats/fax/ccitt_fax.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

#include "foundations/bit_helpers.h"
#include "platform/rtl/streams.h"

namespace {

// A code written as its bits, most significant first ("0111").
constexpr CcittCodeEntry Code(const char* Bits, int32_t Run) {
  CcittCodeEntry e{0, 0, Run};
  uint32_t v = 0;
  int32_t n = 0;
  for (const char* c = Bits; *c; ++c) {
    v = (v << 1) | uint32_t(*c == '1');
    ++n;
  }
  e.Length = n;
  e.Code = uint16_t(v);
  return e;
}

// k 0 bits followed by a 1 bit.
constexpr CcittCodeEntry ZerosThenOne(int32_t K, int32_t Run) { return CcittCodeEntry{K + 1, 1, Run}; }

constexpr std::array<const char*, 64> kWhiteTerm = {
    "00110101", "000111",   "0111",     "1000",     "1011",     "1100",     "1110",     "1111",
    "10011",    "10100",    "00111",    "01000",    "001000",   "000011",   "110100",   "110101",
    "101010",   "101011",   "0100111",  "0001100",  "0001000",  "0010111",  "0000011",  "0000100",
    "0101000",  "0101011",  "0010011",  "0100100",  "0011000",  "00000010", "00000011", "00011010",
    "00011011", "00010010", "00010011", "00010100", "00010101", "00010110", "00010111", "00101000",
    "00101001", "00101010", "00101011", "00101100", "00101101", "00000100", "00000101", "00001010",
    "00001011", "01010010", "01010011", "01010100", "01010101", "00100100", "00100101", "01011000",
    "01011001", "01011010", "01011011", "01001010", "01001011", "00110010", "00110011", "00110100"};

constexpr std::array<const char*, 27> kWhiteMakeup = {
    "11011",     "10010",     "010111",    "0110111",   "00110110",  "00110111",  "01100100",
    "01100101",  "01101000",  "01100111",  "011001100", "011001101", "011010010", "011010011",
    "011010100", "011010101", "011010110", "011010111", "011011000", "011011001", "011011010",
    "011011011", "010011000", "010011001", "010011010", "011000",    "010011011"};

constexpr std::array<const char*, 64> kBlackTerm = {
    "0000110111",   "010",          "11",           "10",           "011",
    "0011",         "0010",         "00011",        "000101",       "000100",
    "0000100",      "0000101",      "0000111",      "00000100",     "00000111",
    "000011000",    "0000010111",   "0000011000",   "0000001000",   "00001100111",
    "00001101000",  "00001101100",  "00000110111",  "00000101000",  "00000010111",
    "00000011000",  "000011001010", "000011001011", "000011001100", "000011001101",
    "000001101000", "000001101001", "000001101010", "000001101011", "000011010010",
    "000011010011", "000011010100", "000011010101", "000011010110", "000011010111",
    "000001101100", "000001101101", "000011011010", "000011011011", "000001010100",
    "000001010101", "000001010110", "000001010111", "000001100100", "000001100101",
    "000001010010", "000001010011", "000000100100", "000000110111", "000000111000",
    "000000100111", "000000101000", "000001011000", "000001011001", "000000101011",
    "000000101100", "000001011010", "000001100110", "000001100111"};

constexpr std::array<const char*, 27> kBlackMakeup = {
    "0000001111",    "000011001000",  "000011001001",  "000001011011",  "000000110011",
    "000000110100",  "000000110101",  "0000001101100", "0000001101101", "0000001001010",
    "0000001001011", "0000001001100", "0000001001101", "0000001110010", "0000001110011",
    "0000001110100", "0000001110101", "0000001110110", "0000001110111", "0000001010010",
    "0000001010011", "0000001010100", "0000001010101", "0000001011010", "0000001011011",
    "0000001100100", "0000001100101"};

constexpr std::array<const char*, 13> kExtMakeup = {
    "00000001000",  "00000001100",  "00000001101",  "000000010010", "000000010011",
    "000000010100", "000000010101", "000000010110", "000000010111", "000000011100",
    "000000011101", "000000011110", "000000011111"};

constexpr std::array<CcittCodeEntry, 128> MakeRunTable(bool Black) {
  std::array<CcittCodeEntry, 128> t{};
  for (int32_t i = 0; i < 64; ++i) t[i] = Code(Black ? kBlackTerm[i] : kWhiteTerm[i], i);
  for (int32_t i = 0; i < 27; ++i)
    t[64 + i] = Code(Black ? kBlackMakeup[i] : kWhiteMakeup[i], 64 * (i + 1));
  for (int32_t i = 0; i < 13; ++i) t[91 + i] = Code(kExtMakeup[i], 1792 + 64 * i);
  t[104] = ZerosThenOne(11, CcittRunEol);
  t[105] = ZerosThenOne(8, CcittRunSkip);
  t[106] = ZerosThenOne(9, CcittRunSkip);
  t[107] = ZerosThenOne(10, CcittRunSkip);
  for (int32_t k = 12; k <= 31; ++k) t[108 + (k - 12)] = ZerosThenOne(k, CcittRunEol);
  return t;
}

// Mode index for every 12-bit prefix (0 where no mode code matches).  The mode
// codes form a prefix-free set, so the first match in table order is the only
// one.
constexpr std::array<uint8_t, 4096> MakeModeLookup(const std::array<CcittCodeEntry, CcittModeCount>& Modes) {
  std::array<uint8_t, 4096> t{};
  for (int32_t m = CcittModeCount - 1; m >= 1; --m) {
    const int32_t len = Modes[m].Length;
    const uint32_t first = uint32_t(Modes[m].Code) << (12 - len);
    for (uint32_t k = 0; k < (1u << (12 - len)); ++k) t[first + k] = uint8_t(m);
  }
  return t;
}

constexpr std::array<CcittCodeEntry, CcittModeCount> kModes = {
    Code("000000000000", 0),  // twelve 0 bits: start of an EOL with fill
    Code("0001", 0),          // pass
    Code("001", 0),           // horizontal
    Code("0000010", 0),       // VL3
    Code("000010", 0),        // VL2
    Code("010", 0),           // VL1
    Code("1", 0),             // V0
    Code("011", 0),           // VR1
    Code("000011", 0),        // VR2
    Code("0000011", 0),       // VR3
    Code("0000001111", 0),    // two-dimensional extension into uncompressed mode
    Code("000000001111", 0),  // one-dimensional extension into uncompressed mode
    Code("000000000001", 0),  // EOL
};

}  // namespace

const std::array<std::array<CcittCodeEntry, 128>, 2> CcittRunCodes = {MakeRunTable(false),
                                                                      MakeRunTable(true)};
const std::array<CcittCodeEntry, CcittModeCount> CcittModeCodes = kModes;
const std::array<CcittCodeEntry, 7> CcittVerticalCodes = {kModes[9], kModes[8], kModes[7], kModes[6],
                                                          kModes[5], kModes[4], kModes[3]};

CcittTreeNode CcittTreeRoots[2] = {{128, nullptr, nullptr}, {128, nullptr, nullptr}};

namespace {

constexpr std::array<uint8_t, 4096> kModeLookup = MakeModeLookup(kModes);

// The same lookup with each mode's code length in the high four bits, so
// one load answers both.
constexpr std::array<uint8_t, 4096> MakeModeLengthLookup() {
  std::array<uint8_t, 4096> t{};
  for (size_t i = 0; i < t.size(); ++i) t[i] = uint8_t(kModeLookup[i] | (kModes[kModeLookup[i]].Length << 4));
  return t;
}
constexpr std::array<uint8_t, 4096> kModeLengthLookup = MakeModeLengthLookup();

// The same with the code length in the low byte, which the next code's
// position waits for, and the mode in the high byte.
constexpr std::array<uint16_t, 4096> MakeModeStepLookup() {
  std::array<uint16_t, 4096> t{};
  for (size_t i = 0; i < t.size(); ++i) t[i] = uint16_t(kModes[kModeLookup[i]].Length | (kModeLookup[i] << 8));
  return t;
}
constexpr std::array<uint16_t, 4096> kModeStepLookup = MakeModeStepLookup();

// Run-code index (or CcittNoCode) for every 13-bit prefix; the longest codes
// that do not begin with 13 zeros are 13 bits long.  The trees stay the
// reference (the tests compare the two); the decoders use the table.
constexpr int32_t kRunLookupBits = 13;
constexpr std::array<uint8_t, 1 << kRunLookupBits> MakeRunLookup(const std::array<CcittCodeEntry, 128>& Codes) {
  std::array<uint8_t, 1 << kRunLookupBits> t{};
  for (auto& v : t) v = uint8_t(CcittNoCode);
  for (int32_t j = 0; j < 128; ++j) {
    const int32_t len = Codes[j].Length;
    if (len > kRunLookupBits) continue;
    const uint32_t first = uint32_t(Codes[j].Code) << (kRunLookupBits - len);
    for (uint32_t k = 0; k < (1u << (kRunLookupBits - len)); ++k) t[first + k] = uint8_t(j);
  }
  return t;
}
constexpr std::array<std::array<uint8_t, 1 << kRunLookupBits>, 2> kRunLookup = {
    MakeRunLookup(MakeRunTable(false)), MakeRunLookup(MakeRunTable(true))};

constexpr CcittCodeEntry kEol = Code("000000000001", CcittRunEol);
constexpr CcittCodeEntry kPass = Code("0001", 0);
constexpr CcittCodeEntry kHorizontal = Code("001", 0);

// Largest data length the decoders look at: keeps every bit position, plus the
// few codes read past the end, inside 32 bits.
constexpr int32_t kMaxDataLen = 0x0FFF0000;

std::atomic<bool> GTreesBuilt{false};
std::mutex GTreesLock;

void EnsureTrees() {
  if (!GTreesBuilt.load(std::memory_order_acquire)) CcittInitialize();
}

inline int32_t ClampLen(int32_t DataLen) {
  if (DataLen < 0) return 0;
  return DataLen > kMaxDataLen ? kMaxDataLen : DataLen;
}

inline uint32_t Fetch(const uint8_t* Data, int32_t DataLen, int64_t BitPos, int32_t FillOrder) {
  if (BitPos < 0) return 0;
  const int64_t at = BitPos >> 3;
  const int32_t shift = int32_t(BitPos & 7);
  if (FillOrder == 1 && at + 8 <= DataLen) {
    // One unaligned load; the bits shifted in from the fifth byte are cleared
    // so that the window is exactly the four bytes at BitPos, as below.
    uint64_t v;
    std::memcpy(&v, Data + at, 8);
    return uint32_t((__builtin_bswap64(v) << shift) >> 32) & (~uint32_t(0) << shift);
  }
  uint32_t b[4];
  if (at + 4 <= DataLen) {
    b[0] = Data[at];
    b[1] = Data[at + 1];
    b[2] = Data[at + 2];
    b[3] = Data[at + 3];
  } else {
    for (int32_t i = 0; i < 4; ++i) b[i] = at + i < DataLen ? Data[at + i] : 0;
  }
  if (FillOrder != 1) {
    for (uint32_t& v : b) v = IEReverseBitTable[v];
  }
  const uint32_t w = (b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3];
  return w << shift;
}

// The bits at a position, as Fetch answers them, from a 64-bit window that
// is loaded again only when the position leaves it: one bounds check and
// one load per few codes instead of one per code.
class TBitWindow {
 public:
  TBitWindow(const uint8_t* Data, int32_t DataLen, int32_t FillOrder)
      : FData(Data), FLen(DataLen), FOrder(FillOrder) {}

  inline __attribute__((always_inline)) uint32_t Peek(int64_t BitPos) {
    uint64_t d = uint64_t(BitPos - FPos);
    if (__builtin_expect(d >= 40, 0)) {
      Load(BitPos);
      d = uint64_t(BitPos - FPos);
    }
    // Only the four bytes at BitPos count, as in Fetch: with BitPos at most
    // 39 bits into the window they lie inside it.
    return uint32_t((FWin << d) >> 32) & (~uint32_t(0) << (BitPos & 7));
  }

  // The first 12 bits at BitPos, all of them inside Fetch's four bytes.
  inline __attribute__((always_inline)) uint32_t Peek12(int64_t BitPos) {
    uint64_t d = uint64_t(BitPos - FPos);
    if (__builtin_expect(d >= 40, 0)) {
      Load(BitPos);
      d = uint64_t(BitPos - FPos);
    }
    return uint32_t((FWin << d) >> 52);
  }

 private:
  void Load(int64_t BitPos) {
    const int64_t at = BitPos >> 3;
    FPos = at * 8;
    if (FOrder == 1 && at + 8 <= FLen) {
      uint64_t v;
      std::memcpy(&v, FData + at, 8);
      FWin = __builtin_bswap64(v);
      return;
    }
    uint64_t w = 0;
    for (int32_t i = 0; i < 8; ++i) {
      uint32_t b = at + i < FLen ? FData[at + i] : 0;
      if (FOrder != 1) b = IEReverseBitTable[b];
      w = (w << 8) | b;
    }
    FWin = w;
  }

  const uint8_t* FData;
  int32_t FLen;
  int32_t FOrder;
  int64_t FPos = INT64_MIN / 2;  // no window yet
  uint64_t FWin = 0;
};

inline int32_t RunCode(const uint8_t* Data, int32_t DataLen, int64_t BitPos, int32_t FillOrder,
                       int32_t Colour) {
  if ((BitPos >> 3) >= DataLen) return CcittEndOfData;
  const uint32_t w = Fetch(Data, DataLen, BitPos, FillOrder);
  if ((w >> 1) == 0) return CcittNoCode;
  // The table answers what the tree walk answers: every code that does not
  // begin with 13 zeros is decided by its first 13 bits.
  if ((w >> (32 - kRunLookupBits)) != 0) return kRunLookup[Colour & 1][w >> (32 - kRunLookupBits)];
  // k >= 13 zeros and a 1 (k <= 30 here): the EOL with k - 11 fill zeros.
  return 108 + (__builtin_clz(w) - 12);
}

inline int32_t RunCodeOf(uint32_t W, int32_t Colour) {
  if ((W >> 1) == 0) return CcittNoCode;
  if ((W >> (32 - kRunLookupBits)) != 0) return kRunLookup[Colour & 1][W >> (32 - kRunLookupBits)];
  return 108 + (__builtin_clz(W) - 12);
}

inline int32_t ModeCode(const uint8_t* Data, int32_t DataLen, int64_t BitPos, int32_t FillOrder) {
  return kModeLookup[Fetch(Data, DataLen, BitPos, FillOrder) >> 20];
}

inline int32_t UncompressedCode(const uint8_t* Data, int32_t DataLen, int64_t BitPos,
                                int32_t FillOrder) {
  const uint32_t w = Fetch(Data, DataLen, BitPos, FillOrder);
  if (w == 0) return 0;
  const int32_t zeros = __builtin_clz(w);
  return zeros <= 10 ? zeros + 1 : 0;
}

inline int32_t Clz8(uint32_t V) { return __builtin_clz(V) - 24; }

// First pixel p >= From (From >= 0) whose bit equals Bit, or Width.  Looks at
// 64 pixels at a time, the first load starting at From's byte.
inline int32_t FindBit(const uint8_t* Line, int32_t From, int32_t Width, int32_t Bit) {
  if (From >= Width) return Width;
  const int32_t nbytes = (Width + 7) >> 3;
  const uint64_t inv = Bit ? 0 : ~uint64_t(0);
  int32_t i = From >> 3;
  if (i + 8 <= nbytes) {
    uint64_t w;
    std::memcpy(&w, Line + i, 8);
    // The first byte in memory holds the leftmost pixels.
    w = (__builtin_bswap64(w) ^ inv) & (~uint64_t(0) >> (From & 7));
    if (w) return std::min(i * 8 + __builtin_clzll(w), Width);
    i += 8;
    while (i + 8 <= nbytes) {
      std::memcpy(&w, Line + i, 8);
      w ^= inv;
      if (w) return std::min(i * 8 + __builtin_clzll(__builtin_bswap64(w)), Width);
      i += 8;
    }
  } else {
    const uint32_t x = uint32_t(uint8_t(Line[i] ^ uint8_t(inv))) & (0xFFu >> (From & 7));
    if (x) return std::min(i * 8 + Clz8(x), Width);
    ++i;
  }
  for (; i < nbytes; ++i) {
    const uint32_t x = uint8_t(Line[i] ^ uint8_t(inv));
    if (x) return std::min(i * 8 + Clz8(x), Width);
  }
  return Width;
}

inline int32_t PixelBit(const uint8_t* Line, int32_t X, int32_t Width) {
  if (X < 0 || X >= Width) return 0;
  return (Line[X >> 3] >> (7 - (X & 7))) & 1;
}

// Clears Count > 0 bits from bit From on.
inline __attribute__((always_inline)) void ClearBits(uint8_t* Row, int64_t From, int64_t Count) {
  const int64_t end = From + Count;  // one past the last bit
  const int64_t first = From >> 3, last = (end - 1) >> 3;
  const uint8_t head = uint8_t(0xFF >> (From & 7));        // bits From.. of the first byte
  const uint8_t tail = uint8_t(0xFF << (7 - ((end - 1) & 7)));  // bits ..end-1 of the last byte
  if (first == last) {
    Row[first] &= uint8_t(~(head & tail));
    return;
  }
  Row[first] &= uint8_t(~head);
  if (last - first > 1) std::memset(Row + first + 1, 0, size_t(last - first - 1));
  Row[last] &= uint8_t(~tail);
}

inline __attribute__((always_inline)) void PaintBlack(uint8_t* Row, int64_t From, int64_t Count, int32_t Width) {
  if (From < 0) {
    Count += From;
    From = 0;
  }
  const int64_t n = std::min<int64_t>(Count, int64_t(Width) - From);
  if (n <= 0) return;
  ClearBits(Row, From, n);
}

int32_t FindColour(const uint8_t* Line, int64_t From, int32_t Width, int32_t Value) {
  if (From < 0) {
    if (Value != 0) return int32_t(From);
    From = 0;
  }
  if (From >= Width) return Width;
  return FindBit(Line, int32_t(From), Width, Value != 0 ? 1 : 0);
}

// The changing pixels of a reference line: the positions 0 <= t < Width where
// a pixel differs from the one before it (pixel -1 counts as white), in
// ascending order and followed by end markers.  Searching them answers what
// FindColour answers on the line's bits, without scanning the bits again for
// every code.
constexpr int32_t kMaxListedWidth = 1 << 16;

class TRefChanges {
 public:
  void Build(const uint8_t* Line, int32_t Width) {
    FWidth = Width;
    FPos.resize(size_t(std::max(Width, 0)) + 6);
    FPos[0] = FPos[1] = INT32_MIN;
    int32_t* out = FPos.data() + 2;
    int32_t n = 0;
    const int32_t nbytes = (std::max(Width, 0) + 7) >> 3;
    uint64_t prevBlack = 0;  // the last pixel of the previous word, 1 = black
    for (int32_t i = 0; i < nbytes; i += 8) {
      uint64_t w = 0;
      if (i + 8 <= nbytes) {
        std::memcpy(&w, Line + i, 8);
        w = __builtin_bswap64(w);
      } else {
        for (int32_t k = 0; k < 8; ++k) w = (w << 8) | (i + k < nbytes ? Line[i + k] : 0xFF);
      }
      const uint64_t black = ~w;
      uint64_t d = black ^ ((black >> 1) | (prevBlack << 63));
      prevBlack = black & 1;
      // Only pixels below Width count.
      const int32_t rest = Width - i * 8;
      if (rest < 64) d &= ~(~uint64_t(0) >> rest);
      while (d) {
        const int32_t k = __builtin_clzll(d);
        out[n++] = i * 8 + k;
        d &= ~(uint64_t(1) << (63 - k));
      }
    }
    out[n] = Width;
    out[n + 1] = Width;
    out[n + 2] = Width;
    FRowValid = false;
  }

  // True when the list was recorded from a line with exactly Line's pixels;
  // the search then starts over.
  bool Matches(const uint8_t* Line, int32_t Width) {
    if (!FRowValid || FWidth != Width || std::memcmp(FRow.data(), Line, FRow.size()) != 0) return false;
    return true;
  }

  void Forget() { FRowValid = false; }

  // The changes themselves (markers before them at indexes -2 and -1).
  const int32_t* Changes() const { return FPos.data() + 2; }

  // Recording the changes of a line while it is decoded: the caller writes
  // every colour change below Width into the buffer BeginRecord answers
  // (room for Width + 1 of them) and closes with their count.  A run of no
  // pixels leaves two equal changes, as a coder that keeps its lines as runs
  // leaves them: the next line's pass and vertical codes count such a run.
  // A recording that went wrong (Ok false) leaves no list, and the next line
  // then builds its list from the bits.
  int32_t* BeginRecord(int32_t Width) {
    FWidth = Width;
    FPos.resize(size_t(std::max(Width, 0)) + 6);
    FPos[0] = FPos[1] = INT32_MIN;
    FRowValid = false;
    return FPos.data() + 2;
  }
  // The same for a recording whose line is written straight into the list's
  // copy of it (RowCopy) rather than copied by EndRecord.
  uint8_t* RowCopy(size_t Bytes) {
    FRow.resize(Bytes);
    return FRow.data();
  }
  void EndRecordWritten(int32_t Count) {
    int32_t* out = FPos.data() + 2;
    out[Count] = FWidth;
    out[Count + 1] = FWidth;
    out[Count + 2] = FWidth;
    FRowValid = true;
  }
  void EndRecord(bool Ok, int32_t Count, const uint8_t* Line, size_t Bytes) {
    if (!Ok) return;
    int32_t* out = FPos.data() + 2;
    out[Count] = FWidth;
    out[Count + 1] = FWidth;
    out[Count + 2] = FWidth;
    FRow.assign(Line, Line + Bytes);
    FRowValid = true;
  }

 private:
  std::vector<int32_t> FPos;  // [0] and [1] are the markers before the first change
  int32_t FWidth = 0;
  std::vector<uint8_t> FRow;
  bool FRowValid = false;
};



// ---------------------------------------------------------------------------
// The common line: pass, horizontal and vertical codes only

// 64 coded bits from At, the first coded bit in bit 63.
template <bool Reverse>
inline __attribute__((always_inline)) uint64_t LoadCoded64(const uint8_t* At) {
  uint64_t v;
  std::memcpy(&v, At, 8);
  if constexpr (Reverse) {
    // Fill order 2: the bits of every byte reversed.
    v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
    v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
    v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
  }
  return __builtin_bswap64(v);
}

// Run length and code length of every run code a fast line accepts, by the
// lookup's answer: the terminating codes (flag 1 in bit 5) and the make-up
// codes; 0 for the rest (EOLs, fill and CcittNoCode), which the line leaves
// to the full decoder.
constexpr std::array<std::array<uint32_t, 256>, 2> MakeRunSteps() {
  std::array<std::array<uint32_t, 256>, 2> t{};
  const std::array<std::array<CcittCodeEntry, 128>, 2> codes = {MakeRunTable(false), MakeRunTable(true)};
  for (int32_t c = 0; c < 2; ++c)
    for (int32_t j = 0; j < CcittEolIndex; ++j)
      t[c][j] = (uint32_t(codes[c][j].Run) << 8) | (j < CcittMakeupFirst ? 32u : 0u) | uint32_t(codes[c][j].Length);
  return t;
}
constexpr std::array<std::array<uint32_t, 256>, 2> kRunSteps = MakeRunSteps();

// Decodes one line of a listed width as the full decoder does, as long as it
// meets only pass, horizontal and vertical codes with ordinary run codes, a
// colour change never goes back before a0, and every bit it reads lies at
// least eight bytes before the end of the data.  Writes the line's changes
// to Rec and answers true with the bit position after the line; answers
// false on anything else (the full decoder then decodes the line from its
// start: nothing but Rec has been written).
template <bool Reverse>
bool DecodeCommonLine(const uint8_t* Data, int32_t DataLen, int64_t StartBit, const int32_t* Ref,
                      int32_t Width, int32_t* Rec, uint64_t* Toggles, int64_t& EndBit, int32_t& Count) {
  if (DataLen < 8 || StartBit < 0) return false;
  const int64_t last = DataLen - 8;  // the last byte with eight bytes from it
  int64_t p = StartBit;
  uint64_t acc = 0;  // the coded bits from p on, the first in bit 63
  int32_t avail = 0;
  auto refill = [&]() __attribute__((always_inline)) -> bool {
    if ((p >> 3) > last) return false;
    acc = LoadCoded64<Reverse>(Data + (p >> 3)) << (p & 7);
    avail = 64 - int32_t(p & 7);
    return true;
  };
  auto consume = [&](int32_t N) __attribute__((always_inline)) {
    acc <<= N;
    avail -= N;
    p += N;
  };
  // One run of the horizontal mode: make-up codes up to a terminating code.
  auto run = [&](int32_t Tree, int64_t& Sum) __attribute__((always_inline)) -> bool {
    Sum = 0;
    for (;;) {
      if (avail < 16 && !refill()) return false;
      const uint32_t step = kRunSteps[Tree][kRunLookup[Tree][acc >> (64 - kRunLookupBits)]];
      if (step == 0) return false;
      consume(int32_t(step & 31));
      Sum += step >> 8;
      if (step & 32) return true;
    }
  };
  int32_t n = 0;
  // Word x / 64 of Toggles gets, for every change x in it, the pixels from x
  // to the word's end turned (pixel x is bit 63 - x % 64).  The changes come
  // in order, so the word being built stays in a register and is stored
  // after every change (a later store of the same word replaces the
  // earlier).
  uint64_t word = 0;
  int32_t wordAt = -1;
  auto record = [&](int32_t X) __attribute__((always_inline)) {
    Rec[n++] = X;
    const int32_t w = X >> 6;
    word = (w == wordAt ? word : 0) ^ (~uint64_t(0) >> (X & 63));
    wordAt = w;
    Toggles[w] = word;
  };
  int32_t a0 = -1;
  int32_t k = 0;  // the search cursor in Ref, with the parity of the colour
  auto b1 = [&]() __attribute__((always_inline)) -> int32_t {
    while (Ref[k - 2] > a0) k -= 2;
    while (Ref[k] <= a0) k += 2;
    return Ref[k];
  };
  for (;;) {
    if (avail < 16 && !refill()) return false;
    const uint32_t mode = kModeStepLookup[acc >> 52];
    const int32_t e = int32_t(mode >> 8);
    consume(int32_t(mode & 255));
    if (__builtin_expect(uint32_t(e - ccmVL3) < 7u, 1)) {
      const int32_t a1 = b1() + e - ccmV0;
      ++k;
      if (a1 < std::max(a0, 0)) return false;
      if (a1 >= Width) break;
      if (n > Width) return false;
      record(a1);
      a0 = a1;
      continue;
    }
    if (e == ccmPass) {
      b1();
      a0 = Ref[k + 1];
      if (a0 >= Width) break;
      continue;
    }
    if (e != ccmHorizontal) return false;
    // The first run has the current colour: white while the changes so far
    // are even in number.
    int64_t r1, r2;
    if (!run(n & 1, r1) || !run((n & 1) ^ 1, r2)) return false;
    const int32_t start = std::max(a0, 0);
    const int32_t mid = int32_t(start + std::min<int64_t>(r1, Width - start));
    if (mid >= Width) break;
    if (n > Width) return false;
    record(mid);
    a0 = int32_t(mid + std::min<int64_t>(r2, Width - mid));
    if (a0 >= Width) break;
    if (n > Width) return false;
    record(a0);
  }
  EndBit = p;
  Count = n;
  return true;
}

// Writes the used bytes of a decoded row (1 white, 0 black) from the
// toggles DecodeCommonLine left: every bit the parity of the toggles up to
// it, the parity carried from word to word.
void WriteToggledRow(const uint64_t* Toggles, int32_t Width, uint8_t* Row) {
  const int32_t words = (Width + 63) >> 6;
  const int32_t used = (Width + 7) >> 3;
  uint64_t parity = 0;  // 1 when the words before ended black
  for (int32_t w = 0; w < words; ++w) {
    // The parity carried from word to word is the only link between them:
    // one operation per word.
    const uint64_t t = Toggles[w];
    uint64_t white = ~(t ^ (uint64_t(0) - parity));
    parity ^= t & 1;
    const int32_t at = w * 8;
    if ((w + 1) * 64 <= Width) {
      white = __builtin_bswap64(white);
      std::memcpy(Row + at, &white, 8);
    } else {
      // The last word, partly used: pixels past Width stay white, bytes
      // past the row are not written.
      white |= ~uint64_t(0) >> (Width - w * 64);
      white = __builtin_bswap64(white);
      std::memcpy(Row + at, &white, size_t(used - at));
    }
  }
}

int64_t UsedBytes(int32_t Width) { return (int64_t(std::max(Width, 0)) + 7) / 8; }

// The codes of one run of Colour: make-up codes (runs over 2560 as repeated
// 2560 codes) and the terminating code, into any sink with Put(Code, Length).
template <typename Sink>
inline void PutRunTo(Sink& S, int32_t Run, int32_t Colour) {
  const auto& table = CcittRunCodes[Colour ? 1 : 0];
  if (Run < 0) Run = 0;
  while (Run > 63) {
    if (Run > 2560) {
      S.Put(table[103].Code, table[103].Length);
      Run -= 2560;
    } else {
      const int32_t k = Run / 64;
      S.Put(table[63 + k].Code, table[63 + k].Length);
      Run -= 64 * k;
    }
  }
  S.Put(table[Run].Code, table[Run].Length);
}

// The line as alternating runs starting with white.
template <typename Sink>
inline void EncodeRunsTo(Sink& S, const uint8_t* Row, int32_t Width) {
  int32_t a = 0;
  int32_t colour = 0;
  while (a < Width) {
    const int32_t b = FindBit(Row, a, Width, colour ^ 1);
    PutRunTo(S, b - a, colour);
    a = b;
    colour ^= 1;
  }
}

// Two-dimensional coding of Row against RefLine.
template <typename Sink>
inline void Encode2DTo(Sink& S, const uint8_t* Row, const uint8_t* RefLine, int32_t Width) {
  if (Width <= 0) return;
  int32_t a0 = 0;
  int32_t a1 = PixelBit(Row, 0, Width) ? 0 : FindBit(Row, 0, Width, 1);
  int32_t b1 = PixelBit(RefLine, 0, Width) ? 0 : FindBit(RefLine, 0, Width, 1);
  for (;;) {
    const int32_t b2 = FindBit(RefLine, b1, Width, PixelBit(RefLine, b1, Width) ^ 1);
    if (b2 < a1) {
      S.Put(kPass.Code, kPass.Length);
      a0 = b2;
    } else if (b1 - a1 >= -3 && b1 - a1 <= 3) {
      const CcittCodeEntry& v = CcittVerticalCodes[size_t(b1 - a1 + 3)];
      S.Put(v.Code, v.Length);
      a0 = a1;
    } else {
      const int32_t ca1 = PixelBit(Row, a1, Width);
      const int32_t a2 = a1 < Width ? FindBit(Row, a1, Width, ca1 ^ 1) : Width;
      const int32_t c0 = (a0 + a1 == 0 || PixelBit(Row, a0, Width) == 0) ? 0 : 1;
      S.Put(kHorizontal.Code, kHorizontal.Length);
      PutRunTo(S, a1 - a0, c0);
      PutRunTo(S, a2 - a1, c0 ^ 1);
      a0 = a2;
    }
    if (a0 >= Width) break;
    const int32_t c = PixelBit(Row, a0, Width);
    a1 = FindBit(Row, a0, Width, c ^ 1);
    b1 = FindBit(RefLine, FindBit(RefLine, a0, Width, c), Width, c ^ 1);
  }
}

// A sink over a caller's zeroed buffer and bit count.
struct TBufferSink {
  uint8_t* Buffer;
  int32_t& BitCount;
  int32_t FillOrder;
  void Put(uint32_t Code, int32_t Length) { CcittPutBits(Buffer, BitCount, Length, Code, FillOrder); }
};

}  // namespace

// ---------------------------------------------------------------------------
// Trees

namespace {

void BuildTreesLocked() {
  for (int32_t colour = 0; colour < 2; ++colour) {
    CcittTreeNode& root = CcittTreeRoots[colour];
    CcittFreeTree(root.Child0);
    CcittFreeTree(root.Child1);
    root.Child0 = nullptr;
    root.Child1 = nullptr;
    root.Value = 128;
    for (int32_t j = 0; j < 128; ++j) CcittTreeInsert(&root, CcittRunCodes[colour][j], j);
  }
  GTreesBuilt.store(true, std::memory_order_release);
}

}  // namespace

void CcittInitialize() {
  std::lock_guard<std::mutex> lock(GTreesLock);
  if (GTreesBuilt.load(std::memory_order_relaxed)) return;
  BuildTreesLocked();
}

void CcittBuildTrees() {
  std::lock_guard<std::mutex> lock(GTreesLock);
  BuildTreesLocked();
}

void CcittTreeInsert(CcittTreeNode* Root, const CcittCodeEntry& Entry, int32_t Value) {
  CcittTreeNode* n = Root;
  for (int32_t bit = Entry.Length - 1; bit >= 0; --bit) {
    const bool one = bit < 16 && ((Entry.Code >> bit) & 1);
    CcittTreeNode*& child = one ? n->Child1 : n->Child0;
    if (!child) {
      child = new CcittTreeNode{128, nullptr, nullptr};
      n->Value = 128;
    }
    n = child;
  }
  n->Value = Value;
}

void CcittFreeTree(CcittTreeNode* Node) {
  if (!Node) return;
  // Iterative, children before the node: the trees are up to 32 levels deep,
  // but an explicit stack keeps this safe for any tree.
  std::vector<CcittTreeNode*> stack{Node};
  std::vector<CcittTreeNode*> order;
  while (!stack.empty()) {
    CcittTreeNode* n = stack.back();
    stack.pop_back();
    order.push_back(n);
    if (n->Child0) stack.push_back(n->Child0);
    if (n->Child1) stack.push_back(n->Child1);
  }
  for (auto it = order.rbegin(); it != order.rend(); ++it) delete *it;
}

void CcittFreeTrees() {
  std::lock_guard<std::mutex> lock(GTreesLock);
  GTreesBuilt.store(false, std::memory_order_release);
  for (CcittTreeNode& root : CcittTreeRoots) {
    CcittFreeTree(root.Child0);
    CcittFreeTree(root.Child1);
    root.Child0 = nullptr;
    root.Child1 = nullptr;
  }
}

// ---------------------------------------------------------------------------
// Bit access

uint32_t CcittFetchBits(const uint8_t* Data, int32_t DataLen, int32_t BitPos, int32_t FillOrder) {
  return Fetch(Data, ClampLen(DataLen), BitPos, FillOrder);
}

uint32_t CcittReadBits(const uint8_t* Data, int32_t DataLen, int32_t BitPos, int32_t N,
                       int32_t FillOrder) {
  if (N <= 0) return 0;
  const uint32_t w = Fetch(Data, ClampLen(DataLen), BitPos, FillOrder);
  return N >= 32 ? w : w >> (32 - N);
}

int32_t CcittDecodeRunCode(const uint8_t* Data, int32_t DataLen, int32_t BitPos,
                           int32_t FillOrder, int32_t Colour) {
  EnsureTrees();
  return RunCode(Data, ClampLen(DataLen), BitPos, FillOrder, Colour);
}

int32_t CcittDecodeModeCode(const uint8_t* Data, int32_t DataLen, int32_t BitPos,
                            int32_t FillOrder) {
  return ModeCode(Data, ClampLen(DataLen), BitPos, FillOrder);
}

int32_t CcittUncompressedCode(const uint8_t* Data, int32_t DataLen, int32_t BitPos,
                              int32_t FillOrder) {
  return UncompressedCode(Data, ClampLen(DataLen), BitPos, FillOrder);
}

// ---------------------------------------------------------------------------
// Row helpers

void CcittPaintBlack(uint8_t* Row, int32_t From, int32_t Count, int32_t Width) {
  PaintBlack(Row, From, Count, Width);
}

int32_t CcittFindColour(const uint8_t* Line, int32_t From, int32_t Width, int32_t Value) {
  return FindColour(Line, From, Width, Value);
}

// ---------------------------------------------------------------------------
// Decoders

int32_t CcittDecode1DLine(uint8_t* Row, const uint8_t* Data, int32_t DataLen, int32_t FillOrder,
                          int32_t StartBit, int32_t Width) {
  EnsureTrees();
  DataLen = ClampLen(DataLen);
  if (Width < 0) Width = 0;
  std::memset(Row, 0xFF, size_t(UsedBytes(Width)));
  const int64_t total = int64_t(DataLen) * 8;
  int64_t p = std::max<int64_t>(StartBit, 0);
  if (p > total) p = total;
  int64_t s = p;
  int64_t a = 0;
  int32_t colour = 0;  // 0 white, 1 black
  bool makeup = false;
  while (a < Width || makeup) {
    const int32_t e = RunCode(Data, DataLen, p, FillOrder, colour);
    if (e == CcittNoCode) {
      ++p;
      ++s;
      continue;
    }
    const CcittCodeEntry& entry = CcittRunCodes[colour][e];
    const int64_t q = p + entry.Length;
    if (entry.Run == CcittRunEol) {
      if (p == s) {
        p = q;  // the line's leading EOL
        continue;
      }
      if (colour == 1) PaintBlack(Row, a, int64_t(Width) - a, Width);
      a = int64_t(Width) + 1;
      p = q;
      makeup = false;
      break;
    }
    if (entry.Run == CcittRunSkip) {
      p = q;
      makeup = true;
      continue;
    }
    if (colour == 1) PaintBlack(Row, a, entry.Run, Width);
    a += entry.Run;
    p = q;
    if (e >= CcittMakeupFirst) {
      makeup = true;
    } else {
      makeup = false;
      colour ^= 1;
    }
  }
  return int32_t(std::min(p, total));
}

int32_t CcittDecodeMhRow(uint8_t* Row, const uint8_t* Data, int32_t DataLen, int32_t FillOrder,
                         int32_t Width) {
  DataLen = ClampLen(DataLen);
  const int64_t end = CcittDecode1DLine(Row, Data, DataLen, FillOrder, 0, Width);
  return int32_t(std::min<int64_t>((end + 7) >> 3, DataLen));
}

struct TCcittDecodeState::TLists {
  TRefChanges Lists[2];
  std::vector<uint64_t> Toggles;  // scratch of the common lines
  int32_t Current = 0;
  const uint8_t* RefLine = nullptr;  // the buffer the lists describe
};

TCcittDecodeState::TCcittDecodeState() : FLists(std::make_unique<TLists>()) {}
TCcittDecodeState::~TCcittDecodeState() = default;

int32_t CcittDecode2DLine(uint8_t* Row, const uint8_t* Data, int32_t DataLen, bool EolSearch,
                          int32_t FillOrder, int32_t StartBit, uint8_t* RefLine, int32_t Width,
                          TCcittDecodeState* State) {
  EnsureTrees();
  DataLen = ClampLen(DataLen);
  if (Width < 0) Width = 0;
  const size_t used = size_t(UsedBytes(Width));
  // A row that shares bytes with the reference line is cleared before the
  // reference line is looked at, and takes the full decoder.
  const uintptr_t rowAt = reinterpret_cast<uintptr_t>(Row), refAt = reinterpret_cast<uintptr_t>(RefLine);
  const bool apart = rowAt + used <= refAt || refAt + used <= rowAt;
  if (!apart) std::memset(Row, 0xFF, used);
  const int64_t total = int64_t(DataLen) * 8;
  int64_t p = std::max<int64_t>(StartBit, 0);
  const int64_t startBit = p;
  TBitWindow bits(Data, DataLen, FillOrder);
  int64_t a0 = -1;
  int32_t colour = 1;  // decoded values: 1 white, 0 black
  // The changes of the reference line, for lines of usual widths (the list
  // can take 32 times the line's bytes; very wide lines search the bits).
  // The list of the row decoded last is kept: when RefLine still holds that
  // row (the usual case), its list serves without looking at the bits.
  const bool listed = Width <= kMaxListedWidth;
  thread_local TCcittDecodeState threadState;
  TCcittDecodeState& owner = State ? *State : threadState;
  TCcittDecodeState::TLists& state = *owner.FLists;
  if (state.RefLine != RefLine) {
    // Another strip's buffer: what the lists hold belongs to another line.
    state.Lists[0].Forget();
    state.Lists[1].Forget();
    state.RefLine = RefLine;
  }
  TRefChanges& changes = state.Lists[state.Current];
  TRefChanges& next = state.Lists[state.Current ^ 1];
  const int32_t* refChanges = nullptr;
  int32_t cursor = 0;
  int32_t* rec = nullptr;
  int32_t recCount = 0;
  int64_t lastChange = 0;
  bool recOk = true;
  if (listed) {
    if (!changes.Matches(RefLine, Width)) changes.Build(RefLine, Width);
    refChanges = changes.Changes();
    rec = next.BeginRecord(Width);
    // Most lines hold only the common codes: decoded to their changes and
    // then written out as whole words.
    int64_t endBit = 0;
    int32_t count = 0;
    if (Width > 0 && apart && owner.FCommonLines) {
      state.Toggles.assign(size_t((Width + 63) >> 6), 0);
      uint64_t* toggles = state.Toggles.data();
      if (FillOrder == 1 ? DecodeCommonLine<false>(Data, DataLen, p, refChanges, Width, rec, toggles, endBit, count)
                         : DecodeCommonLine<true>(Data, DataLen, p, refChanges, Width, rec, toggles, endBit, count)) {
        // The row goes to the caller's row, the reference line and the copy
        // that tells the next line whether the reference line still holds it.
        WriteToggledRow(toggles, Width, Row);
        std::memcpy(RefLine, Row, used);
        std::memcpy(next.RowCopy(used), Row, used);
        next.EndRecordWritten(count);
        state.Current ^= 1;
        return int32_t(endBit);
      }
    }
  }
  // b1: the first changing pixel right of A0 (A0 < Width) whose colour is
  // the opposite of Colour (1 white, 0 black), or Width; pixels before the
  // line read as white.  Equal to searching the bits for Colour from A0 and
  // then for the other colour.  Changes at even indexes turn the line black,
  // so b1 is the first change right of A0 with the parity of Colour.  A0
  // lies in -3 .. Width - 1; the two markers before the first change stop
  // the backward step.  b2 is the change after it.  Only changes of the
  // right parity are candidates, so the cursor always has the parity of the
  // current colour (even for white): a vertical code moves it on by one as
  // it flips the colour, and what sets the colour otherwise aligns it.
  auto listedB1 = [&](int64_t A0) __attribute__((always_inline)) -> int32_t {
    const int32_t a = int32_t(A0);
    int32_t k = cursor;
    while (refChanges[k - 2] > a) k -= 2;
    while (refChanges[k] <= a) k += 2;
    cursor = k;
    return refChanges[k];
  };
  // Clears a black run the way PaintBlack does.
  auto paint = [&](int64_t From, int64_t Count) __attribute__((always_inline)) {
    if (From < 0) {
      Count += From;
      From = 0;
    }
    const int64_t n = std::min<int64_t>(Count, int64_t(Width) - From);
    if (n <= 0) return;
    ClearBits(Row, From, n);
  };
  // Records a change of colour at X, zero-length runs included; changes at
  // or past the line's end are the list's end markers.  Changes that go
  // backwards, from damaged data, spoil the recording.
  auto change = [&](int64_t X) __attribute__((always_inline)) {
    if (!listed || X >= Width) return;
    if (X < lastChange || recCount > Width) {
      recOk = false;
      return;
    }
    rec[recCount++] = int32_t(X);
    lastChange = X;
  };

  // One run of the horizontal mode: the sum of the codes up to the first
  // terminating code.  False when a code would start at the end of the data.
  auto readRun = [&](int32_t Value, int64_t& Sum) -> bool {
    const int32_t tree = Value ? 0 : 1;
    Sum = 0;
    for (;;) {
      if (p >= total) return false;
      const int32_t e = RunCodeOf(bits.Peek(p), tree);
      if (e == CcittNoCode) {
        ++p;
        continue;
      }
      const CcittCodeEntry& entry = CcittRunCodes[tree][e];
      p += entry.Length;
      Sum += entry.Run;
      if (e < CcittMakeupFirst) return true;
    }
  };

  std::memset(Row, 0xFF, used);
  // The seven vertical modes take the fast path below on listed lines.
  const uint32_t listedVertical = listed ? 7u : 0u;
  while (a0 < Width && p < total) {
    const int64_t codeStart = p;
    const uint32_t mode = kModeLengthLookup[bits.Peek12(p)];
    int32_t e = int32_t(mode & 15);
    p += mode >> 4;
    if (__builtin_expect(uint32_t(e - ccmVL3) < listedVertical, 1)) {
      // Vertical modes, by far the most common, first.
      const int64_t a1 = int64_t(listedB1(a0)) + e - ccmV0;
      a0 = std::max<int64_t>(a0, 0);
      if (colour == 0) paint(a0, a1 - a0);
      change(a1);
      a0 = a1;
      colour ^= 1;
      ++cursor;
      continue;
    }
    if (EolSearch && e == ccmEolStart) {
      // An EOL with fill: zeros up to and including the first 1 bit.
      while (p < total) {
        const uint32_t w = bits.Peek(p);
        if (w == 0) {
          p = std::min<int64_t>(p + 24, total);
          continue;
        }
        p += __builtin_clz(w) + 1;
        break;
      }
      e = ccmEol;
    }
    switch (e) {
      case ccmEolStart:
        break;
      case ccmPass: {
        int32_t b2;
        if (listed) {
          listedB1(a0);
          b2 = refChanges[cursor + 1];
        } else {
          const int32_t x = FindColour(RefLine, a0, Width, colour);
          const int32_t b1 = FindColour(RefLine, x, Width, colour ^ 1);
          b2 = FindColour(RefLine, b1, Width, colour);
        }
        a0 = std::max<int64_t>(a0, 0);
        if (colour == 0) paint(a0, b2 - a0);
        a0 = b2;
        break;
      }
      case ccmHorizontal: {
        int64_t r1 = 0, r2 = 0;
        if (!readRun(colour, r1) || !readRun(colour ^ 1, r2)) {
          a0 = Width;
          break;
        }
        if (r1 < 0 || r2 < 0) break;
        a0 = std::max<int64_t>(a0, 0);
        r1 = std::min<int64_t>(r1, Width - a0);
        if (colour == 0) paint(a0, r1);
        a0 += r1;
        change(a0);
        r2 = std::min<int64_t>(r2, Width - a0);
        if (colour == 1) paint(a0, r2);
        a0 += r2;
        change(a0);
        break;
      }
      case ccmVL3:
      case ccmVL2:
      case ccmVL1:
      case ccmV0:
      case ccmVR1:
      case ccmVR2:
      case ccmVR3: {
        int32_t b1;
        if (listed) {
          b1 = listedB1(a0);
          ++cursor;
        } else {
          const int32_t x = FindColour(RefLine, a0, Width, colour);
          b1 = FindColour(RefLine, x, Width, colour ^ 1);
        }
        const int64_t a1 = int64_t(b1) + e - ccmV0;
        a0 = std::max<int64_t>(a0, 0);
        if (colour == 0) paint(a0, a1 - a0);
        change(a1);
        a0 = a1;
        colour ^= 1;
        break;
      }
      case ccmUncompressed2D:
      case ccmUncompressed1D: {
        recOk = false;  // the next line lists this one from its bits
        a0 = std::max<int64_t>(a0, 0);
        while (p < total && a0 < Width) {
          const int32_t n = UncompressedCode(Data, DataLen, p, FillOrder);
          if (n == 0) break;
          p += n;
          if (n <= 5) {
            a0 += n;
            paint(a0 - 1, 1);
          } else if (n == 6) {
            a0 += 5;
          } else {
            a0 += n - 7;
            const uint32_t tag = bits.Peek(p) >> 31;
            p += 1;
            colour = tag ? 0 : 1;
            cursor += (cursor ^ colour ^ 1) & 1;
            break;
          }
        }
        break;
      }
      default: {  // ccmEol
        if (codeStart == startBit) {
          const uint32_t tag = bits.Peek(p) >> 31;
          p += 1;
          if (tag) {
            a0 = std::max<int64_t>(a0, 0);
            recOk = false;  // painted by the one-dimensional decoder
            p = CcittDecode1DLine(Row, Data, DataLen, FillOrder, int32_t(std::min(p, total)),
                                  Width);
            a0 += Width;
          }
        } else {
          // The next line's EOL: the line ends before it.
          if (colour == 0 && a0 >= 0) paint(a0, int64_t(Width) - a0);
          p = codeStart;
          a0 = Width;
        }
        break;
      }
    }
  }
  if (listed) {
    next.EndRecord(recOk, recCount, Row, used);
    state.Current ^= 1;
  }
  std::memcpy(RefLine, Row, used);
  return int32_t(std::min(p, total));
}

// ---------------------------------------------------------------------------
// Encoders

int64_t CcittLineBufferSize(int32_t Width) {
  // A coded line never takes more than 16 bits per pixel (a horizontal mode
  // costs at most 27 bits and covers at least two pixels, a run code at most 12
  // bits per pixel, vertical and pass codes at most 7 bits per pixel), plus a
  // few codes at the line start and the EOLs, tag bit, EOFB and pending bits.
  return 2 * int64_t(std::max(Width, 0)) + 64;
}

void CcittPutBits(uint8_t* Buffer, int32_t& BitCount, int32_t N, uint32_t Code, int32_t FillOrder) {
  while (N > 0) {
    const int32_t off = BitCount & 7;
    const int32_t room = 8 - off;
    const int32_t take = std::min(room, N);
    const uint32_t bits = (Code >> (N - take)) & ((1u << take) - 1);
    uint8_t& dst = Buffer[BitCount >> 3];
    if (FillOrder != 2) {
      dst |= uint8_t(bits << (room - take));
    } else {
      // The first bit goes to the lowest free position.
      dst |= uint8_t(IEReverseBitTable[uint8_t(bits << (8 - take))] << off);
    }
    BitCount += take;
    N -= take;
  }
}

void CcittPutRun(uint8_t* Buffer, int32_t& BitCount, int32_t Run, int32_t Colour,
                 int32_t FillOrder) {
  TBufferSink sink{Buffer, BitCount, FillOrder};
  PutRunTo(sink, Run, Colour);
}

void CcittEncodeRuns(const uint8_t* Row, int32_t Width, uint8_t* Buffer, int32_t FillOrder,
                     int32_t& BitCount) {
  TBufferSink sink{Buffer, BitCount, FillOrder};
  EncodeRunsTo(sink, Row, Width);
}

void CcittEncode2DLine(const uint8_t* Row, const uint8_t* RefLine, uint8_t* Buffer, int32_t Width,
                       int32_t FillOrder, int32_t& BitCount) {
  TBufferSink sink{Buffer, BitCount, FillOrder};
  Encode2DTo(sink, Row, RefLine, Width);
}

// ---------------------------------------------------------------------------
// TCcittEncoder

TCcittEncoder::TCcittEncoder(TCcittScheme Scheme, int32_t Width, int32_t FillOrder)
    : FScheme(Scheme),
      FWidth(std::max(Width, 0)),
      FReverse(FillOrder == 2),
      FRefChanges(size_t(FWidth) + 4, FWidth),
      FChanges(size_t(FWidth) + 4, FWidth) {}

void TCcittEncoder::FindChanges(const uint8_t* Row) {
  // Positions where the colour changes, starting from white: even entries
  // turn black, odd ones white; Width closes the list (several times, so
  // that b2 and a2 always exist).
  int32_t* c = FChanges.data();
  int32_t n = 0, pos = 0, colour = 0;
  while (pos < FWidth) {
    pos = FindBit(Row, pos, FWidth, colour ^ 1);
    c[n++] = pos;
    colour ^= 1;
  }
  c[n] = c[n + 1] = c[n + 2] = FWidth;
}

void TCcittEncoder::Encode2DRow() {
  // The two-dimensional coding over the change lists of the row and the
  // reference row: each changing element is found by stepping forward in a
  // list instead of scanning pixels.
  const int32_t* a = FChanges.data();
  const int32_t* b = FRefChanges.data();
  const int32_t width = FWidth;
  int32_t a0 = -1, colour = 0;
  int32_t ia = 0, ib = 0;  // first entries beyond a0
  for (;;) {
    while (a[ia] <= a0 && a[ia] < width) ++ia;
    while (b[ib] <= a0 && b[ib] < width) ++ib;
    const int32_t a1 = a[ia];
    // b1 is the first change beyond a0 into the other colour than a0's.
    const int32_t kb = ib + ((ib & 1) != colour ? 1 : 0);
    const int32_t b1 = b[kb], b2 = b[kb + 1];
    if (b2 < a1) {
      Put(kPass.Code, kPass.Length);
      a0 = b2;
    } else if (b1 - a1 >= -3 && b1 - a1 <= 3) {
      const CcittCodeEntry& v = CcittVerticalCodes[size_t(b1 - a1 + 3)];
      Put(v.Code, v.Length);
      a0 = a1;
      colour ^= 1;
    } else {
      const int32_t a2 = a[ia + 1];
      Put(kHorizontal.Code, kHorizontal.Length);
      PutRunTo(*this, a1 - std::max(a0, 0), colour);
      PutRunTo(*this, a2 - a1, colour ^ 1);
      a0 = a2;
    }
    if (a0 >= width) break;
  }
}

void TCcittEncoder::Reserve() {
  // One coded line with its EOLs and pending bits always fits.
  const size_t need = FLength + size_t(CcittLineBufferSize(FWidth)) + 16;
  if (FStrip.size() < need) FStrip.resize(std::max(need, FStrip.size() * 2));
}

inline void TCcittEncoder::Put(uint32_t Code, int32_t Length) {
  FAcc = (FAcc << Length) | Code;
  FAccBits += Length;
  if (FAccBits >= 32) {
    FAccBits -= 32;
    const uint32_t word = uint32_t(FAcc >> FAccBits);
    uint8_t* d = FStrip.data() + FLength;
    d[0] = uint8_t(word >> 24);
    d[1] = uint8_t(word >> 16);
    d[2] = uint8_t(word >> 8);
    d[3] = uint8_t(word);
    if (FReverse)
      for (int i = 0; i < 4; ++i) d[i] = IEReverseBitTable[d[i]];
    FLength += 4;
  }
}

void TCcittEncoder::FlushWholeBytes(bool Pad) {
  if (Pad && (FAccBits & 7)) Put(0, 8 - (FAccBits & 7));
  while (FAccBits >= 8) {
    FAccBits -= 8;
    uint8_t b = uint8_t(FAcc >> FAccBits);
    if (FReverse) b = IEReverseBitTable[b];
    FStrip[FLength++] = b;
  }
  FAcc &= (uint64_t(1) << FAccBits) - 1;
}

void TCcittEncoder::EncodeRow(const uint8_t* Row) {
  Reserve();
  switch (FScheme) {
    case ccsModifiedHuffman:
      // Every row from a byte boundary, no EOL.
      EncodeRunsTo(*this, Row, FWidth);
      FlushWholeBytes(true);
      return;
    case ccsGroup3OneD:
      // Every line starts with an EOL: readers synchronise on it.
      Put(kEol.Code, kEol.Length);
      EncodeRunsTo(*this, Row, FWidth);
      break;
    case ccsGroup3TwoD:
      Put(kEol.Code, kEol.Length);
      FindChanges(Row);
      if (FFirstRow) {
        Put(1, 1);  // tag bit: a one-dimensional line
        EncodeRunsTo(*this, Row, FWidth);
      } else {
        Put(0, 1);  // tag bit: a two-dimensional line
        if (FWidth > 0) Encode2DRow();
      }
      FChanges.swap(FRefChanges);
      break;
    case ccsGroup4:
      FindChanges(Row);
      if (FWidth > 0) Encode2DRow();
      FChanges.swap(FRefChanges);
      break;
  }
  FFirstRow = false;
  FlushWholeBytes(false);
}

void TCcittEncoder::FinishStrip() {
  Reserve();
  switch (FScheme) {
    case ccsModifiedHuffman:
    case ccsGroup3OneD:
      break;
    case ccsGroup3TwoD:
      Put(kEol.Code, kEol.Length);
      break;
    case ccsGroup4:
      // End of facsimile block: two EOLs.
      Put(kEol.Code, kEol.Length);
      Put(kEol.Code, kEol.Length);
      break;
  }
  FlushWholeBytes(true);
  // The next strip codes against an all-white reference row.
  std::fill(FRefChanges.begin(), FRefChanges.end(), FWidth);
  FFirstRow = true;
}

void TCcittEncoder::Consume(int64_t Count) {
  Count = std::clamp<int64_t>(Count, 0, int64_t(FLength));
  std::memmove(FStrip.data(), FStrip.data() + Count, FLength - size_t(Count));
  FLength -= size_t(Count);
}
