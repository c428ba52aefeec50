// Drawing a page into a 1600 x 1200 view buffer, as the page view does on
// every paint: a 1728 x 2289 fax page (1 bit) and a 2480 x 3508 colour page
// (24 bits) at fit, 25 %, 100 % and 400 % zoom.  Beside each, Qt draws the
// same page into a view buffer of the same size with QPainter::drawImage and
// smooth scaling (its best format for each page: RGB32 for colour, Mono for
// the fax page); qt_ms is its time per frame and qt_over_ours the ratio
// (above 1: we are faster).  Our frames are unfiltered (nearest neighbour)
// until the processing layer installs its resamplers.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "foundations/image_buffer.h"

namespace {

constexpr int32_t kViewW = 1600, kViewH = 1200;

struct Page {
  std::unique_ptr<TIEBitmap> Ours;
  QImage Qt;
};

// A fax-like page: text-sized black runs on white.
const Page& FaxPage() {
  static Page P = [] {
    Page R;
    R.Ours = std::make_unique<TIEBitmap>();
    R.Ours->SetLocation(ieMemory);
    R.Ours->Allocate(1728, 2289, ie1g);
    R.Qt = QImage(1728, 2289, QImage::Format_Mono);
    R.Qt.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int32_t Y = 0; Y < 2289; ++Y) {
      uint8_t* Row = R.Ours->GetScanline(Y);
      for (int32_t X = 0; X < 216; ++X) Row[X] = uint8_t((Y / 3) % 7 == 0 ? (X * 37 + Y) : 0xFF);
      std::memcpy(R.Qt.scanLine(Y), Row, 216);
    }
    return R;
  }();
  return P;
}

const Page& ColourPage() {
  static Page P = [] {
    Page R;
    R.Ours = std::make_unique<TIEBitmap>();
    R.Ours->SetLocation(ieMemory);
    R.Ours->Allocate(2480, 3508, ie24RGB);
    R.Qt = QImage(2480, 3508, QImage::Format_RGB32);
    for (int32_t Y = 0; Y < 3508; ++Y) {
      uint8_t* Row = R.Ours->GetScanline(Y);
      auto* Q = reinterpret_cast<uint32_t*>(R.Qt.scanLine(Y));
      for (int32_t X = 0; X < 2480; ++X) {
        uint8_t B = uint8_t(X * 7 + Y), G = uint8_t((X ^ Y) * 3), Rd = uint8_t(Y * 5 - X);
        Row[3 * X] = B, Row[3 * X + 1] = G, Row[3 * X + 2] = Rd;
        Q[X] = qRgb(Rd, G, B);
      }
    }
    return R;
  }();
  return P;
}

// Zoom 0 means fit.
void Draw(benchmark::State& State, const Page& P, double Zoom) {
  TIEBitmap View;
  View.SetLocation(ieMemory);
  View.Allocate(kViewW, kViewH, ie24RGB);
  const int32_t W = P.Ours->GetWidth(), H = P.Ours->GetHeight();
  if (Zoom == 0) Zoom = std::min(double(kViewW) / W, double(kViewH) / H);
  const int32_t DW = int32_t(W * Zoom), DH = int32_t(H * Zoom);
  std::vector<uint8_t*> Rows;
  std::vector<int32_t> XT, YT;
  for (auto _ : State) {
    // The view keeps its tables while only the picture changes.
    P.Ours->RenderToTIEBitmap(&View, &Rows, &XT, &YT, nullptr, 0, 0, DW, DH, 0, 0, W, H, true,
                              true, 255, rfNone, false, 0);
    benchmark::DoNotOptimize(View.GetScanline(0));
  }
  // Qt's frame, timed over the same number of frames (at least 5).
  QImage Target(kViewW, kViewH, QImage::Format_RGB32);
  const int64_t N = std::max<int64_t>(5, int64_t(State.iterations()));
  auto T0 = std::chrono::steady_clock::now();
  for (int64_t I = 0; I < N; ++I) {
    QPainter Painter(&Target);
    Painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    Painter.drawImage(QRectF(0, 0, DW, DH), P.Qt);
  }
  auto T1 = std::chrono::steady_clock::now();
  // Ours once more over the same count, outside the framework's timer, for
  // the ratio.
  auto T2 = std::chrono::steady_clock::now();
  for (int64_t I = 0; I < N; ++I)
    P.Ours->RenderToTIEBitmap(&View, &Rows, &XT, &YT, nullptr, 0, 0, DW, DH, 0, 0, W, H, true,
                              true, 255, rfNone, false, 0);
  auto T3 = std::chrono::steady_clock::now();
  const double QtMs = std::chrono::duration<double, std::milli>(T1 - T0).count() / double(N);
  const double Ms = std::chrono::duration<double, std::milli>(T3 - T2).count() / double(N);
  State.counters["ours_ms"] = Ms;
  State.counters["qt_ms"] = QtMs;
  State.counters["qt_over_ours"] = Ms > 0 ? QtMs / Ms : 0;
}

void BM_RenderFax_Fit(benchmark::State& S) { Draw(S, FaxPage(), 0); }
void BM_RenderFax_25(benchmark::State& S) { Draw(S, FaxPage(), 0.25); }
void BM_RenderFax_100(benchmark::State& S) { Draw(S, FaxPage(), 1); }
void BM_RenderFax_400(benchmark::State& S) { Draw(S, FaxPage(), 4); }
void BM_RenderColour_Fit(benchmark::State& S) { Draw(S, ColourPage(), 0); }
void BM_RenderColour_25(benchmark::State& S) { Draw(S, ColourPage(), 0.25); }
void BM_RenderColour_100(benchmark::State& S) { Draw(S, ColourPage(), 1); }
void BM_RenderColour_400(benchmark::State& S) { Draw(S, ColourPage(), 4); }
BENCHMARK(BM_RenderFax_Fit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFax_25)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFax_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderFax_400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderColour_Fit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderColour_25)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderColour_100)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RenderColour_400)->Unit(benchmark::kMillisecond);

}  // namespace
