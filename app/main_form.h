#pragma once
// Tform_multipage: the program's main window. Its form resource
// (resources/forms/main_window.dfm) creates the toolbar, the page column with
// the document's page list, the page view, the tool panels, the status bar and
// the menus; this class holds the document model (pages in FolioMView1, their
// file parameters in FolioMIO1, one page at a time in PageView) and the open,
// show, zoom and save commands.
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/vcl/forms.h"

class TBitmap;
class TFolioIO;
class TFolioMIO;
class TFolioMView;
class TFolioView;
class TIOParamsVals;
class TMenuItem;
class TPanel;
class TPNGButton;
class TPopupMenu;
class TStatusBar;
class TOxXPProgressBar;
class TMainMenu;

class Tform_multipage : public TForm {
 public:
  explicit Tform_multipage(TComponent* AOwner);
  ~Tform_multipage() override;

  // ---- components of the form resource
  TFolioView* PageView = nullptr;
  TFolioMView* FolioMView1 = nullptr;
  TFolioMIO* FolioMIO1 = nullptr;
  TFolioView* IEn = nullptr;
  TFolioIO* IEnIO = nullptr;
  TFolioMView* MView = nullptr;
  TStatusBar* StatusBar1 = nullptr;
  TOxXPProgressBar* Gauge1 = nullptr;
  TMainMenu* MainMenu1 = nullptr;
  TPopupMenu* PopupMenu1 = nullptr;

  // ---- main-window state
  std::string DocumentName;
  int32_t CurrentPage = -1;
  double ZoomPercent = 100.0;
  bool OpenAtShow = false;

  // ---- life cycle
  void FormCreate(TObject* Sender);
  void FormShow(TObject* Sender);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormDestroy(TObject* Sender);
  void Exit1Click(TObject* Sender);
  // A file dropped on the window (the first of the list).
  void DropFiles(const std::vector<std::string>& Names);
  void UpdateControls();

  // ---- document model
  // Opens FileName as the document; answers whether it replaced the document.
  bool LoadDocument(const std::string& FileName);
  void btnOpenClick(TObject* Sender);
  void FolioMView1ImageSelect(TObject* Sender, int32_t Index);
  void ShowPage(int32_t Index);
  void Zoom(TObject* Sender);
  void PageViewMouseWheel(TObject* Sender, TShiftState Shift, int32_t WheelDelta, TPoint MousePos, bool& Handled);
  void MagnifierClick(TObject* Sender);
  int32_t PageCount() const;
  // The shape of page Index's pixels: its horizontal resolution over its
  // vertical one (1 for square pixels or an unknown page).
  double PageAspect(int32_t Index) const;
  // The document differs from its file (pages edited, added or removed).
  bool GetModified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  // Writes the page view's working copy back into page Index (the one place
  // edits reach the document).
  void WriteBackPage(int32_t Index);
  // Asks to save unsaved changes (Yes/No/Cancel); answers false on Cancel or
  // when the save failed or was cancelled.
  bool ConfirmDiscard();

  // ---- save flows
  void Save(TObject* Sender);
  void SaveOne(TObject* Sender);
  void SaveAllSepat(TObject* Sender);
  void SaveMultipage(TObject* Sender);
  void BitmapStrip(TObject* Sender);
  // Writes the whole document to FileName by its extension (".tif",
  // ".tiff", ".pdf", ".ps", ".dcx", ".gif"); false (with a message) when the
  // extension is not one of them or the write failed.
  bool WriteDocumentAs(const std::string& FileName);

  // Status-bar panel texts (for tests).
  std::string StatusText(int32_t Panel) const;

 private:
  void BindHandlers();
  // Greys every menu item and button whose command does nothing yet.
  void DisableCommandsNotBuilt();
  bool IsTwin(const std::string& Name) const;
  void ShowButtonPicture(TPNGButton* B, bool Enabled);
  // "Folivra 2.2.1 - fax.tif", with "*" while the document has unsaved
  // changes.
  void UpdateCaption();
  void FindComponents();
  void LoadButtonPictures();
  void SetPair(const std::string& Name, bool Enabled);
  void SetItem(const std::string& Name, bool Enabled);
  void SetStatus(int32_t Panel, const std::string& Text);
  void ShowZoomText();
  bool PageIsMono() const;
  bool ClipboardHasBitmap() const;
  void ClearUndoRedo();
  // Facsimile parameters (Group 4, 1 bit, 1 sample) for a 1-bit page.
  static void SetFaxParams(TIOParamsVals* Params);
  // Gives every 1-bit page of the document the facsimile parameters; colour
  // and gray pages keep their own.
  void SetFaxParamsOfMonoPages();
  bool ConfirmReplace(const std::string& FileName);
  void ReportWriteFailure(const std::string& FileName);
  bool SaveTo(const std::string& FileName, int32_t Format);
  // Around a write: the window repainted, the busy cursor and the status
  // bar's progress; afterwards the status bar says where the file went.
  void RepaintWindow();
  void BeginWriting();
  void ShowWriteProgress(int32_t Percent);
  void EndWriting(const std::string& FileName, bool Written);
  void DocumentChanged();

  bool FModified = false;
  // Said in a message box once the window shows (a command-line file that
  // cannot be opened).
  std::string FStartMessage;
  // The two pictures of a button without a greyed twin.
  struct TButtonPictures {
    std::string Enabled, Disabled;
    bool ShownEnabled = true;
  };
  std::map<std::string, TButtonPictures> FButtonPictures;
  // The document was read only in part: "Save" never writes over its file.
  bool FIncomplete = false;
  bool FLoading = false;
  bool FMagnifierOn = false;
  void* FChangeHandle = nullptr;
  // The hidden loader: a file is read here first and replaces the document
  // only when it yields pages.
  TFolioMView* FLoadView = nullptr;
  TFolioMIO* FLoadMIO = nullptr;
  // The floating-paste buffer of the drawing tools.
  std::unique_ptr<TBitmap> PasteBuffer;
};

// The program's command line (the program's name first), as the main window
// reads it when it is created.
std::vector<std::string>& ProgramArguments();

// The program's main block: library start-up, application, main window,
// message loop, finalization. Answers the exit code.
int ProgramMain(int argc, char** argv);
