// The float conversions in every variant: 16-bit to float exactly, and
// float to 16-bit against an exact integer model (x = m · 2^e, scaled and
// rounded in 128-bit integers), whatever the caller's x87 and SIMD settings.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <span>
#include <vector>

#include "siglib/convert/convert.h"
#include "siglib/tests/support/fp_env.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

struct FloatEntries {
  qvlsConvert_i16tof32_fn* to_float;
  qvlsConvert_f32toi16_sc_fn* to_integer;
  qvlsConvert_i16tof32_kernel_fn* to_float_kernel;  // none for px
  qvlsConvert_f32toi16_sc_kernel_fn* to_integer_kernel;
};
constexpr FloatEntries kEntries[] = {
    {qvlsConvert_i16tof32_px, qvlsConvert_f32toi16_sc_px, nullptr, nullptr},
    {qvlsConvert_i16tof32_m6, qvlsConvert_f32toi16_sc_m6, qvlsConvert_i16tof32_m6_kernel,
     qvlsConvert_f32toi16_sc_m6_kernel},
    {qvlsConvert_i16tof32_a6, qvlsConvert_f32toi16_sc_a6, qvlsConvert_i16tof32_a6_kernel,
     qvlsConvert_f32toi16_sc_a6_kernel},
    {qvlsConvert_i16tof32_w7, qvlsConvert_f32toi16_sc_w7, qvlsConvert_i16tof32_w7_kernel,
     qvlsConvert_f32toi16_sc_w7_kernel},
};

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

// x · 2^-sf rounded by the mode (1: to nearest, ties to even; any other:
// toward zero) and saturated; NaN gives 0, sf is clamped to -160..160.
std::int16_t Model(float x, std::int32_t rounding, std::int32_t sf) {
  if (std::isnan(x)) return 0;
  if (std::isinf(x)) return x > 0 ? 32767 : -32768;
  sf = std::clamp(sf, -160, 160);
  int e;
  const float fraction = std::frexp(x, &e);  // x = fraction · 2^e, |fraction| in [1/2, 1)
  const auto m = static_cast<std::int64_t>(std::ldexp(fraction, 24));
  return ScaleSaturate<std::int16_t>(m, std::int64_t{sf} - (e - 24),
                                     rounding == 1 ? Rounding::kHalfEven : Rounding::kTowardZero);
}

float FromBits(std::uint32_t bits) {
  float x;
  std::memcpy(&x, &bits, sizeof(x));
  return x;
}

// Floats of every kind: every bit pattern equally likely (all exponents,
// denormals, infinities, NaNs), and values within a few units of the
// saturation thresholds at this sf.
std::vector<float> RandomFloats(Rng& rng, std::size_t n, std::int32_t sf) {
  std::vector<float> values(n);
  for (auto& v : values) {
    if (rng.Chance(1, 2)) {
      v = FromBits(static_cast<std::uint32_t>(rng.Bits()));
    } else {
      const float threshold = rng.Chance(1, 2) ? 32767.5f : 32768.0f;
      float x = std::ldexp(rng.Chance(1, 2) ? threshold : -threshold, sf);
      for (auto steps = rng.Range(-3, 3); steps != 0; steps += steps > 0 ? -1 : 1) {
        x = std::nextafter(x, steps > 0 ? kInf : -kInf);
      }
      v = x;
    }
  }
  return values;
}

// Every integer and half-integer k/2 of ±40,000 times 2^sf: every y = x · 2^-sf
// that is a tie or an integer, up to and beyond both saturation bounds.
constexpr std::int32_t kGridHalves = 80000;

std::vector<float> HalfIntegerGrid(std::int32_t sf) {
  const float scale = std::ldexp(1.0f, sf);  // a power of two: every product is exact
  std::vector<float> values;
  for (std::int32_t k = -kGridHalves; k <= kGridHalves; ++k) values.push_back(k / 2.0f * scale);
  return values;
}

// What the grid converts to: k/2 rounded (a tie to the even neighbour) or
// truncated, then saturated.
std::vector<std::int16_t> HalfIntegerGridResults(std::int32_t rounding) {
  std::vector<std::int16_t> results;
  for (std::int32_t k = -kGridHalves; k <= kGridHalves; ++k) {
    std::int32_t y = k / 2;  // toward zero
    if (rounding == 1 && k % 2 != 0 && y % 2 != 0) y += k > 0 ? 1 : -1;
    results.push_back(Saturate<std::int16_t>(y));
  }
  return results;
}

class FloatToI16 : public VariantTest {
 protected:
  const FloatEntries& entries() const { return kEntries[variant()]; }

  std::vector<std::int16_t> Convert(const std::vector<float>& in, std::int32_t rounding,
                                    std::int32_t sf, std::size_t src_offset = 0,
                                    std::size_t dst_offset = 0) const {
    GuardedBuffer<float> src(in, src_offset);
    GuardedBuffer<std::int16_t> dst(in.size(), dst_offset);
    EXPECT_EQ(CallKeepingFpSettings(entries().to_integer, src.data(), dst.data(),
                                    static_cast<std::int32_t>(in.size()), rounding, sf),
              QVLS_OK);
    EXPECT_TRUE(dst.Intact());
    return dst.Load();
  }

  // Whether every output is as expected; the first difference is named.
  static ::testing::AssertionResult Matches(const std::vector<float>& in,
                                            const std::vector<std::int16_t>& out,
                                            const std::vector<std::int16_t>& expected,
                                            std::int32_t rounding, std::int32_t sf) {
    for (std::size_t i = 0; i < in.size(); ++i) {
      if (out[i] != expected[i]) {
        std::uint32_t bits;
        std::memcpy(&bits, &in[i], 4);
        return ::testing::AssertionFailure()
               << std::hexfloat << in[i] << " (bits 0x" << std::hex << bits << std::dec
               << "), mode " << rounding << ", sf " << sf << ": " << out[i] << ", not "
               << expected[i];
      }
    }
    return ::testing::AssertionSuccess();
  }
  static std::vector<std::int16_t> ModelOf(const std::vector<float>& in, std::int32_t rounding,
                                           std::int32_t sf) {
    std::vector<std::int16_t> expected;
    for (float x : in) expected.push_back(Model(x, rounding, sf));
    return expected;
  }
  static ::testing::AssertionResult MatchesModel(const std::vector<float>& in,
                                                 const std::vector<std::int16_t>& out,
                                                 std::int32_t rounding, std::int32_t sf) {
    return Matches(in, out, ModelOf(in, rounding, sf), rounding, sf);
  }
};

TEST_P(FloatToI16, CasesOfTheRoundingRule) {
  struct Case {
    float x;
    std::int32_t rounding, sf;
    std::int16_t want;
  };
  const Case cases[] = {
      {2.5f, 1, 0, 2},           {3.5f, 1, 0, 4},           {-2.5f, 1, 0, -2},
      {-0.4f, 1, 0, 0},          {32766.5f, 1, 0, 32766},   {32767.4f, 1, 0, 32767},
      {1.0e9f, 1, 0, 32767},     {-32768.6f, 1, 0, -32768}, {-1.0e9f, 1, 0, -32768},
      {2.9f, 0, 0, 2},           {-2.9f, 0, 0, -2},         {20.0f, 1, 3, 2},
      {28.0f, 1, 3, 4},          {8192.0f, 1, -2, 32767},   {-8192.0f, 1, -2, -32768},
      {-32768.5f, 1, 0, -32768}, {32767.5f, 1, 0, 32767},   {-32767.5f, 1, 0, -32768},
      {0.5f, 1, 0, 0},           {-0.5f, 1, 0, 0},          {1.5f, 1, 0, 2},
      {-32768.9f, 0, 0, -32768}, {32767.9f, 0, 0, 32767},   {2.9f, 2, 0, 2},
      {-2.9f, -1, 0, -2},        {kNan, 1, 0, 0},           {-kNan, 0, 5, 0},
      {kInf, 1, 160, 32767},     {-kInf, 0, 200, -32768},   {0.0f, 1, -200, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Convert({c.x}, c.rounding, c.sf)[0], c.want)
        << c.x << ", mode " << c.rounding << ", sf " << c.sf;
    EXPECT_EQ(Model(c.x, c.rounding, c.sf), c.want) << "the model disagrees at " << c.x;
  }
}

// The whole grid and random floats, modes 0 and 1, sf -20..20; source and
// destination at alignments that vary with sf.
TEST_P(FloatToI16, ExactForEveryHalfIntegerAndRandomFloats) {
  Rng rng("FloatToI16.Exact");
  const std::vector<std::int16_t> grid_results[2] = {HalfIntegerGridResults(0),
                                                     HalfIntegerGridResults(1)};
  for (std::int32_t sf = -20; sf <= 20; ++sf) {
    std::vector<float> in = HalfIntegerGrid(sf);
    const std::vector<float> random = RandomFloats(rng, 4096, sf);
    in.insert(in.end(), random.begin(), random.end());
    const std::size_t src_offset = 4 * (sf & 7);
    const std::size_t dst_offset = 2 * ((sf >> 1) & 7);
    for (std::int32_t rounding : {0, 1}) {
      std::vector<std::int16_t> expected = grid_results[rounding];
      const std::vector<std::int16_t> random_expected = ModelOf(random, rounding, sf);
      expected.insert(expected.end(), random_expected.begin(), random_expected.end());
      ASSERT_TRUE(
          Matches(in, Convert(in, rounding, sf, src_offset, dst_offset), expected, rounding, sf));
    }
  }
}

// Scale factors far outside the usual range, infinities, NaNs and
// denormals: the model (with sf clamped to ±160) and so every variant.
TEST_P(FloatToI16, ExactForExtremeScaleFactors) {
  Rng rng("FloatToI16.Extreme");
  std::vector<float> in = RandomFloats(rng, 2000, 0);
  for (float x : {kInf, -kInf, kNan, -kNan, 0.0f, -0.0f, std::numeric_limits<float>::denorm_min(),
                  -std::numeric_limits<float>::denorm_min(), std::numeric_limits<float>::max(),
                  std::numeric_limits<float>::min(), 1.0f, -1.5f}) {
    in.push_back(x);
  }
  for (std::int32_t sf : {-200, -161, -160, -150, -140, -127, -126, -100, 100,       113,      114,
                          126,  127,  128,  129,  149,  150,  160,  200,  INT32_MIN, INT32_MAX}) {
    for (std::int32_t rounding : {0, 1}) {
      ASSERT_TRUE(MatchesModel(in, Convert(in, rounding, sf), rounding, sf));
    }
  }
}

TEST_P(FloatToI16, EveryLengthAtEveryAlignment) {
  Rng rng("FloatToI16.Alignment");
  for (std::size_t len = 1; len <= 37; ++len) {
    const std::vector<float> in = RandomFloats(rng, len, 3);
    for (std::size_t src_offset = 0; src_offset < 32; ++src_offset) {
      for (std::size_t dst_offset : {0, 2, 6, 8, 14, 1}) {
        ASSERT_TRUE(MatchesModel(in, Convert(in, 1, 3, src_offset, dst_offset), 1, 3))
            << "len " << len << ", offsets " << src_offset << "/" << dst_offset;
      }
    }
  }
}

// The caller's settings as they may stand, and each variant's results and
// the settings themselves after the call, flags included.
TEST_P(FloatToI16, ResultsAndCallerSettingsDoNotDependOnTheCallersSettings) {
  struct Setting {
    const char* name;
    std::uint16_t x87_control;
    std::uint32_t mxcsr;
  };
  constexpr std::uint16_t kX87Default = 0x037F;
  constexpr std::uint32_t kMxcsrDefault = 0x1F80;
  const Setting settings[] = {
      {"defaults, no flags", kX87Default, kMxcsrDefault},
      {"x87 truncating, single precision", 0x0C7F, kMxcsrDefault},
      {"x87 rounding up", 0x0B7F, kMxcsrDefault},
      {"SIMD truncating", kX87Default, 0x7F80},
      {"SIMD denormals-are-zero and flush-to-zero", kX87Default, 0x9FC0},
      {"SIMD every flag set", kX87Default, 0x1FBF},
      {"SIMD rounding down, denormals-are-zero, flags", 0x0F7F, 0x3FFF},
      {"SIMD invalid operation unmasked", kX87Default, 0x1F00},
  };
  Rng rng("FloatToI16.Settings");
  std::vector<float> in = RandomFloats(rng, 3000, -150);
  for (int k = 1; k < 200; ++k) in.push_back(std::ldexp(static_cast<float>(k), -149));  // denormals
  const std::vector<float> grid = HalfIntegerGrid(-1);
  in.insert(in.end(), grid.begin(), grid.begin() + 2000);

  const FpEnvironment original = ReadFpEnvironment();
  for (const Setting& s : settings) {
    for (std::int32_t sf : {-150, -1, 0, 7}) {
      for (std::int32_t rounding : {0, 1}) {
        std::vector<std::int16_t> out(in.size());
        LoadX87Control(s.x87_control);
        LoadMxcsr(s.mxcsr);
        const FpEnvironment before = ReadFpEnvironment();
        const qvls_status status = entries().to_integer(
            in.data(), out.data(), static_cast<std::int32_t>(in.size()), rounding, sf);
        const FpEnvironment after = ReadFpEnvironment();
        LoadX87Control(original.x87_control);
        LoadMxcsr(original.mxcsr);

        ASSERT_EQ(status, QVLS_OK);
        EXPECT_TRUE(SameFpSettings(before, after, MxcsrFlags::kMustStay)) << s.name;
        ASSERT_TRUE(MatchesModel(in, out, rounding, sf)) << s.name;
      }
    }
  }
}

TEST_P(FloatToI16, ChecksInOrderAndWriteNothingOnFailure) {
  const std::vector<float> in(8, 3.0f);
  const std::vector<std::int16_t> untouched(8, 77);
  GuardedBuffer<float> src(in, 0);
  GuardedBuffer<std::int16_t> dst(untouched, 0);
  for (std::int32_t len : {4, 0, -1}) {
    EXPECT_EQ(entries().to_integer(nullptr, dst.data(), len, 1, 0), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entries().to_integer(src.data(), nullptr, len, 1, 0), QVLS_ERR_NULL_POINTER);
  }
  for (std::int32_t len : {0, -1, INT32_MIN}) {
    EXPECT_EQ(entries().to_integer(src.data(), dst.data(), len, 1, 0), QVLS_ERR_DATA_SIZE);
    if (entries().to_integer_kernel != nullptr) {
      entries().to_integer_kernel(src.data(), dst.data(), len, 1, 0);
    }
  }
  EXPECT_EQ(dst.Load(), untouched);
}

QVLS_INSTANTIATE_VARIANTS(FloatToI16);

// The unchecked kernels of m6, a6 and w7 (px has none) convert as the
// model says and keep the caller's settings.
TEST(FloatKernels, ConvertLikeTheirEntries) {
  Rng rng("FloatKernels.Convert");
  for (std::int32_t sf : {2, -3, 0}) {
    const std::vector<float> floats = RandomFloats(rng, 1000, sf);
    const auto shorts = rng.Vector<std::int16_t>(1000);
    for (const FloatEntries& e : std::span(kEntries).subspan(1)) {
      for (std::int32_t rounding : {0, 1}) {
        std::vector<std::int16_t> out(floats.size());
        CallKeepingFpSettings(e.to_integer_kernel, floats.data(), out.data(),
                              static_cast<std::int32_t>(floats.size()), rounding, sf);
        for (std::size_t i = 0; i < floats.size(); ++i) {
          ASSERT_EQ(out[i], Model(floats[i], rounding, sf)) << floats[i] << " at sf " << sf;
        }
      }
      std::vector<float> wide(shorts.size());
      CallKeepingFpSettings(e.to_float_kernel, shorts.data(), wide.data(),
                            static_cast<std::int32_t>(shorts.size()));
      for (std::size_t i = 0; i < shorts.size(); ++i) {
        ASSERT_EQ(wide[i], static_cast<float>(shorts[i]));
      }
    }
  }
}

class I16ToF32 : public VariantTest {
 protected:
  const FloatEntries& entries() const { return kEntries[variant()]; }
};

// Every 16-bit value, at several alignments: each float is the value exactly.
TEST_P(I16ToF32, EveryValueExactlyAtEveryAlignment) {
  std::vector<std::int16_t> in;
  for (std::int32_t v = -32768; v <= 32767; ++v) in.push_back(static_cast<std::int16_t>(v));
  std::vector<float> want;
  for (std::int16_t v : in) want.push_back(static_cast<float>(v));
  constexpr std::size_t kOffsets[][2] = {{0, 0}, {2, 4}, {0, 8}, {6, 12}, {1, 3}};
  for (auto [src_offset, dst_offset] : kOffsets) {
    for (std::size_t len : {in.size(), in.size() - 5}) {
      const auto first = std::span<const std::int16_t>(in).first(len);
      GuardedBuffer<std::int16_t> src(first, src_offset);
      GuardedBuffer<float> dst(len, dst_offset);
      ASSERT_EQ(CallKeepingFpSettings(entries().to_float, src.data(), dst.data(),
                                      static_cast<std::int32_t>(len)),
                QVLS_OK);
      const std::vector<float> out = dst.Load();
      ASSERT_EQ(std::memcmp(out.data(), want.data(), len * sizeof(float)), 0)
          << "offsets " << src_offset << "/" << dst_offset;
      EXPECT_TRUE(dst.Intact());
    }
  }
}

TEST_P(I16ToF32, ShortLengthsAtEveryAlignment) {
  Rng rng("I16ToF32.Short");
  for (std::size_t len = 1; len <= 21; ++len) {
    const auto in = rng.Vector<std::int16_t>(len);
    for (std::size_t src_offset = 0; src_offset < 16; ++src_offset) {
      for (std::size_t dst_offset = 0; dst_offset < 16; ++dst_offset) {
        GuardedBuffer<std::int16_t> src(in, src_offset);
        GuardedBuffer<float> dst(len, dst_offset);
        ASSERT_EQ(CallKeepingFpSettings(entries().to_float, src.data(), dst.data(),
                                        static_cast<std::int32_t>(len)),
                  QVLS_OK);
        for (std::size_t i = 0; i < len; ++i) {
          ASSERT_EQ(dst.Get(i), static_cast<float>(in[i]))
              << "element " << i << " of " << len << ", offsets " << src_offset << "/"
              << dst_offset;
        }
        ASSERT_TRUE(dst.Intact());
      }
    }
  }
}

TEST_P(I16ToF32, ChecksInOrderAndWriteNothingOnFailure) {
  const std::vector<std::int16_t> in(8, 3);
  const std::vector<float> untouched(8, 7.0f);
  GuardedBuffer<std::int16_t> src(in, 0);
  GuardedBuffer<float> dst(untouched, 0);
  for (std::int32_t len : {4, 0, -1}) {
    EXPECT_EQ(entries().to_float(nullptr, dst.data(), len), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entries().to_float(src.data(), nullptr, len), QVLS_ERR_NULL_POINTER);
  }
  for (std::int32_t len : {0, -1, INT32_MIN}) {
    EXPECT_EQ(entries().to_float(src.data(), dst.data(), len), QVLS_ERR_DATA_SIZE);
    if (entries().to_float_kernel != nullptr)
      entries().to_float_kernel(src.data(), dst.data(), len);
  }
  EXPECT_EQ(dst.Load(), untouched);
}

QVLS_INSTANTIATE_VARIANTS(I16ToF32);

}  // namespace
}  // namespace qvls_test
