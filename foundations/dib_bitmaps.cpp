// The platform-bitmap pixel buffer and the bare work buffer.
#include "foundations/dib_bitmaps.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "foundations/bit_helpers.h"
#include "foundations/system_probes.h"
#include "platform/gdi/bitmap.h"

namespace {

TPixelFormat PlatformFormatOf(int32_t BitCount) {
  switch (BitCount) {
    case 1: return pf1bit;
    case 8: return pf8bit;
    case 15: return pf15bit;
    case 16: return pf16bit;
    case 24: return pf24bit;
    case 32: return pf32bit;
    default: return pfCustom;
  }
}

}  // namespace

TIEDibbitmap::TIEDibbitmap() = default;
TIEDibbitmap::~TIEDibbitmap() { FreeBits(); }

bool TIEDibbitmap::AllocateBits(int32_t Width, int32_t Height, int32_t BitCount) {
  FreeBits();
  TPixelFormat PF = PlatformFormatOf(BitCount);
  if (Width <= 0 || Height <= 0 || PF == pfCustom) return false;
  int64_t RowLen = IEBitmapRowLen(Width, BitCount == 15 ? 16 : BitCount, 32);
  if (RowLen <= 0 || RowLen > std::numeric_limits<int32_t>::max() / Height) return false;
  auto B = std::make_unique<TBitmap>();
  try {
    B->SetPixelFormat(PF);
    B->SetSize(Width, Height);
  } catch (...) {
    return false;
  }
  if (B->GetWidth() != Width || B->GetHeight() != Height || B->GetPixelFormat() != PF)
    return false;
  if (PF == pf1bit) {
    TRGBQuad Black{}, White{};
    White.rgbBlue = White.rgbGreen = White.rgbRed = 255;
    B->SetColorTable({Black, White});
  }
  FBitmap = std::move(B);
  FWidth = Width;
  FHeight = Height;
  FBitCount = BitCount;
  FRowLen = FBitmap->GetBytesPerLine();
  return true;
}

void TIEDibbitmap::FreeBits() {
  FBitmap.reset();
  FWidth = FHeight = FBitCount = 0;
  FRowLen = 0;
}

TCanvas* TIEDibbitmap::GetCanvas() { return FBitmap ? FBitmap->GetCanvas() : nullptr; }

uint8_t* TIEDibbitmap::GetScanline(int32_t Row) {
  if (!FBitmap || Row < 0 || Row >= FHeight) return nullptr;
  return FBitmap->GetScanLine(Row);
}

TIEPixelFormat TIEDibbitmap::GetPixelFormat() const {
  if (FBitCount == 1) return ie1g;
  if (FBitCount == 24) return ie24RGB;
  return ieNoFormat;
}

bool TIEDibbitmap::Allocate(int32_t Width, int32_t Height, TIEPixelFormat PixelFormat) {
  if (PixelFormat == ie1g) return AllocateBits(Width, Height, 1);
  if (PixelFormat == ie24RGB) return AllocateBits(Width, Height, 24);
  return false;
}

void TIEDibbitmap::Assign(TObject* Source) {
  auto* S = dynamic_cast<TIEDibbitmap*>(Source);
  if (S == nullptr || S == this) return;
  if (S->FBitmap == nullptr) {
    FreeBits();
    return;
  }
  if (!AllocateBits(S->FWidth, S->FHeight, S->FBitCount)) return;
  for (int32_t Y = 0; Y < FHeight; ++Y)
    std::memcpy(GetScanline(Y), S->GetScanline(Y), size_t(FRowLen));
  if (FBitCount == 8) FBitmap->SetColorTable(S->FBitmap->GetColorTable());
}

// ---------------------------------------------------------------------------

void TIEBitmap::AssignTIEDibbitmap(TIEDibbitmap* Source) {
  if (Source == nullptr) return;
  int32_t W = Source->GetWidth(), H = Source->GetHeight(), Bits = Source->GetBitCount();
  TIEPixelFormat Target;
  switch (Bits) {
    case 1: Target = ie1g; break;
    case 8: Target = ie8g; break;
    case 15:
    case 16:
    case 24: Target = ie24RGB; break;
    case 32: Target = ie32RGB; break;
    default: return;
  }
  if (W <= 0 || H <= 0) return;
  if (!Allocate(W, H, Target)) return;
  int64_t Len = std::min(Source->GetRowLen(), GetRowLen());
  for (int32_t Y = 0; Y < H; ++Y) {
    const uint8_t* S = Source->GetScanline(Y);
    uint8_t* D = GetScanline(Y);
    if (S == nullptr || D == nullptr) continue;
    if (Bits == 15 || Bits == 16) {
      // 5- and 6-bit fields widened by repeating their top bits, so the
      // brightest value stays 255.
      for (int32_t X = 0; X < W; ++X) {
        uint32_t P = uint32_t(S[2 * X]) | (uint32_t(S[2 * X + 1]) << 8);
        uint32_t R5, G, B5 = P & 31;
        if (Bits == 15) {
          R5 = (P >> 10) & 31;
          uint32_t G5 = (P >> 5) & 31;
          G = (G5 << 3) | (G5 >> 2);
        } else {
          R5 = (P >> 11) & 31;
          uint32_t G6 = (P >> 5) & 63;
          G = (G6 << 2) | (G6 >> 4);
        }
        D[3 * X] = uint8_t((B5 << 3) | (B5 >> 2));
        D[3 * X + 1] = uint8_t(G);
        D[3 * X + 2] = uint8_t((R5 << 3) | (R5 >> 2));
      }
    } else {
      std::memcpy(D, S, size_t(Len));
    }
  }
  FFull = false;
}

// ---------------------------------------------------------------------------

TIEWorkBitmap::TIEWorkBitmap(int32_t Width, int32_t Height, int32_t BitsPerPixel) {
  if (Width > 0 && Height > 0) Allocate(Width, Height, BitsPerPixel);
}

TIEWorkBitmap::~TIEWorkBitmap() { Free(); }

bool TIEWorkBitmap::Allocate(int32_t Width, int32_t Height, int32_t BitsPerPixel) {
  if (FBits != nullptr && Width == FWidth && Height == FHeight && BitsPerPixel == FBitsPerPixel)
    return true;
  Free();
  if (Width <= 0 || Height <= 0 || BitsPerPixel <= 0) return false;
  int64_t RowLen = IEBitmapRowLen(Width, BitsPerPixel, 32);
  if (RowLen <= 0 || RowLen > std::numeric_limits<int64_t>::max() / Height) return false;
  void* Block = IEAllocLarge(RowLen * Height);
  if (Block == nullptr) return false;
  FBits = static_cast<uint8_t*>(Block);
  FWidth = Width;
  FHeight = Height;
  FBitsPerPixel = BitsPerPixel;
  FRowLen = RowLen;
  return true;
}

void TIEWorkBitmap::Free() {
  if (FBits != nullptr) {
    void* P = FBits;
    IEFreeLarge(P);
  }
  FBits = nullptr;
  FWidth = FHeight = FBitsPerPixel = 0;
  FRowLen = 0;
}

uint8_t* TIEWorkBitmap::GetScanline(int32_t Row) {
  if (FBits == nullptr || Row < 0 || Row >= FHeight) return nullptr;
  return FBits + FRowLen * (FHeight - 1 - Row);
}

uint8_t* TIEWorkBitmap::GetBytePtr(int32_t Row, int32_t X) {
  uint8_t* R = GetScanline(Row);
  return R != nullptr ? R + X : nullptr;
}

float* TIEWorkBitmap::GetSinglePtr(int32_t Row, int32_t X) {
  uint8_t* R = GetScanline(Row);
  return R != nullptr ? reinterpret_cast<float*>(R + 4 * int64_t(X)) : nullptr;
}
