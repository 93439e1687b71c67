// The small kernels' steps, one code over the arithmetic type T: double in
// px and m6 (every intermediate wider than single, rounded when stored),
// float in a6 and w7 (every operation rounded to single). Each kernel loads
// all its input before it stores anything, so src may equal dst. `Scale` is
// Unscaled or Scaled<T>: a scaled kernel multiplies the values its first step
// forms, so the result is multiplied by s exactly once.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "siglib/frame/unaligned.h"
#include "siglib/transforms/direction.h"

namespace qvls::small_kernels {

using transforms::Direction;

// sqrt(1/2) and the 3-point constants, each the single nearest the exact value.
inline constexpr float kHalfSqrt2 = std::bit_cast<float>(0x3F3504F3u);
inline constexpr float kMinusHalf = std::bit_cast<float>(0xBF000000u);
inline constexpr float kMinusHalfSqrt3 = std::bit_cast<float>(0xBF5DB3D7u);

template <class T>
struct Complex {
  T re, im;
};
template <class T>
Complex<T> operator+(Complex<T> a, Complex<T> b) {
  return {a.re + b.re, a.im + b.im};
}
template <class T>
Complex<T> operator-(Complex<T> a, Complex<T> b) {
  return {a.re - b.re, a.im - b.im};
}
// -i·w = (w.im, -w.re) and +i·w = (-w.im, w.re), without arithmetic.
template <class T>
Complex<T> MinusI(Complex<T> w) {
  return {w.im, -w.re};
}
template <class T>
Complex<T> PlusI(Complex<T> w) {
  return {-w.im, w.re};
}
// -i·w forward, +i·w inverse: the quarter turn of the transform's direction.
template <Direction D, class T>
Complex<T> Quarter(Complex<T> w) {
  return D == Direction::kForward ? MinusI(w) : PlusI(w);
}

struct Unscaled {
  template <class T>
  T operator()(T x) const {
    return x;
  }
};
template <class T>
struct Scaled {
  T s;
  T operator()(T x) const { return x * s; }
  Complex<T> operator()(Complex<T> z) const { return {z.re * s, z.im * s}; }
};

template <class T>
T Sample(const float* src, std::ptrdiff_t i) {
  return static_cast<T>(LoadAt(src, i));
}
template <class T>
Complex<T> Element(const float* src, std::ptrdiff_t i) {
  return {Sample<T>(src, 2 * i), Sample<T>(src, 2 * i + 1)};
}
template <class T>
void PutSample(float* dst, std::ptrdiff_t i, T x) {
  StoreAt(dst, i, static_cast<float>(x));
}
template <class T>
void PutElement(float* dst, std::ptrdiff_t i, Complex<T> z) {
  PutSample(dst, 2 * i, z.re);
  PutSample(dst, 2 * i + 1, z.im);
}

// Length 1, unscaled: the element's bits moved as 32-bit words (NaN payloads
// and signed zeros kept).
inline void CopyWords(const float* src, float* dst, std::int32_t words) {
  const auto* from = reinterpret_cast<const std::uint32_t*>(src);
  auto* to = reinterpret_cast<std::uint32_t*>(dst);
  std::uint32_t w[2];
  for (std::int32_t i = 0; i < words; ++i) w[i] = LoadAt(from, i);
  for (std::int32_t i = 0; i < words; ++i) StoreAt(to, i, w[i]);
}

template <class T>
void Complex1Scaled(const float* src, float* dst, float s) {
  PutElement(dst, 0, Scaled<T>{s}(Element<T>(src, 0)));
}
template <class T>
void Real1Scaled(const float* src, float* dst, float s) {
  PutSample(dst, 0, Scaled<T>{s}(Sample<T>(src, 0)));
}

// Z0 = z0 + z1, Z1 = z0 - z1, both directions.
template <class T, class Scale>
void Complex2(const float* src, float* dst, Scale scale) {
  const Complex<T> z0 = Element<T>(src, 0), z1 = Element<T>(src, 1);
  const Complex<T> sum = scale(z0 + z1), difference = scale(z0 - z1);
  PutElement(dst, 0, sum);
  PutElement(dst, 1, difference);
}

// {x0 + x1, x0 - x1} = {X0, X1}.
template <class T, class Scale>
void Real2(const float* src, float* dst, Scale scale) {
  const T x0 = Sample<T>(src, 0), x1 = Sample<T>(src, 1);
  const T sum = scale(x0 + x1), difference = scale(x0 - x1);
  PutSample(dst, 0, sum);
  PutSample(dst, 1, difference);
}

// p = z1 + z2, q = z1 - z2; Z0 = z0 + p; m = p·c1 + z0, e = q·c2; forward
// Z1 = m + i·e, Z2 = m - i·e (inverse exchanged).
template <class T, Direction D, class Scale>
void Complex3(const float* src, float* dst, Scale scale) {
  const Complex<T> z1 = Element<T>(src, 1), z2 = Element<T>(src, 2);
  const Complex<T> z0 = scale(Element<T>(src, 0));
  const Complex<T> p = scale(z1 + z2), q = scale(z1 - z2);
  const T c1 = kMinusHalf, c2 = kMinusHalfSqrt3;
  const Complex<T> m = {p.re * c1 + z0.re, p.im * c1 + z0.im};
  const Complex<T> e = {q.re * c2, q.im * c2};
  const Complex<T> lower = {m.re - e.im, m.im + e.re};  // m + i·e
  const Complex<T> upper = {m.re + e.im, m.im - e.re};  // m - i·e
  PutElement(dst, 0, z0 + p);
  PutElement(dst, 1, D == Direction::kForward ? lower : upper);
  PutElement(dst, 2, D == Direction::kForward ? upper : lower);
}

// a = z0 + z2, b = z1 + z3, c = z0 - z2, d = z1 - z3; Z0 = a + b, Z2 = a - b,
// forward Z1 = c - i·d, Z3 = c + i·d (inverse exchanged).
template <class T, Direction D, class Scale>
void Complex4(const float* src, float* dst, Scale scale) {
  const Complex<T> z0 = Element<T>(src, 0), z1 = Element<T>(src, 1), z2 = Element<T>(src, 2),
                   z3 = Element<T>(src, 3);
  const Complex<T> a = scale(z0 + z2), b = scale(z1 + z3), c = scale(z0 - z2), d = scale(z1 - z3);
  const Complex<T> turned = Quarter<D>(d);
  PutElement(dst, 0, a + b);
  PutElement(dst, 1, c + turned);
  PutElement(dst, 2, a - b);
  PutElement(dst, 3, c - turned);
}

// One radix-2 step in frequency (a_j = z_j + z_(j+4), b_j = z_j - z_(j+4)),
// the 4-point transform of a into the even bins, and of b, turned by the
// eighth turns, into the odd bins.
template <class T, Direction D, class Scale>
void Complex8(const float* src, float* dst, Scale scale) {
  Complex<T> z[8];
  for (std::int32_t j = 0; j < 8; ++j) z[j] = Element<T>(src, j);
  Complex<T> a[4], b[4];
  for (std::int32_t j = 0; j < 4; ++j) {
    a[j] = scale(z[j] + z[j + 4]);
    b[j] = scale(z[j] - z[j + 4]);
  }
  const T h = kHalfSqrt2, minus_h = -kHalfSqrt2;
  const Complex<T> e = a[0] + a[2], f = a[1] + a[3], g = a[0] - a[2], k = a[1] - a[3];
  const Complex<T> turned_k = Quarter<D>(k);
  const Complex<T> turned_b2 = Quarter<D>(b[2]), turned_b3 = Quarter<D>(b[3]);
  const Complex<T> p = b[0] + turned_b2, q = b[0] - turned_b2;
  const Complex<T> u = b[1] + turned_b3, v = b[1] - turned_b3;
  Complex<T> w, y;
  if constexpr (D == Direction::kForward) {
    w = {(u.re + u.im) * h, (u.im - u.re) * h};              // u·e^(-iπ/4)
    y = {(v.re - v.im) * minus_h, (v.re + v.im) * minus_h};  // v·e^(-3iπ/4)
  } else {
    w = {(u.re - u.im) * h, (u.im + u.re) * h};              // u·e^(+iπ/4)
    y = {(v.re + v.im) * minus_h, (v.im - v.re) * minus_h};  // v·e^(+3iπ/4)
  }
  PutElement(dst, 0, e + f);
  PutElement(dst, 1, p + w);
  PutElement(dst, 2, g + turned_k);
  PutElement(dst, 3, q + y);
  PutElement(dst, 4, e - f);
  PutElement(dst, 5, p - w);
  PutElement(dst, 6, g - turned_k);
  PutElement(dst, 7, q - y);
}

// a = x0 + x2, b = x3 + x1, c = x0 - x2, d = x3 - x1: {a + b, a - b, c, d}.
template <class T, class Scale>
void Real4(const float* src, float* dst, Scale scale) {
  const T x0 = Sample<T>(src, 0), x1 = Sample<T>(src, 1), x2 = Sample<T>(src, 2),
          x3 = Sample<T>(src, 3);
  const T a = scale(x0 + x2), b = scale(x3 + x1), c = scale(x0 - x2), d = scale(x3 - x1);
  PutSample(dst, 0, a + b);
  PutSample(dst, 1, a - b);
  PutSample(dst, 2, c);
  PutSample(dst, 3, d);
}

// a_j = x_j + x_(j+4), b_j = x_j - x_(j+4); e = a0 + a2, f = a1 + a3,
// g = (b1 - b3)·h, k = (b1 + b3)·(-h).
template <class T, class Scale>
void Real8(const float* src, float* dst, Scale scale) {
  T x[8];
  for (std::int32_t j = 0; j < 8; ++j) x[j] = Sample<T>(src, j);
  T a[4], b[4];
  for (std::int32_t j = 0; j < 4; ++j) {
    a[j] = scale(x[j] + x[j + 4]);
    b[j] = scale(x[j] - x[j + 4]);
  }
  const T h = kHalfSqrt2, minus_h = -kHalfSqrt2;
  const T e = a[0] + a[2], f = a[1] + a[3];
  const T g = (b[1] - b[3]) * h, k = (b[1] + b[3]) * minus_h;
  const T out[8] = {e + f, e - f, b[0] + g, k - b[2], a[0] - a[2], a[3] - a[1], b[0] - g, b[2] + k};
  for (std::int32_t j = 0; j < 8; ++j) PutSample(dst, j, out[j]);
}

inline constexpr Direction kForward = Direction::kForward;
inline constexpr Direction kInverse = Direction::kInverse;

}  // namespace qvls::small_kernels

// The scaled kernels of lengths 1 and 2 (complex) that px and a6 have, in
// arithmetic T.
#define QVLS_DEFINE_SHORT_SCALED_KERNELS(tag, T)                                   \
  void qvlsDFT1_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) {    \
    qvls::small_kernels::Complex1Scaled<T>(src, dst, s);                           \
  }                                                                                \
  void qvlsDFT1_f32_sc_##tag##_kernel(const float* src, float* dst, float s) {     \
    qvls::small_kernels::Real1Scaled<T>(src, dst, s);                              \
  }                                                                                \
  void qvlsDFT2_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) {    \
    qvls::small_kernels::Complex2<T>(src, dst, qvls::small_kernels::Scaled<T>{s}); \
  }

// The 17 kernels that px (serving m6), a6 and w7 each have, in arithmetic T.
#define QVLS_DEFINE_SMALL_KERNELS(tag, T)                                          \
  void qvlsDFT3Fwd_cf32_##tag##_kernel(const float* src, float* dst) {             \
    using namespace qvls::small_kernels;                                           \
    Complex3<T, kForward>(src, dst, Unscaled{});                                   \
  }                                                                                \
  void qvlsDFT3Inv_cf32_##tag##_kernel(const float* src, float* dst) {             \
    using namespace qvls::small_kernels;                                           \
    Complex3<T, kInverse>(src, dst, Unscaled{});                                   \
  }                                                                                \
  void qvlsDFT4Fwd_cf32_##tag##_kernel(const float* src, float* dst) {             \
    using namespace qvls::small_kernels;                                           \
    Complex4<T, kForward>(src, dst, Unscaled{});                                   \
  }                                                                                \
  void qvlsDFT4Inv_cf32_##tag##_kernel(const float* src, float* dst) {             \
    using namespace qvls::small_kernels;                                           \
    Complex4<T, kInverse>(src, dst, Unscaled{});                                   \
  }                                                                                \
  void qvlsDFT8Fwd_cf32_##tag##_kernel(const float* src, float* dst) {             \
    using namespace qvls::small_kernels;                                           \
    Complex8<T, kForward>(src, dst, Unscaled{});                                   \
  }                                                                                \
  void qvlsDFT8Inv_cf32_##tag##_kernel(const float* src, float* dst) {             \
    using namespace qvls::small_kernels;                                           \
    Complex8<T, kInverse>(src, dst, Unscaled{});                                   \
  }                                                                                \
  void qvlsDFT4Fwd_f32_##tag##_kernel(const float* src, float* dst) {              \
    using namespace qvls::small_kernels;                                           \
    Real4<T>(src, dst, Unscaled{});                                                \
  }                                                                                \
  void qvlsDFT8Fwd_f32_##tag##_kernel(const float* src, float* dst) {              \
    using namespace qvls::small_kernels;                                           \
    Real8<T>(src, dst, Unscaled{});                                                \
  }                                                                                \
  void qvlsDFT3Fwd_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) { \
    using namespace qvls::small_kernels;                                           \
    Complex3<T, kForward>(src, dst, Scaled<T>{s});                                 \
  }                                                                                \
  void qvlsDFT3Inv_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) { \
    using namespace qvls::small_kernels;                                           \
    Complex3<T, kInverse>(src, dst, Scaled<T>{s});                                 \
  }                                                                                \
  void qvlsDFT4Fwd_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) { \
    using namespace qvls::small_kernels;                                           \
    Complex4<T, kForward>(src, dst, Scaled<T>{s});                                 \
  }                                                                                \
  void qvlsDFT4Inv_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) { \
    using namespace qvls::small_kernels;                                           \
    Complex4<T, kInverse>(src, dst, Scaled<T>{s});                                 \
  }                                                                                \
  void qvlsDFT8Fwd_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) { \
    using namespace qvls::small_kernels;                                           \
    Complex8<T, kForward>(src, dst, Scaled<T>{s});                                 \
  }                                                                                \
  void qvlsDFT8Inv_cf32_sc_##tag##_kernel(const float* src, float* dst, float s) { \
    using namespace qvls::small_kernels;                                           \
    Complex8<T, kInverse>(src, dst, Scaled<T>{s});                                 \
  }                                                                                \
  void qvlsDFT2_f32_sc_##tag##_kernel(const float* src, float* dst, float s) {     \
    using namespace qvls::small_kernels;                                           \
    Real2<T>(src, dst, Scaled<T>{s});                                              \
  }                                                                                \
  void qvlsDFT4Fwd_f32_sc_##tag##_kernel(const float* src, float* dst, float s) {  \
    using namespace qvls::small_kernels;                                           \
    Real4<T>(src, dst, Scaled<T>{s});                                              \
  }                                                                                \
  void qvlsDFT8Fwd_f32_sc_##tag##_kernel(const float* src, float* dst, float s) {  \
    using namespace qvls::small_kernels;                                           \
    Real8<T>(src, dst, Scaled<T>{s});                                              \
  }
