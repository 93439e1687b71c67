// The in-place permutation of the fixed-point path, one routine compiled into
// m6, a6 and w7: an element on an 8-byte boundary moves as one 64-bit word
// through the packed registers, otherwise as two 32-bit words.
#pragma once

#include <mmintrin.h>

#include <cstdint>

#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"
#include "siglib/transforms/bitrev/permute.h"

namespace qvls::bitrev {

inline void PermutePacked(void* data, std::int32_t n, const std::int32_t* list) {
  auto* base = static_cast<std::uint8_t*>(data);
  if (!IsOnBoundary(data, 8)) {
    PermuteInPlace(n, list, [=](std::int32_t i, std::int32_t j) { ExchangeWords(base, i, j); });
    return;
  }
  PermuteInPlace(n, list, [=](std::int32_t i, std::int32_t j) {
    const __m64 x = mmx::Get8(base + 8 * i);
    mmx::Put8(base + 8 * i, mmx::Get8(base + 8 * j));
    mmx::Put8(base + 8 * j, x);
  });
  _mm_empty();
}

}  // namespace qvls::bitrev
