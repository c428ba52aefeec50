// Threads, critical sections, events and the locked list. No test depends on
// timing: waits are on events, and a timeout is only asserted where nothing
// can signal.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>
#include <thread>

#include "platform/rtl/sysutils.h"
#include "platform/rtl/threads.h"

namespace {
class TWorker : public TThread {
 public:
  explicit TWorker(bool Suspended) : TThread(Suspended) {}
  ~TWorker() override {
    Terminate();
    if (!GetSuspended()) WaitFor();
  }
  TEvent Started;
  std::atomic<int> Loops{0};
  std::atomic<uint64_t> SeenId{0};
  std::atomic<bool> Throw{false};

 protected:
  void Execute() override {
    SeenId = CurrentThreadID();
    Started.SetEvent();
    if (Throw) throw EInOutError("disk full", 28);
    while (!Terminated()) {
      ++Loops;
      std::this_thread::yield();
    }
    ReturnValue = 42;
  }
};

class TSelfFreeing : public TThread {
 public:
  explicit TSelfFreeing(TEvent* Done) : TThread(true), FDone(Done) { SetFreeOnTerminate(true); }
  ~TSelfFreeing() override { FDone->SetEvent(); }

 protected:
  void Execute() override {}

 private:
  TEvent* FDone;
};
}  // namespace

TEST(Threads, SuspendedThreadStartsOnResumeAndStopsOnTerminate) {
  TWorker W(true);
  EXPECT_TRUE(W.GetSuspended());
  EXPECT_EQ(W.Started.WaitFor(0), wrTimeout);  // nothing runs before Resume
  EXPECT_THROW(W.WaitFor(), EThread);
  int Terminated = 0;
  W.OnTerminate = [&](TThread* Sender) {
    EXPECT_EQ(Sender, &W);
    ++Terminated;
  };
  W.Resume();
  W.Resume();  // a second start changes nothing
  ASSERT_EQ(W.Started.WaitFor(INFINITE), wrSignaled);
  EXPECT_FALSE(W.GetFinished());
  W.Terminate();
  EXPECT_EQ(W.WaitFor(), 42u);
  EXPECT_TRUE(W.GetFinished());
  EXPECT_EQ(Terminated, 1);
  EXPECT_EQ(W.GetThreadID(), W.SeenId.load());
  EXPECT_NE(W.GetThreadID(), TThread::CurrentThreadID());
  EXPECT_EQ(W.GetFatalException(), "");
}

TEST(Threads, ExceptionInExecuteIsKeptAndNeverStartedThreadIsSafe) {
  {
    TWorker W(true);
    W.Throw = true;
    W.Start();
    W.WaitFor();
    EXPECT_EQ(W.GetFatalException(), "disk full");
  }
  { TWorker NeverStarted(false); }
  // Destroying a running thread terminates and waits for it.
  auto* W = new TWorker(true);
  W->Start();
  W->Started.WaitFor(INFINITE);
  delete W;

  TEvent Done(true, false);
  auto* F = new TSelfFreeing(&Done);
  F->Start();
  EXPECT_EQ(Done.WaitFor(INFINITE), wrSignaled);  // it deleted itself
}

TEST(Threads, CriticalSectionIsRecursiveAndExcludesOthers) {
  TCriticalSection CS;
  CS.Enter();
  CS.Enter();  // same thread: no deadlock
  std::atomic<int> OtherGot{-1};
  std::thread T([&] { OtherGot = CS.TryEnter() ? 1 : 0; });
  T.join();
  EXPECT_EQ(OtherGot, 0);
  CS.Leave();
  CS.Leave();
  std::thread T2([&] {
    OtherGot = CS.TryEnter() ? 1 : 0;
    if (OtherGot) CS.Leave();
  });
  T2.join();
  EXPECT_EQ(OtherGot, 1);

  // Counting under the lock from several threads loses nothing.
  int Counter = 0;
  std::vector<std::thread> Ts;
  for (int I = 0; I < 4; ++I)
    Ts.emplace_back([&] {
      for (int J = 0; J < 10000; ++J) {
        CS.Acquire();
        ++Counter;
        CS.Release();
      }
    });
  for (auto& Th : Ts) Th.join();
  EXPECT_EQ(Counter, 40000);
}

TEST(Threads, EventsSignalResetAndTimeOut) {
  TEvent Manual(true, false);
  EXPECT_EQ(Manual.WaitFor(0), wrTimeout);
  EXPECT_EQ(Manual.WaitFor(5), wrTimeout);
  Manual.SetEvent();
  EXPECT_EQ(Manual.WaitFor(0), wrSignaled);
  EXPECT_EQ(Manual.WaitFor(INFINITE), wrSignaled);  // stays signalled
  Manual.ResetEvent();
  EXPECT_EQ(Manual.WaitFor(0), wrTimeout);

  TEvent Auto(false, true);
  EXPECT_EQ(Auto.WaitFor(0), wrSignaled);
  EXPECT_EQ(Auto.WaitFor(0), wrTimeout);  // reset itself

  TEvent Go(true, false);
  std::thread T([&] { Go.SetEvent(); });
  EXPECT_EQ(Go.WaitFor(INFINITE), wrSignaled);
  T.join();
}

namespace {
class TSync : public TThread {
 public:
  TSync() : TThread(true) {}
  ~TSync() override {
    if (!GetSuspended()) WaitFor();
  }
  std::atomic<bool> RanInMain{false};
  std::string Caught;

 protected:
  void Execute() override {
    Synchronize([this] { RanInMain = TThread::IsMainThread(); });
    try {
      Synchronize([] { throw EAbort("stop"); });
    } catch (const EAbort& E) {
      Caught = E.Message;
    }
  }
};

// A stand-in for the GUI layer's queue: the test's main thread runs what the
// workers hand it when it chooses to.
struct TFakeLoop {
  std::mutex M;
  std::condition_variable Cv;
  std::vector<std::function<void()>> Pending;
  TFakeLoop() {
    TThread::SetMainThreadDispatcher([this](std::function<void()> Method, bool Wait) {
      std::lock_guard<std::mutex> L(M);
      Pending.push_back(std::move(Method));
      Cv.notify_all();
    });
  }
  ~TFakeLoop() { TThread::SetMainThreadDispatcher(nullptr); }
  std::function<void()> Next() {
    std::unique_lock<std::mutex> L(M);
    Cv.wait(L, [this] { return !Pending.empty(); });
    auto Fn = std::move(Pending.front());
    Pending.erase(Pending.begin());
    return Fn;
  }
};
}  // namespace

TEST(Threads, SynchronizeRunsInTheMainThreadAndCarriesExceptions) {
  EXPECT_TRUE(TThread::IsMainThread());
  {
    TFakeLoop Loop;
    TSync S;
    S.Start();
    Loop.Next()();  // served by the loop
    Loop.Next()();
    S.WaitFor();
    EXPECT_TRUE(S.RanInMain);
    EXPECT_EQ(S.Caught, "stop");
  }
  bool Direct = false;
  TWorker W(true);
  W.Synchronize([&] { Direct = true; });  // no dispatcher: runs at once
  EXPECT_TRUE(Direct);
}

TEST(Threads, WaitingInTheMainThreadServesSynchronizeInsteadOfDeadlocking) {
  TFakeLoop Loop;  // never served here, as when the GUI loop is not running
  {
    TSync S;
    S.Start();
    EXPECT_EQ(S.WaitFor(), 0u);
    EXPECT_TRUE(S.RanInMain);
    EXPECT_EQ(S.Caught, "stop");
  }
  {
    auto* S = new TSync;
    S->Start();
    delete S;  // the destructor waits the same way
  }
  // The loop's late copies of the requests find them done and do nothing.
  for (auto& Fn : Loop.Pending) Fn();
}

TEST(Threads, ThreadListLocksAndRefusesDuplicatesWhenAsked) {
  TThreadList L;
  int A = 0, B = 0;
  L.Add(&A);
  L.Add(&A);  // ignored
  L.Add(&B);
  EXPECT_EQ(L.LockList()->GetCount(), 2);
  L.UnlockList();
  L.SetDuplicates(dupError);
  try {
    L.Add(&A);
    FAIL();
  } catch (const EListError& E) {
    EXPECT_EQ(E.Message, "List does not allow duplicates");
  }
  L.Remove(&A);
  TList* Locked = L.LockList();
  EXPECT_EQ(Locked->GetCount(), 1);
  L.UnlockList();
  // The lock is still usable after the failed Add.
  std::thread T([&] { L.Clear(); });
  T.join();
  EXPECT_EQ(L.LockList()->GetCount(), 0);
  L.UnlockList();
}
