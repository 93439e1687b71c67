// The 16-bit DFT operations through the variant table: the data pump's V.34
// road, round trips, hints, length 1, the argument checks, another
// operation's contexts, the work buffer, failing allocations and the slots.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft16_calls.h"
#include "siglib/transforms/tests/support/error_metrics.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/slot_checks.h"
#include "siglib/transforms/tests/support/work_buffer.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

class Dft16 : public PooledVariantTest {
 protected:
  Dft16Ops ops() const { return Dft16OpsOf(variant()); }
};

std::vector<std::int16_t> RandomValues(Rng& rng, std::int32_t length, std::int32_t limit) {
  std::vector<std::int16_t> values(2 * std::size_t(length));
  for (auto& v : values) v = static_cast<std::int16_t>(rng.Range(-limit, limit));
  return values;
}

// V.34: length 12, flag 2, hint 2, 256 bytes of work; the forward with sf 1
// (unscaled, halved) and the inverse with sf 0 (divided by 12) are within
// one LSB of the exact result rounded half to even, in place in the work
// buffer at any misalignment, full-scale input saturating without error.
TEST_P(Dft16, TheV34RoadIsWithinOneLsbOfTheRoundedExactResult) {
  Rng rng("Dft16.V34");
  const Dft16Context context(ops(), 12, 2, 2);
  ASSERT_EQ(context.status(), QVLS_OK);
  ASSERT_EQ(context.WorkSize(), 256);
  for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
    for (std::int32_t limit : {1000, 32767}) {
      const std::vector<std::int16_t> x = RandomValues(rng, 12, limit);
      GuardedWork work(256, misalignment);
      const auto spectrum = context.Run(Way::kForward, x, 1, work.data(), true);
      EXPECT_LE(MaxRoundedError(spectrum, ExactDft16Output(x, Way::kForward, 2, 1)), 1);
      const auto back = context.Run(Way::kInverse, spectrum, 0, work.data(), true);
      EXPECT_LE(MaxRoundedError(back, ExactDft16Output(spectrum, Way::kInverse, 2, 0)), 1);
      ASSERT_TRUE(work.Intact()) << "misalignment " << misalignment;
    }
  }
}

// Inputs whose parts stay within ±1365 cannot saturate the forward result
// of length 12: forward then inverse with sf 0 gives them back within ±1,
// at lengths of every way too. The hint is the caller's and changes
// nothing (the engine always gets hint 1).
TEST_P(Dft16, RoundTripsGiveTheInputBackWithinOneAndHintsChangeNothing) {
  Rng rng("Dft16.RoundTrip");
  for (std::int32_t length : {2, 3, 5, 12, 16, 30, 98, 151}) {
    const std::vector<std::int16_t> x = RandomValues(rng, length, 1365 * 12 / length);
    const Dft16Context context(ops(), length, 2, 2);
    const auto spectrum = context.Run(Way::kForward, x, 0);
    const auto back = context.Run(Way::kInverse, spectrum, 0);
    std::vector<long double> exact(x.begin(), x.end());
    EXPECT_LE(MaxLsbError(back, exact), 1) << "L " << length;
    for (std::int32_t hint : {0, 1}) {
      const Dft16Context other(ops(), length, 2, hint);
      EXPECT_EQ(other.Run(Way::kForward, x, 0), spectrum) << "L " << length << " hint " << hint;
      EXPECT_EQ(other.Run(Way::kInverse, spectrum, 0), back) << "L " << length << " hint " << hint;
    }
  }
}

// Every flag, direction and a few scale factors at lengths of every way.
TEST_P(Dft16, EveryFlagAndScaleIsWithinOneLsbOfTheRoundedExactResult) {
  Rng rng("Dft16.Flags");
  for (std::int32_t length : {2, 3, 4, 7, 12, 64, 120, 149, 251}) {
    const std::vector<std::int16_t> x = RandomValues(rng, length, 32767);
    for (std::int32_t flag : kDftFlags) {
      const Dft16Context context(ops(), length, flag, 0);
      for (Way way : kWays) {
        for (std::int32_t sf : {-2, 0, 3, 9}) {
          EXPECT_LE(MaxRoundedError(context.Run(way, x, sf), ExactDft16Output(x, way, flag, sf)), 1)
              << "L " << length << " flag " << flag << " sf " << sf;
        }
      }
    }
  }
}

// Length 1 takes any flag, needs no work buffer and never touches one: both
// directions shift the value by sf, ties toward +infinity, saturated, with
// the shift clamped so that any sf is safe.
TEST_P(Dft16, LengthOneIsARoundingShiftWhateverTheFlag) {
  for (std::int32_t flag : {1, 3, 0, -7}) {
    const Dft16Context context(ops(), 1, flag, 0);
    ASSERT_EQ(context.status(), QVLS_OK) << "flag " << flag;
    EXPECT_EQ(context.WorkSize(), 0);
    std::vector<std::uint8_t> canary(64, 0xA5);
    for (Way way : kWays) {
      EXPECT_EQ(context.Run(way, std::vector<std::int16_t>{3, -3}, 1, canary.data()),
                (std::vector<std::int16_t>{2, -1}));
      EXPECT_EQ(context.Run(way, std::vector<std::int16_t>{20000, -20000}, -1),
                (std::vector<std::int16_t>{32767, -32768}));
      EXPECT_EQ(context.Run(way, std::vector<std::int16_t>{-32768, 32767}, INT32_MAX),
                (std::vector<std::int16_t>{0, 0}));
      EXPECT_EQ(context.Run(way, std::vector<std::int16_t>{1, -1}, INT32_MIN),
                (std::vector<std::int16_t>{32767, -32768}));
    }
    EXPECT_EQ(canary, std::vector<std::uint8_t>(64, 0xA5));
  }
}

// Create: out null -8 (length 0 too), a length below 1 -6 before anything
// is allocated, a bad flag the engine's -16; a failing allocation anywhere
// -9. A failed create leaves *out unchanged and nothing allocated.
TEST_P(Dft16, ACreateChecksInOrderAndAFailedOneKeepsNothing) {
  EXPECT_EQ(ops().create(nullptr, 0, 2, 0), QVLS_ERR_NULL_POINTER);
  dft16_context untouched{};
  dft16_context* out = &untouched;
  const std::uint64_t before = pool_.AllocationAttempts();
  EXPECT_EQ(ops().create(&out, 0, 2, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(ops().create(&out, -5, 2, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(pool_.AllocationAttempts(), before);
  EXPECT_EQ(ops().create(&out, 5, 3, 0), QVLS_ERR_FFT_FLAG);
  for (std::int32_t length : {1, 12, 149, 151}) {
    const std::uint64_t start = pool_.AllocationAttempts();
    { const Dft16Context clean(ops(), length, 2, 2); }
    const std::uint64_t count = pool_.AllocationAttempts() - start;
    for (std::uint64_t k = 1; k <= count; ++k) {
      pool_.FailNthAllocation(k);
      EXPECT_EQ(ops().create(&out, length, 2, 2), QVLS_ERR_MEM_ALLOCATED)
          << "L " << length << " k " << k;
      pool_.ClearFaults();
    }
  }
  EXPECT_EQ(out, &untouched);
  EXPECT_EQ(pool_.LiveByTag(kTag), plat::ex::PoolUsage{});
}

// Handed a 16-bit FFT context (complex or real), every operation answers
// -17 after its null checks and leaves it as it was: it still transforms
// and is destroyed by its own operation. The argument checks come in the
// order context, src, dst.
TEST_P(Dft16, ContextsOfOtherOperationsAreRefused) {
  const Dft16Context dft(ops(), 12, 2, 2);
  for (Layout layout : kLayouts) {
    const Fft16Context fft(OpsOf(variant(), layout), 4, 1, 0);
    auto* other = reinterpret_cast<dft16_context*>(fft.get());
    std::vector<std::int16_t> src(32, 100), dst(34, 7);
    std::int32_t size = 77;
    EXPECT_EQ(ops().work_size(other, &size), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(size, 77);
    for (auto* transform : ops().transform) {
      EXPECT_EQ(transform(src.data(), dst.data(), other, 0, nullptr), QVLS_ERR_CONTEXT_MISMATCH);
      EXPECT_EQ(transform(src.data(), dst.data(), nullptr, 0, nullptr), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(transform(nullptr, dst.data(), dft.get(), 0, nullptr), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(transform(src.data(), nullptr, dft.get(), 0, nullptr), QVLS_ERR_NULL_POINTER);
    }
    EXPECT_EQ(dst, std::vector<std::int16_t>(34, 7));
    EXPECT_EQ(ops().destroy(other), QVLS_ERR_CONTEXT_MISMATCH);
    EXPECT_EQ(ops().destroy(nullptr), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(ops().work_size(nullptr, &size), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(ops().work_size(dft.get(), nullptr), QVLS_ERR_NULL_POINTER);
    const std::vector<std::int16_t> impulse(layout == Layout::kComplex ? 32 : 16, 0);
    fft.Forward(impulse, 0);
  }
}

// A buffer of exactly the reported work size suffices at all 16
// misalignments for odd and even lengths of every way (the engine's area
// starts 8 bytes off a boundary after the floats of an odd length), in
// place too, with the bits of a call that allocates its own. Without a
// buffer a failing allocation gives -9 and leaves dst as it was.
TEST_P(Dft16, TheWorkSizeHoldsAtEveryMisalignment) {
  Rng rng("Dft16.Work");
  for (std::int32_t length : {2, 3, 5, 7, 12, 15, 16, 64, 98, 149, 151, 302}) {
    const Dft16Context context(ops(), length, 4, 2);
    const std::vector<std::int16_t> x = RandomValues(rng, length, 32767);
    for (Way way : kWays) {
      const auto want = context.Run(way, x, 0);
      for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
        SCOPED_TRACE(::testing::Message() << "L " << length << " misalignment " << misalignment);
        GuardedWork work(context.WorkSize(), misalignment);
        EXPECT_EQ(context.Run(way, x, 0, work.data()), want);
        EXPECT_EQ(context.Run(way, x, 0, work.data(), true), want);
        ASSERT_TRUE(work.Intact());
      }
      std::vector<std::int16_t> dst(x.size(), 0x1234);
      pool_.FailNthAllocation(1);
      EXPECT_EQ(
          ops().transform[static_cast<int>(way)](x.data(), dst.data(), context.get(), 0, nullptr),
          QVLS_ERR_MEM_ALLOCATED);
      pool_.ClearFaults();
      EXPECT_EQ(dst, std::vector<std::int16_t>(x.size(), 0x1234));
    }
  }
}

// The rows of slots s5-s7, s65 and s66 hold each column's own entries,
// except the work-size query, where m6 and a6 run px's; filling the slots
// from a column makes them reach that column's entries.
TEST_P(Dft16, SlotsReachEachColumnsEntries) {
  const std::int32_t c = variant();
  const qvls_variant_records& t = qvls_variant_table;
  namespace k = qvls_slot_index;
  ExpectSlot<k::qvlsDFTCreate_ci16>(
      t.qvlsDFTCreate_ci16, &qvls_slot_table::qvlsDFTCreate_ci16,
      {qvlsDFTCreate_ci16_px, qvlsDFTCreate_ci16_m6, qvlsDFTCreate_ci16_a6, qvlsDFTCreate_ci16_w7},
      c);
  ExpectSlot<k::qvlsDFTDestroy_ci16>(t.qvlsDFTDestroy_ci16, &qvls_slot_table::qvlsDFTDestroy_ci16,
                                     {qvlsDFTDestroy_ci16_px, qvlsDFTDestroy_ci16_m6,
                                      qvlsDFTDestroy_ci16_a6, qvlsDFTDestroy_ci16_w7},
                                     c);
  ExpectSlot<k::qvlsDFTWorkSize_ci16>(t.qvlsDFTWorkSize_ci16,
                                      &qvls_slot_table::qvlsDFTWorkSize_ci16,
                                      {qvlsDFTWorkSize_ci16_px, qvlsDFTWorkSize_ci16_px,
                                       qvlsDFTWorkSize_ci16_px, qvlsDFTWorkSize_ci16_w7},
                                      c);
  ExpectSlot<k::qvlsDFTFwd_ci16_sc>(
      t.qvlsDFTFwd_ci16_sc, &qvls_slot_table::qvlsDFTFwd_ci16_sc,
      {qvlsDFTFwd_ci16_sc_px, qvlsDFTFwd_ci16_sc_m6, qvlsDFTFwd_ci16_sc_a6, qvlsDFTFwd_ci16_sc_w7},
      c);
  ExpectSlot<k::qvlsDFTInv_ci16_sc>(
      t.qvlsDFTInv_ci16_sc, &qvls_slot_table::qvlsDFTInv_ci16_sc,
      {qvlsDFTInv_ci16_sc_px, qvlsDFTInv_ci16_sc_m6, qvlsDFTInv_ci16_sc_a6, qvlsDFTInv_ci16_sc_w7},
      c);
}

QVLS_INSTANTIATE_VARIANTS(Dft16);

}  // namespace
}  // namespace qvls_test::transforms
