#pragma once
// TFolio: a single-image view that is complete from its construction on: its
// I/O and processing components are created with it instead of on first use,
// so a form can place one and load, process and save through it at once (the
// main window's hidden scratch view is one). Both components belong to the
// view and go with it.
#include <string>

#include "views/folio_view.h"

class TFolio : public TFolioView {
 public:
  explicit TFolio(TComponent* AOwner);
  std::string ClassName() const override { return "TFolio"; }
};

// Makes "TFolio" creatable by form resources (also done when the unit is
// linked in).
void IERegisterFolioClass();
