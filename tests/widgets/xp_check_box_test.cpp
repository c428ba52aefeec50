#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/widget_classes.h"
#include "widgets/xp_check_box.h"

namespace {

struct CheckTest : ::testing::Test {
  CheckTest() {
    F.SetBounds(0, 0, 300, 200);
    F.SetColor(clBtnFace);
    B = new TOxXPCheckbox(&F);
    B->SetParent(&F);
    B->SetBounds(10, 10, 161, 17);
    B->SetColor(clBtnFace);
    B->SetCaption("Use source folder");
  }
  TForm F{nullptr};
  TOxXPCheckbox* B = nullptr;
};

TEST_F(CheckTest, ClickSpaceAndGrayedCycle) {
  F.Show();
  F.GetWidget()->activateWindow();
  QApplication::processEvents();
  int32_t Clicks = 0;
  B->OnClick = [&](TObject*) { ++Clicks; };
  SendClick(B->GetWidget(), QPoint(5, 5));
  EXPECT_TRUE(B->GetChecked());
  EXPECT_EQ(B->GetState(), cbChecked);
  EXPECT_EQ(Clicks, 1);
  B->SetFocus();
  QApplication::processEvents();
  SendKey(B->GetWidget(), Qt::Key_Space, Qt::NoModifier, " ");
  EXPECT_FALSE(B->GetChecked()) << "Space toggles";
  EXPECT_EQ(Clicks, 1) << "without OnClick";
  B->SetState(cbGrayed);
  EXPECT_EQ(B->GetState(), cbUnchecked) << "grayed needs AllowGrayed";
  B->SetAllowGrayed(true);
  std::vector<TCheckBoxState> Seen;
  for (int I = 0; I < 3; ++I) {
    B->Click();
    Seen.push_back(B->GetState());
  }
  EXPECT_EQ(Seen, (std::vector<TCheckBoxState>{cbChecked, cbGrayed, cbUnchecked}));
  B->SetState(cbGrayed);
  EXPECT_FALSE(B->GetChecked());
  B->SetAllowGrayed(false);
  EXPECT_EQ(B->GetState(), cbUnchecked);
}

TEST_F(CheckTest, PaintsBoxMarkCaptionAndHotRing) {
  B->SetChecked(true);
  B->Update();
  TBitmap* FB = B->GetFrontBuffer();
  EXPECT_EQ(FB->GetPixelColor(2, 2), static_cast<TColor>(0x845118)) << "the box at (2, 2)";
  EXPECT_EQ(FB->GetPixelColor(14, 14), static_cast<TColor>(0x845118));
  EXPECT_EQ(FB->GetPixelColor(11, 5), static_cast<TColor>(0x21A621)) << "mark row 1, column 7";
  EXPECT_EQ(FB->GetPixelColor(5, 9), static_cast<TColor>(0x21A621)) << "mark row 5, column 1";
  EXPECT_NE(FB->GetPixelColor(6, 5), static_cast<TColor>(0x21A621));
  EXPECT_EQ(FB->GetPixelColor(3, 3), static_cast<TColor>(0xFFFFFF)) << "face gradient starts white";
  int32_t FirstInk = -1;
  for (int32_t X = 16; X < 60 && FirstInk < 0; ++X)
    for (int32_t Y = 0; Y < 17; ++Y)
      if (FB->GetPixelColor(X, Y) != static_cast<TColor>(ColorToRGB(clBtnFace))) {
        FirstInk = X;
        break;
      }
  EXPECT_GE(FirstInk, 20) << "the caption starts at x = 20";
  EXPECT_LE(FirstInk, 23);
  B->Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(B));
  B->Update();
  EXPECT_EQ(FB->GetPixelColor(3, 3), B->HotBitmap()->GetPixelColor(0, 0)) << "the hot ring";
  EXPECT_EQ(FB->GetPixelColor(4, 4), static_cast<TColor>(0xFFFFFF));
  B->SetState(cbUnchecked);
  B->SetAllowGrayed(true);
  B->SetState(cbGrayed);
  B->Update();
  EXPECT_EQ(FB->GetPixelColor(6, 5), static_cast<TColor>(0x71C671)) << "grayed: a solid square";
}

TEST_F(CheckTest, FormResourceReadsTheBox) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Chk: TOxXPCheckbox\n    Width = 161\n    Height = 17\n"
                            "    Caption = 'Use source folder'\n    AllowGrayed = True\n    State = cbGrayed\n"
                            "    BoundLines = [blTop, blBottom]\n    Spacing = 5\n  end\nend\n",
                            "main");
  auto* C = Main.Find<TOxXPCheckbox>("Chk");
  ASSERT_TRUE(C);
  EXPECT_EQ(C->GetState(), cbGrayed);
  EXPECT_EQ(C->GetBoundLines(), blTop | blBottom);
  EXPECT_EQ(C->GetSpacing(), 5);
  C->Update();
  EXPECT_EQ(C->GetFrontBuffer()->GetPixelColor(80, 0), static_cast<TColor>(0x733800));
}

}  // namespace
