// Background loading of the multi-image view's entries.
//
// Painting queues the visible entries that hold only a file name; up to
// ThreadPoolSize loads run at a time, each in a worker thread of its own with
// its own I/O component.  A worker reads the file and reduces the page to
// thumbnail size, touching nothing but its own job; then it posts a message to
// the view, and the GUI thread stores the result, runs the change callbacks
// and starts the next waiting loads.  Jobs and the queue name entries by their
// records, so a load follows its entry through inserts, moves and deletes; a
// deleted entry's job is cancelled and its result dropped.
#include <algorithm>
#include <atomic>
#include <unordered_map>

#include "foundations/image_buffer.h"
#include "foundations/image_store.h"
#include "foundations/value_helpers.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "platform/rtl/threads.h"
#include "platform/vcl/messages.h"
#include "views/multi_view.h"
#include "views/multi_view_load_job.h"

namespace {
struct TLockScope {
  explicit TLockScope(TCriticalSection& L) : Lock(L) { Lock.Enter(); }
  ~TLockScope() { Lock.Leave(); }
  TCriticalSection& Lock;
};
}  // namespace

void TIEMViewLoadJob::Execute() {
    try {
      IO->LoadFromFileAuto(FileName);
      Failed = IO->GetAborting() || Bitmap->IsEmpty();
    } catch (...) {
      Failed = true;
    }
    if (!Failed) {
      SourceWidth = Bitmap->GetWidth();
      SourceHeight = Bitmap->GetHeight();
      // The reduction the store would make, here rather than in the GUI
      // thread.
      if (StoreType == ietThumb && (FitSmallImages || SourceWidth > ThumbWidth || SourceHeight > ThumbHeight)) {
        int32_t tw = ThumbWidth, th = ThumbHeight;
        IEAspectFit(SourceWidth, SourceHeight, ThumbWidth, ThumbHeight, tw, th);
        if (tw >= 1 && th >= 1 && (tw != SourceWidth || th != SourceHeight)) {
          try {
            Reduced = IEMViewMakeReduced(Bitmap.get(), tw, th, Filter);
          } catch (...) {
            Reduced.reset();
          }
        }
      }
    }
    Done.store(true, std::memory_order_release);
    PostMessage(View, IEM_MVIEWLOADED, 0, 0);
}


int32_t TFolioMView::IndexOfEntry(const TIEMViewEntry* E) const {
  for (size_t i = 0; i < FEntries.size(); ++i)
    if (FEntries[i].get() == E) return int32_t(i);
  return -1;
}

int32_t TFolioMView::QueueIndexOf(int32_t Index) {
  TLockScope Lock(FLock);
  TIEMViewEntry* E = Entry(Index);
  auto It = std::find(FLoadQueue.begin(), FLoadQueue.end(), E);
  return E && It != FLoadQueue.end() ? int32_t(It - FLoadQueue.begin()) : -1;
}

int32_t TFolioMView::GetRunningLoadCount() {
  TLockScope Lock(FLock);
  return int32_t(std::count_if(FLoadJobs.begin(), FLoadJobs.end(),
                               [](const auto& J) { return !J->Done.load(std::memory_order_acquire); }));
}

bool TFolioMView::QueueImageLoad(int32_t Index, int32_t Position) {
  TIEMViewEntry* E = Entry(Index);
  if (!E || !HandleAllocated()) return false;
  // Frames of multi-frame files go through the shared frame readers.
  std::string File;
  int32_t Frame = 0;
  if (SplitFrameName(E->DeferredFileName, File, Frame)) return false;
  // Images served by the program's handlers are asked for in the GUI thread.
  if (E->ImageID >= 0 && (OnImageIDRequest || OnImageIDRequestEx)) return false;
  TLockScope Lock(FLock);
  if (E->Image) return true;
  PruneLoadQueue();
  const int32_t Waiting = int32_t(FLoadQueue.size());
  if (Position >= 0) Position = std::clamp(Position, 0, Waiting);
  auto It = std::find(FLoadQueue.begin(), FLoadQueue.end(), E);
  if (It != FLoadQueue.end()) {
    if (Position >= 0) {
      FLoadQueue.erase(It);
      FLoadQueue.insert(FLoadQueue.begin() + std::min<size_t>(size_t(Position), FLoadQueue.size()), E);
    }
    StartLoadJobs();
    return true;
  }
  for (const auto& J : FLoadJobs)
    if (J->Entry == E && !J->Done.load(std::memory_order_acquire)) return true;
  if (E->DeferredFileName.empty()) return false;
  if (Position < 0)
    FLoadQueue.push_back(E);
  else
    FLoadQueue.insert(FLoadQueue.begin() + Position, E);
  StartLoadJobs();
  return true;
}

void TFolioMView::PruneLoadQueue() {
  if (FUnloadMargin == -1) return;
  std::unordered_map<const TIEMViewEntry*, int32_t> Where;
  for (size_t i = 0; i < FEntries.size(); ++i) Where[FEntries[i].get()] = int32_t(i);
  auto Wanted = [&](TIEMViewEntry* E) {
    auto It = Where.find(E);
    return It != Where.end() &&
           (IsEntryOnScreen(It->second) || std::find(FLookAhead.begin(), FLookAhead.end(), E) != FLookAhead.end());
  };
  FLoadQueue.erase(std::remove_if(FLoadQueue.begin(), FLoadQueue.end(), [&](TIEMViewEntry* E) { return !Wanted(E); }),
                   FLoadQueue.end());
  // Running loads of entries that left the screen are dropped when they end.
  for (const auto& J : FLoadJobs)
    if (J->Entry && !Wanted(J->Entry)) J->Entry = nullptr;
}

void TFolioMView::StartLoadJobs() {
  if (FDestroying || !HandleAllocated()) return;
  // The format table is built once, here, before any worker reads it.
  IEBuildFormatRegistry();
  // A finished load keeps its place in the pool until the GUI thread has
  // collected it (on its message), so the pool's size bounds the loads in
  // flight whatever the workers' speed.
  while (!FLoadQueue.empty() && int32_t(FLoadJobs.size()) < FThreadPoolSize) {
    TIEMViewEntry* E = FLoadQueue.front();
    FLoadQueue.erase(FLoadQueue.begin());
    auto Job = std::make_unique<TIEMViewLoadJob>();
    Job->Entry = E;
    Job->FileName = E->DeferredFileName;
    Job->View = GetHandle();
    Job->StoreType = FStoreType;
    Job->ThumbWidth = FThumbWidth;
    Job->ThumbHeight = FThumbHeight;
    Job->FitSmallImages = FitSmallImages;
    Job->Filter = StoreFilter;
    Job->Bitmap = std::make_unique<TIEBitmap>();
    Job->IO = std::make_unique<TFolioIO>(nullptr);
    Job->IO->AttachBitmap(Job->Bitmap.get());
    Job->IO->SetBackground(E->Background);
    PrepareLoadParams(Job->IO.get());
    if (FMIO) Job->IO->SetAutoAdjustDPI(FMIO->GetAutoAdjustDPI());
    TIEMViewLoadJob* Started = Job.get();
    FLoadJobs.push_back(std::move(Job));
    Started->Start();
  }
}

void TFolioMView::CollectLoadJobs() {
  bool Stored = false;
  {
    TLockScope Lock(FLock);
    for (size_t k = 0; k < FLoadJobs.size();) {
      TIEMViewLoadJob* J = FLoadJobs[k].get();
      if (!J->Done.load(std::memory_order_acquire)) {
        ++k;
        continue;
      }
      J->WaitFor();
      std::unique_ptr<TIEMViewLoadJob> Job = std::move(FLoadJobs[k]);
      FLoadJobs.erase(FLoadJobs.begin() + ptrdiff_t(k));
      const int32_t Index = Job->Entry ? IndexOfEntry(Job->Entry) : -1;
      if (Index < 0 || Job->Entry->Image) continue;
      TIEMViewEntry* E = Job->Entry;
      Job->IO->AttachBitmap(nullptr);
      if (Job->Failed) DoWrongImage(Job->Bitmap.get(), Index);
      if (TIOParamsVals* Rec = GetMIO()->ParamsOf(Index)) Rec->Assign(Job->IO->GetParams());
      E->Background = Job->IO->GetBackground();
      StoreImageBitmap(Index, Job->Reduced ? Job->Reduced.get() : Job->Bitmap.get());
      if (E->Image && !Job->Failed) {
        const TIOParamsVals* P = Job->IO->GetParams();
        FImageList->SetSourceWidth(E->Image, P->StoredWidth > 0 ? P->StoredWidth : Job->SourceWidth);
        FImageList->SetSourceHeight(E->Image, P->StoredHeight > 0 ? P->StoredHeight : Job->SourceHeight);
      }
      Stored = true;
    }
    StartLoadJobs();
  }
  if (Stored) Invalidate();
}

void TFolioMView::CancelImageLoad(int32_t Index) {
  TIEMViewEntry* E = Entry(Index);
  if (!E) return;
  TLockScope Lock(FLock);
  FLoadQueue.erase(std::remove(FLoadQueue.begin(), FLoadQueue.end(), E), FLoadQueue.end());
  FLookAhead.erase(std::remove(FLookAhead.begin(), FLookAhead.end(), E), FLookAhead.end());
  for (const auto& J : FLoadJobs)
    if (J->Entry == E) J->Entry = nullptr;
}

void TFolioMView::ClearLoadQueues() {
  TLockScope Lock(FLock);
  FLoadQueue.clear();
  FLookAhead.clear();
  for (const auto& J : FLoadJobs) J->Entry = nullptr;
}

void TFolioMView::FreeLoadJobs() {
  // Each job's destructor waits for its worker; a worker never waits for the
  // GUI thread (it only posts), so this cannot deadlock.
  std::vector<std::unique_ptr<TIEMViewLoadJob>> Jobs;
  {
    TLockScope Lock(FLock);
    Jobs.swap(FLoadJobs);
  }
  Jobs.clear();
}
