// Negative, flip, clear and crop to the selection or to the opaque part of
// the alpha plane.
#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "kernels/flip_negative.h"
#include "kernels/rotate_kernels.h"
#include "processing/fill_value.h"
#include "processing/folio_proc.h"

void TFolioProc::Negative() {
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  // A palette image inverts its palette; under a selection that would reach
  // the whole picture, so the selected part is inverted in 24-bit colour.
  TIEPixelFormatSet Allowed = 0;
  if (FIEBitmap && FIEBitmap->GetPixelFormat() == ie8p) {
    int32_t A, B, C, D;
    TIEMask* M;
    if (GetSelectionArea(A, B, C, D, M) && M && !M->IsEmpty())
      Allowed = TIEPixelFormatSet(0xFFFE & ~(1u << ie8p) & ~(1u << ieNoFormat));
  }
  if (!BeginOperation(Allowed, X1, Y1, X2, Y2, "Negative", Work, Mask)) return;
  IENegative(Work, X1, Y1, X2, Y2, ProgressHandler(), this);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}

void TFolioProc::Flip(TIEFlipDirection Direction) {
  if (!EnsurePixelFormat(0)) return;
  if (FAutoUndo) PushUndoWithCaption("Flip", ieuImage);
  IEFlip(FIEBitmap, Direction);
  Refresh();
  NotifyFinishWork();
}

void TFolioProc::Clear() {
  if (!EnsurePixelFormat(0)) return;
  if (FAutoUndo) PushUndoWithCaption("Clear", ieuImage);
  FIEBitmap->Fill(IEFillValueOf(FIEBitmap, GetBackground()));
  Refresh();
  NotifyFinishWork();
}

void TFolioProc::CropSel(bool ToAlpha) {
  if (!EnsurePixelFormat(0)) return;
  if (FAutoUndo) PushUndoWithCaption("CropSel", ieuImage);
  int32_t X1, Y1, X2, Y2;
  TIEMask* Mask;
  if (GetSelectionArea(X1, Y1, X2, Y2, Mask) && Mask && !Mask->IsEmpty()) {
    if (ToAlpha) {
      FIEBitmap->CopyFromTIEMask(Mask);
    } else {
      const int32_t MX = Mask->GetX1(), MY = Mask->GetY1();
      const int32_t W = Mask->GetX2() - MX + 1, H = Mask->GetY2() - MY + 1;
      auto Out = std::make_unique<TIEBitmap>(W, H, FIEBitmap->GetPixelFormat());
      if (FIEBitmap->GetPixelFormat() == ie8p) FIEBitmap->CopyPaletteTo(Out.get());
      Out->Fill(IEFillValueOf(Out.get(), GetBackground()));
      Mask->CopyBitmap(Out.get(), FIEBitmap, true, false, false);
      // Selected pixels keep their alpha (opaque without a plane), the rest
      // of the box is transparent.
      TIEBitmap* Alpha = Out->GetAlphaChannel();
      const bool SrcAlpha = FIEBitmap->HasAlphaChannel();
      for (int32_t y = 0; y < H; ++y)
        for (int32_t x = 0; x < W; ++x)
          Alpha->SetPixel8(x, y,
                           Mask->IsPointInside(MX + x, MY + y)
                               ? (SrcAlpha ? FIEBitmap->GetAlpha(MX + x, MY + y) : uint8_t(255))
                               : uint8_t(0));
      FIEBitmap->Assign(Out.get());
      if (FIEBitmap->HasAlphaChannel()) {
        FIEBitmap->GetAlphaChannel()->UpdateFullFlag();
        if (FIEBitmap->GetAlphaChannel()->GetFull()) FIEBitmap->RemoveAlphaChannel(false);
      }
    }
  }
  Refresh();
  NotifyFinishWork();
}

void TFolioProc::CropToAlphaExtent() {
  if (!EnsurePixelFormat(0)) return;
  const TIEAlphaExtent R = IEGetAlphaExtent(FIEBitmap);
  const int32_t W = R.Right - R.Left + 1, H = R.Bottom - R.Top + 1;
  // A fully transparent image has no extent to crop to; the whole image
  // needs no crop.
  if (W < 1 || H < 1 || (W == FIEBitmap->GetWidth() && H == FIEBitmap->GetHeight())) return;
  auto Out = std::make_unique<TIEBitmap>(W, H, FIEBitmap->GetPixelFormat());
  if (FIEBitmap->GetPixelFormat() == ie8p) FIEBitmap->CopyPaletteTo(Out.get());
  FIEBitmap->CopyRectTo(Out.get(), R.Left, R.Top, 0, 0, W, H);
  if (FIEBitmap->HasAlphaChannel())
    FIEBitmap->GetAlphaChannel()->CopyRectTo(Out->GetAlphaChannel(), R.Left, R.Top, 0, 0, W, H);
  FIEBitmap->Assign(Out.get());
  if (FIEBitmap->HasAlphaChannel()) FIEBitmap->GetAlphaChannel()->UpdateFullFlag();
  Refresh();
  NotifyFinishWork();
}
