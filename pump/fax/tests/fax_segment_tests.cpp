// Training segments measured on the line by the double-precision reference
// demodulator, against the symbol counts of the V.27ter, V.29 and V.17
// recommendations.
#include <gtest/gtest.h>

#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "pump/core/comram.h"
#include "pump/fax/tests/fax_reference_demod.h"
#include "pump/tests/support/pump_harness.h"

namespace pump {
namespace {

using Points = std::vector<std::complex<double>>;

// V.29's carrier as the transmitter makes it: 11604/65536 of a turn a
// sample at 9600 Hz, 1699.8 Hz (within the recommendation's 1 Hz).
constexpr double kFaxV29Carrier = 11604.0 * 9600 / 65536;

// A burst configured by 0x73 (kind and rate code in byte 0) with `bytes`
// zero octets, ended by 0x74 once they are out; the whole line at 9600 Hz.
std::vector<std::int16_t> SegmentBurst(std::uint8_t config, std::size_t bytes) {
  std::vector<std::int16_t> line;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x00});
    const std::vector<std::uint8_t> zeros(bytes, 0);
    for (std::size_t at = 0; at < zeros.size();) {
      const std::size_t n = std::min<std::size_t>(32, zeros.size() - at);
      if (controller.FillTx(0, std::span(zeros).subspan(at, n))) at += n;
      harness.RunBlocks(1);
    }
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    for (int empty = 0; empty < 4;) {
      harness.RunBlocks(1);
      empty = (status & kStatusTxEmpty) != 0 && harness.Context().transmitting == 1 ? empty + 1 : 0;
    }
    controller.Exchange(0x74);
    harness.RunBlocks(40);
    line = harness.Afe().LineOutput();
  });
  return line;
}

// The length of the run of decisions from `from` on for which
// `belongs(index)` holds.
std::size_t LeadingRun(const testing::FaxDecisions& d, std::size_t from, auto&& belongs) {
  std::size_t n = from;
  while (n < d.size() && belongs(n)) ++n;
  return n - from;
}

std::size_t FirstSound(const testing::FaxDecisions& d) {
  std::size_t n = 0;
  while (n < d.size() && d[n] < 0) ++n;
  return n;
}

// V.29 at every rate: 128 symbols alternating A and B, then 384 of C and D
// in the order of 1 + x^-6 + x^-7 (each C/D bit the sum of the sixth and
// seventh before it), then data points. Points in the transmitter's units
// (14, 22 and 21.33 per unit at 9600, 7200 and 4800).
TEST(FaxTxBursts, V29SegmentsMeasuredOnTheLine) {
  struct Row {
    const char* name;
    std::uint8_t config;  // 0x73 byte 0
    Points abcd;
  };
  const Row rows[] = {
      {"9600", 0xB7, {{-42, 0}, {42, -42}, {42, 0}, {-42, 42}}},
      {"7200", 0xB6, {{-66, 0}, {22, -22}, {66, 0}, {-22, 22}}},
      {"4800", 0xB5, {{-64, 0}, {0, -64}, {64, 0}, {0, 64}}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const testing::FaxDecisions d =
        testing::FaxReferenceDecide(SegmentBurst(row.config, 10), {kFaxV29Carrier, 4, {48, 16}}, row.abcd);
    std::size_t n = FirstSound(d);
    const std::size_t alternation = LeadingRun(d, n, [&](std::size_t k) { return d[k] == static_cast<int>((k - n) % 2); });
    n += alternation;
    const std::size_t from = n;
    const std::size_t conditioning = LeadingRun(d, n, [&](std::size_t k) {
      return d[k] >= 2 && (k < from + 7 || d[k] - 2 == ((d[k - 6] - 2) ^ (d[k - 7] - 2)));
    });
    EXPECT_EQ(alternation, 128u);
    // The first mark may by chance be the point the pattern sends next.
    EXPECT_GE(conditioning, 384u);
    EXPECT_LE(conditioning, 385u);
  }
}

// V.17, long and short training: 256 symbols alternating A (-6, -2) and
// B (2, -6), in the transmitter's 8 per unit, before the conditioning's
// A, B, C, D (whose first symbol breaks the alternation).
TEST(FaxTxBursts, V17AlternationMeasuredOnTheLine) {
  const Points abcd = {{-48, -16}, {16, -48}, {48, 16}, {-16, 48}};
  for (const std::uint8_t config : {0xE9, 0xD9, 0xE5, 0xD5}) {
    SCOPED_TRACE(static_cast<int>(config));
    const testing::FaxDecisions d = testing::FaxReferenceDecide(SegmentBurst(config, 10), {1800, 4, {48, 16}}, abcd);
    const std::size_t n = FirstSound(d);
    EXPECT_EQ(LeadingRun(d, n, [&](std::size_t k) { return d[k] == static_cast<int>((k - n) % 2); }), 256u);
  }
}

// V.27ter at 4800 and 2400 bit/s: 50 symbols of phase reversals, then 1074
// of conditioning whose phase only turns by half a turn or not at all
// (two-phase scrambled ones), then the data's 8 (or 4) phases. Decisions
// are among the 8 phases of 45 degrees at the transmitter's radius 42.
TEST(FaxTxBursts, V27terSegmentsMeasuredOnTheLine) {
  Points phases;
  for (int k = 0; k < 8; ++k) phases.push_back(std::polar(42.0, k * std::numbers::pi / 4));
  struct Row {
    const char* name;
    std::uint8_t config;
    int samples_per_symbol;
  };
  const Row rows[] = {{"4800", 0xA5, 6}, {"2400", 0xA4, 8}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const testing::FaxDecisions d =
        testing::FaxReferenceDecide(SegmentBurst(row.config, 10), {1800, row.samples_per_symbol, {48, 16}}, phases);
    const std::size_t n = FirstSound(d);
    // The conditioning's first symbol keeps the phase.
    const std::size_t reversals = LeadingRun(d, n, [&](std::size_t k) { return k == n || d[k] == (d[k - 1] + 4) % 8; });
    const std::size_t two_phase = LeadingRun(d, n, [&](std::size_t k) { return d[k] >= 0 && d[k] % 4 == d[n] % 4; });
    EXPECT_EQ(reversals, 50u);
    EXPECT_EQ(two_phase - reversals, 1074u);
  }
}

}  // namespace
}  // namespace pump
