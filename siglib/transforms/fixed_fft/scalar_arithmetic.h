// Complex 32-bit arithmetic of the generic variant, one value at a time,
// with the rounded Q14 product and the generic eighth-turn butterfly. Every
// sum, difference, negation and product wraps modulo 2^32 through unsigned
// arithmetic.
#pragma once

#include <cstdint>

#include "siglib/frame/integer_rules.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::fixed_fft {

struct ScalarArithmetic {
  using Complex = qvls_ci32;

  static Complex Load(const std::int32_t* p) { return {LoadAt(p, 0), LoadAt(p, 1)}; }
  static void Store(std::int32_t* p, Complex z) {
    StoreAt(p, 0, z.re);
    StoreAt(p, 1, z.im);
  }

  static Complex Add(Complex a, Complex b) {
    return {WrapAdd32(a.re, b.re), WrapAdd32(a.im, b.im)};
  }
  static Complex Sub(Complex a, Complex b) {
    return {WrapSub32(a.re, b.re), WrapSub32(a.im, b.im)};
  }
  static Complex Neg(Complex z) { return {WrapSub32(0, z.re), WrapSub32(0, z.im)}; }
  // Each part halved, rounding toward minus infinity.
  static Complex Half(Complex z) { return {z.re >> 1, z.im >> 1}; }
  // (a.re, b.re) and (a.im, b.im).
  static Complex Lo(Complex a, Complex b) { return {a.re, b.re}; }
  static Complex Hi(Complex a, Complex b) { return {a.im, b.im}; }

  // prod(p, q; u, v), rounded.
  static std::int32_t Prod(std::int32_t p, std::int32_t q, std::int32_t u, std::int32_t v) {
    const std::int32_t low = (((p & 0xFFFF) >> 1) * u + ((q & 0xFFFF) >> 1) * v + 4096) >> 13;
    const std::int32_t high = WrapAdd32(WrapMul32(p >> 16, u), WrapMul32(q >> 16, v));
    return WrapAdd32(low, WrapShiftLeft32(high, 2));
  }

  // z by a twiddle record (cs, sn, -sn, cs).
  static Complex Rotate(Complex z, const std::int16_t* record) {
    return {Prod(z.re, z.im, LoadAt(record, 0), LoadAt(record, 1)),
            Prod(z.re, z.im, LoadAt(record, 2), LoadAt(record, 3))};
  }

  // The two rotated outputs of the eighth-turn butterfly, u·e^(-iπ/4) and
  // w·e^(-3iπ/4) with u = d0 - i·d1 and w = d0 + i·d1, each part one prod by
  // 11585: A4 = d0.re + d1.re is negated before it is split into halves.
  struct Turned {
    Complex u, w;
  };
  static Turned EighthTurn(Complex d0, Complex d1) {
    constexpr std::int32_t k = 11585;  // 16384 / sqrt 2
    const std::int32_t a1 = WrapSub32(d0.re, d1.re);
    const std::int32_t a2 = WrapAdd32(d0.im, d1.im);
    const std::int32_t a3 = WrapSub32(d0.im, d1.im);
    const std::int32_t minus_a4 = WrapSub32(0, WrapAdd32(d0.re, d1.re));
    return {{Prod(a1, a2, k, k), Prod(a3, minus_a4, k, k)},
            {Prod(a2, a1, k, -k), Prod(minus_a4, a3, k, -k)}};
  }

  static void Release() {}
};

}  // namespace qvls::fixed_fft
