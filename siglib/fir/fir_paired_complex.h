// The complex block kernel of a6 and w7 on the 64-bit packed registers,
// against the paired taps: one multiply-add of two samples {re, im} by two
// {re, -im} tap pairs yields two real-part products, one by {im, re} pairs
// two imaginary-part products. Two complex outputs per step, taps two at a
// time then one; samples 64 bytes ahead prefetched, outputs stored
// non-temporally, a last single output, a store fence at the end.
#pragma once

#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "siglib/fir/fir_checks.h"
#include "siglib/fir/fir_history.h"
#include "siglib/fir/fir_packed_scaling.h"
#include "siglib/fir/fir_state.h"
#include "siglib/memory/vector_access.h"

namespace qvls::fir::paired {

struct PairedTaps {
  const std::int16_t* re;  // {re, -im} per tap
  const std::int16_t* im;  // {im, re} per tap
};

// [sum of a's lanes, sum of b's lanes]
inline __m64 LaneSums(__m64 a, __m64 b) {
  return _mm_add_pi32(_mm_unpacklo_pi32(a, b), _mm_unpackhi_pi32(a, b));
}

// Outputs m = 0, 1: the taps times w[m .. m+len-1]; reads w[0 .. len].
// Returns {re0, im0, re1, im1}, scaled and saturated.
inline __m64 TwoOutputs(const qvls_ci16* w, PairedTaps taps, std::int32_t len,
                        const PackedScaleM64& scale) {
  using mmx::Get4;
  using mmx::Get8;
  __m64 re0 = _mm_setzero_si64(), im0 = re0, re1 = re0, im1 = re0;
  std::int32_t i = 0;
  for (; i + 2 <= len; i += 2) {
    const __m64 x0 = Get8(w + i);
    const __m64 x1 = _mm_unpacklo_pi32(_mm_srli_si64(x0, 32), Get4(w + i + 2));
    const __m64 p = Get8(taps.re + 2 * i);
    const __m64 q = Get8(taps.im + 2 * i);
    re0 = _mm_add_pi32(re0, _mm_madd_pi16(x0, p));
    im0 = _mm_add_pi32(im0, _mm_madd_pi16(x0, q));
    re1 = _mm_add_pi32(re1, _mm_madd_pi16(x1, p));
    im1 = _mm_add_pi32(im1, _mm_madd_pi16(x1, q));
  }
  if (i < len) {
    const __m64 x0 = Get4(w + i);
    const __m64 x1 = Get4(w + i + 1);
    const __m64 p = Get4(taps.re + 2 * i);
    const __m64 q = Get4(taps.im + 2 * i);
    re0 = _mm_add_pi32(re0, _mm_madd_pi16(x0, p));
    im0 = _mm_add_pi32(im0, _mm_madd_pi16(x0, q));
    re1 = _mm_add_pi32(re1, _mm_madd_pi16(x1, p));
    im1 = _mm_add_pi32(im1, _mm_madd_pi16(x1, q));
  }
  return _mm_packs_pi32(scale.Apply(LaneSums(re0, im0)), scale.Apply(LaneSums(re1, im1)));
}

// One output from w[0 .. len-1]; {re, im} in the low half of the result.
inline __m64 OneOutput(const qvls_ci16* w, PairedTaps taps, std::int32_t len,
                       const PackedScaleM64& scale) {
  using mmx::Get4;
  using mmx::Get8;
  __m64 re = _mm_setzero_si64(), im = re;
  std::int32_t i = 0;
  for (; i + 2 <= len; i += 2) {
    const __m64 x = Get8(w + i);
    re = _mm_add_pi32(re, _mm_madd_pi16(x, Get8(taps.re + 2 * i)));
    im = _mm_add_pi32(im, _mm_madd_pi16(x, Get8(taps.im + 2 * i)));
  }
  if (i < len) {
    const __m64 x = Get4(w + i);
    re = _mm_add_pi32(re, _mm_madd_pi16(x, Get4(taps.re + 2 * i)));
    im = _mm_add_pi32(im, _mm_madd_pi16(x, Get4(taps.im + 2 * i)));
  }
  const __m64 sums = scale.Apply(LaneSums(re, im));
  return _mm_packs_pi32(sums, sums);
}

inline qvls_status Block(const qvls_ci16* src, qvls_ci16* dst, std::int32_t n, fir_state* state,
                         std::int32_t sf) {
  fir_state h;
  if (const qvls_status status = CheckBlock(src, dst, n, state, Layout::kPairedComplex, h);
      status != QVLS_OK) {
    return status;
  }
  const std::int32_t len = h.len;
  const auto* pairs = ArrayAt<const std::int16_t>(state, h.taps16);
  const PairedTaps taps{pairs, pairs + 2 * len};
  qvls_ci16* delay = ArrayAt<qvls_ci16>(state, h.delay);
  qvls_ci16* window = delay + h.index;
  const std::int32_t appended = Appended(n, h.prefill / 2);  // prefill counts 16-bit words
  AppendBehind(window, len, src, appended);
  const PackedScaleM64 scale(
      OutputScaleFor<LargeShifts::kShiftOut>(ScaleExponent(h.taps_factor, sf)));
  // Outputs j .. last read the buffer while the appended samples reach them;
  // from then on (j >= 4·ceil(len/4) >= len) straight from the source.
  auto first = [&](std::int32_t j, std::int32_t last) -> const qvls_ci16* {
    return last < appended ? window + j + 1 : src + (j + 1 - len);
  };
  std::int32_t j = 0;
  for (; j + 2 <= n; j += 2) {
    const qvls_ci16* w = first(j, j + 1);
    _mm_prefetch(reinterpret_cast<const char*>(w) + 64, _MM_HINT_NTA);
    _mm_stream_pi(reinterpret_cast<__m64*>(dst + j), TwoOutputs(w, taps, len, scale));
  }
  if (j < n) mmx::Put4(dst + j, OneOutput(first(j, j), taps, len, scale));
  _mm_sfence();
  _mm_empty();
  KeepNewest(delay, window, src, n, len);
  WriteIndex(state, 0);
  return QVLS_OK;
}

}  // namespace qvls::fir::paired
