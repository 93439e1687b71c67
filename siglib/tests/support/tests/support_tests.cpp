#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cfenv>
#include <cmath>
#include <cstdint>

#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"

namespace qvls_test {
namespace {

TEST(GuardedBuffer, PlacesElementsAtEveryOffsetModulo64) {
  for (std::size_t offset = 0; offset < 64; ++offset) {
    GuardedBuffer<std::int32_t> buffer(5, offset);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % 64, offset);
    const std::vector<std::int32_t> values = {-1, 2, INT32_MIN, INT32_MAX, 7};
    buffer.Store(values);
    EXPECT_EQ(buffer.Load(), values);
    buffer.Set(2, 99);
    EXPECT_EQ(buffer.Get(2), 99);
    EXPECT_TRUE(buffer.Intact());
  }
}

TEST(GuardedBuffer, SeesAWriteJustOutsideEitherEnd) {
  for (std::size_t offset : {0u, 1u, 31u, 63u}) {
    GuardedBuffer<std::int16_t> buffer(10, offset);
    auto* bytes = reinterpret_cast<std::uint8_t*>(buffer.data());
    for (std::ptrdiff_t at : {-1, -64, 20, 20 + 63}) {
      const std::uint8_t kept = bytes[at];
      bytes[at] = static_cast<std::uint8_t>(~kept);
      EXPECT_FALSE(buffer.Intact()) << "byte " << at << " at offset " << offset;
      bytes[at] = kept;
      EXPECT_TRUE(buffer.Intact());
    }
    // Writing every element, with any value, leaves the canaries alone.
    for (std::size_t i = 0; i < buffer.size(); ++i) buffer.Set(i, -1);
    EXPECT_TRUE(buffer.Intact());
  }
}

TEST(ScaleModel, LibraryRoundingExamples) {
  // To nearest, ties to even.
  EXPECT_EQ(Scale(3, 1), 2);
  EXPECT_EQ(Scale(1, 1), 0);
  EXPECT_EQ(Scale(-1, 1), 0);
  EXPECT_EQ(Scale(-3, 1), -2);
  EXPECT_EQ(Scale(5, 1), 2);
  // 16-bit results at sf 16 and beyond.
  EXPECT_EQ(ScaleSaturate<std::int16_t>(32768, 16), 0);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(32769, 16), 1);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(-32768, 16), 0);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(-65535, 16), -1);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(65535, 17), 0);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(65535, 1), 32767);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(1, -15), 32767);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(-1, -16), -32768);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(0, -1000), 0);
  // Products of 16-bit values.
  EXPECT_EQ(ScaleSaturate<std::int16_t>(-32768 * -32768, 15), 32767);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(-32768 * -32768, 16), 16384);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(-32768 * -32768, 30), 1);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(32767 * 32767, 15), 32766);
  EXPECT_EQ(ScaleSaturate<std::int16_t>(32767 * -32768, 15), -32767);
  // 32-bit sums.
  const __int128 max32 = INT32_MAX;
  const __int128 min32 = INT32_MIN;
  EXPECT_EQ(ScaleSaturate<std::int32_t>(max32 + 1, 0), INT32_MAX);
  EXPECT_EQ(ScaleSaturate<std::int32_t>(max32 + 1, 1), 1 << 30);
  EXPECT_EQ(ScaleSaturate<std::int32_t>(min32 + min32, 0), INT32_MIN);
  EXPECT_EQ(ScaleSaturate<std::int32_t>(min32 + min32, 1), INT32_MIN);
  EXPECT_EQ(ScaleSaturate<std::int32_t>(min32 + min32, 2), -(1 << 30));
  EXPECT_EQ(ScaleSaturate<std::int32_t>(min32 + min32, 33), 0);
  EXPECT_EQ(ScaleSaturate<std::int32_t>(-5, -31), INT32_MIN);
  EXPECT_EQ(ScaleSaturate<std::int32_t>(3 + 3, -29), INT32_MAX);
  // Huge scale factors either way.
  EXPECT_EQ(Scale(std::int64_t{1} << 62, 1000000), 0);
  EXPECT_EQ(Scale(-(std::int64_t{1} << 62), INT64_MAX), 0);
  EXPECT_EQ(ScaleSaturate<std::int64_t>(1, INT64_MIN), INT64_MAX);
}

TEST(ScaleModel, OtherRoundings) {
  EXPECT_EQ(Scale(5, 1, Rounding::kHalfAwayFromZero), 3);
  EXPECT_EQ(Scale(-5, 1, Rounding::kHalfAwayFromZero), -3);
  EXPECT_EQ(Scale(-7, 2, Rounding::kHalfAwayFromZero), -2);
  EXPECT_EQ(Scale(-5, 1, Rounding::kTowardZero), -2);
  EXPECT_EQ(Scale(5, 1, Rounding::kTowardZero), 2);
  EXPECT_EQ(Scale(-5, 1, Rounding::kFloor), -3);
  EXPECT_EQ(Scale(-1, 80, Rounding::kFloor), -1);
  EXPECT_EQ(Scale(-1, 80, Rounding::kTowardZero), 0);
}

TEST(ScaleModel, AgreesWithExactFloatingPointWhereThatIsExact) {
  // A long double holds any 64-bit integer exactly and scaling by 2^-sf is
  // exact, so rint (ties to even in the default mode) gives the rule's value.
  Rng rng("ScaleModel.Float");
  ASSERT_EQ(std::fegetround(), FE_TONEAREST);
  for (int i = 0; i < 20000; ++i) {
    const std::int64_t p =
        rng.Range(-(std::int64_t{1} << 60), std::int64_t{1} << 60) >> rng.Range(0, 58);
    const int sf = static_cast<int>(rng.Range(1, 62));
    const long double exact = std::ldexp(static_cast<long double>(p), -sf);
    EXPECT_EQ(Scale(p, sf), static_cast<__int128>(std::rint(exact))) << p << " sf " << sf;
    EXPECT_EQ(Scale(p, sf, Rounding::kFloor), static_cast<__int128>(std::floor(exact)));
    EXPECT_EQ(Scale(p, sf, Rounding::kTowardZero), static_cast<__int128>(std::trunc(exact)));
    EXPECT_EQ(Scale(p, sf, Rounding::kHalfAwayFromZero), static_cast<__int128>(std::round(exact)));
  }
}

TEST(Random, SeededStreamsRepeatOnEveryMachine) {
  // The standard fixes the 10000th value of a default-seeded 64-bit twister.
  Rng standard(5489u);
  std::uint64_t v = 0;
  for (int i = 0; i < 10000; ++i) v = standard.Bits();
  EXPECT_EQ(v, 9981545732273789042ull);

  Rng a("some test"), b("some test"), c("another test");
  EXPECT_EQ(a.Vector<std::int16_t>(100), b.Vector<std::int16_t>(100));
  EXPECT_NE(a.Vector<std::int16_t>(100), c.Vector<std::int16_t>(100));
}

TEST(Random, RangesIncludeBothEndsAndEdgesTurnUp) {
  Rng rng("Random.Ranges");
  bool seen_lo = false, seen_hi = false;
  for (int i = 0; i < 1000; ++i) {
    const std::int64_t v = rng.Range(-3, 3);
    ASSERT_TRUE(v >= -3 && v <= 3);
    seen_lo |= v == -3;
    seen_hi |= v == 3;
  }
  EXPECT_TRUE(seen_lo && seen_hi);
  const std::int64_t any = rng.Range(INT64_MIN, INT64_MAX);  // the full range, without overflow
  (void)any;

  int bounds = 0;
  for (std::int16_t v : rng.Vector<std::int16_t>(4000, 4)) bounds += v == -32768 || v == 32767;
  EXPECT_GT(bounds, 100) << "one draw in four is an edge value, two of seven edges are bounds";
}

TEST(FpEnvironment, GuardSeesChangedSettingsAndBusyRegisters) {
  std::fenv_t saved;
  std::fegetenv(&saved);
  {
    FpEnvironmentGuard guard;
    std::fesetround(FE_UPWARD);  // both the x87 control word and MXCSR
    EXPECT_FALSE(guard.Unchanged());
    std::fesetenv(&saved);
    EXPECT_TRUE(guard.Unchanged());

    _mm_setcsr(_mm_getcsr() | 0x8040);  // flush to zero, denormals are zero
    EXPECT_FALSE(guard.Unchanged());
    std::fesetenv(&saved);

    asm volatile("pxor %%mm0, %%mm0" ::: "mm0");  // packed-integer registers in use
    EXPECT_FALSE(guard.Unchanged());
    asm volatile("emms");
    EXPECT_TRUE(guard.Unchanged());
  }
}

TEST(FpEnvironment, FlagsMayChangeUnlessTheyMustStay) {
  std::fenv_t saved;
  std::fegetenv(&saved);
  std::feclearexcept(FE_ALL_EXCEPT);
  const FpEnvironment before = ReadFpEnvironment();
  volatile float x = 1.0f;
  volatile float third = x / 3.0f;  // raises the inexact flag in MXCSR
  (void)third;
  const FpEnvironment after = ReadFpEnvironment();
  EXPECT_NE(after.mxcsr & kMxcsrStatusFlags, 0u);
  EXPECT_TRUE(SameFpSettings(before, after));
  EXPECT_FALSE(SameFpSettings(before, after, MxcsrFlags::kMustStay));
  std::fesetenv(&saved);
}

}  // namespace
}  // namespace qvls_test
