// The scramblers, the differential and convolutional encoders and the signal
// sets against the reference model written from the recommendations.
#include <gtest/gtest.h>

#include <random>

#include "pump/v32/encoder.h"
#include "pump/v32/scrambler.h"
#include "pump/v32/signal_sets.h"
#include "pump/v32/tests/reference.h"
#include "pump/v32/transmitter.h"

namespace pump::v32 {
namespace {

const char* Name(Polynomial p) { return p == Polynomial::kCaller ? "GPC" : "GPA"; }

TEST(V32Encoder, ScramblerOfEveryGroupSizeEqualsTheBitwiseRecommendation) {
  for (const Polynomial p : {Polynomial::kCaller, Polynomial::kAnswerer}) {
    for (int n = 1; n <= 6; ++n) {
      SCOPED_TRACE(testing::Message() << Name(p) << " n=" << n);
      std::mt19937 random(100 + n);
      Scrambler ours;
      Scrambler unscrambler;
      reference::BitScrambler bitwise(p);
      for (int symbol = 0; symbol < 400; ++symbol) {
        const std::uint32_t in = random() & ((1u << n) - 1);
        const std::uint32_t line = Scramble(ours, in, n, p);
        std::uint32_t expected = 0;
        for (int b = 0; b < n; ++b) expected |= static_cast<std::uint32_t>(bitwise.Scramble((in >> b) & 1)) << b;
        ASSERT_EQ(line, expected) << "symbol " << symbol;
        ASSERT_EQ(Descramble(unscrambler, line, n, p), in) << "symbol " << symbol;
      }
    }
  }
}

TEST(V32Encoder, DescramblerWithTheOtherPolynomialGarbles) {
  std::mt19937 random(7);
  Scrambler tx;
  Scrambler rx;
  int wrong = 0;
  for (int symbol = 0; symbol < 200; ++symbol) {
    const std::uint32_t in = random() & 0x3F;
    const std::uint32_t line = Scramble(tx, in, 6, Polynomial::kCaller);
    wrong += Descramble(rx, line, 6, Polynomial::kAnswerer) != in;
  }
  EXPECT_GT(wrong, 150);
}

TEST(V32Encoder, SymbolStreamEqualsTheReferenceAtEveryRateInBothRoles) {
  for (const DataRate rate : kAllRates) {
    for (const Polynomial p : {Polynomial::kCaller, Polynomial::kAnswerer}) {
      const int bits = ModeOf(rate).bits;
      SCOPED_TRACE(testing::Message() << "bits " << bits << " trellis " << ModeOf(rate).trellis << " " << Name(p));
      std::mt19937 random(static_cast<unsigned>(bits) * 31 + (p == Polynomial::kCaller));
      TxSymbolState ours;
      ours.polynomial = p;
      StartData(ours, rate);
      reference::BitScrambler scrambler(p);
      reference::Encoder encoder(rate);
      for (int symbol = 0; symbol < 600; ++symbol) {
        const std::uint32_t data = random() & ((1u << bits) - 1);
        const std::uint32_t input = symbol < kOnesBeforeData ? (1u << bits) - 1 : data;
        std::uint32_t line = 0;
        for (int b = 0; b < bits; ++b) line |= static_cast<std::uint32_t>(scrambler.Scramble((input >> b) & 1)) << b;
        const reference::PointD expected = encoder.Encode(line);
        bool took = false;
        const Point got = NextSymbol(ours, TxSignal::kData, data, &took);
        ASSERT_EQ(took, symbol >= kOnesBeforeData);
        ASSERT_EQ(got.i, expected.i) << "symbol " << symbol;
        ASSERT_EQ(got.q, expected.q) << "symbol " << symbol;
      }
    }
  }
}

TEST(V32Encoder, TrellisSetsAreTheFaxSetsPermutedAndHalved) {
  for (const DataRate rate : {DataRate::k7200, DataRate::k9600Trellis, DataRate::k12000, DataRate::k14400}) {
    for (unsigned label = 0; label < SetSize(rate); ++label) {
      const reference::PointD fax = reference::TrellisPoint(rate, label);
      EXPECT_EQ(PointOf(rate, label), (Point{static_cast<int>(fax.i), static_cast<int>(fax.q)}))
          << "bits " << ModeOf(rate).bits << " label " << label;
    }
  }
}

// Turning every point a quarter turn must leave the decoded data unchanged
// after differential decoding: each set turns into itself with the uncoded
// bits kept and the coded pair advanced by one.
TEST(V32Encoder, EverySetIsInvariantUnderAQuarterTurn) {
  for (const DataRate rate : kAllRates) {
    const RateMode mode = ModeOf(rate);
    for (unsigned label = 0; label < SetSize(rate); ++label) {
      const Point p = PointOf(rate, label);
      const Point turned{-p.q, p.i};
      unsigned found = SetSize(rate);
      for (unsigned k = 0; k < SetSize(rate); ++k) {
        if (PointOf(rate, k) == turned) found = k;
      }
      ASSERT_LT(found, SetSize(rate)) << "bits " << mode.bits << " label " << label;
      if (!mode.trellis) {
        EXPECT_EQ(found & 0xC, label & 0xC);
      } else {
        EXPECT_EQ(found >> 3, label >> 3) << "bits " << mode.bits << " label " << label;
      }
    }
  }
}

}  // namespace
}  // namespace pump::v32
