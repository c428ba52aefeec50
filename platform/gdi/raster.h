#pragma once
// Scan conversion shared by the canvas and the regions, so that a region
// built from a figure covers exactly the pixels the canvas fills for it.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/rtl/types.h"

namespace gdiraster {

// Pixels X0..X1 (inclusive) of row Y.
struct Span {
  int32_t Y;
  int32_t X0;
  int32_t X1;
};

// Per-row extent of the rounded rectangle in (L,T)-(R,B) (R and B outside)
// with corner ellipses CW x CH (0 for a plain rectangle, the box size for an
// ellipse), for rows YFrom..YTo (inclusive) only. Left[i]/Right[i] describe
// row YFrom + i; a row with Left > Right is empty.
void ShapeRows(int32_t L, int32_t T, int32_t R, int32_t B, int32_t CW, int32_t CH, int32_t YFrom,
               int32_t YTo, std::vector<int32_t>& Left, std::vector<int32_t>& Right);

// Fill spans of a polygon (a pixel is inside when its corner point (x, y)
// is, with left and top edges inside), rows YFrom..YTo only. FillMode 1
// alternate, 2 winding.
void PolygonSpans(const TPoint* Points, int32_t Count, int32_t FillMode, int32_t YFrom,
                  int32_t YTo, std::vector<Span>& Out);

// Calls Plot for the pixels of the line from (X0,Y0) towards (X1,Y1), the
// last pixel left out unless IncludeLast, limited to the box
// (VL,VT)-(VR,VB) inclusive. Step is the pixel's index along the line.
void LinePixels(int32_t X0, int32_t Y0, int32_t X1, int32_t Y1, bool IncludeLast, int32_t VL,
                int32_t VT, int32_t VR, int32_t VB,
                const std::function<void(int32_t X, int32_t Y, int64_t Step)>& Plot);

}  // namespace gdiraster
