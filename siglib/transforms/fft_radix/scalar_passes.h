// The radix passes of px and m6, in place on interleaved data in bit-reversed
// order: the 4-point pass, a radix-2 pass for odd orders, and radix-4 passes
// of growing span (decimation in time). Each pass loads single-precision
// elements, combines them in double and stores single-precision results.
//
// The twiddle table has records of six floats, W^k, W^2k, W^3k of order n.
// The radix-2 pass and the span-4 pass read one record and take their other
// factors by symmetry; the j = 0 butterfly of every pass has no products.
#pragma once

#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/direction.h"
#include "siglib/transforms/fft_context/fft_tables.h"

namespace qvls::fft_radix {

using transforms::Direction;

struct Wide {
  double re, im;
};
inline Wide operator+(Wide a, Wide b) { return {a.re + b.re, a.im + b.im}; }
inline Wide operator-(Wide a, Wide b) { return {a.re - b.re, a.im - b.im}; }

inline Wide Get(const float* x, std::int32_t i) { return {LoadAt(x, 2 * i), LoadAt(x, 2 * i + 1)}; }
inline void Put(float* x, std::int32_t i, Wide v) {
  StoreAt(x, 2 * i, static_cast<float>(v.re));
  StoreAt(x, 2 * i + 1, static_cast<float>(v.im));
}

// w·b, or conj(w)·b for the inverse.
template <Direction D>
Wide Multiply(Wide w, Wide b) {
  if constexpr (D == Direction::kForward) {
    return {w.re * b.re - w.im * b.im, w.re * b.im + w.im * b.re};
  }
  return {w.re * b.re + w.im * b.im, w.re * b.im - w.im * b.re};
}
// -i·v forward, +i·v inverse, without arithmetic.
template <Direction D>
Wide Quarter(Wide v) {
  if constexpr (D == Direction::kForward) return {v.im, -v.re};
  return {-v.im, v.re};
}
// v·(r, -r) forward and v·(r, r) inverse (the eighth turn, r = cos π/4).
template <Direction D>
Wide EighthTurn(Wide v, double r) {
  if constexpr (D == Direction::kForward) return {r * (v.re + v.im), r * (v.im - v.re)};
  return {r * (v.re - v.im), r * (v.re + v.im)};
}
// v·(q, q) forward and v·(q, -q) inverse (three eighth turns, q = -cos π/4).
template <Direction D>
Wide ThreeEighths(Wide v, double q) {
  if constexpr (D == Direction::kForward) return {q * (v.re - v.im), q * (v.re + v.im)};
  return {q * (v.re + v.im), q * (v.im - v.re)};
}

template <Direction D>
void FourPointPass(float* x, std::int32_t n) {
  for (std::int32_t g = 0; g < n; g += 4) {
    const Wide y0 = Get(x, g), y1 = Get(x, g + 1), y2 = Get(x, g + 2), y3 = Get(x, g + 3);
    const Wide a = y0 + y1, b = y0 - y1, c = y2 + y3, d = y2 - y3;
    const Wide turned = Quarter<D>(d);  // -i·d forward
    Put(x, g, a + c);
    Put(x, g + 1, b + turned);
    Put(x, g + 2, a - c);
    Put(x, g + 3, b - turned);
  }
}

// Blocks of 8: y(j) ± W8^j·y(j+4), W8 from record n/8 as (p, q).
template <Direction D>
void Radix2Pass(float* x, std::int32_t n, const float* table) {
  const double p = table[float_fft::kRecordFloats * (n / 8)];
  const double q = table[float_fft::kRecordFloats * (n / 8) + 1];
  for (std::int32_t g = 0; g < n; g += 8) {
    const Wide t[4] = {Get(x, g + 4), EighthTurn<D>(Get(x, g + 5), p), Quarter<D>(Get(x, g + 6)),
                       ThreeEighths<D>(Get(x, g + 7), q)};
    for (std::int32_t j = 0; j < 4; ++j) {
      const Wide y = Get(x, g + j);
      Put(x, g + j, y + t[j]);
      Put(x, g + j + 4, y - t[j]);
    }
  }
}

// The radix-4 butterfly of one j: b0 and the three products t1 = W^2j·b1,
// t2 = W^j·b2, t3 = W^3j·b3 (the quarter at offset L takes the square).
template <Direction D>
void Butterfly(float* x, std::int32_t i, std::int32_t span, Wide t1, Wide t2, Wide t3) {
  const Wide b0 = Get(x, i);
  const Wide s = b0 + t1, d = b0 - t1, u = t2 + t3, v = t2 - t3;
  const Wide turned = Quarter<D>(v);  // -i·v forward
  Put(x, i, s + u);
  Put(x, i + span, d + turned);
  Put(x, i + 2 * span, s - u);
  Put(x, i + 3 * span, d - turned);
}

// Span 4 from record n/16, w1..w3 = W16, W16^2, W16^3 as (r1, i1), (r2, i2),
// (r3, i3); W16^4 = -i, W16^6 = (i2, i2) and W16^9 = (i3, r3) by symmetry.
template <Direction D>
void Span4Pass(float* x, std::int32_t n, const float* table) {
  const float* record = table + float_fft::kRecordFloats * (n / 16);
  const Wide w1 = {record[0], record[1]}, w3 = {record[4], record[5]};
  const double r2 = record[2], i2 = record[3];
  const Wide w9 = {record[5], record[4]};
  for (std::int32_t g = 0; g < n; g += 16) {
    Butterfly<D>(x, g, 4, Get(x, g + 4), Get(x, g + 8), Get(x, g + 12));
    Butterfly<D>(x, g + 1, 4, EighthTurn<D>(Get(x, g + 5), r2), Multiply<D>(w1, Get(x, g + 9)),
                 Multiply<D>(w3, Get(x, g + 13)));
    Butterfly<D>(x, g + 2, 4, Quarter<D>(Get(x, g + 6)), EighthTurn<D>(Get(x, g + 10), r2),
                 ThreeEighths<D>(Get(x, g + 14), i2));
    Butterfly<D>(x, g + 3, 4, ThreeEighths<D>(Get(x, g + 7), i2), Multiply<D>(w3, Get(x, g + 11)),
                 Multiply<D>(w9, Get(x, g + 15)));
  }
}

// Span L >= 8: butterfly j reads record j·n/(4L).
template <Direction D>
void Radix4Pass(float* x, std::int32_t n, std::int32_t span, const float* table) {
  const std::int32_t block = 4 * span;
  for (std::int32_t g = 0; g < n; g += block) {
    Butterfly<D>(x, g, span, Get(x, g + span), Get(x, g + 2 * span), Get(x, g + 3 * span));
  }
  const std::int32_t stride = n / block;
  for (std::int32_t j = 1; j < span; ++j) {
    const float* record = table + float_fft::kRecordFloats * (j * stride);
    const Wide w1 = {record[0], record[1]}, w2 = {record[2], record[3]},
               w3 = {record[4], record[5]};
    for (std::int32_t i = j; i < n; i += block) {
      Butterfly<D>(x, i, span, Multiply<D>(w2, Get(x, i + span)),
                   Multiply<D>(w1, Get(x, i + 2 * span)), Multiply<D>(w3, Get(x, i + 3 * span)));
    }
  }
}

// n = 4..1024 elements in bit-reversed order; the transform in natural
// order, in place.
template <Direction D>
void ScalarPasses(float* x, std::int32_t n, const float* table) {
  FourPointPass<D>(x, n);
  std::int32_t span = 4;
  if ((n & 0xAAAAAAAA) != 0) {  // odd order
    if (n >= 8) Radix2Pass<D>(x, n, table);
    span = 8;
  } else if (n >= 16) {
    Span4Pass<D>(x, n, table);
    span = 16;
  }
  for (; 4 * span <= n; span *= 4) Radix4Pass<D>(x, n, span, table);
}

}  // namespace qvls::fft_radix
