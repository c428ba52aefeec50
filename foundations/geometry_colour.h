#pragma once
// Plane geometry on integer pixel coordinates (hit tests, distances, angles,
// curves) and the colour-space conversions of single pixels (CIE L*a*b*,
// YCbCr). Coordinates are in screen orientation: y grows downwards.
#include <cstdint>

#include "foundations/pixel_types.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/types.h"

// Answered when a distance cannot be computed safely.
inline constexpr double IEFarDistance = 1000000.0;
// Starting value of the searches for a smallest distance.
inline constexpr double IEMaxDistance = 2147483647.0;

// ---- distances ----
double IEDistance(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// Distance from (X, Y) to the infinite line through the two points; the far
// distance when the two points coincide (no line).
double IEDistancePointToLine(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
double IEDistancePointToSegment(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2,
                                int32_t Y2);
// Distance from (X, Y) to a polyline whose points are first mapped to screen
// coordinates ((p - Source) * Scale + Dest, rounded half to even). A thick
// pen widens the stroke; Closed adds the segment from the last point back to
// the first.
double IEDistancePointToPolyline(int32_t X, int32_t Y, const TPoint* Points, int32_t Count,
                                 int32_t SourceX, int32_t SourceY, int32_t DestX, int32_t DestY,
                                 double ScaleX, double ScaleY, int32_t PenWidth, bool Closed);
// Distance to the edges of the rectangle (X1, Y1)-(X2, Y2); with InsideCounts
// a point inside (edges included) is at distance 0.
double IEDistanceToRectEdges(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                             bool InsideCounts, int32_t PenWidth);
// Distance to the ellipse inscribed in the box (X1, Y1)-(X2, Y2), measured on
// a sampled outline; Filled measures to the spokes from the centre instead.
double IEDistanceToEllipse(int32_t X, int32_t Y, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                           bool Filled, int32_t PenWidth);

// ---- inside tests (even-odd rule) ----
bool IEPointInPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count);
bool IEPointInZoomedPolygon(int32_t X, int32_t Y, const TPoint* Points, int32_t Count,
                            int32_t SourceX, int32_t SourceY, int32_t DestX, int32_t DestY,
                            double ScaleX, double ScaleY);

// ---- transformations and curves ----
// Rotates the points in place about the centre; a positive angle (degrees)
// turns clockwise on the screen. Coordinates are truncated toward zero.
void IERotatePoints(TPoint* Points, int32_t Count, int32_t CenterX, int32_t CenterY, double Angle);
// N points of the cubic Bezier curve at t = 1/N .. 1 (the start point is not
// emitted), rounded half to even. Points must hold N entries; nothing for N < 1.
void IEBezierPoints(const TPoint& Start, const TPoint& Control1, const TPoint& Control2,
                    const TPoint& End, int32_t N, TPoint* Points);
// Grows Rect so that it holds (X, Y), edges included; answers it.
TRect IEExtendRect(TRect& Rect, int32_t X, int32_t Y);

// ---- angles (radians) ----
// Angle between the direction 1->2 and the direction 2->3, 0..pi; 0 when
// either vector has length 0.
double IEVectorAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// Direction of the line 1->2 in 0..2 pi, counter-clockwise as seen on the
// screen (right 0, up pi/2, left pi, down 3 pi/2); 0 for coincident points.
double IELineAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2);
// The turn from point 1 over point 2 to point 3: 1, -1 or 0.
int32_t IETurnDirection(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);
// The angle at point 2, 0..2 pi, measured on the side given by the turn.
double IEVertexAngle(int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t X3, int32_t Y3);

// ---- fonts ----
// Bold when lfWeight >= 700; italic, underline and strike-out from the flags;
// the empty set for null.
TFontStyles IELogFontToFontStyles(const LOGFONT* LogFont);

// ---- colour conversions ----
// sRGB (D65) to CIE L*a*b*. RGB is packed with red in bits 16..23, green in
// 8..15, blue in 0..7 (a 3-byte pixel read little-endian).
void IERGBToCIELab(TCIELab& Lab, uint32_t RGB);
TCIELab IERGBToCIELab(const TRGB& RGB);
// The inverse; Lab is packed with lightness in bits 0..7, a* in 8..15 and b*
// in 16..23 (a 3-byte Lab pixel read little-endian).
void IECIELabToRGB(TRGB& RGB, uint32_t Lab);
TRGB IECIELabToRGB(const TCIELab& Lab);
// JFIF YCbCr to RGB, each channel truncated toward zero and clamped.
void IEYCbCrToRGB(TRGB& RGB, int32_t Y, int32_t Cb, int32_t Cr);

// Packing helpers for the two packed forms above.
inline uint32_t IEPackRGB(const TRGB& P) {
  return uint32_t(P.b) | (uint32_t(P.g) << 8) | (uint32_t(P.r) << 16);
}
inline uint32_t IEPackCIELab(const TCIELab& P) {
  return uint32_t(uint8_t(P.l)) | (uint32_t(uint8_t(P.a)) << 8) | (uint32_t(uint8_t(P.b)) << 16);
}
