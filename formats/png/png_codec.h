#pragma once
// PNG images over libpng: reading into 1-bit, 8-bit palette or gray, 16-bit
// gray or 24-bit images with an alpha plane, and writing bilevel, palette,
// gray (8 and 16 bits), RGB and RGBA files with background colour,
// resolution and texts.
//
// The reader never raises: bad data sets the abort flag of the progress
// record.  The writer raises EInvalidGraphic "Error on creating PNG" when
// libpng refuses the image; a short write sets the abort flag.
class TStream;
class TIEBitmap;
class TIEMask;
class TIOParamsVals;
struct TIEProgressRec;

// The first four signature bytes at the stream's position; position
// restored, never raises.
bool IETryPng(TStream* Stream);
void PngReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly);
// AlphaMask: null, or an 8-bit mask of the pixels' alpha values.
void PngWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    TIEMask* AlphaMask);
