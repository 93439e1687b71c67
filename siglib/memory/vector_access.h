// Loads and stores of the packed registers at any address, through memcpy
// or the instructions' own intrinsics, never by reading memory as another
// type: the 64-bit packed-integer registers (qvls::mmx) and the 128-bit
// integer registers (qvls::sse2). A caller of the mmx routines releases the
// packed registers (_mm_empty) before it returns.
#pragma once

#include <emmintrin.h>
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>
#include <cstring>

namespace qvls::mmx {

enum class Stores { kCached, kStreaming };

inline __m64 Get8(const void* p) {
  __m64 v;
  std::memcpy(&v, p, 8);
  return v;
}
inline __m64 Get4(const void* p) {
  std::int32_t w;
  std::memcpy(&w, p, 4);
  return _mm_cvtsi32_si64(w);
}
inline void Put8(void* p, __m64 v) { std::memcpy(p, &v, 8); }
inline void Put4(void* p, __m64 v) {
  const std::int32_t w = _mm_cvtsi64_si32(v);
  std::memcpy(p, &w, 4);
}
// An 8-byte store, non-temporal when asked (no alignment needed either way).
template <Stores kStores>
void Put8(void* p, __m64 v) {
  if constexpr (kStores == Stores::kStreaming) {
    _mm_stream_pi(static_cast<__m64*>(p), v);
  } else {
    Put8(p, v);
  }
}

}  // namespace qvls::mmx

namespace qvls::sse2 {

inline __m128i Load16(const void* p) { return _mm_load_si128(static_cast<const __m128i*>(p)); }
inline __m128i LoadUnaligned16(const void* p) {
  return _mm_loadu_si128(static_cast<const __m128i*>(p));
}
inline __m128i Load8(const void* p) { return _mm_loadl_epi64(static_cast<const __m128i*>(p)); }
inline __m128i Load4(const void* p) {
  std::int32_t w;
  std::memcpy(&w, p, 4);
  return _mm_cvtsi32_si128(w);
}
// 16 bytes read as two 8-byte halves.
inline __m128i LoadHalves(const void* p) {
  return _mm_unpacklo_epi64(Load8(p), Load8(static_cast<const std::uint8_t*>(p) + 8));
}
inline void Store16(void* p, __m128i v) { _mm_store_si128(static_cast<__m128i*>(p), v); }
inline void StoreUnaligned16(void* p, __m128i v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
inline void Stream16(void* p, __m128i v) { _mm_stream_si128(static_cast<__m128i*>(p), v); }
inline void Store8(void* p, __m128i v) { _mm_storel_epi64(static_cast<__m128i*>(p), v); }
inline void Store4(void* p, __m128i v) {
  const std::int32_t w = _mm_cvtsi128_si32(v);
  std::memcpy(p, &w, 4);
}

}  // namespace qvls::sse2
