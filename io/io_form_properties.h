#pragma once
// The published properties the two I/O components share (the single-image
// TFolioIO and the multi-image TFolioMIO), applied from a form resource the
// same way for both.
#include <string>
#include <vector>

#include "io/folio_io.h"
#include "foundations/progress.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"

// Sets property Name of an I/O component; false when it is not one of the
// shared properties.
template <typename TComponentIO>
bool IESetSharedIOFormProperty(TComponentIO& Self, const std::string& Name, const TFormValue& Value,
                               TFormReadContext& Context) {
  static const std::vector<std::string> UnitNames = {"ieduInches", "ieduCm", "ieduSelectableDefInches",
                                                     "ieduSelectableDefCm"};
  static const std::vector<std::string> PreviewNames = {"ioppDefaultLockPreview", "ioppApplyButton"};
  if (SameText(Name, "AutoAdjustDPI")) {
    Self.SetAutoAdjustDPI(Value.AsBoolean());
  } else if (SameText(Name, "FilteredAdjustDPI")) {
    Self.SetFilteredAdjustDPI(Value.AsBoolean());
  } else if (SameText(Name, "SimplifiedParamsDialogs")) {
    Self.SetSimplifiedParamsDialogs(Value.AsBoolean());
  } else if (SameText(Name, "DialogsMeasureUnit")) {
    Self.SetDialogsMeasureUnit(static_cast<TIEDialogsMeasureUnit>(Value.AsEnum(UnitNames)));
  } else if (SameText(Name, "PreviewsParams")) {
    Self.SetPreviewsParams(static_cast<TIOPreviewsParams>(Value.AsSet(PreviewNames)));
  } else if (SameText(Name, "MsgLanguage")) {
    // the dialogs' languages come with the dialogs; until then every
    // language reads as the system's
    Self.SetMsgLanguage(Value.Kind == TFormValue::vkInteger ? Value.AsInteger() : msSystem);
  } else if (SameText(Name, "OnProgress")) {
    Self.OnProgress = Context.Handler<TIEProgressEvent>(Value);
  } else if (SameText(Name, "OnFinishWork")) {
    Self.OnFinishWork = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnDoPreviews")) {
    Self.OnDoPreviews = Context.Handler<TIEDoPreviewsEvent>(Value);
  } else {
    return false;
  }
  return true;
}
