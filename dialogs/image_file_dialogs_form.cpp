// The dialogs' published properties, as form resources store them.
#include "dialogs/image_file_dialogs.h"
#include "io/io_form_properties.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"

namespace {

const TFormEnumNames& OpenOptionNames() {
  static const TFormEnumNames Names = {
      "ofReadOnly",         "ofOverwritePrompt",    "ofHideReadOnly",        "ofNoChangeDir",
      "ofShowHelp",         "ofNoValidate",         "ofAllowMultiSelect",    "ofExtensionDifferent",
      "ofPathMustExist",    "ofFileMustExist",      "ofCreatePrompt",        "ofShareAware",
      "ofNoReadOnlyReturn", "ofNoTestFileCreate",   "ofNoNetworkButton",     "ofNoLongNames",
      "ofOldStyleDialog",   "ofNoDereferenceLinks", "ofEnableIncludeNotify", "ofEnableSizing",
      "ofDontAddToRecent",  "ofForceShowHidden"};
  return Names;
}

}  // namespace

const TFormPropertyTable& TIECommonDialog::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TIECommonDialog>("", &ComponentFormProperties())
          .Bool("Ctl3D", &TIECommonDialog::GetCtl3D, &TIECommonDialog::SetCtl3D)
          .Bool("ExtendedDialog", &TIECommonDialog::GetExtendedDialog, &TIECommonDialog::SetExtendedDialog)
          .Integer("HelpContext", &TIECommonDialog::GetHelpContext, &TIECommonDialog::SetHelpContext)
          .Custom("MsgLanguage",
                  [](TIECommonDialog& D, const TFormValue& V, TFormReadContext&) {
                    D.SetMsgLanguage(IEReadMsgLanguage(V));
                  },
                  [](const TIECommonDialog& D, TFormValue& V) {
                    V = TFormValue::OfEnum(D.GetMsgLanguage(), MsgLanguageNames());
                    return true;
                  })
          .Bool("ShowPlacesBar", &TIECommonDialog::GetShowPlacesBar, &TIECommonDialog::SetShowPlacesBar)
          .Event("OnClose", &TIECommonDialog::OnClose)
          .Event("OnShow", &TIECommonDialog::OnShow)
          .Build();
  return Table;
}

const TFormPropertyTable& TOpenFolioDialog::FormProperties() const {
  static const TFormEnumNames BorderNames = {"iepsDefault", "iepsCropped", "iepsCropShadow", "iepsSoftShadow"};
  using D = TOpenFolioDialog;
  static const TFormPropertyTable Table =
      TFormProperties<D>("TOpenFolioDialog", &TIECommonDialog::FormProperties())
          .Bool("AlwaysAnimate", &D::GetAlwaysAnimate, &D::SetAlwaysAnimate)
          .Bool("AutoAdjustDPI", &D::GetAutoAdjustDPI, &D::SetAutoAdjustDPI)
          .Bool("AutoSetFilter", &D::GetAutoSetFilter, &D::SetAutoSetFilter)
          .String("DefaultExt", &D::GetDefaultExt, &D::SetDefaultExt)
          .String("FileName", &D::GetFileName, &D::SetFileName)
          .String("Filter", &D::GetFilter, &D::SetFilter)
          .Integer("FilterIndex", &D::GetFilterIndex, &D::SetFilterIndex)
          .Bool("FilteredAdjustDPI", &D::GetFilteredAdjustDPI, &D::SetFilteredAdjustDPI)
          .String("InitialDir", &D::GetInitialDir, &D::SetInitialDir)
          .Set("Options", OpenOptionNames(), &D::GetOptions, &D::SetOptions)
          .Enum("PreviewBorderStyle", BorderNames, &D::GetPreviewBorderStyle, &D::SetPreviewBorderStyle)
          .Bool("ShowAllFrames", &D::GetShowAllFrames, &D::SetShowAllFrames)
          .String("Title", &D::GetTitle, &D::SetTitle)
          .Enum("ZoomFilter", ResampleFilterNames(), &D::GetZoomFilter, &D::SetZoomFilter)
          // Retired: read and discarded.
          .Ignored({"FileEditStyle"})
          .Event("OnCanClose", &D::OnCanClose)
          .Event("OnCreateCustomControls", &D::OnCreateCustomControls)
          .Event("OnDestroyCustomControls", &D::OnDestroyCustomControls)
          .Event("OnFolderChange", &D::OnFolderChange)
          .Event("OnPreviewFile", &D::OnPreviewFile)
          .Event("OnSelectionChange", &D::OnSelectionChange)
          .Event("OnTypeChange", &D::OnTypeChange)
          .Build();
  return Table;
}

const TFormPropertyTable& TSaveFolioDialog::FormProperties() const {
  static const TFormEnumNames ExOptionNames = {"sdShowPreview", "sdShowAdvanced"};
  using D = TSaveFolioDialog;
  static const TFormPropertyTable Table =
      TFormProperties<D>("TSaveFolioDialog", &TOpenFolioDialog::FormProperties())
          .Reference<TComponent>("AttachedFolioIO", &D::GetAttachedFolioIO, &D::SetAttachedFolioIO)
          .Set("ExOptions", ExOptionNames, &D::GetExOptions, &D::SetExOptions)
          .Build();
  return Table;
}

void IERegisterFileDialogClasses() {
  RegisterComponentClass<TOpenFolioDialog>("TOpenFolioDialog");
  RegisterComponentClass<TSaveFolioDialog>("TSaveFolioDialog");
}

namespace {
const bool Registered = (IERegisterFileDialogClasses(), true);
}  // namespace
