// The radix kernels on their own, with tables from the context's builders:
// every kernel at every length it accepts against the naive DFT; the
// reordering kernel against the bit reversal and the in-place kernel; the
// split-by-4 layout; src = dst and a misaligned dst; a6 = w7.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/fft_context/fft_context.h"
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/tests/support/float_reference.h"
#include "siglib/transforms/tests/support/library_blocks.h"

namespace qvls_test::transforms {
namespace {

// A variant's kernels and table builders.
struct RadixKernels {
  std::int32_t largest_order;
  qvlsFFTRadix_cf32_ip_fn* scalar[2];           // px, m6: by Way
  qvlsFFTRadix_cf32_fn* reordering[2];          // a6, w7
  qvlsFFTRadix_cf32_ip_vector_fn* in_place[2];  // a6, w7
  qvlsFFTTwiddleTable_cf32_fn* twiddle_table;
  qvlsFFTSwapList_i32_fn* swap_list;
  qvlsFFTQuarterBitRevList_i32_fn* quarter_list;
};

const RadixKernels kKernels[] = {
    {10,
     {qvlsFFTFwdRadix_cf32_ip_px_kernel, qvlsFFTInvRadix_cf32_ip_px_kernel},
     {},
     {},
     qvlsFFTTwiddleTable_cf32_px,
     qvlsFFTSwapList_i32_px,
     nullptr},
    {10,
     {qvlsFFTFwdRadix_cf32_ip_m6_kernel, qvlsFFTInvRadix_cf32_ip_m6_kernel},
     {},
     {},
     qvlsFFTTwiddleTable_cf32_px,
     qvlsFFTSwapList_i32_a6,
     nullptr},
    {10,
     {},
     {qvlsFFTFwdRadix_cf32_a6_kernel, qvlsFFTInvRadix_cf32_a6_kernel},
     {qvlsFFTFwdRadix_cf32_ip_a6_kernel, qvlsFFTInvRadix_cf32_ip_a6_kernel},
     qvlsFFTTwiddleTable_cf32_a6,
     qvlsFFTSwapList_i32_a6,
     qvlsFFTQuarterBitRevList_i32_a6},
    {14,
     {},
     {qvlsFFTFwdRadix_cf32_w7_kernel, qvlsFFTInvRadix_cf32_w7_kernel},
     {qvlsFFTFwdRadix_cf32_ip_w7_kernel, qvlsFFTInvRadix_cf32_ip_w7_kernel},
     qvlsFFTTwiddleTable_cf32_w7,
     qvlsFFTSwapList_i32_w7,
     qvlsFFTQuarterBitRevList_i32_w7},
};

std::size_t WayIndex(Way way) { return way == Way::kForward ? 0 : 1; }

// The tables of one order, as a context of that order holds them.
struct Tables {
  Tables(std::int32_t variant, std::int32_t order)
      : sine(kFloatFft[variant].sine_table(order)),
        twiddles(kKernels[variant].twiddle_table(order, sine.get(), order)),
        quarter_list(kKernels[variant].quarter_list != nullptr
                         ? kKernels[variant].quarter_list(order)
                         : nullptr) {}
  LibraryBlock<float> sine;
  LibraryBlock<float> twiddles;
  LibraryBlock<std::int32_t> quarter_list;
};

// x in bit-reversed order.
std::vector<float> BitReversed(const std::vector<float>& x, std::int32_t order) {
  std::vector<float> y(x.size());
  for (std::int32_t i = 0; i < (1 << order); ++i) {
    const std::int32_t r = ReverseBits(i, order);
    y[2 * r] = x[2 * i];
    y[2 * r + 1] = x[2 * i + 1];
  }
  return y;
}

// The kernels' work buffer: 8N bytes on a 16-byte boundary, guarded.
class Work {
 public:
  explicit Work(std::int32_t order) : buffer_(2u << order, 0) {}
  ~Work() { EXPECT_TRUE(buffer_.Intact()) << "the kernel wrote beyond its work buffer"; }
  std::uint8_t* data() { return reinterpret_cast<std::uint8_t*>(buffer_.data()); }

 private:
  GuardedBuffer<qvls_ci32> buffer_;
};

// In place with a vector kernel on a copy of data at `misalignment` bytes
// from a 16-byte boundary (0, 4, 8 or 12).
std::vector<float> RunInPlace(qvlsFFTRadix_cf32_ip_vector_fn* kernel,
                              const std::vector<float>& data, std::int32_t order,
                              const float* twiddles, std::int32_t interleave,
                              std::size_t misalignment) {
  GuardedBuffer<float> buffer(data, misalignment);
  Work work(order);
  kernel(buffer.data(), 1 << order, twiddles, work.data(), interleave);
  EXPECT_TRUE(buffer.Intact());
  return buffer.Load();
}

std::vector<float> RunReordering(qvlsFFTRadix_cf32_fn* kernel, const std::vector<float>& src,
                                 std::int32_t order, const Tables& tables,
                                 std::size_t dst_misalignment, bool in_place) {
  GuardedBuffer<float> dst(src, dst_misalignment);
  Work work(order);
  kernel(in_place ? dst.data() : src.data(), dst.data(), 1 << order, tables.twiddles.get(),
         tables.quarter_list.get(), work.data());
  EXPECT_TRUE(dst.Intact());
  return dst.Load();
}

class RadixPasses : public VariantTest {
 protected:
  const RadixKernels& kernels() const { return kKernels[variant()]; }
  bool vector() const { return variant() == a6 || variant() == w7; }
};

// Forward and inverse, every order the kernels take: the in-place kernels
// on a bit-reversed copy, the reordering kernels on the natural order.
TEST_P(RadixPasses, EveryKernelAgreesWithTheNaiveDft) {
  Rng rng("RadixPasses.Naive");
  for (std::int32_t order = vector() ? 3 : 2; order <= kernels().largest_order; ++order) {
    const Tables tables(variant(), order);
    const std::vector<float> x = RandomFloats(rng, 2u << order);
    const std::vector<float> reversed = BitReversed(x, order);
    const ExactSpectrum spectrum(Layout::kComplex, x);
    for (Way way : {Way::kForward, Way::kInverse}) {
      SCOPED_TRACE(::testing::Message()
                   << "order " << order << (way == Way::kForward ? " forward" : " inverse"));
      const Reference exact = spectrum.Output(way, 1);
      if (!vector()) {
        std::vector<float> data = reversed;
        kernels().scalar[WayIndex(way)](data.data(), 1 << order, tables.twiddles.get());
        EXPECT_LE(RelativeRmsAt(data, exact), ErrorBound(order));
        continue;
      }
      EXPECT_LE(RelativeRmsAt(RunInPlace(kernels().in_place[WayIndex(way)], reversed, order,
                                         tables.twiddles.get(), 1, 0),
                              exact),
                ErrorBound(order));
      EXPECT_LE(RelativeRmsAt(
                    RunReordering(kernels().reordering[WayIndex(way)], x, order, tables, 0, false),
                    exact),
                ErrorBound(order));
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(RadixPasses);

// The a6 and w7 kernels only.
class VectorRadixPasses : public RadixPasses {};

// The reordering kernel gives the bits of the bit reversal followed by the
// in-place kernel with flag 1.
TEST_P(VectorRadixPasses, ReorderingEqualsBitReversalThenInPlace) {
  Rng rng("VectorRadixPasses.Reordering");
  for (std::int32_t order = 3; order <= kernels().largest_order; ++order) {
    const Tables tables(variant(), order);
    const std::vector<float> x = RandomFloats(rng, 2u << order);
    for (Way way : {Way::kForward, Way::kInverse}) {
      SCOPED_TRACE(::testing::Message() << "order " << order << " way " << WayIndex(way));
      const auto reordered =
          RunReordering(kernels().reordering[WayIndex(way)], x, order, tables, 0, false);
      const auto in_place = RunInPlace(kernels().in_place[WayIndex(way)], BitReversed(x, order),
                                       order, tables.twiddles.get(), 1, 0);
      ASSERT_EQ(std::memcmp(reordered.data(), in_place.data(), 4 * x.size()), 0);
    }
  }
}

// Flag 0 leaves element 4g+u's real part at float 8g+u and its imaginary
// part at 8g+4+u: the flag-1 result split by 4. The same wherever the data
// lie (misaligned data go through the work buffer).
TEST_P(VectorRadixPasses, FlagZeroLeavesTheSplitByFourLayout) {
  Rng rng("VectorRadixPasses.Split");
  for (std::int32_t order = 3; order <= kernels().largest_order; ++order) {
    const Tables tables(variant(), order);
    const std::vector<float> data = BitReversed(RandomFloats(rng, 2u << order), order);
    const auto interleaved =
        RunInPlace(kernels().in_place[0], data, order, tables.twiddles.get(), 1, 0);
    std::vector<float> split(interleaved.size());
    for (std::size_t e = 0; e < interleaved.size() / 2; ++e) {
      split[8 * (e / 4) + e % 4] = interleaved[2 * e];
      split[8 * (e / 4) + 4 + e % 4] = interleaved[2 * e + 1];
    }
    for (std::size_t misalignment : {0, 4, 8, 12}) {
      SCOPED_TRACE(::testing::Message() << "order " << order << " misalignment " << misalignment);
      const auto result =
          RunInPlace(kernels().in_place[0], data, order, tables.twiddles.get(), 0, misalignment);
      ASSERT_EQ(std::memcmp(result.data(), split.data(), 4 * split.size()), 0);
    }
  }
}

// The reordering kernel in place (src = dst) and into a destination off a
// 16-byte boundary (both through the work buffer) gives the bits of the
// aligned out-of-place call; so does the in-place kernel on misaligned data.
TEST_P(VectorRadixPasses, InPlaceAndMisalignedGiveTheSameBits) {
  Rng rng("VectorRadixPasses.Misaligned");
  for (std::int32_t order = 3; order <= kernels().largest_order; ++order) {
    const Tables tables(variant(), order);
    const std::vector<float> x = RandomFloats(rng, 2u << order);
    for (Way way : {Way::kForward, Way::kInverse}) {
      const auto want =
          RunReordering(kernels().reordering[WayIndex(way)], x, order, tables, 0, false);
      for (std::size_t misalignment : {0, 4, 8, 12}) {
        SCOPED_TRACE(::testing::Message() << "order " << order << " misalignment " << misalignment
                                          << " way " << WayIndex(way));
        for (bool in_place : {false, true}) {
          const auto got = RunReordering(kernels().reordering[WayIndex(way)], x, order, tables,
                                         misalignment, in_place);
          ASSERT_EQ(std::memcmp(got.data(), want.data(), 4 * x.size()), 0);
        }
        const auto in_place = RunInPlace(kernels().in_place[WayIndex(way)], BitReversed(x, order),
                                         order, tables.twiddles.get(), 1, misalignment);
        ASSERT_EQ(std::memcmp(in_place.data(), want.data(), 4 * x.size()), 0);
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Variants, VectorRadixPasses, ::testing::Values(a6, w7), VariantName);

// a6 and w7 evaluate the same expressions: the same bits at every order a6
// takes, both kernels and both directions.
TEST(VectorRadixPair, A6EqualsW7) {
  Rng rng("VectorRadixPair");
  for (std::int32_t order = 3; order <= kKernels[a6].largest_order; ++order) {
    const Tables a6_tables(a6, order), w7_tables(w7, order);
    ASSERT_EQ(std::memcmp(a6_tables.twiddles.get(), w7_tables.twiddles.get(),
                          order <= 3 ? 8 : 8u << order),
              0);
    const std::vector<float> x = RandomFloats(rng, 2u << order);
    for (Way way : {Way::kForward, Way::kInverse}) {
      SCOPED_TRACE(::testing::Message() << "order " << order << " way " << WayIndex(way));
      const auto a =
          RunReordering(kKernels[a6].reordering[WayIndex(way)], x, order, a6_tables, 8, false);
      const auto b =
          RunReordering(kKernels[w7].reordering[WayIndex(way)], x, order, w7_tables, 8, false);
      ASSERT_EQ(std::memcmp(a.data(), b.data(), 4 * x.size()), 0);
      const auto c = RunInPlace(kKernels[a6].in_place[WayIndex(way)], x, order,
                                a6_tables.twiddles.get(), 0, 4);
      const auto d = RunInPlace(kKernels[w7].in_place[WayIndex(way)], x, order,
                                w7_tables.twiddles.get(), 0, 4);
      ASSERT_EQ(std::memcmp(c.data(), d.data(), 4 * x.size()), 0);
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
