#pragma once
// Helpers shared by the benchmarks: reading the process's resident memory,
// and whole processes (the program itself or a peer tool) run with their
// peak memory and time.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

extern char** environ;

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

// One finished process: its exit status, what it wrote on its standard
// output, its peak resident memory (getrusage of the child, kB) and its
// wall-clock seconds from start to exit.
struct TProcessRun {
  int Status = -1;
  std::string Output;
  int64_t PeakKB = 0;
  double Seconds = 0;
};

// Runs Args[0] (found on the PATH) with Args; its error stream goes to
// /dev/null.  The peak is measured through GNU time when it is installed:
// a process started straight from this one would inherit this process's
// peak (the kernel records the peak of the memory a new program replaces,
// and a spawned child shares this process's until it starts its program).
inline TProcessRun RunProcess(const std::vector<std::string>& Args) {
  TProcessRun R;
  const bool Timed = access("/usr/bin/time", X_OK) == 0;
  char PeakFile[] = "/tmp/folivra-bench-peak-XXXXXX";
  int PeakFd = Timed ? mkstemp(PeakFile) : -1;
  if (PeakFd >= 0) close(PeakFd);
  std::vector<std::string> Full;
  if (PeakFd >= 0) Full = {"/usr/bin/time", "-f", "%M", "-o", PeakFile};
  Full.insert(Full.end(), Args.begin(), Args.end());
  int Pipe[2];
  if (pipe(Pipe) != 0) return R;
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_adddup2(&Actions, Pipe[1], 1);
  posix_spawn_file_actions_addclose(&Actions, Pipe[0]);
  posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> Argv;
  for (const std::string& A : Full) Argv.push_back(const_cast<char*>(A.c_str()));
  Argv.push_back(nullptr);
  const auto T0 = std::chrono::steady_clock::now();
  pid_t Pid = -1;
  const int Spawned = posix_spawnp(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ);
  posix_spawn_file_actions_destroy(&Actions);
  close(Pipe[1]);
  if (Spawned != 0) {
    close(Pipe[0]);
    return R;
  }
  char Buffer[4096];
  for (ssize_t N; (N = read(Pipe[0], Buffer, sizeof Buffer)) > 0;) R.Output.append(Buffer, size_t(N));
  close(Pipe[0]);
  int Status = 0;
  struct rusage Usage {};
  wait4(Pid, &Status, 0, &Usage);
  R.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - T0).count();
  R.Status = WIFEXITED(Status) ? WEXITSTATUS(Status) : -1;
  R.PeakKB = Usage.ru_maxrss;
  if (PeakFd >= 0) {
    if (FILE* F = std::fopen(PeakFile, "r")) {
      long long KB = 0;
      if (std::fscanf(F, "%lld", &KB) == 1) R.PeakKB = KB;
      std::fclose(F);
    }
    std::remove(PeakFile);
  }
  return R;
}

// A benchmark that measures a whole process starts this program again with
// "--bench-child=NAME" first: the child registered under NAME runs instead
// of the benchmarks, with the arguments after it.
using TBenchChild = int (*)(const std::vector<std::string>& Args);

inline std::map<std::string, TBenchChild>& BenchChildren() {
  static std::map<std::string, TBenchChild> Children;
  return Children;
}

inline bool RegisterBenchChild(const std::string& Name, TBenchChild Child) {
  BenchChildren()[Name] = Child;
  return true;
}

// Runs the child the command line names; -1 when it names none.
inline int RunBenchChild(int Argc, char** Argv) {
  const std::string Flag = "--bench-child=";
  if (Argc < 2 || std::strncmp(Argv[1], Flag.c_str(), Flag.size()) != 0) return -1;
  const auto It = BenchChildren().find(Argv[1] + Flag.size());
  if (It == BenchChildren().end()) return 2;
  return It->second(std::vector<std::string>(Argv + 2, Argv + Argc));
}

}  // namespace benchsupport
