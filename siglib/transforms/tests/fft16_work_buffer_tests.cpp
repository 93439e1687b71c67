// The 16-bit FFT's work buffer: the reported size is enough wherever the
// caller's buffer starts, and a call without one allocates exactly one
// block for itself.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/fft16_limits.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/work_buffer.h"

namespace qvls_test::transforms {
namespace {

class Fft16WorkBuffer : public PooledVariantTest {};

std::vector<std::int16_t> Input(Rng& rng, Layout layout, std::int32_t order) {
  std::vector<std::int16_t> values((layout == Layout::kComplex ? 2u : 1u) << order);
  for (auto& v : values) v = static_cast<std::int16_t>(rng.Range(-16384, 16383));
  return values;
}

// A buffer of exactly the reported size at each of the 16 misalignments
// from a 16-byte boundary: nothing is written outside it, and the result is
// the one of a call that allocates its own. In place gives the same.
TEST_P(Fft16WorkBuffer, TheReportedSizeHoldsAtEveryMisalignment) {
  Rng rng("Fft16WorkBuffer.Misaligned");
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t order = 0; order <= kFixedLimits[variant()].hint1; ++order) {
      const Fft16Context context(ops, order, 4, 1);
      ASSERT_EQ(context.status(), QVLS_OK);
      const std::int32_t size = context.WorkSize();
      const auto input = Input(rng, layout, order);
      const auto want = context.Forward(input, 1);
      for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
        SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order
                                          << " misalignment " << misalignment);
        GuardedWork work(size, misalignment);
        EXPECT_EQ(context.Forward(input, 1, work.data()), want);
        EXPECT_TRUE(work.Intact());
        // In place: the source is the destination's first values.
        std::vector<std::int16_t> data(ops.OutputCount(order), 0);
        std::copy(input.begin(), input.end(), data.begin());
        EXPECT_EQ(ops.forward(data.data(), data.data(), context.get(), 1, work.data()), QVLS_OK);
        EXPECT_EQ(data, want);
        EXPECT_TRUE(work.Intact());
      }
    }
  }
}

// A null work pointer costs one block of the work size for the call (none
// for order 0); when the pool refuses it, -9 and dst untouched.
TEST_P(Fft16WorkBuffer, ANullWorkPointerAllocatesAndFreesOneBlock) {
  Rng rng("Fft16WorkBuffer.Null");
  std::vector<plat::ex::PoolEvent> events;
  pool_.SetObserver([&](const plat::ex::PoolEvent& e) { events.push_back(e); });
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t order : {0, 1, kFixedLimits[variant()].hint0}) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
      const Fft16Context context(ops, order, 1, 0);
      const auto input = Input(rng, layout, order);
      events.clear();
      context.Forward(input, 0);
      if (order == 0) {
        EXPECT_TRUE(events.empty());
        continue;
      }
      ASSERT_EQ(events.size(), 2u);
      EXPECT_EQ(events[0].kind, plat::ex::PoolEvent::Kind::Allocate);
      EXPECT_EQ(events[0].bytes, static_cast<SIZE_T>(context.WorkSize()) + 40);
      EXPECT_EQ(events[1].kind, plat::ex::PoolEvent::Kind::Free);

      pool_.FailNthAllocation(1);
      std::vector<std::int16_t> dst(ops.OutputCount(order), 0x1234);
      EXPECT_EQ(ops.forward(input.data(), dst.data(), context.get(), 0, nullptr),
                QVLS_ERR_MEM_ALLOCATED);
      pool_.ClearFaults();
      EXPECT_EQ(dst, std::vector<std::int16_t>(ops.OutputCount(order), 0x1234));
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(Fft16WorkBuffer);

}  // namespace
}  // namespace qvls_test::transforms
