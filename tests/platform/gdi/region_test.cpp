// Regions: pixel coverage, combination and clipping.
#include <gtest/gtest.h>

#include "gdi_test_util.h"
#include "platform/gdi/region.h"

using namespace gditest;

TEST(Region, FiguresCoverTheCanvasPixels) {
  const TRegion r = CreateRectRgn(0, 0, 4, 4);
  EXPECT_TRUE(PtInRegion(r, 0, 0));
  EXPECT_TRUE(PtInRegion(r, 3, 3));
  EXPECT_FALSE(PtInRegion(r, 4, 3));
  EXPECT_FALSE(PtInRegion(r, 3, 4));
  EXPECT_EQ(r.Kind(), SIMPLEREGION);
  EXPECT_EQ(CreateRectRgn(5, 5, 5, 9).Kind(), NULLREGION);
  // An elliptic region holds exactly the pixels the canvas fills for the
  // same ellipse.
  auto b = MakeBitmap(pf32bit, 40, 30);
  b->GetCanvas()->GetBrush()->SetColor(clBlack);
  b->GetCanvas()->GetPen()->SetColor(clBlack);
  b->GetCanvas()->Ellipse(3, 2, 37, 25);
  const TRegion e = CreateEllipticRgn(3, 2, 37, 25);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(PtInRegion(e, x, y), b->GetPixelColor(x, y) == clBlack) << x << "," << y;
  TRect box;
  EXPECT_EQ(GetRgnBox(e, box), COMPLEXREGION);
  EXPECT_EQ(box, Rect(3, 2, 37, 25));
}

TEST(Region, CombineModes) {
  const TRegion a = CreateRectRgn(0, 0, 10, 10), b = CreateRectRgn(5, 0, 15, 10);
  struct Case {
    int32_t Mode;
    bool In2, In7, In12;
    int32_t Kind;
  };
  const Case cases[] = {
      {RGN_AND, false, true, false, SIMPLEREGION},  {RGN_OR, true, true, true, SIMPLEREGION},
      {RGN_XOR, true, false, true, COMPLEXREGION},  {RGN_DIFF, true, false, false, SIMPLEREGION},
      {RGN_COPY, true, true, false, SIMPLEREGION},
  };
  for (const Case& c : cases) {
    TRegion d;
    EXPECT_EQ(CombineRgn(d, a, b, c.Mode), c.Kind) << c.Mode;
    EXPECT_EQ(PtInRegion(d, 2, 5), c.In2) << c.Mode;
    EXPECT_EQ(PtInRegion(d, 7, 5), c.In7) << c.Mode;
    EXPECT_EQ(PtInRegion(d, 12, 5), c.In12) << c.Mode;
  }
  TRegion d = a;
  EXPECT_EQ(CombineRgn(d, a, b, 99), RGN_ERROR);
  EXPECT_EQ(d, a);
  OffsetRgn(d, 100, 0);
  EXPECT_TRUE(PtInRegion(d, 105, 5));
}

TEST(Region, PolygonFillModes) {
  const std::vector<TPoint> star = {Point(20, 2), Point(31, 36), Point(2, 14), Point(38, 14), Point(9, 36)};
  EXPECT_FALSE(PtInRegion(CreatePolygonRgn(star, ALTERNATE), 20, 21));
  EXPECT_TRUE(PtInRegion(CreatePolygonRgn(star, WINDING), 20, 21));
  EXPECT_TRUE(PtInRegion(CreatePolygonRgn(star, ALTERNATE), 20, 6));
  EXPECT_TRUE(CreatePolygonRgn(star.data(), 2, WINDING).IsEmpty());
  // A rectangular polygon is the same simple region as the rectangle.
  const TRegion square = CreatePolygonRgn({Point(2, 3), Point(9, 3), Point(9, 8), Point(2, 8)}, WINDING);
  EXPECT_EQ(square.Kind(), SIMPLEREGION);
  EXPECT_TRUE(EqualRgn(square, CreateRectRgn(2, 3, 9, 8)));
  EXPECT_TRUE(CreatePolygonRgn(nullptr, 5, WINDING).IsEmpty());
  const TRegion many = ExtCreateRegion({Rect(0, 0, 2, 2), Rect(5, 5, 6, 6), Rect(9, 9, 3, 3)});
  EXPECT_TRUE(PtInRegion(many, 5, 5));
  EXPECT_EQ(GetRegionRects(many).size(), 2u);
}

TEST(Region, ClipDrawingToARegion) {
  auto b = MakeBitmap(pf1bit, 20, 20);
  TCanvas* cv = b->GetCanvas();
  cv->GetBrush()->SetColor(clBlack);
  TRegion clip;
  CombineRgn(clip, CreateRectRgn(0, 0, 20, 20), CreateEllipticRgn(5, 5, 15, 15), RGN_DIFF);
  SelectClipRgn(cv, &clip);
  cv->FillRect(Rect(0, 0, 20, 20));
  EXPECT_EQ(b->GetPixelColor(10, 10), clWhite);
  EXPECT_EQ(b->GetPixelColor(1, 1), clBlack);
  SelectClipRgn(cv, nullptr);
  EXPECT_EQ(IntersectClipRect(cv, 0, 0, 5, 5), SIMPLEREGION);
  EXPECT_EQ(ExcludeClipRect(cv, 0, 0, 2, 2), COMPLEXREGION);
  TRegion now;
  ASSERT_EQ(GetClipRgn(cv, now), 1);
  EXPECT_FALSE(PtInRegion(now, 1, 1));
  EXPECT_TRUE(PtInRegion(now, 3, 3));
  // Saved state brings the old clip back.
  const int32_t saved = SaveDC(cv);
  SelectClipRgn(cv, nullptr);
  RestoreDC(cv, saved);
  ASSERT_EQ(GetClipRgn(cv, now), 1);
  EXPECT_FALSE(PtInRegion(now, 6, 6));
}
