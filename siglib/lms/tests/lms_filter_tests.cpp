// Push, output and update in every variant: against the independent model
// over the shapes and window alignments that select the kernels' paths, the
// rounding of the scaled error, and two adaptive filters that must converge
// to a known system with the same tap trajectory in every variant.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "siglib/lms/tests/lms_harness.h"

namespace qvls_test::lms {
namespace {


class LmsFilter : public VariantTest {};

template <class K>
typename K::Error RandomError(Rng& rng, std::int32_t bound) {
  if constexpr (kIsComplex<K>) {
    return {static_cast<std::int32_t>(rng.Range(-bound, bound)),
            static_cast<std::int32_t>(rng.Range(-bound, bound))};
  } else {
    return static_cast<std::int32_t>(rng.Range(-bound, bound));
  }
}

struct Shape {
  std::int32_t tapsLen, delayStep, updateDelay, extra_pushes;
};

// One filter of the given shape run by the variant and by the model side by
// side: pushes (the window start moving through every alignment), outputs,
// updates whose scaled error fits a word (the kernels) and updates whose
// scaled error does not (the scalar loop). Counts the disagreements.
template <class K>
int RunAgainstModel(Variant v, const Shape& shape, bool extremes, Rng& rng) {
  FilterSpec<K> setup{
      .tapsLen = shape.tapsLen, .delayStep = shape.delayStep, .updateDelay = shape.updateDelay};
  if (extremes) {
    // Every high half -32768 and every sample -32768: each product is 2^30
    // and the sums wrap.
    if constexpr (kIsComplex<K>) {
      setup.taps.assign(shape.tapsLen, {kMin, kMin});
      setup.line.assign(setup.delayLen(), {-32768, -32768});
    } else {
      setup.taps.assign(shape.tapsLen, kMin);
      setup.line.assign(setup.delayLen(), -32768);
    }
  } else {
    setup.taps = RandomTaps<K>(rng, shape.tapsLen);
    setup.line = RandomSamples<K>(rng, setup.delayLen());
  }
  Filter<K> f(v, setup);
  Model<K> model(setup);
  if (!f.ok()) {
    ADD_FAILURE() << VariantTag(v) << " " << K::kName << " taps " << shape.tapsLen << " step "
                  << shape.delayStep << " delay " << shape.updateDelay << ": the create failed";
    return 1;
  }
  int mismatches = 0;
  auto check = [&](bool same, const char* what) {
    if (!same && ++mismatches <= 3) {
      ADD_FAILURE() << VariantTag(v) << " " << K::kName << " taps " << shape.tapsLen << " step "
                    << shape.delayStep << " delay " << shape.updateDelay << " extra pushes "
                    << shape.extra_pushes << (extremes ? " extremes" : "") << ": " << what;
    }
  };
  auto next_sample = [&] { return extremes ? setup.line[0] : RandomSample<K>(rng); };
  for (std::int32_t i = 0; i < shape.extra_pushes; ++i) {
    const auto x = next_sample();
    model.Push(x);
    if (i % 2 == 0) {
      f.Push(x);
    } else {
      check(f.PushOutput(x) == model.Output(), "push-output during the extra pushes");
    }
  }
  check(f.Output() == model.Output(), "output");
  // mu * error within 2^30 keeps |s| <= 32767; the second step takes it far
  // beyond.
  for (std::int32_t mu : {static_cast<std::int32_t>(rng.Range(1, 32767)), 1 << 20}) {
    f.SetStep(mu);
    model.SetStep(mu);
    const auto error = RandomError<K>(rng, mu == (1 << 20) ? kMax : 32767);
    f.Update(error);
    model.Update(error);
    check(f.Taps() == model.taps(), "taps after an update");
    check(f.Output() == model.Output(), "output after an update");
  }
  const auto x = next_sample();
  model.Push(x);
  check(f.PushOutput(x) == model.Output(), "push-output");
  std::int32_t index = -1;
  check(f.Line(&index) == model.Line() && index == model.index(), "delay line");
  return mismatches;
}

TEST_P(LmsFilter, MatchesModel) {
  std::vector<std::int32_t> taps_lens;
  for (std::int32_t n = 1; n <= 17; ++n) taps_lens.push_back(n);
  for (std::int32_t n : {48, 60, 72, 120}) taps_lens.push_back(n);
  Rng rng(std::string("LmsFilter.MatchesModel.") + VariantTag(variant()));
  int mismatches = 0;
  for (std::int32_t taps : taps_lens) {
    for (std::int32_t step : {1, 2, 3, 5}) {
      for (std::int32_t delay : {0, 2, 6}) {
        for (std::int32_t extra = 0; extra < 8; ++extra) {
          const Shape shape{taps, step, delay, extra};
          const bool extremes = extra == 5;
          mismatches += RunAgainstModel<Real>(variant(), shape, extremes, rng);
          mismatches += RunAgainstModel<Complex>(variant(), shape, extremes, rng);
          if (mismatches > 20) return;
        }
      }
    }
  }
}

// The scaled error s = (mu * error + 16384) >> 15 with 32-bit wrap, seen in
// the taps: from zero taps one update leaves s * x in each. The samples
// include both bounds; |s| above 32767 takes the scalar loop in a6 and w7.
TEST_P(LmsFilter, UpdateErrorRounding) {
  struct Case {
    std::int32_t mu, error, s;
  };
  constexpr Case kCases[] = {
      {1, 16384, 1},           {1, -16384, 0}, {1, -16385, -1},
      {1, 16383, 0},           {1, 49152, 2},  // 1.5 rounds up
      {1, -49152, -1},                         // -1.5 rounds up too
      {1, 1 << 30, 32768},                     // just beyond the kernels' word
      {32767, 32768, 32767},                   // the largest s the kernels take
      {-32767, 32768, -32767},                 // and the smallest
      {32768, -32768, -32768},                 // -32768 takes the scalar loop
      {65536, 65536, 0},                       // mu * error wraps to 0
      {kMax, 1, -65536},                       // the rounding addition wraps
      {-1, kMin, -65536},                      // -1 * -2^31 wraps to -2^31
      {3, 1000000, 92},
  };
  Rng rng("LmsFilter.UpdateErrorRounding");
  // 20 taps: a block of 16 and one of 4 in every kernel; stride 3 gathers.
  for (std::int32_t step : {1, 2, 3}) {
    FilterSpec<Real> real{.tapsLen = 20, .delayStep = step, .updateDelay = 2};
    real.line = RandomSamples<Real>(rng, real.delayLen());
    real.line[3] = -32768;
    real.line[4] = 32767;
    FilterSpec<Complex> complex{.tapsLen = 20, .delayStep = step, .updateDelay = 2};
    complex.line = RandomSamples<Complex>(rng, complex.delayLen());
    for (const Case& c : kCases) {
      SCOPED_TRACE(testing::Message() << "step " << step << " mu " << c.mu << " error " << c.error);
      ASSERT_EQ(ModelScaledError(c.mu, c.error), c.s) << "the table itself";
      Filter<Real> f(variant(), real);
      const Model<Real> history(real);
      f.SetStep(c.mu);
      f.Update(c.error);
      const std::vector<std::int32_t> taps = f.Taps();
      for (std::int32_t k = 0; k < real.tapsLen; ++k) {
        const std::int64_t x = history.Back(real.updateDelay + k * step);
        EXPECT_EQ(taps[k], static_cast<std::int32_t>(c.s * x)) << "tap " << k;
      }
      // Complex: the case's error as one part, its negation as the other,
      // in either order: tap = (a + jb) * conj(x).
      const auto partner = static_cast<std::int32_t>(-std::int64_t{c.error});
      for (const bool s_real : {true, false}) {
        Filter<Complex> g(variant(), complex);
        const Model<Complex> past(complex);
        const qvls_ci32 error = s_real ? qvls_ci32{c.error, partner} : qvls_ci32{partner, c.error};
        const std::int32_t a = ModelScaledError(c.mu, error.re);
        const std::int32_t b = ModelScaledError(c.mu, error.im);
        g.SetStep(c.mu);
        g.Update(error);
        const std::vector<qvls_ci32> ctaps = g.Taps();
        for (std::int32_t k = 0; k < complex.tapsLen; ++k) {
          const qvls_ci16 x = past.Back(complex.updateDelay + k * step);
          const std::int64_t re = std::int64_t{a} * x.re + std::int64_t{b} * x.im;
          const std::int64_t im = std::int64_t{b} * x.re - std::int64_t{a} * x.im;
          EXPECT_EQ(ctaps[k],
                    (qvls_ci32{static_cast<std::int32_t>(re), static_cast<std::int32_t>(im)}))
              << "complex tap " << k << (s_real ? " (s real)" : " (s imaginary)");
        }
      }
    }
  }
  // mu 0 leaves every tap as it is, whatever the error.
  FilterSpec<Complex> setup{.tapsLen = 9, .delayStep = 2, .updateDelay = 1};
  setup.taps = RandomTaps<Complex>(rng, 9);
  setup.line = RandomSamples<Complex>(rng, setup.delayLen());
  Filter<Complex> g(variant(), setup);
  g.Update({kMin, kMax});
  EXPECT_EQ(g.Taps(), setup.taps);
  FilterSpec<Real> real_setup{.tapsLen = 9, .delayStep = 1, .updateDelay = 0};
  real_setup.taps = RandomTaps<Real>(rng, 9);
  real_setup.line = RandomSamples<Real>(rng, 9);
  Filter<Real> f(variant(), real_setup);
  f.Update(kMin);
  EXPECT_EQ(f.Taps(), real_setup.taps);
}

// An unknown 8-tap FIR identified from white noise: after 3000 samples the
// taps' high halves are the system's Q15 coefficients within a few units.
// Every variant follows px's tap trajectory exactly.
TEST(LmsFilter, RealSystemIdentificationConverges) {
  constexpr std::int32_t kSystem[8] = {9830, -6554, 4915, 3277, -2458, 1638, -819, 410};
  constexpr int kSamples = 3000;
  Rng rng("LmsFilter.RealSystemIdentificationConverges");
  std::vector<std::int16_t> input(kSamples);
  for (auto& x : input) x = static_cast<std::int16_t>(rng.Range(-12000, 12000));

  std::vector<std::int32_t> px_trajectory;
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    Filter<Real> f(v, FilterSpec<Real>{.tapsLen = 8});
    ASSERT_TRUE(f.ok());
    f.SetStep(1 << 15);
    std::vector<std::int32_t> trajectory;
    for (int n = 0; n < kSamples; ++n) {
      std::int64_t wanted = 0;
      for (int k = 0; k < 8 && k <= n; ++k) wanted += std::int64_t{kSystem[k]} * input[n - k];
      const std::int32_t y = f.PushOutput(input[n]);
      f.Update(static_cast<std::int32_t>((wanted >> 15) - (y >> 15)));
      const auto taps = f.Taps();
      trajectory.insert(trajectory.end(), taps.begin(), taps.end());
    }
    const auto taps = f.Taps();
    for (int k = 0; k < 8; ++k) {
      EXPECT_NEAR(taps[k] >> 16, kSystem[k], 4) << "tap " << k;
    }
    if (v == px) {
      px_trajectory = trajectory;
    } else {
      EXPECT_TRUE(trajectory == px_trajectory) << "the tap trajectory left px's";
    }
  }
}

// A complex 4-tap channel with rotation, taps two samples apart, adapted by
// a delayed update (updateDelay 2, so each update meets the samples of the
// output two pushes earlier). Catches a wrong sign in either part, a
// conjugated product and a misplaced window: each of them leaves the taps
// far from the channel.
TEST(LmsFilter, ComplexChannelConverges) {
  constexpr int kTaps = 4;
  constexpr int kStep = 2;
  constexpr int kDelay = 2;
  constexpr int kSamples = 4000;
  const double kPi = std::numbers::pi;
  // Gains and rotations of the channel, in Q15.
  std::complex<double> channel[kTaps] = {std::polar(0.55, kPi / 6), std::polar(0.3, -1.2),
                                         std::polar(0.2, 2.6), std::polar(0.1, 0.17)};
  qvls_ci32 q15[kTaps];
  for (int k = 0; k < kTaps; ++k) {
    q15[k] = {static_cast<std::int32_t>(std::lround(channel[k].real() * 32768)),
              static_cast<std::int32_t>(std::lround(channel[k].imag() * 32768))};
  }
  Rng rng("LmsFilter.ComplexChannelConverges");
  std::vector<qvls_ci16> input(kSamples);
  for (auto& x : input) {
    x = {static_cast<std::int16_t>(rng.Range(-10000, 10000)),
         static_cast<std::int16_t>(rng.Range(-10000, 10000))};
  }

  std::vector<qvls_ci32> px_trajectory;
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    Filter<Complex> f(
        v, FilterSpec<Complex>{.tapsLen = kTaps, .delayStep = kStep, .updateDelay = kDelay});
    ASSERT_TRUE(f.ok());
    f.SetStep(1 << 14);
    std::vector<qvls_ci32> errors;
    std::vector<qvls_ci32> trajectory;
    for (int n = 0; n < kSamples; ++n) {
      std::int64_t re = 0;
      std::int64_t im = 0;
      for (int k = 0; k < kTaps && n - kStep * k >= 0; ++k) {
        const qvls_ci16 x = input[n - kStep * k];
        re += std::int64_t{q15[k].re} * x.re - std::int64_t{q15[k].im} * x.im;
        im += std::int64_t{q15[k].im} * x.re + std::int64_t{q15[k].re} * x.im;
      }
      const qvls_ci32 y = f.PushOutput(input[n]);
      errors.push_back({static_cast<std::int32_t>((re >> 15) - (y.re >> 15)),
                        static_cast<std::int32_t>((im >> 15) - (y.im >> 15))});
      if (n >= kDelay) f.Update(errors[n - kDelay]);
      const auto taps = f.Taps();
      trajectory.insert(trajectory.end(), taps.begin(), taps.end());
    }
    const auto taps = f.Taps();
    for (int k = 0; k < kTaps; ++k) {
      EXPECT_NEAR(taps[k].re >> 16, q15[k].re, 8) << "tap " << k << " real part";
      EXPECT_NEAR(taps[k].im >> 16, q15[k].im, 8) << "tap " << k << " imaginary part";
    }
    if (v == px) {
      px_trajectory = trajectory;
    } else {
      EXPECT_TRUE(trajectory == px_trajectory) << "the tap trajectory left px's";
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(LmsFilter);

}  // namespace
}  // namespace qvls_test::lms
