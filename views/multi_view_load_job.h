#pragma once
// One background load of the multi-image view (see multi_view_loader.cpp).
#include <atomic>
#include <memory>
#include <string>

#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "platform/rtl/threads.h"
#include "platform/vcl/messages.h"
#include "views/multi_view.h"

// One background load.  Everything Execute touches belongs to the job and is
// set up before the thread starts; the GUI thread reads the results only
// once Done is set.
class TIEMViewLoadJob : public TThread {
 public:
  TIEMViewLoadJob() : TThread(true) {}
  ~TIEMViewLoadJob() override {
    // Execute uses the members below: wait for it before they go.
    if (!GetSuspended()) WaitFor();
    if (IO) IO->AttachBitmap(nullptr);
  }

  // GUI-thread fields.
  TIEMViewEntry* Entry = nullptr;  // null once cancelled
  // Set up before the start.
  std::string FileName;
  HWND View = 0;
  TIEStoreType StoreType = ietNormal;
  int32_t ThumbWidth = 0, ThumbHeight = 0;
  bool FitSmallImages = true;
  TResampleFilter Filter = rfFastLinear;
  std::unique_ptr<TFolioIO> IO;
  std::unique_ptr<TIEBitmap> Bitmap;
  // Results.
  std::unique_ptr<TIEBitmap> Reduced;
  int32_t SourceWidth = 0, SourceHeight = 0;
  bool Failed = false;
  std::atomic<bool> Done{false};

 protected:
  void Execute() override;
};

