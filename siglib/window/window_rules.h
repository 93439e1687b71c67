// The Hann and Hamming windows as every variant applies them: the argument
// checks, the generic double-precision algorithm (px and m6) and the
// single-precision one (a6 and w7) around the variant's four-pair step.
//
// With N = len and theta = 2 pi / (N - 1), the weight of element k is
// 0.5 (1 - cos k theta) (Hann) or 0.54 - 0.46 cos k theta (Hamming). The
// weights are symmetric; each is computed once, by a recurrence, and applied
// to the pair k, N - 1 - k, from the outside in. Every element is read
// before its own output is written and never after another output, so a
// destination equal to the source works, and the in-place operations are the
// out-of-place ones on one vector.
#pragma once

#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <numbers>

#include "siglib/frame/float_rounding.h"
#include "siglib/frame/integer_rules.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::window {

enum class Shape { kHann, kHamming };

// The checks, in their order; the in-place operations pass their one vector
// as both.
constexpr qvls_status Check(const std::int16_t* src, const std::int16_t* dst, std::int32_t len) {
  if (src == nullptr || dst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len < 3) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

template <class Kernel>
qvls_status Run(const std::int16_t* src, std::int16_t* dst, std::int32_t len, Kernel&& kernel) {
  if (const qvls_status status = Check(src, dst, len); status != QVLS_OK) return status;
  kernel(src, dst, len);
  return QVLS_OK;
}

inline constexpr double kTwoPi = 2 * std::numbers::pi;

// Hann of three elements: both ends have weight 0, the middle 1.
inline void HannOfThree(const std::int16_t* src, std::int16_t* dst) {
  const std::int16_t middle = LoadAt(src, 1);
  StoreAt<std::int16_t>(dst, 0, 0);
  StoreAt(dst, 1, middle);
  StoreAt<std::int16_t>(dst, 2, 0);
}

// The middle element of an odd length has weight 1: copied.
inline void CopyMiddle(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  if (len % 2 != 0) StoreAt(dst, len / 2, LoadAt(src, len / 2));
}

// ---- generic: double precision, rounding half away from zero ----------

template <Shape S>
double GenericWeight(double cosine) {
  if constexpr (S == Shape::kHann) return (1.0 - cosine) * 0.5;
  return cosine * -0.46 + 0.54;
}

inline void ApplyHalfAway(const std::int16_t* src, std::int16_t* dst, std::int32_t i, double w) {
  StoreAt(dst, i, Saturate16(RoundHalfAway(LoadAt(src, i) * w)));
}

// cos k theta by rotation: (U, V) turns by theta per pair, from (1, 0).
template <Shape S>
void Generic(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  if (S == Shape::kHann && len == 3) return HannOfThree(src, dst);
  const double theta = kTwoPi / (len - 1);
  const double c = std::cos(theta);
  const double s = std::sqrt(1.0 - c * c);
  double u = 1.0;
  double v = 0.0;
  const std::int32_t pairs = (len - 1) / 2;
  for (std::int32_t k = 0; k < pairs; ++k) {
    const double w = GenericWeight<S>(u);
    ApplyHalfAway(src, dst, k, w);
    ApplyHalfAway(src, dst, len - 1 - k, w);
    const double next_u = u * c - v * s;
    v = v * c + u * s;
    u = next_u;
  }
  if (len % 2 == 0) {
    const double w = GenericWeight<S>(u);  // the two middle elements share it
    ApplyHalfAway(src, dst, len / 2 - 1, w);
    ApplyHalfAway(src, dst, len / 2, w);
  }
  CopyMiddle(src, dst, len);
}

// ---- single precision: four pairs per step, rounding to nearest even --

// Y(k) approximates A cos k theta (A = 0.5 Hann, 0.46 Hamming); the weight
// is B - Y(k) with B = 0.5 or 0.54 in single precision.
struct Recurrence {
  float y[8];  // Y(0) .. Y(7), the lanes of the first two steps
  float d4;    // 2 cos 4 theta: Y(k + 4) = d4 Y(k) - Y(k - 4), lane by lane
  float b;
};

// The seeds, in double precision: Y(0) = A in single precision, Y(-1) =
// A cos theta, Y(k + 1) = 2 cos theta Y(k) - Y(k - 1), each lane rounded to
// single precision once.
template <Shape S>
Recurrence Seeds(std::int32_t len) {
  const double a = S == Shape::kHann ? 0.5 : 0.46;
  const double theta = kTwoPi * (1.0 / (len - 1));
  const double d1 = 2 * std::cos(theta);
  Recurrence r{};
  r.d4 = static_cast<float>(2 * std::cos(4 * theta));
  r.b = S == Shape::kHann ? 0.5f : 0.54f;
  r.y[0] = static_cast<float>(a);
  double previous = a * std::cos(theta);
  double current = r.y[0];
  for (int k = 0; k < 7; ++k) {
    const double next = d1 * current - previous;
    r.y[k + 1] = static_cast<float>(next);
    previous = current;
    current = next;
  }
  return r;
}

inline void ApplyHalfEven(const std::int16_t* src, std::int16_t* dst, std::int32_t i, double w) {
  StoreAt(dst, i, Saturate16(RoundHalfEven(LoadAt(src, i) * w)));
}

// P::Scale4(in, out, w): four samples at in times the four lanes of w,
// converted under the SIMD rounding mode with signed saturation, to out.
// P::Release(): ends the use of 64-bit packed registers where P used them.
template <Shape S, class P>
void SinglePrecision(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  if (S == Shape::kHann && len == 3) return HannOfThree(src, dst);
  const Recurrence r = Seeds<S>(len);
  __m128 low = _mm_loadu_ps(r.y);
  __m128 high = _mm_loadu_ps(r.y + 4);
  const __m128 d4 = _mm_set1_ps(r.d4);
  const __m128 b = _mm_set1_ps(r.b);
  const std::int32_t pairs = len / 2;
  std::int32_t k = 0;
  for (; pairs - k >= 4; k += 4) {
    const __m128 w = _mm_sub_ps(b, low);
    P::Scale4(src + k, dst + k, w);
    // The end side: x(N - 1 - k - i) takes w(i).
    P::Scale4(src + len - 4 - k, dst + len - 4 - k, _mm_shuffle_ps(w, w, _MM_SHUFFLE(0, 1, 2, 3)));
    const __m128 next = _mm_sub_ps(_mm_mul_ps(d4, high), low);
    low = high;
    high = next;
  }
  P::Release();
  // The last one to three pairs, from the lanes in order, in double precision.
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, low);
  for (std::int32_t i = 0; k + i < pairs; ++i) {
    const double w = static_cast<double>(r.b) - lanes[i];
    ApplyHalfEven(src, dst, k + i, w);
    ApplyHalfEven(src, dst, len - 1 - k - i, w);
  }
  CopyMiddle(src, dst, len);
}

}  // namespace qvls::window
