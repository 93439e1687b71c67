// The large-order set-up: the work size (the column rows of the largest
// level plus the variant's constant), the split matrices (every value a
// copy or negation of a sine entry, and the right twiddle), every failing
// allocation, and the orders whose tables outgrow a 32-bit size.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"
#include "siglib/transforms/tests/support/library_blocks.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

class LargeFftSetup : public PooledVariantTest {
 protected:
  const FloatFftEntries& entries() const { return kFloatFft[variant()]; }
  bool Vector() const { return variant() == a6 || variant() == w7; }
};

// R, the four column rows of the widest level (32·2^s bytes; 0 for the
// block path alone), plus 16 (px, m6), 8208 (a6) or 131088 (w7). A real
// context of order n + 1 has the complex context's size of order n.
TEST_P(LargeFftSetup, WorkSizeIsTheWidestLevelsRowsPlusTheVariantsConstant) {
  struct Worked {
    std::int32_t order;    // complex
    std::int32_t want[4];  // px, m6, a6, w7; -1: not a large order there
  };
  const Worked worked[] = {
      {11, {16, 16, 8208, -1}},             // block path
      {12, {16, 16, 8208, -1}},             // block path
      {13, {1040, 1040, 9232, -1}},         // 5 + 8
      {18, {8208, 8208, 16400, -1}},        // 8 + 10
      {21, {32784, 32784, 40976, 196624}},  // 10 + block(11); w7 11 + 10
      {15, {4112, 4112, 12304, 132112}},    // 7 + 8; w7 5 + 10
      {17, {8208, 8208, 16400, 131344}},    // 8 + 9; w7 3 + 14
      {19, {32784, 32784, 40976, 196624}},  // 10 + 9; w7 11 + 8
  };
  for (const Worked& w : worked) {
    if (w.want[variant()] < 0) continue;
    for (Layout layout : kLayouts) {
      const std::int32_t order = layout == Layout::kComplex ? w.order : w.order + 1;
      const FloatContext context(entries(), layout, order, 1);
      ASSERT_EQ(context.status(), QVLS_OK);
      EXPECT_EQ(context.WorkSize(), w.want[variant()]) << LayoutName(layout) << " order " << order;
    }
  }
}

std::uint32_t Bits(float x) { return std::bit_cast<std::uint32_t>(x); }

// Each split level's matrix of N values: for each group of four columns k
// and each sub-transform i, W^(rev_s(i)·k) = e^(-2πi·rev_s(i)·k/N) as
// interleaved pairs (px, m6) or four real parts then four imaginary parts
// (a6, w7). Every float must be, bit for bit, an entry of the sine table of
// the context's order or its negation, and within single rounding of the
// cosine or negated sine computed here in long double.
TEST_P(LargeFftSetup, MatrixValuesAreSineEntriesAtTheirTwiddles) {
  struct Level {
    Layout layout;
    std::int32_t order;  // the context's
    std::int32_t depth;
    std::int32_t n, s;  // the level's order and split
  };
  std::vector<Level> levels;
  if (variant() == w7) {
    levels = {{Layout::kComplex, 15, 0, 15, 5},
              {Layout::kReal, 18, 0, 17, 3},
              {Layout::kComplex, 19, 0, 19, 11}};
  } else {
    levels = {{Layout::kComplex, 13, 0, 13, 5},
              {Layout::kReal, 15, 0, 14, 6},
              {Layout::kComplex, 19, 0, 19, 10}};
  }
  const char* large = std::getenv("TRANSFORMS_LARGE_TESTS");
  if (large != nullptr && std::string_view(large) == "1") {
    // Two levels: px, m6, a6 23 = 8 + (7 + 8); w7 29 is out of reach.
    if (variant() != w7) {
      levels.push_back({Layout::kComplex, 23, 0, 23, 8});
      levels.push_back({Layout::kComplex, 23, 1, 15, 7});
    }
  }
  for (const Level& level : levels) {
    SCOPED_TRACE(::testing::Message() << LayoutName(level.layout) << " order " << level.order
                                      << " depth " << level.depth);
    const FloatContext context(entries(), level.layout, level.order, 1);
    ASSERT_EQ(context.status(), QVLS_OK);
    const float* matrix = context.get()->split_twiddles[level.depth];
    ASSERT_NE(matrix, nullptr);
    const LibraryBlock<float> sine(entries().sine_table(level.order));
    ASSERT_NE(sine, nullptr);
    std::unordered_set<std::uint32_t> entries_and_negations;
    for (std::int64_t i = 0; i <= (std::int64_t{1} << level.order) / 4; ++i) {
      entries_and_negations.insert(Bits(sine.get()[i]));
      entries_and_negations.insert(Bits(-sine.get()[i]));
    }
    const std::int64_t size = std::int64_t{1} << level.n;
    const std::int64_t p = std::int64_t{1} << level.s;
    const long double step = 2 * std::numbers::pi_v<long double> / static_cast<long double>(size);
    const long double allowed = std::ldexp(1.0L, -24);
    const float* value = matrix;
    for (std::int64_t k0 = 0; k0 < size / p; k0 += 4) {
      for (std::int64_t i = 0; i < p; ++i, value += 8) {
        const std::int64_t rev = ReverseBits(static_cast<std::int32_t>(i), level.s);
        for (std::int64_t u = 0; u < 4; ++u) {
          const float re = Vector() ? value[u] : value[2 * u];
          const float im = Vector() ? value[4 + u] : value[2 * u + 1];
          const long double angle = step * static_cast<long double>(rev * (k0 + u));
          ASSERT_TRUE(entries_and_negations.contains(Bits(re)) &&
                      entries_and_negations.contains(Bits(im)))
              << "column " << k0 + u << ", sub-transform " << i;
          ASSERT_NEAR(re, std::cos(angle), allowed) << "column " << k0 + u << ", sub " << i;
          ASSERT_NEAR(im, -std::sin(angle), allowed) << "column " << k0 + u << ", sub " << i;
        }
      }
    }
  }
}

// Failing the k-th allocation of a create, for every k, at one order of
// each decomposition class (the block path, one level, the block path
// under a level; w7 its narrowest and widest columns): -9, *out as it was,
// every block back in the pool.
TEST_P(LargeFftSetup, FailingAnyAllocationFreesEverythingTaken) {
  const std::vector<std::int32_t> orders =
      variant() == w7 ? std::vector<std::int32_t>{15, 19} : std::vector<std::int32_t>{11, 13, 21};
  for (Layout layout : kLayouts) {
    for (std::int32_t complex_order : orders) {
      const std::int32_t order = layout == Layout::kComplex ? complex_order : complex_order + 1;
      for (std::uint64_t k = 1;; ++k) {
        SCOPED_TRACE(::testing::Message()
                     << LayoutName(layout) << " order " << order << " k " << k);
        ASSERT_LT(k, 16u) << "a create asks for a handful of blocks";
        fft_context untouched{};
        fft_context* out = &untouched;
        pool_.FailNthAllocation(k);
        const qvls_status status = entries().create[Index(layout)](&out, order, 2, 0);
        pool_.ClearFaults();
        if (status == QVLS_OK) {
          EXPECT_GT(k, 4u) << "fewer blocks than the tables need";
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

// A twiddle matrix of 8·2^m bytes no longer fits a positive 32-bit size
// from complex order 28 (real 29): the create refuses with -9 right after
// the context, having asked the pool for nothing else, and frees it.
TEST_P(LargeFftSetup, OrdersWhoseTablesOutgrow32BitsFailAtOnce) {
  const std::pair<Layout, std::int32_t> cases[] = {
      {Layout::kComplex, 28}, {Layout::kComplex, 29}, {Layout::kComplex, 30},
      {Layout::kReal, 29},    {Layout::kReal, 30},
  };
  for (const auto& [layout, order] : cases) {
    SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
    fft_context untouched{};
    fft_context* out = &untouched;
    const std::uint64_t attempts = pool_.AllocationAttempts();
    EXPECT_EQ(entries().create[Index(layout)](&out, order, 1, 0), QVLS_ERR_MEM_ALLOCATED);
    EXPECT_EQ(pool_.AllocationAttempts() - attempts, 1u) << "the context alone";
    EXPECT_EQ(out, &untouched);
    EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
  }
}

QVLS_INSTANTIATE_VARIANTS(LargeFftSetup);

}  // namespace
}  // namespace qvls_test::transforms
