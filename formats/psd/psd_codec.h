#pragma once
// Photoshop (PSD) files: the merged image and, on request, the layers with
// their masks, plus resolution, IPTC, ICC profile, XMP and the JPEG thumbnail
// from the image resources.  All numbers in the file are big-endian.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "formats/io_params.h"
#include "foundations/image_buffer.h"
#include "foundations/progress.h"

class TStream;

// One layer as a Photoshop file holds it. A layer's mask travels as the next
// list entry with MaskLayer set (an 8-bit gray bitmap at its own offset); the
// view's layer objects are built from and into these records.
struct TIEPsdLayer {
  std::unique_ptr<TIEBitmap> Bitmap = std::make_unique<TIEBitmap>();
  int32_t OffsetX = 0;
  int32_t OffsetY = 0;
  int32_t Opacity = 255;
  bool Visible = true;
  bool ClipToImage = true;
  bool MaskLayer = false;
  std::string Name;
};
using TIEPsdLayerList = std::vector<std::unique_ptr<TIEPsdLayer>>;

// Colour modes of the header.
enum : int32_t {
  psdBitmap = 0,
  psdGrayscale = 1,
  psdIndexed = 2,
  psdRGB = 3,
  psdCMYK = 4,
  psdMultichannel = 7,
  psdDuotone = 8,
  psdLab = 9,
};
// Image resource ids this codec reads or writes.
enum : uint16_t {
  psdResResolution = 1005,
  psdResIptc = 1028,
  psdResThumbnail = 1036,
  psdResIccProfile = 1039,
  psdResTransparentIndex = 1047,
  psdResXmp = 1060,
};
// Channel ids of layer records.
enum : int16_t { psdChannelAlpha = -1, psdChannelMask = -2 };

// True when the 26 bytes at the position are a header this reader accepts
// ("8BPS", version 1, 1..24 channels, depth 1..16, mode 0..9).  The position
// is restored; never raises.
bool IETryPSD(TStream* Stream);

// Reads the file at the stream's position.  Bitmap may be null (parameters
// only).  Layers, when given, receives the layers: all of them with
// LoadLayers, a single one always; with LoadLayers and at least one layer the
// merged image is not decoded.  Damaged data set the abort flag.
void PsdReadStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                   bool LoadLayers, TIEPsdLayerList* Layers);

// Writes Bitmap (the merged image) and the layers (may be null or empty) with
// PackBits channel data.  The caller's layers are never changed: a layer whose
// pixel format or size differs from the merged image is converted in a copy.
// A pixel format that cannot be written sets the abort flag and writes nothing.
void PsdWriteStream(TStream* Stream, TIOParamsVals& Params, TIEProgressRec& Progress, TIEBitmap* Bitmap,
                    const TIEPsdLayerList* Layers);

// The common codec shape over the two above (no layer list).
void IEReadPSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress,
                     bool ParamsOnly);
void IEWritePSDStream(TStream* Stream, TIEBitmap* Bitmap, TIOParamsVals& Params, TIEProgressRec& Progress);
