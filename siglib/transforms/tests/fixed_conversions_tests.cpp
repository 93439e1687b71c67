// The packed twins of the pre-shift, the rounding shift and the 1/sqrt 2
// multiplication against references in 64- and 128-bit arithmetic, at every
// length up to 40 (every combination of the 16-, 4-, 2- and 1-value blocks)
// and a long one, at misaligned addresses, with guards around every buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "siglib/convert/convert.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"
#include "siglib/transforms/fixed_fft/fixed_fft.h"

namespace qvls_test::transforms {
namespace {

struct Twins {
  const char* name;
  qvlsConvertShift_i16toi32_fn* pre_shift;
  qvlsConvertScaled_i32toi16_fn* rounding_shift;
  qvlsMulInvSqrt2_i32_ip_fn* inv_sqrt2;
};
const Twins kTwins[] = {
    {"m6", qvlsConvertShift_i16toi32_m6, qvlsConvertScaled_i32toi16_m6, qvlsMulInvSqrt2_i32_ip_m6},
    {"a6", qvlsConvertShift_i16toi32_a6, qvlsConvertScaled_i32toi16_a6, qvlsMulInvSqrt2_i32_ip_a6},
    {"w7", qvlsConvertShift_i16toi32_w7, qvlsConvertScaled_i32toi16_w7, qvlsMulInvSqrt2_i32_ip_w7},
};

std::vector<std::size_t> Lengths() {
  std::vector<std::size_t> lengths;
  for (std::size_t n = 0; n <= 40; ++n) lengths.push_back(n);
  lengths.push_back(1001);
  return lengths;
}

// v·2^-s rounded to nearest with ties toward +infinity, saturated to 16
// bits: floor((2v + 2^s) / 2^(s+1)) for s > 0, in 128 bits.
std::int16_t RoundingShiftModel(std::int32_t v, std::int32_t s) {
  if (s <= 0) return ScaleSaturate<std::int16_t>(v, s, Rounding::kFloor);
  return ScaleSaturate<std::int16_t>(2 * static_cast<__int128>(v) + (static_cast<__int128>(1) << s),
                                     s + 1, Rounding::kFloor);
}

std::int32_t InvSqrt2Model(std::int32_t v) {
  const std::int64_t product = std::int64_t{v} * 23170;
  return static_cast<std::int32_t>(product >= 0 ? product / 32768 : -((-product + 32767) / 32768));
}

// Values where a rounding addition or a shift breaks: the ends of the range
// and their neighbours, ties at every shift, and random values.
std::vector<std::int32_t> NastyValues(Rng& rng, std::size_t count) {
  std::vector<std::int32_t> values = rng.Vector<std::int32_t>(count, 4);
  for (std::int32_t k = 0; k < 31; ++k) {
    const std::int32_t power = std::int32_t{1} << k;
    values.insert(values.end(), {power, -power, power / 2 * 3, INT32_MAX - power + 1,
                                 INT32_MIN + power, -(power / 2) * 3});
  }
  for (std::int32_t d = 0; d < 40; ++d) values.insert(values.end(), {INT32_MAX - d, INT32_MIN + d});
  return values;
}

TEST(FixedPointConversions, PreShiftPlacesEachValueAtShift0To16) {
  Rng rng("FixedPointConversions.PreShift");
  for (std::size_t length : Lengths()) {
    const auto in = rng.Vector<std::int16_t>(length, 4);
    for (std::int32_t shift = 0; shift <= 16; ++shift) {
      std::vector<std::int32_t> want(length);
      for (std::size_t i = 0; i < length; ++i)
        want[i] = static_cast<std::int32_t>(in[i] * (std::int64_t{1} << shift));
      for (const Twins& t : kTwins) {
        GuardedBuffer<std::int16_t> src(in, 6);
        GuardedBuffer<std::int32_t> dst(length, 4);
        CallKeepingFpSettings(t.pre_shift, src.data(), dst.data(),
                              static_cast<std::int32_t>(length), shift);
        ASSERT_TRUE(dst.Intact()) << t.name << " length " << length;
        ASSERT_EQ(dst.Load(), want) << t.name << " length " << length << " shift " << shift;
      }
    }
  }
}

// A window of `length` values of the pool, a different one per length; the
// pool's own length last.
std::vector<std::vector<std::int32_t>> Windows(const std::vector<std::int32_t>& pool) {
  std::vector<std::vector<std::int32_t>> windows;
  for (std::size_t length : Lengths()) {
    const std::size_t start = (7 * length) % (pool.size() - length);
    windows.emplace_back(pool.begin() + start, pool.begin() + start + length);
  }
  windows.push_back(pool);
  return windows;
}

// Every s the 16-bit FFT can pass (-32..40 after its clamp), values near
// +-2^31 included: no rounding addition may wrap (2^31 - 1 at s = 1 is
// 2^30, not -2^30).
TEST(FixedPointConversions, RoundingShiftEqualsTheWideReferenceAtEveryShift) {
  Rng rng("FixedPointConversions.RoundingShift");
  for (const auto& in : Windows(NastyValues(rng, 2000))) {
    const auto count = static_cast<std::int32_t>(in.size());
    for (std::int32_t s = -32; s <= 40; ++s) {
      std::vector<std::int16_t> want(in.size());
      for (std::size_t i = 0; i < in.size(); ++i) want[i] = RoundingShiftModel(in[i], s);
      for (const Twins& t : kTwins) {
        GuardedBuffer<std::int32_t> src(in, 12);
        GuardedBuffer<std::int16_t> dst(in.size(), 2);
        CallKeepingFpSettings(t.rounding_shift, src.data(), dst.data(), count, s);
        ASSERT_TRUE(dst.Intact()) << t.name;
        ASSERT_EQ(dst.Load(), want) << t.name << " length " << count << " s " << s;
      }
    }
  }
  // Ties toward +infinity, and saturation from a left shift.
  const std::vector<std::int32_t> in = {6, -6, 1 << 30, -(1 << 30)};
  for (const Twins& t : kTwins) {
    std::vector<std::int16_t> out(4);
    t.rounding_shift(in.data(), out.data(), 2, 2);
    t.rounding_shift(in.data() + 2, out.data() + 2, 2, -1);
    EXPECT_EQ(out, (std::vector<std::int16_t>{2, -1, 32767, -32768})) << t.name;
  }
}

TEST(FixedPointConversions, TwinsGiveTheGenericResults) {
  Rng rng("FixedPointConversions.Generic");
  const auto values = NastyValues(rng, 500);
  const auto samples = rng.Vector<std::int16_t>(500);
  const auto n = static_cast<std::int32_t>(values.size());
  for (std::int32_t s = -32; s <= 40; ++s) {
    std::vector<std::int16_t> generic(values.size()), twin(values.size());
    qvlsConvertScaled_i32toi16(values.data(), generic.data(), n, s);
    for (const Twins& t : kTwins) {
      t.rounding_shift(values.data(), twin.data(), n, s);
      ASSERT_EQ(twin, generic) << t.name << " s " << s;
    }
  }
  for (std::int32_t shift = 0; shift <= 16; ++shift) {
    std::vector<std::int32_t> generic(samples.size()), twin(samples.size());
    qvlsConvertShift_i16toi32(samples.data(), generic.data(), 500, shift);
    for (const Twins& t : kTwins) {
      t.pre_shift(samples.data(), twin.data(), 500, shift);
      ASSERT_EQ(twin, generic) << t.name << " shift " << shift;
    }
  }
  std::vector<std::int32_t> generic = values;
  qvlsMulInvSqrt2_i32_ip(generic.data(), n);
  for (const Twins& t : kTwins) {
    std::vector<std::int32_t> twin = values;
    t.inv_sqrt2(twin.data(), n);
    EXPECT_EQ(twin, generic) << t.name;
  }
}

TEST(FixedPointConversions, InvSqrt2IsTheFloorOf23170Over32768) {
  Rng rng("FixedPointConversions.InvSqrt2");
  for (const auto& in : Windows(NastyValues(rng, 2000))) {
    std::vector<std::int32_t> want = in;
    for (auto& v : want) v = InvSqrt2Model(v);
    for (const Twins& t : kTwins) {
      GuardedBuffer<std::int32_t> data(in, 4);
      CallKeepingFpSettings(t.inv_sqrt2, data.data(), static_cast<std::int32_t>(in.size()));
      ASSERT_TRUE(data.Intact()) << t.name;
      ASSERT_EQ(data.Load(), want) << t.name << " count " << in.size();
    }
  }
  for (const Twins& t : kTwins) {
    std::vector<std::int32_t> data = {1, -1, 32768, -32768};
    t.inv_sqrt2(data.data(), 4);
    EXPECT_EQ(data, (std::vector<std::int32_t>{0, -1, 23170, -23170})) << t.name;
  }
}

}  // namespace
}  // namespace qvls_test::transforms
