#pragma once
// Facts about the screen and devices that the drawing code asks for.
#include <cstdint>

class TCanvas;

// Index values of GetDeviceCaps.
constexpr int32_t HORZSIZE = 4;
constexpr int32_t VERTSIZE = 6;
constexpr int32_t HORZRES = 8;
constexpr int32_t VERTRES = 10;
constexpr int32_t BITSPIXEL = 12;
constexpr int32_t PLANES = 14;
constexpr int32_t NUMCOLORS = 24;
constexpr int32_t RASTERCAPS = 38;
constexpr int32_t LOGPIXELSX = 88;
constexpr int32_t LOGPIXELSY = 90;
constexpr int32_t SIZEPALETTE = 104;
constexpr int32_t PHYSICALWIDTH = 110;
constexpr int32_t PHYSICALHEIGHT = 111;
constexpr int32_t PHYSICALOFFSETX = 112;
constexpr int32_t PHYSICALOFFSETY = 113;
constexpr int32_t RC_PALETTE = 0x0100;
constexpr int32_t RC_STRETCHBLT = 0x0800;
constexpr int32_t RC_STRETCHDIB = 0x2000;
constexpr int32_t RC_DIBTODEV = 0x0200;
constexpr int32_t RC_BITBLT = 0x0001;

// Bits per pixel of the primary screen (32 when no screen can be asked).
int32_t ScreenBitsPerPixel();
// Logical dots per inch of the primary screen: 96 unless the screen says
// otherwise.
int32_t ScreenLogPixelsX();
int32_t ScreenLogPixelsY();
// Pixel size of the primary screen (0 x 0 without one).
int32_t ScreenWidth();
int32_t ScreenHeight();

// Device facts of a canvas. A nullptr canvas is the screen. A canvas on a
// bitmap answers the bitmap's size and the canvas's pixels per inch (the
// screen's unless its owner set others), unless the canvas stands for a
// device that answers itself (the printer's page: see
// TCanvas::SetDeviceCaps).
int32_t GetDeviceCaps(TCanvas* DC, int32_t Index);
