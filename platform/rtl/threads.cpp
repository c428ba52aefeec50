#include "platform/rtl/threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <exception>

#include "platform/rtl/sysutils.h"

namespace {
// Static initialisation runs in the program's main thread.
const std::thread::id gMainThreadId = std::this_thread::get_id();

// Like the synchronisation state below, these outlive every thread.
std::mutex& DispatcherLock() {
  static std::mutex* M = new std::mutex;
  return *M;
}

TThread::TMainThreadDispatcher& Dispatcher() {
  static auto* D = new TThread::TMainThreadDispatcher;
  return *D;
}

TThread::TMainThreadDispatcher CurrentDispatcher() {
  std::lock_guard<std::mutex> G(DispatcherLock());
  return Dispatcher();
}

// A method a worker waits to see run in the main thread. It is run once, by
// whoever takes it first: the dispatcher's callback, or the main thread
// while it waits for a worker (so that waiting for a thread that is itself
// waiting in Synchronize cannot lock both up).
struct TSyncRequest {
  std::function<void()> Method;
  std::exception_ptr Failure;
  bool Taken = false;
  bool Done = false;
};

// The synchronisation state shared by every thread. It is never destroyed: a
// thread still finishing while the program exits (one nobody joined) must not
// find its lock and condition variable torn down under it.
struct TSyncState {
  std::mutex Lock;
  std::condition_variable Cv;  // a request queued, run, or a thread finished
  std::deque<std::shared_ptr<TSyncRequest>> Queue;
};
TSyncState& Sync() {
  static TSyncState* State = new TSyncState;
  return *State;
}

// Takes the request when nobody has; answers whether it ran here.
bool RunRequest(const std::shared_ptr<TSyncRequest>& R) {
  {
    std::lock_guard<std::mutex> G(Sync().Lock);
    if (R->Taken) return false;
    R->Taken = true;
    for (auto It = Sync().Queue.begin(); It != Sync().Queue.end(); ++It)
      if (*It == R) {
        Sync().Queue.erase(It);
        break;
      }
  }
  try {
    R->Method();
  } catch (...) {
    R->Failure = std::current_exception();
  }
  {
    std::lock_guard<std::mutex> G(Sync().Lock);
    R->Done = true;
  }
  Sync().Cv.notify_all();
  return true;
}
}  // namespace

// ---------------------------------------------------------------- TThread

TThread::TThread(bool CreateSuspended) : FCreateSuspended(CreateSuspended) {}

TThread::~TThread() {
  if (FThread.joinable()) {
    if (FThread.get_id() == std::this_thread::get_id()) {
      // Deleted by its own thread (FreeOnTerminate, or Execute deleting it).
      FThread.detach();
    } else {
      Terminate();
      WaitUntilFinished();
      FThread.join();
    }
  }
}

void TThread::Start() {
  std::lock_guard<std::mutex> G(FLock);
  if (FStarted.load()) return;
  FStarted = true;
  try {
    FThread = std::thread([this] { Run(); });
  } catch (const std::system_error& E) {
    FStarted = false;
    throw EThread(Format("Thread creation error: %s", E.what()));
  }
}

void TThread::Resume() { Start(); }

void TThread::Terminate() { FTerminated = true; }

uint32_t TThread::WaitFor() {
  if (!FStarted.load()) throw EThread("Cannot call WaitFor on a thread that is not started");
  if (FThreadID.load() == CurrentThreadID() && !FFinished.load())
    throw EThread("A thread cannot wait for itself");
  WaitUntilFinished();
  return static_cast<uint32_t>(ReturnValue.load());
}

void TThread::WaitUntilFinished() {
  if (IsMainThread()) {
    // Serve the worker's Synchronize calls meanwhile.
    for (;;) {
      CheckSynchronize();
      std::unique_lock<std::mutex> L(Sync().Lock);
      if (FFinished.load()) break;
      if (!Sync().Queue.empty()) continue;
      Sync().Cv.wait(L);
    }
    return;
  }
  std::unique_lock<std::mutex> L(FLock);
  FFinishedCond.wait(L, [this] { return FFinished.load(); });
}

bool TThread::CheckSynchronize() {
  if (!IsMainThread()) return false;
  bool Any = false;
  for (;;) {
    std::shared_ptr<TSyncRequest> R;
    {
      std::lock_guard<std::mutex> G(Sync().Lock);
      if (Sync().Queue.empty()) break;
      R = Sync().Queue.front();
    }
    Any = RunRequest(R) || Any;
  }
  return Any;
}

std::string TThread::GetFatalException() const {
  std::lock_guard<std::mutex> G(FLock);
  return FFatalException;
}

void TThread::DoTerminate() {
  if (OnTerminate) OnTerminate(this);
}

void TThread::Run() {
  FThreadID = CurrentThreadID();
  // Runs one step of the thread; the first failure's text is kept.
  auto Guarded = [this](void (TThread::*Step)()) {
    std::string Text;
    try {
      (this->*Step)();
      return;
    } catch (const Exception& E) {
      Text = E.Message;
    } catch (const std::exception& E) {
      Text = E.what();
    } catch (...) {
      Text = "Unknown exception";
    }
    std::lock_guard<std::mutex> G(FLock);
    if (FFatalException.empty()) FFatalException = std::move(Text);
  };
  Guarded(&TThread::Execute);
  Guarded(&TThread::DoTerminate);
  const bool FreeIt = FFreeOnTerminate.load();
  {
    std::lock_guard<std::mutex> G(FLock);
    FFinished = true;
    FFinishedCond.notify_all();
  }
  {
    // A main thread waiting for us sleeps on the synchronisation signal.
    std::lock_guard<std::mutex> G(Sync().Lock);
  }
  Sync().Cv.notify_all();
  if (FreeIt) delete this;
}

void TThread::Synchronize(const std::function<void()>& Method) {
  if (!Method) return;
  TMainThreadDispatcher D = CurrentDispatcher();
  if (!D || IsMainThread()) {
    Method();
    return;
  }
  auto R = std::make_shared<TSyncRequest>();
  R->Method = Method;
  {
    std::lock_guard<std::mutex> G(Sync().Lock);
    Sync().Queue.push_back(R);
  }
  Sync().Cv.notify_all();
  D([R] { RunRequest(R); }, false);
  std::exception_ptr Failure;
  {
    std::unique_lock<std::mutex> L(Sync().Lock);
    Sync().Cv.wait(L, [&R] { return R->Done; });
    // Taken out of the request: the main thread may still hold the request
    // and must not be the one that frees the exception.
    Failure = std::move(R->Failure);
  }
  // An exception in the method comes back to the calling thread.
  if (Failure) std::rethrow_exception(Failure);
}

void TThread::Queue(const std::function<void()>& Method) {
  if (!Method) return;
  TMainThreadDispatcher D = CurrentDispatcher();
  if (!D || IsMainThread()) {
    Method();
    return;
  }
  D(Method, false);
}

void TThread::SetMainThreadDispatcher(TMainThreadDispatcher NewDispatcher) {
  std::lock_guard<std::mutex> G(DispatcherLock());
  Dispatcher() = std::move(NewDispatcher);
}

bool TThread::IsMainThread() { return std::this_thread::get_id() == gMainThreadId; }

uint64_t TThread::CurrentThreadID() { return static_cast<uint64_t>(::syscall(SYS_gettid)); }

// ---------------------------------------------------------------- TEvent

TEvent::TEvent(bool ManualReset, bool InitialState) : FManualReset(ManualReset), FSignaled(InitialState) {}

void TEvent::SetEvent() {
  std::lock_guard<std::mutex> G(FMutex);
  FSignaled = true;
  if (FManualReset) FCond.notify_all();
  else FCond.notify_one();
}

void TEvent::ResetEvent() {
  std::lock_guard<std::mutex> G(FMutex);
  FSignaled = false;
}

TWaitResult TEvent::WaitFor(uint32_t Timeout) {
  std::unique_lock<std::mutex> L(FMutex);
  if (Timeout == INFINITE) {
    FCond.wait(L, [this] { return FSignaled; });
  } else if (!FCond.wait_for(L, std::chrono::milliseconds(Timeout), [this] { return FSignaled; })) {
    return wrTimeout;
  }
  if (!FManualReset) FSignaled = false;
  return wrSignaled;
}

// ---------------------------------------------------------------- TThreadList

void TThreadList::Add(void* Item) {
  FLock.Enter();
  try {
    if (FDuplicates == dupAccept || FList.IndexOf(Item) < 0) {
      FList.Add(Item);
    } else if (FDuplicates == dupError) {
      throw EListError("List does not allow duplicates");
    }
  } catch (...) {
    FLock.Leave();
    throw;
  }
  FLock.Leave();
}

void TThreadList::Remove(void* Item) {
  FLock.Enter();
  FList.Remove(Item);
  FLock.Leave();
}

void TThreadList::Clear() {
  FLock.Enter();
  FList.Clear();
  FLock.Leave();
}

TList* TThreadList::LockList() {
  FLock.Enter();
  return &FList;
}

void TThreadList::UnlockList() { FLock.Leave(); }
