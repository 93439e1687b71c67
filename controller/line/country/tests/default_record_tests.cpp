// Record 0 against the values the format's description gives, its filter
// words against the data pump's call-progress filter, the filter's response
// and the tone cadences against ITU-T E.180.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>

#include "controller/line/country/builtin_records.h"
#include "controller/line/country/tests/country_testing.h"

namespace vxctl::testing {
namespace {

const CountryRecord& R0() { return DefaultCountryRecord(); }

TEST(DefaultRecord, ValuesTheFormatGives) {
  EXPECT_EQ(R0().version(), 4);
  const std::array<std::uint8_t, 10> flags = {1, 1, 1, 0, 0, 0, 0, 1, 1, 0};
  for (std::size_t n = 1; n <= 10; ++n) EXPECT_EQ(GeneralFlags(R0()).field(n), flags[n - 1]) << n;
  EXPECT_EQ(GeneralParams(R0()).dial_tone_wait(), 8000);
  EXPECT_EQ(GeneralParams(R0()).quiet_time(), 5000);
  EXPECT_EQ(VoiceDtmfLevels(R0()).level(0), 10);
  EXPECT_EQ(VoiceDtmfLevels(R0()).level(1), 10);
  EXPECT_EQ(Tones(R0()).count(), 5);
  EXPECT_EQ(SRegisterLimits(R0()).count(), 13);
  EXPECT_EQ(RingPatterns(R0()).count(), 1);
  EXPECT_EQ(GeneralFlags(R0()).blacklisting(), 0);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(R0().bytes[1530 + i], (std::array<std::uint8_t, 4>{0x04, 0x64, 0x04, 0x00}[i]));
  }
}

TEST(DefaultRecord, DaaSequences) {
  const DaaTableView daa = DaaSequences(R0());
  ASSERT_EQ(daa.count(), 3);
  const std::array<std::uint8_t, 3> ids = {1, 3, 2};
  const std::array<std::uint16_t, 7> times = {100, 500, 240, 60, 40, 750, 50};
  const std::array<RelayPattern, 4> patterns = {
      {{0x0024, 0x0024}, {0x0024, 0x0004}, {0x0024, 0x0000}, {0x0024, 0x0024}}};
  for (std::size_t s = 0; s < 3; ++s) {
    SCOPED_TRACE(s);
    const DaaSequenceView seq = daa.row(s);
    EXPECT_EQ(seq.id(), ids[s]);
    for (std::size_t t = 0; t < 7; ++t) EXPECT_EQ(seq.time(t), times[t]);
    for (std::size_t p = 0; p < 4; ++p) {
      EXPECT_EQ(seq.pattern(p).mask, patterns[p].mask);
      EXPECT_EQ(seq.pattern(p).value, patterns[p].value);
    }
    for (std::size_t n = 0; n < 3; ++n) EXPECT_EQ(seq.level(n), 0);
  }
  // Pulse digit "0": 10 x (break + make) + inter-digit = 1750 ms.
  const DaaSequenceView one = daa.row(0);
  EXPECT_EQ(10 * (one.time(3) + one.time(4)) + one.time(5), 1750);
}

TEST(DefaultRecord, RingPattern) {
  const RingPatternView p = RingPatterns(R0()).row(0);
  EXPECT_EQ(p.set1_header(), 2);
  EXPECT_EQ(p.set2_count(), 2);
  struct Segment {
    std::size_t index;
    std::uint8_t flags;
    std::uint16_t fmin, fmax, dmin, dmax;
  };
  const Segment segments[] = {
      {0, 1, 13, 72, 300, 2300}, {1, 0, 0, 0, 500, 5500},  // set 1
      {7, 1, 13, 72, 750, 2300}, {8, 0, 0, 0, 500, 5500},  // set 2
  };
  for (const Segment& s : segments) {
    SCOPED_TRACE(s.index);
    const RingSegment got = p.segment(s.index);
    EXPECT_EQ(got.flags, s.flags);
    EXPECT_EQ(got.freq_min, s.fmin);
    EXPECT_EQ(got.freq_max, s.fmax);
    EXPECT_EQ(got.duration_min, s.dmin);
    EXPECT_EQ(got.duration_max, s.dmax);
  }
  // The cadence reset waits longer than a ring and the longest silence.
  EXPECT_GT(GeneralParams(R0()).ring_timeout(), 5500);
}

TEST(DefaultRecord, SRegisterRowsHoldTheFactoryValuesAndRanges) {
  struct Row {
    std::uint8_t reg, def, min, max;
  };
  const std::array<Row, 13> rows = {{{6, 2, 2, 255},
                                     {7, 60, 1, 255},
                                     {8, 2, 0, 255},
                                     {9, 6, 1, 255},
                                     {10, 14, 1, 255},
                                     {11, 70, 50, 255},
                                     {12, 50, 0, 255},
                                     {18, 0, 0, 255},
                                     {25, 5, 0, 255},
                                     {30, 0, 0, 255},
                                     {32, 32, 0, 32},
                                     {33, 10, 0, 90},
                                     {119, 0, 0, 6}}};
  const SRegisterTableView table = SRegisterLimits(R0());
  for (std::size_t r = 0; r < 15; ++r) {
    SCOPED_TRACE(r);
    const SRegisterRow row = table.row(r);
    if (r >= rows.size()) {
      EXPECT_EQ(row.reg, 255);
      continue;
    }
    EXPECT_EQ(row.reg, rows[r].reg);
    EXPECT_EQ(row.default_value, rows[r].def);
    EXPECT_EQ(row.min, rows[r].min);
    EXPECT_EQ(row.max, rows[r].max);
    EXPECT_EQ(row.excluded_low, 255);
    EXPECT_EQ(row.excluded_high, 255);
  }
}

// The data pump's call-progress filter words as its default set-up writes
// them: section 1 {b2, b1, b0, a2, a1}, section 2, gain, decay, result bit,
// on threshold, off threshold.
constexpr std::array<std::uint16_t, 15> kPumpFilter = {
    0x0666, 0xF339, 0x0666, 0xC329, 0x79AE, 0x3FFF, 0xE65E, 0x3FFF,
    0xC55B, 0x7129, 0x00FF, 0x7F00, 0x0100, 0x3000, 0x2000};

TEST(DefaultRecord, FilterWordsAreTheDataPumpsCallProgressFilter) {
  const FilterView filters = Filters(R0());
  EXPECT_EQ(filters.count(), 2);
  for (std::size_t set = 1; set <= 2; ++set) {
    SCOPED_TRACE(set);
    EXPECT_EQ(filters.word(set, 0), 0);
    EXPECT_EQ(filters.word(set, 1), 0);
    for (std::size_t w = 0; w < 12; ++w) EXPECT_EQ(filters.word(set, 2 + w), kPumpFilter[w]);
    EXPECT_EQ(filters.word(set, 14), kPumpFilter[13]);
    EXPECT_EQ(filters.word(set, 15), kPumpFilter[14]);
  }
}

double Q15(std::uint16_t word) { return static_cast<std::int16_t>(word) / 32768.0; }

// The gain in dB at f Hz (9600 samples/s) of the two sections in the data
// pump's filter record form: words 0-4 and 5-9 of a record are {b2, b1, b0,
// a2, a1} in Q15, and a section's output is its doubled accumulator,
// y = 2 (b0 x + b1 x1 + b2 x2 + a1 y1 + a2 y2). The record's words come
// from the country filter set: words 2-8 and 9-13 in order.
double ResponseDb(const FilterView& filters, std::size_t set, double f) {
  const std::complex<double> z1 = std::polar(1.0, -2 * std::numbers::pi * f / 9600.0);
  std::complex<double> h = 1.0;
  for (std::size_t section = 0; section < 2; ++section) {
    const auto word = [&](std::size_t i) { return Q15(filters.word(set, 2 + section * 5 + i)); };
    const double b2 = word(0), b1 = word(1), b0 = word(2), a2 = word(3), a1 = word(4);
    h *= 2.0 * (b0 + b1 * z1 + b2 * z1 * z1) / (1.0 - 2.0 * a1 * z1 - 2.0 * a2 * z1 * z1);
  }
  return 20 * std::log10(std::abs(h));
}

TEST(DefaultRecord, FilterPassesTheToneFrequenciesAndStopsTheAnswerTone) {
  const FilterView filters = Filters(R0());
  for (std::size_t set = 1; set <= 2; ++set) {
    SCOPED_TRACE(set);
    double low = 1e9, high = -1e9;
    for (double f : {350.0, 440.0, 480.0, 620.0}) {
      const double db = ResponseDb(filters, set, f);
      low = std::min(low, db);
      high = std::max(high, db);
      std::printf("set %zu: %4.0f Hz %6.2f dB\n", set, f, db);
    }
    const double answer = ResponseDb(filters, set, 2100.0);
    std::printf("set %zu: 2100 Hz %6.2f dB, %5.1f dB below the weakest tone\n", set, answer,
                low - answer);
    EXPECT_LE(high - low, 6.0);
    EXPECT_GE(low - answer, 20.0);
  }
}

// Cadences after ITU-T E.180 Supplement 2 (ms; 0 off: continuous).
struct E180Tone {
  const char* what;
  std::uint8_t kind;
  std::uint16_t on, off;
};
constexpr E180Tone kE180[] = {
    {"dial tone", 1, 0, 0},
    {"busy 0.5/0.5", 3, 500, 500},
    {"congestion 0.25/0.25", 15, 250, 250},
    {"ringing 1/4", 5, 1000, 4000},
    {"ringing 2/4", 5, 2000, 4000},
};

bool Within(const CadenceSegment& s, std::uint8_t on, std::uint16_t ms) {
  return s.on == on && s.min_ms <= ms && ms <= s.max_ms;
}

// A record of the tone's kind on filter set 1 with the filter's
// thresholds whose set-2 segments all accept the tone's on and off times
// in turn (a continuous tone: a mode-1 record).
bool Detects(const ToneRecordView& r, const E180Tone& tone) {
  if (r.kind() != tone.kind || r.filter_set() != 1 || r.on_threshold() != 0x3000 ||
      r.off_threshold() != 0x2000) {
    return false;
  }
  if (tone.on == 0) return r.mode() == 1 && r.min_time() > 0;
  if (r.mode() != 2 || r.set2_count() < 2 || r.set2_count() > 7) return false;
  for (std::size_t s = 0; s < r.set2_count(); ++s) {
    const bool on = s % 2 == 0;
    if (!Within(r.segment(7 + s), on ? 1 : 0, on ? tone.on : tone.off)) return false;
  }
  return true;
}

TEST(DefaultRecord, ToneRecordsDetectE180Cadences) {
  const ToneTableView tones = Tones(R0());
  for (const E180Tone& tone : kE180) {
    SCOPED_TRACE(tone.what);
    bool found = false;
    for (std::size_t r = 0; r < tones.valid_count(); ++r) found = found || Detects(tones.row(r), tone);
    EXPECT_TRUE(found);
  }
  // The busy cadences' sets are six segments (three cycles).
  EXPECT_EQ(tones.row(1).set2_count(), 6);
  EXPECT_EQ(tones.row(2).set2_count(), 6);
  EXPECT_EQ(tones.row(0).min_time(), 1000);
}

TEST(DefaultRecord, CallWaitingWindowsHoldThePublicTones) {
  const CallWaitingView cw = CallWaiting(R0());
  EXPECT_LE(cw.window(0), 440);
  EXPECT_GE(cw.window(1), 440);
  EXPECT_LE(cw.window(2), 2130);
  EXPECT_GE(cw.window(3), 2750);
  EXPECT_LE(cw.time(0), 300);  // the 300 ms call-waiting tone
  EXPECT_GE(cw.time(1), 300);
  EXPECT_LE(cw.time(2), 80);  // the 80 ms alerting signal
  EXPECT_GE(cw.time(3), 80);
  EXPECT_GT(cw.time(4), 0);
}

}  // namespace
}  // namespace vxctl::testing
