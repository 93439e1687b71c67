// The generic algorithm, run by px and m6: scalar code on the prepared
// 32-bit taps. A block appends at most `prefill` source samples behind the
// history, takes its first 4·ceil(len/4) outputs from the delay buffer and
// the rest straight from the source; outputs come four per pass over the
// taps (each tap and each sample loaded once per pass), the last n mod 4 one
// by one with the tap loop unrolled by five.
//
// `Column` is the variant whose entry instantiates these templates, so that
// each variant runs its own compiled copy.
#pragma once

#include <algorithm>
#include <cstdint>
#include <type_traits>

#include "siglib/fir/fir_checks.h"
#include "siglib/fir/fir_history.h"
#include "siglib/fir/fir_one_sample.h"
#include "siglib/fir/fir_scaling.h"
#include "siglib/fir/fir_state.h"
#include "siglib/frame/unaligned.h"

namespace qvls::fir::generic {

// taps · window[0 .. len-1], five taps per step.
inline std::uint32_t Dot(const std::int32_t* taps, const std::int16_t* window, std::int32_t len) {
  std::uint32_t sum = 0;
  std::int32_t i = 0;
  for (; i + 5 <= len; i += 5) {
    sum += Product(LoadAt(taps, i), LoadAt(window, i)) +
           Product(LoadAt(taps, i + 1), LoadAt(window, i + 1)) +
           Product(LoadAt(taps, i + 2), LoadAt(window, i + 2)) +
           Product(LoadAt(taps, i + 3), LoadAt(window, i + 3)) +
           Product(LoadAt(taps, i + 4), LoadAt(window, i + 4));
  }
  for (; i < len; ++i) sum += Product(LoadAt(taps, i), LoadAt(window, i));
  return sum;
}

struct ComplexSum {
  std::uint32_t re = 0;
  std::uint32_t im = 0;
  void Add(qvls_ci32 tap, qvls_ci16 x) {
    re += Product(tap.re, x.re) - Product(tap.im, x.im);
    im += Product(tap.re, x.im) + Product(tap.im, x.re);
  }
  qvls_ci16 Output(OutputScale scale) const {
    return {ScaleOutput(re, scale), ScaleOutput(im, scale)};
  }
};

inline ComplexSum Dot(const qvls_ci32* taps, const qvls_ci16* window, std::int32_t len) {
  ComplexSum sum;
  std::int32_t i = 0;
  for (; i + 5 <= len; i += 5) {
    for (std::int32_t k = 0; k < 5; ++k) sum.Add(LoadAt(taps, i + k), LoadAt(window, i + k));
  }
  for (; i < len; ++i) sum.Add(LoadAt(taps, i), LoadAt(window, i));
  return sum;
}

// `count` outputs; output j is taps · first[j .. j+len-1].
inline void Outputs(const std::int16_t* first, const std::int32_t* taps, std::int32_t len,
                    std::int16_t* dst, std::int32_t count, OutputScale scale) {
  std::int32_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const std::int16_t* w = first + j;
    std::uint32_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    std::int32_t s0 = LoadAt(w, 0), s1 = LoadAt(w, 1), s2 = LoadAt(w, 2);
    for (std::int32_t i = 0; i < len; ++i) {
      const std::int32_t t = LoadAt(taps, i);
      const std::int32_t s3 = LoadAt(w, i + 3);
      a0 += Product(t, s0);
      a1 += Product(t, s1);
      a2 += Product(t, s2);
      a3 += Product(t, s3);
      s0 = s1;
      s1 = s2;
      s2 = s3;
    }
    StoreAt(dst, j, ScaleOutput(a0, scale));
    StoreAt(dst, j + 1, ScaleOutput(a1, scale));
    StoreAt(dst, j + 2, ScaleOutput(a2, scale));
    StoreAt(dst, j + 3, ScaleOutput(a3, scale));
  }
  for (; j < count; ++j) StoreAt(dst, j, ScaleOutput(Dot(taps, first + j, len), scale));
}

inline void Outputs(const qvls_ci16* first, const qvls_ci32* taps, std::int32_t len, qvls_ci16* dst,
                    std::int32_t count, OutputScale scale) {
  std::int32_t j = 0;
  for (; j + 4 <= count; j += 4) {
    const qvls_ci16* w = first + j;
    ComplexSum a0, a1, a2, a3;
    qvls_ci16 s0 = LoadAt(w, 0), s1 = LoadAt(w, 1), s2 = LoadAt(w, 2);
    for (std::int32_t i = 0; i < len; ++i) {
      const qvls_ci32 t = LoadAt(taps, i);
      const qvls_ci16 s3 = LoadAt(w, i + 3);
      a0.Add(t, s0);
      a1.Add(t, s1);
      a2.Add(t, s2);
      a3.Add(t, s3);
      s0 = s1;
      s1 = s2;
      s2 = s3;
    }
    StoreAt(dst, j, a0.Output(scale));
    StoreAt(dst, j + 1, a1.Output(scale));
    StoreAt(dst, j + 2, a2.Output(scale));
    StoreAt(dst, j + 3, a3.Output(scale));
  }
  for (; j < count; ++j) StoreAt(dst, j, Dot(taps, first + j, len).Output(scale));
}

template <class Column, Layout kLayout, class Sample>
qvls_status Block(const Sample* src, Sample* dst, std::int32_t n, fir_state* state,
                  std::int32_t sf) {
  fir_state h;
  if (const qvls_status status = CheckBlock(src, dst, n, state, kLayout, h); status != QVLS_OK) {
    return status;
  }
  constexpr bool kComplex = std::is_same_v<Sample, qvls_ci16>;
  using Tap = std::conditional_t<kComplex, qvls_ci32, std::int32_t>;
  const Tap* taps = ArrayAt<const Tap>(state, h.taps);
  Sample* delay = ArrayAt<Sample>(state, h.delay);
  Sample* window = delay + h.index;
  const std::int32_t len = h.len;
  const std::int32_t prefill = kComplex ? h.prefill / 2 : h.prefill;  // complex: counted in words
  AppendBehind(window, len, src, Appended(n, prefill));
  const OutputScale scale =
      OutputScaleFor<LargeShifts::kClampTo31>(ScaleExponent(h.taps_factor, sf));
  const std::int32_t from_buffer = std::min(n, prefill - 1);
  Outputs(window + 1, taps, len, dst, from_buffer, scale);
  if (n > from_buffer) {
    Outputs(src + (from_buffer + 1 - len), taps, len, dst + from_buffer, n - from_buffer, scale);
  }
  KeepNewest(delay, window, src, n, len);
  WriteIndex(state, 0);
  return QVLS_OK;
}

template <class Column>
qvls_status Sample(std::int16_t x, std::int16_t* out, fir_state* state, std::int32_t sf) {
  return OneSample<Layout::kGenericReal, LargeShifts::kClampTo31>(
      x, out, state, sf, [state](const fir_state& h, const std::int16_t* window) {
        return Dot(ArrayAt<const std::int32_t>(state, h.taps), window, h.len);
      });
}

}  // namespace qvls::fir::generic

// The filtering entries of a variant that runs the generic algorithm.
#define QVLS_FIR_GENERIC_FILTER_ENTRIES(tag, Column)                                              \
  qvls_status qvlsFIRSample_i16_##tag(std::int16_t x, std::int16_t* out, fir_state* state,        \
                                      std::int32_t sf) {                                          \
    return ::qvls::fir::generic::Sample<Column>(x, out, state, sf);                               \
  }                                                                                               \
  qvls_status qvlsFIRBlock_i16_##tag(const std::int16_t* src, std::int16_t* dst, std::int32_t n,  \
                                     fir_state* state, std::int32_t sf) {                         \
    return ::qvls::fir::generic::Block<Column, ::qvls::fir::Layout::kGenericReal>(src, dst, n,    \
                                                                                  state, sf);     \
  }                                                                                               \
  qvls_status qvlsFIRBlock_ci16_##tag(const qvls_ci16* src, qvls_ci16* dst, std::int32_t n,       \
                                      fir_state* state, std::int32_t sf) {                        \
    return ::qvls::fir::generic::Block<Column, ::qvls::fir::Layout::kGenericComplex>(src, dst, n, \
                                                                                     state, sf);  \
  }
