// The large-order FFT against direct sums in long double, for every variant
// and each decomposition class: the block path (11, 12), one split level
// (13..20; w7 15..20, with column transforms of 32, 16 and 8 points at
// 15..17), the block path under a level (21) and two levels (23, only with
// TRANSFORMS_LARGE_TESTS=1). At each complex order m the
// complex forward and inverse run at order m and the real forward at m + 1,
// whose half-length transform has order m:
// - spot bins, the round trip and Parseval's sum at every flag;
// - an impulse at 1 gives W^k and a single tone one bin, at every bin;
// - in place, a work buffer at odd addresses and data off their 16-byte
//   boundary give the same bits.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/float_reference.h"
#include "siglib/transforms/tests/support/large_reference.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/work_buffer.h"

namespace qvls_test::transforms {
namespace {

constexpr std::int32_t kLargestDefaultOrder = 22;
constexpr std::int32_t kLargestCreatedOrder = 27;

bool LargeTestsOn() {
  const char* value = std::getenv("TRANSFORMS_LARGE_TESTS");
  return value != nullptr && std::string_view(value) == "1";
}

struct LargeCase {
  Variant variant;
  std::int32_t order;  // of the complex transform
};

std::string CaseName(const ::testing::TestParamInfo<LargeCase>& info) {
  return std::string(VariantTag(info.param.variant)) + "_" + std::to_string(info.param.order);
}

#ifdef VX_SANITIZE
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

// m6's large-order routines are px's over m6's own radix passes and block
// table: its orders beyond one split level run nothing px's do not.
constexpr std::int32_t kLargestOwnM6Order = 13;

// One order of each decomposition class and kind of level: px and a6 the
// block path at 11 and 12, levels with odd and even splits and sub-orders
// (13, 14, 19), the block path under a level (21) and two levels (23); m6
// its block path (11, 12) and one level over its passes (13); w7 its column
// orders 5, 4 and 3 (15, 16, 17), its levels of 11 and 12 columns (19, 20)
// and two levels (23).
std::vector<LargeCase> EachClass() {
  const std::vector<std::int32_t> scalar{11, 12, 13, 14, 19, 21, 23};
  const std::vector<std::int32_t> w7{15, 16, 17, 19, 20, 23};
  std::vector<LargeCase> cases;
  for (Variant v : kAllVariants) {
    for (std::int32_t order : v == Variant::w7 ? w7 : scalar) {
      if (v == Variant::m6 && order > kLargestOwnM6Order) continue;
      cases.push_back({v, order});
    }
  }
  return cases;
}

// The spot bins run at every order from the variant's first large one up to
// 2^20, and with TRANSFORMS_LARGE_TESTS=1 on up to the largest created (the
// sanitizer build: at each class below 2^20). The other orders above 2^20
// are classes the structural checks take.
std::vector<LargeCase> SpotCases() {
  std::vector<LargeCase> cases;
  if (kSanitized) {
    cases = EachClass();
    std::erase_if(cases, [](const LargeCase& c) { return c.order >= 20; });
    return cases;
  }
  const std::int32_t last = LargeTestsOn() ? kLargestCreatedOrder : 20;
  for (Variant v : kAllVariants) {
    for (std::int32_t order = kFloatFft[v].direct_limit + 1; order <= last; ++order) {
      if (v == Variant::m6 && order > kLargestOwnM6Order) continue;
      cases.push_back({v, order});
    }
  }
  return cases;
}

class LargeFft : public Pooled<::testing::TestWithParam<LargeCase>> {
 protected:
  void SetUp() override {
    if (GetParam().order > kLargestDefaultOrder && !LargeTestsOn()) {
      GTEST_SKIP() << "a two-level order: runs with TRANSFORMS_LARGE_TESTS=1";
    }
  }

  const FloatFftEntries& entries() const { return kFloatFft[GetParam().variant]; }
  // The context's order: the real transform's is one above the complex one.
  std::int32_t OrderOf(Layout layout) const {
    return layout == Layout::kComplex ? GetParam().order : GetParam().order + 1;
  }
  Rng NewRng(std::string_view test) const {
    return Rng(SeedFor(test) ^ static_cast<std::uint64_t>(GetParam().order));
  }
};

// The error allowed at a bin: 4 × 3·log2(N)·2^-24 of the RMS bin magnitude.
long double Tolerance(std::int32_t order) { return 4 * ErrorBound(order); }


// |a - b|² <= allowed², without the square root.
bool Within(const Complex& a, const Complex& b, long double allowed) {
  return std::norm(a - b) <= allowed * allowed;
}

// Σ |X(k)|² over all N bins; a real spectrum holds bins 0..N/2, the others
// being their conjugates.
long double SpectrumEnergy(std::span<const float> out, Layout layout, std::size_t n) {
  if (layout == Layout::kComplex) return Energy(out);
  long double sum = 0;
  for (std::size_t k = 0; k <= n / 2; ++k) {
    sum += (k == 0 || k == n / 2 ? 1 : 2) * std::norm(BinOf(out, k));
  }
  return sum;
}

// Every flag: the forward transform at spot bins against the direct sums
// times the flag's factor, with Parseval's sum; the complex result taken
// back by the inverse, which must give the input times N and both factors,
// again with Parseval's sum. The inverse at the mirrored spot bins N - k
// (flag 2), whose direct sums are those of the forward transform at k.
TEST_P(LargeFft, SpotBinsRoundTripAndParsevalHoldAtEveryFlag) {
  Rng rng = NewRng("LargeFft.Spot");
  for (Layout layout : kLayouts) {
    const std::int32_t order = OrderOf(layout);
    const std::size_t n = std::size_t{1} << order;
    const long double tolerance = Tolerance(order);
    const std::vector<float> x = RandomFloats(rng, FloatInputs(layout, order));
    const long double energy = Energy(x);
    const long double rms = std::sqrt(energy);  // of the unscaled spectrum's bins
    // Fewer at the two-level orders, where each direct sum is longest.
    std::vector<std::size_t> bins =
        SpotBins(n, GetParam().order > kLargestDefaultOrder ? 8 : 16, rng);
    if (layout == Layout::kReal) {
      for (std::size_t& k : bins) k = std::min(k, n - k);
    }
    std::vector<Complex> reference;
    for (std::size_t k : bins) reference.push_back(DirectBin(x, layout, k, Way::kForward));
    auto expect_spot_bins = [&](std::span<const float> out, Way way, long double scale) {
      for (std::size_t b = 0; b < bins.size(); ++b) {
        const std::size_t k = way == Way::kForward ? bins[b] : (n - bins[b]) % n;
        ASSERT_TRUE(Within(BinOf(out, k), scale * reference[b], tolerance * scale * rms))
            << "bin " << k;
      }
    };
    auto expect_parseval = [&](std::span<const float> out, long double input_energy,
                               long double scale) {
      const long double expected = scale * scale * static_cast<long double>(n) * input_energy;
      EXPECT_NEAR(SpectrumEnergy(out, layout, n) / expected, 1, 2 * tolerance);
    };
    for (std::int32_t flag : kFlags) {
      SCOPED_TRACE(::testing::Message()
                   << LayoutName(layout) << " order " << order << " flag " << flag);
      const FloatContext context(entries(), layout, order, flag);
      ASSERT_EQ(context.status(), QVLS_OK);
      const long double forward = FlagScale(flag, Way::kForward, order);
      const std::vector<float> spectrum = context.Run(Way::kForward, x);
      expect_spot_bins(spectrum, Way::kForward, forward);
      expect_parseval(spectrum, energy, forward);
      if (layout == Layout::kReal) continue;
      const long double inverse = FlagScale(flag, Way::kInverse, order);
      if (flag == 2) expect_spot_bins(context.Run(Way::kInverse, x), Way::kInverse, inverse);
      const std::vector<float> back = context.Run(Way::kInverse, spectrum);
      expect_parseval(back, Energy(spectrum), inverse);
      const long double factor = static_cast<long double>(n) * forward * inverse;
      const long double allowed = 2 * tolerance * factor * std::sqrt(energy / n);
      for (std::size_t j = 0; j < n; ++j) {
        ASSERT_TRUE(Within(BinOf(back, j), factor * BinOf(x, j), allowed)) << "value " << j;
      }
    }
  }
}

// The structural checks, at one order of each class.
class LargeFftShape : public LargeFft {};

// Unscaled: an impulse at 1 gives W^k (W^-k inverse) at every bin; a tone
// e^(±2πi·f·j/N) (cos for real samples) gives N (N/2) at bin f and nothing
// elsewhere.
TEST_P(LargeFftShape, AnImpulseGivesTheRootsAndAToneOneBin) {
  Rng rng = NewRng("LargeFft.Structured");
  for (Layout layout : kLayouts) {
    const std::int32_t order = OrderOf(layout);
    const std::size_t n = std::size_t{1} << order;
    const std::size_t bins = layout == Layout::kComplex ? n : n / 2 + 1;
    const FloatContext context(entries(), layout, order, 8);
    ASSERT_EQ(context.status(), QVLS_OK);
    std::vector<float> impulse(FloatInputs(layout, order), 0.0f);
    impulse[layout == Layout::kComplex ? 2 : 1] = 1.0f;
    const auto f = static_cast<std::size_t>(rng.Range(1, static_cast<std::int64_t>(n / 2 - 1)));
    for (Way way : WaysOf(layout)) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order
                                        << (way == Way::kForward ? " fwd" : " inv"));
      const std::vector<float> roots = context.Run(way, impulse);
      RootWalk root(n, way);
      for (std::size_t k = 0; k < bins; ++k) {
        ASSERT_TRUE(Within(BinOf(roots, k), root.Next(), Tolerance(order))) << "bin " << k;
      }
      // The tone whose transform this way concentrates in bin f.
      std::vector<float> tone(FloatInputs(layout, order));
      RootWalk wave(n, way == Way::kForward ? Way::kInverse : Way::kForward, f);
      for (std::size_t j = 0; j < n; ++j) {
        const Complex v = wave.Next();
        if (layout == Layout::kComplex) {
          tone[2 * j] = static_cast<float>(v.real());
          tone[2 * j + 1] = static_cast<float>(v.imag());
        } else {
          tone[j] = static_cast<float>(v.real());
        }
      }
      const std::vector<float> out = context.Run(way, tone);
      const long double peak = layout == Layout::kComplex ? n : n / 2;
      // The spectrum's whole energy is in one bin: the error a bin may carry
      // is measured against it (the peak itself is stored with a rounding
      // of up to half a unit in its last place).
      const long double allowed = Tolerance(order) * peak;
      for (std::size_t k = 0; k < bins; ++k) {
        ASSERT_TRUE(Within(BinOf(out, k), k == f ? peak : 0, allowed))
            << "tone at " << f << ", bin " << k;
      }
    }
  }
}

std::vector<std::uint32_t> Bits(std::span<const float> values) {
  std::vector<std::uint32_t> bits(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) bits[i] = std::bit_cast<std::uint32_t>(values[i]);
  return bits;
}

// With both directions scaled, each gives the bits of an aligned call that
// allocates its own work buffer: in place with a work buffer of exactly the
// work size at an odd address; into data 4 bytes off a 16-byte boundary,
// and in place 8 bytes off one (the vector leaves then pass through the
// work buffer), each with the work buffer at another odd address. Nothing
// is written outside the buffers.
TEST_P(LargeFftShape, InPlaceOddWorkAndUnalignedDataGiveTheSameBits) {
  Rng rng = NewRng("LargeFft.Placement");
  for (Layout layout : kLayouts) {
    const std::int32_t order = OrderOf(layout);
    const FloatContext context(entries(), layout, order, 4);
    ASSERT_EQ(context.status(), QVLS_OK);
    const std::vector<float> x = RandomFloats(rng, FloatInputs(layout, order));
    const std::size_t outputs = FloatOutputs(layout, order);
    std::vector<std::uint32_t> x_bits = Bits(x);
    x_bits.resize(outputs);
    for (Way way : WaysOf(layout)) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order
                                        << (way == Way::kForward ? " fwd" : " inv"));
      const std::vector<std::uint32_t> want = Bits(context.Run(way, x));
      {
        GuardedWork work(context.WorkSize(), 1);
        ASSERT_EQ(Bits(context.Run(way, x, work.data(), true)), want) << "in place";
        ASSERT_TRUE(work.Intact());
      }
      for (const auto& [offset, in_place] : {std::pair{4, false}, std::pair{8, true}}) {
        GuardedBuffer<std::uint32_t> data(x_bits, offset);
        GuardedWork work(context.WorkSize(), offset + 3);
        auto* to = reinterpret_cast<float*>(data.data());
        const float* from = in_place ? to : x.data();
        ASSERT_EQ(context.Entry(way)(from, to, context.get(), work.data()), QVLS_OK);
        ASSERT_EQ(data.Load(), want)
            << (in_place ? "in place " : "into data ") << offset << " bytes off";
        ASSERT_TRUE(work.Intact());
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, LargeFft, ::testing::ValuesIn(SpotCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Classes, LargeFftShape, ::testing::ValuesIn(EachClass()), CaseName);

}  // namespace
}  // namespace qvls_test::transforms
