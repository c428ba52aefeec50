// TFolioProc in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "platform/rtl/sysutils.h"
#include "processing/folio_proc.h"
#include "views/view_base.h"

bool TFolioProc::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  if (SameText(Name, "AttachedFolio")) {
    Context.AddFixup(Value, [this](TComponent* C) { SetAttachedFolio(dynamic_cast<TIEView*>(C)); });
  } else if (SameText(Name, "AutoUndo")) {
    SetAutoUndo(Value.AsBoolean());
  } else if (SameText(Name, "Background")) {
    SetBackground(TColor(Value.AsColor()));
  } else if (SameText(Name, "UndoLimit")) {
    SetUndoLimit(Value.AsInteger());
  } else if (SameText(Name, "AutoConvertFormat")) {
    SetAutoConvertFormat(Value.AsBoolean());
  } else if (SameText(Name, "AttachedTImage") || SameText(Name, "MsgLanguage") ||
             SameText(Name, "PreviewsParams") || SameText(Name, "OnPreview") ||
             (Name.size() > 12 && SameText(Name.substr(0, 12), "PreviewFont."))) {
    // Settings of the effects dialog and of GUI image controls, which this
    // build keeps elsewhere or lacks: read and left alone.
  } else if (SameText(Name, "OnProgress")) {
    OnProgress = Context.Handler<TIEProgressEvent>(Value);
  } else if (SameText(Name, "OnFinishWork")) {
    OnFinishWork = Context.Handler<TNotifyEvent>(Value);
  } else if (SameText(Name, "OnSaveUndo")) {
    OnSaveUndo = Context.Handler<TIESaveUndoEvent>(Value);
  } else {
    return false;
  }
  return true;
}

void IERegisterFolioProcClass() { RegisterComponentClass<TFolioProc>("TFolioProc"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioProcClass(), true);
}  // namespace
