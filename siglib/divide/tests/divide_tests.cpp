#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cfenv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

// The products of the operation, formed as its two groups of variants form
// them, then rounded by the host's to-nearest-even rounding and saturated.
std::int16_t RoundAndSaturate(long double y) {
  const long double r = std::nearbyint(y);  // the default mode: to nearest, ties to even
  return static_cast<std::int16_t>(r > 32767 ? 32767 : (r < -32768 ? -32768 : r));
}

std::vector<std::int16_t> DoubleModel(const std::vector<std::int16_t>& xs, std::int16_t divisor,
                                      std::int32_t sf) {
  const double h = (1.0 / divisor) * std::pow(2.0, -sf);
  std::vector<std::int16_t> out;
  for (std::int16_t x : xs) out.push_back(RoundAndSaturate(static_cast<double>(x) * h));
  return out;
}

std::vector<std::int16_t> FloatModel(const std::vector<std::int16_t>& xs, std::int16_t divisor,
                                     std::int32_t sf) {
  const float h = (1.0f / static_cast<float>(divisor)) * std::pow(2.0f, static_cast<float>(-sf));
  std::vector<std::int16_t> out;
  for (std::int16_t x : xs) out.push_back(RoundAndSaturate(static_cast<float>(x) * h));
  return out;
}

using Model = std::vector<std::int16_t> (*)(const std::vector<std::int16_t>&, std::int16_t,
                                            std::int32_t);

Model ModelOf(Variant v) { return v == px || v == m6 ? DoubleModel : FloatModel; }

std::vector<std::int16_t> EveryValue() {
  std::vector<std::int16_t> xs;
  for (std::int32_t x = -32768; x <= 32767; ++x) xs.push_back(static_cast<std::int16_t>(x));
  return xs;
}

qvls_status Divide(Variant v, std::int32_t value, GuardedBuffer<std::int16_t>& buffer,
                   std::int32_t sf) {
  const qvls_status status =
      CallKeepingFpSettings(qvls_variant_table.qvlsDivConst_i16_ip_sc.entry[v], value,
                            buffer.data(), static_cast<std::int32_t>(buffer.size()), sf);
  EXPECT_TRUE(buffer.Intact());
  return status;
}

constexpr std::int16_t kDivisors[] = {1, -1, 2, -2, 3, -7, 49, 1000, 4096, 12345, 32767, -32768};
constexpr std::int32_t kScaleFactors[] = {-31, -20, -15, -14, -13, -8, -1, 0,
                                          1,   2,   8,   14,  15,  16, 20};

// Every x, divisor and scale factor above against the variant's own model.
void ExpectModel(Variant v) {
  const std::vector<std::int16_t> all = EveryValue();
  for (std::int16_t divisor : kDivisors) {
    for (std::int32_t sf : kScaleFactors) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " divisor " << divisor << " sf " << sf);
      GuardedBuffer<std::int16_t> buffer(all, 0);
      EXPECT_EQ(Divide(v, divisor, buffer, sf), QVLS_OK);
      EXPECT_EQ(buffer.Load(), ModelOf(v)(all, divisor, sf));
    }
  }
}

TEST(DivConst, DoubleModel) {
  ExpectModel(px);
  ExpectModel(m6);
}

TEST(DivConst, FloatModel) {
  ExpectModel(a6);
  ExpectModel(w7);
}

// Worked cases: exact ties with power-of-two divisors go to even in every
// variant; where the reciprocal is rounded, the product decides.
TEST(DivConst, WorkedExamples) {
  struct Case {
    std::int16_t x;
    std::int32_t value, sf;
    std::int16_t double_groups, single_groups;  // px and m6; a6 and w7
  };
  const Case cases[] = {
      {3, 2, 0, 2, 2},
      {5, 2, 0, 2, 2},
      {-3, 2, 0, -2, -2},
      {-5, 2, 0, -2, -2},
      {10, 4, 0, 2, 2},
      {32767, 2, 0, 16384, 16384},
      {-32768, -1, 0, 32767, 32767},
      {1234, 1, 0, 1234, 1234},
      {1, 3, -14, 5461, 5461},
      {32767, 1, -1, 32767, 32767},
      {-32768, 1, -1, -32768, -32768},
      {6500, 1000, 0, 6, 7},
      {-24230, 12345, -14, -32157, -32158},
      {147, 49, 1, 1, 2},
      {49, 49, 1, 0, 0},
      {7, 0x10002, 0, 4, 4},  // only the low 16 bits of the divisor count
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(testing::Message()
                   << VariantTag(v) << ": " << c.x << " / " << c.value << " at sf " << c.sf);
      GuardedBuffer<std::int16_t> buffer(std::vector<std::int16_t>{c.x}, 0);
      EXPECT_EQ(Divide(v, c.value, buffer, c.sf), QVLS_OK);
      EXPECT_EQ(buffer.Get(0), v == px || v == m6 ? c.double_groups : c.single_groups);
    }
  }
}

TEST(DivConst, ChecksInOrderBeforeAnyWrite) {
  const std::vector<std::int16_t> xs = {100, -200, 300};
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    auto entry = qvls_variant_table.qvlsDivConst_i16_ip_sc.entry[v];
    GuardedBuffer<std::int16_t> buffer(xs, 0);
    EXPECT_EQ(entry(0, nullptr, 3, 0), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(entry(0, buffer.data(), 0, 0), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(entry(3, buffer.data(), -1, 0), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(entry(0, buffer.data(), 3, 0), QVLS_ERR_DIV_BY_ZERO);
    EXPECT_EQ(entry(0x10000, buffer.data(), 3, 0), QVLS_ERR_DIV_BY_ZERO);
    EXPECT_EQ(buffer.Load(), xs);
  }
}

// a6 and w7 split a vector between a 16-element block kernel and a
// single-element kernel by length and alignment; both must round the same
// product the same way (ties to even included: divisors 2 and 4 make exact
// halves). 32-byte-aligned, even and odd addresses.
TEST(DivConst, BlockAndSingleKernelsAgree) {
  Rng rng("DivConst.BlockAndSingleKernelsAgree");
  for (Variant v : {a6, w7}) {
    for (std::int32_t len : {31, 32, 33, 48, 100}) {
      for (std::size_t offset : {0, 32, 2, 18, 30, 1, 17}) {
        for (std::int16_t divisor : {2, 4, -3, 1000}) {
          for (std::int32_t sf : {-14, -1, 0, 1, 14}) {
            SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len << " offset "
                                            << offset << " divisor " << divisor << " sf " << sf);
            const std::vector<std::int16_t> xs = rng.Vector<std::int16_t>(len);
            GuardedBuffer<std::int16_t> buffer(xs, offset);
            EXPECT_EQ(Divide(v, divisor, buffer, sf), QVLS_OK);
            EXPECT_EQ(buffer.Load(), FloatModel(xs, divisor, sf));
          }
        }
      }
    }
  }
}

// Far beyond the range where results change: 0 stays 0 and every nonzero
// quotient saturates from sf -31 down, everything is 0 from sf 16 up, with
// no factor overflowing to infinity (0 times infinity would give -32768).
TEST(DivConst, ExtremeScaleFactors) {
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  const std::vector<std::int16_t> xs = {0, 1, -1, 2, 32767, -32768, 0, 5, -5, 0, 100, -100,
                                        0, 7, -7, 0, 1,     -1,     0, 3, -3, 0, 9,   -9,
                                        0, 1, -1, 0, 12345, -12345, 0, 1, -1, 0};
  for (Variant v : kAllVariants) {
    for (std::int16_t divisor : {1, -1, 3, -32768, 32767}) {
      for (std::int32_t sf : {-31, -32, -40, -41, -127, -128, -129, -1023, -1024, -1100, kMin}) {
        SCOPED_TRACE(testing::Message() << VariantTag(v) << " divisor " << divisor << " sf " << sf);
        GuardedBuffer<std::int16_t> buffer(xs, 0);
        EXPECT_EQ(Divide(v, divisor, buffer, sf), QVLS_OK);
        for (std::size_t i = 0; i < xs.size(); ++i) {
          const bool positive = (xs[i] > 0) == (divisor > 0);
          const std::int16_t expected = xs[i] == 0 ? 0 : (positive ? 32767 : -32768);
          EXPECT_EQ(buffer.Get(i), expected) << "x " << xs[i];
        }
      }
      for (std::int32_t sf : {16, 17, 40, 41, 128, 129, 1024, 1100, kMax}) {
        SCOPED_TRACE(testing::Message() << VariantTag(v) << " divisor " << divisor << " sf " << sf);
        GuardedBuffer<std::int16_t> buffer(xs, 0);
        EXPECT_EQ(Divide(v, divisor, buffer, sf), QVLS_OK);
        EXPECT_EQ(buffer.Load(), std::vector<std::int16_t>(xs.size(), 0));
      }
    }
  }
}

// m6 forces rounding to nearest for its arithmetic and puts the caller's
// rounding back: its results are the double model's under any caller mode.
TEST(DivConst, M6RoundsToNearestUnderAnyCallerMode) {
  const std::vector<std::int16_t> all = EveryValue();
  const std::uint32_t saved = _mm_getcsr();
  for (std::uint32_t mode : {0x2000u, 0x4000u, 0x6000u}) {
    for (std::int16_t divisor : {3, -7, 1000, 12345}) {
      for (std::int32_t sf : {-14, 0, 1}) {
        SCOPED_TRACE(testing::Message() << "MXCSR rounding 0x" << std::hex << mode << std::dec
                                        << " divisor " << divisor << " sf " << sf);
        const std::vector<std::int16_t> expected = DoubleModel(all, divisor, sf);
        GuardedBuffer<std::int16_t> buffer(all, 0);
        _mm_setcsr((saved & ~0x6000u) | mode);
        const qvls_status status =
            qvls_variant_table.qvlsDivConst_i16_ip_sc.entry[m6](divisor, buffer.data(), 65536, sf);
        const std::uint32_t after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(status, QVLS_OK);
        EXPECT_EQ(after & ~0x3Fu, (saved & ~0x6000u & ~0x3Fu) | mode);
        EXPECT_EQ(buffer.Load(), expected);
      }
    }
  }
}

}  // namespace
}  // namespace qvls_test
