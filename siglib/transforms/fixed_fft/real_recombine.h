// The forward real recombination, one code over the variant's complex
// arithmetic. With k = m - j, E = (Z(j) + conj Z(k)) / 2 and
// O = (Z(j) - conj Z(k)) / 2i, X(j) = E + e^(-2πij/2m)·O and
// X(k) = conj(E - e^(-2πij/2m)·O); the halves round toward minus infinity.
#pragma once

#include <cstdint>

#include "siglib/transforms/fixed_fft/complex_steps.h"
#include "siglib/transforms/fixed_fft/q14_tables.h"

namespace qvls::fixed_fft {

template <class A>
void RealRecombine(std::int32_t* z, std::int32_t m, const std::int16_t* twiddles) {
  for (std::int32_t j = 1; j < m / 2; ++j) {
    std::int32_t* pj = z + 2 * j;
    std::int32_t* pk = z + 2 * (m - j);
    const auto zj = A::Load(pj), zk = A::Load(pk);
    const auto sum = A::Half(A::Add(zj, zk));                     // (Sr, Si)
    const auto difference = A::Half(A::Sub(zj, zk));              // (A, Di)
    const auto even = A::Lo(sum, A::Hi(difference, difference));  // (Sr, Di)
    const auto minus_sum = A::Neg(sum);
    const auto odd = A::Lo(A::Hi(minus_sum, minus_sum), difference);  // (-Si, A)
    // Record j turns (-Si, A) into (T1, T2) = (prod(A, -Si; sn, cs), prod(A, -Si; cs, -sn)).
    const auto turned = A::Rotate(odd, twiddles + kRecordWords * j);
    A::Store(pj, A::Sub(even, turned));
    A::Store(pk, Conjugate<A>(A::Add(even, turned)));
  }
  std::int32_t* middle = z + 2 * (m / 2);
  A::Store(middle, Conjugate<A>(A::Load(middle)));
  A::Release();
}

}  // namespace qvls::fixed_fft
