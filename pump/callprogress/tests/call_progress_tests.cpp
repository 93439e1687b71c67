#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "pump/afe_access/afe_access.h"
#include "pump/callprogress/call_progress.h"
#include "pump/callprogress/line_events.h"
#include "pump/callprogress/tests/cadence_reports.h"
#include "pump/callprogress/tests/call_rig.h"
#include "pump/detect/tests/signals.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/spandsp_codec_rate.h"

namespace pump {
namespace {

using namespace cp_test;
using detect_test::Concat;
using detect_test::Tone;

constexpr UCHAR kLowReading = 1;      // measures 3, below the low threshold 9
constexpr UCHAR kNormalReading = 10;  // 33

std::vector<ReceivedPacket> Feed(PumpHarness& harness, std::span<const std::int16_t> samples) {
  harness.Afe().FeedLine(samples);
  harness.RunBlocks(static_cast<int>(samples.size() / kBlock));
  return harness.Controller().TakePackets();
}

std::vector<ReceivedPacket> Only(const std::vector<ReceivedPacket>& packets, std::uint8_t code) {
  std::vector<ReceivedPacket> out;
  for (const auto& p : packets) {
    if (p.code == code) out.push_back(p);
  }
  return out;
}

std::vector<std::int16_t> Silence(int ms) {
  return std::vector<std::int16_t>(static_cast<std::size_t>(ms) * 96 / 10, 0);
}

TEST(CallProgressModes, Mode0Reports4AndMonitors) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    const int interrupts = harness.Controller().Interrupts();
    EXPECT_EQ(harness.Controller().Exchange(0x65, {0, 0}),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {0x65}}}));
    EXPECT_EQ(harness.Host().comram.reg[kRegEventType], kEventMonitoring);
    EXPECT_EQ(harness.Controller().Interrupts(), interrupts + 1);
    EXPECT_EQ(harness.Context().dial_call_state, kCallProgressMonitoring);
    EXPECT_EQ(harness.Context().rx.table[0].handler, &CallProgressHandler);
  });
}

// spandsp's 2100 Hz answer tone, three seconds of it, reported once.
TEST(CallProgressModes, Mode2PostsTheAnswerToneOnce) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {2, 0});
    testing::SpandspSource ans(testing::SpandspTone(2100, -12, 0, 0, 3000));
    const auto packets = Feed(harness, Concat({Silence(500), ans.Take(3500 * 96 / 10)}));
    EXPECT_EQ(Only(packets, kDpToneDetectionResults),
              (std::vector<ReceivedPacket>{{kDpToneDetectionResults, 1, {kAnswerToneResult}}}));
  });
}

TEST(CallProgressModes, Mode2IgnoresOtherTones) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {2, 0});
    testing::SpandspSource tone(testing::SpandspTone(1800, -12, 0, 0, 3000));
    EXPECT_TRUE(Only(Feed(harness, tone.Take(3000 * 96 / 10)), kDpToneDetectionResults).empty());
  });
}

TEST(CallProgressModes, Mode1ReportsAMissingLineAfter50LowTicks) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Afe().SetLineVoltageReading(kLowReading);
    harness.Controller().Exchange(0x65, {1, 0});
    harness.RunBlocks(49);
    EXPECT_NE(harness.Host().comram.reg[kRegEventType], kEventLineLow);
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Host().comram.reg[kRegEventType], kEventLineLow);
  });
}

TEST(CallProgressModes, Mode1TakesTheLineAsPresentAfter100Ticks) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Afe().SetLineVoltageReading(kNormalReading);
    harness.Controller().Exchange(0x65, {1, 0});
    harness.RunBlocks(100);
    EXPECT_EQ(harness.Context().call_progress.check_done, 1u);
    // Low measurements after the decision change nothing.
    harness.Afe().SetLineVoltageReading(kLowReading);
    harness.RunBlocks(60);
    EXPECT_NE(harness.Host().comram.reg[kRegEventType], kEventLineLow);
  });
}

struct VoltageCase {
  const char* name;
  UCHAR reading;
  std::uint8_t event;
};

void PrintTo(const VoltageCase& c, std::ostream* out) { *out << c.name; }

class LineVoltageCheck : public ::testing::TestWithParam<VoltageCase> {};

// With a non-zero word at 548 six measurements are averaged against the
// word at 536 (9); the second hook relay drops after them.
TEST_P(LineVoltageCheck, SixMeasurementsDecide) {
  const VoltageCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Context().afe_info.Zero548 = 1;
    harness.Afe().SetLineVoltageReading(c.reading);
    harness.Controller().Exchange(0x65, {5, 0});
    EXPECT_EQ(harness.Access().hook, 1u);
    EXPECT_EQ(harness.Access().hook2, 1u);
    harness.RunBlocks(5);
    EXPECT_EQ(harness.Context().dial_call_state, kCallProgressLineVoltage);
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Host().comram.reg[kRegEventType], c.event);
    EXPECT_EQ(harness.Access().hook2, 0u);
    EXPECT_EQ(harness.Context().dial_call_state, kCallProgressMonitoring);
  });
}

INSTANTIATE_TEST_SUITE_P(Table, LineVoltageCheck,
                         ::testing::Values(VoltageCase{"Low", kLowReading, kEventLineLow},
                                           VoltageCase{"Present", kNormalReading,
                                                       kEventMonitoring}),
                         [](const auto& info) { return std::string(info.param.name); });

// A level step while mode 5 holds the line: register 56 = 8 and the hook
// relay released.
TEST(CallProgressModes, Mode5ReportsALevelStep) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {5, 0});
    Feed(harness, Tone({400}, 600, 200 * kBlock));
    EXPECT_EQ(harness.Context().dial_call_state, kCallProgressLineVoltage) << "steady level";
    Feed(harness, Tone({400}, 12000, 50 * kBlock));
    EXPECT_EQ(harness.Host().comram.reg[kRegEventType], kEventLevelStep);
    EXPECT_EQ(harness.Access().hook, 0u);
    EXPECT_EQ(harness.Context().dial_call_state, kCallProgressMonitoring);
  });
}

// 0xA4 bit 2 holds the hook relay in mode 0 and reports level steps as
// kind 3; clearing it releases the relay.
TEST(CallProgressModes, HookBitHoldsTheLineAndReportsLevelSteps) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {0, 0});
    harness.Controller().Exchange(0xA4, {0x04, 0});
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Access().hook, 1u);
    Feed(harness, Tone({400}, 600, 200 * kBlock));
    const auto reports = Reports(Feed(harness, Tone({400}, 12000, 50 * kBlock)));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, kCallProgressLevelStep);
    harness.Controller().Exchange(0xA4, {0x00, 0});
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Access().hook, 0u);
  });
}

// Bit 1 without bit 2 watches peaks: the codec flag (request 14) follows.
TEST(CallProgressModes, PeakBitSetsTheCodecFlag) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {0, 1});
    harness.Controller().Exchange(0xA4, {0x02, 0});
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Access().codec_flag, 1u);
    EXPECT_EQ(harness.Context().call_progress.peak_flag, 1u);
    // A peak run: 500 samples at full scale, then quiet.
    std::vector<std::int16_t> run(500, 32000);
    const auto reports = Reports(Feed(harness, Concat({run, Silence(100)})));
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].kind, kCallProgressPeakRun);
    harness.Controller().Exchange(0xA4, {0x06, 0});
    harness.RunBlocks(1);
    EXPECT_EQ(harness.Access().codec_flag, 0u);
    // A new mode clears the flag too.
    harness.Controller().Exchange(0xA4, {0x02, 0});
    harness.RunBlocks(1);
    harness.Controller().Exchange(0x65, {1, 0});
    EXPECT_EQ(harness.Access().codec_flag, 0u);
  });
}

// ---- The peak detector ----------------------------------------------------------------

// `loud` samples at `level`, then `quiet` of silence, `repeats` times.
std::vector<std::int16_t> Peaks(std::int16_t level, int loud, int quiet, int repeats) {
  std::vector<std::int16_t> out;
  for (int r = 0; r < repeats; ++r) {
    out.insert(out.end(), static_cast<std::size_t>(loud), level);
    out.insert(out.end(), static_cast<std::size_t>(quiet), 0);
  }
  return out;
}

struct PeakCase {
  const char* name;
  std::vector<std::int16_t> samples;
  std::size_t runs;
};

void PrintTo(const PeakCase& c, std::ostream* out) { *out << c.name; }

class PeakRun : public ::testing::TestWithParam<PeakCase> {};

// Samples at +-29953 or beyond, of one sign, make a run; more than ten
// others end it; a run of more than 384 samples is reported once (kind 2).
TEST_P(PeakRun, ReportedOnceWhenLongEnough) {
  const PeakCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {0, 1});
    harness.Controller().Exchange(0xA4, {0x02, 0});
    harness.RunBlocks(1);
    harness.Controller().TakePackets();
    // Loud stretches may make ring bursts too (kind 1): only kind 2 counts.
    std::size_t runs = 0;
    for (const auto& r : Reports(Feed(harness, Concat({c.samples, Silence(100)})))) {
      runs += r.kind == kCallProgressPeakRun ? 1 : 0;
    }
    EXPECT_EQ(runs, c.runs);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, PeakRun,
    ::testing::Values(PeakCase{"Positive", Peaks(32000, 500, 0, 1), 1},
                      PeakCase{"Negative", Peaks(-32000, 500, 0, 1), 1},
                      PeakCase{"AtThePeakLevel", Peaks(29953, 500, 0, 1), 1},
                      PeakCase{"BelowThePeakLevel", Peaks(29952, 500, 0, 1), 0},
                      PeakCase{"TooShort", Peaks(32000, 300, 0, 1), 0},
                      PeakCase{"TwoRuns", Peaks(32000, 500, 200, 2), 2},
                      PeakCase{"GapsOfTenKeepTheRun", Peaks(32000, 30, 10, 15), 1},
                      PeakCase{"GapsOfElevenEndIt", Peaks(32000, 30, 11, 15), 0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The burst-cadence detector on a synthetic ring ------------------------------------
// (ring_exchange_tests.cpp has the exchange's ring)

// A ring voltage at 20 Hz as the line brings it: on and off in ms, repeated.
std::vector<std::int16_t> Ring(std::initializer_list<int> cadence, int repeats) {
  std::vector<std::int16_t> out;
  for (int r = 0; r < repeats; ++r) {
    bool on = true;
    for (int ms : cadence) {
      const auto n = static_cast<std::size_t>(ms) * 96 / 10;
      for (std::size_t i = 0; i < n; ++i) {
        out.push_back(on ? static_cast<std::int16_t>(
                               std::lround(25000 * std::sin(2 * std::numbers::pi * 20 * i / 9600.0)))
                         : std::int16_t{0});
      }
      on = !on;
    }
  }
  return out;
}

struct RingCase {
  const char* name;
  std::vector<int> cadence;  // on, off, ...
};

void PrintTo(const RingCase& c, std::ostream* out) { *out << c.name; }

class BurstCadence : public ::testing::TestWithParam<RingCase> {};

TEST_P(BurstCadence, StampsMeasureRingsAndSilences) {
  const RingCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {0, 1});
    std::vector<std::int16_t> ring;
    for (int r = 0; r < 2; ++r) {
      bool on = true;
      for (int ms : c.cadence) {
        const auto part = on ? Ring({ms}, 1) : Silence(ms);
        ring.insert(ring.end(), part.begin(), part.end());
        on = !on;
      }
    }
    const auto reports = Reports(Feed(harness, Concat({Silence(300), ring})));
    // Each ring: a start (count 0) and an end (count the bursts).
    const std::size_t rings = c.cadence.size() / 2 * 2;
    ASSERT_EQ(reports.size(), 2 * rings);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
      const int expected = c.cadence[i % c.cadence.size()];
      EXPECT_NEAR(StampDifference(reports[i].stamp, reports[i + 1].stamp), expected, 10) << i;
      EXPECT_EQ(reports[i].kind, kCallProgressBurstCadence);
      if (i % 2 == 0) {
        EXPECT_EQ(reports[i].count, 0);
        const double hz = reports[i + 1].count * 1000.0 /
                          StampDifference(reports[i].stamp, reports[i + 1].stamp);
        EXPECT_NEAR(hz, 20.0, 1.0) << i;
      }
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, BurstCadence,
    ::testing::Values(RingCase{"Us", {2000, 4000}}, RingCase{"Uk", {400, 200, 400, 2000}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(BurstCadence, NothingWithoutTheReportFlag) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x65, {0, 0});
    EXPECT_TRUE(Reports(Feed(harness, Ring({2000, 1000}, 2))).empty());
  });
}

// ---- Hostile commands --------------------------------------------------------------------

struct HostileCase {
  const char* name;
  std::uint8_t code;
  std::vector<std::uint8_t> payload;
};

void PrintTo(const HostileCase& c, std::ostream* out) { *out << c.name; }

class DialHostile : public ::testing::TestWithParam<HostileCase> {};

// Every form is acknowledged and leaves the pump able to dial.
TEST_P(DialHostile, AcknowledgedAndHarmless) {
  const HostileCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    EXPECT_EQ(harness.Controller().Exchange(c.code, c.payload),
              (std::vector<ReceivedPacket>{{kDpAck, 1, {c.code}}}));
    harness.RunBlocks(200);
    // Whatever ran, a reset brings the pump back to idle and dialling works.
    harness.Controller().Exchange(0x60, {0});
    EXPECT_EQ(harness.Context().dialling, 0u);
    harness.Controller().Exchange(0x66, {50, 50, 0, 0, 0, 0});
    harness.Controller().Exchange(0x67, {5});
    harness.RunBlocks(3);
    EXPECT_EQ(harness.Context().dial.tone_running, 1u);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, DialHostile,
    ::testing::Values(HostileCase{"ModeWithoutPayload", 0x65, {}},
                      HostileCase{"Mode3", 0x65, {3, 0xFF}},
                      HostileCase{"Mode255", 0x65, {255, 0xFF}},
                      HostileCase{"ModeLong", 0x65, std::vector<std::uint8_t>(16, 0xAA)},
                      HostileCase{"ParametersShort", 0x66, {1}},
                      HostileCase{"ParametersLong", 0x66, std::vector<std::uint8_t>(16, 0xFF)},
                      HostileCase{"ParametersZero", 0x66, {0, 0, 0, 0, 0, 0}},
                      HostileCase{"DigitWithoutPayload", 0x67, {}},
                      HostileCase{"Digit16", 0x67, {16}},
                      HostileCase{"Digit255", 0x67, {255}},
                      HostileCase{"LevelsShort", 0x88, {}},
                      HostileCase{"LevelsOutOfRange", 0x88, {255, 255}},
                      HostileCase{"LevelsLong", 0x88, std::vector<std::uint8_t>(16, 0x80)}),
    [](const auto& info) { return std::string(info.param.name); });

// Digit bytes keep their low four bits: 16 dials as 0, 255 as 15.
TEST(DialHostile, DigitBytesKeepTheirLowBits) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    for (const auto& [byte, digit] : {std::pair{16, 0}, std::pair{255, 15}, std::pair{0x4B, 11}}) {
      harness.Controller().Exchange(0x67, {static_cast<std::uint8_t>(byte)});
      EXPECT_EQ(harness.Context().dial.digit, digit) << byte;
    }
  });
}

// The largest level byte is -26 dB.
TEST(DialHostile, TheLargestLevelIsMinus26Db) {
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x88, {255, 255});
    EXPECT_EQ(harness.Context().dial.low_gain, AfeGain(harness.Access(), -26));
    EXPECT_EQ(harness.Context().dial.high_gain, harness.Context().dial.low_gain);
  });
}

}  // namespace
}  // namespace pump
