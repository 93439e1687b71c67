// A Viterbi decoder built on the three operations decodes V.34 trellis-coded
// points sent through Gaussian noise: without error at high SNR, and with
// the same decisions in every variant at moderate SNR.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/trellis/tests/v34_code.h"

namespace trellis_test {
namespace {

using qvls_test::Rng;

constexpr std::int32_t kSymbols = 400;  // 4D symbols per message

struct Point {
  std::int32_t x;
  std::int32_t y;
  bool operator==(const Point&) const = default;
};

struct Symbol {
  std::int32_t branch;  // the input bits
  Point first, second;
  bool operator==(const Symbol&) const = default;
};

// A random message from state 0: per 4D symbol a random branch, a random
// pair of labels of its 4D subset and random grid points with those labels
// (columns and rows -8..7, so coordinates within +-1920).
std::vector<Symbol> Encode(std::int32_t states, Rng& rng) {
  const Code code = CodeOf(states);
  std::vector<Symbol> message;
  std::int32_t state = 0;
  const std::int32_t mask = states == 16 ? 3 : 7;  // 16 states: the 2D subsets are labels mod 4
  auto point_with_label = [&](std::int32_t label) {
    for (;;) {
      const Point p{static_cast<std::int32_t>(128 + 256 * rng.Range(-8, 7)),
                    static_cast<std::int32_t>(128 + 256 * rng.Range(-8, 7))};
      if ((LabelOf(p.x, p.y) & mask) == label) return p;
    }
  };
  for (std::int32_t n = 0; n < kSymbols; ++n) {
    const std::int32_t branch = static_cast<std::int32_t>(rng.Range(0, Branches(states) - 1));
    const std::vector<LabelPair> pairs = PairsOf(states, 2 * branch + (state & 1));
    const LabelPair pair = pairs[rng.Range(0, static_cast<std::int64_t>(pairs.size()) - 1)];
    message.push_back(
        {branch, point_with_label(pair.first & mask), point_with_label(pair.second & mask)});
    state = NextState(code, state, branch);
  }
  return message;
}

// Gaussian noise of deviation sigma, Box-Muller on the seeded generator.
std::int16_t Noisy(std::int32_t v, double sigma, Rng& rng) {
  const double u1 = (static_cast<double>(rng.Range(1, 1 << 30))) / (1 << 30);
  const double u2 = (static_cast<double>(rng.Range(0, (1 << 30) - 1))) / (1 << 30);
  const double g = std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  return static_cast<std::int16_t>(std::lround(v + sigma * g));
}

struct Received {
  std::int16_t first[2];
  std::int16_t second[2];
};

std::vector<Received> Channel(const std::vector<Symbol>& message, double sigma, Rng& rng) {
  std::vector<Received> out;
  for (const Symbol& s : message) {
    out.push_back({{Noisy(s.first.x, sigma, rng), Noisy(s.first.y, sigma, rng)},
                   {Noisy(s.second.x, sigma, rng), Noisy(s.second.y, sigma, rng)}});
  }
  return out;
}

constexpr std::int32_t kOffsets[12][2] = {{0, 0},  {1, 0}, {1, 1}, {0, 1},  {0, 2},  {1, 2},
                                          {1, -1}, {2, 1}, {2, 0}, {-1, 0}, {-1, 1}, {0, -1}};

// The decisions of the decoder: per 4D symbol the branch and the two points.
struct Decisions {
  std::vector<Symbol> symbols;
  bool within_bounds = true;  // old metric + branch metric stayed below 65535
};

// The decoder: per 4D symbol the 2D metrics of both points into one array
// of 16 words, the 4D metrics, one add-compare-select step into this
// symbol's survivor row, then the normalisation; at the end one traceback
// from the best state over the whole message.
Decisions Decode(std::int32_t column, const std::vector<Received>& received, std::int32_t states) {
  const auto& t = qvls_variant_table;
  auto Call = [column](const auto& record, auto&&... args) {
    return qvls_test::CallKeepingFpSettings(record.entry[column], args...);
  };
  const std::vector<std::uint8_t> next = NextStateTable(states);
  const std::int32_t branches = Branches(states);
  std::vector<std::uint16_t> old_metrics(states, 0x2000), new_metrics(states, 0xFFFF);
  old_metrics[0] = 0;  // the encoder starts in state 0
  std::vector<std::uint32_t> survivors(received.size() * states);
  std::vector<std::uint32_t> corners(2 * received.size());
  Decisions d;
  for (std::size_t n = 0; n < received.size(); ++n) {
    std::uint32_t words[16];
    std::uint32_t metrics4d[32];
    EXPECT_EQ(Call(t.qvlsTrellisMetrics2D_i16, received[n].first, &corners[2 * n], words, kLabels,
                   states),
              QVLS_OK);
    EXPECT_EQ(Call(t.qvlsTrellisMetrics2D_i16, received[n].second, &corners[2 * n + 1], words + 8,
                   kLabels, states),
              QVLS_OK);
    EXPECT_EQ(Call(t.qvlsTrellisMetrics4D_u16, words, metrics4d, states, 0), QVLS_OK);
    const std::uint32_t largest_old = *std::max_element(old_metrics.begin(), old_metrics.end());
    for (std::int32_t r = 0; r < states / 2; ++r) {
      if (largest_old + (metrics4d[r] >> 16) >= 65535) d.within_bounds = false;
    }
    EXPECT_EQ(Call(t.qvlsTrellisACS_u16, old_metrics.data(), next.data(), new_metrics.data(),
                   metrics4d, survivors.data(), states, static_cast<std::int32_t>(n * states)),
              QVLS_OK);
    const std::uint16_t smallest = *std::min_element(new_metrics.begin(), new_metrics.end());
    for (std::int32_t s = 0; s < states; ++s) {
      old_metrics[s] = static_cast<std::uint16_t>(new_metrics[s] - smallest);
      new_metrics[s] = 0xFFFF;
    }
  }
  std::int32_t state = static_cast<std::int32_t>(
      std::min_element(old_metrics.begin(), old_metrics.end()) - old_metrics.begin());
  d.symbols.resize(received.size());
  for (std::size_t n = received.size(); n-- > 0;) {
    const std::uint32_t word = survivors[n * states + state];
    const std::int32_t source = static_cast<std::int32_t>(word >> 16);
    auto decided = [&](std::uint32_t corner, std::uint32_t code) {
      return Point{static_cast<std::int16_t>(corner & 0xFFFF) + 256 * kOffsets[code][0],
                   static_cast<std::int16_t>(corner >> 16) + 256 * kOffsets[code][1]};
    };
    Symbol& s = d.symbols[n];
    s.first = decided(corners[2 * n], word & 0xFF);
    s.second = decided(corners[2 * n + 1], (word >> 8) & 0xFF);
    s.branch = -1;
    for (std::int32_t k = 0; k < branches; ++k) {
      if (next[source * branches + k] == state) s.branch = k;
    }
    state = source;
  }
  EXPECT_EQ(state, 0) << "the path starts where the encoder did";
  return d;
}

std::int32_t SymbolErrors(const std::vector<Symbol>& sent, const Decisions& d) {
  std::int32_t errors = 0;
  for (std::size_t n = 0; n < sent.size(); ++n) {
    errors += !(sent[n] == d.symbols[n]);
  }
  return errors;
}

class TrellisViterbi : public qvls_test::VariantTest {};

TEST_P(TrellisViterbi, DecodesV34CodedData) {
  for (std::int32_t states : {16, 32, 64}) {
    SCOPED_TRACE(testing::Message() << states << " states");
    Rng rng(qvls_test::SeedFor("TrellisViterbi.DecodesV34CodedData") + states);
    const std::vector<Symbol> message = Encode(states, rng);

    // High SNR: noise of a tenth of a grid step, every symbol right.
    const Decisions clean = Decode(variant(), Channel(message, 25.6, rng), states);
    EXPECT_TRUE(clean.within_bounds);
    EXPECT_EQ(SymbolErrors(message, clean), 0);

    // Moderate SNR: noise of a quarter step. Many single points fall nearer
    // a wrong grid point, yet the code corrects nearly all of them, and
    // every variant decides exactly as px does.
    const std::vector<Received> received = Channel(message, 64.0, rng);
    std::int32_t wrong_points = 0;
    for (std::size_t n = 0; n < message.size(); ++n) {
      for (const auto& [sent, got] : {std::pair{message[n].first, received[n].first},
                                      std::pair{message[n].second, received[n].second}}) {
        wrong_points += std::abs(got[0] - sent.x) > 128 || std::abs(got[1] - sent.y) > 128;
      }
    }
    const Decisions noisy = Decode(variant(), received, states);
    EXPECT_TRUE(noisy.within_bounds);
    EXPECT_GT(wrong_points, 20);
    EXPECT_LT(SymbolErrors(message, noisy), wrong_points / 4);
    EXPECT_TRUE(noisy.symbols == Decode(qvls_test::px, received, states).symbols)
        << "differs from px";
  }
}

QVLS_INSTANTIATE_VARIANTS(TrellisViterbi);

}  // namespace
}  // namespace trellis_test
