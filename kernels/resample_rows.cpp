#include "kernels/resample_rows.h"

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

#if defined(__SSE2__)
constexpr bool HasVectors = true;  // every x86-64 processor has SSE2
#else
constexpr bool HasVectors = false;
#endif

bool VectorsWanted() {
  const char* Off = std::getenv("FOLIVRA_NO_SIMD");
  return HasVectors && !(Off && *Off && std::strcmp(Off, "0") != 0);
}

void TapSumsPortable(const uint8_t* Pixels, const int32_t* Index, const int16_t* Weight, int32_t Taps,
                     int32_t Count, int32_t* Sums) {
  for (int32_t e = 0; e < Count; ++e) {
    int32_t S[4] = {};
    for (int32_t t = 0; t < Taps; ++t) {
      const uint8_t* P = Pixels + 4 * size_t(Index[t]);
      const int32_t W = Weight[t];
      for (int c = 0; c < 4; ++c) S[c] += W * P[c];
    }
    std::memcpy(Sums + 4 * size_t(e), S, sizeof S);
    Index += Taps;
    Weight += Taps;
  }
}

void RowSumsPortable(const uint8_t* const* Rows, const int16_t* Weight, int32_t Count, size_t Len,
                     int32_t* Sums) {
  if (Count <= 0) {
    std::memset(Sums, 0, Len * sizeof(int32_t));
    return;
  }
  {
    const uint8_t* R = Rows[0];
    const int32_t W = Weight[0];
    for (size_t x = 0; x < Len; ++x) Sums[x] = W * int32_t(R[x]);
  }
  for (int32_t i = 1; i < Count; ++i) {
    const uint8_t* R = Rows[i];
    const int32_t W = Weight[i];
    for (size_t x = 0; x < Len; ++x) Sums[x] += W * int32_t(R[x]);
  }
}

#if defined(__SSE2__)
// Two taps at a time: the two pixels' bytes interleaved and widened to 16
// bits meet the two weights, and one multiply-add gives both products' sum
// for all four bytes.
void TapSumsVector(const uint8_t* Pixels, const int32_t* Index, const int16_t* Weight, int32_t Taps,
                   int32_t Count, int32_t* Sums) {
  const __m128i Zero = _mm_setzero_si128();
  for (int32_t e = 0; e < Count; ++e) {
    __m128i S = Zero;
    for (int32_t t = 0; t < Taps; t += 2) {
      int32_t A, B;
      std::memcpy(&A, Pixels + 4 * size_t(Index[t]), 4);
      std::memcpy(&B, Pixels + 4 * size_t(Index[t + 1]), 4);
      const __m128i Pair =
          _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(A), _mm_cvtsi32_si128(B)), Zero);
      const int32_t W = int32_t(uint16_t(Weight[t])) | int32_t(uint32_t(uint16_t(Weight[t + 1])) << 16);
      S = _mm_add_epi32(S, _mm_madd_epi16(Pair, _mm_set1_epi32(W)));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Sums + 4 * size_t(e)), S);
    Index += Taps;
    Weight += Taps;
  }
}

// Sixteen places at a time, two rows at a time.
void RowSumsVector(const uint8_t* const* Rows, const int16_t* Weight, int32_t Count, size_t Len,
                   int32_t* Sums) {
  const __m128i Zero = _mm_setzero_si128();
  size_t x = 0;
  for (; x + 16 <= Len; x += 16) {
    __m128i S0 = Zero, S1 = Zero, S2 = Zero, S3 = Zero;
    for (int32_t i = 0; i < Count; i += 2) {
      const bool Single = i + 1 == Count;
      const __m128i A = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[i] + x));
      const __m128i B = Single ? Zero : _mm_loadu_si128(reinterpret_cast<const __m128i*>(Rows[i + 1] + x));
      const int32_t W =
          int32_t(uint16_t(Weight[i])) | (Single ? 0 : int32_t(uint32_t(uint16_t(Weight[i + 1])) << 16));
      const __m128i Wv = _mm_set1_epi32(W);
      const __m128i Lo = _mm_unpacklo_epi8(A, B), Hi = _mm_unpackhi_epi8(A, B);
      S0 = _mm_add_epi32(S0, _mm_madd_epi16(_mm_unpacklo_epi8(Lo, Zero), Wv));
      S1 = _mm_add_epi32(S1, _mm_madd_epi16(_mm_unpackhi_epi8(Lo, Zero), Wv));
      S2 = _mm_add_epi32(S2, _mm_madd_epi16(_mm_unpacklo_epi8(Hi, Zero), Wv));
      S3 = _mm_add_epi32(S3, _mm_madd_epi16(_mm_unpackhi_epi8(Hi, Zero), Wv));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Sums + x), S0);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Sums + x + 4), S1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Sums + x + 8), S2);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(Sums + x + 12), S3);
  }
  if (x < Len) {
    // The tail, through the portable sums of the rows' last places.
    const uint8_t* Tail[64];
    for (int32_t i0 = 0; i0 < Count; i0 += 64) {
      const int32_t N = Count - i0 < 64 ? Count - i0 : 64;
      for (int32_t i = 0; i < N; ++i) Tail[i] = Rows[i0 + i] + x;
      int32_t Part[16];
      RowSumsPortable(Tail, Weight + i0, N, Len - x, Part);
      for (size_t k = 0; k < Len - x; ++k) Sums[x + k] = i0 == 0 ? Part[k] : Sums[x + k] + Part[k];
    }
  }
}
#endif

}  // namespace

bool IEResampleVectors = VectorsWanted();

void IETapSums32(const uint8_t* Pixels, const int32_t* Index, const int16_t* Weight, int32_t Taps,
                 int32_t Count, int32_t* Sums) {
#if defined(__SSE2__)
  if (IEResampleVectors) return TapSumsVector(Pixels, Index, Weight, Taps, Count, Sums);
#endif
  TapSumsPortable(Pixels, Index, Weight, Taps, Count, Sums);
}

void IERowSums8(const uint8_t* const* Rows, const int16_t* Weight, int32_t Count, size_t Len, int32_t* Sums) {
#if defined(__SSE2__)
  if (IEResampleVectors && Count > 0) return RowSumsVector(Rows, Weight, Count, Len, Sums);
#endif
  RowSumsPortable(Rows, Weight, Count, Len, Sums);
}

TIEScratch IEScratch(size_t Bytes) {
  constexpr size_t Huge = size_t(2) << 20;
  void* P = nullptr;
  if (Bytes >= 2 * Huge) {
    const size_t Size = (Bytes + Huge - 1) / Huge * Huge;
    P = std::aligned_alloc(Huge, Size);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    if (P) madvise(P, Size, MADV_HUGEPAGE);
#endif
  } else {
    P = std::malloc(Bytes > 0 ? Bytes : 1);
  }
  if (!P) throw std::bad_alloc();
  return TIEScratch(static_cast<uint8_t*>(P));
}
