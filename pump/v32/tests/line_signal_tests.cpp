// The transmitter's line samples against the reference modulator and
// demodulator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "pump/v32/tests/reference.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {
namespace {

struct Burst {
  TxSignal signal;
  int symbols;
};

struct Line {
  std::vector<Point> symbols;
  std::vector<std::int16_t> samples;
};

Line Transmit(TxSymbolState& tx, const std::vector<Burst>& bursts, unsigned seed = 1) {
  std::mt19937 random(seed);
  Modulator m;
  Line line;
  for (const Burst& b : bursts) {
    for (int k = 0; k < b.symbols; ++k) {
      const Point p = NextSymbol(tx, b.signal, random() & 0x3F);
      std::int16_t s[3];
      ModulateSymbol(m, p, s);
      line.symbols.push_back(p);
      line.samples.insert(line.samples.end(), s, s + 3);
    }
  }
  return line;
}

std::vector<reference::PointD> AsDouble(const std::vector<Point>& points) {
  std::vector<reference::PointD> out;
  for (const Point p : points) out.push_back({static_cast<double>(p.i), static_cast<double>(p.q)});
  return out;
}

// Power of a tone at f Hz over the samples, relative to the samples' power.
double ToneShare(const std::vector<std::int16_t>& x, double f) {
  const double w = 2 * 3.14159265358979323846 * f / 7200.0;
  double re = 0, im = 0, power = 0;
  for (std::size_t n = 0; n < x.size(); ++n) {
    re += x[n] * std::cos(w * static_cast<double>(n));
    im += x[n] * std::sin(w * static_cast<double>(n));
    power += static_cast<double>(x[n]) * x[n];
  }
  return 2 * (re * re + im * im) / static_cast<double>(x.size()) / power;
}

TEST(V32LineSignal, SamplesMatchTheReferenceModulatorWithinTwoUnits) {
  TxSymbolState tx;
  StartData(tx, DataRate::k14400);
  tx.ones_left = 0;
  const Line line = Transmit(tx, {{TxSignal::kS, 30}, {TxSignal::kSbar, 16}, {TxSignal::kTrn2, 40},
                                  {TxSignal::kTrn4, 40}, {TxSignal::kRateWord, 16}, {TxSignal::kData, 300}});
  const std::vector<double> expected = reference::Modulate(AsDouble(line.symbols));
  ASSERT_EQ(expected.size(), line.samples.size());
  double worst = 0;
  for (std::size_t n = 0; n < expected.size(); ++n) worst = std::max(worst, std::abs(expected[n] - line.samples[n]));
  EXPECT_LE(worst, 2.0);
}

// The tones go through the same three-phase shaping as every symbol, so
// they are pure: a tone path that averaged outputs two samples apart would
// cancel 1800 Hz on two samples of three and spread AA over 600, 1800 and
// 3000 Hz alike. AA's amplitude is the point's magnitude times the
// shaping's gain at zero frequency (each phase's taps sum to about 0.661);
// AC's two tones, 1200 Hz either side of the carrier, are equal.
TEST(V32LineSignal, TonesSitAtTheirFrequencies) {
  const double a = std::hypot(kPointA.i, kPointA.q);
  double dc_gain = 0;
  for (const auto& phase : kShapingTaps) {
    for (const std::int32_t t : phase) dc_gain += t / 32768.0 / 3;
  }
  struct Case {
    TxSignal signal;
    std::vector<double> tones;  // which together hold the power
    double amplitude;           // of each tone; 0: not checked
  };
  const Case cases[] = {{TxSignal::kAA, {1800}, a * dc_gain}, {TxSignal::kCC, {1800}, a * dc_gain},
                        {TxSignal::kAC, {600, 3000}, 0}, {TxSignal::kCA, {600, 3000}, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "signal " << static_cast<int>(c.signal));
    TxSymbolState tx;
    Line line = Transmit(tx, {{c.signal, 240}});
    line.samples.erase(line.samples.begin(), line.samples.begin() + 72);  // the shaping's start
    double share = 0;
    for (const double f : c.tones) share += ToneShare(line.samples, f);
    EXPECT_GT(share, 0.9999);  // all else 40 dB down
    double power = 0;
    for (const std::int16_t x : line.samples) power += static_cast<double>(x) * x;
    power /= static_cast<double>(line.samples.size());
    std::vector<double> amplitudes;
    for (const double f : c.tones) amplitudes.push_back(std::sqrt(2 * power * ToneShare(line.samples, f)));
    if (c.amplitude > 0) {
      EXPECT_NEAR(amplitudes[0], c.amplitude, 0.01 * c.amplitude);
    } else {
      EXPECT_NEAR(amplitudes[0], amplitudes[1], 0.01 * amplitudes[0]);
    }
  }
}

TEST(V32LineSignal, TrainingUsesTwoThenFourPoints) {
  for (const auto& [signal, count] : {std::pair{TxSignal::kTrn2, 2u}, std::pair{TxSignal::kTrn4, 4u}}) {
    TxSymbolState tx;
    StartTraining(tx);
    const Line line = Transmit(tx, {{signal, 256}});
    std::set<std::pair<int, int>> distinct;
    for (const Point p : line.symbols) distinct.insert({p.i, p.q});
    EXPECT_EQ(distinct.size(), count);
  }
}

// The reference demodulator recovers the word, least significant bit first,
// eight symbols to a word, through differential decoding and GPC or GPA.
TEST(V32LineSignal, RateWordIsEightSymbolsLeastSignificantBitFirst) {
  for (const Polynomial p : {Polynomial::kCaller, Polynomial::kAnswerer}) {
    TxSymbolState tx;
    tx.polynomial = p;
    StartWord(tx, 0x9FF0);
    const Line line = Transmit(tx, {{TxSignal::kRateWord, 8 * 8}, {TxSignal::kSilence, 20}});
    std::vector<double> samples(line.samples.begin(), line.samples.end());
    const std::vector<reference::PointD> symbols = reference::Demodulate(samples);
    reference::BitScrambler descrambler(p);
    reference::PointD previous{-6144, -2048};  // the differential coding starts at A
    std::vector<int> bits;
    for (int n = 0; n < 64; ++n) {
      const reference::PointD point = reference::NearestOfFour(symbols[n]);
      const int pair = reference::QuadrantTurnBits(previous, point);
      previous = point;
      bits.push_back(descrambler.Descramble(pair & 1));
      bits.push_back(descrambler.Descramble(pair >> 1));
    }
    // From the third word on the descrambler has settled.
    for (int word = 2; word < 8; ++word) {
      unsigned value = 0;
      for (int b = 0; b < 16; ++b) value |= static_cast<unsigned>(bits[16 * word + b]) << b;
      EXPECT_EQ(value, 0x9FF0u) << "word " << word;
    }
  }
}

TEST(V32LineSignal, OutputSaturatesRatherThanWraps) {
  Modulator loud;
  loud.gain = 8 * 8192;
  Modulator unit;
  TxSymbolState a;
  TxSymbolState b;
  StartData(a, DataRate::k14400);
  StartData(b, DataRate::k14400);
  int clipped = 0;
  for (int n = 0; n < 400; ++n) {
    std::int16_t big[3];
    std::int16_t small[3];
    ModulateSymbol(loud, NextSymbol(a, TxSignal::kData, 0), big);
    ModulateSymbol(unit, NextSymbol(b, TxSignal::kData, 0), small);
    for (int k = 0; k < 3; ++k) {
      const int expected = std::clamp(8 * small[k], -32768, 32767);
      ASSERT_LE(std::abs(big[k] - expected), 8) << "symbol " << n;
      clipped += expected == 32767 || expected == -32768;
    }
  }
  EXPECT_GT(clipped, 0);
}

}  // namespace
}  // namespace pump::v32
