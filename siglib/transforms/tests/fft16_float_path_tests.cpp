// The 16-bit FFT on its floating-point path against the naive DFT: hint 2
// in every variant, the data pump's roads in a6 and w7, a worked example,
// the work buffer, failing allocations and the caller's floating-point
// settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/ex/expool.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/random.h"
#include "siglib/transforms/tests/support/dft_reference.h"
#include "siglib/transforms/tests/support/error_metrics.h"
#include "siglib/transforms/tests/support/fft16_calls.h"
#include "siglib/transforms/tests/support/float_fft_calls.h"
#include "siglib/transforms/tests/support/pooled_variant_test.h"
#include "siglib/transforms/tests/support/structured_inputs.h"
#include "siglib/transforms/tests/support/work_buffer.h"
#include "siglib/transforms/tests/support/pool_tag.h"

namespace qvls_test::transforms {
namespace {

constexpr std::int32_t kFloatHint = 2;  // any hint but 0 and 1 takes the floating-point path

class Fft16FloatPath : public PooledVariantTest {};

std::vector<std::int16_t> RandomInput(Rng& rng, Layout layout, std::int32_t order) {
  std::vector<std::int16_t> values((layout == Layout::kComplex ? 2u : 1u) << order);
  for (auto& v : values) v = rng.Any<std::int16_t>();
  return values;
}

// A flag with the scale factor that keeps the result about the size of the
// input (sf 0 with flag 1, (order + 1) / 2 with flag 4, order with 2 and
// 8), and another 2 above it.
struct Scaling {
  std::int32_t flag;
  std::int32_t sf_offset;

  std::int32_t Sf(std::int32_t order) const {
    return (flag == 1 ? 0 : flag == 4 ? (order + 1) / 2 : order) + sf_offset;
  }
};
constexpr Scaling kScalings[] = {{1, 0}, {1, 2}, {2, 0}, {4, 0}, {4, 2}, {8, 0}, {8, 2}};

TEST_P(Fft16FloatPath, EveryOrderFlagAndScaleIsWithinOneLsbOfTheRoundedExactResult) {
  Rng rng("Fft16FloatPath.Table");
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    const std::int32_t largest = std::min(LargestOrder(kFloatFft[variant()], layout), 12);
    for (std::int32_t order = 1; order <= largest; ++order) {
      const std::int32_t n = std::int32_t{1} << order;
      std::vector<std::vector<std::int16_t>> inputs = {RandomInput(rng, layout, order)};
      if (order <= 8) {
        for (const auto& input : kStructuredInputs) {
          inputs.push_back(MakeInput(input, layout, n, rng.Range(-32768, 32767)));
        }
      }
      for (const auto& input : inputs) {
        const std::vector<long double> spectrum = ops.Exact(input, order, 8, 0);
        for (const Scaling& scaling : kScalings) {
          const std::int32_t sf = scaling.Sf(order);
          const Fft16Context context(ops, order, scaling.flag, kFloatHint);
          ASSERT_EQ(context.status(), QVLS_OK);
          std::vector<long double> exact = spectrum;
          for (long double& v : exact) v *= ForwardScale(scaling.flag, order, sf);
          ASSERT_LE(MaxRoundedError(context.Forward(input, sf), exact), 1)
              << LayoutName(layout) << " order " << order << " flag " << scaling.flag << " sf "
              << sf;
        }
      }
    }
  }
}

// Exact spectrum {2.5, 0, -0.5, 0.5, -0.5, 0}: ties go to even.
TEST_P(Fft16FloatPath, TiesGoToEven) {
  const Fft16Context context(OpsOf(variant(), Layout::kReal), 2, 1, kFloatHint);
  EXPECT_EQ(context.Forward(std::vector<std::int16_t>{1, 2, 3, 4}, 0),
            (std::vector<std::int16_t>{2, 0, 0, 0, 0, 0}));
}

// The work size is the float data's, 16 bytes, and the engine's own; a
// buffer of exactly that size at each of the 16 misalignments is enough and
// gives the bits of a call that allocates its own, in place too. Without a
// buffer a failing allocation gives -9 and leaves dst as it was.
TEST_P(Fft16FloatPath, TheWorkSizeHoldsAtEveryMisalignment) {
  Rng rng("Fft16FloatPath.Work");
  const bool vector = variant() == a6 || variant() == w7;
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    const std::int32_t largest = LargestOrder(kFloatFft[variant()], layout);
    for (std::int32_t order : {1, 3, 4, 5, 6, 7, largest}) {
      SCOPED_TRACE(::testing::Message() << LayoutName(layout) << " order " << order);
      const Fft16Context context(ops, order, 4, kFloatHint);
      ASSERT_EQ(context.status(), QVLS_OK);
      const std::int32_t n = std::int32_t{1} << order;
      const std::int32_t m = layout == Layout::kComplex ? order : order - 1;
      const std::int32_t engine = vector && order > 3 ? 8 * (1 << m) + 16 : 0;
      EXPECT_EQ(context.WorkSize(),
                (layout == Layout::kComplex ? 8 * n + 16 : 4 * n + 24) + engine);
      const auto input = RandomInput(rng, layout, order);
      const auto want = context.Forward(input, 2);
      for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
        SCOPED_TRACE(::testing::Message() << "misalignment " << misalignment);
        GuardedWork work(context.WorkSize(), misalignment);
        EXPECT_EQ(context.Forward(input, 2, work.data()), want);
        std::vector<std::int16_t> data(ops.OutputCount(order), 0);
        std::copy(input.begin(), input.end(), data.begin());
        ASSERT_EQ(ops.forward(data.data(), data.data(), context.get(), 2, work.data()), QVLS_OK);
        EXPECT_EQ(data, want);
        ASSERT_TRUE(work.Intact());
      }
      std::vector<std::int16_t> dst(ops.OutputCount(order), 0x1234);
      pool_.FailNthAllocation(1);
      EXPECT_EQ(ops.forward(input.data(), dst.data(), context.get(), 2, nullptr),
                QVLS_ERR_MEM_ALLOCATED);
      pool_.ClearFaults();
      EXPECT_EQ(dst, std::vector<std::int16_t>(dst.size(), 0x1234));
    }
  }
}

// Failing the k-th allocation of a create on the floating-point path, for
// every k: -9, *out as it was, every block back in the pool.
TEST_P(Fft16FloatPath, FailingAnyAllocationFreesEverythingTaken) {
  for (Layout layout : kLayouts) {
    const Fft16Ops ops = OpsOf(variant(), layout);
    for (std::int32_t order : {1, 7, LargestOrder(kFloatFft[variant()], layout)}) {
      for (std::uint64_t k = 1;; ++k) {
        SCOPED_TRACE(::testing::Message()
                     << LayoutName(layout) << " order " << order << " k " << k);
        ASSERT_LT(k, 12u) << "a create asks for a handful of blocks";
        fft16_context untouched{};
        fft16_context* out = &untouched;
        pool_.FailNthAllocation(k);
        const qvls_status status = ops.create(&out, order, 1, kFloatHint);
        pool_.ClearFaults();
        if (status == QVLS_OK) {
          EXPECT_GT(k, 2u) << "the 16-bit context and the float context at least";
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

QVLS_INSTANTIATE_VARIANTS(Fft16FloatPath);

// The data pump's roads where they take the floating-point path (a6, w7):
// V.34 line probing, complex 128 points with flag 1 and sf 1 in place with
// 2080 bytes of work; tone detection and V.92, real 64 samples with flag 8
// and sf 4, and the voice detector with sf 6, with 552 bytes.
TEST(Fft16FloatPathRoads, A6AndW7) {
  Rng rng("Fft16FloatPath.Roads");
  for (Variant v : {a6, w7}) {
    SCOPED_TRACE(VariantTag(v));
    {
      const Fft16Ops ops = OpsOf(v, Layout::kComplex);
      const Fft16Context context(ops, 7, 1, 0);
      ASSERT_EQ(context.WorkSize(), 2080);
      for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
        std::vector<std::int16_t> data(256);
        for (auto& x : data) x = static_cast<std::int16_t>(rng.Range(-16384, 16383));
        const std::vector<std::int16_t> input = data;
        GuardedWork work(2080, misalignment);
        ASSERT_EQ(ops.forward(data.data(), data.data(), context.get(), 1, work.data()), QVLS_OK);
        EXPECT_TRUE(work.Intact());
        EXPECT_LE(MaxRoundedError(data, ops.Exact(input, 7, 1, 1)), 1);
      }
    }
    const Fft16Ops ops = OpsOf(v, Layout::kReal);
    const Fft16Context context(ops, 6, 8, 0);
    ASSERT_EQ(context.WorkSize(), 552);
    for (std::int32_t sf : {4, 6}) {
      for (std::size_t misalignment = 0; misalignment < 16; ++misalignment) {
        const auto input = RandomInput(rng, Layout::kReal, 6);
        GuardedWork work(552, misalignment);
        const auto out = context.Forward(input, sf, work.data());
        EXPECT_TRUE(work.Intact());
        EXPECT_LE(MaxRoundedError(out, ops.Exact(input, 6, 8, sf)), 1) << "sf " << sf;
      }
    }
  }
}

// Create, work size, forward and destroy on the floating-point path keep
// the caller's MXCSR control bits and x87 control word, also when the
// caller truncates (the conversions set their rounding and put it back).
TEST(Fft16FloatPathSettings, TheCallersControlSettingsStay) {
  struct Setting {
    const char* name;
    std::uint16_t x87_control;
    std::uint32_t mxcsr;
  };
  const Setting settings[] = {
      {"defaults", 0x037F, 0x1F80},
      {"both truncating", 0x0F7F, 0x7F80},
      {"SIMD rounding up, x87 rounding down", 0x077F, 0x5F80},
  };
  const FpEnvironment original = ReadFpEnvironment();
  for (const Setting& s : settings) {
    for (Variant v : kAllVariants) {
      for (Layout layout : kLayouts) {
        SCOPED_TRACE(::testing::Message()
                     << s.name << ", " << VariantTag(v) << " " << LayoutName(layout));
        const Fft16Ops ops = OpsOf(v, layout);
        LoadX87Control(s.x87_control);
        LoadMxcsr(s.mxcsr);
        const FpEnvironment before = ReadFpEnvironment();
        fft16_context* context = nullptr;
        const qvls_status created = ops.create(&context, 7, 4, kFloatHint);
        const FpEnvironment after_create = ReadFpEnvironment();
        std::vector<std::int16_t> data(256, 1000);
        std::int32_t size = 0;
        const qvls_status sized = ops.work_size(context, &size);
        const qvls_status transformed = ops.forward(data.data(), data.data(), context, 1, nullptr);
        const FpEnvironment after_forward = ReadFpEnvironment();
        const qvls_status destroyed = ops.destroy(context);
        const FpEnvironment after_destroy = ReadFpEnvironment();
        LoadX87Control(original.x87_control);
        LoadMxcsr(original.mxcsr);

        EXPECT_EQ(created, QVLS_OK);
        EXPECT_EQ(sized, QVLS_OK);
        EXPECT_EQ(transformed, QVLS_OK);
        EXPECT_EQ(destroyed, QVLS_OK);
        EXPECT_TRUE(SameFpSettings(before, after_create));
        EXPECT_TRUE(SameFpSettings(before, after_forward));
        EXPECT_TRUE(SameFpSettings(before, after_destroy));
      }
    }
  }
}

}  // namespace
}  // namespace qvls_test::transforms
