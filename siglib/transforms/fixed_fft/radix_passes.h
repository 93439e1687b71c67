// The forward radix passes, one code over the variant's complex arithmetic
// (ScalarArithmetic or PackedArithmetic): radix-4 decimation in frequency
// with the outputs of each butterfly placed so that the result comes out in
// bit-reversed order, then a radix-2 pass for odd orders.
#pragma once

#include <cstdint>

#include "siglib/transforms/fixed_fft/complex_steps.h"
#include "siglib/transforms/fixed_fft/q14_tables.h"

namespace qvls::fixed_fft {

template <class A>
void Radix2Pass(std::int32_t* x, std::int32_t n) {
  for (std::int32_t m = 0; m < n; m += 2) {
    const auto a = A::Load(x + 2 * m);
    const auto b = A::Load(x + 2 * (m + 1));
    A::Store(x + 2 * m, A::Add(a, b));
    A::Store(x + 2 * (m + 1), A::Sub(a, b));
  }
}

// One radix-4 pass over spans of `span` values. Butterfly i of a group takes
// the four values a quarter span apart; its first output is their sum, the
// other three (t = s0 - s1, u = d0 - i·d1, w = d0 + i·d1) are rotated by the
// twiddles of 2k, k and 3k (k = i·n/span): none for i = 0, -i and the
// eighth-turn products for i = quarter/2, the table records otherwise.
template <class A>
void Radix4Pass(std::int32_t* x, std::int32_t n, std::int32_t span, const std::int16_t* twiddles) {
  const std::int32_t quarter = span / 4;
  const std::int32_t step = n / span;
  for (std::int32_t i = 0; i < quarter; ++i) {
    const std::int32_t k = i * step;
    const bool eighth_turn = span >= 8 && i == quarter / 2;
    for (std::int32_t g = i; g < n; g += span) {
      std::int32_t* p0 = x + 2 * g;
      std::int32_t* p1 = p0 + 2 * quarter;
      std::int32_t* p2 = p1 + 2 * quarter;
      std::int32_t* p3 = p2 + 2 * quarter;
      const auto x0 = A::Load(p0), x1 = A::Load(p1), x2 = A::Load(p2), x3 = A::Load(p3);
      const auto s0 = A::Add(x0, x2), d0 = A::Sub(x0, x2);
      const auto s1 = A::Add(x1, x3), d1 = A::Sub(x1, x3);
      A::Store(p0, A::Add(s0, s1));
      const auto t = A::Sub(s0, s1);
      if (eighth_turn) {
        A::Store(p1, TimesMinusI<A>(t));
        const auto [u, w] = A::EighthTurn(d0, d1);
        A::Store(p2, u);
        A::Store(p3, w);
        continue;
      }
      const auto d1_minus_i = TimesMinusI<A>(d1);
      const auto u = A::Add(d0, d1_minus_i);
      const auto w = A::Sub(d0, d1_minus_i);
      if (i == 0) {
        A::Store(p1, t);
        A::Store(p2, u);
        A::Store(p3, w);
      } else {
        A::Store(p1, A::Rotate(t, twiddles + kRecordWords * 2 * k));
        A::Store(p2, A::Rotate(u, twiddles + kRecordWords * k));
        A::Store(p3, A::Rotate(w, twiddles + kRecordWords * 3 * k));
      }
    }
  }
}

template <class A>
void ForwardRadix(std::int32_t* x, std::int32_t n, const std::int16_t* twiddles) {
  std::int32_t span = n;
  for (; span >= 4; span /= 4) Radix4Pass<A>(x, n, span, twiddles);
  if (span == 2) Radix2Pass<A>(x, n);
  A::Release();
}

}  // namespace qvls::fixed_fft
