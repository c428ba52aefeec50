#pragma once
// Blending of 32-bit pixels (alpha in the top byte; all four channels blend
// alike) through eight routine slots. Start-up points them at the portable
// forms or, on a processor with MMX, at the forms that compute as the MMX
// routines do (16-bit lanes, a table of replicated weights, unsigned
// saturation); nothing in the system calls them yet.
#include <cstdint>

using TBlendPixel = uint32_t;

using TCombinePixel = TBlendPixel (*)(TBlendPixel F, TBlendPixel B, uint32_t W);
using TCombinePixelInPlace = void (*)(TBlendPixel F, TBlendPixel& B, uint32_t W);
using TBlendPixelFn = TBlendPixel (*)(TBlendPixel F, TBlendPixel B);
using TBlendPixelInPlace = void (*)(TBlendPixel F, TBlendPixel& B);
using TBlendPixelScaledFn = TBlendPixel (*)(TBlendPixel F, TBlendPixel B, uint32_t M);
using TBlendPixelScaledInPlace = void (*)(TBlendPixel F, TBlendPixel& B, uint32_t M);
using TBlendRow = void (*)(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count);
using TBlendRowScaled = void (*)(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count, uint32_t M);

extern TCombinePixel CombinePixel;
extern TCombinePixelInPlace CombinePixelInPlace;
extern TBlendPixelFn BlendPixel;
extern TBlendPixelInPlace BlendPixelInPlace;
extern TBlendPixelScaledFn BlendPixelScaled;
extern TBlendPixelScaledInPlace BlendPixelScaledInPlace;
extern TBlendRow BlendRow;
extern TBlendRowScaled BlendRowScaled;
extern bool MMXActive;

// The portable forms: W = 0 gives B, W = 255 gives F exactly; otherwise each
// channel is ((F.c W + 128) >> 8) + ((B.c (255 - W) + 128) >> 8).
TBlendPixel CombinePixelPortable(TBlendPixel F, TBlendPixel B, uint32_t W);
TBlendPixel BlendPixelScaledPortable(TBlendPixel F, TBlendPixel B, uint32_t M);
void BlendRowPortable(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count);
void BlendRowScaledPortable(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count, uint32_t M);
// The MMX forms: each channel ((F.c - B.c) W + 256 B.c + 128) >> 8,
// saturated; no special weights.
TBlendPixel CombinePixelMMX(TBlendPixel F, TBlendPixel B, uint32_t W);
TBlendPixel BlendPixelMMX(TBlendPixel F, TBlendPixel B);
TBlendPixel BlendPixelScaledMMX(TBlendPixel F, TBlendPixel B, uint32_t M);
void BlendRowMMX(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count);
void BlendRowScaledMMX(const TBlendPixel* Src, TBlendPixel* Dst, int32_t Count, uint32_t M);

// Detects the processor and points the slots (UseMMX overrides the
// detection when given).
void AlphaBlendStartup(int UseMMX = -1);
void AlphaBlendShutdown();
