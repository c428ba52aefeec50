#include "widgets/alpha_blend.h"

#include <memory>

#include "widgets/system_info.h"

namespace {
// Entry i: four 16-bit words of i.
struct alignas(8) TWeight {
  uint16_t W[4];
};
std::unique_ptr<TWeight[]> BlendWeightTable;
const TWeight* BlendRoundingBias = nullptr;

uint32_t AlphaOf(TBlendPixel P) { return P >> 24; }
}  // namespace

TCombinePixel CombinePixel = &CombinePixelPortable;
TCombinePixelInPlace CombinePixelInPlace = nullptr;
TBlendPixelFn BlendPixel = nullptr;
TBlendPixelInPlace BlendPixelInPlace = nullptr;
TBlendPixelScaledFn BlendPixelScaled = &BlendPixelScaledPortable;
TBlendPixelScaledInPlace BlendPixelScaledInPlace = nullptr;
TBlendRow BlendRow = &BlendRowPortable;
TBlendRowScaled BlendRowScaled = &BlendRowScaledPortable;
bool MMXActive = false;

TBlendPixel CombinePixelPortable(TBlendPixel F, TBlendPixel B, uint32_t W) {
  if (W == 0) return B;
  if (W >= 255) return F;
  // Two channels per multiplication: 0 and 2, then 1 and 3.
  const uint32_t FW = W, BW = 255 - W;
  const uint32_t Even = ((((F & 0x00FF00FFu) * FW + 0x00800080u) >> 8) & 0x00FF00FFu) +
                        ((((B & 0x00FF00FFu) * BW + 0x00800080u) >> 8) & 0x00FF00FFu);
  const uint32_t Odd = (((((F & 0xFF00FF00u) >> 8) * FW + 0x00800080u)) & 0xFF00FF00u) +
                       (((((B & 0xFF00FF00u) >> 8) * BW + 0x00800080u)) & 0xFF00FF00u);
  return Even + Odd;
}

TBlendPixel BlendPixelScaledPortable(TBlendPixel F, TBlendPixel B, uint32_t M) {
  return CombinePixel(F, B, (AlphaOf(F) * M) >> 8);
}

void BlendRowPortable(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I) {
    const uint32_t A = AlphaOf(Src[I]);
    if (A == 0) continue;
    if (A == 255) {
      Dst[I] = Src[I];
      continue;
    }
    Dst[I] = CombinePixelPortable(Src[I], Dst[I], A);
  }
}

void BlendRowScaledPortable(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count, uint32_t M) {
  for (int32_t I = 0; I < Count; ++I) BlendPixelScaledInPlace(Src[I], Dst[I], M);
}

namespace {
// The MMX arithmetic on one pixel: 16-bit lanes, the weight replicated in
// every lane, the bias added, shifted back and packed with saturation.
TBlendPixel MixLanes(TBlendPixel F, TBlendPixel B, const uint16_t* Weight) {
  TBlendPixel R = 0;
  for (int L = 0; L < 4; ++L) {
    const int32_t FC = (F >> (8 * L)) & 0xFF, BC = (B >> (8 * L)) & 0xFF;
    const int32_t Bias = BlendRoundingBias ? BlendRoundingBias->W[L] : 128;
    const int16_t Lane = static_cast<int16_t>((FC - BC) * Weight[L] + BC * 256 + Bias);
    int32_t V = static_cast<uint16_t>(Lane) >> 8;
    if (V > 255) V = 255;
    R |= static_cast<uint32_t>(V) << (8 * L);
  }
  return R;
}
const uint16_t* WeightOf(uint32_t W) {
  static uint16_t Fallback[4];
  if (BlendWeightTable) return BlendWeightTable[W & 0xFF].W;
  for (auto& X : Fallback) X = static_cast<uint16_t>(W & 0xFF);
  return Fallback;
}
}  // namespace

TBlendPixel CombinePixelMMX(TBlendPixel F, TBlendPixel B, uint32_t W) { return MixLanes(F, B, WeightOf(W)); }

TBlendPixel BlendPixelMMX(TBlendPixel F, TBlendPixel B) {
  const uint16_t A = static_cast<uint16_t>(AlphaOf(F));
  const uint16_t Weight[4] = {A, A, A, A};
  return MixLanes(F, B, Weight);
}

TBlendPixel BlendPixelScaledMMX(TBlendPixel F, TBlendPixel B, uint32_t M) {
  const uint32_t W = (AlphaOf(F) * M) >> 8;
  if (W == 0) return B;
  return MixLanes(F, B, WeightOf(W));
}

void BlendRowMMX(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count) {
  for (int32_t I = 0; I < Count; ++I) {
    if (AlphaOf(Src[I]) == 0) continue;
    if (Src[I] >= 0xFF000000u) {
      Dst[I] = Src[I];
      continue;
    }
    Dst[I] = BlendPixelMMX(Src[I], Dst[I]);
  }
}

void BlendRowScaledMMX(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count, uint32_t M) {
  for (int32_t I = 0; I < Count; ++I) {
    const uint32_t W = (AlphaOf(Src[I]) * M) >> 8;
    if (AlphaOf(Src[I]) == 0 || W == 0) continue;
    Dst[I] = MixLanes(Src[I], Dst[I], WeightOf(W));
  }
}

namespace {
void CombineInPlace(TBlendPixel F, TBlendPixel& B, uint32_t W) { B = CombinePixel(F, B, W); }
TBlendPixel BlendPortable(TBlendPixel F, TBlendPixel B) { return CombinePixel(F, B, AlphaOf(F)); }
void BlendInPlace(TBlendPixel F, TBlendPixel& B) { B = BlendPixel(F, B); }
void ScaledInPlace(TBlendPixel F, TBlendPixel& B, uint32_t M) { B = BlendPixelScaled(F, B, M); }
}  // namespace

void AlphaBlendStartup(int UseMMX) {
  if (UseMMX < 0) {
    TProcessorInfo Info;
    DetectProcessor(Info);
    MMXActive = Info.HasMMX;
  } else {
    MMXActive = UseMMX != 0;
  }
  CombinePixelInPlace = &CombineInPlace;
  BlendPixelInPlace = &BlendInPlace;
  BlendPixelScaledInPlace = &ScaledInPlace;
  if (MMXActive) {
    CombinePixel = &CombinePixelMMX;
    BlendPixel = &BlendPixelMMX;
    BlendPixelScaled = &BlendPixelScaledMMX;
    BlendRow = &BlendRowMMX;
    BlendRowScaled = &BlendRowScaledMMX;
    BlendWeightTable = std::make_unique<TWeight[]>(256);
    for (uint16_t I = 0; I < 256; ++I) BlendWeightTable[I] = TWeight{{I, I, I, I}};
    BlendRoundingBias = &BlendWeightTable[128];
  } else {
    CombinePixel = &CombinePixelPortable;
    BlendPixel = &BlendPortable;
    BlendPixelScaled = &BlendPixelScaledPortable;
    BlendRow = &BlendRowPortable;
    BlendRowScaled = &BlendRowScaledPortable;
    BlendWeightTable.reset();
    BlendRoundingBias = nullptr;
  }
}

void AlphaBlendShutdown() {
  BlendWeightTable.reset();
  BlendRoundingBias = nullptr;
}
