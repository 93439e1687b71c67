// The DFT's plan and roots tables: the worked plans (radices, rests,
// strides, blocks, leaf offsets, roots, twiddles, work sizes), the same in
// every variant; roots tables exactly symmetric, within half an ulp of the
// exact roots and equal in every variant; the roots subsets' index entries.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/transforms/dft_context/roots_table.h"
#include "siglib/transforms/tests/support/dft_calls.h"
#include "siglib/transforms/tests/support/library_blocks.h"

namespace qvls_test::transforms {
namespace {

struct WorkedPlan {
  std::int32_t n;
  std::vector<std::int32_t> radices, rests, strides, blocks;
  std::int32_t leaf;
  std::vector<std::int32_t> leaf_offsets;  // empty: only the general rule is checked
  std::int32_t work_size;
};

const WorkedPlan kWorkedPlans[] = {
    {6, {2}, {3}, {1}, {1}, 3, {0}, 88},
    {12, {4}, {3}, {1}, {1}, 3, {0}, 144},
    {120, {2, 4, 3}, {60, 15, 5}, {1, 2, 8}, {1, 2, 8}, 5, {0, 2, 4, 6, 1, 3, 5, 7}, 1456},
    {196, {4, 7}, {49, 7}, {1, 4}, {1, 4}, 7, {0, 1, 2, 3}, 8 * 196 + 8 * 49 + 16},
    {300,
     {4, 3, 5},
     {75, 25, 5},
     {1, 4, 12},
     {1, 4, 12},
     5,
     {0, 4, 8, 1, 5, 9, 2, 6, 10, 3, 7, 11},
     8 * 300 + 8 * 75 + 16},
    {2040,
     {2, 4, 3, 5},
     {1020, 255, 85, 17},
     {1, 2, 8, 24},
     {1, 1, 4, 12},
     17,
     {0, 8, 16, 2, 10, 18, 4, 12, 20, 6, 14, 22},
     8 * 2040 + 8 * 1020 + 16},
    {3072,
     {4, 4, 4, 4, 4},
     {768, 192, 48, 12, 3},
     {1, 4, 16, 64, 256},
     {1, 1, 4, 16, 64},
     3,
     {},
     8 * 3072 + 8 * 768 + 16},
};

// The leaf offsets by their definition: J written in the radices of the
// last group's stages g..K-1 (most significant first), its digits read in
// reverse order of weight, times the stride of stage g.
std::vector<std::int32_t> DigitReversedOffsets(const dft_context& c) {
  const std::int32_t last = c.last_stage;
  std::int32_t g = last;  // the last group's first stage
  while (g > 0 && c.stages[g - 1].radix * c.stages[g - 1].rest <= 2000) --g;
  std::vector<std::int32_t> offsets;
  for (std::int32_t j = 0; j < c.stages[last].blocks; ++j) {
    std::int32_t rest = j, reversed = 0;
    for (std::int32_t i = last - 1; i >= g; --i) {
      reversed = reversed * c.stages[i].radix + rest % c.stages[i].radix;
      rest /= c.stages[i].radix;
    }
    offsets.push_back(reversed * c.stages[g].stride);
  }
  return offsets;
}

template <class T>
std::vector<T> Entries(const T* table, std::size_t count) {
  return std::vector<T>(table, table + count);
}

// The roots table element k's bits.
std::uint64_t Bits(const float* table, std::int64_t k) {
  std::uint64_t bits;
  std::memcpy(&bits, table + 2 * k, sizeof(bits));
  return bits;
}

class DftPlan : public ::testing::Test {
 protected:
  ~DftPlan() override { EXPECT_EQ(pool_.LeakReport(), ""); }

  plat::ex::Pool pool_{"dft plan"};
  plat::ex::ScopedPool installed_{pool_};
};

TEST_F(DftPlan, WorkedPlansInEveryVariant) {
  for (const WorkedPlan& plan : kWorkedPlans) {
    const std::size_t stages = plan.radices.size();
    const LibraryBlock<float> roots(qvlsDFTRootsTable_cf32_px(plan.n));
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(::testing::Message() << "N " << plan.n << " " << VariantTag(v));
      const DftContext context(kDft[v], plan.n, 2);
      ASSERT_EQ(context.status(), QVLS_OK);
      const dft_context& c = *context.get();
      ASSERT_EQ(c.mixed_radix, 1);
      ASSERT_EQ(c.last_stage, static_cast<std::int32_t>(stages) - 1);
      EXPECT_EQ(context.WorkSize(), plan.work_size);
      for (std::size_t i = 0; i < stages; ++i) {
        const dft_stage& s = c.stages[i];
        EXPECT_EQ(s.radix, plan.radices[i]) << "stage " << i;
        EXPECT_EQ(s.rest, plan.rests[i]) << "stage " << i;
        EXPECT_EQ(s.stride, plan.strides[i]) << "stage " << i;
        EXPECT_EQ(s.blocks, plan.blocks[i]) << "stage " << i;
        EXPECT_EQ(s.roots != nullptr, s.radix > 5) << "stage " << i;
        // Every twiddle is the root W_N^(k·m·stride), bit for bit.
        const bool small = s.radix <= 5;
        for (std::int64_t k = 0; k < s.rest; ++k) {
          for (std::int64_t m = small ? 1 : 0; m < s.radix; ++m) {
            const std::int64_t at = k * (small ? s.radix - 1 : s.radix) + m - (small ? 1 : 0);
            ASSERT_EQ(Bits(s.twiddles, at), Bits(roots.get(), k * m * s.stride))
                << "stage " << i << " k " << k << " m " << m;
          }
        }
      }
      EXPECT_EQ(c.stages[stages - 1].rest, plan.leaf);
      EXPECT_EQ(c.stages[stages].roots != nullptr, plan.leaf > 5);
      const std::vector<std::int32_t> offsets =
          Entries(c.leaf_offsets, std::size_t(c.stages[stages - 1].blocks));
      if (!plan.leaf_offsets.empty()) {
        EXPECT_EQ(offsets, plan.leaf_offsets);
      }
      EXPECT_EQ(offsets, DigitReversedOffsets(c));
      for (std::size_t i = stages + 1; i < QVLS_DFT_STAGE_RECORDS; ++i) {
        EXPECT_EQ(c.stages[i].radix, 0);
        EXPECT_EQ(c.stages[i].roots, nullptr);
      }
    }
  }
}

// 196 = 4·7·7: stage 1 and the leaf's record share one roots table of 7,
// which the destroy frees once (the pool is fatal on a second free).
TEST_F(DftPlan, ConsecutiveEqualRadicesShareOneRootsTable) {
  for (Variant v : kAllVariants) {
    const DftContext context(kDft[v], 196, 8);
    const dft_context& c = *context.get();
    ASSERT_NE(c.stages[1].roots, nullptr);
    EXPECT_EQ(c.stages[1].roots, c.stages[2].roots) << VariantTag(v);
    const float* values = qvls::dft::RootValues(c.stages[1].roots);
    const LibraryBlock<float> seven(qvlsDFTRootsTable_cf32_px(7));
    for (std::int64_t m = 0; m < 7; ++m) EXPECT_EQ(Bits(values, m), Bits(seven.get(), m));
  }
}

// The roots of n in a6 and w7 carry 2n index entries 2·(k mod n) after the
// values (the direct kernel steps through them); px and m6 hold the values.
TEST_F(DftPlan, RootsSubsetsCopyTheValuesAndTheVectorVariantsIndexThem) {
  const LibraryBlock<float> table(qvlsDFTRootsTable_cf32_px(2040));
  using Subset = dft_roots_table* (*)(std::int32_t, const float*, std::int32_t);
  const Subset subsets[] = {qvlsDFTRootsSubset_cf32_px, qvlsDFTRootsSubset_cf32_a6,
                            qvlsDFTRootsSubset_cf32_w7};
  for (std::size_t s = 0; s < std::size(subsets); ++s) {
    for (std::int32_t n : {17, 2040}) {
      const LibraryBlock<dft_roots_table> subset(subsets[s](n, table.get(), 2040));
      ASSERT_NE(subset, nullptr);
      const float* values = qvls::dft::RootValues(subset.get());
      for (std::int64_t m = 0; m < n; ++m) {
        ASSERT_EQ(Bits(values, m), Bits(table.get(), m * (2040 / n))) << "n " << n;
      }
      if (s == 0) continue;
      const std::int32_t* entries = qvls::dft::IndexEntries(subset.get(), n);
      for (std::int32_t k = 0; k < 2 * n; ++k) ASSERT_EQ(entries[k], 2 * (k % n)) << "n " << n;
    }
  }
  pool_.FailNthAllocation(1);
  EXPECT_EQ(qvlsDFTRootsSubset_cf32_a6(17, table.get(), 2040), nullptr);
  pool_.FailNthAllocation(1);
  EXPECT_EQ(qvlsDFTRootsTable_cf32_w7(17), nullptr);
}

// The exact root W_T^k: the quarter turns exactly, the rest in long double.
std::complex<long double> ExactRoot(std::int64_t k, std::int64_t t) {
  if ((4 * k) % t == 0) {
    const std::complex<long double> quarter_turns[] = {{1, 0}, {0, -1}, {-1, 0}, {0, 1}};
    return quarter_turns[4 * k / t];
  }
  const long double angle = 2 * std::numbers::pi_v<long double> * k / t;
  return {std::cos(angle), -std::sin(angle)};
}

// |x - exact| in units of the spacing of singles at x: a value rounded to
// the nearest single is within 0.5.
long double UlpError(float x, long double exact) {
  const float up = std::nextafter(std::fabs(x), INFINITY);
  return std::fabs(x - exact) / (up - std::fabs(x));
}

// T odd, T = 2 mod 4 and T = 0 mod 4: element 0 is {1, -0}, every element
// above T/2 the conjugate of element T - k bit for bit, every element within
// half an ulp of the exact root, and every variant builds the same bits.
TEST_F(DftPlan, RootsTablesAreExactlySymmetricAccurateAndTheSameInEveryVariant) {
  using Builder = float* (*)(std::int32_t);
  const Builder builders[] = {qvlsDFTRootsTable_cf32_px, qvlsDFTRootsTable_cf32_m6,
                              qvlsDFTRootsTable_cf32_a6, qvlsDFTRootsTable_cf32_w7};
  std::vector<std::int32_t> lengths;
  for (std::int32_t t = 1; t <= 64; ++t) lengths.push_back(t);
  lengths.insert(lengths.end(), {98, 149, 150, 151, 298, 302, 596, 1000, 2040, 3072, 4098});
  for (std::int32_t t : lengths) {
    SCOPED_TRACE(::testing::Message() << "T " << t);
    const LibraryBlock<float> table(builders[0](t));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(std::bit_cast<std::uint32_t>(table.get()[0]), std::bit_cast<std::uint32_t>(1.0f));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(table.get()[1]), std::bit_cast<std::uint32_t>(-0.0f));
    for (std::int64_t k = t / 2 + 1; k < t; ++k) {
      ASSERT_EQ(table.get()[2 * k], table.get()[2 * (t - k)]) << "k " << k;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(table.get()[2 * k + 1]),
                std::bit_cast<std::uint32_t>(-table.get()[2 * (t - k) + 1]))
          << "k " << k;
    }
    for (std::int64_t k = 0; k < t; ++k) {
      const std::complex<long double> exact = ExactRoot(k, t);
      ASSERT_LE(UlpError(table.get()[2 * k], exact.real()), 0.5001L) << "k " << k;
      ASSERT_LE(UlpError(table.get()[2 * k + 1], exact.imag()), 0.5001L) << "k " << k;
    }
    for (std::size_t b = 1; b < std::size(builders); ++b) {
      const LibraryBlock<float> other(builders[b](t));
      ASSERT_EQ(std::memcmp(other.get(), table.get(), 8 * std::size_t(t)), 0) << "builder " << b;
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
