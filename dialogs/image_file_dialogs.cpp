#include "dialogs/image_file_dialogs.h"

#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cctype>

#include "dialogs/preview_loader.h"
#include "dialogs/word_tables.h"
#include "foundations/file_utils.h"
#include "platform/gdi/bitmap.h"
#include "platform/vcl/application.h"
#include "platform/vcl/combo_box.h"
#include "platform/vcl/dialogs.h"
#include "platform/vcl/extctrls.h"
#include "platform/vcl/file_dialog.h"
#include "platform/vcl/stdctrls.h"
#include "views/folio_vect.h"
#include "views/multi_view.h"
#include "views/window_helpers.h"
#include "widgets/progress_bar.h"
#include "widgets/speed_button.h"

namespace {

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

std::vector<std::string> SplitBars(const std::string& S) {
  std::vector<std::string> Parts;
  size_t Start = 0;
  while (true) {
    const size_t Bar = S.find('|', Start);
    Parts.push_back(S.substr(Start, Bar == std::string::npos ? std::string::npos : Bar - Start));
    if (Bar == std::string::npos) break;
    Start = Bar + 1;
  }
  return Parts;
}

// The two 16 x 16 glyphs of the preview panel, 16 colours, drawn on olive,
// which the button treats as transparent (the bottom-left pixel). Preview: a
// magnifying glass; play: a green triangle.
std::unique_ptr<TBitmap> MakeGlyph(bool Play) {
  QImage I(16, 16, QImage::Format_RGB32);
  I.fill(QColor(128, 128, 0));
  QPainter P(&I);
  if (Play) {
    P.setPen(QColor(0, 96, 0));
    P.setBrush(QColor(0, 176, 0));
    const QPoint Tri[3] = {QPoint(4, 2), QPoint(12, 8), QPoint(4, 14)};
    P.drawPolygon(Tri, 3);
  } else {
    P.setPen(QPen(QColor(0, 0, 0), 1));
    P.setBrush(QColor(192, 220, 255));
    P.drawEllipse(QRect(1, 1, 9, 9));
    P.setPen(QPen(QColor(96, 64, 32), 2));
    P.drawLine(QPoint(9, 9), QPoint(14, 14));
  }
  P.end();
  auto B = std::make_unique<TBitmap>();
  B->SetImage(I.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither));
  return B;
}

}  // namespace

// ---------------------------------------------------------------------------
// TIECommonDialog

TIECommonDialog::TIECommonDialog(TComponent* AOwner) : TComponent(AOwner) {}

TIECommonDialog::~TIECommonDialog() = default;

HWND TIECommonDialog::GetHandle() const { return FForm && FForm->HandleAllocated() ? FForm->GetHandle() : 0; }

int32_t TIECommonDialog::TaskModalDialog(TVclFileDialogForm& Form) {
  FForm = &Form;
  struct Forget {
    TIECommonDialog* D;
    ~Forget() { D->FForm = nullptr; }
  } F{this};
  const TModalResult R = Form.Run();
  return R == mrOk ? 1 : 0;
}

void TIECommonDialog::DoClose() {
  if (OnClose) OnClose(this);
}

void TIECommonDialog::DoShow() {
  if (OnShow) OnShow(this);
}

// ---------------------------------------------------------------------------
// TOpenFolioDialog: the file-dialog run

TOpenFolioDialog::TOpenFolioDialog(TComponent* AOwner)
    : TIECommonDialog(AOwner), FLoader(std::make_unique<TIEPreviewLoader>()) {
  IEUpdateGifCallbacks();
  FFilter = BuildFilter(false);

  FInfoPanel = new TPanel(this);
  FInfoPanel->SetName("InfoPanel");
  FInfoPanel->SetBevelOuter(bvNone);
  FInfoPanel->SetBorderWidth(6);
  FInfoPanel->SetCaption("");
  FInfoPanel->SetBounds(204, 5, 169, 200);
  FInfoPanel->SetVisible(false);
  auto MakeLabel = [this](TWinControl* Parent, const char* Name, int32_t Top) {
    auto* L = new TLabel(this);
    L->SetName(Name);
    L->SetParent(Parent);
    L->SetAutoSize(true);
    L->SetCaption("");
    L->SetBounds(6, Top, 157, 23);
    return L;
  };
  FInfoLabel1 = MakeLabel(FInfoPanel, "InfoLabel1", 6);
  FInfoLabel2 = MakeLabel(FInfoPanel, "InfoLabel2", 29);
  FAdvancedButton = new TButton(this);
  FAdvancedButton->SetName("AdvancedButton");
  FAdvancedButton->SetParent(FInfoPanel);
  FAdvancedButton->SetBounds(474, 0, 75, 23);
  FAdvancedButton->SetVisible(false);
  FPreviewCheck = new TCheckBox(this);
  FPreviewCheck->SetName("PreviewCheck");
  FPreviewCheck->SetParent(FInfoPanel);
  FPreviewCheck->SetBounds(195, 24, 130, 23);
  FPreviewCheck->SetChecked(true);
  FPreviewCheck->SetVisible(false);
  FPreviewCheck->OnClick = [this](TObject* S) { PreviewCheckClick(S); };

  FPicturePanel = new TPanel(this);
  FPicturePanel->SetName("PicturePanel");
  FPicturePanel->SetBevelOuter(bvNone);
  FPicturePanel->SetBorderWidth(6);
  FPicturePanel->SetCaption("");
  FPicturePanel->SetBounds(204, 5, 169, 200);
  FPicturePanel->SetVisible(false);
  FPicLabel1 = MakeLabel(FPicturePanel, "PicLabel1", 260);
  FPicLabel2 = MakeLabel(FPicturePanel, "PicLabel2", 283);
  FPicLabel3 = MakeLabel(FPicturePanel, "PicLabel3", 306);
  FZoomCombo = new TComboBox(this);
  FZoomCombo->SetName("ZoomCombo");
  FZoomCombo->SetParent(FPicturePanel);
  FZoomCombo->SetBounds(6, 5, 70, 21);
  FZoomCombo->SetHint("Zoom");
  FZoomCombo->SetShowHint(true);
  FZoomCombo->OnChange = [this](TObject* S) { ZoomComboChange(S); };
  FPreviewButton = new TOxSpeedButton(this);
  FPreviewButton->SetName("PreviewButton");
  FPreviewButton->SetParent(FPicturePanel);
  FPreviewButton->SetBounds(110, 5, 23, 22);
  FPreviewButton->SetFlat(true);
  FPreviewButton->SetEnabled(false);
  FPreviewButton->SetShowHint(true);
  FPreviewButton->OnClick = [this](TObject* S) { ShowPreviewWindow(S); };
  FPreviewButton->SetGlyph(MakeGlyph(false).get());
  FPlayButton = new TOxSpeedButton(this);
  FPlayButton->SetName("PlayButton");
  FPlayButton->SetParent(FPicturePanel);
  FPlayButton->SetBounds(85, 5, 23, 22);
  FPlayButton->SetFlat(true);
  FPlayButton->SetGroupIndex(1);
  FPlayButton->SetAllowAllUp(true);
  FPlayButton->SetEnabled(false);
  FPlayButton->SetShowHint(true);
  FPlayButton->OnClick = [this](TObject* S) { PlayButtonClick(S); };
  FPlayButton->SetGlyph(MakeGlyph(true).get());

  FFolioView = new TFolioVect(this);
  FFolioView->SetName("FolioView");
  FFolioView->SetParent(FPicturePanel);
  FFolioView->SetBounds(6, 36, 233, 217);
  FFolioView->SetLegacyBitmap(false);
  FFolioView->SetMouseInteract(IEMI(miScroll));
  FFolioView->SetBackground(clBtnFace);
  FFolioView->SetBackgroundStyle(iebsChessboard);
  FFolioView->SetChessboardStyle(12, bsSolid);
  FFolioView->SetBorderStyle(bsSingle);
  FFolioView->SetCenter(true);
  FFolioView->SetZoomFilter(rfFastLinear);
  FFolioView->SetDelayZoomFilter(false);
  FFolioView->SetEnableAlphaChannel(true);
  FFolioView->OnDblClick = [this](TObject* S) { ShowPreviewWindow(S); };
  FFolioMView = new TFolioMView(this);
  FFolioMView->SetName("FolioMView");
  FFolioMView->SetParent(FPicturePanel);
  FFolioMView->SetBounds(6, 36, 233, 217);
  FFolioMView->SetVisible(false);
  FFolioMView->SetThumbWidth(175);
  FFolioMView->SetThumbHeight(189);
  FFolioMView->SetHorizBorder(4);
  FFolioMView->SetVertBorder(4);
  FFolioMView->SetBackground(clBtnFace);
  FFolioMView->SetFillThumbnail(false);
  FFolioMView->OnImageSelect = [this](TObject* S, int32_t Index) { FrameSelect(S, Index); };
  FFolioMView->OnAllDisplayed = [this](TObject* S) { FramesDisplayed(S); };
  FProgressBar = new TOxXPProgressBar(this);
  FProgressBar->SetName("ProgressBar");
  FProgressBar->SetParent(FPicturePanel);
  FProgressBar->SetBounds(6, 126, 227, 19);
  FProgressBar->SetMin(0);
  FProgressBar->SetMax(100);
  FProgressBar->SetVisible(false);
  ApplyLanguage();
}

TOpenFolioDialog::~TOpenFolioDialog() {
  // No load may report into controls that are going.
  FLoader.reset();
}

bool TOpenFolioDialog::Execute() {
  if (OnCreateCustomControls) OnCreateCustomControls(this);
  FTemplateName = "IDD_IETEMPLATE";
  FShowPreview = true;
  ApplyLanguage();
  FPreviewCheck->SetVisible(true);
  FAdvancedButton->SetVisible(false);
  if (FAutoSetFilter) FFilter = BuildFilter(false);
  const int32_t R = RunFileDialog(false);
  if (OnDestroyCustomControls) OnDestroyCustomControls(this);
  return R != 0;
}

int32_t TOpenFolioDialog::GetFilterIndex() const { return FForm ? FForm->GetFilterIndex() : FFilterIndex; }

void TOpenFolioDialog::SetInitialDir(const std::string& Value) {
  std::string D = Value;
  // A drive root ("C:\") and the file system's root ("/") keep their
  // delimiter.
  if (D.size() > 1 && (D.back() == '\\' || D.back() == '/') && D[D.size() - 2] != ':') D.pop_back();
  FInitialDir = D;
}

std::string TOpenFolioDialog::GetFileName() const {
  if (FForm) {
    const std::string P = FForm->GetCurrentPath();
    if (!P.empty()) return P;
  }
  return FFileName;
}

std::string TOpenFolioDialog::GetFileSpecW() const { return FForm ? FForm->GetFileNameText() : FFileName; }

std::string TOpenFolioDialog::GetTypedFileName() const {
  if (!FForm) return FFileName;
  std::string Dir = FForm->GetDirectory();
  if (!Dir.empty() && Dir.back() != '/') Dir += '/';
  return Dir + FForm->GetFileNameText();
}

TRect TOpenFolioDialog::GetStaticRect() const { return FForm ? FForm->GetStandardRect() : TRect{}; }

int32_t TOpenFolioDialog::FilterIndexOfExtension(const std::string& Filter, const std::string& Ext) {
  if (Ext.empty()) return 0;
  const std::string F = Lower(Filter), E = Lower(Ext);
  for (size_t Pos = F.find(E); Pos != std::string::npos; Pos = F.find(E, Pos + 1)) {
    // Only a whole item counts: ".tif" is not found inside ".tiff".
    const size_t End = Pos + E.size();
    if (End < F.size() && std::isalnum(static_cast<unsigned char>(F[End]))) continue;
    const auto Bars = std::count(F.begin(), F.begin() + static_cast<std::ptrdiff_t>(Pos), '|');
    return static_cast<int32_t>(Bars / 2 + 1);
  }
  return 0;
}

std::string TOpenFolioDialog::FilterPattern(const std::string& Filter, int32_t Index) {
  const std::vector<std::string> Parts = SplitBars(Filter);
  const size_t i = static_cast<size_t>(Index - 1) * 2 + 1;
  if (Index < 1 || i >= Parts.size()) return std::string();
  return Parts[i];
}

std::string TOpenFolioDialog::PatternExtension(const std::string& Pattern) {
  const std::string First = Pattern.substr(0, Pattern.find(';'));
  const size_t Dot = First.find('.');
  if (Dot == std::string::npos) return std::string();
  const std::string Ext = First.substr(Dot);
  // "*.*" and wildcard extensions give a typed name nothing.
  if (Ext.size() < 2 || Ext.find_first_of("*?") != std::string::npos) return std::string();
  return Ext;
}

std::string TOpenFolioDialog::BuildFilter(bool Save) const {
  IEUpdateGifCallbacks();
  std::string F, C;
  const auto& Formats = IEFileFormats();
  for (const auto& Entry : Formats) {
    if (Entry->Extensions.empty()) continue;
    if (Save ? !Entry->WriteProc : !Entry->ReadProc) continue;
    std::vector<std::string> Exts;
    size_t Start = 0;
    while (Start <= Entry->Extensions.size()) {
      const size_t Semi = Entry->Extensions.find(';', Start);
      const std::string X =
          Entry->Extensions.substr(Start, Semi == std::string::npos ? std::string::npos : Semi - Start);
      if (!X.empty()) Exts.push_back(Lower(X));
      if (Semi == std::string::npos) break;
      Start = Semi + 1;
    }
    if (Exts.empty()) continue;
    std::string P = "*." + Exts[0];
    if (Entry->BuiltIn) C += (C.empty() ? "" : ";") + P;
    for (size_t i = 1; i < Exts.size(); ++i) P += ";*." + Exts[i];
    F += "|" + Entry->Description + " (" + P + ")|" + P;
  }
  const TMsgLanguage L = GetMsgLanguage();
  C += ";*.avi";
  F += "|" + IEWordLookup(125, L) + " (*.avi)|*.avi";
  if (!Save) {
    C += ";*.mpg;*.wmv";
    F += "|Mpeg (*.mpeg;*.mpg)|*.mpeg;*.mpg|Windows Media Video (*.wmv)|*.wmv";
  }
  if (Save) return F.substr(1);
  return IEWordLookup(131, L) + " (" + C + ")|" + C + "|" + IEWordLookup(132, L) + " (*.*)|*.*" + F;
}

void TOpenFolioDialog::ConnectForm(TVclFileDialogForm& Form, bool Save) {
  Form.OnInitDone = [this](TObject*) {
    // The dialog's frame goes to the middle of its monitor, one third down.
    if (FForm) IEPlaceDialogOnMonitor(FForm->GetWidget());
    FCurrentPattern = FilterPattern(FFilter, FCurrentFilterIndex);
    if (FTimer) FTimer->SetEnabled(true);
    DoShow();
  };
  Form.OnSelectionChange = [this](TObject*) { UpdatePreview(); };
  Form.OnFolderChange = [this](TObject*) { DoFolderChange(); };
  Form.OnTypeChange = [this](TObject*) { TypeChanged(); };
  Form.OnFileOk = [this](TObject*, bool& CanClose) { CheckCanClose(CanClose); };
}

int32_t TOpenFolioDialog::RunFileDialog(bool Save) {
  FFiles.clear();
  TVclFileDialogForm Form(nullptr, Save ? TVclFileDialogForm::fdkSave : TVclFileDialogForm::fdkOpen);
  // Without the preview the dialog is only as wide as its standard controls.
  if (!FShowPreview) Form.SetClientWidth(Form.GetStandardRect().Right + 8);
  if (!FTitle.empty())
    Form.SetCaption(FTitle);
  else
    Form.SetCaption(Save ? "Save As" : "Open");
  // The type list.
  std::vector<std::pair<std::string, std::string>> Pairs;
  const std::vector<std::string> Parts = SplitBars(FFilter);
  for (size_t i = 0; i + 1 < Parts.size(); i += 2) Pairs.emplace_back(Parts[i], Parts[i + 1]);
  Form.SetFilters(Pairs);
  if (FFilterIndex == 0) FFilterIndex = FilterIndexOfExtension(FFilter, IEExtractFileExt(FFileName, true));
  if (FFilterIndex < 1 || FFilterIndex > static_cast<int32_t>(Pairs.size())) FFilterIndex = 1;
  FCurrentFilterIndex = FFilterIndex;
  Form.SetFilterIndex(FFilterIndex);
  Form.SetMultiSelect((FOptions & ofAllowMultiSelect) != 0);
  Form.SetShowHidden((FOptions & ofForceShowHidden) != 0);
  Form.SetResolveLinks((FOptions & ofNoDereferenceLinks) == 0);
  Form.SetShowPlacesBar(GetShowPlacesBar());
  // The extension a typed name gets.
  std::string Ext = FDefaultExt;
  if (Ext.empty()) Ext = PatternExtension(FilterPattern(FFilter, FFilterIndex));
  Form.SetDefaultExt(Ext);
  // Start folder and name (names are not cut to any length).
  std::string Dir = FInitialDir;
  if (Dir.empty() && !IEExtractFilePathW(FFileName).empty()) Dir = IEExtractFilePathW(FFileName);
  Form.SetDirectory(Dir);
  Form.SetFileNameText(IEExtractFilePathW(FFileName).empty() || Dir == IEExtractFilePathW(FFileName)
                           ? IEExtractFileNameW(FFileName)
                           : FFileName);
  ConnectForm(Form, Save);
  int32_t Result = 0;
  try {
    Result = TaskModalDialog(Form);
    if (Result != 0) {
      // The names confirmed; then the state the dialog returns.
      FFilterIndex = Form.GetFilterIndex();
      FForm = &Form;
      CollectFileNames();
      FForm = nullptr;
      FOptions &= ~(ofReadOnly | ofExtensionDifferent);
      const std::string Wanted = Lower(FDefaultExt.empty() ? Ext : FDefaultExt);
      const std::string Got = IEExtractFileExt(FFileName, false);
      if (!Wanted.empty() && Got != Lower(Wanted[0] == '.' ? Wanted.substr(1) : Wanted))
        FOptions |= ofExtensionDifferent;
    }
  } catch (...) {
    UnhostPanels();
    DoClose();
    throw;
  }
  UnhostPanels();
  DoClose();
  return Result;
}

void TOpenFolioDialog::CollectFileNames() {
  FFiles.clear();
  if (!FForm) return;
  std::vector<std::string> Names = FForm->GetTypedPaths();
  // A typed name without extension gets the dialog's default one.
  std::string Ext =
      FDefaultExt.empty() ? PatternExtension(FilterPattern(FFilter, FForm->GetFilterIndex())) : FDefaultExt;
  if (!Ext.empty() && Ext[0] != '.') Ext = "." + Ext;
  for (std::string& N : Names)
    if (!Ext.empty() && IEExtractFileExt(N, false).empty() && !QFileInfo(QString::fromStdString(N)).exists())
      N += Ext;
  if (!(FOptions & ofAllowMultiSelect) && Names.size() > 1) Names.resize(1);
  FFiles = Names;
  if (!Names.empty()) FFileName = Names.front();
}

void TOpenFolioDialog::CheckCanClose(bool& CanClose) {
  CollectFileNames();
  CanClose = true;
  for (const std::string& N : FFiles) {
    const QFileInfo Info(QString::fromStdString(N));
    if ((FOptions & ofPathMustExist) && !QFileInfo(Info.absolutePath()).isDir()) {
      MessageBox(0, N + "\nPath does not exist.\nCheck the path and try again.", GetTitle(),
                 MB_OK | MB_ICONWARNING);
      CanClose = false;
    } else if ((FOptions & ofFileMustExist) && !Info.isFile()) {
      MessageBox(0, N + "\nFile not found.\nCheck the file name and try again.", GetTitle(),
                 MB_OK | MB_ICONWARNING);
      CanClose = false;
    } else if ((FOptions & ofOverwritePrompt) && Info.exists()) {
      if (MessageBox(0, N + " already exists.\nDo you want to replace it?", GetTitle(),
                     MB_YESNO | MB_ICONWARNING) != IDYES)
        CanClose = false;
    }
    if (!CanClose) break;
  }
  if (CanClose) DoCanClose(CanClose);
  FFiles.clear();
}

void TOpenFolioDialog::DoCanClose(bool& CanClose) {
  if (OnCanClose) OnCanClose(this, CanClose);
}

void TOpenFolioDialog::DoFolderChange() {
  if (OnFolderChange) OnFolderChange(this);
}

void TOpenFolioDialog::TypeChanged() {
  if (!FForm) return;
  const int32_t Index = FForm->GetFilterIndex();
  FCurrentPattern = FilterPattern(FFilter, Index);
  FForm->SetDefaultExt(FDefaultExt.empty() ? PatternExtension(FCurrentPattern) : FDefaultExt);
  if (Index != FCurrentFilterIndex) {
    FCurrentFilterIndex = Index;
    DoTypeChange();
  }
}

void TOpenFolioDialog::DoTypeChange() {
  if (OnTypeChange) OnTypeChange(this);
}

// ---------------------------------------------------------------------------
// Panels inside the dialog

void TOpenFolioDialog::HostPanels() {
  if (!FForm) return;
  const TRect S = FForm->GetStandardRect();
  const TRect R = FForm->GetClientRect();
  if (FShowPreview) {
    FPicturePanel->SetParent(FForm);
    FPicturePanel->SetBounds(S.Right, S.Top, R.Right - S.Right, S.Height());
    const int32_t W = std::max(60, FPicturePanel->GetWidth() - 12);
    FFolioView->SetBounds(6, 36, W, 217);
    FFolioMView->SetBounds(6, 36, W, 217);
    FPicturePanel->SetVisible(true);
    FZoomCombo->Clear();
    FZoomCombo->AddItem(IEWordLookup(145, GetMsgLanguage()), 0);
    for (int32_t Z : {25, 50, 75, 100, 125, 150, 175, 200, 300, 400})
      FZoomCombo->AddItem(std::to_string(Z) + "%", Z);
    FZoomCombo->SetItemIndex(0);
    FFolioView->SetBackground(clBtnFace);
    FPlayButton->SetDown(false);
    FPlayButton->SetEnabled(false);
    FFolioMView->SetPlaying(false);
  }
  if (GetExtendedDialog()) {
    FInfoPanel->SetParent(FForm);
    FInfoPanel->SetBounds(S.Left, S.Bottom, R.Right - S.Left, R.Bottom - S.Bottom);
    FInfoPanel->SetVisible(true);
  } else {
    for (TControl* C : std::initializer_list<TControl*>{FPicLabel1, FPicLabel2, FPicLabel3, FZoomCombo})
      C->SetVisible(false);
  }
}

void TOpenFolioDialog::UnhostPanels() {
  FLoader->Cancel();
  FPicturePanel->SetVisible(false);
  FInfoPanel->SetVisible(false);
  FPicturePanel->SetParent(nullptr);
  FInfoPanel->SetParent(nullptr);
}

void TOpenFolioDialog::DoShow() {
  HostPanels();
  TIECommonDialog::DoShow();
}

void TOpenFolioDialog::DoClose() {
  TIECommonDialog::DoClose();
  FLoader->Cancel();
  FFolioMView->SetPlaying(false);
  FFolioMView->Clear();
  FFolioView->Blank();
}

void TOpenFolioDialog::ApplyLanguage() {
  const TMsgLanguage L = GetMsgLanguage();
  FPreviewButton->SetHint(IEWordLookup(0, L));
  FPreviewCheck->SetCaption(IEWordLookup(0, L));
  FAdvancedButton->SetCaption(IEWordLookup(45, L) + "...");
  FPlayButton->SetHint(IEWordLookup(87, L));
}

void TOpenFolioDialog::SetAlwaysAnimate(bool Value) {
  FAlwaysAnimate = Value;
  if (Value) FShowAllFrames = true;
}

void TOpenFolioDialog::SetPreviewBorderStyle(TIEDBorderStyle Value) {
  FPreviewBorderStyle = Value;
  static const TIEBackgroundStyle Styles[] = {iebsSolid, iebsCropped, iebsCropShadow, iebsSoftShadow};
  FFolioView->SetBackgroundStyle(Styles[Value <= iepsSoftShadow ? Value : iepsDefault]);
  FFolioView->SetBorderStyle(Value == iepsDefault ? bsSingle : bsNone);
}

TResampleFilter TOpenFolioDialog::GetZoomFilter() const { return FFolioView->GetZoomFilter(); }
void TOpenFolioDialog::SetZoomFilter(TResampleFilter Value) { FFolioView->SetZoomFilter(Value); }
