#include "platform/vcl/shell_views.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTreeView>
#include <algorithm>

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "platform/vcl/vcl_internal.h"
#include "platform/vcl/vcl_widget.h"

namespace {
QDir::Filters FiltersOf(TShellObjectTypes Types) {
  QDir::Filters F = QDir::NoDotAndDotDot;
  if (Types & otFolders) F |= QDir::AllDirs;
  if (Types & otNonFolders) F |= QDir::Files;
  if (Types & otHidden) F |= QDir::Hidden;
  return F;
}

QString Clean(const std::string& Path) { return QDir::cleanPath(QString::fromStdString(Path)); }

const TFormEnumNames& ObjectTypeNames() {
  static const TFormEnumNames Names = {"otFolders", "otNonFolders", "otHidden"};
  return Names;
}
}  // namespace

std::string ShellRootPath(const std::string& Root) {
  if (SameText(Root, "rfDesktop") || SameText(Root, "rfMyComputer") || SameText(Root, "rfNetwork") || Root.empty())
    return "/";
  if (SameText(Root, "rfPersonal")) return QDir::homePath().toStdString();
  return Root;
}

// ------------------------------------------------------------ tree
TShellTreeView::TShellTreeView(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks);
  auto* W = new TVclWidgetT<QTreeView>(true);
  AttachWidget(W);
  FTree = W;
  FModel = new QFileSystemModel(W);
  FModel->setReadOnly(true);
  W->setModel(FModel);
  W->setHeaderHidden(true);
  for (int C = 1; C < 4; ++C) W->hideColumn(C);
  W->setSelectionMode(QAbstractItemView::SingleSelection);
  QObject::connect(W->selectionModel(), &QItemSelectionModel::currentChanged, W,
                   [this](const QModelIndex& Current, const QModelIndex&) {
                     if (FSyncing || !Current.isValid()) return;
                     const std::string Path = FModel->filePath(Current).toStdString();
                     VclDeliverCall(this, [this, Path] { Chosen(Path, true); });
                   });
  ApplyFilter();
  SetRoot(FRoot);
  SetTabStop(true);
  SetBounds(0, 0, 121, 97);
}

TShellTreeView::~TShellTreeView() {
  if (FListView) FListView->FTreeView = nullptr;
}

void TShellTreeView::ApplyFilter() {
  if (FModel) FModel->setFilter(FiltersOf(FObjectTypes));
}

void TShellTreeView::SetRoot(const std::string& Value) {
  FRoot = Value;
  const QString Path = Clean(ShellRootPath(Value));
  FModel->setRootPath(Path);
  FTree->setRootIndex(FModel->index(Path).parent());
}

void TShellTreeView::SetObjectTypes(TShellObjectTypes Value) {
  // A folder tree always shows folders.
  FObjectTypes = Value | otFolders;
  ApplyFilter();
}

void TShellTreeView::SetShellListView(TShellListView* Value) {
  if (Value == FListView) return;
  TShellListView* Old = FListView;
  FListView = Value;
  if (Old && Old->FTreeView == this) Old->SetShellTreeView(nullptr);
  if (Value) {
    Value->FreeNotification(this);
    if (Value->FTreeView != this) Value->SetShellTreeView(this);
    if (!FPath.empty()) Value->ShowFolder(FPath);
  }
}

void TShellTreeView::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FListView) FListView = nullptr;
}

void TShellTreeView::SetPath(const std::string& Value) {
  const QModelIndex Index = FModel->index(Clean(Value));
  if (!Index.isValid()) return;
  FSyncing = true;
  FTree->setCurrentIndex(Index);
  FTree->scrollTo(Index);
  FSyncing = false;
  Chosen(FModel->filePath(Index).toStdString(), false);
}

bool TShellTreeView::SelectFolder(const std::string& Path) {
  if (!QFileInfo(QString::fromStdString(Path)).isDir()) return false;
  const QModelIndex Index = FModel->index(Clean(Path));
  if (!Index.isValid()) return false;
  FSyncing = true;
  FTree->setCurrentIndex(Index);
  FTree->scrollTo(Index);
  FSyncing = false;
  Chosen(FModel->filePath(Index).toStdString(), true);
  return true;
}

void TShellTreeView::Chosen(const std::string& Path, bool ByUser) {
  FPath = Path;
  if (FListView) FListView->ShowFolder(Path);
  if (ByUser && OnChange) OnChange(this);
}

const TFormPropertyTable& TShellTreeView::FormProperties() const {
  using T = TShellTreeView;
  static const TFormPropertyTable Table =
      TFormProperties<T>("TShellTreeView", &TWinControl::FormProperties())
          .Bool("AutoRefresh", &T::GetAutoRefresh, &T::SetAutoRefresh)
          .Set("ObjectTypes", ObjectTypeNames(), &T::GetObjectTypes, &T::SetObjectTypes)
          .Custom("Root", [](T& Tree, const TFormValue& V, TFormReadContext&) {
                    Tree.SetRoot(V.Kind == TFormValue::vkIdent ? V.AsIdent() : V.AsString());
                  },
                  [](const T& Tree, TFormValue& V) {
                    V = TFormValue::OfString(Tree.GetRoot());
                    return true;
                  })
          .Reference<TShellListView>("ShellListView", &T::GetShellListView, &T::SetShellListView)
          // Looks of the platform's tree.
          .Ignored({"UseShellImages", "Indent", "ShowRoot", "ShowButtons", "ShowLines", "HideSelection",
                    "RightClickSelect", "ReadOnly", "BorderStyle", "AutoContextMenus", "ObjectTypes.*"})
          .Event("OnChange", &T::OnChange)
          .Build();
  return Table;
}

// ------------------------------------------------------------ list
TShellListView::TShellListView(TComponent* AOwner) : TWinControl(AOwner) {
  FControlStyle &= ~(csClickEvents | csDoubleClicks);
  auto* W = new TVclWidgetT<QTreeView>(true);
  AttachWidget(W);
  FList = W;
  FModel = new QFileSystemModel(W);
  FModel->setReadOnly(true);
  FModel->setNameFilterDisables(false);
  W->setModel(FModel);
  W->setRootIsDecorated(false);
  W->setItemsExpandable(false);
  W->setSortingEnabled(true);
  W->sortByColumn(0, Qt::AscendingOrder);
  QObject::connect(FModel.data(), &QFileSystemModel::directoryLoaded, W, [this](const QString& Path) {
    if (Clean(Path.toStdString()) == QString::fromStdString(FShown)) FLoaded = true;
  });
  QObject::connect(W->selectionModel(), &QItemSelectionModel::selectionChanged, W,
                   [this](const QItemSelection&, const QItemSelection&) {
                     if (FSyncing) return;
                     VclDeliverCall(this, [this] {
                       if (OnChange) OnChange(this);
                     });
                   });
  ApplyFilter();
  SetMultiSelect(false);
  SetShowColumnHeaders(true);
  SetRoot(FRoot);
  SetTabStop(true);
  SetBounds(0, 0, 250, 150);
}

TShellListView::~TShellListView() {
  if (FTreeView) FTreeView->FListView = nullptr;
}

void TShellListView::ApplyFilter() {
  if (!FModel) return;
  FModel->setFilter(FiltersOf(FObjectTypes));
  QStringList Patterns;
  for (const QString& P : QString::fromStdString(FMask).split(QLatin1Char(';'), Qt::SkipEmptyParts))
    Patterns << P.trimmed();
  FModel->setNameFilters(Patterns);
}

void TShellListView::ShowFolder(const std::string& Path) {
  const QString P = Clean(Path);
  if (P.toStdString() == FShown) return;
  FShown = P.toStdString();
  FLoaded = false;
  FSyncing = true;
  FList->setRootIndex(FModel->setRootPath(P));
  FSyncing = false;
}

void TShellListView::SetRoot(const std::string& Value) {
  FRoot = Value;
  ShowFolder(ShellRootPath(Value));
}

std::string TShellListView::GetPath() const { return FShown; }

void TShellListView::SetObjectTypes(TShellObjectTypes Value) {
  FObjectTypes = Value;
  ApplyFilter();
}

void TShellListView::SetMask(const std::string& Value) {
  FMask = Value;
  ApplyFilter();
}

void TShellListView::SetMultiSelect(bool Value) {
  FMultiSelect = Value;
  FList->setSelectionMode(Value ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

void TShellListView::SetSorted(bool Value) {
  FSorted = Value;
  FList->setSortingEnabled(Value);
}

void TShellListView::SetShowColumnHeaders(bool Value) {
  FShowColumnHeaders = Value;
  FList->setHeaderHidden(!Value);
}

void TShellListView::SetShellTreeView(TShellTreeView* Value) {
  if (Value == FTreeView) return;
  TShellTreeView* Old = FTreeView;
  FTreeView = Value;
  if (Old && Old->FListView == this) Old->SetShellListView(nullptr);
  if (Value) {
    Value->FreeNotification(this);
    if (Value->FListView != this) Value->SetShellListView(this);
  }
}

void TShellListView::Notification(TComponent* AComponent, TOperation Operation) {
  TWinControl::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FTreeView) FTreeView = nullptr;
}

int32_t TShellListView::GetItemCount() const { return FModel->rowCount(FList->rootIndex()); }

std::string TShellListView::GetItemPath(int32_t Index) const {
  const QModelIndex I = FModel->index(Index, 0, FList->rootIndex());
  return I.isValid() ? FModel->filePath(I).toStdString() : std::string();
}

std::vector<std::string> TShellListView::GetSelectedPaths() const {
  QModelIndexList Rows = FList->selectionModel()->selectedRows(0);
  std::sort(Rows.begin(), Rows.end(), [](const QModelIndex& A, const QModelIndex& B) { return A.row() < B.row(); });
  std::vector<std::string> R;
  for (const QModelIndex& I : Rows) R.push_back(FModel->filePath(I).toStdString());
  return R;
}

std::string TShellListView::GetSelectedPath() const {
  const std::vector<std::string> All = GetSelectedPaths();
  return All.empty() ? std::string() : All.front();
}

int32_t TShellListView::SelectPaths(const std::vector<std::string>& Paths) {
  QItemSelectionModel* S = FList->selectionModel();
  FSyncing = true;
  S->clearSelection();
  int32_t Chosen = 0;
  for (const std::string& Path : Paths) {
    if (Chosen > 0 && !FMultiSelect) break;
    const QModelIndex I = FModel->index(Clean(Path));
    if (!I.isValid() || I.parent() != FList->rootIndex()) continue;
    S->select(I, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    if (Chosen == 0) S->setCurrentIndex(I, QItemSelectionModel::NoUpdate);
    ++Chosen;
  }
  FSyncing = false;
  if (OnChange) OnChange(this);
  return Chosen;
}

void TShellListView::Refresh() {
  const std::string Path = FShown;
  FShown.clear();
  ShowFolder(Path);
}

const TFormPropertyTable& TShellListView::FormProperties() const {
  static const TFormEnumNames StyleNames = {"vsIcon", "vsSmallIcon", "vsList", "vsReport"};
  using L = TShellListView;
  static const TFormPropertyTable Table =
      TFormProperties<L>("TShellListView", &TWinControl::FormProperties())
          .String("Mask", &L::GetMask, &L::SetMask)
          .Bool("MultiSelect", &L::GetMultiSelect, &L::SetMultiSelect)
          .Set("ObjectTypes", ObjectTypeNames(), &L::GetObjectTypes, &L::SetObjectTypes)
          .Custom("Root", [](L& List, const TFormValue& V, TFormReadContext&) {
                    List.SetRoot(V.Kind == TFormValue::vkIdent ? V.AsIdent() : V.AsString());
                  },
                  [](const L& List, TFormValue& V) {
                    V = TFormValue::OfString(List.GetRoot());
                    return true;
                  })
          .Reference<TShellTreeView>("ShellTreeView", &L::GetShellTreeView, &L::SetShellTreeView)
          .Bool("ShowColumnHeaders", &L::GetShowColumnHeaders, &L::SetShowColumnHeaders)
          .Bool("Sorted", &L::GetSorted, &L::SetSorted)
          .Enum("ViewStyle", StyleNames, &L::GetViewStyle, &L::SetViewStyle)
          // Looks of the platform's list.
          .Ignored({"AutoContextMenus", "AutoNavigate", "AutoRefresh", "ReadOnly", "HideSelection", "IconOptions.*",
                    "RowSelect", "ColumnClick", "BorderStyle", "GridLines", "FlatScrollBars"})
          .Event("OnChange", &L::OnChange)
          .Build();
  return Table;
}
