// The raw form of a TIEBitmap: the lossless byte image that the layer
// streams, the clipboard format of the processing component and its undo
// entries store.
//
// Layout, little-endian, no padding:
//   "TIEBITMAPRAW" (12 bytes), version (int32, 0), palette length N (int32),
//   N palette entries (blue, green, red), width, height (int32), pixel format
//   (1 byte), full (1 byte), palette used (int32), range low, range high
//   (double), four channel offsets (int32), adjust (1 byte), contrast (int32),
//   row alignment in bits (int32), height rows of the row length those
//   describe (top row first), has-alpha (1 byte), and with alpha its rows
//   (8 bits, 32-bit aligned) and its full flag (1 byte).
// The row length in the record is always the one its width, format and
// alignment give, so a record does not depend on where the pixels lived when
// it was written.
#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

#include "foundations/bit_helpers.h"
#include "foundations/image_buffer.h"
#include "platform/rtl/streams.h"

namespace {

constexpr char RawSignature[12] = {'T', 'I', 'E', 'B', 'I', 'T', 'M', 'A', 'P', 'R', 'A', 'W'};
// Bytes of the fixed fields before the palette and between it and the rows.
constexpr int64_t RawHeadSize = 12 + 4 + 4;
constexpr int64_t RawMidSize = 4 + 4 + 1 + 1 + 4 + 8 + 8 + 16 + 1 + 4 + 4;
static_assert(RawHeadSize + RawMidSize + 1 == 76);
constexpr int32_t RawMaxPalette = 256;

// Writes to a memory block or to a stream.
class RawWriter {
 public:
  RawWriter(uint8_t* Buffer, TStream* Stream) : FBuffer(Buffer), FStream(Stream) {}
  void Put(const void* Data, int64_t Count) {
    if (Count <= 0) return;
    if (FBuffer != nullptr) {
      std::memcpy(FBuffer, Data, size_t(Count));
      FBuffer += Count;
    } else {
      FStream->WriteBuffer(Data, Count);
    }
  }
  void Zeros(int64_t Count) {
    static const uint8_t Zero[64] = {};
    while (Count > 0) {
      int64_t N = std::min<int64_t>(Count, int64_t(sizeof Zero));
      Put(Zero, N);
      Count -= N;
    }
  }
  template <typename T>
  void Value(T V) {
    Put(&V, int64_t(sizeof V));
  }

 private:
  uint8_t* FBuffer;
  TStream* FStream;
};

// Reads from a memory block (of known or unknown size) or a stream, and
// knows how many bytes are left when it can.
class RawReader {
 public:
  RawReader(const uint8_t* Buffer, int64_t BufferSize, TStream* Stream)
      : FBuffer(Buffer), FStream(Stream) {
    if (Buffer != nullptr) {
      FLeft = BufferSize;
    } else {
      int64_t Size = Stream->GetSize(), Pos = Stream->GetPosition();
      FLeft = Size >= 0 && Pos >= 0 && Size >= Pos ? Size - Pos : -1;
    }
  }
  // -1 when not known.
  int64_t Left() const { return FLeft; }
  bool Get(void* Data, int64_t Count) {
    if (Count <= 0) return true;
    if (FLeft >= 0 && Count > FLeft) {
      Skip(FLeft);
      return false;
    }
    if (FBuffer != nullptr) {
      std::memcpy(Data, FBuffer, size_t(Count));
      FBuffer += Count;
    } else if (FStream->Read(Data, Count) != Count) {
      FLeft = 0;
      return false;
    }
    if (FLeft >= 0) FLeft -= Count;
    return true;
  }
  template <typename T>
  bool Value(T& V) {
    return Get(&V, int64_t(sizeof V));
  }
  // Moves past Count bytes (or to the end of the data).
  void Skip(int64_t Count) {
    if (Count <= 0) return;
    if (FLeft >= 0) Count = std::min(Count, FLeft);
    if (FBuffer != nullptr) {
      FBuffer += Count;
    } else if (FStream->Seek(Count, soCurrent) < 0) {
      FLeft = 0;
      return;
    }
    if (FLeft >= 0) FLeft -= Count;
  }

 private:
  const uint8_t* FBuffer;
  TStream* FStream;
  int64_t FLeft;
};

bool ValidAlignment(int32_t Bits) {
  return Bits >= 8 && Bits <= 1024 && (Bits & (Bits - 1)) == 0;
}

// Row length the record holds for these values; -1 when they are not valid.
int64_t RecordRowLen(int32_t Width, TIEPixelFormat Format, int32_t Alignment) {
  if (Width <= 0) return -1;
  int64_t Len = IEBitmapRowLen(Width, IEBitCountOf(Format), Alignment);
  return Len > 0 ? Len : -1;
}

int64_t AlphaRowLen(int32_t Width) { return IEBitmapRowLen(Width, 8, 32); }

}  // namespace

int64_t TIEBitmap::GetRawSize() {
  int64_t Size = 76 + 3 * int64_t(FPaletteLen);
  if (FWidth > 0 && FHeight > 0) {
    int32_t Align = FLocation == ieTBitmap ? 32 : FRowAlignment;
    Size += RecordRowLen(FWidth, FPixelFormat, Align) * FHeight;
    if (FAlphaChannel) Size += AlphaRowLen(FWidth) * FHeight + 1;
  }
  return Size;
}

void TIEBitmap::SaveRawToStream(void* Buffer, TStream* Stream) {
  if (Buffer == nullptr && Stream == nullptr) return;
  RawWriter W(static_cast<uint8_t*>(Buffer), Stream);
  bool HasPixels = FWidth > 0 && FHeight > 0 && FPixelFormat != ieNoFormat;
  int32_t Align = FLocation == ieTBitmap ? 32 : FRowAlignment;
  W.Put(RawSignature, 12);
  W.Value<int32_t>(0);
  W.Value<int32_t>(FPaletteLen);
  for (int32_t I = 0; I < FPaletteLen; ++I) W.Put(&FPalette[size_t(I)], 3);
  W.Value<int32_t>(HasPixels ? FWidth : 0);
  W.Value<int32_t>(HasPixels ? FHeight : 0);
  W.Value<uint8_t>(uint8_t(HasPixels ? FPixelFormat : ieNoFormat));
  W.Value<uint8_t>(FFull ? 1 : 0);
  W.Value<int32_t>(FPaletteUsed);
  W.Value<double>(FRangeLow);
  W.Value<double>(FRangeHigh);
  for (int32_t C : FChannelOffset) W.Value<int32_t>(C);
  W.Value<uint8_t>(FAdjust);
  W.Value<int32_t>(FContrast);
  W.Value<int32_t>(Align);
  if (!HasPixels) {
    W.Value<uint8_t>(0);
    return;
  }
  int64_t Len = RecordRowLen(FWidth, FPixelFormat, Align);
  int64_t Own = GetRowLen();
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    const uint8_t* Row = GetScanline(Y);
    int64_t N = Row != nullptr ? std::min(Len, Own) : 0;
    W.Put(Row, N);
    W.Zeros(Len - N);
  }
  TIEBitmap* A = FAlphaChannel.get();
  bool WithAlpha = A != nullptr && A->GetWidth() == FWidth && A->GetHeight() == FHeight;
  W.Value<uint8_t>(WithAlpha ? 1 : 0);
  if (!WithAlpha) return;
  int64_t ALen = AlphaRowLen(FWidth);
  int64_t AOwn = A->GetRowLen();
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    const uint8_t* Row = A->GetScanline(Y);
    int64_t N = Row != nullptr ? std::min(ALen, AOwn) : 0;
    W.Put(Row, N);
    W.Zeros(ALen - N);
  }
  W.Value<uint8_t>(A->GetFull() ? 1 : 0);
}

bool TIEBitmap::LoadRawFromStream(const void* Buffer, TStream* Stream, int64_t BufferSize) {
  if (Buffer == nullptr && Stream == nullptr) return false;
  RawReader R(static_cast<const uint8_t*>(Buffer), Buffer != nullptr ? BufferSize : -1, Stream);
  char Sig[12];
  if (!R.Get(Sig, 12) || std::memcmp(Sig, RawSignature, 12) != 0) return false;
  int32_t Version = 0, N = 0;
  if (!R.Value(Version) || Version < 0) return false;
  if (!R.Value(N) || N < 0 || N > RawMaxPalette) return false;
  std::vector<TRGB> Pal(static_cast<size_t>(N));
  if (!R.Get(Pal.data(), 3 * int64_t(N))) return false;
  int32_t Width = 0, Height = 0, PaletteUsed = 0, Contrast = 0, Alignment = 0;
  uint8_t Format = 0, Full = 0, Adjust = 0;
  double RangeLow = 0, RangeHigh = 0;
  int32_t Offsets[4] = {};
  bool Ok = R.Value(Width) && R.Value(Height) && R.Value(Format) && R.Value(Full) &&
            R.Value(PaletteUsed) && R.Value(RangeLow) && R.Value(RangeHigh);
  for (int32_t& O : Offsets) Ok = Ok && R.Value(O);
  Ok = Ok && R.Value(Adjust) && R.Value(Contrast) && R.Value(Alignment);
  if (!Ok) return false;
  // The header must describe either an empty bitmap or a valid image; the
  // rows it announces must be there before anything is allocated.
  bool Empty = Width == 0 && Height == 0 && Format == ieNoFormat;
  int64_t Len = 0;
  if (!Empty) {
    if (Width <= 0 || Height <= 0 || Format == ieNoFormat || Format >= IEPixelFormatCount ||
        !ValidAlignment(Alignment) || Full > 1)
      return false;
    Len = RecordRowLen(Width, TIEPixelFormat(Format), Alignment);
    if (Len <= 0 || Len > std::numeric_limits<int64_t>::max() / Height) return false;
    if (R.Left() >= 0 && Len * Height + 1 > R.Left()) {
      R.Skip(R.Left());
      return false;
    }
  }
  FreeImage(true);
  if (Empty) {
    uint8_t HasAlpha = 0;
    if (!R.Value(HasAlpha)) return false;
    if (HasAlpha != 0) return false;
  } else {
    SetRowAlignment(Alignment);
    if (!Allocate(Width, Height, TIEPixelFormat(Format))) {
      // Leave the stream after the rows and the rest of the record.
      R.Skip(Len * Height);
      uint8_t HasAlpha = 0;
      if (R.Value(HasAlpha) && HasAlpha == 1) R.Skip(AlphaRowLen(Width) * Height + 1);
      return false;
    }
  }
  if (!Empty) {
    FPalette.reset();
    FPaletteLen = 0;
    if (N > 0) {
      FPalette = std::make_unique<TRGB[]>(size_t(N));
      std::copy(Pal.begin(), Pal.end(), FPalette.get());
      FPaletteLen = N;
      if (FLocation == ieTBitmap)
        for (int32_t I = 0; I < N; ++I) SetPaletteColor(I, Pal[size_t(I)]);
    }
    FFull = Full != 0;
    FPaletteUsed = PaletteUsed;
    FRangeLow = RangeLow;
    FRangeHigh = RangeHigh;
    std::copy(std::begin(Offsets), std::end(Offsets), FChannelOffset);
    FAdjust = Adjust;
    FContrast = Contrast;
    // Rows are copied over the shorter of the two lengths, so a bitmap whose
    // location keeps another alignment still reads the record right.
    int64_t Own = GetRowLen();
    std::vector<uint8_t> Row(static_cast<size_t>(Len));
    for (int32_t Y = 0; Y < Height; ++Y) {
      if (!R.Get(Row.data(), Len)) {
        FreeImage(true);
        return false;
      }
      uint8_t* D = GetScanline(Y);
      if (D == nullptr) continue;
      std::memcpy(D, Row.data(), size_t(std::min(Len, Own)));
      if (Own > Len) std::memset(D + Len, 0, size_t(Own - Len));
    }
    uint8_t HasAlpha = 0;
    if (!R.Value(HasAlpha) || HasAlpha > 1) {
      FreeImage(true);
      return false;
    }
    if (HasAlpha == 0) {
      FAlphaChannel.reset();
    } else {
      int64_t ALen = AlphaRowLen(Width);
      if (R.Left() >= 0 && ALen * Height + 1 > R.Left()) {
        R.Skip(R.Left());
        FreeImage(true);
        return false;
      }
      TIEBitmap* A = GetAlphaChannel();
      if (A == nullptr || A->GetWidth() != Width || A->GetHeight() != Height) {
        R.Skip(ALen * Height + 1);
        FreeImage(true);
        return false;
      }
      int64_t AOwn = A->GetRowLen();
      Row.assign(size_t(ALen), 0);
      for (int32_t Y = 0; Y < Height; ++Y) {
        if (!R.Get(Row.data(), ALen)) {
          FreeImage(true);
          return false;
        }
        uint8_t* D = A->GetScanline(Y);
        if (D != nullptr) std::memcpy(D, Row.data(), size_t(std::min(ALen, AOwn)));
      }
      uint8_t AFull = 0;
      if (!R.Value(AFull) || AFull > 1) {
        FreeImage(true);
        return false;
      }
      A->SetFull(AFull != 0);
    }
  }
  return true;
}
