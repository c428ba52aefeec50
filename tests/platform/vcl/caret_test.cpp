#include "platform/vcl/caret.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QImage>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"

namespace {

// A white page.
class TPage : public TCustomControl {
 public:
  explicit TPage(TComponent* Owner) : TCustomControl(Owner) {}

 protected:
  void Paint() override { GetFrontBuffer()->GetImage().fill(Qt::white); }
};

TEST(Caret, ShownOverThePictureAndBlinking) {
  TForm F(nullptr);
  F.SetBounds(0, 0, 200, 100);
  auto* Page = new TPage(&F);
  Page->SetParent(&F);
  Page->SetBounds(10, 10, 100, 50);
  F.Show();
  QApplication::processEvents();
  ASSERT_TRUE(CreateCaret(Page->GetHandle(), 0, 2, 12));
  EXPECT_FALSE(VclCaretDrawn()) << "a new caret is hidden";
  ASSERT_TRUE(SetCaretPos(20, 5));
  ASSERT_TRUE(ShowCaret(Page->GetHandle()));
  EXPECT_TRUE(VclCaretDrawn());
  EXPECT_EQ(VclCaretRect(), Bounds(20, 5, 2, 12));
  TPoint At;
  ASSERT_TRUE(GetCaretPos(At));
  EXPECT_EQ(At.X, 20);
  // The widget shows the caret inverted; the picture itself stays white.
  QImage Shown = Page->GetWidget()->grab().toImage();
  EXPECT_EQ(Shown.pixelColor(21, 10).rgb() & 0xFFFFFF, 0u);
  EXPECT_EQ(Shown.pixelColor(23, 10).rgb() & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(Page->GetFrontBuffer()->GetImage().pixelColor(21, 10).rgb() & 0xFFFFFF, 0xFFFFFFu);
  // Hiding nests.
  HideCaret(0);
  HideCaret(0);
  ShowCaret(0);
  EXPECT_FALSE(VclCaretDrawn());
  ShowCaret(0);
  EXPECT_TRUE(VclCaretDrawn());
  // It blinks.
  SetCaretBlinkTime(20);
  bool Off = false;
  QElapsedTimer T;
  T.start();
  while (!Off && T.elapsed() < 2000) {
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    Off = !VclCaretDrawn();
  }
  EXPECT_TRUE(Off);
  SetCaretBlinkTime(530);
  EXPECT_TRUE(DestroyCaret());
  EXPECT_FALSE(SetCaretPos(1, 1));
  EXPECT_FALSE(ShowCaret(0));
}

}  // namespace
