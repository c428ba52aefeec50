// Selections made with the mouse and by program, the masks they give, the
// selection stream, zoom clicks, cursors and the marching ants.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/graphics.h"
#include "platform/rtl/streams.h"
#include "platform/vcl/application.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/image_control.h"
#include "platform/vcl/messages.h"
#include "platform/vcl/vcl_test_helpers.h"
#include "views/cursors.h"
#include "support/view_on_form.h"
#include "views/folio_view.h"

namespace {

class SelectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    V = testsupport::PlaceViewOnForm(Form);
    auto B = std::make_unique<TIEBitmap>(100, 80, ie24RGB);
    B->Fill(double(clWhite));
    V->SetIEBitmap(B.get());
    V->SetZoom(200);  // client = 2 x bitmap
  }
  QWidget* W() { return V->GetWidget(); }
  void Drag(QPoint From, QPoint To, Qt::KeyboardModifiers Mods = Qt::NoModifier) {
    SendMouse(W(), QEvent::MouseButtonPress, From, Qt::LeftButton, Qt::LeftButton, Mods);
    SendMouse(W(), QEvent::MouseMove, (From + To) / 2, Qt::NoButton, Qt::LeftButton, Mods);
    SendMouse(W(), QEvent::MouseMove, To, Qt::NoButton, Qt::LeftButton, Mods);
    SendMouse(W(), QEvent::MouseButtonRelease, To, Qt::LeftButton, Qt::NoButton, Mods);
  }
  bool In(int32_t x, int32_t y) { return V->GetSelectionMask()->GetPixel(x, y) != 0; }
  int32_t Count() {
    int32_t n = 0;
    for (int32_t y = 0; y < 80; ++y)
      for (int32_t x = 0; x < 100; ++x) n += In(x, y);
    return n;
  }
  std::unique_ptr<TForm> Form;
  TFolioView* V = nullptr;
};

TEST_F(SelectTest, RectangleDragGivesItsMaskAndShiftAddsASecond) {
  V->SetMouseInteract(IEMI(miSelect));
  int32_t Changes = 0;
  V->OnSelectionChange = [&](TObject*) { ++Changes; };
  Drag(QPoint(20, 20), QPoint(60, 40));  // bitmap (10, 10)-(30, 20)
  ASSERT_TRUE(V->GetHasSelection());
  EXPECT_EQ(Count(), 20 * 10);
  EXPECT_TRUE(In(10, 10));
  EXPECT_TRUE(In(29, 19));
  EXPECT_FALSE(In(30, 19));
  EXPECT_EQ(V->GetSelectionLeft(), 10);
  EXPECT_EQ(V->GetSelectionBottom(), 19);
  EXPECT_EQ(Changes, 1);
  // Shift + drag adds a second rectangle; both in the mask and the outline.
  Drag(QPoint(100, 100), QPoint(120, 120), Qt::ShiftModifier);
  EXPECT_EQ(Count(), 200 + 100);
  EXPECT_TRUE(In(10, 10));
  EXPECT_TRUE(In(55, 55));
  EXPECT_EQ(V->GetPolySelectionCount(), 9);  // two rectangles and a separator
  // A click (no movement) on the selection removes it; on nothing leaves none.
  SendClick(W(), QPoint(25, 25));
  EXPECT_FALSE(V->GetHasSelection());
  SendClick(W(), QPoint(25, 25));
  EXPECT_FALSE(V->GetHasSelection());
}

TEST_F(SelectTest, ShiftWithoutASelectionDrawsASquare) {
  V->SetMouseInteract(IEMI(miSelect));
  Drag(QPoint(20, 20), QPoint(80, 40), Qt::ShiftModifier);
  EXPECT_EQ(V->GetSelectionRight() - V->GetSelectionLeft(), V->GetSelectionBottom() - V->GetSelectionTop());
}

TEST_F(SelectTest, EllipseLassoAndPolygonMasks) {
  // Ellipse: centre (40, 40) bitmap, radii 20 and 10.
  V->SetMouseInteract(IEMI(miSelectCircle));
  Drag(QPoint(80, 80), QPoint(120, 100));
  EXPECT_GE(V->GetPolySelectionCount(), 50);
  EXPECT_TRUE(In(40, 40));
  EXPECT_TRUE(In(58, 40));
  EXPECT_FALSE(In(62, 40));
  EXPECT_FALSE(In(40, 52));
  const int32_t Area = Count();
  EXPECT_NEAR(Area, 3.14159 * 20 * 10, 40);

  // Lasso: a triangle traced while the button is held.
  V->SetMouseInteract(IEMI(miSelectLasso));
  SendMouse(W(), QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton, Qt::LeftButton);
  SendMouse(W(), QEvent::MouseMove, QPoint(100, 20), Qt::NoButton, Qt::LeftButton);
  SendMouse(W(), QEvent::MouseMove, QPoint(20, 100), Qt::NoButton, Qt::LeftButton);
  SendMouse(W(), QEvent::MouseButtonRelease, QPoint(20, 100), Qt::LeftButton, Qt::NoButton);
  EXPECT_TRUE(In(12, 12));
  EXPECT_FALSE(In(40, 40));
  EXPECT_NEAR(Count(), 40 * 40 / 2, 50);

  // Polygon: clicks, ended by a double click (its last point dropped).
  V->SetMouseInteract(IEMI(miSelectPolygon));
  int32_t Changes = 0;
  V->OnSelectionChange = [&](TObject*) { ++Changes; };
  SendClick(W(), QPoint(100, 100));
  SendClick(W(), QPoint(180, 100));
  SendClick(W(), QPoint(180, 140));
  SendDoubleClick(W(), QPoint(100, 140));
  EXPECT_EQ(Changes, 1);
  EXPECT_TRUE(V->GetHasSelection());
  EXPECT_TRUE(In(50, 50));
  EXPECT_TRUE(In(89, 69));
  EXPECT_FALSE(In(45, 45));
  EXPECT_EQ(Count(), 40 * 20);
}

TEST_F(SelectTest, MagicWandModes) {
  TIEBitmap* B = V->GetIEBitmap();
  B->FillRect(10, 10, 29, 19, double(clBlack));
  B->FillRect(60, 60, 69, 69, double(clBlack));
  V->Update();
  V->SetMouseInteract(IEMI(miSelectMagicWand));
  for (auto [Mode, Want] : {std::pair{0, 200}, {1, 200}, {2, 300}}) {
    V->SetMagicWandMode(Mode);
    SendClick(W(), QPoint(30, 30));  // bitmap (15, 15)
    EXPECT_EQ(Count(), Want) << Mode;
    EXPECT_TRUE(V->GetHasSelection());
  }
  // Shift adds the other square.
  V->SetMagicWandMode(1);
  SendClick(W(), QPoint(30, 30));
  SendClick(W(), QPoint(130, 130), Qt::ShiftModifier);
  EXPECT_EQ(Count(), 300);
  // Outside the image nothing changes.
  SendClick(W(), QPoint(290, 190));
  EXPECT_EQ(Count(), 300);
}

TEST_F(SelectTest, ProgramSelectionsStreamsAndInversion) {
  V->SetSelectionBase(iesbBitmap);
  V->Select(5, 5, 15, 10);
  EXPECT_EQ(Count(), 50);
  V->Select(5, 5, 5, 10);  // zero width: ignored
  EXPECT_EQ(Count(), 50);
  V->Select(-10, -10, 1000, 5);  // clamped
  EXPECT_EQ(Count(), 500);
  TMemoryStream S;
  EXPECT_TRUE(V->SaveSelectionToStream(S));
  V->Deselect();
  EXPECT_EQ(Count(), 0);
  S.SetPosition(0);
  V->LoadSelectionFromStream(S, 0);
  EXPECT_TRUE(V->GetHasSelection());
  EXPECT_EQ(Count(), 500);
  V->InvertSelection();
  EXPECT_EQ(Count(), 8000 - 500);
  // The saved-selection stack.
  V->SaveSelection();
  V->Deselect();
  EXPECT_TRUE(V->RestoreSelection(true, 0));
  EXPECT_EQ(Count(), 7500);
  EXPECT_FALSE(V->RestoreSelection(true, 0));
  // A damaged stream raises a stream error and leaves the selection.
  TMemoryStream Bad;
  const int32_t Huge[3] = {100, 80, 0x7FFFFFFF};
  Bad.WriteBuffer(Huge, sizeof(Huge));
  Bad.SetPosition(0);
  EXPECT_THROW(V->LoadSelectionFromStream(Bad, 0), Exception);
  EXPECT_EQ(Count(), 7500);
  // Copying the selection gives its box with unselected pixels in Background.
  V->Select(10, 10, 20, 30);
  TIEBitmap Out;
  V->CopySelectionToIEBitmap(&Out, true);
  EXPECT_EQ(Out.GetWidth(), 10);
  EXPECT_EQ(Out.GetHeight(), 20);
  // A picture control receives the selection in its picture's bitmap.
  TImage Image(nullptr);
  V->CopySelectionTo(&Image);
  EXPECT_EQ(Image.GetPicture()->GetWidth(), 10);
  EXPECT_EQ(Image.GetPicture()->GetHeight(), 20);
}

TEST_F(SelectTest, ZoomClicksFollowTheSteps) {
  V->SetMouseInteract(IEMI(miZoom));
  V->SetZoom(40);
  std::vector<double> Seen;
  for (int k = 0; k < 5; ++k) {
    SendClick(W(), QPoint(50, 50));
    Seen.push_back(V->GetZoom());
  }
  EXPECT_EQ(Seen, (std::vector<double>{50, 75, 100, 200, 300}));
  Seen.clear();
  for (int k = 0; k < 11; ++k) {
    SendMouse(W(), QEvent::MouseButtonPress, QPoint(50, 50), Qt::RightButton, Qt::RightButton);
    SendMouse(W(), QEvent::MouseButtonRelease, QPoint(50, 50), Qt::RightButton, Qt::NoButton);
    Seen.push_back(V->GetZoom());
  }
  EXPECT_EQ(Seen, (std::vector<double>{200, 100, 75, 50, 33, 25, 10, 5, 2, 2, 2}));
}

TEST_F(SelectTest, DragScrollsWithTheHandCursor) {
  V->SetZoom(800);
  V->SetMouseInteract(IEMI(miScroll));
  V->ScrollTo(100, 100);
  SendMouse(W(), QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(V->GetShownCursor(), 1782);
  SendMouse(W(), QEvent::MouseMove, QPoint(70, 60), Qt::NoButton, Qt::LeftButton);
  EXPECT_EQ(V->GetViewX(), 130);
  EXPECT_EQ(V->GetViewY(), 140);
  SendMouse(W(), QEvent::MouseButtonRelease, QPoint(70, 60), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(V->GetShownCursor(), IECursorDefault);
}

TEST_F(SelectTest, MarchingAntsAnimate) {
  V->SetSelectionBase(iesbBitmap);
  V->Select(10, 10, 40, 30);
  V->PaintNow();
  EXPECT_TRUE(V->IsAnimationRunning());
  // Outline pixels along the top edge, before and after a timer step.
  auto Edge = [&] {
    std::vector<TColor> R;
    for (int32_t x = 22; x < 78; ++x) R.push_back(V->GetFrontBuffer()->GetPixelColor(x, 20) & 0xFFFFFF);
    return R;
  };
  V->Perform(WM_TIMER, IEAnimationTimerId, 0);
  const auto A = Edge();
  V->Perform(WM_TIMER, IEAnimationTimerId, 0);
  const auto B = Edge();
  EXPECT_NE(A, B);
  bool Dark = false, Light = false;
  for (TColor C : A) {
    Dark |= C == 0;
    Light |= C == 0xFFFFFF;
  }
  EXPECT_TRUE(Dark);
  EXPECT_TRUE(Light);
  V->Deselect();
  EXPECT_FALSE(V->IsAnimationRunning());
}

TEST_F(SelectTest, CursorsLoadByPosition) {
  // Each number shows the picture of its own position in the table.
  EXPECT_EQ(IEViewCursorName(1778), "ZOOMMENO");
  EXPECT_EQ(IEViewCursorName(1785), "CROCE3");
  EXPECT_EQ(IEViewCursorName(1790), "MOVE");
  EXPECT_EQ(IEViewCursorName(1796), "CROCE2-");
  EXPECT_EQ(IEViewCursorName(1806), "1803");
  EXPECT_EQ(IEViewCursorName(1814), "ROT4");
  EXPECT_EQ(IEViewCursorName(1777), "");
  for (TCursor C = 1778; C <= 1814; ++C) EXPECT_NE(Screen->GetCursors(C), 0u) << C;
  EXPECT_EQ(V->GetCursor(), IECursorDefault);
}

}  // namespace

