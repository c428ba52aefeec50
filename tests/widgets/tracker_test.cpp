#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "widgets/tracker.h"
#include "widgets/widget_classes.h"

namespace {

TEST(TrackerArithmetic, ThumbAndValueRoundHalvesToEven) {
  struct Case {
    int32_t Value, Min, Max, Start, End, Thumb;
  };
  // 18 + 0.5 x 133 = 84.5 -> 84; 0.25 x 10 = 2.5 -> 2; 0.75 x 10 = 7.5 -> 8.
  for (const Case& C : {Case{50, 0, 100, 18, 151, 84}, Case{25, 0, 100, 0, 10, 2}, Case{75, 0, 100, 0, 10, 8},
                        Case{0, 0, 100, 18, 151, 18}, Case{100, 0, 100, 18, 151, 151},
                        Case{-5, -10, 0, 0, 21, 10}, Case{5, 0, 100, 20, 20, 20}, Case{5, 0, 100, 30, 20, 30}})
    EXPECT_EQ(TrackerThumbOfValue(C.Value, C.Min, C.Max, C.Start, C.End), C.Thumb)
        << C.Value << " in " << C.Min << ".." << C.Max << " over " << C.Start << ".." << C.End;
  struct Back {
    int32_t Thumb, Min, Max, Start, End, Current, Value;
  };
  // (84 - 18) / 133 x 100 = 49.62 -> 50; 2.5 -> 2 and 3.5 -> 4 (halves to even).
  for (const Back& B : {Back{84, 0, 100, 18, 151, 0, 50}, Back{1, 0, 5, 0, 2, 0, 2}, Back{7, 0, 5, 0, 10, 0, 4},
                        Back{18, 0, 1000, 18, 151, 3, 0}, Back{151, 0, 1000, 18, 151, 3, 1000},
                        // A track without length keeps the value instead of dividing by zero.
                        Back{20, 0, 100, 20, 20, 37, 37}, Back{25, 0, 100, 30, 20, 37, 37}})
    EXPECT_EQ(TrackerValueOfThumb(B.Thumb, B.Min, B.Max, B.Start, B.End, B.Current), B.Value) << B.Thumb;
}

struct TrackerTest : ::testing::Test {
  TrackerTest() {
    F.SetBounds(0, 0, 300, 200);
    T = new TOxTracker(&F);
    T->SetParent(&F);
    T->SetBounds(10, 10, 169, 18);
    T->SetThumbWidth(26);
    T->SetThumbHeight(16);
    T->SetValue(50);
  }
  TForm F{nullptr};
  TOxTracker* T = nullptr;
};

TEST_F(TrackerTest, GeometryOfTheBatchDialogTracker) {
  EXPECT_EQ(T->TrackStart(), 18);
  EXPECT_EQ(T->TrackEnd(), 151);
  EXPECT_EQ(T->ThumbPosition(), 84);
  EXPECT_EQ(T->ThumbRect(), Rect(84 - 13, 1, 84 + 13, 17));
  EXPECT_EQ(T->TrackRect(), Rect(18, 6, 151, 12));
  T->SetValue(101);
  EXPECT_EQ(T->GetValue(), 50);
  T->SetMaximum(40);
  EXPECT_EQ(T->GetValue(), 40);
  T->SetMinimum(40);
  EXPECT_EQ(T->GetMinimum(), 0) << "a minimum at the maximum is refused";
}

TEST_F(TrackerTest, DraggingClampsAtTheEndsAndReportsEveryChange) {
  F.Show();
  QApplication::processEvents();
  std::vector<int32_t> Seen;
  T->OnChangedValue = [&](TObject*, int32_t V) { Seen.push_back(V); };
  QWidget* W = T->GetWidget();
  SendMouse(W, QEvent::MouseButtonPress, QPoint(5, 0), Qt::LeftButton, Qt::LeftButton);
  EXPECT_FALSE(T->GetDragging()) << "outside the hit rectangle";
  SendMouse(W, QEvent::MouseButtonPress, QPoint(84, 9), Qt::RightButton, Qt::RightButton);
  SendMouse(W, QEvent::MouseButtonRelease, QPoint(84, 9), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(Seen.empty());
  SendMouse(W, QEvent::MouseButtonPress, QPoint(118, 9), Qt::LeftButton, Qt::LeftButton);
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0], T->GetValue());
  SendMouse(W, QEvent::MouseMove, QPoint(-40, 9), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(T->GetValue(), 0);
  SendMouse(W, QEvent::MouseMove, QPoint(400, 9), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(T->GetValue(), 100);
  SendMouse(W, QEvent::MouseButtonRelease, QPoint(400, 9), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(T->GetDragging());
  EXPECT_EQ(Seen.back(), 100);
}

TEST_F(TrackerTest, NarrowTrackerSurvivesPressAndPaint) {
  F.Show();
  T->SetBounds(10, 10, 20, 18);  // narrower than thumb plus margins
  EXPECT_LE(T->TrackEnd(), T->TrackStart());
  SendMouse(T->GetWidget(), QEvent::MouseButtonPress, QPoint(18, 9), Qt::LeftButton, Qt::LeftButton);
  SendMouse(T->GetWidget(), QEvent::MouseButtonRelease, QPoint(18, 9), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(T->GetValue(), 50);
  T->Update();
}

TEST_F(TrackerTest, PaintsTrackThumbCaptionAndTiles) {
  T->SetBackColor(clBtnFace);
  T->SetThumbColor(clWhite);
  T->Update();
  TBitmap* FB = T->GetFrontBuffer();
  EXPECT_EQ(FB->GetPixelColor(2, 9), static_cast<TColor>(ColorToRGB(clBtnFace)));
  EXPECT_EQ(FB->GetPixelColor(30, 6), clBlack) << "sunken track: black top edge";
  EXPECT_EQ(FB->GetPixelColor(30, 8), static_cast<TColor>(0x808080));
  EXPECT_EQ(FB->GetPixelColor(72, 2), clWhite);
  bool Text = false;
  for (int32_t X = 73; X < 96; ++X)
    for (int32_t Y = 3; Y < 15; ++Y) Text |= FB->GetPixelColor(X, Y) == clBlack;
  EXPECT_TRUE(Text) << "the value is written on the thumb";
  T->SetShowCaption(false);
  T->Update();
  Text = false;
  for (int32_t X = 73; X < 96; ++X)
    for (int32_t Y = 3; Y < 15; ++Y) Text |= FB->GetPixelColor(X, Y) == clBlack;
  EXPECT_FALSE(Text);
  TBitmap Tile;
  Tile.SetPixelFormat(pf24bit);
  Tile.SetSize(10, 10);
  Tile.GetCanvas()->GetBrush()->SetColor(clGreen);
  Tile.GetCanvas()->FillRect(Rect(0, 0, 10, 10));
  T->SetBackBitmap(&Tile);
  T->Update();
  EXPECT_EQ(FB->GetPixelColor(2, 1), clGreen);
  EXPECT_EQ(FB->GetPixelColor(166, 16), clGreen) << "tiles cover the last partial column and row";
}

TEST_F(TrackerTest, FormResourceKeepsValueOfALaterRange) {
  OxRegisterWidgetClasses();
  TForm Main(nullptr);
  Main.ReadFormResourceText("object Main: TForm\n"
                            "  object Tr: TOxTracker\n    Width = 265\n    Height = 18\n    Value = 500\n"
                            "    Maximum = 1000\n    BackColor = clBtnFace\n    ThumbColor = clWhite\n"
                            "    ThumbWidth = 28\n    TrackPositionColored = False\n  end\nend\n",
                            "main");
  auto* Tr = Main.Find<TOxTracker>("Tr");
  ASSERT_TRUE(Tr);
  EXPECT_EQ(Tr->GetValue(), 500);
  EXPECT_EQ(Tr->GetMaximum(), 1000);
  EXPECT_EQ(Tr->ThumbPosition(), 19 + IERound(0.5L * (246 - 19)));
}

}  // namespace
