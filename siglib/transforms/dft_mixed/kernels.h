// The mixed-radix DFT's butterflies, leaves and passes, one code over the
// arithmetic T: double in px and m6 (intermediates wider than single), float
// in a6 and w7 (every operation rounded to single). Every output and scratch
// value is stored as a single; the next pass reads it back. All variants
// form the same expressions in the same order.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/dft_mixed/dft_mixed.h"
#include "siglib/transforms/direction.h"
#include "siglib/transforms/small_kernels/kernel_bodies.h"

namespace qvls::dft_mixed {

using transforms::Direction;

// The butterflies' constants, each the single nearest its exact value:
// radix 3 (cos 120°, -sin 120°) and radix 5 (cos 72°, cos 144°, -sin 72°,
// -sin 144°).
inline constexpr float kC3 = small_kernels::kMinusHalf;
inline constexpr float kS3 = small_kernels::kMinusHalfSqrt3;
inline constexpr float kC1 = std::bit_cast<float>(0x3E9E377Au);
inline constexpr float kC2 = std::bit_cast<float>(0xBF4F1BBDu);
inline constexpr float kS1 = std::bit_cast<float>(0xBF737871u);
inline constexpr float kS2 = std::bit_cast<float>(0xBF167918u);
inline constexpr float kMinusS1 = std::bit_cast<float>(0x3F737871u);

using small_kernels::Complex;
using small_kernels::Element;
using small_kernels::MinusI;
using small_kernels::PlusI;
using small_kernels::PutElement;

// A real constant c times v.
template <class T>
Complex<T> Times(T c, Complex<T> v) {
  return {c * v.re, c * v.im};
}

// v times the table factor w (forward) or its conjugate (inverse).
template <class T, Direction D>
Complex<T> Twiddled(const float* twiddles, std::ptrdiff_t index, Complex<T> v) {
  const Complex<T> w = Element<T>(twiddles, index);
  if constexpr (D == Direction::kForward) {
    return {w.re * v.re - w.im * v.im, w.re * v.im + w.im * v.re};
  } else {
    return {w.re * v.re + w.im * v.im, w.re * v.im - w.im * v.re};
  }
}

// Where radix 5 adds t0: first in the leaves and at position 0 of a pass,
// last at the twiddled positions.
enum class T0 { kFirst, kLast };

// y = the DFT of length R of t (forward), or with e^(+2πi/R) (inverse: each
// conjugate pair of outputs exchanged).
template <class T, Direction D, int R, T0 O>
void Butterfly(const Complex<T> (&t)[R], Complex<T> (&y)[R]) {
  constexpr bool kForward = D == Direction::kForward;
  if constexpr (R == 2) {
    y[0] = t[0] + t[1];
    y[1] = t[0] - t[1];
  } else if constexpr (R == 3) {
    const Complex<T> s = t[1] + t[2], d = t[1] - t[2];
    y[0] = s + t[0];
    const Complex<T> a = t[0] + Times(T{kC3}, s);
    const Complex<T> e = Times(T{kS3}, d);
    y[1] = kForward ? a + PlusI(e) : a + MinusI(e);
    y[2] = kForward ? a + MinusI(e) : a + PlusI(e);
  } else if constexpr (R == 4) {
    const Complex<T> p = t[0] + t[2], q = t[1] + t[3], u = t[0] - t[2], v = t[1] - t[3];
    y[0] = p + q;
    y[2] = p - q;
    y[1] = kForward ? u + MinusI(v) : u + PlusI(v);
    y[3] = kForward ? u + PlusI(v) : u + MinusI(v);
  } else {
    static_assert(R == 5);
    const Complex<T> s14 = t[1] + t[4], d14 = t[1] - t[4], s23 = t[2] + t[3], d23 = t[2] - t[3];
    const Complex<T> c1s14 = Times(T{kC1}, s14), c2s23 = Times(T{kC2}, s23);
    const Complex<T> c2s14 = Times(T{kC2}, s14), c1s23 = Times(T{kC1}, s23);
    Complex<T> a1, a2;
    if constexpr (O == T0::kFirst) {
      y[0] = (t[0] + s14) + s23;
      a1 = (t[0] + c1s14) + c2s23;
      a2 = (t[0] + c2s14) + c1s23;
    } else {
      y[0] = (s14 + s23) + t[0];
      a1 = (c1s14 + c2s23) + t[0];
      a2 = (c2s14 + c1s23) + t[0];
    }
    const Complex<T> b1 = Times(T{kS1}, d14) + Times(T{kS2}, d23);
    const Complex<T> b2 = Times(T{kS2}, d14) + Times(T{kMinusS1}, d23);
    y[1] = kForward ? a1 + PlusI(b1) : a1 + MinusI(b1);
    y[4] = kForward ? a1 + MinusI(b1) : a1 + PlusI(b1);
    y[2] = kForward ? a2 + PlusI(b2) : a2 + MinusI(b2);
    y[3] = kForward ? a2 + MinusI(b2) : a2 + PlusI(b2);
  }
}

// The odd butterfly of a prime R > 5 on the inputs in(0..R-1), each read
// once and all before any output is stored. P = (R - 1)/2 pair records
// {Re s, Im s, Re d, Im d} of sm = tm + t(R-m) and dm = tm - t(R-m) go to
// the scratch as singles; Y0 = t0 + s1 + ... + sP (the sums as formed, from
// t0 in that order); then for j = 1..P, from the records, A = t0 + Σ Re
// W^(jm)·sm and B = Σ Im W^(jm)·dm in the order m = 1..P, Yj = A + i·B and
// Y(R-j) = A - i·B (exchanged inverse). The roots index steps by j, less R
// when it passes R. out(j, Yj) stores output j, Y0 first.
template <class T, Direction D, class In, class Out>
void OddButterfly(In in, std::int32_t r, const float* roots, float* scratch, Out out) {
  const std::int32_t p = (r - 1) / 2;
  const Complex<T> t0 = in(0);
  Complex<T> y0 = t0;
  for (std::int32_t m = 1; m <= p; ++m) {
    const Complex<T> tm = in(m), tr = in(r - m);
    const Complex<T> s = tm + tr, d = tm - tr;
    PutElement(scratch, 2 * (m - 1), s);
    PutElement(scratch, 2 * (m - 1) + 1, d);
    y0 = y0 + s;
  }
  out(0, y0);
  for (std::int32_t j = 1; j <= p; ++j) {
    Complex<T> a = t0, b = {T{0}, T{0}};
    std::int32_t index = j;
    for (std::int32_t m = 0; m < p; ++m) {
      const Complex<T> w = Element<T>(roots, index);
      a = a + Times(w.re, Element<T>(scratch, 2 * m));
      b = b + Times(w.im, Element<T>(scratch, 2 * m + 1));
      index += j;
      if (index >= r) index -= r;
    }
    constexpr bool kForward = D == Direction::kForward;
    out(j, kForward ? a + PlusI(b) : a + MinusI(b));
    out(r - j, kForward ? a + MinusI(b) : a + PlusI(b));
  }
}

// Leaf of length R (3 or 5) over b blocks of c butterflies.
template <class T, Direction D, int R>
void Leaf(const float* src, std::int32_t s, float* dst, std::int32_t c, std::int32_t b,
          const std::int32_t* offsets) {
  const std::ptrdiff_t step = std::ptrdiff_t{s} * c;
  for (std::ptrdiff_t j = 0; j < b; ++j) {
    const std::ptrdiff_t base = LoadAt(offsets, j);
    for (std::ptrdiff_t t = 0; t < c; ++t) {
      Complex<T> x[R], y[R];
      for (std::ptrdiff_t m = 0; m < R; ++m) x[m] = Element<T>(src, base + t * s + m * step);
      Butterfly<T, D, R, T0::kFirst>(x, y);
      for (std::ptrdiff_t k = 0; k < R; ++k) PutElement(dst, (j * c + t) * R + k, y[k]);
    }
  }
}

// Odd leaf of a prime L > 5 over one block of c butterflies.
template <class T, Direction D>
void LeafOdd(const float* src, std::int32_t s, float* dst, std::int32_t l, std::int32_t c,
             const dft_roots_table* roots, float* scratch) {
  const std::ptrdiff_t step = std::ptrdiff_t{s} * c;
  for (std::ptrdiff_t t = 0; t < c; ++t) {
    OddButterfly<T, D>([&](std::ptrdiff_t m) { return Element<T>(src, t * s + m * step); }, l,
                       dft::RootValues(roots), scratch,
                       [&](std::ptrdiff_t k, Complex<T> y) { PutElement(dst, t * l + k, y); });
  }
}

// Stage pass of radix R (2..5) over b blocks of R·n elements: at position k
// of a block, the inputs block[m·n + k] (m >= 1 times the twiddle of
// position k, none at k = 0) through the butterfly into block[j·n + k].
template <class T, Direction D, int R>
void Pass(const float* src, float* dst, std::int32_t n, std::int32_t b, const float* twiddles) {
  for (std::ptrdiff_t block = 0; block < b; ++block) {
    const std::ptrdiff_t base = block * R * n;
    for (std::ptrdiff_t k = 0; k < n; ++k) {
      Complex<T> x[R], y[R];
      x[0] = Element<T>(src, base + k);
      for (std::ptrdiff_t m = 1; m < R; ++m) {
        const Complex<T> v = Element<T>(src, base + m * n + k);
        x[m] = k == 0 ? v : Twiddled<T, D>(twiddles, k * (R - 1) + m - 1, v);
      }
      if (k == 0) {
        Butterfly<T, D, R, T0::kFirst>(x, y);
      } else {
        Butterfly<T, D, R, T0::kLast>(x, y);
      }
      for (std::ptrdiff_t j = 0; j < R; ++j) PutElement(dst, base + j * n + k, y[j]);
    }
  }
}

// Stage pass of a prime radix R > 5 over one block of R·n elements; the
// inputs m >= 1 twiddled by element m of the position's row.
template <class T, Direction D>
void PassOdd(const float* src, float* dst, std::int32_t r, std::int32_t n,
             const dft_roots_table* roots, const float* twiddles, float* scratch) {
  for (std::ptrdiff_t k = 0; k < n; ++k) {
    auto in = [&](std::ptrdiff_t m) {
      const Complex<T> v = Element<T>(src, m * n + k);
      return k == 0 ? v : Twiddled<T, D>(twiddles, k * r + m, v);
    };
    OddButterfly<T, D>(in, r, dft::RootValues(roots), scratch,
                       [&](std::ptrdiff_t j, Complex<T> y) { PutElement(dst, j * n + k, y); });
  }
}

inline constexpr Direction kForward = Direction::kForward;
inline constexpr Direction kInverse = Direction::kInverse;

}  // namespace qvls::dft_mixed

// The kernels of a variant in arithmetic T, named as their entries.
#define QVLS_DFT_LEAF_PARAMS                                                     \
  (const float* src, std::int32_t s, float* dst, std::int32_t c, std::int32_t b, \
   const std::int32_t* offsets)
#define QVLS_DFT_PASS_PARAMS \
  (const float* src, float* dst, std::int32_t n, std::int32_t b, const float* twiddles)

// Radix-R pass of variant `tag` in one direction (Fwd or Inv).
#define QVLS_DEFINE_DFT_RADIX_KERNEL(Dir, R, tag, T, direction)                        \
  void qvlsDFT##Dir##Radix##R##_cf32_##tag##_kernel QVLS_DFT_PASS_PARAMS {             \
    qvls::dft_mixed::Pass<T, qvls::dft_mixed::direction, R>(src, dst, n, b, twiddles); \
  }

// Every variant's leaves 3, 5 and odd and passes of radix 3, 5 and odd, both
// directions.
#define QVLS_DEFINE_DFT_MIXED_KERNELS(tag, T)                                                  \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Fwd, 3, tag, T, kForward)                                       \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Inv, 3, tag, T, kInverse)                                       \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Fwd, 5, tag, T, kForward)                                       \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Inv, 5, tag, T, kInverse)                                       \
  void qvlsDFTFwdLeaf3_cf32_##tag##_kernel QVLS_DFT_LEAF_PARAMS {                              \
    qvls::dft_mixed::Leaf<T, qvls::dft_mixed::kForward, 3>(src, s, dst, c, b, offsets);        \
  }                                                                                            \
  void qvlsDFTInvLeaf3_cf32_##tag##_kernel QVLS_DFT_LEAF_PARAMS {                              \
    qvls::dft_mixed::Leaf<T, qvls::dft_mixed::kInverse, 3>(src, s, dst, c, b, offsets);        \
  }                                                                                            \
  void qvlsDFTFwdLeaf5_cf32_##tag##_kernel QVLS_DFT_LEAF_PARAMS {                              \
    qvls::dft_mixed::Leaf<T, qvls::dft_mixed::kForward, 5>(src, s, dst, c, b, offsets);        \
  }                                                                                            \
  void qvlsDFTInvLeaf5_cf32_##tag##_kernel QVLS_DFT_LEAF_PARAMS {                              \
    qvls::dft_mixed::Leaf<T, qvls::dft_mixed::kInverse, 5>(src, s, dst, c, b, offsets);        \
  }                                                                                            \
  void qvlsDFTFwdLeafOdd_cf32_##tag##_kernel(const float* src, std::int32_t s, float* dst,     \
                                             std::int32_t l, std::int32_t c,                   \
                                             const dft_roots_table* roots, float* scratch) {   \
    qvls::dft_mixed::LeafOdd<T, qvls::dft_mixed::kForward>(src, s, dst, l, c, roots, scratch); \
  }                                                                                            \
  void qvlsDFTInvLeafOdd_cf32_##tag##_kernel(const float* src, std::int32_t s, float* dst,     \
                                             std::int32_t l, std::int32_t c,                   \
                                             const dft_roots_table* roots, float* scratch) {   \
    qvls::dft_mixed::LeafOdd<T, qvls::dft_mixed::kInverse>(src, s, dst, l, c, roots, scratch); \
  }                                                                                            \
  void qvlsDFTFwdRadixOdd_cf32_##tag##_kernel(const float* src, float* dst, std::int32_t r,    \
                                              std::int32_t n, const dft_roots_table* roots,    \
                                              const float* twiddles, float* scratch) {         \
    qvls::dft_mixed::PassOdd<T, qvls::dft_mixed::kForward>(src, dst, r, n, roots, twiddles,    \
                                                           scratch);                           \
  }                                                                                            \
  void qvlsDFTInvRadixOdd_cf32_##tag##_kernel(const float* src, float* dst, std::int32_t r,    \
                                              std::int32_t n, const dft_roots_table* roots,    \
                                              const float* twiddles, float* scratch) {         \
    qvls::dft_mixed::PassOdd<T, qvls::dft_mixed::kInverse>(src, dst, r, n, roots, twiddles,    \
                                                           scratch);                           \
  }

// A variant that runs only kernels of its own (a6, w7): all of them.
#define QVLS_DEFINE_DFT_MIXED_OWN_KERNELS(tag, T)        \
  QVLS_DEFINE_DFT_MIXED_KERNELS(tag, T)                  \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Fwd, 2, tag, T, kForward) \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Inv, 2, tag, T, kInverse) \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Fwd, 4, tag, T, kForward) \
  QVLS_DEFINE_DFT_RADIX_KERNEL(Inv, 4, tag, T, kInverse)
