// Rotation of an A4 page at 300 DPI (2480 x 3508, 24-bit) by 7 degrees with
// the canvas enlarged, beside Pillow's rotate(expand=True) on the same page:
// blended (our three shears against Pillow's bilinear) and nearest pixel.
// Pillow runs once in one Python process that loads the page from a file and
// times each rotation itself, so neither its start-up nor its file reading is
// counted.  Counters: ms per rotation for both, and speed_vs_pillow (> 1: we
// are faster).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "processing/folio_proc.h"

namespace {

constexpr int32_t kPageW = 2480, kPageH = 3508;
constexpr double kAngle = 7;

std::unique_ptr<TIEBitmap> ColourPage() {
  auto B = std::make_unique<TIEBitmap>(kPageW, kPageH, ie24RGB);
  for (int32_t y = 0; y < kPageH; ++y) {
    uint8_t* R = B->GetScanline(y);
    for (int32_t x = 0; x < kPageW; ++x) {
      R[x * 3] = uint8_t(x * 7 + y);
      R[x * 3 + 1] = uint8_t((x ^ y) * 3);
      R[x * 3 + 2] = uint8_t(y * 5 - x);
    }
  }
  return B;
}

void WritePPM(TIEBitmap* B, const std::string& Name) {
  FILE* F = std::fopen(Name.c_str(), "wb");
  if (!F) return;
  std::fprintf(F, "P6\n%d %d\n255\n", B->GetWidth(), B->GetHeight());
  std::string Row(size_t(B->GetWidth()) * 3, '\0');
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* S = B->GetScanline(y);
    for (int32_t x = 0; x < B->GetWidth(); ++x) {
      Row[3 * x] = char(S[3 * x + 2]);
      Row[3 * x + 1] = char(S[3 * x + 1]);
      Row[3 * x + 2] = char(S[3 * x]);
    }
    std::fwrite(Row.data(), 1, Row.size(), F);
  }
  std::fclose(F);
}

const char* kPillowScript = R"(
import sys, time
from PIL import Image
R = Image.Resampling
page = Image.open(sys.argv[1]); page.load()
def run(name, f, n=3):
    f()
    t = time.perf_counter()
    for _ in range(n): f()
    print(name, (time.perf_counter() - t) / n * 1000.0)
run('rotate7_bilinear', lambda: page.rotate(7, resample=R.BILINEAR, expand=True))
run('rotate7_nearest', lambda: page.rotate(7, resample=R.NEAREST, expand=True))
)";

struct TPage {
  std::unique_ptr<TIEBitmap> Colour = ColourPage();
  std::map<std::string, double> PillowMs;
};

TPage& Page() {
  static TPage P = [] {
    TPage T;
    const std::string Dir =
        std::filesystem::temp_directory_path() / ("folio_rotate_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    const std::string PagePath = Dir + "/page.ppm", Script = Dir + "/peer.py";
    WritePPM(T.Colour.get(), PagePath);
    if (FILE* F = std::fopen(Script.c_str(), "w")) {
      std::fputs(kPillowScript, F);
      std::fclose(F);
    }
    const std::string Cmd = "/usr/bin/python3 " + Script + " " + PagePath + " 2>/dev/null";
    if (FILE* Pipe = popen(Cmd.c_str(), "r")) {
      char Name[64];
      double Ms;
      while (std::fscanf(Pipe, "%63s %lf", Name, &Ms) == 2) T.PillowMs[Name] = Ms;
      pclose(Pipe);
    }
    std::filesystem::remove_all(Dir);
    return T;
  }();
  return P;
}

// Each iteration turns a fresh copy of the page; only the turn is timed.
void Measure(benchmark::State& State, const char* Peer, bool Antialias) {
  TPage& P = Page();
  double Total = 0;
  for (auto _ : State) {
    TIEBitmap Work;
    Work.Assign(P.Colour.get());
    auto Proc = TFolioProc::CreateFromBitmap(&Work);
    const auto T0 = std::chrono::steady_clock::now();
    Proc->Rotate(kAngle, Antialias, 0, TColor(0xFFFFFF));
    Total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
    benchmark::DoNotOptimize(Work.GetScanline(0));
  }
  const double Ours = Total / double(State.iterations());
  State.counters["ms"] = Ours;
  auto It = P.PillowMs.find(Peer);
  if (It != P.PillowMs.end()) {
    State.counters["pillow_ms"] = It->second;
    State.counters["speed_vs_pillow"] = It->second / Ours;
  }
}

void BM_Rotate7Blended(benchmark::State& S) { Measure(S, "rotate7_bilinear", true); }
void BM_Rotate7Nearest(benchmark::State& S) { Measure(S, "rotate7_nearest", false); }

BENCHMARK(BM_Rotate7Blended)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Rotate7Nearest)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
