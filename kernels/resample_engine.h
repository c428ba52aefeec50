#pragma once
// The filtered resampler: a two-pass separable convolution with integer
// weights (scaled by 256) computed once per destination column and row.  The
// horizontal pass scales every source row to the destination width into an
// intermediate plane; the vertical pass scales its columns to the destination
// height.  _ResampleEx splits the horizontal pass into bands of rows computed
// by worker threads (one per core; one when the source lives in a temporary
// file); every band writes only its own rows, so the result does not depend on
// the number of workers.  Workers never call the progress handler: they
// publish their progress and the calling thread reports it while it waits.
//
// rfFastLinear, rfBilinear, rfBicubic, rfProjectBW and rfProjectWB are not
// convolutions: they go to the kernels of resample_fast.h and resample_area.h.
#include <cstdint>

#include "foundations/progress.h"
#include "foundations/render_types.h"

class TIEBitmap;
class TObject;

// Weight function and radius of a convolution filter (rfTriangle .. rfLinear);
// a radius of 0 for the others.
double IEResampleFilterWeight(TResampleFilter Filter, double X);
double IEResampleFilterRadius(TResampleFilter Filter);

// Colour and gray images into Dst, which already has the target size.  ie8g
// goes to IEResample8Bit; ie8g, ie24RGB, ie16g and ieRGB48 keep their format
// for rfBilinear/rfBicubic; every other source is converted to ie24RGB and Dst
// set to ie24RGB.  ThreadCount 0 takes one worker per core.  rfNone is read as
// rfTriangle.
void _ResampleEx(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter, const TIEProgressEvent& OnProgress = nullptr,
                 TObject* Sender = nullptr, int32_t ThreadCount = 0);
// One 8-bit plane (ie8g, alpha planes) into Dst's size; no progress, caller's
// thread.
void IEResample8Bit(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter);
// ie1g into an ie24RGB gray Dst (or ie1g for the projections).
void _Resample1BitEx(TIEBitmap* Src, TIEBitmap* Dst, TResampleFilter Filter);

// Resamples Source into Dest's current size: equal sizes copy; rfNone
// stretches without filtering (keeping the format); a 1-bit source becomes
// ie1g for the projections and ie24RGB gray otherwise; ie8g stays ie8g; other
// sources go through _ResampleEx.  An alpha plane is resampled too.
void IEResampleBitmap(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter,
                      const TIEProgressEvent& OnProgress = nullptr, TObject* Sender = nullptr);
