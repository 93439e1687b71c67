// The DFT context's create, destroy and work size: the order of the
// argument checks, the way of each length as its work size shows it, a
// failing allocation at every point of every way, sizes beyond 32 bits,
// and the lengths whose inner FFT lies above the direct limit.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <utility>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/frame/slots.h"
#include "siglib/transforms/dft16/dft16.h"
#include "siglib/transforms/tests/support/dft_calls.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

class DftCreate : public PooledVariantTest {
 protected:
  const DftEntries& entries() const { return kDft[variant()]; }
  bool vector() const { return variant() == a6 || variant() == w7; }

  // The work size of this variant's complex FFT of an order.
  std::int32_t FftWorkSize(std::int32_t order) const {
    const FloatContext fft(kFloatFft[variant()], Layout::kComplex, order, 8);
    EXPECT_EQ(fft.status(), QVLS_OK) << "order " << order;
    return fft.WorkSize();
  }
};

// out null -8 (even with length 0); a length below 1 -6 before anything is
// allocated; a bad flag -16 after the context was allocated (so a failing
// allocation is reported first), with nothing left and *out unchanged.
TEST_P(DftCreate, ArgumentsAreCheckedInOrderAndAFailedCreateKeepsNothing) {
  EXPECT_EQ(entries().create(nullptr, 0, 1, 0), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(entries().create(nullptr, 12, 1, 0), QVLS_ERR_NULL_POINTER);
  dft_context untouched{};
  dft_context* out = &untouched;
  const std::uint64_t before = pool_.AllocationAttempts();
  EXPECT_EQ(entries().create(&out, 0, 1, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(entries().create(&out, -5, 1, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(pool_.AllocationAttempts(), before);
  for (std::int32_t n : {1, 4, 5, 12, 16, 151}) {
    for (std::int32_t flag : {0, 3, 16}) {
      SCOPED_TRACE(::testing::Message() << "N " << n << " flag " << flag);
      const std::uint64_t attempts = pool_.AllocationAttempts();
      EXPECT_EQ(entries().create(&out, n, flag, 0), QVLS_ERR_FFT_FLAG);
      EXPECT_EQ(pool_.AllocationAttempts(), attempts + 1) << "the context alone";
      pool_.FailNthAllocation(1);
      EXPECT_EQ(entries().create(&out, n, flag, 0), QVLS_ERR_MEM_ALLOCATED);
      EXPECT_EQ(out, &untouched);
      EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
    }
  }
}

// Each way's work size: none for the small kernels (which hold no table),
// the inner FFT's for a power of two, 8N + 8D + 16 for the mixed radix,
// 8N + 16 direct, and 8M + 16 plus the inner FFT's for Bluestein.
TEST_P(DftCreate, TheWayOfALengthShowsInItsWorkSize) {
  auto expect_way = [](const dft_context& c) {
    const DftWay way = WayOf(c.length);
    EXPECT_EQ(c.power_of_two, way == DftWay::kPowerOfTwo ? 1 : 0);
    EXPECT_EQ(c.mixed_radix, way == DftWay::kMixedRadix ? 1 : 0);
    EXPECT_EQ(c.direct_roots != nullptr, way == DftWay::kDirect);
    EXPECT_EQ(c.bluestein_fft != nullptr, way == DftWay::kBluestein);
  };
  for (std::int32_t n = 1; n <= 4; ++n) {
    const std::uint64_t attempts = pool_.AllocationAttempts();
    const DftContext context(entries(), n, 2);
    EXPECT_EQ(context.WorkSize(), 0);
    EXPECT_EQ(pool_.AllocationAttempts(), attempts + 1) << "N " << n << ": the context alone";
    expect_way(*context.get());
  }
  const std::pair<std::int32_t, std::int32_t> stated[] = {{5, 56}, {7, 72},   {149, 1208},
                                                          {6, 88}, {12, 144}, {120, 1456}};
  for (const auto& [n, work_size] : stated) {
    const DftContext context(entries(), n, 2);
    EXPECT_EQ(context.WorkSize(), work_size) << "N " << n;
    expect_way(*context.get());
  }
  for (std::int32_t n : {8, 64, 1024}) {
    const DftContext context(entries(), n, 2);
    EXPECT_EQ(context.WorkSize(), FftWorkSize(std::countr_zero(std::uint32_t(n)))) << "N " << n;
    expect_way(*context.get());
  }
  const std::pair<std::int32_t, std::int32_t> bluestein[] = {
      {151, 512}, {251, 512}, {257, 1024}, {302, 1024}};
  for (const auto& [n, m] : bluestein) {
    const DftContext context(entries(), n, 2);
    EXPECT_EQ(context.get()->bluestein_length, m) << "N " << n;
    EXPECT_EQ(context.WorkSize(), 8 * m + 16 + FftWorkSize(std::countr_zero(std::uint32_t(m))))
        << "N " << n;
    expect_way(*context.get());
  }
  EXPECT_EQ(DftContext(entries(), 151, 2).WorkSize(), vector() ? 8224 : 4112);
}

// Failing the k-th allocation of a create, for every k up to the count of
// a clean create and a length of every way (5 and 149 fail in their roots
// copy too; 196 shares a roots table; 2040 has the leaf's; a6 and w7
// allocate a buffer for the FFT of Bluestein's filter): -9 every time, never
// success with a table missing, *out unchanged, nothing left and nothing
// freed twice (the pool is fatal on that).
TEST_P(DftCreate, FailingAnyAllocationFreesEverythingTaken) {
  for (std::int32_t n : {5, 149, 12, 196, 2040, 16, 151}) {
    const std::uint64_t before = pool_.AllocationAttempts();
    { const DftContext clean(entries(), n, 1); }
    const std::uint64_t count = pool_.AllocationAttempts() - before;
    EXPECT_GT(count, 2u) << "the context and a table at least";
    for (std::uint64_t k = 1; k <= count; ++k) {
      SCOPED_TRACE(::testing::Message() << "N " << n << " k " << k);
      dft_context untouched{};
      dft_context* out = &untouched;
      pool_.FailNthAllocation(k);
      EXPECT_EQ(entries().create(&out, n, 1, 0), QVLS_ERR_MEM_ALLOCATED);
      pool_.ClearFaults();
      EXPECT_EQ(out, &untouched);
      EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
    }
  }
}

// Byte counts beyond 32 bits are refused with -9 before any table is
// allocated: the roots table (8N, and 16N for Bluestein's of 2N) and M of
// the primes and the lengths with a large prime factor, the tables of a
// mixed-radix length, a work size whose tables would fit (2·3^17: 12N), and
// the 16-bit DFT's floats. Nothing is allocated but the contexts, and
// nothing is left.
TEST_P(DftCreate, SizesBeyond32BitsAreRefusedBeforeAnyTable) {
  const std::int32_t lengths[] = {(1 << 29) + 5, (1 << 30) + 1, INT32_MAX, 3 << 28, 2 * 129140163};
  std::vector<SIZE_T> sizes;
  pool_.SetObserver([&](const plat::ex::PoolEvent& event) {
    if (event.kind == plat::ex::PoolEvent::Kind::Allocate) sizes.push_back(event.bytes);
  });
  const SIZE_T largest_context = sizeof(dft_context) + 64;
  for (std::int32_t n : lengths) {
    SCOPED_TRACE(::testing::Message() << "N " << n);
    dft_context untouched{};
    dft_context* out = &untouched;
    sizes.clear();
    EXPECT_EQ(entries().create(&out, n, 1, 0), QVLS_ERR_MEM_ALLOCATED);
    EXPECT_EQ(out, &untouched);
    EXPECT_EQ(sizes.size(), 1u);
    dft16_context untouched16{};
    dft16_context* out16 = &untouched16;
    sizes.clear();
    EXPECT_EQ(Entry(qvls_variant_table.qvlsDFTCreate_ci16)(&out16, n, 1, 0),
              QVLS_ERR_MEM_ALLOCATED);
    EXPECT_EQ(out16, &untouched16);
    EXPECT_GE(sizes.size(), 1u);
    for (SIZE_T bytes : sizes) EXPECT_LE(bytes, largest_context);
    EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
  }
  pool_.SetObserver(nullptr);
}

// A power of two or a Bluestein length whose inner FFT lies above the
// variant's direct limit gets what the FFT's create gives for that order,
// with nothing left when that fails; when the FFT takes the order, the DFT
// does too.
TEST_P(DftCreate, LengthsAboveTheDirectLimitFollowTheInnerFft) {
  const std::int32_t order = kFloatFft[variant()].direct_limit + 1;
  const std::int32_t power = 1 << order;
  // A prime whose 2N - 1 lies above 2^(order - 1): M = 2^order.
  const std::int32_t prime = order == 11 ? 521 : 8209;
  ASSERT_EQ(BluesteinLength(prime), power);
  fft_context* fft = nullptr;
  const qvls_status fft_status = entries().fft_create(&fft, order, 8, 0);
  if (fft != nullptr) entries().fft_destroy(fft);
  for (std::int32_t n : {power, prime}) {
    SCOPED_TRACE(::testing::Message() << "N " << n);
    dft_context untouched{};
    dft_context* out = &untouched;
    const qvls_status status = entries().create(&out, n, 8, 0);
    EXPECT_EQ(status, fft_status);
    if (status != QVLS_OK) {
      EXPECT_EQ(out, &untouched);
      EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
      continue;
    }
    std::vector<float> impulse(2 * std::size_t(n), 0.0f);
    impulse[0] = 1.0f;
    std::vector<float> spectrum(impulse.size());
    EXPECT_EQ(entries().transform[0](impulse.data(), spectrum.data(), out, nullptr), QVLS_OK);
    for (std::int32_t k = 0; k < n; ++k) {
      ASSERT_NEAR(spectrum[2 * k], 1.0f, 1e-5f) << "bin " << k;
      ASSERT_NEAR(spectrum[2 * k + 1], 0.0f, 1e-5f) << "bin " << k;
    }
    EXPECT_EQ(entries().destroy(out), QVLS_OK);
  }
}

// Destroy: null -8, another context -17 and nothing freed. Work size: size
// or context null -8, another context -17, *size unchanged.
TEST_P(DftCreate, DestroyAndWorkSizeCheckTheirContext) {
  const FloatContext fft(kFloatFft[variant()], Layout::kComplex, 4, 1);
  auto* other = reinterpret_cast<dft_context*>(fft.get());
  EXPECT_EQ(entries().destroy(nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(entries().destroy(other), QVLS_ERR_CONTEXT_MISMATCH);
  const DftContext context(entries(), 12, 2);
  std::int32_t size = 77;
  EXPECT_EQ(entries().work_size(context.get(), nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(entries().work_size(nullptr, &size), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(entries().work_size(other, &size), QVLS_ERR_CONTEXT_MISMATCH);
  EXPECT_EQ(size, 77);
  EXPECT_EQ(entries().work_size(context.get(), &size), QVLS_OK);
  EXPECT_EQ(size, 144);
}

QVLS_INSTANTIATE_VARIANTS(DftCreate);

}  // namespace
}  // namespace qvls_test::transforms
