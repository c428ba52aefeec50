// The fork-join worker pool.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

#include "foundations/system_probes.h"
#include "foundations/thread_pool.h"
#include "platform/rtl/sysutils.h"
#include "platform/rtl/threads.h"

namespace {

// What the workers of one test report.
struct TLog {
  std::mutex Lock;
  std::vector<int> Freed;        // worker indexes in the order they were freed
  std::vector<bool> DoneAtFree;  // whether each had finished Execute when freed
  void NoteFreed(int Index, bool Done) {
    std::lock_guard<std::mutex> G(Lock);
    Freed.push_back(Index);
    DoneAtFree.push_back(Done);
  }
};

// A worker over a band of rows, as the resampler splits its image: it adds one
// to every row of its band.
class TBandWorker : public TThread {
 public:
  TBandWorker(int Index, std::vector<std::atomic<int>>& Rows, int StartRow, int RowCount, TLog& Log,
              uint32_t SleepMs = 0, bool Raise = false)
      : TThread(true), FIndex(Index), FRows(Rows), FStart(StartRow), FCount(RowCount), FLog(Log),
        FSleep(SleepMs), FRaise(Raise) {}
  ~TBandWorker() override { FLog.NoteFreed(FIndex, FDone.load()); }

 protected:
  void Execute() override {
    if (FSleep) Sleep(FSleep);
    for (int r = FStart; r < FStart + FCount; ++r) FRows[static_cast<size_t>(r)]++;
    FDone = true;
    if (FRaise) throw std::runtime_error("worker failed");
  }

 private:
  int FIndex;
  std::vector<std::atomic<int>>& FRows;
  int FStart, FCount;
  TLog& FLog;
  uint32_t FSleep;
  bool FRaise;
  std::atomic<bool> FDone{false};
};

TEST(ThreadPool, ForkJoinCoversEveryRowOnceAndFreesTheWorkersInOrder) {
  const int Height = 1001;
  for (int Workers : {1, 3, 7, IEGetProcessorCoreCount()}) {
    std::vector<std::atomic<int>> Rows(Height);
    TLog Log;
    TIEThreadPool Pool;
    const int Band = Height / Workers;
    for (int i = 0; i < Workers; ++i) {
      const int Count = i == Workers - 1 ? Height - i * Band : Band;
      // The first workers take longest, so later ones finish first.
      auto* W = new TBandWorker(i, Rows, i * Band, Count, Log, i == 0 ? 30 : 0);
      Pool.Add(W);
      EXPECT_FALSE(W->GetSuspended()) << "Add starts the thread";
    }
    EXPECT_EQ(Pool.GetCount(), Workers);
    Pool.WaitAndFreeAll();
    EXPECT_EQ(Pool.GetCount(), 0);
    for (int r = 0; r < Height; ++r) ASSERT_EQ(Rows[static_cast<size_t>(r)].load(), 1) << "row " << r;
    ASSERT_EQ(Log.Freed.size(), static_cast<size_t>(Workers));
    for (int i = 0; i < Workers; ++i) {
      EXPECT_EQ(Log.Freed[static_cast<size_t>(i)], i);
      EXPECT_TRUE(Log.DoneAtFree[static_cast<size_t>(i)]) << "freed before it finished";
    }
    Pool.WaitAndFreeAll();  // an empty pool: nothing happens
    EXPECT_EQ(Log.Freed.size(), static_cast<size_t>(Workers));
  }
}

TEST(ThreadPool, DestroyingThePoolJoinsAndFreesItsThreads) {
  std::vector<std::atomic<int>> Rows(4);
  TLog Log;
  {
    TIEThreadPool Pool;
    for (int i = 0; i < 4; ++i) Pool.Add(new TBandWorker(i, Rows, i, 1, Log, 20));
  }
  ASSERT_EQ(Log.Freed.size(), 4u);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_TRUE(Log.DoneAtFree[i]);
    EXPECT_EQ(Rows[i].load(), 1);
  }
}

TEST(ThreadPool, OwnershipCannotBeTakenTwice) {
  std::vector<std::atomic<int>> Rows(3);
  TLog Log;
  TIEThreadPool Pool;
  Pool.Add(nullptr);
  auto* A = new TBandWorker(0, Rows, 0, 1, Log);
  Pool.Add(A);
  Pool.Add(A);  // the same thread again: ignored
  // A thread that would free itself: the pool owns it, so it must not.
  auto* B = new TBandWorker(1, Rows, 1, 1, Log, 10);
  B->SetFreeOnTerminate(true);
  Pool.Add(B);
  EXPECT_FALSE(B->GetFreeOnTerminate());
  // A worker whose Execute raises is still joined and freed.
  Pool.Add(new TBandWorker(2, Rows, 2, 1, Log, 0, true));
  EXPECT_EQ(Pool.GetCount(), 3);
  Pool.WaitAndFreeAll();
  EXPECT_EQ(Log.Freed, (std::vector<int>{0, 1, 2}));
  for (size_t i = 0; i < 3; ++i) EXPECT_EQ(Rows[i].load(), 1);
}

}  // namespace
