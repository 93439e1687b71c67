// Hostile line input into the fax receiver in data: clipping, a burst cut
// mid-symbol, noise and silence bursts, timing drifting by a symbol a
// block. Nothing leaves its bounds, and the next clean burst is received.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "pump/fax/fax_rx_record.h"
#include "pump/tests/support/fax_rx_line_rig.h"

namespace pump {
namespace {

using testing::FaxRxTestTraining;

// The record's positions and loop states within their ranges.
void ExpectBounded(const FaxRxRecord& rx) {
  EXPECT_GE(rx.read, 1);
  EXPECT_LE(rx.read, rx.demod_fill);
  EXPECT_LE(rx.demod_fill, kFaxDemodSamples);
  EXPECT_GE(rx.timing_phase, 0);
  EXPECT_LT(rx.timing_phase, 0x40000000);
  EXPECT_EQ(rx.write_at % 2, 0);
  EXPECT_LT(rx.write_at, kFaxEqTaps);
  EXPECT_LE(std::abs(std::int64_t{rx.correction2}), 0x40000000);
  EXPECT_GE(rx.gain_shift, 0);
  EXPECT_LE(rx.gain_shift, 16);
  EXPECT_LT(rx.survivor_at, kFaxSurvivors);
  EXPECT_LE(rx.survivor_count, kFaxSurvivors);
  EXPECT_LT(rx.jitter_index, kFaxJitterTaps);
  for (const std::int16_t c : rx.jitter_coeff) EXPECT_LE(std::abs(c), 0x4000);
}

struct HostileRow {
  const char* name;
  std::vector<std::int16_t> (*make)(const std::vector<std::int16_t>& burst, std::mt19937& random);
};

std::vector<std::int16_t> Clipped(const std::vector<std::int16_t>&, std::mt19937& random) {
  std::vector<std::int16_t> out(3000);
  for (auto& x : out) x = (random() & 1) != 0 ? 32767 : -32768;
  return out;
}

std::vector<std::int16_t> CutMidSymbol(const std::vector<std::int16_t>& burst, std::mt19937&) {
  // The burst's middle, ending three samples into a symbol, then nothing.
  std::vector<std::int16_t> out(burst.begin() + static_cast<std::ptrdiff_t>(burst.size() / 2),
                                burst.begin() + static_cast<std::ptrdiff_t>(burst.size() / 2 + 1203));
  out.resize(out.size() + 1000, 0);
  return out;
}

std::vector<std::int16_t> NoiseBurst(const std::vector<std::int16_t>&, std::mt19937& random) {
  std::normal_distribution<double> noise(0, 9000);
  std::vector<std::int16_t> out(3000);
  for (auto& x : out) x = static_cast<std::int16_t>(std::clamp(std::lround(noise(random)), -32768L, 32767L));
  return out;
}

std::vector<std::int16_t> SilenceBurst(const std::vector<std::int16_t>&, std::mt19937&) {
  return std::vector<std::int16_t>(3000, 0);
}

std::vector<std::int16_t> DriftingASymbolABlock(const std::vector<std::int16_t>& burst, std::mt19937&) {
  // A symbol of 4 samples gained every 96: 1/24 fast; and then as slow.
  const std::vector<std::int16_t> middle(burst.begin() + static_cast<std::ptrdiff_t>(burst.size() / 2),
                                         burst.begin() + static_cast<std::ptrdiff_t>(burst.size() / 2 + 2400));
  std::vector<std::int16_t> out = testing::FaxRxResampled(middle, 1e6 / 24);
  const std::vector<std::int16_t> slow = testing::FaxRxResampled(middle, -1e6 / 24);
  out.insert(out.end(), slow.begin(), slow.end());
  return out;
}

const HostileRow kHostileRows[] = {
    {"full-scale clipping", Clipped},
    {"a burst cut mid-symbol", CutMidSymbol},
    {"a noise burst", NoiseBurst},
    {"a silence burst", SilenceBurst},
    {"timing drifting a symbol a block", DriftingASymbolABlock},
};

// A clean burst into data, the hostile input, then a clean burst with
// other data: the receiver's table restarts when the second burst's line
// begins, as the training does after a carrier loss.
TEST(FaxRxHostile, HostileInputThenACleanBurst) {
  struct Mode {
    const char* name;
    std::uint8_t config;
  };
  for (const Mode mode : {Mode{"V.29 9600", 0xB7}, Mode{"V.17 14400", 0xE9}}) {
    const std::vector<std::uint8_t> first = testing::FaxRxSeededBytes(120, 4330);
    const std::vector<std::uint8_t> second = testing::FaxRxSeededBytes(200, 4331);
    const std::vector<std::int16_t> burst_a = testing::FaxRxTransmitted(mode.config, first);
    const std::vector<std::int16_t> burst_b = testing::FaxRxTransmitted(mode.config, second);
    for (const HostileRow& row : kHostileRows) {
      SCOPED_TRACE(std::string(mode.name) + ", " + row.name);
      std::mt19937 random(4332);
      // The first burst without its tail, so that the hostile input comes in data.
      std::vector<std::int16_t> line(burst_a.begin(), burst_a.end() - 30 * kBlockSamples);
      const std::vector<std::int16_t> hostile = row.make(burst_a, random);
      line.insert(line.end(), hostile.begin(), hostile.end());
      line.resize((line.size() + kBlockSamples - 1) / kBlockSamples * kBlockSamples, 0);
      const int restart_block = static_cast<int>(line.size() / kBlockSamples);
      line.insert(line.end(), burst_b.begin(), burst_b.end());
      const FaxRxTestTraining second_table(testing::FaxRxPlanFor(testing::FaxRxModeWord(mode.config), testing::kFaxRxToneStart));
      int block = 0;
      const auto got = testing::FaxRxReceive(mode.config, testing::FaxRxPlanFor(testing::FaxRxModeWord(mode.config), testing::kFaxRxToneStart), line,
                                             [&](DspContext& c) {
                                               ExpectBounded(c.fax.rx);
                                               if (++block == restart_block) second_table.Start(c);
                                             });
      EXPECT_EQ(testing::CountRawBitErrors(second, got.bytes).errors, 0u);
    }
  }
}

}  // namespace
}  // namespace pump
