// The complex baseband sample the receiver works on, and the integer square
// root its normalisations use.
#pragma once

#include <cstdint>

namespace pump::v32 {

struct Complex {
  std::int32_t re;
  std::int32_t im;
};

// The largest r with r * r <= v, for 0 <= v < 2^62.
constexpr std::int64_t SquareRoot(std::int64_t v) {
  std::int64_t root = 0;
  for (std::int64_t bit = std::int64_t{1} << 30; bit != 0; bit >>= 1) {
    if ((root + bit) * (root + bit) <= v) root += bit;
  }
  return root;
}

}  // namespace pump::v32
