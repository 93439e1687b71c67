// Four complex values in two 128-bit registers, the four real parts apart
// from the four imaginary parts: the unit of the a6 and w7 float kernels,
// each operation rounded to single precision.
#pragma once

#include <xmmintrin.h>

#include "siglib/transforms/direction.h"

namespace qvls::fft_radix {

using transforms::Direction;

struct Split4 {
  __m128 re, im;
};

inline Split4 operator+(Split4 a, Split4 b) {
  return {_mm_add_ps(a.re, b.re), _mm_add_ps(a.im, b.im)};
}
inline Split4 operator-(Split4 a, Split4 b) {
  return {_mm_sub_ps(a.re, b.re), _mm_sub_ps(a.im, b.im)};
}

// w·b lane by lane: (Re w·Re b - Im w·Im b, Re w·Im b + Im w·Re b); the
// inverse takes the conjugate factor: (Re w·Re b + Im w·Im b,
// Re w·Im b - Im w·Re b).
template <Direction D>
Split4 Multiply(Split4 w, Split4 b) {
  const __m128 rr = _mm_mul_ps(w.re, b.re), ii = _mm_mul_ps(w.im, b.im);
  const __m128 ri = _mm_mul_ps(w.re, b.im), ir = _mm_mul_ps(w.im, b.re);
  if constexpr (D == Direction::kForward) return {_mm_sub_ps(rr, ii), _mm_add_ps(ri, ir)};
  return {_mm_add_ps(rr, ii), _mm_sub_ps(ri, ir)};
}

// d - i·v = (Re d + Im v, Im d - Re v) and d + i·v = (Re d - Im v, Im d + Re v).
inline Split4 MinusITimes(Split4 d, Split4 v) {
  return {_mm_add_ps(d.re, v.im), _mm_sub_ps(d.im, v.re)};
}
inline Split4 PlusITimes(Split4 d, Split4 v) {
  return {_mm_sub_ps(d.re, v.im), _mm_add_ps(d.im, v.re)};
}

// A group in the split-by-4 layout: four real parts, then four imaginary
// parts, 16-byte aligned.
inline Split4 LoadGroup(const float* p) { return {_mm_load_ps(p), _mm_load_ps(p + 4)}; }
inline void StoreGroup(float* p, Split4 v) {
  _mm_store_ps(p, v.re);
  _mm_store_ps(p + 4, v.im);
}

}  // namespace qvls::fft_radix
