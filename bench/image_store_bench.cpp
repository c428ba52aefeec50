// The image store with many A4 pages in 24-bit colour at 200 DPI (1654 x 2339,
// about 11.6 MB each): storing them, then fetching each in turn.  Beside the
// throughput the peak resident memory of the run is reported as a counter:
// it follows the cache size (mapped pages), not the page count, because
// every page beyond the cache lives in the temporary file.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_support.h"
#include "foundations/image_buffer.h"
#include "foundations/image_store.h"

namespace {

constexpr int32_t kWidth = 1654;
constexpr int32_t kHeight = 2339;

std::unique_ptr<TIEBitmap> Page() {
  auto B = std::make_unique<TIEBitmap>();
  B->SetMemoryThreshold(INT64_MAX);  // in memory, as a decoded page would be
  B->Allocate(kWidth, kHeight, ie24RGB);
  for (int32_t Y = 0; Y < kHeight; ++Y) {
    uint8_t* Row = B->GetScanline(Y);
    for (int32_t X = 0; X < kWidth * 3; ++X) Row[X] = uint8_t(X ^ (Y * 3));
  }
  return B;
}

// Args: page count, cache size (maximum mapped).
void BM_StoreAndFetchPages(benchmark::State& State) {
  const int32_t Pages = int32_t(State.range(0));
  const int32_t Cache = int32_t(State.range(1));
  auto Source = Page();
  TIEBitmap Fetched;
  Fetched.SetMemoryThreshold(INT64_MAX);
  int64_t PeakKB = 0, BaseKB = 0;
  bool FileBacked = true;
  for (auto _ : State) {
    State.PauseTiming();
    benchsupport::ResetPeak();
    BaseKB = benchsupport::StatusKB("VmRSS");
    State.ResumeTiming();
    {
      TIEVirtualImageList Store("ILIST", true);
      Store.SetMaximumMapped(Cache);
      std::vector<TIEVirtualImageInfo*> Infos;
      for (int32_t I = 0; I < Pages; ++I) {
        Source->GetScanline(0)[0] = uint8_t(I);  // every page a little different
        Infos.push_back(Store.AddBitmap(Source.get()));
      }
      for (int32_t I = 0; I < Pages; ++I) {
        Store.CopyToBitmap(Infos[size_t(I)], &Fetched);
        benchmark::DoNotOptimize(Fetched.GetScanline(0)[0]);
      }
      FileBacked = FileBacked && Store.IsFileBacked();
    }
    PeakKB = benchsupport::StatusKB("VmHWM");
  }
  const int64_t PageBytes = int64_t(((kWidth * 24 + 31) / 32) * 4) * kHeight;
  State.SetBytesProcessed(State.iterations() * 2 * Pages * PageBytes);
  State.counters["pages"] = Pages;
  State.counters["cache"] = Cache;
  State.counters["page_MB"] = double(PageBytes) / 1048576.0;
  State.counters["peak_rss_MB"] = double(PeakKB) / 1024.0;
  State.counters["peak_over_start_MB"] = double(PeakKB - BaseKB) / 1024.0;
  State.counters["file_backed"] = FileBacked ? 1 : 0;
}
BENCHMARK(BM_StoreAndFetchPages)
    ->Args({20, 4})
    ->Args({80, 4})
    ->Args({80, 10})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

}  // namespace
