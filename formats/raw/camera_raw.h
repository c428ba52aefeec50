#pragma once
// Camera raw files over LibRaw: identification, decoding with the
// parameters' white balance, multipliers, gamma and brightness, and the
// embedded preview (as ExifThumbnail, or instead of the image when
// RawLoadThumbnail is set).
#include "formats/io_params.h"
#include "foundations/progress.h"

class TStream;
class TIEBitmap;

// True when the decoder identifies the stream as a raw file it can decode;
// position restored, never raises.
bool IETryCameraRaw(TStream* Stream);

// Reads the raw file at the stream's position: ie24RGB, or ieRGB48 with
// NativePixelFormat.  Width and Height are the bitmap's own (magnified and
// turned upright layouts included).  Failure sets the abort flag.
void RawReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, bool ParamsOnly,
                   TIEProgressRec& Progress);

// True when this build has the camera raw library.
bool CameraRawAvailable();

// The common codec shape.
void IEReadCameraRawStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params,
                           TIEProgressRec& Progress, bool ParamsOnly);
