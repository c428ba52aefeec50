// Size changes of the whole image: resampling the pixels and changing the
// canvas.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "kernels/resample_engine.h"
#include "processing/fill_value.h"
#include "processing/folio_proc.h"

namespace {

// Largest side and pixel count a size change may ask for.
constexpr int64_t MaxSide = 1 << 20;
constexpr int64_t MaxPixels = int64_t(1) << 30;

bool SizeAllowed(int64_t W, int64_t H) {
  return W >= 1 && H >= 1 && W <= MaxSide && H <= MaxSide && W * H <= MaxPixels;
}

// The target size of a resample: -1 for one side keeps the proportions of
// the other side's resolved size, 0 keeps that side.  Other negative values,
// two -1 and sizes beyond the limits are refused.
bool ResolveSize(int32_t NewWidth, int32_t NewHeight, int32_t W, int32_t H, int32_t& OutW, int32_t& OutH) {
  if (W < 1 || H < 1 || NewWidth < -1 || NewHeight < -1 || (NewWidth == -1 && NewHeight == -1)) return false;
  int64_t w, h;
  if (NewWidth == -1) {
    const int64_t hh = NewHeight == 0 ? H : NewHeight;
    w = hh * W / H;
  } else {
    w = NewWidth == 0 ? W : NewWidth;
  }
  if (w < 1) w = 1;
  if (NewHeight == -1)
    h = w * H / W;
  else
    h = NewHeight == 0 ? H : NewHeight;
  if (h < 1) h = 1;
  if (!SizeAllowed(w, h)) return false;
  OutW = int32_t(w);
  OutH = int32_t(h);
  return true;
}

}  // namespace

bool TFolioProc::ResampleTo(TIEBitmap* Dest, int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (!Dest || Dest == FIEBitmap || !EnsurePixelFormat(0) || FIEBitmap->IsEmpty()) return false;
  int32_t w, h;
  if (!ResolveSize(NewWidth, NewHeight, FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), w, h)) return false;
  if (!Dest->Allocate(w, h, FIEBitmap->GetPixelFormat())) return false;
  IEResampleBitmap(FIEBitmap, Dest, Filter, ProgressHandler(), this);
  NotifyFinishWork();
  return true;
}

void TFolioProc::Resample(int32_t NewWidth, int32_t NewHeight, TResampleFilter Filter) {
  if (!EnsurePixelFormat(0) || FIEBitmap->IsEmpty()) return;
  int32_t w, h;
  if (!ResolveSize(NewWidth, NewHeight, FIEBitmap->GetWidth(), FIEBitmap->GetHeight(), w, h)) return;
  // The resolved size decides: a proportional side that comes out as the
  // current one changes nothing and saves nothing.
  if (w == FIEBitmap->GetWidth() && h == FIEBitmap->GetHeight()) return;
  char Caption[64];
  std::snprintf(Caption, sizeof Caption, "Resample %d, %d", NewWidth, NewHeight);
  if (FAutoUndo) PushUndoWithCaption(Caption, ieuImage);
  TIEBitmap Scaled;
  if (ResampleTo(&Scaled, NewWidth, NewHeight, Filter)) FIEBitmap->Assign(&Scaled);
  Refresh();
}

void TFolioProc::ImageResize(int32_t NewWidth, int32_t NewHeight, uint8_t HorizAlign, uint8_t VertAlign,
                             int32_t Alpha) {
  if (!EnsurePixelFormat(0) || !SizeAllowed(NewWidth, NewHeight)) return;
  if (NewWidth == FIEBitmap->GetWidth() && NewHeight == FIEBitmap->GetHeight()) return;
  if (FAutoUndo)
    PushUndoWithCaption("ImageResize " + std::to_string(NewWidth) + "," + std::to_string(NewHeight),
                        ieuImage);
  const double Fill = IEFillValueOf(FIEBitmap, GetBackground());
  // A 1 x 1 (or empty) image has nothing worth keeping: it starts from the
  // background.
  if (FIEBitmap->GetWidth() < 2 && FIEBitmap->GetHeight() < 2 && !FIEBitmap->IsEmpty()) FIEBitmap->Fill(Fill);
  Alpha = Alpha < 0 ? 0 : (Alpha > 255 ? 255 : Alpha);
  if (Alpha < 255) FIEBitmap->GetAlphaChannel();
  FIEBitmap->Resize(NewWidth, NewHeight, Fill, Alpha, HorizAlign, VertAlign);
  Refresh();
  NotifyFinishWork();
}
