#pragma once
// The common file dialog: Qt's own (non-native) file dialog embedded in a
// form, so that the library can place its own panels beside and below the
// standard controls. The form reports what the system's dialog notifies
// (initialised, selection, folder and type changes, the confirmed name) and
// answers the questions a dialog asks (current path, name box, type index).
//
// A hook (SetFileDialogHook) is called once each dialog has been shown,
// inside its modal run: tests and automation drive the dialog through it.
// On a platform without a screen a dialog without hook is cancelled at once,
// so nothing waits for a person there.
#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/vcl/forms.h"

class QFileDialog;

class TVclFileDialogForm : public TForm {
 public:
  enum TKind : uint8_t { fdkOpen, fdkSave };
  TVclFileDialogForm(TComponent* AOwner, TKind Kind);
  ~TVclFileDialogForm() override;

  TKind GetKind() const { return FKind; }
  QFileDialog* GetFileDialog() const { return FDialog; }
  // Where the standard controls lie, in client coordinates.
  TRect GetStandardRect() const { return FStandardRect; }
  void SetStandardRect(const TRect& Rect);

  // ---- set-up before the run
  // The type list: description and its patterns (";"-separated) per pair.
  void SetFilters(const std::vector<std::pair<std::string, std::string>>& Pairs);
  int32_t GetFilterCount() const { return static_cast<int32_t>(FFilters.size()); }
  // 1-based index of the chosen type; 0 when the list is empty.
  int32_t GetFilterIndex() const;
  void SetFilterIndex(int32_t Index);
  std::string GetDirectory() const;
  void SetDirectory(const std::string& Folder);
  // The text of the file-name box.
  std::string GetFileNameText() const;
  void SetFileNameText(const std::string& Text);
  // Extension (without dot) added to a typed name without one; "" for none.
  void SetDefaultExt(const std::string& Ext);
  void SetMultiSelect(bool Value);
  void SetShowHidden(bool Value);
  void SetShowPlacesBar(bool Value);
  void SetResolveLinks(bool Value);

  // ---- what the dialog shows now
  // The folder plus the name in the box (an absolute name as it is); the
  // selected item of the list when the box is empty; "" when neither.
  std::string GetCurrentPath() const;
  // The names the box holds: one name, or several in double quotes
  // ("a.tif" "b.tif"), each with the folder before it unless absolute.
  std::vector<std::string> GetTypedPaths() const;
  // The path the last selection change named (a click in the list names its
  // file before the name box shows it); "" before the first.
  const std::string& GetSelectedPath() const { return FLastSelection; }

  // ---- as the user would
  // Goes to the file's folder, puts its name into the box and selects it;
  // fires OnSelectionChange.
  void SelectFile(const std::string& Path);
  // Chooses the type Index (1-based) in the type list; fires OnTypeChange.
  void SelectFilterByUser(int32_t Index);
  // The dialog's OK and Cancel buttons.
  void ClickOk();
  void ClickCancel();

  // Shows the form modally; mrOk when a name was confirmed.
  TModalResult Run();

  TNotifyEvent OnInitDone;
  TNotifyEvent OnSelectionChange;
  TNotifyEvent OnFolderChange;
  TNotifyEvent OnTypeChange;
  // The user confirmed the names; CanClose false keeps the dialog open.
  std::function<void(TObject* Sender, bool& CanClose)> OnFileOk;

  // Called by the embedded dialog's buttons.
  void VclAccept();
  void VclReject();

 protected:
  void DoShow() override;

 private:
  void SelectionChanged(const std::string& Path);
  TKind FKind;
  QFileDialog* FDialog = nullptr;
  TRect FStandardRect;
  std::vector<std::pair<std::string, std::string>> FFilters;
  std::vector<std::string> FQtFilters;
  std::string FLastSelection;
};

using TFileDialogHook = std::function<void(TVclFileDialogForm& Dialog)>;
// Installs the hook called when a file dialog has been shown; answers the
// previous one.
TFileDialogHook SetFileDialogHook(TFileDialogHook Hook);
