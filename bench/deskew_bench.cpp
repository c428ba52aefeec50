// Deskew of a 300-DPI A4 page (2480 x 3508, 1-bit, text-like lines turned by
// 3 degrees): the skew measured the way the application asks for it (reduced
// to 300 pixels wide, edge map, 15-degree band, 0.1-degree steps) and the page
// turned back, beside Leptonica's pixFindSkew + pixRotate on the same page in
// the same process (both turn the page keeping its size, by shears of bit
// runs).  Converting the page to Leptonica's layout is not timed.
// Counters: ms per deskew for both, speed_vs_leptonica (> 1: we are faster),
// and both angles.
//
// Both sides allocate page-sized buffers on every call; left to itself the C
// library hands the top of its heap back to the system and takes it again,
// and whichever side happens to allocate there pays the page faults (the
// same code swung by a factor of two between builds).  The benchmark keeps
// freed memory in the process for both sides, as a long-running program
// that deskews page after page would.
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <chrono>
#include <memory>
#include <random>

#include "foundations/image_buffer.h"
#include "kernels/rotate_kernels.h"
#include "kernels/skew.h"

#ifdef FOLIVRA_HAVE_LEPT
#include <leptonica/allheaders.h>
#endif

namespace {

constexpr int32_t kW = 2480, kH = 3508;

#ifdef FOLIVRA_HAVE_LEPT
// Lines of word-like blobs (letters as strokes and bars) on white, turned by
// Degrees; in Leptonica's layout (1 = black).
PIX* TextPage(double Degrees) {
  PIX* Pix = pixCreate(kW, kH, 1);
  std::mt19937 Rng(5);
  for (int32_t Base = 200; Base < kH - 200; Base += 62) {
    int32_t x = 180;
    while (x < kW - 300) {
      const int32_t Letters = 2 + int32_t(Rng() % 8);
      for (int32_t l = 0; l < Letters; ++l) {
        const int32_t Tall = (Rng() % 4 == 0) ? 42 : 30;
        pixRasterop(Pix, x, Base - Tall, 4, Tall, PIX_SET, nullptr, 0, 0);
        pixRasterop(Pix, x + 14, Base - 30, 4, 30, PIX_SET, nullptr, 0, 0);
        pixRasterop(Pix, x, Base - 30, 18, 4, PIX_SET, nullptr, 0, 0);
        if (Rng() % 2) pixRasterop(Pix, x, Base - 4, 18, 4, PIX_SET, nullptr, 0, 0);
        x += 24;
      }
      x += 26;
    }
  }
  PIX* Turned = pixRotate(Pix, float(Degrees * 3.14159265358979 / 180), L_ROTATE_SAMPLING, L_BRING_IN_WHITE, 0, 0);
  pixDestroy(&Pix);
  return Turned;
}

// Leptonica's page in our layout (1 = white).
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

struct TDeskewPage {
  bool Steady = mallopt(M_MMAP_THRESHOLD, 64 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 256 << 20) == 1;
  PIX* Pix = TextPage(3);
  std::unique_ptr<TIEBitmap> Page = ToBitmap(Pix);
};

TDeskewPage& Pages() {
  static TDeskewPage P;
  return P;
}

void BM_Deskew(benchmark::State& State) {
  TDeskewPage& P = Pages();
  double Ours = 0, Peer = 0, OurAngle = 0;
  l_float32 PeerAngle = 0;
  for (auto _ : State) {
    auto T0 = std::chrono::steady_clock::now();
    TIEBitmap Work;
    Work.Assign(P.Page.get());
    OurAngle = IEDetectSkewAngle(&Work, 300, 15, 0.1, true);
    IERotate1BitShear(&Work, OurAngle);
    benchmark::DoNotOptimize(Work.GetScanline(0));
    auto T1 = std::chrono::steady_clock::now();
    l_float32 Conf = 0;
    pixFindSkew(P.Pix, &PeerAngle, &Conf);
    PIX* Straight = pixRotate(P.Pix, float(PeerAngle * 3.14159265358979 / 180), L_ROTATE_SAMPLING,
                              L_BRING_IN_WHITE, 0, 0);
    benchmark::DoNotOptimize(pixGetData(Straight));
    pixDestroy(&Straight);
    auto T2 = std::chrono::steady_clock::now();
    Ours += std::chrono::duration<double, std::milli>(T1 - T0).count();
    Peer += std::chrono::duration<double, std::milli>(T2 - T1).count();
  }
  const double N = double(State.iterations());
  State.counters["ms"] = Ours / N;
  State.counters["leptonica_ms"] = Peer / N;
  State.counters["speed_vs_leptonica"] = Peer / Ours;
  State.counters["angle"] = OurAngle;
  State.counters["leptonica_angle"] = PeerAngle;
}

BENCHMARK(BM_Deskew)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

}  // namespace
