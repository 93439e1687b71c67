// The data pump's reset-time allocation of its transforms, through a frame's
// slots filled from each variant's column: phase 2's complex FFT (order 7,
// flag 1), V.34's DFT (length 12, flag 2, hint 2) and the real FFTs of
// order 6 (flag 8) of V.92 and voice (three), each with a work buffer of its
// reported size from the library's allocator. Then every transform of the
// roads runs with its buffer while the pool refuses the library's blocks,
// and everything is freed; a failure at any allocation of the sequence
// leaves nothing once what was made is freed.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/frame/frame.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft16_calls.h"
#include "siglib/transforms/tests/support/error_metrics.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

// What the sequence made; null where it did not get that far.
struct Resources {
  fft16_context* complex_fft = nullptr;
  std::uint8_t* complex_work = nullptr;
  dft16_context* dft = nullptr;
  std::uint8_t* dft_work = nullptr;
  std::array<fft16_context*, 3> real_fft{};
  std::array<std::uint8_t*, 3> real_work{};
};

// How the sequence ended.
struct Outcome {
  bool complete = false;
  qvls_status failed_create = QVLS_OK;  // the status of a create that failed
  bool failed_buffer = false;           // a buffer's allocation gave null
  std::vector<std::int32_t> work_sizes;
};

class TransformRoads : public PooledVariantTest {
 protected:
  void SetUp() override { ASSERT_EQ(qvlsFillSlots(frame_, qvls_variant_table, variant()), 1); }

  // Create, query the work size, allocate that many bytes: the three steps
  // of one transform, false at the first that fails.
  template <class Context, class Create, class WorkSize, class... Args>
  bool Make(Outcome& outcome, Context*& context, std::uint8_t*& work, Create create,
            WorkSize work_size, Args... args) {
    const qvls_status status = create(&context, args...);
    if (status != QVLS_OK) {
      outcome.failed_create = status;
      EXPECT_EQ(context, nullptr) << "a failed create keeps the caller's null";
      return false;
    }
    std::int32_t size = 0;
    EXPECT_EQ(work_size(context, &size), QVLS_OK);
    outcome.work_sizes.push_back(size);
    work = slots().qvlsAlloc_u8.load()(size);
    outcome.failed_buffer = work == nullptr;
    return work != nullptr;
  }

  // The creation sequence, stopping at the first failure as the data pump
  // does.
  Outcome Allocate(Resources& r) {
    Outcome outcome;
    qvls_slot_table& s = slots();
    outcome.complete = Make(outcome, r.complex_fft, r.complex_work, s.qvlsFFTCreate_ci16.load(),
                            s.qvlsFFTWorkSize_ci16.load(), 7, 1, 0) &&
                       Make(outcome, r.dft, r.dft_work, s.qvlsDFTCreate_ci16.load(),
                            s.qvlsDFTWorkSize_ci16.load(), 12, 2, 2) &&
                       Make(outcome, r.real_fft[0], r.real_work[0], s.qvlsFFTCreate_i16.load(),
                            s.qvlsFFTWorkSize_i16.load(), 6, 8, 0) &&
                       Make(outcome, r.real_fft[1], r.real_work[1], s.qvlsFFTCreate_i16.load(),
                            s.qvlsFFTWorkSize_i16.load(), 6, 8, 0) &&
                       Make(outcome, r.real_fft[2], r.real_work[2], s.qvlsFFTCreate_i16.load(),
                            s.qvlsFFTWorkSize_i16.load(), 6, 8, 0);
    return outcome;
  }

  // Destroys and frees what is there.
  void Free(Resources& r) {
    qvls_slot_table& s = slots();
    if (r.complex_fft != nullptr) {
      EXPECT_EQ(s.qvlsFFTDestroy_ci16.load()(r.complex_fft), QVLS_OK);
    }
    s.qvlsFree.load()(r.complex_work);
    if (r.dft != nullptr) {
      EXPECT_EQ(s.qvlsDFTDestroy_ci16.load()(r.dft), QVLS_OK);
    }
    s.qvlsFree.load()(r.dft_work);
    for (std::size_t i = 0; i < r.real_fft.size(); ++i) {
      if (r.real_fft[i] != nullptr) {
        EXPECT_EQ(s.qvlsFFTDestroy_i16.load()(r.real_fft[i]), QVLS_OK);
      }
      s.qvlsFree.load()(r.real_work[i]);
    }
    r = Resources{};
  }

  // Every forward and inverse call of the roads, each with its buffer,
  // against the naive DFT: the fixed-point FFT path (px, m6) within one LSB
  // of the exact result, the floating-point paths within one LSB of it
  // rounded half to even.
  void RunTheRoads(const Resources& r) {
    qvls_slot_table& s = slots();
    Rng rng("TransformRoads");
    const bool fixed_fft = variant() == px || variant() == m6;
    auto fft_error = [fixed_fft](std::span<const std::int16_t> out,
                                 std::span<const long double> exact) {
      return fixed_fft ? MaxLsbError(out, exact) : MaxRoundedError(out, exact);
    };

    // Phase 2: 128 complex values in place, sf 1.
    std::vector<std::int16_t> probe(256);
    for (auto& v : probe) v = static_cast<std::int16_t>(rng.Range(-16384, 16383));
    const std::vector<std::int16_t> probe_in = probe;
    ASSERT_EQ(
        s.qvlsFFTFwd_ci16_sc.load()(probe.data(), probe.data(), r.complex_fft, 1, r.complex_work),
        QVLS_OK);
    EXPECT_LE(fft_error(probe, ExactComplexOutput(probe_in, 7, 1, 1)), 1);

    // Tone detection and V.92 (sf 4), the voice classifier (sf 6).
    for (std::size_t i = 0; i < r.real_fft.size(); ++i) {
      for (std::int32_t sf : {4, 6}) {
        std::vector<std::int16_t> samples(64), bins(66, 0x5A5A);
        for (auto& v : samples) v = static_cast<std::int16_t>(rng.Range(-16384, 16383));
        ASSERT_EQ(s.qvlsFFTFwd_i16_sc.load()(samples.data(), bins.data(), r.real_fft[i], sf,
                                             r.real_work[i]),
                  QVLS_OK);
        EXPECT_LE(fft_error(bins, ExactRealOutput(samples, 6, 8, sf)), 1) << "sf " << sf;
      }
    }

    // V.34: length 12, forward sf 1 and inverse sf 0, in place.
    std::vector<std::int16_t> symbols(24);
    for (auto& v : symbols) v = static_cast<std::int16_t>(rng.Range(-8000, 8000));
    const std::vector<std::int16_t> symbols_in = symbols;
    ASSERT_EQ(s.qvlsDFTFwd_ci16_sc.load()(symbols.data(), symbols.data(), r.dft, 1, r.dft_work),
              QVLS_OK);
    EXPECT_LE(MaxRoundedError(symbols, ExactDft16Output(symbols_in, Way::kForward, 2, 1)), 1);
    const std::vector<std::int16_t> spectrum = symbols;
    ASSERT_EQ(s.qvlsDFTInv_ci16_sc.load()(symbols.data(), symbols.data(), r.dft, 0, r.dft_work),
              QVLS_OK);
    EXPECT_LE(MaxRoundedError(symbols, ExactDft16Output(spectrum, Way::kInverse, 2, 0)), 1);
  }

  qvls_slot_table& slots() { return frame_.slots; }

  qvls_frame frame_{qvls_variant_table, QVLS_VARIANT_PX};
};

TEST_P(TransformRoads, TheSequenceAllocatesTheTransformsAndTheyAllocateNothing) {
  const plat::ex::PoolUsage baseline = pool_.LiveByTag(kTag);
  Resources r;
  const Outcome outcome = Allocate(r);
  ASSERT_TRUE(outcome.complete);
  const bool vector = variant() == a6 || variant() == w7;
  const std::int32_t complex = vector ? 2080 : 1552;
  const std::int32_t real = vector ? 552 : 280;
  EXPECT_EQ(outcome.work_sizes, (std::vector<std::int32_t>{complex, 256, real, real, real}));

  pool_.FailTag(kTag);
  RunTheRoads(r);
  pool_.ClearFaults();

  Free(r);
  EXPECT_EQ(pool_.LiveByTag(kTag), baseline);
}

// Failing the k-th allocation, for every k of the whole sequence: the
// failing create returns -9 and its pointer stays null, or the buffer's
// allocation gives null; freeing what was made leaves nothing, and a
// following clean run succeeds.
TEST_P(TransformRoads, AFailureAnywhereLeavesNothingOnceFreed) {
  const plat::ex::PoolUsage baseline = pool_.LiveByTag(kTag);
  const std::uint64_t before = pool_.AllocationAttempts();
  {
    Resources clean;
    ASSERT_TRUE(Allocate(clean).complete);
    Free(clean);
  }
  const std::uint64_t count = pool_.AllocationAttempts() - before;
  for (std::uint64_t k = 1; k <= count; ++k) {
    SCOPED_TRACE(::testing::Message() << "k " << k);
    Resources r;
    pool_.FailNthAllocation(k);
    const Outcome outcome = Allocate(r);
    pool_.ClearFaults();
    EXPECT_FALSE(outcome.complete);
    EXPECT_TRUE(outcome.failed_buffer != (outcome.failed_create != QVLS_OK));
    if (!outcome.failed_buffer) {
      EXPECT_EQ(outcome.failed_create, QVLS_ERR_MEM_ALLOCATED);
    }
    Free(r);
    EXPECT_EQ(pool_.LiveByTag(kTag), baseline);
  }
  Resources r;
  ASSERT_TRUE(Allocate(r).complete);
  RunTheRoads(r);
  Free(r);
  EXPECT_EQ(pool_.LiveByTag(kTag), baseline);
}

QVLS_INSTANTIATE_VARIANTS(TransformRoads);

}  // namespace
}  // namespace qvls_test::transforms
