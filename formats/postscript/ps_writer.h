#pragma once
// Level 2 PostScript documents of one raster image per page, placed at the
// top-left corner of the paper and scaled to fit it keeping its proportions.
// A document is begun (header comments), given pages one at a time (each
// written at once, so a long document never sits in memory) and ended
// (trailer).  Every line ends with CR LF.
//
// Page kinds: 1-bit pages (CCITT Group 4 or Group 3, or run-length), gray
// pages as 8-bit gray, palette pages through an indexed colour space, colour
// pages as interleaved RGB (run-length, or JPEG); other pixel formats are
// converted to colour first.  Image data are ASCII85 text, and each page's
// %%BeginData count is the exact number of bytes up to %%EndData.
#include <cstdint>
#include <memory>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// The open document: where the "%%Pages:" line is, where the next page goes,
// the pages so far.
struct TIEPsDocState {
  int64_t PagesLinePos = 0;
  int64_t EndPos = 0;
  int32_t PageCount = 0;
};

// Writes the header comments at the stream's position (title, paper of
// Params for the bounding box).
std::unique_ptr<TIEPsDocState> PsBeginDocument(TStream* Stream, TIOParamsVals& Params);
// Writes one page with the options of its own parameters and rewrites the
// page count in place.  A page that cannot be coded sets the abort flag.
void PsAddPage(TIEPsDocState* State, TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
               TIEProgressRec& Progress);
// Writes the trailer and frees the state; nothing for a null state.
void PsEndDocument(std::unique_ptr<TIEPsDocState>& State, TStream* Stream);

// Begin, one page, end; the common writer shape.
void PsWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
inline void IEWritePsStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                            TIEProgressRec& Progress) {
  PsWriteStream(Stream, Bitmap, Params, Progress);
}

// The decimal value followed by blanks up to Width characters.
std::string PsPadNumber(int32_t Value, int32_t Width);
