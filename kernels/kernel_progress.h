#pragma once
// The progress rule shared by the page-operation kernels: a kernel working on
// rows R1 <= r < R2 reports Trunc((r - R1 + 1) x (100 / (R2 - R1 - 1 + 0.5)))
// after each row, only when a handler is assigned.
#include <cstdint>

#include "foundations/progress.h"

class TObject;

class TIERowProgress {
 public:
  TIERowProgress(const TIEProgressEvent& OnProgress, TObject* Sender, int32_t R1, int32_t R2)
      : FOnProgress(OnProgress), FSender(Sender), FR1(R1), FStep(100.0 / (double(R2) - R1 - 1 + 0.5)) {}
  // Reports the row just finished.
  void Row(int32_t R) const {
    if (FOnProgress) FOnProgress(FSender, int32_t(double(R - FR1 + 1) * FStep));
  }

 private:
  const TIEProgressEvent& FOnProgress;
  TObject* FSender;
  int32_t FR1;
  double FStep;
};
