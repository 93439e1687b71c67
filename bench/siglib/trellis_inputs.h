// Inputs of the trellis benchmarks and of the V.34 workload model: the 2D
// labelling and next-state table of a V.34-structured code, random received
// points near the grid, path metrics, and one decoder step (two 2D calls,
// the 4D call, add-compare-select and the caller's normalisation) through
// one variant's entries.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <vector>

#include "siglib/frame/slots.h"
#include "siglib/trellis/tests/v34_code.h"

namespace qvls_bench {

class TrellisInputs {
 public:
  static constexpr std::size_t kPoints = 64;

  explicit TrellisInputs(std::int32_t states)
      : states(states),
        next(trellis_test::NextStateTable(states)),
        old_metrics(states),
        new_metrics(states, 0xFFFF),
        survivors(states) {
    std::mt19937 engine(16);
    std::uniform_int_distribution<int> column(-8, 7), noise(-90, 90), metric(0, 20000);
    for (auto& p : points_) {
      p = {static_cast<std::int16_t>(128 + 256 * column(engine) + noise(engine)),
           static_cast<std::int16_t>(128 + 256 * column(engine) + noise(engine))};
    }
    for (auto& m : old_metrics) m = static_cast<std::uint16_t>(metric(engine));
    old_metrics[0] = 0;
  }

  const std::int16_t* Point(std::size_t k) const { return points_[k % kPoints].data(); }

  // The 16 words of the 2D metrics of points k and k + 1, for every k.
  std::vector<std::array<std::uint32_t, 16>> Words2D(std::int32_t column) const {
    auto* metrics2d = qvls_variant_table.qvlsTrellisMetrics2D_i16.entry[column];
    std::vector<std::array<std::uint32_t, 16>> words(kPoints);
    std::uint32_t corner = 0;
    for (std::size_t k = 0; k < kPoints; ++k) {
      metrics2d(Point(k), &corner, words[k].data(), labels, states);
      metrics2d(Point(k + 1), &corner, words[k].data() + 8, labels, states);
    }
    return words;
  }

  // The 4D metrics of points k and k + 1, for every k.
  std::vector<std::array<std::uint32_t, 32>> Metrics4D() const {
    const auto words = Words2D(QVLS_VARIANT_PX);
    std::vector<std::array<std::uint32_t, 32>> metrics(kPoints);
    for (std::size_t k = 0; k < kPoints; ++k) {
      qvls_variant_table.qvlsTrellisMetrics4D_u16.entry[QVLS_VARIANT_PX](
          words[k].data(), metrics[k].data(), states, 0);
    }
    return metrics;
  }

  // One decoder step on points k and k + 1 through the entries of `column`.
  void Step(std::int32_t column, std::size_t k) {
    const auto& t = qvls_variant_table;
    std::array<std::uint32_t, 16> words;
    std::array<std::uint32_t, 32> metrics4d;
    std::uint32_t corners[2];
    t.qvlsTrellisMetrics2D_i16.entry[column](Point(k), &corners[0], words.data(), labels, states);
    t.qvlsTrellisMetrics2D_i16.entry[column](Point(k + 1), &corners[1], words.data() + 8, labels,
                                             states);
    t.qvlsTrellisMetrics4D_u16.entry[column](words.data(), metrics4d.data(), states, 0);
    t.qvlsTrellisACS_u16.entry[column](old_metrics.data(), next.data(), new_metrics.data(),
                                       metrics4d.data(), survivors.data(), states, 0);
    const std::uint16_t smallest = *std::min_element(new_metrics.begin(), new_metrics.end());
    for (std::int32_t s = 0; s < states; ++s) {
      old_metrics[s] = static_cast<std::uint16_t>(new_metrics[s] - smallest);
      new_metrics[s] = 0xFFFF;
    }
  }

  const std::int32_t states;
  const std::uint8_t* const labels = trellis_test::kLabels;
  const std::vector<std::uint8_t> next;
  std::vector<std::uint16_t> old_metrics;
  std::vector<std::uint16_t> new_metrics;
  std::vector<std::uint32_t> survivors;

 private:
  std::array<std::array<std::int16_t, 2>, kPoints> points_;
};

}  // namespace qvls_bench
