// White Gaussian noise from a seed: the same seed and stream give the same
// sequence on any machine (SplitMix64 and the Box-Muller transform over our
// own elementary functions).
#pragma once

#include <cstdint>

namespace plat::line {

class GaussianNoise {
 public:
  // Different streams of one seed are independent sequences.
  GaussianNoise(std::uint64_t seed, std::uint64_t stream);

  // The next value, of mean 0 and variance 1.
  double Next();

 private:
  std::uint64_t NextBits();

  std::uint64_t state_;
  double spare_ = 0.0;
  bool has_spare_ = false;
};

}  // namespace plat::line
