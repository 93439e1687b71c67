#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "siglib/frame/fpu_control.h"
#include "siglib/sqrt/sqrt_a6_kernel.h"
#include "siglib/sqrt/sqrt_rules.h"
#include "siglib/sqrt/sqrt_w7_kernel.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

constexpr std::int32_t kLowestSf = -16;
constexpr std::int32_t kHighestSf = 10;

// The rule by exact integer comparisons: v = sqrt(x) 2^-sf lies above c + 1/2
// exactly when 4 x 4^-sf > (2c + 1)^2, both sides scaled to integers.
std::int16_t ExactScaledRoot(std::int32_t x, std::int32_t sf) {
  if (x <= 0) return 0;
  const __int128 lhs = static_cast<__int128>(x) * 4 << (sf < 0 ? -2 * sf : 0);
  const __int128 rhs_scale = static_cast<__int128>(1) << (sf > 0 ? 2 * sf : 0);
  // Sign of v - (c + 1/2).
  auto above_half = [&](std::int64_t c) {
    const __int128 t = 2 * static_cast<__int128>(c) + 1;
    const __int128 r = t * t * rhs_scale;
    return lhs > r ? 1 : (lhs == r ? 0 : -1);
  };
  auto c = static_cast<std::int64_t>(
      std::floor(std::sqrt(static_cast<long double>(x)) * std::ldexp(1.0L, -sf)));
  while (c > 0 && above_half(c - 1) < 0) --c;
  while (above_half(c) > 0) ++c;
  // Now c - 1/2 <= v <= c + 1/2; a tie goes to the even neighbour.
  if (above_half(c) == 0 && (c & 1) != 0) ++c;
  if (c > 0 && above_half(c - 1) == 0 && (c & 1) != 0) --c;
  return static_cast<std::int16_t>(std::min<std::int64_t>(c, 32767));
}

// The rule for every x (index x + 32768) and every sf of the tests.
const std::vector<std::vector<std::int16_t>>& RuleTable() {
  static const auto table = [] {
    std::vector<std::vector<std::int16_t>> t;
    for (std::int32_t sf = kLowestSf; sf <= kHighestSf; ++sf) {
      std::vector<std::int16_t> row(65536);
      for (std::int32_t x = -32768; x <= 32767; ++x) row[x + 32768] = ExactScaledRoot(x, sf);
      t.push_back(std::move(row));
    }
    return t;
  }();
  return table;
}

std::int16_t Rule(std::int16_t x, std::int32_t sf) {
  return RuleTable()[sf - kLowestSf][x + 32768];
}

std::vector<std::int16_t> RuleOf(const std::vector<std::int16_t>& xs, std::int32_t sf) {
  std::vector<std::int16_t> out;
  for (std::int16_t x : xs) out.push_back(Rule(x, sf));
  return out;
}

std::vector<std::int16_t> EveryValue(std::int32_t from = -32768) {
  std::vector<std::int16_t> xs;
  for (std::int32_t x = from; x <= 32767; ++x) xs.push_back(static_cast<std::int16_t>(x));
  return xs;
}

TEST(SqrtRule, ModelAgreesWithTheWorkedExamples) {
  struct Case {
    std::int32_t x, sf, result;
  };
  const Case cases[] = {
      {0, 0, 0},         {2, 0, 1},          {3, 0, 2},          {32767, 0, 181},
      {9, 1, 2},         {25, 1, 2},         {49, 1, 4},         {36, 2, 2},
      {100, 2, 2},       {16384, 8, 0},      {16385, 8, 1},      {32767, 8, 1},
      {32767, 9, 0},     {1, -15, 32767},    {32767, -1, 362},   {32767, -2, 724},
      {32767, -3, 1448}, {32767, -7, 23170}, {16383, -8, 32767}, {16384, -8, 32767},
      {4095, -9, 32764}, {4096, -9, 32767},  {1, -14, 16384},    {2, -14, 23170},
      {3, -14, 28378},   {4, -14, 32767},    {1783, -9, 21619},  {20727, -4, 2303},
      {-1, 0, 0},        {-32768, 0, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ExactScaledRoot(c.x, c.sf), c.result) << "x " << c.x << " sf " << c.sf;
  }
}

class Sqrt : public VariantTest {
 protected:
  qvls_status Run(GuardedBuffer<std::int16_t>& buffer, std::int32_t sf) const {
    const qvls_status status = Call(qvls_variant_table.qvlsSqrt_i16_ip_sc, buffer.data(),
                                    static_cast<std::int32_t>(buffer.size()), sf);
    EXPECT_TRUE(buffer.Intact());
    return status;
  }
};

TEST_P(Sqrt, ExhaustiveRuleAllVariants) {
  const std::vector<std::int16_t> all = EveryValue();
  const std::vector<std::int16_t> non_negative = EveryValue(0);
  for (std::int32_t sf = kLowestSf; sf <= kHighestSf; ++sf) {
    SCOPED_TRACE(testing::Message() << "sf " << sf);
    GuardedBuffer<std::int16_t> every(all, 2);
    EXPECT_EQ(Run(every, sf), QVLS_WARN_SQRT_NEGATIVE);
    EXPECT_EQ(every.Load(), RuleOf(all, sf));
    GuardedBuffer<std::int16_t> positive(non_negative, 0);
    EXPECT_EQ(Run(positive, sf), QVLS_OK);
    EXPECT_EQ(positive.Load(), RuleOf(non_negative, sf));
  }
}

TEST_P(Sqrt, ChecksComeBeforeAnyWrite) {
  GuardedBuffer<std::int16_t> buffer(std::vector<std::int16_t>{4, -9, 16}, 0);
  EXPECT_EQ(Call(qvls_variant_table.qvlsSqrt_i16_ip_sc, nullptr, 3, 0), QVLS_ERR_NULL_POINTER);
  EXPECT_EQ(Call(qvls_variant_table.qvlsSqrt_i16_ip_sc, buffer.data(), 0, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(Call(qvls_variant_table.qvlsSqrt_i16_ip_sc, buffer.data(), -3, 0), QVLS_ERR_DATA_SIZE);
  EXPECT_EQ(buffer.Load(), (std::vector<std::int16_t>{4, -9, 16}));
}

// One routine of each variant per scale factor below (the fixed ranges
// included); a single negative element anywhere must make the result 3.
constexpr std::int32_t kRoutineScaleFactors[] = {-16, -15, -14, -9, -8, -4, -3, -2,
                                                 -1,  0,   1,   4,  5,  8,  9,  10};

TEST_P(Sqrt, NegativeAnywhereWarns) {
  Rng rng("Sqrt.NegativeAnywhereWarns");
  constexpr std::int32_t kLen = 29;
  for (std::size_t offset : {0, 6, 1}) {
    // Positions at the start, inside a group of eight, and in the last
    // partial group, wherever the groups fall for this offset.
    for (std::int32_t position : {0, 11, 27, 28}) {
      for (std::int16_t negative : {std::int16_t{-1}, std::int16_t{-32768}}) {
        std::vector<std::int16_t> xs(kLen);
        for (auto& x : xs) x = static_cast<std::int16_t>(rng.Range(1, 32767));
        xs[position] = negative;
        for (std::int32_t sf : kRoutineScaleFactors) {
          SCOPED_TRACE(testing::Message() << "offset " << offset << " position " << position
                                          << " value " << negative << " sf " << sf);
          GuardedBuffer<std::int16_t> buffer(xs, offset);
          EXPECT_EQ(Run(buffer, sf), QVLS_WARN_SQRT_NEGATIVE);
          EXPECT_EQ(buffer.Load(), RuleOf(xs, sf));
        }
      }
    }
  }
}

TEST_P(Sqrt, LengthsAndAlignments) {
  Rng rng("Sqrt.LengthsAndAlignments");
  for (std::int32_t len = 1; len <= 17; ++len) {
    for (std::size_t offset : {0, 2, 6, 14, 1, 9}) {
      for (bool with_zero : {false, true}) {
        std::vector<std::int16_t> xs(len);
        for (auto& x : xs) x = static_cast<std::int16_t>(rng.Range(1, 32767));
        if (with_zero) xs[rng.Range(0, len - 1)] = 0;
        for (std::int32_t sf = kLowestSf; sf <= kHighestSf; ++sf) {
          SCOPED_TRACE(testing::Message() << "len " << len << " offset " << offset << " sf " << sf
                                          << (with_zero ? " with a zero" : ""));
          GuardedBuffer<std::int16_t> buffer(xs, offset);
          EXPECT_EQ(Run(buffer, sf), QVLS_OK);
          EXPECT_EQ(buffer.Load(), RuleOf(xs, sf));
        }
      }
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(Sqrt);

// An estimator of 1/sqrt(v) off by the largest relative error the
// instruction may have, in one direction: the float nearest to
// (1 + error) / sqrt(v) that does not go beyond it.
struct WorstCaseRsqrt {
  double error;
  __m128 operator()(__m128 v) const {
    alignas(16) float lanes[4];
    _mm_store_ps(lanes, v);
    for (float& lane : lanes) {
      const double exact = 1.0 / std::sqrt(static_cast<double>(lane));
      auto estimate = static_cast<float>(exact * (1.0 + error));
      if (std::fabs(estimate / exact - 1.0) > std::fabs(error)) {
        estimate = std::nextafter(estimate, static_cast<float>(exact));
      }
      lane = estimate;
    }
    return _mm_load_ps(lanes);
  }
};

TEST(SqrtWorstCase, WorstCaseEstimatorStillExact) {
  const std::vector<std::int16_t> all = EveryValue();
  const double bound = 1.5 * std::ldexp(1.0, -12);
  for (double error : {bound, -bound}) {
    const WorstCaseRsqrt estimate{error};
    for (std::int32_t sf = -14; sf <= 8; ++sf) {
      SCOPED_TRACE(testing::Message() << "relative error " << error << " sf " << sf);
      GuardedBuffer<std::int16_t> a6(all, 0);
      EXPECT_TRUE(qvls::sqrt::a6::Kernel(a6.data(), 65536, sf, estimate));
      EXPECT_EQ(a6.Load(), RuleOf(all, sf)) << "a6";
      GuardedBuffer<std::int16_t> w7(all, 0);
      EXPECT_TRUE(qvls::sqrt::w7::Kernel(w7.data(), 65536, sf, estimate));
      EXPECT_EQ(w7.Load(), RuleOf(all, sf)) << "w7";
    }
  }
}

// The m6 kernel runs sf < 0 on the x87 unit at single precision: it must
// give the rule whatever precision and rounding the caller set, and put the
// caller's control word back.
TEST(SqrtControlWord, ControlWordRestored) {
  const std::vector<std::int16_t> all = EveryValue();
  const std::uint32_t saved = qvlsSetFpuControl(0, 0);
  const std::uint32_t caller_words[] = {
      0x037F,  // extended precision, to nearest (the usual word)
      0x027F,  // double precision
      0x007F,  // single precision to nearest: the kernel's own setting for most sf
      0x0C7F,  // toward zero: the kernel's setting for sf -6 .. -8
      0x0B7F,  // upward, extended
      0x047F,  // downward, single
  };
  for (std::uint32_t word : caller_words) {
    for (std::int32_t sf = -14; sf <= -1; ++sf) {
      SCOPED_TRACE(testing::Message()
                   << "caller's word 0x" << std::hex << word << std::dec << " sf " << sf);
      qvlsSetFpuControl(word, 0xFFFF);
      GuardedBuffer<std::int16_t> buffer(all, 0);
      const qvls_status status = CallKeepingFpSettings(
          qvls_variant_table.qvlsSqrt_i16_ip_sc.entry[m6], buffer.data(), 65536, sf);
      const std::uint32_t after = qvlsSetFpuControl(saved, 0xFFFF);
      EXPECT_EQ(after & 0xFFFF, word);
      EXPECT_EQ(status, QVLS_WARN_SQRT_NEGATIVE);
      EXPECT_EQ(buffer.Load(), RuleOf(all, sf));
    }
  }
}

}  // namespace
}  // namespace qvls_test
