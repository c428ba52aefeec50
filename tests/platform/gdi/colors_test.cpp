// Colours: system colours, names and screen facts.
#include <gtest/gtest.h>

#include "platform/gdi/colors.h"
#include "platform/gdi/screen.h"

TEST(Colors, ValuesAndSystemColours) {
  EXPECT_EQ(RGB(1, 2, 3), 0x030201);
  EXPECT_EQ(GetRValue(clRed), 255);
  EXPECT_EQ(GetBValue(clBlue), 255);
  EXPECT_EQ(clBtnFace, TColor(0xFF00000F));
  EXPECT_EQ(clMenuHighlight, TColor(0xFF00001D));
  EXPECT_LT(clWindow, 0);
  EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu);
  EXPECT_EQ(ColorToRGB(clNone), uint32_t(clNone));
  // System colours resolve to plain colours of the scheme.
  for (int i = 0; i <= COLOR_ENDCOLORS; ++i) EXPECT_EQ(ColorToRGB(clSystemColor | i) >> 24, 0u);
  EXPECT_EQ(ColorToRGB(clWindow), GetSysColor(COLOR_WINDOW));
  EXPECT_NE(ColorToRGB(clWindow), ColorToRGB(clWindowText));
  EXPECT_EQ(GetSysColor(99), 0u);
}

TEST(Colors, NamesAndText) {
  struct Case {
    const char* Text;
    bool Ok;
    TColor Value;
  };
  const Case cases[] = {{"clRed", true, clRed},         {"CLBTNFACE", true, clBtnFace},
                        {"$00FF8000", true, 0xFF8000},  {"0x10", true, 0x10},
                        {"255", true, 255},             {"-16777201", true, clBtnFace},
                        {"clNoSuchColour", false, 0},   {"$", false, 0},
                        {"12x", false, 0},              {"$1FFFFFFFF", false, 0}};
  for (const Case& c : cases) {
    TColor v = 0;
    EXPECT_EQ(TryStringToColor(c.Text, v), c.Ok) << c.Text;
    if (c.Ok) {
      EXPECT_EQ(v, c.Value) << c.Text;
    }
  }
  EXPECT_EQ(ColorToString(clBtnFace), "clBtnFace");
  EXPECT_EQ(ColorToString(0x123456), "$00123456");
  TColor back = 0;
  ASSERT_TRUE(TryStringToColor(ColorToString(0x123456), back));
  EXPECT_EQ(back, 0x123456);
}

TEST(Screen, Facts) {
  EXPECT_GT(ScreenBitsPerPixel(), 0);
  EXPECT_EQ(ScreenLogPixelsX(), 96);  // the offscreen screen of the tests
  EXPECT_EQ(GetDeviceCaps(nullptr, LOGPIXELSY), ScreenLogPixelsY());
  EXPECT_EQ(GetDeviceCaps(nullptr, BITSPIXEL), ScreenBitsPerPixel());
}
