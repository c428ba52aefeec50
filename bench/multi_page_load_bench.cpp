// Loading a long colour document into the page list: A4 pages at 200 DPI in
// 24-bit colour (1654 x 2339, about 11.6 MB each) through the multi-image I/O
// component into a multi-image view, the way the application opens a file.
//
// The input is written once per benchmark instance by our own TIFF writer,
// LZW-coded bands that differ per page (a few MB for the whole document),
// into a temporary folder that is removed afterwards.
//
// Counters: load seconds per page, the peak resident memory of the load above
// what was resident before it (the peak is reset first), the capacity of the
// view's image store (its temporary file) and the view's cache size, and the
// most pages the store held mapped at once during the load.  The peak follows
// the cache size, not the page count: the two page counts run with the same
// cache and should show about the same peak.
#include <atomic>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <malloc.h>
#include <unistd.h>

#include "bench_support.h"
#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "formats/io_params.h"
#include "io/multi_io.h"
#include "foundations/progress.h"
#include "formats/tiff/tiff_writer.h"
#include "platform/rtl/streams.h"
#include "views/multi_view.h"

namespace {

constexpr int32_t kWidth = 1654;
constexpr int32_t kHeight = 2339;

// The document of Pages pages in a fresh temporary folder, removed with the
// object.  Page k: bands of 64 rows in colours drawn from k, and a dark
// block whose place depends on k.
struct Document {
  std::string Dir, File;
  bool Ok = false;
  explicit Document(int32_t Pages) {
    Dir = (std::filesystem::temp_directory_path() / ("folio-mpload-bench-" + std::to_string(getpid()) + "-" +
                                                     std::to_string(Pages)))
              .string();
    std::filesystem::create_directories(Dir);
    File = Dir + "/document.tif";
    TIEBitmap Page;
    Page.SetMemoryThreshold(INT64_MAX);
    Page.Allocate(kWidth, kHeight, ie24RGB);
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    TFileStream S(File, fmCreate);
    for (int32_t k = 0; k < Pages && !Aborting; ++k) {
      for (int32_t Y = 0; Y < kHeight; ++Y) {
        uint8_t* Row = Page.GetScanline(Y);
        const int32_t Band = Y / 64;
        const uint8_t C0 = uint8_t(Band * 7 + k), C1 = uint8_t(Band * 13 + 3 * k), C2 = uint8_t(255 - Band - k);
        const bool InBlock = Y >= (k * 37) % (kHeight - 200) && Y < (k * 37) % (kHeight - 200) + 200;
        const int32_t BlockX = (k * 53) % (kWidth - 300);
        for (int32_t X = 0; X < kWidth; ++X) {
          const bool Dark = InBlock && X >= BlockX && X < BlockX + 300;
          Row[3 * X] = Dark ? 0 : C0;
          Row[3 * X + 1] = Dark ? 0 : C1;
          Row[3 * X + 2] = Dark ? 0 : C2;
        }
      }
      TIOParamsVals Params(nullptr);
      Params.TiffCompression = ietcLZW;
      Params.SetDpiX(200);
      Params.SetDpiY(200);
      Params.SetImageIndex(k);
      S.SetPosition(0);
      if (TiffWriteStream(&S, k > 0, &Page, Params, Progress) != k + 1) Aborting = true;
    }
    Ok = !Aborting;
  }
  ~Document() {
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
};

// Args: page count, view cache size.
void BM_MultiPageLoad(benchmark::State& State) {
  const int32_t Pages = int32_t(State.range(0));
  const int32_t Cache = int32_t(State.range(1));
  Document Doc(Pages);
  if (!Doc.Ok) {
    State.SkipWithError("the document could not be written");
    return;
  }
  int64_t BaseKB = 0, PeakKB = 0, Capacity = 0, InputBytes = 0;
  int32_t Loaded = 0, MostMapped = 0;
  bool FileBacked = true, Failed = false;
  double Seconds = 0;
  InputBytes = int64_t(std::filesystem::file_size(Doc.File));
  for (auto _ : State) {
    State.PauseTiming();
    {
      TFolioMView View(nullptr);
      TFolioMIO MIO(nullptr);
      MIO.SetAttachedMView(&View);
      View.SetImageCacheSize(Cache);
      TIEVirtualImageList* Store = View.GetImageList();
      MIO.OnProgress = [&](TObject*, int32_t) { MostMapped = std::max(MostMapped, Store->GetMappedCount()); };
      // Freed memory of earlier runs goes back to the system first, so the
      // rise measured is this load's own.
      malloc_trim(0);
      benchsupport::ResetPeak();
      BaseKB = benchsupport::StatusKB("VmRSS");
      State.ResumeTiming();
      const auto Start = std::chrono::steady_clock::now();
      MIO.LoadTiffFile(Doc.File);
      Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
      State.PauseTiming();
      PeakKB = benchsupport::StatusKB("VmHWM");
      Loaded = View.GetImageCount();
      Failed = Failed || MIO.GetAborting();
      Capacity = Store->GetCapacity();
      FileBacked = FileBacked && Store->IsFileBacked();
    }
    State.ResumeTiming();
  }
  if (Failed || Loaded != Pages) State.SkipWithError("the load failed or lost pages");
  const int64_t PageBytes = int64_t(((kWidth * 24 + 31) / 32) * 4) * kHeight;
  State.SetBytesProcessed(State.iterations() * Pages * PageBytes);
  State.counters["pages"] = Pages;
  State.counters["cache"] = Cache;
  State.counters["ms_per_page"] = Seconds * 1000.0 / Pages;
  State.counters["peak_over_start_MB"] = double(PeakKB - BaseKB) / 1024.0;
  State.counters["peak_rss_MB"] = double(PeakKB) / 1024.0;
  State.counters["store_capacity_MB"] = double(Capacity) / 1048576.0;
  State.counters["input_file_MB"] = double(InputBytes) / 1048576.0;
  State.counters["most_mapped"] = MostMapped;
  State.counters["file_backed"] = FileBacked ? 1 : 0;
}
BENCHMARK(BM_MultiPageLoad)
    ->Args({100, 10})
    ->Args({500, 10})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
