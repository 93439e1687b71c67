// Our transmitter's bursts through the line into our receiver with its own
// training: data through every trained modulation, the reversal found near
// the transmitter's segment boundary, the loops locked on the alternation,
// silence held, V.17's short training from the long training's equaliser,
// and start detection that waits as long as the alternation lasts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "pump/fax/fax_mode.h"
#include "pump/fax/fax_train_analysis.h"
#include "pump/tests/support/fax_rx_line_rig.h"
#include "pump/tests/support/fax_train_rig.h"

namespace pump {
namespace {

using testing::CountRawBitErrors;
using testing::FaxRxModeWord;
using testing::FaxRxSeededBytes;
using testing::FaxRxTransmitted;
using testing::FaxRxWithNoise;
using testing::FaxTrainReceive;
using testing::FaxTrainState;
using testing::kFaxRxToneStart;

struct TrainRow {
  const char* name;
  std::uint8_t config;  // 0x73 byte 0
};

const TrainRow kTrainedRows[] = {
    {"V.29 9600", 0xB7}, {"V.29 7200", 0xB6}, {"V.29 4800", 0xB5}, {"V.17 14400", 0xE9},
    {"V.17 12000", 0xE8}, {"V.17 9600", 0xE7}, {"V.17 7200", 0xE5},
};

// Bit errors of `data` in what arrived; every bit when it never arrived.
int TrainErrors(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& got) {
  return static_cast<int>(CountRawBitErrors(data, got).errors);
}

TEST(FaxTraining, OurBurstsTrainAndCarryDataWithoutErrors) {
  for (const TrainRow& row : kTrainedRows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::uint8_t> data = FaxRxSeededBytes(400, 4310);
    const auto line = FaxRxWithNoise(FaxRxTransmitted(row.config, data), 30, 7);
    const auto run = FaxTrainReceive(row.config, line);
    EXPECT_EQ(TrainErrors(data, run.bytes), 0);
    EXPECT_EQ(run.data_reports, 1);
  }
}

// The transmitter's segments before the conditioning, in symbols: the
// echo-protection tone, the silence after it, the alternation.
struct Boundary {
  const char* name;
  std::uint8_t config;
  int symbols_before_conditioning;
};

const Boundary kBoundaries[] = {
    {"V.29 9600", 0xB7, 458 + 62 + 128},
    {"V.29 4800", 0xB5, 458 + 62 + 128},
    {"V.17 14400", 0xE9, 458 + 54 + 256},
    {"V.17 7200", 0xE5, 458 + 54 + 256},
};

// The shaping filter and the matched filter: a transmitted symbol's peak
// comes out of the matched filter 31 samples after it starts.
constexpr int kFilterDelaySamples = 31;

// Where the receiver decided the conditioning began (its symbol count when
// start detection ended), from the first block in the first conditioning
// state: RxEqClr (one symbol) then RxPrs0.
struct DetectionProbe {
  int symbol = -1;
  void operator()(DspContext& c) {
    const auto& m = c.fax.rx.machine;
    if (symbol >= 0 || FaxTrainState(c) != "RxPrs0") return;
    const int run_in_prs0 = m.table[static_cast<std::size_t>(m.position)].count - m.remaining_count;
    symbol = c.fax.rx.symbol_parity - run_in_prs0 - 1;
  }
};

// The reversal turns group 1's sums (symbols 2 to 17 back) once it fills
// half of them, and the countdown needs 8 flagged symbols after that: the
// detection comes 10 to 26 symbols after the boundary.
TEST(FaxTraining, ReversalFoundTenToTwentySixSymbolsAfterTheSegmentBoundary) {
  for (const Boundary& row : kBoundaries) {
    SCOPED_TRACE(row.name);
    const FaxRate rate = FaxRateOf(FaxRxModeWord(row.config));
    const int boundary =
        (kFaxRxToneStart + row.symbols_before_conditioning * rate.samples_per_symbol + kFilterDelaySamples) /
        rate.samples_per_symbol;
    DetectionProbe probe;
    FaxTrainReceive(row.config, FaxRxWithNoise(FaxRxTransmitted(row.config, FaxRxSeededBytes(64, 5)), 25, 9),
                    [&](DspContext& c) { probe(c); });
    std::printf("%s: boundary at symbol %d, detected at %d\n", row.name, boundary, probe.symbol);
    EXPECT_GE(probe.symbol, boundary + 10);
    EXPECT_LE(probe.symbol, boundary + 26);
  }
}

TEST(FaxTraining, LoopPhasesApproachMinusTheComponentAngles) {
  for (const std::uint8_t config : {std::uint8_t{0xB7}, std::uint8_t{0xE9}}) {
    SCOPED_TRACE(config);
    int checked = 0;
    FaxTrainReceive(config, FaxRxWithNoise(FaxRxTransmitted(config, FaxRxSeededBytes(64, 5)), 30, 11),
                    [&](DspContext& c) {
                      if (FaxTrainState(c) != "StartDetect0") return;
                      const FaxTrainRecord& t = c.fax.rx.train;
                      for (int k = 0; k < kFaxComponents; ++k) {
                        // The component turned by its loop's phase lies on the
                        // real axis: the phase is minus the component's angle.
                        const FaxPair32 r = t.rotated[1][k];
                        const double degrees = std::atan2(r.q, r.i) * 180 / 3.141592653589793;
                        EXPECT_LT(std::abs(degrees), 6.0) << "component " << k;
                        EXPECT_NEAR(std::hypot(r.i, r.q), 0x4000, 0x1000) << "component " << k;
                      }
                      ++checked;
                    });
    EXPECT_GT(checked, 0);
  }
}

// Our V.29 burst 48 dB down leaves the input level average just under
// 8192; 6 dB louder it passes it. Only the louder one leaves RxSilence.
TEST(FaxTraining, RxSilenceHoldsWhileTheLevelIsBelowItsFloor) {
  struct Row {
    double scale;
    bool holds;
  };
  for (const Row row : {Row{1.0 / 250, true}, Row{1.0 / 125, false}}) {
    SCOPED_TRACE(row.scale);
    auto line = FaxRxTransmitted(0xB7, FaxRxSeededBytes(64, 5));
    for (auto& x : line) x = static_cast<std::int16_t>(std::lround(x * row.scale));
    int loudest = 0;
    const auto run =
        FaxTrainReceive(0xB7, line, [&](DspContext& c) { loudest = std::max<int>(loudest, c.fax.rx.level_average); });
    const auto silent = std::count(run.states.begin(), run.states.end(), std::string("RxSilence"));
    if (row.holds) {
      EXPECT_GE(loudest, 4096);  // near the floor, not far below it
      EXPECT_LT(loudest, 8192);
      EXPECT_EQ(silent, static_cast<std::ptrdiff_t>(run.states.size()));
    } else {
      EXPECT_GE(loudest, 8192);
      EXPECT_LT(silent, static_cast<std::ptrdiff_t>(run.states.size()));
    }
    EXPECT_EQ(run.data_reports, 0);
  }
}

// `line` as a receiver whose clock runs `ppm` fast hears it: samples taken
// every 1 + ppm/1e6 of the sender's, by a 32-tap Blackman-windowed sinc.
std::vector<std::int16_t> ClockOffset(const std::vector<std::int16_t>& line, double ppm) {
  constexpr int kHalf = 16;
  constexpr double kPi = 3.141592653589793;
  std::vector<std::int16_t> out;
  const double step = 1 + ppm * 1e-6;
  for (double t = kHalf; t < static_cast<double>(line.size()) - kHalf; t += step) {
    const auto base = static_cast<long>(std::floor(t));
    double sum = 0;
    for (long k = base - kHalf + 1; k <= base + kHalf; ++k) {
      const double x = t - static_cast<double>(k);
      const double sinc = std::abs(x) < 1e-12 ? 1.0 : std::sin(kPi * x) / (kPi * x);
      const double w = 0.42 + 0.5 * std::cos(kPi * x / kHalf) + 0.08 * std::cos(2 * kPi * x / kHalf);
      sum += line[static_cast<std::size_t>(k)] * sinc * w;
    }
    out.push_back(static_cast<std::int16_t>(std::lround(std::clamp(sum, -32768.0, 32767.0))));
  }
  return out;
}

// Clocks 100 ppm apart: a two-second page drifts by half a symbol, which
// V.17's timing loop follows through the data. (V.29 at 9600 loses a few
// bits at +100 ppm: its timing loop is still to be looked into.)
TEST(FaxTraining, ClocksAHundredPpmApartLoseNoData) {
  for (const TrainRow& row : {kTrainedRows[3], kTrainedRows[6]}) {
    for (const double ppm : {-100.0, 100.0}) {
      SCOPED_TRACE(std::string(row.name) + (ppm > 0 ? " +100 ppm" : " -100 ppm"));
      const std::vector<std::uint8_t> data = FaxRxSeededBytes(FaxRateOf(FaxRxModeWord(row.config)).bit_rate / 4, 4311);
      const auto line = FaxRxWithNoise(ClockOffset(FaxRxTransmitted(row.config, data), ppm), 30, 7);
      const auto run = FaxTrainReceive(row.config, line);
      EXPECT_EQ(TrainErrors(data, run.bytes), 0);
      EXPECT_EQ(run.data_reports, 1);
    }
  }
}

// A long V.17 burst, then a short-training burst after reconfiguration.
struct LongThenShort {
  std::vector<std::uint8_t> first = FaxRxSeededBytes(200, 1);
  std::vector<std::uint8_t> second = FaxRxSeededBytes(300, 2);
  std::vector<std::int16_t> line;
  int second_block = 0;
  LongThenShort() {
    line = FaxRxTransmitted(0xE9, first);
    second_block = static_cast<int>(line.size() / 96);
    const auto burst = FaxRxTransmitted(0xD9, second);
    line.insert(line.end(), burst.begin(), burst.end());
  }
};

TEST(FaxTraining, ShortTrainingStartsFromTheTapsSavedAtTheEndOfTheBridge) {
  LongThenShort bursts;
  std::vector<std::int32_t> bridge_taps;
  std::vector<std::int32_t> short_taps;
  const auto taps = [](const FaxRxRecord& rx) {
    std::vector<std::int32_t> t(std::begin(rx.tap_i), std::end(rx.tap_i));
    t.insert(t.end(), std::begin(rx.tap_q), std::end(rx.tap_q));
    return t;
  };
  const auto run = FaxTrainReceive(
      0xE9, FaxRxWithNoise(bursts.line, 30, 3),
      [&](DspContext& c) {
        const std::string state = FaxTrainState(c);
        // No adaptation runs through the bridge nor before the short
        // training's conditioning.
        if (state == "RxRateV17") bridge_taps = taps(c.fax.rx);
        if (state == "Short0" && short_taps.empty()) short_taps = taps(c.fax.rx);
      },
      bursts.second_block, 0xD9);
  ASSERT_FALSE(bridge_taps.empty());
  ASSERT_FALSE(short_taps.empty());
  EXPECT_EQ(short_taps, bridge_taps);
  EXPECT_NE(std::count(bridge_taps.begin(), bridge_taps.end(), 0), static_cast<std::ptrdiff_t>(bridge_taps.size()));
  EXPECT_EQ(TrainErrors(bursts.first, run.bytes), 0);
  EXPECT_EQ(TrainErrors(bursts.second, run.bytes), 0);
  EXPECT_EQ(run.data_reports, 2);
}

// Blocks of `run` in [from, to) spent in `state` (to < 0: to the end).
int BlocksIn(const testing::FaxTrainRun& run, const std::string& state, int from, int to = -1) {
  const auto end = to < 0 ? run.states.end() : run.states.begin() + to;
  return static_cast<int>(std::count(run.states.begin() + from, end, state));
}

// A short training asked for before any long one: the long table trains
// the first burst and leaves its snapshot, so the next short burst runs
// the short table.
TEST(FaxTraining, ShortTrainingAskedFirstTrainsLongThenShort) {
  LongThenShort bursts;
  const auto run = FaxTrainReceive(0xD9, FaxRxWithNoise(bursts.line, 30, 3), {}, bursts.second_block, 0xD9);
  EXPECT_GT(BlocksIn(run, "RxRateV17", 0, bursts.second_block), 0);
  EXPECT_GT(BlocksIn(run, "RxAltS2", bursts.second_block), 0);
  EXPECT_EQ(BlocksIn(run, "RxRateV17", bursts.second_block), 0);
  EXPECT_EQ(TrainErrors(bursts.first, run.bytes), 0);
  EXPECT_EQ(TrainErrors(bursts.second, run.bytes), 0);
  EXPECT_EQ(run.data_reports, 2);
}

// A new call forgets the last call's snapshot: its first burst, even when
// asked for with a short training, trains from its own long training.
TEST(FaxTraining, ANewCallTrainsLongWhateverTheLastCallSaved) {
  const auto first = FaxRxSeededBytes(200, 1);
  const auto second = FaxRxSeededBytes(200, 2);
  std::vector<std::int16_t> line = FaxRxTransmitted(0xE9, first);
  const int second_block = static_cast<int>(line.size() / 96);
  const auto burst = FaxRxTransmitted(0xE9, second);
  line.insert(line.end(), burst.begin(), burst.end());
  const auto run = FaxTrainReceive(0xE9, FaxRxWithNoise(line, 30, 3), {}, second_block, 0xD9, true);
  EXPECT_GT(BlocksIn(run, "RxRateV17", second_block), 0);
  EXPECT_EQ(BlocksIn(run, "RxAltS2", second_block), 0);
  EXPECT_EQ(TrainErrors(first, run.bytes), 0);
  EXPECT_EQ(TrainErrors(second, run.bytes), 0);
  EXPECT_EQ(run.data_reports, 2);
}

TEST(FaxTraining, ShortStartDetectionWaitsAsLongAsTheAlternationLasts) {
  LongThenShort bursts;
  // The short burst's alternation (256 symbols after the tone and the
  // silence) made 600 symbols longer by repeating 16 samples (3 cycles of
  // the carrier, 2 alternations) from its middle.
  const std::size_t alternation = static_cast<std::size_t>(bursts.second_block) * 96 + kFaxRxToneStart + (458 + 54) * 4;
  const std::size_t middle = alternation + 128 * 4;
  const std::vector<std::int16_t> period(bursts.line.begin() + static_cast<std::ptrdiff_t>(middle),
                                         bursts.line.begin() + static_cast<std::ptrdiff_t>(middle + 16));
  std::vector<std::int16_t> longer(bursts.line.begin(), bursts.line.begin() + static_cast<std::ptrdiff_t>(middle));
  for (int k = 0; k < 150; ++k) longer.insert(longer.end(), period.begin(), period.end());
  longer.insert(longer.end(), bursts.line.begin() + static_cast<std::ptrdiff_t>(middle), bursts.line.end());
  int waiting_blocks = 0;
  const auto run = FaxTrainReceive(
      0xE9, FaxRxWithNoise(longer, 30, 3),
      [&](DspContext& c) { waiting_blocks += FaxTrainState(c) == "SStartDetect" ? 1 : 0; }, bursts.second_block, 0xD9);
  // 400 symbols would be under 17 blocks.
  EXPECT_GT(waiting_blocks, 20);
  EXPECT_EQ(TrainErrors(bursts.second, run.bytes), 0);
}

}  // namespace
}  // namespace pump
