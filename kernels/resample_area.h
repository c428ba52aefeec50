#pragma once
// Area-sampling bilinear and bicubic resampler (rfBilinear, rfBicubic).
//
// One pass over the source integrates it over every destination pixel's area:
// the plane is cut at every source and every destination pixel boundary, each
// piece adds its area times a value sampled in the source pixel it lies in,
// and each destination pixel is the area-weighted mean of its pieces.  Along a
// reduced axis the sample is the source pixel itself (a box average); along an
// enlarged one it is interpolated, bilinearly or by cubic convolution, at the
// piece's far corner.  Weights are computed once per destination column and
// row; each band of destination rows streams the source once, keeping the
// horizontally filtered rows it still needs.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;
class TObject;

// ie8g and ie24RGB (channels independent); Dst allocated by the caller in the
// source's format at the target size.  Other formats return at once.
// Destination rows are computed in bands on worker threads (ThreadCount 0:
// one per core; 1 when a bitmap lives in a temporary file); the result does
// not depend on the count, and progress reaches OnProgress only from the
// calling thread.
void IEAreaResample8(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress = nullptr,
                     TObject* Sender = nullptr, int32_t ThreadCount = 0);
// ie16g and ieRGB48, the same way.
void IEAreaResample16(TIEBitmap* Src, TIEBitmap* Dst, bool Bicubic, const TIEProgressEvent& OnProgress = nullptr,
                      TObject* Sender = nullptr, int32_t ThreadCount = 0);
// Cubic convolution (a = -1) of four consecutive samples at T (0 .. 1, from P0
// toward P1), limited to Low .. High.
double IECubicSample(int32_t Pm1, int32_t P0, int32_t P1, int32_t P2, double T, double Low, double High);
