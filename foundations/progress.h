#pragma once
// Progress and abort record handed to every codec and long operation.
//
// The operation builds one on its stack and passes it by reference.  A codec
// reports through OnProgress (Sender, percent) only when it is assigned, tests
// *Aborting between rows or blocks, and sets *Aborting to true when it fails.
// Operations that must stay silent pass a record without OnProgress whose
// Aborting pointer is still set.
#include <atomic>
#include <cstdint>
#include <functional>

class TObject;

// Progress event of the components: (Sender, percent).
using TIEProgressEvent = std::function<void(TObject* Sender, int32_t per)>;

struct TIEProgressRec {
  // The progress method; empty = report nothing.
  TIEProgressEvent fOnProgress;
  // The component that runs the operation, passed back to fOnProgress.
  TObject* Sender = nullptr;
  // Working fields a codec may use freely.
  double per1 = 0;   // 100 divided by the number of steps
  int32_t val = 0;   // steps done
  int32_t tot = 0;   // steps in all
  int32_t last = -1; // last percentage reported
  // The caller's abort flag (may be null only where nothing can fail). Atomic:
  // the GUI thread raises it while a worker's codec polls it.
  std::atomic<bool>* Aborting = nullptr;

  bool IsAborting() const { return Aborting && *Aborting; }
  void SetAborting() const {
    if (Aborting) *Aborting = true;
  }
  // Calls fOnProgress with Percent when it is assigned.
  void Report(int32_t Percent) const {
    if (fOnProgress) fOnProgress(Sender, Percent);
  }
};
