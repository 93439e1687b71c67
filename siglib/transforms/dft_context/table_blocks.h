// Blocks of the DFT's tables, their sizes counted in 64 bits: a count whose
// bytes do not fit the allocator's 32-bit size gets no block at all, never a
// short one.
#pragma once

#include <cstdint>

#include "siglib/memory/memory.h"

namespace qvls::dft {

// Whether a byte count fits the library's sizes (a positive i32).
constexpr bool FitsSize(std::int64_t bytes) { return bytes > 0 && bytes <= INT32_MAX; }

// count elements of T from the library's allocator; null when the pool
// refuses them or their bytes do not fit.
template <class T>
T* AllocateArray(std::int64_t count) {
  const std::int64_t bytes = count * static_cast<std::int64_t>(sizeof(T));
  if (count <= 0 || !FitsSize(bytes)) return nullptr;
  return reinterpret_cast<T*>(qvlsAlloc_u8_px(static_cast<std::int32_t>(bytes)));
}

}  // namespace qvls::dft
