// Creation, destruction and work size of the 16-bit FFT: the order of the
// checks, every failing allocation, the path each variant takes, and the
// slots that reach the entries.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/transforms/fft16/fft16.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/fft16_limits.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/slot_checks.h"
#include "siglib/transforms/tests/support/structured_inputs.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

class Fft16Create : public PooledVariantTest {};

TEST_P(Fft16Create, ArgumentsAreCheckedInOrderAndAFailedCreateKeepsNothing) {
  struct Case {
    const char* what;
    bool null_out;
    std::int32_t order, flag;
    bool fail_allocation;
    qvls_status want;
    std::uint64_t attempts;  // allocations asked of the pool
  };
  const Case cases[] = {
      {"out null first", true, -1, 3, false, QVLS_ERR_NULL_POINTER, 0},
      {"order -1, even with a bad flag", false, -1, 3, false, QVLS_ERR_FFT_ORDER, 0},
      {"order 31, even with a bad flag", false, 31, 3, false, QVLS_ERR_FFT_ORDER, 0},
      {"flag 3, after the allocation", false, 2, 3, false, QVLS_ERR_FFT_FLAG, 1},
      {"flag 0 at order 0", false, 0, 0, false, QVLS_ERR_FFT_FLAG, 1},
      {"a bad flag and a failing allocation", false, 2, 3, true, QVLS_ERR_MEM_ALLOCATED, 1},
  };
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (const Case& c : cases) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << ": " << c.what);
      fft16_context untouched{};
      fft16_context* out = &untouched;
      const std::uint64_t attempts = pool_.AllocationAttempts();
      if (c.fail_allocation) pool_.FailNthAllocation(1);
      EXPECT_EQ(ops.create(c.null_out ? nullptr : &out, c.order, c.flag, 0), c.want);
      pool_.ClearFaults();
      EXPECT_EQ(out, &untouched);
      EXPECT_EQ(pool_.AllocationAttempts() - attempts, c.attempts);
      EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
    }
  }
}

// Failing the k-th allocation of a create, for every k: -9, *out as it
// was, and every block it had taken back in the pool.
TEST_P(Fft16Create, FailingAnyAllocationFreesEverythingTaken) {
  const std::int32_t limit = kFixedLimits[variant()].hint1;
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t order : {0, 1, 2, 3, limit}) {
      for (std::uint64_t k = 1;; ++k) {
        SCOPED_TRACE(::testing::Message()
                     << LayoutName(layout) << " order " << order << " k " << k);
        ASSERT_LT(k, 10u) << "a create asks for a handful of blocks";
        fft16_context untouched{};
        fft16_context* out = &untouched;
        pool_.FailNthAllocation(k);
        const qvls_status status = ops.create(&out, order, 1, 1);
        pool_.ClearFaults();
        if (status == QVLS_OK) {
          EXPECT_GT(k, 1u);
          EXPECT_EQ(ops.destroy(out), QVLS_OK);
          break;
        }
        EXPECT_EQ(status, QVLS_ERR_MEM_ALLOCATED);
        EXPECT_EQ(out, &untouched);
        EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
      }
    }
  }
}

// A context of the other kind is refused (-17) by destroy, work size and
// forward, and stays valid; null pointers give -8, the context checked
// before the data pointers.
TEST_P(Fft16Create, ContextsAreCheckedBeforeTheirData) {
  const Fft16Ops complex = OpsOf(variant(), Layout::kComplex);
  const Fft16Ops real = OpsOf(variant(), Layout::kReal);
  const Fft16Context c(complex, 2, 1, 0);
  const Fft16Context r(real, 2, 1, 0);
  ASSERT_EQ(c.status(), QVLS_OK);
  ASSERT_EQ(r.status(), QVLS_OK);
  std::vector<std::int16_t> src(8, 1000), dst(8);
  std::int32_t size = -1;
  for (const auto& [ops, other] : {std::pair{complex, r.get()}, std::pair{real, c.get()}}) {
    SCOPED_TRACE(LayoutName(ops.layout));
    EXPECT_EQ(ops.destroy(other), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(ops.work_size(other, &size), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(ops.forward(src.data(), dst.data(), other, 0, nullptr), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(ops.forward(nullptr, nullptr, other, 0, nullptr), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(ops.destroy(nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(ops.work_size(nullptr, &size), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(ops.work_size(other, nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(ops.forward(src.data(), dst.data(), nullptr, 0, nullptr), QVLS_ERR_NULL_POINTER);
  }
  EXPECT_EQ(size, -1);
  EXPECT_EQ(complex.forward(nullptr, dst.data(), c.get(), 0, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(complex.forward(src.data(), nullptr, c.get(), 0, nullptr), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(dst, std::vector<std::int16_t>(8, 0)) << "a refused call wrote its destination";
  // Both contexts still work: a constant 1000 (0 imaginary parts in the
  // complex one) gives 1000 in bin 0 with flag 1.
  EXPECT_EQ(c.Forward(std::vector<std::int16_t>{1000, 0, 1000, 0, 1000, 0, 1000, 0}, 0),
            (std::vector<std::int16_t>{1000, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(r.Forward(std::vector<std::int16_t>(4, 1000), 0),
            (std::vector<std::int16_t>{1000, 0, 0, 0, 0, 0}));
}

// An impulse with flag 8 and sf 1 makes every exact output 0.5: the fixed
// path's rounding shift gives 1 (ties up), rounding to even would give 0.
// So all ones show the fixed path, exactly up to the variant's limit for
// hints 0 and 1; one order above it, or with hint 2, the transform must
// not run there (work sizes cannot tell the real paths apart).
TEST_P(Fft16Create, EachVariantTakesTheFixedPathUpToItsLimits) {
  const FixedLimits limits = kFixedLimits[variant()];
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t hint : {0, 1, 2}) {
      for (std::int32_t order = 1; order <= limits.hint1 + 1; ++order) {
        SCOPED_TRACE(::testing::Message()
                     << LayoutName(layout) << " hint " << hint << " order " << order);
        const std::int32_t n = std::int32_t{1} << order;
        const auto impulse = MakeInput(kImpulseAt0, layout, n, 1);
        const Fft16Context context(ops, order, 8, hint);
        std::vector<std::int16_t> ones, zeros(ops.OutputCount(order), 0);
        for (std::size_t i = 0; i < zeros.size(); i += 2) ones.insert(ones.end(), {1, 0});
        if (limits.Fixed(order, hint)) {
          ASSERT_EQ(context.status(), QVLS_OK);
          EXPECT_EQ(context.Forward(impulse, 1), ones);
        } else if (context.status() == QVLS_OK) {
          EXPECT_EQ(context.Forward(impulse, 1), zeros);
        }
      }
    }
  }
}

// The rows of slots s58-s64 and s67 hold each column's own entries, except
// the work-size queries, where m6 and a6 run px's; filling the slots from a
// column makes them reach that column's entries.
TEST_P(Fft16Create, SlotsReachEachColumnsEntries) {
  const std::int32_t c = variant();
  const qvls_variant_records& t = qvls_variant_table;
  namespace k = qvls_slot_index;
  ExpectSlot<k::qvlsFFTCreate_ci16>(
      t.qvlsFFTCreate_ci16, &qvls_slot_table::qvlsFFTCreate_ci16,
      {qvlsFFTCreate_ci16_px, qvlsFFTCreate_ci16_m6, qvlsFFTCreate_ci16_a6, qvlsFFTCreate_ci16_w7},
      c);
  ExpectSlot<k::qvlsFFTCreate_i16>(
      t.qvlsFFTCreate_i16, &qvls_slot_table::qvlsFFTCreate_i16,
      {qvlsFFTCreate_i16_px, qvlsFFTCreate_i16_m6, qvlsFFTCreate_i16_a6, qvlsFFTCreate_i16_w7}, c);
  ExpectSlot<k::qvlsFFTDestroy_ci16>(t.qvlsFFTDestroy_ci16, &qvls_slot_table::qvlsFFTDestroy_ci16,
                                     {qvlsFFTDestroy_ci16_px, qvlsFFTDestroy_ci16_m6,
                                      qvlsFFTDestroy_ci16_a6, qvlsFFTDestroy_ci16_w7},
                                     c);
  ExpectSlot<k::qvlsFFTDestroy_i16>(
      t.qvlsFFTDestroy_i16, &qvls_slot_table::qvlsFFTDestroy_i16,
      {qvlsFFTDestroy_i16_px, qvlsFFTDestroy_i16_m6, qvlsFFTDestroy_i16_a6, qvlsFFTDestroy_i16_w7},
      c);
  ExpectSlot<k::qvlsFFTFwd_ci16_sc>(
      t.qvlsFFTFwd_ci16_sc, &qvls_slot_table::qvlsFFTFwd_ci16_sc,
      {qvlsFFTFwd_ci16_sc_px, qvlsFFTFwd_ci16_sc_m6, qvlsFFTFwd_ci16_sc_a6, qvlsFFTFwd_ci16_sc_w7},
      c);
  ExpectSlot<k::qvlsFFTFwd_i16_sc>(
      t.qvlsFFTFwd_i16_sc, &qvls_slot_table::qvlsFFTFwd_i16_sc,
      {qvlsFFTFwd_i16_sc_px, qvlsFFTFwd_i16_sc_m6, qvlsFFTFwd_i16_sc_a6, qvlsFFTFwd_i16_sc_w7}, c);
  ExpectSlot<k::qvlsFFTWorkSize_ci16>(t.qvlsFFTWorkSize_ci16,
                                      &qvls_slot_table::qvlsFFTWorkSize_ci16,
                                      {qvlsFFTWorkSize_ci16_px, qvlsFFTWorkSize_ci16_px,
                                       qvlsFFTWorkSize_ci16_px, qvlsFFTWorkSize_ci16_w7},
                                      c);
  ExpectSlot<k::qvlsFFTWorkSize_i16>(t.qvlsFFTWorkSize_i16, &qvls_slot_table::qvlsFFTWorkSize_i16,
                                     {qvlsFFTWorkSize_i16_px, qvlsFFTWorkSize_i16_px,
                                      qvlsFFTWorkSize_i16_px, qvlsFFTWorkSize_i16_w7},
                                     c);
}

QVLS_INSTANTIATE_VARIANTS(Fft16Create);

}  // namespace
}  // namespace qvls_test::transforms
