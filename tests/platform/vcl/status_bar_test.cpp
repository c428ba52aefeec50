// The status bar: panels read from a form resource, their places along the
// bar (the last one takes the rest), and their texts on the screen.
#include <gtest/gtest.h>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/status_bar.h"

namespace {

TEST(StatusBar, PanelsFromTheResourceLieSideBySideAndTheLastTakesTheRest) {
  RegisterComponentClass<TStatusBar>("TStatusBar");
  const char* Text =
      "object F: TForm\n"
      "  ClientWidth = 400\n  ClientHeight = 100\n"
      "  object Bar: TStatusBar\n    Height = 19\n    SizeGrip = False\n"
      "    Panels = <\n"
      "      item\n        Alignment = taCenter\n        Width = 100\n      end\n"
      "      item\n        Width = 50\n        Text = 'two'\n      end\n"
      "      item\n        Width = 80\n        Text = 'three'\n      end>\n"
      "  end\n"
      "end\n";
  TForm F(nullptr);
  F.ReadFormResourceText(Text, "status");
  auto* Bar = F.Find<TStatusBar>("Bar");
  ASSERT_NE(Bar, nullptr);
  EXPECT_EQ(Bar->GetAlign(), alBottom);
  EXPECT_EQ(Bar->GetTop(), 100 - 19);
  ASSERT_EQ(Bar->GetPanelCount(), 3);
  EXPECT_EQ(Bar->GetPanel(0)->GetAlignment(), taCenter);
  EXPECT_EQ(Bar->GetPanel(1)->GetText(), "two");
  EXPECT_EQ(Bar->GetPanel(3), nullptr);
  EXPECT_FALSE(Bar->GetSizeGrip());
  EXPECT_EQ(Bar->PanelRect(0), (TRect{0, 0, 100, 19}));
  EXPECT_EQ(Bar->PanelRect(1), (TRect{100, 0, 150, 19}));
  EXPECT_EQ(Bar->PanelRect(2), (TRect{150, 0, 400, 19}));
  struct {
    int32_t X, Panel;
  } Cases[] = {{0, 0}, {99, 0}, {100, 1}, {149, 1}, {150, 2}, {399, 2}, {400, -1}, {-1, -1}};
  for (const auto& C : Cases) EXPECT_EQ(Bar->PanelAt(C.X), C.Panel) << C.X;

  // A panel's text is drawn inside its own place only.
  Bar->GetPanel(0)->SetText("Page: 1/3");
  Bar->Update();
  TBitmap* B = Bar->GetFrontBuffer();
  auto Dark = [&](int32_t X1, int32_t X2) {
    int N = 0;
    for (int32_t y = 2; y < 17; ++y)
      for (int32_t x = X1; x < X2; ++x) {
        const uint8_t* P = B->GetScanLine(y) + x * 4;
        if (P[0] < 80 && P[1] < 80 && P[2] < 80) ++N;
      }
    return N;
  };
  EXPECT_GT(Dark(5, 95), 10);
  Bar->GetPanel(0)->SetText("");
  Bar->Update();
  EXPECT_EQ(Dark(5, 95), 0);
}

}  // namespace
