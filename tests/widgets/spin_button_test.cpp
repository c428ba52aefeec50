#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QWidget>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/spin_button.h"

namespace {

void Pump(int32_t Ms) {
  QElapsedTimer T;
  T.start();
  while (T.elapsed() < Ms) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

struct SpinTest : ::testing::Test {
  SpinTest() { F.SetBounds(0, 0, 300, 200); }
  TOxSpinButton* Add(int32_t X, int32_t Y, int32_t W = 20, int32_t H = 20) {
    auto* B = new TOxSpinButton(&F);
    B->SetParent(&F);
    B->SetBounds(X, Y, W, H);
    return B;
  }
  TForm F{nullptr};
};

TEST_F(SpinTest, SplitTestOfBothStyles) {
  auto* B = Add(0, 0);
  struct Case {
    TOxSpinButtonStyle Style;
    int32_t X, Y;
    bool Lower;
  };
  for (const Case& C : {Case{sbsDefault, 10, 10, false}, Case{sbsDefault, 0, 20, false}, Case{sbsDefault, 10, 11, true},
                        Case{sbsDefault, 19, 2, true}, Case{sbsDefault, 2, 17, false}, Case{sbsClassic, 3, 10, false},
                        Case{sbsClassic, 3, 11, true}}) {
    B->SetButtonStyle(C.Style);
    EXPECT_EQ(B->InLowerPart(TPoint{C.X, C.Y}), C.Lower) << C.Style << " " << C.X << "," << C.Y;
  }
}

TEST_F(SpinTest, FacesAreSharedAndFreedWithTheirLastUser) {
  auto* A = Add(0, 0, 17, 17);
  auto* B = Add(30, 0, 17, 17);
  A->Update();
  B->Update();
  ASSERT_TRUE(A->GetButtonFaces());
  EXPECT_EQ(A->GetButtonFaces(), B->GetButtonFaces());
  EXPECT_EQ(A->GetButtonFaces()->RefCount(), 2);
  EXPECT_EQ(SpinFacesManagerIfAny()->FaceCount(), 1);
  delete A;
  EXPECT_EQ(B->GetButtonFaces()->RefCount(), 1);
  B->SetButtonStyle(sbsClassic);
  EXPECT_EQ(SpinFacesManagerIfAny()->FaceCount(), 0) << "the last user of the old faces let go";
  B->Update();
  EXPECT_EQ(SpinFacesManagerIfAny()->FaceCount(), 1);
  delete B;
  EXPECT_EQ(SpinFacesManagerIfAny(), nullptr);
}

TEST_F(SpinTest, HeldPressRepeatsOnItsOwnPartOnly) {
  auto* B = Add(10, 10);
  B->SetInitRepeatPause(40);
  B->SetRepeatPause(10);
  F.Show();
  QApplication::processEvents();
  int32_t Up = 0, Down = 0;
  B->OnTopClick = [&](TObject*) { ++Up; };
  B->OnBottomClick = [&](TObject*) { ++Down; };
  QWidget* W = B->GetWidget();
  SendMouse(W, QEvent::MouseButtonPress, QPoint(4, 4), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(Up, 1) << "one step at once";
  EXPECT_EQ(B->GetPressedPart(), spUpper);
  Pump(20);
  EXPECT_EQ(Up, 1) << "nothing before the first pause";
  Pump(100);
  EXPECT_GT(Up, 2);
  SendMouse(W, QEvent::MouseMove, QPoint(16, 16), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(B->GetPressedPart(), spNone) << "the other part is not pressed by sliding";
  const int32_t Held = Up;
  Pump(50);
  EXPECT_EQ(Up, Held);
  EXPECT_EQ(Down, 0);
  SendMouse(W, QEvent::MouseMove, QPoint(4, 4), Qt::NoButton, Qt::LeftButton);
  Pump(50);
  EXPECT_GT(Up, Held) << "sliding back resumes";
  // Released outside the button: the repeat stops with the release.
  SendMouse(W, QEvent::MouseButtonRelease, QPoint(60, 60), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(B->GetRepeatTimer()->GetEnabled());
  EXPECT_EQ(B->GetPressedPart(), spNone);
  const int32_t After = Up;
  Pump(60);
  EXPECT_EQ(Up, After);
}

TEST_F(SpinTest, LostCaptureOrCancelledModeEndsTheRepeat) {
  auto* B = Add(10, 10);
  B->SetInitRepeatPause(20);
  B->SetRepeatPause(10);
  F.Show();
  QApplication::processEvents();
  int32_t Down = 0;
  B->OnBottomClick = [&](TObject*) { ++Down; };
  SendMouse(B->GetWidget(), QEvent::MouseButtonPress, QPoint(16, 16), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(Down, 1);
  // The window lost the focus and with it the mouse.
  B->SetMouseCapture(false);
  Pump(60);
  EXPECT_EQ(Down, 1);
  EXPECT_FALSE(B->GetRepeatTimer()->GetEnabled());
  SendMouse(B->GetWidget(), QEvent::MouseButtonRelease, QPoint(16, 16), Qt::LeftButton, Qt::NoButton);
  SendMouse(B->GetWidget(), QEvent::MouseButtonPress, QPoint(16, 16), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(Down, 2);
  B->Perform(CM_CANCELMODE, 0, LPARAM(0));
  Pump(60);
  EXPECT_EQ(Down, 2);
  EXPECT_EQ(B->GetPressedPart(), spNone);
}

TEST_F(SpinTest, PaintsArrowsPressedAndDisabledFaces) {
  auto* B = Add(10, 10, 20, 20);
  B->Update();
  TBitmap* FB = B->GetFrontBuffer();
  // Up arrow at (round(5 - 3) + 1, round(5 - 3) + 1) = (3, 3); its tip pixel
  // row 0 column 2.
  EXPECT_EQ(FB->GetPixelColor(3 + 2, 3), clBlack);
  EXPECT_EQ(FB->GetPixelColor(3 + 0, 3 + 2), clBlack);
  // Down arrow at (round(15 - 3) - 1, round(15 - 3) - 1) = (11, 11); widest row 3.
  EXPECT_EQ(FB->GetPixelColor(11, 11 + 3), clBlack);
  B->SetEnabled(false);
  B->Update();
  EXPECT_NE(FB->GetPixelColor(3 + 2, 3), clBlack) << "disabled arrows are embossed";
  B->SetEnabled(true);
  TBitmap Custom;
  Custom.SetPixelFormat(pf24bit);
  Custom.SetSize(4, 4);
  Custom.GetCanvas()->GetBrush()->SetColor(clRed);
  Custom.GetCanvas()->FillRect(Rect(0, 0, 4, 4));
  B->SetUpGlyph(&Custom);
  B->Update();
  EXPECT_TRUE(B->GetButtonFaces()->GetCustomGlyphs());
  EXPECT_NE(FB->GetPixelColor(11, 14), clBlack) << "custom glyphs replace both built-in arrows";
  EXPECT_EQ(FB->GetPixelColor(IERound(5.0 - 2) + 1 + 1, 5), clRed);
}

TEST_F(SpinTest, SystemColourChangeRendersSharedFacesOnceAtNextPaint) {
  auto* A = Add(0, 0, 18, 18);
  auto* B = Add(30, 0, 18, 18);
  A->Update();
  B->Update();
  TSpinButtonBitmaps* Faces = A->GetButtonFaces();
  const int32_t Before = Faces->RenderCount();
  A->Perform(CM_SYSCOLORCHANGE, 0, LPARAM(0));
  EXPECT_EQ(Faces->RenderCount(), Before);
  A->Update();
  B->Invalidate();
  B->Update();
  EXPECT_EQ(Faces->RenderCount(), Before + 1);
}

}  // namespace
