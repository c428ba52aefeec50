// The image buffer's exchanges with selection masks: alpha planes from masks,
// masks from bitmaps, and masked copies and pastes.
#include <algorithm>
#include <cstring>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "foundations/pixel_utils.h"

void TIEBitmap::CopyFromTIEMask(TIEMask* Mask) {
  if (Mask == nullptr) {
    Fill(255);
    return;
  }
  TIEPixelFormat F;
  if (Mask->GetBitsPerPixel() == 1)
    F = ie1g;
  else if (Mask->GetBitsPerPixel() == 8)
    F = ie8g;
  else
    return;
  if (!Allocate(Mask->GetWidth(), Mask->GetHeight(), F)) return;
  int64_t Len = std::min<int64_t>(GetRowLen(), Mask->GetRowLen());
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    uint8_t* D = GetScanline(Y);
    const uint8_t* S = Mask->GetScanline(Y);
    if (D != nullptr && S != nullptr && Len > 0) std::memcpy(D, S, size_t(Len));
  }
  FFull = Mask->GetFull();
}

void TIEBitmap::CopyToTIEMask(TIEMask* Mask) {
  if (Mask == nullptr || IsEmpty()) return;
  const TIEPixelFormat F = GetPixelFormat();
  if (F != ie1g && F != ie8g && F != ie24RGB) return;
  if (!Mask->AllocateBits(FWidth, FHeight, F == ie1g ? 1 : 8)) return;
  int64_t Len = std::min<int64_t>(FRowLen, Mask->GetRowLen());
  for (int32_t Y = 0; Y < FHeight; ++Y) {
    const uint8_t* S = GetScanline(Y);
    uint8_t* D = Mask->GetScanline(Y);
    if (S == nullptr || D == nullptr) continue;
    if (F == ie24RGB) {
      const TRGB* P = reinterpret_cast<const TRGB*>(S);
      for (int32_t X = 0; X < FWidth; ++X) D[X] = uint8_t(IEClampByte(IERGBToGray(P[X])));
    } else {
      std::memcpy(D, S, size_t(Len));
    }
  }
  if (F != ie24RGB) Mask->SetFull(FFull);
  // The box tells the mask's users where its values are.
  Mask->UpdateBoundingBox();
}

void TIEBitmap::CopyMaskedTo(TIEBitmap* Dest, TIEMask* Mask) {
  if (Dest == nullptr || Dest == this || Mask == nullptr || Mask->IsEmpty()) return;
  int32_t W = Mask->GetX2() - Mask->GetX1() + 1, H = Mask->GetY2() - Mask->GetY1() + 1;
  if (!Dest->Allocate(W, H, GetPixelFormat())) return;
  CopyPaletteTo(Dest);
  CopyRectTo(Dest, Mask->GetX1(), Mask->GetY1(), 0, 0, W, H);
  Mask->CopyBitmap(Dest, this, true, false, true);
}

void TIEBitmap::CopyMaskedFilledTo(TIEBitmap* Dest, TIEMask* Mask, int32_t Background) {
  if (Dest == nullptr || Dest == this || Mask == nullptr || Mask->IsEmpty()) return;
  int32_t W = Mask->GetX2() - Mask->GetX1() + 1, H = Mask->GetY2() - Mask->GetY1() + 1;
  if (!Dest->Allocate(W, H, GetPixelFormat())) return;
  CopyPaletteTo(Dest);
  Dest->Fill(Background);
  Mask->CopyBitmap(Dest, this, true, false, true);
}

void TIEBitmap::PasteMaskedTo(TIEBitmap* Dest, TIEMask* Mask) {
  if (Dest == nullptr || Dest == this || Mask == nullptr || Mask->IsEmpty()) return;
  Mask->CopyBitmap(Dest, this, false, true, false);
  if (HasAlphaChannel()) {
    TIEBitmap* DA = Dest->GetAlphaChannel();
    if (DA != nullptr) {
      Mask->CopyBitmap(DA, FAlphaChannel.get(), false, true, false);
      DA->SetFull(false);
    }
  }
}
