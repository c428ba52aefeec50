#pragma once
// Icon handles over the platform's bitmaps, and their conversion to icon
// streams and image buffers.
//
// An icon handle keeps what the window system keeps for an icon: a colour
// bitmap (pf32bit, or any format the platform bitmap holds) and a 1-bit mask
// bitmap of the same size in which a set bit (colour table entry 1) marks a
// transparent pixel.  Shell file icons have no source on this platform:
// IEGetFileIconHandle answers null and IEFileIconToBitmap leaves the bitmap
// alone.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class TBitmap;
class TIEBitmap;
class TMemoryStream;

struct TIconHandleData;
using HICON = TIconHandleData*;

// What GetIconInfo hands out: copies of the two bitmaps, owned by the caller.
struct TIconInfo {
  bool fIcon = true;
  uint32_t xHotspot = 0;
  uint32_t yHotspot = 0;
  std::unique_ptr<TBitmap> hbmMask;
  std::unique_ptr<TBitmap> hbmColor;
};

// A new icon from copies of Mask (1-bit after conversion) and Color; null
// when either is missing or their sizes differ.  Free it with DestroyIcon.
HICON CreateIconIndirect(bool IsIcon, uint32_t HotX, uint32_t HotY, TBitmap* Mask, TBitmap* Color);
// False for a null handle.
bool GetIconInfo(HICON Icon, TIconInfo& Info);
bool DestroyIcon(HICON Icon);

// The 40-byte device-independent bitmap header, little-endian in files.
struct TIEBitmapInfoHeader {
  uint32_t biSize = 40;
  int32_t biWidth = 0;
  int32_t biHeight = 0;
  uint16_t biPlanes = 1;
  uint16_t biBitCount = 0;
  uint32_t biCompression = 0;
  uint32_t biSizeImage = 0;
  int32_t biXPelsPerMeter = 0;
  int32_t biYPelsPerMeter = 0;
  uint32_t biClrUsed = 0;
  uint32_t biClrImportant = 0;
};

// The bitmap's header for Colors colours: 2 gives 1 bit, 3..16 give 4 bits,
// 17..256 give 32 bits, anything else the bitmap's own bit count; the image
// size is the 32-bit aligned row length times the height.
void IEGetBitmapInfoHeader(TBitmap* Bitmap, TIEBitmapInfoHeader& Header, int32_t Colors);
// Header size (40 plus the colour table up to 8 bits) and image size.
void IEGetDIBSizes(TBitmap* Bitmap, int32_t& HeaderSize, int32_t& ImageSize, int32_t Colors);
// The header and the bits (rows bottom-up, 32-bit aligned) in the header's
// bit count; 1-bit rows hold the bitmap's colour indices, 32-bit rows blue,
// green, red and the alpha (0 when the bitmap has none).  False for bit
// counts other than 1, 24 and 32.
bool IEGetDIB(TBitmap* Bitmap, TIEBitmapInfoHeader& Header, int32_t Colors, std::vector<uint8_t>& Bits);

// One-entry icon stream of the icon (32-bit colour rows, the mask as AND
// rows); nothing is written for a null handle.
void IEIconToIcoStream(TMemoryStream* Stream, HICON Icon);
// The same, answering false instead of raising.
bool IETryIconToIcoStream(TMemoryStream* Stream, HICON Icon);
// The icon as an ie24RGB image with an alpha plane where it has transparent
// pixels (none for a fully opaque icon).
void IEIconToBitmap(HICON Icon, TIEBitmap* Bitmap);
HICON IEGetFileIconHandle(const std::string& FileName);
void IEFileIconToBitmap(const std::string& FileName, TIEBitmap* Bitmap);
