// Delta records applied to record 0: what an item changes, and deltas that
// are not sound, which change nothing.
#include <gtest/gtest.h>

#include "controller/line/country/builtin_records.h"
#include "controller/line/country/tests/country_testing.h"

namespace vxctl::testing {
namespace {

// The offsets at which two records differ.
std::vector<std::size_t> Differences(const CountryRecord& a, const CountryRecord& b) {
  std::vector<std::size_t> at;
  for (std::size_t i = 0; i < a.bytes.size(); ++i) {
    if (a.bytes[i] != b.bytes[i]) at.push_back(i);
  }
  return at;
}

CountryRecord Applied(const std::vector<std::uint8_t>& delta,
                      CountryDeltaCheck expected = CountryDeltaCheck::kSound) {
  CountryRecord r = DefaultCountryRecord();
  EXPECT_EQ(ApplyCountryDelta(r, CountryDelta{delta}), expected);
  return r;
}

TEST(CountryDelta, OneByteItemChangesOneByte) {
  // Blacklisting on: 1 byte at 6, an item area of 5 bytes.
  const std::vector<std::uint8_t> delta = DeltaBuilder().Item(CountryParamId(1, 5, 0, 0), {1}).Bytes();
  ASSERT_EQ(delta[2], 5);
  const CountryRecord r = Applied(delta);
  EXPECT_EQ(Differences(r, DefaultCountryRecord()), std::vector<std::size_t>{6});
  EXPECT_EQ(r.bytes[6], 1);
}

TEST(CountryDelta, WholeTableItemOverwritesTheTable) {
  const std::vector<std::uint8_t> table(92, 0x5A);
  const CountryRecord r = Applied(DeltaBuilder().Item(CountryParamId(8, 0, 0, 0), table).Bytes());
  for (std::size_t i = 0; i < r.bytes.size(); ++i) {
    const bool inside = i >= 1022 && i < 1114;
    EXPECT_EQ(r.bytes[i], inside ? 0x5A : DefaultCountryRecord().bytes[i]) << i;
  }
}

TEST(CountryDelta, SegmentMemberChangesOnlyThatMember) {
  // The maximum of cadence segment 8 (the first of set 2) of tone record 2,
  // the busy record: 2 bytes at 86 + 2 + 86 + 16 + 7 * 5 + 3.
  const std::size_t at = 86 + 2 + 86 + 16 + 7 * 5 + 3;
  const CountryRecord r =
      Applied(DeltaBuilder().Item(CountryParamId(5, 3, 11 + 7, 3), {0x34, 0x12}).Bytes());
  EXPECT_EQ(Differences(r, DefaultCountryRecord()), (std::vector<std::size_t>{at, at + 1}));
  EXPECT_EQ(Tones(r).row(1).segment(7).max_ms, 0x1234);
  EXPECT_EQ(Tones(r).row(1).segment(7).min_ms, Tones(DefaultCountryRecord()).row(1).segment(7).min_ms);
}

TEST(CountryDelta, LaterItemsWinAndApplyingTwiceChangesNothingMore) {
  const std::vector<std::uint8_t> delta = DeltaBuilder()
                                              .Item(CountryParamId(2, 0, 0, 0), {1, 0, 2, 0, 3, 0})
                                              .Item(CountryParamId(2, 2, 0, 0), {0x88, 0x13})
                                              .Bytes();
  CountryRecord once = Applied(delta);
  EXPECT_EQ(GeneralParams(once).dial_tone_wait(), 1);
  EXPECT_EQ(GeneralParams(once).quiet_time(), 5000);
  EXPECT_EQ(GeneralParams(once).ring_timeout(), 3);
  CountryRecord twice = once;
  EXPECT_EQ(ApplyCountryDelta(twice, CountryDelta{delta}), CountryDeltaCheck::kSound);
  EXPECT_EQ(twice.bytes, once.bytes);
}

TEST(CountryDelta, FaultyDeltasChangeNothing) {
  const std::uint32_t flag5 = CountryParamId(1, 5, 0, 0);
  struct Case {
    const char* what;
    std::vector<std::uint8_t> delta;
    CountryDeltaCheck check;
  };
  const std::vector<Case> cases = {
      {"unknown id after a good item",
       DeltaBuilder().Item(flag5, {1}).Item(CountryParamId(1, 11, 0, 0), {1}).Bytes(),
       CountryDeltaCheck::kUnknownId},
      {"item bytes past the area", DeltaBuilder().Item(flag5, {1}).Item(CountryParamId(2, 1, 0, 0), {0x40, 0x1F}).Bytes(10),
       CountryDeltaCheck::kItemPastArea},
      {"id cut by the area's end", DeltaBuilder().Item(flag5, {1}).Raw({0, 0}).Bytes(),
       CountryDeltaCheck::kItemPastArea},
      {"length past the delta", DeltaBuilder().Item(flag5, {1}).Bytes(6), CountryDeltaCheck::kLengthPastDelta},
      {"length 0xFFFF", DeltaBuilder().Item(flag5, {1}).Bytes(0xFFFF), CountryDeltaCheck::kLengthPastDelta},
      {"no header", {0x84, 0, 0}, CountryDeltaCheck::kNoHeader},
      {"not marked", {0x04, 0, 5, 0, 0, 0, 5, 1, 1}, CountryDeltaCheck::kNotDelta},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CheckCountryDelta(CountryDelta{c.delta}), c.check);
    EXPECT_EQ(Applied(c.delta, c.check).bytes, DefaultCountryRecord().bytes);
  }
}

TEST(CountryDelta, BytesAfterTheItemAreaAreNotRead) {
  // Padding to a 4-byte boundary, or a registry value longer than the delta.
  const std::vector<std::uint8_t> delta =
      DeltaBuilder().Item(CountryParamId(1, 5, 0, 0), {1}).Raw({0xFF, 0xFF, 0xFF}).Bytes(5);
  const CountryRecord r = Applied(delta);
  EXPECT_EQ(Differences(r, DefaultCountryRecord()), std::vector<std::size_t>{6});
}

TEST(CountryDelta, A4096ByteDelta) {
  // After the 4-byte header: four whole TONE tables (4 x 694 bytes), 131
  // S-register row items (10 bytes each, rows 1-15 in turn) and one 2-byte
  // item (6 bytes): 4,092 bytes.
  DeltaBuilder builder;
  for (std::uint8_t n = 1; n <= 4; ++n) {
    builder.Item(CountryParamId(5, 0, 0, 0), std::vector<std::uint8_t>(690, n));
  }
  for (int i = 0; i < 131; ++i) {
    const auto row = static_cast<std::uint8_t>(2 + i % 15);
    builder.Item(CountryParamId(8, row, 0, 0), std::vector<std::uint8_t>(6, static_cast<std::uint8_t>(i)));
  }
  builder.Item(CountryParamId(2, 1, 0, 0), {0x10, 0x27});
  const std::vector<std::uint8_t> delta = builder.Bytes();
  ASSERT_EQ(delta.size(), 4096u);
  const CountryRecord r = Applied(delta);
  EXPECT_EQ(r.bytes[86], 4);  // the last whole TONE table wins
  EXPECT_EQ(r.bytes[775], 4);
  // The last item of row r was number 120 + r (rows 0-10) or 105 + r.
  for (std::size_t row = 0; row < 15; ++row) {
    EXPECT_EQ(SRegisterLimits(r).row(row).reg, row <= 10 ? 120 + row : 105 + row) << row;
  }
  EXPECT_EQ(GeneralParams(r).dial_tone_wait(), 10000);
}

}  // namespace
}  // namespace vxctl::testing
