#pragma once
// The row colour converter every codec calls through IEColorConvertHook: it
// turns Count pixels of one pixel layout into another (the layout codes of the
// ICC profiles, icc_profile.h), through the image's ICC profiles when colour
// management is on, else by plain formulas.
#include <cstdint>

class TIOParamsVals;

// Converts Count pixels from Input (InputLayout) into Output (OutputLayout).
// Pairs without a formula leave Output untouched.  Input is never modified.
//   0 RGB -> 1 BGR, 1 BGR -> 1 BGR (copy), 1 -> 2 inverted CMYK, 1 -> 4 Lab,
//   1 -> 5 gray (library gray weights), 2 inverted CMYK -> 1, 3 CMYK -> 1,
//   4 Lab -> 1, 6 RGB48 little-endian -> 1, 7 RGB48 big-endian -> 1,
//   8 YCbCr -> 1.
void IEConvertColorRow(const void* Input, uint8_t InputLayout, void* Output, uint8_t OutputLayout,
                       int32_t Count, TIOParamsVals* Params);

// Calls IEColorConvertHook, or IEConvertColorRow while no hook is installed.
void IEColorConvertRow(const void* Input, uint8_t InputLayout, void* Output, uint8_t OutputLayout,
                       int32_t Count, TIOParamsVals* Params);

// True when IEColorConvertRow would convert by the plain formulas (no other
// hook installed, no colour management through the profiles of Params), so a
// codec may do the same conversion inline.
bool IEColorConvertIsPlain(TIOParamsVals* Params);

// Installs IEConvertColorRow as IEColorConvertHook when the hook is empty.
void IEInstallColorConvertHook();
