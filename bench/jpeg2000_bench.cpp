// JPEG 2000 decode of a 2480 x 3508 colour page: our reader beside OpenJPEG's
// own opj_decompress on the same file in the same run.  The peer's start-up
// (a run on a 16 x 16 file) is taken off its time; the last benchmark prints
// the ratio ours / peer.
#include <atomic>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "formats/jpeg2000/jpeg2000_codec.h"
#include "foundations/image_buffer.h"
#include "formats/io_params.h"
#include "platform/rtl/streams.h"

namespace {

constexpr int32_t kW = 2480, kH = 3508;

std::string WriteJp2(int32_t W, int32_t H, const std::string& Name) {
  TIEBitmap b(W, H, ie24RGB);
  for (int32_t y = 0; y < H; ++y) {
    uint8_t* r = b.GetScanline(y);
    for (int32_t x = 0; x < W; ++x) {
      const bool ink = ((x / 7 + y / 11) % 9 == 0) && (y % 60 < 40);
      r[3 * x] = ink ? 20 : uint8_t(235 + (x + y) % 16);
      r[3 * x + 1] = ink ? 20 : uint8_t(240 - y % 8);
      r[3 * x + 2] = ink ? 30 : 245;
    }
  }
  const std::string path = std::string(P_tmpdir) + "/folivra_bench_" + std::to_string(getpid()) + "_" + Name;
  TFileStream f(path, fmCreate);
  TIOParamsVals p;
  p.J2kRate = 0.05;
  std::atomic<bool> abort{false};
  TIEProgressRec pr;
  pr.Aborting = &abort;
  J2kWriteStream(&f, &b, p, pr, J2K_FORMAT_JP2);
  return path;
}

struct TFiles {
  std::string Page = WriteJp2(kW, kH, "page.jp2");
  std::string Tiny = WriteJp2(16, 16, "tiny.jp2");
  std::string Out = std::string(P_tmpdir) + "/folivra_bench_" + std::to_string(getpid()) + "_out.ppm";
  ~TFiles() {
    std::remove(Page.c_str());
    std::remove(Tiny.c_str());
    std::remove(Out.c_str());
  }
};
TFiles& Files() {
  static TFiles f;
  return f;
}

double gOurs = 0, gPeer = 0;

double RunPeer(const std::string& In) {
  const auto t0 = std::chrono::steady_clock::now();
  const std::string cmd = "opj_decompress -i " + In + " -o " + Files().Out + " >/dev/null 2>&1";
  if (std::system(cmd.c_str()) != 0) return -1;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

void BM_J2kDecodeOurs(benchmark::State& State) {
  if (!J2kAvailable()) {
    State.SkipWithError("OpenJPEG missing");
    return;
  }
  const std::string path = Files().Page;
  double total = 0;
  for (auto _ : State) {
    const auto t0 = std::chrono::steady_clock::now();
    TFileStream f(path, fmOpenRead);
    TIEBitmap b;
    TIOParamsVals p;
    std::atomic<bool> abort{false};
    TIEProgressRec pr;
    pr.Aborting = &abort;
    J2kReadStream(&f, &b, p, pr, false);
    benchmark::DoNotOptimize(b.GetScanline(0));
    total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  gOurs = total / double(State.iterations());
}
BENCHMARK(BM_J2kDecodeOurs)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_J2kDecodePeerOpjDecompress(benchmark::State& State) {
  if (std::system("command -v opj_decompress >/dev/null 2>&1") != 0) {
    State.SkipWithError("opj_decompress missing");
    return;
  }
  double startup = 1e9;
  for (int i = 0; i < 3; ++i) startup = std::min(startup, RunPeer(Files().Tiny));
  double total = 0;
  for (auto _ : State) total += RunPeer(Files().Page) - startup;
  gPeer = total / double(State.iterations());
  State.counters["startup_ms"] = startup * 1000;
}
BENCHMARK(BM_J2kDecodePeerOpjDecompress)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_J2kDecodeRatio(benchmark::State& State) {
  for (auto _ : State) benchmark::DoNotOptimize(gOurs);
  State.counters["ours_ms"] = gOurs * 1000;
  State.counters["peer_ms"] = gPeer * 1000;
  State.counters["ours_over_peer"] = gPeer > 0 ? gOurs / gPeer : 0;
}
BENCHMARK(BM_J2kDecodeRatio)->Iterations(1);

}  // namespace
