// The Q14 sine and twiddle tables against the sine and cosine in long
// double.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <set>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"
#include "siglib/transforms/tests/support/library_blocks.h"

namespace qvls_test::transforms {
namespace {

using Table = LibraryBlock<std::int16_t>;

std::vector<std::int16_t> Words(const Table& table, std::size_t count) {
  return std::vector<std::int16_t>(table.get(), table.get() + count);
}

// round(16384·sin(2πi/n)) and the cosine alike, in long double.
std::int16_t Q14Sin(std::int64_t i, std::int64_t n) {
  return static_cast<std::int16_t>(
      std::lround(16384 * std::sin(2 * std::numbers::pi_v<long double> * i / n)));
}
std::int16_t Q14Cos(std::int64_t i, std::int64_t n) {
  return static_cast<std::int16_t>(
      std::lround(16384 * std::cos(2 * std::numbers::pi_v<long double> * i / n)));
}

struct SineBuilder {
  const char* name;
  std::int16_t* (*build)(std::int32_t order);
};
const SineBuilder kSineBuilders[] = {{"px", qvlsFFTSineTable_i16_px},
                                     {"m6", qvlsFFTSineTable_i16_m6},
                                     {"a6", qvlsFFTSineTable_i16_a6},
                                     {"w7", qvlsFFTSineTable_i16_w7}};

struct TwiddleBuilder {
  const char* name;
  std::int16_t* (*build)(std::int32_t order, const std::int16_t* sine, std::int32_t sine_order);
};
// m6 builds with the a6 builder.
const TwiddleBuilder kTwiddleBuilders[] = {{"px", qvlsFFTTwiddleTable_ci16_px},
                                           {"a6", qvlsFFTTwiddleTable_ci16_a6},
                                           {"w7", qvlsFFTTwiddleTable_ci16_w7}};

TEST(Q14Tables, SineEntriesAreTheNearestIntegersToTheScaledSine) {
  for (const SineBuilder& b : kSineBuilders) {
    for (std::int32_t order = 0; order <= 10; ++order) {
      const std::int64_t n = std::int64_t{1} << order;
      const Table sine(b.build(order));
      ASSERT_NE(sine, nullptr);
      for (std::int64_t i = 0; i <= n / 4; ++i) {
        ASSERT_EQ(sine.get()[i], Q14Sin(i, n)) << b.name << " order " << order << " entry " << i;
      }
    }
  }
  const std::vector<std::int16_t> order5 = {0, 3196, 6270, 9102, 11585, 13623, 15137, 16069, 16384};
  EXPECT_EQ(Words(Table(qvlsFFTSineTable_i16_px(5)), 9), order5);
  EXPECT_EQ(Words(Table(qvlsFFTSineTable_i16_w7(3)), 3),
            (std::vector<std::int16_t>{0, 11585, 16384}));
}

TEST(Q14Tables, TwiddleRecordJRotatesByMinusTwoPiJOverN) {
  for (const TwiddleBuilder& b : kTwiddleBuilders) {
    for (std::int32_t order = 2; order <= 10; ++order) {
      const std::int64_t n = std::int64_t{1} << order;
      const Table sine(qvlsFFTSineTable_i16_px(order));
      const Table twiddles(b.build(order, sine.get(), order));
      ASSERT_NE(twiddles, nullptr);
      const std::set<std::int16_t> entries(sine.get(), sine.get() + n / 4 + 1);
      for (std::int64_t j = 0; j < n; ++j) {
        SCOPED_TRACE(::testing::Message() << b.name << " order " << order << " record " << j);
        const std::int16_t* r = twiddles.get() + 4 * j;
        const std::int16_t cs = Q14Cos(j, n);
        const std::int16_t sn = Q14Sin(j, n);
        ASSERT_EQ(std::vector<std::int16_t>(r, r + 4),
                  (std::vector<std::int16_t>{cs, sn, static_cast<std::int16_t>(-sn), cs}));
        for (int w = 0; w < 4; ++w) {
          ASSERT_TRUE(entries.count(static_cast<std::int16_t>(std::abs(r[w]))))
              << r[w] << " is no copy or negation of a sine entry";
        }
      }
    }
  }
  const Table sine(qvlsFFTSineTable_i16_px(3));
  const std::vector<std::int16_t> order3 = {
      16384, 0,      0,     16384,  11585,  11585,  -11585, 11585,  0,      16384,  -16384,
      0,     -11585, 11585, -11585, -11585, -16384, 0,      0,      -16384, -11585, -11585,
      11585, -11585, 0,     -16384, 16384,  0,      11585,  -11585, 11585,  11585};
  EXPECT_EQ(Words(Table(qvlsFFTTwiddleTable_ci16_px(3, sine.get(), 3)), 32), order3);
}

// A real context reads the passes' table of order n - 1 from the sine
// table of order n.
TEST(Q14Tables, TableOfOrderNMinus1FromTheOrderNSineTableEqualsItsOwn) {
  for (const TwiddleBuilder& b : kTwiddleBuilders) {
    for (std::int32_t order = 2; order <= 11; ++order) {
      const std::size_t words = 4 * (std::size_t{1} << (order - 1));
      const Table sine(qvlsFFTSineTable_i16_px(order));
      const Table own_sine(qvlsFFTSineTable_i16_px(order - 1));
      const Table from_larger(b.build(order - 1, sine.get(), order));
      const Table own(b.build(order - 1, own_sine.get(), order - 1));
      EXPECT_EQ(Words(from_larger, words), Words(own, words)) << b.name << " order " << order;
    }
  }
}

// Orders 0 and 1 give zero records (which no routine reads), without
// reading the one-entry sine table beyond its entry.
TEST(Q14Tables, TablesOfOrdersZeroAndOneAreZero) {
  for (const SineBuilder& b : kSineBuilders) {
    for (std::int32_t order = 0; order <= 1; ++order) {
      EXPECT_EQ(Words(Table(b.build(order)), 1), std::vector<std::int16_t>{0}) << b.name;
    }
  }
  const Table sine(qvlsFFTSineTable_i16_px(1));
  for (const TwiddleBuilder& b : kTwiddleBuilders) {
    EXPECT_EQ(Words(Table(b.build(0, sine.get(), 1)), 4), std::vector<std::int16_t>(4, 0));
    EXPECT_EQ(Words(Table(b.build(1, sine.get(), 1)), 8), std::vector<std::int16_t>(8, 0));
  }
}

TEST(Q14Tables, BuildersGiveNullWhenThePoolRefuses) {
  plat::ex::Pool pool("q14");
  plat::ex::ScopedPool installed(pool);
  const Table sine(qvlsFFTSineTable_i16_px(6));
  pool.FailTag(plat::ex::PoolTag("Ddk "));
  for (const SineBuilder& b : kSineBuilders) EXPECT_EQ(b.build(6), nullptr) << b.name;
  for (const TwiddleBuilder& b : kTwiddleBuilders) {
    EXPECT_EQ(b.build(6, sine.get(), 6), nullptr) << b.name;
  }
}

}  // namespace
}  // namespace qvls_test::transforms
