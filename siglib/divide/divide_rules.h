// Division by a constant as every variant applies it: the argument checks,
// the scaled reciprocal formed once per call, the rounding of each product,
// and the split of a vector between the a6 and w7 block and single-element
// kernels.
//
// Rule: each element x becomes y = x * h with h = (1 / value) * 2^-sf, y
// rounded to the nearest integer (ties to even) and limited to 16 bits; px
// and m6 form h and y in double precision, a6 and w7 in single precision.
#pragma once

#include <cmath>
#include <cstdint>

#include "siglib/frame/float_rounding.h"
#include "siglib/frame/types.h"
#include "siglib/frame/unaligned.h"

namespace qvls::divide {

// Scale factors beyond +-40 give the results of +-40: from 16 up every
// quotient rounds to 0, from -31 down every nonzero quotient saturates. The
// clamp keeps the factor 2^-sf finite and nonzero in single precision, so an
// element 0 stays 0 for every sf (0 times an infinite factor is not a number).
inline constexpr std::int32_t kScaleLimit = 40;

constexpr std::int32_t ClampedScale(std::int32_t sf) {
  return sf > kScaleLimit ? kScaleLimit : (sf < -kScaleLimit ? -kScaleLimit : sf);
}

// The divisor: the low 16 bits of the argument.
constexpr std::int16_t Divisor(std::int32_t value) { return static_cast<std::int16_t>(value); }

// The checks of every variant, in their order.
constexpr qvls_status Check(const std::int16_t* srcdst, std::int32_t len, std::int32_t value) {
  if (srcdst == nullptr) return QVLS_ERR_NULL_POINTER;
  if (len <= 0) return QVLS_ERR_DATA_SIZE;
  if (Divisor(value) == 0) return QVLS_ERR_DIV_BY_ZERO;
  return QVLS_OK;
}

// h = (1 / divisor) * 2^-sf in the precision Real (double or float); the
// power of two is exact, so only the reciprocal is rounded.
template <class Real>
Real ScaledReciprocal(std::int32_t value, std::int32_t sf) {
  const Real reciprocal = Real{1} / static_cast<Real>(Divisor(value));
  return reciprocal * std::ldexp(Real{1}, -ClampedScale(sf));
}

// y rounded to the nearest integer, ties to even, limited to 16 bits.
inline std::int16_t RoundSaturate(double y) {
  if (y >= 32767.0) return 32767;
  if (y <= -32768.0) return -32768;
  return static_cast<std::int16_t>(RoundHalfEven(y));
}

// One element at a time: y = x * h in the precision of h.
template <class Real>
void SingleElements(std::int16_t* p, std::int32_t n, Real h) {
  for (std::int32_t i = 0; i < n; ++i) {
    const Real y = static_cast<Real>(LoadAt(p, i)) * h;
    StoreAt(p, i, RoundSaturate(y));
  }
}

// The a6 and w7 split: single elements up to a 32-byte boundary, the block
// kernel on the largest multiple of 16 elements from there, single elements
// for the rest. Short vectors, odd addresses and |sf| >= 15 (where a product
// may leave the 32-bit range of the block kernel's conversion) take single
// elements throughout.
inline constexpr std::int32_t kBlock = 16;

template <class BlockKernel>
qvls_status RunSplit(std::int32_t value, std::int16_t* srcdst, std::int32_t len, std::int32_t sf,
                     BlockKernel&& blocks) {
  if (const qvls_status status = Check(srcdst, len, value); status != QVLS_OK) return status;
  const float h = ScaledReciprocal<float>(value, sf);
  const auto address = reinterpret_cast<std::uintptr_t>(srcdst);
  if (len < 2 * kBlock || sf >= 15 || sf <= -15 || address % 2 != 0) {
    SingleElements(srcdst, len, h);
    return QVLS_OK;
  }
  const auto to_boundary = static_cast<std::int32_t>((32 - address % 32) % 32 / 2);
  const std::int32_t head = to_boundary < len ? to_boundary : len;
  const std::int32_t body = (len - head) / kBlock * kBlock;
  SingleElements(srcdst, head, h);
  blocks(srcdst + head, body, h);
  SingleElements(srcdst + head + body, len - head - body, h);
  return QVLS_OK;
}

}  // namespace qvls::divide
