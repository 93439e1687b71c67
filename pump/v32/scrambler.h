// The V.32 self-synchronising scrambler and descrambler, n bits at a time.
//
// The register holds the past line bits with the newest at bit 22 (bit
// 23 - k holds the bit k places back). A group of bits is done in one step
// when the nearer tap lies at or beyond the group's length; otherwise (the
// answerer's x^-5 tap with six bits per symbol) the group is split.
#pragma once

#include <cstdint>

namespace pump::v32 {

enum class Polynomial : std::uint8_t {
  kCaller,    // GPC: 1 + x^-18 + x^-23
  kAnswerer,  // GPA: 1 + x^-5 + x^-23
};

struct Scrambler {
  std::uint32_t reg = 0;
};

// Scrambles n (1..6) bits, the first in time in bit 0.
std::uint32_t Scramble(Scrambler& s, std::uint32_t bits, int n, Polynomial p);
// Recovers n bits from the line bits; must use the far transmitter's polynomial.
std::uint32_t Descramble(Scrambler& s, std::uint32_t line_bits, int n, Polynomial p);

}  // namespace pump::v32
