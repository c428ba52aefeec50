#pragma once
// A fork-join pool for worker threads: the forking thread creates its workers,
// hands each to Add (which starts it), then joins them all with WaitAndFreeAll.
// The pool is used by one thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/rtl/object.h"

class TThread;

class TIEThreadPool : public TObject {
 public:
  TIEThreadPool();
  // WaitAndFreeAll.
  ~TIEThreadPool() override;
  TIEThreadPool(const TIEThreadPool&) = delete;
  TIEThreadPool& operator=(const TIEThreadPool&) = delete;

  // Takes a thread that has not been started yet, owns it from now on and
  // starts it.  The pool frees its threads itself, so a FreeOnTerminate flag is
  // cleared first (a thread freeing itself would leave the pool a dangling
  // pointer).  Null and a thread the pool already holds are ignored.
  void Add(TThread* Thread);
  // In the order they were added: waits for each thread to finish and frees
  // it; then the pool is empty.  Joining the rest goes on when one wait raises;
  // the first such exception is raised again once all are freed.
  void WaitAndFreeAll();
  // The number of threads held.
  int32_t GetCount() const { return static_cast<int32_t>(FList.size()); }

 private:
  std::vector<std::unique_ptr<TThread>> FList;
};
