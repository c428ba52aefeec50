// Skew detection and the cleaning of black-and-white pages through the
// processing component.
#include <memory>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "kernels/despeckle.h"
#include "kernels/skew.h"
#include "platform/rtl/sysutils.h"
#include "processing/folio_proc.h"

double TFolioProc::DetectSkewAngle(int32_t ResampleWidth, int32_t AngleRange, double Precision, bool EdgeDetect,
                                   bool* Found) {
  if (Found) *Found = false;
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  // A page of another format is measured on a converted copy: looking at a
  // page never changes it.
  if (!BeginAnalysis(IEPixelFormatSetOf({ie1g, ie24RGB}), X1, Y1, X2, Y2, Work, Mask)) return 0;
  const double Angle =
      IEDetectSkewAngle(Work, ResampleWidth, AngleRange, Precision, EdgeDetect, ProgressHandler(), this, Found);
  EndAnalysis(Work);
  NotifyFinishWork();
  return Angle;
}

void TFolioProc::RemoveIsolatedPixels(int32_t Colour, int32_t Size) {
  // Only black-and-white pages are cleaned: a colour page is never reduced to
  // 1 bit as a side effect.
  if (Size == 0 || !FIEBitmap || FIEBitmap->GetPixelFormat() != ie1g) return;
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginOperation(IEPixelFormatSetOf({ie1g}), X1, Y1, X2, Y2,
                      Format("RemoveIsolatedPixels %d, %d", Colour, Size), Work, Mask))
    return;
  IERemoveIsolatedPixels(Work, X1, Y1, X2, Y2, Colour, Size);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}

void TFolioProc::RemoveNoise(int32_t Iterations, bool Invert) {
  if (Iterations == 0 || !EnsurePixelFormat(0) || FIEBitmap->GetPixelFormat() != ie1g) return;
  if (FAutoUndo) PushUndoWithCaption("RemoveNoise", ieuImage);
  int32_t X1, Y1, X2, Y2;
  TIEMask* Mask;
  if (!GetSelectionArea(X1, Y1, X2, Y2, Mask) || !Mask || Mask->IsEmpty()) {
    IEKFill(FIEBitmap, true, true, Iterations, 3, Invert);
  } else {
    // The box of the selection is filtered on its own and written back through
    // the mask.
    const int32_t MX = Mask->GetX1(), MY = Mask->GetY1();
    const int32_t W = Mask->GetX2() - MX + 1, H = Mask->GetY2() - MY + 1;
    auto Box = std::make_unique<TIEBitmap>(W, H, ie1g);
    if (Box->IsEmpty()) return;
    FIEBitmap->CopyRectTo(Box.get(), MX, MY, 0, 0, W, H);
    IEKFill(Box.get(), true, true, Iterations, 3, Invert);
    Mask->CopyBitmap(FIEBitmap, Box.get(), false, true, false);
  }
  Refresh();
  NotifyFinishWork();
}
