// The dialogs' published properties, as form resources store them.
#include "dialogs/image_file_dialogs.h"
#include "platform/rtl/sysutils.h"

namespace {

const std::vector<std::string> kLanguageNames = {
    "msSystem",     "msEnglish", "msItalian", "msGerman",    "msSpanish", "msFrench",
    "msPortuguese", "msGreek",   "msRussian", "msDutch",     "msSwedish", "msPolish",
    "msJapanese",   "msCzech",   "msFinnish", "msFarsi",     "msChinese", "msChineseTraditional",
    "msDanish",     "msTurkish", "msKorean",  "msHungarian", "msUser"};

const std::vector<std::string> kOptionNames = {
    "ofReadOnly",         "ofOverwritePrompt",    "ofHideReadOnly",        "ofNoChangeDir",
    "ofShowHelp",         "ofNoValidate",         "ofAllowMultiSelect",    "ofExtensionDifferent",
    "ofPathMustExist",    "ofFileMustExist",      "ofCreatePrompt",        "ofShareAware",
    "ofNoReadOnlyReturn", "ofNoTestFileCreate",   "ofNoNetworkButton",     "ofNoLongNames",
    "ofOldStyleDialog",   "ofNoDereferenceLinks", "ofEnableIncludeNotify", "ofEnableSizing",
    "ofDontAddToRecent",  "ofForceShowHidden"};

const std::vector<std::string> kFilterNames = {
    "rfNone",    "rfTriangle", "rfHermite",    "rfBell",     "rfBSpline", "rfLanczos3",  "rfMitchell",
    "rfNearest", "rfLinear",   "rfFastLinear", "rfBilinear", "rfBicubic", "rfProjectBW", "rfProjectWB"};

}  // namespace

bool TIECommonDialog::SetFormProperty(const std::string& Name, const TFormValue& Value,
                                      TFormReadContext& Context) {
  if (SameText(Name, "Ctl3D")) {
    SetCtl3D(Value.AsBoolean());
  } else if (SameText(Name, "HelpContext")) {
    SetHelpContext(Value.AsInteger());
  } else if (SameText(Name, "MsgLanguage")) {
    const int32_t L = Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : Value.AsEnum(kLanguageNames);
    SetMsgLanguage(L >= 0 && L < IELanguageCount ? static_cast<TMsgLanguage>(L) : msSystem);
  } else if (SameText(Name, "ShowPlacesBar")) {
    SetShowPlacesBar(Value.AsBoolean());
  } else if (SameText(Name, "ExtendedDialog")) {
    SetExtendedDialog(Value.AsBoolean());
  } else if (SameText(Name, "OnClose")) {
    OnClose = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnShow")) {
    OnShow = Context.Handler<TNotifyEvent>(Value);
  } else {
    return false;
  }
  return true;
}

bool TOpenFolioDialog::SetFormProperty(const std::string& Name, const TFormValue& Value,
                                       TFormReadContext& Context) {
  static const std::vector<std::string> BorderNames = {"iepsDefault", "iepsCropped", "iepsCropShadow",
                                                       "iepsSoftShadow"};
  if (SameText(Name, "Options")) {
    SetOptions(Value.AsSet(kOptionNames));
  } else if (SameText(Name, "Filter")) {
    SetFilter(Value.AsString());
  } else if (SameText(Name, "FilterIndex")) {
    SetFilterIndex(Value.AsInteger());
  } else if (SameText(Name, "InitialDir")) {
    SetInitialDir(Value.AsString());
  } else if (SameText(Name, "Title")) {
    SetTitle(Value.AsString());
  } else if (SameText(Name, "DefaultExt")) {
    SetDefaultExt(Value.AsString());
  } else if (SameText(Name, "FileName")) {
    SetFileName(Value.AsString());
  } else if (SameText(Name, "FileEditStyle")) {
    // Retired: read and discarded.
  } else if (SameText(Name, "AutoSetFilter")) {
    SetAutoSetFilter(Value.AsBoolean());
  } else if (SameText(Name, "AlwaysAnimate")) {
    SetAlwaysAnimate(Value.AsBoolean());
  } else if (SameText(Name, "PreviewBorderStyle")) {
    SetPreviewBorderStyle(static_cast<TIEDBorderStyle>(Value.AsEnum(BorderNames)));
  } else if (SameText(Name, "AutoAdjustDPI")) {
    SetAutoAdjustDPI(Value.AsBoolean());
  } else if (SameText(Name, "FilteredAdjustDPI")) {
    SetFilteredAdjustDPI(Value.AsBoolean());
  } else if (SameText(Name, "ZoomFilter")) {
    SetZoomFilter(static_cast<TResampleFilter>(Value.AsEnum(kFilterNames)));
  } else if (SameText(Name, "ShowAllFrames")) {
    SetShowAllFrames(Value.AsBoolean());
  } else if (SameText(Name, "OnCanClose")) {
    OnCanClose = Context.Handler<TCloseQueryEvent>(Value);
  } else if (SameText(Name, "OnFolderChange")) {
    OnFolderChange = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnSelectionChange")) {
    OnSelectionChange = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnTypeChange")) {
    OnTypeChange = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnCreateCustomControls")) {
    OnCreateCustomControls = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnDestroyCustomControls")) {
    OnDestroyCustomControls = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnPreviewFile")) {
    OnPreviewFile = Context.Handler<TIEFileDlgPreviewEvent>(Value);
  } else {
    return TIECommonDialog::SetFormProperty(Name, Value, Context);
  }
  return true;
}

bool TSaveFolioDialog::SetFormProperty(const std::string& Name, const TFormValue& Value,
                                       TFormReadContext& Context) {
  if (SameText(Name, "ExOptions")) {
    SetExOptions(static_cast<TIESaveDlgOpt>(Value.AsSet({"sdShowPreview", "sdShowAdvanced"})));
  } else if (SameText(Name, "AttachedFolioIO")) {
    Context.AddFixup(Value, [this](TComponent* C) { SetAttachedFolioIO(C); });
  } else {
    return TOpenFolioDialog::SetFormProperty(Name, Value, Context);
  }
  return true;
}

void IERegisterFileDialogClasses() {
  RegisterComponentClass<TOpenFolioDialog>("TOpenFolioDialog");
  RegisterComponentClass<TSaveFolioDialog>("TSaveFolioDialog");
}

namespace {
const bool Registered = (IERegisterFileDialogClasses(), true);
}  // namespace
