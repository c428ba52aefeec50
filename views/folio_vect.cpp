#include "views/folio_vect.h"

#include "platform/rtl/sysutils.h"
#include "platform/vcl/form_reader.h"

TFolioVect::TFolioVect(TComponent* AOwner) : TFolioView(AOwner) {}

TFolioVect::~TFolioVect() = default;

void IERegisterFolioViewClasses() {
  RegisterComponentClass<TFolioView>("TFolioView");
  RegisterComponentClass<TFolioVect>("TFolioVect");
}

namespace {
// Registered whenever this unit is part of the program.
const bool Registered = (IERegisterFolioViewClasses(), true);
}  // namespace
