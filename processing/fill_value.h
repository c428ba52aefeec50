#pragma once
// The value TIEBitmap::Fill and TIEBitmap::Resize take to paint a colour in
// a bitmap of the bitmap's own format: the gray level for gray formats (white
// or black for 1 bit), the nearest palette entry for ie8p, the colour itself
// for colour formats.
#include "platform/gdi/colors.h"

class TIEBitmap;

double IEFillValueOf(TIEBitmap* Bitmap, TColor Color);
