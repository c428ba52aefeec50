#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/panels.h"
#include "widgets/speed_button.h"
#include "widgets/theming.h"
#include "widgets/widget_classes.h"

namespace {

struct PanelTest : ::testing::Test {
  PanelTest() {
    SetThemesEnabled(false);
    F.SetBounds(0, 0, 400, 300);
    F.SetColor(clBtnFace);
    P = new TOxPanel(&F);
    P->SetParent(&F);
    P->SetBounds(10, 10, 120, 100);
  }
  ~PanelTest() override { SetThemesEnabled(true); }
  TEdit* Edit(int32_t W, int32_t H = 20, TWinControl* Parent = nullptr) {
    auto* E = new TEdit(&F);
    E->SetParent(Parent ? Parent : P);
    E->SetBounds(0, 0, W, H);
    return E;
  }
  TForm F{nullptr};
  TOxPanel* P = nullptr;
};

TEST_F(PanelTest, ArrangesRowsWrappingWhenAControlDoesNotFit) {
  auto* A = Edit(50);
  auto* B = Edit(50);
  auto* C = Edit(50, 30);
  auto* Label = new TLabel(&F);
  Label->SetParent(P);
  Label->SetBounds(7, 77, 20, 10);
  P->GetArrangeSettings()->SetDistanceHorizontal(10);
  P->GetArrangeSettings()->SetDistanceVertical(4);
  P->GetArrangeSettings()->SetAutoArrange(true);
  EXPECT_EQ(A->GetLeft(), 0);
  EXPECT_EQ(B->GetLeft(), 60) << "60 + 50 + 10 + 0 <= 120 still fits";
  EXPECT_EQ(B->GetTop(), 0);
  EXPECT_EQ(C->GetLeft(), 0);
  EXPECT_EQ(C->GetTop(), 20 + 4);
  EXPECT_EQ(Label->GetLeft(), 7) << "graphic controls keep their places";
  EXPECT_EQ(Label->GetTop(), 77);
  EXPECT_EQ(P->GetWidth(), 120);
  // One control per line even without wrapping.
  P->GetArrangeSettings()->SetWrapControls(false);
  P->GetArrangeSettings()->SetMaxControlsPerLine(1);
  EXPECT_EQ(B->GetLeft(), 0);
  EXPECT_EQ(B->GetTop(), 24);
  EXPECT_EQ(C->GetTop(), 48);
}

TEST_F(PanelTest, WideChildWidensPanelAndAutoSizeFitsContent) {
  P->GetArrangeSettings()->SetBorderLeft(3);
  P->GetArrangeSettings()->SetBorderTop(2);
  Edit(40);
  auto* Wide = Edit(150);
  P->ArrangeChildren();
  EXPECT_EQ(Wide->GetLeft(), 3);
  EXPECT_EQ(Wide->GetTop(), 2 + 20);
  EXPECT_EQ(P->GetWidth(), 150 + 2 * 3);
  P->GetArrangeSettings()->SetAutoSize(asBoth);
  P->ArrangeChildren();
  // Sizing to the width lets every control into the first row.
  EXPECT_EQ(Wide->GetTop(), 2);
  EXPECT_EQ(P->GetHeight(), 2 + 2 + 20);
  EXPECT_EQ(P->GetWidth(), 3 + 3 + 40 + 150);
}

TEST_F(PanelTest, SuspendHoldsArrangingAndBottomAlignmentTouchesTheFloor) {
  auto* A = Edit(50);
  A->SetLeft(33);
  P->SuspendArrange();
  P->SuspendArrange();
  P->ResumeArrange();
  P->ArrangeChildren();
  EXPECT_EQ(A->GetLeft(), 33);
  P->ResumeArrange();
  EXPECT_EQ(A->GetLeft(), 33) << "resuming does not arrange by itself";
  P->GetArrangeSettings()->SetVerticalAlignment(asBottom);
  P->GetArrangeSettings()->SetHorizontalAlignment(asRight);
  P->ArrangeChildren();
  EXPECT_EQ(A->GetTop() + A->GetHeight(), P->GetClientHeight());
  EXPECT_EQ(A->GetLeft() + A->GetWidth(), P->GetClientWidth());
}

TEST_F(PanelTest, ChildPanelHeightChangeReArrangesParentUnlessItResizesTheParentItself) {
  auto* Child = new TOxPanel(&F);
  Child->SetParent(P);
  Child->SetBounds(0, 0, 50, 20);
  auto* Below = Edit(100);
  P->GetArrangeSettings()->SetAutoArrange(true);
  EXPECT_EQ(Below->GetTop(), 20);
  int32_t Changed = 0;
  Child->OnChangedHeight = [&](TObject*, int32_t H) { Changed = H; };
  Child->SetHeight(35);
  EXPECT_EQ(Changed, 35);
  EXPECT_EQ(Below->GetTop(), 35);
  TRect Asked;
  Child->OnResizeParent = [&](TObject*, int32_t L, int32_t T, int32_t W, int32_t H) { Asked = Rect(L, T, W, H); };
  Child->SetHeight(10);
  EXPECT_EQ(Below->GetTop(), 35) << "OnResizeParent replaces the re-arrangement";
  EXPECT_EQ(Asked, Rect(0, 0, 50, 10));
}

TEST_F(PanelTest, PaintsFlatBorderHotHighlightAndGrip) {
  P->SetBevelOuter(bvNone);
  P->SetBorderWidth(2);
  P->SetFlatBorder(true);
  P->SetFlatBorderColor(clRed);
  P->Update();
  TBitmap* FB = P->GetFrontBuffer();
  EXPECT_EQ(FB->GetPixelColor(0, 50), clRed);
  EXPECT_EQ(FB->GetPixelColor(1, 50), clRed);
  EXPECT_EQ(FB->GetPixelColor(119, 50), clRed);
  EXPECT_EQ(FB->GetPixelColor(3, 50), static_cast<TColor>(ColorToRGB(clBtnFace)));
  P->SetHotTrack(true);
  P->GetHotTrackOptions()->SetEnabled(true);
  P->GetHotTrackOptions()->SetColor(clYellow);
  P->Perform(CM_MOUSEENTER, 0, LPARAM(0));
  P->Update();
  EXPECT_EQ(FB->GetPixelColor(50, 50), clYellow);
  P->Perform(CM_MOUSELEAVE, 0, LPARAM(0));
  P->SetSizeable(true);
  P->Update();
  EXPECT_EQ(FB->GetPixelColor(50, 50), static_cast<TColor>(ColorToRGB(clBtnFace)));
  bool AnyShadow = false;
  for (int32_t Y = 85; Y < 100; ++Y)
    for (int32_t X = 105; X < 120; ++X) AnyShadow |= FB->GetPixelColor(X, Y) == static_cast<TColor>(ColorToRGB(clBtnShadow));
  EXPECT_TRUE(AnyShadow) << "the grip in the corner";
  bool Painted = false;
  P->OnPaint = [&](TObject*) { Painted = true; };
  FB->GetCanvas()->GetBrush()->SetColor(clLime);
  FB->GetCanvas()->FillRect(Rect(0, 0, 120, 100));
  P->Invalidate();
  P->Update();
  EXPECT_TRUE(Painted);
  EXPECT_EQ(FB->GetPixelColor(0, 50), clLime) << "OnPaint replaces all painting";
}

TEST_F(PanelTest, GripResizesAndInteriorMoves) {
  F.Show();
  QApplication::processEvents();
  P->SetSizeable(true);
  SendMouse(P->GetWidget(), QEvent::MouseButtonPress, QPoint(115, 95), Qt::LeftButton, Qt::LeftButton);
  EXPECT_TRUE(P->GetSizeDragging());
  SendMouse(P->GetWidget(), QEvent::MouseMove, QPoint(135, 105), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(P->GetWidth(), 140);
  EXPECT_EQ(P->GetHeight(), 110);
  SendMouse(P->GetWidget(), QEvent::MouseButtonRelease, QPoint(135, 105), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(P->GetSizeDragging());
  P->SetMovable(true);
  int32_t Moved = 0;
  P->OnAfterMove = [&](TObject*) { ++Moved; };
  SendMouse(P->GetWidget(), QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton, Qt::LeftButton);
  SendMouse(P->GetWidget(), QEvent::MouseMove, QPoint(30, 25), Qt::NoButton, Qt::LeftButton);
  SendMouse(P->GetWidget(), QEvent::MouseButtonRelease, QPoint(20, 20), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(P->GetLeft(), 20);
  EXPECT_EQ(P->GetTop(), 15);
  EXPECT_EQ(Moved, 1);
  P->OnBeforeMove = [](TObject*, int32_t, int32_t, bool& Allow) { Allow = false; };
  SendMouse(P->GetWidget(), QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton, Qt::LeftButton);
  EXPECT_FALSE(P->GetMoveDragging());
  SendMouse(P->GetWidget(), QEvent::MouseButtonRelease, QPoint(20, 20), Qt::LeftButton, Qt::NoButton);
}

TEST_F(PanelTest, FormResourceReadsSettingsAndRetiredNames) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Bar: TOxPanel\n    Width = 100\n    Height = 40\n    Ctl3D = False\n"
                            "    HotColor = clAqua\n    FlatBorder = True\n    BorderWidth = 1\n"
                            "    ArrangeSettings.AutoArrange = True\n    ArrangeSettings.BorderLeft = 2\n"
                            "    ArrangeSettings.DistanceHorizontal = 3\n"
                            "    object Tool1: TOxSpeedButton\n      Left = 50\n      Width = 28\n      Height = 28\n"
                            "    end\n"
                            "    object E1: TEdit\n      Left = 40\n      Width = 30\n      TabOrder = 1\n    end\n"
                            "    object E2: TEdit\n      Left = 60\n      Width = 30\n      TabOrder = 0\n    end\n"
                            "  end\n"
                            "end\n",
                            "main");
  auto* Bar = Main.Find<TOxPanel>("Bar");
  ASSERT_TRUE(Bar);
  EXPECT_EQ(Bar->GetHotTrackOptions()->GetColor(), clAqua);
  EXPECT_FALSE(Bar->GetCtl3D());
  EXPECT_TRUE(Bar->GetFlatBorder());
  EXPECT_EQ(Main.Find<TEdit>("E2")->GetLeft(), 2) << "arranged in tab order once loaded";
  EXPECT_EQ(Main.Find<TEdit>("E1")->GetLeft(), 2 + 30 + 3);
  EXPECT_EQ(Main.Find<TOxSpeedButton>("Tool1")->GetLeft(), 50);
}

}  // namespace
