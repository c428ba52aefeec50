// Selection mask: storage layout, flags, spans and polygon fills with exact
// pixel sets, moving, inverting, intersecting, applying to images, drawing.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "foundations/pixel_utils.h"

namespace {

using PixelSet = std::set<std::pair<int, int>>;  // (x, y)

PixelSet SetPixels(TIEMask& M) {
  PixelSet s;
  for (int y = 0; y < M.GetHeight(); ++y)
    for (int x = 0; x < M.GetWidth(); ++x)
      if (M.GetPixel(x, y)) s.insert({x, y});
  return s;
}

PixelSet Block(int X1, int Y1, int X2, int Y2) {  // inclusive
  PixelSet s;
  for (int y = Y1; y <= Y2; ++y)
    for (int x = X1; x <= X2; ++x) s.insert({x, y});
  return s;
}

void ExpectBox(TIEMask& M, int X1, int Y1, int X2, int Y2) {
  EXPECT_EQ(M.GetX1(), X1);
  EXPECT_EQ(M.GetY1(), Y1);
  EXPECT_EQ(M.GetX2(), X2);
  EXPECT_EQ(M.GetY2(), Y2);
}

TEST(SelectionMask, LayoutIsBottomUpMostSignificantBitFirst) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(10, 3, 1));
  EXPECT_EQ(m.GetRowLen(), 4);
  EXPECT_TRUE(m.IsEmpty());
  m.SetPixel(9, 0, 1);
  const uint8_t* bits = m.GetBits();
  EXPECT_EQ(bits[2 * 4 + 1], 0x40);  // row 0 is the last stored row
  for (int i = 0; i < 12; ++i) {
    if (i != 9) {
      EXPECT_EQ(bits[i], 0) << i;
    }
  }
  ExpectBox(m, 9, 0, 9, 0);
  EXPECT_EQ(m.GetPixel(9, 0), 1);
  EXPECT_TRUE(m.IsPointInside(9, 0));
  EXPECT_EQ(m.GetPixel(10, 0), 0);  // outside reads 0
  m.SetPixel(-1, 0, 1);             // outside writes nothing
  m.SetPixel(0, 3, 1);
  ExpectBox(m, 9, 0, 9, 0);

  TIEMask g;
  ASSERT_TRUE(g.AllocateBits(5, 2, 8));
  EXPECT_EQ(g.GetRowLen(), 8);
  g.SetPixel(4, 1, 200);
  EXPECT_EQ(g.GetBits()[4], 200);
  EXPECT_EQ(g.GetPixel(4, 1), 200);

  TIEMask bad;
  EXPECT_FALSE(bad.AllocateBits(0, 5, 1));
  EXPECT_FALSE(bad.AllocateBits(5, 5, 4));
  EXPECT_FALSE(bad.AllocateBits(2000000000, 2000000000, 8));
  EXPECT_EQ(bad.GetScanline(0), nullptr);
  EXPECT_EQ(bad.GetPixel(0, 0), 0);
}

TEST(SelectionMask, FullFlagFollowsWrites) {
  for (int bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    ASSERT_TRUE(m.AllocateBits(13, 4, bpp));
    m.Fill(255);
    EXPECT_TRUE(m.GetFull());
    m.SetPixel(2, 2, 255);
    EXPECT_TRUE(m.GetFull());
    if (bpp == 1) {
      m.SetPixel(2, 2, 1);  // any non-zero value keeps a 1-bit pixel set
      EXPECT_TRUE(m.GetFull());
    } else {
      m.SetPixel(2, 2, 200);
      EXPECT_FALSE(m.GetFull());
      m.Fill(255);
    }
    m.SetPixel(3, 1, 0);
    EXPECT_FALSE(m.GetFull());
    m.SetPixel(3, 1, 255);
    m.UpdateFullFlag();
    EXPECT_TRUE(m.GetFull());
    EXPECT_EQ(m.FillSpan(0, 0, 0, 0), 1);
    EXPECT_FALSE(m.GetFull());
    m.Clear();
    EXPECT_FALSE(m.GetFull());
    EXPECT_TRUE(m.IsEmpty());
    EXPECT_TRUE(SetPixels(m).empty());
  }
  // 1-bit: every non-zero fill value sets every pixel.
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(9, 2, 1));
  m.Fill(1);
  EXPECT_EQ(SetPixels(m).size(), 18u);
  EXPECT_TRUE(m.GetFull());
}

TEST(SelectionMask, SpansClampColumnsAndDropOutsideRows) {
  for (int bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    ASSERT_TRUE(m.AllocateBits(20, 3, bpp));
    struct Case {
      int X1, X2, Y, Written;
    } cases[] = {{-5, 3, 0, 4}, {17, 40, 1, 3}, {5, 4, 2, 0}, {0, 19, -1, 0}, {0, 19, 3, 0}};
    for (const Case& c : cases) EXPECT_EQ(m.FillSpan(7, c.X1, c.X2, c.Y), c.Written);
    PixelSet want = Block(0, 0, 3, 0);
    for (int x = 17; x < 20; ++x) want.insert({x, 1});
    EXPECT_EQ(SetPixels(m), want);
    EXPECT_TRUE(m.IsEmpty());  // spans leave the box alone
    // A 1-bit span written with 7 means set, like any non-zero value.
    EXPECT_EQ(m.GetPixel(1, 0), bpp == 1 ? 1 : 7);
    EXPECT_EQ(m.FillSpan(0, 0, 19, 0), 20);
    EXPECT_EQ(m.GetPixel(1, 0), 0);
  }
}

TEST(SelectionMask, PolygonFillsFollowTheWindowRules) {
  struct Case {
    std::string Name;
    std::vector<TPoint> Points;
    PixelSet Expected;
  };
  PixelSet diamond;
  const int spans[8][2] = {{4, 3}, {3, 4}, {2, 5}, {1, 6}, {0, 7}, {1, 6}, {2, 5}, {3, 4}};
  for (int y = 0; y < 8; ++y)
    for (int x = spans[y][0]; x <= spans[y][1]; ++x) diamond.insert({x, y});
  PixelSet triangle;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x <= 3 - y; ++x) triangle.insert({x, y});
  // An octagon, the shape of a small elliptical selection.
  PixelSet octagon = Block(2, 0, 5, 0);
  for (const auto& p : Block(1, 1, 6, 1)) octagon.insert(p);
  for (const auto& p : Block(0, 2, 7, 6)) octagon.insert(p);
  for (const auto& p : Block(1, 7, 6, 7)) octagon.insert(p);
  PixelSet u = Block(0, 0, 5, 1);
  for (const auto& p : Block(0, 2, 1, 3)) u.insert(p);
  for (const auto& p : Block(4, 2, 5, 3)) u.insert(p);
  const Case cases[] = {
      {"square", {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, Block(0, 0, 3, 3)},
      {"rectangle", {{2, 1}, {7, 1}, {7, 4}, {2, 4}}, Block(2, 1, 6, 3)},
      {"reversed rectangle", {{2, 4}, {7, 4}, {7, 1}, {2, 1}}, Block(2, 1, 6, 3)},
      {"diamond", {{4, 0}, {8, 4}, {4, 8}, {0, 4}}, diamond},
      {"triangle", {{0, 0}, {4, 0}, {0, 4}}, triangle},
      {"octagon", {{2, 0}, {6, 0}, {8, 2}, {8, 6}, {6, 8}, {2, 8}, {0, 6}, {0, 2}}, octagon},
      {"u shape", {{0, 0}, {6, 0}, {6, 4}, {4, 4}, {4, 2}, {2, 2}, {2, 4}, {0, 4}}, u},
      {"clipped", {{-3, -3}, {3, -3}, {3, 2}, {-3, 2}}, Block(0, 0, 2, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    for (int bpp : {1, 8}) {
      TIEMask m;
      ASSERT_TRUE(m.AllocateBits(12, 10, bpp));
      m.FillPolygon(255, c.Points.data(), int32_t(c.Points.size()));
      EXPECT_EQ(SetPixels(m), c.Expected) << bpp;
      if (bpp == 8) {
        for (const auto& p : c.Expected) EXPECT_EQ(m.GetPixel(p.first, p.second), 255);
      }
    }
  }
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(12, 10, 1));
  const TPoint square[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}};
  m.FillPolygon(1, square, 4);
  ExpectBox(m, 0, 0, 3, 3);
  // Filling with 0 clears the same pixels and leaves the box.
  m.FillPolygon(0, square, 4);
  EXPECT_TRUE(SetPixels(m).empty());
  ExpectBox(m, 0, 0, 3, 3);
}

TEST(SelectionMask, PolygonRowsOutsideTheMaskAreDropped) {
  // A tall triangle whose wide part lies above the mask: only its tip, two
  // pixels of row 0, may be written.
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(12, 6, 1));
  const TPoint tri[] = {{0, -10}, {10, -10}, {5, 2}};
  m.FillPolygon(1, tri, 3);
  EXPECT_EQ(SetPixels(m), (PixelSet{{4, 0}, {5, 0}}));
  // Below the mask likewise.
  TIEMask n;
  ASSERT_TRUE(n.AllocateBits(12, 6, 8));
  const TPoint low[] = {{0, 4}, {10, 4}, {10, 40}, {0, 40}};
  n.FillPolygon(9, low, 4);
  EXPECT_EQ(SetPixels(n), Block(0, 4, 9, 5));
}

TEST(SelectionMask, ExtremeCoordinates) {
  const int32_t lo = INT32_MIN, hi = INT32_MAX;
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(9, 5, 1));
  const TPoint all[] = {{lo, lo}, {hi, lo}, {hi, hi}, {lo, hi}};
  m.FillPolygon(1, all, 4);
  EXPECT_EQ(SetPixels(m), Block(0, 0, 8, 4));
  ExpectBox(m, 0, 0, 8, 4);
  m.Clear();
  // A sliver crossing the whole range diagonally.
  const TPoint sliver[] = {{lo, lo}, {hi, hi}, {hi - 1, hi}};
  m.FillPolygon(1, sliver, 3);
  EXPECT_LE(SetPixels(m).size(), 5u);
  m.Fill(255);
  m.UpdateBoundingBox();
  int dx = lo, dy = hi;
  m.Translate(dx, dy, true);
  EXPECT_TRUE(SetPixels(m).empty());
  m.Fill(255);
  m.UpdateBoundingBox();
  dx = lo;
  dy = hi;
  m.Translate(dx, dy, false);
  EXPECT_EQ(dx, 0);
  EXPECT_EQ(dy, 0);
  EXPECT_EQ(SetPixels(m).size(), 45u);
}

TEST(SelectionMask, DegeneratePolygonKeepsTheBox) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(10, 10, 1));
  const TPoint line[] = {{1, 1}, {5, 5}, {8, 8}};
  m.FillPolygon(1, line, 3);
  EXPECT_TRUE(m.IsEmpty());
  EXPECT_TRUE(SetPixels(m).empty());
  m.SetPixel(2, 3, 1);
  m.SetPixel(6, 7, 1);
  m.FillPolygon(1, line, 3);
  ExpectBox(m, 2, 3, 6, 7);
  const TPoint flat[] = {{0, 4}, {9, 4}};
  m.FillPolygon(1, flat, 2);
  ExpectBox(m, 2, 3, 6, 7);
}

TEST(SelectionMask, SeveralPolygonsInOneCall) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(12, 6, 1));
  const TPoint pts[] = {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {IEPolygonSeparator, 0},
                        {5, 3}, {8, 3}, {8, 5}, {5, 5}};
  m.FillPolygons(1, pts, 9);
  PixelSet want = Block(0, 0, 1, 1);
  for (const auto& p : Block(5, 3, 7, 4)) want.insert(p);
  EXPECT_EQ(SetPixels(m), want);
  ExpectBox(m, 0, 0, 7, 4);
  EXPECT_FALSE(m.GetFull());
  const TPoint all[] = {{0, 0}, {12, 0}, {12, 6}, {0, 6}};
  m.FillPolygons(1, all, 4);
  EXPECT_TRUE(m.GetFull());
}

TEST(SelectionMask, TranslateMovesClipsOrReduces) {
  for (int bpp : {1, 8}) {
    SCOPED_TRACE(bpp);
    TIEMask m;
    ASSERT_TRUE(m.AllocateBits(20, 10, bpp));
    for (const auto& p : Block(15, 2, 19, 4)) m.SetPixel(p.first, p.second, 255);
    int dx = 5, dy = 0;
    m.Translate(dx, dy, false);  // box touches the right edge: nothing moves
    EXPECT_EQ(dx, 0);
    EXPECT_EQ(SetPixels(m), Block(15, 2, 19, 4));
    dx = -6;
    dy = 3;
    m.Translate(dx, dy, false);
    EXPECT_EQ(dx, -6);
    EXPECT_EQ(SetPixels(m), Block(9, 5, 13, 7));
    ExpectBox(m, 9, 5, 13, 7);
    dx = 0;
    dy = 9;  // reduced to stay inside
    m.Translate(dx, dy, false);
    EXPECT_EQ(dy, 2);
    EXPECT_EQ(SetPixels(m), Block(9, 7, 13, 9));
    dx = -11;
    dy = 0;  // cut: columns moved beyond the left edge are lost
    m.Translate(dx, dy, true);
    EXPECT_EQ(dx, -11);
    EXPECT_EQ(SetPixels(m), Block(0, 7, 2, 9));
    ExpectBox(m, 0, 7, 2, 9);
    dx = 0;
    dy = -30;  // everything leaves the mask
    m.Translate(dx, dy, true);
    EXPECT_TRUE(SetPixels(m).empty());
  }
}

TEST(SelectionMask, InvertResizeAndScaledCopy) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(10, 4, 1));
  m.Invert(1);  // empty box: nothing
  EXPECT_TRUE(SetPixels(m).empty());
  for (const auto& p : Block(0, 0, 9, 1)) m.SetPixel(p.first, p.second, 1);
  m.Invert(1);
  EXPECT_EQ(SetPixels(m), Block(0, 2, 9, 3));
  ExpectBox(m, 0, 2, 9, 3);

  TIEMask g;
  ASSERT_TRUE(g.AllocateBits(4, 2, 8));
  g.SetPixel(1, 1, 77);
  g.Invert(200);
  EXPECT_EQ(g.GetPixel(1, 1), 0);
  EXPECT_EQ(g.GetPixel(0, 0), 200);

  // Resize keeps the top-left corner and clears new areas.
  m.Resize(6, 5);
  EXPECT_EQ(SetPixels(m), Block(0, 2, 5, 3));
  ExpectBox(m, 0, 2, 5, 3);
  m.Resize(12, 5);
  EXPECT_EQ(SetPixels(m), Block(0, 2, 5, 3));

  TIEMask big;
  ASSERT_TRUE(big.AllocateBits(100, 100, 1));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 100; ++x)
      if ((x % 2 == 0) && (y % 2 == 0) && x >= 20 && y >= 40) big.SetPixel(x, y, 1);
  auto half = big.CreateResized(50, 50);
  EXPECT_EQ(SetPixels(*half), Block(10, 20, 49, 49));
  ExpectBox(*half, 10, 20, 49, 49);
}

TEST(SelectionMask, IntersectWithBitmapInsideAndAcrossEdges) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(6, 4, 8));
  m.Fill(255);
  m.UpdateBoundingBox();
  TIEBitmap b;
  ASSERT_TRUE(b.Allocate(3, 3, ie8g));
  b.Fill(100);
  b.GetScanline(1)[1] = 0;
  m.IntersectBitmap(&b, -1, 2, true);  // hangs over the left and bottom edges
  EXPECT_EQ(m.GetPixel(0, 2), 100);
  EXPECT_EQ(m.GetPixel(1, 2), 100);
  EXPECT_EQ(m.GetPixel(0, 3), 0);
  EXPECT_EQ(m.GetPixel(1, 3), 100);
  EXPECT_EQ(m.GetPixel(2, 2), 255);
  EXPECT_FALSE(m.GetFull());

  TIEMask one;
  ASSERT_TRUE(one.AllocateBits(4, 4, 1));
  one.Fill(255);
  one.UpdateBoundingBox();
  one.IntersectBitmap(&b, 1, 1, true);
  EXPECT_EQ(one.GetPixel(2, 2), 0);
  EXPECT_EQ(one.GetPixel(1, 1), 1);
  EXPECT_EQ(SetPixels(one).size(), 15u);
}

std::unique_ptr<TIEBitmap> Solid(int W, int H, TIEPixelFormat F, uint8_t V) {
  auto b = std::make_unique<TIEBitmap>();
  EXPECT_TRUE(b->Allocate(W, H, F));
  for (int y = 0; y < H; ++y) std::memset(b->GetScanline(y), V, size_t(b->GetRowLen()));
  return b;
}

TEST(SelectionMask, CopyBitmapThroughTheMask) {
  // 1-bit mask: set pixels copy the source pixel, others stay.
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(6, 4, 1));
  const TPoint tri[] = {{1, 1}, {5, 1}, {1, 4}};
  m.FillPolygon(1, tri, 3);
  for (TIEPixelFormat f : {ie24RGB, ie8g, ie16g, ieCMYK, ieRGB48, ie1g}) {
    SCOPED_TRACE(int(f));
    auto src = Solid(6, 4, f, 0xFF);
    auto dst = Solid(6, 4, f, 0x00);
    m.CopyBitmap(dst.get(), src.get(), false, false, false);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 6; ++x)
        EXPECT_EQ(dst->GetPixelRGB(x, y).r != 0, m.GetPixel(x, y) != 0) << x << "," << y;
  }
  // Different formats or ie32RGB: nothing is copied.
  auto a = Solid(6, 4, ie24RGB, 0xFF);
  auto g = Solid(6, 4, ie8g, 0);
  m.CopyBitmap(g.get(), a.get(), false, false, false);
  EXPECT_EQ(g->GetScanline(1)[1], 0);

  // Box-origin pieces: the source is a box-sized piece, even a too small one.
  auto piece = Solid(2, 2, ie8g, 50);
  auto whole = Solid(6, 4, ie8g, 0);
  m.CopyBitmap(whole.get(), piece.get(), false, true, false);
  EXPECT_EQ(whole->GetScanline(1)[1], 50);
  EXPECT_EQ(whole->GetScanline(1)[2], 50);
  EXPECT_EQ(whole->GetScanline(1)[3], 0);  // beyond the piece
  EXPECT_EQ(whole->GetScanline(0)[0], 0);

  // 8-bit mask blends d + ((s - d) x m) >> 8 with signed arithmetic.
  TIEMask blend;
  ASSERT_TRUE(blend.AllocateBits(3, 1, 8));
  blend.SetPixel(0, 0, 255);
  blend.SetPixel(1, 0, 128);
  blend.SetPixel(2, 0, 255);
  auto s8 = Solid(3, 1, ie8g, 200);
  s8->GetScanline(0)[2] = 0;
  auto d8 = Solid(3, 1, ie8g, 100);
  d8->GetScanline(0)[2] = 255;
  blend.CopyBitmap(d8.get(), s8.get(), false, false, true);
  EXPECT_EQ(d8->GetScanline(0)[0], 100 + (100 * 255 >> 8));  // 199
  EXPECT_EQ(d8->GetScanline(0)[1], 150);
  EXPECT_EQ(d8->GetScanline(0)[2], 0);  // -255 x 255 >> 8 = -255
  // Alpha: min(source alpha (255 without a plane), mask value).
  ASSERT_TRUE(d8->HasAlphaChannel());
  EXPECT_EQ(d8->GetAlpha(0, 0), 255);
  EXPECT_EQ(d8->GetAlpha(1, 0), 128);
  EXPECT_FALSE(d8->GetAlphaChannel()->GetFull());

  // With a source alpha plane, and 0 where the mask is not set.
  TIEMask hole;
  ASSERT_TRUE(hole.AllocateBits(3, 1, 1));
  hole.SetPixel(0, 0, 1);
  hole.SetPixel(2, 0, 1);
  auto sa = Solid(3, 1, ie24RGB, 10);
  sa->SetAlpha(0, 0, 40);
  auto da = Solid(3, 1, ie24RGB, 20);
  hole.CopyAlpha(da.get(), sa.get(), false, false);
  EXPECT_EQ(da->GetAlpha(0, 0), 40);
  EXPECT_EQ(da->GetAlpha(1, 0), 0);
  EXPECT_EQ(da->GetAlpha(2, 0), 255);
}

TEST(SelectionMask, ScaleMaskRectFillsOnlyTheBox) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(8, 8, 8));
  for (const auto& p : Block(2, 2, 5, 5)) m.SetPixel(p.first, p.second, 9);
  std::vector<uint8_t> out(16 * 16, 0xEE);
  IEScaleMaskRect(8, out.data(), 16, 16, m.GetBits(), 8, 8, m.GetX1(), m.GetY1(), m.GetX2(),
                  m.GetY2(), 0, 0, 8, 8);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint8_t v = out[size_t(16 - y - 1) * 16 + x];  // bottom-up rows
      const bool in = x / 2 >= 2 && x / 2 <= 5 && y / 2 >= 2 && y / 2 <= 5;
      EXPECT_EQ(v, in ? 9 : 0) << x << "," << y;
    }
}

TEST(SelectionMask, DrawingOnPlatformBitmaps) {
  TIEMask m;
  ASSERT_TRUE(m.AllocateBits(10, 10, 1));
  const TPoint sq[] = {{2, 2}, {8, 2}, {8, 8}, {2, 8}};
  m.FillPolygon(1, sq, 4);  // pixels 2..7

  // Everything outside the selection gets the 50 % gray stipple.
  TBitmap bmp;
  bmp.SetPixelFormat(pf24bit);
  bmp.SetSize(10, 10);
  for (int y = 0; y < 10; ++y) std::memset(bmp.GetScanLine(y), 200, 30);
  m.DrawMarkOuter(&bmp, 0, 0, 10, 10, 0, 0, 10, 10, -1, clWhite);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const uint8_t v = bmp.GetScanLine(y)[x * 3];
      const bool inside = x >= 2 && x <= 7 && y >= 2 && y <= 7;
      EXPECT_EQ(v, inside || (x & 1) != (y & 1) ? 200 : 97) << x << "," << y;
    }
  // A blend with opacity 255 paints the colour outside.
  for (int y = 0; y < 10; ++y) std::memset(bmp.GetScanLine(y), 200, 30);
  m.DrawMarkOuter(&bmp, 0, 0, 10, 10, 0, 0, 10, 10, 255, TColor(0x0000FF));
  EXPECT_EQ(bmp.GetScanLine(0)[2], 255);  // red byte of a BGR pixel
  EXPECT_EQ(bmp.GetScanLine(0)[0], 0);
  EXPECT_EQ(bmp.GetScanLine(5)[5 * 3], 200);
  // A destination that starts at the far negative end lies wholly outside.
  for (int y = 0; y < 10; ++y) std::memset(bmp.GetScanLine(y), 200, 30);
  m.DrawMarkOuter(&bmp, INT32_MIN, INT32_MIN, 10, 10, 0, 0, 10, 10, -1, clWhite);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 30; ++x) EXPECT_EQ(bmp.GetScanLine(y)[x], 200) << x << "," << y;

  // The outline: only the border pixels of the selection are drawn.
  TBitmap canvasBmp;
  canvasBmp.SetPixelFormat(pf24bit);
  canvasBmp.SetSize(10, 10);
  for (int y = 0; y < 10; ++y) std::memset(canvasBmp.GetScanLine(y), 128, 30);
  TRect inner;
  m.DrawOutline(canvasBmp.GetCanvas(), TRect{0, 0, 10, 10}, TRect{0, 0, 10, 10}, clBlack,
                clWhite, 0, &inner);
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 10; ++x) {
      const uint8_t v = canvasBmp.GetScanLine(y)[x * 3];
      const bool border = (x == 2 || x == 7 || y == 2 || y == 7) && x >= 2 && x <= 7 &&
                          y >= 2 && y <= 7;
      if (!border) {
        EXPECT_EQ(v, 128) << x << "," << y;
      } else {
        EXPECT_EQ(v, ((x + y) & 4) ? 0 : 255) << x << "," << y;
      }
    }
  EXPECT_EQ(inner, (TRect{3, 3, 6, 6}));

  // A view that shows only columns 0..4 cuts the box: no outline along the
  // cut, the other edges as before.
  for (int y = 0; y < 10; ++y) std::memset(canvasBmp.GetScanLine(y), 128, 30);
  m.DrawOutline(canvasBmp.GetCanvas(), TRect{0, 0, 5, 10}, TRect{0, 0, 5, 10}, clBlack, clWhite,
                0);
  EXPECT_EQ(canvasBmp.GetScanLine(5)[4 * 3], 128);  // along the cut
  EXPECT_NE(canvasBmp.GetScanLine(5)[2 * 3], 128);  // left edge
  EXPECT_NE(canvasBmp.GetScanLine(2)[4 * 3], 128);  // top edge
  EXPECT_EQ(canvasBmp.GetScanLine(5)[5 * 3], 128);  // outside the destination
  // Zoomed 2:1 the outline is one canvas pixel wide.
  for (int y = 0; y < 10; ++y) std::memset(canvasBmp.GetScanLine(y), 128, 30);
  m.DrawOutline(canvasBmp.GetCanvas(), TRect{0, 0, 10, 10}, TRect{0, 0, 5, 5}, clBlack, clWhite,
                0);
  EXPECT_NE(canvasBmp.GetScanLine(4)[4 * 3], 128);
  EXPECT_EQ(canvasBmp.GetScanLine(6)[6 * 3], 128);
  EXPECT_EQ(canvasBmp.GetScanLine(9)[9 * 3], 128);

  // Inverting draw: set pixels invert the canvas.
  for (int y = 0; y < 10; ++y) std::memset(canvasBmp.GetScanLine(y), 0x30, 30);
  m.StretchDrawInvert(canvasBmp.GetCanvas(), 0, 0, 10, 10, 0, 0, 10, 10);
  EXPECT_EQ(canvasBmp.GetScanLine(4)[4 * 3], 0xCF);
  EXPECT_EQ(canvasBmp.GetScanLine(0)[0], 0x30);
}

}  // namespace
