// The program's main road on a 100-page Group 4 fax: from creating the main
// window with the file on its command line to the first page shown (library
// start-up, form, every page into the page list, page 0 into the page view),
// and saving the whole document as PDF; each beside a peer a user would pick,
// in the same run, on the same file.
//
// Peers: for the start-up ImageMagick's `convert 'fax.tif[0]' page.png`
// (reading the first page only) and libtiff's `tiffinfo -D` (decoding every
// page, as the page list must; speed_vs_peer is against this one); libtiff's
// `tiff2pdf` for the PDF. A peer's own start-up is not counted against it: each iteration also
// runs the peer on a one-page fax and only the difference is timed, as the
// extra 99 pages are the work being compared. Ours is timed whole, its
// start-up included. Counters: our seconds, the peer's, and speed_vs_peer
// (> 1: we are faster).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/library_steps.h"
#include "app/main_form.h"
#include "foundations/library_startup.h"
#include "io/multi_io.h"
#include "platform/vcl/application.h"
#include "platform/vcl/dialogs.h"
#include "views/multi_view.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

struct TFiles {
  std::string Dir, Fax100, Fax1;
  bool Ok = false;
};

// The documents, made once by ImageMagick: typed-looking pages at 204 x 196 DPI.
const TFiles& Files() {
  static TFiles F = [] {
    TFiles R;
    R.Dir = (fs::temp_directory_path() / ("folivra-startup-bench-" + std::to_string(getpid()))).string();
    fs::create_directories(R.Dir);
    R.Fax1 = R.Dir + "/fax1.tif";
    R.Fax100 = R.Dir + "/fax100.tif";
    const std::string Page = R.Dir + "/page.tif";
    std::string Cmd = "convert -size 1728x2200 xc:white -fill black";
    for (int y = 200; y < 2100; y += 48) Cmd += " -draw 'rectangle 150," + std::to_string(y) + " 1550," +
                                                std::to_string(y + 18) + "'";
    Cmd += " -density 204x196 -units PixelsPerInch -monochrome -compress Group4 " + Page;
    if (std::system(Cmd.c_str()) != 0) return R;
    std::string List;
    for (int i = 0; i < 100; ++i) List += " " + Page;
    R.Ok = std::system(("tiffcp" + List + " " + R.Fax100).c_str()) == 0 &&
           std::system(("tiffcp " + Page + " " + R.Fax1).c_str()) == 0;
    return R;
  }();
  return F;
}

double Seconds(Clock::time_point A, Clock::time_point B) { return std::chrono::duration<double>(B - A).count(); }

double TimeCommand(const std::string& Cmd) {
  const auto T0 = Clock::now();
  const int S = std::system((Cmd + " >/dev/null 2>&1").c_str());
  const auto T1 = Clock::now();
  return S == 0 ? Seconds(T0, T1) : -1;
}

// Opens the document as the program does; answers the seconds to the first
// page shown and leaves the window for the caller to free.
double OpenWindow(const std::string& File, Tform_multipage*& Form) {
  const auto T0 = Clock::now();
  ProgramArguments() = {"folivra", File};
  FolivraInstallLibrarySteps();
  IEStaticInitialize();
  Form = new Tform_multipage(Application);
  Form->Show();
  QApplication::processEvents();
  const auto T1 = Clock::now();
  return Seconds(T0, T1);
}

void CloseWindow(Tform_multipage* Form) {
  delete Form;
  QApplication::processEvents();
  IEStaticFinalize();
}

void BM_StartupToFirstPageVsPeers(benchmark::State& State) {
  const TFiles& F = Files();
  if (!F.Ok) {
    State.SkipWithError("ImageMagick or tiffcp is missing");
    return;
  }
  SetMessageBoxHook([](const TMessageBoxRequest&) { return mrOk; });
  double Ours = 0, Peer = 0, First = 0;
  for (auto _ : State) {
    Tform_multipage* Form = nullptr;
    Ours += OpenWindow(F.Fax100, Form);
    if (Form->PageCount() != 100) State.SkipWithError("the document did not open");
    CloseWindow(Form);
    // Peers: ImageMagick showing the first page (it reads only that one),
    // and libtiff decoding every page (what the page list needs).
    const double FirstLong = TimeCommand("convert '" + F.Fax100 + "[0]' " + F.Dir + "/first.png");
    const double FirstShort = TimeCommand("convert '" + F.Fax1 + "[0]' " + F.Dir + "/first.png");
    First += FirstLong - FirstShort;
    const double AllLong = TimeCommand("tiffinfo -D " + F.Fax100);
    const double AllShort = TimeCommand("tiffinfo -D " + F.Fax1);
    Peer += AllLong - AllShort;
  }
  SetMessageBoxHook(nullptr);
  const double N = static_cast<double>(State.iterations());
  State.counters["ours_s"] = Ours / N;
  State.counters["imagemagick_first_page_s"] = First / N;
  State.counters["libtiff_all_pages_s"] = Peer / N;
  State.counters["speed_vs_peer"] = Ours > 0 ? Peer / Ours : 0;
}
BENCHMARK(BM_StartupToFirstPageVsPeers)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_SaveAsPdfVsTiff2pdf(benchmark::State& State) {
  const TFiles& F = Files();
  if (!F.Ok) {
    State.SkipWithError("ImageMagick or tiffcp is missing");
    return;
  }
  SetMessageBoxHook([](const TMessageBoxRequest&) { return mrOk; });
  Tform_multipage* Form = nullptr;
  OpenWindow(F.Fax100, Form);
  double Ours = 0, Peer = 0;
  const std::string Out = F.Dir + "/ours.pdf";
  for (auto _ : State) {
    const auto T0 = Clock::now();
    Form->FolioMIO1->SavePdfFile(Out);
    Ours += Seconds(T0, Clock::now());
    // tiff2pdf copies Group 4 strips as they are, so its extra pages cost
    // little beside its start-up: several runs keep the difference out of the
    // noise.
    double Long = 0, Short = 0;
    for (int r = 0; r < 5; ++r) {
      Long += TimeCommand("tiff2pdf -o " + F.Dir + "/peer.pdf " + F.Fax100);
      Short += TimeCommand("tiff2pdf -o " + F.Dir + "/peer1.pdf " + F.Fax1);
    }
    Peer += (Long - Short) / 5;
  }
  CloseWindow(Form);
  SetMessageBoxHook(nullptr);
  const double N = static_cast<double>(State.iterations());
  State.counters["ours_s"] = Ours / N;
  State.counters["tiff2pdf_s"] = Peer / N;
  State.counters["speed_vs_peer"] = Ours > 0 ? Peer / Ours : 0;
}
BENCHMARK(BM_SaveAsPdfVsTiff2pdf)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
