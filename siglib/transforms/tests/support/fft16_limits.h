// The largest order each variant runs on the 16-bit FFT's fixed-point path,
// for hints 0 and 1 (any other hint takes the floating-point path).
#pragma once

#include <cstdint>

namespace qvls_test::transforms {

struct FixedLimits {
  std::int32_t hint0;
  std::int32_t hint1;

  bool Fixed(std::int32_t order, std::int32_t hint) const {
    return (hint == 0 && order <= hint0) || (hint == 1 && order <= hint1);
  }
};

// By variant column: px, m6, a6, w7.
inline constexpr FixedLimits kFixedLimits[] = {{8, 8}, {8, 10}, {5, 5}, {3, 3}};

}  // namespace qvls_test::transforms
