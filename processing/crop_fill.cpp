// Crop, auto-crop, fill and bucket fill through the processing component.
#include <algorithm>
#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "kernels/autocrop_fill.h"
#include "platform/rtl/sysutils.h"
#include "processing/folio_proc.h"

void TFolioProc::Crop(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2) {
  if (!EnsurePixelFormat(0)) return;
  const int32_t W = FIEBitmap->GetWidth(), H = FIEBitmap->GetHeight();
  // Clipped to the image; what is left must be a real rectangle.
  const int32_t L = std::max(X1, 0), T = std::max(Y1, 0);
  const int32_t R = std::min(X2, W - 1), B = std::min(Y2, H - 1);
  if (L > R || T > B) return;
  if (L == 0 && T == 0 && R + 1 == W && B + 1 == H) return;
  const int32_t NW = R - L + 1, NH = B - T + 1;
  auto Piece = std::make_unique<TIEBitmap>(NW, NH, FIEBitmap->GetPixelFormat());
  if (Piece->IsEmpty()) return;
  std::unique_ptr<TIEBitmap> Alpha;
  if (FIEBitmap->HasAlphaChannel()) {
    TIEBitmap* Old = FIEBitmap->GetAlphaChannel();
    Alpha = TIEBitmap::CreateAlphaPlane(NW, NH, ieMemory);
    if (!Alpha || Alpha->IsEmpty()) return;
    Old->CopyRectTo(Alpha.get(), L, T, 0, 0, NW, NH);
    Alpha->UpdateFullFlag();
  }
  if (FAutoUndo) PushUndoWithCaption(Format("Crop %d, %d, %d, %d", X1, Y1, X2, Y2), ieuImage);
  if (FIEBitmap->GetPixelFormat() == ie8p) FIEBitmap->CopyPaletteTo(Piece.get());
  FIEBitmap->CopyRectTo(Piece.get(), L, T, 0, 0, NW, NH);
  FIEBitmap->AssignImage(Piece.get());
  if (Alpha) FIEBitmap->AttachAlphaChannel(std::move(Alpha));
  Refresh();
  NotifyFinishWork();
}

bool TFolioProc::AutoCrop(bool DoCrop, TRect& Rect, double Tolerance) {
  if (!(Tolerance > 0) || !EnsurePixelFormat(0)) return false;
  TRect Found;
  if (!IEAutoCropRect(FIEBitmap, Found, Tolerance)) return false;
  Rect = Found;
  if (DoCrop) CropToRect(Found);
  return true;
}

void TFolioProc::Fill(TRGB Colour) {
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginOperation(0, X1, Y1, X2, Y2, Format("Fill (%d, %d, %d)", Colour.r, Colour.g, Colour.b), Work, Mask))
    return;
  IEFillRect(Work, X1, Y1, X2, Y2, Colour, ProgressHandler(), this);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}

void TFolioProc::CastColor(int32_t X, int32_t Y, TRGB Colour, int32_t Tolerance) {
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginOperation(IEPixelFormatSetOf({ie24RGB}), X1, Y1, X2, Y2, "CastColor", Work, Mask)) return;
  // A selection's work bitmap starts at the mask's box: the point moves with
  // it, so the region found is the one under the point on the page.
  if (Work != FIEBitmap && Mask) {
    X -= Mask->GetX1();
    Y -= Mask->GetY1();
  }
  IECastColor(Work, X, Y, Colour, Tolerance, ProgressHandler(), this);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}
