// The 16-bit FFT on its fixed-point path against the naive DFT: a table of
// variants, kinds, orders, flags and scale factors; the data pump's two
// roads; worked examples; saturation and the rounding shift near 2^31.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/transforms/tests/support/dft_reference.h"
#include "siglib/transforms/tests/support/error_metrics.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/fft16_limits.h"
#include "siglib/transforms/tests/support/structured_inputs.h"
#include "siglib/transforms/tests/support/work_buffer.h"

namespace qvls_test::transforms {
namespace {

// The largest amplitude of a structured input that keeps complex values
// inside the headroom (|re| + |im| <= 32768 for every phase of a tone).
constexpr std::int64_t kLargest = 23170;

class Fft16FixedPath : public VariantTest {};

// Seeded input inside the headroom: complex parts with |re| + |im| <= 32768,
// real samples over the whole 16-bit range.
std::vector<std::int16_t> RandomInput(Rng& rng, Layout layout, std::int32_t order) {
  const bool complex = layout == Layout::kComplex;
  std::vector<std::int16_t> values((complex ? 2u : 1u) << order);
  for (auto& v : values)
    v = static_cast<std::int16_t>(complex ? rng.Range(-16384, 16383) : rng.Any<std::int16_t>());
  return values;
}

// A flag with the scale factor that keeps the result about the size of the
// input (1/N overall: sf 0 with flag 1, sf = order with flags 2 and 8,
// sf = (order + 1) / 2 with flag 4), plus an offset to that sf.
struct Scaling {
  std::int32_t flag;
  std::int32_t sf_offset;

  std::int32_t Sf(std::int32_t order) const {
    const std::int32_t base = flag == 1 ? 0 : flag == 4 ? (order + 1) / 2 : order;
    return base + sf_offset;
  }
};
constexpr Scaling kScalings[] = {{1, 0}, {1, 3}, {2, 0}, {2, 2}, {4, 0}, {4, 2}, {8, 0}, {8, 2}};

// Within 1 LSB of the exact, unrounded result saturated to 16 bits; 2 where
// flag 4 meets an odd order (23170/32768 stands for 1/sqrt 2, 2e-5 low).
long double Allowed(std::int32_t flag, std::int32_t order) {
  return flag == 4 && order % 2 == 1 ? 2 : 1;
}

TEST_P(Fft16FixedPath, EveryOrderFlagAndScaleAgreesWithTheNaiveDft) {
  Rng rng("Fft16FixedPath.Table");
  const std::int32_t limit = kFixedLimits[variant()].hint1;
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t order = 1; order <= limit; ++order) {
      const std::int32_t n = std::int32_t{1} << order;
      std::vector<std::vector<std::int16_t>> inputs = {RandomInput(rng, layout, order)};
      for (const auto& input : kStructuredInputs) {
        inputs.push_back(MakeInput(input, layout, n, rng.Range(-kLargest, kLargest)));
      }
      for (const auto& input : inputs) {
        // The exact spectrum once; every flag and sf only scales it.
        const std::vector<long double> spectrum = ops.Exact(input, order, 8, 0);
        for (const Scaling& scaling : kScalings) {
          const std::int32_t sf = scaling.Sf(order);
          const Fft16Context context(ops, order, scaling.flag, 1);
          ASSERT_EQ(context.status(), QVLS_OK);
          std::vector<long double> exact = spectrum;
          for (long double& v : exact) v *= ForwardScale(scaling.flag, order, sf);
          ASSERT_LE(MaxLsbError(context.Forward(input, sf), exact), Allowed(scaling.flag, order))
              << LayoutName(layout) << " order " << order << " flag " << scaling.flag << " sf "
              << sf << " input " << ::testing::PrintToString(input);
        }
      }
    }
  }
}

// A line signal as the tone detector sees it: two tones of about a fifth of
// full scale each, off the bins, and noise.
std::vector<std::int16_t> LineSignal(Rng& rng, std::int32_t n) {
  const long double f1 = 0.1 + rng.Range(0, 1000) / 4000.0L;
  const long double f2 = 0.05 + rng.Range(0, 1000) / 3000.0L;
  std::vector<std::int16_t> samples(n);
  for (std::int32_t m = 0; m < n; ++m) {
    const long double v = 6000 * std::cos(2 * std::numbers::pi_v<long double> * f1 * m) +
                          5000 * std::sin(2 * std::numbers::pi_v<long double> * f2 * m + 1) +
                          rng.Range(-3000, 3000);
    samples[m] = static_cast<std::int16_t>(std::lround(v));
  }
  return samples;
}

// V.34 line probing: complex 128 points, flag 1, sf 1, in place, with a
// work buffer of the reported 1552 bytes. Tone detection and V.92: real 64
// samples, flag 8, sf 4; the voice detector: sf 6; 280 bytes of work.
void ExpectTheDataPumpsRoads(Variant variant) {
  Rng rng("Fft16FixedPath.Roads");
  {
    const Fft16Ops ops = OpsOf(variant, Layout::kComplex);
    const Fft16Context context(ops, 7, 1, 0);
    ASSERT_EQ(context.WorkSize(), 1552);
    for (int trial = 0; trial < 8; ++trial) {
      const auto input = RandomInput(rng, Layout::kComplex, 7);
      GuardedWork work(1552, trial);
      std::vector<std::int16_t> data = input;
      ASSERT_EQ(ops.forward(data.data(), data.data(), context.get(), 1, work.data()), QVLS_OK);
      EXPECT_TRUE(work.Intact());
      EXPECT_LE(MaxLsbError(data, ops.Exact(input, 7, 1, 1)), 1);
      EXPECT_EQ(data, context.Forward(input, 1)) << "in place differs from out of place";
    }
  }
  const Fft16Ops ops = OpsOf(variant, Layout::kReal);
  const Fft16Context context(ops, 6, 8, 0);
  ASSERT_EQ(context.WorkSize(), 280);
  for (std::int32_t sf : {4, 6}) {
    for (int trial = 0; trial < 8; ++trial) {
      const auto input = LineSignal(rng, 64);
      GuardedWork work(280, 3 * trial);
      const auto out = context.Forward(input, sf, work.data());
      EXPECT_TRUE(work.Intact());
      EXPECT_LE(MaxLsbError(out, ops.Exact(input, 6, 8, sf)), 1) << "sf " << sf;
    }
  }
}

// The data pump's roads take the fixed-point path in px and m6 only.
TEST(Fft16FixedPathRoads, PxAndM6) {
  for (Variant v : {px, m6}) {
    SCOPED_TRACE(VariantTag(v));
    ExpectTheDataPumpsRoads(v);
  }
}

TEST_P(Fft16FixedPath, WorkedExamples) {
  struct Case {
    const char* what;
    Layout layout;
    std::int32_t order, flag, sf;
    std::vector<std::int16_t> in, want;
  };
  const Case cases[] = {
      // Exact spectrum {2.5, 0, -0.5, 0.5, -0.5, 0}; ties go up.
      {"real {1, 2, 3, 4}", Layout::kReal, 2, 1, 0, {1, 2, 3, 4}, {3, 0, 0, 1, 0, 0}},
      {"complex order 0, sf 1", Layout::kComplex, 0, 1, 1, {3, -3}, {2, -1}},
      {"complex order 0 ignores the flag",
       Layout::kComplex,
       0,
       4,
       -1,
       {-20000, 300},
       {-32768, 600}},
      {"real order 0", Layout::kReal, 0, 8, 2, {-6}, {-1, 0}},
      {"real order 1: sum and difference", Layout::kReal, 1, 8, 0, {1000, 200}, {1200, 0, 800, 0}},
      {"real order 1, flag 1", Layout::kReal, 1, 1, 0, {1000, 201}, {601, 0, 400, 0}},
      {"real order 1, sf -1", Layout::kReal, 1, 2, -1, {-300, 100}, {-400, 0, -800, 0}},
      {"complex impulse",
       Layout::kComplex,
       2,
       8,
       0,
       {1, 0, 0, 0, 0, 0, 0, 0},
       {1, 0, 1, 0, 1, 0, 1, 0}},
  };
  for (const Case& c : cases) {
    const Fft16Context context(OpsOf(variant(), c.layout), c.order, c.flag, 0);
    ASSERT_EQ(context.status(), QVLS_OK) << c.what;
    EXPECT_EQ(context.Forward(c.in, c.sf), c.want) << c.what;
  }
}

// Values beyond 16 bits saturate without an error.
TEST_P(Fft16FixedPath, FullScaleSaturatesWithoutAnError) {
  const std::int32_t limit = kFixedLimits[variant()].hint1;
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t order = 1; order <= limit; ++order) {
      const Fft16Context context(ops, order, 8, 1);
      for (long double amplitude : {32767.0L, -32768.0L}) {
        for (const auto& shape : {kConstant, kFullScale}) {
          const auto input = MakeInput(shape, layout, std::int32_t{1} << order, amplitude);
          const auto out = context.Forward(input, 0);  // Forward checks the status
          const auto exact = ops.Exact(input, order, 8, 0);
          EXPECT_LE(MaxLsbError(out, exact), 1)
              << LayoutName(layout) << " order " << order << " " << shape.name;
          bool saturated = false;
          for (std::int16_t v : out) saturated |= v == 32767 || v == -32768;
          EXPECT_TRUE(saturated) << LayoutName(layout) << " order " << order << " " << shape.name;
        }
      }
    }
  }
}

// All real parts 32767 with flag 1 and sf 1: the DC term reaches
// 2^31 - 2^16 inside, and the rounding shift by s = 17 must give 16384
// (16383.5 rounded up), not the -16384 of a rounding addition that wraps.
// Every order meets it: the pre-shift 16 - order puts the DC term there.
TEST_P(Fft16FixedPath, RoundingShiftNearTheTopOfThe32BitRange) {
  const std::int32_t limit = kFixedLimits[variant()].hint1;
  const Fft16Ops ops = OpsOf(variant(), Layout::kComplex);
  for (std::int32_t order = 1; order <= limit; ++order) {
    const std::int32_t n = std::int32_t{1} << order;
    std::vector<std::int16_t> input;
    for (std::int32_t i = 0; i < n; ++i) input.insert(input.end(), {32767, 0});
    const Fft16Context context(ops, order, 1, 1);
    std::vector<std::int16_t> want(2 * n, 0);
    want[0] = 16384;
    EXPECT_EQ(context.Forward(input, 1), want) << "order " << order;
  }
}

QVLS_INSTANTIATE_VARIANTS(Fft16FixedPath);

}  // namespace
}  // namespace qvls_test::transforms
