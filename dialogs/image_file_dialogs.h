#pragma once
// The library's image open and save dialogs.
//
// TIECommonDialog runs the platform's common file dialog modally (Qt's own
// dialog inside a form, platform/vcl/file_dialog.h) with the library's panels
// beside and below the standard controls, and reports its show and close.
// TOpenFolioDialog holds the file-dialog run (options, type list, names,
// notifications) and the preview: a still image in a small view, or the
// frames of a multi-frame file as thumbnails, with labels that describe the
// file. The preview loads in the background, so a large file never holds the
// dialog, and a new selection cancels the load of the previous one.
// TSaveFolioDialog lists the writable formats, follows the chosen type with
// the name's extension and opens the format's parameters for the component
// that will save; cancelling puts those parameters back.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundations/render_types.h"
#include "foundations/settings.h"
#include "io/format_registry.h"
#include "platform/rtl/components.h"
#include "platform/vcl/form_reader.h"
#include "platform/vcl/forms.h"

class TPanel;
class TLabel;
class TButton;
class TCheckBox;
class TComboBox;
class TTimer;
class TOxSpeedButton;
class TOxXPProgressBar;
class TFolioMView;
class TFolioIO;
class TFolioMIO;
class TFolioVect;
class TIEPreviewLoader;
class TVclFileDialogForm;
class TIOParamsVals;
class TStringList;
struct TIEPreviewResult;

// Options of the file dialogs (bit flags).
using TOpenOptions = uint32_t;
enum : TOpenOptions {
  ofReadOnly = 1u << 0,
  ofOverwritePrompt = 1u << 1,
  ofHideReadOnly = 1u << 2,
  ofNoChangeDir = 1u << 3,
  ofShowHelp = 1u << 4,
  ofNoValidate = 1u << 5,
  ofAllowMultiSelect = 1u << 6,
  ofExtensionDifferent = 1u << 7,
  ofPathMustExist = 1u << 8,
  ofFileMustExist = 1u << 9,
  ofCreatePrompt = 1u << 10,
  ofShareAware = 1u << 11,
  ofNoReadOnlyReturn = 1u << 12,
  ofNoTestFileCreate = 1u << 13,
  ofNoNetworkButton = 1u << 14,
  ofNoLongNames = 1u << 15,
  ofOldStyleDialog = 1u << 16,
  ofNoDereferenceLinks = 1u << 17,
  ofEnableIncludeNotify = 1u << 18,
  ofEnableSizing = 1u << 19,
  ofDontAddToRecent = 1u << 20,
  ofForceShowHidden = 1u << 21,
};

enum TIEDBorderStyle : uint8_t { iepsDefault, iepsCropped, iepsCropShadow, iepsSoftShadow };

// Options of the save dialog (bit flags).
using TIESaveDlgOpt = uint8_t;
enum : TIESaveDlgOpt { sdShowPreview = 1, sdShowAdvanced = 2 };

using TIEFileDlgPreviewEvent =
    std::function<void(TObject* Sender, TObject* Viewer, const std::string& FileName, bool ParamsOnly)>;

// ---------------------------------------------------------------------------
class TIECommonDialog : public TComponent, public IFormPropertyTarget {
 public:
  explicit TIECommonDialog(TComponent* AOwner);
  ~TIECommonDialog() override;

  virtual bool Execute() = 0;

  bool GetCtl3D() const { return FCtl3D; }
  void SetCtl3D(bool Value) { FCtl3D = Value; }
  int32_t GetHelpContext() const { return FHelpContext; }
  void SetHelpContext(int32_t Value) { FHelpContext = Value; }
  TMsgLanguage GetMsgLanguage() const { return FMsgLanguage; }
  void SetMsgLanguage(TMsgLanguage Value) { FMsgLanguage = Value; }
  bool GetShowPlacesBar() const { return FShowPlacesBar; }
  void SetShowPlacesBar(bool Value) { FShowPlacesBar = Value; }
  bool GetExtendedDialog() const { return FExtendedDialog; }
  void SetExtendedDialog(bool Value) { FExtendedDialog = Value; }
  // The template of the last run: "IDD_IETEMPLATE" (with the preview) or
  // "IDD_IETEMPLATE1" (without).
  const std::string& GetTemplateName() const { return FTemplateName; }

  // The dialog window while it is shown, nullptr otherwise.
  TVclFileDialogForm* GetDialogForm() const { return FForm; }
  HWND GetHandle() const;

  // Published properties read from a form resource.
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnClose;
  TNotifyEvent OnShow;

 protected:
  // Runs the dialog window modally; answers 1 when a name was confirmed.
  int32_t TaskModalDialog(TVclFileDialogForm& Form);
  virtual void DoClose();
  virtual void DoShow();

  TVclFileDialogForm* FForm = nullptr;
  std::string FTemplateName;
  TTimer* FTimer = nullptr;  // the save dialog's; owned as a component

 private:
  bool FCtl3D = true;
  int32_t FHelpContext = 0;
  TMsgLanguage FMsgLanguage = msSystem;
  bool FShowPlacesBar = true;
  bool FExtendedDialog = true;
};

// ---------------------------------------------------------------------------
class TOpenFolioDialog : public TIECommonDialog {
 public:
  explicit TOpenFolioDialog(TComponent* AOwner);
  ~TOpenFolioDialog() override;

  std::string ClassName() const override { return "TOpenFolioDialog"; }
  bool Execute() override;
  const TFormPropertyTable& FormProperties() const override;

  // ---- the file-dialog run
  TOpenOptions GetOptions() const { return FOptions; }
  void SetOptions(TOpenOptions Value) { FOptions = Value; }
  const std::string& GetFilter() const { return FFilter; }
  void SetFilter(const std::string& Value) { FFilter = Value; }
  // The chosen pair while shown, else the stored one (1-based).
  int32_t GetFilterIndex() const;
  void SetFilterIndex(int32_t Value) { FFilterIndex = Value; }
  const std::string& GetInitialDir() const { return FInitialDir; }
  // Stored without a trailing delimiter, unless it follows ":" or is the
  // root.
  void SetInitialDir(const std::string& Value);
  const std::string& GetTitle() const { return FTitle; }
  void SetTitle(const std::string& Value) { FTitle = Value; }
  const std::string& GetDefaultExt() const { return FDefaultExt; }
  void SetDefaultExt(const std::string& Value) { FDefaultExt = Value; }
  // While shown: the dialog's current path; otherwise the stored name.
  std::string GetFileName() const;
  std::string GetFileNameW() const { return GetFileName(); }
  void SetFileName(const std::string& Value) { FFileName = Value; }
  // The name in the dialog's name box while shown, else the stored name.
  std::string GetFileSpecW() const;
  // The folder of the current path followed by the name box's text.
  std::string GetTypedFileName() const;
  const std::vector<std::string>& GetFiles() const { return FFiles; }
  // The pattern half of the chosen pair.
  const std::string& GetCurrentPattern() const { return FCurrentPattern; }
  // While shown, the rectangle of the standard controls in the dialog's
  // client coordinates; empty otherwise.
  TRect GetStaticRect() const;

  // Runs the dialog (Save: the save variant); answers 0 when cancelled.
  int32_t RunFileDialog(bool Save);
  // The type list from the format registry (Save: the writable formats).
  std::string BuildFilter(bool Save) const;
  // The pair (1-based) whose text holds Ext (with its dot) as a whole
  // pattern item; 0 when none does.
  static int32_t FilterIndexOfExtension(const std::string& Filter, const std::string& Ext);
  // The pattern half of pair Index (1-based) of Filter; "" when none.
  static std::string FilterPattern(const std::string& Filter, int32_t Index);
  // The extension (with its dot) a pattern list gives a typed name: its first
  // pattern from the "." up to the first ";"; "" for "*.*" and other
  // patterns without a real extension.
  static std::string PatternExtension(const std::string& Pattern);

  // ---- preview
  bool GetAutoSetFilter() const { return FAutoSetFilter; }
  void SetAutoSetFilter(bool Value) { FAutoSetFilter = Value; }
  bool GetAlwaysAnimate() const { return FAlwaysAnimate; }
  void SetAlwaysAnimate(bool Value);
  TIEDBorderStyle GetPreviewBorderStyle() const { return FPreviewBorderStyle; }
  void SetPreviewBorderStyle(TIEDBorderStyle Value);
  bool GetAutoAdjustDPI() const { return FAutoAdjustDPI; }
  void SetAutoAdjustDPI(bool Value) { FAutoAdjustDPI = Value; }
  bool GetFilteredAdjustDPI() const { return FFilteredAdjustDPI; }
  void SetFilteredAdjustDPI(bool Value) { FFilteredAdjustDPI = Value; }
  TResampleFilter GetZoomFilter() const;
  void SetZoomFilter(TResampleFilter Value);
  bool GetShowAllFrames() const { return FShowAllFrames; }
  void SetShowAllFrames(bool Value) { FShowAllFrames = Value; }

  // Size in bytes and frame count of the previewed file.
  int64_t GetPreviewFileSize() const { return FFileSize; }
  int32_t GetFrameCount() const { return FFrameCount; }
  int32_t GetSelectedFrame() const { return FSelectedFrame; }
  // True while a preview load runs in the background.
  bool GetPreviewBusy() const;
  // Serves the GUI thread's events until the running preview load is done.
  void WaitPreview();

  // The texts of the words in MsgLanguage.
  void ApplyLanguage();
  // The labels from a parameter set (nullptr empties them).
  void ShowFileInfo(const TIOParamsVals* Params);
  // The memory an image of that size and kind needs (64-bit).
  static int64_t MemoryNeed(int32_t Width, int32_t Height, int32_t Samples, int32_t Bits);

  TPanel* GetInfoPanel() const { return FInfoPanel; }
  TPanel* GetPicturePanel() const { return FPicturePanel; }
  TFolioVect* GetPreviewView() const { return FFolioView; }
  TFolioMView* GetPreviewMView() const { return FFolioMView; }

  TCloseQueryEvent OnCanClose;
  TNotifyEvent OnFolderChange;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnTypeChange;
  TNotifyEvent OnCreateCustomControls;
  TNotifyEvent OnDestroyCustomControls;
  TIEFileDlgPreviewEvent OnPreviewFile;

 protected:
  virtual void DoCanClose(bool& CanClose);
  virtual void UpdatePreview();
  virtual void DoFolderChange();
  virtual void DoTypeChange();
  virtual void ApplyPreviewZoom();
  void DoShow() override;
  void DoClose() override;

  void PreviewCheckClick(TObject* Sender);
  void PlayButtonClick(TObject* Sender);
  void ShowPreviewWindow(TObject* Sender);
  void ZoomComboChange(TObject* Sender);
  void PreviewProgress(TObject* Sender, int32_t Percent);
  void FrameSelect(TObject* Sender, int32_t Index);
  void FramesDisplayed(TObject* Sender);

  // The preview's outcome, in the GUI thread.
  void PreviewDone(TIEPreviewResult& Result);
  void EmptyPreview();

  bool FShowPreview = true;  // the save dialog sets it from its options
  TPanel* FInfoPanel = nullptr;
  TLabel* FInfoLabel1 = nullptr;
  TLabel* FInfoLabel2 = nullptr;
  TButton* FAdvancedButton = nullptr;
  TCheckBox* FPreviewCheck = nullptr;
  TPanel* FPicturePanel = nullptr;
  TLabel* FPicLabel1 = nullptr;
  TLabel* FPicLabel2 = nullptr;
  TLabel* FPicLabel3 = nullptr;
  TComboBox* FZoomCombo = nullptr;
  TOxSpeedButton* FPreviewButton = nullptr;
  TOxSpeedButton* FPlayButton = nullptr;
  TFolioVect* FFolioView = nullptr;
  TFolioMView* FFolioMView = nullptr;
  TOxXPProgressBar* FProgressBar = nullptr;

 private:
  void ConnectForm(TVclFileDialogForm& Form, bool Save);
  void CheckCanClose(bool& CanClose);
  void CollectFileNames();
  void TypeChanged();
  void HostPanels();
  void UnhostPanels();

  TOpenOptions FOptions = ofHideReadOnly;
  std::string FFilter;
  int32_t FFilterIndex = 1;
  int32_t FCurrentFilterIndex = 1;
  std::string FInitialDir;
  std::string FTitle;
  std::string FDefaultExt;
  std::string FFileName;
  std::vector<std::string> FFiles;
  std::string FCurrentPattern;
  bool FAutoSetFilter = true;
  bool FAlwaysAnimate = false;
  TIEDBorderStyle FPreviewBorderStyle = iepsDefault;
  bool FAutoAdjustDPI = false;
  bool FFilteredAdjustDPI = false;
  bool FShowAllFrames = true;
  int64_t FFileSize = 0;
  int32_t FFrameCount = 0;
  int32_t FSelectedFrame = 0;
  bool FInUpdatePreview = false;
  std::unique_ptr<TIEPreviewLoader> FLoader;
};

// ---------------------------------------------------------------------------
class TSaveFolioDialog : public TOpenFolioDialog {
 public:
  explicit TSaveFolioDialog(TComponent* AOwner);
  ~TSaveFolioDialog() override;

  std::string ClassName() const override { return "TSaveFolioDialog"; }
  bool Execute() override;
  const TFormPropertyTable& FormProperties() const override;

  TIESaveDlgOpt GetExOptions() const { return FExOptions; }
  void SetExOptions(TIESaveDlgOpt Value) { FExOptions = Value; }
  TComponent* GetAttachedFolioIO() const { return FAttached; }
  // Takes a TFolioIO, TFolioMIO, TFolioMView or TFolioView; nullptr and
  // other classes are ignored.
  void SetAttachedFolioIO(TComponent* Value);

  // The format the current name implies.
  void CurrentFormat(TIEParamsPages& Pages, TIEFileFormat& FileType) const;
  void UpdateAdvancedButton();
  void AdvancedButtonClick(TObject* Sender);
  virtual void UpdateExtension();
  // The name with its extension replaced by Ext (with dot): only a last part
  // that is a known extension is replaced, so inner dots stay.
  static std::string ReplaceExtension(const std::string& Name, const std::string& Ext);

  TButton* GetAdvancedButton() const { return FAdvancedButton; }
  TTimer* GetTimer() const { return FTimer; }

 protected:
  // The preview shows the image being saved (the attachment's: a multi-image
  // component's selected page, or page 0), not the file the list selects;
  // with nothing to show, the preview works as the open dialog's.
  void UpdatePreview() override;
  void DoShow() override;
  // Shows the attachment's image and its parameters; false when it has none.
  bool ShowSavedImage();
  void DoTypeChange() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // The parameter sets of the attachment: every page's for a multi-image
  // component, the component's own otherwise.
  std::vector<TIOParamsVals*> AttachedParams() const;

  TIESaveDlgOpt FExOptions = sdShowPreview | sdShowAdvanced;
  TComponent* FAttached = nullptr;
  std::vector<std::unique_ptr<TIOParamsVals>> FSavedParams;
};

// Makes "TOpenFolioDialog" and "TSaveFolioDialog" creatable by form resources
// (also done when the unit is linked in).
void IERegisterFileDialogClasses();
