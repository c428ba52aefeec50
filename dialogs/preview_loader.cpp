#include "dialogs/preview_loader.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <atomic>
#include <mutex>

#include "foundations/file_utils.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "platform/rtl/threads.h"

// One load: the worker publishes its I/O component here while it runs, so
// that Cancel can raise that component's abort flag.
struct TIEPreviewJob {
  std::atomic<bool> Cancelled{false};
  std::mutex Lock;
  TFolioIO* IO = nullptr;
  void Abort() {
    Cancelled = true;
    std::lock_guard<std::mutex> G(Lock);
    if (IO) IO->SetAborting(true);
  }
};

struct TIEPreviewLoader::TShared {
  std::mutex Lock;
  std::shared_ptr<TIEPreviewJob> Current;  // the load whose result is awaited
};

namespace {

// The job the calling worker runs (null outside the workers).
thread_local TIEPreviewJob* GRunningJob = nullptr;

class TPreviewThread : public TThread {
 public:
  TPreviewThread(TIEPreviewRequest Request, std::shared_ptr<TIEPreviewJob> Job,
                 std::weak_ptr<TIEPreviewLoader::TShared> Shared, TIEPreviewLoader::TDoneEvent Done,
                 TIEPreviewLoader::TProgressEvent Progress)
      : TThread(true),
        FRequest(std::move(Request)),
        FJob(std::move(Job)),
        FShared(std::move(Shared)),
        FDone(std::move(Done)),
        FProgress(std::move(Progress)) {}

 protected:
  void Execute() override {
    auto Result = std::make_shared<TIEPreviewResult>();
    const auto Job = FJob;
    const auto Shared = FShared;
    // Progress and the result go to the GUI thread, and count only while
    // this load is still the awaited one there.
    auto Awaited = [Job, Shared]() {
      auto S = Shared.lock();
      if (!S || Job->Cancelled) return false;
      std::lock_guard<std::mutex> G(S->Lock);
      return S->Current == Job;
    };
    TIEPreviewLoader::TProgressEvent Progress;
    if (FProgress) {
      Progress = [Fn = FProgress, Awaited](int32_t Percent) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [Fn, Percent, Awaited] {
              if (Awaited()) Fn(Percent);
            },
            Qt::QueuedConnection);
      };
    }
    GRunningJob = Job.get();
    try {
      TIEPreviewLoader::Run(
          FRequest, *Result, [Job] { return Job->Cancelled.load(); }, Progress);
    } catch (...) {
      Result->Loaded = false;
      Result->Aborted = true;
    }
    GRunningJob = nullptr;
    auto Done = FDone;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [Done, Result, Awaited, Shared, Job] {
          if (!Awaited()) return;
          if (auto S = Shared.lock()) {
            std::lock_guard<std::mutex> G(S->Lock);
            S->Current.reset();
          }
          Done(*Result);
        },
        Qt::QueuedConnection);
  }

 private:
  TIEPreviewRequest FRequest;
  std::shared_ptr<TIEPreviewJob> FJob;
  std::weak_ptr<TIEPreviewLoader::TShared> FShared;
  TIEPreviewLoader::TDoneEvent FDone;
  TIEPreviewLoader::TProgressEvent FProgress;
};

}  // namespace

int32_t IEPreviewFrameCount(const std::string& FileName, TIEFileFormat Format) {
  switch (Format) {
    case ioTIFF:
    case ioGIF:
    case ioICO:
    case ioDCX:
    case ioDICOM:
    case ioHDP: {
      int32_t N = 0;
      try {
        N = IEFileImageCount(FileName, Format);
      } catch (...) {
        N = 0;
      }
      return N > 0 ? N : 1;
    }
    default:
      return 1;
  }
}

TIEPreviewLoader::TIEPreviewLoader() : FShared(std::make_shared<TShared>()) {}

TIEPreviewLoader::~TIEPreviewLoader() {
  Cancel();
  JoinFinished(true);
}

void TIEPreviewLoader::Run(const TIEPreviewRequest& Request, TIEPreviewResult& Result,
                           const std::function<bool()>& Aborted, const TProgressEvent& Progress) {
  Result.FileName = Request.FileName;
  const std::string& Name = Request.FileName;
  Result.Detected = IEDetectFileFormat(Name, false);
  const std::string Ext = IEExtractFileExt(Name, false);
  const TIEFileFormatInfo* Gif = IEFindFormatById(ioGIF);
  const bool GifReadable = Request.GifReadable && Gif && Gif->ReadProc;
  const TIEFileFormat D = Result.Detected;
  int32_t Count = 1;
  if (D == ioTIFF || D == ioDCX || D == ioDICOM || D == ioHDP || (D == ioGIF && GifReadable))
    Count = IEPreviewFrameCount(Name, D);
  Result.FrameCount = Count;
  const bool Media = Ext == "mpg" || Ext == "mpeg" || Ext == "wmv" || Ext == "avi";
  Result.MultiFrame = D == ioAVI || D == ioDCX || Media ||
                      ((D == ioTIFF || D == ioGIF || D == ioDICOM) && Count > 1) ||
                      (D == ioHDP && Count >= 2);
  if (Aborted()) {
    Result.Aborted = true;
    return;
  }
  auto Bitmap = std::make_unique<TIEBitmap>();
  auto IO = TFolioIO::CreateFromBitmap(Bitmap.get());
  if (GRunningJob) {
    std::lock_guard<std::mutex> G(GRunningJob->Lock);
    GRunningJob->IO = IO.get();
  }
  struct Unpublish {
    ~Unpublish() {
      if (GRunningJob) {
        std::lock_guard<std::mutex> G(GRunningJob->Lock);
        GRunningJob->IO = nullptr;
      }
    }
  } U;
  if (Aborted()) IO->SetAborting(true);
  if (Progress) IO->OnProgress = [Progress](TObject*, int32_t Percent) { Progress(Percent); };
  TIOParamsVals* P = IO->GetParams();
  if (Request.ParamsOnly || (Result.MultiFrame && Request.ShowAllFrames)) {
    // Frame 0's parameters only; a multi-frame file's pixels are loaded by
    // the thumbnail view, frame by frame.
    IO->ReadParamsFromFile(Name);
  } else {
    P->Width = Request.WantedWidth;
    P->Height = Request.WantedHeight;
    P->JpegReduceMode = ioJPEG_AUTOCALC;
    P->RawHalfSize = true;
    P->SetRawLoadThumbnail(true);
    P->SetLoadExifThumbnail(true);
    IO->SetAutoAdjustDPI(Request.AutoAdjustDPI);
    IO->SetFilteredAdjustDPI(Request.FilteredAdjustDPI);
    IO->LoadFromFileAuto(Name);
    Result.Loaded = !IO->GetAborting() && Bitmap->GetWidth() > 0 && Bitmap->GetHeight() > 0;
    if (P->FileFormat == ioAVI) Result.FrameCount = P->AviFrameCount;
  }
  Result.Aborted = IO->GetAborting() || Aborted();
  Result.Params = std::make_unique<TIOParamsVals>();
  Result.Params->Assign(P);
  IO.reset();
  if (Result.Loaded) Result.Bitmap = std::move(Bitmap);
}

void TIEPreviewLoader::Start(const TIEPreviewRequest& Request, TDoneEvent Done, TProgressEvent Progress) {
  Cancel();
  JoinFinished(false);
  auto Job = std::make_shared<TIEPreviewJob>();
  {
    std::lock_guard<std::mutex> G(FShared->Lock);
    FShared->Current = Job;
  }
  auto T = std::make_unique<TPreviewThread>(Request, Job, FShared, std::move(Done), std::move(Progress));
  TPreviewThread* Raw = T.get();
  FThreads.push_back(std::move(T));
  Raw->Start();
}

void TIEPreviewLoader::Cancel() {
  std::shared_ptr<TIEPreviewJob> Job;
  {
    std::lock_guard<std::mutex> G(FShared->Lock);
    Job = std::move(FShared->Current);
    FShared->Current.reset();
  }
  if (Job) Job->Abort();
}

bool TIEPreviewLoader::GetBusy() const {
  std::lock_guard<std::mutex> G(FShared->Lock);
  return FShared->Current != nullptr;
}

void TIEPreviewLoader::WaitIdle() {
  while (GetBusy())
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
}

void TIEPreviewLoader::JoinFinished(bool All) {
  for (auto It = FThreads.begin(); It != FThreads.end();) {
    if (All || (*It)->GetFinished()) {
      (*It)->WaitFor();
      It = FThreads.erase(It);
    } else {
      ++It;
    }
  }
}
