#pragma once
// Truevision Targa images: colour-mapped, true-colour and gray, raw or
// run-length encoded, with the TGA 2.0 extension area and footer.
//
// The reader delivers 1-bit or 24-bit images and an 8-bit alpha mask; bad
// data sets the abort flag of the progress record.  The writer stores 1, 8,
// 24 or 32 bits (8 and 24 optionally run-length encoded) and always appends
// the extension area and the footer.
#include <cstdint>
#include <memory>

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;
struct TIEProgressRec;

// An acceptable 18-byte header at the stream's position; position restored,
// never raises.
bool IETryTga(TStream* Stream);
// AlphaMask: null or an existing mask, receives the alpha of 32-bit pixels
// and 32-bit colour maps unless IgnoreAlpha; it comes back null when every
// alpha value is 0.
void TgaReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);
// Bitmap: ie24RGB or ie1g (nothing is written for other formats); AlphaMask:
// null or an 8-bit mask, which makes 24-bit output 32-bit.
void TgaWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    TIEMask* AlphaMask);
