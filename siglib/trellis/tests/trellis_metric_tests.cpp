// The 2D and 4D subset metrics in every variant: nearest points found by
// brute force over the grid, the worked examples, the 4D pairs against the
// subset tables, and the refused ranges.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/trellis/tests/v34_code.h"

namespace trellis_test {
namespace {

using qvls_test::Rng;

// Grid points around a square, in steps from its lower-left corner.
constexpr std::array<std::array<std::int32_t, 2>, 12> kCodeOffsets = {{{0, 0},
                                                                       {1, 0},
                                                                       {1, 1},
                                                                       {0, 1},
                                                                       {0, 2},
                                                                       {1, 2},
                                                                       {1, -1},
                                                                       {2, 1},
                                                                       {2, 0},
                                                                       {-1, 0},
                                                                       {-1, 1},
                                                                       {0, -1}}};

// The grid line at or below v: the largest odd multiple of 128 not above v.
std::int64_t LineBelow(std::int64_t v) {
  std::int64_t m = (v - 128) / 256;
  if (128 + 256 * m > v) --m;
  return 128 + 256 * m;
}

// The metric of the grid point (px, py) for the received (x, y).
std::uint32_t MetricOf(std::int64_t x, std::int64_t y, std::int64_t px, std::int64_t py) {
  return static_cast<std::uint32_t>((((px - x) * (px - x)) >> 4) + (((py - y) * (py - y)) >> 4));
}

struct Metrics2DCall {
  std::uint32_t corner = kUntouched;
  std::array<std::uint32_t, 10> words;  // 8 words and two beyond
  qvls_status status;
};

class Trellis2D : public qvls_test::VariantTest {
 protected:
  Metrics2DCall Run(std::int16_t x, std::int16_t y, std::int32_t states) const {
    Metrics2DCall call;
    call.words.fill(kUntouched);
    const std::int16_t point[2] = {x, y};
    call.status = Call(qvls_variant_table.qvlsTrellisMetrics2D_i16, point, &call.corner,
                       call.words.data(), kLabels, states);
    return call;
  }
};

// Each written word names, by its code, a grid point of its subset with the
// smallest metric among that subset's points within two steps of the square;
// subsets that are not there keep their words untouched.
TEST_P(Trellis2D, NearestPointPerSubsetBruteForce) {
  Rng rng("Trellis2D.NearestPointPerSubsetBruteForce");
  std::vector<std::int16_t> coordinates = {-32768, -32767, 32767, 32766, 0,     -1,
                                           1,      127,    128,   129,   -128,  -129,
                                           255,    256,    257,   -256,  32640, -32640};
  for (int n = 0; n < 400; ++n) coordinates.push_back(rng.WithEdges<std::int16_t>());
  for (int n = 0; n < 100; ++n) {
    const std::int64_t m = rng.Range(-128, 127);
    coordinates.push_back(static_cast<std::int16_t>(128 + 256 * m));  // a grid line
    coordinates.push_back(static_cast<std::int16_t>(256 * m));        // a square's centre
  }
  for (std::int32_t states : {16, 32, 64}) {
    const std::int32_t subsets = states == 16 ? 4 : 8;
    for (std::size_t n = 0; n < coordinates.size(); ++n) {
      const std::int16_t x = coordinates[n];
      const std::int16_t y = coordinates[(n * 7 + 3) % coordinates.size()];
      SCOPED_TRACE(testing::Message() << "states " << states << " point " << x << ", " << y);
      const Metrics2DCall call = Run(x, y, states);
      ASSERT_EQ(call.status, QVLS_OK);
      const std::int64_t gx = LineBelow(x);
      const std::int64_t gy = LineBelow(y);
      EXPECT_EQ(call.corner,
                (static_cast<std::uint32_t>(gx) & 0xFFFF) | (static_cast<std::uint32_t>(gy) << 16));
      // The nearest point of every subset among the neighbouring grid points.
      std::array<std::uint32_t, 8> best;
      best.fill(std::numeric_limits<std::uint32_t>::max());
      for (std::int64_t dx = -2; dx <= 3; ++dx) {
        for (std::int64_t dy = -2; dy <= 3; ++dy) {
          const std::int64_t px = gx + 256 * dx;
          const std::int64_t py = gy + 256 * dy;
          const std::int32_t label = LabelOf(px, py) & (subsets - 1);
          best[label] = std::min(best[label], MetricOf(x, y, px, py));
        }
      }
      for (std::int32_t label = 0; label < subsets; ++label) {
        const std::uint32_t word = call.words[label];
        const std::uint32_t code = word >> 16;
        ASSERT_LT(code, 12u) << "word " << label;
        const std::int64_t px = gx + 256 * kCodeOffsets[code][0];
        const std::int64_t py = gy + 256 * kCodeOffsets[code][1];
        EXPECT_EQ(LabelOf(px, py) & (subsets - 1), label) << "code " << code;
        EXPECT_EQ(word & 0xFFFF, MetricOf(x, y, px, py)) << "code " << code;
        EXPECT_EQ(word & 0xFFFF, best[label]) << "subset " << label << " code " << code;
      }
      for (std::size_t w = subsets; w < call.words.size(); ++w) {
        EXPECT_EQ(call.words[w], kUntouched) << "word " << w;
      }
    }
  }
}

// The worked examples: a point on a grid point, one in the middle of its
// square, the ties between the two candidates of a pair, the corner of the
// lowest coordinate; and any state count but 16 meaning 8 subsets.
TEST_P(Trellis2D, SpecExamples) {
  struct Expected {
    std::int32_t code;
    std::uint32_t metric;
  };
  struct Case {
    std::int16_t x, y;
    std::int32_t states;
    std::uint32_t corner;
    std::vector<Expected> words;  // in any order; each at its point's label
  };
  const Case cases[] = {
      {128, 128, 16, 0x00800080u, {{0, 0}, {1, 4096}, {2, 8192}, {3, 4096}}},
      {256, 256, 16, 0x00800080u, {{0, 2048}, {1, 2048}, {2, 2048}, {3, 2048}}},
      {128,
       128,
       64,
       0x00800080u,
       {{0, 0}, {1, 4096}, {2, 8192}, {3, 4096}, {8, 16384}, {9, 4096}, {10, 8192}, {11, 4096}}},
      {-32768, 128, 16, 0x00807F80u, {{0, 1024}, {1, 1024}, {2, 5120}, {3, 5120}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y << " states " << c.states);
    const Metrics2DCall call = Run(c.x, c.y, c.states);
    ASSERT_EQ(call.status, QVLS_OK);
    EXPECT_EQ(call.corner, c.corner);
    const std::int64_t gx = LineBelow(c.x);
    const std::int64_t gy = LineBelow(c.y);
    for (const Expected& e : c.words) {
      const std::int32_t label =
          LabelOf(gx + 256 * kCodeOffsets[e.code][0], gy + 256 * kCodeOffsets[e.code][1]) &
          (c.states == 16 ? 3 : 7);
      EXPECT_EQ(call.words[label], e.metric | (static_cast<std::uint32_t>(e.code) << 16))
          << "code " << e.code;
    }
  }
  // Any count other than 16 selects 8 subsets, written within the 8 words.
  const Metrics2DCall reference = Run(300, -700, 64);
  for (std::int32_t states : {0, -16, 1, 17, 32, 1000, std::numeric_limits<std::int32_t>::min()}) {
    const Metrics2DCall call = Run(300, -700, states);
    EXPECT_EQ(call.status, QVLS_OK);
    EXPECT_EQ(call.words, reference.words) << "states " << states;
  }
}

QVLS_INSTANTIATE_VARIANTS(Trellis2D);

// ---- 4D ------------------------------------------------------------------------------

class Trellis4D : public qvls_test::VariantTest {
 protected:
  qvls_status Run(const std::array<std::uint32_t, 16>& in, std::array<std::uint32_t, 34>& out,
                  std::int32_t states, std::int32_t mask) const {
    out.fill(kUntouched);
    return Call(qvls_variant_table.qvlsTrellisMetrics4D_u16, in.data(), out.data(), states, mask);
  }
};

// The output word of one candidate pair (J of the first point, K of the second).
struct Scored {
  std::uint32_t sum;
  std::uint32_t word;
};
Scored ScoreOf(const std::array<std::uint32_t, 16>& in, std::int32_t j, std::int32_t k) {
  const std::uint32_t a = in[j];
  const std::uint32_t b = in[8 + k];
  const std::uint32_t sum = (a & 0xFFFF) + (b & 0xFFFF);
  return {sum, (sum << 16) | ((a >> 16) & 0xFF) | (((b >> 16) & 0xFF) << 8)};
}

// The candidates of output word i in the order they are tried: base pairs
// from c = i XOR mask (32 states: c and c XOR 8 with c = (i XOR mask) +
// 2 (i AND 8), the pairs of c XOR 8 first); each pair is followed by its
// partner two subsets on (16 states) or four (32 and 64 states).
std::vector<std::array<std::int32_t, 2>> Candidates(std::int32_t states, std::int32_t mask,
                                                    std::int32_t i) {
  auto base = [](std::int32_t c) {
    return std::array<std::int32_t, 2>{c >> 2, (c + (c >> 2)) % 4};
  };
  auto with_partner = [&](std::array<std::int32_t, 2> p) {
    if (states == 16) {
      return std::vector<std::array<std::int32_t, 2>>{p, {(p[0] + 2) % 4, (p[1] + 2) % 4}};
    }
    return std::vector<std::array<std::int32_t, 2>>{p, {(p[0] + 4) % 8, p[1] + 4}};
  };
  if (states != 32) return with_partner(base(i ^ mask));
  const std::int32_t c = (i ^ mask) + 2 * (i & 8);
  auto all = with_partner(base(c ^ 8));
  for (const auto& p : with_partner(base(c))) all.push_back(p);
  return all;
}

std::array<std::uint32_t, 16> RandomWords(Rng& rng, std::uint32_t max_metric) {
  std::array<std::uint32_t, 16> in;
  for (auto& w : in) {
    w = static_cast<std::uint32_t>(rng.Range(0, max_metric)) |
        (static_cast<std::uint32_t>(rng.Range(0, 0xFFFF)) << 16);
  }
  return in;
}

TEST_P(Trellis4D, MatchesDefinition) {
  Rng rng("Trellis4D.MatchesDefinition");
  for (std::int32_t states : {16, 32, 64}) {
    const std::int32_t outputs = states / 2;
    for (std::int32_t mask : {0, 1, 5, outputs / 2, outputs - 1}) {
      for (int round = 0; round < 200; ++round) {
        // Small metrics make equal sums, where the order of the candidates shows.
        const std::array<std::uint32_t, 16> in = RandomWords(rng, round % 4 == 0 ? 3 : 16384);
        std::array<std::uint32_t, 34> out;
        ASSERT_EQ(Run(in, out, states, mask), QVLS_OK);
        for (std::int32_t i = 0; i < outputs; ++i) {
          const auto candidates = Candidates(states, mask, i);
          Scored best = ScoreOf(in, candidates[0][0], candidates[0][1]);
          for (std::size_t n = 1; n < candidates.size(); ++n) {
            const Scored next = ScoreOf(in, candidates[n][0], candidates[n][1]);
            if (next.sum < best.sum) best = next;
          }
          ASSERT_EQ(out[i], best.word)
              << "states " << states << " mask " << mask << " word " << i << " round " << round;
        }
        for (std::size_t w = outputs; w < out.size(); ++w) ASSERT_EQ(out[w], kUntouched);
      }
    }
  }
}

// With mask 0, output word s is V.34's 4D subset s: a pair of labels found
// alone at metric 0 shows up at zero sum in its subset's word and in no other.
TEST_P(Trellis4D, WordsAreTheV34Subsets) {
  for (std::int32_t states : {16, 32, 64}) {
    const std::int32_t labels = states == 16 ? 4 : 8;
    for (std::int32_t a = 0; a < labels; ++a) {
      for (std::int32_t b = 0; b < labels; ++b) {
        std::array<std::uint32_t, 16> in;
        for (std::int32_t w = 0; w < 16; ++w) in[w] = 5000 | (static_cast<std::uint32_t>(w) << 16);
        in[a] = static_cast<std::uint32_t>(a) << 16;
        in[8 + b] = static_cast<std::uint32_t>(8 + b) << 16;
        std::array<std::uint32_t, 34> out;
        ASSERT_EQ(Run(in, out, states, 0), QVLS_OK);
        const std::int32_t subset = Subset4D(states, a, b);
        for (std::int32_t i = 0; i < states / 2; ++i) {
          if (i == subset) {
            EXPECT_EQ(out[i], static_cast<std::uint32_t>(a | (8 + b) << 8))
                << "states " << states << " labels " << a << ", " << b;
          } else {
            EXPECT_NE(out[i] >> 16, 0u)
                << "states " << states << " labels " << a << ", " << b << " in word " << i;
          }
        }
      }
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(Trellis4D);

// ---- refused arguments ----------------------------------------------------------------

class Trellis : public qvls_test::VariantTest {};

TEST_P(Trellis, RangesRejected) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  std::array<std::uint32_t, 16> in{};
  std::array<std::uint32_t, 40> out;
  out.fill(kUntouched);
  const auto untouched = out;
  const auto& t = qvls_variant_table;

  // 4D: null pointers first, then the state count, then the mask.
  EXPECT_EQ(Call(t.qvlsTrellisMetrics4D_u16, nullptr, out.data(), 16, 0), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(Call(t.qvlsTrellisMetrics4D_u16, in.data(), nullptr, 7, -1), QVLS_ERR_NULL_POINTER);
  for (std::int32_t states : {0, -16, 1, 15, 17, 31, 48, 63, 65, 128, kMin, kMax}) {
    EXPECT_EQ(Call(t.qvlsTrellisMetrics4D_u16, in.data(), out.data(), states, 0), QVLS_ERR_BAD_ARG)
        << "states " << states;
  }
  for (std::int32_t states : {16, 32, 64}) {
    for (std::int32_t mask : {-1, states / 2, states / 2 + 1, 64, kMin, kMax}) {
      EXPECT_EQ(Call(t.qvlsTrellisMetrics4D_u16, in.data(), out.data(), states, mask),
                QVLS_ERR_BAD_ARG)
          << "states " << states << " mask " << mask;
    }
  }
  EXPECT_EQ(out, untouched);

  // 2D: every pointer checked.
  const std::int16_t point[2] = {100, 100};
  std::uint32_t corner = kUntouched;
  EXPECT_EQ(Call(t.qvlsTrellisMetrics2D_i16, nullptr, &corner, out.data(), kLabels, 16),
            QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(Call(t.qvlsTrellisMetrics2D_i16, point, nullptr, out.data(), kLabels, 16),
            QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(Call(t.qvlsTrellisMetrics2D_i16, point, &corner, nullptr, kLabels, 16),
            QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(Call(t.qvlsTrellisMetrics2D_i16, point, &corner, out.data(), nullptr, 16),
            QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(corner, kUntouched);
  EXPECT_EQ(out, untouched);

  // Add-compare-select: null pointers, then S <= 0 does nothing, then a count
  // other than 16, 32, 64 is refused; nothing is written.
  std::array<std::uint16_t, 64> old_metrics{};
  std::array<std::uint16_t, 70> new_metrics;
  new_metrics.fill(0xFFFF);
  const auto new_untouched = new_metrics;
  std::vector<std::uint8_t> next(64 * 16, 1);
  std::uint16_t* o = old_metrics.data();
  std::uint8_t* x = next.data();
  std::uint16_t* m = new_metrics.data();
  std::uint32_t* s = out.data();
  auto acs = [&](const std::uint16_t* a, const std::uint8_t* b, std::uint16_t* c,
                 const std::uint32_t* d, std::uint32_t* e, std::int32_t states) {
    return Call(t.qvlsTrellisACS_u16, a, b, c, d, e, states, 0);
  };
  EXPECT_EQ(acs(nullptr, x, m, in.data(), s, 16), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(acs(o, nullptr, m, in.data(), s, 16), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(acs(o, x, nullptr, in.data(), s, 16), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(acs(o, x, m, nullptr, s, 16), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(acs(o, x, m, in.data(), nullptr, -3), QVLS_ERR_NULL_POINTER);
  for (std::int32_t states : {0, -1, -64, kMin}) {
    EXPECT_EQ(acs(o, x, m, in.data(), s, states), QVLS_OK) << "states " << states;
  }
  for (std::int32_t states : {1, 8, 15, 17, 31, 33, 63, 65, 128, kMax}) {
    EXPECT_EQ(acs(o, x, m, in.data(), s, states), QVLS_ERR_BAD_ARG) << "states " << states;
  }
  EXPECT_EQ(new_metrics, new_untouched);
  EXPECT_EQ(out, untouched);
}

QVLS_INSTANTIATE_VARIANTS(Trellis);

}  // namespace
}  // namespace trellis_test
