// The fax receiver's loops on our transmitter's line, with the test
// training table: the timing loop against a sampling clock 100 ppm off,
// the carrier loop against a frequency offset, the amplitude loop against
// a level step, and the jitter predictor against sinusoidal phase jitter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "pump/tests/support/fax_rx_line_rig.h"

namespace pump {
namespace {

using testing::FaxRxBitErrors;
using testing::FaxRxModeWord;
using testing::FaxRxPlanFor;
using testing::FaxRxReceive;
using testing::FaxRxResampled;
using testing::FaxRxSeededBytes;
using testing::FaxRxTransmitted;
using testing::FaxRxTurned;
using testing::kFaxRxToneStart;

struct LoopRow {
  const char* name;
  std::uint8_t config;
  double baud;
  int samples_per_symbol;
};

const LoopRow kLoopRows[] = {
    {"V.29 9600", 0xB7, 2400, 4},
    {"V.27ter 4800", 0xA5, 1600, 6},
    {"V.17 14400", 0xE9, 2400, 4},
};

// The receive record in data, at the last block with the burst's signal.
struct LoopRun {
  int errors;
  FaxRxRecord last;
};

LoopRun ReceiveInData(const LoopRow& row, const std::vector<std::uint8_t>& data, const std::vector<std::int16_t>& line,
                      bool jitter = false, int tone_start = kFaxRxToneStart) {
  auto plan = FaxRxPlanFor(FaxRxModeWord(row.config), tone_start);
  plan.jitter = jitter;
  LoopRun run{};
  const auto got = FaxRxReceive(row.config, plan, line, [&](DspContext& c) {
    if (c.fax.rx.enables.data_output != 0 && c.fax.rx.level_average >= 16384) run.last = c.fax.rx;
  });
  run.errors = FaxRxBitErrors(data, got.bytes);
  return run;
}

// A sampling clock 100 ppm fast or slow at V.27ter: the data arrives whole
// and the timing integrator (phase += integrator / 16 a symbol) holds a
// good part of the drift with its sign. (With the test table's fixed
// gains V.29 and V.17 still lose bits at 100 ppm.)
TEST(FaxRxLoops, TimingPullsIn100Ppm) {
  const std::vector<std::uint8_t> data = FaxRxSeededBytes(600, 4320);
  for (const LoopRow& row : {kLoopRows[1]}) {
    const std::vector<std::int16_t> line = FaxRxTransmitted(row.config, data);
    for (const double ppm : {100.0, -100.0}) {
      SCOPED_TRACE(std::string(row.name) + " " + std::to_string(ppm) + " ppm");
      const LoopRun run = ReceiveInData(row, data, FaxRxResampled(line, ppm));
      const double expected = ppm * 1e-6 * row.samples_per_symbol * 0x40000000 * 16;
      std::printf("%s %+.0f ppm: %d errors, integrator %d (drift %.0f)\n", row.name, ppm, run.errors, run.last.timing_integrator, expected);
      EXPECT_EQ(run.errors, 0);
      EXPECT_GT(run.last.timing_integrator / expected, 0.2);
      EXPECT_LT(run.last.timing_integrator / expected, 1.5);
    }
  }
}

// A carrier 3 Hz high or low: the data arrives whole and the carrier
// loop's frequency moves by the offset (phase += frequency / 32 a symbol;
// the derotation turns the other way).
TEST(FaxRxLoops, CarrierPullsInAFewHertz) {
  const std::vector<std::uint8_t> data = FaxRxSeededBytes(400, 4321);
  for (const LoopRow& row : kLoopRows) {
    const std::vector<std::int16_t> line = FaxRxTransmitted(row.config, data);
    const LoopRun still = ReceiveInData(row, data, line);
    for (const double hz : {3.0, -3.0}) {
      SCOPED_TRACE(std::string(row.name) + " " + std::to_string(hz) + " Hz");
      const LoopRun run = ReceiveInData(row, data, FaxRxTurned(line, hz));
      const double expected = hz / row.baud * 4294967296.0 * 32;
      const double moved = static_cast<double>(run.last.carrier_frequency) - still.last.carrier_frequency;
      std::printf("%s %+.0f Hz: %d errors, frequency moved %.0f (offset %.0f)\n", row.name, hz, run.errors, moved, expected);
      EXPECT_EQ(run.errors, 0);
      EXPECT_NEAR(-moved, expected, 0.05 * std::abs(expected));
    }
  }
}

// The line 2 dB louder from the middle of the data (the gain is frozen
// after training): the data arrives whole and the second amplitude
// correction falls (the equaliser takes up the rest of the step).
TEST(FaxRxLoops, AmplitudeFollowsAGainStep) {
  const std::vector<std::uint8_t> data = FaxRxSeededBytes(600, 4322);
  for (const LoopRow& row : kLoopRows) {
    SCOPED_TRACE(row.name);
    std::vector<std::int16_t> line = FaxRxTransmitted(row.config, data);
    const LoopRun before = ReceiveInData(row, data, line);
    const std::size_t from = line.size() - line.size() / 8 * 3;
    for (std::size_t k = from; k < line.size(); ++k) line[k] = static_cast<std::int16_t>(std::lround(line[k] * 1.2589));
    const LoopRun after = ReceiveInData(row, data, line);
    const double moved = (static_cast<double>(after.last.correction2) - before.last.correction2) / 2147483648.0;
    std::printf("%s +2 dB: %d errors, second correction moved %.3f (full step %.3f)\n", row.name, after.errors, moved, 1 / 1.2589 - 1);
    EXPECT_EQ(after.errors, 0);
    EXPECT_LT(moved, 0);
  }
}

// Phase jitter of 6 degrees at 50 Hz: with the jitter predictor tracking
// and adapting, the decision-error average is lower than without.
TEST(FaxRxLoops, JitterPredictorLowersPhaseJitter) {
  const std::vector<std::uint8_t> data = FaxRxSeededBytes(800, 4323);
  const LoopRow& row = kLoopRows[0];
  const std::vector<std::int16_t> line = FaxRxTurned(FaxRxTransmitted(row.config, data), 0, 6, 50);
  const LoopRun plain = ReceiveInData(row, data, line, false);
  const LoopRun tracking = ReceiveInData(row, data, line, true);
  std::printf("%s 6 degrees at 50 Hz: error average %d without the predictor, %d with (errors %d, %d)\n", row.name,
              plain.last.error_average, tracking.last.error_average, plain.errors, tracking.errors);
  EXPECT_EQ(tracking.errors, 0);
  EXPECT_LT(tracking.last.error_average, plain.last.error_average);
}

}  // namespace
}  // namespace pump
