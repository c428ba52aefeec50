// Pixel-format conversion throughput on an A4 page at 300 DPI (2480 x 3508):
// a fax page to 24-bit colour for display, colour to gray, colour to black
// and white by ordered dither and by threshold, colour to a 256-colour
// palette. Beside them netpbm does the gray and dither work on the same page
// (its numbers include starting the program and its file I/O; wall-clock).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "kernels/pixel_conversion.h"

namespace {

constexpr int32_t kWidth = 2480;
constexpr int32_t kHeight = 3508;

std::unique_ptr<TIEBitmap> ColourPage() {
  auto b = std::make_unique<TIEBitmap>();
  b->Allocate(kWidth, kHeight, ie24RGB);
  for (int32_t y = 0; y < kHeight; ++y) {
    uint8_t* row = b->GetScanline(y);
    for (int32_t x = 0; x < kWidth; ++x) {
      row[x * 3] = uint8_t(x * 7 + y);
      row[x * 3 + 1] = uint8_t((x ^ y) * 3);
      row[x * 3 + 2] = uint8_t(y * 5 - x);
    }
  }
  return b;
}

void Convert(benchmark::State& State, TIEPixelFormat From, TIEPixelFormat To, uint8_t Mono) {
  auto page = ColourPage();
  if (From != ie24RGB) IEConvertToPixelFormat(page.get(), From);
  for (auto _ : State) {
    TIEBitmap work;
    work.Assign(page.get());
    work.SetMonoConversion(Mono);
    IEConvertToPixelFormat(&work, To);
    benchmark::DoNotOptimize(work.GetScanline(0));
  }
  State.SetItemsProcessed(State.iterations() * int64_t(kWidth) * kHeight);
}

void BM_Convert1BitTo24(benchmark::State& S) { Convert(S, ie1g, ie24RGB, 1); }
void BM_Convert24ToGray(benchmark::State& S) { Convert(S, ie24RGB, ie8g, 1); }
void BM_Convert24ToDither(benchmark::State& S) { Convert(S, ie24RGB, ie1g, 0); }
void BM_Convert24ToThreshold(benchmark::State& S) { Convert(S, ie24RGB, ie1g, 1); }
void BM_Convert24ToPalette(benchmark::State& S) { Convert(S, ie24RGB, ie8p, 1); }
BENCHMARK(BM_Convert1BitTo24)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert24ToGray)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert24ToDither)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert24ToThreshold)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Convert24ToPalette)->Unit(benchmark::kMillisecond);

// The same page as a PPM file for the peer tools.
std::string PeerPage() {
  static std::string path;
  if (!path.empty()) return path;
  path = (std::filesystem::temp_directory_path() /
          ("folio-conv-bench-" + std::to_string(getpid()) + ".ppm"))
             .string();
  auto page = ColourPage();
  if (FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fprintf(f, "P6\n%d %d\n255\n", kWidth, kHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
      const uint8_t* row = page->GetScanline(y);
      for (int32_t x = 0; x < kWidth; ++x) {
        const uint8_t rgb[3] = {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]};
        std::fwrite(rgb, 1, 3, f);
      }
    }
    std::fclose(f);
  }
  return path;
}

void Peer(benchmark::State& State, const char* Tool, const std::string& Args) {
  if (std::system((std::string("command -v ") + Tool + " >/dev/null 2>&1").c_str()) != 0) {
    State.SkipWithError("peer tool missing");
    return;
  }
  const std::string cmd = std::string(Tool) + " " + Args + " " + PeerPage() + " >/dev/null 2>&1";
  for (auto _ : State)
    if (std::system(cmd.c_str()) != 0) {
      State.SkipWithError("peer tool failed");
      break;
    }
  State.SetItemsProcessed(State.iterations() * int64_t(kWidth) * kHeight);
}

void BM_PeerNetpbmGray(benchmark::State& S) { Peer(S, "ppmtopgm", ""); }
void BM_PeerNetpbmDither(benchmark::State& S) { Peer(S, "pamditherbw", "-dither8"); }
BENCHMARK(BM_PeerNetpbmGray)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PeerNetpbmDither)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
