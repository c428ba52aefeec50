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

#ifdef FOLIVRA_HAVE_LEPT
#include <leptonica/allheaders.h>
#endif

namespace {

#ifdef FOLIVRA_HAVE_LEPT
constexpr int32_t kW = 2480, kH = 3508;

PIX* NoisyPage() {
  PIX* Pix = pixCreate(kW, kH, 1);
  std::mt19937 Rng(9);
  for (int32_t Base = 200; Base < kH - 200; Base += 62) {
    int32_t x = 180;
    while (x < kW - 300) {
      const int32_t Letters = 2 + int32_t(Rng() % 8);
      for (int32_t l = 0; l < Letters; ++l) {
        pixRasterop(Pix, x, Base - 30, 4, 30, PIX_SET, nullptr, 0, 0);
        pixRasterop(Pix, x + 14, Base - 30, 4, 30, PIX_SET, nullptr, 0, 0);
        pixRasterop(Pix, x, Base - 30, 18, 4, PIX_SET, nullptr, 0, 0);
        x += 24;
      }
      x += 26;
    }
  }
  for (int32_t i = 0; i < 20000; ++i)
    pixSetPixel(Pix, int32_t(Rng() % uint32_t(kW - 4)) + 2, int32_t(Rng() % uint32_t(kH - 4)) + 2, 1);
  return Pix;
}

std::unique_ptr<TIEBitmap> ToBitmap(PIX* Pix) {
  auto B = std::make_unique<TIEBitmap>(int32_t(pixGetWidth(Pix)), int32_t(pixGetHeight(Pix)), ie1g);
  const l_int32 Wpl = pixGetWpl(Pix);
  const l_uint32* Data = pixGetData(Pix);
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    uint8_t* Row = B->GetScanline(y);
    const l_uint32* Src = Data + size_t(y) * Wpl;
    for (int32_t i = 0; i < (B->GetWidth() + 7) / 8; ++i) Row[i] = uint8_t(~(Src[i / 4] >> (24 - 8 * (i % 4))));
  }
  return B;
}

struct TNoisyPage {
  PIX* Pix = NoisyPage();
  std::unique_ptr<TIEBitmap> Page = ToBitmap(Pix);
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
