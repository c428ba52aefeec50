// TFolioMIO in form resources: its published properties and events, and its
// class registration, so that a window's resource can create it by name.
#include "io/multi_io.h"
#include "io/io_form_properties.h"
#include "platform/gdi/graphic_objects.h"
#include "platform/rtl/sysutils.h"
#include "views/multi_view.h"

const TFormPropertyTable& TFolioMIO::FormProperties() const {
  static const TFormPropertyTable Table = [] {
    TFormProperties<TFolioMIO> P("TFolioMIO", &ComponentFormProperties());
    IEAddSharedIOFormProperties(P)
        .Reference<TFolioMView>("AttachedMView", &TFolioMIO::GetAttachedMView, &TFolioMIO::SetAttachedMView)
        .Font("PreviewFont", [](const TFolioMIO& IO) { return IO.GetPreviewFont(); })
        .Event("OnAcquireBitmap", &TFolioMIO::OnAcquireBitmap)
        .Event("OnAfterAcquireBitmap", &TFolioMIO::OnAfterAcquireBitmap);
    return P.Build();
  }();
  return Table;
}

void IERegisterFolioMIOClass() { RegisterComponentClass<TFolioMIO>("TFolioMIO"); }

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioMIOClass(), true);
}  // namespace
