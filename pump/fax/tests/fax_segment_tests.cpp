// Training segments measured on the line by the double-precision reference
// demodulator, against the symbol counts of the V.27ter, V.29 and V.17
// recommendations.
#include <gtest/gtest.h>

#include <complex>
#include <cmath>
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
// With `stop_in_data`, 0x74 comes five blocks into the data while zeros
// are still queued (the tail then follows zeros); otherwise once they are out.
std::vector<std::int16_t> SegmentBurst(std::uint8_t config, std::size_t bytes, bool stop_in_data = false) {
  std::vector<std::int16_t> line;
  testing::PumpHarness harness;
  harness.Run([&] {
    auto& controller = harness.Controller();
    controller.Exchange(0x60, {0});
    controller.Exchange(0x73, {config, 0x00});
    const std::vector<std::uint8_t> zeros(bytes, 0);
    int in_data = 0;
    for (std::size_t at = 0; at < zeros.size() && in_data < 5;) {
      const std::size_t n = std::min<std::size_t>(32, zeros.size() - at);
      if (controller.FillTx(0, std::span(zeros).subspan(at, n))) at += n;
      harness.RunBlocks(1);
      if (stop_in_data && harness.Context().transmitting == 1) ++in_data;
    }
    const std::uint8_t& status = harness.Host().comram.reg[kRegStatus];
    for (int empty = stop_in_data ? 4 : 0; empty < 4;) {
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

// A V.29 9600 or V.27ter 4800 burst decoded from the line: the phase
// change between symbols gives three bits (the two recommendations' table,
// the first bit first), V.29's amplitude one more before them (3 or 5 on
// the axes, sqrt 2 or 3 sqrt 2 on the diagonals, 14 per unit), and the
// bits pass the descrambler (1 + x^-18 + x^-23, or V.27ter's 1 + x^-6 +
// x^-7, whose guard never acts on the zeros and marks measured here).
// Returns the data bits up to the last symbol above `last_level`.
struct FaxDecodedLine {
  bool amplitude_bit;
  std::size_t tap1, tap2;
  double last_level;
};

std::vector<int> DecodeDifferential8Phase(const std::vector<std::complex<double>>& symbols, const FaxDecodedLine& how) {
  constexpr int kBitsOfChange[8] = {0b001, 0b000, 0b010, 0b011, 0b111, 0b110, 0b100, 0b101};
  std::size_t end = symbols.size();
  while (end > 0 && std::abs(symbols[end - 1]) < how.last_level) --end;
  std::vector<int> scrambled;
  long previous = 0;
  for (std::size_t k = 0; k < end; ++k) {
    const long phase = (std::lround(std::arg(symbols[k]) / (std::numbers::pi / 4)) % 8 + 8) % 8;
    const int change = kBitsOfChange[(phase - previous + 8) % 8];
    previous = phase;
    if (how.amplitude_bit) {
      const double outer = phase % 2 == 0 ? 4 * 14 : 2 * 14 * std::numbers::sqrt2;
      scrambled.push_back(std::abs(symbols[k]) > outer ? 1 : 0);
    }
    for (int b = 2; b >= 0; --b) scrambled.push_back(change >> b & 1);
  }
  std::vector<int> bits(scrambled.size());
  for (std::size_t n = 0; n < scrambled.size(); ++n) {
    bits[n] = scrambled[n] ^ (n >= how.tap1 ? scrambled[n - how.tap1] : 0) ^ (n >= how.tap2 ? scrambled[n - how.tap2] : 0);
  }
  return bits;
}

// 0x74 in the middle of zeros: after the last symbol carrying a zero, the
// tail of marks before silence, 48 symbols at V.29 9600 (whose marks are
// all outer points), 8 at V.27ter 4800.
TEST(FaxTxBursts, TailOfMarksMeasuredOnTheLine) {
  struct Row {
    const char* name;
    std::uint8_t config;
    testing::FaxReferenceLine line;
    FaxDecodedLine decode;
    std::size_t bits_per_symbol;
    std::size_t tail;  // symbols
  };
  const Row rows[] = {
      {"V.29 9600", 0xB7, {kFaxV29Carrier, 4, {48, 16}}, {true, 18, 23, 35}, 4, 48},
      {"V.27ter 4800", 0xA5, {1800, 6, {48, 16}}, {false, 6, 7, 30}, 3, 8},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<int> bits =
        DecodeDifferential8Phase(testing::FaxReferenceSymbols(SegmentBurst(row.config, 4000, true), row.line), row.decode);
    std::size_t last_zero = bits.size();
    while (last_zero > 0 && bits[last_zero - 1] == 1) --last_zero;
    ASSERT_GT(last_zero, 0u);
    const std::size_t symbols = bits.size() / row.bits_per_symbol;
    EXPECT_EQ(symbols - ((last_zero - 1) / row.bits_per_symbol + 1), row.tail);
  }
}

}  // namespace
}  // namespace pump
