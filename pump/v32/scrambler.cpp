#include "pump/v32/scrambler.h"

namespace pump::v32 {
namespace {

// The nearer tap: 18 for GPC, 5 for GPA (the farther is 23 for both).
int NearTap(Polynomial p) { return p == Polynomial::kCaller ? 18 : 5; }

std::uint32_t Taps(std::uint32_t reg, Polynomial p) {
  // Bit j of the group sees the line bit k places back at register bit 23 - k + j.
  return (reg >> (23 - NearTap(p))) ^ reg;
}

}  // namespace

std::uint32_t Scramble(Scrambler& s, std::uint32_t bits, int n, Polynomial p) {
  std::uint32_t out = 0;
  for (int done = 0; done < n;) {
    const int step = n - done < NearTap(p) ? n - done : NearTap(p);
    const std::uint32_t mask = (1u << step) - 1;
    const std::uint32_t line = ((bits >> done) ^ Taps(s.reg, p)) & mask;
    s.reg = (s.reg | line << 23) >> step;
    out |= line << done;
    done += step;
  }
  return out;
}

std::uint32_t Descramble(Scrambler& s, std::uint32_t line_bits, int n, Polynomial p) {
  std::uint32_t out = 0;
  for (int done = 0; done < n;) {
    const int step = n - done < NearTap(p) ? n - done : NearTap(p);
    const std::uint32_t mask = (1u << step) - 1;
    const std::uint32_t line = (line_bits >> done) & mask;
    out |= ((line ^ Taps(s.reg, p)) & mask) << done;
    s.reg = (s.reg | line << 23) >> step;
    done += step;
  }
  return out;
}

}  // namespace pump::v32
