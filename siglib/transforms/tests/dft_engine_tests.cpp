// The float DFT's transforms: against the naive DFT at lengths of every way,
// with every flag and variant, in place too; round trips; an impulse at 1;
// the direct kernel's mirror; the bit identities between variants; the
// scale; the work buffer; the argument checks.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft_calls.h"
#include "siglib/transforms/tests/support/float_reference.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/work_buffer.h"

namespace qvls_test::transforms {
namespace {

// One length of each way: small, power of two, mixed radix (with an odd
// leaf), direct, Bluestein.
constexpr std::int32_t kOnePerWay[] = {3, 64, 98, 149, 151};

// Each length runs on a pool of its own that must end empty.
class DftEngineLength : public ::testing::TestWithParam<std::int32_t> {
 protected:
  ~DftEngineLength() override { EXPECT_EQ(pool_.LeakReport(), ""); }

  plat::ex::Pool pool_{"dft test"};
  plat::ex::ScopedPool installed_{pool_};
};

TEST_P(DftEngineLength, ForwardAndInverseAgreeWithTheNaiveDftInEveryVariantAndFlag) {
  const std::int32_t n = GetParam();
  Rng rng(SeedFor("DftEngine.Naive") + n);
  const std::vector<float> x = RandomFloats(rng, 2 * std::size_t(n));
  const ExactSpectrum spectrum(Layout::kComplex, x);
  const long double bound = DftErrorBound(WayOf(n), n);
  for (Variant v : kAllVariants) {
    for (std::int32_t flag : kDftFlags) {
      const DftContext context(kDft[v], n, flag);
      ASSERT_EQ(context.status(), QVLS_OK) << VariantTag(v) << " flag " << flag;
      for (Way way : kWays) {
        SCOPED_TRACE(::testing::Message() << VariantTag(v) << " flag " << flag
                                          << (way == Way::kForward ? " fwd" : " inv"));
        const std::vector<float> out = context.Run(way, x);
        ASSERT_LE(RelativeRmsAt(out, spectrum.Output(way, DftFlagScale(flag, way, n))), bound);
        ASSERT_EQ(context.Run(way, x, nullptr, true), out) << "in place differs";
      }
    }
  }
}

std::vector<std::int32_t> EngineLengths() {
  std::vector<std::int32_t> lengths;
  for (std::int32_t n = 1; n <= 64; ++n) lengths.push_back(n);
  lengths.insert(lengths.end(),
                 {98, 149, 150, 151, 196, 251, 257, 298, 302, 596, 1000, 2000, 2040, 3072});
  return lengths;
}

INSTANTIATE_TEST_SUITE_P(Lengths, DftEngineLength, ::testing::ValuesIn(EngineLengths()));

class DftEngine : public PooledVariantTest {
 protected:
  const DftEntries& entries() const { return kDft[variant()]; }
};

// Forward then inverse gives x back with flags 1, 2 and 4 and N·x with 8.
TEST_P(DftEngine, RoundTripsGiveTheInputBack) {
  Rng rng("DftEngine.RoundTrip");
  for (std::int32_t n : {1, 2, 3, 4, 5, 6, 12, 64, 98, 149, 151, 298, 2040}) {
    const std::vector<float> x = RandomFloats(rng, 2 * std::size_t(n));
    for (std::int32_t flag : kDftFlags) {
      SCOPED_TRACE(::testing::Message() << "N " << n << " flag " << flag);
      const DftContext context(entries(), n, flag);
      const std::vector<float> back = context.Run(Way::kInverse, context.Run(Way::kForward, x));
      Reference want;
      for (std::size_t i = 0; i < x.size(); ++i) {
        want.positions.push_back(i);
        want.values.push_back(static_cast<long double>(x[i]) * (flag == 8 ? n : 1));
      }
      EXPECT_LE(RelativeRmsAt(back, want), 2 * DftErrorBound(WayOf(n), n));
    }
  }
}

// An impulse at element 1 transforms into W_N^k forward and W_N^-k inverse.
TEST_P(DftEngine, AnImpulseAtOneGivesThePowersOfTheRoot) {
  for (std::int32_t n : kOnePerWay) {
    std::vector<float> impulse(2 * std::size_t(n), 0.0f);
    impulse[2] = 1.0f;
    const DftContext context(entries(), n, 8);
    for (Way way : kWays) {
      SCOPED_TRACE(::testing::Message() << "N " << n << (way == Way::kForward ? " fwd" : " inv"));
      const std::vector<float> out = context.Run(way, impulse);
      const long double sign = way == Way::kForward ? -1 : 1;
      Reference want;
      for (std::int32_t k = 0; k < n; ++k) {
        const long double angle = 2 * std::numbers::pi_v<long double> * k / n;
        want.positions.insert(want.positions.end(), {2 * std::size_t(k), 2 * std::size_t(k) + 1});
        want.values.insert(want.values.end(), {std::cos(angle), sign * std::sin(angle)});
      }
      EXPECT_LE(RelativeRmsAt(out, want), DftErrorBound(WayOf(n), n));
    }
  }
}

// The direct kernel's inverse is its forward result with X[j] and X[N-j]
// exchanged, bit for bit, for every prime it takes.
TEST_P(DftEngine, DirectInverseIsTheForwardMirroredBitForBit) {
  Rng rng("DftEngine.Mirror");
  for (std::int32_t n = 5; n <= 149; ++n) {
    if (WayOf(n) != DftWay::kDirect) continue;
    const std::vector<float> x = RandomFloats(rng, 2 * std::size_t(n));
    const DftContext context(entries(), n, 8);
    const std::vector<float> forward = context.Run(Way::kForward, x);
    std::vector<float> mirrored(forward.size());
    for (std::int32_t j = 0; j < n; ++j) {
      const std::int32_t from = (n - j) % n;
      mirrored[2 * j] = forward[2 * from];
      mirrored[2 * j + 1] = forward[2 * from + 1];
    }
    ASSERT_EQ(context.Run(Way::kInverse, x), mirrored) << "N " << n;
  }
}

// flag 2 scales the inverse by 1/N rounded to single; flag 4 both ways by
// 1/sqrt N, within one rounding of the exact factor.
TEST_P(DftEngine, ScaleIsTheFlagsFactorInSingle) {
  const DftContext twelve(entries(), 12, 2);
  EXPECT_EQ(twelve.get()->scale, 0.083333336f);
  EXPECT_EQ(twelve.get()->fwd_scaled, 0);
  EXPECT_EQ(twelve.get()->inv_scaled, 1);
  for (std::int32_t n : {3, 5, 12, 149, 151, 3072}) {
    const DftContext context(entries(), n, 4);
    const long double exact = 1 / std::sqrt(static_cast<long double>(n));
    EXPECT_LE(std::fabs(context.get()->scale - exact), exact * std::ldexp(1.0L, -23)) << n;
  }
}

// A work buffer of exactly the reported size at every misalignment gives
// the bits of a call that allocates its own, in place too; without one a
// failing allocation gives -9 with dst untouched. Lengths up to 4 never
// touch the work buffer.
TEST_P(DftEngine, TheWorkSizeHoldsAtEveryMisalignment) {
  Rng rng("DftEngine.Work");
  for (std::int32_t n : {3, 5, 6, 12, 16, 64, 98, 149, 151, 196, 302}) {
    const DftContext context(entries(), n, 4);
    ASSERT_EQ(context.status(), QVLS_OK);
    const std::vector<float> x = RandomFloats(rng, 2 * std::size_t(n));
    for (Way way : kWays) {
      const std::vector<float> want = context.Run(way, x);
      for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
        SCOPED_TRACE(::testing::Message() << "N " << n << " misalignment " << misalignment);
        GuardedWork work(context.WorkSize(), misalignment);
        EXPECT_EQ(context.Run(way, x, work.data()), want);
        EXPECT_EQ(context.Run(way, x, work.data(), true), want);
        ASSERT_TRUE(work.Intact());
      }
      std::vector<float> dst(x.size(), 5.0f);
      const std::uint64_t attempts = pool_.AllocationAttempts();
      pool_.FailNthAllocation(1);
      const qvls_status status =
          entries().transform[static_cast<int>(way)](x.data(), dst.data(), context.get(), nullptr);
      pool_.ClearFaults();
      if (n <= 4) {
        EXPECT_EQ(status, QVLS_OK);
        EXPECT_EQ(pool_.AllocationAttempts(), attempts) << "a small kernel needs no buffer";
        EXPECT_EQ(dst, want);
      } else if (context.WorkSize() > 0) {
        EXPECT_EQ(status, QVLS_ERR_MEM_ALLOCATED) << "N " << n;
        EXPECT_EQ(dst, std::vector<float>(x.size(), 5.0f));
      }
    }
  }
}

// The context is checked before the data: null -8, another context -17,
// then src and dst -8; nothing is written.
TEST_P(DftEngine, TheContextIsCheckedBeforeTheData) {
  const DftContext context(entries(), 12, 1);
  const FloatContext fft(kFloatFft[variant()], Layout::kComplex, 3, 1);
  std::vector<float> src(24, 1.0f), dst(24, 5.0f);
  for (auto* transform : entries().transform) {
    EXPECT_EQ(transform(src.data(), dst.data(), nullptr, nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(transform(nullptr, nullptr, reinterpret_cast<const dft_context*>(fft.get()), nullptr),
              QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(transform(nullptr, dst.data(), context.get(), nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(transform(src.data(), nullptr, context.get(), nullptr), QVLS_ERR_NULL_POINTER);
  }
  EXPECT_EQ(dst, std::vector<float>(24, 5.0f));
}

QVLS_INSTANTIATE_VARIANTS(DftEngine);

// Where the variants run the same operations in the same order they give
// the same bits: px = m6 and a6 = w7 for the small kernels and the direct
// kernel; a6 = w7 for the mixed radix and for Bluestein while a6's inner
// FFT runs the code of w7's (M <= 1024).
TEST(DftEnginePairs, SameOperationsGiveTheSameBits) {
  plat::ex::Pool pool("dft pairs");
  plat::ex::ScopedPool installed(pool);
  Rng rng("DftEnginePairs");
  struct Pair {
    Variant first, second;
  };
  for (std::int32_t n :
       {1, 2, 3, 4, 5, 7, 37, 149, 6, 12, 98, 120, 298, 2040, 3072, 151, 251, 257, 302}) {
    const DftWay way = WayOf(n);
    std::vector<Pair> pairs = {{a6, w7}};
    if (way == DftWay::kSmall || way == DftWay::kDirect) pairs.push_back({px, m6});
    const std::vector<float> x = RandomFloats(rng, 2 * std::size_t(n));
    for (const Pair& pair : pairs) {
      for (std::int32_t flag : kDftFlags) {
        const DftContext first(kDft[pair.first], n, flag);
        const DftContext second(kDft[pair.second], n, flag);
        for (Way direction : kWays) {
          EXPECT_EQ(first.Run(direction, x), second.Run(direction, x))
              << "N " << n << " flag " << flag << " " << VariantTag(pair.first) << " and "
              << VariantTag(pair.second);
        }
      }
    }
  }
  EXPECT_EQ(pool.LeakReport(), "");
}

}  // namespace
}  // namespace qvls_test::transforms
