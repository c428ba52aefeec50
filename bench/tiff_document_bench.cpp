// Loading and saving a multi-page Group 4 fax document through the TIFF reader
// and writer (1728 x 2200 pages into image buffers and back), beside libtiff's
// own codec on the same pages in the same run.
//
// The fair comparison is pages per second of decoding alone.  A peer run pays
// for starting a process, opening the file and (for tiffcp) writing its output,
// so every peer benchmark runs the tool twice per iteration, on a one-page file
// and on an N-page file of the same pages, and counts only the difference: the
// N - 1 extra pages.  `tiffinfo -D` decodes every strip of every page and
// prints nothing of it, which makes it the purest peer decode; tiffcp -c none
// (decode and write an uncompressed copy) is shown beside it.
//
// Counters: pages_per_second everywhere; BM_TiffDocumentDecodeVsPeer measures
// our load of the N-page file and the tiffinfo peer in the same iteration and
// reports both rates and their ratio (speed_vs_peer > 1: we decode faster).
#include <atomic>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "foundations/image_buffer.h"
#include "foundations/selection_mask.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "platform/rtl/streams.h"
#include "support/mini_tiff.h"

namespace {

constexpr int32_t kWidth = 1728;
constexpr int32_t kHeight = 2200;
constexpr int kPages = 8;        // distinct pages of the document
constexpr int kLongPages = 96;   // the document repeated, for the marginal peer rate

using Clock = std::chrono::steady_clock;

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
  std::atomic<bool> aborting{false};
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

std::vector<uint8_t> Bytes(TMemoryStream& S) {
  const auto* m = static_cast<const uint8_t*>(S.GetMemory());
  return std::vector<uint8_t>(m, m + S.GetSize());
}

const std::vector<uint8_t>& G4File() {
  static const std::vector<uint8_t> file = [] {
    TMemoryStream s;
    SaveDocument(s, ietcG4Fax);
    return Bytes(s);
  }();
  return file;
}

// The first Count pages of the document repeated over and over, as one file
// (the coded strips of our own writer, wrapped again).
std::vector<uint8_t> Repeated(const std::vector<uint8_t>& File, int Count) {
  const std::vector<minitiff::Page> pages = minitiff::ReadTiff(File);
  std::vector<minitiff::Page> out;
  for (int i = 0; i < Count; ++i) out.push_back(pages[size_t(i) % pages.size()]);
  return minitiff::WriteTiff(out);
}

void SetCounters(benchmark::State& State, int Pages) {
  State.SetItemsProcessed(int64_t(State.iterations()) * Pages);
  State.SetBytesProcessed(int64_t(State.iterations()) * Pages * ((kWidth + 7) / 8) * kHeight);
  State.counters["pages_per_second"] =
      benchmark::Counter(double(State.iterations()) * Pages, benchmark::Counter::kIsRate);
}

// Loads every page of the TIFF held in S into an image buffer.
void LoadAll(TStream& S, int Pages) {
  S.SetPosition(0);
  TTiffChain chain;
  TiffScanChain(&S, false, chain);
  for (int i = 0; i < Pages; ++i) {
    TIEBitmap page;
    TIOParamsVals p;
    p.TiffPageIndex = i;
    std::atomic<bool> aborting{false};
    TIEProgressRec progress;
    progress.Aborting = &aborting;
    int32_t count = 0;
    std::unique_ptr<TIEMask> mask;
    TTiffReadOptions options;
    options.RelativeOffsets = false;
    options.IgnoreAlpha = true;
    options.Chain = &chain;
    TiffReadStream(&page, &S, count, &p, progress, mask, options);
    benchmark::DoNotOptimize(page.GetScanline(kHeight - 1));
  }
}

// The peer's files on disk.
struct PeerFiles {
  std::string Dir, G4One, G4Long, PlainOne, PlainLong, Out;
  bool Ok = false;
  bool HaveTiffcp = false;
  bool HaveTiffinfo = false;
  PeerFiles() {
    Dir = (std::filesystem::temp_directory_path() / ("folio-tiff-bench-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(Dir);
    G4One = Dir + "/g4-1.tif";
    G4Long = Dir + "/g4-n.tif";
    PlainOne = Dir + "/plain-1.tif";
    PlainLong = Dir + "/plain-n.tif";
    Out = Dir + "/out.tif";
    TMemoryStream plain;
    SaveDocument(plain, ietcNone);
    const std::vector<uint8_t> plainFile = Bytes(plain);
    Ok = Write(G4One, Repeated(G4File(), 1)) && Write(G4Long, Repeated(G4File(), kLongPages)) &&
         Write(PlainOne, Repeated(plainFile, 1)) && Write(PlainLong, Repeated(plainFile, kLongPages));
    HaveTiffcp = std::system("command -v tiffcp >/dev/null 2>&1") == 0;
    HaveTiffinfo = std::system("command -v tiffinfo >/dev/null 2>&1") == 0;
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

PeerFiles& Files() {
  static PeerFiles files;
  return files;
}

// Seconds the command takes, or a negative value when it fails.
double TimeCommand(const std::string& Command) {
  const auto start = Clock::now();
  if (std::system((Command + " >/dev/null 2>&1").c_str()) != 0) return -1;
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// Seconds the peer spends on the N - 1 extra pages of the long file: the run
// on the one-page file is subtracted (start-up, file opening and closing).
double PeerMarginal(const std::string& Tool, const std::string& One, const std::string& Long) {
  const double t1 = TimeCommand(Tool + " " + One);
  const double tn = TimeCommand(Tool + " " + Long);
  if (t1 < 0 || tn < 0) return -1;
  return std::max(tn - t1, 1e-9);
}

// ---- our side ----

void BM_TiffDocumentLoadG4(benchmark::State& State) {
  const auto& file = G4File();
  TMemoryStream s;
  s.WriteBuffer(file.data(), int64_t(file.size()));
  for (auto _ : State) LoadAll(s, kPages);
  SetCounters(State, kPages);
}
BENCHMARK(BM_TiffDocumentLoadG4)->Unit(benchmark::kMillisecond);

// The N-page file from disk, as a document is opened.
void BM_TiffDocumentLoadG4File(benchmark::State& State) {
  PeerFiles& f = Files();
  if (!f.Ok) {
    State.SkipWithError("cannot write the document files");
    return;
  }
  TFileStream s(f.G4Long, fmOpenRead);
  for (auto _ : State) LoadAll(s, kLongPages);
  SetCounters(State, kLongPages);
}
BENCHMARK(BM_TiffDocumentLoadG4File)->Unit(benchmark::kMillisecond);

void BM_TiffDocumentSaveG4(benchmark::State& State) {
  Pages();
  for (auto _ : State) {
    TMemoryStream s;
    benchmark::DoNotOptimize(SaveDocument(s, ietcG4Fax));
  }
  SetCounters(State, kPages);
}
BENCHMARK(BM_TiffDocumentSaveG4)->Unit(benchmark::kMillisecond);

// ---- the peer (marginal cost of N - 1 pages, manual time) ----

void RunPeer(benchmark::State& State, bool Available, const std::string& Tool, const std::string& One,
             const std::string& Long) {
  if (!Files().Ok || !Available) {
    State.SkipWithError("the peer tool is not available");
    return;
  }
  for (auto _ : State) {
    const double t = PeerMarginal(Tool, One, Long);
    if (t < 0) {
      State.SkipWithError("the peer tool failed");
      return;
    }
    State.SetIterationTime(t);
  }
  SetCounters(State, kLongPages - 1);
}

void BM_PeerTiffinfoDocumentDecodeG4(benchmark::State& State) {
  PeerFiles& f = Files();
  RunPeer(State, f.HaveTiffinfo, "tiffinfo -D", f.G4One, f.G4Long);
}
BENCHMARK(BM_PeerTiffinfoDocumentDecodeG4)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_PeerTiffcpDocumentDecodeG4(benchmark::State& State) {
  PeerFiles& f = Files();
  RunPeer(State, f.HaveTiffcp, "tiffcp -c none", f.G4One + " " + f.Out, f.G4Long + " " + f.Out);
}
BENCHMARK(BM_PeerTiffcpDocumentDecodeG4)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_PeerTiffcpDocumentEncodeG4(benchmark::State& State) {
  PeerFiles& f = Files();
  RunPeer(State, f.HaveTiffcp, "tiffcp -c g4", f.PlainOne + " " + f.Out, f.PlainLong + " " + f.Out);
}
BENCHMARK(BM_PeerTiffcpDocumentEncodeG4)->Unit(benchmark::kMillisecond)->UseManualTime();

// ---- both in one run ----

// Each iteration loads the N-page file here and times the tiffinfo peer on
// the same pages; the manual time is ours.
void BM_TiffDocumentDecodeVsPeer(benchmark::State& State) {
  PeerFiles& f = Files();
  if (!f.Ok || !f.HaveTiffinfo) {
    State.SkipWithError("tiffinfo is not available");
    return;
  }
  TFileStream s(f.G4Long, fmOpenRead);
  double ours = 0, peer = 0;
  for (auto _ : State) {
    const auto start = Clock::now();
    LoadAll(s, kLongPages);
    const double t = std::chrono::duration<double>(Clock::now() - start).count();
    const double p = PeerMarginal("tiffinfo -D", f.G4One, f.G4Long);
    if (p < 0) {
      State.SkipWithError("tiffinfo failed");
      return;
    }
    ours += t;
    peer += p;
    State.SetIterationTime(t);
  }
  const double n = double(State.iterations());
  State.counters["folio_pages_per_second"] = n * kLongPages / ours;
  State.counters["peer_pages_per_second"] = n * (kLongPages - 1) / peer;
  State.counters["speed_vs_peer"] = (n * kLongPages / ours) / (n * (kLongPages - 1) / peer);
}
BENCHMARK(BM_TiffDocumentDecodeVsPeer)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

}  // namespace
