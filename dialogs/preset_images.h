#pragma once
// The library's preset picture frames: four PNG pictures made by the library
// itself, each with the rectangle where an image is placed inside the frame.
// The list exists from IEPresetImagesInitialize (a step of the library's
// start-up) to IEPresetImagesFinalize.
#include <cstdint>
#include <memory>
#include <vector>

#include "formats/io_params.h"
#include "platform/rtl/object.h"
#include "platform/rtl/types.h"

class TIEPresetImage : public TObject {
 public:
  int32_t DataSize = 0;           // bytes of the picture
  const uint8_t* Data = nullptr;  // the picture (program data, not owned)
  int32_t Format = ioPNG;         // its file format
  TRect ImageRect;                // where an image goes, in picture pixels
};

// The frames in their order: photo mount, film strip, notebook page, square
// frame. Empty before the start-up and after the shutdown.
std::vector<std::unique_ptr<TIEPresetImage>>& IEPresetImages();
void IEPresetImagesInitialize();
void IEPresetImagesFinalize();
