// A long fine-mode fax (1,000 pages of 1728 x 2156 at 204 x 196 DPI, made by
// Ghostscript's tiffg4 device and repeated by tiffcp) opened in the program
// and saved as Group 4 TIFF and as PDF, beside what a user would run on the
// same file: `tiffcp -c g4` and `tiff2pdf`.
//
// Memory is the point: every side runs in a process of its own, and its peak
// resident memory is getrusage's for that process (the program's includes
// its whole run: Qt, the window, opening and both saves).  The same run on a
// 100-page copy shows whether memory follows the page count.  Times: ours
// are measured inside the program around each step; a peer's are its whole
// run less its run on a one-page fax (its start-up is not counted against
// it).  Each side's best time of three runs counts.  Before anything is
// reported, the program's TIFF is checked equal to the source, page for
// page, with tiffcmp.
//
// Counters: pages; ours_open_s, ours_tiff_s, ours_pdf_s, ours_peak_mb;
// tiffcp_s, tiffcp_peak_mb, tiff2pdf_s, tiff2pdf_peak_mb;
// tiff_speed_vs_tiffcp and pdf_speed_vs_tiff2pdf (> 1: we are faster);
// peak_vs_100_pages (our peak here over our peak on 100 pages).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/library_steps.h"
#include "app/main_form.h"
#include "bench_support.h"
#include "foundations/library_startup.h"
#include "platform/vcl/application.h"
#include "platform/vcl/dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

double Since(Clock::time_point T0) { return std::chrono::duration<double>(Clock::now() - T0).count(); }

// The child: the program opens the fax given on its command line, as a user
// starts it, then saves it as TIFF and as PDF.  Prints its step times.
int LongFaxChild(const std::vector<std::string>& Args) {
  if (Args.size() < 2) return 2;
  const std::string Fax = Args[0], Out = Args[1];
  SetMessageBoxHook([](const TMessageBoxRequest&) { return mrOk; });
  const auto T0 = Clock::now();
  ProgramArguments() = {"folivra", Fax};
  FolivraInstallLibrarySteps();
  IEStaticInitialize();
  auto* Form = new Tform_multipage(Application);
  Form->Show();
  QApplication::processEvents();
  const double Open = Since(T0);
  const int32_t Pages = Form->PageCount();
  auto T1 = Clock::now();
  const bool Tiff = Form->WriteDocumentAs(Out + "/ours.tif");
  const double TiffS = Since(T1);
  T1 = Clock::now();
  const bool Pdf = Form->WriteDocumentAs(Out + "/ours.pdf");
  const double PdfS = Since(T1);
  Form->SetModified(false);
  delete Form;
  QApplication::processEvents();
  IEStaticFinalize();
  std::printf("pages %d open %.6f tiff %.6f pdf %.6f written %d\n", Pages, Open, TiffS, PdfS, Tiff && Pdf ? 1 : 0);
  return 0;
}
const bool GRegistered = benchsupport::RegisterBenchChild("long-fax", LongFaxChild);

struct TFaxes {
  std::string Dir, One, Hundred, Thousand;
  bool Ok = false;
};

// Ten pages of typed-looking text rendered by Ghostscript, repeated by
// tiffcp to one, 100 and 1,000 pages; made once per machine.
const TFaxes& Faxes() {
  static TFaxes F = [] {
    TFaxes R;
    R.Dir = (fs::temp_directory_path() / ("folivra-long-fax-bench-" + std::to_string(getuid()))).string();
    fs::create_directories(R.Dir);
    R.One = R.Dir + "/fax1.tif";
    R.Hundred = R.Dir + "/fax100.tif";
    R.Thousand = R.Dir + "/fax1000.tif";
    if (fs::exists(R.Thousand) && fs::exists(R.Hundred) && fs::exists(R.One)) {
      R.Ok = true;
      return R;
    }
    const std::string Ps = R.Dir + "/text.ps", Ten = R.Dir + "/fax10.tif";
    {
      std::ofstream P(Ps);
      P << "%!PS\n/Courier findfont 10 scalefont setfont\n";
      for (int Page = 1; Page <= 10; ++Page) {
        P << "/Helvetica-Bold findfont 20 scalefont setfont 60 740 moveto (Facsimile page " << Page
          << ") show\n/Courier findfont 10 scalefont setfont\n";
        for (int Line = 0; Line < 58; ++Line)
          P << "50 " << 712 - Line * 11 << " moveto (" << Page * 100 + Line
            << "  The quick brown fox jumps over the lazy dog; 0123456789 " << (Line * 7919 + Page) % 100000
            << ") show\n";
        P << "showpage\n";
      }
    }
    if (std::system(("gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffg4 -r204x196 -g1728x2156 -sOutputFile=" + Ten +
                     " " + Ps + " >/dev/null 2>&1")
                        .c_str()) != 0)
      return R;
    auto Repeat = [&](const std::string& Out, int Times) {
      std::string List;
      for (int i = 0; i < Times; ++i) List += " " + Ten;
      const std::string Aside = Out + ".part";
      return std::system(("tiffcp" + List + " " + Aside + " && mv " + Aside + " " + Out).c_str()) == 0;
    };
    R.Ok = std::system(("tiffcp " + Ten + ",0 " + R.One + ".part && mv " + R.One + ".part " + R.One).c_str()) == 0 &&
           Repeat(R.Hundred, 10) && Repeat(R.Thousand, 100);
    return R;
  }();
  return F;
}

struct TOurs {
  int Pages = 0;
  double Open = 0, Tiff = 0, Pdf = 0;
  int64_t PeakKB = 0;
  bool Written = false;
};

TOurs RunOurs(const std::string& Fax, const std::string& Out) {
  fs::create_directories(Out);
  const benchsupport::TProcessRun R =
      benchsupport::RunProcess({fs::read_symlink("/proc/self/exe").string(), "--bench-child=long-fax", Fax, Out});
  TOurs O;
  std::istringstream In(R.Output);
  std::string Word;
  int Written = 0;
  In >> Word >> O.Pages >> Word >> O.Open >> Word >> O.Tiff >> Word >> O.Pdf >> Word >> Written;
  O.Written = R.Status == 0 && Written == 1;
  O.PeakKB = R.PeakKB;
  return O;
}

void BM_LongFaxOpenAndSaveVsTiffcpAndTiff2pdf(benchmark::State& State) {
  const TFaxes& F = Faxes();
  if (!F.Ok) {
    State.SkipWithError("Ghostscript or tiffcp is missing");
    return;
  }
  const int Pages = int(State.range(0));
  const std::string Fax = Pages == 1000 ? F.Thousand : F.Hundred;
  const std::string Out = F.Dir + "/out" + std::to_string(Pages);
  // Best time of the iterations on each side (the machine's load falls on
  // both alike), highest peak.
  TOurs Ours;
  double TiffcpS = 1e9, Tiff2pdfS = 1e9;
  int64_t TiffcpKB = 0, Tiff2pdfKB = 0;
  bool First = true;
  for (auto _ : State) {
    const TOurs Run = RunOurs(Fax, Out);
    if (!Run.Written || Run.Pages != Pages) {
      State.SkipWithError("the program did not open and save the fax");
      return;
    }
    if (First && std::system(("tiffcmp -t " + Fax + " " + Out + "/ours.tif >/dev/null 2>&1").c_str()) != 0) {
      State.SkipWithError("the saved TIFF differs from the source");
      return;
    }
    if (First) {
      Ours = Run;
    } else {
      Ours.Open = std::min(Ours.Open, Run.Open);
      Ours.Tiff = std::min(Ours.Tiff, Run.Tiff);
      Ours.Pdf = std::min(Ours.Pdf, Run.Pdf);
      Ours.PeakKB = std::max(Ours.PeakKB, Run.PeakKB);
    }
    First = false;
    const auto Tiffcp = benchsupport::RunProcess({"tiffcp", "-c", "g4", Fax, Out + "/tiffcp.tif"});
    const auto Tiffcp1 = benchsupport::RunProcess({"tiffcp", "-c", "g4", F.One, Out + "/tiffcp1.tif"});
    const auto Tiff2pdf = benchsupport::RunProcess({"tiff2pdf", "-o", Out + "/tiff2pdf.pdf", Fax});
    const auto Tiff2pdf1 = benchsupport::RunProcess({"tiff2pdf", "-o", Out + "/tiff2pdf1.pdf", F.One});
    TiffcpS = std::min(TiffcpS, std::max(1e-6, Tiffcp.Seconds - Tiffcp1.Seconds));
    Tiff2pdfS = std::min(Tiff2pdfS, std::max(1e-6, Tiff2pdf.Seconds - Tiff2pdf1.Seconds));
    TiffcpKB = std::max(TiffcpKB, Tiffcp.PeakKB);
    Tiff2pdfKB = std::max(Tiff2pdfKB, Tiff2pdf.PeakKB);
    State.SetIterationTime(Run.Open + Run.Tiff + Run.Pdf);
  }
  State.counters["pages"] = Pages;
  State.counters["ours_open_s"] = Ours.Open;
  State.counters["ours_tiff_s"] = Ours.Tiff;
  State.counters["ours_pdf_s"] = Ours.Pdf;
  State.counters["ours_peak_mb"] = Ours.PeakKB / 1024.0;
  State.counters["tiffcp_s"] = TiffcpS;
  State.counters["tiffcp_peak_mb"] = TiffcpKB / 1024.0;
  State.counters["tiff2pdf_s"] = Tiff2pdfS;
  State.counters["tiff2pdf_peak_mb"] = Tiff2pdfKB / 1024.0;
  State.counters["tiff_speed_vs_tiffcp"] = TiffcpS / std::max(1e-6, Ours.Tiff);
  State.counters["pdf_speed_vs_tiff2pdf"] = Tiff2pdfS / std::max(1e-6, Ours.Pdf);
  if (Pages == 1000) {
    // Memory follows the window and the cache, not the document's length.
    const TOurs Short = RunOurs(F.Hundred, F.Dir + "/out100");
    if (Short.PeakKB > 0) State.counters["peak_vs_100_pages"] = double(Ours.PeakKB) / Short.PeakKB;
  }
  fs::remove_all(Out);
}
BENCHMARK(BM_LongFaxOpenAndSaveVsTiffcpAndTiff2pdf)
    ->Arg(100)
    ->Arg(1000)
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kSecond);

}  // namespace
