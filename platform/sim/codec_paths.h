// Sample arithmetic of the codec's signal paths: the line-path gain stages
// of register 63, the ring the on-hook DAA hears, and saturation.
#pragma once

#include <cstdint>

#include "platform/hal/instant.h"

namespace plat::sim {

std::int16_t Saturate(std::int64_t value);
// Transmit attenuation code (register 63 bits 4-7): 3 dB per step, 8 and up mute.
std::int16_t Attenuate(std::int16_t sample, std::uint8_t code);
// Receive gain code (register 63 bits 0-3): 3 dB per step, 8 and up mute.
std::int16_t Amplify(std::int16_t sample, std::uint8_t code);
// The 20 Hz ring at 30,000 peak, in phase with the timeline.
std::int16_t RingSample(hal::Instant at);

// A seeded generator of uniform integers; the same seed gives the same sequence.
class NoiseSource {
 public:
  explicit NoiseSource(std::uint64_t seed = 1) : state_(seed) {}
  // Uniform in [-amplitude, amplitude].
  std::int32_t Next(std::uint32_t amplitude);

 private:
  std::uint64_t state_;
};

}  // namespace plat::sim
