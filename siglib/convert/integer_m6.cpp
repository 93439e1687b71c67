// Widening and narrowing in 64-bit packed-integer registers, two and four
// elements per step; the flip is the generic loop in m6's own copy, since
// the word shuffle that reverses four elements is not in this instruction
// set. Source and destination ranges that overlap or touch, and
// destinations the packed stores cannot align, take the generic loop.
#include "siglib/convert/convert.h"
#include "siglib/convert/scalar_loops.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace {

using namespace qvls::convert;
using qvls::IsOnBoundary;
using qvls::mmx::Get4;
using qvls::mmx::Get8;
using qvls::mmx::Put8;

bool RangesMeet(const void* a, std::size_t a_bytes, const void* b, std::size_t b_bytes) {
  const std::uintptr_t a0 = qvls::AddressOf(a);
  const std::uintptr_t b0 = qvls::AddressOf(b);
  return a0 <= b0 + b_bytes && b0 <= a0 + a_bytes;
}

// A destination on a 4- but not 8-byte boundary first gets one element
// singly; then two per step: a 4-byte load, the sign mask from comparing
// with zero interleaved above each value, one 8-byte store.
void Widen(const std::int16_t* src, std::int32_t* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  if (RangesMeet(src, 2 * n, dst, 4 * n) || !IsOnBoundary(dst, 4)) {
    WidenScalar(src, dst, n);
    return;
  }
  std::size_t i = 0;
  if (!IsOnBoundary(dst, 8)) WidenOne(src, dst, i++);
  const __m64 zero = _mm_setzero_si64();
  for (; n - i >= 2; i += 2) {
    const __m64 v = Get4(src + i);
    Put8(dst + i, _mm_unpacklo_pi16(v, _mm_cmpgt_pi16(zero, v)));
  }
  _mm_empty();
  WidenScalar(src + i, dst + i, n - i);
}

// Single elements until the destination is on its 8-byte boundary, then four
// per step: two 8-byte loads, a signed saturating pack, one 8-byte store.
void Narrow(const std::int32_t* src, std::int16_t* dst, std::int32_t len) {
  const auto n = static_cast<std::size_t>(len);
  if (RangesMeet(src, 4 * n, dst, 2 * n) || !IsOnBoundary(dst, 2)) {
    NarrowScalar(src, dst, n);
    return;
  }
  std::size_t i = 0;
  for (; i < n && !IsOnBoundary(dst + i, 8); ++i) NarrowOne(src, dst, i);
  for (; n - i >= 4; i += 4) Put8(dst + i, _mm_packs_pi32(Get8(src + i), Get8(src + i + 2)));
  _mm_empty();
  NarrowScalar(src + i, dst + i, n - i);
}

void Flip(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  FlipScalar(src, dst, static_cast<std::size_t>(len));
}

}  // namespace

QVLS_DEFINE_INTEGER_CONVERSIONS(m6, Widen, Narrow, Flip)
