// Resampling throughput beside Pillow's resize on the same pages: an A4 page
// at 300 DPI (2480 x 3508, 24-bit) resampled with Lanczos3 and bilinear to
// 50 % and 200 %, and a fine fax page (1728 x 2289, 1-bit) reduced to a
// 110 x 150 gray thumbnail.  Pillow runs once in one Python process that
// loads the same pages from files and times each resize itself, so neither
// its start-up nor its file reading is counted.  Counters: ms per resize for
// both, and speed_vs_pillow (> 1: we are faster).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "kernels/resample_engine.h"

namespace {

constexpr int32_t kPageW = 2480, kPageH = 3508;
constexpr int32_t kFaxW = 1728, kFaxH = 2289;

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

struct TPages {
  std::unique_ptr<TIEBitmap> Colour = ColourPage();
  std::unique_ptr<TIEBitmap> Fax = FaxPage();
  std::map<std::string, double> PillowMs;
};

void WritePPM(TIEBitmap* B, const std::string& Name) {
  FILE* F = std::fopen(Name.c_str(), "wb");
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

// PBM stores 1 for black, the buffer 1 for white.
void WritePBM(TIEBitmap* B, const std::string& Name) {
  FILE* F = std::fopen(Name.c_str(), "wb");
  std::fprintf(F, "P4\n%d %d\n", B->GetWidth(), B->GetHeight());
  std::string Row(size_t((B->GetWidth() + 7) / 8), '\0');
  for (int32_t y = 0; y < B->GetHeight(); ++y) {
    const uint8_t* S = B->GetScanline(y);
    for (size_t i = 0; i < Row.size(); ++i) Row[i] = char(~S[i]);
    std::fwrite(Row.data(), 1, Row.size(), F);
  }
  std::fclose(F);
}

const char* kPillowScript = R"(
import sys, time
from PIL import Image
R = Image.Resampling
page = Image.open(sys.argv[1]); page.load()
fax = Image.open(sys.argv[2]); fax.load()
w, h = page.size
def run(name, f, n=3):
    f()
    t = time.perf_counter()
    for _ in range(n): f()
    print(name, (time.perf_counter() - t) / n * 1000.0)
run('lanczos3_50', lambda: page.resize((w // 2, h // 2), R.LANCZOS))
run('lanczos3_200', lambda: page.resize((w * 2, h * 2), R.LANCZOS))
run('bilinear_50', lambda: page.resize((w // 2, h // 2), R.BILINEAR))
run('bilinear_200', lambda: page.resize((w * 2, h * 2), R.BILINEAR))
run('fax_thumb', lambda: fax.convert('L').resize((110, 150), R.BOX), 20)
)";

TPages& Pages() {
  static TPages P = [] {
    TPages T;
    const std::string Dir = std::filesystem::temp_directory_path() / ("folio_resample_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(Dir);
    const std::string PagePath = Dir + "/page.ppm", FaxPath = Dir + "/fax.pbm", Script = Dir + "/peer.py";
    WritePPM(T.Colour.get(), PagePath);
    WritePBM(T.Fax.get(), FaxPath);
    if (FILE* F = std::fopen(Script.c_str(), "w")) {
      std::fputs(kPillowScript, F);
      std::fclose(F);
    }
    const std::string Cmd = "/usr/bin/python3 " + Script + " " + PagePath + " " + FaxPath + " 2>/dev/null";
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

template <class TWork>
void Measure(benchmark::State& State, const char* PeerName, TWork Work) {
  TPages& P = Pages();
  double Total = 0;
  for (auto _ : State) {
    const auto T0 = std::chrono::steady_clock::now();
    Work(P);
    Total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count();
  }
  const double Ours = Total / double(State.iterations());
  State.counters["ms"] = Ours;
  auto It = P.PillowMs.find(PeerName);
  if (It != P.PillowMs.end()) {
    State.counters["pillow_ms"] = It->second;
    State.counters["speed_vs_pillow"] = It->second / Ours;
  }
}

void Page(benchmark::State& State, TResampleFilter Filter, int32_t Num, int32_t Den, const char* Peer,
          int32_t Threads = 0) {
  Measure(State, Peer, [&](TPages& P) {
    TIEBitmap Dst(kPageW * Num / Den, kPageH * Num / Den, ie24RGB);
    _ResampleEx(P.Colour.get(), &Dst, Filter, nullptr, nullptr, Threads);
    benchmark::DoNotOptimize(Dst.GetScanline(0));
  });
}

void BM_Lanczos3Half(benchmark::State& S) { Page(S, rfLanczos3, 1, 2, "lanczos3_50"); }
void BM_Lanczos3Double(benchmark::State& S) { Page(S, rfLanczos3, 2, 1, "lanczos3_200"); }
void BM_BilinearHalf(benchmark::State& S) { Page(S, rfBilinear, 1, 2, "bilinear_50"); }
void BM_BilinearDouble(benchmark::State& S) { Page(S, rfBilinear, 2, 1, "bilinear_200"); }
// One worker: per-core speed beside Pillow's single thread.
void BM_Lanczos3HalfOneThread(benchmark::State& S) { Page(S, rfLanczos3, 1, 2, "lanczos3_50", 1); }
void BM_BilinearHalfOneThread(benchmark::State& S) { Page(S, rfBilinear, 1, 2, "bilinear_50", 1); }
void BM_FaxThumbnail(benchmark::State& S) {
  Measure(S, "fax_thumb", [](TPages& P) {
    TIEBitmap Dst(110, 150, ie24RGB);
    IEResampleBitmap(P.Fax.get(), &Dst, rfFastLinear);
    benchmark::DoNotOptimize(Dst.GetScanline(0));
  });
}

BENCHMARK(BM_Lanczos3Half)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3Double)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearHalf)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearDouble)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Lanczos3HalfOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BilinearHalfOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FaxThumbnail)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
