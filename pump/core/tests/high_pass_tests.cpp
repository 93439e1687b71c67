#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <vector>

#include "pump/core/high_pass.h"

namespace pump {
namespace {

constexpr double kRate = 9600;
using Block = std::vector<std::int16_t>;

// One filter under test, with its transfer function derived from the
// recurrence (z-transform, exact division).
struct Filter {
  const char* name;
  std::function<void(Block&)> run;                                     // a fresh filter per call
  std::function<std::complex<double>(std::complex<double>)> response;  // H(z)
};

std::complex<double> HighPass2Response(std::complex<double> z) {
  // c = x - 3 z^-1 (a + b), a = c / (16 u), b = a / (8 u), u = 1 - z^-1.
  const std::complex<double> u = 1.0 - 1.0 / z;
  return 128.0 * u * u / (128.0 * u * u + 3.0 / z * (8.0 * u + 1.0));
}

std::function<std::complex<double>(std::complex<double>)> HighPass1Response(int k) {
  // c = g x - z^-1 acc, acc = acc z^-1 + c 2^-k: H = g (1 - z^-1) / (1 - p z^-1).
  const double g = 1 - std::ldexp(1, -(k + 1)), p = 1 - std::ldexp(1, -k);
  return [g, p](std::complex<double> z) { return g * (1.0 - 1.0 / z) / (1.0 - p / z); };
}

std::function<void(Block&)> RunHighPass1(int k) {
  return [k](Block& b) {
    HighPass1State state{0, k};
    HighPass1(state, b);
  };
}

const Filter kFilters[] = {
    {"HighPass2",
     [](Block& b) {
       HighPass2State state{0, 0};
       HighPass2(state, b);
     },
     HighPass2Response},
    {"HighPass1k4", RunHighPass1(4), HighPass1Response(4)},
    {"HighPass1k6", RunHighPass1(6), HighPass1Response(6)},
};

void PrintTo(const Filter& f, std::ostream* out) { *out << f.name; }

Block FilterInputSine(double amplitude, double hz, std::size_t n) {
  Block b(n);
  for (std::size_t i = 0; i < n; ++i) {
    b[i] = static_cast<std::int16_t>(
        std::lround(amplitude * std::sin(2 * std::numbers::pi * hz * i / kRate + 0.3)));
  }
  return b;
}

// Steady-state gain in dB over the second half of one second of signal.
double GainDb(const Filter& f, double hz) {
  const Block in = FilterInputSine(16000, hz, 9600);
  Block out = in;
  f.run(out);
  double e_in = 0, e_out = 0;
  for (std::size_t i = in.size() / 2; i < in.size(); ++i) {
    e_in += static_cast<double>(in[i]) * in[i];
    e_out += static_cast<double>(out[i]) * out[i];
  }
  return 10 * std::log10(e_out / e_in);
}

double ResponseDb(const Filter& f, double hz) {
  return 20 * std::log10(std::abs(f.response(std::polar(1.0, 2 * std::numbers::pi * hz / kRate))));
}

class HighPass : public ::testing::TestWithParam<Filter> {};

TEST_P(HighPass, ADcStepDecaysToZero) {
  for (const std::int16_t level : {10000, -32768, 1}) {
    Block b(9600, level);
    GetParam().run(b);
    EXPECT_NEAR(b[0], level, std::abs(level) / 16 + 1) << "the step passes";
    // 100 ms on the output is 0, or -1 where a first-order output truncates
    // a small negative residue, and stays there.
    EXPECT_TRUE(
        std::all_of(b.begin() + 960, b.end(), [](std::int16_t y) { return y == 0 || y == -1; }))
        << "level " << level;
  }
}

TEST_P(HighPass, FollowsItsTransferFunction) {
  for (const double hz : {50.0, 100.0, 200.0, 300.0, 600.0, 1000.0, 2000.0, 3400.0, 4700.0}) {
    EXPECT_NEAR(GainDb(GetParam(), hz), ResponseDb(GetParam(), hz), 0.1) << hz << " Hz";
  }
}

TEST_P(HighPass, AttenuatesLowFrequenciesAndPassesTheBand) {
  EXPECT_LT(GainDb(GetParam(), 10), -6);
  EXPECT_LT(GainDb(GetParam(), 10), GainDb(GetParam(), 50));
  for (const double hz : {600.0, 1000.0, 1800.0, 2400.0, 3000.0, 3400.0}) {
    EXPECT_NEAR(GainDb(GetParam(), hz), 0, 1.5) << hz << " Hz";
  }
}

TEST_P(HighPass, FullScaleStepsSaturateInsteadOfWrapping) {
  Block up(3000, -32768);
  std::fill(up.begin() + 2000, up.end(), 32767);
  GetParam().run(up);
  EXPECT_EQ(up[2000], 32767);
  Block down(3000, 32767);
  std::fill(down.begin() + 2000, down.end(), -32768);
  GetParam().run(down);
  EXPECT_EQ(down[2000], -32768);
}

INSTANTIATE_TEST_SUITE_P(NumericHelpers, HighPass, ::testing::ValuesIn(kFilters),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NumericHelpers, HighPassStateCarriesAcrossBlocks) {
  const Block in = FilterInputSine(12000, 700, 960);
  Block whole = in;
  HighPass2State s2{0, 0};
  HighPass2(s2, whole);
  Block split = in;
  HighPass2State t2{0, 0};
  for (std::size_t at = 0; at < split.size(); at += 96) {
    HighPass2(t2, std::span(split).subspan(at, 96));
  }
  EXPECT_EQ(split, whole);

  Block whole1 = in, split1 = in;
  HighPass1State s1{0, 4}, t1{0, 4};
  HighPass1(s1, whole1);
  for (std::size_t at = 0; at < split1.size(); at += 96) {
    HighPass1(t1, std::span(split1).subspan(at, 96));
  }
  EXPECT_EQ(split1, whole1);
}

}  // namespace
}  // namespace pump
