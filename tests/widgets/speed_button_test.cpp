#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>
#include <cstdio>
#include <string>

#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/speed_button.h"
#include "widgets/theming.h"
#include "widgets/widget_classes.h"

namespace {

// A W x H bitmap of Fill with a Mark square of 4 x 4 at the left top of each
// H-wide image.
std::unique_ptr<TBitmap> MakeGlyph(int32_t W, int32_t H, TColor Fill, TColor Mark) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  B->GetCanvas()->GetBrush()->SetColor(Fill);
  B->GetCanvas()->FillRect(Rect(0, 0, W, H));
  B->GetCanvas()->GetBrush()->SetColor(Mark);
  for (int32_t X = 0; X + 4 <= W; X += H) B->GetCanvas()->FillRect(Rect(X + 2, 2, X + 6, 6));
  return B;
}

void Pump(int32_t Ms) {
  QElapsedTimer T;
  T.start();
  while (T.elapsed() < Ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct SpeedTest : ::testing::Test {
  SpeedTest() {
    SetThemesEnabled(false);
    F.SetBounds(0, 0, 300, 200);
    F.SetColor(clBtnFace);
  }
  ~SpeedTest() override { SetThemesEnabled(true); }
  TOxSpeedButton* Add(int32_t X, int32_t Y, int32_t W = 28, int32_t H = 28) {
    auto* B = new TOxSpeedButton(&F);
    B->SetParent(&F);
    B->SetBounds(X, Y, W, H);
    return B;
  }
  void Show() {
    F.Show();
    F.GetWidget()->activateWindow();
    QApplication::processEvents();
  }
  TForm F{nullptr};
};

TEST_F(SpeedTest, GroupLatchesOneButtonAndKeepsItDownWithoutAllowAllUp) {
  auto* A = Add(0, 0);
  auto* B = Add(30, 0);
  auto* Loose = Add(60, 0);
  A->SetGroupIndex(1);
  B->SetGroupIndex(1);
  Show();
  int32_t Clicks = 0;
  A->OnClick = [&](TObject*) { ++Clicks; };
  SendClick(A->GetWidget(), QPoint(5, 5));
  EXPECT_TRUE(A->GetDown());
  EXPECT_EQ(A->GetButtonState(), sbsExclusive);
  SendClick(A->GetWidget(), QPoint(5, 5));
  EXPECT_TRUE(A->GetDown()) << "a grouped button without AllowAllUp stays down";
  EXPECT_EQ(Clicks, 2);
  SendClick(B->GetWidget(), QPoint(5, 5));
  EXPECT_TRUE(B->GetDown());
  EXPECT_FALSE(A->GetDown());
  EXPECT_EQ(A->GetButtonState(), sbsUp);
  Loose->SetDown(true);
  EXPECT_FALSE(Loose->GetDown()) << "no group, no latch";
  // With AllowAllUp (copied to the whole group) a second click releases.
  B->SetAllowAllUp(true);
  EXPECT_TRUE(A->GetAllowAllUp());
  SendClick(B->GetWidget(), QPoint(5, 5));
  EXPECT_FALSE(B->GetDown());
  // The bottom row still counts as inside for the release.
  SendMouse(A->GetWidget(), QEvent::MouseButtonPress, QPoint(3, 3), Qt::LeftButton, Qt::LeftButton);
  SendMouse(A->GetWidget(), QEvent::MouseButtonRelease, QPoint(3, A->GetClientHeight()), Qt::LeftButton,
            Qt::NoButton);
  EXPECT_TRUE(A->GetDown());
}

TEST_F(SpeedTest, PressStatesFollowThePointerWhileHeld) {
  auto* A = Add(10, 10);
  Show();
  SendMouse(A->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(A->GetButtonState(), sbsDown);
  SendMouse(A->GetWidget(), QEvent::MouseMove, QPoint(60, 5), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(A->GetButtonState(), sbsUp);
  SendMouse(A->GetWidget(), QEvent::MouseMove, QPoint(5, 5), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(A->GetButtonState(), sbsDown);
  int32_t Clicks = 0;
  A->OnClick = [&](TObject*) { ++Clicks; };
  SendMouse(A->GetWidget(), QEvent::MouseButtonRelease, QPoint(60, 5), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(A->GetButtonState(), sbsUp);
  EXPECT_EQ(Clicks, 0) << "released outside: no click";
}

TEST_F(SpeedTest, GlyphCountFollowsTheBitmapShape) {
  struct Case {
    int32_t W, H, Before, After;
  };
  for (const Case& C : {Case{64, 16, 1, 4}, Case{96, 16, 1, 1}, Case{50, 16, 3, 3}, Case{32, 16, 1, 2}}) {
    TOxxButtonGlyph G;
    G.SetNumGlyphs(static_cast<uint8_t>(C.Before));
    auto B = MakeGlyph(C.W, C.H, clFuchsia, clRed);
    G.SetGlyph(B.get());
    EXPECT_EQ(G.GetNumGlyphs(), C.After) << C.W << " x " << C.H;
  }
  TOxxButtonGlyph G;
  G.SetNumGlyphs(9);
  EXPECT_EQ(G.GetNumGlyphs(), 5);
  G.SetNumGlyphs(0);
  EXPECT_EQ(G.GetNumGlyphs(), 5);
}

TEST_F(SpeedTest, StateImagesPickTheirSideBySideImageAndShareLists) {
  TOxxButtonGlyph G;
  auto B = MakeGlyph(32, 16, clFuchsia, clRed);
  B->GetCanvas()->GetBrush()->SetColor(clBlue);
  B->GetCanvas()->FillRect(Rect(18, 2, 22, 6));  // the second image's mark is blue
  G.SetGlyph(B.get());
  ASSERT_EQ(G.GetNumGlyphs(), 2);
  TBitmap Out;
  Out.SetPixelFormat(pf24bit);
  Out.SetSize(16, 16);
  auto Drawn = [&](TOxSpeedButtonState S) {
    Out.GetCanvas()->GetBrush()->SetColor(clWhite);
    Out.GetCanvas()->FillRect(Rect(0, 0, 16, 16));
    G.SharedList()->Draw(Out.GetCanvas(), 0, 0, G.BuildStateImage(S));
    return Out.GetPixelColor(3, 3);
  };
  G.BuildStateImage(sbsUp);
  EXPECT_EQ(Drawn(sbsDown), clRed) << "with fewer than 3 images the down state shows image 0";
  EXPECT_EQ(Drawn(sbsDisabled), clBlue);
  EXPECT_EQ(Out.GetPixelColor(0, 0), clWhite) << "the transparent colour stays transparent";
  EXPECT_EQ(Drawn(sbsInactive), static_cast<TColor>(0x4C4C4C)) << "gray of red: (77 * 255) >> 8";
  // A second glyph of the same size uses the same list, and a freed slot is
  // reused.
  TOxxButtonGlyph G2;
  G2.SetGlyph(MakeGlyph(16, 16, clFuchsia, clLime).get());
  G2.BuildStateImage(sbsUp);
  EXPECT_EQ(G2.SharedList(), G.SharedList());
  const int32_t Count = G.SharedList()->GetCount();
  G2.ReleaseImages();
  G2.BuildStateImage(sbsUp);
  EXPECT_EQ(G.SharedList()->GetCount(), Count);
  EXPECT_EQ(SharedGlyphCache()->ListCount(), 1);
}

TEST_F(SpeedTest, LayoutSpreadsMarginAndSpacingEvenly) {
  TOxxButtonGlyph G;
  G.SetGlyph(MakeGlyph(16, 16, clFuchsia, clRed).get());
  TBitmap Surface;
  Surface.SetSize(80, 30);
  TCanvas* C = Surface.GetCanvas();
  std::string Caption = "Abcd";
  const int32_t TW = C->TextWidth(Caption);
  TPoint GP;
  TRect TB;
  G.ComputeLayout(C, Rect(0, 0, 76, 30), TPoint{0, 0}, Caption, blGlyphLeft, -1, -1, false, kDTCenter, GP, TB);
  const int32_t M = (76 - (16 + TW)) / 3;
  EXPECT_EQ(GP.X, M);
  EXPECT_EQ(TB.Left, M + 16 + M);
  EXPECT_EQ(GP.Y, 7);
  // A drop-down mark narrows the caption area by 9 with the glyph left, and
  // the glyph counts 6 wider with the glyph on top.
  std::string Long = "A rather long caption";
  G.ComputeLayout(C, Rect(0, 0, 76, 30), TPoint{0, 0}, Long, blGlyphLeft, 0, 0, true, kDTLeft, GP, TB);
  EXPECT_LE(TB.Right - TB.Left, 76 - 16 - 9);
  std::string Empty;
  G.ComputeLayout(C, Rect(0, 0, 28, 28), TPoint{1, 1}, Empty, blGlyphTop, -1, 1, true, kDTCenter, GP, TB);
  EXPECT_EQ(GP.X, (28 - 22) / 2 + 1);
}

TEST_F(SpeedTest, PaintsBevelGlyphGrayedWhenInactiveAndDisabledImage) {
  auto* A = Add(10, 10, 28, 28);
  A->SetGlyph(MakeGlyph(16, 16, clFuchsia, clRed).get());
  A->Update();
  TBitmap* FB = A->GetFrontBuffer();
  // Raised bevel: highlight (face + 64) on the top left, window frame on the
  // bottom right; the glyph centred with the red mark at its (2, 2).
  EXPECT_EQ(FB->GetPixelColor(0, 5), LighterColor(clBtnFace));
  EXPECT_EQ(FB->GetPixelColor(27, 5), static_cast<TColor>(ColorToRGB(clWindowFrame)));
  // Inside the 2-pixel bevel the 24 x 24 content centres the 16 x 16 image.
  const int32_t GX = 2 + (24 - 16) / 2, GY = 2 + 24 / 2 - 16 / 2;
  EXPECT_EQ(FB->GetPixelColor(GX + 3, GY + 3), clRed);
  A->SetFlat(true);
  A->Update();
  EXPECT_EQ(FB->GetPixelColor(GX + 3, GY + 3), static_cast<TColor>(0x4C4C4C)) << "flat and inactive: grayed";
  EXPECT_EQ(FB->GetPixelColor(0, 5), static_cast<TColor>(ColorToRGB(clBtnFace))) << "no bevel";
  A->SetEnabled(false);
  A->Update();
  EXPECT_EQ(A->GetButtonState(), sbsDisabled);
  EXPECT_EQ(FB->GetPixelColor(GX + 3, GY + 3), static_cast<TColor>(ColorToRGB(clBtnShadow)))
      << "disabled draws its own image, not the grayed one";
}

TEST_F(SpeedTest, DownButtonDrawsSunkenDitheredFace) {
  auto* A = Add(10, 10, 28, 28);
  A->SetGroupIndex(3);
  A->SetDown(true);
  A->Update();
  TBitmap* FB = A->GetFrontBuffer();
  EXPECT_EQ(FB->GetPixelColor(0, 5), static_cast<TColor>(ColorToRGB(clWindowFrame)));
  const TColor P1 = FB->GetPixelColor(10, 10), P2 = FB->GetPixelColor(11, 10);
  EXPECT_NE(P1, P2) << "the latched face is a checker of face and highlight";
  EXPECT_EQ(P1, static_cast<TColor>(ColorToRGB(clBtnHighlight)));
}

TEST_F(SpeedTest, RepeatTimerClicksWhileHeldAndStopsOnReleaseOrLostCapture) {
  auto* A = Add(10, 10);
  A->SetAllowTimer(true);
  A->SetInitPause(30);
  A->SetRepeatInterval(10);
  Show();
  int32_t Clicks = 0;
  A->OnClick = [&](TObject*) { ++Clicks; };
  SendMouse(A->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  ASSERT_TRUE(A->GetRepeatTimer());
  ASSERT_TRUE(A->GetMouseCapture());
  Pump(150);
  EXPECT_GT(Clicks, 2);
  // Released outside the button: the timer stops with it.
  SendMouse(A->GetWidget(), QEvent::MouseButtonRelease, QPoint(80, 5), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(A->GetRepeatTimer()->GetEnabled());
  const int32_t After = Clicks;
  Pump(60);
  EXPECT_EQ(Clicks, After);
  // The capture lost without a release (another window took the mouse).
  SendMouse(A->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  A->SetMouseCapture(false);
  Pump(80);
  EXPECT_FALSE(A->GetRepeatTimer()->GetEnabled());
  EXPECT_FALSE(A->GetDragging());
  EXPECT_EQ(A->GetButtonState(), sbsUp);
}

std::string HexOf(TBitmap* B) {
  TMemoryStream S;
  B->SaveToStream(&S);
  const auto N = static_cast<uint32_t>(S.GetSize());
  std::string Hex;
  char Buf[3];
  for (int I = 0; I < 4; ++I) {
    std::snprintf(Buf, sizeof Buf, "%02X", (N >> (8 * I)) & 0xFF);
    Hex += Buf;
  }
  const auto* P = static_cast<const uint8_t*>(S.GetMemory());
  for (uint32_t I = 0; I < N; ++I) {
    std::snprintf(Buf, sizeof Buf, "%02X", P[I]);
    Hex += Buf;
  }
  return Hex;
}

TEST_F(SpeedTest, FormResourceReadsButtonGlyphAndHotTrackSettings) {
  OxRegisterWidgetClasses();
  auto Glyph = MakeGlyph(32, 16, clFuchsia, clRed);
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Tool1: TOxSpeedButton\n    Left = 4\n    Width = 28\n    Height = 28\n"
                            "    Flat = True\n    GroupIndex = 1\n    AllowAllUp = True\n    Down = True\n"
                            "    Layout = blGlyphLeft\n    Margin = 2\n    Spacing = -1\n    HotTrack = True\n"
                            "    HotTrackOptions.Enabled = True\n    HotTrackOptions.Color = clYellow\n"
                            "    HotTrackFont.Style = [fsBold]\n    HotTrackFontOptions = [hoFollowFont]\n"
                            "    Glyph.Data = {" +
                                HexOf(Glyph.get()) +
                                "}\n"
                                "  end\nend\n",
                            "main");
  auto* B = Main.Find<TOxSpeedButton>("Tool1");
  ASSERT_TRUE(B);
  EXPECT_TRUE(B->GetFlat());
  EXPECT_TRUE(B->GetDown());
  EXPECT_EQ(B->GetLayout(), blGlyphLeft);
  EXPECT_EQ(B->GetMargin(), 2);
  EXPECT_EQ(B->GetSpacing(), -1);
  EXPECT_EQ(B->GetNumGlyphs(), 2);
  EXPECT_EQ(B->GetGlyph()->GetWidth(), 32);
  EXPECT_TRUE(B->GetHotTrackOptions()->GetEnabled());
  EXPECT_EQ(B->GetHotTrackOptions()->GetColor(), clYellow);
  EXPECT_EQ(B->GetHotTrackFontOptions(), hoFollowFont);
  // Down and hot-track enabled: the face is the checker of the highlight
  // colour and the window colour.
  B->Update();
  TBitmap* FB = B->GetFrontBuffer();
  const TColor A = FB->GetPixelColor(20, 4), C = FB->GetPixelColor(21, 4);
  EXPECT_TRUE((A == clYellow && C == static_cast<TColor>(ColorToRGB(clWindow))) ||
              (C == clYellow && A == static_cast<TColor>(ColorToRGB(clWindow))));
}

TEST_F(SpeedTest, HotTrackOptionsReportChangesOncePerAssign) {
  TOxHotTrackOptions A(nullptr), B(nullptr);
  int32_t Before = 0, After = 0;
  std::vector<std::string> Names;
  A.OnBeforeChange = [&](TObject*) { ++Before; };
  A.OnAfterChange = [&](TObject*) { ++After; };
  A.OnAfterPropertyChange = [&](TObject*, const std::string& N) { Names.push_back(N); };
  A.SetColor(A.GetColor());
  EXPECT_EQ(Before + After, 0);
  B.SetEnabled(true);
  B.SetFrameColor(clRed);
  A.Assign(&B);
  EXPECT_EQ(Before, 1);
  EXPECT_EQ(After, 1);
  EXPECT_EQ(Names, (std::vector<std::string>{"Enabled", "FrameColor"}));
  TOxPanelHotTrackOptions P(nullptr);
  EXPECT_EQ(P.GetColor(), clBtnFace);
  // Following with the panels' default options: colour and style kept.
  TFont Track, Own;
  Track.SetColor(clRed);
  Track.SetStyle(fsBold);
  Own.SetName("Serif");
  Own.SetHeight(-20);
  Own.SetColor(clBlue);
  SyncTrackFont(&Track, &Own, hoFollowFont | hoPreserveColor | hoPreserveStyle);
  EXPECT_EQ(Track.GetName(), "Serif");
  EXPECT_EQ(Track.GetHeight(), -20);
  EXPECT_EQ(Track.GetColor(), clRed);
  EXPECT_EQ(Track.GetStyle(), fsBold);
  TFont Untouched;
  SyncTrackFont(&Untouched, &Own, hoPreserveColor);
  EXPECT_NE(Untouched.GetName(), "Serif");
}

}  // namespace

namespace {

TEST_F(SpeedTest, PressOpensTheDropDownMenuBelowAndReleasesTheButton) {
  auto* A = Add(10, 10, 40, 28);
  auto* Menu = new TPopupMenu(&F);
  A->SetDropDownMenu(Menu);
  Show();
  TPoint At{-1, -1};
  int32_t Popups = 0;
  TPopupMenuHook Old = SetPopupMenuHook([&](TPopupMenu* M, TPoint P) -> TMenuItem* {
    EXPECT_EQ(M, Menu);
    EXPECT_TRUE(A->GetMenuTracking());
    At = P;
    ++Popups;
    return nullptr;
  });
  int32_t Clicks = 0;
  A->OnClick = [&](TObject*) { ++Clicks; };
  SendMouse(A->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  SetPopupMenuHook(Old);
  EXPECT_EQ(Popups, 1);
  EXPECT_EQ(At, A->ClientToScreen(TPoint{-1, A->GetHeight()}));
  EXPECT_EQ(Menu->GetPopupComponent(), A);
  EXPECT_FALSE(A->GetMenuTracking());
  EXPECT_FALSE(A->GetDragging()) << "the press ends when the menu closes";
  EXPECT_EQ(A->GetButtonState(), sbsUp);
  EXPECT_EQ(Clicks, 0) << "a click while the menu tracks is not raised";
  SendMouse(A->GetWidget(), QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(Clicks, 0);
  // Removing the menu clears the reference.
  delete Menu;
  EXPECT_EQ(A->GetDropDownMenu(), nullptr);
}

}  // namespace
