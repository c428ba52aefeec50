#pragma once
// The output curve of camera raw files: the decoder's linear 16-bit RGB
// becomes 8- or 16-bit samples through a white point taken from the
// luminance histogram and a power curve indexed by each pixel's luminance.
#include <cstdint>
#include <vector>

class TIEBitmap;

// The decoder's linear output: four 16-bit values a pixel (red, green, blue
// and a spare), rows of Width pixels, and the turn the camera recorded.
struct TRawLinear {
  const uint16_t (*Image)[4];
  int32_t Width;
  int32_t Height;
  int32_t Flip;
};

// The luminance a pixel's curve entry is chosen by.
inline uint32_t RawLuminance(const uint16_t* P) {
  return (uint32_t(P[0]) * 299 + uint32_t(P[1]) * 587 + uint32_t(P[2]) * 114) / 1000;
}

// One factor per 16-bit luminance, so that each sample costs one
// multiplication; samples are clipped to Limit.
struct TRawCurve {
  std::vector<double> Lut;
  uint32_t Limit = 255;
  int32_t White = 1;
};

// The white point comes from where the brightest 1 % of the pixels begin
// (0.5 % for Fuji, whose 45-degree sensors leave a dark border): 16 x the
// first histogram bin (luminance / 8), counted from the top, at which the
// pixels so far exceed that share, about twice that luminance; never 0. The
// curve multiplies a pixel of luminance y by
// Brightness x 442 / white x (2y / white)^(Gamma - 1), times 65535 / 255 for
// 16-bit output, so a grey where the brightest share begins comes out at
// about 221 x Brightness.
TRawCurve MakeRawCurve(const TRawLinear& L, bool Fuji, double Brightness, double Gamma, bool Wide);

// Writes the curve's output inside a border of Trim pixels (where the
// demosaicing has no neighbours) into Bitmap (ie24RGB, or ieRGB48 when Wide),
// turned as the camera recorded: Flip bit 4 swaps rows and columns, bit 2
// mirrors the rows, bit 1 the columns. False when nothing is left inside the
// border or the bitmap cannot be allocated.
bool WriteRawCurve(const TRawLinear& L, const TRawCurve& C, int32_t Trim, bool Wide, TIEBitmap* Bitmap);
