// TFolioIO in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "io/folio_io.h"
#include "io/io_form_properties.h"
#include "platform/rtl/sysutils.h"
#include "views/view_base.h"

const TFormPropertyTable& TFolioIO::FormProperties() const {
  static const TFormPropertyTable Table = [] {
    TFormProperties<TFolioIO> P("TFolioIO", &ComponentFormProperties());
    IEAddSharedIOFormProperties(P)
        .Reference<TIEView>("AttachedFolio", &TFolioIO::GetAttachedFolio, &TFolioIO::SetAttachedFolio)
        .Color("Background", &TFolioIO::GetBackground, &TFolioIO::SetBackground)
        .Bool("NativePixelFormat", &TFolioIO::GetNativePixelFormat, &TFolioIO::SetNativePixelFormat)
        .Bool("StreamHeaders", &TFolioIO::GetStreamHeaders, &TFolioIO::SetStreamHeaders)
        .Event("OnIOPreview", &TFolioIO::OnIOPreview)
        // The GUI image control link and the parameters dialog's font are
        // kept elsewhere in this build: read and left alone.
        .Ignored({"AttachedTImage", "PreviewFont.*"});
    return P.Build();
  }();
  return Table;
}

void IERegisterFolioIOClass() { RegisterComponentClass<TFolioIO>("TFolioIO"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioIOClass(), true);
}  // namespace
