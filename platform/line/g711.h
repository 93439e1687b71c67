// G.711 companding of 16-bit linear samples: mu-law (14-bit linear range) and
// A-law (13-bit linear range), with the recommendation's segments, decision
// values and character-signal bit patterns.
#pragma once

#include <cstdint>

namespace plat::line {

enum class Companding : std::uint8_t { kNone, kMuLaw, kALaw };

std::uint8_t LinearToMuLaw(std::int16_t sample);
std::int16_t MuLawToLinear(std::uint8_t code);
std::uint8_t LinearToALaw(std::int16_t sample);
std::int16_t ALawToLinear(std::uint8_t code);

// A sample through an encoder and a decoder of the given law.
std::int16_t Compand(Companding law, std::int16_t sample);

}  // namespace plat::line
