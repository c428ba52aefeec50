#pragma once
// Regions: sets of pixels built from rectangles, ellipses, rounded
// rectangles and polygons, combined with set operations and selected into a
// canvas as its clip. A region is a value; copying it copies the pixel set.
// Ellipses and polygons cover exactly the pixels the canvas fills for the same
// figure (a rectangle (0,0)-(4,4) covers columns and rows 0..3).
#include <QRegion>
#include <cstdint>
#include <vector>

#include "platform/rtl/types.h"

#include "platform/gdi/canvas.h"

// CombineRgn modes.
constexpr int32_t RGN_AND = 1;
constexpr int32_t RGN_OR = 2;
constexpr int32_t RGN_XOR = 3;
constexpr int32_t RGN_DIFF = 4;
constexpr int32_t RGN_COPY = 5;

// Region kinds answered by the region calls.
constexpr int32_t RGN_ERROR = 0;
constexpr int32_t NULLREGION = 1;
constexpr int32_t SIMPLEREGION = 2;
constexpr int32_t COMPLEXREGION = 3;

class TRegion {
 public:
  TRegion() = default;
  explicit TRegion(const QRegion& R) : FRegion(R) {}
  const QRegion& GetQRegion() const { return FRegion; }
  void SetQRegion(const QRegion& R) { FRegion = R; }
  // NULLREGION, SIMPLEREGION or COMPLEXREGION.
  int32_t Kind() const;
  bool IsEmpty() const { return FRegion.isEmpty(); }
  friend bool operator==(const TRegion& A, const TRegion& B) { return A.FRegion == B.FRegion; }

 private:
  QRegion FRegion;
};

TRegion CreateRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
TRegion CreateRectRgnIndirect(const TRect& R);
TRegion CreateEllipticRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
TRegion CreateEllipticRgnIndirect(const TRect& R);
TRegion CreateRoundRectRgn(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom,
                           int32_t CornerWidth, int32_t CornerHeight);
// FillMode ALTERNATE or WINDING; fewer than 3 points give an empty region.
TRegion CreatePolygonRgn(const TPoint* Points, int32_t Count, int32_t FillMode);
TRegion CreatePolygonRgn(const std::vector<TPoint>& Points, int32_t FillMode);
// The union of a list of rectangles (empty ones are skipped).
TRegion ExtCreateRegion(const std::vector<TRect>& Rects);

// Dest = Src1 op Src2 (RGN_COPY takes Src1). Answers the kind of the result,
// RGN_ERROR for an unknown mode (Dest unchanged).
int32_t CombineRgn(TRegion& Dest, const TRegion& Src1, const TRegion& Src2, int32_t Mode);
bool PtInRegion(const TRegion& Rgn, int32_t X, int32_t Y);
bool RectInRegion(const TRegion& Rgn, const TRect& R);
// The bounding box; answers the kind.
int32_t GetRgnBox(const TRegion& Rgn, TRect& Box);
int32_t OffsetRgn(TRegion& Rgn, int32_t DX, int32_t DY);
bool EqualRgn(const TRegion& A, const TRegion& B);
// The region's rectangles, top to bottom, left to right.
std::vector<TRect> GetRegionRects(const TRegion& Rgn);

// Selects a copy of Rgn (in device coordinates) as the canvas's clip; nullptr
// removes the clip. Answers the kind of the new clip.
int32_t SelectClipRgn(TCanvas* DC, const TRegion* Rgn);
// The canvas's clip region: 1 with Rgn filled, 0 when it has none.
int32_t GetClipRgn(TCanvas* DC, TRegion& Rgn);
// Narrows the clip to the rectangle (logical coordinates); answers the kind.
int32_t IntersectClipRect(TCanvas* DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
int32_t ExcludeClipRect(TCanvas* DC, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
