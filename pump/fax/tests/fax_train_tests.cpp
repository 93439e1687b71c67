// Our transmitter's bursts through the line into our receiver with its
// own training.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "pump/tests/support/fax_rx_line_rig.h"
#include "pump/tests/support/fax_train_rig.h"

namespace pump {
namespace {

using testing::FaxRxBitErrors;
using testing::FaxRxSeededBytes;
using testing::FaxRxTransmitted;
using testing::FaxRxWithNoise;
using testing::FaxTrainReceive;

struct TrainRow {
  const char* name;
  std::uint8_t config;
};

const TrainRow kTrainRows[] = {
    {"V.29 9600", 0xB7},    {"V.29 7200", 0xB6},    {"V.29 4800", 0xB5},    {"V.27ter 4800", 0xA5},
    {"V.27ter 2400", 0xA4}, {"V.17 14400", 0xE9},   {"V.17 12000", 0xE8},   {"V.17 9600", 0xE7},
    {"V.17 7200", 0xE5},
};

TEST(FaxTraining, Probe) {
  for (const TrainRow& row : kTrainRows) {
    const std::vector<std::uint8_t> data = FaxRxSeededBytes(400, 4310);
    const auto line = FaxRxWithNoise(FaxRxTransmitted(row.config, data), 30, 7);
    int block = 0;
    const auto run = FaxTrainReceive(row.config, line, [&](DspContext& c) {
      const auto& rx = c.fax.rx;
      if (getenv("PROBE") != nullptr && block % 4 == 0) std::printf("%d %s err %d y %d,%d d %d,%d gain %d/%x lvl %d mag %d cnt %d\n", block, testing::FaxTrainState(c).c_str(), rx.error_average, rx.y_i, rx.y_q, rx.d_i, rx.d_q, rx.gain_shift, rx.gain_mantissa, rx.level_average, rx.magnitude, rx.train.countdown);
      ++block;
    });
    std::printf("%s: %zu bytes, %d errors, cd %d, reports %d\n  ", row.name, run.bytes.size(), FaxRxBitErrors(data, run.bytes),
                run.carrier_lost, run.data_reports);
    std::string last;
    for (std::size_t b = 0; b < run.states.size(); ++b) {
      if (run.states[b] != last) std::printf("%zu:%s ", b, run.states[b].c_str());
      last = run.states[b];
    }
    std::printf("\n");
  }
}

}  // namespace
}  // namespace pump
