// Resampling an A4 page at 300 DPI (2480 x 3508, 24-bit) up 2 x and down to
// 25 % with bilinear, bicubic, Mitchell and Lanczos3, beside Pillow's resize
// and libvips' vips_resize on the same pixels in the same run; and a fine fax
// page (1728 x 2289, 1-bit) reduced to a 110 x 150 gray thumbnail beside
// Pillow.
//
// Every iteration runs each side once, in an order that rotates, so the load
// of the machine falls on all alike.  libvips is linked into this process
// (its operation cache off, so every call computes); Pillow runs in one Python
// process started before anything is timed, which times each resize itself.
// Rows come with one thread on every side, and with the machine's cores on
// ours and libvips' (Pillow has one thread).  Before anything is timed, both
// peers' input pixels are checked equal to ours.  Pillow has no Mitchell
// filter: its bicubic (the same four-tap support) stands beside ours.
// Counters: ms per resize on each side, speed_vs_<peer> and speed_vs_faster
// (> 1: we are faster than the faster peer of the row).
#include <benchmark/benchmark.h>

#include <malloc.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "foundations/image_buffer.h"
#include "kernels/resample_engine.h"
#include "pillow_peer.h"

#ifdef FOLIVRA_HAVE_VIPS
#include <vips/vips.h>
#endif

namespace {

constexpr int32_t kPageW = 2480, kPageH = 3508;
constexpr int32_t kFaxW = 1728, kFaxH = 2289;

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point T0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - T0).count();
}

// A scanned-photo look: smooth shading, edges and fine grain.
std::unique_ptr<TIEBitmap> ColourPage() {
  auto B = std::make_unique<TIEBitmap>();
  B->SetMemoryThreshold(INT64_MAX);
  B->Allocate(kPageW, kPageH, ie24RGB);
  uint32_t Seed = 12345;
  for (int32_t y = 0; y < kPageH; ++y) {
    uint8_t* R = B->GetScanline(y);
    for (int32_t x = 0; x < kPageW; ++x) {
      Seed = Seed * 1664525u + 1013904223u;
      const int32_t Grain = int32_t(Seed >> 29) - 4;
      const bool Box = ((x / 300) + (y / 400)) % 3 == 0;
      R[x * 3] = uint8_t(std::clamp((Box ? 40 : 128) + (x * 7 + y) % 90 + Grain, 0, 255));
      R[x * 3 + 1] = uint8_t(std::clamp((x ^ y) % 200 + Grain, 0, 255));
      R[x * 3 + 2] = uint8_t(std::clamp(Box ? 230 : (y * 5 - x) % 256 + Grain, 0, 255));
    }
  }
  return B;
}

// Text-like strokes: short black runs on white, a few per row.
std::unique_ptr<TIEBitmap> FaxPage() {
  auto B = std::make_unique<TIEBitmap>(kFaxW, kFaxH, ie1g);
  B->Fill(1);
  for (int32_t y = 0; y < kFaxH; ++y) {
    if ((y / 24) % 2) continue;
    uint8_t* R = B->GetScanline(y);
    for (int32_t x = 0; x < kFaxW; ++x)
      if (((x * 13 + y * 7) % 29) < 4) R[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  }
  return B;
}

#ifdef FOLIVRA_HAVE_VIPS
// libvips with the page in its layout (red, green, blue).
struct TVipsPeer {
  bool Ready = false;
  std::vector<uint8_t> Rgb;
  VipsImage* Page = nullptr;

  explicit TVipsPeer(TIEBitmap* B) {
    if (VIPS_INIT("folio_bench") != 0) return;
    vips_cache_set_max(0);
    const size_t W = size_t(B->GetWidth()), H = size_t(B->GetHeight());
    Rgb.resize(W * H * 3);
    for (size_t y = 0; y < H; ++y) {
      const uint8_t* S = B->GetScanline(int32_t(y));
      uint8_t* D = Rgb.data() + y * W * 3;
      for (size_t x = 0; x < W; ++x) {
        D[3 * x] = S[3 * x + 2];
        D[3 * x + 1] = S[3 * x + 1];
        D[3 * x + 2] = S[3 * x];
      }
    }
    Page = vips_image_new_from_memory(Rgb.data(), Rgb.size(), int(W), int(H), 3, VIPS_FORMAT_UCHAR);
    if (!Page) return;
    // The pixels libvips reads are ours.
    size_t Size = 0;
    void* Back = vips_image_write_to_memory(Page, &Size);
    Ready = Back && Size == Rgb.size() && std::memcmp(Back, Rgb.data(), Size) == 0;
    g_free(Back);
  }
  ~TVipsPeer() {
    if (Page) g_object_unref(Page);
  }

  // Resizes by Scale with Kernel on Threads threads into memory; the time in
  // ms, -1 on failure.
  double Resize(double Scale, VipsKernel Kernel, int32_t Threads, int32_t& OutW, int32_t& OutH) {
    vips_concurrency_set(Threads);
    const auto T0 = Clock::now();
    VipsImage* Out = nullptr;
    if (vips_resize(Page, &Out, Scale, "kernel", Kernel, nullptr) != 0) return -1;
    size_t Size = 0;
    void* Pixels = vips_image_write_to_memory(Out, &Size);
    const double Ms = MsSince(T0);
    OutW = vips_image_get_width(Out);
    OutH = vips_image_get_height(Out);
    g_free(Pixels);
    g_object_unref(Out);
    return Pixels ? Ms : -1;
  }
};
#endif

struct TPages {
  // Freed memory stays in the process (as a long-running program's does)
  // for blocks below 32 MB, the most the C library keeps; larger ones come
  // fresh from the system for every side.
  bool Steady = mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 512 << 20) == 1;
  std::unique_ptr<TIEBitmap> Colour = ColourPage();
  std::unique_ptr<TIEBitmap> Fax = FaxPage();
  benchsupport::TPillowPeer Pillow;
  bool PillowOk = false;
#ifdef FOLIVRA_HAVE_VIPS
  TVipsPeer Vips{Colour.get()};
#endif
  TPages() {
    PillowOk = Pillow.Ready() && Pillow.Load("page", Colour.get()) && Pillow.Load("fax", Fax.get());
  }
};

TPages& Pages() {
  static TPages P;
  return P;
}

int32_t Cores() { return int32_t(std::max(1u, std::thread::hardware_concurrency())); }

struct TFilterRow {
  const char* Name;
  TResampleFilter Ours;
  const char* Pillow;
#ifdef FOLIVRA_HAVE_VIPS
  VipsKernel Vips;
#endif
};

const TFilterRow kFilters[] = {
#ifdef FOLIVRA_HAVE_VIPS
    {"bilinear", rfBilinear, "R.BILINEAR", VIPS_KERNEL_LINEAR},
    {"bicubic", rfBicubic, "R.BICUBIC", VIPS_KERNEL_CUBIC},
    {"mitchell", rfMitchell, "R.BICUBIC", VIPS_KERNEL_MITCHELL},
    {"lanczos3", rfLanczos3, "R.LANCZOS", VIPS_KERNEL_LANCZOS3},
#else
    {"bilinear", rfBilinear, "R.BILINEAR"},
    {"bicubic", rfBicubic, "R.BICUBIC"},
    {"mitchell", rfMitchell, "R.BICUBIC"},
    {"lanczos3", rfLanczos3, "R.LANCZOS"},
#endif
};

// Args: filter index, 0 up 2 x / 1 down to 25 %, threads (0: every core).
void BM_Resample(benchmark::State& State) {
  TPages& P = Pages();
  const TFilterRow& F = kFilters[State.range(0)];
  const bool Up = State.range(1) == 0;
  const int32_t Threads = State.range(2) == 0 ? Cores() : int32_t(State.range(2));
  const int32_t DW = Up ? kPageW * 2 : kPageW / 4, DH = Up ? kPageH * 2 : kPageH / 4;
  // Pillow has one thread: it stands only beside our one-thread rows.
  const bool WithPillow = Threads == 1 && P.PillowOk;
  const std::string PillowExpr =
      "page.resize((" + std::to_string(DW) + ", " + std::to_string(DH) + "), " + F.Pillow + ")";
  State.SetLabel(std::string(F.Name) + (Up ? " up 2x" : " down 25%") + " threads " + std::to_string(Threads));
  double Ours = 0, PillowMs = 0, VipsMs = 0;
  bool Failed = false;
  int32_t Turn = 0;
  for (auto _ : State) {
    for (int32_t k = 0; k < 3; ++k) {
      switch ((Turn + k) % 3) {
        case 0: {
          const auto T0 = Clock::now();
          TIEBitmap Dst(DW, DH, ie24RGB);
          _ResampleEx(P.Colour.get(), &Dst, F.Ours, nullptr, nullptr, Threads);
          benchmark::DoNotOptimize(Dst.GetScanline(0));
          const double Ms = MsSince(T0);
          Ours += Ms;
          State.SetIterationTime(Ms / 1000);
          break;
        }
        case 1:
          if (WithPillow) {
            const double Ms = P.Pillow.Time(PillowExpr);
            Failed = Failed || Ms < 0;
            PillowMs += Ms;
          }
          break;
        default:
#ifdef FOLIVRA_HAVE_VIPS
          if (P.Vips.Ready) {
            int32_t VW = 0, VH = 0;
            const double Ms = P.Vips.Resize(Up ? 2.0 : 0.25, F.Vips, Threads, VW, VH);
            Failed = Failed || Ms < 0 || VW != DW || VH != DH;
            VipsMs += Ms;
          }
#endif
          break;
      }
    }
    Turn = (Turn + 1) % 3;
  }
  if (Failed) return State.SkipWithError("a peer failed or made another size");
  const double N = double(State.iterations());
  State.counters["ms"] = Ours / N;
  double Faster = 0;
  if (WithPillow) {
    State.counters["pillow_ms"] = PillowMs / N;
    State.counters["speed_vs_pillow"] = PillowMs / Ours;
    Faster = PillowMs / N;
  }
#ifdef FOLIVRA_HAVE_VIPS
  if (P.Vips.Ready) {
    State.counters["vips_ms"] = VipsMs / N;
    State.counters["speed_vs_vips"] = VipsMs / Ours;
    Faster = Faster > 0 ? std::min(Faster, VipsMs / N) : VipsMs / N;
  }
#endif
  if (Faster > 0) State.counters["speed_vs_faster"] = Faster / (Ours / N);
}

void ResampleArgs(benchmark::internal::Benchmark* B) {
  for (int64_t F = 0; F < int64_t(std::size(kFilters)); ++F)
    for (int64_t Dir : {0, 1})
      for (int64_t Threads : {1, 0}) B->Args({F, Dir, Threads});
}
BENCHMARK(BM_Resample)->Apply(ResampleArgs)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The fax thumbnail: our fast linear reduction of the 1-bit page beside
// Pillow's box reduction of the same page as gray.
void BM_FaxThumbnail(benchmark::State& State) {
  TPages& P = Pages();
  double Ours = 0, PillowMs = 0;
  bool Failed = false;
  for (auto _ : State) {
    const auto T0 = Clock::now();
    TIEBitmap Dst(110, 150, ie24RGB);
    IEResampleBitmap(P.Fax.get(), &Dst, rfFastLinear);
    benchmark::DoNotOptimize(Dst.GetScanline(0));
    const double Ms = MsSince(T0);
    Ours += Ms;
    State.SetIterationTime(Ms / 1000);
    if (P.PillowOk) {
      const double Pm = P.Pillow.Time("fax.convert('L').resize((110, 150), R.BOX)");
      Failed = Failed || Pm < 0;
      PillowMs += Pm;
    }
  }
  if (Failed) return State.SkipWithError("Pillow failed");
  State.counters["ms"] = Ours / double(State.iterations());
  if (P.PillowOk) {
    State.counters["pillow_ms"] = PillowMs / double(State.iterations());
    State.counters["speed_vs_pillow"] = PillowMs / Ours;
  }
}
BENCHMARK(BM_FaxThumbnail)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

}  // namespace
