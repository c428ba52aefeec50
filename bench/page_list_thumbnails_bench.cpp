// Thumbnails of a long fax in the page list: the column of cells a user sees
// when a document of G4 pages opens.
//
// The input, A4 fax pages at 200 DPI (1728 x 2200, 1 bit) with rows of
// text-like runs that differ per page, is written once per instance by our
// own TIFF writer (G4) into a temporary folder removed afterwards.
//
// Measured: the time from an empty view to its first screen of thumbnails
// (one entry per page from the file's page count, then one paint), and the
// time to make every thumbnail (the column scrolled screen by screen and
// painted), with the peak resident memory above the start.  Beside it, in
// the same run, ImageMagick makes the same thumbnails (-thumbnail into PNG
// files) from the same pages; its start-up, measured on one page, is taken
// off.  The
// ratio peer / ours > 1 means we are faster.
#include <atomic>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <malloc.h>
#include <unistd.h>

#include "bench_support.h"
#include "formats/io_params.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "platform/gdi/bitmap.h"
#include "platform/rtl/streams.h"
#include "views/multi_view.h"

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2200;

struct FaxDocument {
  std::string Dir, File;
  bool Ok = false;
  explicit FaxDocument(int32_t Pages) {
    Dir = (std::filesystem::temp_directory_path() /
           ("folio-thumbs-bench-" + std::to_string(getpid()) + "-" + std::to_string(Pages)))
              .string();
    std::filesystem::create_directories(Dir);
    File = Dir + "/fax.tif";
    Ok = Write(File, 0, Pages);
    for (int32_t k = 0; k < Pages && Ok; ++k) Ok = Write(Dir + "/page" + std::to_string(k) + ".tif", k, 1);
  }
  ~FaxDocument() {
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
  // Pages First .. First + Count - 1 of the document into one file.
  static bool Write(const std::string& Name, int32_t First, int32_t Count) {
    TIEBitmap Page(kWidth, kHeight, ie1g);
    std::atomic<bool> Aborting{false};
    TIEProgressRec Progress;
    Progress.Aborting = &Aborting;
    TFileStream S(Name, fmCreate);
    for (int32_t n = 0; n < Count && !Aborting; ++n) {
      const int32_t k = First + n;
      uint32_t Seed = 12345u + uint32_t(k) * 7919u;
      Page.Fill(1);
      // Lines of "words": black runs of 2..12 pixels in 24-row text lines.
      for (int32_t Line = 150 + (k % 7) * 3; Line + 20 < kHeight - 150; Line += 36)
        for (int32_t X = 120; X < kWidth - 120;) {
          Seed = Seed * 1103515245u + 12345u;
          const int32_t Run = 2 + int32_t((Seed >> 16) % 11);
          const int32_t Rows = 12 + int32_t((Seed >> 8) % 10);
          if ((Seed >> 24) % 3 != 0) Page.FillRect(X, Line, X + Run - 1, Line + Rows, 0);
          X += Run + 2 + int32_t((Seed >> 4) % 9);
        }
      TIOParamsVals Params(nullptr);
      Params.TiffCompression = ietcG4Fax;
      Params.BitsPerSample = 1;
      Params.SamplesPerPixel = 1;
      Params.SetDpiX(200);
      Params.SetDpiY(200);
      Params.SetImageIndex(n);
      S.SetPosition(0);
      if (TiffWriteStream(&S, n > 0, &Page, Params, Progress) != n + 1) Aborting = true;
    }
    return !Aborting;
  }
};

// ImageMagick makes one thumbnail per page in one process.  It gets the
// same pages as one single-page G4 file each (written by our writer, not
// timed): reading frame k of the long file makes it go through the frames
// before k, and reading the whole file at once exhausts its pixel cache.
// The command goes through a script: it is longer than one argument may be.
double PeerSeconds(const std::string& PagePrefix, int32_t Pages, const std::string& OutDir) {
  const std::string Script = OutDir + "/peer.sh";
  {
    std::string Cmd = "convert";
    for (int32_t k = 0; k < Pages; ++k)
      Cmd += " '" + PagePrefix + std::to_string(k) + ".tif' -thumbnail 100x150 -write '" + OutDir + "/t" +
             std::to_string(k) + ".png' +delete";
    Cmd += " xc:white null:\n";
    FILE* F = std::fopen(Script.c_str(), "w");
    if (!F) return -1;
    std::fputs(Cmd.c_str(), F);
    std::fclose(F);
  }
  const auto Start = std::chrono::steady_clock::now();
  const int Rc = std::system(("sh '" + Script + "'").c_str());
  const double S = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
  if (Rc != 0) std::fprintf(stderr, "peer failed (%d)\n", Rc);
  return Rc == 0 ? S : -1;
}

void BM_PageListThumbnails(benchmark::State& State) {
  const int32_t Pages = int32_t(State.range(0));
  FaxDocument Doc(Pages);
  if (!Doc.Ok) {
    State.SkipWithError("the fax could not be written");
    return;
  }
  double FirstScreen = 0, AllThumbs = 0;
  int64_t BaseKB = 0, PeakKB = 0;
  bool Complete = true;
  for (auto _ : State) {
    TFolioMView View(nullptr);
    View.SetBounds(0, 0, 130, 800);
    View.SetStoreType(ietThumb);
    View.SetThumbWidth(100);
    View.SetThumbHeight(150);
    View.SetGridWidth(1);
    TBitmap Screen;
    Screen.SetPixelFormat(pf32bit);
    Screen.SetSize(View.GetClientWidth(), View.GetClientHeight());
    malloc_trim(0);
    benchsupport::ResetPeak();
    BaseKB = benchsupport::StatusKB("VmRSS");
    const auto Start = std::chrono::steady_clock::now();
    View.FillFromFileFrames(Doc.File);
    View.PaintBackground(&Screen);
    FirstScreen = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    while (View.GetScrollY() < View.GetMaxScrollY()) {
      View.SetScrollY(View.GetScrollY() + View.GetClientHeight());
      View.PaintBackground(&Screen);
    }
    AllThumbs = std::chrono::duration<double>(std::chrono::steady_clock::now() - Start).count();
    PeakKB = benchsupport::StatusKB("VmHWM");
    for (int32_t i = 0; i < View.GetImageCount(); ++i)
      Complete = Complete && (View.HasImage(i) || View.HasDisplayCopy(i));
    Complete = Complete && View.GetImageCount() == Pages;
  }
  if (!Complete) State.SkipWithError("some pages got no thumbnail");
  const double PeerStart = PeerSeconds(Doc.Dir + "/page", 1, Doc.Dir);
  const double Peer = PeerSeconds(Doc.Dir + "/page", Pages, Doc.Dir);
  State.counters["pages"] = Pages;
  State.counters["first_screen_ms"] = FirstScreen * 1000;
  State.counters["all_thumbs_s"] = AllThumbs;
  State.counters["peak_over_start_MB"] = double(PeakKB - BaseKB) / 1024.0;
  if (Peer > 0 && PeerStart > 0) {
    State.counters["imagemagick_s"] = Peer - PeerStart;
    State.counters["ratio_peer_over_ours"] = (Peer - PeerStart) / AllThumbs;
  }
}
BENCHMARK(BM_PageListThumbnails)->Arg(100)->Arg(1000)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

}  // namespace
