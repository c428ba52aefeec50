#pragma once
// Wireless bitmaps (type 0): black-and-white rows, 1 = white, sizes as
// multi-byte integers.  Sizes are kept whole in both directions.
#include <cstdint>

class TStream;
class TIEBitmap;
class TIOParamsVals;
struct TIEProgressRec;

// A multi-byte integer of at most 4 bytes (7 bits each); -1 when the stream
// ends inside it or a fifth byte would follow.
int32_t WbmpReadMultiByte(TStream* Stream);
// Type 0, fixed header 0 and a positive size whose rows the stream holds;
// position restored, never raises.
bool IETryWbmp(TStream* Stream);
void WbmpReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                    bool ParamsOnly);
void WbmpWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIEProgressRec& Progress);
