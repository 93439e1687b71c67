// Steps built from the lane moves of a complex arithmetic (ScalarArithmetic
// or PackedArithmetic): multiplication by -i and the conjugate, both exact.
#pragma once

namespace qvls::fixed_fft {

// z·(-i) = (z.im, -z.re).
template <class A>
typename A::Complex TimesMinusI(typename A::Complex z) {
  return A::Lo(A::Hi(z, z), A::Neg(z));
}

// (z.re, -z.im).
template <class A>
typename A::Complex Conjugate(typename A::Complex z) {
  const auto minus = A::Neg(z);
  return A::Lo(z, A::Hi(minus, minus));
}

}  // namespace qvls::fixed_fft
