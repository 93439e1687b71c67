// Slicers and the Viterbi decoder.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "pump/v32/slicer.h"
#include "pump/v32/tests/reference.h"
#include "pump/v32/viterbi.h"

namespace pump::v32 {
namespace {

constexpr DataRate kTrellisRates[] = {DataRate::k7200, DataRate::k9600Trellis, DataRate::k12000,
                                      DataRate::k14400};

std::int64_t MinimumDistance(DataRate rate) {
  std::int64_t best = INT64_MAX;
  for (unsigned a = 0; a < SetSize(rate); ++a) {
    for (unsigned b = a + 1; b < SetSize(rate); ++b) best = std::min(best, SquaredDistance(PointOf(rate, a), PointOf(rate, b)));
  }
  return best;
}

TEST(V32Trellis, EveryPointPerturbedWithinItsRegionIsDecidedBackInItsSetAndSubset) {
  std::mt19937 random(4);
  for (const DataRate rate : kAllRates) {
    const double reach = std::sqrt(static_cast<double>(MinimumDistance(rate))) / 2 - 2;
    std::uniform_real_distribution<double> angle(0, 6.283185307179586);
    std::uniform_real_distribution<double> radius(0, reach);
    for (unsigned label = 0; label < SetSize(rate); ++label) {
      for (int trial = 0; trial < 8; ++trial) {
        const double a = angle(random);
        const double r = radius(random);
        const Point p = PointOf(rate, label);
        const Point received{p.i + static_cast<int>(r * std::cos(a)), p.q + static_cast<int>(r * std::sin(a))};
        EXPECT_EQ(NearestPoint(rate, received).index, label) << "bits " << ModeOf(rate).bits;
        if (ModeOf(rate).trellis) {
          EXPECT_EQ(SubsetCandidates(rate, received)[label & 7].index, label);
        }
      }
    }
  }
}

// At 7200 bit/s each subset holds two points, told apart by the line that
// bisects them (limits in a quarter of the transmitter's scale).
TEST(V32Trellis, At7200EachSubsetIsSplitByItsLine) {
  struct Line {
    int a, b, limit;  // a I + b Q against the limit
    bool at_most;     // the first point when a I + b Q <= limit, else when >=
    unsigned first, second;
  };
  const Line lines[8] = {{1, -1, 1024, false, 0, 8}, {1, -1, 0, false, 9, 1}, {1, 1, 0, true, 10, 2},
                         {1, 1, -1024, true, 3, 11}, {-1, 1, 1024, true, 12, 4}, {-1, 1, 0, true, 5, 13},
                         {1, 1, 0, true, 6, 14},     {1, 1, 1024, true, 15, 7}};
  std::mt19937 random(8);
  std::uniform_int_distribution<int> coordinate(-9000, 9000);
  for (int trial = 0; trial < 3000; ++trial) {
    const Point y{coordinate(random), coordinate(random)};
    const auto candidates = SubsetCandidates(DataRate::k7200, y);
    for (unsigned subset = 0; subset < 8; ++subset) {
      const Line& l = lines[subset];
      const int v = l.a * y.i + l.b * y.q;
      const int limit = 4 * l.limit;
      if (v == limit) continue;  // on the line both are as near
      const bool holds = l.at_most ? v <= limit : v >= limit;
      EXPECT_EQ(candidates[subset].index, holds ? l.first : l.second) << "subset " << subset;
    }
  }
}

unsigned LabelOf(DataRate rate, reference::PointD p) {
  for (unsigned k = 0; k < SetSize(rate); ++k) {
    if (PointOf(rate, k) == Point{static_cast<int>(p.i), static_cast<int>(p.q)}) return k;
  }
  return SetSize(rate);
}

struct Decoded {
  int viterbi_errors = 0;
  int slicer_errors = 0;
  int compared = 0;
  int first_output = -1;  // symbol at which the first decision came
};

Decoded DecodeWithNoise(DataRate rate, double sigma, int symbols, unsigned seed) {
  std::mt19937 random(seed);
  std::normal_distribution<double> noise(0, sigma);
  reference::Encoder encoder(rate);
  Viterbi v;
  ResetViterbi(v);
  std::vector<unsigned> labels;
  Decoded d;
  for (int n = 0; n < symbols; ++n) {
    const reference::PointD p = encoder.Encode(random() & ((1u << ModeOf(rate).bits) - 1));
    labels.push_back(LabelOf(rate, p));
    const Point y{static_cast<int>(std::lround(p.i + noise(random))), static_cast<int>(std::lround(p.q + noise(random)))};
    d.slicer_errors += NearestPoint(rate, y).index != labels.back();
    if (const auto decided = ViterbiStep(v, SubsetCandidates(rate, y))) {
      if (d.first_output < 0) d.first_output = n;
      d.viterbi_errors += *decided != labels[n - kDecisionDelay];
      ++d.compared;
    }
  }
  return d;
}

TEST(V32Trellis, ViterbiDecidesFifteenSymbolsLateAndBeatsTheSlicer) {
  for (const DataRate rate : kTrellisRates) {
    SCOPED_TRACE(testing::Message() << "bits " << ModeOf(rate).bits);
    const Decoded clean = DecodeWithNoise(rate, 0.0, 300, 1);
    EXPECT_EQ(clean.first_output, kDecisionDelay);
    EXPECT_EQ(clean.viterbi_errors, 0);
    // Noise at which the slicer errs on a few percent of the symbols.
    const double sigma = std::sqrt(static_cast<double>(MinimumDistance(rate))) / 2 / 2.2;
    const Decoded noisy = DecodeWithNoise(rate, sigma, 6000, 2);
    EXPECT_GT(noisy.slicer_errors, 30);
    EXPECT_LT(noisy.viterbi_errors * 4, noisy.slicer_errors) << "slicer " << noisy.slicer_errors;
  }
}

}  // namespace
}  // namespace pump::v32
