#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <span>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

// Element comparison for the checks that the source stays unchanged.
static bool operator==(qvls_ci16 a, qvls_ci16 b) { return a.re == b.re && a.im == b.im; }

namespace qvls_test {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr long double kPi = std::numbers::pi_v<long double>;

long double ExactAngle(qvls_ci16 z) { return std::atan2(static_cast<long double>(z.im), z.re); }

// The coarse first-order angle, evaluated in long double.
long double CoarseAngle(qvls_ci16 z) {
  if (z.re == 0 && z.im == 0) return 0;
  const long double re = z.re;
  const long double l = std::fabs(static_cast<long double>(z.im)) + 1e-10L;
  const long double a = re >= 0 ? kPi / 4 - kPi / 4 * (re - l) / (re + l)
                                : 3 * kPi / 4 - kPi / 4 * (re + l) / (l - re);
  return z.im < 0 ? -a : a;
}

std::int16_t RoundSaturate(long double v) {
  const long double r = std::nearbyint(v);
  return static_cast<std::int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}

// How far the scaled angle lies from the nearest half-integer.
long double DistanceFromHalf(long double v) { return std::fabs(v - std::floor(v) - 0.5L); }

// Bounds of the single-precision angles, from the arithmetic with margin:
// the rational angle within 2^-21 |theta| + 2^-22 radian, the coarse one
// within 2^-20 of its formula. Double-precision angles within 2^-48.
long double RationalError(long double theta) {
  return std::fabs(theta) * std::ldexp(1.0L, -21) + std::ldexp(1.0L, -22);
}
constexpr long double kCoarseFloatError = 1.0L / (1 << 20);
constexpr long double kDoubleError = 1.0L / (1LL << 48);

std::vector<std::int16_t> Phase(Variant v, const std::vector<qvls_ci16>& zs, std::int32_t sf,
                                std::size_t src_offset = 0, std::size_t dst_offset = 0) {
  GuardedBuffer<qvls_ci16> src(zs, src_offset);
  GuardedBuffer<std::int16_t> dst(zs.size(), dst_offset);
  const qvls_status status =
      CallKeepingFpSettings(qvls_variant_table.qvlsPhase_ci16toi16_sc.entry[v], src.data(),
                            dst.data(), static_cast<std::int32_t>(zs.size()), sf);
  EXPECT_EQ(status, QVLS_OK);
  EXPECT_TRUE(src.Intact());
  EXPECT_TRUE(dst.Intact());
  EXPECT_EQ(src.Load(), zs);
  return dst.Load();
}

// Points with the edges mixed in: axes, the origin, -32768 in either part.
std::vector<qvls_ci16> Points(Rng& rng, std::size_t n) {
  std::vector<qvls_ci16> zs(n);
  for (auto& z : zs) {
    z = {rng.WithEdges<std::int16_t>(6), rng.WithEdges<std::int16_t>(6)};
    if (rng.Chance(1, 10)) z.re = 0;
    if (rng.Chance(1, 10)) z.im = 0;
    if (rng.Chance(1, 4))
      z = {static_cast<std::int16_t>(rng.Range(-200, 200)),
           static_cast<std::int16_t>(rng.Range(-200, 200))};
  }
  return zs;
}

struct WorkedCase {
  qvls_ci16 z;
  std::int32_t sf;
  std::int16_t result;
};

TEST(Phase, SpecTable) {
  const WorkedCase cases[] = {
      {{1, 0}, -12, 0},
      {{-1, 0}, -12, 12868},
      {{0, 1}, -12, 6434},
      {{0, -1}, -12, -6434},
      {{-32768, -32768}, -12, -9651},
      {{32767, 32767}, -12, 3217},
      {{-1, 0}, -14, 32767},
      {{-1, -1}, -14, -32768},
      {{-1, 0}, 1, 2},
      {{0, 1}, 1, 1},
      {{-1, 0}, 2, 1},
      {{-1, -1}, 2, -1},
      {{1, 1}, 2, 0},
      {{-1, 0}, 3, 0},
      {{-32768, -1}, 3, 0},
      {{-1, 0}, 0, 3},
      {{0, 1}, 0, 2},
      {{1, 0}, 0, 0},
      {{0, -5}, 0, -2},
      {{-3, -1}, 0, -3},
  };
  for (Variant v : kAllVariants) {
    for (const WorkedCase& c : cases) {
      // Each case at the head of a group of four and as a single tail element.
      for (std::size_t len : {4u, 1u}) {
        SCOPED_TRACE(testing::Message() << VariantTag(v) << " (" << c.z.re << ", " << c.z.im
                                        << ") sf " << c.sf << " len " << len);
        EXPECT_EQ(Phase(v, std::vector<qvls_ci16>(len, c.z), c.sf)[0], c.result);
      }
    }
    // The origin gives 0 at every scale factor.
    for (std::int32_t sf : {kMin, -1024, -64, -29, -28, -12, -1, 0, 1, 2, 3, 40, kMax}) {
      EXPECT_EQ(Phase(v, std::vector<qvls_ci16>(5, qvls_ci16{0, 0}), sf),
                std::vector<std::int16_t>(5, 0))
          << VariantTag(v) << " sf " << sf;
    }
  }
  // (1000, 470): coarse angle 0.504, exact angle 0.4394. A lone element takes
  // the exact angle in a6 and w7, a group of four the coarse one everywhere.
  for (Variant v : kAllVariants) {
    const bool exact_tail = v == a6 || v == w7;
    EXPECT_EQ(Phase(v, {{1000, 470}}, 0)[0], exact_tail ? 0 : 1) << VariantTag(v);
    EXPECT_EQ(Phase(v, std::vector<qvls_ci16>(4, {1000, 470}), 0), std::vector<std::int16_t>(4, 1))
        << VariantTag(v);
  }
}

TEST(Phase, ChecksBeforeAnyWrite) {
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    auto entry = qvls_variant_table.qvlsPhase_ci16toi16_sc.entry[v];
    const std::vector<qvls_ci16> zs = {{1, 1}, {-1, 0}};
    GuardedBuffer<qvls_ci16> src(zs, 0);
    GuardedBuffer<std::int16_t> dst(std::vector<std::int16_t>{77, 77}, 0);
    EXPECT_EQ(entry(nullptr, dst.data(), 2, -12), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(nullptr, dst.data(), 0, -12), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(src.data(), nullptr, 2, -12), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(src.data(), nullptr, -1, -12), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(src.data(), dst.data(), 0, -12), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(entry(src.data(), dst.data(), -2, 0), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(dst.Load(), (std::vector<std::int16_t>{77, 77}));
  }
}

// Scale factors other than 0: the rounded scaled angle, saturated; a result
// off by one only where the scaled angle lies within the variant's error of
// a half-integer.
TEST(Phase, AgainstExactAngle) {
  Rng rng("Phase.AgainstExactAngle");
  const std::vector<qvls_ci16> zs = Points(rng, 4003);
  for (Variant v : kAllVariants) {
    for (std::int32_t sf : {kMin, -2000, -1024, -64, -40, -29, -28, -20, -14, -12, -8, -3, -1, 1, 2,
                            3, 10, 1100, kMax}) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " sf " << sf);
      const std::vector<std::int16_t> got = Phase(v, zs, sf, 4, 2);
      const bool single = (v == a6 || v == w7) && sf >= -28 && sf <= 2;
      int failures = 0;
      for (std::size_t i = 0; i < zs.size() && failures < 10; ++i) {
        const long double theta = ExactAngle(zs[i]);
        const long double scaled =
            sf < -64 ? (theta == 0 ? 0 : theta * 1e30L) : theta * std::ldexp(1.0L, -sf);
        const std::int16_t want = RoundSaturate(scaled);
        if (got[i] == want) continue;
        const long double error =
            (single ? RationalError(theta) : kDoubleError) * std::ldexp(1.0L, -std::max(sf, -64));
        const bool near_half = std::fabs(scaled) < 32768 && DistanceFromHalf(scaled) <= error;
        if (!near_half || std::abs(got[i] - want) != 1) {
          ++failures;
          ADD_FAILURE() << "(" << zs[i].re << ", " << zs[i].im << "): " << got[i] << ", exact "
                        << static_cast<double>(scaled);
        }
      }
    }
  }
}

// px = m6 and a6 = w7 bit for bit; between the groups only where the
// differences are documented: by one near a half-integer on the rational
// path, and for sf = 0 in the coarse kernel near a half-integer of the
// coarse angle, or in the last len mod 4 elements, which a6 and w7 take from
// the exact angle.
TEST(Phase, GroupsAgreeExceptDocumented) {
  Rng rng("Phase.GroupsAgreeExceptDocumented");
  for (std::size_t len : {1u, 3u, 4u, 5u, 8u, 13u, 52u, 1001u}) {
    const std::vector<qvls_ci16> zs = Points(rng, len);
    for (std::int32_t sf : {kMin, -1024, -30, -29, -28, -16, -12, -9, -2, -1, 0, 1, 2, 3, 4, 7}) {
      SCOPED_TRACE(testing::Message() << "len " << len << " sf " << sf);
      const std::vector<std::int16_t> generic = Phase(px, zs, sf, 0, 0);
      EXPECT_EQ(Phase(m6, zs, sf, 12, 6), generic);
      const std::vector<std::int16_t> single = Phase(a6, zs, sf, 0, 0);
      EXPECT_EQ(Phase(w7, zs, sf, 12, 6), single);
      if (sf <= -29 || sf >= 3) {
        EXPECT_EQ(single, generic);
        continue;
      }
      const std::size_t exact_tail_from = sf == 0 ? len / 4 * 4 : len;
      for (std::size_t i = 0; i < len; ++i) {
        if (single[i] == generic[i]) continue;
        const qvls_ci16 z = zs[i];
        SCOPED_TRACE(testing::Message() << "(" << z.re << ", " << z.im << ") px " << generic[i]
                                        << " a6 " << single[i]);
        EXPECT_EQ(std::abs(single[i] - generic[i]), 1);
        if (i >= exact_tail_from) {
          EXPECT_EQ(single[i], RoundSaturate(ExactAngle(z)));
        } else if (sf == 0) {
          EXPECT_LE(DistanceFromHalf(CoarseAngle(z)), kCoarseFloatError);
        } else {
          const long double theta = ExactAngle(z);
          EXPECT_LE(DistanceFromHalf(theta * std::ldexp(1.0L, -sf)),
                    RationalError(theta) * std::ldexp(1.0L, -sf));
        }
      }
    }
  }
}

// sf = 0: whole radians from the coarse angle, which departs from the true
// angle by at most 0.0712 radian; so every result lies within 0.5 + 0.0712
// of the true angle (plus rounding), and within -3 .. 3.
TEST(Phase, CoarseBound) {
  std::vector<qvls_ci16> zs;
  for (std::int32_t radius : {1, 7, 100, 4000, 32767}) {
    for (std::int32_t step = 0; step < 3600; ++step) {
      const double angle = -std::numbers::pi + step * (2 * std::numbers::pi / 3600);
      zs.push_back({static_cast<std::int16_t>(std::lround(radius * std::cos(angle))),
                    static_cast<std::int16_t>(std::lround(radius * std::sin(angle)))});
    }
  }
  Rng rng("Phase.CoarseBound");
  for (const qvls_ci16& z : Points(rng, 5001)) zs.push_back(z);
  for (Variant v : kAllVariants) {
    const std::vector<std::int16_t> got = Phase(v, zs, 0, 8, 4);
    for (std::size_t i = 0; i < zs.size(); ++i) {
      const long double theta = ExactAngle(zs[i]);
      ASSERT_LE(std::fabs(got[i] - theta), 0.5L + 0.0712L + 1e-6L)
          << VariantTag(v) << " (" << zs[i].re << ", " << zs[i].im << ") gives " << got[i];
      ASSERT_LE(std::abs(got[i]), 3);
    }
  }
}

// a6 and w7 leave the SIMD control and status register exactly as they
// found it: the settings, the caller's flags, and no flag of their own.
TEST(Phase, StatusFlagsLeftClean) {
  Rng rng("Phase.StatusFlagsLeftClean");
  std::vector<qvls_ci16> zs = Points(rng, 61);
  zs[0] = {0, 0};
  zs[1] = {0, -32768};
  zs[2] = {-32768, 0};
  zs.back() = {0, 0};
  const std::uint32_t saved = _mm_getcsr();
  for (std::uint32_t caller_flags : {0u, 0x3Fu, 0x20u}) {
    for (Variant v : {a6, w7}) {
      for (std::int32_t sf : {kMin, -1024, -64, -29, -28, -14, -1, 0, 1, 2, 3, kMax}) {
        for (std::size_t len : {zs.size(), std::size_t{3}}) {
          SCOPED_TRACE(testing::Message() << VariantTag(v) << " sf " << sf << " len " << len
                                          << " caller's flags 0x" << std::hex << caller_flags);
          GuardedBuffer<qvls_ci16> src(std::span<const qvls_ci16>(zs.data(), len), 0);
          GuardedBuffer<std::int16_t> dst(len, 0);
          _mm_setcsr((saved & ~kMxcsrStatusFlags) | caller_flags);
          const std::uint32_t before = _mm_getcsr();
          qvls_variant_table.qvlsPhase_ci16toi16_sc.entry[v](src.data(), dst.data(),
                                                             static_cast<std::int32_t>(len), sf);
          const std::uint32_t after = _mm_getcsr();
          _mm_setcsr(saved);
          EXPECT_EQ(after, before);
        }
      }
    }
  }
}

}  // namespace
}  // namespace qvls_test
