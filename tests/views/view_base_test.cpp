#include "views/view_base.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/application.h"
#include "platform/vcl/forms.h"

namespace {

// The smallest useful view: paints its background, shows an image buffer of
// its own and logs resolution calls that reach it through the virtual table.
class TPaintedView : public TIEView {
 public:
  using TIEView::TIEView;
  int32_t Paints = 0;
  int32_t PaintLock = 0;
  std::vector<std::string> DpiCalls;
  TIEBitmap* Shown = nullptr;

  TIEBitmap* GetViewIEBitmap() override { return Shown; }
  TIEBitmap* GetAlphaChannel() override { return nullptr; }
  bool GetHasAlphaChannel() override { return false; }
  void RemoveAlphaChannel(bool) override {}
  void LockPaint() override { ++PaintLock; }
  int32_t UnlockPaint() override { return PaintLock > 0 ? --PaintLock : 0; }
  int32_t UnlockPaintNoUpdate() override { return UnlockPaint(); }
  void SetDpiX(int32_t V) override {
    DpiCalls.push_back("x" + std::to_string(V));
    TIEView::SetDpiX(V);
  }
  void SetDpiY(int32_t V) override {
    DpiCalls.push_back("y" + std::to_string(V));
    TIEView::SetDpiY(V);
  }
  TCreateParams Params() {
    TCreateParams P;
    CreateParams(P);
    return P;
  }

 protected:
  void Paint() override {
    ++Paints;
    GetCanvas()->GetBrush()->SetColor(GetBackground());
    GetCanvas()->FillRect(GetClientRect());
  }
};

uintptr_t Id(const TIEView* V) { return reinterpret_cast<uintptr_t>(V); }

// A call a change callback received.
struct TCall {
  std::string Who;
  uintptr_t Sender;  // the view's address (views in these logs may be gone)
  int32_t Code;
  bool operator==(const TCall&) const = default;
};

// A component that attaches to views the way the I/O components do.
class TListener : public TComponent {
 public:
  TListener(std::string Name, std::vector<TCall>& Log) : TComponent(nullptr), FName(std::move(Name)), FLog(Log) {}
  TIEChangeCallbackHandle Attach(TIEView* View) {
    return View->RegisterChangeCallback([this](TIEView* Sender, int32_t Code) { FLog.push_back({FName, Id(Sender), Code}); },
                                        this);
  }

 private:
  std::string FName;
  std::vector<TCall>& FLog;
};

struct ViewBaseTest : ::testing::Test {
  ViewBaseTest() {
    Form = new TForm(nullptr);
    Form->SetBounds(0, 0, 300, 200);
    View = new TPaintedView(Form);
    View->SetParent(Form);
    View->SetBounds(10, 10, 104, 84);
  }
  ~ViewBaseTest() override { delete Form; }
  QImage Shown() { return View->GetWidget()->grab().toImage(); }
  TForm* Form;
  TPaintedView* View;
};

QRgb Rgb(TColor C) {
  const uint32_t V = ColorToRGB(C);
  return qRgb(GetRValue(V), GetGValue(V), GetBValue(V));
}

TEST_F(ViewBaseTest, StartsAsABorderedControlThatShowsNothing) {
  EXPECT_EQ(View->GetBackground(), clBtnFace);
  EXPECT_EQ(static_cast<uint32_t>(View->GetBackground()), 0xFF00000Fu);
  EXPECT_EQ(View->GetBorderStyle(), bsSingle);
  EXPECT_TRUE(View->GetCtl3D());
  EXPECT_TRUE(View->GetParentCtl3D());
  const TControlStyle Wanted = csAcceptsControls | csOpaque | csReplicatable | csNeedsBorderPaint;
  EXPECT_EQ(View->GetControlStyle() & Wanted, Wanted);
  EXPECT_EQ(View->GetControlStyle() & csFramed, 0u);
  EXPECT_EQ(View->GetDpiX(), 0);
  EXPECT_EQ(View->GetDpiY(), 0);
  EXPECT_EQ(View->GetChangeCallbackCount(), 0);
  // The bare base answers no image at all.
  EXPECT_EQ(View->TIEView::GetViewBitmap(), nullptr);
  EXPECT_EQ(View->TIEView::GetViewIEBitmap(), nullptr);
  // Resizing never invalidates the whole window.
  EXPECT_EQ(View->Params().WindowClass.style & (CS_HREDRAW | CS_VREDRAW), 0u);
}

TEST_F(ViewBaseTest, PaintsBackgroundInsideTheSunkenEdge) {
  Form->Show();
  // Sunken client edge: two pixels on each side.
  ASSERT_EQ(View->GetBorderSize(), 2);
  ASSERT_EQ(View->GetClientRect(), Rect(0, 0, 100, 80));
  View->Update();
  TBitmap* Buffer = View->GetFrontBuffer();
  ASSERT_EQ(Buffer->GetWidth(), 100);
  ASSERT_EQ(Buffer->GetHeight(), 80);
  EXPECT_EQ(Buffer->GetImage().pixel(0, 0), Rgb(clBtnFace));
  EXPECT_EQ(Buffer->GetImage().pixel(99, 79), Rgb(clBtnFace));

  View->SetBackground(clRed);
  View->Invalidate();
  View->Update();
  EXPECT_EQ(Buffer->GetImage().pixel(50, 40), qRgb(255, 0, 0));
  const QImage S = Shown();
  ASSERT_EQ(S.size(), QSize(104, 84));
  EXPECT_EQ(S.pixel(0, 0), Rgb(clBtnShadow));
  EXPECT_EQ(S.pixel(1, 1), Rgb(cl3DDkShadow));
  EXPECT_EQ(S.pixel(103, 83), Rgb(clBtnHighlight));
  EXPECT_EQ(S.pixel(102, 82), Rgb(cl3DLight));
  EXPECT_EQ(S.pixel(2, 2), qRgb(255, 0, 0));
  EXPECT_EQ(S.pixel(101, 81), qRgb(255, 0, 0));
}

struct BorderCase {
  TBorderStyle Style;
  bool Ctl3D;
  bool NewStyle;
  bool ClientEdge;
  bool PlainBorder;
  int32_t Size;
};

TEST_F(ViewBaseTest, BorderFollowsBorderStyleAndCtl3DAtOnce) {
  const BorderCase Cases[] = {
      {bsSingle, true, true, true, false, 2},
      {bsSingle, false, true, false, true, 1},
      {bsNone, true, true, false, false, 0},
      {bsNone, false, true, false, false, 0},
      {bsSingle, true, false, false, true, 1},  // old-style controls have no client edge
  };
  Form->Show();
  View->SetBackground(clLime);
  const bool SavedNewStyle = NewStyleControls;
  for (const BorderCase& C : Cases) {
    SCOPED_TRACE(testing::Message() << "style " << int(C.Style) << " ctl3d " << C.Ctl3D << " new " << C.NewStyle);
    NewStyleControls = C.NewStyle;
    View->SetBorderStyle(C.Style);
    View->SetCtl3D(C.Ctl3D);
    View->RecreateWnd();  // picks up the changed global
    const TCreateParams P = View->Params();
    EXPECT_EQ((P.ExStyle & WS_EX_CLIENTEDGE) != 0, C.ClientEdge);
    EXPECT_EQ((P.Style & WS_BORDER) != 0, C.PlainBorder);
    // The window took the border: the client area and its buffer follow.
    EXPECT_EQ(View->GetBorderSize(), C.Size);
    EXPECT_EQ(View->GetClientRect(), Rect(0, 0, 104 - 2 * C.Size, 84 - 2 * C.Size));
    View->Update();
    EXPECT_EQ(View->GetFrontBuffer()->GetWidth(), 104 - 2 * C.Size);
    const QImage S = Shown();
    EXPECT_EQ(S.pixel(C.Size, C.Size), qRgb(0, 255, 0));
    if (C.Size == 1) {
      EXPECT_EQ(S.pixel(0, 0), Rgb(clWindowFrame));
    }
  }
  NewStyleControls = SavedNewStyle;
  View->RecreateWnd();
  // Each setter alone recreates the window when its value changes.
  ASSERT_EQ(View->GetBorderSize(), 2);
  View->SetCtl3D(false);
  EXPECT_EQ(View->GetBorderSize(), 1);
  View->SetBorderStyle(bsNone);
  EXPECT_EQ(View->GetBorderSize(), 0);
  EXPECT_EQ(View->GetClientWidth(), 104);
}

TEST_F(ViewBaseTest, ResolutionSettersIgnoreZeroAndGoThroughOverrides) {
  View->SetDpi(300, 200);
  EXPECT_EQ(View->DpiCalls, (std::vector<std::string>{"x300", "y200"}));
  View->SetDpi(0, 0);
  EXPECT_EQ(View->GetDpiX(), 300);
  EXPECT_EQ(View->GetDpiY(), 200);
  View->SetDpi(-72, 0);
  EXPECT_EQ(View->GetDpiX(), -72);
  EXPECT_EQ(View->GetDpiY(), 200);
  View->SetDpiY(96);
  EXPECT_EQ(View->GetDpiY(), 96);
  EXPECT_EQ(View->DpiCalls.size(), 7u);
}

TEST_F(ViewBaseTest, CallbacksOfTwoOwnersHearChangesUntilRemoved) {
  std::vector<TCall> Log;
  TListener A("A", Log), B("B", Log);
  TIEChangeCallbackHandle HA = A.Attach(View);
  TIEChangeCallbackHandle HB = B.Attach(View);
  TIEChangeCallbackHandle HA2 = A.Attach(View);  // no duplicate test: called twice
  ASSERT_NE(HA, nullptr);
  ASSERT_NE(HA, HA2);
  View->CallBitmapChangeEvents();
  const uintptr_t V = Id(View);
  EXPECT_EQ(Log, (std::vector<TCall>{{"A", V, 0}, {"B", V, 0}, {"A", V, 0}}));

  // Handles that are nil, already removed or of another view change nothing.
  TPaintedView Other(nullptr);
  TIEChangeCallbackHandle Foreign = B.Attach(&Other);
  View->UnregisterChangeCallback(nullptr);
  View->UnregisterChangeCallback(Foreign);
  EXPECT_EQ(View->GetChangeCallbackCount(), 3);
  EXPECT_EQ(Other.GetChangeCallbackCount(), 1);

  View->UnregisterChangeCallback(HA);
  View->UnregisterChangeCallback(HA);
  Log.clear();
  View->CallBitmapChangeEvents();
  EXPECT_EQ(Log, (std::vector<TCall>{{"B", V, 0}, {"A", V, 0}}));

  // Removal of everything one owner registered.
  A.Attach(View);
  EXPECT_EQ(View->UnregisterChangeCallbacksOf(&A), 2);
  View->UnregisterChangeCallback(HA2);  // already gone with its owner
  Log.clear();
  View->CallBitmapChangeEvents();
  EXPECT_EQ(Log, (std::vector<TCall>{{"B", V, 0}}));
  View->UnregisterChangeCallback(HB);
  EXPECT_EQ(View->GetChangeCallbackCount(), 0);
  Log.clear();
  View->CallBitmapChangeEvents();
  EXPECT_TRUE(Log.empty());
  // An empty procedure is not taken.
  EXPECT_EQ(View->RegisterChangeCallback(nullptr, &A), nullptr);
  EXPECT_EQ(View->GetChangeCallbackCount(), 0);
}

TEST_F(ViewBaseTest, CallbacksMayChangeTheListWhileTheyAreCalled) {
  std::vector<std::string> Log;
  TIEChangeCallbackHandle HSelf = nullptr, HLate = nullptr, HNew = nullptr;
  // The captured string lives in the record: a record freed during its own
  // call would be read after free here.
  const std::string SelfName(40, 's');
  HSelf = View->RegisterChangeCallback([&, SelfName](TIEView*, int32_t) {
    View->UnregisterChangeCallback(HSelf);
    Log.push_back(SelfName.substr(0, 4));
  });
  View->RegisterChangeCallback([&](TIEView*, int32_t) {
    Log.push_back("mid");
    // A handle is dead once unregistered: forget it, or a later record that
    // happens to take the freed address would be removed in its place.
    View->UnregisterChangeCallback(HLate);
    HLate = nullptr;
    if (!HNew) HNew = View->RegisterChangeCallback([&](TIEView*, int32_t) { Log.push_back("new"); });
  });
  HLate = View->RegisterChangeCallback([&](TIEView*, int32_t) { Log.push_back("late"); });
  View->RegisterChangeCallback([&](TIEView*, int32_t) { Log.push_back("last"); });

  View->CallBitmapChangeEvents();
  // The one after the self-removing callback is not skipped, the removed one
  // is not called, the new one waits for the next walk.
  EXPECT_EQ(Log, (std::vector<std::string>{"ssss", "mid", "last"}));
  Log.clear();
  View->CallBitmapChangeEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"mid", "last", "new"}));

  // A callback that starts another walk (an attached component refreshing
  // the view) sees the list as it stands.
  int Depth = 0;
  View->RegisterChangeCallback([&](TIEView*, int32_t) {
    if (Depth++ == 0) View->CallBitmapChangeEvents();
  });
  Log.clear();
  View->CallBitmapChangeEvents();
  EXPECT_EQ(Log, (std::vector<std::string>{"mid", "last", "new", "mid", "last", "new"}));
  // The callbacks here have no owner: they go together before the locals
  // they capture.
  EXPECT_EQ(View->UnregisterChangeCallbacksOf(nullptr), 4);
}

TEST(ViewBaseDestruction, EveryCallbackHearsCodeOneOnceInOrder) {
  std::vector<TCall> Log;
  TListener A("A", Log), B("B", Log);
  auto* View = new TPaintedView(nullptr);
  A.Attach(View);
  // B forgets the view on code 1 the way it should not, by unregistering:
  // harmless.
  TIEChangeCallbackHandle HB = nullptr;
  HB = View->RegisterChangeCallback(
      [&](TIEView* Sender, int32_t Code) {
        Log.push_back({"B", Id(Sender), Code});
        Sender->UnregisterChangeCallback(HB);
        // A dying view takes no new callbacks.
        EXPECT_EQ(Sender->RegisterChangeCallback([](TIEView*, int32_t) {}), nullptr);
      },
      &B);
  View->RegisterChangeCallback([&](TIEView* Sender, int32_t Code) { Log.push_back({"C", Id(Sender), Code}); });
  const uintptr_t Dying = Id(View);
  delete View;
  EXPECT_EQ(Log, (std::vector<TCall>{{"A", Dying, 1}, {"B", Dying, 1}, {"C", Dying, 1}}));
}

TEST(ViewBaseDestruction, AFailingCallbackDoesNotStopTheOthers) {
  std::vector<std::string> Seen;
  const TExceptionEvent Saved = Application->OnException;
  Application->OnException = [&](TObject*, Exception* E) { Seen.push_back("caught: " + E->Message); };
  auto* View = new TPaintedView(nullptr);
  View->RegisterChangeCallback([](TIEView*, int32_t) { throw EInvalidOperation("gone"); });
  View->RegisterChangeCallback([&](TIEView*, int32_t Code) { Seen.push_back("code " + std::to_string(Code)); });
  delete View;
  Application->OnException = Saved;
  EXPECT_EQ(Seen, (std::vector<std::string>{"caught: gone", "code 1"}));
}

TEST_F(ViewBaseTest, ImageGettersReachTheDescendant) {
  TIEBitmap Image;
  View->Shown = &Image;
  TIEView* AsBase = View;
  EXPECT_EQ(AsBase->GetViewIEBitmap(), &Image);
  EXPECT_EQ(AsBase->GetViewBitmap(), nullptr);
  AsBase->LockPaint();
  AsBase->LockPaint();
  EXPECT_EQ(AsBase->UnlockPaintNoUpdate(), 1);
  EXPECT_EQ(AsBase->UnlockPaint(), 0);
  View->Shown = nullptr;
}

TEST_F(ViewBaseTest, MouseEnterAndLeaveFireTheirEvents) {
  Form->Show();
  std::vector<std::string> Log;
  View->OnMouseEnter = [&](TObject* S) { Log.push_back(S == View ? "enter" : "?"); };
  View->OnMouseLeave = [&](TObject* S) { Log.push_back(S == View ? "leave" : "?"); };
  QWidget* W = View->GetWidget();
  QEnterEvent Enter(QPointF(5, 5), QPointF(5, 5), QPointF(W->mapToGlobal(QPoint(5, 5))));
  QApplication::sendEvent(W, &Enter);
  EXPECT_TRUE(View->GetMouseInClient());  // the inherited handling ran too
  QEvent Leave(QEvent::Leave);
  QApplication::sendEvent(W, &Leave);
  EXPECT_FALSE(View->GetMouseInClient());
  EXPECT_EQ(Log, (std::vector<std::string>{"enter", "leave"}));
  // Unassigned events are simply not called.
  View->OnMouseEnter = nullptr;
  QApplication::sendEvent(W, &Enter);
  EXPECT_EQ(Log.size(), 2u);
}

TEST(ViewBaseForm, PublishedPropertiesReadFromAFormResource) {
  RegisterComponentClass<TPaintedView>("TPaintedView");
  TForm F(nullptr);
  int Entered = 0;
  F.BindHandlerFn("ViewEnter", TNotifyEvent([&](TObject*) { ++Entered; }));
  F.ReadFormResourceText(
      "object F: TForm\n"
      "  Width = 200\n"
      "  Height = 150\n"
      "  object V: TPaintedView\n"
      "    Left = 0\n"
      "    Top = 0\n"
      "    Width = 50\n"
      "    Height = 40\n"
      "    Background = clRed\n"
      "    BorderStyle = bsNone\n"
      "    Ctl3D = False\n"
      "    OnMouseEnter = ViewEnter\n"
      "  end\n"
      "  object W: TPaintedView\n"
      "    Ctl3D = False\n"
      "    Background = $00FF0000\n"
      "  end\n"
      "end\n",
      "views");
  auto* V = F.Find<TPaintedView>("V");
  auto* W = F.Find<TPaintedView>("W");
  ASSERT_NE(V, nullptr);
  ASSERT_NE(W, nullptr);
  EXPECT_EQ(V->GetBackground(), clRed);
  EXPECT_EQ(V->GetBorderStyle(), bsNone);
  EXPECT_FALSE(V->GetCtl3D());
  ASSERT_TRUE(V->OnMouseEnter);
  V->OnMouseEnter(V);
  EXPECT_EQ(Entered, 1);
  EXPECT_EQ(W->GetBackground(), clBlue);
  EXPECT_EQ(W->GetBorderSize(), 1);  // a plain frame without Ctl3D
  // A border style the view does not know is a read error, not a crash.
  TForm G(nullptr);
  EXPECT_THROW(G.ReadFormResourceText("object G: TForm\n"
                                      "  object V: TPaintedView\n"
                                      "    BorderStyle = bsSizeable\n"
                                      "  end\n"
                                      "end\n",
                                      "bad"),
               EReadError);
}

}  // namespace
