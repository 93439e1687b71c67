// stats_db against 2560 log10(x) computed in double precision: the fixed
// point's 11 fraction bits and its final shift keep it within 1.5.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "layer2/corecode/mt/stats/statistics_block.h"

namespace vxctl::testing {
namespace {

TEST(StatsDb, KnownValues) {
  struct Case {
    std::uint32_t x;
    std::uint32_t db;
  };
  for (const Case& c : {Case{0, 0}, Case{1, 0}, Case{2, 770}, Case{10, 2559}, Case{100, 5119},
                        Case{65536, 12330}}) {
    EXPECT_EQ(stats_db(c.x), c.db) << "x = " << c.x;
  }
}

TEST(StatsDb, WithinTruncationOfTheLogarithmOverASeededSweep) {
  std::mt19937 random(0x5DB);
  // Every power of two and its neighbours, and random values of every size.
  std::vector<std::uint64_t> xs;
  for (int bit = 1; bit < 32; ++bit) {
    for (const std::int64_t d : {-1, 0, 1}) xs.push_back((std::uint64_t{1} << bit) + d);
  }
  for (int i = 0; i < 4000; ++i) {
    const int bits = 2 + static_cast<int>(random() % 31);
    xs.push_back((random() & ((std::uint64_t{1} << bits) - 1)) | 2);
  }
  xs.push_back(0xFFFFFFFFu);
  for (const std::uint64_t x : xs) {
    const double exact = 2560.0 * std::log10(static_cast<double>(x));
    const double got = stats_db(static_cast<std::uint32_t>(x));
    EXPECT_NEAR(got, exact, 1.5) << "x = " << x;
  }
}

TEST(StatsDb, WideValuesKeepTheirScale) {
  // A power scaled up past 32 bits is measured, not wrapped.
  for (const std::uint64_t x : {std::uint64_t{1} << 32, std::uint64_t{0xFFFFFFFF} * 8,
                                std::uint64_t{0x123456789}}) {
    const double exact = 2560.0 * std::log10(static_cast<double>(x));
    const double got = stats_db_wide(x);
    EXPECT_NEAR(got, exact, 1.5) << "x = " << x;
  }
}

}  // namespace
}  // namespace vxctl::testing
