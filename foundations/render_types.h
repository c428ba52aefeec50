#pragma once
// Values shared by the rendering paths and the resamplers.
#include <cstdint>

// Resampling filters of the image processing layer.
enum TResampleFilter : uint8_t {
  rfNone, rfTriangle, rfHermite, rfBell, rfBSpline, rfLanczos3, rfMitchell,
  rfNearest, rfLinear, rfFastLinear, rfBilinear, rfBicubic, rfProjectBW, rfProjectWB
};

// How a drawn source pixel combines with the destination pixel (0..42; 0
// copies, see bitmap_render.h for the list).  Layers carry one.
using TIERenderOperation = uint8_t;
