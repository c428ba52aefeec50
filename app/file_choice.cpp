#include "app/file_choice.h"

#include <QGuiApplication>

#include "dialogs/image_file_dialogs.h"
#include "platform/rtl/sysutils.h"

namespace {
TFileChoiceHook& Hook() {
  static TFileChoiceHook H;
  return H;
}
}  // namespace

TFileChoiceHook SetFileChoiceHook(TFileChoiceHook H) {
  TFileChoiceHook Old = std::move(Hook());
  Hook() = std::move(H);
  return Old;
}

std::string ChooseFile(const TFileChoiceRequest& Request) {
  if (Hook()) return Hook()(Request);
  // The library's open and save dialogs, with their previews; the save
  // dialog's advanced button edits the attached component's parameters.
  std::unique_ptr<TOpenFolioDialog> Dialog;
  if (Request.Save) {
    auto* Save = new TSaveFolioDialog(nullptr);
    Save->SetExOptions(sdShowPreview | sdShowAdvanced);
    Save->SetAttachedFolioIO(Request.AttachedIO);
    Dialog.reset(Save);
  } else {
    Dialog = std::make_unique<TOpenFolioDialog>(nullptr);
  }
  Dialog->SetAutoSetFilter(false);
  Dialog->SetTitle(Request.Title);
  Dialog->SetFilter(Request.Filter);
  Dialog->SetFilterIndex(Request.FilterIndex);
  std::string Ext = Request.DefaultExt;
  if (!Ext.empty() && Ext[0] == '.') Ext.erase(0, 1);
  Dialog->SetDefaultExt(Ext);
  if (!Request.FileName.empty()) {
    const std::string Folder = ExtractFilePath(Request.FileName);
    if (!Folder.empty()) Dialog->SetInitialDir(Folder);
    Dialog->SetFileName(ExtractFileName(Request.FileName));
  }
  if (!Dialog->Execute()) return "";
  return Dialog->GetFileName();
}
