// The fax receiver's decisions against the transmitter's encoders (the
// reference for which point carries which bits), and its descramblers
// against the transmitter's scramblers.
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
#include "pump/fax/fax_rx_decisions.h"
#include "pump/fax/fax_rx_descramblers.h"
#include "pump/fax/fax_scramblers.h"
#include "pump/fax/fax_signal_sets.h"

namespace pump {
namespace {

struct DecisionRow {
  const char* name;
  std::uint16_t mode_word;
  std::span<const FaxPoint> set;
  int bits;
  bool v29;
  int phases;  // the previous phase's values
};

// The smallest distance between two points of a set.
double MinimumDistance(std::span<const FaxPoint> set) {
  double best = 1e9;
  for (std::size_t a = 0; a < set.size(); ++a) {
    for (std::size_t b = a + 1; b < set.size(); ++b) {
      best = std::min(best, std::hypot(set[a].i - set[b].i, set[a].q - set[b].q));
    }
  }
  return best;
}

// Every point, reached from every previous phase by every bit pattern of
// the encoder, moved by 0.45 of half the set's smallest distance in 16
// directions, decides to that point and gives those bits.
TEST(FaxRxDecisions, EveryPointPerturbedWithinItsRegion) {
  const DecisionRow rows[] = {
      {"V.27ter 2400", 0x01, kV27ter2400, 2, false, 4},
      {"V.27ter 4800", 0x00, kV27ter4800, 3, false, 8},
      {"V.29 9600", 0x10, kV29_9600, 4, true, 8},
      {"V.29 7200", 0x11, kV29_7200, 3, true, 8},
      {"V.29 4800", 0x12, kV29_4800, 2, true, 4},
  };
  for (const DecisionRow& row : rows) {
    SCOPED_TRACE(row.name);
    const double radius = 64 * 0.45 * MinimumDistance(row.set) / 2;
    std::vector<int> reached(row.set.size(), 0);
    for (int previous = 0; previous < row.phases; ++previous) {
      for (std::uint32_t bits = 0; bits < (1u << row.bits); ++bits) {
        FaxTxRecord tx{};
        tx.phase = previous;
        const int point = row.v29 ? V29Encode(tx, bits, row.bits) : V27terEncode(tx, bits, row.bits);
        ++reached[static_cast<std::size_t>(point)];
        for (int direction = 0; direction < 16; ++direction) {
          const double angle = 2 * std::numbers::pi * direction / 16;
          const auto i = static_cast<std::int32_t>(std::lround(64 * row.set[static_cast<std::size_t>(point)].i + radius * std::cos(angle)));
          const auto q = static_cast<std::int32_t>(std::lround(64 * row.set[static_cast<std::size_t>(point)].q + radius * std::sin(angle)));
          const FaxDecision d = FaxDecideUncoded(row.mode_word, i, q, previous);
          ASSERT_EQ(d.point, point) << "bits " << bits << " from phase " << previous << " at (" << i << ", " << q << ")";
          ASSERT_EQ(d.bits, bits) << "point " << point << " from phase " << previous;
        }
      }
    }
    for (std::size_t p = 0; p < reached.size(); ++p) EXPECT_GT(reached[p], 0) << "point " << p;
  }
}

// V.27ter's sectors: a point 0.3 degrees inside either edge of its sector
// (22.5 degrees each side of the point's angle), at several magnitudes,
// decides to that point; 0.3 degrees past the edge to the neighbour.
TEST(FaxRxDecisions, V27terSectorEdges) {
  struct Row {
    const char* name;
    std::uint16_t mode_word;
    int points;
  };
  for (const Row row : {Row{"4800", 0x00, 8}, Row{"2400", 0x01, 4}}) {
    SCOPED_TRACE(row.name);
    const double half = std::numbers::pi / row.points;  // half a sector
    for (int point = 0; point < row.points; ++point) {
      for (const double magnitude : {800.0, 2688.0, 9000.0}) {
        for (const double side : {-1.0, 1.0}) {
          for (const double past : {-0.3, 0.3}) {
            const double angle = 2 * std::numbers::pi * point / row.points + side * (half + past * std::numbers::pi / 180);
            const auto i = static_cast<std::int32_t>(std::lround(magnitude * std::cos(angle)));
            const auto q = static_cast<std::int32_t>(std::lround(magnitude * std::sin(angle)));
            const int expected = past < 0 ? point : (point + (side > 0 ? 1 : row.points - 1)) % row.points;
            EXPECT_EQ(FaxDecideUncoded(row.mode_word, i, q, 0).point, expected)
                << "point " << point << " side " << side << " past " << past << " magnitude " << magnitude;
          }
        }
      }
    }
  }
}

// The descramblers invert the transmitter's scramblers on seeded data from
// any starting register once their registers hold received bits; the
// V.27ter data then has long runs of zeros and ones that make the guard
// invert bits, and the descrambler puts them back (its guard count is in
// step once 64 random bits have passed).
TEST(FaxRxDescramblers, InvertTheScramblersFromAnyStart) {
  std::mt19937 random(4301);
  for (int trial = 0; trial < 8; ++trial) {
    // V.17 and V.29, every width.
    for (int width = 1; width <= 6; ++width) {
      FaxTxRecord tx{};
      tx.scrambler = random() & 0x7FFFFF;
      FaxRxRecord rx{};
      rx.descrambler = random() & 0x7FFFFF;
      int bits_seen = 0;
      for (int symbol = 0; symbol < 200; ++symbol) {
        const std::uint32_t data = random() & ((1u << width) - 1);
        const std::uint32_t out = FaxDescramble(rx, FaxScramble(tx, data, width), width);
        bits_seen += width;
        if (bits_seen >= 23 + width) {
          ASSERT_EQ(out, data) << "width " << width << " symbol " << symbol;
        }
      }
    }
    // V.27ter: random bits, then data that makes the line repeat an 8-bit
    // pattern (the guard's case), then random again.
    FaxTxRecord tx{};
    tx.v27_history = random() & 0xFFF;
    FaxRxRecord rx{};
    rx.descrambler = random() & 0xFFF;
    const std::uint32_t pattern = random() & 0xFF;
    std::vector<int> data;
    int inverted = 0;
    for (std::size_t k = 0; k < 64 + 400 + 64; ++k) {
      int bit = static_cast<int>(random() & 1);
      if (k >= 64 && k < 464) {
        const std::uint32_t h = tx.v27_history;
        bit = static_cast<int>(((pattern >> (k % 8)) ^ (h >> 5) ^ (h >> 6)) & 1);
      }
      data.push_back(bit);
      inverted += static_cast<int>(tx.v27_carry);
      const int line = V27terScramble(tx, data[k]);
      const std::uint32_t out = V27terDescramble(rx, static_cast<std::uint32_t>(line), 1);
      if (k >= 64) {
        ASSERT_EQ(out, static_cast<std::uint32_t>(data[k])) << "bit " << k;
      }
    }
    EXPECT_GT(inverted, 0) << "the guard never acted";
  }
}

// The training references: V.29's C and D as the recommendation states
// them, V.17's A to D from 0x55D9BA and V.27ter's scrambled ones (the
// guard's seed read the other way) turning the phase by half turns, as
// the transmitter sends them.
TEST(FaxRxDescramblers, TrainingReferencesFollowTheRecommendationsAndTheTransmitter) {
  // V.29 9600: C = (3, 0), D = (-3, 3) (here 14 times), chosen by the
  // generator 1 + x^-6 + x^-7 whose seven stages hold 0101010 at the start
  // of the segment; each symbol takes stage 7's bit (0: C, 1: D) and
  // stages 6 and 7 added go into stage 1.
  FaxRxRecord v29{};
  v29.modulation = 0x10;
  const FaxPoint v29_training[4] = {{-42, 0}, {42, -42}, {42, 0}, {-42, 42}};
  v29.training_points = v29_training;
  v29.descrambler = kFaxV29TrainingSeed;
  std::array<int, 8> stage = {0, 0, 1, 0, 1, 0, 1, 0};  // stages 1 to 7 from index 1
  for (int k = 0; k < 384; ++k) {
    FaxTrainingReference(v29);
    const int bit = stage[7];
    const FaxPoint expected = bit == 0 ? FaxPoint{42, 0} : FaxPoint{-42, 42};
    ASSERT_EQ(v29.d_i, 64 * expected.i) << k;
    ASSERT_EQ(v29.d_q, 64 * expected.q) << k;
    const int feedback = stage[6] ^ stage[7];
    for (int j = 7; j > 1; --j) stage[static_cast<std::size_t>(j)] = stage[static_cast<std::size_t>(j - 1)];
    stage[1] = feedback;
  }
  // V.17: two scrambled ones per symbol.
  FaxRxRecord v17{};
  v17.modulation = 0x20;
  const FaxPoint v17_training[4] = {{-48, -16}, {16, -48}, {48, 16}, {-16, 48}};
  v17.training_points = v17_training;
  v17.descrambler = kFaxV17TrainingSeed;
  FaxTxRecord tx{};
  tx.scrambler = 0x55D9BA;
  const int kPoint[4] = {2, 1, 3, 0};
  for (int k = 0; k < 2976; ++k) {
    FaxTrainingReference(v17);
    ASSERT_EQ(v17.point, kPoint[FaxScramble(tx, 3, 2)]) << k;
  }
  // V.27ter at both rates: the first of each three scrambled ones turns by half a turn.
  for (const int bits : {3, 2}) {
    FaxRxRecord v27{};
    v27.bits = static_cast<std::uint8_t>(bits);
    v27.data_points = bits == 3 ? kV27ter4800.data() : kV27ter2400.data();
    v27.descrambler = kFaxV27terTrainingSeed;
    FaxTxRecord t{};
    t.v27_history = 188;
    int phase = 0;
    for (int k = 0; k < 1074; ++k) {
      FaxTrainingReference(v27);
      const int first = V27terScramble(t, 1);
      V27terScramble(t, 1);
      V27terScramble(t, 1);
      phase = (phase + first * (bits == 3 ? 4 : 2)) & (bits == 3 ? 7 : 3);
      ASSERT_EQ(v27.point, phase) << "bits " << bits << " symbol " << k;
    }
  }
}

}  // namespace
}  // namespace pump
