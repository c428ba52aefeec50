#pragma once
// Keeps the Photoshop resolution resource (image resource 1005) of a JPEG's
// APP13 marker in step with the resolution about to be written, so programs
// that read the resource rather than the JFIF density see the same DPI.
#include <cstdint>

class TIEMarkerList;

// Overwrites the first 16 bytes of resource 1005 in the first APP13 marker of
// Markers with DpiX and DpiY (16.16 fixed point, pixels per inch). Answers
// true when the resource was found and updated; a marker without the
// resource, a resource shorter than 16 bytes, or a name or size that runs
// past the marker leaves the markers untouched.
bool IEUpdateJpegResolutionResource(TIEMarkerList& Markers, int32_t DpiX, int32_t DpiY);
