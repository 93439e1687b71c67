// The float FFT's transforms: against the naive DFT at every order, flag and
// variant; round trips and Parseval; impulse and tone; the real spectrum's
// zero imaginary parts; in place; the work buffer; the argument checks; the
// permutations and the multiply by a constant of every variant.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <tuple>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/tests/support/float_reference.h"
#include "siglib/transforms/tests/support/library_blocks.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/work_buffer.h"

namespace qvls_test::transforms {
namespace {

class FloatFft : public PooledVariantTest {
 protected:
  const FloatFftEntries& entries() const { return kFloatFft[variant()]; }
};

// Every order up to the direct limit (real one more), every flag, forward
// and inverse, out of place and in place (the same bits).
TEST_P(FloatFft, EveryOrderAndFlagAgreesWithTheNaiveDft) {
  Rng rng("FloatFft.Naive");
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 0; order <= LargestOrder(entries(), layout); ++order) {
      const std::vector<float> x = RandomFloats(rng, FloatInputs(layout, order));
      const ExactSpectrum spectrum(layout, x);
      for (std::int32_t flag : kFlags) {
        const FloatContext context(entries(), layout, order, flag);
        ASSERT_EQ(context.status(), QVLS_OK);
        for (Way way : WaysOf(layout)) {
          SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order << " flag "
                                            << flag << (way == Way::kForward ? " fwd" : " inv"));
          const std::vector<float> out = context.Run(way, x);
          const Reference exact = spectrum.Output(way, FlagScale(flag, way, order));
          ASSERT_LE(RelativeRmsAt(out, exact), ErrorBound(order));
          ASSERT_EQ(context.Run(way, x, nullptr, true), out) << "in place differs";
        }
      }
    }
  }
}

// Forward then inverse gives x back with flags 1, 2 and 4, and N·x with
// flag 8; the forward keeps the energy (Parseval: Σ|X|² = N·Σ|x|²).
TEST_P(FloatFft, RoundTripAndParseval) {
  Rng rng("FloatFft.RoundTrip");
  for (std::int32_t order = 0; order <= entries().direct_limit; ++order) {
    const std::vector<float> x = RandomFloats(rng, FloatInputs(Layout::kComplex, order));
    const long double n = std::ldexp(1.0L, order);
    long double energy = 0;
    for (float v : x) energy += static_cast<long double>(v) * v;
    for (std::int32_t flag : kFlags) {
      SCOPED_TRACE(::testing::Message() << "order " << order << " flag " << flag);
      const FloatContext context(entries(), Layout::kComplex, order, flag);
      const std::vector<float> spectrum = context.Run(Way::kForward, x);
      const std::vector<float> back = context.Run(Way::kInverse, spectrum);
      Reference want{{}, {}};
      for (std::size_t i = 0; i < x.size(); ++i) {
        want.positions.push_back(i);
        want.values.push_back(flag == 8 ? n * x[i] : x[i]);
      }
      EXPECT_LE(RelativeRmsAt(back, want), 2 * ErrorBound(order));
      long double spectral = 0;
      for (float v : spectrum) spectral += static_cast<long double>(v) * v;
      const long double f = FlagScale(flag, Way::kForward, order);
      EXPECT_NEAR(spectral / (f * f * n * energy), 1, 2 * ErrorBound(order));
    }
  }
}

// e^(-2πik/N) as the table would hold it: cos and -sin rounded to single,
// the quarter turns exact.
std::complex<float> Twiddle(std::int64_t k, std::int64_t n) {
  if ((4 * k) % n == 0) {
    const std::complex<float> turns[] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}};
    return turns[4 * k / n];
  }
  const long double angle = 2 * std::numbers::pi_v<long double> * k / n;
  return {static_cast<float>(std::cos(angle)), static_cast<float>(-std::sin(angle))};
}

// An impulse at 1 (flag 8): every bin holds the twiddle W^k exactly
// (complex); within a unit of the last place of 1 (real, whose
// recombination rounds). A tone at bin 1 gives one bin, N, and zeros.
TEST_P(FloatFft, ImpulseGivesTheTwiddlesAndAToneOneBin) {
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 1; order <= LargestOrder(entries(), layout); ++order) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
      const std::int64_t n = std::int64_t{1} << order;
      const FloatContext context(entries(), layout, order, 8);
      std::vector<float> impulse(FloatInputs(layout, order), 0.0f);
      impulse[layout == Layout::kComplex ? 2 : 1] = 1;
      const std::vector<float> bins = context.Run(Way::kForward, impulse);
      const std::int64_t count = layout == Layout::kComplex ? n : n / 2 + 1;
      for (std::int64_t k = 0; k < count; ++k) {
        const std::complex<float> w = Twiddle(k, n);
        if (layout == Layout::kComplex) {
          ASSERT_EQ(bins[2 * k], w.real()) << "bin " << k;
          ASSERT_EQ(bins[2 * k + 1], w.imag()) << "bin " << k;
        } else {
          ASSERT_NEAR(bins[2 * k], w.real(), 0x1p-23) << "bin " << k;
          ASSERT_NEAR(bins[2 * k + 1], w.imag(), 0x1p-23) << "bin " << k;
        }
      }
      // The tone: cos (real) or e^(2πij/N) (complex) at amplitude 1.
      std::vector<float> tone(FloatInputs(layout, order));
      for (std::int64_t j = 0; j < n; ++j) {
        const std::complex<float> w = std::conj(Twiddle(j, n));
        if (layout == Layout::kComplex) {
          tone[2 * j] = w.real();
          tone[2 * j + 1] = w.imag();
        } else {
          tone[j] = w.real();
        }
      }
      const std::vector<float> spectrum = context.Run(Way::kForward, tone);
      const float peak = layout == Layout::kComplex || n == 2 ? static_cast<float>(n) : n / 2.0f;
      const long double bound = ErrorBound(order) * n;
      for (std::int64_t k = 0; k < count; ++k) {
        const float want = k == 1 ? peak : 0;
        ASSERT_NEAR(spectrum[2 * k], want, bound) << "bin " << k;
        ASSERT_NEAR(spectrum[2 * k + 1], 0, bound) << "bin " << k;
      }
    }
  }
}

// The real spectrum's X(0) and X(N/2) are real, exactly, whatever the input.
TEST_P(FloatFft, RealSpectrumEndsHaveZeroImaginaryParts) {
  Rng rng("FloatFft.RealEnds");
  for (std::int32_t order = 0; order <= LargestOrder(entries(), Layout::kReal); ++order) {
    for (std::int32_t flag : kFlags) {
      const FloatContext context(entries(), Layout::kReal, order, flag);
      const std::vector<float> x = RandomFloats(rng, FloatInputs(Layout::kReal, order));
      for (bool in_place : {false, true}) {
        const std::vector<float> out = context.Run(Way::kForward, x, nullptr, in_place);
        const std::size_t n = std::size_t{1} << order;
        EXPECT_EQ(std::bit_cast<std::uint32_t>(out[1]), 0u) << "order " << order;
        if (n > 1) {
          EXPECT_EQ(std::bit_cast<std::uint32_t>(out[n + 1]), 0u) << "order " << order;
        }
      }
    }
  }
}

// A work buffer of exactly work_size bytes at each of the 16 misalignments:
// nothing written outside it, the result of a call that allocates its own.
TEST_P(FloatFft, TheWorkSizeHoldsAtEveryMisalignment) {
  Rng rng("FloatFft.Work");
  for (Layout layout : kLayouts) {
    const std::int32_t largest = LargestOrder(entries(), layout);
    for (std::int32_t order : {3, 4, 5, largest - 1, largest}) {
      const FloatContext context(entries(), layout, order, 4);
      const std::int32_t size = context.WorkSize();
      const std::vector<float> x = RandomFloats(rng, FloatInputs(layout, order));
      for (Way way : WaysOf(layout)) {
        const std::vector<float> want = context.Run(way, x);
        for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
          SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order
                                            << " misalignment " << misalignment);
          GuardedWork work(size, misalignment);
          for (bool in_place : {false, true}) {
            ASSERT_EQ(context.Run(way, x, work.data(), in_place), want);
            ASSERT_TRUE(work.Intact());
          }
        }
      }
    }
  }
}

// A null work pointer costs one block of the work size for the call (none
// when the size is 0); when the pool refuses it: -9, dst untouched.
TEST_P(FloatFft, ANullWorkPointerAllocatesOneBlockOrFailsCleanly) {
  std::vector<plat::ex::PoolEvent> events;
  pool_.SetObserver([&](const plat::ex::PoolEvent& e) { events.push_back(e); });
  for (Layout layout : kLayouts) {
    for (std::int32_t order : {3, 4, LargestOrder(entries(), layout)}) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
      const FloatContext context(entries(), layout, order, 1);
      const std::vector<float> x(FloatInputs(layout, order), 0.5f);
      for (Way way : WaysOf(layout)) {
        events.clear();
        context.Run(way, x);
        if (context.WorkSize() == 0) {
          EXPECT_TRUE(events.empty());
          continue;
        }
        ASSERT_EQ(events.size(), 2u);
        EXPECT_EQ(events[0].bytes, static_cast<SIZE_T>(context.WorkSize()) + 40);
        std::vector<float> dst(FloatOutputs(layout, order), 3.0f);
        pool_.FailNthAllocation(1);
        EXPECT_EQ(context.Entry(way)(x.data(), dst.data(), context.get(), nullptr),
                  QVLS_ERR_MEM_ALLOCATED);
        pool_.ClearFaults();
        EXPECT_EQ(dst, std::vector<float>(dst.size(), 3.0f));
      }
    }
  }
}

// Checks in order: context null, its kind, src, dst; nothing written.
TEST_P(FloatFft, TheContextIsCheckedBeforeTheData) {
  const FloatContext complex(entries(), Layout::kComplex, 4, 1);
  const FloatContext real(entries(), Layout::kReal, 4, 1);
  std::vector<float> src(32, 1.0f), dst(32, 3.0f);
  const std::vector<float> untouched = dst;
  for (const auto& [entry, own, other] :
       {std::tuple{entries().forward[0], complex.get(), real.get()},
        std::tuple{entries().inverse, complex.get(), real.get()},
        std::tuple{entries().forward[1], real.get(), complex.get()}}) {
    EXPECT_EQ(entry(src.data(), dst.data(), nullptr, nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(src.data(), dst.data(), other, nullptr), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(entry(nullptr, nullptr, other, nullptr), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(entry(nullptr, dst.data(), own, nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(src.data(), nullptr, own, nullptr), QVLS_ERR_NULL_POINTER);
  }
  EXPECT_EQ(dst, untouched);
}

QVLS_INSTANTIATE_VARIANTS(FloatFft);

// a6 and w7 give the same bits for every transform a6 runs (complex orders
// up to 10, real up to 11): at complex order 10 a6 permutes and runs its
// in-place passes where w7 runs its reordering kernel.
TEST(FloatFftPair, A6EqualsW7) {
  Rng rng("FloatFftPair");
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 0; order <= LargestOrder(kFloatFft[a6], layout); ++order) {
      for (std::int32_t flag : kFlags) {
        const FloatContext first(kFloatFft[a6], layout, order, flag);
        const FloatContext second(kFloatFft[w7], layout, order, flag);
        const std::vector<float> x = RandomFloats(rng, FloatInputs(layout, order));
        for (Way way : WaysOf(layout)) {
          const std::vector<float> a = first.Run(way, x), b = second.Run(way, x);
          ASSERT_EQ(std::memcmp(a.data(), b.data(), 4 * a.size()), 0)
              << LayoutName(layout) << " order " << order << " flag " << flag;
        }
      }
    }
  }
}

// The float engine's permutations of m6, a6 and w7 move the elements as px's
// do, in place and out of place, with the data at 0 and 8 mod 16 and at 4
// mod 8.
TEST(FloatPermutations, EqualPxAtEveryAlignment) {
  struct Permutations {
    const char* name;
    qvlsBitReverse_cf32_ip_fn* in_place;
    qvlsBitReverse_cf32_fn* out_of_place;
  };
  const Permutations variants[] = {{"m6", qvlsBitReverse_cf32_ip_m6, qvlsBitReverse_cf32_m6},
                                   {"a6", qvlsBitReverse_cf32_ip_a6, qvlsBitReverse_cf32_a6},
                                   {"w7", qvlsBitReverse_cf32_ip_w7, qvlsBitReverse_cf32_w7}};
  Rng rng("FloatPermutations");
  for (std::int32_t order = 2; order <= 12; ++order) {
    const std::size_t n = std::size_t{1} << order;
    const LibraryBlock<std::int32_t> list(qvlsFFTSwapList_i32_px(order));
    const std::vector<std::uint32_t> data = rng.Vector<std::uint32_t>(2 * n);
    std::vector<std::uint32_t> want = data;
    qvlsBitReverse_cf32_ip_px(want.data(), static_cast<std::int32_t>(n), list.get());
    for (const Permutations& p : variants) {
      for (std::size_t misalignment : {0, 8, 4, 12}) {
        SCOPED_TRACE(::testing::Message()
                     << p.name << " order " << order << " misalignment " << misalignment);
        GuardedBuffer<std::uint32_t> in_place(data, misalignment);
        p.in_place(in_place.data(), static_cast<std::int32_t>(n), list.get());
        ASSERT_EQ(in_place.Load(), want);
        if (n < 8) continue;
        const GuardedBuffer<std::uint32_t> src(data, misalignment);
        for (std::size_t dst_misalignment : {0, 8, 4}) {
          GuardedBuffer<std::uint32_t> dst(2 * n, dst_misalignment);
          p.out_of_place(src.data(), dst.data(), static_cast<std::int32_t>(n), list.get());
          ASSERT_EQ(dst.Load(), want) << "dst misalignment " << dst_misalignment;
        }
      }
    }
  }
}

// Each element times the constant, rounded once to single: every variant,
// lengths 0..40, at every address of a 16-byte period.
TEST(MulConst, EqualsTheFloatProductAtEveryLengthAndAlignment) {
  qvlsMulConst_f32_ip_fn* const entries[] = {qvlsMulConst_f32_ip_px, qvlsMulConst_f32_ip_a6,
                                             qvlsMulConst_f32_ip_w7};
  Rng rng("MulConst");
  for (auto* mul_const : entries) {
    for (std::size_t count = 0; count <= 40; ++count) {
      const std::vector<float> data = RandomFloats(rng, count);
      const float value = RandomFloats(rng, 1)[0] * 1000;
      std::vector<float> want(count);
      for (std::size_t i = 0; i < count; ++i) want[i] = data[i] * value;
      for (std::size_t offset = 0; offset < 16; ++offset) {
        SCOPED_TRACE(::testing::Message() << "count " << count << " offset " << offset);
        GuardedBuffer<float> buffer(data, offset);
        CallKeepingFpSettings(mul_const, value, buffer.data(), static_cast<std::int32_t>(count));
        ASSERT_EQ(buffer.Load(), want);
      }
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
