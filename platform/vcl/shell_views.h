#pragma once
// The shell views over Qt's file-system model: a tree of folders and a list
// of a folder's files. A list bound to a tree (ShellTreeView) shows the
// folder chosen in the tree. The list keeps to the object types asked for
// (folders, other files, hidden ones), to a file-name Mask ("*.tif;*.png",
// empty for all) and may let the user choose several files.
//
// The model reads folders in a worker thread: what a view shows appears
// once its folder is read (GetLoaded), in the event loop.
#include <QPointer>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/vcl/controls.h"

class QFileSystemModel;
class QTreeView;
class TShellListView;

using TShellObjectTypes = uint8_t;
constexpr TShellObjectTypes otFolders = 0x1;
constexpr TShellObjectTypes otNonFolders = 0x2;
constexpr TShellObjectTypes otHidden = 0x4;

enum TViewStyle : uint8_t { vsIcon, vsSmallIcon, vsList, vsReport };

// The folder a root name stands for: "rfDesktop" and "rfMyComputer" the
// file system's root, "rfPersonal" the home folder; any other text is a
// folder's path.
std::string ShellRootPath(const std::string& Root);

class TShellTreeView : public TWinControl {
 public:
  explicit TShellTreeView(TComponent* AOwner);
  ~TShellTreeView() override;

  const std::string& GetRoot() const { return FRoot; }
  void SetRoot(const std::string& Value);
  TShellObjectTypes GetObjectTypes() const { return FObjectTypes; }
  void SetObjectTypes(TShellObjectTypes Value);
  TShellListView* GetShellListView() const { return FListView; }
  void SetShellListView(TShellListView* Value);
  // The chosen folder ("" when none).
  std::string GetPath() const { return FPath; }
  // Chooses a folder (expanding the tree to it) without OnChange.
  void SetPath(const std::string& Value);
  // Chooses a folder as the user does: the list shows it and OnChange fires.
  // False for a path that is no folder.
  bool SelectFolder(const std::string& Path);
  bool GetAutoRefresh() const { return FAutoRefresh; }
  void SetAutoRefresh(bool Value) { FAutoRefresh = Value; }

  void Notification(TComponent* AComponent, TOperation Operation) override;
  const TFormPropertyTable& FormProperties() const override;

  TNotifyEvent OnChange;

 private:
  void ApplyFilter();
  void Chosen(const std::string& Path, bool ByUser);
  QPointer<QFileSystemModel> FModel;
  QTreeView* FTree = nullptr;
  std::string FRoot = "rfDesktop";
  std::string FPath;
  TShellObjectTypes FObjectTypes = otFolders;
  TShellListView* FListView = nullptr;
  bool FAutoRefresh = false;
  bool FSyncing = false;
  friend class TShellListView;
};

class TShellListView : public TWinControl {
 public:
  explicit TShellListView(TComponent* AOwner);
  ~TShellListView() override;

  // The folder shown (a root name or a path, as for the tree).
  const std::string& GetRoot() const { return FRoot; }
  void SetRoot(const std::string& Value);
  // The folder shown, as a path.
  std::string GetPath() const;
  TShellObjectTypes GetObjectTypes() const { return FObjectTypes; }
  void SetObjectTypes(TShellObjectTypes Value);
  // Patterns separated by ";" ("*.tif;*.tiff"); empty shows every file.
  const std::string& GetMask() const { return FMask; }
  void SetMask(const std::string& Value);
  bool GetMultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool Value);
  bool GetSorted() const { return FSorted; }
  void SetSorted(bool Value);
  TViewStyle GetViewStyle() const { return FViewStyle; }
  void SetViewStyle(TViewStyle Value) { FViewStyle = Value; }
  bool GetShowColumnHeaders() const { return FShowColumnHeaders; }
  void SetShowColumnHeaders(bool Value);
  TShellTreeView* GetShellTreeView() const { return FTreeView; }
  void SetShellTreeView(TShellTreeView* Value);

  // True once the folder shown has been read.
  bool GetLoaded() const { return FLoaded; }
  // The entries shown, in their order, as paths.
  int32_t GetItemCount() const;
  std::string GetItemPath(int32_t Index) const;
  // The chosen entries, in the order of the list; the first of them ("" when
  // none).
  std::vector<std::string> GetSelectedPaths() const;
  std::string GetSelectedPath() const;
  // Chooses entries as the user does (several only with MultiSelect);
  // fires OnChange. Paths not shown are skipped; answers how many were
  // chosen.
  int32_t SelectPaths(const std::vector<std::string>& Paths);
  // Reads the folder again.
  void Refresh();

  void Notification(TComponent* AComponent, TOperation Operation) override;
  const TFormPropertyTable& FormProperties() const override;

  // The choice of entries changed.
  TNotifyEvent OnChange;

 private:
  void ApplyFilter();
  void ShowFolder(const std::string& Path);
  QPointer<QFileSystemModel> FModel;
  QTreeView* FList = nullptr;
  std::string FRoot = "rfPersonal";
  std::string FMask;
  std::string FShown;  // the path of the folder shown
  TShellObjectTypes FObjectTypes = otFolders | otNonFolders;
  TViewStyle FViewStyle = vsIcon;
  TShellTreeView* FTreeView = nullptr;
  bool FMultiSelect = false;
  bool FSorted = true;
  bool FShowColumnHeaders = true;
  bool FLoaded = false;
  bool FSyncing = false;
  friend class TShellTreeView;
};
