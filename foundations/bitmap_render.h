#pragma once
// Rendering a TIEBitmap into a 24-bit TIEBitmap (TIEBitmap::RenderToTIEBitmap
// and its row kernels), the render operations, and the resampler hooks the
// filtered paths call.
//
// Render operations (s source channel, d destination channel, results kept in
// 0..255): 0 copy, 1 add, 2 difference, 3 divide, 4 multiply, 5 or, 6 and,
// 7 xor, 8 lighten, 9 darken, 10 average, 11 screen, 12 negation,
// 13 exclusion, 14 overlay, 15 hard light, 16 soft light, 17 soft light
// (integer), 18 colour dodge, 19 colour burn, 20 reflect, 21 glow,
// 22 soft dodge, 23 soft burn, 24 reflect (quadratic), 25 glow (quadratic),
// 26 freeze, 27 heat, 28 subtract, 29 interpolate (cosine ramp),
// 30 stamp, 31..33 red, green or blue only, 34 hue, 35 saturation,
// 36 colour, 37 luminosity, 38 gray anaglyph, 39 red-cyan, 40 Dubois
// red-cyan anaglyph, 41 even rows only, 42 odd rows only; others keep d.
#include <cstdint>
#include <functional>

#include "foundations/pixel_types.h"
#include "foundations/render_types.h"

class TIEBitmap;

// The resamplers live in the layers above.  A hook set here overrides the
// resampler installed through IEInstallRenderResamplers (below); with
// neither, the render paths use their own nearest-neighbour stretch, so
// everything still draws (unfiltered).
//
// Filtered resample of an ie24RGB (or gray) Source into Dest's size and
// format (Dest is allocated ie24RGB by the caller).
extern std::function<void(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter)>
    IEResampleExHook;
// Resample of an ie1g Source into Dest's size: into ie1g for rfProjectBW and
// rfProjectWB, else into 24-bit gray (Dest allocated by the caller).
extern std::function<void(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter)>
    IEResample1BitExHook;
// Filtered resample of an 8-bit plane (alpha planes) into Dest's size.
extern std::function<void(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter)>
    IEResample8BitHook;
// Box average of the ie1g rectangle (X1, Y1)-(X2, Y2) (inclusive) into the
// ie24RGB Dest's size, written as gray.
extern std::function<void(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                          TIEBitmap* Dest)>
    IEResample1BitBoxGrayHook;
// Unfiltered stretch of Source into Dest's size, any format (Dest allocated
// in Source's format by the caller).
extern std::function<void(TIEBitmap* Source, TIEBitmap* Dest)> IEBmpStretchExHook;

// The resamplers a lower layer provides (the kernels install theirs at
// start-up).  Kept apart from the hooks above: the hooks are plain globals
// whose own start-up could empty them again after an early install, while
// these are held where the first use constructs them.  An empty entry leaves
// that path to the stand-in.
struct TIERenderResamplers {
  void (*ResampleEx)(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter) = nullptr;
  void (*Resample1BitBoxGray)(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                              TIEBitmap* Dest) = nullptr;
  void (*BmpStretch)(TIEBitmap* Source, TIEBitmap* Dest) = nullptr;
};
void IEInstallRenderResamplers(const TIERenderResamplers& Resamplers);
const TIERenderResamplers& IEInstalledRenderResamplers();

// The calls the render paths make: the hook when set, else the installed
// resampler, else the nearest-neighbour stand-in (IERenderStretchNearest).
void IERenderResample(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
void IERenderResample1Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
void IERenderResample8Bit(TIEBitmap* Source, TIEBitmap* Dest, TResampleFilter Filter);
void IERenderResample1BitBoxGray(TIEBitmap* Source, int32_t X1, int32_t Y1, int32_t X2, int32_t Y2,
                                 TIEBitmap* Dest);
void IERenderBmpStretch(TIEBitmap* Source, TIEBitmap* Dest);

// Nearest-neighbour stretch of the whole Source into Dest's size: same
// formats copy pixels, ie1g into ie24RGB gives black and white, other pairs
// go through the pixel's blue, green, red value.
void IERenderStretchNearest(TIEBitmap* Source, TIEBitmap* Dest);

// One render operation on one pixel; Row is the destination row (operations
// 41 and 42 look at its parity).
TRGB IERenderCombine(TIERenderOperation Operation, const TRGB& S, const TRGB& D, int32_t Row);

// Hue, saturation and lightness in 0..1 (gray: hue 0, saturation 0), and
// back (hue wrapped, the others clamped, channels rounded).
void IERenderRGBToHSL(const TRGB& Pixel, double& Hue, double& Saturation, double& Lightness);
TRGB IERenderHSLToRGB(double Hue, double Saturation, double Lightness);
