#include "formats/gif/gif_lzw.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "foundations/settings.h"
#include "platform/rtl/streams.h"

namespace {

constexpr int32_t kMaxCodes = 4096;
constexpr int32_t kSubBlock = 254;

// Places decoded pixels row by row in plain or interlaced order; pixels beyond
// the last row are dropped.
class TGifRowWriter {
 public:
  TGifRowWriter(uint8_t* Buffer, int32_t Width, int32_t Height, bool Interlaced)
      : FBuffer(Buffer), FWidth(Width), FHeight(Height), FInterlaced(Interlaced) {
    FDone = Width <= 0 || Height <= 0;
  }
  bool Done() const { return FDone; }
  void Put(uint8_t Value) {
    if (FDone) return;
    FBuffer[int64_t(FRow) * FWidth + FColumn] = Value;
    if (++FColumn < FWidth) return;
    FColumn = 0;
    NextRow();
  }

 private:
  void NextRow() {
    if (!FInterlaced) {
      if (++FRow >= FHeight) FDone = true;
      return;
    }
    static constexpr int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kStep[4] = {8, 8, 4, 2};
    FRow += kStep[FPass];
    while (FRow >= FHeight) {
      if (++FPass > 3) {
        FDone = true;
        return;
      }
      FRow = kStart[FPass];
    }
  }
  uint8_t* FBuffer;
  int32_t FWidth, FHeight;
  bool FInterlaced;
  int32_t FRow = 0, FColumn = 0, FPass = 0;
  bool FDone = false;
};

// Gathers the data sub-blocks after the code-size byte; the stream ends up
// after the terminator (or at its end when the terminator is missing).
std::vector<uint8_t> GatherSubBlocks(TStream* Stream) {
  std::vector<uint8_t> data;
  const int64_t left = Stream->GetSize() - Stream->GetPosition();
  // The rest of the stream may hold many more frames: grow as needed.
  if (left > 0) data.reserve(size_t(std::min<int64_t>(left, int64_t(1) << 20)));
  uint8_t block[256];
  for (;;) {
    uint8_t len = 0;
    if (Stream->Read(&len, 1) != 1 || len == 0) break;
    const int64_t got = Stream->Read(block, len);
    data.insert(data.end(), block, block + got);
    if (got < len) break;
  }
  return data;
}

}  // namespace

void GifLzwDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer) {
  const int64_t start = Stream->GetPosition();
  uint8_t minSize = 0;
  if (Stream->Read(&minSize, 1) != 1 || minSize < 2 || minSize > 9) {
    Stream->Seek(start, soBeginning);
    return;
  }
  const std::vector<uint8_t> data = GatherSubBlocks(Stream);
  if (data.empty()) {
    Stream->Seek(start, soBeginning);
    return;
  }
  const int32_t clearCode = 1 << minSize;
  const int32_t endCode = clearCode + 1;
  std::vector<uint16_t> prefix(kMaxCodes);
  std::vector<uint8_t> suffix(kMaxCodes), stack(kMaxCodes + 1);
  for (int32_t i = 0; i < clearCode && i < 256; ++i) suffix[size_t(i)] = uint8_t(i);

  TGifRowWriter out(Buffer, Width, Height, Interlaced);
  int32_t width = minSize + 1, limit = 1 << width, next = endCode + 1;
  int32_t previous = -1;
  uint8_t previousFirst = 0;
  uint32_t bits = 0;
  int32_t bitCount = 0;
  size_t index = 0;
  bool damaged = false;
  bool ended = false;

  for (;;) {
    while (bitCount < width && index < data.size()) {
      bits |= uint32_t(data[index++]) << bitCount;
      bitCount += 8;
    }
    if (bitCount < width) break;  // the data simply end
    const int32_t code = int32_t(bits & ((1u << width) - 1));
    bits >>= width;
    bitCount -= width;

    if (code == clearCode) {
      width = minSize + 1;
      limit = 1 << width;
      next = endCode + 1;
      previous = -1;
      continue;
    }
    if (code == endCode) {
      ended = true;
      break;
    }
    if (previous < 0) {
      // First code after a clear: a literal of the table (codes above the
      // literals do not exist yet).
      if (code >= clearCode || code > 255) {
        damaged = true;
        break;
      }
      out.Put(uint8_t(code));
      previous = code;
      previousFirst = uint8_t(code);
      continue;
    }
    if (code > next || (code == next && next >= kMaxCodes)) {
      damaged = true;
      break;
    }
    // Expand the code's string onto the stack, last byte first.
    int32_t depth = 0;
    int32_t walk = code;
    if (code == next) {
      stack[size_t(depth++)] = previousFirst;
      walk = previous;
    }
    while (walk > endCode) {
      stack[size_t(depth++)] = suffix[size_t(walk)];
      walk = prefix[size_t(walk)];
    }
    if (walk >= clearCode || walk > 255) {  // a string may only start with a literal
      damaged = true;
      break;
    }
    stack[size_t(depth++)] = uint8_t(walk);
    const uint8_t first = uint8_t(walk);
    if (next < kMaxCodes) {
      prefix[size_t(next)] = uint16_t(previous);
      suffix[size_t(next)] = first;
      ++next;
      if (next >= limit && width < 12) {
        ++width;
        limit <<= 1;
      }
    }
    while (depth > 0) out.Put(stack[size_t(--depth)]);
    previous = code;
    previousFirst = first;
    if (out.Done()) break;
  }
  // Data that stop before the image is complete and without an end code
  // are a truncated file, not a short image.
  if (damaged || (!ended && !out.Done())) Stream->Seek(start, soBeginning);
}

namespace {

// Bit packer that writes sub-blocks of kSubBlock bytes.
class TGifCodeWriter {
 public:
  explicit TGifCodeWriter(TStream* Stream) : FStream(Stream) {}
  void Put(int32_t Code, int32_t Width) {
    FBits |= uint32_t(Code) << FBitCount;
    FBitCount += Width;
    while (FBitCount >= 8) {
      PutByte(uint8_t(FBits & 0xFF));
      FBits >>= 8;
      FBitCount -= 8;
    }
  }
  void Finish() {
    if (FBitCount > 0) PutByte(uint8_t(FBits & 0xFF));
    FBits = 0;
    FBitCount = 0;
    Flush();
    const uint8_t zero = 0;
    FStream->Write(&zero, 1);
  }

 private:
  void PutByte(uint8_t Value) {
    FBlock[size_t(++FFill)] = Value;
    if (FFill == kSubBlock) Flush();
  }
  void Flush() {
    if (FFill == 0) return;
    FBlock[0] = uint8_t(FFill);
    FStream->Write(FBlock.data(), FFill + 1);
    FFill = 0;
  }
  TStream* FStream;
  uint32_t FBits = 0;
  int32_t FBitCount = 0;
  int32_t FFill = 0;
  std::array<uint8_t, 256> FBlock{};
};

}  // namespace

void GifLzwEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Buffer,
                  int32_t BitsPerPixel) {
  const int32_t codeSize = BitsPerPixel <= 1 ? 2 : (BitsPerPixel > 8 ? 8 : BitsPerPixel);
  const uint8_t sizeByte = uint8_t(codeSize);
  Stream->Write(&sizeByte, 1);
  TGifCodeWriter out(Stream);
  const int32_t clearCode = 1 << codeSize;
  const int32_t endCode = clearCode + 1;
  const uint8_t literalMask = uint8_t(clearCode - 1);

  // Open-addressed table of (pixel, prefix) keys.
  constexpr int32_t kHashSize = 5003;
  std::vector<int32_t> keys(kHashSize, -1);
  std::vector<uint16_t> codes(kHashSize, 0);

  int32_t width = codeSize + 1, limit = 1 << width, next = endCode + 1;
  out.Put(clearCode, width);

  // Source order: rows in plain order or in the four interlace passes.
  std::vector<int32_t> rows;
  rows.reserve(size_t(Height > 0 ? Height : 0));
  if (Interlaced) {
    static constexpr int32_t kStart[4] = {0, 4, 2, 1};
    static constexpr int32_t kStep[4] = {8, 8, 4, 2};
    for (int32_t p = 0; p < 4; ++p)
      for (int32_t r = kStart[p]; r < Height; r += kStep[p]) rows.push_back(r);
  } else {
    for (int32_t r = 0; r < Height; ++r) rows.push_back(r);
  }

  int32_t prefix = -1;
  for (int32_t row : rows) {
    const uint8_t* src = Buffer + int64_t(row) * Width;
    for (int32_t x = 0; x < Width; ++x) {
      const int32_t c = src[x] & literalMask;
      if (prefix < 0) {
        prefix = c;
        continue;
      }
      const int32_t key = (c << 12) | prefix;
      int32_t slot = ((c << 4) ^ prefix) % kHashSize;
      const int32_t step = slot == 0 ? 1 : kHashSize - slot;
      bool found = false;
      while (keys[size_t(slot)] >= 0) {
        if (keys[size_t(slot)] == key) {
          found = true;
          break;
        }
        slot -= step;
        if (slot < 0) slot += kHashSize;
      }
      if (found) {
        prefix = codes[size_t(slot)];
        continue;
      }
      out.Put(prefix, width);
      if (next >= limit && width < 12) {
        ++width;
        limit <<= 1;
      }
      if (next < kMaxCodes - 1) {
        keys[size_t(slot)] = key;
        codes[size_t(slot)] = uint16_t(next++);
      } else {
        out.Put(clearCode, width);
        std::fill(keys.begin(), keys.end(), -1);
        width = codeSize + 1;
        limit = 1 << width;
        next = endCode + 1;
      }
      prefix = c;
    }
  }
  if (prefix >= 0) {
    out.Put(prefix, width);
    if (next >= limit && width < 12) ++width;
  }
  out.Put(endCode, width);
  out.Finish();
}

void IEInstallGifLzwHooks() {
  GifLzwDecodeHook = GifLzwDecode;
  GifLzwEncodeHook = GifLzwEncode;
}
