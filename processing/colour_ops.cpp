// Colour operations of the processing component: gray conversion, automatic
// equalisation and the histogram of the image or selection.
#include "foundations/image_buffer.h"
#include "foundations/pixel_utils.h"
#include "foundations/selection_mask.h"
#include "kernels/colour_adjust.h"
#include "kernels/histogram.h"
#include "processing/folio_proc.h"

void TFolioProc::ConvertToGray() {
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginOperation(IEPixelFormatSetOf({ie24RGB}), X1, Y1, X2, Y2, "ConvertToGray", Work, Mask)) return;
  IEConvertToGray24(Work, X1, Y1, X2, Y2, ProgressHandler(), this);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}

void TFolioProc::HistAutoEqualize() {
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginOperation(IEPixelFormatSetOf({ie24RGB}), X1, Y1, X2, Y2, "HistAutoEqualize", Work, Mask)) return;
  IEHistAutoEqualize(Work, X1, Y1, X2, Y2, ProgressHandler(), this);
  EndOperation(Work, Mask);
  NotifyFinishWork();
}

void TFolioProc::ComputeHistogram(TIEHistogramEntry (&Hist)[256]) {
  for (auto& E : Hist) E = TIEHistogramEntry{};
  // An analysis: a page of another format is counted on a 24-bit copy and
  // keeps its own format.
  int32_t X1, Y1, X2, Y2;
  TIEBitmap* Work;
  TIEMask* Mask;
  if (!BeginAnalysis(IEPixelFormatSetOf({ie24RGB}), X1, Y1, X2, Y2, Work, Mask)) return;
  // On a boxed copy the mask's coordinates are the image's: count the copy
  // through a mask shifted to its origin by testing each point ourselves.
  if (Mask && !Mask->IsEmpty() && Work != GetIEBitmap()) {
    const int32_t MX = Mask->GetX1(), MY = Mask->GetY1();
    for (int32_t y = Y1; y < Y2; ++y) {
      const TRGB* P = reinterpret_cast<const TRGB*>(Work->GetScanline(y));
      for (int32_t x = X1; x < X2; ++x) {
        if (!Mask->IsPointInside(x + MX, y + MY)) continue;
        Hist[P[x].r].r++;
        Hist[P[x].g].g++;
        Hist[P[x].b].b++;
        Hist[IEClampByte(IERGBToGray(P[x]))].gray++;
      }
    }
  } else {
    IEHistogram(Work, Hist, X1, Y1, X2, Y2, Mask);
  }
  EndAnalysis(Work);
}
