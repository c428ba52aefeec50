#pragma once
// Background loading of the open dialog's preview. One file at a time: a new
// request, or Cancel, raises the abort flag of the running load and drops its
// result, so a large file never holds the dialog and a stale result never
// replaces the preview of the file selected since. Results and progress
// arrive in the GUI thread (through its event loop).
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "formats/io_params.h"

class TIEBitmap;
class TThread;

// What the worker found out about a file.
struct TIEPreviewResult {
  std::string FileName;
  TIEFileFormat Detected = ioUnknown;  // by content, 0 when unknown
  int32_t FrameCount = 1;
  bool MultiFrame = false;
  bool Loaded = false;  // Bitmap holds the decoded image
  bool Aborted = false;
  std::unique_ptr<TIEBitmap> Bitmap;
  std::unique_ptr<TIOParamsVals> Params;  // of the file (frame 0)
};

// How the load is asked for.
struct TIEPreviewRequest {
  std::string FileName;
  bool ParamsOnly = false;    // read the parameters, no pixels
  bool ShowAllFrames = true;  // a multi-frame file is not decoded here
  bool GifReadable = true;
  int32_t WantedWidth = 0, WantedHeight = 0;  // reduced load; 0 = full size
  bool AutoAdjustDPI = false, FilteredAdjustDPI = false;
};

class TIEPreviewLoader {
 public:
  using TDoneEvent = std::function<void(TIEPreviewResult& Result)>;
  using TProgressEvent = std::function<void(int32_t Percent)>;

  TIEPreviewLoader();
  // Cancels and waits for every worker.
  ~TIEPreviewLoader();
  TIEPreviewLoader(const TIEPreviewLoader&) = delete;
  TIEPreviewLoader& operator=(const TIEPreviewLoader&) = delete;

  // Starts loading; cancels the running load first.
  void Start(const TIEPreviewRequest& Request, TDoneEvent Done, TProgressEvent Progress = nullptr);
  // Aborts the running load; its result is never delivered.
  void Cancel();
  // True from Start until the result was delivered or the load cancelled.
  bool GetBusy() const;
  // Waits (in the GUI thread, serving its events) until nothing is busy.
  void WaitIdle();

  // The work itself, in the calling thread (the worker calls it).
  static void Run(const TIEPreviewRequest& Request, TIEPreviewResult& Result,
                  const std::function<bool()>& Aborted, const TProgressEvent& Progress);

  // State shared with the workers (opaque).
  struct TShared;

 private:
  std::shared_ptr<TShared> FShared;
  std::vector<std::unique_ptr<TThread>> FThreads;
  void JoinFinished(bool All);
};

// Frame count of a file by its format (TIFF pages, GIF frames, icon images,
// DCX pages, DICOM and HD Photo images); 1 for other formats.
int32_t IEPreviewFrameCount(const std::string& FileName, TIEFileFormat Format);
