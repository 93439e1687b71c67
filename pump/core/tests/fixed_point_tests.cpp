#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <numeric>
#include <random>

#include "pump/core/copy_mem.h"
#include "pump/core/fixed_point.h"

namespace pump {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

// floor(a b / 2^31) from the exact product, held to the largest Q31 value.
std::int32_t ExactQ31(std::int32_t a, std::int32_t b) {
  const __int128 product = static_cast<__int128>(a) * b;
  __int128 q = product / (__int128{1} << 31);
  if (q * (__int128{1} << 31) != product && product < 0) --q;
  return q > kMax ? kMax : static_cast<std::int32_t>(q);
}

TEST(NumericHelpers, MulQ31MatchesTheExactProduct) {
  const std::array<std::int32_t, 9> edges = {kMin, kMin + 1, -65536,   -1,  0,
                                             1,    65536,    kMax - 1, kMax};
  for (const std::int32_t a : edges) {
    for (const std::int32_t b : edges) EXPECT_EQ(MulQ31(a, b), ExactQ31(a, b)) << a << " * " << b;
  }
  std::mt19937 random(31);
  std::uniform_int_distribution<std::int32_t> any(kMin, kMax);
  for (int i = 0; i < 200000; ++i) {
    const std::int32_t a = any(random), b = any(random);
    ASSERT_EQ(MulQ31(a, b), ExactQ31(a, b)) << a << " * " << b;
  }
  EXPECT_EQ(MulQ31(kMin, kMin), kMax) << "-1 * -1 is the largest value, not -1";
  EXPECT_EQ(MulQ31(kMin, kMax), -kMax);
  EXPECT_EQ(MulQ31(-1, 1), -1) << "truncation is toward minus infinity";
}

TEST(NumericHelpers, MsbIndexIsBitWidthLessOne) {
  std::mt19937_64 random(64);
  std::vector<std::uint64_t> values = {0, 1, ~0ull};
  for (int bit = 0; bit < 64; ++bit) {
    values.push_back(1ull << bit);
    values.push_back((1ull << bit) - 1);
  }
  for (int i = 0; i < 10000; ++i) values.push_back(random() >> (random() % 64));
  for (const std::uint64_t v : values) {
    const auto low = static_cast<std::uint32_t>(v), high = static_cast<std::uint32_t>(v >> 32);
    EXPECT_EQ(MsbIndex64(low, high), std::bit_width(v) - 1) << v;
    EXPECT_EQ(MsbIndex32(low), std::bit_width(low) - 1) << low;
  }
}

TEST(NumericHelpers, AbsoluteValues) {
  for (int x = -32768; x <= 32767; ++x) {
    ASSERT_EQ(Abs16(static_cast<std::int16_t>(x)), std::abs(x));
  }
  EXPECT_EQ(Abs16(-32768), 32768);
  struct Case {
    std::int32_t x, abs, ones;
  };
  for (const Case c : {Case{0, 0, 0}, Case{5, 5, 5}, Case{-5, 5, 4}, Case{kMax, kMax, kMax},
                       Case{-kMax, kMax, kMax - 1}, Case{kMin, kMax, kMax}}) {
    EXPECT_EQ(AbsInt(c.x), c.abs) << c.x;
    EXPECT_EQ(AbsOnesComplement(c.x), c.ones) << c.x;
  }
}

// x << 14 fits 32 bits for x < 2^18: the range the fixed-point callers use,
// checked here exhaustively.
TEST(NumericHelpers, SqrtQ7IsWithinHalfAUnitOverItsRange) {
  double worst = 0;
  for (std::uint32_t x = 0; x < (1u << 18); ++x) {
    worst = std::max(worst, std::abs(SqrtQ7(x) - 128 * std::sqrt(double(x))));
  }
  EXPECT_LT(worst, 0.51);
}

TEST(NumericHelpers, SqrtQ7StaysRightAboveItsRange) {
  std::mt19937 random(7);
  std::vector<std::uint32_t> values = {1u << 18, (1u << 18) + 1, 1u << 31, ~0u};
  for (int i = 0; i < 100000; ++i) values.push_back(random() | 1u << 18);
  for (const std::uint32_t x : values) {
    ASSERT_LT(std::abs(SqrtQ7(x) - 128 * std::sqrt(double(x))), 1.0) << x;
  }
}

TEST(NumericHelpers, CopyMemCopiesOverlappingBytesAndReturnsTheCount) {
  std::array<std::uint8_t, 10> bytes;
  std::iota(bytes.begin(), bytes.end(), 0);
  EXPECT_EQ(CopyMem(bytes.data() + 2, bytes.data(), 6), 6u);
  EXPECT_EQ(bytes, (std::array<std::uint8_t, 10>{0, 1, 0, 1, 2, 3, 4, 5, 8, 9}));
  EXPECT_EQ(CopyMem(nullptr, nullptr, 0), 0u);
}

}  // namespace
}  // namespace pump
