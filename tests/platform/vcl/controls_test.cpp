#include "platform/vcl/controls.h"

#include <gtest/gtest.h>

#include <QScrollBar>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/vcl_test_helpers.h"

namespace {

// A view-like control: sunken edge, records size and scroll messages.
class TScrollView : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  std::vector<std::string> Log;
  std::vector<TSize> Sizes;

 protected:
  void CreateParams(TCreateParams& P) override {
    TCustomControl::CreateParams(P);
    P.ExStyle |= WS_EX_CLIENTEDGE;
  }
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_SIZE) Sizes.push_back(TSize{GetClientWidth(), GetClientHeight()});
    if (M.Msg == WM_VSCROLL || M.Msg == WM_HSCROLL) {
      Log.push_back(std::string(M.Msg == WM_VSCROLL ? "v " : "h ") + std::to_string(LOWORD(M.WParam)) + " " +
                    std::to_string(HIWORD(M.WParam)));
      return;
    }
    TCustomControl::Dispatch(M);
  }
};

struct ControlsTest : ::testing::Test {
  ControlsTest() {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 400, 300);
    View = new TScrollView(Form);
    View->SetParent(Form);
    View->SetBounds(10, 10, 204, 104);
  }
  ~ControlsTest() override { delete Form; }
  TForm* Form;
  TScrollView* View;
};

TEST_F(ControlsTest, BorderFromCreateParamsShrinksTheClientArea) {
  EXPECT_EQ(View->GetBorderSize(), GetSystemMetrics(SM_CXEDGE));
  EXPECT_EQ(GetSystemMetrics(SM_CXVSCROLL), VclScrollBarSize);
  EXPECT_EQ(GetSystemMetrics(SM_CXSCREEN), Screen->GetWidth());
  EXPECT_EQ(View->GetClientRect(), Rect(0, 0, 200, 100));
  Form->Show();
  // Mouse positions are client coordinates, inside the border.
  TPoint Got{-1, -1};
  View->OnMouseDown = [&](TObject*, TMouseButton, TShiftState, int32_t X, int32_t Y) { Got = TPoint{X, Y}; };
  SendClick(View->GetWidget(), QPoint(2, 3));
  EXPECT_EQ(Got, (TPoint{0, 1}));
  EXPECT_EQ(View->ScreenToClient(View->ClientToScreen(TPoint{7, 9})), (TPoint{7, 9}));
}

struct ScrollCase {
  int32_t Min, Max;
  uint32_t Page;
  int32_t Pos;
  int32_t WantPos;
  uint32_t WantPage;
  bool WantVisible;
};

const ScrollCase kScrollCases[] = {
    {0, 99, 10, 95, 90, 10, true},              // largest position max - page + 1
    {0, 99, 0, 150, 99, 0, true},               // without a page the largest is max
    {0, 99, 200, 50, 0, 100, false},            // page clamped to the range; nothing to scroll
    {10, 20, 0, 5, 10, 0, true},                // below the minimum
    {0, 65535, 65535, 65535, 1, 65535, true},   // 16-bit ranges
    {0, 65535, 1000, -3, 0, 1000, true},        // negative position
    {5, 5, 0, 5, 5, 0, false},                  // an empty range hides the bar
    {0, 100, 101, 0, 0, 101, false},            // page covering everything hides it
    {20, 10, 0, 15, 20, 0, false},              // reversed range
};

TEST_F(ControlsTest, ScrollInfoFollowsWindowsRules) {
  HWND H = View->GetHandle();
  for (const ScrollCase& C : kScrollCases) {
    TScrollInfo I;
    I.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
    I.nMin = C.Min;
    I.nMax = C.Max;
    I.nPage = C.Page;
    I.nPos = C.Pos;
    EXPECT_EQ(SetScrollInfo(H, SB_VERT, I, true), C.WantPos) << C.Min << ".." << C.Max << " p" << C.Page;
    TScrollInfo Out;
    Out.fMask = SIF_ALL;
    ASSERT_TRUE(GetScrollInfo(H, SB_VERT, Out));
    EXPECT_EQ(Out.nPos, C.WantPos);
    EXPECT_EQ(Out.nPage, C.WantPage);
    EXPECT_EQ(Out.nTrackPos, C.WantPos);
    EXPECT_EQ(View->ScrollBarState(SB_VERT).Visible, C.WantVisible) << C.Min << ".." << C.Max;
  }
  // Position-only calls keep the range and page.
  SetScrollRange(H, SB_HORZ, 0, 50, true);
  EXPECT_EQ(SetScrollPos(H, SB_HORZ, 80, true), 0);
  EXPECT_EQ(GetScrollPos(H, SB_HORZ), 50);
  int32_t Lo = -1, Hi = -1;
  EXPECT_TRUE(GetScrollRange(H, SB_HORZ, Lo, Hi));
  EXPECT_EQ(Lo, 0);
  EXPECT_EQ(Hi, 50);
  // With SIF_DISABLENOSCROLL a range with nothing to scroll disables the bar.
  TScrollInfo D;
  D.fMask = SIF_RANGE | SIF_DISABLENOSCROLL;
  D.nMin = 0;
  D.nMax = 0;
  SetScrollInfo(H, SB_HORZ, D, true);
  EXPECT_TRUE(View->ScrollBarState(SB_HORZ).Visible);
  EXPECT_FALSE(View->ScrollBarState(SB_HORZ).Enabled);
}

TEST_F(ControlsTest, ShowingAndHidingABarChangesTheClientSizeAtOnce) {
  HWND H = View->GetHandle();
  View->Sizes.clear();
  ASSERT_TRUE(ShowScrollBar(H, SB_VERT, true));
  EXPECT_EQ(View->GetClientWidth(), 200 - VclScrollBarSize);
  ASSERT_EQ(View->Sizes.size(), 1u);  // WM_SIZE came inside the call
  EXPECT_EQ(View->Sizes[0], (TSize{183, 100}));
  EXPECT_EQ(View->GetFrontBuffer()->GetWidth(), 183);
  ShowScrollBar(H, SB_VERT, true);  // no change, no message
  EXPECT_EQ(View->Sizes.size(), 1u);
  ShowScrollBar(H, SB_BOTH, true);
  EXPECT_EQ(View->GetClientRect(), Rect(0, 0, 183, 83));
  EXPECT_EQ(View->Sizes.size(), 2u);
  ShowScrollBar(H, SB_BOTH, false);
  EXPECT_EQ(View->GetClientRect(), Rect(0, 0, 200, 100));
  // FlatSB calls act on the same bars.
  FlatSB_ShowScrollBar(H, SB_HORZ, true);
  EXPECT_EQ(View->GetClientHeight(), 83);
}

TEST_F(ControlsTest, UserScrollActionsBecomeScrollMessages) {
  HWND H = View->GetHandle();
  Form->Show();
  TScrollInfo I;
  I.fMask = SIF_RANGE | SIF_PAGE | SIF_POS;
  I.nMax = 65535;
  I.nPage = 1000;
  I.nPos = 100;
  SetScrollInfo(H, SB_VERT, I, true);
  QScrollBar* Bar = View->ScrollBarState(SB_VERT).Bar;
  ASSERT_NE(Bar, nullptr);
  EXPECT_EQ(Bar->maximum(), 65535 - 1000 + 1);
  Bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
  Bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
  Bar->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(View->Log, (std::vector<std::string>{"v 3 0", "v 8 0", "v 0 0", "v 8 0", "v 7 0", "v 8 0"}));
  // The thumb stays where the program put it.
  EXPECT_EQ(Bar->value(), 100);
  EXPECT_EQ(GetScrollPos(H, SB_VERT), 100);
  // Dragging the thumb: tracking with the 16-bit position, then the final one.
  View->Log.clear();
  Bar->setSliderDown(true);
  Bar->setSliderPosition(40000);
  TScrollInfo T;
  T.fMask = SIF_TRACKPOS | SIF_POS;
  GetScrollInfo(H, SB_VERT, T);
  EXPECT_EQ(T.nTrackPos, 40000);
  EXPECT_EQ(T.nPos, 100);
  Bar->setSliderDown(false);
  EXPECT_EQ(View->Log, (std::vector<std::string>{"v 5 40000", "v 4 40000", "v 8 0"}));
}

TEST_F(ControlsTest, AlignPlacesChildrenInOrder) {
  auto Make = [&](TAlign A, int32_t W, int32_t H) {
    auto* P = new TPanel(Form);
    P->SetParent(Form);
    P->SetBounds(0, 0, W, H);
    P->SetAlign(A);
    return P;
  };
  View->SetVisible(false);
  Form->SetBounds(0, 0, 300, 200);
  TPanel* Top = Make(alTop, 10, 30);
  TPanel* Bottom = Make(alBottom, 10, 20);
  TPanel* Left = Make(alLeft, 40, 10);
  TPanel* Right = Make(alRight, 50, 10);
  TPanel* Client = Make(alClient, 1, 1);
  EXPECT_EQ(Top->GetBoundsRect(), Rect(0, 0, 300, 30));
  EXPECT_EQ(Bottom->GetBoundsRect(), Rect(0, 180, 300, 200));
  EXPECT_EQ(Left->GetBoundsRect(), Rect(0, 30, 40, 180));
  EXPECT_EQ(Right->GetBoundsRect(), Rect(250, 30, 300, 180));
  EXPECT_EQ(Client->GetBoundsRect(), Rect(40, 30, 250, 180));
  // Hiding a docked panel gives its room to the others.
  Top->SetVisible(false);
  EXPECT_EQ(Client->GetBoundsRect(), Rect(40, 0, 250, 180));
  // A panel's bevel and border keep children off its edge.
  Client->SetBorderWidth(2);
  auto* Inner = new TPanel(Form);
  Inner->SetParent(Client);
  Inner->SetAlign(alClient);
  EXPECT_EQ(Inner->GetBoundsRect(), Rect(3, 3, 207, 177));
}

TEST_F(ControlsTest, DestroyingAParentDestroysItsChildrenOnce) {
  auto* Outer = new TPanel(Form);
  Outer->SetParent(Form);
  auto* Inner = new TPanel(Form);
  Inner->SetParent(Outer);
  auto* Button = new TButton(Form);
  Button->SetParent(Inner);
  Button->SetName("Go");
  EXPECT_EQ(Form->FindComponent("Go"), Button);
  delete Outer;  // takes Inner and Button with it, and out of the form's list
  EXPECT_EQ(Form->FindComponent("Go"), nullptr);
  EXPECT_EQ(Form->GetControlCount(), 1);
  // A control cannot hold its own parent.
  auto* A = new TPanel(Form);
  auto* B = new TPanel(Form);
  B->SetParent(A);
  EXPECT_THROW(A->SetParent(B), EInvalidOperation);
}

TEST_F(ControlsTest, KeyPreviewLetsTheFormSeeKeysFirst) {
  Form->Show();
  std::vector<std::string> Log;
  Form->SetKeyPreview(true);
  Form->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) {
    Log.push_back("form " + std::to_string(Key));
    if (Key == VK_ESCAPE) Key = 0;
  };
  View->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState) { Log.push_back("view " + std::to_string(Key)); };
  // Releases and characters go the same way; a cleared one stops at the form.
  Form->OnKeyUp = [&](TObject*, uint16_t& Key, TShiftState) {
    Log.push_back("form up " + std::to_string(Key));
    if (Key == VK_ESCAPE) Key = 0;
  };
  View->OnKeyUp = [&](TObject*, uint16_t& Key, TShiftState) { Log.push_back("view up " + std::to_string(Key)); };
  Form->OnKeyPress = [&](TObject*, char16_t& Key) {
    Log.push_back("form char " + std::to_string(Key));
    if (Key == u'x') Key = 0;
  };
  View->OnKeyPress = [&](TObject*, char16_t& Key) { Log.push_back("view char " + std::to_string(Key)); };
  SendKey(View->GetWidget(), Qt::Key_Escape, Qt::NoModifier);
  SendKey(View->GetWidget(), Qt::Key_Left, Qt::NoModifier);
  SendKey(View->GetWidget(), Qt::Key_X, Qt::NoModifier, "x");
  SendKey(View->GetWidget(), Qt::Key_Y, Qt::NoModifier, "y");
  EXPECT_EQ(Log, (std::vector<std::string>{"form 27", "form up 27", "form 37", "view 37", "form up 37", "view up 37",
                                           "form 88", "view 88", "form char 120", "form up 88", "view up 88",
                                           "form 89", "view 89", "form char 121", "view char 121", "form up 89",
                                           "view up 89"}));
}

TEST_F(ControlsTest, ShiftStateOfKeysAndTheKeyStateTable) {
  Form->Show();
  TShiftState Seen = 0;
  View->OnKeyDown = [&](TObject*, uint16_t& Key, TShiftState Shift) {
    if (Key == VK_SHIFT) Seen = Shift;
  };
  QKeyEvent Down(QEvent::KeyPress, Qt::Key_Shift, Qt::NoModifier);
  QApplication::sendEvent(View->GetWidget(), &Down);
  // Pressing Shift reports Shift held, and the key-state table agrees.
  EXPECT_EQ(Seen, ssShift);
  EXPECT_LT(GetKeyState(VK_SHIFT), 0);
  QKeyEvent Up(QEvent::KeyRelease, Qt::Key_Shift, Qt::ShiftModifier);
  QApplication::sendEvent(View->GetWidget(), &Up);
  EXPECT_EQ(GetKeyState(VK_SHIFT), 0);
  EXPECT_EQ(ShortCut('S', ssCtrl | ssShift), scCtrl | scShift | 'S');
  uint16_t K = 0;
  TShiftState S = 0;
  ShortCutToKey(scAlt | VK_F4, K, S);
  EXPECT_EQ(K, VK_F4);
  EXPECT_EQ(S, ssAlt);
}

TEST_F(ControlsTest, MouseEnterAndLeaveReachTheControl) {
  std::vector<uint32_t> Seen;
  class TWatcher : public TCustomControl {
   public:
    using TCustomControl::TCustomControl;
    std::vector<uint32_t>* Out = nullptr;
    void Dispatch(TMessage& M) override {
      if (M.Msg == CM_MOUSEENTER || M.Msg == CM_MOUSELEAVE) Out->push_back(M.Msg);
      TCustomControl::Dispatch(M);
    }
  };
  auto* W = new TWatcher(Form);
  W->Out = &Seen;
  W->SetParent(Form);
  QEnterEvent Enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
  QApplication::sendEvent(W->GetWidget(), &Enter);
  EXPECT_TRUE(W->GetMouseInClient());
  QEvent Leave(QEvent::Leave);
  QApplication::sendEvent(W->GetWidget(), &Leave);
  EXPECT_FALSE(W->GetMouseInClient());
  EXPECT_EQ(Seen, (std::vector<uint32_t>{CM_MOUSEENTER, CM_MOUSELEAVE}));
}

TEST_F(ControlsTest, ScreenCursorTable) {
  HCURSOR H = CreateCursorFromQCursor(QCursor(Qt::CrossCursor));
  Screen->SetCursors(1785, H);
  EXPECT_EQ(Screen->GetCursors(1785), H);
  EXPECT_EQ(Screen->GetQCursor(1785).shape(), Qt::CrossCursor);
  EXPECT_EQ(Screen->GetQCursor(crHourGlass).shape(), Qt::WaitCursor);
  EXPECT_EQ(Screen->GetQCursor(4321).shape(), Qt::ArrowCursor);  // unknown: the default
  View->SetCursor(1785);
  EXPECT_EQ(View->GetWidget()->cursor().shape(), Qt::CrossCursor);
  Screen->SetCursor(crHourGlass);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen->SetCursor(crDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(LoadCursorFromFile("/no/such/file.cur"), 0u);
  Screen->SetCursors(1785, 0);
  DestroyCursor(H);
  EXPECT_GT(Screen->GetWidth(), 0);
  EXPECT_GT(Screen->GetHeight(), 0);
}

}  // namespace

namespace {

class TKeyTaker : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  bool WantTab = false;
  std::vector<std::string> Log;
  void Dispatch(TMessage& M) override {
    if (M.Msg == WM_GETDLGCODE) {
      M.Result = WantTab ? LRESULT(DLGC_WANTTAB) : LRESULT(0);
      return;
    }
    if (M.Msg == CM_WANTSPECIALKEY) Log.push_back("special " + std::to_string(M.WParam));
    if (M.Msg == WM_KEYDOWN) Log.push_back("down " + std::to_string(M.WParam));
    if (M.Msg == CM_FOCUSCHANGED) Log.push_back("focus");
    TCustomControl::Dispatch(M);
  }
};

TEST_F(ControlsTest, TabAndSpecialKeysReachControlsThatAskForThem) {
  auto* Taker = new TKeyTaker(Form);
  Taker->SetParent(Form);
  Form->Show();
  QWidget* W = Taker->GetWidget();
  SendKey(W, Qt::Key_Left, Qt::NoModifier);
  SendKey(W, Qt::Key_Tab, Qt::NoModifier);  // moves the focus instead
  Taker->WantTab = true;
  SendKey(W, Qt::Key_Tab, Qt::NoModifier);
  EXPECT_EQ(Taker->Log, (std::vector<std::string>{"special 37", "down 37", "special 9", "down 9"}));
}

}  // namespace

namespace {

TEST_F(ControlsTest, AnchoredChildrenFollowTheirEdges) {
  const char* Text =
      "object F: TForm\n"
      "  ClientWidth = 300\n  ClientHeight = 200\n"
      "  object Ok: TButton\n    Left = 210\n    Top = 160\n    Anchors = [akRight, akBottom]\n  end\n"
      "  object Wide: TPanel\n    Left = 10\n    Top = 10\n    Width = 280\n    Height = 100\n"
      "    Anchors = [akLeft, akTop, akRight]\n  end\n"
      "end\n";
  TForm F(nullptr);
  F.ReadFormResourceText(Text, "anchors");
  auto* Ok = F.Find<TButton>("Ok");
  auto* Wide = F.Find<TPanel>("Wide");
  F.SetClientWidth(400);
  F.SetClientHeight(250);
  EXPECT_EQ(Ok->GetBoundsRect(), Bounds(310, 210, 75, 25));
  EXPECT_EQ(Wide->GetBoundsRect(), Bounds(10, 10, 380, 100));
  F.SetBounds(0, 0, 100, 100);  // smaller than the design: edges still kept
  EXPECT_EQ(Ok->GetLeft(), 10);
  EXPECT_EQ(Wide->GetWidth(), 80);
}

}  // namespace

namespace {

TEST_F(ControlsTest, ScrollBarStylesShowTheBarsWithTheWindow) {
  class TBarred : public TCustomControl {
   public:
    using TCustomControl::TCustomControl;

   protected:
    void CreateParams(TCreateParams& P) override {
      TCustomControl::CreateParams(P);
      P.Style |= WS_VSCROLL | WS_BORDER;
    }
  };
  auto* B = new TBarred(Form);
  B->SetBounds(0, 0, 100, 50);
  EXPECT_EQ(B->GetClientWidth(), 100);  // no window yet
  B->SetParent(Form);
  EXPECT_TRUE(B->HandleAllocated());
  EXPECT_EQ(B->GetClientRect(), Rect(0, 0, 100 - 2 - VclScrollBarSize, 48));
  EXPECT_EQ(B->GetFrontBuffer()->GetWidth(), 100 - 2 - VclScrollBarSize);
}

}  // namespace

namespace {

TEST_F(ControlsTest, FocusMessagesReachTheControlAndTheForm) {
  auto* A = new TKeyTaker(Form);
  A->SetParent(Form);
  auto* B = new TKeyTaker(Form);
  B->SetParent(Form);
  std::vector<std::string> Log;
  A->OnEnter = [&](TObject*) { Log.push_back("enter"); };
  A->OnExit = [&](TObject*) { Log.push_back("exit"); };
  QFocusEvent In(QEvent::FocusIn, Qt::MouseFocusReason);
  QApplication::sendEvent(A->GetWidget(), &In);
  QFocusEvent Out(QEvent::FocusOut, Qt::MouseFocusReason);
  QApplication::sendEvent(A->GetWidget(), &Out);
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "exit"}));
  // Every control of the form heard which one took the focus.
  EXPECT_EQ(A->Log, std::vector<std::string>{"focus"});
  EXPECT_EQ(B->Log, std::vector<std::string>{"focus"});
}

}  // namespace
