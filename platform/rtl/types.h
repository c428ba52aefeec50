#pragma once
// Plain geometry records: points, rectangles and sizes with the window
// system's rules (a rectangle covers Left..Right-1 and Top..Bottom-1).
#include <cstdint>

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TSmallPoint {
  int16_t x = 0;
  int16_t y = 0;
  friend bool operator==(const TSmallPoint&, const TSmallPoint&) = default;
};

struct TSize {
  int32_t cx = 0;
  int32_t cy = 0;
  friend bool operator==(const TSize&, const TSize&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  int32_t Width() const { return Right - Left; }
  int32_t Height() const { return Bottom - Top; }
  TPoint TopLeft() const { return TPoint{Left, Top}; }
  TPoint BottomRight() const { return TPoint{Right, Bottom}; }
  friend bool operator==(const TRect&, const TRect&) = default;
};

using PPoint = TPoint*;
using PRect = TRect*;

inline TPoint Point(int32_t X, int32_t Y) { return TPoint{X, Y}; }
inline TSmallPoint SmallPoint(int16_t X, int16_t Y) { return TSmallPoint{X, Y}; }
inline TRect Rect(int32_t Left, int32_t Top, int32_t Right, int32_t Bottom) {
  return TRect{Left, Top, Right, Bottom};
}
inline TRect Rect(const TPoint& TopLeft, const TPoint& BottomRight) {
  return TRect{TopLeft.X, TopLeft.Y, BottomRight.X, BottomRight.Y};
}
// A rectangle from its corner and its size.
inline TRect Bounds(int32_t Left, int32_t Top, int32_t Width, int32_t Height) {
  return TRect{Left, Top, Left + Width, Top + Height};
}

// True when the rectangle covers no pixel (Right <= Left or Bottom <= Top).
bool IsRectEmpty(const TRect& R);
// Right and bottom edges are outside the rectangle.
bool PtInRect(const TRect& R, const TPoint& P);
// Dst = the common part of A and B; an empty intersection gives (0,0,0,0)
// and False.
bool IntersectRect(TRect& Dst, const TRect& A, const TRect& B);
// Dst = the smallest rectangle holding A and B (empty ones are ignored);
// False when the result is empty.
bool UnionRect(TRect& Dst, const TRect& A, const TRect& B);
bool OffsetRect(TRect& R, int32_t DX, int32_t DY);
bool InflateRect(TRect& R, int32_t DX, int32_t DY);
bool EqualRect(const TRect& A, const TRect& B);
bool SetRect(TRect& R, int32_t Left, int32_t Top, int32_t Right, int32_t Bottom);
bool SetRectEmpty(TRect& R);
TPoint CenterPoint(const TRect& R);
