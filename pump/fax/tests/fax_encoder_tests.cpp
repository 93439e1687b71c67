// The fax transmitter's scramblers, encoders and signal sets against the
// recommendations' polynomials and tables and against spandsp's
// transmitters fed the same data.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <vector>

#include "pump/fax/fax_encoders.h"
#include "pump/fax/fax_scramblers.h"
#include "pump/fax/fax_signal_sets.h"
#include "pump/fax/tests/spandsp_fax_tx_points.h"
#include "pump/tests/support/trellis_reference.h"

namespace pump {
namespace {

using testing::SpandspDataPoints;
using testing::SpandspFaxModem;

std::vector<std::uint8_t> SeededBits(std::size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> bits(count);
  for (auto& bit : bits) {
    bit = static_cast<std::uint8_t>(random() & 1);
  }
  return bits;
}

// out[n] = in[n] ^ out[n - 18] ^ out[n - 23], bit by bit from zero history.
std::vector<std::uint8_t> ScrambleBy1823(std::span<const std::uint8_t> in) {
  std::vector<std::uint8_t> out;
  for (std::size_t n = 0; n < in.size(); ++n) {
    const int o18 = n >= 18 ? out[n - 18] : 0;
    const int o23 = n >= 23 ? out[n - 23] : 0;
    out.push_back(static_cast<std::uint8_t>(in[n] ^ o18 ^ o23));
  }
  return out;
}

TEST(FaxTxEncoders, ScramblerFollowsItsPolynomialInGroupsOfEveryWidth) {
  const auto in = SeededBits(720, 17);
  const auto expected = ScrambleBy1823(in);
  for (int width = 1; width <= 6; ++width) {
    FaxTxRecord tx{};
    std::vector<std::uint8_t> out;
    for (std::size_t n = 0; n + width <= in.size(); n += width) {
      std::uint32_t group = 0;
      for (int k = 0; k < width; ++k) group |= std::uint32_t{in[n + k]} << k;
      const std::uint32_t scrambled = FaxScramble(tx, group, width);
      for (int k = 0; k < width; ++k) out.push_back(static_cast<std::uint8_t>(scrambled >> k & 1));
    }
    ASSERT_EQ(std::vector<std::uint8_t>(expected.begin(), expected.begin() + out.size()), out)
        << "groups of " << width;
  }
}

// The V.27ter guard, seen from outside: undoing 1 + x^-6 + x^-7 leaves
// the guard's inversions of seeded data, and each comes right after 33
// output bits in a row that each repeat the output 8, 9 or 12 bits earlier.
TEST(FaxTxEncoders, V27terGuardInvertsAfterARunOfRepeatingBits) {
  const auto in = SeededBits(6000, 5);
  FaxTxRecord tx{};
  std::vector<int> out;
  for (auto bit : in) out.push_back(V27terScramble(tx, bit));
  const auto earlier = [&](std::size_t n, std::size_t k) { return n >= k ? out[n - k] : 0; };
  int run = 0;
  int inversions = 0;
  for (std::size_t n = 0; n < out.size(); ++n) {
    const int plain = in[n] ^ earlier(n, 6) ^ earlier(n, 7);
    if (out[n] != plain) {
      EXPECT_EQ(33, run) << "inversion at bit " << n;
      ++inversions;
      run = 0;
      continue;
    }
    const bool repeats = out[n] == earlier(n, 8) || out[n] == earlier(n, 9) || out[n] == earlier(n, 12);
    run = repeats ? run + 1 : 0;
    ASSERT_LE(run, 33) << "no inversion at bit " << n + 1;
  }
  EXPECT_GE(inversions, 5);
}

struct EncoderRow {
  const char* name;
  SpandspFaxModem modem;
  int bit_rate;
  int bits_per_symbol;
};

std::complex<double> OurPoint(const EncoderRow& row, FaxTxRecord& tx, std::span<const std::uint8_t> bits) {
  std::uint32_t group = 0;
  if (row.modem == SpandspFaxModem::kV27ter) {
    for (int k = 0; k < row.bits_per_symbol; ++k) group |= static_cast<std::uint32_t>(V27terScramble(tx, bits[k])) << k;
  } else {
    for (int k = 0; k < row.bits_per_symbol; ++k) group |= std::uint32_t{bits[k]} << k;
    group = FaxScramble(tx, group, row.bits_per_symbol);
  }
  FaxPoint p{};
  switch (row.modem) {
    case SpandspFaxModem::kV27ter: {
      const int n = V27terEncode(tx, group, row.bits_per_symbol);
      p = row.bit_rate == 4800 ? kV27ter4800[n] : kV27ter2400[n];
      break;
    }
    case SpandspFaxModem::kV29: {
      const int n = V29Encode(tx, group, row.bits_per_symbol);
      p = row.bit_rate == 9600 ? kV29_9600[n] : row.bit_rate == 7200 ? kV29_7200[n] : kV29_4800[n];
      break;
    }
    case SpandspFaxModem::kV17: {
      const int n = V17Encode(tx, group, row.bits_per_symbol);
      p = row.bit_rate == 14400 ? kV17_14400[n]
          : row.bit_rate == 12000 ? kV17_12000[n]
          : row.bit_rate == 9600  ? kV17_9600[n]
                                  : kV17_7200[n];
      break;
    }
  }
  return {static_cast<double>(p.i), static_cast<double>(p.q)};
}

// Seeded data through our scrambler, encoder and signal set gives the
// points spandsp's transmitter sends for the same data, up to one scale
// (the sets' units differ) and no rotation or mirroring.
TEST(FaxTxEncoders, DataPointsEqualSpandspTransmitters) {
  const EncoderRow rows[] = {
      {"V.27ter 2400", SpandspFaxModem::kV27ter, 2400, 2}, {"V.27ter 4800", SpandspFaxModem::kV27ter, 4800, 3},
      {"V.29 4800", SpandspFaxModem::kV29, 4800, 2},       {"V.29 7200", SpandspFaxModem::kV29, 7200, 3},
      {"V.29 9600", SpandspFaxModem::kV29, 9600, 4},       {"V.17 7200", SpandspFaxModem::kV17, 7200, 3},
      {"V.17 9600", SpandspFaxModem::kV17, 9600, 4},       {"V.17 12000", SpandspFaxModem::kV17, 12000, 5},
      {"V.17 14400", SpandspFaxModem::kV17, 14400, 6},
  };
  constexpr int kSymbols = 600;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto bits = SeededBits(static_cast<std::size_t>(kSymbols * row.bits_per_symbol), 42);
    const auto theirs = SpandspDataPoints(row.modem, row.bit_rate, bits, kSymbols);
    FaxTxRecord tx{};
    std::vector<std::complex<double>> ours;
    for (int s = 0; s < kSymbols; ++s) {
      ours.push_back(OurPoint(row, tx, std::span(bits).subspan(static_cast<std::size_t>(s * row.bits_per_symbol))));
    }
    double scale = 0;
    for (int s = 0; s < kSymbols; ++s) scale += std::abs(theirs[s]) / std::abs(ours[s]);
    scale /= kSymbols;
    int mismatches = 0;
    for (int s = 0; s < kSymbols; ++s) {
      if (std::abs(ours[s] * scale - theirs[s]) > 0.02 * std::abs(theirs[s])) {
        if (++mismatches <= 3) ADD_FAILURE() << "symbol " << s << ": ours " << ours[s] * scale << " theirs " << theirs[s];
      }
    }
    EXPECT_EQ(0, mismatches);
  }
}

// Seeded scrambled data through our V.17 encoder and signal set gives the
// points of the recommendation's equations at every rate: Q1 Q2
// differentially encoded, Y0 from the convolutional encoder's equations,
// the uncoded bits, the signal-space mapping. The redundant bit Y0 must
// take both values often (a stuck trellis bit would pass a weaker check).
TEST(FaxTxEncoders, V17SymbolsFollowTheTrellisEquations) {
  constexpr int kSymbols = 2000;
  for (int bits = 3; bits <= 6; ++bits) {
    SCOPED_TRACE(::testing::Message() << bits << " bits a symbol");
    std::mt19937 random(static_cast<unsigned>(90 + bits));
    FaxTxRecord tx{};
    trellis_reference::TrellisEquations equations;
    const auto& set = bits == 6 ? std::span<const FaxPoint>(kV17_14400)
                      : bits == 5 ? std::span<const FaxPoint>(kV17_12000)
                      : bits == 4 ? std::span<const FaxPoint>(kV17_9600)
                                  : std::span<const FaxPoint>(kV17_7200);
    int y0_ones = 0;
    for (int s = 0; s < kSymbols; ++s) {
      const std::uint32_t group = random() & ((1u << bits) - 1);
      const unsigned subset = equations.Encode(static_cast<int>(group & 1), static_cast<int>(group >> 1 & 1));
      y0_ones += static_cast<int>(subset & 1);
      const std::array<int, 2> expected = trellis_reference::V17SetPoint(bits, subset, group >> 2);
      const FaxPoint ours = set[static_cast<std::size_t>(V17Encode(tx, group, bits))];
      ASSERT_EQ(expected, (std::array<int, 2>{ours.i, ours.q})) << "symbol " << s;
    }
    EXPECT_GT(y0_ones, kSymbols / 3);
    EXPECT_LT(y0_ones, 2 * kSymbols / 3);
  }
}

// V.27ter: eight (four) points of one amplitude, point k at k eighths
// (quarters) of a turn.
TEST(FaxTxEncoders, V27terSignalSetsArePhasesOfOneAmplitude) {
  const auto check = [](std::span<const FaxPoint> set) {
    const double amplitude = std::hypot(set[0].i, set[0].q);
    for (std::size_t k = 0; k < set.size(); ++k) {
      const double turn = 2 * std::numbers::pi * static_cast<double>(k) / static_cast<double>(set.size());
      EXPECT_NEAR(amplitude * std::cos(turn), set[k].i, 1.0) << k;  // bytes: rounded toward zero
      EXPECT_NEAR(amplitude * std::sin(turn), set[k].q, 1.0) << k;  // bytes: rounded toward zero
    }
  };
  check(kV27ter4800);
  check(kV27ter2400);
}

// V.29: at 0, 90, 180 and 270 degrees relative amplitudes 3 and 5; at the
// odd multiples of 45 degrees sqrt(2) and 3 sqrt(2); the first bit picks
// the larger. 7200 bit/s uses the smaller of each, 4800 the four at 3.
TEST(FaxTxEncoders, V29SignalSetsFollowTheAmplitudeTable) {
  const double unit = kV29_9600[0].i / 3.0;
  for (int phase = 0; phase < 8; ++phase) {
    const double angle = std::numbers::pi / 4 * phase;
    for (int a = 0; a < 2; ++a) {
      const double r = phase % 2 == 0 ? (a ? 5 : 3) : (a ? 3 : 1) * std::sqrt(2.0);
      const FaxPoint p = kV29_9600[static_cast<std::size_t>(2 * phase + a)];
      EXPECT_NEAR(unit * r * std::cos(angle), p.i, 0.6) << phase << "," << a;
      EXPECT_NEAR(unit * r * std::sin(angle), p.q, 0.6) << phase << "," << a;
    }
    const double r7200 = phase % 2 == 0 ? 3 : std::sqrt(2.0);
    const double unit7200 = kV29_7200[0].i / 3.0;
    EXPECT_NEAR(unit7200 * r7200 * std::cos(angle), kV29_7200[static_cast<std::size_t>(phase)].i, 0.6) << phase;
    EXPECT_NEAR(unit7200 * r7200 * std::sin(angle), kV29_7200[static_cast<std::size_t>(phase)].q, 0.6) << phase;
  }
  for (int phase = 0; phase < 4; ++phase) {
    const double angle = std::numbers::pi / 2 * phase;
    EXPECT_NEAR(kV29_4800[0].i * std::cos(angle), kV29_4800[static_cast<std::size_t>(phase)].i, 0.6);
    EXPECT_NEAR(kV29_4800[0].i * std::sin(angle), kV29_4800[static_cast<std::size_t>(phase)].q, 0.6);
  }
}

// V.17: every set is the same points as spandsp's (up to one scale), each
// once, and its eight subsets are spread as trellis coding needs: within a
// subset points are at least 2 sqrt(2) times the set's closest spacing apart.
TEST(FaxTxEncoders, V17SignalSetsEqualSpandspAndPartitionIntoSubsets) {
  struct Row {
    int bit_rate;
    std::span<const FaxPoint> set;
  };
  const Row rows[] = {{7200, kV17_7200}, {9600, kV17_9600}, {12000, kV17_12000}, {14400, kV17_14400}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.bit_rate);
    const auto theirs = testing::SpandspV17SignalSet(row.bit_rate);
    ASSERT_EQ(row.set.size(), theirs.size());
    double ours_max = 0, theirs_max = 0;
    for (std::size_t k = 0; k < theirs.size(); ++k) {
      ours_max = std::max(ours_max, std::hypot(row.set[k].i, row.set[k].q));
      theirs_max = std::max(theirs_max, static_cast<double>(std::abs(theirs[k])));
    }
    const double scale = theirs_max / ours_max;
    double closest = 1e9;
    for (std::size_t a = 0; a < row.set.size(); ++a) {
      const std::complex<double> p(row.set[a].i * scale, row.set[a].q * scale);
      int found = 0;
      for (const auto& t : theirs) found += std::abs(p - std::complex<double>(t)) < 0.01 * theirs_max;
      EXPECT_EQ(1, found) << "point " << a;
      for (std::size_t b = a + 1; b < row.set.size(); ++b) {
        closest = std::min(closest, std::hypot(row.set[a].i - row.set[b].i, row.set[a].q - row.set[b].q));
      }
    }
    const std::size_t per_subset = row.set.size() / 8;
    for (std::size_t a = 0; a < row.set.size(); ++a) {
      for (std::size_t b = a + 1; b < row.set.size(); ++b) {
        if (a / per_subset != b / per_subset) continue;
        EXPECT_GE(std::hypot(row.set[a].i - row.set[b].i, row.set[a].q - row.set[b].q),
                  2 * std::sqrt(2.0) * closest - 0.5)
            << a << " and " << b;
      }
    }
  }
}

}  // namespace
}  // namespace pump
