#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>
#include <memory>
#include <string>

#include "platform/gdi/canvas.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/text_list_box.h"
#include "widgets/widget_classes.h"

namespace {

struct TextListBoxTest : ::testing::Test {
  TextListBoxTest() {
    F.SetBounds(0, 0, 300, 200);
    L = new TOxTextListBox(&F);
    L->SetParent(&F);
    L->SetBounds(10, 10, 120, 100);
    F.Show();
    Measure.SetFont(L->GetFont());
  }
  int32_t Width(const std::string& S) const { return Measure.TextWidth(S + "x"); }
  TForm F{nullptr};
  TOxTextListBox* L = nullptr;
  TCanvas Measure;
};

TEST_F(TextListBoxTest, ExtentFollowsTheWidestLine) {
  const std::string Short = "a.tif";
  const std::string Long = "/home/user/scans/2026/december/incoming/fax-0001-with-a-long-name.tif";
  const std::string Middle = "/home/user/scans/middle-length.tif";
  L->GetItems()->Add(Short);
  EXPECT_EQ(L->GetMaxItemWidth(), Width(Short));
  L->GetItems()->Add(Long);
  L->GetItems()->Insert(0, Middle);
  EXPECT_EQ(L->GetMaxItemWidth(), Width(Long));
  EXPECT_EQ(L->GetHorizontalExtent(), Width(Long));
  // The list scrolls sideways exactly as far as the widest line needs.
  QApplication::processEvents();
  ASSERT_GT(Width(Long), 120);
  EXPECT_GT(L->GetHorizontalRange(), 0);
  L->SetHorizontalPosition(L->GetHorizontalRange());

  // Deleting a shorter line keeps the range and the position.
  const int32_t Position = L->GetHorizontalPosition();
  L->GetItems()->Delete(0);  // the middle line, inserted first
  EXPECT_EQ(L->GetHorizontalExtent(), Width(Long));
  EXPECT_EQ(L->GetHorizontalPosition(), Position);

  // Deleting the widest line scrolls back to the left and shrinks the range.
  L->GetItems()->Delete(1);
  EXPECT_EQ(L->GetHorizontalPosition(), 0);
  EXPECT_EQ(L->GetHorizontalExtent(), Width(Short));
  EXPECT_EQ(L->GetItems()->GetCount(), 1);

  L->GetItems()->Clear();
  EXPECT_EQ(L->GetMaxItemWidth(), 0);
  EXPECT_EQ(L->GetHorizontalExtent(), 0);
  EXPECT_EQ(L->GetItems()->GetCount(), 0);
}

TEST_F(TextListBoxTest, RejectedInsertMeasuresNothingAndFontChangeRemeasures) {
  L->GetItems()->Add("abc");
  const int32_t Before = L->GetMaxItemWidth();
  const std::string Wide = "a line far wider than the first one";
  // An insert past the end is refused by the list and leaves the width.
  EXPECT_EQ(L->Perform(LB_INSERTSTRING, 5, reinterpret_cast<LPARAM>(&Wide)), LB_ERR);
  EXPECT_EQ(L->GetMaxItemWidth(), Before);

  L->GetFont()->SetSize(L->GetFont()->GetSize() * 3);
  Measure.SetFont(L->GetFont());
  EXPECT_EQ(L->GetMaxItemWidth(), Width("abc"));
  EXPECT_GT(L->GetMaxItemWidth(), Before);
}

TEST_F(TextListBoxTest, TabStopsFollowTabWidthInDialogUnits) {
  L->SetTabWidth(8);
  L->GetItems()->Add("a\tb");
  // Tab stops every round(width of "0" x 8 / 4) pixels.
  const int32_t Stop = int32_t(std::nearbyint(Measure.TextWidth("0") * 2.0));
  const int32_t A = Measure.TextWidth("a");
  const int32_t Expected = (A / Stop + 1) * Stop + Measure.TextWidth("bx");
  EXPECT_EQ(L->GetMaxItemWidth(), Expected);
}

TEST(TextListBoxForm, ReadsItemsAndPropertiesFromAFormResource) {
  OxRegisterWidgetClasses();
  const char* Text =
      "object Form1: TForm\n"
      "  Left = 0\n  Top = 0\n  Width = 300\n  Height = 200\n"
      "  object Files: TOxTextListBox\n"
      "    Left = 8\n    Top = 8\n    Width = 100\n    Height = 80\n"
      "    ItemHeight = 13\n    TabWidth = 4\n    Sorted = True\n"
      "    Items.Strings = (\n      'zeta.tif'\n      'alpha.tif')\n"
      "    TabOrder = 0\n"
      "  end\n"
      "end\n";
  TForm Form(nullptr);
  Form.ReadFormResourceText(Text, "form1");
  auto* L = Form.Find<TOxTextListBox>("Files");
  ASSERT_NE(L, nullptr);
  ASSERT_EQ(L->GetItems()->GetCount(), 2);
  EXPECT_EQ(L->GetItems()->Get(0), "alpha.tif");
  EXPECT_EQ(L->GetTabWidth(), 4);
  EXPECT_GT(L->GetMaxItemWidth(), 0);
}

}  // namespace
