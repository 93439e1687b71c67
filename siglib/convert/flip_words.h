// The flip of a6, which w7 runs in its own copy: the source walked forward,
// the destination backward from its end. Single elements until the end of
// the free places is on an 8-byte boundary, then eight per step: two 8-byte
// loads, each reversed in its register, the first four stored in the last
// four free places and the next four before them; then single elements. A
// destination at an odd address takes the generic loop.
#pragma once

#include "siglib/convert/scalar_loops.h"
#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"

namespace qvls::convert {

inline void FlipWords(const std::int16_t* src, std::int16_t* dst, std::size_t n) {
  if (!IsOnBoundary(dst, 2)) {
    FlipScalar(src, dst, n);
    return;
  }
  constexpr int kReverse = 0x1B;  // lanes 3, 2, 1, 0
  std::size_t i = 0;
  for (; i < n && !IsOnBoundary(dst + (n - i), 8); ++i) FlipOne(src, dst, n, i);
  for (; n - i >= 8; i += 8) {
    std::int16_t* end = dst + (n - i);
    mmx::Put8(end - 4, _mm_shuffle_pi16(mmx::Get8(src + i), kReverse));
    mmx::Put8(end - 8, _mm_shuffle_pi16(mmx::Get8(src + i + 4), kReverse));
  }
  _mm_empty();
  for (; i < n; ++i) FlipOne(src, dst, n, i);
}

}  // namespace qvls::convert
