#pragma once
// The weighted sums at the heart of the resamplers, in 32-bit integers with
// 16-bit weights: along a row (each output gathers its own taps from a row
// of 4-byte pixels) and across rows (each output adds the same place of
// several byte rows).  Each has a vector path (SSE2, multiplying pairs of
// 16-bit values and adding the pairs in one step) and a portable path; both
// give the same sums, exactly.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

// True when the vector paths run: the processor has them and the
// environment variable FOLIVRA_NO_SIMD is not set.  Tests clear it to check
// the portable paths against them.
extern bool IEResampleVectors;

// For each of Count outputs e and each byte c of a 4-byte pixel:
// Sums[4e + c] = sum over t < Taps of Weight[e * Taps + t] x
// Pixels[4 * Index[e * Taps + t] + c].  Taps is even; weights lie within
// -32768 .. 32767 and the sums must fit 32 bits.
void IETapSums32(const uint8_t* Pixels, const int32_t* Index, const int16_t* Weight, int32_t Taps,
                 int32_t Count, int32_t* Sums);

// Sums[x] = sum over i < Count of Weight[i] x Rows[i][x], for x < Len.
void IERowSums8(const uint8_t* const* Rows, const int16_t* Weight, int32_t Count, size_t Len, int32_t* Sums);

// A scratch block for the intermediate plane of one resample call, not
// cleared.  A large block is laid on huge pages where the system offers them
// on request: its first writes then take a page fault per 2 MB instead of
// per 4 KB.  Throws std::bad_alloc when the memory cannot be had.
struct TIEScratchFree {
  void operator()(uint8_t* P) const { std::free(P); }
};
using TIEScratch = std::unique_ptr<uint8_t[], TIEScratchFree>;
TIEScratch IEScratch(size_t Bytes);
