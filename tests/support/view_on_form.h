#pragma once
// A page view of 300 x 200 at the top left of a 500 x 400 form, without a
// border and not centred, so that client and bitmap coordinates are related
// by the zoom alone.
#include <memory>

#include "platform/vcl/forms.h"
#include "views/folio_view.h"

namespace testsupport {

inline TFolioView* PlaceViewOnForm(std::unique_ptr<TForm>& Form) {
  Form = std::make_unique<TForm>(nullptr);
  Form->SetBounds(0, 0, 500, 400);
  auto* V = new TFolioView(Form.get());
  V->SetParent(Form.get());
  V->SetBorderStyle(bsNone);
  V->SetBounds(0, 0, 300, 200);
  V->SetCenter(false);
  V->HandleNeeded();
  return V;
}

}  // namespace testsupport
