#pragma once
// Windows icon and cursor files, one image at a time.  Images are bitmap
// bodies of 1, 2, 4, 8, 16, 24 or 32 bits with their AND mask, or embedded
// PNG streams (icons).
//
// Bad data, and an image index outside the directory, set the abort flag of
// the progress record; native mode with a bit count that has no native
// format raises Exception "Unsupported pixel format".
#include <cstdint>
#include <memory>

class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;
struct TIEProgressRec;

// Directories: reserved 0, type 1 (icon) or 2 (cursor), a count, entries
// with reserved byte 0, a non-zero size and an offset past the entry;
// position restored, never raises.
bool IETryIco(TStream* Stream);
bool IETryCur(TStream* Stream);
// The count field of the directory header; 0 when there is none; position
// restored.
int32_t IcoImageCount(TStream* Stream);

// Reads entry IcoImageIndex (CurImageIndex).  Transparent pixels of bodies up
// to 8 bits take IcoFillColor (CurFillColor) unless native; the mask (unless
// IgnoreAlpha) is 0 where a pixel is transparent.  An icon's mask comes back
// null when every pixel is opaque; a cursor's is always kept.
void IcoReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);
void CurReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly, std::unique_ptr<TIEMask>& AlphaMask, bool IgnoreAlpha);
