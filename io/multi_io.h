#pragma once
// TFolioMIO: loads and saves whole multi-page documents into and out of a
// multi-image view.  The view holds the pixels of every page; this component
// holds one parameter set per page, in a list kept parallel to the view's
// entries through the view's change callbacks and its change record.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "io/folio_io.h"
#include "io/format_registry.h"
#include "formats/io_params.h"
#include "foundations/progress.h"
#include "platform/rtl/components.h"
#include "platform/rtl/object.h"
#include "views/view_base.h"

class TFolioMView;
class TFont;

// An acquired image before it is stored; Handled keeps it out of the view.
using TIEAcquireBitmapEvent = std::function<void(TObject* Sender, TIEBitmap* ABitmap, bool& Handled)>;
// An acquired image was stored as entry index.
using TIEAfterAcquireBitmapEvent = std::function<void(TObject* Sender, int32_t index)>;
class TStream;
class TMemoryStream;
class TIEBitmap;
class TIEMask;
class TIECodecPageReader;

class TFolioMIO : public TComponent, public IFormPropertyTarget {
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
  // Chooses the loader by the name: URLs, then the extension.  A blank name
  // only sets Aborting.
  void LoadFile(const std::string& FileName);
  // The pages of a file or stream of Format, through the page procedures of
  // its row in the codec table.  A format without them: the file is opened
  // (a missing file raises as for every loader), nothing is inserted,
  // Aborting is set and the work finishes.  The per-format loaders below are
  // these calls.
  void LoadPagesFile(const std::string& FileName, TIEFileFormat Format);
  void LoadPagesStream(TStream* Stream, TIEFileFormat Format);
  void LoadTiffFile(const std::string& FileName);
  void LoadTiffStream(TStream* Stream);
  void LoadDcxFile(const std::string& FileName);
  void LoadDcxStream(TStream* Stream);
  void LoadGifFile(const std::string& FileName);
  void LoadGifStream(TStream* Stream);
  void LoadIcoFile(const std::string& FileName);
  void LoadIcoStream(TStream* Stream);
  void LoadDicomFile(const std::string& FileName);
  void LoadDicomStream(TStream* Stream);
  void LoadAviFile(const std::string& FileName);
  void LoadMediaFile(const std::string& FileName);
  void LoadUrl(const std::string& URL);

  // ---- saving
  // The file variants write to a temporary file beside FileName and replace
  // FileName only when every page was written; on failure FileName is left
  // as it was and Aborting is set.  The pages go through the page writer of
  // the format's row in the codec table; a format without one writes nothing
  // and sets Aborting.  The per-format savers below are these calls (DCX
  // always writes every page).
  void SavePagesFile(const std::string& FileName, TIEFileFormat Format, bool SelectedOnly);
  void SavePagesStream(TStream* Stream, TIEFileFormat Format, bool SelectedOnly);
  void SaveTiffFile(const std::string& FileName, bool SelectedOnly);
  void SaveTiffStream(TStream* Stream, bool SelectedOnly);
  void SaveDcxFile(const std::string& FileName);
  void SaveDcxStream(TStream* Stream);
  void SaveGifFile(const std::string& FileName);
  void SaveGifStream(TStream* Stream);
  void SavePsFile(const std::string& FileName);
  void SavePsStream(TStream* Stream);
  void SavePdfFile(const std::string& FileName);
  void SavePdfStream(TStream* Stream);

  // ---- acquisition
  // Busy: True at once.  Api 0 TWAIN, 1 WIA; any other answers False.
  bool AcquirePages(uint8_t Api);
  // Stores one acquired image as a new entry at the acquire position (unless
  // OnAcquireBitmap handles it); Params gets the entry's record to fill.
  virtual void ReceiveAcquiredBitmap(TIEBitmap* Bitmap, TIOParamsVals*& Params);
  virtual void ResetAcquireState();
  int32_t GetAcquirePosition() const { return FAcquirePosition; }
  void SetAcquirePosition(int32_t Value) { FAcquirePosition = Value; }
  // Progress of a scanner transfer; answers whether to go on.
  bool WiaProgress(int32_t Percent);

  // ---- dialogs
  // The save-parameters dialog for page Index (Index < 0: page 0, whose
  // encoding options then go to every page whatever the answer).
  bool ShowParamsPreviews(int32_t Index, TIEParamsPages Pages);
  bool ShowPrintPreview(const std::string& Title, bool ShowAnnotations, const std::string& Caption);

  virtual void DoFinishWork();
  void RefreshView();

  // ---- properties
  bool GetAborting() const { return FAborting; }
  void SetAborting(bool Value) { FAborting = Value; }
  bool GetAutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  // Pages whose file says they are stored turned or mirrored (a TIFF or EXIF
  // orientation other than 1) are read upright; off by default, so pages
  // arrive as stored.
  bool GetApplyOrientation() const { return FApplyOrientation; }
  void SetApplyOrientation(bool Value) { FApplyOrientation = Value; }
  bool GetFilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  uint8_t GetMonoConversion() const { return FMonoConversion; }
  bool GetNativePixelFormat() const { return FNativePixelFormat; }
  TMsgLanguage GetMsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  TIOPreviewsParams GetPreviewsParams() const { return FPreviewsParams; }
  void SetPreviewsParams(TIOPreviewsParams Value) { FPreviewsParams = Value; }
  TFont* GetPreviewFont() const { return FPreviewFont.get(); }
  void SetPreviewFont(TFont* Value);
  bool GetSimplifiedParamsDialogs() const { return FSimplifiedParamsDialogs; }
  void SetSimplifiedParamsDialogs(bool Value) { FSimplifiedParamsDialogs = Value; }
  TIEDialogsMeasureUnit GetDialogsMeasureUnit() const { return FDialogsMeasureUnit; }
  void SetDialogsMeasureUnit(TIEDialogsMeasureUnit Value) { FDialogsMeasureUnit = Value; }
  const std::string& GetProxyAddress() const { return FProxyAddress; }
  const std::string& GetProxyUser() const { return FProxyUser; }
  const std::string& GetProxyPassword() const { return FProxyPassword; }

  const TFormPropertyTable& FormProperties() const override;

  TIEProgressEvent OnProgress;
  TNotifyEvent OnFinishWork;
  TIEAcquireBitmapEvent OnAcquireBitmap;
  TIEAfterAcquireBitmapEvent OnAfterAcquireBitmap;
  TIEDoPreviewsEvent OnDoPreviews;

 protected:
  void ViewChanged(TIEView* Sender, int32_t Code);
  void InsertParams(int32_t Index);
  void DeleteParams(int32_t Index);
  void MoveParams(int32_t Index, int32_t NewIndex);
  void ApplyDefaultDpi(TIOParamsVals* Params);
  // The encoding options of page 0 go to every other page.
  void CopyFirstPageOptions();

 private:
  // The page loop shared by the formats with pages: every page the codec's
  // page reader offers (or, when it cannot tell the count at first, until the
  // first read tells it); then, when pages were lost behind the readable
  // ones, Aborting is set.
  void LoadPages(TStream* Stream, int32_t FileFormat, TIECodecPageReader& Pages);
  // The pages of the view (or the selected ones) written through the
  // codec's page writer.
  void SavePages(TStream* Stream, TIEFileFormat Format, bool SelectedOnly);
  void LoadUnsupported();
  void LoadOnePageThroughView(const std::string& FileName);
  // Where loaded pages go: the selected entry, or the end (0 without view).
  int32_t InsertPosition() const;
  // The progress record handed to the codecs: no callback, this
  // component's abort flag.
  TIEProgressRec CodecProgress();
  // A download in a format the stream loaders do not take: through a
  // scratch file, by name.
  void LoadDownloadedFile(TMemoryStream& Stream, const std::string& URL, const std::string& Ext);
  void SaveToNamedFile(const std::string& FileName, const std::function<void(TStream*)>& Writer);
  void Detach();

  TFolioMView* FAttachedMView = nullptr;
  TIEChangeCallbackHandle FChangeCallback = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> FParams;
  std::string FCurrentFileName;
  std::atomic<bool> FAborting{false};
  bool FAutoAdjustDPI = false;
  bool FFilteredAdjustDPI = false;
  bool FApplyOrientation = false;
  const uint8_t FMonoConversion = 1;
  const bool FNativePixelFormat = false;
  int32_t FAcquirePosition = 0;
  int32_t FAcquireBusy = 0;
  TMsgLanguage FMsgLanguage = msSystem;
  TIOPreviewsParams FPreviewsParams = 0;
  std::unique_ptr<TFont> FPreviewFont;
  bool FSimplifiedParamsDialogs = true;
  TIEDialogsMeasureUnit FDialogsMeasureUnit = ieduInches;
  const std::string FProxyAddress, FProxyUser, FProxyPassword;
};

// Registers TFolioMIO with the form-resource reader.
void IERegisterFolioMIOClass();
