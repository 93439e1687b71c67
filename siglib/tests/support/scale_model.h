// The scale-factor rule as an independent model for tests: the exact value
// p times 2^-sf, rounded as the operation says, then saturated to the
// destination type. It works in 128-bit integers by plain division and
// comparison of the remainder, never by the bias-and-shift formula the
// library uses, so it checks that formula rather than repeating it.
#pragma once

#include <cstdint>
#include <limits>

namespace qvls_test {

enum class Rounding {
  kHalfEven,          // to nearest, ties to the even neighbour (the library's default)
  kHalfAwayFromZero,  // to nearest, ties away from zero
  kTowardZero,        // truncation
  kFloor,             // toward minus infinity (an arithmetic right shift)
};

// Results at or beyond this magnitude stand for "beyond any 64-bit range".
inline constexpr __int128 kBeyond64Bits = static_cast<__int128>(1) << 100;

// p times 2^-sf, rounded. |p| must stay below 2^100; a left scale that would
// leave that range gives +-kBeyond64Bits, which every Saturate clamps.
__int128 Scale(__int128 p, std::int64_t sf, Rounding rounding = Rounding::kHalfEven);

template <class T>
constexpr T Saturate(__int128 v) {
  constexpr __int128 lo = std::numeric_limits<T>::min();
  constexpr __int128 hi = std::numeric_limits<T>::max();
  return static_cast<T>(v < lo ? lo : (v > hi ? hi : v));
}

// The whole rule: scale, round, saturate to T.
template <class T>
T ScaleSaturate(__int128 p, std::int64_t sf, Rounding rounding = Rounding::kHalfEven) {
  return Saturate<T>(Scale(p, sf, rounding));
}

}  // namespace qvls_test
