// Colour-depth conversions of the whole image: to two levels, to a palette
// of up to 1024 colours (staying 24-bit) and from 1 bit to 24 bits.
#include <cstdio>
#include <memory>

#include "foundations/bit_expansion.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "kernels/depth_convert.h"
#include "kernels/threshold_1bit.h"
#include "processing/folio_proc.h"

namespace {

// The reduction itself, shared by ConvertTo and ConvertToPalette.
void Reduce(TIEBitmap* B, int32_t Colors, TRGB* Palette, bool Threshold, TIEProgressRec& Progress) {
  std::unique_ptr<TIEBitmap> Alpha = B->DetachAlphaChannel();
  if (Colors < 3) {
    if (Threshold)
      IEConvertTo1BitThreshold(B, -1, &Progress);
    else
      IEConvertTo1BitOrdered(B, &Progress);
    if (Palette) {
      Palette[0] = TRGB{};
      Palette[1].r = Palette[1].g = Palette[1].b = 255;
    }
  } else {
    IEQuantizeInPlace(B, Colors, Palette, &Progress);
  }
  if (Alpha) B->AttachAlphaChannel(std::move(Alpha));
}

}  // namespace

void TFolioProc::ConvertTo(int32_t Colors, bool Threshold) {
  // More colours than the quantizer offers would change nothing: no undo
  // entry either.
  if (Colors > 1024) return;
  if (!EnsurePixelFormat(IEPixelFormatSetOf({ie24RGB}))) return;
  char Caption[40];
  std::snprintf(Caption, sizeof Caption, "ConvertTo %d", Colors);
  if (FAutoUndo) PushUndoWithCaption(Caption, ieuImage);
  TIEProgressRec Progress;
  Progress.fOnProgress = ProgressHandler();
  Progress.Sender = this;
  Reduce(FIEBitmap, Colors, nullptr, Threshold, Progress);
  Refresh();
  NotifyFinishWork();
}

void TFolioProc::ConvertToPalette(int32_t Colors, TRGB* Palette, bool Threshold) {
  if (Colors == 0 || Colors > 1024 || !Palette) return;
  if (!EnsurePixelFormat(IEPixelFormatSetOf({ie24RGB}))) return;
  if (FAutoUndo) PushUndoWithCaption("ConvertToPalette", ieuImage);
  TIEProgressRec Progress;
  Progress.fOnProgress = ProgressHandler();
  Progress.Sender = this;
  Reduce(FIEBitmap, Colors, Palette, Threshold, Progress);
  Refresh();
  NotifyFinishWork();
}

void TFolioProc::ConvertTo24Bit() {
  if (!FIEBitmap || FIEBitmap->GetPixelFormat() != ie1g) return;
  if (!EnsurePixelFormat(IEPixelFormatSetOf({ie1g}))) return;
  if (FAutoUndo) PushUndoWithCaption("ConvertTo24Bit", ieuImage);
  TIEBitmap Copy;
  Copy.Assign(FIEBitmap);
  std::unique_ptr<TIEBitmap> Alpha = FIEBitmap->DetachAlphaChannel();
  TIEProgressRec Progress;
  Progress.fOnProgress = ProgressHandler();
  Progress.Sender = this;
  IEConvert1BitTo24Bit(&Copy, FIEBitmap, &Progress);
  if (Alpha) FIEBitmap->AttachAlphaChannel(std::move(Alpha));
  Refresh();
  NotifyFinishWork();
}
