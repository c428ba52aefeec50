#include "platform/vcl/file_dialog.h"

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>

#include "platform/vcl/vcl_internal.h"

namespace {

TFileDialogHook& Hook() {
  static TFileDialogHook H;
  return H;
}

// Qt's dialog, told to hand its OK and Cancel to the form instead of closing
// itself: the form decides (the confirmed-name question may refuse).
class TVclQFileDialog : public QFileDialog {
 public:
  explicit TVclQFileDialog(TVclFileDialogForm* Form) : FForm(Form) {}
  void accept() override {
    VclDeliverCall(FForm, [this] { FForm->VclAccept(); });
  }
  void reject() override {
    VclDeliverCall(FForm, [this] { FForm->VclReject(); });
  }

 private:
  TVclFileDialogForm* FForm;
};

QString Q(const std::string& S) { return QString::fromStdString(S); }
std::string S(const QString& Q) { return Q.toStdString(); }

// "*.tif;*.tiff" as Qt's pattern list "*.tif *.tiff".
QString QtPatterns(const std::string& Patterns) {
  QStringList L = Q(Patterns).split(';', Qt::SkipEmptyParts);
  for (QString& P : L) P = P.trimmed();
  return L.join(' ');
}

}  // namespace

TFileDialogHook SetFileDialogHook(TFileDialogHook NewHook) {
  TFileDialogHook Old = std::move(Hook());
  Hook() = std::move(NewHook);
  return Old;
}

TVclFileDialogForm::TVclFileDialogForm(TComponent* AOwner, TKind Kind) : TForm(AOwner), FKind(Kind) {
  SetName("FileDialogForm");
  SetBorderStyle(bsDialog);
  SetPosition(poScreenCenter);
  auto* D = new TVclQFileDialog(this);
  FDialog = D;
  D->setObjectName("FileDialog");
  D->setOption(QFileDialog::DontUseNativeDialog, true);
  // The form asks its own overwrite question (through the message boxes).
  D->setOption(QFileDialog::DontConfirmOverwrite, true);
  D->setOption(QFileDialog::HideNameFilterDetails, true);
  D->setWindowFlags(Qt::Widget);
  D->setAcceptMode(Kind == fdkSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  D->setFileMode(QFileDialog::AnyFile);
  D->setParent(GetWidget(), Qt::Widget);
  QObject::connect(D, &QFileDialog::currentChanged, D, [this](const QString& Path) {
    VclDeliverCall(this, [this, Path] { SelectionChanged(S(Path)); });
  });
  QObject::connect(D, &QFileDialog::directoryEntered, D, [this](const QString&) {
    VclDeliverCall(this, [this] {
      if (OnFolderChange) OnFolderChange(this);
    });
  });
  QObject::connect(D, &QFileDialog::filterSelected, D, [this](const QString&) {
    VclDeliverCall(this, [this] {
      if (OnTypeChange) OnTypeChange(this);
    });
  });
  SetClientWidth(840);
  SetClientHeight(480);
  SetStandardRect(TRect{4, 6, 564, 406});
}

TVclFileDialogForm::~TVclFileDialogForm() {
  // Qt's dialog is a child of the form's widget, which goes with the form.
  FDialog = nullptr;
}

void TVclFileDialogForm::SetStandardRect(const TRect& Rect) {
  FStandardRect = Rect;
  const TPoint O = GetClientOffset();
  if (FDialog) FDialog->setGeometry(Rect.Left + O.X, Rect.Top + O.Y, Rect.Width(), Rect.Height());
}

void TVclFileDialogForm::SetFilters(const std::vector<std::pair<std::string, std::string>>& Pairs) {
  FFilters = Pairs;
  FQtFilters.clear();
  QStringList L;
  for (const auto& [Description, Patterns] : Pairs) {
    // The description is shown as it is; the patterns follow it for Qt to
    // read and are hidden from the list.
    const QString F = Q(Description) + " (" + QtPatterns(Patterns) + ")";
    FQtFilters.push_back(S(F));
    L << F;
  }
  FDialog->setNameFilters(L);
}

int32_t TVclFileDialogForm::GetFilterIndex() const {
  if (FQtFilters.empty()) return 0;
  if (auto* C = FDialog->findChild<QComboBox*>("fileTypeCombo"))
    if (C->currentIndex() >= 0 && C->currentIndex() < GetFilterCount()) return C->currentIndex() + 1;
  const std::string Sel = S(FDialog->selectedNameFilter());
  for (size_t i = 0; i < FQtFilters.size(); ++i)
    if (FQtFilters[i] == Sel) return static_cast<int32_t>(i) + 1;
  return 1;
}

void TVclFileDialogForm::SetFilterIndex(int32_t Index) {
  if (Index < 1 || Index > GetFilterCount()) Index = 1;
  if (FQtFilters.empty()) return;
  FDialog->selectNameFilter(Q(FQtFilters[static_cast<size_t>(Index - 1)]));
  if (auto* C = FDialog->findChild<QComboBox*>("fileTypeCombo")) {
    if (C->currentIndex() != Index - 1) {
      // Descriptions that carry their own patterns in parentheses are not
      // found by name: choose the entry by its position.
      C->setCurrentIndex(Index - 1);
      emit C->activated(Index - 1);
    }
  }
}

std::string TVclFileDialogForm::GetDirectory() const { return S(FDialog->directory().absolutePath()); }

void TVclFileDialogForm::SetDirectory(const std::string& Folder) {
  if (!Folder.empty()) FDialog->setDirectory(Q(Folder));
}

std::string TVclFileDialogForm::GetFileNameText() const {
  if (auto* E = FDialog->findChild<QLineEdit*>("fileNameEdit")) return S(E->text());
  return std::string();
}

void TVclFileDialogForm::SetFileNameText(const std::string& Text) {
  if (auto* E = FDialog->findChild<QLineEdit*>("fileNameEdit")) E->setText(Q(Text));
}

void TVclFileDialogForm::SetDefaultExt(const std::string& Ext) {
  std::string E = Ext;
  if (!E.empty() && E[0] == '.') E.erase(0, 1);
  FDialog->setDefaultSuffix(Q(E));
}

void TVclFileDialogForm::SetMultiSelect(bool Value) {
  FDialog->setFileMode(Value ? QFileDialog::ExistingFiles : QFileDialog::AnyFile);
}

void TVclFileDialogForm::SetShowHidden(bool Value) {
  QDir::Filters F = FDialog->filter();
  FDialog->setFilter(Value ? (F | QDir::Hidden) : (F & ~QDir::Hidden));
}

void TVclFileDialogForm::SetShowPlacesBar(bool Value) {
  if (auto* W = FDialog->findChild<QWidget*>("sidebar")) W->setVisible(Value);
}

void TVclFileDialogForm::SetResolveLinks(bool Value) {
  FDialog->setOption(QFileDialog::DontResolveSymlinks, !Value);
}

std::string TVclFileDialogForm::GetCurrentPath() const {
  const std::string Text = GetFileNameText();
  if (!Text.empty() && Text[0] != '"') {
    const QFileInfo Info(Q(Text));
    if (Info.isAbsolute()) return Text;
    return S(FDialog->directory().absoluteFilePath(Q(Text)));
  }
  const QStringList Sel = FDialog->selectedFiles();
  if (Text.empty() && !Sel.isEmpty()) {
    const QFileInfo Info(Sel.first());
    if (!Info.isDir()) return S(Sel.first());
  }
  return std::string();
}

std::vector<std::string> TVclFileDialogForm::GetTypedPaths() const {
  std::vector<std::string> Names;
  const std::string Text = GetFileNameText();
  const QDir Dir = FDialog->directory();
  auto Add = [&](const std::string& N) {
    if (N.empty()) return;
    const QFileInfo Info(Q(N));
    Names.push_back(Info.isAbsolute() ? N : S(Dir.absoluteFilePath(Q(N))));
  };
  if (!Text.empty() && Text[0] == '"') {
    size_t i = 0;
    while (i < Text.size()) {
      const size_t Open = Text.find('"', i);
      if (Open == std::string::npos) break;
      const size_t Close = Text.find('"', Open + 1);
      if (Close == std::string::npos) {
        Add(Text.substr(Open + 1));
        break;
      }
      Add(Text.substr(Open + 1, Close - Open - 1));
      i = Close + 1;
    }
  } else if (!Text.empty()) {
    Add(Text);
  } else {
    for (const QString& P : FDialog->selectedFiles())
      if (!QFileInfo(P).isDir()) Names.push_back(S(P));
  }
  return Names;
}

void TVclFileDialogForm::SelectFile(const std::string& Path) {
  const QFileInfo Info(Q(Path));
  if (Info.isAbsolute()) FDialog->setDirectory(Info.absolutePath());
  FDialog->selectFile(Info.fileName());
  SetFileNameText(S(Info.fileName()));
  SelectionChanged(S(FDialog->directory().absoluteFilePath(Info.fileName())));
}

void TVclFileDialogForm::SelectFilterByUser(int32_t Index) {
  if (Index < 1 || Index > GetFilterCount()) return;
  if (auto* C = FDialog->findChild<QComboBox*>("fileTypeCombo")) {
    C->setCurrentIndex(Index - 1);
    emit C->activated(Index - 1);
  } else {
    SetFilterIndex(Index);
    if (OnTypeChange) OnTypeChange(this);
  }
}

void TVclFileDialogForm::ClickOk() { VclAccept(); }
void TVclFileDialogForm::ClickCancel() { VclReject(); }

void TVclFileDialogForm::SelectionChanged(const std::string& Path) {
  if (Path == FLastSelection) return;
  FLastSelection = Path;
  if (OnSelectionChange) OnSelectionChange(this);
}

void TVclFileDialogForm::VclAccept() {
  if (!IsModal()) return;
  // A folder typed into the box is entered, as the system's dialog does.
  const std::string Text = GetFileNameText();
  if (!Text.empty() && Text[0] != '"') {
    const std::string Path = GetCurrentPath();
    if (QFileInfo(Q(Path)).isDir()) {
      FDialog->setDirectory(Q(Path));
      SetFileNameText("");
      if (OnFolderChange) OnFolderChange(this);
      return;
    }
  }
  if (GetTypedPaths().empty()) return;
  bool CanClose = true;
  if (OnFileOk) OnFileOk(this, CanClose);
  if (CanClose) SetModalResult(mrOk);
}

void TVclFileDialogForm::VclReject() {
  if (IsModal()) SetModalResult(mrCancel);
}

void TVclFileDialogForm::DoShow() {
  TForm::DoShow();
  FLastSelection.clear();
  if (OnInitDone) OnInitDone(this);
  if (Hook()) {
    QTimer::singleShot(0, FDialog, [this] {
      if (IsModal()) VclDeliverCall(this, [this] { Hook()(*this); });
    });
  } else if (VclHeadless()) {
    QTimer::singleShot(0, FDialog, [this] { VclReject(); });
  }
}

TModalResult TVclFileDialogForm::Run() {
  FDialog->show();
  return ShowModal();
}
