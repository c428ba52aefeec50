// Rectangles follow the window system's rules: right and bottom edges are
// outside.
#include <gtest/gtest.h>

#include "platform/rtl/types.h"

TEST(Geometry, RectanglesExcludeTheirRightAndBottomEdges) {
  const TRect R = Rect(10, 20, 30, 40);
  EXPECT_EQ(R.Width(), 20);
  EXPECT_EQ(R.Height(), 20);
  EXPECT_EQ(Bounds(10, 20, 20, 20), R);
  struct Case { int32_t X, Y; bool In; };
  const Case Cases[] = {{10, 20, true}, {29, 39, true}, {30, 39, false}, {29, 40, false}, {9, 25, false}};
  for (const auto& C : Cases) EXPECT_EQ(PtInRect(R, Point(C.X, C.Y)), C.In) << C.X << "," << C.Y;
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 5, 10)));
  EXPECT_TRUE(IsRectEmpty(Rect(5, 5, 4, 10)));
  EXPECT_FALSE(IsRectEmpty(Rect(5, 5, 6, 6)));
}

TEST(Geometry, IntersectUnionOffsetInflate) {
  TRect D;
  EXPECT_TRUE(IntersectRect(D, Rect(0, 0, 10, 10), Rect(5, 5, 20, 20)));
  EXPECT_EQ(D, Rect(5, 5, 10, 10));
  // Touching edges share no pixel.
  D = Rect(1, 1, 1, 1);
  EXPECT_FALSE(IntersectRect(D, Rect(0, 0, 10, 10), Rect(10, 0, 20, 10)));
  EXPECT_EQ(D, Rect(0, 0, 0, 0));

  EXPECT_TRUE(UnionRect(D, Rect(0, 0, 2, 2), Rect(5, 6, 7, 8)));
  EXPECT_EQ(D, Rect(0, 0, 7, 8));
  EXPECT_TRUE(UnionRect(D, Rect(100, 100, 100, 100), Rect(5, 6, 7, 8)));  // empty ones do not count
  EXPECT_EQ(D, Rect(5, 6, 7, 8));
  EXPECT_FALSE(UnionRect(D, Rect(0, 0, 0, 0), Rect(3, 3, 1, 1)));

  TRect R = Rect(0, 0, 4, 4);
  OffsetRect(R, 3, -2);
  EXPECT_EQ(R, Rect(3, -2, 7, 2));
  InflateRect(R, 1, 2);
  EXPECT_EQ(R, Rect(2, -4, 8, 4));
  EXPECT_TRUE(EqualRect(R, Rect(2, -4, 8, 4)));
  EXPECT_EQ(CenterPoint(Rect(0, 0, 5, 9)), Point(2, 4));
  TRect Big = Rect(INT32_MAX - 1, 0, INT32_MAX, 1);
  OffsetRect(Big, 10, 0);  // wraps, no overflow fault
  EXPECT_EQ(Big.Width(), 1);
}
