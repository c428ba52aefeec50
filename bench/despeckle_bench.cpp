// Despeckling a 300-DPI A4 page (2480 x 3508, 1-bit text-like lines with
// 20000 one-pixel specks): our isolated-pixel removal and our k-fill noise
// filter (two passes, as the application's menu command runs it) beside
// Leptonica's removal of components smaller than 2 x 2 (pixSelectBySize) on
// the same page in the same process.  Copying the page before each run is
// timed on both sides; converting it to Leptonica's layout is not.  Counters:
// ms for both, speed_vs_leptonica (> 1: we are faster).
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <random>

#include "foundations/image_buffer.h"
#include "kernels/despeckle.h"

#include "leptonica_pages.h"

namespace {

#ifdef FOLIVRA_HAVE_LEPT
// The text page with 20000 one-pixel specks, in Leptonica's layout.
PIX* NoisyPage() {
  using benchsupport::kPageH, benchsupport::kPageW;
  std::mt19937 Rng(9);
  PIX* Pix = benchsupport::LeptTextPage(Rng, false);
  for (int32_t i = 0; i < 20000; ++i)
    pixSetPixel(Pix, int32_t(Rng() % uint32_t(kPageW - 4)) + 2, int32_t(Rng() % uint32_t(kPageH - 4)) + 2, 1);
  return Pix;
}

struct TNoisyPage {
  PIX* Pix = NoisyPage();
  std::unique_ptr<TIEBitmap> Page = benchsupport::LeptToBitmap(Pix);
};

TNoisyPage& Page() {
  static TNoisyPage P;
  return P;
}

template <class TOurs>
void Despeckle(benchmark::State& State, TOurs Ours) {
  TNoisyPage& P = Page();
  double OurMs = 0, PeerMs = 0;
  for (auto _ : State) {
    auto T0 = std::chrono::steady_clock::now();
    TIEBitmap Work;
    Work.Assign(P.Page.get());
    Ours(&Work);
    benchmark::DoNotOptimize(Work.GetScanline(0));
    auto T1 = std::chrono::steady_clock::now();
    PIX* Clean = pixSelectBySize(P.Pix, 2, 2, 8, L_SELECT_IF_EITHER, L_SELECT_IF_GTE, nullptr);
    benchmark::DoNotOptimize(pixGetData(Clean));
    pixDestroy(&Clean);
    auto T2 = std::chrono::steady_clock::now();
    OurMs += std::chrono::duration<double, std::milli>(T1 - T0).count();
    PeerMs += std::chrono::duration<double, std::milli>(T2 - T1).count();
  }
  const double N = double(State.iterations());
  State.counters["ms"] = OurMs / N;
  State.counters["leptonica_ms"] = PeerMs / N;
  State.counters["speed_vs_leptonica"] = PeerMs / OurMs;
}

void BM_DespeckleIsolatedPixels(benchmark::State& S) {
  Despeckle(S, [](TIEBitmap* B) { IERemoveIsolatedPixels(B, 0, 0, B->GetWidth(), B->GetHeight(), 0, 1); });
}
void BM_DespeckleKFill(benchmark::State& S) {
  Despeckle(S, [](TIEBitmap* B) { IEKFill(B, true, true, 2, 3, false); });
}

BENCHMARK(BM_DespeckleIsolatedPixels)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DespeckleKFill)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
