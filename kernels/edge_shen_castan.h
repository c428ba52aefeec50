#pragma once
// Shen-Castan edge detection: the page is smoothed by a recursive infinite
// symmetric exponential filter (ISEF), the sign of smoothed minus original
// gives a band-limited Laplacian, its zero crossings with the right slope are
// edge candidates, each candidate gets an adaptive gradient over a small
// window, and candidates survive by hysteresis with thresholds estimated from
// the gradient histogram.  The result is a 1-bit map: black on edges, white
// elsewhere.  Caller's thread; the working planes of pictures up to about a
// million pixels (with the padding) stay with the thread for its next call,
// so measuring page after page does not fault fresh memory in each time.
#include <cstdint>

#include "foundations/progress.h"

class TIEBitmap;

// Pixels this close to a side of the padded plane take no part.
inline constexpr int32_t IEShenCastanBorder = 25;

// Src is read as ie24RGB (other formats leave Dst untouched); Dst is
// (re)allocated as ie1g of Src's size and may be Src itself.  WindowSize is
// the side of the gradient window (at least 1), Ratio the share of the padded
// plane's pixels kept below the high threshold, Smoothing the ISEF factor
// (0 < b < 1).  With ThinFactor > 0 every ThinFactor-th pixel of a chain is
// kept.  Without Hysteresis both thresholds are the high one.  The progress
// method, when set, hears Trunc(stage x 100 / 6) after each of six stages.
// Answers false when nothing was written (wrong format, bad arguments, memory).
bool IEShenCastanEdges(TIEBitmap* Src, TIEBitmap* Dst, int32_t WindowSize, double Ratio, double Smoothing,
                       int32_t ThinFactor, bool Hysteresis, TIEProgressRec& Progress);
