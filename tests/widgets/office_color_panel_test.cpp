#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/office_color_panel.h"
#include "widgets/theming.h"
#include "widgets/widget_classes.h"

namespace {

struct OfficePanelTest : ::testing::Test {
  OfficePanelTest() {
    SetThemesEnabled(false);
    F.SetBounds(0, 0, 400, 400);
    P = new TOxOfficeColorPanel(&F);
    P->SetParent(&F);
    P->AdjustColorButtons();
  }
  ~OfficePanelTest() override {
    SetOxColorChooser(nullptr);
    SetThemesEnabled(true);
  }
  TForm F{nullptr};
  TOxOfficeColorPanel* P = nullptr;
};

TEST_F(OfficePanelTest, DefaultLayoutIs152By162WithAutomaticDown) {
  EXPECT_EQ(P->GetWidth(), 152);
  EXPECT_EQ(P->GetHeight(), 162);
  EXPECT_EQ(P->GetDefaultColorButton()->GetBoundsRect(), Rect(4, 4, 148, 29));
  EXPECT_EQ(P->GetDefaultColorButton()->GetCaption(), "Automatic");
  EXPECT_TRUE(P->GetDefaultColorButton()->GetDown());
  EXPECT_EQ(P->GetSelectedColor(), clDefault);
  ASSERT_EQ(P->StandardButtons().size(), 40u);
  EXPECT_EQ(P->StandardButtons()[0]->GetBoundsRect(), Rect(4, 33, 22, 51));
  EXPECT_EQ(P->StandardButtons()[39]->GetBoundsRect(), Rect(4 + 7 * 18, 33 + 4 * 18, 4 + 8 * 18, 33 + 5 * 18));
  EXPECT_EQ(P->GetCustomDivider()->GetTop(), 127);
  EXPECT_EQ(P->GetCustomColorButton()->GetTop(), 133);
  EXPECT_EQ(P->GetCustomColorButton()->GetCaption(), "Other Colors...");
  EXPECT_EQ(P->GetCustomColorDrawer()->GetBoundsRect(), Rect(4 + 144 - 25, 133, 148, 158));
  EXPECT_TRUE(P->StandardButtons().back()->GetVisible()) << "the last row is shown";
  EXPECT_EQ(P->StandardButtons()[1]->GetHint(), "Brown");
}

TEST_F(OfficePanelTest, SelectionPutsTheMatchingCellDown) {
  int32_t Changes = 0;
  P->OnColorChange = [&](TObject*) { ++Changes; };
  P->SetSelectedColor(static_cast<TColor>(0x003399));
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(P->StandardButtons()[1]->GetDown());
  EXPECT_FALSE(P->GetDefaultColorButton()->GetDown());
  P->SetSelectedColor(static_cast<TColor>(0x123456));
  EXPECT_EQ(Changes, 2);
  EXPECT_TRUE(P->StandardButtons()[1]->GetDown()) << "a colour in no grid leaves the previous button down";
  P->SetSelectedColor(clBlack);
  EXPECT_TRUE(P->StandardButtons()[0]->GetDown());
  EXPECT_FALSE(P->StandardButtons()[1]->GetDown());
}

TEST_F(OfficePanelTest, ClickingCellsAndTheCustomButton) {
  F.Show();
  QApplication::processEvents();
  std::vector<std::string> Events;
  P->OnColorButtonClick = [&](TObject*) { Events.push_back("button"); };
  P->OnColorChange = [&](TObject*) { Events.push_back("change"); };
  SendClick(P->StandardButtons()[16]->GetWidget(), QPoint(5, 5));
  EXPECT_EQ(P->GetSelectedColor(), clRed);
  EXPECT_TRUE(P->StandardButtons()[16]->GetDown());
  EXPECT_EQ(Events, (std::vector<std::string>{"button", "change"}));
  // Cancelled chooser: the previous choice is down again.
  SetOxColorChooser([](TColor&) { return false; });
  SendClick(P->GetCustomColorButton()->GetWidget(), QPoint(5, 5));
  EXPECT_EQ(P->GetSelectedColor(), clRed);
  EXPECT_TRUE(P->StandardButtons()[16]->GetDown());
  // Accepted twice with the same colour while holding custom colours: one
  // user line.
  P->GetProperties()->SetHoldCustomColor(true);
  P->GetProperties()->SetShowUserColors(true);
  SetOxColorChooser([](TColor& C) {
    C = static_cast<TColor>(0x102030);
    return true;
  });
  int32_t Held = 0;
  P->OnCustomColorHeld = [&](TObject*, TColor) { ++Held; };
  SendClick(P->GetCustomColorButton()->GetWidget(), QPoint(5, 5));
  SendClick(P->GetCustomColorButton()->GetWidget(), QPoint(5, 5));
  EXPECT_EQ(P->GetSelectedColor(), static_cast<TColor>(0x102030));
  EXPECT_EQ(P->GetUserColors()->GetCount(), 1);
  EXPECT_EQ(Held, 1);
  EXPECT_EQ(P->GetCustomColorDrawer()->GetDrawColor(), static_cast<TColor>(0x102030));
  EXPECT_GT(P->GetHeight(), 162) << "the user row widens the panel's height";
}

TEST_F(OfficePanelTest, PropertyMinimaAndUserColourLines) {
  P->GetProperties()->SetColorSize(10);
  EXPECT_EQ(P->GetProperties()->GetColorSize(), 18);
  P->GetProperties()->SetColorSpace(-3);
  EXPECT_EQ(P->GetProperties()->GetColorSpace(), 0);
  P->GetProperties()->SetShowUserColors(true);
  TStringList L;
  L.Add("clRed=($)");
  L.Add("");
  L.Add("notacolour=Broken");
  P->SetUserColors(&L);
  ASSERT_EQ(P->UserButtons().size(), 2u);
  EXPECT_EQ(P->UserButtons()[0]->GetHint(), "Red");
  EXPECT_TRUE(P->UserButtons()[0]->GetVisible());
  EXPECT_FALSE(P->UserButtons()[1]->GetEnabled());
  EXPECT_FALSE(P->UserButtons()[1]->GetVisible());
  P->GetProperties()->SetShowNoneColor(true);
  EXPECT_TRUE(P->GetNoneColorButton()->GetVisible());
  EXPECT_EQ(P->GetDefaultColorButton()->GetTop(), 4 + 4 + 25);
}

TEST_F(OfficePanelTest, FormResourceStoresBlackAndReadsRetiredNames) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Colours: TOxOfficeColorPanel\n    Color = clBlack\n"
                            "    Properties.ShowAutoButton = False\n    Properties.OtherCaption = 'More...'\n"
                            "    Properties.ShowNoneColor = True\n    Flat = True\n  end\n"
                            "  object Colours2: TOxOfficeColorPanel\n    SelectedColor = clBlack\n  end\n"
                            "end\n",
                            "main");
  auto* C = Main.Find<TOxOfficeColorPanel>("Colours");
  ASSERT_TRUE(C);
  EXPECT_EQ(C->GetSelectedColor(), clBlack);
  EXPECT_TRUE(C->StandardButtons()[0]->GetDown());
  EXPECT_FALSE(C->GetProperties()->GetShowDefaultColor());
  EXPECT_EQ(C->GetCustomColorButton()->GetCaption(), "More...");
  EXPECT_TRUE(C->GetFlatBorder());
  EXPECT_EQ(C->GetNoneColorButton()->GetCaption(), "No Color") << "texts the resource left out get their defaults";
  auto* C2 = Main.Find<TOxOfficeColorPanel>("Colours2");
  EXPECT_EQ(C2->GetSelectedColor(), clBlack) << "black is a colour like any other, not the unset default";
}

}  // namespace
