#include "dialogs/folio.h"

#include "platform/vcl/form_reader.h"

TFolio::TFolio(TComponent* AOwner) : TFolioView(AOwner) {
  GetIO();
  GetProc();
}

void IERegisterFolioClass() { RegisterComponentClass<TFolio>("TFolio"); }

namespace {
const bool Registered = (IERegisterFolioClass(), true);
}  // namespace
