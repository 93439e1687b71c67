// The record's layout against the format's offsets, and the views against
// raw little-endian reads of seeded random records.
#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "controller/line/country/tests/country_testing.h"

namespace vxctl::testing {
namespace {

TEST(CountryRecordLayout, TablesSitWhereTheFormatPutsThem) {
  EXPECT_EQ(sizeof(CountryRecord), 1534u);
  EXPECT_EQ(kCountryVersion.offset, kTypedLayout[0].offset);
  EXPECT_EQ(kCountryVersion.size, kTypedLayout[0].size);
  for (std::size_t t = 1; t <= kCountryTableCount; ++t) {
    SCOPED_TRACE(kTypedLayout[t].name);
    EXPECT_EQ(kCountryTables[t].offset, kTypedLayout[t].offset);
    EXPECT_EQ(kCountryTables[t].size, kTypedLayout[t].size);
  }
  EXPECT_EQ(kCountryTrailer.offset, kTypedLayout[13].offset);
  EXPECT_EQ(kCountryTrailer.size, kTypedLayout[13].size);
}

CountryRecord RandomRecord(std::mt19937& rng) {
  CountryRecord r;
  for (std::uint8_t& b : r.bytes) b = static_cast<std::uint8_t>(rng());
  return r;
}

// One value a view gives, and where the format puts it.
struct Read {
  const char* what;
  std::function<unsigned(const CountryRecord&)> view;
  std::size_t offset;
  int width;  // 1 or 2 bytes
};

TEST(CountryRecordLayout, ViewsReadTheFormatsBytes) {
  const std::vector<Read> reads = {
      {"version", [](const CountryRecord& r) { return r.version(); }, 0, 2},
      {"flag 1", [](const CountryRecord& r) { return GeneralFlags(r).pulse_allowed(); }, 2, 1},
      {"flag 5", [](const CountryRecord& r) { return GeneralFlags(r).blacklisting(); }, 6, 1},
      {"flag 6", [](const CountryRecord& r) { return GeneralFlags(r).daa_selector(); }, 7, 1},
      {"flag 10", [](const CountryRecord& r) { return GeneralFlags(r).caller_id_config(); }, 11, 1},
      {"dial-tone wait", [](const CountryRecord& r) { return GeneralParams(r).dial_tone_wait(); }, 12, 2},
      {"ring time-out", [](const CountryRecord& r) { return GeneralParams(r).ring_timeout(); }, 16, 2},
      {"dtmf level 2", [](const CountryRecord& r) { return VoiceDtmfLevels(r).level(1); }, 19, 1},
      {"filter count", [](const CountryRecord& r) { return Filters(r).count(); }, 20, 2},
      {"filter 1 word 0", [](const CountryRecord& r) { return Filters(r).word(1, 0); }, 22, 2},
      {"filter 2 word 15", [](const CountryRecord& r) { return Filters(r).word(2, 15); }, 84, 2},
      {"tone count", [](const CountryRecord& r) { return Tones(r).count(); }, 86, 2},
      {"tone 1 kind", [](const CountryRecord& r) { return Tones(r).row(0).kind(); }, 88, 1},
      {"tone 2 off threshold", [](const CountryRecord& r) { return Tones(r).row(1).off_threshold(); }, 88 + 86 + 6, 2},
      {"tone 8 set-2 count", [](const CountryRecord& r) { return Tones(r).row(7).set2_count(); }, 88 + 7 * 86 + 14, 2},
      {"tone 1 segment 1 on", [](const CountryRecord& r) { return Tones(r).row(0).segment(0).on; }, 104, 1},
      {"tone 8 segment 14 max", [](const CountryRecord& r) { return Tones(r).row(7).segment(13).max_ms; }, 88 + 7 * 86 + 16 + 13 * 5 + 3, 2},
      {"daa count", [](const CountryRecord& r) { return DaaSequences(r).count(); }, 776, 2},
      {"daa 1 id", [](const CountryRecord& r) { return DaaSequences(r).row(0).id(); }, 778, 1},
      {"daa 2 hardware word 2", [](const CountryRecord& r) { return DaaSequences(r).row(1).hardware_word(1); }, 778 + 57 + 3, 2},
      {"daa 3 level 3", [](const CountryRecord& r) { return DaaSequences(r).row(2).level(2); }, 778 + 114 + 9, 2},
      {"daa 1 seize time", [](const CountryRecord& r) { return DaaSequences(r).row(0).time(0); }, 789, 2},
      {"daa 1 pulse end", [](const CountryRecord& r) { return DaaSequences(r).row(0).time(6); }, 801, 2},
      {"daa 3 pattern 8 value", [](const CountryRecord& r) { return DaaSequences(r).row(2).pattern(7).value; }, 778 + 114 + 53 + 2, 2},
      {"attempt limit", [](const CountryRecord& r) { return BlackListParams(r).attempt_limit(); }, 949, 2},
      {"number delay 1", [](const CountryRecord& r) { return BlackListParams(r).number_delay(0); }, 953, 2},
      {"intercall delay 16", [](const CountryRecord& r) { return BlackListParams(r).intercall_delay(15); }, 1015, 2},
      {"forget time", [](const CountryRecord& r) { return BlackListParams(r).forget_time(); }, 1017, 2},
      {"black-list flags", [](const CountryRecord& r) { return BlackListParams(r).flags(); }, 1019, 1},
      {"failure mask", [](const CountryRecord& r) { return BlackListParams(r).failure_mask(); }, 1020, 1},
      {"s count", [](const CountryRecord& r) { return SRegisterLimits(r).count(); }, 1022, 2},
      {"s row 1 register", [](const CountryRecord& r) { return SRegisterLimits(r).row(0).reg; }, 1024, 1},
      {"s row 15 excluded high", [](const CountryRecord& r) { return SRegisterLimits(r).row(14).excluded_high; }, 1024 + 14 * 6 + 5, 1},
      {"ring count", [](const CountryRecord& r) { return RingPatterns(r).count(); }, 1114, 2},
      {"ring 1 header", [](const CountryRecord& r) { return RingPatterns(r).row(0).set1_header(); }, 1116, 2},
      {"ring 1 segment 1 flags", [](const CountryRecord& r) { return RingPatterns(r).row(0).segment(0).flags; }, 1120, 1},
      {"ring 3 segment 14 duration max", [](const CountryRecord& r) { return RingPatterns(r).row(2).segment(13).duration_max; }, 1116 + 260 + 4 + 13 * 9 + 7, 2},
      {"call-waiting window 1", [](const CountryRecord& r) { return CallWaiting(r).window(0); }, 1506, 2},
      {"call-waiting gap", [](const CountryRecord& r) { return CallWaiting(r).time(4); }, 1522, 2},
      {"hook-flash method", [](const CountryRecord& r) { return HookFlash(r).method(); }, 1524, 2},
      {"hook-flash digit 2", [](const CountryRecord& r) { return HookFlash(r).digit(1); }, 1527, 1},
      {"hook-flash pause", [](const CountryRecord& r) { return HookFlash(r).pause(); }, 1528, 2},
  };
  std::mt19937 rng(65);
  for (int round = 0; round < 8; ++round) {
    const CountryRecord r = RandomRecord(rng);
    for (const Read& read : reads) {
      SCOPED_TRACE(read.what);
      const unsigned raw = read.width == 1 ? r.bytes[read.offset] : U16(r, read.offset);
      EXPECT_EQ(read.view(r), raw);
    }
  }
}

TEST(CountryRecordLayout, CountsAreBoundedByTheRows) {
  CountryRecord r;
  Put16(r, 86, 0xFFFF);
  Put16(r, 776, 2);
  Put16(r, 1022, 16);
  Put16(r, 1114, 300);
  EXPECT_EQ(Tones(r).valid_count(), 8u);
  EXPECT_EQ(DaaSequences(r).valid_count(), 2u);
  EXPECT_EQ(SRegisterLimits(r).valid_count(), 15u);
  EXPECT_EQ(RingPatterns(r).valid_count(), 3u);
}

using CountryRecordLayoutDeathTest = ::testing::Test;

TEST_F(CountryRecordLayoutDeathTest, AnIndexPastATableStops) {
  const CountryRecord r;
  EXPECT_DEATH(Tones(r).row(8), "");
  EXPECT_DEATH(RingPatterns(r).row(0).segment(14), "");
  EXPECT_DEATH(Filters(r).word(3, 0), "");
}

}  // namespace
}  // namespace vxctl::testing
