#include "platform/vcl/forms.h"

#include <gtest/gtest.h>

#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <string>
#include <vector>

#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/stdctrls.h"
#include "platform/vcl/vcl_test_helpers.h"

namespace {

// A custom control that paints a white page with a black square.
class TTestPaper : public TCustomControl {
 public:
  explicit TTestPaper(TComponent* Owner) : TCustomControl(Owner) { SetControlStyle(GetControlStyle() | csOpaque); }
  int Paints = 0;

 protected:
  void Paint() override {
    ++Paints;
    QImage& Img = GetFrontBuffer()->GetImage();
    Img.fill(QColor(255, 255, 255));
    for (int Y = 2; Y < 6 && Y < Img.height(); ++Y)
      for (int X = 2; X < 6 && X < Img.width(); ++X) Img.setPixel(X, Y, qRgb(0, 0, 0));
  }
};

class TTestForm : public TForm {
 public:
  explicit TTestForm(TComponent* Owner) : TForm(Owner) {
    BindHandler("FormCreate", &TTestForm::FormCreate);
    BindHandler("FormClose", &TTestForm::FormClose);
    BindHandler("OkButtonClick", &TTestForm::OkButtonClick);
    BindHandler("PaperClick", &TTestForm::PaperClick);
    BindHandler("PaperDblClick", &TTestForm::PaperDblClick);
    BindHandler("PaperMouseDown", &TTestForm::PaperMouseDown);
    BindHandler("PaperMouseUp", &TTestForm::PaperMouseUp);
    BindHandler("PaperKeyDown", &TTestForm::PaperKeyDown);
    BindHandler("PaperKeyPress", &TTestForm::PaperKeyPress);
    BindHandler("PaperMouseWheel", &TTestForm::PaperMouseWheel);
    BindHandler("TickerTimer", &TTestForm::TickerTimer);
    BindHandler("ZoomInItemClick", &TTestForm::ZoomInItemClick);
    BindHandler("OpenItemClick", &TTestForm::OpenItemClick);
    ReadFormResource("testform");
    Paper = Find<TTestPaper>("Paper");
  }

  TTestPaper* Paper = nullptr;
  std::vector<std::string> Log;

  void FormCreate(TObject* Sender) { Log.push_back("create"); }
  void FormClose(TObject* Sender, TCloseAction& Action) { Log.push_back("close"); }
  void OkButtonClick(TObject* Sender) { Log.push_back("ok"); }
  void PaperClick(TObject* Sender) { Log.push_back("click"); }
  void PaperDblClick(TObject* Sender) { Log.push_back("dblclick"); }
  void PaperMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    Log.push_back("down " + std::to_string(Button) + " " + std::to_string(Shift) + " " + std::to_string(X) + "," +
                  std::to_string(Y));
  }
  void PaperMouseUp(TObject* Sender, TMouseButton Button, TShiftState Shift, int32_t X, int32_t Y) {
    Log.push_back("up " + std::to_string(Button) + " " + std::to_string(Shift));
  }
  void PaperKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift) {
    Log.push_back("key " + std::to_string(Key) + " " + std::to_string(Shift));
  }
  void PaperKeyPress(TObject* Sender, char16_t& Key) { Log.push_back("char " + std::to_string(int(Key))); }
  void PaperMouseWheel(TObject* Sender, TShiftState Shift, int32_t Delta, TPoint MousePos, bool& Handled) {
    Log.push_back("wheel " + std::to_string(Delta) + " " + std::to_string(Shift));
    Handled = true;
  }
  void TickerTimer(TObject* Sender) { Log.push_back("tick"); }
  void ZoomInItemClick(TObject* Sender) { Log.push_back("zoom in"); }
  void OpenItemClick(TObject* Sender) { Log.push_back("open"); }
};

class FormsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    RegisterComponentClass<TTestPaper>("TTestPaper");
    // The source tree's resources, wherever the build folder lies.
    SetFormResourceFolder(std::string(FOLIO_TEST_DATA) + "/../../resources/forms");
  }
  static void TearDownTestSuite() { SetFormResourceFolder(""); }
};

TEST_F(FormsTest, ReadsTheResourceIntoNestedControlsFoundByName) {
  TTestForm F(nullptr);
  EXPECT_EQ(F.GetName(), "TestForm");
  EXPECT_EQ(F.GetCaption(), "Folivra \u2013 test form");
  EXPECT_EQ(F.Log, std::vector<std::string>{"create"});
  auto* Top = F.Find<TPanel>("TopPanel");
  auto* Client = F.Find<TPanel>("ClientPanel");
  auto* Side = F.Find<TPanel>("SidePanel");
  auto* Ok = F.Find<TButton>("OkButton");
  auto* Label = F.Find<TLabel>("InfoLabel");
  ASSERT_TRUE(Top && Client && Side && Ok && Label && F.Paper);
  EXPECT_EQ(Ok->GetParent(), Top);
  EXPECT_EQ(F.Paper->GetParent(), Side);
  EXPECT_EQ(Side->GetParent(), Client);
  EXPECT_EQ(Label->GetCaption(), "It's a label\r\nwith two lines");
  EXPECT_EQ(Label->GetFont()->GetColor(), clNavy);
  EXPECT_EQ(Top->GetFont()->GetStyle(), FontStyleBit(fsBold));
  EXPECT_TRUE(Ok->GetFont()->GetStyle() & FontStyleBit(fsBold));  // follows its parent
  EXPECT_EQ(Ok->GetFont()->GetName(), "Arial");
  EXPECT_FALSE(Label->GetParentFont());
  EXPECT_EQ(Ok->GetModalResult(), mrOk);
  EXPECT_EQ(Side->GetBevelOuter(), bvLowered);
  EXPECT_EQ(Client->GetPopupMenu(), F.Find<TPopupMenu>("PaperMenu"));
  // Every component left its loading state.
  for (int I = 0; I < F.GetComponentCount(); ++I)
    EXPECT_EQ(F.GetComponent(I)->GetComponentState() & csLoading, 0u) << F.GetComponent(I)->GetName();
  // Names are the widgets' object names too.
  EXPECT_EQ(F.GetWidget()->findChild<QWidget*>("Paper"), F.Paper->GetWidget());
  // Alignment: the top panel spans the client width, the side panel fills the
  // rest of the height, the paper fills the side panel inside bevel and border.
  // The menu bar takes its height from the client area.
  const int32_t H = F.GetClientHeight();
  ASSERT_NE(F.GetMenuBar(), nullptr);
  EXPECT_EQ(H, 300 - F.GetMenuBar()->sizeHint().height());
  EXPECT_EQ(F.GetClientOffset(), (TPoint{0, 300 - H}));
  EXPECT_EQ(Top->GetBoundsRect(), Rect(0, 0, 400, 41));
  EXPECT_EQ(Client->GetBoundsRect(), Rect(0, 41, 400, H));
  EXPECT_EQ(Side->GetBoundsRect(), Rect(0, 0, 150, H - 41));
  EXPECT_EQ(F.Paper->GetBoundsRect(), Rect(4, 4, 146, H - 45));
  // Resizing the form realigns at once.
  F.SetBounds(0, 0, 500, 400);
  EXPECT_EQ(Top->GetWidth(), 500);
  EXPECT_EQ(Side->GetHeight(), H + 100 - 41);
  EXPECT_EQ(F.Paper->GetHeight(), H + 100 - 49);
}

TEST_F(FormsTest, InputReachesTheBoundHandlersWithTheRightCodes) {
  TTestForm F(nullptr);
  F.Show();
  ASSERT_TRUE(F.Paper->GetShowing());
  QWidget* W = F.Paper->GetWidget();
  F.Log.clear();

  SendMouse(W, QEvent::MouseButtonPress, QPoint(10, 12), Qt::LeftButton, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_TRUE(F.Paper->GetMouseCapture());  // a press captures the mouse until release
  SendMouse(W, QEvent::MouseButtonRelease, QPoint(10, 12), Qt::LeftButton, Qt::NoButton, Qt::ShiftModifier);
  EXPECT_FALSE(F.Paper->GetMouseCapture());
  EXPECT_EQ(F.Log, (std::vector<std::string>{"down 0 9 10,12", "click", "up 0 1"}));
  // A release outside the control ends the press without a click.
  F.Log.clear();
  SendMouse(W, QEvent::MouseButtonPress, QPoint(10, 12), Qt::LeftButton, Qt::LeftButton);
  SendMouse(W, QEvent::MouseButtonRelease, QPoint(-30, 500), Qt::LeftButton, Qt::NoButton);
  EXPECT_EQ(F.Log, (std::vector<std::string>{"down 0 8 10,12", "up 0 0"}));

  F.Log.clear();
  SendDoubleClick(W, QPoint(3, 4));
  EXPECT_EQ(F.Log, (std::vector<std::string>{"down 0 8 3,4", "click", "up 0 0", "dblclick", "down 0 72 3,4",
                                             "up 0 0"}));

  F.Log.clear();
  SendMouse(W, QEvent::MouseButtonPress, QPoint(1, 2), Qt::RightButton, Qt::RightButton, Qt::ControlModifier);
  SendMouse(W, QEvent::MouseButtonRelease, QPoint(1, 2), Qt::RightButton, Qt::NoButton, Qt::ControlModifier);
  EXPECT_EQ(F.Log, (std::vector<std::string>{"down 1 20 1,2", "up 1 4"}));

  F.Log.clear();
  SendKey(W, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  SendKey(W, Qt::Key_F4, Qt::AltModifier);
  SendKey(W, Qt::Key_A, Qt::NoModifier, "a");
  SendKey(W, Qt::Key_PageDown, Qt::NoModifier);
  SendKey(W, Qt::Key_5, Qt::KeypadModifier, "5");
  EXPECT_EQ(F.Log, (std::vector<std::string>{"key 65 5", "key 115 2", "key 65 0", "char 97", "key 34 0", "key 101 0",
                                             "char 53"}));

  F.Log.clear();
  // Half notches wait for the other half; two notches come as one message.
  EXPECT_TRUE(SendWheel(W, QPoint(5, 5), 60));
  EXPECT_TRUE(F.Log.empty());
  EXPECT_TRUE(SendWheel(W, QPoint(5, 5), 60, Qt::ControlModifier));
  EXPECT_TRUE(SendWheel(W, QPoint(5, 5), -240));
  EXPECT_EQ(F.Log, (std::vector<std::string>{"wheel 120 4", "wheel -240 0"}));

  F.Log.clear();
  auto* Ok = F.Find<TButton>("OkButton");
  static_cast<QPushButton*>(Ok->GetWidget())->click();
  EXPECT_EQ(F.Log, std::vector<std::string>{"ok"});
  EXPECT_EQ(F.GetModalResult(), mrOk);
}

TEST_F(FormsTest, UnhandledWheelGoesToTheParent) {
  TTestForm F(nullptr);
  F.Show();
  auto* Side = F.Find<TPanel>("SidePanel");
  int SideNotches = 0;
  Side->OnMouseWheelDown = [&](TObject*, TShiftState, TPoint, bool& Handled) {
    ++SideNotches;
    Handled = true;
  };
  F.Paper->OnMouseWheel = nullptr;
  EXPECT_FALSE(SendWheel(F.Paper->GetWidget(), QPoint(5, 5), -120));
  // Qt hands the ignored event to the parent widget.
  EXPECT_TRUE(SendWheel(Side->GetWidget(), QPoint(5, 5), -120));
  EXPECT_EQ(SideNotches, 1);
}

TEST_F(FormsTest, FrontBufferKeepsDrawingBetweenPaints) {
  TTestForm F(nullptr);
  F.Show();
  TTestPaper* P = F.Paper;
  P->Repaint();
  TBitmap* B = P->GetFrontBuffer();
  ASSERT_EQ(B->GetWidth(), P->GetClientWidth());
  ASSERT_EQ(B->GetHeight(), P->GetClientHeight());
  EXPECT_EQ(B->GetImage().pixel(3, 3), qRgb(0, 0, 0));
  EXPECT_EQ(B->GetImage().pixel(20, 20), qRgb(255, 255, 255));
  const int Paints = P->Paints;
  // Drawing between paints is shown as it is: the next paint copies the
  // buffer without running Paint again.
  B->GetImage().setPixel(20, 20, qRgb(255, 0, 0));
  TRect R = Rect(20, 20, 21, 21);
  P->FlushCanvas(&R);
  QImage Shown = P->GetWidget()->grab().toImage();
  EXPECT_EQ(P->Paints, Paints);
  EXPECT_EQ(Shown.pixel(20, 20), qRgb(255, 0, 0));
  EXPECT_EQ(Shown.pixel(3, 3), qRgb(0, 0, 0));
  // The same through the canvas: it draws on the front buffer.
  TCanvas* C = P->GetCanvas();
  C->GetBrush()->SetColor(clBlue);
  C->FillRect(Rect(30, 30, 32, 32));
  Shown = P->GetWidget()->grab().toImage();
  EXPECT_EQ(P->Paints, Paints);
  EXPECT_EQ(Shown.pixel(31, 31), qRgb(0, 0, 255));
  EXPECT_EQ(Shown.pixel(20, 20), qRgb(255, 0, 0));
  // Invalidate asks for a full repaint.
  P->Invalidate();
  Shown = P->GetWidget()->grab().toImage();
  EXPECT_EQ(P->Paints, Paints + 1);
  EXPECT_EQ(Shown.pixel(20, 20), qRgb(255, 255, 255));
  // A new size gives a new buffer of the client size.
  P->SetAlign(alNone);
  P->SetBounds(0, 0, 30, 20);
  EXPECT_EQ(B->GetWidth(), 30);
  EXPECT_EQ(B->GetHeight(), 20);
}

TEST_F(FormsTest, ShowModalEndsWithTheButtonsModalResult) {
  TTestForm F(nullptr);
  auto* Ok = F.Find<TButton>("OkButton");
  QTimer::singleShot(0, [Ok] { static_cast<QPushButton*>(Ok->GetWidget())->click(); });
  EXPECT_EQ(F.ShowModal(), mrOk);
  EXPECT_FALSE(F.GetVisible());
  EXPECT_FALSE(F.IsModal());
  EXPECT_EQ(F.Log, (std::vector<std::string>{"create", "ok", "close"}));
  // Closing a modal form answers mrCancel; a timer of the form runs meanwhile.
  F.Log.clear();
  auto* Ticker = F.Find<TTimer>("Ticker");
  int Ticks = 0;
  Ticker->OnTimer = [&](TObject*) {
    if (++Ticks == 2) F.Close();
  };
  Ticker->SetEnabled(true);
  EXPECT_EQ(F.ShowModal(), mrCancel);
  Ticker->SetEnabled(false);
  EXPECT_EQ(Ticks, 2);
  // A visible form cannot be made modal.
  F.Show();
  EXPECT_THROW(F.ShowModal(), EInvalidOperation);
}

TEST_F(FormsTest, RunEndsWhenTheMainFormCloses) {
  TTestForm F(nullptr);
  Application->SetMainForm(&F);
  QTimer::singleShot(0, [&F] { F.Close(); });
  Application->Run();
  EXPECT_TRUE(Application->GetTerminated());
  EXPECT_FALSE(F.GetVisible());
  EXPECT_EQ(F.Log.back(), "close");
  Application->ResetTerminated();
  Application->SetMainForm(nullptr);
}

TEST_F(FormsTest, RuntimeControlsTakeTheirNameAsCaption) {
  TForm F(nullptr);
  auto* P = new TPanel(&F);
  P->SetName("Panel1");
  EXPECT_EQ(P->GetCaption(), "Panel1");
  P->SetName("Panel2");
  EXPECT_EQ(P->GetCaption(), "Panel2");
  P->SetCaption("Fixed");
  P->SetName("Panel3");
  EXPECT_EQ(P->GetCaption(), "Fixed");
}

TEST_F(FormsTest, CloseActionsAndRelease) {
  TTestForm* F = new TTestForm(nullptr);
  F->Show();
  bool Destroyed = false;
  F->OnDestroy = [&](TObject*) { Destroyed = true; };
  F->OnCloseQuery = [](TObject*, bool& CanClose) { CanClose = false; };
  F->Close();
  EXPECT_TRUE(F->GetVisible());
  F->OnCloseQuery = nullptr;
  F->OnClose = [](TObject*, TCloseAction& A) { A = caFree; };
  F->Close();
  EXPECT_FALSE(Destroyed);  // freed once the current message is done
  Application->ProcessMessages();
  EXPECT_TRUE(Destroyed);
}

TEST_F(FormsTest, PopupMenuFromTheResourceAnswersThroughTheHook) {
  TTestForm F(nullptr);
  F.Show();
  auto* Client = F.Find<TPanel>("ClientPanel");
  auto* Item = F.Find<TMenuItem>("ZoomInItem");
  auto* Menu = F.Find<TPopupMenu>("PaperMenu");
  ASSERT_TRUE(Item && Menu);
  ASSERT_EQ(Menu->GetItems()->GetCount(), 1);
  EXPECT_EQ(Menu->GetItems()->GetItem(0)->GetItem(0), Item);
  EXPECT_EQ(Item->GetShortCut(), scCtrl | VK_OEM_PLUS);
  TPopupMenu* Asked = nullptr;
  auto Old = SetPopupMenuHook([&](TPopupMenu* M, TPoint) {
    Asked = M;
    return Item;
  });
  QContextMenuEvent E(QContextMenuEvent::Mouse, QPoint(300, 50), Client->GetWidget()->mapToGlobal(QPoint(300, 50)));
  QApplication::sendEvent(Client->GetWidget(), &E);
  SetPopupMenuHook(Old);
  EXPECT_EQ(Asked, Menu);
  EXPECT_EQ(Menu->GetPopupComponent(), Client);
  EXPECT_EQ(F.Log.back(), "zoom in");
}

TEST_F(FormsTest, MenuBarEntriesAndShortCutsRunTheirItems) {
  TTestForm F(nullptr);
  F.Show();
  // The menu bar shows the main menu's items; choosing one clicks it.
  QMenuBar* Bar = F.GetMenuBar();
  ASSERT_NE(Bar, nullptr);
  ASSERT_EQ(Bar->actions().size(), 1);
  QMenu* FileMenu = Bar->actions()[0]->menu();
  ASSERT_NE(FileMenu, nullptr);
  EXPECT_EQ(Bar->actions()[0]->text(), "&File");
  ASSERT_EQ(FileMenu->actions().size(), 2);
  F.Log.clear();
  FileMenu->actions()[0]->trigger();
  EXPECT_EQ(F.Log, std::vector<std::string>{"open"});
  ASSERT_NE(F.GetMenu(), nullptr);
  EXPECT_EQ(F.GetMenu(), F.Find<TMainMenu>("MainMenu1"));
  QWidget* W = F.Paper->GetWidget();
  F.Log.clear();
  SendKey(W, Qt::Key_O, Qt::ControlModifier);      // the form's menu
  SendKey(W, Qt::Key_Equal, Qt::ControlModifier);  // the enclosing panel's popup menu
  SendKey(W, Qt::Key_S, Qt::ControlModifier);      // a disabled item: the key goes on
  EXPECT_EQ(F.Log, (std::vector<std::string>{"open", "zoom in", "key 83 4"}));
  // A freed menu or active control is forgotten.
  F.SetActiveControl(F.Find<TButton>("OkButton"));
  delete F.Find<TButton>("OkButton");
  EXPECT_EQ(F.GetActiveControl(), nullptr);
  delete F.Find<TMainMenu>("MainMenu1");
  EXPECT_EQ(F.GetMenu(), nullptr);
  SendKey(W, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(F.Log.back(), "key 79 4");
}

TEST_F(FormsTest, MissingResourceIsReported) {
  TForm F(nullptr);
  try {
    F.ReadFormResource("no-such-form");
    FAIL();
  } catch (EResNotFound& E) {
    EXPECT_EQ(E.Message, "Resource no-such-form not found");
  }
  EXPECT_THROW(F.ReadFormResource("../testform"), EResNotFound);
}

// Resources that must fail cleanly, with the reason.
struct BadResource {
  const char* Text;
  const char* Reason;
};

const BadResource kBad[] = {
    {"", "'object' expected"},
    {"object F: TForm\n  Left = 1\n", "'end' expected"},
    {"object F: TForm\n  Colour = clRed\nend\n", "Property Colour does not exist"},
    {"object F: TForm\n  object P: TNoSuchClass\n  end\nend\n", "Class TNoSuchClass not found"},
    {"object F: TForm\n  OnCreate = NoSuchHandler\nend\n", "Handler NoSuchHandler not found"},
    {"object F: TForm\n  OnKeyDown = FormCreate\nend\n", "does not fit the event"},
    {"object F: TForm\n  Align = alNowhere\nend\n", "Invalid property value"},
    {"object F: TForm\n  Caption = 'open\nend\n", "Unterminated string"},
    {"object F: TForm\n  Left = 99999999999999999999\nend\n", "Number too large"},
    {"object F: TForm\n  Tag = -$8000000000000000\nend\n", "Number too large"},
    {"object F: TForm\n  Left = 'ten'\nend\n", "Invalid property value"},
    // Sizes beyond what a window can have.
    {"object F: TForm\n  Width = 100000\nend\n", "Invalid property value"},
    {"object F: TForm\n  object P: TPanel\n    BorderWidth = 2147483647\n  end\nend\n", "Invalid property value"},
    {"object F: TForm\n  object P: TPanel\n  end\n  object P: TPanel\n  end\nend\n", "already exists"},
    {"object F: TForm\n  PopupMenu = Nope\nend\n", "Invalid reference to Nope"},
    {"object F: TForm\n  object T: TTimer\n    Interval = -1\n  end\nend\n", "Invalid property value"},
    {"object F: TForm\n  object P: TPanel\n    Picture.Data = {0G}\n  end\nend\n", "Invalid binary value"},
    {"object F: TForm\nend\nend\n", "End of resource expected"},
    {"object F: TForm\n  Caption = #1114112\nend\n", "Invalid character code"},
};

TEST_F(FormsTest, BadResourcesFailCleanly) {
  for (const BadResource& B : kBad) {
    TForm F(nullptr);
    F.BindHandler("FormCreate", &TForm::Show);
    try {
      F.ReadFormResourceText(B.Text, "bad");
      ADD_FAILURE() << "accepted: " << B.Text;
    } catch (EReadError& E) {
      EXPECT_NE(E.Message.find(B.Reason), std::string::npos) << E.Message;
      if (std::string(B.Text).find('\n') != std::string::npos) {
        EXPECT_NE(E.Message.find("bad, line"), std::string::npos) << E.Message;
      }
    }
    for (int I = 0; I < F.GetComponentCount(); ++I) EXPECT_EQ(F.GetComponent(I)->GetComponentState() & csLoading, 0u);
  }
}

TEST_F(FormsTest, DeepNestingAndEveryTruncationFailCleanly) {
  std::string Deep = "object F: TForm\n";
  for (int I = 0; I < 5000; ++I) Deep += "object P" + std::to_string(I) + ": TPanel\n";
  {
    TForm F(nullptr);
    EXPECT_THROW(F.ReadFormResourceText(Deep, "deep"), EReadError);
  }
  std::string Deeper = "object F: TForm\n  Tag = ";
  Deeper += std::string(5000, '(');
  {
    TForm F(nullptr);
    EXPECT_THROW(F.ReadFormResourceText(Deeper, "deep"), EReadError);
  }
  const std::string Good = LoadFormResourceText("testform");
  for (size_t Cut = 0; Cut + 1 < Good.size(); Cut += 7) {
    TForm F(nullptr);
    F.BindHandlerFn("FormCreate", TNotifyEvent([](TObject*) {}));
    EXPECT_THROW(F.ReadFormResourceText(Good.substr(0, Cut), "cut"), EReadError) << Cut;
  }
}

TEST(MessageBoxTest, HookAnswersWithTheBoxesButtons) {
  TRecordingBoxHook Hook(mrNo);
  EXPECT_EQ(MessageDlg("All images will be deleted. Are you sure?", mtConfirmation, mbYes | mbNo, 0), mrNo);
  ASSERT_EQ(Hook.Boxes.size(), 1u);
  EXPECT_EQ(Hook.Boxes[0].Caption, "Confirm");
  EXPECT_EQ(Hook.Boxes[0].Buttons, (std::vector<TModalResult>{mrYes, mrNo}));
  EXPECT_EQ(Hook.Boxes[0].DefaultButton, mrYes);

  // An answer the box does not offer counts as its cancel answer.
  Hook.SetAnswer(mrRetry);
  EXPECT_EQ(MessageDlg("x", mtWarning, mbOK | mbCancel, 0), mrCancel);
  EXPECT_EQ(Hook.Boxes.back().Caption, "Warning");
  EXPECT_EQ(MessageDlg("x", mtInformation, mbYes | mbNo, 0), mrNo);

  Hook.SetAnswer(mrCancel);
  EXPECT_EQ(MessageBox(0, "Clipboard does not contain graphic objects", "Warning",
                       MB_YESNOCANCEL | MB_ICONWARNING | MB_DEFBUTTON2),
            IDCANCEL);
  const TMessageBoxRequest& R = Hook.Boxes.back();
  EXPECT_EQ(R.Text, "Clipboard does not contain graphic objects");
  EXPECT_EQ(R.Buttons, (std::vector<TModalResult>{mrYes, mrNo, mrCancel}));
  EXPECT_EQ(R.DefaultButton, mrNo);
  EXPECT_EQ(R.DlgType, mtWarning);

  Application->SetTitle("Folivra");
  Hook.SetAnswer(mrOk);
  ShowMessage("Done");
  EXPECT_EQ(Hook.Boxes.back().Caption, "Folivra");
  EXPECT_EQ(Hook.Boxes.back().Buttons, std::vector<TModalResult>{mrOk});
}

TEST(MessageBoxTest, WithoutHookAHeadlessBoxTakesItsDefault) {
  auto Old = SetMessageBoxHook(nullptr);
  EXPECT_EQ(MessageBox(0, "t", "c", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageDlg("t", mtConfirmation, mbYes | mbNo | mbCancel, 0), mrYes);
  SetMessageBoxHook(Old);
}

}  // namespace
