#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/widget_classes.h"
#include "widgets/xp_button.h"
#include "widgets/xp_core.h"

namespace {

// Counts its paints; everything else is the XP core's.
class TCounted : public TOxXPCustomStyleControl {
 public:
  using TOxXPCustomStyleControl::TOxXPCustomStyleControl;
  int32_t Paints = 0;

 protected:
  void Paint() override { ++Paints; }
};

struct XPTest : ::testing::Test {
  XPTest() {
    F.SetBounds(0, 0, 300, 200);
    F.SetColor(clBtnFace);
  }
  void ShowAndActivate() {
    F.Show();
    F.GetWidget()->activateWindow();
    QApplication::processEvents();
  }
  template <typename T>
  T* Add(int32_t X, int32_t Y, int32_t W = 73, int32_t H = 21) {
    auto* C = new T(&F);
    C->SetParent(&F);
    C->SetBounds(X, Y, W, H);
    return C;
  }
  TForm F{nullptr};
};

// Whether something was painted since the last call.
int32_t PaintsAfterUpdate(TCounted* C) {
  const int32_t Before = C->Paints;
  C->Update();
  return C->Paints - Before;
}

TEST_F(XPTest, RepaintsOnEnterAndLeaveButNotOnMoves) {
  auto* C = Add<TCounted>(10, 10);
  C->Update();
  C->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(C));
  EXPECT_TRUE(C->GetXPState() & xsHot);
  EXPECT_EQ(PaintsAfterUpdate(C), 1);
  C->Perform(WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));
  EXPECT_EQ(PaintsAfterUpdate(C), 0);
  C->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(C));
  EXPECT_FALSE(C->GetXPState() & xsHot);
  EXPECT_EQ(PaintsAfterUpdate(C), 1);
  EXPECT_TRUE(C->GetXPState() & xsNormal);
}

TEST_F(XPTest, LeftPressFocusesAndPressesRightPressDoesNothing) {
  auto* A = Add<TCounted>(10, 10);
  auto* B = Add<TCounted>(100, 10);
  ShowAndActivate();
  B->Perform(WM_RBUTTONDOWN, 0, MAKELPARAM(5, 5));
  EXPECT_FALSE(B->GetXPState() & xsPressed);
  EXPECT_FALSE(B->GetMouseHeld());
  SendMouse(B->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(B->GetXPState() & xsPressed);
  EXPECT_TRUE(B->GetMouseHeld());
  EXPECT_TRUE(B->Focused());
  EXPECT_TRUE(B->GetXPState() & xsFocused);
  // Released over A: A becomes hot without an enter message.
  const QPoint OverA = B->GetWidget()->mapFromGlobal(A->GetWidget()->mapToGlobal(QPoint(5, 5)));
  SendMouse(B->GetWidget(), QEvent::MouseButtonRelease, OverA, Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(B->GetXPState() & xsPressed);
  EXPECT_TRUE(A->GetXPState() & xsHot);
  // A's focus change records that an XP control is active on the form.
  A->SetFocus();
  QApplication::processEvents();
  EXPECT_TRUE(A->GetXPActiveOnForm());
  EXPECT_FALSE(B->GetXPState() & xsFocused);
}

TEST_F(XPTest, UpdateBracketsHoldRepaints) {
  auto* C = Add<TCounted>(10, 10);
  C->Update();
  C->BeginUpdate();
  C->BeginUpdate();
  C->EndUpdate();
  C->SetText("x");
  EXPECT_EQ(PaintsAfterUpdate(C), 0);
  C->EndUpdate();
  EXPECT_EQ(PaintsAfterUpdate(C), 1);
  EXPECT_THROW(C->EndUpdate(), EAssertionFailed);
  EXPECT_EQ(C->GetUpdateCount(), 0);
}

TEST_F(XPTest, StyleManagerThemesAndRegistration) {
  auto* C = Add<TCounted>(10, 10);
  auto* M1 = new TOxXPStyleManager(&F);
  auto* M2 = new TOxXPStyleManager(&F);
  M1->SetTheme(OfficeXP);
  C->SetStyleManager(M1);
  EXPECT_EQ(C->GetStyle()->EffectiveTheme(), OfficeXP);
  C->GetStyle()->SetUseStyleManager(false);
  EXPECT_EQ(C->GetStyle()->EffectiveTheme(), WindowsXP);
  C->SetStyleManager(M2);
  EXPECT_TRUE(M1->Controls().empty());
  EXPECT_EQ(M2->Controls(), std::vector<TOxXPCustomStyleControl*>{C});
  delete M2;
  EXPECT_EQ(C->GetStyleManager(), nullptr) << "a freed manager is forgotten";
}

// ------------------------------------------------------------ the button
TEST_F(XPTest, ButtonFaceAndRings) {
  auto* B = Add<TOxXPButton>(10, 10);
  B->Update();
  TBitmap* Buf = B->GetFrontBuffer();
  ASSERT_EQ(Buf->GetWidth(), 73);
  // Plain: the face at (1, 1), the border around it.
  EXPECT_EQ(B->FaceBitmap()->GetWidth(), 71);
  EXPECT_EQ(Buf->GetPixelColor(36, 10), B->FaceBitmap()->GetPixelColor(35, 9));
  EXPECT_EQ(Buf->GetPixelColor(1, 10), B->FaceBitmap()->GetPixelColor(0, 9));
  EXPECT_EQ(Buf->GetPixelColor(36, 0), kXPButtonBorder);
  EXPECT_EQ(Buf->GetPixelColor(36, 20), kXPButtonBorder);
  EXPECT_EQ(Buf->GetPixelColor(0, 1), kXPButtonCorner);
  EXPECT_EQ(Buf->GetPixelColor(1, 1), B->FaceBitmap()->GetPixelColor(0, 0));

  // Hot: the orange ring around a face moved in by two.
  B->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(B));
  B->Update();
  EXPECT_EQ(Buf->GetPixelColor(1, 10), B->HotFrameBitmap()->GetPixelColor(0, 9));
  EXPECT_EQ(Buf->GetPixelColor(2, 10), B->HotFrameBitmap()->GetPixelColor(1, 9));
  EXPECT_EQ(Buf->GetPixelColor(3, 10), B->FaceBitmap()->GetPixelColor(0, 7));
  EXPECT_EQ(B->HotFrameBitmap()->GetPixelColor(0, 0), static_cast<TColor>(0xCEF3FF));

  // Focused but not hot: the blue ring.
  B->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(B));
  ShowAndActivate();
  B->SetFocus();
  QApplication::processEvents();
  ASSERT_TRUE(B->GetXPState() & xsFocused);
  B->Update();
  EXPECT_EQ(Buf->GetPixelColor(1, 10), B->FocusFrameBitmap()->GetPixelColor(0, 9));
  EXPECT_EQ(B->FocusFrameBitmap()->GetPixelColor(0, 0), static_cast<TColor>(0xFFE7CE));
}

// The box around the pixels where the button with its caption differs from
// the button without.
TRect CaptionBox(TOxXPButton* B, const std::string& Caption = "OK") {
  B->SetText(Caption);
  B->Update();
  TBitmap With;
  With.Assign(B->GetFrontBuffer());
  B->SetText("");
  B->Update();
  TRect Box{1000, 1000, -1, -1};
  for (int32_t Y = 0; Y < With.GetHeight(); ++Y)
    for (int32_t X = 0; X < With.GetWidth(); ++X)
      if (With.GetPixelColor(X, Y) != B->GetFrontBuffer()->GetPixelColor(X, Y)) {
        Box.Left = std::min(Box.Left, X);
        Box.Top = std::min(Box.Top, Y);
        Box.Right = std::max(Box.Right, X + 1);
        Box.Bottom = std::max(Box.Bottom, Y + 1);
      }
  return Box;
}

TEST_F(XPTest, HeldButtonShowsPressedFaceOnlyWhileThePointerIsOver) {
  auto* B = Add<TOxXPButton>(10, 10);
  ShowAndActivate();
  B->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(B));
  B->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
  B->Update();
  TBitmap* Buf = B->GetFrontBuffer();
  EXPECT_EQ(Buf->GetPixelColor(1, 10), B->PressedFaceBitmap()->GetPixelColor(0, 9));
  const TRect Pressed = CaptionBox(B);
  ASSERT_GE(Pressed.Right, 0) << "the caption was drawn";
  // Held and left: the ring and the normal face, the caption in its place.
  B->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(B));
  EXPECT_TRUE(B->ShowsFrame(true));
  const TRect Held = CaptionBox(B);
  EXPECT_EQ(Buf->GetPixelColor(1, 10), B->FocusFrameBitmap()->GetPixelColor(0, 9));
  EXPECT_EQ(Buf->GetPixelColor(3, 10), B->FaceBitmap()->GetPixelColor(0, 7));
  EXPECT_EQ(Pressed.Left, Held.Left + 1);
  EXPECT_EQ(Pressed.Top, Held.Top + 1);
  EXPECT_EQ(Pressed.Width(), Held.Width());
}

TEST_F(XPTest, AmpersandShowsOnlyWithoutAccelerators) {
  auto* B = Add<TOxXPButton>(10, 10, 120, 25);
  const TRect Plain = CaptionBox(B, "Save");
  const TRect Prefixed = CaptionBox(B, "&Save");
  EXPECT_EQ(Prefixed.Width(), Plain.Width()) << "the prefix underlines, it takes no room";
  B->SetShowAccelChar(false);
  const TRect Literal = CaptionBox(B, "&Save");
  EXPECT_GT(Literal.Width(), Plain.Width()) << "the ampersand is drawn";
}

TEST_F(XPTest, ModalResultClosesTheModalForm) {
  auto* B = Add<TOxXPButton>(10, 10);
  B->SetModalResult(mrOk);
  QTimer::singleShot(0, [B] {
    B->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4));
    B->Perform(WM_LBUTTONUP, 0, MAKELPARAM(4, 4));
  });
  EXPECT_EQ(F.ShowModal(), mrOk);
}

TEST_F(XPTest, KeyboardClicksDefaultCancelAndSpace) {
  auto* Ok = Add<TOxXPButton>(10, 10);
  auto* Cancel = Add<TOxXPButton>(100, 10);
  auto* Other = new TEdit(&F);
  Other->SetParent(&F);
  Other->SetBounds(10, 50, 80, 20);
  Ok->SetDefault(true);
  Cancel->SetCancel(true);
  Cancel->SetModalResult(mrCancel);
  std::vector<std::string> Log;
  Ok->OnClick = [&](TObject*) { Log.push_back("ok"); };
  Cancel->OnClick = [&](TObject*) { Log.push_back("cancel"); };
  ShowAndActivate();
  Other->SetFocus();
  QApplication::processEvents();
  Ok->Update();
  // The default button shows the blue ring while no XP control is focused.
  EXPECT_TRUE(Ok->ShowsFrame(false));
  EXPECT_EQ(Ok->GetFrontBuffer()->GetPixelColor(1, 10), Ok->FocusFrameBitmap()->GetPixelColor(0, 9));
  SendKey(Other->GetWidget(), Qt::Key_Return, Qt::NoModifier, "\r");
  SendKey(Other->GetWidget(), Qt::Key_Escape, Qt::ShiftModifier);
  SendKey(Other->GetWidget(), Qt::Key_Escape, Qt::NoModifier);
  EXPECT_EQ(Log, (std::vector<std::string>{"ok", "cancel"}));
  EXPECT_EQ(F.GetModalResult(), mrCancel) << "the click hands the button's result to the form";
  // Space on the focused button: pressed on the way down, one click on the way up.
  Log.clear();
  Cancel->SetFocus();
  QApplication::processEvents();
  SendKey(Cancel->GetWidget(), Qt::Key_Space, Qt::NoModifier, " ");
  EXPECT_EQ(Log, (std::vector<std::string>{"cancel"}));
  EXPECT_FALSE(Cancel->GetXPState() & xsPressed);
  // Alt and the accelerator click it too.
  Ok->SetText("&Save");
  SendKey(Cancel->GetWidget(), Qt::Key_S, Qt::AltModifier, "s");
  EXPECT_EQ(Log, (std::vector<std::string>{"cancel", "ok"}));
}

TEST_F(XPTest, DisabledButtonGraysItsGlyphAndEmbossesItsCaption) {
  auto* B = Add<TOxXPButton>(10, 10, 90, 30);
  auto Glyph = std::make_unique<TBitmap>();
  Glyph->SetPixelFormat(pf24bit);
  Glyph->SetSize(8, 8);
  Glyph->GetCanvas()->GetBrush()->SetColor(clFuchsia);
  Glyph->GetCanvas()->FillRect(Rect(0, 0, 8, 8));
  Glyph->GetCanvas()->GetBrush()->SetColor(clBlue);
  Glyph->GetCanvas()->FillRect(Rect(2, 2, 6, 6));
  B->GetGlyph()->SetGraphic(std::move(Glyph));
  B->SetText("Go");
  B->Update();
  TBitmap* Buf = B->GetFrontBuffer();
  auto Count = [&](TColor C) {
    int32_t N = 0;
    for (int32_t Y = 0; Y < 30; ++Y)
      for (int32_t X = 0; X < 90; ++X) N += Buf->GetPixelColor(X, Y) == C;
    return N;
  };
  EXPECT_EQ(Count(clBlue), 16) << "the glyph's inside, its key colour left out";
  EXPECT_EQ(Count(clFuchsia), 0);
  B->SetEnabled(false);
  B->Update();
  EXPECT_EQ(Count(clBlue), 0);
  EXPECT_EQ(Count(RGB(185, 185, 185)), 16) << "blue: 255 / 3 = 85 grays to 185";
  EXPECT_GT(Count(static_cast<TColor>(ColorToRGB(clBtnShadow))), 0) << "embossed caption";
  EXPECT_GT(Count(static_cast<TColor>(ColorToRGB(clBtnHighlight))), 0);
  EXPECT_EQ(Buf->GetPixelColor(45, 0), kXPButtonDisabledBorder);
}

// A picture that is no bitmap: a blue square in an otherwise transparent
// 6 x 6 area.
class TDotGraphic : public TGraphic {
 public:
  int32_t GetWidth() const override { return 6; }
  int32_t GetHeight() const override { return 6; }
  void SetWidth(int32_t) override {}
  void SetHeight(int32_t) override {}
  bool GetEmpty() const override { return false; }
  void LoadFromStream(TStream*) override {}
  void SaveToStream(TStream*) override {}

 protected:
  void Draw(TCanvas* ACanvas, const TRect& R) override {
    ACanvas->GetBrush()->SetColor(clBlue);
    ACanvas->FillRect(Rect(R.Left + 2, R.Top + 2, R.Left + 4, R.Top + 4));
  }
};

TEST_F(XPTest, GlyphOfAnotherPictureKindKeepsItsTransparencyAndItsKind) {
  auto* B = Add<TOxXPButton>(10, 10);
  B->GetGlyph()->SetGraphic(std::make_unique<TDotGraphic>());
  B->Update();
  int32_t Blue = 0, Key = 0;
  TBitmap* Buf = B->GetFrontBuffer();
  for (int32_t Y = 0; Y < 21; ++Y)
    for (int32_t X = 0; X < 73; ++X) {
      Blue += Buf->GetPixelColor(X, Y) == clBlue;
      Key += Buf->GetPixelColor(X, Y) == RGB(1, 254, 3);
    }
  EXPECT_EQ(Blue, 4);
  EXPECT_EQ(Key, 0) << "nothing of the area around the picture shows";
  EXPECT_EQ(Buf->GetPixelColor(33, 7), B->FaceBitmap()->GetPixelColor(32, 6)) << "the face shows around the square";
  EXPECT_EQ(Buf->GetPixelColor(35, 9), clBlue);
  EXPECT_NE(dynamic_cast<TDotGraphic*>(B->GetGlyph()->GetGraphic()), nullptr);
}

TEST_F(XPTest, FormResourceCreatesButtonsWithTheirProperties) {
  OxRegisterWidgetClasses();
  TBitmap Glyph;
  Glyph.SetPixelFormat(pf24bit);
  Glyph.SetSize(4, 4);
  TMemoryStream S;
  Glyph.SaveToStream(&S);
  std::string Hex;
  S.SetPosition(0);
  for (int64_t I = 0; I < S.GetSize(); ++I) {
    uint8_t Byte;
    S.ReadBuffer(&Byte, 1);
    Hex += Format("%02X", Byte);
  }
  const std::string Text =
      "object Dlg: TForm\n"
      "  object Manager: TOxXPStyleManager\n    Theme = OfficeXP\n  end\n"
      "  object OkButton: TOxXPButton\n    Left = 8\n    Top = 8\n    Width = 80\n    Height = 25\n"
      "    Caption = '&OK'\n    Default = True\n    ModalResult = 1\n    Ctl3D = False\n    Spacing = 5\n"
      "    Layout = blGlyphTop\n    SmoothEdges = False\n    StyleManager = Manager\n"
      "    Glyph.Data = {" + Hex + "}\n    OnClick = OkClick\n  end\n"
      "  object CancelButton: TOxXPButton\n    Cancel = True\n    ModalResult = mrCancel\n    WordWrap = False\n"
      "    Style.UseStyleManager = False\n  end\n"
      "end\n";
  TForm Dlg(nullptr);
  int32_t Clicks = 0;
  Dlg.BindHandlerFn("OkClick", TNotifyEvent([&](TObject*) { ++Clicks; }));
  Dlg.ReadFormResourceText(Text, "dialog");
  auto* Ok = Dlg.Find<TOxXPButton>("OkButton");
  auto* Cancel = Dlg.Find<TOxXPButton>("CancelButton");
  ASSERT_TRUE(Ok && Cancel);
  EXPECT_EQ(Ok->GetWidth(), 80);
  EXPECT_EQ(Ok->GetText(), "&OK");
  EXPECT_TRUE(Ok->GetDefault());
  EXPECT_EQ(Ok->GetModalResult(), mrOk);
  EXPECT_EQ(Ok->GetSpacing(), 5);
  EXPECT_EQ(Ok->GetLayout(), blGlyphTop);
  EXPECT_FALSE(Ok->GetSmoothEdges());
  EXPECT_EQ(Ok->GetGlyph()->GetWidth(), 4);
  EXPECT_EQ(Ok->GetStyle()->EffectiveTheme(), OfficeXP);
  EXPECT_TRUE(Cancel->GetCancel());
  EXPECT_EQ(Cancel->GetModalResult(), mrCancel);
  EXPECT_FALSE(Cancel->GetWordWrap());
  EXPECT_EQ(Cancel->GetWidth(), 73) << "default size";
  EXPECT_EQ(Cancel->GetHeight(), 21);
  EXPECT_TRUE(Cancel->GetTabStop());
  Ok->Perform(WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  Ok->Perform(WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
  EXPECT_EQ(Clicks, 1);
  EXPECT_EQ(Dlg.GetModalResult(), mrOk);
}

}  // namespace
