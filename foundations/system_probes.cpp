#include "foundations/system_probes.h"

#include <sched.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <utility>

#include "platform/rtl/sysutils.h"

int64_t IEGetPhysicalMemory(bool Available) { return GetPhysicalMemorySize(Available); }

namespace {

// -1 until the first call; filled without a lock (two first calls compute the
// same value).
std::atomic<int32_t> GCoreCountCache{-1};

bool ReadIntFile(const std::string& Name, long& Value) {
  std::ifstream F(Name);
  if (!F) return false;
  F >> Value;
  return bool(F);
}

// Distinct (package, core) pairs among the processors this process may run on.
int32_t CountPhysicalCores() {
  cpu_set_t Set;
  CPU_ZERO(&Set);
  if (sched_getaffinity(0, sizeof(Set), &Set) != 0) return 0;
  std::set<std::pair<long, long>> Cores;
  for (int Cpu = 0; Cpu < CPU_SETSIZE; ++Cpu) {
    if (!CPU_ISSET(Cpu, &Set)) continue;
    std::string Base = "/sys/devices/system/cpu/cpu" + std::to_string(Cpu) + "/topology/";
    long Package = 0, Core = 0;
    if (!ReadIntFile(Base + "physical_package_id", Package) || !ReadIntFile(Base + "core_id", Core))
      return 0;
    Cores.insert({Package, Core});
  }
  return int32_t(Cores.size());
}

// Every block of IEAllocLarge is preceded by a tag: 0 = heap, 1 = zero-filled.
// The header is 16 bytes so that the block stays aligned like malloc's.
constexpr size_t LargeHeader = 16;
constexpr int64_t LargeHeapLimit = 1048576;

// A request larger than the whole physical memory cannot be met in any useful
// way (with overcommit it would only fail later, when the pages are touched),
// so it is refused at once.
bool ExceedsMemory(int64_t Size) {
  if (Size <= 0 || uint64_t(Size) > uint64_t(PTRDIFF_MAX) - LargeHeader) return true;
  int64_t Total = IEGetPhysicalMemory(false);
  return Total > 0 && Size > Total;
}

}  // namespace

int64_t IELargeBlockLimit = 0;

int32_t IEGetProcessorCoreCount() {
  int32_t Cached = GCoreCountCache.load(std::memory_order_relaxed);
  if (Cached > 0) return Cached;
  int32_t Count = 1;
  int32_t Found = CountPhysicalCores();
  if (Found > 0) Count = Found;
  GCoreCountCache.store(Count, std::memory_order_relaxed);
  return Count;
}

void* IEAllocLarge(int64_t Size) {
  if (ExceedsMemory(Size)) return nullptr;
  if (IELargeBlockLimit > 0 && Size > IELargeBlockLimit) return nullptr;
  size_t Total = size_t(Size) + LargeHeader;
  uint8_t* Block = nullptr;
  uint8_t Tag = 0;
  if (Size < LargeHeapLimit) Block = static_cast<uint8_t*>(std::malloc(Total));
  if (Block == nullptr) {
    Block = static_cast<uint8_t*>(std::calloc(1, Total));
    Tag = 1;
  }
  if (Block == nullptr) return nullptr;
  Block[0] = Tag;
  return Block + LargeHeader;
}

void IEFreeLarge(void*& P) {
  if (P == nullptr) return;
  std::free(static_cast<uint8_t*>(P) - LargeHeader);
  P = nullptr;
}

bool IEIsZeroFilledLarge(const void* P) {
  return P != nullptr && static_cast<const uint8_t*>(P)[-int(LargeHeader)] == 1;
}

void* IEGlobalAllocZero(int64_t Size) {
  if (ExceedsMemory(Size)) return nullptr;
  return std::calloc(1, size_t(Size));
}

void IEGlobalFreeAndNil(void*& P) {
  std::free(P);
  P = nullptr;
}

void IETryGetMem(void*& P, int64_t Size) {
  P = nullptr;
  if (ExceedsMemory(Size)) return;
  P = std::malloc(size_t(Size));
}
