// The generic fixed-point conversions against integer models in wider
// arithmetic.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "siglib/convert/convert.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"

namespace qvls_test {
namespace {

// x · 2^-sf rounded to nearest with ties toward +infinity: floor(x / 2^sf + 1/2)
// = floor((2x + 2^sf) / 2^(sf + 1)) for sf > 0; saturated to 16 bits.
std::int16_t ScaledModel(std::int32_t x, std::int32_t sf) {
  if (sf <= 0) return ScaleSaturate<std::int16_t>(x, sf);
  const __int128 twice = 2 * static_cast<__int128>(x);
  if (sf >= 100) return 0;  // |x| / 2^sf is far below one half
  return ScaleSaturate<std::int16_t>(twice + (static_cast<__int128>(1) << sf), sf + 1,
                                     Rounding::kFloor);
}

std::vector<std::int16_t> ConvertScaled(const std::vector<std::int32_t>& in, std::int32_t sf) {
  GuardedBuffer<std::int32_t> src(in, 4);
  GuardedBuffer<std::int16_t> dst(in.size(), 2);
  qvlsConvertScaled_i32toi16(src.data(), dst.data(), static_cast<std::int32_t>(in.size()), sf);
  EXPECT_TRUE(dst.Intact());
  return dst.Load();
}

TEST(ConvertScaled, CasesOfTheRoundingShift) {
  struct Case {
    std::int32_t x, sf;
    std::int16_t want;
  };
  const Case cases[] = {
      {3, 1, 2},
      {-3, 1, -1},
      {65535, 1, 32767},
      {16383, -1, 32766},
      {16384, -1, 32767},
      {-16384, -1, -32768},
      {-16385, -1, -32768},
      {5, -16, 32767},
      {-5, -16, -32768},
      {0, -16, 0},
      {1, -16, 32767},
      {-1, -16, -32768},
      {40000, 0, 32767},
      {-40000, 0, -32768},
      {-32768, 0, -32768},
      {5, 2, 1},
      {-5, 2, -1},
      {-6, 2, -1},
      {6, 2, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ConvertScaled({c.x}, c.sf)[0], c.want) << c.x << " at sf " << c.sf;
    EXPECT_EQ(ScaledModel(c.x, c.sf), c.want) << "the model disagrees at " << c.x;
  }
}

// Values near 2^31: the rounding addition must not wrap them negative.
TEST(ConvertScaled, ValuesNearTheTopOfThe32BitRange) {
  const std::vector<std::int32_t> in = {INT32_MAX, INT32_MAX - 1, INT32_MAX - 32767,
                                        INT32_MIN, INT32_MIN + 1, 1 << 30};
  for (std::int32_t sf : {1, 2, 15, 16, 17, 30, 31}) {
    const auto out = ConvertScaled(in, sf);
    for (std::size_t i = 0; i < in.size(); ++i) {
      EXPECT_EQ(out[i], ScaledModel(in[i], sf)) << in[i] << " at sf " << sf;
    }
  }
  EXPECT_EQ(ConvertScaled({INT32_MAX}, 16)[0], 32767);
  EXPECT_EQ(ConvertScaled({INT32_MAX}, 31)[0], 1);
}

TEST(ConvertScaled, RandomValuesAtEveryScaleFactor) {
  Rng rng("ConvertScaled.Random");
  const auto in = rng.Vector<std::int32_t>(3000);
  for (std::int32_t sf = -40; sf <= 40; ++sf) {
    const auto out = ConvertScaled(in, sf);
    for (std::size_t i = 0; i < in.size(); ++i) {
      ASSERT_EQ(out[i], ScaledModel(in[i], sf)) << in[i] << " at sf " << sf;
    }
  }
}

TEST(MulInvSqrt2, FloorOfTheProductWith23170Over32768) {
  Rng rng("MulInvSqrt2.Random");
  std::vector<std::int32_t> values = rng.Vector<std::int32_t>(5000);
  for (std::int32_t x : {32768, -1, 1, 0, INT32_MAX, INT32_MIN, 65535, -65536}) values.push_back(x);
  GuardedBuffer<std::int32_t> data(values, 12);
  qvlsMulInvSqrt2_i32_ip(data.data(), static_cast<std::int32_t>(values.size()));
  for (std::size_t i = 0; i < values.size(); ++i) {
    const std::int64_t product = std::int64_t{values[i]} * 23170;
    const std::int64_t floor = product >= 0 ? product / 32768 : -((-product + 32767) / 32768);
    ASSERT_EQ(data.Get(i), floor) << values[i];
  }
  const std::vector<std::int32_t> cases = {32768, -1, 1};
  GuardedBuffer<std::int32_t> small(cases, 2);
  qvlsMulInvSqrt2_i32_ip(small.data(), 3);
  EXPECT_EQ(small.Load(), (std::vector<std::int32_t>{23170, -1, 0}));
}

TEST(ConvertShift, SignExtendedAndShiftedIn32Bits) {
  Rng rng("ConvertShift.Random");
  const auto in = rng.Vector<std::int16_t>(1001);
  for (std::int32_t shift = 0; shift <= 31; ++shift) {
    GuardedBuffer<std::int16_t> src(in, 2);
    GuardedBuffer<std::int32_t> dst(in.size(), 4);
    qvlsConvertShift_i16toi32(src.data(), dst.data(), static_cast<std::int32_t>(in.size()), shift);
    for (std::size_t i = 0; i < in.size(); ++i) {
      const auto want =
          static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(
              static_cast<std::int64_t>(in[i]) * (std::int64_t{1} << shift))));
      ASSERT_EQ(dst.Get(i), want) << in[i] << " << " << shift;
    }
    EXPECT_TRUE(dst.Intact());
  }
}

TEST(FixedPointConversions, CountsOfZeroOrLessWriteNothing) {
  const std::vector<std::int32_t> wide(4, 1234567);
  const std::vector<std::int16_t> narrow(4, 1234);
  GuardedBuffer<std::int32_t> w(wide, 0);
  GuardedBuffer<std::int16_t> n(narrow, 0);
  for (std::int32_t len : {0, -1, INT32_MIN}) {
    qvlsConvertShift_i16toi32(n.data(), w.data(), len, 3);
    qvlsConvertScaled_i32toi16(w.data(), n.data(), len, 3);
    qvlsMulInvSqrt2_i32_ip(w.data(), len);
  }
  EXPECT_EQ(w.Load(), wide);
  EXPECT_EQ(n.Load(), narrow);
}

}  // namespace
}  // namespace qvls_test
