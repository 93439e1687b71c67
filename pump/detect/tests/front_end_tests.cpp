#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

#include "pump/detect/preprocess.h"
#include "pump/detect/tests/signals.h"

namespace pump {
namespace {

using detect_test::Amplitude;
using detect_test::Db;
using detect_test::Mean;
using detect_test::Tone;
using detect_test::Wide;

// ---- DcRemove

// Its response: with u = 5461 x, t = 3 (u - a - b), a' = a + t/16 and
// b' = b + a'/8 give T (1 + 3 / (16 (z - 1)) + 3 z / (128 (z - 1)^2)) = 3 U,
// and the output is T / 32768.
double DcRemoveGain(double hz) {
  const std::complex<double> z = std::polar(1.0, 2 * std::numbers::pi * hz / 9600);
  const std::complex<double> d = z - 1.0;
  return std::abs(3.0 * 5461 / 32768 / (1.0 + 3.0 / (16.0 * d) + 3.0 * z / (128.0 * d * d)));
}

TEST(DcRemove, AConstantDecaysToZero) {
  for (const std::int32_t level : {1, -1, 1000, -1000, 32767, -32768}) {
    SCOPED_TRACE(level);
    DcRemovalState state{};
    std::vector<std::int32_t> out;
    for (int i = 0; i < 9600; ++i) out.push_back(DcRemove(state, level));
    if (std::abs(level) >= 1000) {
      EXPECT_NE(out.front(), 0) << "the step passes at first";
    }
    for (int i = 4800; i < 9600; ++i) ASSERT_EQ(out[i], 0) << i;
  }
}

TEST(DcRemove, PassesTheBandWithTheGainOfItsRecursion) {
  for (const double hz : {300.0, 1000.0, 2100.0, 3400.0}) {
    SCOPED_TRACE(hz);
    const auto in = Tone({hz}, 12000, 9600);
    DcRemovalState state{};
    std::vector<std::int32_t> out;
    for (const std::int16_t x : in) out.push_back(DcRemove(state, x));
    const auto settled = std::span(out).last(4800);
    EXPECT_NEAR(Db(Amplitude<std::int32_t>(settled, hz) / 12000), Db(DcRemoveGain(hz)), 0.05);
  }
}

TEST(DcRemove, TheBlockFormFiltersInPlace) {
  auto block = Tone({1000}, 8000, 960);
  for (std::int16_t& s : block) s = static_cast<std::int16_t>(s + 5000);
  DcRemovalState a{}, b{};
  std::vector<std::int32_t> expected;
  for (const std::int16_t x : block) expected.push_back(DcRemove(a, x));
  RemoveDc(b, block);
  EXPECT_EQ(Wide(block), expected);
}

// ---- AGC

// The AGC holds its output where the average of |y|, (7680 |y| + 28672
// average) / 32768 = 1.875 |y| in the mean, lifts the mantissa as much as
// the average takes: 3 average / 16 = 960, a mean |y| of 5120 / 1.875.
constexpr double kAgcMeanMagnitude = 5120 / 1.875;

// The AGC in silence: each sample the mantissa gains 960 (held at 0x7FFF);
// past 0x5FFF it halves while the exponent rises, up to 10.
TEST(Agc, SilenceRaisesTheMantissaBy960ASampleUntilTheExponentSteps) {
  struct Start {
    int exponent, mantissa;
  };
  for (const Start start : {Start{0, 0x3000}, Start{7, 0x7FFF}, Start{9, 0x5000}, Start{-10, 1536},
                            Start{10, 0x4000}}) {
    SCOPED_TRACE(::testing::Message() << start.exponent << " " << start.mantissa);
    AgcGain agc{};
    InitAgcGain(agc, start.exponent, start.mantissa);
    int exponent = start.exponent, mantissa = start.mantissa;
    const std::vector<std::int32_t> silence(1, 0);
    std::vector<std::int32_t> out(1);
    for (int i = 0; i < 400; ++i) {
      mantissa = std::min(mantissa + 960, 0x7FFF);
      if (mantissa > 0x5FFF && exponent < 10) {
        mantissa /= 2;
        ++exponent;
      }
      RunAgc(agc, silence, out);
      ASSERT_EQ(agc.mantissa, mantissa) << i;
      ASSERT_EQ(agc.exponent, exponent) << i;
      ASSERT_EQ(out[0], 0);
    }
    EXPECT_EQ(agc.exponent, 10) << "the highest exponent";
    EXPECT_EQ(agc.mantissa, 0x7FFF);
  }
}

TEST(Agc, AnOverwhelmingInputMeetsTheMantissaFloorAndTheLowestExponent) {
  for (const std::int32_t x : {1 << 30, -(1 << 30)}) {
    SCOPED_TRACE(x);
    AgcGain agc{};
    InitAgcGain(agc, 7, 0x7FFF);
    const std::vector<std::int32_t> in(400, x);
    std::vector<std::int32_t> out(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
      RunAgc(agc, std::span(in).subspan(i, 1), std::span(out).subspan(i, 1));
      ASSERT_GE(agc.mantissa, 1536);
      ASSERT_GE(agc.exponent, -10);
    }
    EXPECT_EQ(agc.exponent, -10);
    EXPECT_EQ(agc.mantissa, 1536);
    EXPECT_EQ(out.back(), x > 0 ? 32767 : -32767) << "held to +-32767";
  }
}

TEST(Agc, TheGainIsTheMantissaTimesTwoToTheExponentTruncated) {
  struct Case {
    std::int32_t x;
    int exponent, mantissa;
  };
  const Case cases[] = {{1000, 0, 0x4000}, {-1, 0, 0x4000},      {12345, 3, 0x5555},
                        {-7, -10, 0x3000}, {32767, 1, 0x7FFF},   {-32768, 1, 0x7FFF},
                        {3, 10, 0x5FFF},   {-100000, -4, 0x4321}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << " " << c.exponent << " " << c.mantissa);
    AgcGain agc{};
    InitAgcGain(agc, c.exponent, c.mantissa);
    FreezeAgc(agc);
    const double exact = std::floor(double(c.x) * c.mantissa * std::ldexp(1.0, c.exponent) / 32768);
    const std::vector<std::int32_t> in{c.x};
    std::vector<std::int32_t> out(1);
    RunAgc(agc, in, out);
    EXPECT_EQ(out[0], std::clamp(exact, -32767.0, 32767.0));
  }
}

TEST(Agc, FrozenTheGainStaysAndInitialisingThawsIt) {
  AgcGain agc{};
  InitAgcGain(agc, 2, 0x4000);
  const auto tone = Wide(Tone({1000}, 20000, 960));
  std::vector<std::int32_t> out(tone.size());
  RunAgc(agc, std::span(tone).first(96), out);
  const AgcGain before = agc;
  FreezeAgc(agc);
  RunAgc(agc, tone, out);
  EXPECT_EQ(agc.exponent, before.exponent);
  EXPECT_EQ(agc.mantissa, before.mantissa);
  EXPECT_EQ(agc.average, before.average);
  InitAgcGain(agc, 2, 0x4000);
  EXPECT_EQ(agc.freeze, 0);
  EXPECT_EQ(agc.average, 0);
  RunAgc(agc, tone, out);
  EXPECT_NE(agc.mantissa, 0x4000);
}

TEST(Agc, BringsTonesOfEveryLevelToTheSameMeanMagnitude) {
  constexpr double kTarget = kAgcMeanMagnitude;
  for (const double db : {-50.0, -30.0, -10.0, 0.0}) {
    SCOPED_TRACE(db);
    AgcGain agc{};
    InitAgcGain(agc, 7, 0x7FFF);
    const auto tone = Wide(Tone({1100}, 32000 * std::pow(10, db / 20), 2 * 9600));
    std::vector<std::int32_t> out(tone.size());
    RunAgc(agc, tone, out);
    double sum = 0;
    for (std::size_t i = 9600; i < out.size(); ++i) sum += std::abs(out[i]);
    EXPECT_NEAR(sum / 9600, kTarget, 0.1 * kTarget);
  }
}

// ---- PreprocessRx

TEST(PreprocessRx, RunsExactlyTheStagesItsFlagsName) {
  // A DC offset, this modem's own 1300 Hz tone and a far tone at 600 Hz.
  auto input = Tone({1300, 600}, 6000, 9600);
  for (std::int16_t& s : input) s = static_cast<std::int16_t>(s + 3000);
  constexpr std::int32_t kUntouched = 0x55555555;
  for (unsigned flags = 0; flags < 8; ++flags) {
    for (const bool with_records : {true, false}) {
      SCOPED_TRACE(::testing::Message()
                   << "flags " << flags << (with_records ? "" : " no records"));
      DcRemovalState dc{};
      BandFilter rejection{&rejection::k1300, 0, 0, 0, 0, 0, 0};
      AgcGain agc{};
      InitAgcGain(agc, 7, 0x7FFF);
      std::vector<std::int32_t> output(input.size(), kUntouched);
      std::vector<std::int32_t> filtered(input.size(), kUntouched);
      std::vector<std::int32_t> levelled(input.size(), kUntouched);
      for (std::size_t at = 0; at < input.size(); at += 96) {
        const auto block = std::span(input).subspan(at, 96);
        PreprocessRx(flags, block, dc, std::span(output).subspan(at, 96),
                     with_records ? &rejection : nullptr, std::span(filtered).subspan(at, 96),
                     with_records ? &agc : nullptr, std::span(levelled).subspan(at, 96));
      }
      const auto settled = [](const std::vector<std::int32_t>& v) {
        return std::span(v).last(4800);
      };
      if (flags & kPreprocessDcRemoval) {
        EXPECT_NEAR(Mean(settled(output)), 0, 2);
      } else {
        EXPECT_EQ(output, Wide(input));
      }
      const bool filter_ran = (flags & kPreprocessRejection) && with_records;
      if (filter_ran) {
        EXPECT_LT(Db(Amplitude(settled(filtered), 1300) / Amplitude(settled(filtered), 600)), -50);
      } else {
        EXPECT_EQ(filtered, std::vector<std::int32_t>(input.size(), kUntouched));
      }
      if ((flags & kPreprocessAgc) && with_records) {
        double magnitude = 0;
        for (const std::int32_t y : settled(levelled)) magnitude += std::abs(y);
        EXPECT_NEAR(magnitude / 4800, kAgcMeanMagnitude, 0.15 * kAgcMeanMagnitude);
        const double own = Amplitude(settled(levelled), 1300);
        const double far = Amplitude(settled(levelled), 600);
        EXPECT_EQ(Db(own / far) < -50, filter_ran) << "the AGC takes what the filter left";
      } else {
        EXPECT_EQ(levelled, std::vector<std::int32_t>(input.size(), kUntouched));
      }
    }
  }
}

}  // namespace
}  // namespace pump
