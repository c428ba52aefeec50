#include "kernels/rotate_flip.h"

#include "kernels/rotate_kernels.h"

void IEApplyEXIFOrientation(TIEBitmap* Image, int32_t Orientation) {
  if (!Image) return;
  // IEFlip direction 0 mirrors each row, 1 the order of the rows; quarter
  // turns by +90 are counter-clockwise and take the exact path.
  switch (Orientation) {
    case 2: IEFlip(Image, 0); break;
    case 3:
      IEFlip(Image, 1);
      IEFlip(Image, 0);
      break;
    case 4: IEFlip(Image, 1); break;
    // Turning the other way before the mirror would leave 5 and 7 upside
    // down (each would give the other's result).
    case 5:
      if (IERotateGeneric(Image, 0, -90)) IEFlip(Image, 0);
      break;
    case 6: IERotateGeneric(Image, 0, -90); break;
    case 7:
      if (IERotateGeneric(Image, 0, 90)) IEFlip(Image, 0);
      break;
    case 8: IERotateGeneric(Image, 0, 90); break;
    default: break;
  }
}
