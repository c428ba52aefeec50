#pragma once
// TFolioMIO: loads and saves whole multi-page documents into and out of a
// multi-image view.  The view holds the pixels of every page; this component
// holds one parameter set per page, in a list kept parallel to the view's
// entries through the view's change callbacks and its change record.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/io_params.h"
#include "io/progress.h"
#include "platform/rtl/components.h"
#include "platform/rtl/object.h"
#include "views/view_base.h"

class TFolioMView;
class TStream;

class TFolioMIO : public TComponent {
 public:
  explicit TFolioMIO(TComponent* AOwner);
  ~TFolioMIO() override;
  TFolioMIO(const TFolioMIO&) = delete;
  TFolioMIO& operator=(const TFolioMIO&) = delete;

  std::string ClassName() const override { return "TFolioMIO"; }

  // ---- binding
  TFolioMView* GetAttachedMView() const { return FAttachedMView; }
  void SetAttachedMView(TFolioMView* Value);
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // ---- page parameters
  int32_t GetImageCount() const { return static_cast<int32_t>(FParams.size()); }
  // The record of entry Index; nullptr outside 0 .. count - 1.
  TIOParamsVals* ParamsOf(int32_t Index) const;

  // ---- loading (pages go in at the selected entry, or at the end)
  void LoadTiffFile(const std::string& FileName);
  void LoadTiffStream(TStream* Stream);

  // ---- saving
  // Writes to a temporary file beside FileName and replaces FileName only
  // when every page was written; on failure FileName is left as it was and
  // Aborting is set.
  void SaveTiffFile(const std::string& FileName, bool SelectedOnly);
  void SaveTiffStream(TStream* Stream, bool SelectedOnly);

  virtual void DoFinishWork();
  void RefreshView();

  // ---- properties
  bool GetAborting() const { return FAborting; }
  void SetAborting(bool Value) { FAborting = Value; }
  bool GetAutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  bool GetFilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  uint8_t GetMonoConversion() const { return FMonoConversion; }
  bool GetNativePixelFormat() const { return FNativePixelFormat; }

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;

 protected:
  void ViewChanged(TIEView* Sender, int32_t Code);
  void InsertParams(int32_t Index);
  void DeleteParams(int32_t Index);
  void MoveParams(int32_t Index, int32_t NewIndex);
  void ApplyDefaultDpi(TIOParamsVals* Params);

 private:
  void Detach();

  TFolioMView* FAttachedMView = nullptr;
  TIEChangeCallbackHandle FChangeCallback = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> FParams;
  std::string FCurrentFileName;
  bool FAborting = false;
  bool FAutoAdjustDPI = false;
  bool FFilteredAdjustDPI = false;
  const uint8_t FMonoConversion = 1;
  const bool FNativePixelFormat = false;
};
