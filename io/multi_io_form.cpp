// TFolioMIO in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "io/multi_io.h"
#include "io/io_form_properties.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"
#include "views/multi_view.h"

bool TFolioMIO::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  if (IESetSharedIOFormProperty(*this, Name, Value, Context)) return true;
  if (SameText(Name, "AttachedMView")) {
    Context.AddFixup(Value, [this](TComponent* C) { SetAttachedMView(dynamic_cast<TFolioMView*>(C)); });
  } else if (SameText(Name, "PreviewFont.Name")) {
    FPreviewFont->SetName(Value.AsString());
  } else if (SameText(Name, "PreviewFont.Height")) {
    FPreviewFont->SetHeight(Value.AsCoordinate());
  } else if (SameText(Name, "PreviewFont.Size")) {
    FPreviewFont->SetSize(Value.AsCoordinate());
  } else if (SameText(Name, "PreviewFont.Color")) {
    FPreviewFont->SetColor(Value.AsColor());
  } else if (Name.size() > 12 && SameText(Name.substr(0, 12), "PreviewFont.")) {
    // charset, pitch and style of the dialogs' font: the dialogs choose them
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
