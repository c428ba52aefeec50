// The main window's frame: creation, showing, closing, dropped files and
// UpdateControls, the routine that brings every command's enabled state and
// the status bar up to date.
#include "app/main_form.h"

#include <QClipboard>
#include <QDropEvent>
#include <QEvent>
#include <QObject>
#include <QUrl>
#include <QWidget>
#include <QGuiApplication>
#include <QMimeData>
#include <cctype>
#include <filesystem>

#include "app/app_settings.h"
#include "app/library_steps.h"
#include "foundations/image_buffer.h"
#include "io/folio_io.h"
#include "io/format_registry.h"
#include "io/multi_io.h"
#include "pictures/png_button.h"
#include "platform/gdi/bitmap.h"
#include "platform/gdi/canvas.h"
#include "platform/gdi/graphics.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/menus.h"
#include "platform/vcl/status_bar.h"
#include "processing/folio_proc.h"
#include "views/folio_view.h"
#include "views/multi_view.h"
#include "widgets/progress_bar.h"

namespace {

// Toolbar and page-column commands with a greyed twin.
const char* const KToolbarPairs[] = {"btnSave",        "btnPrint",      "btnUndo",        "btnRedo",
                                     "btnCopy",        "btnPasteNewObject", "btnNewFromClipboard",
                                     "btnZoom_Reduce", "btnZoom_Actual", "btnZoom_Enlarge", "btnRotateLeft",
                                     "btnRotateRight", "btnFlipHor",    "btnFlipVert",    "btnImageSize",
                                     "btnCrop"};
const char* const KColumnPairs[] = {"btRemove", "btUp", "btDown", "btReorder", "btDeleteAll"};

// Button name to picture name: the name without its "btn"/"bt" prefix, in
// lower case.
std::string PictureOf(const std::string& Button) {
  std::string Base = Button;
  if (Base.rfind("btn", 0) == 0)
    Base = Base.substr(3);
  else if (Base.rfind("bt", 0) == 0)
    Base = Base.substr(2);
  if (!Base.empty() && Base.back() == '2') Base.pop_back();
  for (char& C : Base) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Base;
}

std::string IconFolder() {
  namespace fs = std::filesystem;
  const fs::path Forms(FormResourceFolder());
  return (Forms.parent_path() / "icons").string();
}

// Files dropped on the main window go to its DropFiles.
class TDropFilter : public QObject {
 public:
  explicit TDropFilter(Tform_multipage* Form) : FForm(Form) {}

 protected:
  bool eventFilter(QObject* Watched, QEvent* Event) override {
    if (Event->type() == QEvent::DragEnter || Event->type() == QEvent::DragMove) {
      auto* E = static_cast<QDropEvent*>(Event);
      if (E->mimeData() && E->mimeData()->hasUrls()) {
        E->acceptProposedAction();
        return true;
      }
    } else if (Event->type() == QEvent::Drop) {
      auto* E = static_cast<QDropEvent*>(Event);
      std::vector<std::string> Names;
      if (E->mimeData())
        for (const QUrl& U : E->mimeData()->urls())
          if (U.isLocalFile()) Names.push_back(U.toLocalFile().toStdString());
      E->acceptProposedAction();
      VclGuardedCall(FForm, [&] { FForm->DropFiles(Names); });
      return true;
    }
    return QObject::eventFilter(Watched, Event);
  }

 private:
  Tform_multipage* FForm;
};

}  // namespace

std::vector<std::string>& ProgramArguments() {
  static std::vector<std::string> Args;
  return Args;
}

Tform_multipage::Tform_multipage(TComponent* AOwner) : TForm(AOwner) {
  SetName("form_multipage");
  FolivraRegisterComponentClasses();
  BindHandlers();
  ReadFormResource("main_window");
}

Tform_multipage::~Tform_multipage() {
  // The destroy handler runs while this window's own members still exist.
  if (TNotifyEvent Destroy = std::move(OnDestroy)) {
    OnDestroy = nullptr;
    VclGuardedCall(this, [&] { Destroy(this); });
  }
  if (FolioMView1 && FChangeHandle)
    FolioMView1->UnregisterChangeCallback(static_cast<TIEChangeCallbackHandle>(FChangeHandle));
  FChangeHandle = nullptr;
}

void Tform_multipage::BindHandlers() {
  BindHandler("FormCreate", &Tform_multipage::FormCreate);
  BindHandler("FormShow", &Tform_multipage::FormShow);
  BindHandler("FormClose", &Tform_multipage::FormClose);
  BindHandler("FormCloseQuery", &Tform_multipage::FormCloseQuery);
  BindHandler("FormDestroy", &Tform_multipage::FormDestroy);
  BindHandler("Exit1Click", &Tform_multipage::Exit1Click);
  BindHandler("btnOpenClick", &Tform_multipage::btnOpenClick);
  BindHandler("FolioMView1ImageSelect", &Tform_multipage::FolioMView1ImageSelect);
  BindHandler("Zoom", &Tform_multipage::Zoom);
  BindHandler("PageViewMouseWheel", &Tform_multipage::PageViewMouseWheel);
  BindHandler("MagnifierClick", &Tform_multipage::MagnifierClick);
  BindHandler("Save", &Tform_multipage::Save);
  BindHandler("SaveOne", &Tform_multipage::SaveOne);
  BindHandler("SaveAllSepat", &Tform_multipage::SaveAllSepat);
  BindHandler("SaveMultipage", &Tform_multipage::SaveMultipage);
  BindHandler("BitmapStrip", &Tform_multipage::BitmapStrip);
  BindHandlerFn("StatusBar1DblClick", TNotifyEvent([](TObject*) {}));
}

void Tform_multipage::FindComponents() {
  PageView = Find<TFolioView>("PageView");
  FolioMView1 = Find<TFolioMView>("FolioMView1");
  FolioMIO1 = Find<TFolioMIO>("FolioMIO1");
  IEn = Find<TFolioView>("IEn");
  IEnIO = Find<TFolioIO>("IEnIO");
  MView = Find<TFolioMView>("MView");
  StatusBar1 = Find<TStatusBar>("StatusBar1");
  Gauge1 = Find<TOxXPProgressBar>("Gauge1");
  MainMenu1 = Find<TMainMenu>("MainMenu1");
  PopupMenu1 = Find<TPopupMenu>("PopupMenu1");
}

void Tform_multipage::LoadButtonPictures() {
  const std::string Folder = IconFolder();
  for (int32_t i = 0; i < GetComponentCount(); ++i) {
    auto* B = dynamic_cast<TPNGButton*>(GetComponent(i));
    if (!B) continue;
    const std::string& Name = B->GetName();
    const bool Twin = !Name.empty() && Name.back() == '2';
    const std::string File = Folder + "/" + PictureOf(Name) + (Twin ? "_disabled" : "") + ".png";
    if (!FileExists(File)) continue;
    // A button without a twin shows its greyed picture itself when disabled.
    const std::string Greyed = Folder + "/" + PictureOf(Name) + "_disabled.png";
    if (!Twin && !Find<TControl>(Name + "2") && FileExists(Greyed))
      FButtonPictures[Name] = TButtonPictures{File, Greyed, true};
    try {
      B->GetPictureDefault()->LoadFromFile(File);
      // Hovering and pressing show the same picture; the button's frame tells
      // them apart.
      if (!Twin) {
        B->GetPictureHot()->LoadFromFile(File);
        B->GetPicturePress()->LoadFromFile(File);
      }
    } catch (const Exception&) {
      // A missing or broken picture leaves the button blank, never the window.
    }
  }
}

void Tform_multipage::FormCreate(TObject* Sender) {
  FindComponents();
  Application->ProcessMessages();
  // The window state of the last run.
  SetWindowState(ReadStateMax() ? wsMaximized : wsNormal);
  Application->ProcessMessages();
  // Files dropped on the window arrive through DropFiles.
  if (QWidget* W = GetWidget()) {
    W->setAcceptDrops(true);
    auto* Filter = new TDropFilter(this);
    Filter->setParent(W);
    W->installEventFilter(Filter);
  }
  Application->ProcessMessages();

  if (PageView) {
    PageView->SetSelectionOptions(PageView->GetSelectionOptions() | (1u << iesoMarkOuter));
    PageView->SetBackground(clSilver);
    PageView->SetZoomFilter(rfFastLinear);
  }
  if (Gauge1 && StatusBar1) {
    Gauge1->SetParent(StatusBar1);
    Gauge1->SetTop(3);
    Gauge1->SetHeight(StatusBar1->GetHeight() - 5);
    Gauge1->SetVisible(false);
  }
  if (auto* P = Find<TControl>("ColorSelect_BW")) P->SetTop(8);
  if (auto* P = Find<TControl>("OxPanel1")) P->SetHeight(80);
  for (const char* Name : {"SelectPanel", "DrawPanel", "BrushPanel", "FillPanel", "TextPanel"})
    if (auto* P = Find<TPanel>(Name)) {
      P->SetBevelOuter(bvNone);
      P->SetTop(44);
    }

  // Paired buttons: each twin takes its button's place.
  LoadButtonPictures();
  for (const char* Name : KToolbarPairs) {
    if (auto* Twin = Find<TControl>(std::string(Name) + "2")) Twin->SetTop(6);
    SetPair(Name, false);
  }
  SetPair("btnNewFromClipboard", ClipboardHasBitmap());
  for (const char* Name : KColumnPairs)
    if (auto* Twin = Find<TControl>(std::string(Name) + "2")) Twin->SetLeft(4);

  DocumentName = KUntitled;
  if (PageView) {
    PageView->GetIEBitmap()->Allocate(1, 1, ie24RGB);
    PageView->Update();
  }
  ZoomPercent = 100.0;
  CurrentPage = -1;
  if (PageView) PageView->SetSelectionGripStyle(clBlack, clWhite, bsClear, 3, true, 1);
  PasteBuffer = std::make_unique<TBitmap>();
  PasteBuffer->SetPixelFormat(pf24bit);

  if (FolioMView1) {
    // Thumbnails show every page at its true shape, and the pages decoded at
    // once stay within the memory budget whatever the document's length.
    FolioMView1->OnImagePixelAspect = [this](TObject*, int32_t Index, double& Aspect) { Aspect = PageAspect(Index); };
    FolioMView1->SetImageCacheMemory(KPageCacheBudget);
  }

  // The page list tells the window when pages are added, removed or moved,
  // so unsaved changes are known when the window closes or another file
  // opens (edits of a page arrive through WriteBackPage).
  if (FolioMView1)
    FChangeHandle = FolioMView1->RegisterChangeCallback(
        [this](TIEView*, int32_t Code) {
          // Pages inserted, deleted, moved or cleared (a change with a kind);
          // a new selection is no change of the document.
          if (Code == 0 && !FLoading && FolioMView1->GetLastChangeKind() != 0) FModified = true;
        },
        this);

  UpdateControls();
  // The menu bar shows the greyed menus of commands not built; the entries
  // below it follow their items whenever their menu opens.
  RebuildMenuBar();
  Application->ProcessMessages();

  // The command line: one optional file name, opened once the window shows.
  OpenAtShow = false;
  const std::vector<std::string>& Args = ProgramArguments();
  if (Args.size() > 1) {
    // A file that cannot be opened is said once the window shows; the
    // window then opens empty.
    const std::string& Name = Args[1];
    if (!FileExists(Name)) {
      FStartMessage = "The file \"" + Name + "\" does not exist.";
    } else if (IEDetectFileFormat(Name, true) == ioUnknown) {
      FStartMessage = "The file \"" + Name + "\" cannot be read: it is not an image this program knows.";
    } else {
      DocumentName = Name;
      OpenAtShow = true;
    }
  }
  if (PageView) PageView->GetProc()->SetUndoLimit(10);
}

void Tform_multipage::FormShow(TObject* Sender) {
  UpdateControls();
  if (!FStartMessage.empty()) {
    const std::string Text = std::move(FStartMessage);
    FStartMessage.clear();
    MessageDlg(Text, mtWarning, mbOK, 0);
  }
  if (OpenAtShow) {
    OpenAtShow = false;
    const std::string Name = DocumentName;
    DocumentName = KUntitled;
    LoadDocument(Name);
  }
}

void Tform_multipage::FormCloseQuery(TObject* Sender, bool& CanClose) { CanClose = ConfirmDiscard(); }

void Tform_multipage::FormClose(TObject* Sender, TCloseAction& Action) {
  try {
    WriteStateMax(GetWindowState() == wsMaximized);
  } catch (const Exception&) {
    // A settings folder that cannot be written must not keep the window open.
  }
}

void Tform_multipage::FormDestroy(TObject* Sender) { PasteBuffer.reset(); }

void Tform_multipage::Exit1Click(TObject* Sender) { Close(); }

void Tform_multipage::DropFiles(const std::vector<std::string>& Names) {
  if (Names.empty()) return;
  const std::string& Name = Names[0];
  if (FileExists(Name) && IEDetectFileFormat(Name, true) != ioUnknown) LoadDocument(Name);
}

int32_t Tform_multipage::PageCount() const { return FolioMView1 ? FolioMView1->GetImageCount() : 0; }

bool Tform_multipage::PageIsMono() const {
  return PageView && PageView->GetIEBitmap() && PageView->GetIEBitmap()->GetPixelFormat() == ie1g;
}

bool Tform_multipage::ClipboardHasBitmap() const {
  const QClipboard* C = QGuiApplication::clipboard();
  const QMimeData* D = C ? C->mimeData() : nullptr;
  return D && D->hasImage();
}

namespace {

// A menu item does something when it has a handler, a submenu when one of
// its items does.
bool MenuItemWorks(const TMenuItem* M) {
  if (M->OnClick) return true;
  for (int32_t i = 0; i < M->GetCount(); ++i)
    if (MenuItemWorks(M->GetItem(i))) return true;
  return false;
}

void DisableIdleItems(TMenuItem* M) {
  for (int32_t i = 0; i < M->GetCount(); ++i) {
    TMenuItem* Item = M->GetItem(i);
    if (Item->GetCaption() == "-") continue;
    if (!MenuItemWorks(Item)) Item->SetEnabled(false);
    DisableIdleItems(Item);
  }
}

}  // namespace

void Tform_multipage::DisableCommandsNotBuilt() {
  // Menus: an item whose command does nothing yet is greyed, as is a submenu
  // whose items all are.
  for (TMenu* Menu : {static_cast<TMenu*>(MainMenu1), static_cast<TMenu*>(PopupMenu1)})
    if (Menu && Menu->GetItems()) DisableIdleItems(Menu->GetItems());
  // Buttons: a greyed twin or the greyed picture, the tooltip unchanged.
  for (int32_t i = 0; i < GetComponentCount(); ++i) {
    auto* B = dynamic_cast<TPNGButton*>(GetComponent(i));
    if (!B || B->OnClick || IsTwin(B->GetName())) continue;
    SetItem(B->GetName(), false);
  }
}

bool Tform_multipage::IsTwin(const std::string& Name) const {
  return Name.size() > 1 && Name.back() == '2' && Find<TControl>(Name.substr(0, Name.size() - 1)) != nullptr;
}

void Tform_multipage::ShowButtonPicture(TPNGButton* B, bool Enabled) {
  auto It = FButtonPictures.find(B->GetName());
  if (It == FButtonPictures.end()) return;
  TButtonPictures& P = It->second;
  if (P.ShownEnabled == Enabled) return;
  P.ShownEnabled = Enabled;
  const std::string& File = Enabled ? P.Enabled : P.Disabled;
  try {
    for (TPicture* Picture : {B->GetPictureDefault(), B->GetPictureHot(), B->GetPicturePress()})
      Picture->LoadFromFile(File);
  } catch (const Exception&) {
    // A missing picture leaves the button as it was.
  }
  B->Invalidate();
}

void Tform_multipage::UpdateCaption() {
  std::string Caption = KMainCaption;
  if (PageCount() > 0 || DocumentName != KUntitled)
    Caption += " - " + (DocumentName == KUntitled ? KUntitled : ExtractFileName(DocumentName)) +
               (FModified ? "*" : "");
  if (GetCaption() != Caption) SetCaption(Caption);
}

void Tform_multipage::SetPair(const std::string& Name, bool Enabled) {
  TControl* B = Find<TControl>(Name);
  TControl* Twin = Find<TControl>(Name + "2");
  if (B) {
    B->SetVisible(Enabled || !Twin);
    B->SetEnabled(Enabled);
  }
  if (Twin) Twin->SetVisible(!Enabled);
}

void Tform_multipage::SetItem(const std::string& Name, bool Enabled) {
  if (auto* M = Find<TMenuItem>(Name)) {
    M->SetEnabled(Enabled);
    return;
  }
  if (auto* C = Find<TControl>(Name)) {
    // A command that does nothing yet stays greyed whatever the document.
    if (C->OnClick == nullptr && dynamic_cast<TPNGButton*>(C)) Enabled = false;
    // A toolbar or page-column command with a twin shows its twin instead;
    // one without shows its greyed picture.
    if (Find<TControl>(Name + "2")) {
      SetPair(Name, Enabled);
    } else {
      C->SetEnabled(Enabled);
      if (auto* B = dynamic_cast<TPNGButton*>(C)) ShowButtonPicture(B, Enabled);
    }
  }
}

std::string Tform_multipage::StatusText(int32_t Panel) const {
  const TStatusPanel* P = StatusBar1 ? StatusBar1->GetPanel(Panel) : nullptr;
  return P ? P->GetText() : std::string();
}

void Tform_multipage::SetStatus(int32_t Panel, const std::string& Text) {
  TStatusPanel* P = StatusBar1 ? StatusBar1->GetPanel(Panel) : nullptr;
  if (!P) return;
  P->SetText(Text);
  // Panels 0 to 3 are as wide as their text and a little more; panel 4
  // takes the rest (UpdateControls).
  if (Panel >= 4) return;
  TCanvas* C = StatusBar1->GetCanvas();
  C->GetFont()->Assign(StatusBar1->GetFont());
  P->SetWidth(C->TextWidth(Text + "00"));
}

void Tform_multipage::UpdateControls() {
  const int32_t N = PageCount();
  const bool P = N >= 1;
  const int32_t S = FolioMView1 ? FolioMView1->GetSelectedImage() : -1;
  const bool SEL = PageView && PageView->GetHasSelection();
  const bool MONO = PageIsMono();
  const bool CLIP = ClipboardHasBitmap();
  TFolioProc* Proc = PageView && PageView->HasProc() ? PageView->GetProc() : nullptr;
  const bool U = Proc && Proc->CanUndo();
  const bool R = Proc && Proc->CanRedo();
  const double Z = ZoomPercent;

  for (const char* Name : {"btnSave", "Save2", "Saveselectedimage1", "Saveallimageas2", "btnPrint", "Print1",
                           "btnCopy", "pm_copy", "Effects1", "SkewCorrection1", "RemoveNoise1",
                           "RemoveIsolatedPixels1", "AutoCrop1", "AddBorders1", "ColorAdjust1", "Negative1",
                           "Convertto1", "btDeleteAll", "btnZoom_Actual", "ActualSize1", "Zoom_FitPageWidth",
                           "Zoom_FitPageHeight", "Magnifier", "Magnifier1", "btnSelect", "btnLine", "btnBrush",
                           "btnFill", "btnPipetka", "btnText", "ColorSelect_Color", "ColorSelect_BW", "ColorPanel",
                           "AutoCrop2", "pm_crop", "ImageSize1", "btnImageSize", "CanvasSize11", "Rotate1",
                           "btnRotateLeft", "btnRotateRight", "Flip1", "btnFlipHor", "btnFlipVert"})
    SetItem(Name, P);
  SetItem("menuUndo", U);
  SetItem("btnUndo", U);
  SetItem("menuRedo", R);
  SetItem("btnRedo", R);
  SetItem("ConvertTo24bit", MONO);
  SetItem("ConvertToBW", !MONO);
  SetItem("btUp", P && S >= 1);
  SetItem("btDown", P && S != -1 && S < N - 1);
  SetItem("btRemove", S >= 0);
  SetItem("btReorder", N > 1);
  for (const char* Name : {"btnNewFromClipboard", "NewFromClipboard", "pm_paste", "NewFromClipboard1"})
    SetItem(Name, CLIP);
  for (const char* Name : {"btnPasteNewObject", "PasteNewObject", "PasteAsNewSelection1"}) SetItem(Name, P && CLIP);
  SetItem("btnZoom_Enlarge", P && Z < 1600);
  SetItem("Enlarge1", P && Z < 1600);
  SetItem("btnZoom_Reduce", P && Z > 10);
  SetItem("Reduce1", P && Z > 10);
  for (const char* Name : {"Deselect1", "Deselect", "btnDeselect"}) SetItem(Name, SEL);
  SetItem("Crop2", P && SEL);
  SetItem("btnCrop", P && SEL);
  DisableCommandsNotBuilt();
  UpdateCaption();

  if (!StatusBar1) return;
  if (N == 0)
    for (int32_t i = 0; i < 4; ++i) SetStatus(i, "");
  TCanvas* C = StatusBar1->GetCanvas();
  C->GetFont()->Assign(StatusBar1->GetFont());
  int32_t Used = 0;
  for (int32_t i = 0; i < 4; ++i) {
    TStatusPanel* Panel = StatusBar1->GetPanel(i);
    if (!Panel) continue;
    Panel->SetWidth(C->TextWidth(Panel->GetText() + "00"));
    Used += Panel->GetWidth();
  }
  if (TStatusPanel* Panel4 = StatusBar1->GetPanel(4)) {
    Panel4->SetWidth(std::max(0, StatusBar1->GetWidth() - Used - 150));
    if (Gauge1) {
      Gauge1->SetLeft(Used + 3);
      Gauge1->SetWidth(std::max(0, Panel4->GetWidth() - 10));
    }
  }
}
