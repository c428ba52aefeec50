// The smooth canvas: the same pixels as the plain canvas for aligned shapes,
// translucent pens and brushes, clear and hatched brushes, painting order,
// 1-bit targets and the switch that turns smooth drawing off.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "foundations/ie_canvas.h"
#include "foundations/settings.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/sysutils.h"

namespace {

std::unique_ptr<TBitmap> White(int32_t W, int32_t H, TPixelFormat F = pf24bit) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(F);
  B->SetSize(W, H);
  B->GetCanvas()->GetBrush()->SetColor(clWhite);
  B->GetCanvas()->FillRect(TRect{0, 0, W, H});
  return B;
}

TColor Px(TBitmap& B, int32_t X, int32_t Y) { return B.GetPixelColor(X, Y); }

// Runs the same drawing on a plain and a smooth canvas and compares.
template <class Draw>
void ExpectSamePixels(Draw&& D, int32_t W, int32_t H) {
  auto Plain = White(W, H), Smooth = White(W, H);
  {
    TIECanvas C(Plain->GetCanvas(), true, false);
    EXPECT_FALSE(C.GetUseGDIPlus());
    D(C);
  }
  {
    TIECanvas C(Smooth->GetCanvas(), true, true);
    ASSERT_TRUE(C.GetUseGDIPlus());
    D(C);
  }
  for (int32_t Y = 0; Y < H; ++Y)
    for (int32_t X = 0; X < W; ++X)
      ASSERT_EQ(Px(*Plain, X, Y), Px(*Smooth, X, Y)) << X << "," << Y;
}

TEST(IECanvas, AlignedShapesCoverTheSamePixelsAsThePlainCanvas) {
  ExpectSamePixels(
      [](TIECanvas& C) {
        C.GetBrush()->SetColor(clRed);
        C.FillRect(TRect{0, 0, 10, 10});
      },
      14, 14);
  ExpectSamePixels(
      [](TIECanvas& C) {
        C.GetPen()->SetColor(clBlue);
        C.GetBrush()->SetColor(clLime);
        C.Rectangle(2, 3, 12, 9);
      },
      14, 14);
  ExpectSamePixels(
      [](TIECanvas& C) {
        C.GetPen()->SetColor(clBlack);
        C.MoveTo(1, 5);
        C.LineTo(11, 5);
        C.LineTo(11, 12);
      },
      14, 14);
}

TEST(IECanvas, EllipseKeepsThePlainExtent) {
  for (bool Smooth : {false, true}) {
    SCOPED_TRACE(Smooth);
    auto B = White(30, 20);
    TIECanvas C(B->GetCanvas(), true, Smooth);
    C.GetPen()->SetColor(clBlack);
    C.GetBrush()->SetColor(clBlack);
    C.Ellipse(0, 0, 20, 10);
    EXPECT_NE(Px(*B, 0, 5), clWhite);
    EXPECT_NE(Px(*B, 19, 5), clWhite);
    EXPECT_EQ(Px(*B, 20, 5), clWhite);
    EXPECT_NE(Px(*B, 10, 0), clWhite);
    EXPECT_NE(Px(*B, 10, 9), clWhite);
    EXPECT_EQ(Px(*B, 10, 10), clWhite);
    EXPECT_EQ(Px(*B, 0, 0), clWhite);
  }
}

TEST(IECanvas, TranslucentPensAndBrushes) {
  auto B = White(20, 20);
  TIECanvas C(B->GetCanvas());
  C.GetBrush()->SetColor(clBlack);
  C.GetBrush()->SetAlpha(128);
  C.GetPen()->SetStyle(psClear);
  C.Rectangle(0, 0, 10, 10);
  uint32_t V = uint32_t(Px(*B, 5, 5)) & 0xFF;
  EXPECT_GE(V, 126u);
  EXPECT_LE(V, 128u);
  EXPECT_EQ(Px(*B, 10, 5), clWhite);
  // A translucent pen over black.
  C.GetBrush()->SetAlpha(255);
  C.FillRect(TRect{0, 12, 20, 20});
  C.GetPen()->SetStyle(psSolid);
  C.GetPen()->SetColor(clWhite);
  C.GetPen()->SetAlpha(64);
  C.MoveTo(0, 15);
  C.LineTo(19, 15);
  V = uint32_t(Px(*B, 5, 15)) & 0xFF;
  EXPECT_GE(V, 63u);
  EXPECT_LE(V, 65u);
}

TEST(IECanvas, WithTheSwitchOffAlphaHasNoEffect) {
  IEUseGDIPlus = false;
  auto B = White(10, 10);
  {
    TIECanvas C(B->GetCanvas(), true, true);
    EXPECT_FALSE(C.GetUseGDIPlus());
    C.GetBrush()->SetColor(clBlack);
    C.GetBrush()->SetAlpha(10);
    C.FillRect(TRect{0, 0, 5, 5});
  }
  IEUseGDIPlus = true;
  EXPECT_EQ(Px(*B, 2, 2), clBlack);
}

TEST(IECanvas, ClearAndHatchedBrushes) {
  auto B = White(20, 20);
  TIECanvas C(B->GetCanvas());
  C.GetBrush()->SetColor(clRed);
  C.GetBrush()->SetStyle(bsClear);
  C.FillRect(TRect{0, 0, 20, 20});
  EXPECT_EQ(Px(*B, 5, 5), clWhite);
  EXPECT_EQ(C.GetBrush()->GetColor(), clRed);
  // Horizontal hatch: lines in the colour, the gaps keep what was there.
  C.GetBrush()->SetStyle(bsHorizontal);
  C.FillRect(TRect{0, 0, 20, 20});
  int Red = 0, Untouched = 0;
  for (int32_t Y = 0; Y < 20; ++Y) {
    Red += Px(*B, 5, Y) == clRed;
    Untouched += Px(*B, 5, Y) == clWhite;
  }
  EXPECT_GT(Red, 0);
  EXPECT_GT(Untouched, Red);
  // With a background alpha the gaps get the background colour.
  C.GetBrush()->SetBackColor(clBlue);
  C.GetBrush()->SetBackAlpha(255);
  C.FillRect(TRect{0, 0, 20, 20});
  for (int32_t Y = 0; Y < 20; ++Y) EXPECT_NE(Px(*B, 5, Y), clWhite);
}

TEST(IECanvas, PolygonOutlineFirstRectangleFillFirst) {
  auto B = White(40, 40);
  TIECanvas C(B->GetCanvas());
  C.GetPen()->SetColor(clRed);
  C.GetPen()->SetWidth(5);
  C.GetBrush()->SetColor(clBlue);
  TPoint Square[] = {{10, 10}, {30, 10}, {30, 30}, {10, 30}};
  C.Polygon(Square, 3);
  EXPECT_EQ(Px(*B, 20, 11), clBlue);  // inner half of the outline: painted over
  EXPECT_EQ(Px(*B, 20, 9), clRed);    // outer half stays the pen's
  auto R = White(40, 40);
  TIECanvas D(R->GetCanvas());
  D.GetPen()->SetColor(clRed);
  D.GetPen()->SetWidth(5);
  D.GetBrush()->SetColor(clBlue);
  D.Rectangle(10, 10, 31, 31);
  EXPECT_EQ(Px(*R, 20, 11), clRed);  // the outline over the fill
  EXPECT_EQ(Px(*R, 20, 20), clBlue);
}

TEST(IECanvas, RoundRectCutsLargeCorners) {
  auto B = White(30, 30);
  TIECanvas C(B->GetCanvas());
  C.GetPen()->SetStyle(psClear);
  C.GetBrush()->SetColor(clBlack);
  C.RoundRect(0, 0, 20, 20, 100, 100);
  EXPECT_EQ(Px(*B, 0, 0), clWhite);
  EXPECT_EQ(Px(*B, 10, 10), clBlack);
  EXPECT_EQ(Px(*B, 10, 20), clWhite);
}

TEST(IECanvas, OneBitTargetsStayBlackAndWhite) {
  auto B = White(32, 8, pf1bit);
  TIECanvas C(B->GetCanvas());
  C.GetBrush()->SetColor(clBlack);
  C.GetPen()->SetStyle(psClear);
  C.Ellipse(0, 0, 16, 8);
  EXPECT_EQ(B->GetPixelFormat(), pf1bit);
  EXPECT_EQ(Px(*B, 8, 4), clBlack);
  EXPECT_EQ(Px(*B, 20, 4), clWhite);
}

TEST(IECanvas, ANullCanvasCannotDrawSmoothly) {
  try {
    TIECanvas C(nullptr, true, true);
    FAIL() << "no exception";
  } catch (const Exception& E) {
    EXPECT_EQ(E.Message, "Cannot create TIECanvas. GdipCreateFromHDC failed.");
  }
  TIECanvas Plain(nullptr, true, false);
  Plain.Rectangle(0, 0, 5, 5);
}

TEST(IECanvas, LoadCountFollowsTheViews) {
  int32_t Before = IEGDIPUserCount();
  IEGDIPLoad();
  IEGDIPLoad();
  IEGDIPUnload();
  EXPECT_EQ(IEGDIPUserCount(), Before + 1);
  IEGDIPUnload();
  EXPECT_TRUE(IEGDIPLoaded());
}

}  // namespace
