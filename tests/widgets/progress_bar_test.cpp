#include "widgets/progress_bar.h"

#include <gtest/gtest.h>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "widgets/widget_classes.h"

namespace {

constexpr TColor kFrom = static_cast<TColor>(0x31D329);
constexpr TColor kTo = static_cast<TColor>(0xADEFAD);

struct BarTest : ::testing::Test {
  BarTest() {
    F.SetBounds(0, 0, 300, 200);
    F.SetColor(clRed);
    Bar = new TOxXPProgressBar(&F);
    Bar->SetParent(&F);
    Bar->SetBounds(5, 5, 49, 17);
  }
  TColor Px(int32_t X, int32_t Y) {
    Bar->Update();
    return Bar->GetFrontBuffer()->GetPixelColor(X, Y);
  }
  bool Green(int32_t X, int32_t Y) {
    const TColor C = Px(X, Y);
    return GetGValue(static_cast<uint32_t>(C)) > GetRValue(static_cast<uint32_t>(C)) + 60;
  }
  TForm F{nullptr};
  TOxXPProgressBar* Bar = nullptr;
};

TEST_F(BarTest, RangeClampsAndNotifiesOnce) {
  int32_t Changes = 0;
  Bar->OnChange = [&](TObject*) { ++Changes; };
  Bar->SetPosition(150);
  EXPECT_EQ(Bar->GetPosition(), 100);
  Bar->SetPosition(100);
  EXPECT_EQ(Changes, 1);
  Bar->SetPosition(-5);
  EXPECT_EQ(Bar->GetPosition(), 0);
  Bar->SetPosition(60);
  Bar->SetMax(40);
  EXPECT_EQ(Bar->GetPosition(), 40);
  EXPECT_EQ(Bar->GetMax(), 40);
  Bar->SetMin(45);
  EXPECT_EQ(Bar->GetMin(), 40) << "not above Max";
  Bar->SetMax(100);
  Bar->SetMin(50);
  EXPECT_EQ(Bar->GetPosition(), 50);
  Bar->SetStep(0);
  EXPECT_EQ(Bar->GetStep(), 1);
  Bar->SetStep(30);
  Bar->AdvanceOneStep();
  Bar->AdvanceOneStep();
  EXPECT_EQ(Bar->GetPosition(), 100);
}

TEST_F(BarTest, FrameAndBlocksOfTheStatusBarGauge) {
  Bar->SetPosition(50);  // L = 25 (24.5 rounded away from zero)
  EXPECT_EQ(Px(0, 0), clRed) << "the parent shows in the rounded corners";
  EXPECT_EQ(Px(0, 8), kXPBarDark);
  EXPECT_EQ(Px(1, 8), kXPBarMiddle);
  EXPECT_EQ(Px(2, 8), kXPBarLight);
  EXPECT_EQ(Px(20, 0), kXPBarDark);
  EXPECT_EQ(Px(20, 2), kXPBarLight);
  EXPECT_EQ(Px(20, 16), kXPBarDark);
  EXPECT_EQ(Px(46, 8), kXPBarLight);
  // Three blocks of six pixels starting at 4, 12 and 20.
  for (int32_t X : {4, 9, 12, 17, 20, 25}) EXPECT_TRUE(Green(X, 8)) << X;
  for (int32_t X : {10, 11, 18, 26, 28, 40}) EXPECT_FALSE(Green(X, 8)) << X;
  EXPECT_EQ(Px(10, 8), static_cast<TColor>(ColorToRGB(clWindow)));
  // Each block runs light, saturated, light from top to bottom.
  EXPECT_EQ(Px(4, 3), kTo);
  EXPECT_EQ(Px(4, 8), kFrom);
  EXPECT_EQ(Px(4, 13), kTo);

  Bar->SetPosition(100);  // L = 49: the sixth block stops before x = 46
  EXPECT_TRUE(Green(44, 8));
  EXPECT_TRUE(Green(45, 8));
  EXPECT_EQ(Px(46, 8), kXPBarLight);
}

TEST_F(BarTest, EmptyRangeSmoothAndVertical) {
  Bar->SetMax(0);
  EXPECT_NE(Px(0, 8), kXPBarDark) << "an empty range paints no frame";
  Bar->SetMax(100);
  Bar->SetSmooth(true);
  Bar->SetPosition(0);
  EXPECT_EQ(Px(0, 8), kXPBarDark);
  EXPECT_EQ(Px(10, 8), static_cast<TColor>(ColorToRGB(clWindow)));
  Bar->SetPosition(50);
  EXPECT_TRUE(Green(10, 8));
  EXPECT_FALSE(Green(40, 8));

  Bar->SetBounds(5, 5, 150, 17);
  Bar->SetOrientation(pbVertical);
  EXPECT_EQ(Bar->GetWidth(), 150);
  EXPECT_EQ(Bar->GetHeight(), 17);
  Bar->SetBounds(5, 5, 17, 100);
  Bar->SetSmooth(false);
  EXPECT_TRUE(Green(8, 95)) << "a vertical bar grows from the bottom";
  EXPECT_FALSE(Green(8, 20));
}

TEST_F(BarTest, FormResourceReadsTheBar) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText(
      "object Main: TForm\n"
      "  object Gauge1: TOxXPProgressBar\n    Left = 4\n    Width = 49\n    Height = 17\n"
      "    Min = 10\n    Max = 60\n    Position = 35\n    Smooth = True\n    Orientation = pbHorizontal\n"
      "    BarColorFrom = clBlue\n    BarColorTo = $00FF0000\n  end\n"
      "end\n",
      "main");
  auto* G = Main.Find<TOxXPProgressBar>("Gauge1");
  ASSERT_TRUE(G);
  EXPECT_EQ(G->GetMin(), 10);
  EXPECT_EQ(G->GetMax(), 60);
  EXPECT_EQ(G->GetPosition(), 35);
  EXPECT_TRUE(G->GetSmooth());
  EXPECT_EQ(G->GetBarColorFrom(), clBlue);
  EXPECT_EQ(G->GetStep(), 7);
  G->Update();
  EXPECT_EQ(G->GetFrontBuffer()->GetPixelColor(10, 8), clBlue);
}

}  // namespace
