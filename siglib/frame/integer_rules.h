// The integer element rules that every family shares: saturation to 16 and 32
// bits, the scale-factor rounding (to nearest, ties to even) and two's-
// complement wrap-around. Wrapping goes through unsigned arithmetic, so no
// signed overflow and no shift by the type's width ever happens.
#pragma once

#include <cstdint>
#include <limits>

namespace qvls {

template <class T>
constexpr T Saturate(std::int64_t x) {
  constexpr std::int64_t lo = std::numeric_limits<T>::min();
  constexpr std::int64_t hi = std::numeric_limits<T>::max();
  return static_cast<T>(x < lo ? lo : (x > hi ? hi : x));
}

constexpr std::int16_t Saturate16(std::int64_t x) { return Saturate<std::int16_t>(x); }
constexpr std::int32_t Saturate32(std::int64_t x) { return Saturate<std::int32_t>(x); }

// p times 2^-sf, rounded to the nearest integer with ties to even, for
// 1 <= sf <= 62 and |p| <= 2^62: (p + 2^(sf-1) - 1 + bit sf of p) >> sf.
constexpr std::int64_t ScaleDownHalfEven(std::int64_t p, int sf) {
  const std::int64_t tie_to_even = (p >> sf) & 1;
  return (p + ((std::int64_t{1} << (sf - 1)) - 1) + tie_to_even) >> sf;
}

// Two's-complement arithmetic modulo 2^32.
constexpr std::int32_t WrapAdd32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
constexpr std::int32_t WrapSub32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
constexpr std::int32_t WrapMul32(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) * static_cast<std::uint32_t>(b));
}
// a shifted left by 0 <= n <= 31, bits beyond 32 dropped.
constexpr std::int32_t WrapShiftLeft32(std::int32_t a, int n) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) << n);
}

}  // namespace qvls
