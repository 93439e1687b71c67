#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "pump/afe_access/afe_access.h"
#include "pump/callprogress/tests/call_rig.h"
#include "pump/callprogress/tone_tx.h"
#include "pump/core/dp_status.h"
#include "pump/detect/tests/signals.h"
#include "pump/tests/support/spandsp_codec_rate.h"
#include "pump/tests/support/spandsp_headers.h"

namespace pump {
namespace {

using namespace cp_test;
using detect_test::Amplitude;
using detect_test::Db;

constexpr int kLatency = 3;  // blocks: the front end plays the data pump's blocks this late
constexpr int kTransmitLevel = -10;    // dB, as the reset leaves it
constexpr double kRestartDb = -13.51;  // 6916 / 32768

// The transmit level's gain in the front end's table, in dB of full scale.
double TransmitDb(PumpHarness& harness) {
  return Db(AfeGain(harness.Access(), kTransmitLevel) / 32768.0);
}

std::vector<std::int16_t> RunTone(PumpHarness& harness, int type, int blocks) {
  StartCall(harness);
  const std::size_t from = harness.Afe().LineOutput().size();
  StartToneTx(harness.Context(), type);
  harness.RunBlocks(blocks + kLatency);
  const auto& out = harness.Afe().LineOutput();
  return {out.begin() + static_cast<std::ptrdiff_t>(from + kLatency * kBlock), out.end()};
}

struct ToneCase {
  const char* name;
  int type;
  double hz;
  std::vector<std::size_t> stretches;  // blocks: on, off, on, ...
};

void PrintTo(const ToneCase& c, std::ostream* out) { *out << c.name; }

class ToneTypes : public ::testing::TestWithParam<ToneCase> {};

// Frequency, level (the transmit level first, 6916 after a muted stretch)
// and cadence.
TEST_P(ToneTypes, FrequencyLevelAndCadence) {
  const ToneCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    std::size_t total = 0;
    for (std::size_t s : c.stretches) total += s;
    const auto line = RunTone(harness, c.type, static_cast<int>(total));
    const auto stretches = Stretches(line);
    ASSERT_GE(stretches.size(), c.stretches.size());
    std::size_t at = 0;
    for (std::size_t i = 0; i < c.stretches.size(); ++i) {
      const bool last = i + 1 == c.stretches.size();
      if (!last) {
        // A stretch of sound may start or end on a zero sample.
        EXPECT_NEAR(static_cast<double>(stretches[i].length),
                    static_cast<double>(c.stretches[i] * kBlock), 2)
            << "stretch " << i;
      }
      if (stretches[i].sound) {
        const std::span<const std::int16_t> tone(line.data() + at, 20 * kBlock);
        const double expected = i == 0 ? TransmitDb(harness) : kRestartDb;
        EXPECT_NEAR(Db(Amplitude(tone, c.hz) / 32767.0), expected, 0.5) << "stretch " << i;
        EXPECT_LT(Db(Amplitude(tone, c.hz + 30) / 32767.0), expected - 20) << "a pure tone";
      }
      at += stretches[i].length;
    }
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToneTypes,
    ::testing::Values(ToneCase{"FaxCalling", 1, 1100, {51, 300, 51, 300, 51}},
                      ToneCase{"Calling", 2, 1300, {61, 170, 61, 170, 61}},
                      ToneCase{"Tone1500", 3, 1500, {201, 200, 201}},
                      ToneCase{"AnswerEndsAfter341Ticks", 4, 2100, {341, 400}},
                      ToneCase{"Tone980", 7, 980, {500}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ToneTypes, OtherTypesAreSilent) {
  PumpHarness harness;
  harness.Run([&] {
    for (int type : {0, 8, 255, -1}) {
      const auto line = RunTone(harness, type, 20);
      EXPECT_TRUE(Stretches(line).empty()) << type;
    }
  });
}

// The 2100 Hz tone repeats every 32 samples (7 cycles); a reversal makes a
// block's first 32 samples the negatives of the 32 before.
std::vector<std::size_t> ReversalBlocks(std::span<const std::int16_t> line) {
  std::vector<std::size_t> blocks;
  for (std::size_t b = 1; (b + 1) * kBlock <= line.size(); ++b) {
    double sum = 0;
    for (std::size_t n = b * kBlock; n < b * kBlock + 32; ++n) sum += static_cast<double>(line[n]) * line[n - 32];
    if (sum < 0) blocks.push_back(b);
  }
  return blocks;
}

TEST(ToneTypes, AnswerToneReversesAt440msThenEvery450ms) {
  PumpHarness harness;
  harness.Run([&] {
    for (int type : {5, 6}) {
      const auto line = RunTone(harness, type, 44 + 4 * 45 + 10);
      EXPECT_EQ(ReversalBlocks(line), (std::vector<std::size_t>{44, 89, 134, 179, 224})) << type;
      EXPECT_NEAR(Db(Amplitude(std::span(line).first(40 * kBlock), 2100.0) / 32767.0),
                  TransmitDb(harness), 0.5);
    }
  });
}

TEST(ToneTypes, AnswerToneEndReportsStatus8OnAFaxCall) {
  PumpHarness harness;
  harness.Run([&] {
    for (int fax : {0, 1}) {
      StartCall(harness);
      harness.Context().call.fax_call = fax;
      SetDpStatus(harness.Host(), kStatusFaxCall, false);
      StartToneTx(harness.Context(), kToneAnswer);
      harness.RunBlocks(341);
      EXPECT_EQ(harness.Host().comram.reg[kRegStatus] & kStatusCodeMask, kStatusFaxCall);
      const int interrupts = harness.Controller().Interrupts();
      harness.RunBlocks(1);
      EXPECT_EQ(harness.Host().comram.reg[kRegStatus] & kStatusCodeMask,
                fax != 0 ? kStatusFaxCarrier : kStatusFaxCall);
      EXPECT_EQ(harness.Controller().Interrupts(), interrupts + fax);
    }
  });
}

// ---- Tone pairs (0x7C) -----------------------------------------------------------------

// 0x7C's frequencies are phase steps per sample at 9600 Hz (65536 a turn).
std::uint16_t PhaseStep(double hz) {
  return static_cast<std::uint16_t>(std::lround(hz * 65536 / 9600));
}
double HzOf(std::uint16_t step) { return step * 9600.0 / 65536; }

struct PairCase {
  const char* name;
  std::uint8_t flags;
  // dB of full scale, by the front end's gain for a level: with flags bit 2
  // both at the transmit level, otherwise f2 at 0x88's second (high-group)
  // level and f1 at its first.
  int f1_db, f2_db;
};

void PrintTo(const PairCase& c, std::ostream* out) { *out << c.name; }

class TonePair : public ::testing::TestWithParam<PairCase> {};

// A pair sounds without a break until 0x7C with flags 0; it never holds the
// controller's packets.
TEST_P(TonePair, SoundsAtItsLevelsUntilStopped) {
  const PairCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    StartCall(harness);
    harness.Controller().Exchange(0x88, {90, 70});  // their sum stays below full scale
    const std::uint16_t f1 = PhaseStep(1000), f2 = PhaseStep(1650);
    const std::size_t from = harness.Afe().LineOutput().size();
    harness.Controller().Exchange(
        0x7C, {static_cast<std::uint8_t>(f1), static_cast<std::uint8_t>(f1 >> 8),
               static_cast<std::uint8_t>(f2), static_cast<std::uint8_t>(f2 >> 8), c.flags, 0});
    harness.RunBlocks(150);
    EXPECT_EQ(harness.Context().dialling, 0u);
    EXPECT_FALSE(harness.Controller().Exchange(0x72).empty()) << "answered at once";
    harness.Controller().Exchange(0x7C, {0, 0, 0, 0, 0, 0});
    harness.RunBlocks(100);
    const auto& out = harness.Afe().LineOutput();
    const std::vector<std::int16_t> line(out.begin() + static_cast<std::ptrdiff_t>(from),
                                         out.end());
    const auto stretches = Stretches(line);
    ASSERT_EQ(stretches.size(), 2u) << "one stretch of sound, then silence";
    // The first block (dialTxInit) is silent; the stop comes at a block's end.
    EXPECT_EQ(stretches[0].length, 149 * kBlock);
    const std::span<const std::int16_t> pair(line.data() + LeadingSilence(line), 100 * kBlock);
    EXPECT_NEAR(Db(Amplitude(pair, HzOf(f1)) / 32767.0),
                Db(AfeGain(harness.Access(), c.f1_db) / 32768.0), 0.1);
    EXPECT_NEAR(Db(Amplitude(pair, HzOf(f2)) / 32767.0),
                Db(AfeGain(harness.Access(), c.f2_db) / 32768.0), 0.1);
    EXPECT_LT(Db(Amplitude(pair, 1300.0) / 32767.0), -60.0) << "nothing between them";
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, TonePair,
    ::testing::Values(PairCase{"GainsFromTheTransmitLevel", 0x04, kTransmitLevel, kTransmitLevel},
                      PairCase{"GainsFromTheDtmfLevels", 0x01, -9, -7}),
    [](const auto& info) { return std::string(info.param.name); });

void Report(void* user_data, int code, int, int) {
  static_cast<std::vector<int>*>(user_data)->push_back(code);
}

struct SpandspCase {
  const char* name;
  int type;
  int detector;
  int blocks;
};

void PrintTo(const SpandspCase& c, std::ostream* out) { *out << c.name; }

class ToneTypesSpandsp : public ::testing::TestWithParam<SpandspCase> {};

TEST_P(ToneTypesSpandsp, SpandspRecognisesTheTone) {
  const SpandspCase& c = GetParam();
  PumpHarness harness;
  harness.Run([&] {
    const auto line = RunTone(harness, c.type, c.blocks);
    std::vector<int> reports;
    modem_connect_tones_rx_state_t* rx =
        modem_connect_tones_rx_init(nullptr, c.detector, Report, &reports);
    testing::SpandspSink sink([&](std::span<const std::int16_t> samples) {
      modem_connect_tones_rx(rx, samples.data(), static_cast<int>(samples.size()));
    });
    sink.Put(line);
    modem_connect_tones_rx_free(rx);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.front(), c.detector);
  });
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToneTypesSpandsp,
    ::testing::Values(SpandspCase{"FaxCalling", 1, MODEM_CONNECT_TONES_FAX_CNG, 120},
                      SpandspCase{"Calling", 2, MODEM_CONNECT_TONES_CALLING_TONE, 300},
                      SpandspCase{"Answer", 4, MODEM_CONNECT_TONES_ANS, 340},
                      SpandspCase{"AnswerWithReversals", 5, MODEM_CONNECT_TONES_ANS_PR, 300}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pump
