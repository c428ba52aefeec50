#pragma once
// Values shared by the rendering paths and the resamplers.
#include <cstdint>
#include <string>
#include <vector>

// Resampling filters of the image processing layer.
enum TResampleFilter : uint8_t {
  rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell,
  rfNearest, rfLinear, rfFastLinear, rfBilinear, rfBicubic, rfProjectBW, rfProjectWB
};
// The filters' names in value order, as form resources write them.
inline const std::vector<std::string>& ResampleFilterNames() {
  static const std::vector<std::string> Names = {
      "rfNone",    "rfTriangle", "rfHermite",    "rfBell",     "rfBSpline", "rfLanczos3",  "rfMitchell",
      "rfNearest", "rfLinear",   "rfFastLinear", "rfBilinear", "rfBicubic", "rfProjectBW", "rfProjectWB"};
  return Names;
}

// How a drawn source pixel combines with the destination pixel (0..42; 0
// copies, see bitmap_render.h for the list).  Layers carry one.
using TIERenderOperation = uint8_t;
