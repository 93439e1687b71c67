// The element rules of add, subtract, multiply and absolute value, as every
// variant applies them one element at a time: px throughout, the SIMD
// variants in their heads, tails and short vectors. Also the argument checks
// and the scale factors from which every result is 0.
//
// Scale-factor rule: an exact intermediate x (a sum, a difference or a
// product) becomes x times 2^-sf, rounded to the nearest integer with ties to
// even, saturated to the destination type. It has four paths, chosen once
// per call by sf: 0 saturates; a positive sf rounds down; a negative one
// multiplies by 2^-sf while that can stay in range, and beyond it only the
// sign of x is left. Each path is a rule type below, so a kernel is chosen by
// overloading on it.
#pragma once

#include <cstdint>
#include <limits>

#include "siglib/frame/integer_rules.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::arith {

// Every operation's checks: each pointer in argument order is null -8, then
// len <= 0 -6.
template <class... Pointers>
constexpr qvls_status Check(std::int32_t len, const Pointers*... pointers) {
  if (((pointers == nullptr) || ...)) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  return QVLS_OK;
}

// From these scale factors on every result is 0, and the operations write
// their zeros through their column's zero operation: half of the largest
// magnitude of the exact intermediate rounds to 0 there.
inline constexpr std::int32_t kZeroFromAddSub16 = 17;   // |x| <= 2^16
inline constexpr std::int32_t kZeroFromAdd32 = 33;      // |x| <= 2^32
inline constexpr std::int32_t kZeroFromProduct16 = 31;  // |p| <= 2^30
inline constexpr std::int32_t kZeroFromComplex = 32;    // |part| <= 2^31
inline constexpr std::int32_t kZeroFromProduct32 = 63;  // |p| <= 2^62

// ---- the four paths of the scale-factor rule, for T = int16 or int32 -----

// sf = 0
template <class T>
struct SaturateRule {
  constexpr T operator()(std::int64_t x) const { return Saturate<T>(x); }
};

// 0 < sf < the operation's zero limit (at most 62): to nearest, ties to even.
template <class T>
struct ScaleDownRule {
  std::int32_t sf;
  constexpr T operator()(std::int64_t x) const { return Saturate<T>(ScaleDownHalfEven(x, sf)); }
};

// n = -sf, 1 <= n <= 31: x saturated, times 2^n, saturated again (which
// equals x times 2^n saturated).
template <class T>
struct ShiftLeftRule {
  std::int32_t n;
  constexpr T operator()(std::int64_t x) const {
    return Saturate<T>(std::int64_t{Saturate<T>(x)} * (std::int64_t{1} << n));
  }
};

// A left shift that takes any x other than 0 out of the range.
template <class T>
struct SignRule {
  constexpr T operator()(std::int64_t x) const {
    return x > 0 ? std::numeric_limits<T>::max() : (x < 0 ? std::numeric_limits<T>::min() : 0);
  }
};

// Calls run(rule) with the rule of sf's path: the shift for -sf up to
// largest_shift, the sign beyond. A positive sf must lie below the
// operation's zero limit (its short cut takes the rest).
template <class T, class Run>
void WithScaleRule(std::int32_t sf, std::int32_t largest_shift, Run&& run) {
  if (sf == 0) {
    run(SaturateRule<T>{});
  } else if (sf > 0) {
    run(ScaleDownRule<T>{sf});
  } else if (sf >= -largest_shift) {
    run(ShiftLeftRule<T>{-sf});
  } else {
    run(SignRule<T>{});
  }
}

// The largest shift of each operation's shift path. The rules of the two
// paths agree beyond it (every x but 0 saturates); the bounds choose which
// kernel runs.
inline constexpr std::int32_t kLargestShift16 = 15;
inline constexpr std::int32_t kLargestShiftAdd32 = 30;
inline constexpr std::int32_t kLargestShiftProduct32 = 31;

// ---- the intermediates ----------------------------------------------------

enum class Op { kAdd, kSub };

// What a kernel computes, by its operands; each column picks its kernels by
// it.
enum class Kind {
  kAddSub16,        // 16-bit additions and subtractions
  kAdd32,           // the 32-bit addition
  kProduct16,       // 16-bit products, by a constant or a vector
  kConstProduct32,  // the 32-bit product by a constant
  kProduct32,       // the 32-bit product of two vectors
  kComplex,         // the complex product
};

constexpr std::int64_t Combine(Op op, std::int64_t a, std::int64_t b) {
  return op == Op::kAdd ? a + b : a - b;
}

// The second operand: a vector, or the same value for every element.
template <class T>
struct VectorOperand {
  const T* p;
  T At(std::int32_t i) const { return LoadAt(p, i); }
};
template <class T>
struct ConstantOperand {
  T value;
  T At(std::int32_t) const { return value; }
};

template <class B>
inline constexpr bool kIsVector = false;
template <class T>
inline constexpr bool kIsVector<VectorOperand<T>> = true;

// d[i] = a[i] op b[i], then the rule. In place a and d are the same vector;
// the three-vector subtraction has a = srcB, b = srcA.
template <class T, Op kOperation, class B>
struct AddSubOperands {
  static constexpr Op kOp = kOperation;
  static constexpr Kind kKind = sizeof(T) == 2 ? Kind::kAddSub16 : Kind::kAdd32;
  using Result = T;
  const T* a;
  B b;
  T* d;

  template <class Rule>
  void Single(const Rule& rule, std::int32_t i) const {
    StoreAt(d, i, rule(Combine(kOp, LoadAt(a, i), b.At(i))));
  }
};

// d[i] = a[i] * b[i], the product exact in 64 bits, then the rule.
template <class T, class Y>
struct ProductOperands {
  static constexpr Kind kKind =
      sizeof(T) == 2 ? Kind::kProduct16 : (kIsVector<Y> ? Kind::kProduct32 : Kind::kConstProduct32);
  using Result = T;
  const T* a;
  Y b;
  T* d;

  template <class Rule>
  void Single(const Rule& rule, std::int32_t i) const {
    StoreAt(d, i, rule(std::int64_t{LoadAt(a, i)} * b.At(i)));
  }
};

// The exact complex product (a + ib)(c + id), both parts at most 2^31 in
// magnitude.
struct ComplexProduct {
  std::int64_t re;
  std::int64_t im;
};
constexpr ComplexProduct Multiply(qvls_ci16 s, qvls_ci16 t) {
  return {std::int64_t{s.re} * t.re - std::int64_t{s.im} * t.im,
          std::int64_t{s.re} * t.im + std::int64_t{s.im} * t.re};
}

// srcdst[i] = src[i] * srcdst[i], each part by the rule, the real part
// stored first; both parts come from the values read before either is
// stored. As two operands: a = src, b = srcdst, d = srcdst.
struct ComplexOperands {
  static constexpr Kind kKind = Kind::kComplex;
  using Result = std::int16_t;  // of each part
  const qvls_ci16* a;
  VectorOperand<qvls_ci16> b;
  qvls_ci16* d;

  template <class Rule>
  void Single(const Rule& rule, std::int32_t i) const {
    const ComplexProduct p = Multiply(LoadAt(a, i), b.At(i));
    StoreAt(d, i, qvls_ci16{rule(p.re), rule(p.im)});
  }
};

// The absolute value, with -32768 saturated to 32767.
constexpr std::int16_t Abs16(std::int16_t x) {
  if (x >= 0) return x;
  return x == std::numeric_limits<std::int16_t>::min() ? 32767 : static_cast<std::int16_t>(-x);
}

// ---- element loops ----------------------------------------------------------

// operands.Single(rule, i) for i in [begin, end).
template <class Operands, class Rule>
void Singles(const Operands& operands, const Rule& rule, std::int32_t begin, std::int32_t end) {
  for (std::int32_t i = begin; i < end; ++i) operands.Single(rule, i);
}

}  // namespace qvls::arith
