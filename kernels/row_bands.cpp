#include "kernels/row_bands.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "foundations/image_buffer.h"
#include "foundations/system_probes.h"
#include "foundations/thread_pool.h"
#include "platform/rtl/threads.h"

namespace {

// What the workers of one call share: the finished count wakes the caller,
// Progress carries band 0's latest value to the caller's thread.
struct TBandSync {
  std::mutex Lock;
  std::condition_variable Done;
  int32_t Finished = 0;
  std::atomic<int32_t> Progress{-1};
};

// One band of rows on its own thread.
class TResampleHorizThread : public TThread {
 public:
  TResampleHorizThread(int32_t StartRow, int32_t Index, const TIEBandBody& Body, TBandSync& Sync, int32_t RowCount)
      : TThread(true), FStartRow(StartRow), FRowCount(RowCount), FIndex(Index), FBody(Body), FSync(Sync) {}
  ~TResampleHorizThread() override {
    if (!GetSuspended() && !GetFinished()) WaitFor();
  }

 protected:
  void Execute() override {
    struct TFinish {
      TBandSync& S;
      ~TFinish() {
        std::lock_guard<std::mutex> G(S.Lock);
        ++S.Finished;
        S.Done.notify_all();
      }
    } Finish{FSync};
    std::function<void(int32_t)> Publish;
    if (FIndex == 0) Publish = [this](int32_t V) { FSync.Progress.store(V); };
    else Publish = [](int32_t) {};
    FBody(FIndex, FStartRow, FRowCount, Publish);
  }

 private:
  int32_t FStartRow, FRowCount, FIndex;
  const TIEBandBody& FBody;
  TBandSync& FSync;
};

}  // namespace

int32_t IEBandWorkerCount(TIEBitmap* Source, int32_t Requested) {
  if (Source && Source->GetLocation() == ieFile) return 1;
  return std::max(Requested > 0 ? Requested : IEGetProcessorCoreCount(), 1);
}

void IERunRowBands(int32_t Rows, int32_t Workers, const TIEBandBody& Body,
                   const std::function<void(int32_t)>& Report) {
  if (Rows <= 0) return;
  Workers = std::max(Workers, 1);
  int32_t Last = -1;
  auto Forward = [&](int32_t V) {
    if (Report && V >= 0 && V != Last) {
      Last = V;
      Report(V);
    }
  };
  if (Workers == 1) {
    Body(0, 0, Rows, Forward);
    return;
  }
  TBandSync Sync;
  const int32_t Band = Rows / Workers;
  TIEThreadPool Pool;
  for (int32_t i = 0; i < Workers; ++i) {
    const int32_t Count = i == Workers - 1 ? Rows - (Workers - 1) * Band : Band;
    Pool.Add(new TResampleHorizThread(i * Band, i, Body, Sync, Count));
  }
  {
    std::unique_lock<std::mutex> G(Sync.Lock);
    while (Sync.Finished < Workers) {
      Sync.Done.wait_for(G, std::chrono::milliseconds(15));
      const int32_t V = Sync.Progress.load();
      if (V >= 0 && V != Last) {
        G.unlock();
        Forward(V);
        G.lock();
      }
    }
  }
  Pool.WaitAndFreeAll();
  // The last value band 0 published, also when every band ended before the
  // first look.
  Forward(Sync.Progress.load());
}

TIEAllRows::TIEAllRows(TIEBitmap* B) : Rows(static_cast<size_t>(B->GetHeight())) {
  const bool Lease = B->GetLocation() == ieFile;
  if (Lease) Leases.reserve(Rows.size());
  for (int32_t y = 0; y < B->GetHeight(); ++y)
    Rows[size_t(y)] = Lease ? Leases.emplace_back(B, y).Get() : B->GetScanline(y);
}
