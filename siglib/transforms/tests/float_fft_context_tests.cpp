// The float FFT context: the order of the create's checks, every failing
// allocation, the scale, the work size, and every table value against sines
// and cosines evaluated here in long double.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"
#include "siglib/transforms/tests/support/library_blocks.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

class FloatFftContext : public PooledVariantTest {
 protected:
  const FloatFftEntries& entries() const { return kFloatFft[variant()]; }
};

TEST_P(FloatFftContext, ArgumentsAreCheckedInOrderAndAFailedCreateKeepsNothing) {
  struct Case {
    const char* what;
    bool null_out;
    std::int32_t order, flag;
    bool fail_allocation;
    qvls_status want;
    std::uint64_t attempts;  // allocations asked of the pool
  };
  const Case cases[] = {
      {"out null first, even with order 31", true, 31, 3, false, QVLS_ERR_NULL_POINTER, 0},
      {"order -1, even with a bad flag", false, -1, 3, false, QVLS_ERR_FFT_ORDER, 0},
      {"order 31, even with a bad flag", false, 31, 3, false, QVLS_ERR_FFT_ORDER, 0},
      {"flag 3 at order 5, after the allocation", false, 5, 3, false, QVLS_ERR_FFT_FLAG, 1},
      {"flag 0 at order 0", false, 0, 0, false, QVLS_ERR_FFT_FLAG, 1},
      {"flag 16 at order 4", false, 4, 16, false, QVLS_ERR_FFT_FLAG, 1},
      {"a bad flag and a failing allocation", false, 5, 3, true, QVLS_ERR_MEM_ALLOCATED, 1},
  };
  for (Layout layout : kLayouts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << ": " << c.what);
      fft_context untouched{};
      fft_context* out = &untouched;
      const std::uint64_t attempts = pool_.AllocationAttempts();
      if (c.fail_allocation) pool_.FailNthAllocation(1);
      EXPECT_EQ(entries().create[Index(layout)](c.null_out ? nullptr : &out, c.order, c.flag, 0),
                c.want);
      pool_.ClearFaults();
      EXPECT_EQ(out, &untouched);
      EXPECT_EQ(pool_.AllocationAttempts() - attempts, c.attempts);
      EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
    }
  }
}

// Failing the k-th allocation of a create, for every k: -9, *out as it
// was, every block back in the pool.
TEST_P(FloatFftContext, FailingAnyAllocationFreesEverythingTaken) {
  for (Layout layout : kLayouts) {
    const std::int32_t largest = LargestOrder(entries(), layout);
    for (std::int32_t order : {0, 3, 4, 5, largest - 1, largest}) {
      for (std::uint64_t k = 1;; ++k) {
        SCOPED_TRACE(::testing::Message()
                     << LayoutName(layout) << " order " << order << " k " << k);
        ASSERT_LT(k, 10u) << "a create asks for a handful of blocks";
        fft_context untouched{};
        fft_context* out = &untouched;
        pool_.FailNthAllocation(k);
        const qvls_status status = entries().create[Index(layout)](&out, order, 4, 0);
        pool_.ClearFaults();
        if (status == QVLS_OK) {
          EXPECT_GT(k, order > 3 ? 3u : 1u) << "fewer blocks than the tables need";
          EXPECT_EQ(entries().destroy[Index(layout)](out), QVLS_OK);
          break;
        }
        EXPECT_EQ(status, QVLS_ERR_MEM_ALLOCATED);
        EXPECT_EQ(out, &untouched);
        EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
      }
    }
  }
}

// Destroy and work size check their context; a context of the other kind
// is refused and stays valid.
TEST_P(FloatFftContext, DestroyAndWorkSizeCheckTheirContext) {
  const FloatContext complex(entries(), Layout::kComplex, 5, 1);
  const FloatContext real(entries(), Layout::kReal, 5, 1);
  ASSERT_EQ(complex.status(), QVLS_OK);
  ASSERT_EQ(real.status(), QVLS_OK);
  std::int32_t size = -1;
  for (const auto& [layout, other] :
       {std::pair{Layout::kComplex, real.get()}, std::pair{Layout::kReal, complex.get()}}) {
    SCOPED_TRACE(LayoutName(layout));
    EXPECT_EQ(entries().destroy[Index(layout)](other), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(entries().work_size[Index(layout)](other, &size), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(entries().destroy[Index(layout)](nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entries().work_size[Index(layout)](nullptr, &size), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entries().work_size[Index(layout)](other, nullptr), QVLS_ERR_NULL_POINTER);
  }
  EXPECT_EQ(size, -1);
  EXPECT_EQ(complex.get()->id, QVLS_ID_FFT_COMPLEX);
  EXPECT_EQ(real.get()->id, QVLS_ID_FFT_REAL);
}

// The flags' directions, and the scale: exactly the single nearest 1/N or
// 1/sqrt N (N the transform's length: 2^order values or samples).
TEST_P(FloatFftContext, ScaleIsTheSingleNearestTheExactFactor) {
  struct Flag {
    std::int32_t flag, fwd_scaled, inv_scaled;
    bool square_root, zero;
  };
  const Flag flags[] = {{1, 1, 0, false, false},
                        {2, 0, 1, false, false},
                        {4, 1, 1, true, false},
                        {8, 0, 0, false, true}};
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 0; order <= LargestOrder(entries(), layout); ++order) {
      for (const Flag& f : flags) {
        SCOPED_TRACE(::testing::Message()
                     << LayoutName(layout) << " order " << order << " flag " << f.flag);
        const FloatContext context(entries(), layout, order, f.flag);
        ASSERT_EQ(context.status(), QVLS_OK);
        const fft_context& c = *context.get();
        EXPECT_EQ(c.order, order);
        EXPECT_EQ(c.fwd_scaled, f.fwd_scaled);
        EXPECT_EQ(c.inv_scaled, f.inv_scaled);
        const long double n = std::ldexp(1.0L, order);
        const float nearest =
            f.zero ? 0.0f : static_cast<float>(1 / (f.square_root ? std::sqrt(n) : n));
        EXPECT_EQ(c.scale, nearest);
      }
    }
  }
}

// 0 up to order 3; above: 0 in px and m6, 8·2^m + 16 in a6 and w7 (m the
// complex order), with the worked values.
TEST_P(FloatFftContext, WorkSizeByVariantAndOrder) {
  const bool vector = variant() == a6 || variant() == w7;
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 0; order <= LargestOrder(entries(), layout); ++order) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
      const FloatContext context(entries(), layout, order, 8);
      ASSERT_EQ(context.status(), QVLS_OK);
      const std::int32_t m = layout == Layout::kComplex ? order : order - 1;
      EXPECT_EQ(context.WorkSize(), order <= 3 || !vector ? 0 : 8 * (1 << m) + 16);
    }
  }
  struct Worked {
    Layout layout;
    std::int32_t order;
    std::int32_t want[4];  // px, m6, a6, w7
  };
  const Worked worked[] = {
      {Layout::kReal, 4, {0, 0, 80, 80}},
      {Layout::kComplex, 10, {0, 0, 8208, 8208}},
      {Layout::kComplex, 14, {-1, -1, -1, 131088}},
  };
  for (const Worked& w : worked) {
    if (w.want[variant()] < 0) continue;
    const FloatContext context(entries(), w.layout, w.order, 1);
    ASSERT_EQ(context.status(), QVLS_OK);
    EXPECT_EQ(context.WorkSize(), w.want[variant()]) << LayoutName(w.layout) << " " << w.order;
  }
}

// cos and sin of 2πk/M in long double, the quarter turns exact, rounded to
// single: the values every table entry must hold. The zeros carry the sign
// the tables give them: a twiddle's real part is the cosine, its imaginary
// part the negated sine, and cos 3π/2 is -0 as the negated sin 0 it is.
std::uint32_t Bits(float x) { return std::bit_cast<std::uint32_t>(x); }

long double Angle(std::int64_t k, std::int64_t m) {
  return 2 * std::numbers::pi_v<long double> * static_cast<long double>(k) /
         static_cast<long double>(m);
}
float Cos(std::int64_t k, std::int64_t m) {
  if ((4 * k) % m == 0) return std::array{1.0f, 0.0f, -1.0f, -0.0f}[(4 * k / m) % 4];
  return static_cast<float>(std::cos(Angle(k, m)));
}
float Sin(std::int64_t k, std::int64_t m) {
  if ((4 * k) % m == 0) return std::array{0.0f, 1.0f, 0.0f, -1.0f}[(4 * k / m) % 4];
  return static_cast<float>(std::sin(Angle(k, m)));
}

TEST_P(FloatFftContext, SineEntriesAreSinCorrectlyRounded) {
  for (std::int32_t s = 2; s <= LargestOrder(entries(), Layout::kReal); ++s) {
    const LibraryBlock<float> sine(entries().sine_table(s));
    ASSERT_NE(sine, nullptr);
    const std::int64_t size = std::int64_t{1} << s;
    for (std::int64_t i = 0; i <= size / 4; ++i) {
      ASSERT_EQ(Bits(sine.get()[i]), Bits(Sin(i, size))) << "order " << s << " entry " << i;
    }
  }
}

// Every twiddle of the complex tables (records in px and m6, pass blocks in
// a6 and w7), of a complex context and of a real one (read from the sine
// table of twice the length), and every value of the recombination table.
TEST_P(FloatFftContext, TableValuesAreTheCosinesAndSinesRoundedToSingle) {
  const bool vector = variant() == a6 || variant() == w7;
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 4; order <= LargestOrder(entries(), layout); ++order) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
      const FloatContext context(entries(), layout, order, 1);
      ASSERT_EQ(context.status(), QVLS_OK);
      const fft_context& c = *context.get();
      const std::int32_t m = layout == Layout::kComplex ? order : order - 1;
      const std::int64_t size = std::int64_t{1} << m;
      auto expect_twiddle = [&](const float* at, std::int64_t k, std::int64_t length) {
        ASSERT_EQ(Bits(at[0]), Bits(Cos(k, length))) << "W^" << k << " of " << length << ", re";
        ASSERT_EQ(Bits(at[1]), Bits(-Sin(k, length))) << "W^" << k << " of " << length << ", im";
      };
      if (!vector) {
        for (std::int64_t i = 0; i <= size / 4; ++i) {
          for (std::int64_t power = 1; power <= 3; ++power) {
            expect_twiddle(c.twiddles + 6 * i + 2 * (power - 1), power * i, size);
          }
        }
      } else {
        const float* group = c.twiddles;
        for (std::int32_t j = m % 2 == 0 ? 4 : 5; j <= m; j += 2) {
          const std::int64_t block = std::int64_t{1} << j;
          for (std::int64_t k0 = 0; k0 < block / 4; k0 += 4, group += 24) {
            for (std::int64_t lane = 0; lane < 4; ++lane) {
              for (std::int64_t power = 1; power <= 3; ++power) {
                const float pair[2] = {group[8 * (power - 1) + lane],
                                       group[8 * (power - 1) + 4 + lane]};
                expect_twiddle(pair, power * (k0 + lane), block);
              }
            }
          }
        }
        EXPECT_LE(group - c.twiddles, 2 * size) << "the blocks fit the table";
      }
      if (layout == Layout::kComplex) {
        EXPECT_EQ(c.real_twiddles, nullptr);
        continue;
      }
      // T(k) = (0.5·cos θ, 0.5 - 0.5·sin θ), θ = 2πk/N, the second rounded once.
      const std::int64_t n = std::int64_t{1} << order;
      for (std::int64_t k = vector ? 1 : 0; k < n / 4 + (vector ? 1 : 0); ++k) {
        const std::int64_t at = vector ? 8 * ((k - 1) / 4) + (k - 1) % 4 : 2 * k;
        const std::int64_t imaginary = vector ? at + 4 : at + 1;
        ASSERT_EQ(Bits(c.real_twiddles[at]), Bits(0.5f * Cos(k, n))) << "k " << k;
        ASSERT_EQ(Bits(c.real_twiddles[imaginary]),
                  Bits(static_cast<float>(0.5L - 0.5L * Sin(k, n))))
            << "k " << k;
      }
    }
  }
}

TEST_P(FloatFftContext, SmallOrdersHoldNoTable) {
  for (Layout layout : kLayouts) {
    for (std::int32_t order = 0; order <= 3; ++order) {
      const FloatContext context(entries(), layout, order, 2);
      ASSERT_EQ(context.status(), QVLS_OK);
      const fft_context& c = *context.get();
      EXPECT_EQ(c.bitrev_table, nullptr);
      EXPECT_EQ(c.twiddles, nullptr);
      EXPECT_EQ(c.real_twiddles, nullptr);
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(FloatFftContext);

}  // namespace
}  // namespace qvls_test::transforms
