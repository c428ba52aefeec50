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

#include "leptonica_pages.h"

namespace {

#ifdef FOLIVRA_HAVE_LEPT
// The text page turned by Degrees, in Leptonica's layout.
PIX* TextPage(double Degrees) {
  std::mt19937 Rng(5);
  PIX* Pix = benchsupport::LeptTextPage(Rng, true);
  PIX* Turned = pixRotate(Pix, float(Degrees * 3.14159265358979 / 180), L_ROTATE_SAMPLING, L_BRING_IN_WHITE, 0, 0);
  pixDestroy(&Pix);
  return Turned;
}

struct TDeskewPage {
  bool Steady = mallopt(M_MMAP_THRESHOLD, 64 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 256 << 20) == 1;
  PIX* Pix = TextPage(3);
  std::unique_ptr<TIEBitmap> Page = benchsupport::LeptToBitmap(Pix);
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
