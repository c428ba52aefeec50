#pragma once
// Shared pieces of the libFuzzer targets: the input as a stream, a progress
// record with its own abort flag, and the Qt application some readers need.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "foundations/progress.h"
#include "platform/rtl/streams.h"

namespace fuzzsupport {

// The input in a memory stream positioned at its start.
inline std::unique_ptr<TMemoryStream> StreamOf(const uint8_t* Data, size_t Size) {
  auto s = std::make_unique<TMemoryStream>();
  if (Size) s->WriteBuffer(Data, int64_t(Size));
  s->SetPosition(0);
  return s;
}

struct TProgress {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Rec;
  TProgress() { Rec.Aborting = &Aborting; }
};

// Runs every target on Qt's offscreen platform.
inline void UseOffscreenPlatform() {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
}

}  // namespace fuzzsupport
