#pragma once
// Cheap resampling kernels that are not convolutions: the separable fast
// linear resampler (17-bit fixed point: linear interpolation on an enlarged
// axis, a box average on a reduced one), the projections that keep a 1-bit
// page's thin strokes through strong reductions (a destination pixel turns
// black, or white, as soon as one source pixel of its box is), and the
// reduction of a 1-bit rectangle into shades of gray used by thumbnails and
// the views' scaled painting of black-and-white pages.
//
// In every kernel Dst is allocated by the caller with the target size; the
// projections reallocate it as ie1g at that size when it has another format.
// Everything runs in the caller's thread.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// ie24RGB into ie24RGB.  Progress: Trunc(100 / (srcH + dstH + 0.5) x row) after
// every source row of the horizontal pass and every destination row of the
// vertical one.  Equal sizes copy the source.
void IEFastLinearResample24(TIEBitmap* Src, TIEBitmap* Dst, const TIEProgressEvent& OnProgress = nullptr,
                            TObject* Sender = nullptr);
// The same on one 8-bit plane (ie8g, alpha planes), without progress.
void IEFastLinearResample8(TIEBitmap* Src, TIEBitmap* Dst);
// ie1g into an ie24RGB gray destination.  An enlarged axis interpolates, a
// reduced one averages its box, so thin strokes along a reduced axis survive
// as gray; both axes reduced go to IEResample1BitBoxGray.  Equal sizes leave
// a 1-bit copy in Dst.
void IEFastLinearResample1To24(TIEBitmap* Src, TIEBitmap* Dst);
// ie1g into ie1g: with WhiteOnBlack false a destination pixel is black when
// any source pixel of its box is black; with true, white when any is white.
// Each destination pixel's box is its own source span (at least one pixel), so
// the last columns and rows are examined too.
void IEProjectResample1Bit(TIEBitmap* Src, TIEBitmap* Dst, bool WhiteOnBlack);
// ie24RGB into ie1g by the same rule; a pixel is black when red, green and blue
// are all below 128 and white when all are above 128 (128 itself is neither).
void IEProjectResample24To1Bit(TIEBitmap* Src, TIEBitmap* Dst, bool WhiteOnBlack,
                               const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
// Averages the inclusive ie1g rectangle (X1, Y1)-(X2, Y2) into the whole of the
// ie24RGB Dst (a set bit counts 255), written as gray pixels.  The rectangle is
// clipped to the source.
void IEResample1BitBoxGray(TIEBitmap* Src, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, TIEBitmap* Dst);
