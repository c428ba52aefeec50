// Entry point of the benchmark program: every bench/*.cpp registers its
// benchmarks with BENCHMARK(...) and none defines main itself.  The process
// has one application object on the offscreen platform, as the views are
// widgets.
#include <benchmark/benchmark.h>

#include <QApplication>

#include <cstdlib>

#include "bench_support.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication App(argc, argv);
  // A benchmark measuring a whole process runs this program as its child.
  if (const int Child = benchsupport::RunBenchChild(argc, argv); Child >= 0) return Child;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
