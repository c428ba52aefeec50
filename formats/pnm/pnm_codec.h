#pragma once
// Portable anymaps: "P1" to "P6" bitmaps, graymaps and pixmaps, ASCII and
// binary, with header comments and 16-bit samples.
//
// Every sample is scaled by the file's maxval; samples above maxval are
// clamped to it; a maxval of 0 or above 65535 is refused.  Bad data sets the
// abort flag of the progress record, nothing raises.
class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIEProgressRec;

// The stream holds a PNM header with a positive size; position restored,
// never raises.  (The header tokenizer of format detection, PnmReadToken,
// splits tokens by the same rule.)
bool IETryPnm(TStream* Stream);
void PnmReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool ParamsOnly);
// P4 for 1-bit output, P5 for gray (8 or 16 bits), P6 for colour (8 or 16
// bits), chosen by BitsPerSample, SamplesPerPixel and the bitmap's format.
void PnmWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
