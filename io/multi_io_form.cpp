// TFolioMIO in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "io/multi_io.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"
#include "views/multi_view.h"

bool TFolioMIO::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  static const std::vector<std::string> UnitNames = {"ieduInches", "ieduCm", "ieduSelectableDefInches",
                                                     "ieduSelectableDefCm"};
  static const std::vector<std::string> PreviewNames = {"ioppDefaultLockPreview", "ioppApplyButton"};
  if (SameText(Name, "AttachedMView")) {
    Context.AddFixup(Value, [this](TComponent* C) { SetAttachedMView(dynamic_cast<TFolioMView*>(C)); });
  } else if (SameText(Name, "AutoAdjustDPI")) {
    SetAutoAdjustDPI(Value.AsBoolean());
  } else if (SameText(Name, "FilteredAdjustDPI")) {
    SetFilteredAdjustDPI(Value.AsBoolean());
  } else if (SameText(Name, "SimplifiedParamsDialogs")) {
    SetSimplifiedParamsDialogs(Value.AsBoolean());
  } else if (SameText(Name, "DialogsMeasureUnit")) {
    SetDialogsMeasureUnit(static_cast<TIEDialogsMeasureUnit>(Value.AsEnum(UnitNames)));
  } else if (SameText(Name, "PreviewsParams")) {
    SetPreviewsParams(static_cast<TIOPreviewsParams>(Value.AsSet(PreviewNames)));
  } else if (SameText(Name, "MsgLanguage")) {
    // the dialogs' languages come with the dialogs; until then every
    // language reads as the system's
    SetMsgLanguage(Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : msSystem);
  } else if (SameText(Name, "PreviewFont.Name")) {
    FPreviewFont->SetName(Value.AsString());
  } else if (SameText(Name, "PreviewFont.Height")) {
    FPreviewFont->SetHeight(Value.AsInteger());
  } else if (SameText(Name, "PreviewFont.Size")) {
    FPreviewFont->SetSize(Value.AsInteger());
  } else if (SameText(Name, "PreviewFont.Color")) {
    FPreviewFont->SetColor(Value.AsColor());
  } else if (Name.size() > 12 && SameText(Name.substr(0, 12), "PreviewFont.")) {
    // charset, pitch and style of the dialogs' font: the dialogs choose them
  } else if (SameText(Name, "OnProgress")) {
    OnProgress = Context.Handler<TIEProgressEvent>(Value);
  } else if (SameText(Name, "OnFinishWork")) {
    OnFinishWork = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnDoPreviews")) {
    OnDoPreviews = Context.Handler<TIEDoPreviewsEvent>(Value);
  } else if (SameText(Name, "OnAcquireBitmap")) {
    OnAcquireBitmap = Context.Handler<TIEAcquireBitmapEvent>(Value);
  } else if (SameText(Name, "OnAfterAcquireBitmap")) {
    OnAfterAcquireBitmap = Context.Handler<TIEAfterAcquireBitmapEvent>(Value);
  } else {
    return false;
  }
  return true;
}

void IERegisterFolioMIOClass() { RegisterComponentClass<TFolioMIO>("TFolioMIO"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioMIOClass(), true);
}  // namespace
