#pragma once
// The remaining ways a TIEBitmap leaves the buffer world: packed DIBs for
// printing and their blit onto a canvas, and the DrawDib-style helpers the
// views paint with.  (TIEBitmap::StretchRectTo and TIEBitmap::RenderToCanvas
// are declared with the image buffer; the hint boxes of the views are in
// views/hint_boxes.h.)
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TBitmap;
class TCanvas;
class TIEBitmap;
struct TBitmapInfoHeader;

// A packed device-independent bitmap: 40-byte header, colour table, rows.
using TIEPackedDIB = std::vector<uint8_t>;

// Packed DIB of the rectangle X1..X2-1, Y1..Y2-1 of Bitmap (X2, Y2 = 0: the
// image's width and height) at DpiX x DpiY: ie1g stays 1 bit (table black,
// white), ie8g and ie8p 8 bits with 256 entries, ie24RGB 24 bits, other
// formats are converted to 24 bits; rows bottom-up, 32-bit aligned.  Empty
// when the rectangle is empty or the memory cannot be had.
TIEPackedDIB _CopyBitmaptoDIBEx(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                int32_t DpiX, int32_t DpiY);
// Gamma correction of a 24-bit uncompressed packed DIB in place with the
// table 255 x (i / 255)^(1 / Gamma); a gamma of zero or below changes nothing.
void IEDIBGammaCorrect(TIEPackedDIB& DIB, double Gamma);
// The same over a packed DIB of DIBSize bytes at DIB (24-bit, uncompressed;
// anything else is left alone).
void IEDIBGammaCorrect(void* DIB, size_t DIBSize, double Gamma);
// The processing layer may install its own versions of the two above.
extern std::function<TIEPackedDIB(TIEBitmap* Bitmap, int32_t X1, int32_t Y1, int32_t X2,
                                  int32_t Y2, int32_t DpiX, int32_t DpiY)>
    IECopyBitmapToDIBExHook;
extern std::function<void(TIEPackedDIB& DIB, double Gamma)> IEDIBGammaCorrectHook;

// Stretches the source rectangle of a packed DIB onto the canvas rectangle
// (stretch mode COLORONCOLOR, copy).  A DIB that does not hold what its
// header says draws nothing.
void _DIBDrawTo(TCanvas* Canvas, const TIEPackedDIB& DIB, int32_t XSrc, int32_t YSrc,
                int32_t SrcWidth, int32_t SrcHeight, int32_t XDst, int32_t YDst, int32_t DstWidth,
                int32_t DstHeight);
// Copies Width x Height pixels at (SrcX, SrcY) of Bitmap into a 200-dpi
// packed DIB and draws it 1:1 at (XDst, YDst).
void PrintPict(TCanvas* Canvas, int32_t XDst, int32_t YDst, TIEBitmap* Bitmap, int32_t SrcX,
               int32_t SrcY, int32_t Width, int32_t Height);

// DrawDib-style drawing of packed-DIB bits onto a canvas.  A handle is a
// small object of its own; Draw stretches like StretchDIBits (a negative
// source width or height means the whole bitmap) and answers whether it drew.
struct TIEDrawDibState {
  int32_t Draws = 0;  // blits made through this handle
};
using TIEDrawDibHandle = std::unique_ptr<TIEDrawDibState>;
TIEDrawDibHandle IEDrawDibOpen();
bool IEDrawDibClose(TIEDrawDibHandle Handle);
bool IEDrawDibDraw(TIEDrawDibState* Handle, TCanvas* DC, int32_t XDst, int32_t YDst, int32_t DstWidth,
                   int32_t DstHeight, const TBitmapInfoHeader* Header, const void* Bits,
                   int32_t XSrc, int32_t YSrc, int32_t SrcWidth, int32_t SrcHeight, uint32_t Flags);
// Palettes are not realized on this platform: answers 0 colours changed.
uint32_t IEDrawDibRealize(TIEDrawDibState* Handle, TCanvas* DC, bool Background);
