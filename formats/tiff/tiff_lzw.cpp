#include "formats/tiff/tiff_lzw.h"
#include "formats/tiff/tiff_tags.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "foundations/bit_helpers.h"
#include "platform/rtl/streams.h"
#include "platform/rtl/sysutils.h"

namespace {

constexpr int32_t kClear = 256;
constexpr int32_t kEoi = 257;
constexpr int32_t kFirstFree = 258;
constexpr int32_t kTableSize = 4097;  // codes 0 .. 4096

// ---------------------------------------------------------------------------
// Decoder

// The decoder keeps the decoded strip in one buffer. Every new table entry is
// the previous code's string followed by the first byte of the next one, and
// the two were written next to each other, so an entry is just a position
// and a length in that buffer: a code's string is copied in one run instead
// of walking its chain of prefixes byte by byte. Only after a row cut short
// by a bad code does the next entry's string not lie in the buffer; it is
// then kept in a side buffer. Once the rows already answered take more than
// a little room, the buffer drops everything before the oldest string the
// table still points at, so it stays about as large as the data since the
// last Clear.
constexpr int64_t kCompactAt = int64_t(1) << 20;
constexpr uint64_t kSideBit = uint64_t(1) << 63;

struct LzwDecoder {
  const uint8_t* Data = nullptr;
  int64_t DataSize = 0;
  int64_t DataBits = 0;
  int64_t BitPos = 0;
  int32_t RowLength = 0;
  int32_t CodeWidth = 9;
  int32_t Prev = -1;
  int64_t PrevPos = 0;        // where the string of Prev starts in Out
  bool PrevDetached = false;  // Prev's string is not followed by the next output
  int32_t NextFree = kFirstFree;
  bool Ended = false;   // EndOfInformation or the end of the data was reached
  bool Failed = false;  // corrupt data: every further row fails
  std::vector<uint8_t> Reversed;   // the data with its bits reversed (fill order 2)
  std::unique_ptr<uint8_t[]> Out;  // decoded bytes, not zeroed when grown
  int64_t Capacity = 0;
  std::vector<uint8_t> Side;
  int64_t Fill = 0;       // decoded bytes in Out
  int64_t RowStart = -1;  // start of the row last answered
  int64_t NextCompact = kCompactAt;
  uint64_t Off[kTableSize];
  uint16_t Len[kTableSize];

  LzwDecoder(const uint8_t* AData, int64_t ADataSize, int32_t ARowLength, int32_t AFillOrder)
      : Data(AData), DataSize(AData && ADataSize > 0 ? ADataSize : 0), RowLength(ARowLength) {
    DataBits = DataSize * 8;
    if (AFillOrder == TiffFillOrder::Lsb2Msb && DataSize > 0) {
      Reversed.resize(size_t(DataSize));
      for (int64_t i = 0; i < DataSize; ++i) Reversed[size_t(i)] = IEReverseBitTable[Data[i]];
      Data = Reversed.data();
    }
    for (int32_t i = 0; i < kTableSize; ++i) {
      Off[i] = 0;
      Len[i] = i < 256 ? 1 : 0;
    }
  }

  // The next code, or -1 when the data holds no further complete code.
  int32_t ReadCode() {
    if (BitPos + CodeWidth > DataBits) return -1;
    const int64_t at = BitPos >> 3;
    uint32_t w;
    if (at + 4 <= DataSize) {
      std::memcpy(&w, Data + at, 4);
      if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
    } else {
      w = 0;
      for (int64_t i = 0; i < 4; ++i) w = (w << 8) | (at + i < DataSize ? Data[at + i] : 0);
    }
    const int32_t off = int32_t(BitPos & 7);
    BitPos += CodeWidth;
    return int32_t((w << off) >> (32 - CodeWidth));
  }

  void Reset() {
    NextFree = kFirstFree;
    CodeWidth = 9;
  }

  void Grow(int64_t Need) {
    const int64_t NewCapacity = std::max<int64_t>(Fill + Need + 4096, Capacity * 2);
    std::unique_ptr<uint8_t[]> Bigger(new uint8_t[size_t(NewCapacity)]);
    if (Fill > 0) std::memcpy(Bigger.get(), Out.get(), size_t(Fill));
    Out = std::move(Bigger);
    Capacity = NewCapacity;
  }

  // Drops the bytes before the current row that no table entry points at.
  void Compact() {
    int64_t cut = RowStart;
    if (Prev >= 0 && !PrevDetached) cut = std::min(cut, PrevPos);
    for (int32_t i = kFirstFree; i < NextFree; ++i)
      if (!(Off[i] & kSideBit)) cut = std::min(cut, int64_t(Off[i]));
    if (cut < kCompactAt / 2) {
      // The table still points far back: try again a little later.
      NextCompact = RowStart + kCompactAt / 2;
      return;
    }
    std::memmove(Out.get(), Out.get() + cut, size_t(Fill - cut));
    Fill -= cut;
    RowStart -= cut;
    PrevPos -= cut;
    NextCompact = kCompactAt;
    for (int32_t i = kFirstFree; i < NextFree; ++i)
      if (!(Off[i] & kSideBit)) Off[i] -= uint64_t(cut);
  }

  // Appends the string of Code to the output and answers where it starts.
  int64_t Output(int32_t Code) {
    const int64_t pos = Fill;
    if (Code < 256) {
      if (Fill + 1 > Capacity) Grow(1);
      Out[size_t(Fill++)] = uint8_t(Code);
      return pos;
    }
    const int64_t n = Len[Code];
    // Room for a whole 16-byte copy of a short string.
    if (Fill + n + 16 > Capacity) Grow(n + 16);
    uint8_t* dst = Out.get() + Fill;
    const uint64_t off = Off[Code];
    if (off & kSideBit) {
      std::memcpy(dst, Side.data() + (off & ~kSideBit), size_t(n));
    } else if (int64_t(off) + n <= Fill) {
      const uint8_t* src = Out.get() + off;
      if (n <= 16) {
        // Most strings are short: two fixed 8-byte moves beat a call. Both
        // loads come before the stores, and the bytes past n are rewritten
        // by the next string.
        uint64_t a, b;
        std::memcpy(&a, src, 8);
        std::memcpy(&b, src + 8, 8);
        std::memcpy(dst, &a, 8);
        std::memcpy(dst + 8, &b, 8);
      } else {
        std::memcpy(dst, src, size_t(n));
      }
    } else {
      // The code being defined: its last byte is its own first byte, which
      // this very copy writes first.
      const uint8_t* src = Out.get() + off;
      for (int64_t i = 0; i < n; ++i) dst[i] = src[i];
    }
    Fill += n;
    return pos;
  }

  // New entry: the string of Prev followed by FirstByte.
  bool Add(uint8_t FirstByte) {
    const int32_t idx = NextFree;
    if (idx >= kTableSize) return false;
    Len[idx] = uint16_t(Len[Prev] + 1);
    if (!PrevDetached) {
      Off[idx] = uint64_t(PrevPos);
    } else {
      const size_t at = Side.size();
      const int64_t n = Len[Prev];
      Side.resize(at + size_t(n) + 1);
      if (Prev < 256) {
        Side[at] = uint8_t(Prev);
      } else if (Off[Prev] & kSideBit) {
        std::memmove(Side.data() + at, Side.data() + (Off[Prev] & ~kSideBit), size_t(n));
      } else {
        std::memcpy(Side.data() + at, Out.get() + Off[Prev], size_t(n));
      }
      Side[at + size_t(n)] = FirstByte;
      Off[idx] = kSideBit | at;
    }
    ++NextFree;
    if (NextFree >= 2047)
      CodeWidth = 12;
    else if (NextFree >= 1023)
      CodeWidth = 11;
    else if (NextFree >= 511)
      CodeWidth = 10;
    return true;
  }

  // The first byte of Code's string (Code already in the table).
  uint8_t FirstOf(int32_t Code) const {
    if (Code < 256) return uint8_t(Code);
    const uint64_t off = Off[Code];
    return off & kSideBit ? Side[off & ~kSideBit] : Out[off];
  }

  // Decodes the ordinary codes (a string already in the table, or the one
  // being defined) while the output runs up to RowEnd, the previous string
  // lies right before the output and the data holds whole 4-byte reads.
  // Every other code (Clear, EndOfInformation, a code beyond the table, a
  // string in the side buffer, a full table, the last bytes of the data) is
  // left unread for DecodeRow's general path.  The state lives in locals for
  // the loop: stores of output bytes would otherwise make the compiler load
  // every member again after each one.
  void DecodeRun(int64_t RowEnd) {
    if (Prev < 0 || PrevDetached) return;
    // Room for the row and for a whole string of the longest kind past it,
    // with the slack of the 16-byte copies.
    constexpr int64_t kSlack = kTableSize + 64;
    if (Capacity < RowEnd + kSlack) Grow(RowEnd + kSlack - Fill);
    uint8_t* const out = Out.get();
    const uint8_t* const data = Data;
    const int64_t lastWord = DataSize - 4;  // last byte index a 4-byte read may start at
    int64_t bitPos = BitPos, fill = Fill, prevPos = PrevPos;
    int32_t prev = Prev, nextFree = NextFree, width = CodeWidth;
    while (fill < RowEnd) {
      const int64_t at = bitPos >> 3;
      if (at > lastWord) break;
      uint32_t w;
      std::memcpy(&w, data + at, 4);
      if constexpr (std::endian::native == std::endian::little) w = __builtin_bswap32(w);
      const int32_t c = int32_t((w << (bitPos & 7)) >> (32 - width));
      if (nextFree >= kTableSize || c > nextFree || c == kClear || c == kEoi) break;
      bitPos += width;
      int64_t n;
      if (c < 256) {
        n = 1;
        out[fill] = uint8_t(c);
      } else {
        const uint64_t off = c < nextFree ? Off[c] : uint64_t(prevPos);
        if (off & kSideBit) {
          bitPos -= width;  // left for the general path
          break;
        }
        n = c < nextFree ? int64_t(Len[c]) : int64_t(Len[prev]) + 1;
        const uint8_t* src = out + off;
        uint8_t* dst = out + fill;
        if (int64_t(off) + n > fill) {
          // The string being defined: the previous string and its own first
          // byte, read back as it is written.
          const int64_t dist = fill - int64_t(off);
          if (dist >= 16) {
            for (int64_t i = 0; i < n; i += 16) std::memcpy(dst + i, src + i, 16);
          } else {
            for (int64_t i = 0; i < n; ++i) dst[i] = src[i];
          }
        } else if (n <= 16) {
          // Most strings are short: two fixed 8-byte moves beat a call.
          // Both loads come before the stores; the bytes past n are
          // rewritten by the next string.
          uint64_t a, b;
          std::memcpy(&a, src, 8);
          std::memcpy(&b, src + 8, 8);
          std::memcpy(dst, &a, 8);
          std::memcpy(dst + 8, &b, 8);
        } else if (n <= 128) {
          // The source ends before the destination starts: 16-byte steps
          // read only string bytes, or bytes past it that get rewritten.
          for (int64_t i = 0; i < n; i += 16) std::memcpy(dst + i, src + i, 16);
        } else {
          std::memcpy(dst, src, size_t(n));
        }
      }
      // The new entry: the previous string and the first byte of this one,
      // which follows it in the output.
      Off[nextFree] = uint64_t(prevPos);
      Len[nextFree] = uint16_t(Len[prev] + 1);
      ++nextFree;
      if (nextFree >= 511) width = nextFree >= 2047 ? 12 : nextFree >= 1023 ? 11 : 10;
      prevPos = fill;
      prev = c;
      fill += n;
    }
    BitPos = bitPos;
    Fill = fill;
    PrevPos = prevPos;
    Prev = prev;
    NextFree = nextFree;
    CodeWidth = width;
  }

  uint8_t* DecodeRow() {
    if (Failed) return nullptr;
    RowStart = RowStart < 0 ? 0 : RowStart + RowLength;
    if (RowStart >= NextCompact) Compact();
    const int64_t rowEnd = RowStart + RowLength;
    while (Fill < rowEnd && !Ended) {
      DecodeRun(rowEnd);
      if (Fill >= rowEnd) break;
      int32_t c = ReadCode();
      if (c < 0 || c == kEoi) {
        Ended = true;
        break;
      }
      if (c == kClear) {
        do {
          Reset();
          c = ReadCode();
        } while (c == kClear);
        if (c < 0 || c == kEoi) {
          Ended = true;
          break;
        }
        if (c >= NextFree) return Fail();
        // The first code after Clear adds no entry.
        PrevPos = Output(c);
        PrevDetached = false;
        Prev = c;
        continue;
      }
      if (Prev < 0) {
        // Data that does not begin with Clear starts with an empty table.
        if (c >= NextFree) return Fail();
        PrevPos = Output(c);
        PrevDetached = false;
        Prev = c;
        continue;
      }
      if (c < NextFree) {
        const uint8_t first = FirstOf(c);
        const int64_t pos = Output(c);
        if (!Add(first)) return Fail();
        PrevPos = pos;
      } else if (c == NextFree) {
        // The string of the previous code followed by its own first byte.
        if (!Add(FirstOf(Prev))) return Fail();
        PrevPos = Output(c);
      } else {
        // A code beyond the table ends the row; the string of Prev no longer
        // runs into what comes next.
        PrevDetached = true;
        break;
      }
      PrevDetached = false;
      Prev = c;
    }
    if (Fill < rowEnd) {
      if (Capacity < rowEnd) Grow(rowEnd - Fill);
      std::memset(Out.get() + Fill, 0, size_t(rowEnd - Fill));
      if (!Ended) PrevDetached = true;
      Fill = rowEnd;
    }
    return Out.get() + RowStart;
  }

  uint8_t* Fail() {
    Failed = true;
    return nullptr;
  }
};

// ---------------------------------------------------------------------------
// Encoder

// The string table of the encoder: open addressing with double hashing over
// 8192 slots, so that it stays less than half full (a table holds at most 3836
// strings before it is cleared).  The first slot keeps the prefix code in its
// low bits, so the strings of one byte after consecutive codes (long runs of
// one value) sit side by side.  A slot holds the string's key (next byte and
// prefix code, 20 bits) above its code (12 bits): one load answers both.
constexpr int32_t kHashSize = 8192;
constexpr uint32_t kEmpty = 0xFFFFFFFFu;  // never a slot: code 4095 is never assigned
constexpr int32_t kBlockSize = 254;

struct LzwEncoder {
  TStream* Stream = nullptr;
  uint32_t Acc = 0;
  int32_t AccBits = 0;
  uint8_t Block[kBlockSize + 4];
  int32_t BlockLen = 0;
  int32_t CodeWidth = 9;
  int32_t MaxCode = 511;
  int32_t NextFree = kFirstFree;
  bool JustCleared = false;
  bool WriteFailed = false;
  int32_t Prefix = -1;  // -1 until the first byte arrives
  uint32_t Table[kHashSize];

  void ClearHash() { std::fill(std::begin(Table), std::end(Table), kEmpty); }

  void FlushBlock() {
    if (BlockLen > 0 && (!Stream || Stream->Write(Block, BlockLen) != BlockLen)) WriteFailed = true;
    BlockLen = 0;
  }

  void WriteCode(int32_t Code) {
    Acc |= uint32_t(Code) << (32 - AccBits - CodeWidth);
    AccBits += CodeWidth;
    while (AccBits >= 8) {
      Block[BlockLen++] = uint8_t(Acc >> 24);
      Acc <<= 8;
      AccBits -= 8;
      if (BlockLen > kBlockSize - 1) FlushBlock();
    }
    if (JustCleared) {
      JustCleared = false;
      CodeWidth = 9;
      MaxCode = 511;
    } else if (NextFree >= MaxCode && CodeWidth < 12) {
      ++CodeWidth;
      MaxCode = CodeWidth == 12 ? 4095 : (1 << CodeWidth) - 1;
    }
  }

  void WriteClear() {
    JustCleared = true;
    WriteCode(kClear);
  }

  void Start() {
    ClearHash();
    CodeWidth = 9;
    MaxCode = 511;
    NextFree = kFirstFree;
    WriteClear();
  }

  void Put(const uint8_t* Row, int32_t Count) {
    int32_t i = 0;
    if (Prefix < 0 && Count > 0) Prefix = Row[i++];
    uint32_t prefix = uint32_t(Prefix);
    for (; i < Count; ++i) {
      const uint32_t key = (uint32_t(Row[i]) << 12) | prefix;
      // Consecutive prefix codes with one byte (long runs of one value)
      // take consecutive first slots.
      uint32_t slot = (prefix ^ ((uint32_t(Row[i]) * 0x9E3779B1u) >> 19)) & (kHashSize - 1);
      uint32_t e = Table[slot];
      if (e != kEmpty && (e >> 12) != key) {
        // An odd step visits every slot of the power-of-two table.
        const uint32_t step = ((key * 0x85EBCA6Bu) >> 19) | 1;
        do {
          slot = (slot + step) & (kHashSize - 1);
          e = Table[slot];
        } while (e != kEmpty && (e >> 12) != key);
      }
      if (e != kEmpty) {
        prefix = e & 0xFFF;
        continue;
      }
      WriteCode(int32_t(prefix));
      prefix = Row[i];
      if (NextFree > 4093) {
        ClearHash();
        NextFree = kFirstFree;
        WriteClear();
      } else {
        Table[slot] = (key << 12) | uint32_t(NextFree++);
      }
    }
    Prefix = int32_t(prefix);
  }

  void Finish() {
    if (Prefix >= 0) WriteCode(Prefix);
    WriteCode(kEoi);
    if (AccBits > 0) {
      Block[BlockLen++] = uint8_t(Acc >> 24);
      Acc = 0;
      AccBits = 0;
    }
    FlushBlock();
  }
};

}  // namespace

uint8_t* TiffLzwDecode(const uint8_t* Data, int64_t DataSize, int32_t RowLength, void*& State,
                       int32_t FillOrder) {
  if (!Data) {
    delete static_cast<LzwDecoder*>(State);
    State = nullptr;
    return nullptr;
  }
  // Memory that cannot be had fails the row like corrupt data does.
  try {
    if (!State) {
      if (RowLength < 0) return nullptr;
      State = new LzwDecoder(Data, DataSize, RowLength, FillOrder);
    }
    return static_cast<LzwDecoder*>(State)->DecodeRow();
  } catch (const std::bad_alloc&) {
    if (State) static_cast<LzwDecoder*>(State)->Failed = true;
    return nullptr;
  }
}

bool TiffLzwDecodeFinished(const void* State) {
  const auto* d = static_cast<const LzwDecoder*>(State);
  return d && d->Ended && d->Fill <= d->RowStart + d->RowLength;
}

void TiffLzwEncode(const uint8_t* Row, int32_t Count, TStream* Stream, void*& State) {
  auto* enc = static_cast<LzwEncoder*>(State);
  if (!Row) {
    if (!enc) return;
    if (Stream) enc->Stream = Stream;
    enc->Finish();
    const bool failed = enc->WriteFailed;
    delete enc;
    State = nullptr;
    // A strip that did not reach the stream must not pass for written.
    if (failed) throw EWriteError("Stream write error");
    return;
  }
  if (!enc) {
    enc = new LzwEncoder;
    State = enc;
    enc->Stream = Stream;
    enc->Start();
  } else if (Stream) {
    enc->Stream = Stream;
  }
  if (Count > 0) enc->Put(Row, Count);
}
