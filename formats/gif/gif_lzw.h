#pragma once
// The variable-length-code LZW coder of GIF image data.  The GIF codec never
// calls these directly: it goes through the hooks GifLzwDecoderHook and
// GifLzwEncoderHook (foundations/settings.h), which IEInstallGifLzwHooks sets.
// The coder keeps no state between calls.
#include <cstdint>

class TStream;

// Reads the minimum-code-size byte and the data sub-blocks (terminator
// included) at the stream's position and writes one palette index per pixel
// into Buffer (Width x Height bytes, row y at y x Width), rows in plain or
// interlaced order.  Success shows only as a moved stream position: a code size
// outside 2..9, a code that the table cannot hold yet, image data with no codes
// at all, and data that stop before the image is complete without an end code
// (a truncated file) put the position back where the call found it.  A table
// that fills up without a clear code simply stops growing, as GIF decoders
// have always allowed.
void GifLzwDecode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, uint8_t* Buffer);

// Writes the code-size byte (2 for 1 bit per pixel), the data sub-blocks of
// at most 254 bytes and the zero terminator at the stream's position.
void GifLzwEncode(TStream* Stream, int32_t Height, int32_t Width, bool Interlaced, const uint8_t* Buffer,
                  int32_t BitsPerPixel);

// Start-up: stores the coder in the two hooks.  The GIF row of the codec table
// calls it when it registers, so GIF is coded whenever the formats layer is
// linked; calling it again is harmless.
void IEInstallGifLzwHooks();
