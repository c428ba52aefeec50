// TFolioIO: worker threads of the asynchronous mode.
//
// A component that works on a view's image (or another image it does not
// own) with AsyncMode on runs each load and save in a worker of its own: the
// public entry point, called from the GUI thread, starts a TIEIOThread that
// calls the same entry point again and returns at once.  Inside the worker the
// call runs synchronously.  Progress, finish and refresh reach a view that has
// a parent window as posted messages, so the view's handlers run in the GUI
// thread; without such a view the events are called in the worker.
#include <algorithm>
#include <thread>

#include "io/folio_io.h"
#include "platform/rtl/threads.h"
#include "platform/vcl/messages.h"
#include "views/view_base.h"

namespace {
// The worker running on this thread, null elsewhere.
thread_local TThread* CurrentWorker = nullptr;
}  // namespace

// One asynchronous call. The component owns the thread object and joins it:
// a worker never frees itself, so once WaitThreads or the component's
// destructor returned, nothing of the worker runs any more.
class TIEIOThread : public TThread {
 public:
  TIEIOThread(TFolioIO* Owner, std::function<void()> Call)
      : TThread(true), FOwner(Owner), FCall(std::move(Call)) {}
  // The thread still runs DoTerminate after its call: wait for it before this
  // part of the object goes.
  ~TIEIOThread() override {
    if (!GetSuspended()) WaitFor();
  }

 protected:
  void Execute() override {
    CurrentWorker = this;
    try {
      FCall();
    } catch (...) {
      FOwner->SetAborting(true);
    }
    CurrentWorker = nullptr;
    FOwner->WorkerDone(this);
  }

 private:
  TFolioIO* FOwner;
  std::function<void()> FCall;
};

bool TFolioIO::NeedAsync() const {
  return FAsyncMode && !FOwnBitmap && FForceSync == 0 && !InWorkerThread();
}

void TFolioIO::StartWorker(std::function<void()> Call) {
  // Workers that finished earlier are joined here, so a long series of
  // asynchronous calls does not pile up ended threads.
  JoinWorkers(false);
  auto Owned = std::make_unique<TIEIOThread>(this, std::move(Call));
  TThread* T = Owned.get();
  FWorkerLock.Enter();
  FThreads.push_back(std::move(Owned));
  FWorkers.push_back(T);
  FIdleEvent.ResetEvent();
  FWorkerLock.Leave();
  T->Start();
}

void TFolioIO::WorkerDone(TThread* Worker) {
  FWorkerLock.Enter();
  FWorkers.erase(std::remove(FWorkers.begin(), FWorkers.end(), Worker), FWorkers.end());
  if (FWorkers.empty()) FIdleEvent.SetEvent();
  FWorkerLock.Leave();
}

void TFolioIO::JoinWorkers(bool All) {
  std::vector<std::unique_ptr<TThread>> Ended;
  FWorkerLock.Enter();
  for (auto It = FThreads.begin(); It != FThreads.end();) {
    const bool Running = std::find(FWorkers.begin(), FWorkers.end(), It->get()) != FWorkers.end();
    if (All || !Running) {
      Ended.push_back(std::move(*It));
      It = FThreads.erase(It);
    } else {
      ++It;
    }
  }
  FWorkerLock.Leave();
  // Destroying a started thread joins it; outside the lock, since the worker
  // takes it in WorkerDone.
  Ended.clear();
}

size_t TFolioIO::WorkerThreadCount() const {
  FWorkerLock.Enter();
  const size_t Count = FThreads.size();
  FWorkerLock.Leave();
  return Count;
}

bool TFolioIO::InWorkerThread() const {
  if (!CurrentWorker) return false;
  FWorkerLock.Enter();
  const bool Mine = std::find(FWorkers.begin(), FWorkers.end(), CurrentWorker) != FWorkers.end();
  FWorkerLock.Leave();
  return Mine;
}

void TFolioIO::WaitThreads(bool Abort) {
  const bool InOwnWorker = InWorkerThread();
  for (;;) {
    FWorkerLock.Enter();
    if (Abort) FAborting = true;
    size_t Count = FWorkers.size();
    // A worker waiting here cannot wait for its own call to end.
    if (InOwnWorker && Count > 0) --Count;
    FWorkerLock.Leave();
    if (Count == 0) break;
    // A worker may wait in Synchronize for the GUI thread: serve it while
    // waiting here.
    if (TThread::IsMainThread()) {
      TThread::CheckSynchronize();
      FIdleEvent.WaitFor(20);
    } else {
      FIdleEvent.WaitFor(InOwnWorker ? 20 : INFINITE);
    }
  }
  if (!InOwnWorker) JoinWorkers(true);
}

bool TFolioIO::PostToView(uint32_t Msg, int32_t WParam) {
  if (!FAttachedFolio || !FAttachedFolio->HasParent() || !CurrentWorker || !InWorkerThread()) return false;
  TIEView* View = FAttachedFolio;
  if (!View->HandleAllocated()) CurrentWorker->Synchronize([View] { View->HandleNeeded(); });
  PostMessage(View->GetHandle(), Msg, static_cast<WPARAM>(WParam), 0);
  return true;
}

void TFolioIO::QueueToGui(const std::function<void()>& Method) {
  if (CurrentWorker && InWorkerThread())
    CurrentWorker->Queue(Method);
  else
    Method();
}
