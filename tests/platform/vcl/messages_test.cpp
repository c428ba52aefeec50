#include "platform/vcl/messages.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/rtl/threads.h"
#include "platform/vcl/application.h"
#include "platform/vcl/controls.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/forms.h"
#include "platform/vcl/vcl_test_helpers.h"

namespace {

constexpr uint32_t WM_TEST = WM_USER + 1;
constexpr uint32_t WM_THROW = WM_USER + 2;

// A windowed control that records the messages it handles.
class TRecorder : public TCustomControl {
 public:
  using TCustomControl::TCustomControl;
  struct Entry {
    uint32_t Msg;
    WPARAM WParam;
    LPARAM LParam;
    std::thread::id Thread;
  };
  std::vector<Entry> Log;
  int ThrowWhat = 0;

  void Dispatch(TMessage& M) override {
    switch (M.Msg) {
      case WM_TEST:
        Log.push_back({M.Msg, M.WParam, M.LParam, std::this_thread::get_id()});
        M.Result = M.WParam * 2;
        return;
      case WM_TIMER:
        Log.push_back({M.Msg, M.WParam, M.LParam, std::this_thread::get_id()});
        return;
      case WM_THROW:
        if (M.WParam == 0) throw EConvertError("'abc' is not a valid integer value");
        if (M.WParam == 1) throw EAbort("quiet");
        throw std::runtime_error("plain failure!");
      default:
        TCustomControl::Dispatch(M);
    }
  }
  int Count(uint32_t Msg, WPARAM W) const {
    int N = 0;
    for (auto& E : Log) N += E.Msg == Msg && E.WParam == W;
    return N;
  }
};

struct Fixture : ::testing::Test {
  Fixture() {
    Form = new TForm(nullptr);
    Rec = new TRecorder(Form);
    Rec->SetParent(Form);
    Rec->SetBounds(0, 0, 100, 80);
  }
  ~Fixture() override { delete Form; }
  TForm* Form;
  TRecorder* Rec;
};

using MessagesTest = Fixture;

TEST_F(MessagesTest, SendMessageDispatchesAtOnceAndAnswersTheResult) {
  HWND H = Rec->GetHandle();
  ASSERT_NE(H, 0u);
  EXPECT_EQ(FindControl(H), Rec);
  EXPECT_EQ(SendMessage(H, WM_TEST, 21, 5), 42);
  ASSERT_EQ(Rec->Log.size(), 1u);
  EXPECT_EQ(Rec->Log[0].LParam, 5);
  // Unknown handles answer 0 and reach nobody.
  EXPECT_EQ(SendMessage(H + 1, WM_TEST, 1, 0), 0);
  EXPECT_EQ(SendMessage(0, WM_TEST, 1, 0), 0);
  EXPECT_FALSE(PostMessage(0, WM_TEST, 1, 0));
}

TEST_F(MessagesTest, HandleNeedsAParentWindow) {
  TCustomControl Orphan(nullptr);
  Orphan.SetName("Orphan");
  try {
    Orphan.GetHandle();
    FAIL() << "no exception";
  } catch (EInvalidOperation& E) {
    EXPECT_EQ(E.Message, "Control 'Orphan' has no parent window");
  }
  EXPECT_FALSE(Orphan.HandleAllocated());
}

TEST_F(MessagesTest, PostedMessagesFromWorkerThreadsArriveInOrderInTheGuiThread) {
  HWND H = Rec->GetHandle();
  constexpr int kPerThread = 500;
  auto Worker = [H](int Base) {
    for (int I = 0; I < kPerThread; ++I) ASSERT_TRUE(PostMessage(H, WM_TEST, Base + I, Base));
  };
  std::thread A(Worker, 0), B(Worker, 100000);
  A.join();
  B.join();
  EXPECT_TRUE(Rec->Log.empty());  // nothing runs before the GUI thread pumps
  Application->ProcessMessages();
  ASSERT_EQ(Rec->Log.size(), 2u * kPerThread);
  int NextA = 0, NextB = 100000;
  for (auto& E : Rec->Log) {
    EXPECT_EQ(E.Thread, std::this_thread::get_id());
    if (E.LParam == 0) {
      EXPECT_EQ(E.WParam, NextA++);
    } else {
      EXPECT_EQ(E.WParam, NextB++);
    }
  }
  EXPECT_EQ(PendingPostedMessages(), 0);
}

TEST_F(MessagesTest, PostedMessagesKeepOrderWhenAHandlerPumps) {
  // A handler that lets pending messages run (a long loop's pump) gets the
  // later messages delivered inside it, still in posting order.
  HWND H = Rec->GetHandle();
  class TPumper : public TRecorder {
   public:
    using TRecorder::TRecorder;
    void Dispatch(TMessage& M) override {
      TRecorder::Dispatch(M);
      if (M.Msg == WM_TEST && M.WParam == 1) Application->ProcessMessages();
    }
  };
  auto* P = new TPumper(Form);
  P->SetParent(Form);
  HWND PH = P->GetHandle();
  PostMessage(PH, WM_TEST, 1, 0);
  PostMessage(H, WM_TEST, 2, 0);
  PostMessage(PH, WM_TEST, 3, 0);
  Application->ProcessMessages();
  ASSERT_EQ(P->Log.size(), 2u);
  EXPECT_EQ(P->Log[0].WParam, 1);
  EXPECT_EQ(P->Log[1].WParam, 3);
  EXPECT_EQ(Rec->Count(WM_TEST, 2), 1);
}

TEST_F(MessagesTest, ThreadQueueAndSynchronizeRunInOrderWithPostedMessages) {
  class TWorker : public TThread {
   public:
    TWorker(TRecorder* R, std::vector<std::string>& Log) : TThread(true), FR(R), FH(R->GetHandle()), FLog(Log) {}

   protected:
    void Execute() override {
      PostMessage(FH, WM_TEST, 1, 0);
      // Each runs after the messages posted before it.
      Queue([this] { FLog.push_back("queued " + std::to_string(IsGuiThread()) + std::to_string(FR->Log.size())); });
      PostMessage(FH, WM_TEST, 2, 0);
      Synchronize(
          [this] { FLog.push_back("synchronized " + std::to_string(IsGuiThread()) + std::to_string(FR->Log.size())); });
    }

   private:
    TRecorder* FR;
    HWND FH;
    std::vector<std::string>& FLog;
  };
  std::vector<std::string> Log;
  TWorker W(Rec, Log);
  W.Start();
  for (int I = 0; I < 1000000 && !W.GetFinished(); ++I) Application->ProcessMessages();
  W.WaitFor();
  Application->ProcessMessages();
  EXPECT_EQ(Log, (std::vector<std::string>{"queued 11", "synchronized 12"}));
  ASSERT_EQ(Rec->Log.size(), 2u);
  EXPECT_EQ(Rec->Log[0].WParam, 1);
  EXPECT_EQ(Rec->Log[1].WParam, 2);
}

TEST_F(MessagesTest, MessagesToADestroyedControlAreDropped) {
  HWND H = Rec->GetHandle();
  PostMessage(H, WM_TEST, 1, 0);
  delete Rec;
  Rec = nullptr;
  EXPECT_FALSE(IsWindow(H));
  Application->ProcessMessages();  // must not reach the freed control
  EXPECT_EQ(SendMessage(H, WM_TEST, 1, 0), 0);
}

TEST_F(MessagesTest, SendMessageFromAWorkerWaitsForTheGuiThread) {
  HWND H = Rec->GetHandle();
  std::atomic<bool> Done{false};
  LRESULT Result = 0;
  std::thread T([&] {
    Result = SendMessage(H, WM_TEST, 50, 0);
    Done = true;
  });
  for (int I = 0; I < 100000 && !Done; ++I) Application->ProcessMessages();
  T.join();
  EXPECT_EQ(Result, 100);
  ASSERT_EQ(Rec->Log.size(), 1u);
  EXPECT_EQ(Rec->Log[0].Thread, std::this_thread::get_id());
}

TEST_F(MessagesTest, WindowTimersFireByIdUntilKilled) {
  HWND H = Rec->GetHandle();
  EXPECT_EQ(SetTimer(H, 7, 5), 7u);
  EXPECT_EQ(SetTimer(H, 9, 5), 9u);
  EXPECT_EQ(SetTimer(H + 1, 3, 5), 0u);
  for (int I = 0; I < 100000 && (Rec->Count(WM_TIMER, 7) < 2 || Rec->Count(WM_TIMER, 9) < 2); ++I)
    Application->HandleMessage();
  EXPECT_GE(Rec->Count(WM_TIMER, 7), 2);
  EXPECT_GE(Rec->Count(WM_TIMER, 9), 2);
  EXPECT_TRUE(KillTimer(H, 7));
  EXPECT_FALSE(KillTimer(H, 7));
  const int Sevens = Rec->Count(WM_TIMER, 7);
  const int Nines = Rec->Count(WM_TIMER, 9);
  for (int I = 0; I < 100000 && Rec->Count(WM_TIMER, 9) < Nines + 3; ++I) Application->HandleMessage();
  EXPECT_EQ(Rec->Count(WM_TIMER, 7), Sevens);
  EXPECT_TRUE(KillTimer(H, 9));
  for (auto& E : Rec->Log) EXPECT_EQ(E.Thread, std::this_thread::get_id());
}

TEST_F(MessagesTest, TimerComponentFiresAndStops) {
  auto* T = new TTimer(Form);
  int Ticks = 0;
  T->SetInterval(5);
  T->OnTimer = [&](TObject* Sender) {
    EXPECT_EQ(Sender, T);
    if (++Ticks == 3) T->SetEnabled(false);
  };
  for (int I = 0; I < 100000 && Ticks < 3; ++I) Application->HandleMessage();
  EXPECT_EQ(Ticks, 3);
  // Disabled from its own tick: no more ticks while a window timer runs on.
  SetTimer(Rec->GetHandle(), 1, 5);
  for (int I = 0; I < 100000 && Rec->Count(WM_TIMER, 1) < 4; ++I) Application->HandleMessage();
  EXPECT_EQ(Ticks, 3);
  // Freed from its own tick: no crash, no further tick.
  Ticks = 0;
  T->OnTimer = [&](TObject*) {
    ++Ticks;
    delete T;
  };
  T->SetEnabled(true);
  for (int I = 0; I < 100000 && Ticks < 1; ++I) Application->HandleMessage();
  const int Base = Rec->Count(WM_TIMER, 1);
  for (int I = 0; I < 100000 && Rec->Count(WM_TIMER, 1) < Base + 3; ++I) Application->HandleMessage();
  EXPECT_EQ(Ticks, 1);
}

TEST_F(MessagesTest, ExceptionsInHandlersAreShownNotLost) {
  TRecordingBoxHook Hook;
  Application->SetTitle("Folivra");
  HWND H = Rec->GetHandle();
  const int Before = Application->GetHandledExceptionCount();
  // From a posted message, a timer and a Qt event: each is shown and the
  // loop goes on.
  PostMessage(H, WM_THROW, 0, 0);
  PostMessage(H, WM_THROW, 1, 0);
  PostMessage(H, WM_THROW, 2, 0);
  PostMessage(H, WM_TEST, 9, 0);
  Application->ProcessMessages();
  EXPECT_EQ(Rec->Count(WM_TEST, 9), 1);
  ASSERT_EQ(Hook.Boxes.size(), 2u);  // the silent exception shows nothing
  EXPECT_EQ(Hook.Boxes[0].Text, "'abc' is not a valid integer value.");
  EXPECT_EQ(Hook.Boxes[0].Caption, "Folivra");
  EXPECT_EQ(Hook.Boxes[0].DlgType, mtError);
  EXPECT_EQ(Hook.Boxes[0].Buttons, std::vector<TModalResult>{mrOk});
  EXPECT_EQ(Hook.Boxes[1].Text, "plain failure!");  // no full stop after "!"
  EXPECT_EQ(Application->GetHandledExceptionCount(), Before + 3);

  Rec->OnClick = [](TObject*) { throw EInvalidOperation("Click failed"); };
  Form->Show();
  SendClick(Rec->GetWidget(), QPoint(5, 5));
  ASSERT_EQ(Hook.Boxes.size(), 3u);
  EXPECT_EQ(Hook.Boxes[2].Text, "Click failed.");

  // OnException takes them instead of the box.
  std::vector<std::string> Seen;
  Application->OnException = [&](TObject* Sender, Exception* E) {
    EXPECT_EQ(Sender, Rec);
    Seen.push_back(E->ClassName() + ":" + E->Message);
  };
  SendClick(Rec->GetWidget(), QPoint(5, 5));
  Application->OnException = nullptr;
  EXPECT_EQ(Hook.Boxes.size(), 3u);
  ASSERT_EQ(Seen.size(), 1u);
  EXPECT_EQ(Seen[0], "EInvalidOperation:Click failed");
}

}  // namespace
