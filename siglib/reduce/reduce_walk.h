// How the vector kernels of the norms walk a vector: single elements up to
// the kernel's alignment boundary (none for a vector at an odd address,
// which is read unaligned throughout), then whole steps of groups, then
// tails of eight and four elements, then single elements.
#pragma once

#include <xmmintrin.h>

#include <cstdint>

#include "siglib/memory/alignment.h"

namespace qvls::reduce {

enum class Prefetch { kNone, kAhead64Bytes };

// 64-bit kernels: group(i) takes elements i..i+3; kStep elements per step;
// a prefetch, when asked, once per 64 bytes.
template <std::int32_t kStep, Prefetch kPrefetch, class Group, class Single>
void Walk64(const std::int16_t* p, std::int32_t len, Group group, Single single) {
  const std::int32_t head = ElementsToBoundary(p, sizeof *p, 8, len);
  for (std::int32_t k = 0; k < head; ++k) single(k);
  std::int32_t i = head;
  for (; len - i >= kStep; i += kStep) {
    if constexpr (kPrefetch == Prefetch::kAhead64Bytes) {
      if ((i - head) % 32 == 0)
        _mm_prefetch(reinterpret_cast<const char*>(p + i) + 64, _MM_HINT_T0);
    }
    for (std::int32_t k = 0; k < kStep; k += 4) group(i + k);
  }
  for (std::int32_t tail = 8; tail >= 4; tail /= 2) {
    if (tail >= kStep || len - i < tail) continue;
    for (std::int32_t k = 0; k < tail; k += 4) group(i + k);
    i += tail;
  }
  for (; i < len; ++i) single(i);
}

// 128-bit kernels: group8(i, aligned) takes elements i..i+7, from a 16-byte
// boundary when `aligned`; group4(i) takes i..i+3; 16 elements per step,
// with a prefetch once per 64 bytes.
template <class Group8, class Group4, class Single>
void Walk128(const std::int16_t* p, std::int32_t len, Group8 group8, Group4 group4, Single single) {
  const std::int32_t head = ElementsToBoundary(p, sizeof *p, 16, len);
  for (std::int32_t k = 0; k < head; ++k) single(k);
  std::int32_t i = head;
  const bool aligned = IsOnBoundary(p + i, 16);
  for (; len - i >= 16; i += 16) {
    if ((i - head) % 32 == 0) _mm_prefetch(reinterpret_cast<const char*>(p + i) + 64, _MM_HINT_T0);
    group8(i, aligned);
    group8(i + 8, aligned);
  }
  if (len - i >= 8) {
    group8(i, aligned);
    i += 8;
  }
  if (len - i >= 4) {
    group4(i);
    i += 4;
  }
  for (; i < len; ++i) single(i);
}

}  // namespace qvls::reduce
