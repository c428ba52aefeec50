// Loading and saving a multi-page Group 4 fax document through the TIFF reader
// and writer (eight 1728 x 2200 pages into image buffers and back), beside
// libtiff's tiffcp decoding and encoding the same file in the same run.  The
// peer numbers include starting tiffcp and its file I/O (wall-clock times).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "io/io_params.h"
#include "io/progress.h"
#include "io/tiff_reader.h"
#include "io/tiff_writer.h"
#include "platform/rtl/streams.h"

namespace {

constexpr int32_t kWidth = 1728;
constexpr int32_t kHeight = 2200;
constexpr int kPages = 8;

// A typed-page look: a letterhead band, lines of word-like stroke groups.
std::unique_ptr<TIEBitmap> MakePage(uint32_t Seed) {
  auto b = std::make_unique<TIEBitmap>(kWidth, kHeight, ie1g);
  b->Fill(1);
  std::mt19937 rng(Seed);
  auto black = [&](int32_t Y, int32_t X1, int32_t X2) {
    uint8_t* r = b->GetScanline(Y);
    for (int32_t x = std::max(X1, 0); x < std::min(X2, kWidth); ++x) r[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  };
  for (int32_t y = 100; y < 160; ++y) black(y, 150, 1578);
  for (int32_t top = 250; top + 30 < kHeight - 100; top += 42) {
    std::vector<std::pair<int32_t, int32_t>> strokes;
    for (int32_t x = 120; x < kWidth - 150; x += 20 + int32_t(rng() % 30))
      for (int32_t g = int32_t(rng() % 8); g >= 0; --g, x += 16) strokes.push_back({x, 2 + int32_t(rng() % 4)});
    for (int32_t y = top; y < top + 28; ++y)
      for (auto& s : strokes) {
        if (rng() % 9 == 0) s.first += int32_t(rng() % 3) - 1;
        black(y, s.first, s.first + s.second);
      }
  }
  return b;
}

const std::vector<std::unique_ptr<TIEBitmap>>& Pages() {
  static const auto pages = [] {
    std::vector<std::unique_ptr<TIEBitmap>> p;
    for (int i = 0; i < kPages; ++i) p.push_back(MakePage(uint32_t(i + 1)));
    return p;
  }();
  return pages;
}

// Writes the document into S, one appended page after another.
bool SaveDocument(TStream& S, TIETIFFCompression Compression) {
  bool aborting = false;
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  for (int i = 0; i < kPages; ++i) {
    TIOParamsVals p;
    p.BitsPerSample = 1;
    p.SamplesPerPixel = 1;
    p.TiffCompression = Compression;
    p.TiffPageIndex = i;
    S.SetPosition(0);
    TiffWriteStream(&S, i > 0, Pages()[size_t(i)].get(), p, progress);
  }
  return !aborting;
}

const std::vector<uint8_t>& G4File() {
  static const std::vector<uint8_t> file = [] {
    TMemoryStream s;
    SaveDocument(s, ietcG4Fax);
    const auto* m = static_cast<const uint8_t*>(s.GetMemory());
    return std::vector<uint8_t>(m, m + s.GetSize());
  }();
  return file;
}

void SetCounters(benchmark::State& State) {
  State.SetItemsProcessed(int64_t(State.iterations()) * kPages);
  State.SetBytesProcessed(int64_t(State.iterations()) * kPages * ((kWidth + 7) / 8) * kHeight);
}

void BM_TiffDocumentLoadG4(benchmark::State& State) {
  const auto& file = G4File();
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  for (auto _ : State) {
    s.SetPosition(0);
    TTiffChain chain;
    TiffScanChain(&s, false, chain);
    for (int i = 0; i < kPages; ++i) {
      TIEBitmap page;
      TIOParamsVals p;
      p.TiffPageIndex = i;
      bool aborting = false;
      TIEProgressRec progress;
      progress.Aborting = &aborting;
      int32_t count = 0;
      TIEMask* mask = nullptr;
      TiffReadStream(&page, &s, count, &p, progress, false, mask, false, true, false, &chain);
      delete mask;
      benchmark::DoNotOptimize(page.GetScanline(kHeight - 1));
    }
  }
  SetCounters(State);
}
BENCHMARK(BM_TiffDocumentLoadG4)->Unit(benchmark::kMillisecond);

void BM_TiffDocumentSaveG4(benchmark::State& State) {
  Pages();
  for (auto _ : State) {
    TMemoryStream s;
    benchmark::DoNotOptimize(SaveDocument(s, ietcG4Fax));
  }
  SetCounters(State);
}
BENCHMARK(BM_TiffDocumentSaveG4)->Unit(benchmark::kMillisecond);

struct PeerFiles {
  std::string Dir, G4, Plain, Out;
  bool Ok = false;
  PeerFiles() {
    Dir = (std::filesystem::temp_directory_path() / ("folio-tiff-bench-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(Dir);
    G4 = Dir + "/g4.tif";
    Plain = Dir + "/plain.tif";
    Out = Dir + "/out.tif";
    TMemoryStream plain;
    SaveDocument(plain, ietcNone);
    const auto* m = static_cast<const uint8_t*>(plain.GetMemory());
    Ok = Write(G4, G4File()) && Write(Plain, std::vector<uint8_t>(m, m + plain.GetSize())) &&
         std::system("command -v tiffcp >/dev/null 2>&1") == 0;
  }
  ~PeerFiles() {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }
  static bool Write(const std::string& Name, const std::vector<uint8_t>& Data) {
    FILE* f = std::fopen(Name.c_str(), "wb");
    if (!f) return false;
    const bool ok = std::fwrite(Data.data(), 1, Data.size(), f) == Data.size();
    return std::fclose(f) == 0 && ok;
  }
};

void RunPeer(benchmark::State& State, const std::string& Args) {
  static PeerFiles files;
  if (!files.Ok) {
    State.SkipWithError("tiffcp is not available");
    return;
  }
  const std::string cmd = "tiffcp " + Args + " " +
                          (Args.find("-c none") == 0 ? files.G4 : files.Plain) + " " + files.Out + " >/dev/null 2>&1";
  for (auto _ : State) {
    if (std::system(cmd.c_str()) != 0) {
      State.SkipWithError("tiffcp failed");
      return;
    }
  }
  SetCounters(State);
}

void BM_PeerTiffcpDocumentDecodeG4(benchmark::State& State) { RunPeer(State, "-c none"); }
BENCHMARK(BM_PeerTiffcpDocumentDecodeG4)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PeerTiffcpDocumentEncodeG4(benchmark::State& State) { RunPeer(State, "-c g4"); }
BENCHMARK(BM_PeerTiffcpDocumentEncodeG4)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
