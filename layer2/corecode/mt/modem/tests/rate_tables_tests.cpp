// The connection's rate tables against the rate sets of V.34, V.90 and
// V.92, the data pump's rate codes, and the masks of allowed rates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "layer2/corecode/mt/modem/rate_tables.h"

namespace vxctl::testing {
namespace {

// V.34's data rates are 2400 k bit/s; index 0 reads as the lowest, 15 as
// none.
TEST(RateTables, V34IndexIs2400TimesK) {
  EXPECT_EQ(RateAt(kV34Rates, 0), 2400);
  for (std::uint32_t k = 1; k <= 14; ++k) EXPECT_EQ(RateAt(kV34Rates, k), 2400 * k) << k;
  EXPECT_EQ(RateAt(kV34Rates, 15), 0);
  EXPECT_EQ(RateAt(kV34Rates, 16), 0);
  EXPECT_EQ(RateAt(kV34Rates, 255), 0);
}

// V.92's upstream rates run from 24000 to 48000 bit/s in steps of 4000/3.
TEST(RateTables, V92UpstreamIndexSteps4000Thirds) {
  EXPECT_EQ(RateAt(kV92UpstreamRates, 0), 0);
  for (std::uint32_t k = 1; k <= 19; ++k) {
    EXPECT_EQ(RateAt(kV92UpstreamRates, k), 24000 + 4000 * (k - 1) / 3) << k;
  }
  EXPECT_EQ(RateAt(kV92UpstreamRates, 19), 48000);
  EXPECT_EQ(RateAt(kV92UpstreamRates, 20), 0);
  EXPECT_EQ(RateAt(kV92UpstreamRates, 255), 0);
}

// V.90's downstream rates are 28000 + 8000 m / 6 bit/s, rounded down; the
// table holds every one of them from 28000 to 57333, 33333 twice.
TEST(RateTables, DownstreamIndexHoldsTheV90RateSet) {
  std::set<std::uint32_t> expected;
  for (std::uint32_t m = 0; m <= 22; ++m) expected.insert(28000 + 4000 * m / 3);
  std::set<std::uint32_t> table;
  for (std::uint32_t i = 0; i < 24; ++i) {
    const std::uint16_t rate = RateAt(kDownstreamRates, i);
    EXPECT_EQ(expected.count(rate), 1u) << "entry " << i << ": " << rate;
    table.insert(rate);
  }
  EXPECT_EQ(table, expected);
  EXPECT_EQ(RateAt(kDownstreamRates, 24), 0);
}

// The data pump's rate codes, as its connect parameters read them.
TEST(RateTables, RateCodeOfEveryListedRateAnd9ForTheRest) {
  struct Row {
    std::uint16_t rate;
    std::uint8_t code;
  };
  const Row listed[] = {
      {75, 3},     {1200, 3},   {300, 2},    {2400, 4},   {4800, 5},   {7200, 6},   {9600, 7},
      {12000, 8},  {14400, 9},  {16800, 10}, {19200, 11}, {21600, 16}, {24000, 17}, {26400, 18},
      {28800, 19}, {31200, 20}, {33600, 21}, {36000, 22}, {33333, 32}, {37333, 33}, {41333, 34},
      {42666, 35}, {44000, 36}, {45333, 37}, {46666, 38}, {48000, 39}, {49333, 40}, {50666, 41},
      {52000, 42}, {53333, 43}, {54666, 44}, {56000, 45}, {57333, 46}};
  std::set<std::uint16_t> listed_rates;
  for (const Row& row : listed) {
    EXPECT_EQ(ModemTask_RateCode(row.rate), row.code) << row.rate;
    listed_rates.insert(row.rate);
  }
  // Every V.34 rate's code is the data pump's V.34 rate index: 4..11 for
  // 2400..19200 and 16..21 for 21600..33600.
  for (std::uint16_t k = 1; k <= 14; ++k) {
    const int code = ModemTask_RateCode(static_cast<std::uint16_t>(2400 * k));
    EXPECT_EQ(k <= 8 ? code - 3 : code - 7, k) << 2400 * k;
  }
  for (std::uint32_t rate = 0; rate <= 0xFFFF; ++rate) {
    if (listed_rates.count(static_cast<std::uint16_t>(rate)) != 0) continue;
    ASSERT_EQ(ModemTask_RateCode(static_cast<std::uint16_t>(rate)), 9) << rate;
  }
  for (std::uint16_t unlisted : {28000, 29333, 30666, 32000, 34666, 38666, 40000}) {
    EXPECT_EQ(ModemTask_RateCode(unlisted), 9) << unlisted;
  }
}

struct MaskCase {
  const char* name;
  std::uint8_t m;
  std::uint16_t tmin, tmax, rmin, rmax;
  RateMaskContext context;
  RateMasks masks;
};

// Bit i of a and b stands for 2400 (i + 1) bit/s. Modulation 24 leaves
// the limits as given (no pairing, no copy), so its rows show the receive
// masks of one limit each.
TEST(RateMasks, ByModulationAndLimits) {
  const RateMaskContext idle{};
  const MaskCase cases[] = {
      {"V.32 4800-9600", 12, 4800, 9600, 4800, 9600, idle, {0x000E, 0x000E, 0}},
      {"V.32 pairs the limits", 12, 2400, 9600, 4800, 14400, idle, {0x000E, 0x000E, 0}},
      {"V.34 pairs the limits", 18, 2400, 33600, 4800, 28800, idle,
       {0x0FFE, 0x0FFE, 0x00010000}},
      // receive maxima; the minimum 0 counts as 2400
      {"max 9600", 24, 0, 33600, 0, 9600, idle, {0x3FFF, 0x000F, 0}},
      {"max 26400", 24, 0, 33600, 0, 26400, idle, {0x3FFF, 0x07FF, 0}},
      {"max 28000", 24, 0, 33600, 0, 28000, idle, {0x3FFF, 0x07FF, 0x00010000}},
      {"max 28800", 24, 0, 33600, 0, 28800, idle, {0x3FFF, 0x0FFF, 0x00010000}},
      {"max 29333", 24, 0, 33600, 0, 29333, idle, {0x3FFF, 0x0FFF, 0x00030000}},
      {"max 30666", 24, 0, 33600, 0, 30666, idle, {0x3FFF, 0x0FFF, 0x00070000}},
      {"max 31200", 24, 0, 33600, 0, 31200, idle, {0x3FFF, 0x1FFF, 0x00070000}},
      {"max 32000", 24, 0, 33600, 0, 32000, idle, {0x3FFF, 0x1FFF, 0x000F0000}},
      {"max 33333", 24, 0, 33600, 0, 33333, idle, {0x3FFF, 0x1FFF, 0x001F0001}},
      {"max 33600", 24, 0, 33600, 0, 33600, idle, {0x3FFF, 0x3FFF, 0x001F0001}},
      {"max 34666", 24, 0, 33600, 0, 34666, idle, {0x3FFF, 0x3FFF, 0x003F0001}},
      {"max 53333", 24, 0, 33600, 0, 53333, idle, {0x3FFF, 0x3FFF, 0x07FF0FFF}},
      {"max 57333", 24, 0, 33600, 0, 57333, idle, {0x3FFF, 0x3FFF, 0x07FF7FFF}},
      // between the listed rates: the next lower one
      {"max 26500", 24, 0, 33600, 0, 26500, idle, {0x3FFF, 0x07FF, 0}},
      {"max 30000", 24, 0, 33600, 0, 30000, idle, {0x3FFF, 0x0FFF, 0x00030000}},
      {"max 34665", 24, 0, 33600, 0, 34665, idle, {0x3FFF, 0x3FFF, 0x001F0001}},
      // receive minima under a maximum of 53333
      {"min 9600", 24, 0, 33600, 9600, 53333, idle, {0x3FFF, 0x3FF8, 0x07FF0FFF}},
      {"min 28000", 24, 0, 33600, 28000, 53333, idle, {0x3FFF, 0x3800, 0x07FF0FFF}},
      {"min 28800", 24, 0, 33600, 28800, 53333, idle, {0x3FFF, 0x3800, 0x07FF0FFF}},
      {"min 29333", 24, 0, 33600, 29333, 53333, idle, {0x3FFF, 0x3000, 0x07FF0FFF}},
      {"min 30666", 24, 0, 33600, 30666, 53333, idle, {0x3FFF, 0x3000, 0x07FC0FFF}},
      {"min 31200", 24, 0, 33600, 31200, 53333, idle, {0x3FFF, 0x3000, 0x07F80FFF}},
      {"min 32000", 24, 0, 33600, 32000, 53333, idle, {0x3FFF, 0x2000, 0x07F80FFF}},
      {"min 33333", 24, 0, 33600, 33333, 53333, idle, {0x3FFF, 0x2000, 0x07F00FFF}},
      {"min 33600", 24, 0, 33600, 33600, 53333, idle, {0x3FFF, 0x2000, 0x07E00FFE}},
      {"min 40000", 24, 0, 33600, 40000, 53333, idle, {0x3FFF, 0, 0x06000FFC}},
      {"min 50666", 24, 0, 33600, 50666, 53333, idle, {0x3FFF, 0, 0x00000E00}},
      // transmit limits
      {"transmit 7200-19200", 24, 7200, 19200, 0, 2400, idle, {0x00FC, 0x0001, 0}},
      // connected: only the current maximum with \J, or below V.32bis with %G 0
      {"connected, \\J", 16, 4800, 14400, 4800, 14400, {2, 1, 1}, {0x0020, 0x0020, 0}},
      {"connected, %G 0", 12, 4800, 9600, 4800, 9600, {2, 0, 0}, {0x0008, 0x0008, 0}},
      {"connected, %G 1", 12, 4800, 9600, 4800, 9600, {2, 0, 1}, {0x000E, 0x000E, 0}},
      {"connected V.32bis, %G 0", 16, 4800, 14400, 4800, 14400, {2, 0, 0}, {0x003E, 0x003E, 0}},
      {"retraining, \\J", 12, 4800, 9600, 4800, 9600, {3, 1, 0}, {0x000E, 0x000E, 0}},
      // V.90 sends the transmit mask as b
      {"V.90 copies a into b", 23, 4800, 9600, 0, 53333, idle, {0x000E, 0x000E, 0x07FF0FFF}},
      // hostile limits stay within the tables
      {"max 65535", 24, 0, 65535, 0, 65535, idle, {0x3FFF, 0x3FFF, 0x07FF7FFF}},
      {"min 65535", 24, 65535, 33600, 65535, 65535, idle, {0, 0, 0x00004000}},
      {"all 0", 24, 0, 0, 0, 0, idle, {0, 0, 0}},
  };
  for (const MaskCase& c : cases) {
    SCOPED_TRACE(c.name);
    const RateMasks masks = rate_masks(c.m, c.tmin, c.tmax, c.rmin, c.rmax, c.context);
    EXPECT_EQ(masks.a, c.masks.a);
    EXPECT_EQ(masks.b, c.masks.b);
    EXPECT_EQ(masks.c, c.masks.c);
  }
}

// V.90's downstream rate k (k = 0..22): 28000 + 8000 k / 6, rounded down.
std::uint32_t V90Rate(std::uint32_t k) { return 28000 + 8000 * k / 6; }

// The PCM mask c of the rates that `keep` admits. Its high half is V.90's
// rates 28000..41333 (bit k for rate k = 0..10); its low half the higher
// downstream rates: bit 0 33333, bit 1 37333, bits 2..14 41333 to 57333
// (rates k = 4, 7 and 10..22).
template <typename Keep>
std::uint32_t PcmMask(Keep keep) {
  std::uint32_t mask = 0;
  for (std::uint32_t k = 0; k <= 10; ++k) {
    if (keep(V90Rate(k))) mask |= 1u << (16 + k);
  }
  std::vector<std::uint32_t> low = {V90Rate(4), V90Rate(7)};
  for (std::uint32_t k = 10; k <= 22; ++k) low.push_back(V90Rate(k));
  for (std::size_t j = 0; j < low.size(); ++j) {
    if (keep(low[j])) mask |= 1u << j;
  }
  return mask;
}

// Every V.90 downstream rate as receive maximum (every PCM rate up to it)
// and as receive minimum (every PCM rate from it); rates past the top
// rate, hostile ones too, act as the top.
TEST(RateMasks, PcmTablesByRate) {
  std::vector<std::uint32_t> rates;
  for (std::uint32_t k = 0; k <= 22; ++k) rates.push_back(V90Rate(k));
  for (std::uint32_t beyond : {58666u, 58999u, 65535u}) rates.push_back(beyond);
  for (const std::uint32_t rate : rates) {
    SCOPED_TRACE(rate);
    const auto limit = static_cast<std::uint16_t>(rate);
    const std::uint32_t top = std::min<std::uint32_t>(rate, V90Rate(22));
    EXPECT_EQ(rate_masks(24, 0, 33600, 0, limit, {}).c,
              PcmMask([&](std::uint32_t r) { return r <= top; }));
    // The data pump's minimum masks keep 28000 for a minimum of 29333
    // (its first two entries are alike).
    const std::uint32_t floor = top == V90Rate(1) ? V90Rate(0) : top;
    EXPECT_EQ(rate_masks(24, 0, 33600, limit, 57333, {}).c,
              PcmMask([&](std::uint32_t r) { return r >= floor; }));
  }
}

}  // namespace
}  // namespace vxctl::testing
