// The S-register limits of a country record: an S command's value held to
// its row, and the defaults a change of country writes.
#include <gtest/gtest.h>

#include "controller/line/country/builtin_records.h"
#include "controller/line/country/s_register_limits.h"
#include "controller/line/country/tests/country_testing.h"

namespace vxctl::testing {
namespace {

void PutRow(CountryRecord& r, std::size_t row, const SRegisterRow& v) {
  const std::size_t at = 1024 + row * 6;
  const std::uint8_t bytes[] = {v.reg, v.default_value, v.min, v.max, v.excluded_low, v.excluded_high};
  std::copy(std::begin(bytes), std::end(bytes), r.bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

// Rows: S40 10-200 without a band; an empty row; S41 0-100 excluding
// 20-29; S42 0-50 excluding 40-50 (the band at the top); S41 again (never
// reached: the first row wins).
CountryRecord Limits() {
  CountryRecord r;
  for (std::size_t row = 0; row < 15; ++row) PutRow(r, row, {255, 255, 255, 255, 255, 255});
  PutRow(r, 0, {40, 11, 10, 200, 255, 255});
  PutRow(r, 2, {41, 12, 0, 100, 20, 29});
  PutRow(r, 3, {42, 13, 0, 50, 40, 50});
  PutRow(r, 4, {41, 14, 0, 5, 255, 255});
  PutRow(r, 5, {43, 15, 0, 100, 30, 255});  // one bound 255: no band
  Put16(r, 1022, 6);
  return r;
}

TEST(SRegisterLimits, ValuesHeldToTheRow) {
  struct Case {
    const char* what;
    std::uint8_t reg, value;
    std::uint8_t answer, stored;
  };
  const Case cases[] = {
      {"in range", 40, 100, 1, 100},
      {"at min", 40, 10, 1, 10},
      {"below min", 40, 9, 1, 10},
      {"above max", 40, 201, 1, 200},
      {"below the band", 41, 19, 1, 19},
      {"band low", 41, 20, 1, 30},
      {"band high", 41, 29, 1, 30},
      {"above the band", 41, 30, 1, 30},
      {"above max, band row", 41, 101, 1, 100},
      {"band at the top", 42, 45, 1, 50},
      {"band's top is the max", 42, 50, 1, 50},
      {"one bound 255", 43, 40, 1, 40},
      {"no row", 44, 7, 0, 0xEE},
      {"register 255", 255, 7, 0, 0xEE},
  };
  const CountryRecord r = Limits();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SRegisters s;
    s.fill(0xEE);
    EXPECT_EQ(S_limit_register(r, s, c.reg, c.value), c.answer);
    for (std::size_t i = 0; i < s.size(); ++i) {
      EXPECT_EQ(s[i], i == c.reg ? c.stored : 0xEE) << i;
    }
  }
}

TEST(SRegisterLimits, OnlyTheCountedRowsAndAtMostFifteenAreRead) {
  CountryRecord r = Limits();
  SRegisters s{};
  Put16(r, 1022, 2);  // rows 1 and 2: S41's row not counted
  EXPECT_EQ(S_limit_register(r, s, 41, 25), 0);
  EXPECT_EQ(S_limit_register(r, s, 40, 5), 1);
  // A count of 16: the bytes after row 15 (the RING table's) are no row.
  r = Limits();
  Put16(r, 1022, 16);
  PutRow(r, 14, {45, 1, 0, 9, 255, 255});
  PutRow(r, 15, {46, 1, 0, 9, 255, 255});  // lands on the RING table
  EXPECT_EQ(r.bytes[1114], 46);
  EXPECT_EQ(S_limit_register(r, s, 45, 20), 1);
  EXPECT_EQ(s[45], 9);
  EXPECT_EQ(S_limit_register(r, s, 46, 20), 0);
  EXPECT_EQ(s[46], 0);
}

TEST(SRegisterLimits, CountryDefaultsAndTheCallingTone) {
  CountryRecord r = Limits();
  PutRow(r, 1, {200, 99, 0, 255, 255, 255});  // a register without storage
  SRegisters s;
  s.fill(0xEE);
  std::uint8_t calling_tone = 0xEE;
  r.bytes[4] = 7;  // general flag 3
  S_apply_country_defaults(r, s, calling_tone);
  for (std::size_t i = 0; i < s.size(); ++i) {
    // S41 has two rows: each writes its default, so the later one stays.
    const std::uint8_t want = i == 40 ? 11 : i == 41 ? 14 : i == 42 ? 13 : i == 43 ? 15 : 0xEE;
    EXPECT_EQ(s[i], want) << i;
  }
  EXPECT_EQ(calling_tone, 1);
  r.bytes[4] = 0;
  S_apply_country_defaults(r, s, calling_tone);
  EXPECT_EQ(calling_tone, 0);
}

TEST(SRegisterLimits, RecordZeroAgreesWithTheFactorySettings) {
  SRegisters s = kSRegisterFactory;
  std::uint8_t calling_tone = 0;
  S_apply_country_defaults(DefaultCountryRecord(), s, calling_tone);
  EXPECT_EQ(s, kSRegisterFactory);
  EXPECT_EQ(calling_tone, 1);
  // Every factory value passes its row unchanged.
  for (std::size_t r = 0; r < SRegisterLimits(DefaultCountryRecord()).valid_count(); ++r) {
    const std::uint8_t reg = SRegisterLimits(DefaultCountryRecord()).row(r).reg;
    SRegisters t = kSRegisterFactory;
    EXPECT_EQ(S_limit_register(DefaultCountryRecord(), t, reg, kSRegisterFactory[reg]), 1) << +reg;
    EXPECT_EQ(t, kSRegisterFactory) << +reg;
  }
}

}  // namespace
}  // namespace vxctl::testing
