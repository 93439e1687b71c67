#include "platform/sim/codec_paths.h"

#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace plat::sim {
namespace {

constexpr std::uint8_t kMuteCode = 8;
constexpr int kQ = 15;
// round(32768 * 10^(-+3c/20)) for codes 0..7.
constexpr std::array<std::int64_t, kMuteCode> kAttenuation{32768, 23198, 16423, 11627,
                                                           8231,  5827,  4125,  2920};
constexpr std::array<std::int64_t, kMuteCode> kGain{32768,  46286,  65381,  92353,
                                                    130452, 184268, 260285, 367663};
constexpr hal::Instant kRingPeriod = hal::kSecond / 20;
constexpr double kRingPeak = 30000.0;

std::int16_t Scale(std::int16_t sample, std::uint8_t code,
                   const std::array<std::int64_t, kMuteCode>& factors) {
  if (code >= kMuteCode) return 0;
  const std::int64_t product = sample * factors[code];
  return Saturate((product + (std::int64_t{1} << (kQ - 1))) >> kQ);
}

}  // namespace

std::int16_t Saturate(std::int64_t value) {
  if (value > std::numeric_limits<std::int16_t>::max())
    return std::numeric_limits<std::int16_t>::max();
  if (value < std::numeric_limits<std::int16_t>::min())
    return std::numeric_limits<std::int16_t>::min();
  return static_cast<std::int16_t>(value);
}

std::int16_t Attenuate(std::int16_t sample, std::uint8_t code) {
  return Scale(sample, code, kAttenuation);
}

std::int16_t Amplify(std::int16_t sample, std::uint8_t code) { return Scale(sample, code, kGain); }

std::int16_t RingSample(hal::Instant at) {
  const double phase = static_cast<double>(at % kRingPeriod) / static_cast<double>(kRingPeriod);
  return static_cast<std::int16_t>(std::lround(kRingPeak * std::sin(2 * std::numbers::pi * phase)));
}

std::int32_t NoiseSource::Next(std::uint32_t amplitude) {
  // splitmix64
  std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  const std::uint64_t span = 2ull * amplitude + 1;
  return static_cast<std::int32_t>(z % span) - static_cast<std::int32_t>(amplitude);
}

}  // namespace plat::sim
