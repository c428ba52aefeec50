// Turning pages, beside the peer a user would pick, in the same run:
// - quarter and half turns of 100 fine fax pages (1728 x 2292, 1-bit) held in
//   memory, through the processing component, beside Leptonica's
//   pixRotate90 / pixRotate180 in this process (one thread each);
// - a 100-page Group 4 file turned by 90 degrees clockwise into a new Group 4
//   file, page by page through our TIFF reader, the turn and our TIFF writer,
//   beside `tiffcrop -R 90` on the same file (its process start-up, measured
//   on a one-pixel file, taken off its time);
// - an A4 colour page at 300 DPI turned by 7 degrees with the canvas
//   enlarged, blended (our three shears against Pillow's bilinear) and
//   nearest pixel, and by 90 degrees, beside Pillow in one Python process
//   started before anything is timed; our kernels run with one worker, as
//   Pillow has one thread.
// Each iteration runs both sides back to back, the one that goes first
// alternating.  The peers' inputs are checked equal to ours first, and the
// turned pages too.  Counters: ms for both sides and speed_vs_<peer> (> 1: we
// are faster).
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "formats/io_params.h"
#include "formats/tiff/tiff_reader.h"
#include "formats/tiff/tiff_writer.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"
#include "foundations/selection_mask.h"
#include "kernels/rotate_kernels.h"
#include "kernels/shear_rotate.h"
#include "libtiff_peer.h"
#include "pillow_peer.h"
#include "platform/rtl/streams.h"
#include "processing/fill_value.h"
#include "processing/folio_proc.h"

#include "leptonica_pages.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
double MsSince(Clock::time_point T0) {
  return std::chrono::duration<double, std::milli>(Clock::now() - T0).count();
}

// Runs Ours and Peer back to back in every iteration, the one that goes
// first alternating, so the load of the machine falls on both alike.  Each
// answers its time in ms (negative: it failed); ours is the iteration's
// time.  Sets the counters ms, <Peer>_ms and speed_vs_<Peer> (> 1: we are
// faster); false, with the benchmark marked failed, when a run failed.
template <class TOurs, class TPeer>
bool SideBySide(benchmark::State& State, const std::string& PeerName, TOurs Ours, TPeer Peer) {
  double OursMs = 0, PeerMs = 0;
  bool OursFirst = true, Failed = false;
  for (auto _ : State) {
    double T = 0;
    for (int k = 0; k < 2; ++k) {
      const double Ms = (k == 0) == OursFirst ? (T = Ours()) : Peer();
      Failed = Failed || Ms < 0;
      ((k == 0) == OursFirst ? OursMs : PeerMs) += Ms;
    }
    OursFirst = !OursFirst;
    State.SetIterationTime(T / 1000);
  }
  if (Failed) {
    State.SkipWithError("a side failed");
    return false;
  }
  const double N = double(State.iterations());
  State.counters["ms"] = OursMs / N;
  State.counters[PeerName + "_ms"] = PeerMs / N;
  State.counters["speed_vs_" + PeerName] = PeerMs / OursMs;
  return true;
}

constexpr int32_t kFaxW = 1728, kFaxH = 2292;
constexpr int kFaxPages = 100;

#ifdef FOLIVRA_HAVE_LEPT
// True when our 1-bit page (1 = white) holds the PIX's pixels (1 = black).
bool SameBits(TIEBitmap* Ours, PIX* Pix) {
  if (Ours->GetPixelFormat() != ie1g || Ours->GetWidth() != int32_t(pixGetWidth(Pix)) ||
      Ours->GetHeight() != int32_t(pixGetHeight(Pix)))
    return false;
  const l_int32 Wpl = pixGetWpl(Pix);
  const l_uint32* Data = pixGetData(Pix);
  const int32_t W = Ours->GetWidth();
  for (int32_t y = 0; y < Ours->GetHeight(); ++y) {
    const uint8_t* Row = Ours->GetScanline(y);
    const l_uint32* Src = Data + size_t(y) * Wpl;
    for (int32_t i = 0; i < (W + 7) / 8; ++i) {
      const uint8_t Mask = i == W / 8 ? uint8_t(0xFF00 >> (W % 8)) : 0xFF;
      if ((Row[i] ^ uint8_t(~(Src[i / 4] >> (24 - 8 * (i % 4))))) & Mask) return false;
    }
  }
  return true;
}

// The fax pages in both layouts.  Freed memory stays in the process for both
// sides (see the deskew benchmark): page-sized blocks come and go on every
// turn.
struct TFaxPages {
  bool Steady = mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 512 << 20) == 1;
  std::vector<PIX*> Pix;
  std::vector<std::unique_ptr<TIEBitmap>> Ours;
  bool Same = true;
  TFaxPages() {
    std::mt19937 Rng(17);
    for (int i = 0; i < kFaxPages; ++i) {
      Pix.push_back(benchsupport::LeptTextPage(Rng, true, kFaxW, kFaxH));
      Ours.push_back(benchsupport::LeptToBitmap(Pix.back()));
      Same = Same && SameBits(Ours.back().get(), Pix.back());
    }
  }
  ~TFaxPages() {
    for (PIX*& P : Pix) pixDestroy(&P);
  }
};

TFaxPages& FaxPages() {
  static TFaxPages P;
  return P;
}

PIX* LeptTurn(PIX* Pix, int32_t Angle) {
  if (Angle == 180) return pixRotate180(nullptr, Pix);
  return pixRotate90(Pix, Angle == 90 ? -1 : 1);  // Leptonica's 1 is clockwise
}

// Arg: the angle (90 counter-clockwise, 270, 180).
void BM_FaxPagesTurn(benchmark::State& State) {
  TFaxPages& P = FaxPages();
  const int32_t Angle = int32_t(State.range(0));
  if (!P.Same) return State.SkipWithError("the pages differ from Leptonica's");
  // Our pages turn in place: every run starts from Leptonica's pages.
  for (int i = 0; i < kFaxPages; ++i) P.Ours[size_t(i)] = benchsupport::LeptToBitmap(P.Pix[size_t(i)]);
  std::vector<std::unique_ptr<TFolioProc>> Procs;
  for (auto& Page : P.Ours) Procs.push_back(TFolioProc::CreateFromBitmap(Page.get()));
  {
    // The turned pages must be Leptonica's.
    TIEBitmap Copy;
    Copy.Assign(P.Ours[0].get());
    TFolioProc::CreateFromBitmap(&Copy)->Rotate(Angle);
    PIX* Turned = LeptTurn(P.Pix[0], Angle);
    const bool Same = SameBits(&Copy, Turned);
    pixDestroy(&Turned);
    if (!Same) return State.SkipWithError("the turned page differs from Leptonica's");
  }
  SideBySide(
      State, "leptonica",
      [&] {
        const auto T0 = Clock::now();
        for (auto& Proc : Procs) Proc->Rotate(Angle);
        return MsSince(T0);
      },
      [&] {
        const auto T0 = Clock::now();
        for (PIX* Pix : P.Pix) {
          PIX* Turned = LeptTurn(Pix, Angle);
          benchmark::DoNotOptimize(pixGetData(Turned));
          pixDestroy(&Turned);
        }
        return MsSince(T0);
      });
}
BENCHMARK(BM_FaxPagesTurn)
    ->Arg(90)
    ->Arg(270)
    ->Arg(180)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->MinTime(2);

// ---- file to file ----

// Runs a program to its end; its wall time in ms, -1 on failure.
double RunProgram(std::vector<std::string> Args) {
  std::vector<char*> Argv;
  for (std::string& A : Args) Argv.push_back(A.data());
  Argv.push_back(nullptr);
  posix_spawn_file_actions_t Actions;
  posix_spawn_file_actions_init(&Actions);
  posix_spawn_file_actions_addopen(&Actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&Actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t Pid = 0;
  const auto T0 = Clock::now();
  const bool Spawned = posix_spawnp(&Pid, Argv[0], &Actions, nullptr, Argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&Actions);
  int Status = 0;
  if (!Spawned || waitpid(Pid, &Status, 0) != Pid) return -1;
  const double Ms = MsSince(T0);
  return WIFEXITED(Status) && WEXITSTATUS(Status) == 0 ? Ms : -1;
}

// Writes the pages as a Group 4 file with libtiff.
bool WriteG4(const std::string& Name, const std::vector<TIEBitmap*>& Pages) {
  std::vector<libtiffpeer::WritePage> Store(Pages.size());
  std::vector<const libtiffpeer::WritePage*> List;
  for (size_t i = 0; i < Pages.size(); ++i) {
    libtiffpeer::WritePage& W = Store[i];
    W.Width = uint32_t(Pages[i]->GetWidth());
    W.Height = uint32_t(Pages[i]->GetHeight());
    W.Stride = (W.Width + 7) / 8;
    W.Pixels.resize(W.Stride * W.Height);
    for (uint32_t y = 0; y < W.Height; ++y) {
      const uint8_t* S = Pages[i]->GetScanline(int32_t(y));
      for (size_t b = 0; b < W.Stride; ++b) W.Pixels[y * W.Stride + b] = uint8_t(~S[b]);  // min-is-white
    }
    List.push_back(&W);
  }
  return libtiffpeer::WriteAll(Name, List);
}

// Our side: every page read, turned clockwise and appended to a new file.
bool TurnFile(const std::string& In, const std::string& Out) {
  std::atomic<bool> Aborting{false};
  TIEProgressRec Progress;
  Progress.Aborting = &Aborting;
  TFileStream Src(In, fmOpenRead);
  TTiffChain Chain;
  if (!TiffScanChain(&Src, true, Chain)) return false;
  TFileStream Dst(Out, fmCreate);
  TTiffAppendPoint End;
  TIEBitmap Page;
  for (int32_t i = 0; i < int32_t(Chain.Offsets.size()); ++i) {
    TTiffPageRequest Request;
    Request.PageIndex = i;
    Request.Chain = &Chain;
    TTiffPageInfo Info;
    std::unique_ptr<TIEMask> Alpha;
    Src.SetPosition(0);
    TiffReadPage(&Page, &Src, Request, Info, Progress, Alpha);
    if (Aborting) return false;
    if (!IERotateGeneric(&Page, 0, -90)) return false;
    TIOParamsVals P;
    P.BitsPerSample = 1;
    P.SamplesPerPixel = 1;
    P.TiffCompression = ietcG4Fax;
    P.TiffPageIndex = i;
    P.DpiX = Info.DpiY;
    P.DpiY = Info.DpiX;
    Dst.SetPosition(0);
    TTiffWriteRequest W;
    W.Stream = &Dst;
    W.Append = i > 0;
    W.Bitmap = &Page;
    W.Params = &P;
    W.Progress = &Progress;
    W.AppendPoint = &End;
    if (TiffWritePage(W) != i + 1) return false;
  }
  return !Aborting;
}

struct TFaxFiles {
  std::string Dir, In, Tiny, TinyOut, Ours, Peer;
  bool Ok = false;
  TFaxFiles() {
    libtiffpeer::Quiet();
    Dir = (std::filesystem::temp_directory_path() / ("folio-rotate-bench-" + std::to_string(getpid())))
              .string();
    std::filesystem::create_directories(Dir);
    In = Dir + "/fax.tif";
    Tiny = Dir + "/tiny.tif";
    TinyOut = Dir + "/tiny-out.tif";
    Ours = Dir + "/ours.tif";
    Peer = Dir + "/tiffcrop.tif";
    // Fresh pages: the in-memory benchmark turns its own.
    std::vector<std::unique_ptr<TIEBitmap>> Fresh;
    std::vector<TIEBitmap*> Pages;
    for (PIX* Pix : FaxPages().Pix) {
      Fresh.push_back(benchsupport::LeptToBitmap(Pix));
      Pages.push_back(Fresh.back().get());
    }
    TIEBitmap One(1, 1, ie1g);
    Ok = WriteG4(In, Pages) && WriteG4(Tiny, {&One});
  }
  ~TFaxFiles() {
    std::error_code Ec;
    std::filesystem::remove_all(Dir, Ec);
  }
};

// The pages of both turned files, decoded by libtiff, must be the same.
bool SameFiles(const std::string& A, const std::string& B) {
  std::vector<libtiffpeer::Page> Pa, Pb;
  libtiffpeer::Page Scratch;
  if (libtiffpeer::ReadAll(A, Scratch, &Pa) != kFaxPages ||
      libtiffpeer::ReadAll(B, Scratch, &Pb) != kFaxPages)
    return false;
  for (size_t i = 0; i < Pa.size(); ++i) {
    if (Pa[i].Width != Pb[i].Width || Pa[i].Height != Pb[i].Height) return false;
    for (uint32_t y = 0; y < Pa[i].Height; ++y)
      for (size_t b = 0; b < Pa[i].Stride; ++b) {
        const uint8_t Mask = b == Pa[i].Width / 8 ? uint8_t(0xFF00 >> (Pa[i].Width % 8)) : 0xFF;
        if ((Pa[i].Pixels[y * Pa[i].Stride + b] ^ Pb[i].Pixels[y * Pb[i].Stride + b]) & Mask) return false;
      }
  }
  return true;
}

void BM_FaxFileTurn(benchmark::State& State) {
  static TFaxFiles F;
  if (!F.Ok) return State.SkipWithError("cannot write the fax file");
  auto Peer = [&] { return RunProgram({"tiffcrop", "-R", "90", F.In, F.Peer}); };
  // Start-up of the peer: the fastest of a few runs on a one-pixel page.
  double StartUp = 1e9;
  for (int i = 0; i < 5; ++i) {
    const double Ms = RunProgram({"tiffcrop", "-R", "90", F.Tiny, F.TinyOut});
    if (Ms < 0) return State.SkipWithError("tiffcrop cannot run");
    StartUp = std::min(StartUp, Ms);
  }
  if (!TurnFile(F.In, F.Ours) || Peer() < 0) return State.SkipWithError("a side failed");
  if (!SameFiles(F.Ours, F.Peer)) return State.SkipWithError("the turned files differ");
  const bool Ok = SideBySide(
      State, "tiffcrop",
      [&] {
        const auto T0 = Clock::now();
        return TurnFile(F.In, F.Ours) ? MsSince(T0) : -1.0;
      },
      [&] {
        const double Ms = Peer();
        return Ms < 0 ? Ms : Ms - StartUp;
      });
  if (Ok) State.counters["tiffcrop_startup_ms"] = StartUp;
}
BENCHMARK(BM_FaxFileTurn)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(6);
#endif

// ---- free angles beside Pillow ----

constexpr int32_t kPageW = 2480, kPageH = 3508;
constexpr double kAngle = 7;

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

struct TColourPage {
  // Freed memory stays in the process, as for the fax pages.
  bool Steady = mallopt(M_MMAP_THRESHOLD, 32 << 20) == 1 && mallopt(M_TRIM_THRESHOLD, 512 << 20) == 1;
  std::unique_ptr<TIEBitmap> Colour = ColourPage();
  benchsupport::TPillowPeer Pillow;
  bool PillowOk = Pillow.Ready() && Pillow.Load("page", Colour.get());
};

// Turn(Work) turns a fresh copy of the page; only the turn is timed.
template <class TTurn>
void Measure(benchmark::State& State, const char* PillowExpr, TTurn Turn) {
  static TColourPage P;
  if (!P.PillowOk) return State.SkipWithError("Pillow cannot take the page");
  SideBySide(
      State, "pillow",
      [&] {
        TIEBitmap Work;
        Work.Assign(P.Colour.get());
        const auto T0 = Clock::now();
        Turn(Work);
        const double Ms = MsSince(T0);
        benchmark::DoNotOptimize(Work.GetScanline(0));
        return Ms;
      },
      [&] { return P.Pillow.Time(PillowExpr); });
}

// The kernels the processing component picks for these turns, with one
// worker where they have workers.
void BM_Rotate7Blended(benchmark::State& S) {
  Measure(S, "page.rotate(7, resample=R.BILINEAR, expand=True, fillcolor=(255, 255, 255))", [](TIEBitmap& B) {
    IERotateShear(&B, true, nullptr, nullptr, TRGB{255, 255, 255}, kAngle, 1);
  });
}
void BM_Rotate7Nearest(benchmark::State& S) {
  Measure(S, "page.rotate(7, resample=R.NEAREST, expand=True, fillcolor=(255, 255, 255))",
          [](TIEBitmap& B) { IERotateGeneric(&B, IEFillValueOf(&B, TColor(0xFFFFFF)), kAngle); });
}

// A quarter turn of the colour page beside Pillow's transpose (exact turns
// have no workers).
void BM_ColourQuarterTurn(benchmark::State& S) {
  Measure(S, "page.transpose(Image.Transpose.ROTATE_90)", [](TIEBitmap& B) {
    IERotateShear(&B, true, nullptr, nullptr, TRGB{255, 255, 255}, 90, 1);
  });
}

BENCHMARK(BM_Rotate7Blended)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_Rotate7Nearest)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);
BENCHMARK(BM_ColourQuarterTurn)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

}  // namespace
