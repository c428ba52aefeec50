#include "widgets/control_base.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "widgets/theming.h"

namespace {

// Records the operations it is asked for and what reaches the platform class
// behind them.
class TProbe : public TOxExCustomControl {
 public:
  explicit TProbe(TComponent* AOwner) : TOxExCustomControl(AOwner) {}
  std::vector<std::string> Log;
  uint32_t NativeDlgc = 0;
  bool DropNative = false;
  TDialogKeyCodes AddCodes = 0;
  TColor AnswerHintColor = clNone;

 protected:
  void DoEnabledChange() override {
    Log.push_back("DoEnabledChange");
    TOxExCustomControl::DoEnabledChange();
  }
  void DoControlsChanging(TControl* C, bool Inserting) override {
    Log.push_back(std::string("Changing ") + (Inserting ? "in" : "out"));
  }
  void DoControlsChanged(TControl* C, bool Inserting) override {
    Log.push_back(std::string("Changed ") + (Inserting ? "in" : "out"));
  }
  void AdjustDialogCodes(TDialogKeyCodes& Codes) override {
    Codes |= AddCodes;
    if (DropNative) Codes &= ~dkNative;
  }
  bool DoBackgroundErase(TCanvas* Canvas, LPARAM Param) override {
    // Disturbs the device context; the wrapper must put it back.
    Canvas->SetViewportOrg(TPoint{7, 9});
    Canvas->SetClip(QRegion(0, 0, 1, 1));
    return true;
  }
  void Dispatch(TMessage& M) override {
    switch (M.Msg) {
      case CM_ENABLEDCHANGED: Log.push_back("base CM_ENABLEDCHANGED"); break;
      case CM_MOUSEENTER: Log.push_back("base enter"); break;
      case CM_MOUSELEAVE: Log.push_back("base leave"); break;
      case WM_GETDLGCODE: M.Result = NativeDlgc; return;
      case CM_HINTSHOW:
        if (AnswerHintColor != clNone) {
          reinterpret_cast<THintInfo*>(M.LParam)->HintColor = AnswerHintColor;
          M.Result = 1;
          return;
        }
        break;
      default: break;
    }
    TOxExCustomControl::Dispatch(M);
  }
};

TEST(ControlBase, NotificationsBecomeOperationsThatStillReachThePlatformClass) {
  TProbe P(nullptr);
  P.SetEnabled(false);
  EXPECT_EQ(P.Log, (std::vector<std::string>{"DoEnabledChange", "base CM_ENABLEDCHANGED"}));
}

TEST(ControlBase, MouseEnterIsSeenByTheUserFirstAndLeaveLast) {
  TProbe P(nullptr);
  P.OnMouseEnter = [&](TObject*) { P.Log.push_back("user enter"); };
  P.OnMouseLeave = [&](TObject*) { P.Log.push_back("user leave"); };
  P.Perform(CM_MOUSEENTER, 0, reinterpret_cast<LPARAM>(&P));
  EXPECT_TRUE(P.GetPointerInside());
  P.Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(&P));
  EXPECT_FALSE(P.GetPointerInside());
  EXPECT_EQ(P.Log, (std::vector<std::string>{"user enter", "base enter", "base leave", "user leave"}));
}

TEST(ControlBase, ControlListMessagesMapToChangingAndChanged) {
  TProbe P(nullptr);
  auto* Child = new TProbe(&P);
  Child->SetParent(&P);
  Child->SetParent(nullptr);
  // Before and after the insertion, before and after the removal.
  EXPECT_EQ(P.Log, (std::vector<std::string>{"Changing in", "Changed in", "Changing out", "Changed out"}));
}

TEST(ControlBase, DialogCodesKeepOrReplaceThePlatformAnswer) {
  EXPECT_EQ(DialogCodesFromDlgc(DLGC_WANTARROWS | DLGC_WANTTAB | 0x40), dkWantArrows | dkWantTab);
  EXPECT_EQ(DlgcFromDialogCodes(dkWantAllKeys | dkButton | dkNative), DLGC_WANTALLKEYS | DLGC_BUTTON);
  for (uint32_t Bit : {DLGC_WANTARROWS, DLGC_WANTTAB, DLGC_WANTALLKEYS, DLGC_HASSETSEL, DLGC_WANTCHARS, DLGC_BUTTON})
    EXPECT_EQ(DlgcFromDialogCodes(DialogCodesFromDlgc(Bit)), Bit);

  TProbe P(nullptr);
  P.NativeDlgc = DLGC_WANTARROWS | 0x40;
  P.AddCodes = dkWantChars;
  EXPECT_EQ(P.Perform(WM_GETDLGCODE, 0, 0), static_cast<LRESULT>(DLGC_WANTARROWS | 0x40)) << "native answer kept";
  P.DropNative = true;
  EXPECT_EQ(P.Perform(WM_GETDLGCODE, 0, 0), static_cast<LRESULT>(DLGC_WANTARROWS | DLGC_WANTCHARS))
      << "unmapped platform bits are lost";
}

TEST(ControlBase, BackgroundEraseLeavesTheDeviceContextAsItWas) {
  TProbe P(nullptr);
  TBitmap B;
  B.SetSize(4, 4);
  TCanvas* DC = B.GetCanvas();
  DC->SetViewportOrg(TPoint{1, 2});
  EXPECT_EQ(P.Perform(WM_ERASEBKGND, reinterpret_cast<WPARAM>(DC), 0), 1);
  EXPECT_EQ(DC->GetViewportOrg().X, 1);
  EXPECT_EQ(DC->GetViewportOrg().Y, 2);
  EXPECT_FALSE(DC->GetClip().has_value());
}

TEST(ControlBase, HintColourFromApplicationParentOrOwnValue) {
  TProbe Parent(nullptr);
  auto* Child = new TProbe(&Parent);
  Child->SetParent(&Parent);
  Parent.AnswerHintColor = clRed;

  THintInfo Info;
  Info.HintColor = clYellow;
  Child->SetHintColor(clDefault);
  Child->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
  EXPECT_EQ(Info.HintColor, clRed) << "clDefault asks the parent";

  Child->SetHintColor(clLime);
  Child->Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
  EXPECT_EQ(Info.HintColor, clLime);

  TProbe Orphan(nullptr);
  Info.HintColor = clYellow;
  Orphan.Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
  EXPECT_EQ(Info.HintColor, clYellow) << "without parent the hint system's colour stays";

  if (Application) {
    Orphan.SetHintColor(clNone);
    Orphan.Perform(CM_HINTSHOW, 0, reinterpret_cast<LPARAM>(&Info));
    EXPECT_EQ(Info.HintColor, Application->GetHintColor());
  }
  EXPECT_EQ(ShiftToKeyFlags(ssShift | ssAlt), 0x28000000);
}

TEST(ControlBase, HighlightFrameFollowsPointer) {
  TProbe P(nullptr);
  P.SetColor(clWhite);
  P.SetBounds(0, 0, 20, 10);
  P.SetDotNetHighlighting(true);
  P.Invalidate();
  P.Update();
  TBitmap* Buf = P.GetFrontBuffer();
  EXPECT_EQ(Buf->GetPixelColor(0, 0), HighlightUnfocusedColor);
  EXPECT_EQ(Buf->GetPixelColor(1, 1), clWhite);
  EXPECT_EQ(Buf->GetPixelColor(19, 9), HighlightUnfocusedColor);
  P.Perform(CM_MOUSEENTER, 0, 0);
  EXPECT_EQ(Buf->GetPixelColor(0, 0), HighlightFocusedColor);
  EXPECT_EQ(Buf->GetPixelColor(1, 1), HighlightFocusedColor);
  EXPECT_EQ(Buf->GetPixelColor(2, 2), clWhite);
}

// An option object with one property, as the hot-track options are built.
class TOptions : public TOxPersistentProperty {
 public:
  using TOxPersistentProperty::TOxPersistentProperty;
  void SetColor(TColor V) { ChangeProperty(FColor, V, "Color"); }
  void SetEnabled(bool V) { ChangeProperty(FEnabled, V, "Enabled"); }
  TColor FColor = clBlack;
  bool FEnabled = false;
};

TEST(ControlBase, OptionObjectsReportChangesOnceAroundABracket) {
  TOptions O(nullptr);
  std::vector<std::string> Log;
  O.OnBeforeChange = [&](TObject*) { Log.push_back("before"); };
  O.OnAfterChange = [&](TObject*) { Log.push_back("after"); };
  O.OnBeforePropertyChange = [&](TObject*, const std::string& N) { Log.push_back("before " + N); };
  O.OnAfterPropertyChange = [&](TObject*, const std::string& N) { Log.push_back("after " + N); };
  O.SetColor(clBlack);
  EXPECT_TRUE(Log.empty()) << "the stored value changes nothing";
  O.SetColor(clRed);
  EXPECT_EQ(Log, (std::vector<std::string>{"before", "before Color", "after Color", "after"}));
  Log.clear();
  {
    TOxChangeBracket Bracket(&O);
    O.SetColor(clBlue);
    O.SetEnabled(true);
    EXPECT_EQ(O.GetChangeDepth(), 1);
  }
  EXPECT_EQ(Log, (std::vector<std::string>{"before", "before Color", "after Color", "before Enabled",
                                           "after Enabled", "after"}));
}

TEST(ControlBase, PersistentNamePathJoinsTheOwnersPath) {
  TComponent Form(nullptr);
  Form.SetName("Form1");
  auto* Button = new TComponent(&Form);
  Button->SetName("Button1");
  TOptions Options(Button);
  Options.SetName("HotTrack");
  EXPECT_EQ(Options.GetPersistentOwner(), Button);
  EXPECT_EQ(Options.GetNamePath(), Button->GetNamePath() + ".HotTrack");
}

// ------------------------------------------------------------ theming
class TPainter : public TOxExCustomControl {
 public:
  using TOxExCustomControl::TOxExCustomControl;
  TPoint SeenOrigin{-1, -1};

 protected:
  bool DoBackgroundErase(TCanvas* Canvas, LPARAM) override {
    SeenOrigin = Canvas->GetViewportOrg();
    Canvas->GetBrush()->SetColor(clGreen);
    Canvas->FillRect(Rect(0, 0, 100, 100));
    return true;
  }
};

TEST(Theming, ParentPaintsBehindAControlOfItsColourWhenThemesAreOn) {
  TPainter Parent(nullptr);
  Parent.SetBounds(0, 0, 100, 100);
  Parent.SetColor(clBtnFace);
  auto* Child = new TCustomControl(&Parent);
  Child->SetParent(&Parent);
  Child->SetBounds(0, 5, 10, 10);
  Child->SetColor(clBtnFace);
  Child->SetControlStyle(Child->GetControlStyle() | csParentBackground);
  TBitmap B;
  B.SetSize(10, 10);
  TCanvas* C = B.GetCanvas();
  C->GetBrush()->SetColor(clBlue);

  SetThemesEnabled(false);
  PaintControlBackground(Child, C, Rect(0, 0, 10, 10), true, clRed);
  EXPECT_EQ(B.GetPixelColor(3, 3), clRed);
  EXPECT_EQ(C->GetBrush()->GetColor(), clBlue) << "brush colour restored";

  SetThemesEnabled(true);
  PaintControlBackground(Child, C, Rect(0, 0, 10, 10), true, static_cast<TColor>(ColorToRGB(clBtnFace)));
  EXPECT_EQ(B.GetPixelColor(3, 3), clGreen) << "same colour as RGB counts as the parent's";
  EXPECT_EQ(Parent.SeenOrigin.X, 0);
  EXPECT_EQ(Parent.SeenOrigin.Y, -5) << "parent coordinates shifted by the control's position";
  EXPECT_EQ(C->GetViewportOrg().Y, 0);
  EXPECT_FALSE(C->GetClip().has_value());

  // A control that does not ask for its parent's background is filled.
  Child->SetControlStyle(Child->GetControlStyle() & ~csParentBackground);
  PaintControlBackground(Child, C, Rect(0, 0, 10, 10), true, clBtnFace);
  EXPECT_EQ(static_cast<uint32_t>(B.GetPixelColor(3, 3)), ColorToRGB(clBtnFace));

  AddThemeStyle(Child, csParentBackground | csOpaque);
  EXPECT_EQ(ThemeStyleOf(Child), csParentBackground);
}

}  // namespace

namespace {
TEST(Theming, PlainParentErasesIntoTheGivenCanvasNotItsOwnBuffer) {
  TCustomControl Parent(nullptr);
  Parent.SetBounds(0, 0, 40, 40);
  Parent.SetColor(clYellow);
  Parent.Update();
  Parent.GetCanvas()->SetPixel(12, 12, clRed);
  auto* Child = new TCustomControl(&Parent);
  Child->SetParent(&Parent);
  Child->SetBounds(10, 10, 8, 8);
  TBitmap B;
  B.SetSize(8, 8);
  EraseWithParentBackground(Child, B.GetCanvas(), Rect(0, 0, 4, 4));
  EXPECT_EQ(B.GetPixelColor(2, 2), clYellow);
  EXPECT_NE(B.GetPixelColor(6, 6), clYellow) << "outside the rectangle nothing is painted";
  EXPECT_EQ(Parent.GetFrontBuffer()->GetPixelColor(12, 12), clRed) << "the parent's own picture stays";
}
}  // namespace

namespace {
TEST(ControlBase, UnfocusableFormRefusesActivationByClick) {
  TOxForm F(nullptr);
  EXPECT_TRUE(F.GetIsFocusable());
  EXPECT_EQ(F.Perform(WM_MOUSEACTIVATE, 0, 0), 0);
  F.SetIsFocusable(false);
  EXPECT_EQ(F.Perform(WM_MOUSEACTIVATE, 0, 0), 3) << "MA_NOACTIVATE";
  int32_t Activations = 0;
  F.OnActivate = [&](TObject*) { ++Activations; };
  F.ShowWithoutActivating(true);
  EXPECT_EQ(Activations, 1);
  EXPECT_TRUE(F.GetVisible());
}
}  // namespace
