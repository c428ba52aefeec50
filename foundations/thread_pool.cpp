#include "foundations/thread_pool.h"

#include <exception>
#include <vector>

#include "platform/rtl/threads.h"

TIEThreadPool::TIEThreadPool() = default;

TIEThreadPool::~TIEThreadPool() {
  try {
    WaitAndFreeAll();
  } catch (...) {
    // Every thread is joined and freed by now; a destructor has nobody to
    // report a failed wait to.
  }
}

void TIEThreadPool::Add(TThread* Thread) {
  if (!Thread || FList.IndexOf(Thread) >= 0) return;
  Thread->SetFreeOnTerminate(false);
  FList.Add(Thread);
  Thread->Start();
}

void TIEThreadPool::WaitAndFreeAll() {
  std::exception_ptr First;
  // Take the threads out first, so the pool is empty whatever happens below.
  const int32_t N = FList.GetCount();
  std::vector<TThread*> Threads;
  Threads.reserve(static_cast<size_t>(N));
  for (int32_t i = 0; i < N; ++i) Threads.push_back(static_cast<TThread*>(FList.Get(i)));
  FList.Clear();
  for (TThread* T : Threads) {
    try {
      T->WaitFor();
    } catch (...) {
      if (!First) First = std::current_exception();
    }
    delete T;
  }
  if (First) std::rethrow_exception(First);
}
