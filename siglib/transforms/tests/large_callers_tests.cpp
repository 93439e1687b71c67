// What the large-order FFT opens to its callers: the DFT at powers of two
// above the direct limit and Bluestein lengths whose inner FFT lies above
// it, forward and inverse, and the 16-bit FFT on the floating-point path at
// its first large orders, each against direct sums in long double at spot
// bins.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft_calls.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"
#include "siglib/transforms/tests/support/float_reference.h"
#include "siglib/transforms/tests/support/large_reference.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"

namespace qvls_test::transforms {
namespace {

class LargeOrderCallers : public PooledVariantTest {};


// Powers of two 2^11 .. 2^16 and the Bluestein lengths 1021 (M = 2^11),
// 4099 (2^14) and 22801 (2^16), forward and inverse with flag 8, at spot
// bins: within the engine's error bound (4 × its RMS bound) of the RMS bin.
TEST_P(LargeOrderCallers, DftAtLengthsAboveTheDirectLimitGivesTheDirectSums) {
  Rng rng("LargeOrderCallers.Dft");
  const DftEntries& dft = kDft[variant()];
  for (std::int32_t n : {1 << 11, 1 << 12, 1 << 13, 1 << 14, 1 << 15, 1 << 16, 1021, 4099, 22801}) {
    const DftContext context(dft, n, 8);
    ASSERT_EQ(context.status(), QVLS_OK) << "N " << n;
    const std::vector<float> x = RandomFloats(rng, 2 * static_cast<std::size_t>(n));
    const long double rms = std::sqrt(Energy(x));
    const long double allowed = 4 * DftErrorBound(WayOf(n), n) * rms;
    const std::vector<std::size_t> bins = SpotBins(static_cast<std::size_t>(n), 16, rng);
    for (Way way : kWays) {
      const std::vector<float> out = context.Run(way, x);
      for (std::size_t k : bins) {
        const Complex want = DirectBin(x, Layout::kComplex, k, way);
        ASSERT_LE(std::abs(BinOf(out, k) - want), allowed)
            << "N " << n << (way == Way::kForward ? " fwd" : " inv") << " bin " << k;
      }
    }
  }
}

// The 16-bit FFT on the floating-point path (hint 2) at the first two large
// orders (px, m6, a6 11 and 12; w7 15 and 16), complex and real, with flag
// 8 and sf = order: every spot bin within 1 LSB of the exact scaled sum.
TEST_P(LargeOrderCallers, Fft16FloatPathAtLargeOrdersIsWithinOneLsb) {
  Rng rng("LargeOrderCallers.Fft16");
  const std::int32_t first = kFloatFft[variant()].direct_limit + 1;
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t complex_order : {first, first + 1}) {
      const std::int32_t order = layout == Layout::kComplex ? complex_order : complex_order + 1;
      const std::size_t n = std::size_t{1} << order;
      const Fft16Context context(ops, order, 8, 2);
      ASSERT_EQ(context.status(), QVLS_OK);
      std::vector<std::int16_t> input(ops.InputCount(order));
      for (auto& v : input) v = rng.Any<std::int16_t>();
      const std::vector<float> x(input.begin(), input.end());
      const std::vector<std::int16_t> out = context.Forward(input, order);
      std::vector<std::size_t> bins = SpotBins(n, 16, rng);
      if (layout == Layout::kReal) {
        for (std::size_t& k : bins) k = std::min(k, n - k);
      }
      const long double scale = ForwardScale(8, order, order);
      for (std::size_t k : bins) {
        const Complex want = scale * DirectBin(x, layout, k, Way::kForward);
        EXPECT_LE(std::fabs(out[2 * k] - want.real()), 1)
            << LayoutName(layout) << " order " << order << " bin " << k;
        EXPECT_LE(std::fabs(out[2 * k + 1] - want.imag()), 1)
            << LayoutName(layout) << " order " << order << " bin " << k;
      }
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(LargeOrderCallers);

}  // namespace
}  // namespace qvls_test::transforms
