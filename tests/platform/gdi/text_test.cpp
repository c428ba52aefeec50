// Fonts and text: extents, the LOGFONT record, rotated text, DrawText layout.
#include <gtest/gtest.h>

#include <cstring>

#include "gdi_test_util.h"
#include "platform/gdi/canvas.h"

using namespace gditest;

TEST(Font, LogFontRecordRoundTrip) {
  TFont f;
  f.SetName("DejaVu Sans");
  f.SetHeight(-20);
  f.SetStyle(FontStyleBit(fsBold) | FontStyleBit(fsUnderline));
  f.SetOrientation(450);
  f.SetCharset(EASTEUROPE_CHARSET);
  LOGFONT lf = f.GetLogFont();
  EXPECT_EQ(lf.lfHeight, -20);
  EXPECT_EQ(lf.lfEscapement, 450);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(lf.lfUnderline, 1);
  EXPECT_EQ(lf.lfItalic, 0);
  EXPECT_EQ(lf.lfCharSet, EASTEUROPE_CHARSET);
  EXPECT_STREQ(lf.lfFaceName, "DejaVu Sans");
  // The record is stored byte for byte (60 bytes, height first, name last).
  uint8_t raw[60];
  std::memcpy(raw, &lf, 60);
  EXPECT_EQ(raw[0], 0xEC);  // -20
  EXPECT_EQ(raw[8], 0xC2);  // 450 = 0x1C2
  EXPECT_EQ(raw[28], 'D');
  TFont g;
  LOGFONT back;
  std::memcpy(&back, raw, 60);
  back.lfWeight = 650;  // below bold: not bold
  back.lfItalic = 1;
  g.SetLogFont(back);
  EXPECT_EQ(g.GetName(), "DejaVu Sans");
  EXPECT_EQ(g.GetHeight(), -20);
  EXPECT_EQ(g.GetOrientation(), 450);
  EXPECT_EQ(g.GetStyle(), FontStyleBit(fsItalic) | FontStyleBit(fsUnderline));
  // A face name filling all 32 bytes without a terminator is read safely.
  std::memset(back.lfFaceName, 'A', sizeof back.lfFaceName);
  g.SetLogFont(back);
  EXPECT_EQ(g.GetName(), std::string(32, 'A'));
}

TEST(Font, SizeAndHeightFollowPixelsPerInch) {
  TFont f;
  f.SetPixelsPerInch(96);
  f.SetSize(12);
  EXPECT_EQ(f.GetHeight(), -16);
  EXPECT_EQ(f.GetSize(), 12);
  f.SetPixelsPerInch(120);
  EXPECT_EQ(f.GetSize(), 10);  // same pixels, more dots per inch
}

TEST(Text, ExtentsAndInk) {
  for (TPixelFormat pf : {pf1bit, pf8bit, pf24bit, pf32bit}) {
    auto b = MakeBitmap(pf, 200, 60);
    TCanvas* cv = b->GetCanvas();
    cv->GetFont()->SetName("DejaVu Sans");
    cv->GetFont()->SetHeight(-24);
    cv->GetFont()->SetColor(clBlack);
    cv->GetBrush()->SetStyle(bsClear);
    const TSize e = cv->TextExtent("Hello");
    EXPECT_GT(e.cx, 20) << FormatName(pf);
    EXPECT_GE(e.cy, 24);
    EXPECT_EQ(cv->TextWidth("Hello Hello") > e.cx, true);
    cv->TextOut(10, 10, "Hello");
    const Box ink = InkBox(*b, clWhite);
    ASSERT_FALSE(ink.Empty()) << FormatName(pf);
    EXPECT_GE(ink.Left, 10);
    EXPECT_LE(ink.Right, 10 + e.cx + 2);
    EXPECT_GE(ink.Top, 10);
    EXPECT_LE(ink.Bottom, 10 + e.cy);
    EXPECT_EQ(cv->GetPenPos(), Point(10 + e.cx, 10));
  }
}

TEST(Text, EscapementTurnsTheText) {
  auto draw = [](int32_t escapement) {
    auto b = MakeBitmap(pf24bit, 200, 200);
    TCanvas* cv = b->GetCanvas();
    LOGFONT lf = cv->GetFont()->GetLogFont();
    lf.lfHeight = -20;
    lf.lfEscapement = escapement;
    std::strcpy(lf.lfFaceName, "DejaVu Sans");
    cv->GetFont()->SetLogFont(lf);
    cv->GetFont()->SetColor(clBlack);
    cv->GetBrush()->SetStyle(bsClear);
    cv->TextOut(100, 100, "Rotated text");
    return InkBox(*b, clWhite);
  };
  const Box flat = draw(0), up = draw(900), down = draw(2700);
  ASSERT_FALSE(flat.Empty());
  ASSERT_FALSE(up.Empty());
  EXPECT_GT(flat.Width(), 3 * flat.Height());
  EXPECT_GT(up.Height(), 3 * up.Width());
  // Counter-clockwise: at 90 degrees the text runs upwards from its origin.
  EXPECT_LE(up.Bottom, 100);
  EXPECT_GE(down.Top, 100);
}

TEST(Text, OpaqueBackgroundAndTextRect) {
  auto b = MakeBitmap(pf32bit, 100, 40);
  TCanvas* cv = b->GetCanvas();
  cv->GetFont()->SetColor(clBlack);
  cv->GetBrush()->SetColor(clYellow);  // solid: the cell gets the brush colour
  cv->TextOut(0, 0, "ab");
  const TSize e = cv->TextExtent("ab");
  int yellow = 0;
  for (int y = 0; y < e.cy; ++y)
    for (int x = 0; x < e.cx; ++x) yellow += b->GetPixelColor(x, y) == clYellow;
  EXPECT_GT(yellow, e.cx * e.cy / 2);
  EXPECT_EQ(b->GetPixelColor(e.cx + 2, 2), clWhite);
  // TextRect fills and clips to its rectangle.
  cv->GetBrush()->SetColor(clAqua);
  cv->TextRect(Rect(50, 0, 60, 10), 45, 0, "WWWWWW");
  const Box ink = InkBox(*b, clWhite);
  int aqua = 0;
  for (int y = 0; y < 10; ++y)
    for (int x = 50; x < 60; ++x) aqua += b->GetPixelColor(x, y) == clAqua;
  EXPECT_GT(aqua, 10);
  EXPECT_LE(ink.Right, 59);
  EXPECT_EQ(b->GetPixelColor(55, 12), clWhite);
}

TEST(Text, DrawTextLayout) {
  auto b = MakeBitmap(pf32bit, 200, 100);
  TCanvas* cv = b->GetCanvas();
  cv->GetFont()->SetName("DejaVu Sans");
  cv->GetFont()->SetHeight(-12);
  const int lineH = cv->TextHeight("X");
  TRect r = Rect(0, 0, 60, 0);
  const int h = DrawText(cv, "one two three four five six", -1, r, DT_CALCRECT | DT_WORDBREAK);
  EXPECT_GT(h, lineH);  // wrapped over several lines
  EXPECT_EQ(h % lineH, 0);
  EXPECT_LE(r.Right, 60);
  EXPECT_EQ(r.Bottom, h);
  TRect one = Rect(0, 0, 0, 0);
  DrawText(cv, "&File", -1, one, DT_CALCRECT | DT_SINGLELINE);
  EXPECT_EQ(one.Right, cv->TextWidth("File"));
  EXPECT_EQ(one.Bottom, lineH);
  TRect np = Rect(0, 0, 0, 0);
  DrawText(cv, "&File", -1, np, DT_CALCRECT | DT_NOPREFIX);
  EXPECT_EQ(np.Right, cv->TextWidth("&File"));
  TRect part = Rect(0, 0, 0, 0);
  DrawText(cv, "abcdef", 3, part, DT_CALCRECT);
  EXPECT_EQ(part.Right, cv->TextWidth("abc"));
  // Right alignment and ellipsis stay inside the box.
  TRect box = Rect(20, 20, 120, 40);
  cv->GetBrush()->SetStyle(bsClear);
  DrawText(cv, "a very long caption that cannot fit", -1, box, DT_RIGHT | DT_SINGLELINE | DT_END_ELLIPSIS);
  const Box ink = InkBox(*b, clWhite);
  ASSERT_FALSE(ink.Empty());
  EXPECT_GE(ink.Left, 20);
  EXPECT_LE(ink.Right, 119);
}

TEST(Text, AlignmentMovesTheReferencePoint) {
  auto draw = [](uint32_t align) {
    auto b = MakeBitmap(pf24bit, 200, 80);
    TCanvas* cv = b->GetCanvas();
    cv->GetFont()->SetName("DejaVu Sans");
    cv->GetFont()->SetHeight(-20);
    cv->GetFont()->SetColor(clBlack);
    cv->GetBrush()->SetStyle(bsClear);
    SetTextAlign(cv, align);
    cv->TextOut(100, 40, "HHH");
    return InkBox(*b, clWhite);
  };
  const Box top = draw(TA_LEFT | TA_TOP), base = draw(TA_BASELINE), right = draw(TA_RIGHT | TA_BOTTOM),
            centre = draw(TA_CENTER | TA_BASELINE);
  EXPECT_GE(top.Top, 40);
  EXPECT_EQ(base.Bottom, 39) << "capitals end on the baseline";
  EXPECT_LE(right.Right, 100);
  EXPECT_LT(right.Bottom, 40);
  EXPECT_LT(centre.Left, 100);
  EXPECT_GT(centre.Right, 100);
}
