#pragma once
// TFolioVect: the vector-object view, a single-image view that also holds
// drawn objects (lines, boxes, texts) over its layers. The page view of the
// program is one. This class carries the view itself; the objects, their
// drawing, interaction and streams grow on it.
#include <cstdint>

#include "views/folio_view.h"

class TFolioVect : public TFolioView {
 public:
  explicit TFolioVect(TComponent* AOwner);
  ~TFolioVect() override;

  // Number of vector objects (none yet).
  int32_t GetObjectsCount() const { return 0; }
  // Removes every object; the image and layers stay.
  void RemoveAllObjects() { Invalidate(); }
  // Renders the objects into the image (none yet: nothing changes).
  void CopyObjectsToBack(bool Antialias = true) {}

};
