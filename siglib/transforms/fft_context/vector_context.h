// What a6 and w7 share in their contexts: the quarter list up to the order
// their reordering kernels take, the swap list above it, and a work buffer
// of 8N bytes (plus 16 for aligning a caller's buffer) for the passes.
#pragma once

#include <cstdint>

namespace qvls::float_fft {

template <std::int32_t kReorderingLimit, auto* kQuarterList, auto* kSwapList>
std::int32_t* VectorBitReverseTable(std::int32_t m) {
  return m <= kReorderingLimit ? kQuarterList(m) : kSwapList(m);
}

constexpr std::int32_t VectorWorkSize(std::int32_t m) { return 8 * (std::int32_t{1} << m) + 16; }

}  // namespace qvls::float_fft
