// Window-bound helpers: mouse button, clipboard retries, dialog placement,
// scroll-bar calls, text measures, 3-D frames, dimming and colour tables.
#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <thread>

#include "foundations/image_buffer.h"
#include "foundations/settings.h"
#include "views/window_helpers.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/threads.h"
#include "platform/vcl/clipboard.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/keys.h"

namespace {

TEST(WindowHelpers, ViewParameterObjectsStartWithTheirDefaults) {
  TIEScrollBarParams S;
  EXPECT_EQ(S.LineStep, -1);
  EXPECT_EQ(S.PageStep, -1);
  EXPECT_TRUE(S.Tracking);
  TIEMouseWheelParams W;
  EXPECT_FALSE(W.InvertDirection);
  EXPECT_EQ(W.Action, 2);
  EXPECT_EQ(W.Variation, 1);
  EXPECT_EQ(W.Value, 8);
  EXPECT_FALSE(W.ZoomAtCursor);
}

TEST(WindowHelpers, PrimaryMouseButtonIsTheLeftOneUnlessSwapped) {
  ASSERT_EQ(GetSystemMetrics(SM_SWAPBUTTON), 0);
  struct Case {
    TShiftState Buttons;
    bool Down;
  };
  for (const Case& C : {Case{0, false}, Case{ssLeft, true}, Case{ssRight, false}, Case{ssMiddle, false},
                        Case{ssLeft | ssRight, true}}) {
    VclSetInputState(0, C.Buttons);
    EXPECT_EQ(IEIsPrimaryMouseButtonDown(), C.Down) << int(C.Buttons);
  }
  VclSetInputState(0, 0);
}

TEST(WindowHelpers, OpenClipboardTriesTenTimes) {
  // Held by another program for some attempts: a later try succeeds while
  // one of the ten is left.
  struct Case {
    int32_t Busy;
    bool Opened;
    int32_t Left;
  };
  for (const Case& C : {Case{0, true, 0}, Case{1, true, 0}, Case{9, true, 0}, Case{10, false, 0}, Case{12, false, 2}}) {
    VclSetClipboardBusy(C.Busy);
    EXPECT_EQ(IEOpenClipboard(), C.Opened) << C.Busy;
    EXPECT_EQ(VclClipboardBusyLeft(), C.Left) << C.Busy;
    if (C.Opened) {
      EXPECT_TRUE(CloseClipboard());
    }
    VclSetClipboardBusy(0);
  }
  // Held by another thread throughout: every try fails; once it lets go the
  // clipboard opens.
  TEvent Opened, Release;
  std::thread Holder([&] {
    OpenClipboard(0);
    Opened.SetEvent();
    Release.WaitFor();
    CloseClipboard();
  });
  Opened.WaitFor();
  EXPECT_FALSE(IEOpenClipboard());
  Release.SetEvent();
  Holder.join();
  EXPECT_TRUE(IEOpenClipboard());
  EXPECT_TRUE(CloseClipboard());
}

TEST(WindowHelpers, DialogPlacementCentresAndTakesAThirdTruncatingTowardZero) {
  struct Case {
    TRect Monitor;
    TSize Window;
    TPoint At;
  };
  const Case Cases[] = {
      {{0, 0, 800, 800}, {200, 100}, {300, 233}},
      {{1600, -200, 3520, 880}, {400, 300}, {2360, 60}},
      {{0, 0, 800, 800}, {801, 805}, {0, -1}},  // -1 div 2 = 0, -5 div 3 = -1 (not -2)
      {{-1024, 0, 0, 768}, {1024, 768}, {-1024, 0}},
  };
  for (const Case& C : Cases) {
    const TPoint P = IEDialogPlacement(C.Monitor, C.Window);
    EXPECT_EQ(P.X, C.At.X) << C.Monitor.Left << "," << C.Window.cx;
    EXPECT_EQ(P.Y, C.At.Y) << C.Monitor.Top << "," << C.Window.cy;
  }
}

QWidget* GHookedWindow = nullptr;
int GHookCalls = 0;
bool RecordingHook(QWidget* W) {
  GHookedWindow = W;
  ++GHookCalls;
  return false;
}

TEST(WindowHelpers, PlaceDialogOnTheFirstMonitorOrThroughTheHook) {
  QScreen* First = QGuiApplication::screens().value(0);
  ASSERT_NE(First, nullptr);
  const QRect G = First->geometry();
  ASSERT_EQ(IEPlaceDialogHook, nullptr);

  QWidget Plain;
  Plain.resize(200, 100);
  Plain.move(5, 7);
  EXPECT_TRUE(IEPlaceDialogOnMonitor(&Plain));
  EXPECT_EQ(Plain.frameGeometry().topLeft(),
            QPoint(G.left() + (G.width() - Plain.frameGeometry().width()) / 2,
                   G.top() + (G.height() - Plain.frameGeometry().height()) / 3));
  EXPECT_EQ(Plain.size(), QSize(200, 100));

  TForm Form(nullptr);
  Form.SetBounds(3, 4, 300, 150);
  EXPECT_TRUE(IEPlaceDialogOnMonitor(Form.GetHandle()));
  EXPECT_EQ(Form.GetLeft(), G.left() + (G.width() - 300) / 2);
  EXPECT_EQ(Form.GetTop(), G.top() + (G.height() - 150) / 3);
  EXPECT_EQ(Form.GetWidth(), 300);
  EXPECT_EQ(Form.GetHeight(), 150);
  EXPECT_FALSE(IEPlaceDialogOnMonitor(static_cast<QWidget*>(nullptr)));
  EXPECT_FALSE(IEPlaceDialogOnMonitor(HWND(0)));

  // With a hook the hook decides and the window stays where it is.
  IEPlaceDialogHook = RecordingHook;
  Plain.move(11, 13);
  Form.SetBounds(3, 4, 300, 150);
  EXPECT_FALSE(IEPlaceDialogOnMonitor(&Plain));
  EXPECT_EQ(GHookedWindow, &Plain);
  EXPECT_FALSE(IEPlaceDialogOnMonitor(Form.GetHandle()));
  EXPECT_EQ(GHookedWindow, Form.GetWidget());
  EXPECT_EQ(GHookCalls, 2);
  IEPlaceDialogHook = nullptr;
  EXPECT_EQ(Plain.pos(), QPoint(11, 13));
  EXPECT_EQ(Form.GetLeft(), 3);
  EXPECT_EQ(Form.GetTop(), 4);
}

TEST(WindowHelpers, ScrollBarCallsReachPlainAndFlatBars) {
  TForm Form(nullptr);
  Form.SetBounds(0, 0, 400, 300);
  auto* View = new TCustomControl(&Form);
  View->SetParent(&Form);
  View->SetBounds(0, 0, 200, 100);
  const HWND H = View->GetHandle();
  for (bool Flat : {false, true}) {
    SCOPED_TRACE(Flat ? "flat" : "plain");
    IESetScrollInfo(H, SB_VERT, 0, 99, 10, 50, true, Flat);
    TScrollInfo I;
    I.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(H, SB_VERT, I));
    EXPECT_EQ(I.nMin, 0);
    EXPECT_EQ(I.nMax, 99);
    EXPECT_EQ(I.nPage, 10u);
    EXPECT_EQ(I.nPos, 50);
    EXPECT_TRUE(View->ScrollBarState(SB_VERT).Visible);
    // The position alone, clamped to max - page + 1.
    IESetScrollPos(H, SB_VERT, 500, true, Flat);
    EXPECT_EQ(GetScrollPos(H, SB_VERT), 90);
    // The range alone keeps the page.
    IESetScrollRange(H, SB_VERT, 10, 49, true, Flat);
    ASSERT_TRUE(GetScrollInfo(H, SB_VERT, I));
    EXPECT_EQ(I.nMin, 10);
    EXPECT_EQ(I.nMax, 49);
    EXPECT_EQ(I.nPage, 10u);
    IEEnableScrollBar(H, SB_VERT, ESB_DISABLE_BOTH, Flat);
    EXPECT_FALSE(View->ScrollBarState(SB_VERT).Enabled);
    IEEnableScrollBar(H, SB_VERT, ESB_ENABLE_BOTH, Flat);
    EXPECT_TRUE(View->ScrollBarState(SB_VERT).Enabled);
    IEShowScrollBar(H, SB_VERT, false, Flat);
    EXPECT_FALSE(View->ScrollBarState(SB_VERT).Visible);
    EXPECT_EQ(View->GetClientWidth(), 200);
    IEShowScrollBar(H, SB_VERT, true, Flat);
    EXPECT_EQ(View->GetClientWidth(), 200 - VclScrollBarSize);
    IEShowScrollBar(H, SB_VERT, false, Flat);
  }
  // An unknown handle is ignored.
  IESetScrollInfo(0, SB_VERT, 0, 9, 1, 1, true, false);
  IEShowScrollBar(0, SB_HORZ, true, true);
}

TEST(WindowHelpers, SixteenBitTextMeasuresLikeItsUtf8) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(50, 20);
  TCanvas* C = B.GetCanvas();
  for (const auto& [Wide, Utf8] : {std::pair<std::u16string, std::string>{u"Fax page 12", "Fax page 12"},
                                   {u"\u00C4rger \u00FC", "\xC3\x84rger \xC3\xBC"},
                                   {u"\U0001D11E!", "\xF0\x9D\x84\x9E!"},
                                   {u"", ""}}) {
    EXPECT_EQ(IETextWidthW(C, Wide), C->TextWidth(Utf8)) << Utf8;
    EXPECT_EQ(IETextHeightW(C, Wide), C->TextHeight(Utf8)) << Utf8;
  }
  EXPECT_GT(IETextWidthW(C, u"WWW"), IETextWidthW(C, u"W"));
  EXPECT_EQ(IETextWidthW(nullptr, u"x"), 0);
  EXPECT_EQ(IETextHeightW(nullptr, u"x"), 0);
}

// The colour of every pixel of a small bitmap as a character map.
std::vector<std::string> ColourMap(const TBitmap& B, const std::map<TColor, char>& Names) {
  std::vector<std::string> Rows;
  for (int y = 0; y < B.GetHeight(); ++y) {
    std::string Row;
    for (int x = 0; x < B.GetWidth(); ++x) {
      auto It = Names.find(B.GetPixelColor(x, y));
      Row += It == Names.end() ? '?' : It->second;
    }
    Rows.push_back(Row);
  }
  return Rows;
}

TEST(WindowHelpers, ThreeDFrameDrawsTheEdgesWithGdiLineEnds) {
  TBitmap B;
  B.SetPixelFormat(pf24bit);
  B.SetSize(7, 6);
  TCanvas* C = B.GetCanvas();
  C->GetBrush()->SetColor(clWhite);
  C->FillRect(TRect{0, 0, 7, 6});
  // Whatever pen the canvas had, the frame is 1 pixel, solid and copied.
  C->GetPen()->SetMode(pmXor);
  C->GetPen()->SetStyle(psDot);
  C->GetPen()->SetWidth(3);
  const TColor Light = 0x0000FF, Dark = 0xFF0000;
  IEDraw3DFrame(C, 1, 1, 5, 4, Light, Dark);
  const std::vector<std::string> Expected = {
      ".......",  //
      ".LLLL..",  // (5, 1) is the end of both last lines: never drawn
      ".L...D.",  //
      ".L...D.",  //
      ".DDDDD.",  // the bottom edge overdraws the left edge's first pixel
      ".......",
  };
  EXPECT_EQ(ColourMap(B, {{clWhite, '.'}, {Light, 'L'}, {Dark, 'D'}}), Expected);
  EXPECT_EQ(C->GetPen()->GetMode(), pmCopy);
  IEDraw3DFrame(nullptr, 0, 0, 1, 1, Light, Dark);  // no canvas: nothing
}

// Fills a bitmap with one colour.
void Fill(TBitmap& B, TColor Colour) {
  B.GetCanvas()->GetBrush()->SetColor(Colour);
  B.GetCanvas()->FillRect(TRect{0, 0, B.GetWidth(), B.GetHeight()});
}

TEST(WindowHelpers, DimOutsideRectDarkensEachPixelOutsideOnceAndStaysInsideOuter) {
  const TColor Base = 0x3264C8;    // red 200, green 100, blue 50
  const TColor Dimmed = 0x152952;  // 82, 41, 21: 105/255 of each channel, rounded
  struct Case {
    TRect Outer, Inner;
    std::vector<std::string> Map;
  };
  const Case Cases[] = {
      {{0, 0, 8, 6}, {2, 2, 5, 4}, {"dddddddd", "dddddddd", "dd...ddd", "dd...ddd", "dddddddd", "dddddddd"}},
      // Inner reaching out of Outer: only Outer's part around it darkens.
      {{1, 1, 6, 5}, {3, -3, 10, 3}, {"........", ".dd.....", ".dd.....", ".ddddd..", ".ddddd..", "........"}},
      // Outer beyond the bitmap is cut at its edges.
      {{-5, -5, 20, 20}, {1, 1, 7, 5}, {"dddddddd", "d......d", "d......d", "d......d", "d......d", "dddddddd"}},
      // An empty inner rectangle: nothing.
      {{0, 0, 8, 6}, {3, 3, 3, 5}, {"........", "........", "........", "........", "........", "........"}},
  };
  for (const Case& K : Cases) {
    TBitmap B;
    B.SetPixelFormat(pf32bit);
    B.SetSize(8, 6);
    Fill(B, Base);
    IEDimOutsideRect(B.GetCanvas(), K.Outer, K.Inner);
    EXPECT_EQ(ColourMap(B, {{Base, '.'}, {Dimmed, 'd'}}), K.Map) << K.Inner.Left << "," << K.Inner.Top;
  }
  // An 8-bit gray page maps to the nearest entry of its table.
  TBitmap Gray;
  Gray.SetPixelFormat(pf8bit);
  Gray.SetSize(4, 3);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) Gray.GetScanLine(y)[x] = 200;
  IEDimOutsideRect(Gray.GetCanvas(), TRect{0, 0, 4, 3}, TRect{1, 1, 3, 2});
  EXPECT_EQ(Gray.GetScanLine(0)[0], 82);
  EXPECT_EQ(Gray.GetScanLine(1)[1], 200);
  EXPECT_EQ(Gray.GetScanLine(1)[3], 82);
  IEDimOutsideRect(nullptr, TRect{0, 0, 4, 3}, TRect{1, 1, 3, 2});
}

TEST(WindowHelpers, GrayColourTablesOfPlatformBitmaps) {
  TBitmap B8;
  B8.SetPixelFormat(pf8bit);
  B8.SetSize(4, 4);
  std::vector<TRGBQuad> Table(256);
  for (int i = 0; i < 256; ++i)
    Table[size_t(i)] = TRGBQuad{uint8_t(7), uint8_t(255 - i), uint8_t(i), 0};  // blue, green, red
  B8.SetColorTable(Table);
  EXPECT_FALSE(IEIsGrayColorTable(&B8));

  // Into an ie8p image's palette, entry by entry.
  TIEBitmap Image(4, 4, ie8p);
  ASSERT_EQ(Image.GetPaletteLen(), 256);
  IECopyColorTableToPalette(&B8, &Image);
  for (int i : {0, 1, 128, 255}) {
    const TRGB P = Image.GetPaletteColor(i);
    EXPECT_EQ(P.r, i);
    EXPECT_EQ(P.g, 255 - i);
    EXPECT_EQ(P.b, 7);
  }
  // Other formats on either side: nothing changes.
  TIEBitmap Rgb(4, 4, ie24RGB);
  IECopyColorTableToPalette(&B8, &Rgb);
  IECopyColorTableToPalette(&B8, nullptr);

  IESetGrayColorTable(&B8);
  EXPECT_TRUE(IEIsGrayColorTable(&B8));
  B8.SetColorTableEntry(77, TRGBQuad{77, 77, 78, 0});
  EXPECT_FALSE(IEIsGrayColorTable(&B8));

  TBitmap B24, B1;
  B24.SetPixelFormat(pf24bit);
  B24.SetSize(2, 2);
  IESetGrayColorTable(&B24);
  EXPECT_FALSE(IEIsGrayColorTable(&B24));  // no table at all
  EXPECT_EQ(B24.GetPixelFormat(), pf24bit);
  B1.SetPixelFormat(pf1bit);
  B1.SetSize(2, 2);
  EXPECT_FALSE(IEIsGrayColorTable(&B1));  // black, white
  IESetGrayColorTable(&B1);
  EXPECT_EQ(B1.GetColorTableSize(), 2);
  EXPECT_FALSE(IEIsGrayColorTable(nullptr));
}

}  // namespace
