// The hint boxes of the views: a translucent box kept inside the canvas, and
// a box whose covered background is saved for restoring.
#include <gtest/gtest.h>

#include <memory>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "views/hint_boxes.h"

namespace {

std::unique_ptr<TBitmap> White(int32_t W, int32_t H) {
  auto B = std::make_unique<TBitmap>();
  B->SetPixelFormat(pf24bit);
  B->SetSize(W, H);
  B->GetCanvas()->GetBrush()->SetColor(clWhite);
  B->GetCanvas()->FillRect(TRect{0, 0, W, H});
  return B;
}

TColor Px(TBitmap& B, int32_t X, int32_t Y) { return B.GetPixelColor(X, Y); }

TEST(HintBoxes, TranslucentBoxAndSavedBackground) {
  auto B = White(200, 60);
  int32_t X = -20, Y = 5;
  IEDrawTranslucentTextBox(B->GetCanvas(), X, Y, "12, 34", "0000, 0000");
  EXPECT_EQ(X, 0);
  // Inside the box: tinted towards light yellow, not replaced by it.
  TColor Inside = Px(*B, 8, Y + 8);
  EXPECT_NE(Inside, clWhite);
  EXPECT_EQ(Px(*B, 3, 3), clWhite);

  auto S = White(100, 40);
  S->GetCanvas()->SetPixel(95, 35, clRed);
  std::unique_ptr<TBitmap> Saved;
  TFont Font;
  TBrush Brush;
  Brush.SetColor(clYellow);
  int32_t X2 = 90, Y2 = 30;
  IEDrawTextBoxSavingBackground(S->GetCanvas(), X2, Y2, "Hi", &Font, &Brush, Saved, 100, 40, clGray,
                                clBlack);
  ASSERT_NE(Saved, nullptr);
  EXPECT_LT(X2, 90);
  EXPECT_GE(Y2, 0);
  EXPECT_EQ(Saved->GetPixelColor(95 - X2, 35 - Y2), clRed);
}

}  // namespace
