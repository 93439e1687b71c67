// The packed-integer instructions that the arithmetic kernels use, under one
// name for both register widths: V is __m64 (Packed64 as a template argument) (64-bit
// packed-integer registers, four 16-bit or two 32-bit lanes) or __m128i (Packed128; 128-bit integer
// registers, eight or four). A kernel written over V is compiled once per width, each
// time with that width's own instructions.
//
// Memory is reached only through Load and Store: an __m64 moves through
// memcpy (any address); an __m128i with the aligned instruction when the
// caller knows the address is on its 16-byte boundary and the unaligned one
// otherwise. Shifts by a count known only at run time take the count in a
// register, made once per call by Count.
#pragma once

#include <emmintrin.h>
#include <mmintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

namespace qvls::arith {

// The two register types as template arguments. A template argument drops
// their may-alias attribute, which matters only for memory reached through
// them, and the kernels reach memory only through Load and Store.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wignored-attributes"
using Packed64 = std::type_identity_t<__m64>;
using Packed128 = std::type_identity_t<__m128i>;
#pragma GCC diagnostic pop

// 16-bit lanes per register.
template <class V>
inline constexpr std::int32_t kLanes16 = sizeof(V) / 2;

template <class V, bool kAligned = false>
V Load(const void* p) {
  if constexpr (sizeof(V) == 8) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
  } else if constexpr (kAligned) {
    return _mm_load_si128(static_cast<const __m128i*>(p));
  } else {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
  }
}

template <bool kAligned = false, class V>
void Store(void* p, V v) {
  if constexpr (sizeof(V) == 8) {
    std::memcpy(p, &v, sizeof v);
  } else if constexpr (kAligned) {
    _mm_store_si128(static_cast<__m128i*>(p), v);
  } else {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
  }
}

template <class V>
V Zero() {
  if constexpr (sizeof(V) == 8) {
    return _mm_setzero_si64();
  } else {
    return _mm_setzero_si128();
  }
}

template <class V>
V Broadcast16(std::int16_t x) {
  if constexpr (sizeof(V) == 8) {
    return _mm_set1_pi16(x);
  } else {
    return _mm_set1_epi16(x);
  }
}

template <class V>
V Broadcast32(std::int32_t x) {
  if constexpr (sizeof(V) == 8) {
    return _mm_set1_pi32(x);
  } else {
    return _mm_set1_epi32(x);
  }
}

// A shift count for the register forms of the shifts below.
template <class V>
V Count(std::int32_t n) {
  if constexpr (sizeof(V) == 8) {
    return _mm_cvtsi32_si64(n);
  } else {
    return _mm_cvtsi32_si128(n);
  }
}

// clang-format off
inline __m64 AddSat16(__m64 a, __m64 b) { return _mm_adds_pi16(a, b); }
inline __m128i AddSat16(__m128i a, __m128i b) { return _mm_adds_epi16(a, b); }
inline __m64 SubSat16(__m64 a, __m64 b) { return _mm_subs_pi16(a, b); }
inline __m128i SubSat16(__m128i a, __m128i b) { return _mm_subs_epi16(a, b); }
inline __m64 Sub16(__m64 a, __m64 b) { return _mm_sub_pi16(a, b); }
inline __m128i Sub16(__m128i a, __m128i b) { return _mm_sub_epi16(a, b); }
inline __m64 Add32(__m64 a, __m64 b) { return _mm_add_pi32(a, b); }
inline __m128i Add32(__m128i a, __m128i b) { return _mm_add_epi32(a, b); }
inline __m64 Sub32(__m64 a, __m64 b) { return _mm_sub_pi32(a, b); }
inline __m128i Sub32(__m128i a, __m128i b) { return _mm_sub_epi32(a, b); }

// (a0, b0, a1, b1, ...) from the lower and the upper halves of a and b.
inline __m64 UnpackLo16(__m64 a, __m64 b) { return _mm_unpacklo_pi16(a, b); }
inline __m128i UnpackLo16(__m128i a, __m128i b) { return _mm_unpacklo_epi16(a, b); }
inline __m64 UnpackHi16(__m64 a, __m64 b) { return _mm_unpackhi_pi16(a, b); }
inline __m128i UnpackHi16(__m128i a, __m128i b) { return _mm_unpackhi_epi16(a, b); }

// Each 32-bit lane: a.lo * b.lo + a.hi * b.hi, the pairwise multiply-add.
inline __m64 MulAdd(__m64 a, __m64 b) { return _mm_madd_pi16(a, b); }
inline __m128i MulAdd(__m128i a, __m128i b) { return _mm_madd_epi16(a, b); }

// 32-bit lanes of a, then of b, narrowed to 16 bits with signed saturation.
inline __m64 Pack32(__m64 a, __m64 b) { return _mm_packs_pi32(a, b); }
inline __m128i Pack32(__m128i a, __m128i b) { return _mm_packs_epi32(a, b); }

inline __m64 And(__m64 a, __m64 b) { return _mm_and_si64(a, b); }
inline __m128i And(__m128i a, __m128i b) { return _mm_and_si128(a, b); }
// (NOT a) AND b
inline __m64 AndNot(__m64 a, __m64 b) { return _mm_andnot_si64(a, b); }
inline __m128i AndNot(__m128i a, __m128i b) { return _mm_andnot_si128(a, b); }
inline __m64 Or(__m64 a, __m64 b) { return _mm_or_si64(a, b); }
inline __m128i Or(__m128i a, __m128i b) { return _mm_or_si128(a, b); }
inline __m64 Xor(__m64 a, __m64 b) { return _mm_xor_si64(a, b); }
inline __m128i Xor(__m128i a, __m128i b) { return _mm_xor_si128(a, b); }

// All ones in each lane where the comparison holds (signed).
inline __m64 Greater16(__m64 a, __m64 b) { return _mm_cmpgt_pi16(a, b); }
inline __m128i Greater16(__m128i a, __m128i b) { return _mm_cmpgt_epi16(a, b); }
inline __m64 Equal16(__m64 a, __m64 b) { return _mm_cmpeq_pi16(a, b); }
inline __m128i Equal16(__m128i a, __m128i b) { return _mm_cmpeq_epi16(a, b); }
inline __m64 Equal32(__m64 a, __m64 b) { return _mm_cmpeq_pi32(a, b); }
inline __m128i Equal32(__m128i a, __m128i b) { return _mm_cmpeq_epi32(a, b); }

// Shifts of 16- and 32-bit lanes: arithmetic (Sra) or logical (Srl) right,
// left (Sll); by a constant, or by a count from Count.
inline __m64 Sra16(__m64 v, int n) { return _mm_srai_pi16(v, n); }
inline __m128i Sra16(__m128i v, int n) { return _mm_srai_epi16(v, n); }
inline __m64 Sra32(__m64 v, int n) { return _mm_srai_pi32(v, n); }
inline __m128i Sra32(__m128i v, int n) { return _mm_srai_epi32(v, n); }
inline __m64 Srl32(__m64 v, int n) { return _mm_srli_pi32(v, n); }
inline __m128i Srl32(__m128i v, int n) { return _mm_srli_epi32(v, n); }
inline __m64 Sll32(__m64 v, int n) { return _mm_slli_pi32(v, n); }
inline __m128i Sll32(__m128i v, int n) { return _mm_slli_epi32(v, n); }
inline __m64 Sra32(__m64 v, __m64 count) { return _mm_sra_pi32(v, count); }
inline __m128i Sra32(__m128i v, __m128i count) { return _mm_sra_epi32(v, count); }
inline __m64 Srl32(__m64 v, __m64 count) { return _mm_srl_pi32(v, count); }
inline __m128i Srl32(__m128i v, __m128i count) { return _mm_srl_epi32(v, count); }
inline __m64 Sll32(__m64 v, __m64 count) { return _mm_sll_pi32(v, count); }
inline __m128i Sll32(__m128i v, __m128i count) { return _mm_sll_epi32(v, count); }
// clang-format on

}  // namespace qvls::arith
