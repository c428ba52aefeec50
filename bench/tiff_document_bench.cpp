// What users run on fax documents and TIFF pages, beside libtiff in the same
// process on the same files: every page is decoded through the I/O components
// (the single-image component by page index, the multi-image component into a
// page list), a 96-page Group 4 document is saved to a file, one page of a
// 1,000-page fax is opened, and A4 colour pages are read and written with LZW
// and the horizontal predictor.
//
// Each iteration runs our side and libtiff's back to back (which one goes
// first alternates), so the load of the machine falls on both alike.  The
// manual time is ours; the counters give both rates and speed_vs_libtiff
// (> 1: we are faster).  Before anything is timed, the pixels of every page
// are checked identical to libtiff's; a mismatch fails the benchmark.
#include <atomic>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <unistd.h>

#include "formats/io_params.h"
#include "formats/tiff/tiff_chain_cache.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "io/folio_io.h"
#include "io/multi_io.h"
#include "libtiff_peer.h"
#include "platform/rtl/streams.h"
#include "views/multi_view.h"

namespace {

using libtiffpeer::Clock;
using libtiffpeer::Since;

constexpr int32_t kFaxWidth = 1728;
constexpr int32_t kFaxHeight = 2200;
constexpr int kDistinct = 8;     // distinct fax pages
constexpr int kDocPages = 96;    // the document: the distinct pages repeated
constexpr int kLongPages = 1000; // the long fax for opening one page
constexpr int32_t kA4Width = 2480;
constexpr int32_t kA4Height = 3508;

// A typed-page look: a letterhead band, lines of word-like stroke groups.
std::unique_ptr<TIEBitmap> MakeFaxPage(uint32_t Seed) {
  auto b = std::make_unique<TIEBitmap>(kFaxWidth, kFaxHeight, ie1g);
  b->Fill(1);
  std::mt19937 rng(Seed);
  auto black = [&](int32_t Y, int32_t X1, int32_t X2) {
    uint8_t* r = b->GetScanline(Y);
    for (int32_t x = std::max(X1, 0); x < std::min(X2, kFaxWidth); ++x) r[x >> 3] &= uint8_t(~(0x80 >> (x & 7)));
  };
  for (int32_t y = 100; y < 160; ++y) black(y, 150, 1578);
  for (int32_t top = 250; top + 30 < kFaxHeight - 100; top += 42) {
    std::vector<std::pair<int32_t, int32_t>> strokes;
    for (int32_t x = 120; x < kFaxWidth - 150; x += 20 + int32_t(rng() % 30))
      for (int32_t g = int32_t(rng() % 8); g >= 0; --g, x += 16) strokes.push_back({x, 2 + int32_t(rng() % 4)});
    for (int32_t y = top; y < top + 28; ++y)
      for (auto& s : strokes) {
        if (rng() % 9 == 0) s.first += int32_t(rng() % 3) - 1;
        black(y, s.first, s.first + s.second);
      }
  }
  return b;
}

// An A4 page at 300 DPI in colour.  Text: black and dark blue lines of glyph
// strokes on white.  Photo: smooth shading with fine grain.
std::unique_ptr<TIEBitmap> MakeA4Page(bool Photo) {
  auto b = std::make_unique<TIEBitmap>();
  b->SetMemoryThreshold(INT64_MAX);
  b->Allocate(kA4Width, kA4Height, ie24RGB);
  std::mt19937 rng(Photo ? 7 : 3);
  for (int32_t y = 0; y < kA4Height; ++y) {
    uint8_t* r = b->GetScanline(y);
    for (int32_t x = 0; x < kA4Width; ++x) {
      if (Photo) {
        const double u = x / 400.0, v = y / 300.0;
        const int32_t grain = int32_t(rng() % 7) - 3;
        r[3 * x] = uint8_t(std::clamp(int32_t(128 + 90 * std::sin(u + v)) + grain, 0, 255));
        r[3 * x + 1] = uint8_t(std::clamp(int32_t(120 + 80 * std::cos(u * 0.7 - v)) + grain, 0, 255));
        r[3 * x + 2] = uint8_t(std::clamp(int32_t(110 + 100 * std::sin(v * 1.3)) + grain, 0, 255));
      } else {
        r[3 * x] = r[3 * x + 1] = r[3 * x + 2] = 255;
      }
    }
  }
  if (!Photo) {
    for (int32_t top = 200; top + 40 < kA4Height - 200; top += 60) {
      const bool blue = (top / 60) % 5 == 0;
      std::vector<std::pair<int32_t, int32_t>> strokes;
      for (int32_t x = 200; x < kA4Width - 200; x += 25 + int32_t(rng() % 40))
        for (int32_t g = int32_t(rng() % 8); g >= 0; --g, x += 22) strokes.push_back({x, 3 + int32_t(rng() % 5)});
      for (int32_t y = top; y < top + 38; ++y) {
        uint8_t* r = b->GetScanline(y);
        for (auto& s : strokes) {
          if (rng() % 9 == 0) s.first += int32_t(rng() % 3) - 1;
          for (int32_t x = std::max(s.first, 0); x < std::min(s.first + s.second, kA4Width); ++x) {
            r[3 * x] = blue ? 120 : 0;
            r[3 * x + 1] = r[3 * x + 2] = blue ? 20 : 0;
          }
        }
      }
    }
  }
  return b;
}

const std::vector<std::unique_ptr<TIEBitmap>>& FaxPages() {
  static const auto pages = [] {
    std::vector<std::unique_ptr<TIEBitmap>> p;
    for (int i = 0; i < kDistinct; ++i) p.push_back(MakeFaxPage(uint32_t(i + 1)));
    return p;
  }();
  return pages;
}

TIEBitmap* A4Page(bool Photo) {
  static const auto text = MakeA4Page(false);
  static const auto photo = MakeA4Page(true);
  return Photo ? photo.get() : text.get();
}

// Writes Count pages (the distinct fax pages repeated) with our writer.
bool SaveFax(const std::string& Name, int Count) {
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  TFileStream s(Name, fmCreate);
  // Page after page, as the multi-image component's page writer appends.
  TTiffAppendPoint end;
  for (int i = 0; i < Count && !aborting; ++i) {
    TIOParamsVals p;
    p.BitsPerSample = 1;
    p.SamplesPerPixel = 1;
    p.TiffCompression = ietcG4Fax;
    p.TiffPageIndex = i;
    s.SetPosition(0);
    TTiffWriteRequest r;
    r.Stream = &s;
    r.Append = i > 0;
    r.Bitmap = FaxPages()[size_t(i % kDistinct)].get();
    r.Params = &p;
    r.Progress = &progress;
    r.AppendPoint = &end;
    if (TiffWritePage(r) != i + 1) return false;
  }
  return !aborting;
}

bool SaveLzw(const std::string& Name, TIEBitmap* Page) {
  std::atomic<bool> aborting{false};
  TIEProgressRec progress;
  progress.Aborting = &aborting;
  TFileStream s(Name, fmCreate);
  TIOParamsVals p;
  p.BitsPerSample = 8;
  p.SamplesPerPixel = 3;
  p.TiffCompression = ietcLZW;
  return TiffWriteStream(&s, false, Page, p, progress) == 1 && !aborting;
}

// The benchmark files, in a temporary folder removed at the end of the run.
struct Files {
  std::string Dir, Doc, Long, Text, Photo, Out, PeerOut;
  bool Ok = false;
  Files() {
    libtiffpeer::Quiet();
    Dir = (std::filesystem::temp_directory_path() / ("folio-tiff-bench-" + std::to_string(getpid()))).string();
    std::filesystem::create_directories(Dir);
    Doc = Dir + "/document.tif";
    Long = Dir + "/long.tif";
    Text = Dir + "/text.tif";
    Photo = Dir + "/photo.tif";
    Out = Dir + "/ours-out.tif";
    PeerOut = Dir + "/libtiff-out.tif";
    Ok = SaveFax(Doc, kDocPages) && SaveFax(Long, kLongPages) && SaveLzw(Text, A4Page(false)) &&
         SaveLzw(Photo, A4Page(true));
  }
  ~Files() {
    std::error_code ec;
    std::filesystem::remove_all(Dir, ec);
  }
};

Files& TheFiles() {
  static Files f;
  return f;
}

// Our 1-bit page (1 = white) against libtiff's min-is-white strip bits.
bool SameBilevel(TIEBitmap* Ours, const libtiffpeer::Page& Peer) {
  if (!Ours || Ours->GetPixelFormat() != ie1g || uint32_t(Ours->GetWidth()) != Peer.Width ||
      uint32_t(Ours->GetHeight()) != Peer.Height)
    return false;
  const size_t full = Peer.Width / 8;
  const uint8_t lastMask = uint8_t(0xFF00 >> (Peer.Width % 8));
  for (uint32_t y = 0; y < Peer.Height; ++y) {
    const uint8_t* a = Ours->GetScanline(int32_t(y));
    const uint8_t* b = Peer.Pixels.data() + y * Peer.Stride;
    for (size_t i = 0; i < full; ++i)
      if (a[i] != uint8_t(~b[i])) return false;
    if (lastMask && ((a[full] ^ uint8_t(~b[full])) & lastMask)) return false;
  }
  return true;
}

// Our blue, green, red rows against libtiff's red, green, blue.
bool SameRgb(TIEBitmap* Ours, const libtiffpeer::Page& Peer) {
  if (!Ours || Ours->GetPixelFormat() != ie24RGB || uint32_t(Ours->GetWidth()) != Peer.Width ||
      uint32_t(Ours->GetHeight()) != Peer.Height || Peer.Samples != 3 || Peer.Bits != 8)
    return false;
  for (uint32_t y = 0; y < Peer.Height; ++y) {
    const uint8_t* a = Ours->GetScanline(int32_t(y));
    const uint8_t* b = Peer.Pixels.data() + y * Peer.Stride;
    for (uint32_t x = 0; x < Peer.Width; ++x)
      if (a[3 * x] != b[3 * x + 2] || a[3 * x + 1] != b[3 * x + 1] || a[3 * x + 2] != b[3 * x]) return false;
  }
  return true;
}

// Times Ours and Peer back to back per iteration (alternating which goes
// first) and reports both rates in Unit per second.
template <typename OursFn, typename PeerFn>
void RunSideBySide(benchmark::State& State, double Units, const char* Unit, OursFn Ours, PeerFn Peer) {
  double ours = 0, peer = 0;
  bool failed = false;
  bool oursFirst = true;
  for (auto _ : State) {
    double t = 0, p = 0;
    for (int k = 0; k < 2; ++k) {
      const bool runOurs = (k == 0) == oursFirst;
      const auto start = Clock::now();
      const bool ok = runOurs ? Ours() : Peer();
      (runOurs ? t : p) = Since(start);
      failed = failed || !ok;
    }
    oursFirst = !oursFirst;
    ours += t;
    peer += p;
    State.SetIterationTime(t);
  }
  if (failed) {
    State.SkipWithError("a run failed");
    return;
  }
  const double n = double(State.iterations());
  const std::string u(Unit);
  State.counters["folio_" + u + "_per_s"] = n * Units / ours;
  State.counters["libtiff_" + u + "_per_s"] = n * Units / peer;
  State.counters["speed_vs_libtiff"] = peer / ours;
}

// ---- Group 4 decode of every page through the single-image component by
// page index (the file opened for every page, as a viewer paging through a
// document does) ----

bool LoadByIndex(TFolioIO& IO, const std::string& Name, int Index) {
  IO.GetParams()->TiffPageIndex = Index;
  IO.LoadFromFile(Name);
  return !IO.GetAborting();
}

void BM_G4DecodeFolioIO(benchmark::State& State) {
  Files& f = TheFiles();
  if (!f.Ok) return State.SkipWithError("cannot write the files");
  TFolioIO io;
  {
    std::vector<libtiffpeer::Page> peerPages;
    libtiffpeer::Page scratch;
    if (libtiffpeer::ReadAll(f.Doc, scratch, &peerPages) != kDocPages)
      return State.SkipWithError("libtiff cannot read the document");
    for (int i = 0; i < kDocPages; ++i)
      if (!LoadByIndex(io, f.Doc, i) || !SameBilevel(io.GetIEBitmap(), peerPages[size_t(i)]))
        return State.SkipWithError("a page differs from libtiff's");
  }
  libtiffpeer::Page scratch;
  RunSideBySide(
      State, kDocPages, "pages",
      [&] {
        bool ok = true;
        for (int i = 0; i < kDocPages; ++i) ok = LoadByIndex(io, f.Doc, i) && ok;
        return ok;
      },
      [&] { return libtiffpeer::ReadAll(f.Doc, scratch) == kDocPages; });
}
BENCHMARK(BM_G4DecodeFolioIO)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// ---- the whole document into a page list through the multi-image component
// ----

void BM_G4DecodeFolioMIO(benchmark::State& State) {
  Files& f = TheFiles();
  if (!f.Ok) return State.SkipWithError("cannot write the files");
  auto load = [&](TFolioMView& View) {
    TFolioMIO mio(nullptr);
    mio.SetAttachedMView(&View);
    View.SetImageCacheSize(kDocPages);
    mio.LoadTiffFile(f.Doc);
    return !mio.GetAborting() && View.GetImageCount() == kDocPages;
  };
  {
    std::vector<libtiffpeer::Page> peerPages;
    libtiffpeer::Page scratch;
    TFolioMView view(nullptr);
    if (libtiffpeer::ReadAll(f.Doc, scratch, &peerPages) != kDocPages || !load(view))
      return State.SkipWithError("the document cannot be read");
    for (int i = 0; i < kDocPages; ++i) {
      TIEBitmap page;
      view.CopyToIEBitmap(i, &page);
      if (!SameBilevel(&page, peerPages[size_t(i)])) return State.SkipWithError("a page differs from libtiff's");
    }
  }
  libtiffpeer::Page scratch;
  RunSideBySide(
      State, kDocPages, "pages",
      [&] {
        TFolioMView view(nullptr);
        return load(view);
      },
      [&] { return libtiffpeer::ReadAll(f.Doc, scratch) == kDocPages; });
}
BENCHMARK(BM_G4DecodeFolioMIO)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// ---- Group 4 encode of the 96-page document to a file ----

libtiffpeer::WritePage PeerFaxPage(TIEBitmap* Page) {
  libtiffpeer::WritePage w;
  w.Width = uint32_t(Page->GetWidth());
  w.Height = uint32_t(Page->GetHeight());
  w.Stride = (w.Width + 7) / 8;
  w.Pixels.resize(w.Stride * w.Height);
  // libtiff takes min-is-white rows: 1 = black.
  for (uint32_t y = 0; y < w.Height; ++y) {
    const uint8_t* r = Page->GetScanline(int32_t(y));
    for (size_t i = 0; i < w.Stride; ++i) w.Pixels[y * w.Stride + i] = uint8_t(~r[i]);
  }
  return w;
}

void BM_G4EncodeToFile(benchmark::State& State) {
  Files& f = TheFiles();
  if (!f.Ok) return State.SkipWithError("cannot write the files");
  std::vector<libtiffpeer::WritePage> peerPages;
  for (const auto& p : FaxPages()) peerPages.push_back(PeerFaxPage(p.get()));
  std::vector<const libtiffpeer::WritePage*> peerDoc;
  for (int i = 0; i < kDocPages; ++i) peerDoc.push_back(&peerPages[size_t(i % kDistinct)]);
  auto ours = [&] { return SaveFax(f.Out, kDocPages); };
  {
    // Our file read by libtiff gives the pages back.
    std::vector<libtiffpeer::Page> back;
    libtiffpeer::Page scratch;
    if (!ours() || libtiffpeer::ReadAll(f.Out, scratch, &back) != kDocPages)
      return State.SkipWithError("our document cannot be read by libtiff");
    for (int i = 0; i < kDocPages; ++i)
      if (!SameBilevel(FaxPages()[size_t(i % kDistinct)].get(), back[size_t(i)]))
        return State.SkipWithError("a written page differs");
  }
  RunSideBySide(State, kDocPages, "pages", ours, [&] { return libtiffpeer::WriteAll(f.PeerOut, peerDoc); });
}
BENCHMARK(BM_G4EncodeToFile)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// ---- LZW with the horizontal predictor on A4 colour pages ----

void BM_LzwDecode(benchmark::State& State) {
  Files& f = TheFiles();
  if (!f.Ok) return State.SkipWithError("cannot write the files");
  const std::string& name = State.range(0) ? f.Photo : f.Text;
  TFolioIO io;
  libtiffpeer::Page peer;
  if (libtiffpeer::ReadAll(name, peer) != 1 || !LoadByIndex(io, name, 0) || !SameRgb(io.GetIEBitmap(), peer))
    return State.SkipWithError("the page differs from libtiff's");
  State.SetLabel(State.range(0) ? "photo" : "text");
  RunSideBySide(
      State, 1, "pages", [&] { return LoadByIndex(io, name, 0); },
      [&] { return libtiffpeer::ReadAll(name, peer) == 1; });
}
BENCHMARK(BM_LzwDecode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

void BM_LzwEncode(benchmark::State& State) {
  Files& f = TheFiles();
  if (!f.Ok) return State.SkipWithError("cannot write the files");
  TIEBitmap* page = A4Page(State.range(0) != 0);
  libtiffpeer::WritePage w;
  w.Width = kA4Width;
  w.Height = kA4Height;
  w.Samples = 3;
  w.Bits = 8;
  w.Photometric = PHOTOMETRIC_RGB;
  w.Compression = COMPRESSION_LZW;
  w.Predictor = 2;
  int32_t rps = 0, strips = 0;
  TiffStripLayout(kA4Height, page->GetRowLen(), rps, strips);
  w.RowsPerStrip = uint32_t(rps);
  w.Stride = size_t(kA4Width) * 3;
  w.Pixels.resize(w.Stride * kA4Height);
  for (int32_t y = 0; y < kA4Height; ++y) {
    const uint8_t* r = page->GetScanline(y);
    uint8_t* d = w.Pixels.data() + size_t(y) * w.Stride;
    for (int32_t x = 0; x < kA4Width; ++x) {
      d[3 * x] = r[3 * x + 2];
      d[3 * x + 1] = r[3 * x + 1];
      d[3 * x + 2] = r[3 * x];
    }
  }
  {
    libtiffpeer::Page back;
    if (!SaveLzw(f.Out, page) || libtiffpeer::ReadAll(f.Out, back) != 1 || !SameRgb(page, back))
      return State.SkipWithError("our page cannot be read back by libtiff");
  }
  State.SetLabel(State.range(0) ? "photo" : "text");
  RunSideBySide(
      State, 1, "pages", [&] { return SaveLzw(f.Out, page); },
      [&] { return libtiffpeer::WriteAll(f.PeerOut, {&w}); });
}
BENCHMARK(BM_LzwEncode)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseManualTime()->MinTime(2.0);

// ---- opening page N of a 1,000-page fax: the page decoded and the pages
// counted.  "first": the file has not been read before in this process;
// "again": it has, unchanged ----

void BM_FaxOpenPage(benchmark::State& State) {
  Files& f = TheFiles();
  if (!f.Ok) return State.SkipWithError("cannot write the files");
  const int index = int(State.range(0)) - 1;
  const bool first = State.range(1) == 0;
  TFolioIO io;
  libtiffpeer::Page peer;
  auto ours = [&] {
    if (first) TiffForgetChains();
    io.GetParams()->TiffPageIndex = index;
    return io.LoadTiffFile(f.Long) == kLongPages && !io.GetAborting();
  };
  if (libtiffpeer::OpenPage(f.Long, index, peer) != kLongPages || !ours() || !SameBilevel(io.GetIEBitmap(), peer))
    return State.SkipWithError("the page differs from libtiff's");
  State.SetLabel(std::string("page ") + std::to_string(index + 1) + (first ? " first" : " again"));
  RunSideBySide(State, 1, "opens", ours, [&] { return libtiffpeer::OpenPage(f.Long, index, peer) == kLongPages; });
}
BENCHMARK(BM_FaxOpenPage)
    ->Args({1, 0})
    ->Args({500, 0})
    ->Args({1000, 0})
    ->Args({1, 1})
    ->Args({500, 1})
    ->Args({1000, 1})
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(1.0);

}  // namespace
