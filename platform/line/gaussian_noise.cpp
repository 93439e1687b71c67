#include "platform/line/gaussian_noise.h"

#include <cmath>

#include "platform/line/det_math.h"

namespace plat::line {
namespace {

constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ull;

std::uint64_t Mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

GaussianNoise::GaussianNoise(std::uint64_t seed, std::uint64_t stream)
    : state_(Mix(seed + kGolden) ^ Mix(Mix(stream + 2 * kGolden))) {}

std::uint64_t GaussianNoise::NextBits() {
  state_ += kGolden;
  return Mix(state_);
}

double GaussianNoise::Next() {
  if (has_spare_) {
    has_spare_ = false;
    return spare_;
  }
  constexpr double kUnit = 1.0 / 9007199254740992.0;                      // 2^-53
  const double u1 = static_cast<double>((NextBits() >> 11) + 1) * kUnit;  // (0, 1]
  const double u2 = static_cast<double>(NextBits() >> 11) * kUnit;        // [0, 1)
  const double radius = std::sqrt(-2.0 * Log(u1));
  spare_ = radius * SinPi(2.0 * u2);
  has_spare_ = true;
  return radius * CosPi(2.0 * u2);
}

}  // namespace plat::line
