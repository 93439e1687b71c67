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
