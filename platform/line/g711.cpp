#include "platform/line/g711.h"

#include <bit>

namespace plat::line {
namespace {

constexpr int kMuLawBias = 33;  // in 14-bit units
constexpr int kMuLawMaxMagnitude = 8158;
constexpr std::uint8_t kALawEvenBits = 0x55;

int TopBit(unsigned value) { return std::bit_width(value) - 1; }

}  // namespace

// Mu-law: the 14-bit magnitude plus the bias falls in segment s when it lies
// in [2^(s+5), 2^(s+6)), with 16 steps of 2^(s+1); the character signal is the
// sign (1 = negative), segment and step, all bits inverted on the line.
std::uint8_t LinearToMuLaw(std::int16_t sample) {
  const bool negative = sample < 0;
  int magnitude = (negative ? -static_cast<int>(sample) : sample) >> 2;
  if (magnitude > kMuLawMaxMagnitude) magnitude = kMuLawMaxMagnitude;
  const int biased = magnitude + kMuLawBias;
  const int segment = TopBit(static_cast<unsigned>(biased)) - 5;
  const int step = (biased >> (segment + 1)) & 0x0F;
  const int character = (negative ? 0x80 : 0x00) | segment << 4 | step;
  return static_cast<std::uint8_t>(~character);
}

std::int16_t MuLawToLinear(std::uint8_t code) {
  const int character = static_cast<std::uint8_t>(~code);
  const int segment = (character >> 4) & 0x07;
  const int step = character & 0x0F;
  // The middle of the step's interval, back in 16-bit units.
  const int magnitude = (((2 * step + kMuLawBias) << segment) - kMuLawBias) * 4;
  return static_cast<std::int16_t>((character & 0x80) ? -magnitude : magnitude);
}

// A-law: the 12-bit magnitude lies in segment 0 below 32 (steps of 2), else in
// segment s when in [2^(s+4), 2^(s+5)) with steps of 2^s; the character signal
// is the sign (1 = positive), segment and step, even bits inverted on the line.
// Negative samples are mirrored by one's complement, so that the intervals on
// both sides of zero have the same width.
std::uint8_t LinearToALaw(std::int16_t sample) {
  const bool positive = sample >= 0;
  const int magnitude = (positive ? sample : ~sample) >> 3;
  int segment = 0;
  int step = magnitude >> 1;
  if (magnitude >= 32) {
    segment = TopBit(static_cast<unsigned>(magnitude)) - 4;
    step = (magnitude >> segment) & 0x0F;
  }
  const int character = (positive ? 0x80 : 0x00) | segment << 4 | step;
  return static_cast<std::uint8_t>(character ^ kALawEvenBits);
}

std::int16_t ALawToLinear(std::uint8_t code) {
  const int character = code ^ kALawEvenBits;
  const int segment = (character >> 4) & 0x07;
  const int step = character & 0x0F;
  const int magnitude = segment == 0 ? 2 * step + 1 : (2 * step + 33) << (segment - 1);
  return static_cast<std::int16_t>((character & 0x80) ? magnitude * 8 : -magnitude * 8);
}

std::int16_t Compand(Companding law, std::int16_t sample) {
  switch (law) {
    case Companding::kMuLaw:
      return MuLawToLinear(LinearToMuLaw(sample));
    case Companding::kALaw:
      return ALawToLinear(LinearToALaw(sample));
    case Companding::kNone:
      break;
  }
  return sample;
}

}  // namespace plat::line
