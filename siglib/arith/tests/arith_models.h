// Models of the family's rules for its tests, in 128-bit integers: the exact
// sum, difference or product, scaled by the scale-factor model of
// tests/support (division and remainder, not the library's bias-and-shift),
// and w7's 32-bit product as the exact product rounded once to 53
// significant bits (a double) before it is scaled. Also the comparison of a
// guarded vector with the model.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "siglib/frame/types.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/scale_model.h"

namespace qvls_test {

inline constexpr std::int32_t kInt32Min = std::numeric_limits<std::int32_t>::min();
inline constexpr std::int32_t kInt32Max = std::numeric_limits<std::int32_t>::max();

inline std::int16_t Scaled16(__int128 x, std::int32_t sf) {
  return ScaleSaturate<std::int16_t>(x, sf);
}
inline std::int32_t Scaled32(__int128 x, std::int32_t sf) {
  return ScaleSaturate<std::int32_t>(x, sf);
}

inline qvls_ci16 ComplexProductModel(qvls_ci16 s, qvls_ci16 t, std::int32_t sf) {
  const __int128 re = static_cast<__int128>(s.re) * t.re - static_cast<__int128>(s.im) * t.im;
  const __int128 im = static_cast<__int128>(s.re) * t.im + static_cast<__int128>(s.im) * t.re;
  return {Scaled16(re, sf), Scaled16(im, sf)};
}

// p rounded to the nearest value with at most 53 significant bits, a tie
// going to the one whose last significant bit is 0: the double nearest p.
inline __int128 RoundTo53Bits(__int128 p) {
  const bool negative = p < 0;
  const auto magnitude = static_cast<unsigned __int128>(negative ? -p : p);
  int bits = 0;
  while (bits < 128 && (magnitude >> bits) != 0) ++bits;
  if (bits <= 53) return p;
  const int dropped = bits - 53;
  const unsigned __int128 unit = static_cast<unsigned __int128>(1) << dropped;
  const unsigned __int128 remainder = magnitude & (unit - 1);
  unsigned __int128 kept = magnitude - remainder;
  const unsigned __int128 half = unit >> 1;
  if (remainder > half || (remainder == half && (kept & unit) != 0)) kept += unit;
  const auto rounded = static_cast<__int128>(kept);
  return negative ? -rounded : rounded;
}

inline std::int32_t ExactProduct32(std::int32_t a, std::int32_t b, std::int32_t sf) {
  return Scaled32(static_cast<__int128>(a) * b, sf);
}

// w7: the product rounded to a double, then scaled to the nearest integer.
inline std::int32_t W7Product32(std::int32_t a, std::int32_t b, std::int32_t sf) {
  return Scaled32(RoundTo53Bits(static_cast<__int128>(a) * b), sf);
}

inline std::string Describe(std::int32_t v) { return std::to_string(v); }
inline std::string Describe(qvls_ci16 v) {
  return "(" + std::to_string(v.re) + ", " + std::to_string(v.im) + ")";
}

// Whether a buffer holds exactly `expected` with its canaries intact, naming
// the first element that differs.
template <class T>
::testing::AssertionResult Holds(const GuardedBuffer<T>& buffer, std::span<const T> expected) {
  const std::vector<T> actual = buffer.Load();
  for (std::size_t i = 0; i < actual.size() && i < expected.size(); ++i) {
    if (std::memcmp(&actual[i], &expected[i], sizeof(T)) != 0) {
      return ::testing::AssertionFailure()
             << "element " << i << " of " << actual.size() << " is " << Describe(actual[i])
             << ", the model says " << Describe(expected[i]);
    }
  }
  if (actual.size() != expected.size()) {
    return ::testing::AssertionFailure()
           << actual.size() << " elements, the model has " << expected.size();
  }
  return buffer.Intact();
}

}  // namespace qvls_test
