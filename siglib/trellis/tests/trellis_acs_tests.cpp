// Add-compare-select in every variant against a model that picks each
// target's survivor on its own: the smallest candidate among all branches
// into it, the lowest source state and then the lowest branch on equal
// metrics.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/trellis/tests/v34_code.h"

namespace trellis_test {
namespace {

using qvls_test::Rng;

struct Step {
  std::vector<std::uint16_t> old_metrics;
  std::vector<std::uint8_t> next;
  std::vector<std::uint32_t> metrics4d;
};

struct Result {
  std::vector<std::uint16_t> new_metrics;
  std::vector<std::uint32_t> survivors;
};

// Survivor rows 0..3; the step writes row 2.
constexpr std::int32_t kRows = 4;
constexpr std::int32_t kRow = 2;

Result Model(const Step& step, std::int32_t states) {
  const std::int32_t branches = Branches(states);
  Result r{std::vector<std::uint16_t>(states, 0xFFFF),
           std::vector<std::uint32_t>(kRows * states, kUntouched)};
  for (std::int32_t t = 0; t < states; ++t) {
    std::uint32_t best = 0xFFFF;
    for (std::int32_t i = 0; i < states; ++i) {
      for (std::int32_t k = 0; k < branches; ++k) {
        if (step.next[i * branches + k] != t) continue;
        const std::uint32_t word = step.metrics4d[2 * k + (i & 1)];
        const std::uint32_t candidate = step.old_metrics[i] + (word >> 16);
        if (candidate < best) {
          best = candidate;
          r.new_metrics[t] = static_cast<std::uint16_t>(candidate);
          r.survivors[kRow * states + t] = (word & 0xFFFF) | (static_cast<std::uint32_t>(i) << 16);
        }
      }
    }
  }
  return r;
}

// Normalised old metrics (the smallest is 0) and branch metrics whose sums
// stay below 65535, drawn from [0, range].
Step RandomStep(Rng& rng, std::int32_t states, std::vector<std::uint8_t> next,
                std::uint32_t range) {
  Step step{std::vector<std::uint16_t>(states), std::move(next),
            std::vector<std::uint32_t>(states / 2)};
  for (auto& m : step.old_metrics) m = static_cast<std::uint16_t>(rng.Range(0, range));
  step.old_metrics[rng.Range(0, states - 1)] = 0;
  for (auto& w : step.metrics4d) {
    w = static_cast<std::uint32_t>(rng.Range(0, 0xFFFF)) |
        (static_cast<std::uint32_t>(rng.Range(0, range)) << 16);
  }
  return step;
}

class TrellisACS : public qvls_test::VariantTest {
 protected:
  Result Run(const Step& step, std::int32_t states) const {
    Result r{std::vector<std::uint16_t>(states, 0xFFFF),
             std::vector<std::uint32_t>(kRows * states, kUntouched)};
    EXPECT_EQ(Call(qvls_variant_table.qvlsTrellisACS_u16, step.old_metrics.data(), step.next.data(),
                   r.new_metrics.data(), step.metrics4d.data(), r.survivors.data(), states,
                   kRow * states),
              QVLS_OK);
    return r;
  }

  void ExpectModel(const Step& step, std::int32_t states, const char* what) const {
    const Result expected = Model(step, states);
    const Result got = Run(step, states);
    EXPECT_EQ(got.new_metrics, expected.new_metrics) << what << ", " << states << " states";
    EXPECT_EQ(got.survivors, expected.survivors) << what << ", " << states << " states";
  }
};

TEST_P(TrellisACS, MatchesScalarWithinBounds) {
  Rng rng("TrellisACS.MatchesScalarWithinBounds");
  // The 32-state code's source states 0..3 reach every state once, along the
  // connections the seeded kernel writes without comparing.
  const std::vector<std::uint8_t> table32 = NextStateTable(32);
  const std::uint8_t kSeeded[8] = {0, 4, 9, 13, 2, 6, 11, 15};
  for (std::int32_t s = 0; s < 4; ++s) {
    for (std::int32_t k = 0; k < 8; ++k) {
      ASSERT_EQ(table32[8 * s + k], (kSeeded[k] ^ (s >> 1)) + 16 * (s & 1));
    }
  }

  for (std::int32_t states : {16, 32, 64}) {
    for (int round = 0; round < 300; ++round) {
      // Tiny ranges make many equal candidates.
      const std::uint32_t range = round % 3 == 0 ? 2 : 32767;
      ExpectModel(RandomStep(rng, states, NextStateTable(states), range), states, "V.34 table");
    }
  }

  // Tables that differ from the fixed connections: the general loop's result.
  for (int round = 0; round < 100; ++round) {
    std::vector<std::uint8_t> swapped = table32;
    const std::int32_t row = static_cast<std::int32_t>(rng.Range(0, 3));
    std::swap(swapped[8 * row + rng.Range(0, 3)], swapped[8 * row + 4 + rng.Range(0, 3)]);
    ExpectModel(RandomStep(rng, 32, swapped, round % 2 ? 3 : 32767), 32, "swapped branches");

    std::vector<std::uint8_t> foreign(32 * 8);
    for (auto& t : foreign) t = static_cast<std::uint8_t>(rng.Range(0, 31));
    ExpectModel(RandomStep(rng, 32, foreign, 32767), 32, "random targets");
  }
}

QVLS_INSTANTIATE_VARIANTS(TrellisACS);

}  // namespace
}  // namespace trellis_test
