#include "foundations/library_startup.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "foundations/settings.h"

namespace {

struct TStepProcs {
  std::vector<TIEStartupProc> Init;   // run first to last
  std::vector<TIEStartupProc> Final;  // run last to first
};

// The units of this layer fill their own slots; higher layers add theirs.
std::array<TStepProcs, iessStepCount>& Steps() {
  static std::array<TStepProcs, iessStepCount> S = [] {
    std::array<TStepProcs, iessStepCount> A;
    A[iessGDIPlus].Init.push_back(IEGDIPSettingsInitialize);
    A[iessDefaults].Init.push_back(IEDefsSettingsInitialize);
    A[iessUtilities].Init.push_back(IEUtilsSettingsInitialize);
    A[iessSingleImageIO].Init.push_back(IEIOSettingsInitialize);
    A[iessSingleImageView].Init.push_back(IEViewSettingsInitialize);
    return A;
  }();
  return S;
}

std::mutex& StepTableLock() {
  static std::mutex M;
  return M;
}

// The tag tells whether the guard below has been set up; the lock lives
// from the first start-up to the last finalization.
std::string GTag;
std::atomic<int32_t> GCount{0};
std::unique_ptr<std::recursive_mutex> GLock;
std::mutex GGuardLock;  // protects GTag and the creation of GLock

const char* const KTag = "STATICINIT";

}  // namespace

void IESetStartupStep(TIEStartupStep Step, TIEStartupProc Init, TIEStartupProc Final) {
  if (Step >= iessStepCount) return;
  std::lock_guard<std::mutex> L(StepTableLock());
  TStepProcs& P = Steps()[Step];
  P.Init.clear();
  P.Final.clear();
  if (Init) P.Init.push_back(std::move(Init));
  if (Final) P.Final.push_back(std::move(Final));
}

void IEAddStartupStep(TIEStartupStep Step, TIEStartupProc Init, TIEStartupProc Final) {
  if (Step >= iessStepCount) return;
  std::lock_guard<std::mutex> L(StepTableLock());
  TStepProcs& P = Steps()[Step];
  if (Init) P.Init.push_back(std::move(Init));
  if (Final) P.Final.push_back(std::move(Final));
}

void IEStaticInitialize() {
  std::recursive_mutex* Lock;
  {
    std::lock_guard<std::mutex> G(GGuardLock);
    if (GTag != KTag) {
      GTag = KTag;
      GCount = 0;
      GLock = std::make_unique<std::recursive_mutex>();
    }
    Lock = GLock.get();
  }
  std::lock_guard<std::recursive_mutex> L(*Lock);
  if (GCount == 0) {
    std::array<TStepProcs, iessStepCount> Copy;
    {
      std::lock_guard<std::mutex> T(StepTableLock());
      Copy = Steps();
    }
    for (const TStepProcs& P : Copy)
      for (const TIEStartupProc& F : P.Init) F();
  }
  ++GCount;
}

void IEStaticFinalize() {
  std::recursive_mutex* Lock;
  {
    std::lock_guard<std::mutex> G(GGuardLock);
    if (GTag != KTag) return;
    Lock = GLock.get();
  }
  bool TornDown = false;
  {
    std::lock_guard<std::recursive_mutex> L(*Lock);
    if (GCount <= 0) return;
    --GCount;
    if (GCount == 0) {
      std::array<TStepProcs, iessStepCount> Copy;
      {
        std::lock_guard<std::mutex> T(StepTableLock());
        Copy = Steps();
      }
      for (auto S = Copy.rbegin(); S != Copy.rend(); ++S)
        for (auto F = S->Final.rbegin(); F != S->Final.rend(); ++F) (*F)();
      TornDown = true;
    }
  }
  if (TornDown) {
    std::lock_guard<std::mutex> G(GGuardLock);
    GTag.clear();
    GLock.reset();
  }
}

int32_t IEStaticInitCount() {
  std::lock_guard<std::mutex> G(GGuardLock);
  return GTag == KTag ? GCount.load() : 0;
}

std::string IEStaticInitTag() {
  std::lock_guard<std::mutex> G(GGuardLock);
  return GTag;
}
