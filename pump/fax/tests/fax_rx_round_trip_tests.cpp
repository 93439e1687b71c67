// Our transmitter into our receiver through the line, with the test
// training table: data recovered per modulation and rate, bit errors
// against the signal-to-noise ratio, and a TCF with injected errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstdlib>

#include "pump/tests/support/fax_rx_line_rig.h"

namespace pump {
namespace {

using testing::CountRawBitErrors;
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
    const std::size_t errors = CountRawBitErrors(data, got.bytes).errors;
    std::printf("%s: %zu bytes received, %zu bit errors\n", row.name, got.bytes.size(), errors);
    EXPECT_EQ(errors, 0u);
  }
}

}  // namespace
}  // namespace pump

namespace pump {
namespace {

// Bit errors against the signal-to-noise ratio (one seeded Gaussian noise
// scaled to each ratio, against the burst's power), per modulation and
// rate: none at 30 dB, and never more at a higher ratio once a quarter
// or fewer of the bits are wrong (below that the receiver has lost the
// burst, and the count is chance). The full sweep
// (6 to 30 dB, 3 dB apart, 12000 bits) runs when FAX_RX_BER_SWEEP is set.
TEST(FaxRxRoundTrip, BitErrorsAgainstNoise) {
  const bool sweep = std::getenv("FAX_RX_BER_SWEEP") != nullptr;
  const std::vector<double> ratios = sweep ? std::vector<double>{6, 9, 12, 15, 18, 21, 24, 27, 30} : std::vector<double>{8, 12, 30};
  const std::vector<std::uint8_t> data = FaxRxSeededBytes(sweep ? 1500 : 250, 4311);
  std::printf("bit errors in %zu bits by SNR (dB):", data.size() * 8);
  for (const double snr : ratios) std::printf(" %6.0f", snr);
  std::printf("\n");
  for (const RoundTripRow& row : kRoundTripRows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::int16_t> line = FaxRxTransmitted(row.config, data);
    const auto plan = FaxRxPlanFor(FaxRxModeWord(row.config), kFaxRxToneStart);
    std::vector<std::size_t> errors;
    for (const double snr : ratios) {
      errors.push_back(CountRawBitErrors(data, FaxRxReceive(row.config, plan, FaxRxWithNoise(line, snr, 4312)).bytes).errors);
    }
    std::printf("%-14s", row.name);
    for (const std::size_t e : errors) std::printf(" %6zu", e);
    std::printf("\n");
    EXPECT_EQ(errors.back(), 0u);
    for (std::size_t k = 1; k < errors.size(); ++k) {
      if (4 * errors[k - 1] <= 8 * data.size()) {
        EXPECT_LE(errors[k], errors[k - 1]) << ratios[k] << " dB";
      }
    }
  }
}

// A TCF (zeros) with three short impulses on the line in its data: the
// receiver delivers the errors they cause (no settling mask hides them);
// the same TCF without them arrives as zeros only.
TEST(FaxRxRoundTrip, TcfWithInjectedErrorsShowsThem) {
  struct Row {
    const char* name;
    std::uint8_t config;
    int training_symbols;  // tone, silence, training and marks before the data
    int samples_per_symbol;
    int bits;
  };
  const Row rows[] = {
      {"V.29 9600", 0xB7, 458 + 62 + 128 + 384 + 48, 4, 4},
      {"V.27ter 4800", 0xA5, 306 + 42 + 50 + 1074 + 8, 6, 3},
      {"V.17 14400", 0xE9, 458 + 54 + 256 + 2976 + 64 + 48, 4, 6},
  };
  const std::vector<std::uint8_t> zeros(240, 0);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<std::int16_t> clean = FaxRxTransmitted(row.config, zeros);
    std::vector<std::int16_t> hit = clean;
    const int data_symbols = 240 * 8 / row.bits;
    for (const double at : {0.3, 0.5, 0.7}) {
      const auto from = static_cast<std::size_t>(kFaxRxToneStart + (row.training_symbols + at * data_symbols) * row.samples_per_symbol);
      for (std::size_t k = from; k < from + 3; ++k) hit[k] = static_cast<std::int16_t>(k % 2 == 0 ? 30000 : -30000);
    }
    const auto plan = FaxRxPlanFor(FaxRxModeWord(row.config), kFaxRxToneStart);
    const auto ones_in_zeros = [&](const std::vector<std::int16_t>& line) {
      const std::vector<std::uint8_t> got = FaxRxReceive(row.config, plan, line).bytes;
      // The zeros lie between the marks before and after them: count the
      // ones from the first four zero bytes in a row to the last four.
      const std::uint8_t four[4] = {0, 0, 0, 0};
      const auto first = std::search(got.begin(), got.end(), std::begin(four), std::end(four));
      const auto last = std::search(got.rbegin(), got.rend(), std::begin(four), std::end(four)).base();
      int ones = 0;
      for (auto it = first; it < last; ++it) ones += std::popcount(*it);
      return std::pair<int, std::ptrdiff_t>(ones, last - first);
    };
    const auto [clean_ones, clean_span] = ones_in_zeros(clean);
    const auto [hit_ones, hit_span] = ones_in_zeros(hit);
    EXPECT_EQ(clean_ones, 0);
    EXPECT_GE(clean_span, 230);
    EXPECT_GT(hit_ones, 0);
    EXPECT_GE(hit_span, 230);
    std::printf("%s TCF: %d ones in %td bytes with three impulses, %d in %td without\n", row.name, hit_ones, hit_span, clean_ones, clean_span);
  }
}

}  // namespace
}  // namespace pump
