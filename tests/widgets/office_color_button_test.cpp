#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/vcl/application.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/office_color_button.h"
#include "widgets/theming.h"
#include "widgets/widget_classes.h"

namespace {

struct ColorFormTest : ::testing::Test {
  ColorFormTest() { SetThemesEnabled(false); }
  ~ColorFormTest() override { SetThemesEnabled(true); }
};

TEST_F(ColorFormTest, DropDownSizeShowsThePanelsLastRow) {
  TOxOfficeColorForm Form(nullptr);
  TOxOfficeColorPanel* P = Form.GetColorPanel();
  ASSERT_EQ(P->GetWidth(), 152);
  ASSERT_EQ(P->GetHeight(), 162);
  EXPECT_EQ(Form.GetClientWidth(), 152);
  EXPECT_EQ(Form.GetDragBar()->GetBoundsRect(), Rect(0, 3, 152, 10));
  EXPECT_EQ(P->GetTop(), 14);
  EXPECT_EQ(Form.GetClientHeight(), 14 + 162) << "the window holds the panel's last row";
  Form.SetDragBarMetric(9, 2);
  EXPECT_EQ(Form.GetDragBarHeight(), 7);
  Form.SetDragBarMetric(10, 0);
  EXPECT_EQ(Form.GetDragBarSpace(), 3);
  Form.SetDragBarMetric(9, 9);
  EXPECT_FALSE(Form.GetDefaultBarMetrics());
  EXPECT_EQ(Form.GetClientHeight(), 3 + 9 + 3 + 1 + 162);
}

TEST_F(ColorFormTest, DraggingTheBarTearsOffOnceAndEscapeDocksItBack) {
  TOxOfficeColorForm Form(nullptr);
  Form.SetBounds(100, 100, Form.GetWidth(), Form.GetHeight());
  Form.Show();
  QApplication::processEvents();
  int32_t Floats = 0;
  Form.OnFloatingChange = [&](TObject*) { ++Floats; };
  QWidget* Bar = Form.GetDragBar()->GetWidget();
  SendMouse(Bar, QEvent::MouseButtonPress, QPoint(20, 3), Qt::LeftButton, Qt::LeftButton);
  SendMouse(Bar, QEvent::MouseMove, QPoint(40, 10), Qt::NoButton, Qt::LeftButton);
  EXPECT_TRUE(Form.GetFloating());
  EXPECT_TRUE(Form.GetDragStarted());
  EXPECT_FALSE(Form.GetDragBar()->GetVisible());
  EXPECT_EQ(Form.GetColorPanel()->GetTop(), 1);
  SendMouse(Bar, QEvent::MouseMove, QPoint(60, 10), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(Floats, 1) << "later moves only move the window";
  SendMouse(Bar, QEvent::MouseButtonRelease, QPoint(60, 10), Qt::LeftButton, Qt::NoButton);
  SendKey(Form.GetWidget(), Qt::Key_Escape, Qt::NoModifier);
  EXPECT_FALSE(Form.GetVisible());
  EXPECT_EQ(Form.GetModalResult(), mrCancel);
  EXPECT_FALSE(Form.GetFloating()) << "a hidden window comes back dropped down";
  EXPECT_TRUE(Form.GetDragBar()->GetVisible());
}

struct ColorButtonTest : ::testing::Test {
  ColorButtonTest() {
    SetThemesEnabled(false);
    F.SetBounds(20, 20, 400, 300);
    B = new TOxOfficeColorButton(&F);
    B->SetParent(&F);
    B->SetBounds(10, 10, 53, 22);
  }
  ~ColorButtonTest() override { SetThemesEnabled(true); }
  void Show() {
    F.Show();
    F.GetWidget()->activateWindow();
    QApplication::processEvents();
  }
  TForm F{nullptr};
  TOxOfficeColorButton* B = nullptr;
};

TEST_F(ColorButtonTest, PartsSizeAndArrowWidthMinimum) {
  TOxOfficeColorButton Fresh(nullptr);
  EXPECT_EQ(Fresh.GetWidth(), 35);
  EXPECT_EQ(Fresh.GetMainButton()->GetWidth(), 22);
  EXPECT_EQ(Fresh.GetArrowButton()->GetWidth(), 13);
  Fresh.GetProperties()->SetArrowWidth(5);
  EXPECT_EQ(Fresh.GetProperties()->GetArrowWidth(), 13);
  Fresh.SetBounds(0, 0, 137, 22);
  EXPECT_EQ(Fresh.GetMainButton()->GetWidth(), 124);
  Fresh.SetBounds(0, 0, 30, 10);
  EXPECT_EQ(Fresh.GetWidth(), 35);
  EXPECT_EQ(Fresh.GetHeight(), 22);
}

TEST_F(ColorButtonTest, CodeSelectionAndMainClickDoNotOpen) {
  Show();
  int32_t Changes = 0, Clicks = 0;
  B->OnColorChange = [&](TObject*) { ++Changes; };
  B->OnClick = [&](TObject*) { ++Clicks; };
  B->SetSelectedColor(clWhite);
  EXPECT_EQ(Changes, 1);
  EXPECT_EQ(B->GetMainButton()->GetDrawColor(), clWhite);
  EXPECT_FALSE(B->GetColorForm()->GetVisible());
  SendClick(B->GetMainButton()->GetWidget(), QPoint(5, 5));
  EXPECT_EQ(Clicks, 1);
  EXPECT_FALSE(B->GetColorForm()->GetVisible());
}

TEST_F(ColorButtonTest, PickHidesBeforeTheChangeAndEscapeLeavesTheArrowReady) {
  Show();
  QWidget* Arrow = B->GetArrowButton()->GetWidget();
  SendClick(Arrow, QPoint(5, 5));
  ASSERT_TRUE(B->GetColorForm()->GetVisible());
  EXPECT_TRUE(B->GetDroppedDown());
  bool VisibleAtChange = true;
  std::vector<std::string> Order;
  B->OnColorButtonClick = [&](TObject*) { Order.push_back("button"); };
  B->OnColorChange = [&](TObject*) {
    Order.push_back("change");
    VisibleAtChange = B->GetColorForm()->GetVisible();
  };
  SendClick(B->GetColorPanel()->StandardButtons()[16]->GetWidget(), QPoint(5, 5));
  EXPECT_EQ(B->GetSelectedColor(), clRed);
  EXPECT_EQ(Order, (std::vector<std::string>{"button", "change"}));
  EXPECT_FALSE(VisibleAtChange) << "dropped down: hidden before the change is reported";
  EXPECT_FALSE(B->GetDroppedDown());
  // Open, Escape, then one arrow click opens again.
  SendClick(Arrow, QPoint(5, 5));
  ASSERT_TRUE(B->GetColorForm()->GetVisible());
  SendKey(B->GetColorForm()->GetWidget(), Qt::Key_Escape, Qt::NoModifier);
  EXPECT_FALSE(B->GetColorForm()->GetVisible());
  SendClick(Arrow, QPoint(5, 5));
  EXPECT_TRUE(B->GetColorForm()->GetVisible()) << "after Escape the next arrow click opens";
  B->CloseUp();
}

TEST_F(ColorButtonTest, DropDownStaysOnTheButtonsMonitor) {
  Show();
  const TRect Work = MonitorWorkAreaAt(B->ClientToScreen(TPoint{0, 0}));
  ASSERT_GT(Work.Width(), 0);
  // Near the bottom right corner: the window opens above the button and
  // pulled left so it stays inside the work area.
  F.SetBounds(Work.Right - 120, Work.Bottom - 80, 110, 70);
  QApplication::processEvents();
  B->DropDown(0, 0);
  TOxOfficeColorForm* Form = B->GetColorForm();
  EXPECT_LE(Form->GetLeft() + Form->GetWidth(), Work.Right);
  EXPECT_GE(Form->GetLeft(), Work.Left);
  EXPECT_LE(Form->GetTop() + Form->GetHeight(), Work.Bottom);
  EXPECT_LT(Form->GetTop(), B->ClientToScreen(TPoint{0, 0}).Y) << "above the button";
  B->CloseUp();
  // Far outside every monitor, the window is still put where it can be seen.
  B->PositionForm(-5000, -5000);
  const TRect Any = MonitorWorkAreaAt(TPoint{-5000, -5000});
  EXPECT_GE(Form->GetLeft(), Any.Left);
  EXPECT_GE(Form->GetTop(), Any.Top);
}

TEST_F(ColorButtonTest, TornOffWindowStaysOpenAfterAPick) {
  Show();
  SendClick(B->GetArrowButton()->GetWidget(), QPoint(5, 5));
  TOxOfficeColorForm* Form = B->GetColorForm();
  QWidget* Bar = Form->GetDragBar()->GetWidget();
  SendMouse(Bar, QEvent::MouseButtonPress, QPoint(20, 3), Qt::LeftButton, Qt::LeftButton);
  SendMouse(Bar, QEvent::MouseMove, QPoint(60, 40), Qt::NoButton, Qt::LeftButton);
  SendMouse(Bar, QEvent::MouseButtonRelease, QPoint(60, 40), Qt::LeftButton, Qt::NoButton);
  ASSERT_TRUE(Form->GetFloating());
  SendClick(B->GetColorPanel()->StandardButtons()[13]->GetWidget(), QPoint(5, 5));
  EXPECT_EQ(B->GetSelectedColor(), clBlue);
  EXPECT_TRUE(Form->GetVisible());
  Form->Hide();
}

TEST_F(ColorButtonTest, FormResourceKeepsBlackAndReadsRetiredNames) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Fill: TOxOfficeColorButton\n    Width = 60\n    Height = 22\n"
                            "    SelectedColor = clBlack\n    Color = clSilver\n"
                            "    Properties.DragCaption = 'Colours'\n    Properties.ShowAutoButton = False\n"
                            "  end\n"
                            "  object Back: TOxOfficeColorButton\n    SelectedColor = clMoneyGreen\n  end\n"
                            "end\n",
                            "main");
  auto* Fill = Main.Find<TOxOfficeColorButton>("Fill");
  ASSERT_TRUE(Fill);
  EXPECT_EQ(Fill->GetSelectedColor(), clBlack) << "black is kept, not taken for an unset colour";
  EXPECT_EQ(Fill->GetMainButton()->GetDrawColor(), clBlack);
  EXPECT_EQ(Fill->GetBackColor(), clSilver);
  EXPECT_EQ(Fill->GetProperties()->GetFloatWindowCaption(), "Colours");
  EXPECT_FALSE(Fill->GetColorPanel()->GetProperties()->GetShowDefaultColor());
  EXPECT_EQ(Main.Find<TOxOfficeColorButton>("Back")->GetSelectedColor(), clMoneyGreen);
}

}  // namespace
