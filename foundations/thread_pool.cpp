#include "foundations/thread_pool.h"

#include <exception>

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
  if (!Thread) return;
  for (const auto& T : FList)
    if (T.get() == Thread) return;
  Thread->SetFreeOnTerminate(false);
  FList.emplace_back(Thread);
  Thread->Start();
}

void TIEThreadPool::WaitAndFreeAll() {
  std::exception_ptr First;
  // Take the threads out first, so the pool is empty whatever happens below.
  std::vector<std::unique_ptr<TThread>> Threads = std::move(FList);
  FList.clear();
  for (auto& T : Threads) {
    try {
      T->WaitFor();
    } catch (...) {
      if (!First) First = std::current_exception();
    }
    T.reset();
  }
  if (First) std::rethrow_exception(First);
}
