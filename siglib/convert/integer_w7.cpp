// Widening and narrowing sixteen elements per step in 128-bit registers,
// with stores that bypass the cache (and a store fence) when more than
// 43,691 elements remain after the head; loads follow the source's
// alignment. The flip is the a6 code in w7's own copy (flip_words.h). A
// destination off its element boundary takes the generic loop.
#include "siglib/convert/convert.h"
#include "siglib/convert/flip_words.h"
#include "siglib/convert/scalar_loops.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::convert;
using namespace qvls::sse2;
using qvls::AddressOf;
using qvls::IsOnBoundary;

constexpr std::size_t kBypassAbove = 43691;  // about 256 KB of source and destination

// Four 16-bit values (the low 8 bytes of v) sign-extended to 32 bits.
__m128i SignExtendLow4(__m128i v) {
  return _mm_srai_epi32(_mm_unpacklo_epi16(_mm_setzero_si128(), v), 16);
}

// Sixteen per step from 8-byte source loads to aligned 16-byte stores,
// non-temporal and fenced when asked.
template <bool kBypass>
std::size_t WidenSixteens(const std::int16_t* src, std::int32_t* dst, std::size_t n) {
  std::size_t i = 0;
  for (; n - i >= 16; i += 16) {
    for (std::size_t k = 0; k < 16; k += 4) {
      const __m128i wide = SignExtendLow4(Load8(src + i + k));
      if constexpr (kBypass) {
        Stream16(dst + i + k, wide);
      } else {
        Store16(dst + i + k, wide);
      }
    }
  }
  if constexpr (kBypass) _mm_sfence();
  return i;
}

// Sixteen per step from 4-byte source loads through the 64-bit registers,
// with 8-byte stores: for a source 4 bytes off its 8-byte boundary.
std::size_t WidenSixteensByHalves(const std::int16_t* src, std::int32_t* dst, std::size_t n) {
  const __m64 zero = _mm_setzero_si64();
  std::size_t i = 0;
  for (; n - i >= 16; i += 16) {
    for (std::size_t k = 0; k < 16; k += 2) {
      const __m64 v = qvls::mmx::Get4(src + i + k);
      qvls::mmx::Put8(dst + i + k, _mm_unpacklo_pi16(v, _mm_cmpgt_pi16(zero, v)));
    }
  }
  _mm_empty();
  return i;
}

void Widen(const std::int16_t* src, std::int32_t* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  if (!IsOnBoundary(dst, 4)) {
    WidenScalar(src, dst, n);
    return;
  }
  std::size_t i = 0;
  for (; i < n && !IsOnBoundary(dst + i, 16); ++i) WidenOne(src, dst, i);
  if (n - i > kBypassAbove) {
    i += WidenSixteens<true>(src + i, dst + i, n - i);
  } else if ((AddressOf(src + i) & 7) == 4) {
    i += WidenSixteensByHalves(src + i, dst + i, n - i);
  } else {
    i += WidenSixteens<false>(src + i, dst + i, n - i);
  }
  for (; n - i >= 4; i += 4) Store16(dst + i, SignExtendLow4(Load8(src + i)));
  for (; i < n; ++i) WidenOne(src, dst, i);
}

// Sixteen per step, each four 32-bit values read by `load`, packed with
// signed saturation into aligned 16-byte stores, non-temporal and fenced
// when asked.
template <auto load, bool kBypass>
std::size_t NarrowSixteens(const std::int32_t* src, std::int16_t* dst, std::size_t n) {
  std::size_t i = 0;
  for (; n - i >= 16; i += 16) {
    for (std::size_t k = 0; k < 16; k += 8) {
      const __m128i packed = _mm_packs_epi32(load(src + i + k), load(src + i + k + 4));
      if constexpr (kBypass) {
        Stream16(dst + i + k, packed);
      } else {
        Store16(dst + i + k, packed);
      }
    }
  }
  if constexpr (kBypass) _mm_sfence();
  return i;
}

// Sixteen per step from 4-byte loads through the 64-bit registers, with
// 8-byte stores: for a source off its 8-byte boundary.
std::size_t NarrowSixteensByQuarters(const std::int32_t* src, std::int16_t* dst, std::size_t n) {
  using qvls::mmx::Get4;
  std::size_t i = 0;
  for (; n - i >= 16; i += 16) {
    for (std::size_t k = 0; k < 16; k += 4) {
      const __m64 low = _mm_unpacklo_pi32(Get4(src + i + k), Get4(src + i + k + 1));
      const __m64 high = _mm_unpacklo_pi32(Get4(src + i + k + 2), Get4(src + i + k + 3));
      qvls::mmx::Put8(dst + i + k, _mm_packs_pi32(low, high));
    }
  }
  _mm_empty();
  return i;
}

void Narrow(const std::int32_t* src, std::int16_t* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  if (!IsOnBoundary(dst, 2)) {
    NarrowScalar(src, dst, n);
    return;
  }
  std::size_t i = 0;
  for (; i < n && !IsOnBoundary(dst + i, 16); ++i) NarrowOne(src, dst, i);
  const bool bypass = n - i > kBypassAbove;
  const std::uintptr_t source_low = AddressOf(src + i) & 15;
  if (source_low == 0) {
    i += bypass ? NarrowSixteens<Load16, true>(src + i, dst + i, n - i)
                : NarrowSixteens<Load16, false>(src + i, dst + i, n - i);
  } else if (bypass) {
    i += NarrowSixteens<LoadHalves, true>(src + i, dst + i, n - i);
  } else if ((source_low & 7) == 0) {
    i += NarrowSixteens<LoadHalves, false>(src + i, dst + i, n - i);
  } else {
    i += NarrowSixteensByQuarters(src + i, dst + i, n - i);
  }
  for (; n - i >= 4; i += 4) {
    Store8(dst + i, _mm_packs_epi32(LoadUnaligned16(src + i), _mm_setzero_si128()));
  }
  for (; i < n; ++i) NarrowOne(src, dst, i);
}

void Flip(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  FlipWords(src, dst, static_cast<std::size_t>(len));
}

}  // namespace

QVLS_DEFINE_INTEGER_CONVERSIONS(w7, Widen, Narrow, Flip)
