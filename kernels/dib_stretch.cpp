#include "kernels/dib_stretch.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/rtl/sysutils.h"
#include "foundations/pixel_utils.h"
#include "kernels/quantizer.h"

namespace {

uint32_t Rd32(const uint8_t* P) { return uint32_t(P[0]) | uint32_t(P[1]) << 8 | uint32_t(P[2]) << 16 | uint32_t(P[3]) << 24; }
uint16_t Rd16(const uint8_t* P) { return uint16_t(P[0] | P[1] << 8); }

constexpr uint32_t FourCC(const char (&S)[5]) {
  return uint32_t(uint8_t(S[0])) | uint32_t(uint8_t(S[1])) << 8 | uint32_t(uint8_t(S[2])) << 16 |
         uint32_t(uint8_t(S[3])) << 24;
}

// Largest side accepted from a header; the pixel block must back it anyway.
constexpr int64_t MaxSide = 1 << 20;

TRGB YUVToRGB(int32_t Y, int32_t U, int32_t V) {
  double Yp = (Y - 16) * 1.164;
  TRGB P;
  P.b = uint8_t(IEClampByte(IERound(Yp + (U - 128) * 2.018)));
  P.g = uint8_t(IEClampByte(IERound(Yp - (V - 128) * 0.813 - (U - 128) * 0.391)));
  P.r = uint8_t(IEClampByte(IERound(Yp + (V - 128) * 1.596)));
  return P;
}

// Run-length 8- or 4-bit rows into one index per pixel (bottom-up rows as
// stored; Indexes is w x h with row 0 the first stored row).  False when the
// data ends before the end-of-bitmap code and before every row was reached.
bool DecodeRLE(const uint8_t* P, size_t N, int32_t W, int32_t H, bool Four, std::vector<uint8_t>& Idx) {
  Idx.assign(size_t(W) * size_t(H), 0);
  int64_t X = 0, Y = 0;
  size_t i = 0;
  auto Put = [&](uint8_t V) {
    if (X >= 0 && X < W && Y >= 0 && Y < H) Idx[size_t(Y) * W + size_t(X)] = V;
    ++X;
  };
  while (i + 1 < N) {
    uint8_t C = P[i], V = P[i + 1];
    i += 2;
    if (C > 0) {
      for (int k = 0; k < C; ++k) Put(Four ? ((k & 1) ? (V & 15) : (V >> 4)) : V);
    } else if (V == 0) {
      X = 0;
      ++Y;
    } else if (V == 1) {
      return true;
    } else if (V == 2) {
      if (i + 1 >= N) return false;
      X += P[i];
      Y += P[i + 1];
      i += 2;
    } else {
      size_t Bytes = Four ? (size_t(V) + 1) / 2 : V;
      if (i + Bytes > N) return false;
      for (int k = 0; k < V; ++k) Put(Four ? ((k & 1) ? (P[i + k / 2] & 15) : (P[i + k / 2] >> 4)) : P[i + k]);
      i += Bytes + (Bytes & 1);
    }
    if (Y >= H) return true;
  }
  return Y >= H - 1;
}

}  // namespace

TIEBitmap* _IEBmpStretchEx(TIEBitmap* Src, TIEBitmap* Dst, TObject* Sender, const TIEProgressEvent& OnProgress) {
  if (!Src || !Dst) return Dst;
  const int32_t SW = Src->GetWidth(), SH = Src->GetHeight(), DW = Dst->GetWidth(), DH = Dst->GetHeight();
  if (SW <= 0 || SH <= 0 || DW <= 0 || DH <= 0 || Src->GetPixelFormat() != Dst->GetPixelFormat()) return Dst;
  const TIEPixelFormat Fmt = Src->GetPixelFormat();
  const TIEDataAccessSet SA = Src->GetAccess(), DA = Dst->GetAccess();
  Src->SetAccess(iedRead);
  Dst->SetAccess(iedWrite);
  std::vector<int32_t> Map(DW);
  const double RX = double(SW) / DW, RY = double(SH) / DH;
  for (int32_t i = 0; i < DW; ++i) Map[i] = std::min(int32_t(RX * i), SW - 1);
  const int32_t Bpp = IEBitCountOf(Fmt) / 8;
  // Only the bytes (and, for 1-bit rows, the bits) that hold the DW pixels are
  // written: a row's padding keeps whatever the destination had.
  const bool OneBit = Fmt == ie1g;
  if (!OneBit && Bpp <= 0) {
    Src->SetAccess(SA);
    Dst->SetAccess(DA);
    return Dst;
  }
  const size_t FullBytes = OneBit ? size_t(DW) >> 3 : size_t(DW) * size_t(Bpp);
  const uint8_t TailBits = OneBit ? uint8_t(DW & 7) : 0;
  const uint8_t TailMask = uint8_t(0xFF00 >> TailBits);
  // Same width: columns map onto themselves and a row is a copy. Otherwise the
  // last row built is kept, since an enlarged height repeats source rows.
  const bool SameWidth = DW == SW;
  std::vector<uint8_t> Built(SameWidth ? 0 : FullBytes + 1);
  int32_t BuiltFrom = -1;
  // 1-bit rows: the source bytes each destination byte samples. Pages are
  // mostly plain white or black, and a byte whose source bytes are all one
  // plain value takes that value without sampling its eight bits.
  std::vector<int32_t> SpanFirst, SpanLast;
  if (OneBit && !SameWidth) {
    SpanFirst.resize(FullBytes);
    SpanLast.resize(FullBytes);
    for (size_t b = 0; b < FullBytes; ++b) {
      SpanFirst[b] = Map[8 * b] >> 3;
      SpanLast[b] = Map[8 * b + 7] >> 3;
    }
  }
  auto Build = [&](const uint8_t* S) {
    uint8_t* O = Built.data();
    if (OneBit) {
      auto Bit = [S](int32_t X) { return (S[X >> 3] >> (7 - (X & 7))) & 1; };
      const int32_t* M = Map.data();
      for (size_t b = 0; b < FullBytes; ++b, M += 8) {
        const uint8_t V = S[SpanFirst[b]];
        if (V == 0 || V == 0xFF) {
          int32_t k = SpanFirst[b] + 1;
          while (k <= SpanLast[b] && S[k] == V) ++k;
          if (k > SpanLast[b]) {
            O[b] = V;
            continue;
          }
        }
        O[b] = uint8_t(Bit(M[0]) << 7 | Bit(M[1]) << 6 | Bit(M[2]) << 5 | Bit(M[3]) << 4 | Bit(M[4]) << 3 |
                       Bit(M[5]) << 2 | Bit(M[6]) << 1 | Bit(M[7]));
      }
      uint8_t Tail = 0;
      for (int32_t k = 0; k < TailBits; ++k) Tail |= uint8_t(Bit(M[k]) << (7 - k));
      O[FullBytes] = Tail;
    } else if (Bpp == 1) {
      for (int32_t i = 0; i < DW; ++i) O[i] = S[Map[i]];
    } else if (Bpp == 3) {
      for (int32_t i = 0; i < DW; ++i) std::memcpy(O + 3 * size_t(i), S + 3 * size_t(Map[i]), 3);
    } else {
      for (int32_t i = 0; i < DW; ++i) std::memcpy(O + size_t(Bpp) * i, S + size_t(Bpp) * Map[i], Bpp);
    }
  };
  int32_t Last = -1;
  for (int32_t j = 0; j < DH; ++j) {
    const int32_t SY = std::min(int32_t(RY * j), SH - 1);
    uint8_t* D = Dst->GetScanline(j);
    const uint8_t* Row;
    if (SameWidth) {
      Row = Src->GetScanline(SY);
    } else {
      if (SY != BuiltFrom) {
        Build(Src->GetScanline(SY));
        BuiltFrom = SY;
      }
      Row = Built.data();
    }
    std::memcpy(D, Row, FullBytes);
    if (TailBits) D[FullBytes] = uint8_t((D[FullBytes] & ~TailMask) | (Row[FullBytes] & TailMask));
    if (OnProgress) {
      int32_t V = int32_t(j * 100 / (DH + 0.5));
      if (V != Last) {
        Last = V;
        OnProgress(Sender, V);
      }
    }
  }
  if (Fmt == ie8p) Src->CopyPaletteTo(Dst);
  Src->SetAccess(SA);
  Dst->SetAccess(DA);
  return Dst;
}

int32_t IECopyDIBToBitmap(const void* DIB, size_t DIBSize, TIEBitmap* Bitmap, const void* Pixels, size_t PixelsSize) {
  if (!DIB || !Bitmap || DIBSize < 40) return 0;
  const uint8_t* H = static_cast<const uint8_t*>(DIB);
  const uint32_t HeaderSize = Rd32(H);
  if (HeaderSize < 40 || HeaderSize > DIBSize) return 0;
  const int64_t W = int32_t(Rd32(H + 4));
  const int64_t RawH = int32_t(Rd32(H + 8));
  const int32_t B = Rd16(H + 14);
  const uint32_t C = Rd32(H + 16);
  const uint32_t ClrUsed = Rd32(H + 32);
  const bool TopDown = RawH < 0;
  const int64_t Hgt = RawH < 0 ? -RawH : RawH;
  if (W <= 0 || Hgt <= 0 || W > MaxSide || Hgt > MaxSide) return 0;

  // YUV video frames: the pixels come separately.
  const bool IsYUV = C > 3;
  if (IsYUV) {
    if (!Pixels) return 0;
    const uint8_t* P = static_cast<const uint8_t*>(Pixels);
    const int64_t Area = W * Hgt;
    bool Planar = false, Quarter = false, VFirst = false;
    int32_t Layout = -1;  // packed: 0 Y0UY1V, 1 UY0VY1, 2 Y0VY1U, 3 UYV per pixel
    bool Reverse = false;
    if (C == FourCC("I420") || C == FourCC("IYUV")) Planar = true;
    else if (C == FourCC("YV12")) Planar = VFirst = true;
    else if (C == FourCC("YVU9")) Planar = Quarter = VFirst = true;
    else if (C == FourCC("YUY2") || C == FourCC("YUNV")) Layout = 0;
    else if (C == FourCC("UYVY") || C == FourCC("UYNV")) Layout = 1;
    else if (C == FourCC("cyuv")) Layout = 1, Reverse = true;
    else if (C == FourCC("YVYU")) Layout = 2;
    else if (C == FourCC("IYU2")) Layout = 3;
    else if (C == FourCC("Y211")) Layout = 4;
    else if (C == FourCC("IYU1")) Layout = 5;
    else if (C == FourCC("Y41P")) Layout = 6, Reverse = true;
    else if (C == FourCC("CLJR")) Layout = 7;
    else return 0;
    const bool FromTop = TopDown ? Reverse : !Reverse;
    int64_t Need;
    const int32_t Div = Quarter ? 4 : 2;
    const int64_t CW = W / Div, CH = Hgt / Div;
    // Bytes per group of pixels of each packed layout.
    static const int32_t GroupPixels[8] = {2, 2, 2, 1, 4, 4, 8, 4};
    static const int32_t GroupBytes[8] = {4, 4, 4, 3, 4, 6, 12, 4};
    const int32_t Gp = Layout >= 0 ? GroupPixels[Layout] : 1;
    int64_t PackedRow = Layout >= 0 ? ((W + Gp - 1) / Gp) * GroupBytes[Layout] : 0;
    if (Planar) {
      if (CW == 0 || CH == 0) return 0;
      Need = Area + 2 * CW * CH;
    } else {
      Need = PackedRow * Hgt;
    }
    if (uint64_t(Need) > PixelsSize) return 0;
    if (!Bitmap->Allocate(int32_t(W), int32_t(Hgt), ie24RGB)) return 0;
    for (int64_t k = 0; k < Hgt; ++k) {
      TRGB* D = reinterpret_cast<TRGB*>(Bitmap->GetScanline(int32_t(FromTop ? k : Hgt - 1 - k)));
      if (Planar) {
        const uint8_t* Y = P + k * W;
        const uint8_t* First = P + Area + std::min(k / Div, CH - 1) * CW;
        const uint8_t* Second = First + CW * CH;
        const uint8_t* U = VFirst ? Second : First;
        const uint8_t* V = VFirst ? First : Second;
        for (int64_t x = 0; x < W; ++x) {
          int64_t cx = std::min(x / Div, CW - 1);
          D[x] = YUVToRGB(Y[x], U[cx], V[cx]);
        }
      } else {
        const uint8_t* R = P + k * PackedRow;
        for (int64_t x = 0; x < W; ++x) {
          const uint8_t* Q = R + (x / Gp) * GroupBytes[Layout];
          const int32_t i = int32_t(x % Gp);
          int32_t Y, U, V;
          switch (Layout) {
            case 0: Y = Q[i * 2], U = Q[1], V = Q[3]; break;
            case 1: Y = Q[1 + i * 2], U = Q[0], V = Q[2]; break;
            case 2: Y = Q[i * 2], V = Q[1], U = Q[3]; break;
            case 3: Y = Q[1], U = Q[0], V = Q[2]; break;
            case 4: Y = Q[i < 2 ? 0 : 2], U = Q[1], V = Q[3]; break;  // Y0 U Y2 V, each Y for two pixels
            case 5: {  // U Y0 Y1 V Y2 Y3
              static const int32_t At[4] = {1, 2, 4, 5};
              Y = Q[At[i]], U = Q[0], V = Q[3];
              break;
            }
            case 6: {  // U0 Y0 V0 Y1 U4 Y2 V4 Y3 Y4 Y5 Y6 Y7
              static const int32_t At[8] = {1, 3, 5, 7, 8, 9, 10, 11};
              Y = Q[At[i]];
              U = i < 4 ? Q[0] : Q[4];
              V = i < 4 ? Q[2] : Q[6];
              break;
            }
            default: {  // one little-endian word: U 6 bits, V 6 bits, then four 5-bit Y
              const uint32_t Wd = Rd32(Q);
              const int32_t Y5 = int32_t((Wd >> (12 + 5 * i)) & 31);
              const int32_t U6 = int32_t(Wd & 63), V6 = int32_t((Wd >> 6) & 63);
              // Widened to 8 bits by repeating the top bits.
              Y = (Y5 << 3) | (Y5 >> 2);
              U = (U6 << 2) | (U6 >> 4);
              V = (V6 << 2) | (V6 >> 4);
              break;
            }
          }
          D[x] = YUVToRGB(Y, U, V);
        }
      }
    }
    return B;
  }

  if (B != 1 && B != 4 && B != 8 && B != 16 && B != 24 && B != 32) return 0;
  const int64_t RowLen = ((W * B + 31) / 32) * 4;
  int64_t TableEntries = 0;
  if (B <= 8) {
    TableEntries = ClrUsed ? int64_t(ClrUsed) : (int64_t(1) << B);
    if (TableEntries > 256) return 0;
  }
  int64_t Offset = int64_t(HeaderSize) + TableEntries * 4;
  if (Offset > int64_t(DIBSize)) return 0;
  std::vector<TRGB> Table(256);
  for (int64_t i = 0; i < TableEntries; ++i) Table[i] = IECreateRGB(H[Offset - TableEntries * 4 + i * 4 + 2],
                                                                    H[Offset - TableEntries * 4 + i * 4 + 1],
                                                                    H[Offset - TableEntries * 4 + i * 4]);
  uint32_t RM = 0x7C00, GM = 0x03E0, BM = 0x001F;
  if (C == 3) {
    if (B != 16 && B != 32) return 0;
    // Masks follow a 40-byte header; larger headers hold them inside.
    const uint8_t* M = HeaderSize >= 52 ? H + 40 : H + HeaderSize;
    if (HeaderSize < 52) {
      if (Offset + 12 > int64_t(DIBSize)) return 0;
      Offset += 12;
    }
    RM = Rd32(M);
    GM = Rd32(M + 4);
    BM = Rd32(M + 8);
  } else if (C == 1 || C == 2) {
    if ((C == 1 && B != 8) || (C == 2 && B != 4)) return 0;
  } else if (C != 0) {
    return 0;
  }
  const uint8_t* P = Pixels ? static_cast<const uint8_t*>(Pixels) : H + Offset;
  const size_t Avail = Pixels ? PixelsSize : DIBSize - size_t(Offset);

  std::vector<uint8_t> Rle;
  if (C == 1 || C == 2) {
    if (TopDown || !DecodeRLE(P, Avail, int32_t(W), int32_t(Hgt), C == 2, Rle)) return 0;
  } else if (uint64_t(RowLen) * uint64_t(Hgt) > Avail) {
    return 0;
  }
  if (!Bitmap->Allocate(int32_t(W), int32_t(Hgt), B == 1 ? ie1g : ie24RGB)) return 0;

  // Whether a 1-bit table reads as white for each bit value.
  bool White0 = false, White1 = true;
  if (B == 1) {
    White0 = IERGBToGray(Table[0]) >= 128;
    White1 = IERGBToGray(Table[1]) >= 128;
  }
  // A mask's field, widened or narrowed to 8 bits.
  auto Shifted = [](uint32_t V, uint32_t Mask) -> uint8_t {
    if (!Mask) return 0;
    V = (V & Mask) >> __builtin_ctz(Mask);
    int32_t Bits = __builtin_popcount(Mask);
    return Bits >= 8 ? uint8_t(V >> (Bits - 8)) : uint8_t(V << (8 - Bits));
  };
  for (int64_t k = 0; k < Hgt; ++k) {
    const int32_t Y = int32_t(TopDown ? k : Hgt - 1 - k);
    uint8_t* D = Bitmap->GetScanline(Y);
    const uint8_t* S = Rle.empty() ? P + k * RowLen : nullptr;
    const uint8_t* Ix = Rle.empty() ? nullptr : Rle.data() + k * W;
    TRGB* D24 = reinterpret_cast<TRGB*>(D);
    switch (B) {
      case 1: {
        const size_t Bytes = size_t((W + 7) / 8);
        for (size_t i = 0; i < Bytes; ++i) {
          uint8_t V = S[i];
          D[i] = White0 == White1 ? (White0 ? 0xFF : 0x00) : (White1 ? V : uint8_t(~V));
        }
        break;
      }
      case 4:
        for (int64_t x = 0; x < W; ++x) D24[x] = Table[Ix ? Ix[x] : ((S[x / 2] >> ((x & 1) ? 0 : 4)) & 15)];
        break;
      case 8:
        for (int64_t x = 0; x < W; ++x) D24[x] = Table[Ix ? Ix[x] : S[x]];
        break;
      case 16:
        for (int64_t x = 0; x < W; ++x) {
          uint32_t V = Rd16(S + 2 * x);
          D24[x] = IECreateRGB(Shifted(V, RM), Shifted(V, GM), Shifted(V, BM));
        }
        break;
      case 24:
        std::memcpy(D, S, size_t(W) * 3);
        break;
      case 32:
        for (int64_t x = 0; x < W; ++x) {
          D24[x] = IECreateRGB(S[4 * x + 2], S[4 * x + 1], S[4 * x]);
        }
        break;
    }
  }
  return B;
}

void IECopySwapRB(void* Dest, const void* Source, int32_t Count) {
  uint8_t* D = static_cast<uint8_t*>(Dest);
  const uint8_t* S = static_cast<const uint8_t*>(Source);
  for (int32_t i = 0; i < Count; ++i, D += 3, S += 3) {
    uint8_t A = S[0], B = S[1], C = S[2];
    D[0] = C;
    D[1] = B;
    D[2] = A;
  }
}

void IESwapRB(void* Buffer, int32_t Count) {
  uint8_t* P = static_cast<uint8_t*>(Buffer);
  for (int32_t i = 0; i < Count; ++i, P += 3) std::swap(P[0], P[2]);
}

void IESwapRB48(void* Buffer, int32_t Count) {
  uint8_t* P = static_cast<uint8_t*>(Buffer);
  for (int32_t i = 0; i < Count; ++i, P += 6) {
    std::swap(P[0], P[4]);
    std::swap(P[1], P[5]);
  }
}

void IESwapRBArray(TRGB* Palette, int32_t Count) {
  for (int32_t i = 0; i < Count; ++i) std::swap(Palette[i].r, Palette[i].b);
}

int32_t IEConvertRowBitDepth(const uint8_t* Source, uint8_t* Dest, uint16_t SourceBits, uint16_t DestBits,
                             uint16_t Width, const TRGB* Palette, int32_t PaletteCount, TIEQuantizer* Quantizer) {
  auto Pal = [&](int32_t I) { return (Palette && I >= 0 && I < PaletteCount) ? Palette[I] : TRGB{}; };
  auto Index = [&](const uint8_t* P) {
    TRGB C;
    C.b = P[0];
    C.g = P[1];
    C.r = P[2];
    int32_t I = Quantizer ? Quantizer->ColorToIndex(C) : 0;
    return I < 0 ? 0 : I;
  };
  auto Bit = [&](int32_t i) { return (Source[i >> 3] >> (7 - (i & 7))) & 1; };
  auto Nib = [&](int32_t i) { return (i & 1) ? (Source[i >> 1] & 15) : (Source[i >> 1] >> 4); };
  const int32_t W = Width;
  switch (SourceBits * 100 + DestBits) {
    case 2404:
      for (int32_t i = 0; i < W; ++i) Dest[i >> 1] |= uint8_t((Index(Source + 3 * i) & 15) << ((i & 1) ? 0 : 4));
      break;
    case 2408:
      for (int32_t i = 0; i < W; ++i) Dest[i] = uint8_t(Index(Source + 3 * i));
      break;
    case 2424:
      std::memcpy(Dest, Source, size_t(W) * 3);
      break;
    case 3224:
      for (int32_t i = 0; i < W; ++i) std::memcpy(Dest + 3 * i, Source + 4 * i, 3);
      break;
    case 801:
      std::memset(Dest, 0, size_t(W + 7) / 8);
      for (int32_t i = 0; i < W; ++i) Dest[i >> 3] |= uint8_t((Source[i] & 1) << (7 - (i & 7)));
      break;
    case 808:
      std::memcpy(Dest, Source, W);
      break;
    case 824:
      for (int32_t i = 0; i < W; ++i) reinterpret_cast<TRGB*>(Dest)[i] = Pal(Source[i]);
      break;
    case 101:
      std::memcpy(Dest, Source, size_t(W + 7) / 8);
      break;
    case 104:
      for (int32_t i = 0; i < W; ++i) Dest[i >> 1] |= uint8_t(Bit(i) << ((i & 1) ? 0 : 4));
      break;
    case 108:
      for (int32_t i = 0; i < W; ++i) Dest[i] = uint8_t(Bit(i));
      break;
    case 124:
      for (int32_t i = 0; i < W; ++i) reinterpret_cast<TRGB*>(Dest)[i] = Pal(Bit(i));
      break;
    case 404:
      std::memcpy(Dest, Source, size_t(W + 1) / 2);
      break;
    case 408:
      for (int32_t i = 0; i < W; ++i) Dest[i] = uint8_t(Nib(i));
      break;
    case 424:
      for (int32_t i = 0; i < W; ++i) reinterpret_cast<TRGB*>(Dest)[i] = Pal(Nib(i));
      break;
    default:
      break;
  }
  switch (DestBits) {
    case 1:
      return (W + 7) / 8;
    case 4:
      return (W + 1) / 2;
    case 8:
      return W;
    case 24:
      return W * 3;
    default:
      return 0;
  }
}

std::unique_ptr<TIEBitmap> IEConvertTwoColorTo1Bit(TIEBitmap* Bitmap, TRGB& ColourA, TRGB& ColourB) {
  if (!Bitmap) return nullptr;
  const int32_t W = Bitmap->GetWidth(), H = Bitmap->GetHeight();
  if (W <= 0 || H <= 0) return nullptr;
  TRGB C[2];
  int32_t N = 0;
  for (int32_t y = 0; y < H; ++y)
    for (int32_t x = 0; x < W; ++x) {
      const TRGB P = Bitmap->GetPixelRGB(x, y);
      if (N > 0 && IESameRGB(P, C[0])) continue;
      if (N > 1 && IESameRGB(P, C[1])) continue;
      if (N == 2) return nullptr;
      C[N++] = P;
    }
  if (N != 2) return nullptr;
  if (IERGBToGray(C[1]) < IERGBToGray(C[0])) std::swap(C[0], C[1]);
  auto Out = std::make_unique<TIEBitmap>();
  if (!Out->Allocate(W, H, ie1g)) return nullptr;
  const size_t RowBytes = size_t((W + 7) / 8);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* Row = Out->GetScanline(y);
    std::memset(Row, 0, RowBytes);
    for (int32_t x = 0; x < W; ++x)
      if (IESameRGB(Bitmap->GetPixelRGB(x, y), C[1])) Row[x >> 3] |= uint8_t(0x80 >> (x & 7));
  }
  ColourA = C[0];
  ColourB = C[1];
  return Out;
}
