// TFolioIO in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "io/folio_io.h"
#include "io/io_form_properties.h"
#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"
#include "views/view_base.h"

bool TFolioIO::SetFormProperty(const std::string& Name, const TFormValue& Value, TFormReadContext& Context) {
  if (IESetSharedIOFormProperty(*this, Name, Value, Context)) return true;
  if (SameText(Name, "AttachedFolio")) {
    Context.AddFixup(Value, [this](TComponent* C) { SetAttachedFolio(dynamic_cast<TIEView*>(C)); });
  } else if (SameText(Name, "AttachedTImage")) {
    // GUI image controls are not part of this build: the link stays empty
  } else if (SameText(Name, "StreamHeaders")) {
    SetStreamHeaders(Value.AsBoolean());
  } else if (SameText(Name, "NativePixelFormat")) {
    SetNativePixelFormat(Value.AsBoolean());
  } else if (SameText(Name, "Background")) {
    SetBackground(Value.AsColor());
  } else if (Name.size() > 12 && SameText(Name.substr(0, 12), "PreviewFont.")) {
    // the parameters dialog's font: kept by the dialog, which this build lacks
  } else if (SameText(Name, "OnIOPreview")) {
    OnIOPreview = Context.Handler<TIEIOPreviewEvent>(Value);
  } else {
    return false;
  }
  return true;
}

void IERegisterFolioIOClass() { RegisterComponentClass<TFolioIO>("TFolioIO"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioIOClass(), true);
}  // namespace
