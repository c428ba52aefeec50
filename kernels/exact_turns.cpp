#include "kernels/exact_turns.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/row_bands.h"

namespace {

// ---- rows of the two images ----

// Destination rows handed out a strip at a time: the rows themselves for a
// bitmap whose rows stay put, else buffer rows that go to the bitmap when the
// strip is done (a temporary file maps one row at a time).
class TDestStrip {
 public:
  TDestStrip(TIEBitmap* D, int32_t MaxRows)
      : FD(D),
        FLen(size_t(D->GetRowLen())),
        FDirect(D->GetLocation() != ieFile),
        FPtr(size_t(MaxRows)),
        FRow(size_t(MaxRows)) {
    if (!FDirect) FBuffer.assign(FLen * size_t(MaxRows), 0);
  }
  // Row k of the strip is destination row Rows(k), k < Count.
  template <class TRowOf>
  uint8_t* const* Begin(int32_t Count, TRowOf Rows) {
    FCount = Count;
    for (int32_t k = 0; k < Count; ++k) {
      FRow[size_t(k)] = Rows(k);
      FPtr[size_t(k)] = FDirect ? FD->GetScanline(FRow[size_t(k)]) : FBuffer.data() + FLen * size_t(k);
    }
    return FPtr.data();
  }
  void End() {
    if (FDirect) return;
    for (int32_t k = 0; k < FCount; ++k) std::memcpy(FD->GetScanline(FRow[size_t(k)]), FPtr[size_t(k)], FLen);
  }

 private:
  TIEBitmap* FD;
  size_t FLen;
  bool FDirect;
  std::vector<uint8_t> FBuffer;
  std::vector<uint8_t*> FPtr;
  std::vector<int32_t> FRow;
  int32_t FCount = 0;
};

// ---- 1-bit ----

// The N (at most 8) bytes at P as the high bytes of a word, first byte
// highest; the rest zero.
inline uint64_t LoadBigEndian(const uint8_t* P, size_t N) {
  if (N >= 8) {
    uint64_t V;
    std::memcpy(&V, P, 8);
    return std::endian::native == std::endian::little ? __builtin_bswap64(V) : V;
  }
  uint64_t V = 0;
  for (size_t i = 0; i < 8; ++i) V = (V << 8) | (i < N ? P[i] : 0);
  return V;
}

// The N (at most 8) high bytes of V to P, highest first.
inline void StoreBigEndian(uint8_t* P, uint64_t V, size_t N) {
  if (N >= 8) {
    if (std::endian::native == std::endian::little) V = __builtin_bswap64(V);
    std::memcpy(P, &V, 8);
    return;
  }
  for (size_t i = 0; i < N; ++i) P[i] = uint8_t(V >> (56 - 8 * i));
}

// Transposes a 64 x 64 block of bits: word r is row r, its most significant
// bit column 0.  Each step exchanges the off-diagonal quarters of every
// square of twice its size.
void Transpose64(uint64_t* A) {
  uint64_t M = 0x00000000FFFFFFFFull;
  for (int J = 32; J != 0; J >>= 1, M ^= M << J)
    for (int K = 0; K < 64; K = (K + J + 1) & ~J) {
      const uint64_t T = (A[K] ^ (A[K + J] >> J)) & M;
      A[K] ^= T;
      A[K + J] ^= T << J;
    }
}

// Rows of a quarter turn of a W x H 1-bit image: column x of the source is
// row W - 1 - x (counter-clockwise) or x (clockwise) of the turned image,
// whose bits run along the source column upwards or downwards.  The source
// is read in strips of 64 columns, 64 rows at a time.
void QuarterTurnBits(const TIEAllRows& S, int32_t W, int32_t H, bool Clockwise, TIEBitmap* Dst) {
  const size_t SLen = size_t(W + 7) / 8, DLen = size_t(H + 7) / 8;
  TDestStrip Strip(Dst, 64);
  uint64_t A[64];
  for (int32_t X0 = 0; X0 < W; X0 += 64) {
    const int32_t Cols = std::min(64, W - X0);
    const size_t Byte0 = size_t(X0) / 8, InRow = std::min<size_t>(8, SLen - Byte0);
    uint8_t* const* Out = Strip.Begin(Cols, [&](int32_t c) { return Clockwise ? X0 + c : W - 1 - X0 - c; });
    for (int32_t G = 0; G * 64 < H; ++G) {
      // Word r is source row 64G + r (counter-clockwise) or H - 1 - 64G - r
      // (clockwise): either way turned column 64G + r.
      for (int32_t r = 0; r < 64; ++r) {
        const int32_t Y = Clockwise ? H - 1 - 64 * G - r : 64 * G + r;
        A[r] = Y >= 0 && Y < H ? LoadBigEndian(S.Rows[size_t(Y)] + Byte0, InRow) : 0;
      }
      Transpose64(A);
      const size_t At = size_t(G) * 8, OutBytes = std::min<size_t>(8, DLen - At);
      for (int32_t c = 0; c < Cols; ++c) StoreBigEndian(Out[c] + At, A[c], OutBytes);
    }
    Strip.End();
  }
}

inline uint64_t ReverseBits(uint64_t V) {
  V = (V >> 32) | (V << 32);
  V = ((V >> 16) & 0x0000FFFF0000FFFFull) | ((V & 0x0000FFFF0000FFFFull) << 16);
  V = ((V >> 8) & 0x00FF00FF00FF00FFull) | ((V & 0x00FF00FF00FF00FFull) << 8);
  V = ((V >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((V & 0x0F0F0F0F0F0F0F0Full) << 4);
  V = ((V >> 2) & 0x3333333333333333ull) | ((V & 0x3333333333333333ull) << 2);
  return ((V >> 1) & 0x5555555555555555ull) | ((V & 0x5555555555555555ull) << 1);
}

// One row of a half turn: Dst's pixel x is Src's pixel W - 1 - x.  The row,
// right-aligned in whole words, reversed word by word and bit by bit, starts
// with the Pad bits that lay past the width: shifting them out aligns it.
void ReverseBitRow(const uint8_t* Src, int32_t W, uint8_t* Dst, std::vector<uint64_t>& Words) {
  const size_t Len = size_t(W + 7) / 8, NW = (Len + 7) / 8;
  const int Pad = int(Len * 8 - size_t(W));
  Words.assign(NW + 1, 0);
  // Source word k from the right end of the row: bytes Len - 8k - 8 .. Len - 8k - 1.
  for (size_t k = 0; k < NW; ++k) {
    const ptrdiff_t End = ptrdiff_t(Len) - ptrdiff_t(8 * k);
    const ptrdiff_t Begin = std::max<ptrdiff_t>(End - 8, 0);
    const uint64_t V = LoadBigEndian(Src + Begin, size_t(End - Begin)) >> (8 * (8 - (End - Begin)));
    Words[k] = ReverseBits(V);
  }
  for (size_t k = 0; k < NW; ++k) {
    const uint64_t V = Pad ? (Words[k] << Pad) | (Words[k + 1] >> (64 - Pad)) : Words[k];
    StoreBigEndian(Dst + 8 * k, V, std::min<size_t>(8, Len - 8 * k));
  }
}

// ---- whole bytes per pixel ----

// Quarter turn of N-byte pixels in tiles of 64 x 64 pixels.
template <int N>
void QuarterTurnPixels(const TIEAllRows& S, int32_t W, int32_t H, bool Clockwise, TIEBitmap* Dst) {
  constexpr int32_t Tile = 64;
  TDestStrip Strip(Dst, Tile);
  for (int32_t X0 = 0; X0 < W; X0 += Tile) {
    const int32_t Cols = std::min(Tile, W - X0);
    uint8_t* const* Out = Strip.Begin(Cols, [&](int32_t c) { return Clockwise ? X0 + c : W - 1 - X0 - c; });
    const uint8_t* Src[Tile];
    for (int32_t Y0 = 0; Y0 < H; Y0 += Tile) {
      const int32_t Rows = std::min(H - Y0, Tile);
      for (int32_t r = 0; r < Rows; ++r) Src[r] = S.Rows[size_t(Y0 + r)] + size_t(X0) * N;
      // Each turned row gets a run of consecutive pixels; the tile's source
      // pixels stay in the first-level cache meanwhile.
      for (int32_t c = 0; c < Cols; ++c) {
        const size_t From = size_t(c) * N;
        if (Clockwise) {
          uint8_t* D = Out[c] + size_t(H - Y0 - Rows) * N;
          for (int32_t r = 0; r < Rows; ++r) std::memcpy(D + size_t(Rows - 1 - r) * N, Src[r] + From, N);
        } else {
          uint8_t* D = Out[c] + size_t(Y0) * N;
          for (int32_t r = 0; r < Rows; ++r) std::memcpy(D + size_t(r) * N, Src[r] + From, N);
        }
      }
    }
    Strip.End();
  }
}

template <int N>
void ReversePixelRow(const uint8_t* Src, int32_t W, uint8_t* Dst) {
  for (int32_t x = 0; x < W; ++x) std::memcpy(Dst + size_t(W - 1 - x) * N, Src + size_t(x) * N, N);
}

template <int N>
void QuarterTurnBytes(TIEBitmap* Src, TIEBitmap* Dst, bool Clockwise) {
  const TIEAllRows S(Src);
  QuarterTurnPixels<N>(S, Src->GetWidth(), Src->GetHeight(), Clockwise, Dst);
}

}  // namespace

bool IETurnExact(TIEBitmap* Src, TIEBitmap* Dst, int32_t Turn) {
  if (!Src || !Dst || Src == Dst || Src->IsEmpty() || (Turn != 90 && Turn != 180 && Turn != 270))
    return false;
  const int32_t W = Src->GetWidth(), H = Src->GetHeight(), Bits = Src->GetBitCount();
  if (Bits != 1 && (Bits % 8 != 0 || Bits > 64)) return false;
  const bool Quarter = Turn != 180;
  if (!Dst->Allocate(Quarter ? H : W, Quarter ? W : H, Src->GetPixelFormat())) return false;
  if (Src->GetPixelFormat() == ie8p) Src->CopyPaletteTo(Dst);
  if (!Quarter) {
    // One row of each image at a time: that holds for temporary files too.
    std::vector<uint64_t> Words;
    for (int32_t y = 0; y < H; ++y) {
      const uint8_t* S = Src->GetScanline(y);
      uint8_t* D = Dst->GetScanline(H - 1 - y);
      switch (Bits) {
        case 1:
          ReverseBitRow(S, W, D, Words);
          break;
        case 8:
          ReversePixelRow<1>(S, W, D);
          break;
        case 16:
          ReversePixelRow<2>(S, W, D);
          break;
        case 24:
          ReversePixelRow<3>(S, W, D);
          break;
        case 32:
          ReversePixelRow<4>(S, W, D);
          break;
        case 48:
          ReversePixelRow<6>(S, W, D);
          break;
        case 64:
          ReversePixelRow<8>(S, W, D);
          break;
        default:
          ReversePixelRow<5>(S, W, D);
          break;  // 40 bits: no format has them
      }
    }
    return true;
  }
  const bool Clockwise = Turn == 270;
  switch (Bits) {
    case 1: {
      const TIEAllRows S(Src);
      QuarterTurnBits(S, W, H, Clockwise, Dst);
      break;
    }
    case 8:
      QuarterTurnBytes<1>(Src, Dst, Clockwise);
      break;
    case 16:
      QuarterTurnBytes<2>(Src, Dst, Clockwise);
      break;
    case 24:
      QuarterTurnBytes<3>(Src, Dst, Clockwise);
      break;
    case 32:
      QuarterTurnBytes<4>(Src, Dst, Clockwise);
      break;
    case 48:
      QuarterTurnBytes<6>(Src, Dst, Clockwise);
      break;
    case 64:
      QuarterTurnBytes<8>(Src, Dst, Clockwise);
      break;
    default:
      QuarterTurnBytes<5>(Src, Dst, Clockwise);
      break;  // 40 bits: no format has them
  }
  return true;
}

int32_t IEExactTurnOf(double Angle) {
  if (!std::isfinite(Angle) || Angle != std::trunc(Angle) || std::fabs(Angle) > 9e15) return -1;
  const int64_t I = int64_t(Angle);
  if (I % 90 != 0) return -1;
  return int32_t(((I % 360) + 360) % 360);
}

void IETakeTurnedPixels(TIEBitmap* Bitmap, TIEBitmap* Turned) {
  if (!Bitmap || !Turned || Bitmap == Turned || Turned->IsEmpty()) return;
  const bool KeepAlpha =
      Bitmap->GetWidth() == Turned->GetWidth() && Bitmap->GetHeight() == Turned->GetHeight();
  std::unique_ptr<TIEBitmap> Alpha = Bitmap->DetachAlphaChannel();
  if (Bitmap->GetLocation() == ieMemory && Turned->GetLocation() == ieMemory &&
      Bitmap->GetRowAlignment() == Turned->GetRowAlignment()) {
    const uint8_t Mono = Bitmap->GetMonoConversion();
    Turned->MoveContentTo(Bitmap);
    Bitmap->SetMonoConversion(Mono);
    Bitmap->SetFull(false);
  } else {
    Bitmap->AssignImage(Turned);
  }
  if (Alpha && KeepAlpha) Bitmap->AttachAlphaChannel(std::move(Alpha));
}
