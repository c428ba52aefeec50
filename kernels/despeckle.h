#pragma once
// Cleaning black-and-white (ie1g) pages: removal of isolated pixels (pixels
// of one colour with few pixels of that colour around them) and the k-fill
// salt-and-pepper filter, whose 3 x 3 window fills its centre with the
// colour of the ring of eight pixels around it when the ring says so; passes
// alternate between filling white specks with black and black specks with
// white until nothing changes or the pass budget is spent.  Other pixel
// formats are left alone.  Caller's thread.
#include <cstdint>

class TIEBitmap;

// In the rectangle X1 <= x < X2, Y1 <= y < Y2 (clipped to the bitmap), every
// pixel of Colour (0 black, any other value white) whose 3 x 3 neighbourhood
// inside the rectangle, itself included, holds at most Size pixels of that
// colour takes the other colour.  All pixels are judged on the page as it was.
// Nothing when Size is 0.
void IERemoveIsolatedPixels(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2, int32_t Colour,
                            int32_t Size);

// The k-fill filter over the whole bitmap; the first and last rows and columns
// never change.  The first pass fills white specks with black (with Invert,
// black specks with white).  CheckConnectivity keeps a fill from joining two
// separate runs of the ring; StrictBlackFill fills black only into a fully
// black ring (or a five-pixel ring with two corners).  Windows above 3 x 3 are
// not offered: K is taken as 3.  Nothing when Iterations < 1.
void IEKFill(TIEBitmap* Bitmap, bool CheckConnectivity, bool StrictBlackFill, int32_t Iterations, int32_t K,
             bool Invert);
