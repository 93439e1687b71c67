#include "pump/core/power_db.h"

#include <algorithm>
#include <bit>

namespace pump {

int MeasurePowerDb(std::span<const std::int16_t> samples) {
  const std::size_t n = samples.size();
  if (n == 0) return 0;
  // Each square is scaled down by k with 2^k > n / 4, so the sum of n
  // squares (each at most 2^30) stays below 2^32.
  const int k = std::max(0, static_cast<int>(std::bit_width(n / 2)) - 1);
  std::uint32_t sum = 0;
  for (const std::int16_t x : samples) {
    sum += static_cast<std::uint32_t>(std::int32_t{x} * x) >> k;
  }
  const std::uint32_t p = static_cast<std::uint32_t>(sum / n) << k;
  if (p < 2) return -87;
  const int e = std::bit_width(p) - 1;
  const int below_leading_one = static_cast<int>((std::uint64_t{p} << 2 >> e) & 3);
  return 3 * e - 87 + below_leading_one;
}

}  // namespace pump

namespace pump {

std::int32_t PowerToDbQ8(std::uint64_t wide_power) {
  if (wide_power < 2) return 0;
  // Normalise so that bit 31 is the leading one; 31 less the shifts (plus
  // those that brought a wide power down to 32 bits) is the integer part
  // of log2.
  std::uint32_t exponent = 31;
  while (wide_power > 0xFFFFFFFFu) {
    wide_power >>= 1;
    ++exponent;
  }
  auto power = static_cast<std::uint32_t>(wide_power);
  for (const std::uint32_t shift : {16u, 8u, 4u, 2u, 1u}) {
    if (power < (1u << (32 - shift))) {
      power <<= shift;
      exponent -= shift;
    }
  }
  // The mantissa in [1, 2) in Q15; each squaring doubles its log2, and an
  // overflow past 2 is the next fraction bit.
  std::uint32_t mantissa = power >> 16;
  std::uint32_t log2_q11 = exponent;
  for (int bit = 0; bit < 11; ++bit) {
    mantissa = mantissa * mantissa >> 15;
    log2_q11 <<= 1;
    if (mantissa >= 0x10000) {
      log2_q11 |= 1;
      mantissa >>= 1;
    }
  }
  // 10 log10(2) x 256 / 2048 = 49321 / 2^17.
  return static_cast<std::int32_t>(std::uint64_t{log2_q11} * 49321 >> 17);
}

}  // namespace pump
