#pragma once
// TPNGObject: the PNG picture class. It reads and writes PNG streams through
// its chunk list, keeps the image as a device-independent bitmap with an
// alpha plane, and draws it opaque, with a colour key or blended. Registered
// with the picture registry as "PNG" so pictures (and the pictures stored in
// form resources) load PNG data.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "pictures/png_chunks.h"
#include "platform/gdi/graphics.h"

class TBitmap;
class TCanvas;

// The row filters of the PNG standard and a set of them (bit n = filter n).
enum TPNGFilter : uint8_t { pfNone, pfSub, pfUp, pfAverage, pfPaeth };
using TPNGFilterSet = uint8_t;
constexpr TPNGFilterSet PngFilterBit(TPNGFilter F) { return TPNGFilterSet(1u << F); }

enum TPNGTransparencyKind : uint8_t { tkOpaque, tkColorKey, tkAlpha };

class TPNGObject : public TGraphic {
 public:
  TPNGObject();
  ~TPNGObject() override;
  std::string ClassName() const override { return "TPNGObject"; }

  // -- TGraphic
  int32_t GetWidth() const override;
  int32_t GetHeight() const override;
  void SetWidth(int32_t Value) override;
  void SetHeight(int32_t Value) override;
  bool GetEmpty() const override { return FChunkList.GetCount() == 0; }
  bool GetTransparent() const override;
  void LoadFromStream(TStream* Stream) override;
  void SaveToStream(TStream* Stream) override;
  // nullptr clears; another PNG object is copied chunk by chunk; a bitmap is
  // imported (its transparent colour becomes the tRNS key).
  void Assign(TPersistent* Source) override;

  // -- chunks and header
  void Clear();
  TPNGList& GetChunkList() { return FChunkList; }
  const TPNGList& GetChunkList() const { return FChunkList; }
  // The first chunk when it is the header; raises EPNGHeaderNotPresent.
  TChunkIHDR* HeaderChunk() const;
  bool HeaderPresent() const;
  // Bytes of one row without the filter byte, and bytes per whole pixel
  // (at least 1); both 0 without a header.
  void RowLayout(int64_t& RowBytes, int32_t& FilterDistance) const;
  static int64_t RowBytesFor(int64_t Pixels, uint8_t ColorType, uint8_t BitDepth);

  // -- settings
  TPNGFilterSet GetFilterSet() const { return FFilterSet; }
  void SetFilterSet(TPNGFilterSet Value) { FFilterSet = Value & 0x1F; }
  uint8_t GetDeflateLevel() const { return FDeflateLevel; }
  void SetDeflateLevel(uint8_t Value) { FDeflateLevel = Value > 9 ? 9 : Value; }
  int32_t GetIdatLimit() const { return FIdatLimit; }
  // Values below 65535 become 65535.
  void SetIdatLimit(int32_t Value) { FIdatLimit = Value < 65535 ? 65535 : Value; }
  uint8_t GetInterlacing() const { return FInterlacing; }
  void SetInterlacing(uint8_t Value) { FInterlacing = Value ? 1 : 0; }

  const std::array<uint8_t, 256>& GammaLut() const { return FGammaLut; }
  const std::array<uint8_t, 256>& InverseGammaLut() const { return FInverseGammaLut; }
  std::array<uint8_t, 256>& GammaLut() { return FGammaLut; }
  std::array<uint8_t, 256>& InverseGammaLut() { return FInverseGammaLut; }

  // -- transparency, palette and pixels
  TPNGTransparencyKind TransparencyKind() const;
  TColor KeyColor() const;
  // The colour ($00BBGGRR) of a palette entry; EPngError "There is no such
  // palette entry." beyond the PLTE entries.
  TColor PaletteEntry(int32_t Index) const;
  // The colour table of a palette image (raises without a header).
  std::vector<TRGBQuad> GetPalette() const;
  void SetPalette(const std::vector<TRGBQuad>& Palette) { AdoptPalette(Palette, true); }
  // Takes Palette for an image with a colour table: with Copy its entries
  // (at most 256) become the colour table.
  void AdoptPalette(const std::vector<TRGBQuad>& Palette, bool Copy);
  void Resize(int32_t W2, int32_t H2);
  virtual TColor GetPixel(int32_t X, int32_t Y) const;
  virtual void SetPixel(int32_t X, int32_t Y, TColor Color);
  uint8_t* RowPointer(int32_t Y) const;
  uint8_t* AlphaRowPointer(int32_t Y) const;
  uint8_t* LowByteRowPointer(int32_t Y) const;

  // Converts to a bitmap of the matching pixel format.
  void AssignToBitmap(TBitmap* Dest) const;
  // Imports a bitmap; with Transparent, TransparentColor becomes the key.
  void AssignFromBitmap(const TBitmap* Source, bool Transparent, TColor TransparentColor);

 protected:
  void AssignTo(TPersistent* Dest) override;
  void Draw(TCanvas* ACanvas, const TRect& Rect) override;

 private:
  void CopyFrom(const TPNGObject* Source);
  void DrawWithAlpha(TCanvas* DC, const TRect& Rect);
  void DrawDibWithColorKey(TCanvas* DC, TColor Key, const TRect& Rect);

  std::array<uint8_t, 256> FInverseGammaLut{};
  std::array<uint8_t, 256> FGammaLut{};
  TPNGFilterSet FFilterSet = PngFilterBit(pfSub);
  uint8_t FDeflateLevel = 7;
  int32_t FIdatLimit = 65535;
  uint8_t FInterlacing = 0;
  TPNGList FChunkList;
};

// Registers the chunk classes and TPNGObject with the picture registry
// ("PNG", "Portable Network Graphics"). Safe to call more than once; call it
// before the first form holding PNG pictures is read.
void RegisterPNGPicture();
void UnregisterPNGPicture();
