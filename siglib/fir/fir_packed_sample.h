// The one-sample operation of a6 and w7 on the 64-bit packed registers:
// sixteen taps per step as four four-tap multiply-adds, then four, two and
// one, against the 16-bit taps (a6: the generic copy; w7: row 3 of its
// rows, from word 4). Multiply-adds of 16-bit values by taps within
// -32767..32766 give exact 32-bit pair sums; the lanes add modulo 2^32.
#pragma once

#include <mmintrin.h>

#include <cstdint>

#include "siglib/fir/fir_one_sample.h"
#include "siglib/fir/fir_state.h"
#include "siglib/frame/unaligned.h"
#include "siglib/memory/vector_access.h"

namespace qvls::fir::packed {

// One 16-bit value in the low lane, zeros above.
inline __m64 LowWord(std::int16_t v) {
  return _mm_cvtsi32_si64(static_cast<std::int32_t>(static_cast<std::uint16_t>(v)));
}

inline std::uint32_t LaneSum(__m64 pairs) {
  return static_cast<std::uint32_t>(_mm_cvtsi64_si32(pairs)) +
         static_cast<std::uint32_t>(_mm_cvtsi64_si32(_mm_srli_si64(pairs, 32)));
}

// samples[0 .. len-1] · taps[0 .. len-1]; reads nothing beyond either.
// Leaves the packed registers in use.
inline std::uint32_t DotM64(const std::int16_t* samples, const std::int16_t* taps,
                            std::int32_t len) {
  using mmx::Get4;
  using mmx::Get8;
  __m64 sum = _mm_setzero_si64();
  std::int32_t i = 0;
  if (len >= 16) {
    __m64 s1 = _mm_setzero_si64(), s2 = _mm_setzero_si64(), s3 = _mm_setzero_si64();
    for (; i + 16 <= len; i += 16) {
      sum = _mm_add_pi32(sum, _mm_madd_pi16(Get8(samples + i), Get8(taps + i)));
      s1 = _mm_add_pi32(s1, _mm_madd_pi16(Get8(samples + i + 4), Get8(taps + i + 4)));
      s2 = _mm_add_pi32(s2, _mm_madd_pi16(Get8(samples + i + 8), Get8(taps + i + 8)));
      s3 = _mm_add_pi32(s3, _mm_madd_pi16(Get8(samples + i + 12), Get8(taps + i + 12)));
    }
    sum = _mm_add_pi32(_mm_add_pi32(sum, s1), _mm_add_pi32(s2, s3));
  }
  for (; i + 4 <= len; i += 4) {
    sum = _mm_add_pi32(sum, _mm_madd_pi16(Get8(samples + i), Get8(taps + i)));
  }
  if (i + 2 <= len) {
    sum = _mm_add_pi32(sum, _mm_madd_pi16(Get4(samples + i), Get4(taps + i)));
    i += 2;
  }
  if (i < len) {
    sum = _mm_add_pi32(sum, _mm_madd_pi16(LowWord(LoadAt(samples, i)), LowWord(LoadAt(taps, i))));
  }
  return LaneSum(sum);
}

// The 16-bit taps in natural order of the state's layout.
inline const std::int16_t* SampleTaps(const fir_state* state, const fir_state& h) {
  const auto* taps16 = ArrayAt<const std::int16_t>(state, h.taps16);
  return h.layout == static_cast<std::int32_t>(Layout::kRowsReal) ? taps16 + 3 * h.row_len + 4
                                                                  : taps16;
}

template <Layout kLayout>
qvls_status Sample(std::int16_t x, std::int16_t* out, fir_state* state, std::int32_t sf) {
  return OneSample<kLayout, LargeShifts::kShiftOut>(
      x, out, state, sf, [state](const fir_state& h, const std::int16_t* window) {
        const std::uint32_t sum = DotM64(window, SampleTaps(state, h), h.len);
        _mm_empty();
        return sum;
      });
}

}  // namespace qvls::fir::packed
