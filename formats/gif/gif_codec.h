#pragma once
// GIF87a/GIF89a files: one frame of a single- or multi-frame file into a
// bitmap with its transparency mask, a bitmap as a one-frame file, further
// frames inserted into an existing file, frame counting and the looping
// extension.  LZW coding goes through the hooks of gif_lzw.h.  Failures never
// raise: they set the abort flag of the progress record.
#include <cstdint>
#include <memory>
#include <string>

#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;
class TIEMask;

// Reads frame Params.GifImageIndex.  FrameCount receives the number of image
// descriptors in the stream (also when the wanted frame does not exist, in
// which case nothing is decoded).  Mask receives the frame's transparency
// (created when null; left null, or reset, when no pixel is transparent or
// IgnoreTransparency is set).  A null Bitmap reads parameters only.
void GifReadStream(TStream* Stream, TIEBitmap* Bitmap, int32_t& FrameCount, TIOParamsVals& Params,
                   TIEProgressRec& Progress, bool ParamsOnly, std::unique_ptr<TIEMask>& Mask,
                   bool IgnoreTransparency);

// Writes Bitmap as a one-frame file (global table of 2^bits entries, bits per
// sample clamped to 1..8, last entry transparent when the bitmap has an alpha
// plane, comments split into sub-blocks of at most 255 bytes).
void GifWriteStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// Inserts Bitmap as frame Params.GifImageIndex (with its own local table) into
// the GIF that starts at the stream's position; an index at or past the frame
// count appends it.  Only the part of the file after the insertion point is
// held in memory.  Answers the number of frames afterwards, 0 when nothing was
// written.
int32_t GifAppendFrame(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);

// Number of frames of the GIF at the stream's position (0 when it is not a
// GIF); the position is restored.
int32_t GifFrameCount(TStream* Stream);

// Copies the file without frame Index (-1: none) and, with WriteBack, saves
// the copy over it.  Answers the number of frames kept; 0 for a file that is
// not a GIF, which stays unchanged.
int32_t GifRemoveFrame(const std::string& FileName, int32_t Index, bool WriteBack);

// Puts a looping extension with LoopCount right after the global table
// (replacing one that is there), marks the file GIF89a and widens the logical
// screen to at least MinWidth x MinHeight.  Nothing for a stream that is not a
// GIF.  The stream form works from the stream's position.
void GifSetLoopStream(TStream* Stream, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight);
void GifSetLoop(const std::string& FileName, uint16_t LoopCount, int32_t MinWidth, int32_t MinHeight);

// Copies min(Count, bytes left in Source) bytes; answers the count copied.
int64_t GifCopyBytes(TStream* Dest, TStream* Source, int64_t Count);

// The codec in the common shape: probe ("GIF8" at the position, position
// restored, never raises), reader (the frame's transparency becomes the
// bitmap's alpha plane) and writer.
bool IETryGif(TStream* Stream);
void IEReadGifStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly);
void IEWriteGifStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
