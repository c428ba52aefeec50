// Entry point of the benchmark program: every bench/*.cpp registers its
// benchmarks with BENCHMARK(...) and none defines main itself.
#include <benchmark/benchmark.h>

BENCHMARK_MAIN();
