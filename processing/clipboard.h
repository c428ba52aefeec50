#pragma once
// Images on the clipboard.  Copying places a packed DIB (which other
// programs receive as a BMP file), a PNG file, and optionally the library's
// raw form under "FOLIO RAW FORMAT", which keeps pixel format, palette and
// alpha plane exactly.  Pasting reads the raw form, then a PNG, then a DIB.
// Clipboard data comes from other programs and is untrusted: every size is
// checked against the data before anything is allocated, and nothing on the
// page changes until the pasted image has been decoded whole.
//
// The TFolioProc operations themselves are declared in folio_proc.h.  GUI
// thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "foundations/bitmap_stretch.h"
#include "platform/gdi/colors.h"

class TIEBitmap;
class TIEDibbitmap;
class TIEMask;

// The registered name of the library's raw clipboard form.
inline constexpr const char* IERawClipboardFormatName = "FOLIO RAW FORMAT";
// Its format id (registered on first use).
uint32_t IERawClipboardFormat();
// The format id of "PNG", carried as image/png.
uint32_t IEPngClipboardFormat();

// Packed DIB of the mask's bounding box of Bitmap: the selected pixels over
// Background, at DpiX x DpiY.  Empty for an empty mask.
TIEPackedDIB IESelectionToDIB(TIEBitmap* Bitmap, TIEMask* Mask, TColor Background, int32_t DpiX, int32_t DpiY);

// Draws a packed DIB of DIBSize bytes at its own size into Dest: 1-bit DIBs
// into a 1-bit buffer, all others into 24 bits.  Answers the DIB's bit count,
// 0 when it could not be read (Dest is then left as it was).
int32_t IEDrawDIBToDibBitmap(const void* DIB, size_t DIBSize, TIEDibbitmap* Dest);

// A PNG file of Bitmap (formats the PNG writer does not take go through a
// 24-bit copy); empty when it cannot be made.
std::vector<uint8_t> IEEncodeClipboardPng(TIEBitmap* Bitmap);
// Decodes a PNG file from the clipboard into Bitmap; false (Bitmap as it was
// or empty) for data that is not a whole, sane PNG.
bool IEDecodeClipboardPng(const std::vector<uint8_t>& Data, TIEBitmap* Bitmap);
