// Installs the resamplers of this layer into the render paths of the image
// buffer at start-up, so page drawing averages 1-bit pages into gray and
// stretches 24-bit images bilinearly instead of using the buffer's own
// nearest-neighbour stand-in.  The convolution filters, the 1-bit resample
// with a filter and the 8-bit plane resample keep the stand-in until their
// resamplers are installed.
#include <algorithm>
#include <cstdint>

#include "foundations/bitmap_render.h"
#include "foundations/image_buffer.h"
#include "kernels/resample.h"

namespace {

// The filters that cannot be had from a bilinear stretch.
bool NearestOnly(TResampleFilter Filter) { return Filter == rfNone || Filter == rfNearest; }

void ResampleEx(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (!NearestOnly(Filter) && Source->GetPixelFormat() == ie24RGB && Dest->GetPixelFormat() == ie24RGB)
    IEStretchLinear24(Source, Dest);
  else
    IERenderStretchNearest(Source, Dest);
}

// Box average of the inclusive rectangle (X1, Y1)-(X2, Y2) of a 1-bit Source
// into the 24-bit Dest; the rectangle is kept inside the source, and only a
// part of the page is copied out first.
void Resample1BitBoxGray(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest || Source->IsEmpty() || Dest->IsEmpty()) return;
  X1 = std::max(X1, 0);
  Y1 = std::max(Y1, 0);
  X2 = std::min(X2, Source->GetWidth() - 1);
  Y2 = std::min(Y2, Source->GetHeight() - 1);
  if (X2 < X1 || Y2 < Y1) return;
  const int32_t W = X2 - X1 + 1, H = Y2 - Y1 + 1;
  const bool Whole = X1 == 0 && Y1 == 0 && W == Source->GetWidth() && H == Source->GetHeight();
  TIEBitmap Part;
  TIEBitmap* From = Source;
  if (!Whole) {
    Part.SetLocation(ieMemory);
    if (!Part.Allocate(W, H, ie1g)) return;
    Source->CopyRectTo(&Part, X1, Y1, 0, 0, W, H);
    From = &Part;
  }
  if (From->GetPixelFormat() == ie1g && Dest->GetPixelFormat() == ie24RGB)
    IEResample1BitBoxGray(From, Dest);
  else
    IERenderStretchNearest(From, Dest);
}

void BmpStretch(TIEBitmap* Source, TIEBitmap* Dest) {
  if (Source == nullptr || Dest == nullptr || Source == Dest) return;
  if (Source->GetPixelFormat() == Dest->GetPixelFormat())
    IEStretchNearest(Source, Dest);
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
