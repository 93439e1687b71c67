#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"
#include "siglib/tests/support/variant_fixture.h"

// Complex elements compare part by part (the vectors' check after each call).
static bool operator==(const qvls_ci16& x, const qvls_ci16& y) {
  return x.re == y.re && x.im == y.im;
}

namespace qvls_test {
namespace {

// One variant's entry on copies of a and b placed `oa` and `ob` bytes past a
// 64-byte boundary; the vectors must come back unchanged and the buffers
// intact.
template <class Fn, class A, class B, class R>
qvls_status DotOf(const qvls_variant_record<Fn>& record, Variant v, const std::vector<A>& a,
                  const std::vector<B>& b, R* result, std::int32_t sf, std::size_t oa = 0,
                  std::size_t ob = 0) {
  GuardedBuffer<A> ga(a, oa);
  GuardedBuffer<B> gb(b, ob);
  const qvls_status status = CallKeepingFpSettings(record.entry[v], ga.data(), gb.data(),
                                                   static_cast<std::int32_t>(a.size()), result, sf);
  EXPECT_EQ(ga.Load(), a);
  EXPECT_EQ(gb.Load(), b);
  return status;
}

template <class A, class B>
__int128 ExactDot(const std::vector<A>& a, const std::vector<B>& b) {
  __int128 sum = 0;
  for (std::size_t i = 0; i < a.size(); ++i) sum += static_cast<__int128>(a[i]) * b[i];
  return sum;
}

std::int32_t Clamp(std::int32_t sf, std::int32_t lo, std::int32_t hi) {
  return sf < lo ? lo : (sf > hi ? hi : sf);
}

// The 16-bit result: scaled from the sum saturated to 32 bits, sf limited to -14 .. 31.
std::int16_t Model16(__int128 sum, std::int32_t sf) {
  return ScaleSaturate<std::int16_t>(Saturate<std::int32_t>(sum), Clamp(sf, -14, 31));
}
// The 32-bit result for sf of -30 and above.
std::int32_t Model32(__int128 sum, std::int32_t sf) {
  return ScaleSaturate<std::int32_t>(sum, Clamp(sf, -30, 31));
}

std::vector<std::int32_t> LengthsAcrossProloguesAndTails() {
  std::vector<std::int32_t> lengths;
  for (std::int32_t n = 1; n <= 72; ++n) lengths.push_back(n);
  for (std::int32_t n : {95, 96, 127, 128, 129, 255, 256, 1001}) lengths.push_back(n);
  return lengths;
}

constexpr std::int32_t kScaleFactors[] = {0, 1, 3, 15, 31, 40, -1, -7, -14, -20, -30};

// s91, s92 and s94 against 128-bit sums: random vectors and vectors of
// -32768 only (every two-product sum 2^31), every length through the
// prologues, steps and tails, both vectors at every offset modulo 16.
TEST(Dot, ExactModel) {
  Rng rng("Dot.ExactModel");
  std::size_t call = 0;
  for (std::int32_t len : LengthsAcrossProloguesAndTails()) {
    for (bool all_min : {false, true}) {
      const auto n = static_cast<std::size_t>(len);
      const std::vector<std::int16_t> a =
          all_min ? std::vector<std::int16_t>(n, INT16_MIN) : rng.Vector<std::int16_t>(n);
      const std::vector<std::int16_t> b =
          all_min ? std::vector<std::int16_t>(n, INT16_MIN) : rng.Vector<std::int16_t>(n);
      std::vector<qvls_ci16> c(n, qvls_ci16{INT16_MIN, INT16_MIN});
      if (!all_min) {
        for (qvls_ci16& z : c) z = {rng.WithEdges<std::int16_t>(), rng.WithEdges<std::int16_t>()};
      }
      std::vector<std::int16_t> c_re, c_im;
      for (const qvls_ci16& z : c) {
        c_re.push_back(z.re);
        c_im.push_back(z.im);
      }
      const __int128 sum = ExactDot(a, b);
      const __int128 sum_re = ExactDot(a, c_re);
      const __int128 sum_im = ExactDot(a, c_im);
      for (std::size_t oa = 0; oa < 16; ++oa) {
        const std::size_t ob = (oa * 5 + n) % 16;
        const std::int32_t sf = kScaleFactors[call++ % std::size(kScaleFactors)];
        for (Variant v : kAllVariants) {
          SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len << " offsets " << oa
                                          << "/" << ob << " sf " << sf);
          std::int16_t r16 = 0;
          std::int32_t r32 = 0;
          qvls_ci32 rc{};
          ASSERT_EQ(DotOf(qvls_variant_table.qvlsDot_i16_sc, v, a, b, &r16, sf, oa, ob), QVLS_OK);
          ASSERT_EQ(DotOf(qvls_variant_table.qvlsDot_i16toi32_sc, v, a, b, &r32, sf, oa, ob),
                    QVLS_OK);
          ASSERT_EQ(DotOf(qvls_variant_table.qvlsDot_i16ci16toci32_sc, v, a, c, &rc, sf, oa, ob),
                    QVLS_OK);
          EXPECT_EQ(r16, Model16(sum, sf));
          EXPECT_EQ(r32, Model32(sum, sf));
          EXPECT_EQ(rc.re, Model32(sum_re, sf));
          EXPECT_EQ(rc.im, Model32(sum_im, sf));
        }
      }
    }
  }
}

// The scaling rules at their edges, through vectors whose sums are known.
TEST(Dot, ScaleEdgeTable) {
  struct Case {
    const char* what;
    std::vector<std::int16_t> a, b;
    std::int32_t sf;
    std::int32_t dot32;  // s92
    std::int16_t dot16;  // s91
  };
  const std::vector<std::int16_t> kMin2 = {INT16_MIN, INT16_MIN};  // sum of squares 2^31
  const std::vector<std::int16_t> kMin1024(1024, INT16_MIN);       // sum of squares 2^40
  const Case cases[] = {
      {"2^31 saturates", kMin2, kMin2, 0, INT32_MAX, INT16_MAX},
      {"2^31 at sf 31", kMin2, kMin2, 31, 1, 1},
      {"sf 40 acts as 31", kMin2, kMin2, 40, 1, 1},
      {"3 / 2 to even", {3}, {1}, 1, 2, 2},
      {"5 / 2 to even", {5}, {1}, 1, 2, 2},
      {"-3 / 2 to even", {-3}, {1}, 1, -2, -2},
      {"1 at sf -31: a positive sum is doubled 30 times", {1}, {1}, -31, 1073741824, 16384},
      {"-1 at sf -31", {-1}, {1}, -31, INT32_MIN, -16384},
      {"1 at sf -20: s91 acts as -14", {1}, {1}, -20, 1048576, 16384},
      {"2 at sf -20", {2}, {1}, -20, 2097152, INT16_MAX},
      {"s91 scales the saturated 2^31 - 1 at sf 1", kMin2, kMin2, 1, 1073741824, INT16_MAX},
      {"s91 scales the saturated 2^31 - 1, not 2^40, at sf 31", kMin1024, kMin1024, 31, 512, 1},
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << ": " << c.what);
      std::int32_t r32 = 0;
      std::int16_t r16 = 0;
      EXPECT_EQ(DotOf(qvls_variant_table.qvlsDot_i16toi32_sc, v, c.a, c.b, &r32, c.sf), QVLS_OK);
      EXPECT_EQ(DotOf(qvls_variant_table.qvlsDot_i16_sc, v, c.a, c.b, &r16, c.sf), QVLS_OK);
      EXPECT_EQ(r32, c.dot32);
      EXPECT_EQ(r16, c.dot16);
    }
  }
}

// The two parts of s94 scale and saturate independently with the same sf.
TEST(Dot, ComplexPartsSaturateIndependently) {
  const std::vector<std::int16_t> a = {INT16_MIN, INT16_MIN};
  const std::vector<qvls_ci16> c = {{INT16_MIN, 1}, {INT16_MIN, -3}};
  for (Variant v : kAllVariants) {
    qvls_ci32 r{};
    EXPECT_EQ(DotOf(qvls_variant_table.qvlsDot_i16ci16toci32_sc, v, a, c, &r, 0), QVLS_OK);
    EXPECT_EQ(r.re, INT32_MAX) << VariantTag(v);
    EXPECT_EQ(r.im, 65536) << VariantTag(v);
  }
}

// s93 and s95 are exact, and so the same in every variant, while every
// product and partial sum stays within 2^53: s93 with any values up to 128
// elements, s95 with values small enough for the length.
TEST(DotFloat, ExactUpTo2Pow53) {
  Rng rng("DotFloat.ExactUpTo2Pow53");
  std::size_t call = 0;
  for (std::int32_t len : LengthsAcrossProloguesAndTails()) {
    const auto n = static_cast<std::size_t>(len);
    const auto bound = static_cast<std::int64_t>(std::sqrt(std::ldexp(1.0, 53) / len));
    const std::vector<std::int16_t> a16 = rng.Vector<std::int16_t>(n);
    std::vector<std::int32_t> b32 = rng.Vector<std::int32_t>(n);
    std::vector<std::int32_t> x(n), y(n);
    for (std::size_t i = 0; i < n; ++i) {
      x[i] = static_cast<std::int32_t>(rng.Range(-bound, bound));
      y[i] = static_cast<std::int32_t>(rng.Range(-bound, bound));
      if (len > 128) b32[i] = static_cast<std::int32_t>(rng.Range(-bound / 32768, bound / 32768));
    }
    const __int128 mixed = ExactDot(a16, b32);
    const __int128 wide = ExactDot(x, y);
    for (std::size_t offset = 0; offset < 16; ++offset) {
      const std::int32_t sf = kScaleFactors[call++ % std::size(kScaleFactors)];
      const std::int32_t scale = Clamp(sf, -31, 31);
      for (Variant v : kAllVariants) {
        SCOPED_TRACE(testing::Message()
                     << VariantTag(v) << " len " << len << " offset " << offset << " sf " << sf);
        std::int32_t r = 0;
        ASSERT_EQ(DotOf(qvls_variant_table.qvlsDot_i16i32toi32_sc, v, a16, b32, &r, sf, offset,
                        (offset * 3) % 16),
                  QVLS_OK);
        EXPECT_EQ(r, ScaleSaturate<std::int32_t>(mixed, scale));
        ASSERT_EQ(DotOf(qvls_variant_table.qvlsDot_i32_sc, v, x, y, &r, sf, offset, 15 - offset),
                  QVLS_OK);
        EXPECT_EQ(r, ScaleSaturate<std::int32_t>(wide, scale));
      }
    }
  }
}

TEST(DotFloat, RoundingAndSaturation) {
  struct Case {
    std::vector<std::int32_t> a, b;
    std::int32_t sf, expected;
  };
  const Case cases[] = {
      {{5}, {1}, 1, 2},  // 2.5 to even
      {{7}, {1}, 1, 4},  // 3.5 to even
      {{-5}, {1}, 1, -2},
      {{1 << 30, 1 << 30}, {4, 4}, 0, INT32_MAX},
      {{1 << 30, 1 << 30}, {-4, -4}, 0, INT32_MIN},
      {{1 << 30, 1 << 30}, {4, 4}, 40, 4},  // sf acts as 31: 2^33 / 2^31
      {{3}, {1}, -40, INT32_MAX},           // sf acts as -31
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " sf " << c.sf << " first " << c.a[0]);
      std::int32_t r = 0;
      EXPECT_EQ(DotOf(qvls_variant_table.qvlsDot_i32_sc, v, c.a, c.b, &r, c.sf), QVLS_OK);
      EXPECT_EQ(r, c.expected);
      if (c.a[0] <= INT16_MAX && c.a[0] >= INT16_MIN) {
        std::vector<std::int16_t> a16(c.a.begin(), c.a.end());
        EXPECT_EQ(DotOf(qvls_variant_table.qvlsDot_i16i32toi32_sc, v, a16, c.b, &r, c.sf), QVLS_OK);
        EXPECT_EQ(r, c.expected);
      }
    }
  }
}

// Null pointers first (even with a bad length), then the length; nothing
// is written on failure.
TEST(Dot, ArgumentChecks) {
  const std::vector<std::int16_t> a = {1, 2};
  const std::vector<std::int32_t> b = {1, 2};
  const std::vector<qvls_ci16> c = {{1, 2}, {3, 4}};
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {0, -1, 2}) {
      const qvls_status for_length = len > 0 ? QVLS_OK : QVLS_ERR_DATA_SIZE;
      std::int16_t r16 = 77;
      std::int32_t r32 = 77;
      qvls_ci32 rc{77, 77};
      auto& t = qvls_variant_table;
      EXPECT_EQ(t.qvlsDot_i16_sc.entry[v](nullptr, a.data(), len, &r16, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDot_i16_sc.entry[v](a.data(), nullptr, len, &r16, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDot_i16_sc.entry[v](a.data(), a.data(), len, nullptr, 0),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDot_i16toi32_sc.entry[v](a.data(), nullptr, len, &r32, 0),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDot_i16i32toi32_sc.entry[v](nullptr, b.data(), len, &r32, 0),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDot_i16ci16toci32_sc.entry[v](a.data(), c.data(), len, nullptr, 0),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDot_i32_sc.entry[v](b.data(), nullptr, len, &r32, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(r16, 77);
      EXPECT_EQ(r32, 77);
      EXPECT_EQ(rc.re, 77);
      if (len > 0) continue;
      EXPECT_EQ(t.qvlsDot_i16_sc.entry[v](a.data(), a.data(), len, &r16, 0), for_length);
      EXPECT_EQ(t.qvlsDot_i16toi32_sc.entry[v](a.data(), a.data(), len, &r32, 0), for_length);
      EXPECT_EQ(t.qvlsDot_i16i32toi32_sc.entry[v](a.data(), b.data(), len, &r32, 0), for_length);
      EXPECT_EQ(t.qvlsDot_i16ci16toci32_sc.entry[v](a.data(), c.data(), len, &rc, 0), for_length);
      EXPECT_EQ(t.qvlsDot_i32_sc.entry[v](b.data(), b.data(), len, &r32, 0), for_length);
      EXPECT_EQ(r16, 77);
      EXPECT_EQ(r32, 77);
      EXPECT_EQ(rc.re, 77);
      EXPECT_EQ(rc.im, 77);
    }
  }
}

}  // namespace
}  // namespace qvls_test
