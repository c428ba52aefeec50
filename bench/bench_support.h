#pragma once
// Helpers shared by the benchmarks: reading the process's resident memory.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace benchsupport {

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"); 0 when unreadable.
inline int64_t StatusKB(const char* Field) {
  FILE* F = std::fopen("/proc/self/status", "r");
  if (F == nullptr) return 0;
  char Line[256];
  int64_t Value = 0;
  const size_t N = std::strlen(Field);
  while (std::fgets(Line, sizeof Line, F) != nullptr) {
    if (std::strncmp(Line, Field, N) == 0 && Line[N] == ':') {
      Value = std::strtoll(Line + N + 1, nullptr, 10);
      break;
    }
  }
  std::fclose(F);
  return Value;
}

// Starts a new peak of resident memory from the current one.
inline void ResetPeak() {
  FILE* F = std::fopen("/proc/self/clear_refs", "w");
  if (F == nullptr) return;
  std::fputs("5", F);
  std::fclose(F);
}

}  // namespace benchsupport
