#include "formats/tiff/tiff_lzw.h"
#include "formats/tiff/tiff_tags.h"

#include <algorithm>
#include <cstring>
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

// Every string is its prefix code's string followed by one byte, so the table
// keeps the prefix, the last byte, the first byte and the length of each entry.
struct LzwDecoder {
  const uint8_t* Data = nullptr;
  int64_t DataBits = 0;
  int64_t BitPos = 0;
  int32_t RowLength = 0;
  int32_t CodeWidth = 9;
  int32_t FillOrder = TiffFillOrder::Msb2Lsb;
  int32_t Prev = -1;
  int32_t NextFree = kFirstFree;
  bool Ended = false;   // EndOfInformation or the end of the data was reached
  bool Failed = false;  // corrupt data: every further row fails
  std::vector<uint8_t> Out;
  int64_t Fill = 0;
  uint16_t Prefix[kTableSize];
  uint8_t Suffix[kTableSize];
  uint8_t First[kTableSize];
  uint16_t Len[kTableSize];

  LzwDecoder(const uint8_t* AData, int64_t ADataSize, int32_t ARowLength, int32_t AFillOrder)
      : Data(AData),
        DataBits(AData && ADataSize > 0 ? ADataSize * 8 : 0),
        RowLength(ARowLength),
        FillOrder(AFillOrder == TiffFillOrder::Lsb2Msb ? TiffFillOrder::Lsb2Msb : TiffFillOrder::Msb2Lsb),
        Out(size_t(ARowLength) + 1, 0) {
    for (int32_t i = 0; i < 256; ++i) {
      Prefix[i] = 0;
      Suffix[i] = uint8_t(i);
      First[i] = uint8_t(i);
      Len[i] = 1;
    }
    for (int32_t i = 256; i < kTableSize; ++i) {
      Prefix[i] = 0;
      Suffix[i] = 0;
      First[i] = 0;
      Len[i] = 0;
    }
  }

  uint8_t ByteAt(int64_t I) const {
    if (I >= (DataBits >> 3)) return 0;
    return FillOrder == TiffFillOrder::Lsb2Msb ? IEReverseBitTable[Data[I]] : Data[I];
  }

  // The next code, or -1 when the data holds no further complete code.
  int32_t ReadCode() {
    if (BitPos + CodeWidth > DataBits) return -1;
    const int64_t at = BitPos >> 3;
    const uint32_t w = (uint32_t(ByteAt(at)) << 24) | (uint32_t(ByteAt(at + 1)) << 16) |
                       (uint32_t(ByteAt(at + 2)) << 8) | uint32_t(ByteAt(at + 3));
    const int32_t off = int32_t(BitPos & 7);
    BitPos += CodeWidth;
    return int32_t((w << off) >> (32 - CodeWidth));
  }

  void Reset() {
    NextFree = kFirstFree;
    CodeWidth = 9;
  }

  // Appends the string of Code to the output.
  void Output(int32_t Code) {
    const int64_t n = Len[Code];
    if (Fill + n > int64_t(Out.size())) Out.resize(size_t(Fill + n + 1024));
    uint8_t* dst = Out.data() + Fill;
    int32_t k = Code;
    for (int64_t i = n - 1; i >= 0; --i) {
      dst[i] = Suffix[k];
      k = Prefix[k];
    }
    Fill += n;
  }

  // New entry: the string of P followed by the first byte of the string of C.
  bool Add(int32_t P, int32_t C) {
    const int32_t idx = NextFree;
    if (idx >= kTableSize) return false;
    Prefix[idx] = uint16_t(P);
    Suffix[idx] = First[C];
    First[idx] = First[P];
    Len[idx] = uint16_t(Len[P] + 1);
    ++NextFree;
    if (NextFree >= 2047)
      CodeWidth = 12;
    else if (NextFree >= 1023)
      CodeWidth = 11;
    else if (NextFree >= 511)
      CodeWidth = 10;
    return true;
  }

  uint8_t* DecodeRow() {
    if (Failed) return nullptr;
    // Bytes beyond the previous row start this one.
    if (Fill > RowLength) {
      std::memmove(Out.data(), Out.data() + RowLength, size_t(Fill - RowLength));
      Fill -= RowLength;
    } else {
      Fill = 0;
    }
    while (Fill < RowLength && !Ended) {
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
        Output(c);  // the first code after Clear adds no entry
        Prev = c;
        continue;
      }
      if (Prev < 0) {
        // Data that does not begin with Clear starts with an empty table.
        if (c >= NextFree) return Fail();
        Output(c);
        Prev = c;
        continue;
      }
      if (c < NextFree) {
        Output(c);
        if (!Add(Prev, c)) return Fail();
        Prev = c;
      } else if (c == NextFree) {
        // The string of the previous code followed by its own first byte.
        if (!Add(Prev, Prev)) return Fail();
        Output(c);
        Prev = c;
      } else {
        break;  // a code beyond the table ends the row
      }
    }
    if (Fill < RowLength) std::memset(Out.data() + Fill, 0, size_t(RowLength - Fill));
    return Out.data();
  }

  uint8_t* Fail() {
    Failed = true;
    return nullptr;
  }
};

// ---------------------------------------------------------------------------
// Encoder

constexpr int32_t kHashSize = 5003;
constexpr int32_t kHashShift = 4;  // 8 minus the doublings that take 5003 to 65536
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
  int32_t HashKey[kHashSize];
  uint16_t HashCode[kHashSize];

  void ClearHash() { std::fill(std::begin(HashKey), std::end(HashKey), -1); }

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
    for (; i < Count; ++i) {
      const int32_t c = Row[i];
      const int32_t key = (c << 12) + Prefix;
      int32_t slot = (c << kHashShift) ^ Prefix;
      if (HashKey[slot] == key) {
        Prefix = HashCode[slot];
        continue;
      }
      if (HashKey[slot] >= 0) {
        const int32_t step = slot == 0 ? 1 : kHashSize - slot;
        bool found = false;
        do {
          slot -= step;
          if (slot < 0) slot += kHashSize;
          if (HashKey[slot] == key) {
            found = true;
            break;
          }
        } while (HashKey[slot] >= 0);
        if (found) {
          Prefix = HashCode[slot];
          continue;
        }
      }
      WriteCode(Prefix);
      Prefix = c;
      if (NextFree > 4093) {
        ClearHash();
        NextFree = kFirstFree;
        WriteClear();
      } else {
        HashKey[slot] = key;
        HashCode[slot] = uint16_t(NextFree++);
      }
    }
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
  return d && d->Ended && d->Fill <= d->RowLength;
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
