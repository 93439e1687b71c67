// The orders each variant's float FFT runs by which road: up to `direct`
// (L) with bit reversal and radix passes alone, and up to `reordering` with
// the kernel that fuses the bit reversal into its first pass (a6 and w7;
// none in px and m6).
#pragma once

#include <cstdint>

namespace qvls::float_fft {

struct Limits {
  std::int32_t direct;
  std::int32_t reordering;
};

inline constexpr Limits kPxLimits = {10, 0};
inline constexpr Limits kM6Limits = {10, 0};
inline constexpr Limits kA6Limits = {10, 9};
inline constexpr Limits kW7Limits = {14, 13};

}  // namespace qvls::float_fft
