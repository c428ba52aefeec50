// TFolioProc in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_properties.h"
#include "processing/folio_proc.h"
#include "views/view_base.h"

const TFormPropertyTable& TFolioProc::FormProperties() const {
  static const TFormPropertyTable Table =
      TFormProperties<TFolioProc>("TFolioProc", &ComponentFormProperties())
          .Reference<TIEView>("AttachedFolio", &TFolioProc::GetAttachedFolio, &TFolioProc::SetAttachedFolio)
          .Bool("AutoConvertFormat", &TFolioProc::GetAutoConvertFormat, &TFolioProc::SetAutoConvertFormat)
          .Bool("AutoUndo", &TFolioProc::GetAutoUndo, &TFolioProc::SetAutoUndo)
          .Color("Background", &TFolioProc::GetBackground, &TFolioProc::SetBackground)
          .Integer("UndoLimit", &TFolioProc::GetUndoLimit, &TFolioProc::SetUndoLimit)
          // Settings of the effects dialog and of GUI image controls, which
          // this build keeps elsewhere: read and left alone.
          .Ignored({"AttachedTImage", "MsgLanguage", "PreviewsParams", "OnPreview", "PreviewFont.*"})
          .Event("OnFinishWork", &TFolioProc::OnFinishWork)
          .Event("OnProgress", &TFolioProc::OnProgress)
          .Event("OnSaveUndo", &TFolioProc::OnSaveUndo)
          .Build();
  return Table;
}

void IERegisterFolioProcClass() { RegisterComponentClass<TFolioProc>("TFolioProc"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioProcClass(), true);
}  // namespace
