#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/color_swatch.h"
#include "widgets/theming.h"

namespace {

struct SwatchTest : ::testing::Test {
  SwatchTest() {
    SetThemesEnabled(false);
    F.SetBounds(0, 0, 300, 200);
    F.SetColor(clBtnFace);
  }
  ~SwatchTest() override { SetThemesEnabled(true); }
  template <typename T>
  T* Add(int32_t W, int32_t H) {
    auto* B = new T(&F);
    B->SetParent(&F);
    B->SetBounds(10, 10, W, H);
    B->SetFlat(true);
    return B;
  }
  TForm F{nullptr};
};

TEST_F(SwatchTest, SwatchRectanglesOfThePlacements) {
  auto* B = Add<TOxOfficeColorDrawer>(25, 25);
  B->SetDrawColor(clRed);
  EXPECT_EQ(B->SwatchRect(), Rect(5, 5, 20, 20));
  B->Update();
  TBitmap* FB = B->GetFrontBuffer();
  EXPECT_EQ(FB->GetPixelColor(5, 5), clGray) << "the grey frame";
  EXPECT_EQ(FB->GetPixelColor(19, 19), clGray);
  EXPECT_EQ(FB->GetPixelColor(6, 6), clRed);
  EXPECT_EQ(FB->GetPixelColor(18, 18), clRed);
  EXPECT_NE(FB->GetPixelColor(20, 20), clGray);
  B->SetBounds(10, 10, 144, 25);
  B->SetSwatchPlacement(1);
  EXPECT_EQ(B->SwatchRect(), Rect(6, 6, 25, 20));
  B->SetSwatchPlacement(2);
  EXPECT_EQ(B->SwatchRect(), Rect(144 - 25 + 1, 6, 139, 20));
  B->SetSwatchPlacement(4);
  B->Update();
  EXPECT_NE(FB->GetPixelColor(70, 12), clRed) << "no swatch for other placements";
}

TEST_F(SwatchTest, DisabledSwatchTakesTheDisabledColourAndGlyphGetsABar) {
  auto* B = Add<TOxColorSpeedButton>(25, 25);
  B->SetDrawColor(clRed);
  B->SetDisabledDrawColor(clBtnFace);
  int32_t Changes = 0;
  B->OnEnabledChange = [&](TObject*) { ++Changes; };
  B->SetEnabled(false);
  EXPECT_EQ(Changes, 1);
  B->Update();
  TBitmap* FB = B->GetFrontBuffer();
  EXPECT_EQ(FB->GetPixelColor(10, 10), static_cast<TColor>(ColorToRGB(clBtnFace)));
  B->SetEnabled(true);
  TBitmap G;
  G.SetPixelFormat(pf24bit);
  G.SetSize(16, 16);
  G.GetCanvas()->GetBrush()->SetColor(clFuchsia);
  G.GetCanvas()->FillRect(Rect(0, 0, 16, 16));
  B->SetGlyph(&G);
  B->Update();
  // The bar from (25 / 2 - 9, 25 / 2 + 4) = (3, 16), 17 x 4.
  EXPECT_EQ(FB->GetPixelColor(3, 16), clRed);
  EXPECT_EQ(FB->GetPixelColor(19, 19), clRed);
  EXPECT_NE(FB->GetPixelColor(3, 20), clRed);
  F.Show();
  QApplication::processEvents();
  SendMouse(B->GetWidget(), QEvent::MouseButtonPress, QPoint(5, 5), Qt::LeftButton, Qt::LeftButton);
  B->Update();
  EXPECT_NE(FB->GetPixelColor(3, 16), clRed) << "pressed: the bar moves by one pixel";
  EXPECT_EQ(FB->GetPixelColor(4, 17), clRed);
  SendMouse(B->GetWidget(), QEvent::MouseButtonRelease, QPoint(5, 5), Qt::LeftButton, Qt::NoButton);
}

TEST_F(SwatchTest, AutomaticButtonNamesItsColourOverTheSwatchOnly) {
  auto* B = Add<TOxDefaultColorSpeendButton>(144, 25);
  B->SetSwatchPlacement(1);
  B->SetDrawColor(clBlack);
  B->SetHint("Automatic");
  THintInfo Info;
  Info.HintStr = "Automatic";
  Info.CursorPos = TPoint{10, 10};
  B->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
  EXPECT_EQ(Info.HintStr, ColorDisplayName(clBlack));
  THintInfo Away;
  Away.HintStr = "Automatic";
  Away.CursorPos = TPoint{80, 10};
  B->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Away));
  EXPECT_EQ(Away.HintStr, "Automatic");
}

}  // namespace
