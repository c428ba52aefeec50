#pragma once
// Colour quantizer: chooses a palette of at most N colours for an image and
// maps the image's colours to palette indices afterwards.
//
// Palette sources, first that applies: the image's own colours when a 24-bit
// colour image has few enough (exact palette); for other 24-bit colour images
// a variance-based median cut (15-bit colours) or the NeuQuant self-organising
// map, chosen by IEColorReductionAlgorithm; the source palette of an ie8p
// image; a gray ramp for gray images.
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "foundations/pixel_types.h"
#include "platform/rtl/object.h"

class TIEBitmap;

class TIEQuantizer : public TObject {
 public:
  // Builds the palette of at most ColorCount (1 .. 65536) colours for Bitmap (which must stay alive and unchanged while
  // the quantizer is used) and writes it into Palette[0 .. PaletteLength - 1]:
  // never beyond the caller's buffer; entries beyond the colours found are
  // left untouched.
  TIEQuantizer(TIEBitmap* Bitmap, TRGB* Palette, int32_t PaletteLength, int32_t ColorCount);
  TIEQuantizer(TIEBitmap* Bitmap, std::vector<TRGB>& Palette, int32_t ColorCount)
      : TIEQuantizer(Bitmap, Palette.data(), (int32_t)Palette.size(), ColorCount) {}
  ~TIEQuantizer() override;

  // Palette index of a colour of the source image: -1 for a colour missing
  // from an exact palette; the nearest entry for an ie8p source.
  int32_t ColorToIndex(const TRGB& Color);

  // 0 NeuQuant, 1 median cut.
  int32_t GetMethod() const { return FMethod; }
  // The source is gray (the palette is a gray ramp unless the source is ie8p).
  bool GetIsGray() const { return FIsGray; }
  // Number of distinct colours in an exact palette (0 when none was built).
  int32_t GetExactCount() const { return (int32_t)FExactPalette.size(); }
  bool HasExactPalette() const { return FHasExact; }
  int32_t GetColorCount() const { return FColorCount; }

  struct TMedianCutState;
  struct TNeuQuantNet;

 private:
  bool ExactPaletteBuild(TRGB* Palette, int32_t PaletteLength);

  TIEBitmap* FBitmap;
  int32_t FColorCount;
  int32_t FMethod = 0;
  bool FIsGray = false;
  bool FHasExact = false;
  std::vector<TRGB> FExactPalette;
  std::unordered_map<uint32_t, int32_t> FExactIndex;
  std::unique_ptr<TMedianCutState> FMedianCut;
  std::unique_ptr<TNeuQuantNet> FNeuQuant;
};

// Index of the palette entry nearest to Color (smallest sum of absolute
// channel differences; the first such entry wins); 0 when Count is 0.
int32_t IEFindNearestColorIndex(const TRGB* Palette, int32_t Count, const TRGB& Color);
