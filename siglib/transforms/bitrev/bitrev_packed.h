// The permutations that move 64-bit units through the packed registers where
// the data lie on 8-byte boundaries, and 32-bit words otherwise: the in-place
// routine of the fixed-point path (m6, a6, w7) and of the float engine (m6,
// a6), and the float engine's out-of-place routine (m6, a6, w7).
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

inline void PermuteOutOfPlacePacked(const void* src, void* dst, std::int32_t n,
                                    const std::int32_t* list) {
  const auto* from = static_cast<const std::uint8_t*>(src);
  auto* to = static_cast<std::uint8_t*>(dst);
  if (!IsOnBoundary(src, 8) || !IsOnBoundary(dst, 8)) {
    PermuteOutOfPlace(n, list, [=](std::int32_t i, std::int32_t j) { CopyWords(to, i, from, j); });
    return;
  }
  PermuteOutOfPlace(n, list, [=](std::int32_t i, std::int32_t j) {
    mmx::Put8(to + 8 * i, mmx::Get8(from + 8 * j));
  });
  _mm_empty();
}

}  // namespace qvls::bitrev
