// Installs the resamplers of this layer into the render paths of the image
// buffer at start-up, so page drawing goes through the filtered resampler,
// averages 1-bit pages into gray and stretches through the plain stretch
// instead of the buffer's own nearest-neighbour stand-in.
#include <cstdint>

#include "foundations/bitmap_render.h"
#include "foundations/image_buffer.h"
#include "kernels/dib_stretch.h"
#include "kernels/resample_engine.h"
#include "kernels/resample_fast.h"

namespace {

// The filters that cannot be had from a bilinear stretch.
bool NearestOnly(TResampleFilter Filter) { return Filter == rfNone || Filter == rfNearest; }

void ResampleEx(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (!NearestOnly(Filter) && Source->GetPixelFormat() == Dest->GetPixelFormat())
    IEResampleBitmap(Source, Dest, Filter);
  else
    IERenderStretchNearest(Source, Dest);
}

// Box average of the inclusive rectangle (X1, Y1)-(X2, Y2) of a 1-bit Source
// into the 24-bit Dest (the kernel keeps the rectangle inside the source).
void Resample1BitBoxGray(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->IsEmpty() || Dest->IsEmpty()) return;
  if (Source->GetPixelFormat() == ie1g && Dest->GetPixelFormat() == ie24RGB)
    IEResample1BitBoxGray(Source, X1, Y1, X2, Y2, Dest);
  else
    IERenderStretchNearest(Source, Dest);
}

void BmpStretch(TIEBitmap* Source, TIEBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetPixelFormat() == Dest->GetPixelFormat())
    _IEBmpStretchEx(Source, Dest);
  else
    IERenderStretchNearest(Source, Dest);
}

const bool Installed = [] {
  TIERenderResamplers Resamplers;
  Resamplers.ResampleEx = ResampleEx;
  Resamplers.Resample1BitBoxGray = Resample1BitBoxGray;
  Resamplers.BmpStretch = BmpStretch;
  IEInstallRenderResamplers(Resamplers);
  return true;
}();

}  // namespace
