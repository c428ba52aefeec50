// Pixel rules of the canvas on every bitmap format the library draws on.
#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "gdi_test_util.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/region.h"

using namespace gditest;

class CanvasRules : public ::testing::TestWithParam<TPixelFormat> {
 protected:
  std::unique_ptr<TBitmap> Bmp(int w = 16, int h = 16) {
    auto b = MakeBitmap(GetParam(), w, h);
    b->GetCanvas()->GetPen()->SetColor(clBlack);
    b->GetCanvas()->GetBrush()->SetColor(clBlack);
    return b;
  }
};

INSTANTIATE_TEST_SUITE_P(Formats, CanvasRules,
                         ::testing::Values(pf1bit, pf8bit, pf24bit, pf32bit),
                         [](const auto& info) { return std::string(FormatName(info.param)); });

TEST_P(CanvasRules, FiguresCoverLeftToRightMinusOne) {
  struct Case {
    const char* Name;
    void (*Draw)(TCanvas*);
    Box Expected;
  };
  const Case cases[] = {
      {"Rectangle", [](TCanvas* c) { c->Rectangle(0, 0, 4, 4); }, {0, 0, 3, 3}},
      {"RectangleSwapped", [](TCanvas* c) { c->Rectangle(6, 9, 2, 3); }, {2, 3, 5, 8}},
      {"FillRect", [](TCanvas* c) { c->FillRect(Rect(2, 3, 7, 5)); }, {2, 3, 6, 4}},
      {"Ellipse", [](TCanvas* c) { c->Ellipse(1, 2, 12, 9); }, {1, 2, 11, 8}},
      {"RoundRect", [](TCanvas* c) { c->RoundRect(0, 0, 10, 6, 4, 4); }, {0, 0, 9, 5}},
      {"FrameRect", [](TCanvas* c) { c->FrameRect(Rect(3, 3, 8, 8)); }, {3, 3, 7, 7}},
      // Polygons draw their points: the outline includes x = 4 and y = 4.
      {"Polygon", [](TCanvas* c) { c->Polygon({Point(0, 0), Point(4, 0), Point(4, 4), Point(0, 4)}); }, {0, 0, 4, 4}},
  };
  for (const Case& c : cases) {
    auto b = Bmp();
    c.Draw(b->GetCanvas());
    const Box got = InkBox(*b, clWhite);
    EXPECT_EQ(got.Left, c.Expected.Left) << c.Name;
    EXPECT_EQ(got.Top, c.Expected.Top) << c.Name;
    EXPECT_EQ(got.Right, c.Expected.Right) << c.Name;
    EXPECT_EQ(got.Bottom, c.Expected.Bottom) << c.Name;
  }
}

TEST_P(CanvasRules, LinesLeaveOutTheirLastPixel) {
  struct Case {
    int X0, Y0, X1, Y1;
    int Count;
  };
  const Case cases[] = {{0, 0, 5, 0, 5}, {5, 5, 5, 0, 5}, {0, 0, 4, 4, 4}, {10, 3, 2, 7, 8}, {3, 3, 3, 3, 0}};
  for (const Case& c : cases) {
    auto b = Bmp();
    TCanvas* cv = b->GetCanvas();
    cv->MoveTo(c.X0, c.Y0);
    cv->LineTo(c.X1, c.Y1);
    const auto ink = Inked(*b, clWhite);
    EXPECT_EQ(int(ink.size()), c.Count) << c.X0 << "," << c.Y0 << "->" << c.X1 << "," << c.Y1;
    EXPECT_EQ(b->GetPixelColor(c.X1, c.Y1), clWhite);
    if (c.Count > 0) {
      EXPECT_EQ(b->GetPixelColor(c.X0, c.Y0), clBlack);
    }
    EXPECT_EQ(cv->GetPenPos(), Point(c.X1, c.Y1));
  }
  // A polyline joins its segments without drawing any pixel twice.
  auto b = Bmp();
  TCanvas* cv = b->GetCanvas();
  cv->GetPen()->SetMode(pmXor);
  cv->GetPen()->SetColor(clWhite);
  cv->Polyline({Point(1, 1), Point(8, 1), Point(8, 8), Point(1, 8), Point(1, 1)});
  EXPECT_EQ(Inked(*b, clWhite).size(), 28u);
}

TEST_P(CanvasRules, XorTwiceRestoresAndNotInverts) {
  auto b = Bmp(24, 24);
  TCanvas* cv = b->GetCanvas();
  cv->GetBrush()->SetColor(clBlack);
  cv->FillRect(Rect(0, 0, 12, 24));  // half black, half white
  const auto before = Picture(*b, clWhite);
  for (int width : {1, 3, 6}) {
    for (TPenMode mode : {pmXor, pmNot}) {
      cv->GetPen()->SetMode(mode);
      cv->GetPen()->SetWidth(width);
      cv->GetPen()->SetColor(clWhite);
      cv->GetBrush()->SetColor(clWhite);
      auto drawAll = [&] {
        cv->Rectangle(2, 2, 20, 20);
        cv->Ellipse(4, 3, 21, 17);
        cv->Polygon({Point(1, 1), Point(22, 4), Point(5, 22), Point(18, 12)});
        cv->MoveTo(0, 23);
        cv->LineTo(23, 0);
        cv->Arc(0, 0, 24, 24, 24, 12, 0, 12);
        cv->RoundRect(3, 5, 19, 21, 8, 8);
      };
      drawAll();
      EXPECT_NE(Picture(*b, clWhite), before) << "width " << width;
      drawAll();
      EXPECT_EQ(Picture(*b, clWhite), before) << "mode " << int(mode) << " width " << width;
    }
  }
  // NOT inverts what is there: one pixel on black turns white and vice versa.
  cv->GetPen()->SetMode(pmNot);
  cv->GetPen()->SetWidth(1);
  cv->MoveTo(10, 5);
  cv->LineTo(14, 5);
  EXPECT_EQ(b->GetPixelColor(10, 5), clWhite);
  EXPECT_EQ(b->GetPixelColor(11, 5), clWhite);
  EXPECT_EQ(b->GetPixelColor(12, 5), clBlack);
  EXPECT_EQ(b->GetPixelColor(13, 5), clBlack);
}

TEST_P(CanvasRules, ClearBrushAndClearPen) {
  auto b = Bmp();
  TCanvas* cv = b->GetCanvas();
  cv->GetBrush()->SetStyle(bsClear);
  cv->Rectangle(0, 0, 10, 10);
  EXPECT_EQ(b->GetPixelColor(5, 5), clWhite) << "clear brush leaves the inside";
  EXPECT_EQ(b->GetPixelColor(0, 5), clBlack);
  EXPECT_EQ(b->GetPixelColor(9, 9), clBlack);
  cv->GetBrush()->SetColor(clBlack);  // a colour makes the brush solid again
  EXPECT_EQ(cv->GetBrush()->GetStyle(), bsSolid);
  auto c = Bmp();
  c->GetCanvas()->GetPen()->SetStyle(psClear);
  c->GetCanvas()->Rectangle(0, 0, 10, 10);
  const Box got = InkBox(*c, clWhite);
  EXPECT_EQ(got.Right, 8) << "without a pen the figure is one pixel smaller";
  EXPECT_EQ(got.Bottom, 8);
  EXPECT_EQ(got.Left, 0);
}

TEST_P(CanvasRules, PolygonFillModes) {
  // A five-pointed star: alternate filling leaves the centre empty,
  // winding fills it.
  const std::vector<TPoint> star = {Point(20, 2), Point(31, 36), Point(2, 14), Point(38, 14), Point(9, 36)};
  for (int32_t mode : {ALTERNATE, WINDING}) {
    auto b = Bmp(40, 40);
    TCanvas* cv = b->GetCanvas();
    cv->GetPen()->SetStyle(psClear);
    cv->SetPolyFillMode(mode);
    cv->Polygon(star);
    EXPECT_EQ(b->GetPixelColor(20, 21), mode == WINDING ? clBlack : clWhite) << mode;
    EXPECT_EQ(b->GetPixelColor(20, 6), clBlack) << "a point of the star";
    EXPECT_EQ(b->GetPixelColor(1, 1), clWhite);
  }
}

TEST_P(CanvasRules, OneBitAndEightBitKeepTheirTable) {
  auto b = Bmp(32, 8);
  TCanvas* cv = b->GetCanvas();
  const TColor colours[] = {clRed, clYellow, clSilver, clNavy, RGB(200, 200, 200), clGray};
  int x = 0;
  for (TColor c : colours) {
    cv->GetBrush()->SetColor(c);
    cv->FillRect(Rect(x, 0, x + 4, 8));
    x += 4;
  }
  const auto table = b->GetColorTable();
  for (int yy = 0; yy < 8; ++yy)
    for (int xx = 0; xx < 24; ++xx) {
      const TColor got = b->GetPixelColor(xx, yy);
      if (GetParam() == pf1bit) {
        EXPECT_TRUE(got == clBlack || got == clWhite) << xx;
      } else if (GetParam() == pf8bit) {
        bool inTable = false;
        for (const TRGBQuad& q : table) inTable |= RGB(q.rgbRed, q.rgbGreen, q.rgbBlue) == got;
        EXPECT_TRUE(inTable);
      }
    }
  if (GetParam() == pf1bit) {
    // The nearest of black and white.
    EXPECT_EQ(b->GetPixelColor(1, 1), clBlack);   // red
    EXPECT_EQ(b->GetPixelColor(5, 1), clWhite);   // yellow
    EXPECT_EQ(b->GetPixelColor(9, 1), clWhite);   // silver
    EXPECT_EQ(b->GetPixelColor(13, 1), clBlack);  // navy
  }
}

TEST_P(CanvasRules, ClipRegionsAndOrigin) {
  auto b = Bmp(20, 20);
  TCanvas* cv = b->GetCanvas();
  const TRegion rgn = CreateRectRgn(5, 5, 10, 10);
  SelectClipRgn(cv, &rgn);
  cv->FillRect(Rect(0, 0, 20, 20));
  Box got = InkBox(*b, clWhite);
  EXPECT_EQ(got.Left, 5);
  EXPECT_EQ(got.Right, 9);
  EXPECT_EQ(got.Bottom, 9);
  EXPECT_EQ(cv->GetClipRect(), Rect(5, 5, 10, 10));
  EXPECT_EQ(cv->GetPixel(0, 0), -1) << "outside the clip";
  SelectClipRgn(cv, nullptr);
  EXPECT_EQ(cv->GetPixel(0, 0), clWhite);
  EXPECT_EQ(cv->GetPixel(20, 0), -1);
  // The viewport origin moves every figure.
  auto c = Bmp(20, 20);
  c->GetCanvas()->SetViewportOrg(Point(3, 4));
  c->GetCanvas()->Rectangle(0, 0, 2, 2);
  got = InkBox(*c, clWhite);
  EXPECT_EQ(got.Left, 3);
  EXPECT_EQ(got.Top, 4);
  EXPECT_EQ(got.Right, 4);
}

TEST_P(CanvasRules, PixelsReadAndWrite) {
  auto b = Bmp(4, 4);
  TCanvas* cv = b->GetCanvas();
  cv->SetPixel(2, 1, clBlack);
  EXPECT_EQ(cv->GetPixel(2, 1), clBlack);
  EXPECT_EQ(cv->GetPixel(1, 2), clWhite);
  cv->SetPixel(-1, 0, clBlack);  // outside: nothing
  cv->SetPixel(4, 4, clBlack);
  EXPECT_EQ(Inked(*b, clWhite).size(), 1u);
  EXPECT_EQ(cv->GetPixel(-1, 0), -1);
}

TEST(Canvas, DashedPensFillGapsOnlyWithOpaqueBackground) {
  for (bool opaque : {true, false}) {
    auto b = MakeBitmap(pf24bit, 64, 4);
    TCanvas* cv = b->GetCanvas();
    cv->GetBrush()->SetColor(clRed);
    if (!opaque) cv->GetBrush()->SetStyle(bsClear);
    cv->GetPen()->SetStyle(psDash);
    cv->GetPen()->SetColor(clBlack);
    cv->MoveTo(0, 1);
    cv->LineTo(60, 1);
    int black = 0, red = 0;
    for (int x = 0; x < 60; ++x) {
      const TColor c = b->GetPixelColor(x, 1);
      black += c == clBlack;
      red += c == clRed;
    }
    EXPECT_GT(black, 20);
    EXPECT_LT(black, 60);
    EXPECT_EQ(red, opaque ? 60 - black : 0);
  }
}

TEST(Canvas, HatchedBrushLeavesGaps) {
  auto b = MakeBitmap(pf32bit, 16, 16);
  TCanvas* cv = b->GetCanvas();
  for (TBrushStyle s : {bsHorizontal, bsVertical, bsFDiagonal, bsBDiagonal, bsCross, bsDiagCross}) {
    cv->GetBrush()->SetStyle(bsSolid);
    cv->GetBrush()->SetColor(clWhite);
    cv->FillRect(Rect(0, 0, 16, 16));
    cv->GetBrush()->SetColor(clBlue);
    cv->GetBrush()->SetStyle(s);
    cv->FillRect(Rect(0, 0, 16, 16));
    const size_t n = Inked(*b, clWhite).size();
    EXPECT_GT(n, 16u) << int(s);
    EXPECT_LT(n, 256u / 2) << int(s);
  }
}

TEST(Canvas, CopyModesAndStretching) {
  auto src = MakeBitmap(pf24bit, 4, 2);
  src->GetCanvas()->SetPixel(0, 0, clRed);
  src->GetCanvas()->SetPixel(3, 1, clBlue);
  auto dst = MakeBitmap(pf32bit, 8, 4);
  TCanvas* cv = dst->GetCanvas();
  cv->StretchDraw(Rect(0, 0, 8, 4), src.get());
  EXPECT_EQ(dst->GetPixelColor(0, 0), clRed);
  EXPECT_EQ(dst->GetPixelColor(1, 1), clRed);
  EXPECT_EQ(dst->GetPixelColor(2, 0), clWhite);
  EXPECT_EQ(dst->GetPixelColor(7, 3), clBlue);
  EXPECT_EQ(dst->GetPixelColor(6, 2), clBlue);
  // Inverting copy twice restores; NOT-source copy inverts.
  const auto before = Picture(*dst, clWhite);
  cv->SetCopyMode(cmSrcInvert);
  cv->Draw(1, 1, src.get());
  EXPECT_EQ(dst->GetPixelColor(1, 1), TColor(ColorToRGB(clRed) ^ ColorToRGB(clRed)));
  cv->Draw(1, 1, src.get());
  EXPECT_EQ(Picture(*dst, clWhite), before);
  cv->SetCopyMode(cmNotSrcCopy);
  cv->CopyRect(Rect(0, 0, 1, 1), src->GetCanvas(), Rect(1, 0, 2, 1));
  EXPECT_EQ(dst->GetPixelColor(0, 0), clBlack);
  // A transparent bitmap leaves the pixels of its transparent colour (the
  // bottom-left pixel's unless fixed).
  auto sprite = MakeBitmap(pf24bit, 2, 2);
  sprite->GetCanvas()->GetBrush()->SetColor(clLime);
  sprite->GetCanvas()->FillRect(Rect(0, 0, 2, 2));
  sprite->GetCanvas()->SetPixel(1, 0, clNavy);
  sprite->SetTransparent(true);
  auto back = MakeBitmap(pf32bit, 2, 2);
  back->GetCanvas()->Draw(0, 0, sprite.get());
  EXPECT_EQ(back->GetPixelColor(0, 0), clWhite);
  EXPECT_EQ(back->GetPixelColor(1, 0), clNavy);
  sprite->SetTransparentColor(clNavy);
  back->GetCanvas()->Draw(0, 0, sprite.get());
  EXPECT_EQ(back->GetPixelColor(0, 0), clLime);
  EXPECT_EQ(back->GetPixelColor(1, 0), clNavy);
  // Mirroring with a negative width.
  auto m = MakeBitmap(pf32bit, 4, 2);
  StretchBlt(m->GetCanvas(), 3, 0, -4, 2, src->GetCanvas(), 0, 0, 4, 2, SRCCOPY);
  EXPECT_EQ(m->GetPixelColor(3, 0), clRed);
  EXPECT_EQ(m->GetPixelColor(0, 1), clBlue);
}

TEST(Canvas, StretchModesWhenShrinking) {
  auto src = MakeBitmap(pf32bit, 2, 2);
  src->GetCanvas()->GetBrush()->SetColor(clBlack);
  src->GetCanvas()->FillRect(Rect(0, 0, 1, 2));
  auto dst = MakeBitmap(pf32bit, 1, 1);
  SetStretchBltMode(dst->GetCanvas(), HALFTONE);
  StretchBlt(dst->GetCanvas(), 0, 0, 1, 1, src->GetCanvas(), 0, 0, 2, 2, SRCCOPY);
  EXPECT_EQ(dst->GetPixelColor(0, 0), RGB(128, 128, 128));
  SetStretchBltMode(dst->GetCanvas(), COLORONCOLOR);
  StretchBlt(dst->GetCanvas(), 0, 0, 1, 1, src->GetCanvas(), 0, 0, 2, 2, SRCCOPY);
  EXPECT_EQ(dst->GetPixelColor(0, 0), clBlack);
  // The default mode keeps black lines when a fax page shrinks; the
  // opposite mode keeps white.
  auto line = MakeBitmap(pf1bit, 8, 8);
  line->GetCanvas()->SetPixel(5, 6, clBlack);
  auto thumb = MakeBitmap(pf1bit, 2, 2);
  EXPECT_EQ(GetStretchBltMode(thumb->GetCanvas()), BLACKONWHITE);
  StretchBlt(thumb->GetCanvas(), 0, 0, 2, 2, line->GetCanvas(), 0, 0, 8, 8, SRCCOPY);
  EXPECT_EQ(Inked(*thumb, clWhite), (std::vector<std::pair<int, int>>{{1, 1}}));
  SetStretchBltMode(thumb->GetCanvas(), WHITEONBLACK);
  StretchBlt(thumb->GetCanvas(), 0, 0, 2, 2, line->GetCanvas(), 0, 0, 8, 8, SRCCOPY);
  EXPECT_TRUE(Inked(*thumb, clWhite).empty());
}

TEST(Canvas, MonochromeDeviceBitmapsUseTextAndBackgroundColours) {
  // A mask: bit 1 where the picture had its background colour.
  auto pic = MakeBitmap(pf24bit, 4, 1);
  pic->GetCanvas()->SetPixel(1, 0, clRed);
  auto mask = MakeBitmap(pf1bit, 4, 1);
  mask->GetCanvas()->SetMonochromeDevice(true);
  SetBkColor(pic->GetCanvas(), clWhite);
  BitBlt(mask->GetCanvas(), 0, 0, 4, 1, pic->GetCanvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(mask->GetPixelColor(0, 0), clWhite);
  EXPECT_EQ(mask->GetPixelColor(1, 0), clBlack);
  // Painting a brush through the mask (brush where the mask is white).
  auto dst = MakeBitmap(pf32bit, 4, 1);
  TCanvas* cv = dst->GetCanvas();
  cv->GetBrush()->SetColor(clGreen);
  SetTextColor(cv, clBlack);
  SetBkColor(cv, clWhite);
  BitBlt(cv, 0, 0, 4, 1, mask->GetCanvas(), 0, 0, 0x00E20746);
  EXPECT_EQ(dst->GetPixelColor(0, 0), clGreen);
  EXPECT_EQ(dst->GetPixelColor(1, 0), clWhite);
  // A monochrome device source takes the destination's colours.
  SetTextColor(cv, clRed);
  SetBkColor(cv, clBlue);
  BitBlt(cv, 0, 0, 4, 1, mask->GetCanvas(), 0, 0, SRCCOPY);
  EXPECT_EQ(dst->GetPixelColor(0, 0), clBlue);
  EXPECT_EQ(dst->GetPixelColor(1, 0), clRed);
}

TEST(Canvas, DrawingOnItselfReadsTheOldPixels) {
  auto b = MakeBitmap(pf32bit, 8, 1);
  TCanvas* cv = b->GetCanvas();
  for (int x = 0; x < 4; ++x) cv->SetPixel(x, 0, RGB(uint8_t(x * 10), 0, 0));
  BitBlt(cv, 1, 0, 4, 1, cv, 0, 0, SRCCOPY);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b->GetPixelColor(x + 1, 0), RGB(uint8_t(x * 10), 0, 0));
}

TEST(Canvas, HugeAndDegenerateCoordinatesStaySafe) {
  auto b = MakeBitmap(pf1bit, 32, 32);
  TCanvas* cv = b->GetCanvas();
  cv->GetPen()->SetColor(clBlack);
  cv->GetBrush()->SetColor(clBlack);
  cv->MoveTo(INT32_MIN, INT32_MIN);
  cv->LineTo(INT32_MAX, INT32_MAX);
  cv->Ellipse(-2000000000, -2000000000, 2000000000, 2000000000);
  cv->Rectangle(INT32_MIN, 5, INT32_MAX, 6);
  cv->Polygon({Point(INT32_MIN, 0), Point(INT32_MAX, 0), Point(0, INT32_MAX)});
  cv->Polygon(nullptr, 0);
  cv->Polyline(nullptr, 5);
  cv->GetPen()->SetWidth(40);
  cv->MoveTo(-1000000, 16);
  cv->LineTo(1000000, 16);
  cv->StretchDraw(Rect(0, 0, INT32_MAX, 1), b.get());
  cv->FillRect(Rect(10, 10, 0, 0));
  EXPECT_EQ(b->GetPixelColor(16, 16), clBlack);
  TCanvas none;
  none.Rectangle(0, 0, 5, 5);  // no target: nothing happens
  EXPECT_EQ(none.GetPixel(0, 0), -1);
}

TEST(Canvas, GradientsAndEdges) {
  auto b = MakeBitmap(pf32bit, 10, 4);
  TCanvas* cv = b->GetCanvas();
  cv->GetBrush()->SetColor(clRed);
  GradientFill(cv, Rect(0, 0, 10, 4), clBlack, RGB(250, 100, 0), false);
  EXPECT_EQ(b->GetPixelColor(0, 2), clBlack);
  EXPECT_EQ(b->GetPixelColor(5, 0), RGB(125, 50, 0));
  EXPECT_EQ(b->GetPixelColor(9, 3), RGB(225, 90, 0));
  EXPECT_EQ(cv->GetBrush()->GetColor(), clRed) << "the brush is left as it was";
  TRect r = Rect(0, 0, 10, 4);
  DrawEdge(cv, r, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
  EXPECT_EQ(r, Rect(2, 2, 8, 2));
  EXPECT_EQ(uint32_t(b->GetPixelColor(0, 0)), ColorToRGB(clBtnShadow));
  EXPECT_EQ(uint32_t(b->GetPixelColor(9, 3)), ColorToRGB(clBtnHighlight));
  EXPECT_EQ(uint32_t(b->GetPixelColor(1, 1)), ColorToRGB(cl3DDkShadow));
  EXPECT_EQ(uint32_t(b->GetPixelColor(8, 2)), ColorToRGB(cl3DLight));
}

TEST(Canvas, WorkerThreadsDrawOnTheirOwnBitmaps) {
  // Rendering happens in worker threads too (page thumbnails, printing):
  // system colours, fonts and screen facts must be safe to use there.
  std::vector<std::vector<std::string>> pictures(3);
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t)
    threads.emplace_back([t, &pictures] {
      auto b = MakeBitmap(t == 0 ? pf1bit : pf32bit, 64, 32);
      TCanvas* cv = b->GetCanvas();
      cv->GetBrush()->SetColor(clBtnFace);
      cv->FillRect(Rect(0, 0, 64, 32));
      cv->GetFont()->SetColor(clWindowText);
      cv->TextOut(2, 2, "page");
      cv->Ellipse(30, 2, 60, 30);
      pictures[size_t(t)] = Picture(*b, clWhite);
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(pictures[1], pictures[2]);
}
