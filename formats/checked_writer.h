#pragma once
// A writer over a stream that turns a short write into the abort flag of the
// progress record and ignores everything after it, so a writer can write its
// pieces in sequence and check the outcome once.
#include <cstdint>

#include "foundations/progress.h"
#include "platform/rtl/streams.h"

class TIECheckedWriter {
 public:
  TIECheckedWriter(TStream* Stream, TIEProgressRec& Progress) : FStream(Stream), FProgress(Progress) {}
  bool Write(const void* Data, int64_t Count) {
    if (FFailed) return false;
    if (Count > 0 && FStream->Write(Data, Count) != Count) {
      FFailed = true;
      FProgress.SetAborting();
    }
    return !FFailed;
  }
  bool Byte(uint8_t B) { return Write(&B, 1); }
  bool Failed() const { return FFailed; }

 private:
  TStream* FStream;
  TIEProgressRec& FProgress;
  bool FFailed = false;
};
