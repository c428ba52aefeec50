#pragma once
// Shared by the TFolioIO entry points: every operation ends with
// DoFinishWork, also when its body raises.
#include "io/folio_io.h"

// Runs Body; DoFinishWork follows it in every case (an exception passes on
// after it).
template <class F>
void WithFinish(TFolioIO* IO, F&& Body) {
  try {
    Body();
  } catch (...) {
    IO->DoFinishWork();
    throw;
  }
  IO->DoFinishWork();
}
