#include "foundations/bit_rows.h"

#include <algorithm>
#include <cstring>

#include "foundations/bit_helpers.h"
#include "platform/gdi/bitmap.h"

namespace {

inline int GetSourceBit(const uint8_t* Source, int64_t Bit, int64_t Limit) {
  int64_t I = Bit >> 3;
  if (I >= Limit) return 0;
  return (Source[I] >> (7 - (Bit & 7))) & 1;
}

// Eight source bits starting at Bit, the first in the most significant place.
inline uint8_t GetSourceByte(const uint8_t* Source, int64_t Bit, int64_t Limit) {
  int64_t I = Bit >> 3;
  int Shift = int(Bit & 7);
  uint32_t Hi = I < Limit ? Source[I] : 0;
  if (Shift == 0) return uint8_t(Hi);
  uint32_t Lo = I + 1 < Limit ? Source[I + 1] : 0;
  return uint8_t((Hi << Shift) | (Lo >> (8 - Shift)));
}

}  // namespace

void IECopyBits(uint8_t* Dest, const uint8_t* Source, int64_t DestBitOffset,
                int64_t SourceBitOffset, int64_t BitCount, int64_t SourceByteLength) {
  if (BitCount < 1 || DestBitOffset < 0 || SourceBitOffset < 0) return;
  if (Dest == nullptr || Source == nullptr) return;
  int64_t D = DestBitOffset, S = SourceBitOffset, N = BitCount;
  // Head: up to the next destination byte boundary.
  while (N > 0 && (D & 7) != 0) {
    IESetBit(Dest, D++, GetSourceBit(Source, S++, SourceByteLength));
    --N;
  }
  // Whole destination bytes.
  if ((S & 7) == 0) {
    int64_t Bytes = N >> 3;
    int64_t First = S >> 3;
    int64_t Avail = std::max<int64_t>(0, std::min(Bytes, SourceByteLength - First));
    if (Avail > 0) std::memmove(Dest + (D >> 3), Source + First, size_t(Avail));
    if (Bytes > Avail) std::memset(Dest + (D >> 3) + Avail, 0, size_t(Bytes - Avail));
    D += Bytes * 8;
    S += Bytes * 8;
    N -= Bytes * 8;
  } else {
    while (N >= 8) {
      Dest[D >> 3] = GetSourceByte(Source, S, SourceByteLength);
      D += 8;
      S += 8;
      N -= 8;
    }
  }
  // Tail.
  while (N > 0) {
    IESetBit(Dest, D++, GetSourceBit(Source, S++, SourceByteLength));
    --N;
  }
}

void IECopyBitsOneByOne(uint8_t* Dest, const uint8_t* Source, int64_t DestBitOffset,
                        int64_t SourceBitOffset, int64_t BitCount, int64_t SourceByteLength) {
  if (BitCount < 1 || DestBitOffset < 0 || SourceBitOffset < 0) return;
  if (Dest == nullptr || Source == nullptr) return;
  for (int64_t I = 0; I < BitCount; ++I) {
    int64_t SB = SourceBitOffset + I;
    IESetBit(Dest, DestBitOffset + I, IEGetBit(Source, SB));
  }
}

void IECopyTBitmap(TBitmap* Source, TBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  TPixelFormat Format = Source->GetPixelFormat();
  int32_t W = Source->GetWidth(), H = Source->GetHeight();
  if (W <= 0 || H <= 0) {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(Format);
    return;
  }
  if (W != Dest->GetWidth() || H != Dest->GetHeight() || Format != Dest->GetPixelFormat()) {
    Dest->SetSize(1, 1);
    Dest->SetPixelFormat(Format);
    Dest->SetSize(W, H);
  }
  if (Source->GetColorTableSize() > 0) Dest->SetColorTable(Source->GetColorTable());
  int64_t Len = std::min<int64_t>(Source->GetBytesPerLine(), Dest->GetBytesPerLine());
  if (Dest->GetWidth() != W || Dest->GetHeight() != H || Len <= 0) return;
  for (int32_t Y = 0; Y < H; ++Y)
    std::memcpy(Dest->GetScanLine(Y), Source->GetScanLine(Y), size_t(Len));
  Dest->Changed();
}

std::unique_ptr<TBitmap> IECloneTBitmap(TBitmap* Source) {
  auto Result = std::make_unique<TBitmap>();
  IECopyTBitmap(Source, Result.get());
  return Result;
}
