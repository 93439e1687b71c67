// How the a6 and w7 float kernels move complex elements (8 bytes each)
// between memory and the 128-bit registers, at any 4-byte alignment: a6
// through the single-precision unit's 64-bit loads and stores, w7 through
// the integer unit's (and its 16-byte unaligned moves for two neighbours).
// Both move the same bits; only the instructions differ. a6's kernels
// prefetch where they say so (non-temporally for data read once), w7's do
// not.
#pragma once

#include <emmintrin.h>
#include <xmmintrin.h>

#include <cstddef>
#include <cstdint>

namespace qvls::fft_radix {

struct A6Pairs {
  // The line `bytes` past p (which may lie outside any array) into the cache.
  static void Prefetch(const void* p, std::ptrdiff_t bytes) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p) + bytes;
    _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_T0);
  }
  // The same, close to the processor only, for data read once.
  static void PrefetchOnce(const void* p, std::ptrdiff_t bytes) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(p) + bytes;
    _mm_prefetch(reinterpret_cast<const char*>(address), _MM_HINT_NTA);
  }

  // The element at p0 in the low half, the one at p1 in the high half.
  static __m128 Load(const float* p0, const float* p1) {
    const __m128 low = _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(p0));
    return _mm_loadh_pi(low, reinterpret_cast<const __m64*>(p1));
  }
  static __m128 LoadTwo(const float* p) { return Load(p, p + 2); }
  static void StoreLow(float* p, __m128 v) { _mm_storel_pi(reinterpret_cast<__m64*>(p), v); }
  static void StoreHigh(float* p, __m128 v) { _mm_storeh_pi(reinterpret_cast<__m64*>(p), v); }
  static void StoreTwo(float* p, __m128 v) {
    StoreLow(p, v);
    StoreHigh(p + 2, v);
  }
};

struct W7Pairs {
  static void Prefetch(const void*, std::ptrdiff_t) {}
  static void PrefetchOnce(const void*, std::ptrdiff_t) {}

  static __m128 Load(const float* p0, const float* p1) {
    const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p0));
    const __m128i high = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p1));
    return _mm_castsi128_ps(_mm_unpacklo_epi64(low, high));
  }
  static __m128 LoadTwo(const float* p) {
    return _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  }
  static void StoreLow(float* p, __m128 v) {
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_castps_si128(v));
  }
  static void StoreHigh(float* p, __m128 v) {
    const __m128i bits = _mm_castps_si128(v);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(p), _mm_unpackhi_epi64(bits, bits));
  }
  static void StoreTwo(float* p, __m128 v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_castps_si128(v));
  }
};

}  // namespace qvls::fft_radix
