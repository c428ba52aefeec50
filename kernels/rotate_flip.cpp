#include "kernels/rotate_flip.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

// Bytes that hold the pixels of a row (without padding).
size_t PixelBytes(int64_t Width, int32_t BitCount) { return static_cast<size_t>((Width * BitCount + 7) / 8); }

// Copies pixel SrcX of Src to pixel DstX of Dst; BitCount 1 or a multiple of 8.
inline void CopyPixel(const uint8_t* Src, int64_t SrcX, uint8_t* Dst, int64_t DstX, int32_t BitCount) {
  if (BitCount == 1) {
    const uint8_t Mask = static_cast<uint8_t>(0x80u >> (DstX & 7));
    if (Src[SrcX >> 3] & (0x80u >> (SrcX & 7))) Dst[DstX >> 3] |= Mask;
    else Dst[DstX >> 3] &= static_cast<uint8_t>(~Mask);
  } else {
    const int64_t N = BitCount / 8;
    std::memcpy(Dst + DstX * N, Src + SrcX * N, static_cast<size_t>(N));
  }
}

bool Usable(TIEBitmap* B) {
  const int32_t Bits = B->GetBitCount();
  return B->GetWidth() > 0 && B->GetHeight() > 0 && (Bits == 1 || (Bits > 0 && Bits % 8 == 0));
}

// Mirrors in place: Vertical reverses the row order, else each row.
void Mirror(TIEBitmap* B, bool Vertical) {
  if (!Usable(B)) return;
  const int32_t W = B->GetWidth(), H = B->GetHeight(), Bits = B->GetBitCount();
  const size_t Len = PixelBytes(W, Bits);
  std::vector<uint8_t> A(Len), C(Len);
  if (Vertical) {
    // Row pointers of a file-backed buffer last only until the next request,
    // so both rows go through copies.
    for (int32_t y = 0; y < H / 2; ++y) {
      std::memcpy(A.data(), B->GetScanline(y), Len);
      std::memcpy(C.data(), B->GetScanline(H - 1 - y), Len);
      std::memcpy(B->GetScanline(y), C.data(), Len);
      std::memcpy(B->GetScanline(H - 1 - y), A.data(), Len);
    }
  } else {
    for (int32_t y = 0; y < H; ++y) {
      uint8_t* Row = B->GetScanline(y);
      std::memcpy(A.data(), Row, Len);
      std::memcpy(C.data(), Row, Len);  // keeps the padding bits of a 1-bit row
      for (int32_t x = 0; x < W; ++x) CopyPixel(A.data(), W - 1 - x, C.data(), x, Bits);
      std::memcpy(Row, C.data(), Len);
    }
  }
}

// A copy of B turned by +90 (counter-clockwise) or -90 degrees; null when it
// cannot be allocated.
std::unique_ptr<TIEBitmap> Rotated(TIEBitmap* B, bool CounterClockwise) {
  const int32_t W = B->GetWidth(), H = B->GetHeight(), Bits = B->GetBitCount();
  auto D = std::make_unique<TIEBitmap>();
  if (!D->Allocate(H, W, B->GetPixelFormat())) return nullptr;
  if (B->GetPaletteLen() > 0) B->CopyPaletteTo(D.get());
  // Each row of D is a column of B.  Rows of D are built a band at a time
  // (about 16 MB), each band from one pass over B's rows.
  const size_t DLen = PixelBytes(H, Bits);
  const int32_t BandRows =
      static_cast<int32_t>(std::clamp<size_t>((size_t{16} << 20) / std::max<size_t>(DLen, 1), 1, static_cast<size_t>(W)));
  std::vector<uint8_t> Band(DLen * static_cast<size_t>(BandRows));
  for (int32_t First = 0; First < W; First += BandRows) {
    const int32_t Count = std::min(BandRows, W - First);
    std::fill(Band.begin(), Band.end(), uint8_t{0});
    for (int32_t r = 0; r < H; ++r) {
      const uint8_t* Src = B->GetScanline(r);
      const int32_t DX = CounterClockwise ? r : H - 1 - r;
      for (int32_t i = 0; i < Count; ++i) {
        const int32_t DY = First + i;
        const int32_t SX = CounterClockwise ? W - 1 - DY : DY;
        CopyPixel(Src, SX, Band.data() + DLen * static_cast<size_t>(i), DX, Bits);
      }
    }
    for (int32_t i = 0; i < Count; ++i)
      std::memcpy(D->GetScanline(First + i), Band.data() + DLen * static_cast<size_t>(i), DLen);
  }
  return D;
}

}  // namespace

bool IERotateQuarter(TIEBitmap* Image, bool CounterClockwise) {
  if (!Usable(Image)) return true;
  std::unique_ptr<TIEBitmap> D = Rotated(Image, CounterClockwise);
  if (!D) return false;
  std::unique_ptr<TIEBitmap> A;
  if (Image->HasAlphaChannel()) {
    TIEBitmap* Alpha = Image->GetAlphaChannel();
    if (Usable(Alpha)) {
      A = Rotated(Alpha, CounterClockwise);
      if (!A) return false;
    }
  }
  std::unique_ptr<TIEBitmap> OldAlpha = Image->DetachAlphaChannel();
  Image->AssignImage(D.get());
  if (A) Image->AttachAlphaChannel(std::move(A));
  else if (OldAlpha) Image->AttachAlphaChannel(std::move(OldAlpha));
  return true;
}

void IEMirror(TIEBitmap* Image, bool Vertical) {
  Mirror(Image, Vertical);
  if (Image->HasAlphaChannel()) Mirror(Image->GetAlphaChannel(), Vertical);
}

void IEApplyEXIFOrientation(TIEBitmap* Image, int32_t Orientation) {
  if (!Image) return;
  switch (Orientation) {
    case 2: IEMirror(Image, false); break;
    case 3:
      IEMirror(Image, true);
      IEMirror(Image, false);
      break;
    case 4: IEMirror(Image, true); break;
    // Turning the other way before the mirror would leave 5 and 7 upside
    // down (each would give the other's result).
    case 5:
      if (IERotateQuarter(Image, false)) IEMirror(Image, false);
      break;
    case 6: IERotateQuarter(Image, false); break;
    case 7:
      if (IERotateQuarter(Image, true)) IEMirror(Image, false);
      break;
    case 8: IERotateQuarter(Image, true); break;
    default: break;
  }
}
