// Rounding of a double to an integer by an explicit rule, the same whatever
// rounding mode or x87 precision the caller has set: the integer part comes
// from a truncating conversion and the fraction, which a double holds
// exactly, decides. For |v| below 2^62.
#pragma once

#include <cstdint>

namespace qvls {

// To the nearest integer; a value exactly halfway goes to the even neighbour.
constexpr std::int64_t RoundHalfEven(double v) {
  const auto t = static_cast<std::int64_t>(v);
  const double f = v - static_cast<double>(t);
  const bool odd = (t & 1) != 0;
  return t + ((f > 0.5) | ((f == 0.5) & odd)) - ((f < -0.5) | ((f == -0.5) & odd));
}

// To the nearest integer; a value exactly halfway goes away from zero.
constexpr std::int64_t RoundHalfAway(double v) {
  const auto t = static_cast<std::int64_t>(v);
  const double f = v - static_cast<double>(t);
  return t + (f >= 0.5) - (f <= -0.5);
}

}  // namespace qvls
