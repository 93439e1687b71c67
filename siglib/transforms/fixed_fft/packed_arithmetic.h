// Complex 32-bit arithmetic of m6, a6 and w7: one complex value per 64-bit
// packed register (re in the low lane), wrapping lane arithmetic, and the
// truncating Q14 product as two packed multiply-adds, one over the upper and
// one over the lower 16-bit halves. The variants differ only in how they
// arrange those halves into word pairs (the Pairs policy); the words, and so
// the results, are the same.
#pragma once

#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "siglib/memory/vector_access.h"

namespace qvls::fixed_fft {

// The halves of two complex values p and q as multiply-add operands:
// high = [H(p.re), H(p.im), H(q.re), H(q.im)] and
// low = [L(p.re), L(p.im), L(q.re), L(q.im)], L unsigned and halved.
// Split(z) gives the halves of z twice, for a rotation.
struct Halves {
  __m64 high;
  __m64 low;
};

// m6: the word pairs by unpacking.
struct UnpackedPairs {
  static Halves Split(__m64 p, __m64 q) {
    const __m64 re = _mm_unpacklo_pi16(p, q);  // [p.re lo, q.re lo, p.re hi, q.re hi]
    const __m64 im = _mm_unpackhi_pi16(p, q);  // the same of the imaginary parts
    return {_mm_unpackhi_pi16(re, im), _mm_srli_pi16(_mm_unpacklo_pi16(re, im), 1)};
  }
  static Halves Split(__m64 z) { return Split(z, z); }
};

// a6 and w7: the word pairs by word shuffles.
struct ShuffledPairs {
  static Halves Split(__m64 p, __m64 q) {
    const __m64 ps = _mm_shuffle_pi16(p, _MM_SHUFFLE(3, 1, 2, 0));  // [re lo, im lo, re hi, im hi]
    const __m64 qs = _mm_shuffle_pi16(q, _MM_SHUFFLE(3, 1, 2, 0));
    return {_mm_unpackhi_pi32(ps, qs), _mm_srli_pi16(_mm_unpacklo_pi32(ps, qs), 1)};
  }
  static Halves Split(__m64 z) {
    return {_mm_shuffle_pi16(z, _MM_SHUFFLE(3, 1, 3, 1)),
            _mm_srli_pi16(_mm_shuffle_pi16(z, _MM_SHUFFLE(2, 0, 2, 0)), 1)};
  }
};

template <class Pairs>
struct PackedArithmetic {
  using Complex = __m64;

  static Complex Load(const std::int32_t* p) { return mmx::Get8(p); }
  static void Store(std::int32_t* p, Complex z) { mmx::Put8(p, z); }

  static Complex Add(Complex a, Complex b) { return _mm_add_pi32(a, b); }
  static Complex Sub(Complex a, Complex b) { return _mm_sub_pi32(a, b); }
  static Complex Neg(Complex z) { return _mm_sub_pi32(_mm_setzero_si64(), z); }
  static Complex Half(Complex z) { return _mm_srai_pi32(z, 1); }
  static Complex Lo(Complex a, Complex b) { return _mm_unpacklo_pi32(a, b); }
  static Complex Hi(Complex a, Complex b) { return _mm_unpackhi_pi32(a, b); }

  // [prod(p.re, p.im; c0, c1), prod(q.re, q.im; c2, c3)], truncating, for the
  // coefficient words c.
  static Complex Products(const Halves& h, __m64 c) {
    return _mm_add_pi32(_mm_srai_pi32(_mm_madd_pi16(h.low, c), 13),
                        _mm_slli_pi32(_mm_madd_pi16(h.high, c), 2));
  }

  static Complex Rotate(Complex z, const std::int16_t* record) {
    return Products(Pairs::Split(z), mmx::Get8(record));
  }

  // The eighth-turn outputs with A4 split before it is negated:
  // u·e^(-iπ/4) = (prod(A1, A2; K, K), prod(A4, A3; -K, K)) and
  // w·e^(-3iπ/4) = (prod(A2, A1; K, -K), prod(A4, A3; -K, -K)).
  struct Turned {
    Complex u, w;
  };
  static Turned EighthTurn(Complex d0, Complex d1) {
    constexpr std::int16_t k = 11585;               // 16384 / sqrt 2
    const __m64 sum = _mm_add_pi32(d0, d1);         // (A4, A2)
    const __m64 difference = _mm_sub_pi32(d0, d1);  // (A1, A3)
    const __m64 a2 = _mm_unpackhi_pi32(sum, sum);
    const __m64 a4a3 = _mm_unpacklo_pi32(sum, _mm_unpackhi_pi32(difference, difference));
    const __m64 a1a2 = _mm_unpacklo_pi32(difference, a2);
    const __m64 a2a1 = _mm_unpacklo_pi32(a2, difference);
    return {Products(Pairs::Split(a1a2, a4a3), _mm_setr_pi16(k, k, -k, k)),
            Products(Pairs::Split(a2a1, a4a3), _mm_setr_pi16(k, -k, -k, -k))};
  }

  static void Release() { _mm_empty(); }
};

using M6Arithmetic = PackedArithmetic<UnpackedPairs>;
using A6Arithmetic = PackedArithmetic<ShuffledPairs>;

}  // namespace qvls::fixed_fft
