// The absolute value in packed registers: a mask that is all ones in every
// negative element (an arithmetic shift right by 15), then (x XOR mask) minus
// mask with signed saturation. For a negative x that is (NOT x) + 1 = -x, and
// for -32768 the saturating subtraction stops at 32767; other elements stay.
// Single elements (up to the boundary, and at the end) follow Abs16.
#pragma once

#include <emmintrin.h>
#include <mmintrin.h>

#include <cstdint>

#include "siglib/arith/arith_rules.h"
#include "siglib/arith/packed_ops.h"
#include "siglib/frame/types.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace qvls::arith {

template <class V>
V AbsLanes(V x) {
  const V negative = Sra16(x, 15);
  return SubSat16(Xor(x, negative), negative);
}

inline void AbsSingles(std::int16_t* p, std::int32_t n) {
  for (std::int32_t i = 0; i < n; ++i) StoreAt(p, i, Abs16(LoadAt(p, i)));
}

// Single elements until p is on `boundary` bytes (never, for an odd p), or
// until the vector is used up; returns how many.
inline std::int32_t AbsHead(std::int16_t* p, std::int32_t len, std::size_t boundary) {
  const std::int32_t head = ElementsToBoundary(p, sizeof(std::int16_t), boundary, len);
  AbsSingles(p, head);
  return head;
}

// m6 (and a6 in its own copy, kOwner): single elements up to an 8-byte
// boundary, 16 elements per step in four 64-bit registers, then 4 per step,
// then single elements.
template <qvls_variant_column kOwner>
void AbsM64(std::int16_t* p, std::int32_t len) {
  const std::int32_t head = AbsHead(p, len, 8);
  p += head;
  std::int32_t n = len - head;
  for (; n >= 16; n -= 16, p += 16) {
    __m64 x[4];
    for (int k = 0; k < 4; ++k) x[k] = Load<Packed64>(p + 4 * k);
    for (int k = 0; k < 4; ++k) Store(p + 4 * k, AbsLanes(x[k]));
  }
  for (; n >= 4; n -= 4, p += 4) Store(p, AbsLanes(Load<Packed64>(p)));
  _mm_empty();
  AbsSingles(p, n);
}

// w7: single elements up to a 16-byte boundary, 16 elements per step in two
// 128-bit registers (aligned accesses from the boundary on; unaligned for an
// odd address), then 8, 4, 2 and 1 elements, each at most once.
template <bool kAligned>
void AbsSteps128(std::int16_t*& p, std::int32_t& n) {
  for (; n >= 16; n -= 16, p += 16) {
    const __m128i x0 = Load<Packed128, kAligned>(p);
    const __m128i x1 = Load<Packed128, kAligned>(p + 8);
    Store<kAligned>(p, AbsLanes(x0));
    Store<kAligned>(p + 8, AbsLanes(x1));
  }
}

inline void AbsW7(std::int16_t* p, std::int32_t len) {
  const std::int32_t head = AbsHead(p, len, 16);
  p += head;
  std::int32_t n = len - head;
  if (IsOnBoundary(p, 16)) {
    AbsSteps128<true>(p, n);
  } else {
    AbsSteps128<false>(p, n);
  }
  if (n & 8) {
    Store(p, AbsLanes(Load<Packed128>(p)));
    p += 8;
  }
  if (n & 4) {
    sse2::Store8(p, AbsLanes(sse2::Load8(p)));
    p += 4;
  }
  if (n & 2) {
    sse2::Store4(p, AbsLanes(sse2::Load4(p)));
    p += 2;
  }
  if (n & 1) AbsSingles(p, 1);
}

}  // namespace qvls::arith
