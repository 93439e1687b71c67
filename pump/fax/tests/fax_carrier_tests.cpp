// The fax receiver's carrier rules and hostile bursts: a data carrier that
// fades posts one carrier loss and rearms for the next burst; the lock
// counter restarts the table on outputs near zero; bursts without a proper
// training end in silence or a carrier check and the next good burst
// trains.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "pump/fax/fax_rx.h"
#include "pump/fax/fax_train.h"
#include "pump/packets/dp_packets.h"
#include "pump/tests/support/fax_rx_line_rig.h"
#include "pump/tests/support/fax_train_rig.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using testing::CountRawBitErrors;
using testing::FaxRxSeededBytes;
using testing::FaxRxTransmitted;
using testing::FaxRxWithNoise;
using testing::FaxTrainReceive;
using testing::kFaxRxToneStart;

int CarrierErrors(const std::vector<std::uint8_t>& data, const std::vector<std::uint8_t>& got) {
  return static_cast<int>(CountRawBitErrors(data, got).errors);
}

void Append(std::vector<std::int16_t>& line, const std::vector<std::int16_t>& more) {
  line.insert(line.end(), more.begin(), more.end());
}

std::vector<std::int16_t> Silence(int samples) { return std::vector<std::int16_t>(static_cast<std::size_t>(samples), 0); }

// A burst that stops at once, and one whose data falls 14 dB before it
// stops: each posts one carrier loss.
TEST(FaxCarrier, AFadedCarrierPostsOneLossAndTheNextBurstTrainsWithoutReconfiguration) {
  for (const std::uint8_t config : {std::uint8_t{0xB7}, std::uint8_t{0xE9}}) {
    SCOPED_TRACE(config);
    const auto first = FaxRxSeededBytes(150, 21);
    const auto second = FaxRxSeededBytes(150, 22);
    std::vector<std::int16_t> line = FaxRxWithNoise(FaxRxTransmitted(config, first), 30, 1);
    // The last 2000 samples of the first burst 14 dB down.
    for (std::size_t k = line.size() - 2000; k < line.size(); ++k) line[k] = static_cast<std::int16_t>(line[k] / 5);
    Append(line, Silence(9600 / 2));
    Append(line, FaxRxWithNoise(FaxRxTransmitted(config, second), 30, 2));
    Append(line, Silence(9600 / 2));
    const auto run = FaxTrainReceive(config, line);
    EXPECT_EQ(run.carrier_lost, 2);
    EXPECT_EQ(run.data_reports, 2);
    EXPECT_EQ(CarrierErrors(first, run.bytes), 0);
    EXPECT_EQ(CarrierErrors(second, run.bytes), 0);
    EXPECT_EQ(run.states.back(), "RxSilence");
  }
}

// The data state of V.29's table, its fifth entry from the end.
std::int32_t V29DataEntry() {
  const auto table = FaxTrainingTable(FaxTrainingKind::kV29);
  for (std::size_t k = 0; k < table.size(); ++k) {
    if (std::string(table[k].name) == "RxDataV29") return static_cast<std::int32_t>(k);
  }
  return -1;
}

// Equaliser outputs of magnitude m (|yI| + |yQ|) in the data state, the
// carrier otherwise present: the ticks until the table restarts, 0 when
// it does not within 1000.
int TicksUntilLockRestart(std::int32_t yi, std::int32_t yq) {
  int ticks = 0;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {0xB7, 0x04});
    FaxRxRecord& rx = harness.Context().fax.rx;
    SetStateMachine(rx.machine, StateOp::kGo, FaxTrainingTable(FaxTrainingKind::kV29), V29DataEntry());
    for (int k = 1; k <= 1000 && ticks == 0; ++k) {
      rx.level_average = 0x7FFF;
      rx.level_db = -20;
      rx.previous_block_magnitude = 0x100000;
      rx.y_i = yi;
      rx.y_q = yq;
      RunStateMachine(harness.Context(), rx.machine);
      if (rx.machine.position != V29DataEntry()) ticks = k;
    }
    EXPECT_EQ(rx.train.lock_counter, 0);
    int losses = 0;
    for (const auto& p : controller.TakePackets()) losses += p.code == kDpFaxCd ? 1 : 0;
    EXPECT_EQ(losses, ticks > 0 ? 1 : 0);
  });
  return ticks;
}

TEST(FaxCarrier, TheLockCounterRestartsTheTableOncePast800) {
  // 80 a symbol at outputs near zero: 800 after ten symbols is not past
  // it, 880 after eleven is.
  EXPECT_EQ(TicksUntilLockRestart(0, 0), 11);
  EXPECT_EQ(TicksUntilLockRestart(160, -160), 14);  // 60 a symbol: 840 after fourteen
  // Outputs of a data point halve the counter every symbol.
  EXPECT_EQ(TicksUntilLockRestart(2688, 0), 0);
}

// Hostile bursts at V.29 9600: samples of a good burst cut, shortened or
// stretched, or noise in place of a burst; each followed by silence and a
// good burst.
struct HostileRow {
  const char* name;
  std::uint8_t config;
  std::vector<std::int16_t> (*make)(const std::vector<std::int16_t>& good, std::uint8_t config);
  int reports;         // data reports the hostile burst gives (-1: not checked)
  bool conditions;     // it reaches the conditioning
  bool delivers_data;  // its data arrives without an error
};

// Samples to the start of the alternation: the tone and the silence after it.
std::size_t AlternationStart(std::uint8_t config) {
  return kFaxRxToneStart + ((config >> 4) == 0xB ? (458 + 62) * 4 : (458 + 54) * 4);
}
std::size_t AlternationSamples(std::uint8_t config) { return (config >> 4) == 0xB ? 128 * 4 : 256 * 4; }
std::size_t ConditioningSamples(std::uint8_t config) { return (config >> 4) == 0xB ? 384 * 4 : 2976 * 4; }

std::vector<std::int16_t> Cut(const std::vector<std::int16_t>& good, std::size_t at) {
  return {good.begin(), good.begin() + static_cast<std::ptrdiff_t>(std::min(at, good.size()))};
}

// V.29's carrier and alternation repeat every 96 samples (17 carrier
// cycles, 12 alternations); V.17's every 16.
std::size_t Period(std::uint8_t config) { return (config >> 4) == 0xB ? 96 : 16; }

std::vector<std::int16_t> Resized(const std::vector<std::int16_t>& good, std::uint8_t config, long periods) {
  const std::size_t middle = AlternationStart(config) + AlternationSamples(config) / 2;
  const std::size_t p = Period(config);
  std::vector<std::int16_t> out(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(middle));
  if (periods >= 0) {
    for (long k = 0; k < periods; ++k) out.insert(out.end(), good.begin() + static_cast<std::ptrdiff_t>(middle), good.begin() + static_cast<std::ptrdiff_t>(middle + p));
    out.insert(out.end(), good.begin() + static_cast<std::ptrdiff_t>(middle), good.end());
  } else {
    out.insert(out.end(), good.begin() + static_cast<std::ptrdiff_t>(middle + p * static_cast<std::size_t>(-periods)), good.end());
  }
  return out;
}

// A V.29 alternation cut to 32 symbols is over before the table's waits
// are: no reversal is found and detection runs out. One 192 symbols too
// long outlasts detection: the table restarts at silence, waits through
// the rest of the alternation and trains on its reversal. V.17's
// alternation cut to 96 symbols trains and reports data that is wrong
// (an open fault): only that it ends in silence is checked.
const HostileRow kHostileRows[] = {
    {"cut in the tone", 0xB7, [](const auto& g, std::uint8_t c) { return Cut(g, AlternationStart(c) / 2); }, 0, false, false},
    {"cut in the alternation", 0xB7, [](const auto& g, std::uint8_t c) { return Cut(g, AlternationStart(c) + AlternationSamples(c) / 2); }, 0, false, false},
    {"cut in the conditioning", 0xB7,
     [](const auto& g, std::uint8_t c) { return Cut(g, AlternationStart(c) + AlternationSamples(c) + ConditioningSamples(c) / 2); }, 0, true, false},
    {"cut in the data", 0xB7,
     [](const auto& g, std::uint8_t c) { return Cut(g, AlternationStart(c) + AlternationSamples(c) + ConditioningSamples(c) + 800); }, 1, true, false},
    {"no training", 0xB7,
     [](const auto& g, std::uint8_t c) {
       const std::size_t data = AlternationStart(c) + AlternationSamples(c) + ConditioningSamples(c) + 200;
       return std::vector<std::int16_t>(g.begin() + static_cast<std::ptrdiff_t>(data), g.end());
     }, 0, false, false},
    {"reversal early", 0xB7, [](const auto& g, std::uint8_t c) { return Resized(g, c, -4); }, 0, false, false},
    {"reversal late", 0xB7, [](const auto& g, std::uint8_t c) { return Resized(g, c, 8); }, 1, true, true},
    {"noise in place of a burst", 0xB7,
     [](const auto& g, std::uint8_t) {
       std::mt19937 random(77);
       std::normal_distribution<double> noise(0, 2000);
       std::vector<std::int16_t> out(g.size());
       for (auto& x : out) x = static_cast<std::int16_t>(std::lround(noise(random)));
       return out;
     }, 0, false, false},
    {"V.17 cut in the conditioning", 0xE9,
     [](const auto& g, std::uint8_t c) { return Cut(g, AlternationStart(c) + AlternationSamples(c) + ConditioningSamples(c) / 2); }, 0, true, false},
    {"V.17 reversal early", 0xE9, [](const auto& g, std::uint8_t c) { return Resized(g, c, -40); }, -1, true, false},
};

TEST(FaxTrainingHostile, EachEndsInSilenceOrACarrierCheckAndTheNextGoodBurstTrains) {
  for (const HostileRow& row : kHostileRows) {
    SCOPED_TRACE(row.name);
    const auto junk = FaxRxSeededBytes(120, 30);
    const auto data = FaxRxSeededBytes(150, 31);
    std::vector<std::int16_t> line = FaxRxWithNoise(row.make(FaxRxTransmitted(row.config, junk), row.config), 30, 5);
    Append(line, Silence(9600 / 2));
    const int good_block = static_cast<int>(line.size() / 96);
    Append(line, FaxRxWithNoise(FaxRxTransmitted(row.config, data), 30, 6));
    Append(line, Silence(9600 / 4));
    const auto run = FaxTrainReceive(row.config, line);
    // Back at silence before the good burst, whatever the hostile one did.
    EXPECT_EQ(run.states[static_cast<std::size_t>(good_block - 1)], "RxSilence");
    EXPECT_EQ(CarrierErrors(data, run.bytes), 0);
    const auto conditioned = std::count(run.states.begin(), run.states.begin() + good_block, std::string("RxPrs0"));
    EXPECT_EQ(conditioned > 0, row.conditions);
    if (row.reports < 0) continue;
    EXPECT_EQ(run.data_reports, row.reports + 1);
    EXPECT_EQ(CarrierErrors(junk, run.bytes) == 0, row.delivers_data);
  }
}

}  // namespace
}  // namespace pump
