// The page view on a 1600 x 1200 client showing a 1728 x 2289 fax page: a
// full repaint (composition into the back buffer and the copy to the front
// buffer) at fit, at fit with the smoothing filter (the page unchanged since
// the last frame, and changed before every frame), at 400 %, and one scroll
// step at 400 %.  Beside each, Qt draws the same part of the same page
// scaled with smooth transform into an RGB32 image of the client's size with
// QPainter; qt_ms is its time per frame and qt_over_ours the ratio (above 1:
// the view is faster).  The target is a frame under 16 ms.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>
#include <chrono>
#include <cstring>
#include <memory>

#include "foundations/image_buffer.h"
#include "platform/vcl/forms.h"
#include "views/folio_vect.h"

namespace {

constexpr int32_t kClientW = 1600, kClientH = 1200, kFaxW = 1728, kFaxH = 2289;

struct TFixture {
  std::unique_ptr<TForm> Form;
  TFolioVect* View = nullptr;
  QImage Peer;
};

// Kept for the whole run (the controls must not outlive the application).
TFixture& Fixture() {
  static TFixture& F = *[] {
    auto* P = new TFixture;
    TFixture& R = *P;
    R.Form = std::make_unique<TForm>(nullptr);
    R.Form->SetBounds(0, 0, kClientW + 40, kClientH + 40);
    R.View = new TFolioVect(R.Form.get());
    R.View->SetParent(R.Form.get());
    R.View->SetBorderStyle(bsNone);
    R.View->SetScrollBars(ssNone);
    R.View->SetBounds(0, 0, kClientW, kClientH);
    R.View->HandleNeeded();
    TIEBitmap Page(kFaxW, kFaxH, ie1g);
    R.Peer = QImage(kFaxW, kFaxH, QImage::Format_Mono);
    R.Peer.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
    for (int32_t Y = 0; Y < kFaxH; ++Y) {
      uint8_t* Row = Page.GetScanline(Y);
      for (int32_t X = 0; X < kFaxW / 8; ++X) Row[X] = uint8_t((Y / 3) % 7 == 0 ? (X * 37 + Y) : 0xFF);
      std::memcpy(R.Peer.scanLine(Y), Row, kFaxW / 8);
    }
    R.View->SetIEBitmap(&Page);
    return P;
  }();
  return F;
}

// Qt's frame of the same source rectangle into the same client rectangle.
double PeerMs(TFixture& F, int64_t Frames) {
  TFolioVect* V = F.View;
  const QRectF Dst(V->GetOffsetX(), V->GetOffsetY(), V->GetCoveredWidth(), V->GetCoveredHeight());
  const QRectF Src(V->GetVisibleOriginX(), V->GetVisibleOriginY(), V->GetVisibleWidth(), V->GetVisibleHeight());
  QImage Target(kClientW, kClientH, QImage::Format_RGB32);
  const auto T0 = std::chrono::steady_clock::now();
  for (int64_t I = 0; I < Frames; ++I) {
    QPainter P(&Target);
    P.fillRect(Target.rect(), Qt::gray);
    P.setRenderHint(QPainter::SmoothPixmapTransform, true);
    P.drawImage(Dst, F.Peer, Src);
  }
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count() / double(Frames);
}

void Report(benchmark::State& State, TFixture& F, double OursMs) {
  const double Qt = PeerMs(F, std::max<int64_t>(5, int64_t(State.iterations())));
  State.counters["ours_ms"] = OursMs;
  State.counters["qt_ms"] = Qt;
  State.counters["qt_over_ours"] = OursMs > 0 ? Qt / OursMs : 0;
}

// Changed: the image is reported changed before each frame (the update cycle
// runs), so nothing drawn before is reused.
void Repaint(benchmark::State& State, double Zoom, TResampleFilter Filter, bool Changed = false) {
  TFixture& F = Fixture();
  TFolioVect* V = F.View;
  V->SetZoomFilter(Filter);
  if (Zoom == 0)
    V->Fit();
  else
    V->SetZoom(Zoom);
  V->ScrollTo(V->GetExtentX() / 3, V->GetExtentY() / 3);
  const TRect All{0, 0, kClientW, kClientH};
  int64_t N = 0;
  const auto T0 = std::chrono::steady_clock::now();
  for (auto _ : State) {
    if (Changed) V->Update();
    V->InvalidateRectangle(All);
    V->PaintNow();
    benchmark::DoNotOptimize(V->GetFrontBuffer());
    ++N;
  }
  const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count() /
                    double(std::max<int64_t>(1, N));
  Report(State, F, Ms);
}

void BM_PageViewRepaint_Fit(benchmark::State& S) { Repaint(S, 0, rfNone); }
void BM_PageViewRepaint_FitFiltered(benchmark::State& S) { Repaint(S, 0, rfFastLinear); }
void BM_PageViewRepaint_FitFilteredChanged(benchmark::State& S) { Repaint(S, 0, rfFastLinear, true); }
void BM_PageViewRepaint_400(benchmark::State& S) { Repaint(S, 400, rfNone); }

void BM_PageViewScrollStep_400(benchmark::State& State) {
  TFixture& F = Fixture();
  TFolioVect* V = F.View;
  V->SetZoomFilter(rfNone);
  V->SetZoom(400);
  int32_t MaxX = 0, MaxY = 0;
  V->GetMaxViewXY(MaxX, MaxY);
  V->ScrollTo(MaxX / 2, 0);
  int64_t N = 0;
  int32_t Step = 40;
  const auto T0 = std::chrono::steady_clock::now();
  for (auto _ : State) {
    // One wheel-sized step down (back up at the end of the page).
    if (V->GetViewY() + Step > MaxY || V->GetViewY() + Step < 0) Step = -Step;
    V->ScrollTo(V->GetViewX(), V->GetViewY() + Step);
    V->PaintNow();
    benchmark::DoNotOptimize(V->GetFrontBuffer());
    ++N;
  }
  const double Ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - T0).count() /
                    double(std::max<int64_t>(1, N));
  Report(State, F, Ms);
}

BENCHMARK(BM_PageViewRepaint_Fit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageViewRepaint_FitFiltered)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageViewRepaint_FitFilteredChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageViewRepaint_400)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PageViewScrollStep_400)->Unit(benchmark::kMillisecond);

}  // namespace
