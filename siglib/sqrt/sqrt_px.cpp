// The square root, generic variant: rounded roots from tables with exact
// integer steps for sf 0 .. 8 and -1 .. -3, the double-precision root for
// sf -4 .. -14.
#include <array>
#include <cmath>
#include <cstdint>

#include "siglib/sqrt/sqrt_entries.h"
#include "siglib/sqrt/sqrt_rules.h"

namespace qvls::sqrt {
namespace {

// The rounded root of n >= 0: the k with k^2 - k < n <= k^2 + k.
constexpr std::int32_t RoundedRootOf(std::int32_t n) {
  std::int32_t k = 0;
  while (k * k + k < n) ++k;
  return k;
}

template <std::size_t N, class F>
constexpr std::array<std::int32_t, N> Table(F f) {
  std::array<std::int32_t, N> t{};
  for (std::size_t i = 0; i < N; ++i) t[i] = f(static_cast<std::int32_t>(i));
  return t;
}

constexpr auto kSmallRoot = Table<32>([](std::int32_t x) { return RoundedRootOf(x); });
// First guesses: the rounded root of 16 j for x / 16 = j, of 256 i for x / 256 = i.
constexpr auto kRootBy16 = Table<256>([](std::int32_t j) { return RoundedRootOf(16 * j); });
constexpr auto kRootBy256 = Table<128>([](std::int32_t i) { return RoundedRootOf(256 * i); });
// kStep[k] = k^2 + k, the largest integer whose rounded root is k.
constexpr auto kStep = Table<183>([](std::int32_t k) { return k * k + k; });

// The rounded root of 0 <= x <= 32767.
std::int32_t RoundedRoot(std::int32_t x) {
  if (x < 32) return kSmallRoot[x];
  if (x < 4096) {
    const std::int32_t g = kRootBy16[x >> 4];
    return g + (kStep[g] < x);
  }
  std::int32_t g = kRootBy256[x >> 8];
  while (kStep[g] < x) ++g;
  return g;
}

// sf = 1 .. 8: c is the rounded root of x / 4^sf; d = (c + 1/2) 2^sf is where
// the result moves from c to c + 1.
std::int32_t ScaledDown(std::int32_t x, std::int32_t sf) {
  const std::int32_t c = RoundedRoot(x >> (2 * sf));
  const std::int32_t d = (c << sf) + (1 << (sf - 1));
  return c + (d * d < x || (d * d == x && (c & 1) != 0));
}

// sf = -1 .. -3: the floor of the root of X = x 4^k grown bit by bit from the
// floor of the root of x, then rounded.
std::int32_t ScaledUpExact(std::int32_t x, std::int32_t k) {
  std::int32_t c = RoundedRoot(x);
  if (c * c > x) --c;
  const std::int32_t big_x = x << (2 * k);
  c <<= k;
  for (std::int32_t b = 1 << (k - 1); b != 0; b >>= 1) {
    c |= b;
    if (c * c > big_x) c &= ~b;
  }
  return c + (big_x > c * c + c);
}

// sf = -4 .. -14: the double-precision root of X < 2^30, rounded. No root of
// an integer lies within double rounding of a half-integer, so this is exact.
std::int32_t ScaledUpDouble(std::int32_t x, std::int32_t k) {
  const double big_x = static_cast<double>(std::int64_t{x} << (2 * k));
  return static_cast<std::int32_t>(std::sqrt(big_x) + 0.5);
}

bool Kernel(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  if (sf == 0) return ForEachElement(srcdst, len, RoundedRoot);
  if (sf > 0)
    return ForEachElement(srcdst, len, [sf](std::int32_t x) { return ScaledDown(x, sf); });
  const std::int32_t k = -sf;
  if (k <= 3) {
    return ForEachElement(srcdst, len, [k](std::int32_t x) { return ScaledUpExact(x, k); });
  }
  if (k <= 7) {
    return ForEachElement(srcdst, len, [k](std::int32_t x) { return ScaledUpDouble(x, k); });
  }
  // From sf = -8 on, x >= 16384 / 4^(k-8) has a root of 32767.5 or more.
  const std::int32_t saturates_from = 16384 >> (2 * (k - 8));
  return ForEachElement(srcdst, len, [k, saturates_from](std::int32_t x) {
    return x >= saturates_from ? 32767 : ScaledUpDouble(x, k);
  });
}

}  // namespace
}  // namespace qvls::sqrt

qvls_status qvlsSqrt_i16_ip_sc_px(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  return qvls::sqrt::Run(srcdst, len, sf, qvls::sqrt::Kernel);
}
