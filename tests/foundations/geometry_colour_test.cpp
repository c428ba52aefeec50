// Geometry and single-pixel colour helpers: distances, inside tests, angles,
// curves and the CIE L*a*b* / YCbCr conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

#include "foundations/geometry_colour.h"
#include "foundations/pixel_utils.h"

namespace {

constexpr double kPi = std::numbers::pi;

TEST(GeometryDistance, SegmentEndsMiddleAndFarPoints) {
  struct Case {
    int X, Y, X1, Y1, X2, Y2;
    double Expected;
  } cases[] = {
      {0, 0, 10, 0, 20, 0, 10.0},           // before the first end
      {25, 0, 10, 0, 20, 0, 5.0},           // beyond the second end
      {0, 0, 0, 5, 0, -5, 0.0},             // on the segment
      {15, 4, 10, 0, 20, 0, 4.0},           // above the middle
      {3, 4, 0, 0, 0, 0, 5.0},              // degenerate segment: a point
      {100000, 0, 0, 0, 10, 0, IEFarDistance},   // far beyond an end
      {-50000, 3, 0, 0, 10, 0, IEFarDistance},   // far before the start
      {45010, 0, 0, 0, 10, 0, 45000.0},          // just inside the limit
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(IEDistancePointToSegment(c.X, c.Y, c.X1, c.Y1, c.X2, c.Y2), c.Expected)
        << c.X << "," << c.Y;
  EXPECT_DOUBLE_EQ(IEDistancePointToLine(0, 5, -3, 0, 100, 0), 5.0);
  EXPECT_NEAR(IEDistancePointToLine(0, 1, 0, 0, 1, 1), std::sqrt(0.5), 1e-12);
  // No line through two equal points: far, never a division by zero.
  EXPECT_EQ(IEDistancePointToLine(1, 1, 4, 4, 4, 4), IEFarDistance);
  EXPECT_DOUBLE_EQ(IEDistance(0, 0, 3, 4), 5.0);
}

TEST(GeometryDistance, PolylineMapsPointsAndClosesWhenAsked) {
  const TPoint pts[] = {{0, 0}, {10, 0}, {10, 10}};
  // Identity mapping: open polyline misses the closing edge (10,10)-(0,0).
  EXPECT_DOUBLE_EQ(IEDistancePointToPolyline(2, 8, pts, 3, 0, 0, 0, 0, 1, 1, 1, false), 8.0);
  EXPECT_NEAR(IEDistancePointToPolyline(2, 8, pts, 3, 0, 0, 0, 0, 1, 1, 1, true),
              std::sqrt(18.0), 1e-12);
  // Zoom 2 with an offset: (0,0)-(10,0) becomes (100,50)-(120,50).
  EXPECT_DOUBLE_EQ(IEDistancePointToPolyline(110, 53, pts, 2, 0, 0, 100, 50, 2, 2, 1, false), 3.0);
  // Mapping rounds halves to even: 0.5 * 5 = 2.5 -> 2, so the segment lies on x = 2.
  const TPoint vert[] = {{5, 0}, {5, 10}};
  EXPECT_DOUBLE_EQ(IEDistancePointToPolyline(0, 5, vert, 2, 0, 0, 0, 0, 0.5, 1, 1, false), 2.0);
  // A thick pen only brings the stroke nearer (shifts down by 2 .. width/2).
  EXPECT_DOUBLE_EQ(IEDistancePointToPolyline(5, 4, pts, 2, 0, 0, 0, 0, 1, 1, 8, false), 0.0);
  EXPECT_EQ(IEDistancePointToPolyline(5, 4, pts, 0, 0, 0, 0, 0, 1, 1, 1, false), IEFarDistance);
}

TEST(GeometryDistance, RectEdgesAndEllipse) {
  EXPECT_DOUBLE_EQ(IEDistanceToRectEdges(5, 5, 0, 0, 10, 10, false, 1), 5.0);
  EXPECT_DOUBLE_EQ(IEDistanceToRectEdges(5, 5, 0, 0, 10, 10, true, 1), 0.0);
  EXPECT_DOUBLE_EQ(IEDistanceToRectEdges(15, 5, 0, 0, 10, 10, true, 1), 5.0);
  // Pen width 5: the rectangle is also tried moved by -2 .. 2 on both axes.
  EXPECT_DOUBLE_EQ(IEDistanceToRectEdges(15, 5, 0, 0, 10, 10, false, 5), 3.0);

  // Outline of the ellipse in (0,0)-(100,100): centre (50,50), radius 50.
  EXPECT_LT(IEDistanceToEllipse(100, 50, 0, 0, 100, 100, false, 1), 1.5);
  EXPECT_NEAR(IEDistanceToEllipse(50, 50, 0, 0, 100, 100, false, 1), 50.0, 1.5);
  // Filled: the centre is on every spoke.
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(50, 50, 0, 0, 100, 100, true, 1), 0.0);
  EXPECT_GT(IEDistanceToEllipse(200, 50, 0, 0, 100, 100, true, 1), 99.0);
  // A 2 x 2 box is still sampled: (rx, 0) and one more outline point.
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(1, 1, 0, 0, 2, 2, false, 1), 0.0);
  EXPECT_DOUBLE_EQ(IEDistanceToEllipse(1, 5, 0, 0, 2, 2, false, 1), 4.0);
}

TEST(GeometryInside, EvenOddRuleWithLeftEdgeInside) {
  const TPoint square[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  struct Case {
    int X, Y;
    bool Inside;
  } cases[] = {{5, 5, true},  {0, 5, true},  {10, 5, false}, {5, 0, true},
               {5, 10, false}, {-1, 5, false}, {11, 5, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(IEPointInPolygon(c.X, c.Y, square, 4), c.Inside) << c.X << "," << c.Y;
    EXPECT_EQ(IEPointInZoomedPolygon(c.X, c.Y, square, 4, 0, 0, 0, 0, 1, 1), c.Inside);
  }
  // Self-crossing star: the centre of a pentagram is outside by even-odd.
  const TPoint star[] = {{50, 0}, {79, 90}, {2, 35}, {98, 35}, {21, 90}};
  EXPECT_FALSE(IEPointInPolygon(50, 50, star, 5));
  EXPECT_TRUE(IEPointInPolygon(50, 20, star, 5));
  // Zoomed: the square maps to (100,100)-(120,120) without rounding.
  EXPECT_TRUE(IEPointInZoomedPolygon(119, 119, square, 4, 0, 0, 100, 100, 2, 2));
  EXPECT_FALSE(IEPointInZoomedPolygon(121, 110, square, 4, 0, 0, 100, 100, 2, 2));
  EXPECT_TRUE(IEPointInZoomedPolygon(1, 1, square, 4, 0, 0, 0, 0, 0.15, 0.15));
  EXPECT_FALSE(IEPointInZoomedPolygon(2, 1, square, 4, 0, 0, 0, 0, 0.15, 0.15));
  EXPECT_FALSE(IEPointInPolygon(0, 0, square, 0));
}

TEST(GeometryTransform, RotateBezierExtend) {
  TPoint p[] = {{10, 0}, {0, 10}, {-7, -3}};
  IERotatePoints(p, 3, 0, 0, 90);  // clockwise on the screen
  EXPECT_EQ(p[0], (TPoint{0, -10}));
  EXPECT_EQ(p[1], (TPoint{10, 0}));
  EXPECT_EQ(p[2], (TPoint{-3, 7}));
  TPoint q[] = {{13, 5}};
  IERotatePoints(q, 1, 10, 5, 30);  // (3,0) about (10,5): cos 30 * 3 = 2.598 -> 2
  EXPECT_EQ(q[0], (TPoint{12, 4}));  // y: sin(-30) * 3 = -1.5 -> -1

  TPoint b[4];
  IEBezierPoints({0, 0}, {0, 0}, {10, 10}, {10, 10}, 4, b);
  // t = 1/4: 10 * (3 t^2 u + t^3) = 1.5625 -> 2; t = 1/2: 5; t = 3/4: 8.4375 -> 8.
  EXPECT_EQ(b[0], (TPoint{2, 2}));
  EXPECT_EQ(b[1], (TPoint{5, 5}));
  EXPECT_EQ(b[2], (TPoint{8, 8}));
  EXPECT_EQ(b[3], (TPoint{10, 10}));
  // Halves go to the even neighbour: a straight line 0..5 at t = 1/2 is 2.5 -> 2.
  TPoint h[2];
  IEBezierPoints({0, 0}, {0, 0}, {5, 0}, {5, 0}, 2, h);
  EXPECT_EQ(h[0].X, 2);

  TRect r{5, 5, 6, 6};
  EXPECT_EQ(IEExtendRect(r, 2, 9), (TRect{2, 5, 6, 9}));
  EXPECT_EQ(IEExtendRect(r, 4, 6), (TRect{2, 5, 6, 9}));
}

TEST(GeometryAngle, LineVectorVertexAndTurn) {
  EXPECT_EQ(IELineAngle(0, 0, 5, 0), 0.0);
  EXPECT_EQ(IELineAngle(0, 0, 0, -5), kPi / 2);
  EXPECT_EQ(IELineAngle(0, 0, -5, 0), kPi);
  EXPECT_EQ(IELineAngle(0, 0, 0, 5), 3 * kPi / 2);
  EXPECT_NEAR(IELineAngle(0, 0, 5, -5), kPi / 4, 1e-12);
  EXPECT_NEAR(IELineAngle(0, 0, -5, -5), 3 * kPi / 4, 1e-12);
  EXPECT_NEAR(IELineAngle(0, 0, -5, 5), 5 * kPi / 4, 1e-12);
  EXPECT_NEAR(IELineAngle(0, 0, 5, 5), 7 * kPi / 4, 1e-12);

  EXPECT_NEAR(IEVectorAngle(0, 0, 10, 0, 10, 10), kPi / 2, 1e-12);
  EXPECT_EQ(IEVectorAngle(0, 0, 0, 0, 10, 10), 0.0);
  // Straight on gives 0, straight back gives pi (even where rounding pushes
  // the cosine past -1).
  EXPECT_NEAR(IEVectorAngle(0, 0, 3, 7, 6, 14), 0.0, 1e-7);
  EXPECT_NEAR(IEVectorAngle(0, 0, 3, 7, 0, 0), kPi, 1e-7);
  EXPECT_NEAR(IEVectorAngle(0, 0, 17, 29, -34, -58), kPi, 1e-7);

  struct Turn {
    int X1, Y1, X2, Y2, X3, Y3, Expected;
  } turns[] = {
      {0, 0, 10, 0, 10, 10, 1},   {0, 0, 10, 0, 10, -10, -1}, {0, 0, 10, 0, -5, 0, -1},
      {0, 0, 10, 0, 20, 0, 1},    {0, 0, 10, 0, 5, 0, 0},     {0, 0, 10, 0, 10, 0, 0},
  };
  for (const Turn& t : turns)
    EXPECT_EQ(IETurnDirection(t.X1, t.Y1, t.X2, t.Y2, t.X3, t.Y3), t.Expected)
        << t.X3 << "," << t.Y3;

  EXPECT_NEAR(IEVertexAngle(0, 0, 10, 0, 10, 10), kPi / 2, 1e-12);
  EXPECT_NEAR(IEVertexAngle(0, 0, 10, 0, 10, -10), 3 * kPi / 2, 1e-12);
  EXPECT_NEAR(IEVertexAngle(0, 0, 10, 0, 20, 0), kPi, 1e-7);
  // A zero-length side counts as 1 and never yields NaN.
  EXPECT_FALSE(std::isnan(IEVertexAngle(5, 5, 5, 5, 9, 9)));
}

// Coordinates anywhere in the 32-bit range give sane answers (the sanitizer
// build checks that nothing overflows on the way).
TEST(GeometryExtremes, FullIntegerRange) {
  const int32_t lo = INT32_MIN, hi = INT32_MAX;
  EXPECT_NEAR(IEDistancePointToSegment(lo, lo, hi, hi, hi, lo), 4294967295.0, 1.0);
  EXPECT_NEAR(IEDistancePointToSegment(0, 5, lo, 0, hi, 0), 5.0, 1e-6);
  EXPECT_EQ(IETurnDirection(lo, lo, hi, hi, lo, hi), 1);
  EXPECT_EQ(IETurnDirection(lo, 0, 0, 0, hi, 0), 1);
  const TPoint huge[] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
  EXPECT_TRUE(IEPointInPolygon(0, 0, huge, 4));
  EXPECT_LT(IEDistancePointToPolyline(0, lo, huge, 4, 0, 0, 0, 0, 1, 1, 9, true), 1.0);
  EXPECT_GE(IEDistanceToRectEdges(0, 0, lo, lo, hi, hi, false, 9), 0.0);
  EXPECT_GE(IEDistanceToEllipse(0, 0, lo, lo, hi, hi, false, 3), 0.0);
  TPoint p[] = {{hi, hi}};
  IERotatePoints(p, 1, lo, lo, 45);
  EXPECT_EQ(p[0].X, hi);  // pinned: the exact result lies beyond the range
  EXPECT_EQ(p[0].Y, lo);
  EXPECT_FALSE(std::isnan(IEVertexAngle(lo, lo, hi, hi, lo, hi)));
}

TEST(GeometryFont, LogFontStyles) {
  EXPECT_EQ(IELogFontToFontStyles(nullptr), 0);
  LOGFONT lf;
  lf.lfWeight = 699;
  lf.lfUnderline = 1;
  EXPECT_EQ(IELogFontToFontStyles(&lf), FontStyleBit(fsUnderline));
  lf.lfWeight = 700;
  lf.lfItalic = 1;
  lf.lfStrikeOut = 1;
  EXPECT_EQ(IELogFontToFontStyles(&lf), FontStyleBit(fsBold) | FontStyleBit(fsItalic) |
                                            FontStyleBit(fsUnderline) | FontStyleBit(fsStrikeOut));
}

TEST(ColourConversion, CIELabAgainstReferenceValues) {
  // Reference values computed independently in double precision from the
  // sRGB/D65 formulas (L* scaled by 2.55, a* and b* as signed bytes).
  struct Case {
    uint8_t R, G, B;
    int L, A, Bs;
    uint8_t BackR, BackG, BackB;
  } cases[] = {
      {255, 0, 0, 135, 80, 67, 254, 0, 0},       {0, 255, 0, 223, -86, 83, 0, 254, 0},
      {0, 0, 255, 82, 79, -107, 14, 0, 253},     {0, 0, 0, 0, 0, 0, 0, 0, 0},
      {128, 128, 128, 136, 0, 0, 127, 127, 127}, {10, 20, 30, 15, 0, -8, 12, 20, 30},
      {200, 150, 50, 166, 9, 57, 199, 150, 50},  {3, 3, 3, 2, 0, 0, 3, 3, 3},
      {255, 255, 0, 247, -21, 94, 255, 254, 4},
  };
  for (const Case& c : cases) {
    TCIELab lab;
    IERGBToCIELab(lab, (uint32_t(c.R) << 16) | (uint32_t(c.G) << 8) | c.B);
    EXPECT_EQ(lab.l, c.L) << int(c.R) << " " << int(c.G) << " " << int(c.B);
    EXPECT_EQ(lab.a, c.A) << int(c.R) << " " << int(c.G) << " " << int(c.B);
    EXPECT_EQ(lab.b, c.Bs) << int(c.R) << " " << int(c.G) << " " << int(c.B);
    const TRGB back = IECIELabToRGB(lab);
    EXPECT_EQ(back.r, c.BackR);
    EXPECT_EQ(back.g, c.BackG);
    EXPECT_EQ(back.b, c.BackB);
  }
  // The packed Lab form: lightness low byte, a* and b* as two's complement.
  TCIELab lab = IERGBToCIELab(IECreateRGB(0, 0, 255));
  EXPECT_EQ(IEPackCIELab(lab), 82u | (79u << 8) | (uint32_t(uint8_t(-107)) << 16));
}

TEST(ColourConversion, YCbCrTruncatesAndClamps) {
  struct Case {
    int Y, Cb, Cr;
    uint8_t R, G, B;
  } cases[] = {
      {128, 128, 128, 128, 128, 128},
      {255, 128, 255, 255, 164, 255},   // red saturates
      {0, 128, 0, 0, 91, 0},            // red below 0 clamps to 0
      {100, 150, 90, 46, 119, 138},     // 100 + 1.402 * -38 = 46.72 -> 46
      {0, 0, 0, 0, 135, 0},
  };
  for (const Case& c : cases) {
    TRGB p;
    IEYCbCrToRGB(p, c.Y, c.Cb, c.Cr);
    EXPECT_EQ(p.r, c.R) << c.Y << " " << c.Cb << " " << c.Cr;
    EXPECT_EQ(p.g, c.G) << c.Y << " " << c.Cb << " " << c.Cr;
    EXPECT_EQ(p.b, c.B) << c.Y << " " << c.Cb << " " << c.Cr;
  }
}

}  // namespace
