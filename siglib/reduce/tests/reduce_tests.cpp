#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "siglib/frame/fpu_control.h"
#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

using Vector = std::vector<std::int16_t>;

enum class Op { kSum, kNormInf, kNormL1, kNormL2, kDiffNormL1 };
constexpr Op kOps[] = {Op::kSum, Op::kNormInf, Op::kNormL1, Op::kNormL2, Op::kDiffNormL1};

const char* OpName(Op op) {
  constexpr const char* kNames[] = {"sum", "largest |x|", "L1", "L2", "difference L1"};
  return kNames[static_cast<int>(op)];
}

// One variant's operation on x (and y for the difference norm), placed at
// byte offset `offset`; the inputs must come back unchanged.
std::int32_t Reduce(Variant v, Op op, const Vector& x, std::int32_t sf, std::size_t offset = 0,
                    const Vector& y = {}) {
  EXPECT_TRUE(y.empty() || y.size() == x.size()) << "the difference norm takes equal lengths";
  GuardedBuffer<std::int16_t> gx(x, offset);
  GuardedBuffer<std::int16_t> gy(y.empty() ? x : y, (offset * 3 + 5) % 64);
  const auto len = static_cast<std::int32_t>(x.size());
  const auto& t = qvls_variant_table;
  std::int32_t r = 0x5A5A5A5A;
  qvls_status status = QVLS_ERR_NOT_SUPPORTED;
  switch (op) {
    case Op::kSum:
      status = CallKeepingFpSettings(t.qvlsSum_i16toi32_sc.entry[v], gx.data(), len, &r, sf);
      break;
    case Op::kNormInf:
      status = CallKeepingFpSettings(t.qvlsNormInf_i16toi32_sc.entry[v], gx.data(), len, &r, sf);
      break;
    case Op::kNormL1:
      status = CallKeepingFpSettings(t.qvlsNormL1_i16toi32_sc.entry[v], gx.data(), len, &r, sf);
      break;
    case Op::kNormL2:
      status = CallKeepingFpSettings(t.qvlsNormL2_i16toi32_sc.entry[v], gx.data(), len, &r, sf);
      break;
    case Op::kDiffNormL1:
      status = CallKeepingFpSettings(t.qvlsDiffNormL1_i16toi32_sc.entry[v], gx.data(), gy.data(),
                                     len, &r, sf);
      break;
  }
  EXPECT_EQ(status, QVLS_OK);
  EXPECT_EQ(gx.Load(), x);
  return r;
}

std::int16_t Mean(Variant v, const Vector& x, std::int32_t sf, std::size_t offset = 0) {
  GuardedBuffer<std::int16_t> gx(x, offset);
  std::int16_t r = 0x5A5A;
  EXPECT_EQ(CallKeepingFpSettings(qvls_variant_table.qvlsMean_i16_sc.entry[v], gx.data(),
                                  static_cast<std::int32_t>(x.size()), &r, sf),
            QVLS_OK);
  return r;
}

__int128 IntegerSqrt(__int128 q) {
  auto r = static_cast<__int128>(std::sqrt(static_cast<double>(q)));
  while (r * r > q) --r;
  while ((r + 1) * (r + 1) <= q) ++r;
  return r;
}

// The exact quantity, scaled as the operation says: the sum rounds to
// nearest (ties to even), the norms truncate. L2 only for sf >= 0 and a sum
// of squares below 2^52, where the root is exact.
std::int32_t Model(Op op, const Vector& x, const Vector& y, std::int32_t sf) {
  __int128 s = 0;
  for (std::size_t i = 0; i < x.size(); ++i) {
    const std::int32_t a = x[i];
    switch (op) {
      case Op::kSum:
        s += a;
        break;
      case Op::kNormInf:
        s = std::max<__int128>(s, a < 0 ? -a : a);
        break;
      case Op::kNormL1:
        s += a < 0 ? -a : a;
        break;
      case Op::kNormL2:
        s += a * a;
        break;
      case Op::kDiffNormL1:
        s += a > y[i] ? a - y[i] : y[i] - a;
        break;
    }
  }
  if (op == Op::kSum) return ScaleSaturate<std::int32_t>(s, sf);
  if (op == Op::kNormL2) s = IntegerSqrt(s);
  return ScaleSaturate<std::int32_t>(s, sf, Rounding::kTowardZero);
}

// The mean s * 2^-sf / len as an exact fraction, rounded to nearest with
// ties to even, saturated to 16 bits.
std::int16_t MeanModel(const Vector& x, std::int32_t sf) {
  __int128 s = 0;
  for (std::int16_t a : x) s += a;
  __int128 num = s;
  __int128 den = static_cast<__int128>(x.size());
  if (sf < 0) num *= static_cast<__int128>(1) << -sf;
  if (sf > 0) den *= static_cast<__int128>(1) << sf;
  __int128 q = num / den;
  __int128 r = num % den;
  if (r < 0) {
    q -= 1;
    r += den;
  }
  if (2 * r > den || (2 * r == den && q % 2 != 0)) q += 1;
  return Saturate<std::int16_t>(q);
}

std::vector<std::int32_t> Lengths() {
  std::vector<std::int32_t> lengths;
  for (std::int32_t n = 1; n <= 72; ++n) lengths.push_back(n);
  for (std::int32_t n : {95, 96, 127, 128, 129, 1000, 4097}) lengths.push_back(n);
  return lengths;
}

constexpr std::int32_t kScaleFactors[] = {0,  1,  2,  5,  15,  16,  31, 46,
                                          47, 60, -1, -5, -16, -31, -40};

TEST(Reduce, ExactModels) {
  Rng rng("Reduce.ExactModels");
  std::size_t call = 0;
  for (std::int32_t len : Lengths()) {
    const auto n = static_cast<std::size_t>(len);
    for (int fill = 0; fill < 3; ++fill) {
      const std::int16_t constant = fill == 1 ? INT16_MIN : INT16_MAX;
      const Vector x = fill == 0 ? rng.Vector<std::int16_t>(n) : Vector(n, constant);
      const Vector y = fill == 0 ? rng.Vector<std::int16_t>(n) : Vector(n, -1 - constant);
      for (std::size_t offset = 0; offset < 16; ++offset) {
        const std::int32_t sf = kScaleFactors[call++ % std::size(kScaleFactors)];
        for (Op op : kOps) {
          if (op == Op::kNormL2 && sf < 0) continue;
          const std::int32_t expected = Model(op, x, y, sf);
          for (Variant v : kAllVariants) {
            ASSERT_EQ(Reduce(v, op, x, sf, offset, y), expected)
                << VariantTag(v) << " " << OpName(op) << " len " << len << " fill " << fill
                << " offset " << offset << " sf " << sf;
          }
        }
      }
    }
  }
}

// Partial sums at the chunk size of 65536 and just past it, at aligned and
// odd addresses.
TEST(Reduce, ChunkBoundaries) {
  Rng rng("Reduce.ChunkBoundaries");
  struct Case {
    const char* what;
    Op op;
    Vector x, y;
    std::int32_t sf, expected;
  };
  const Vector min65536(65536, INT16_MIN);
  const Vector max131072(131072, INT16_MAX);
  const Case cases[] = {
      {"131072 x 32767", Op::kSum, max131072, {}, 0, INT32_MAX},
      {"131072 x 32767, a quarter", Op::kSum, max131072, {}, 2, 1073709056},
      {"65536 x -32768", Op::kSum, min65536, {}, 0, INT32_MIN},
      {"600000 x -32768: more than any 32-bit lane holds",
       Op::kSum,
       Vector(600000, INT16_MIN),
       {},
       20,
       -18750},
      {"65536 x -32768", Op::kNormL1, min65536, {}, 0, INT32_MAX},
      {"65536 x -32768, a half", Op::kNormL1, min65536, {}, 1, 1073741824},
      {"65536 x -32768", Op::kNormInf, min65536, {}, 0, 32768},
      {"65536 x -32768", Op::kNormL2, min65536, {}, 0, 8388608},
      {"65537 x 1", Op::kNormL1, Vector(65537, 1), {}, 0, 65537},
      {"65536 x |32767 - -32768|, a half", Op::kDiffNormL1, Vector(65536, INT16_MAX), min65536, 1,
       2147450880},
      {"65538 x |-32768 - 32767|, beyond 32 bits", Op::kDiffNormL1, Vector(65538, INT16_MIN),
       Vector(65538, INT16_MAX), 2, 1073758207},
  };
  for (const Case& c : cases) {
    for (std::size_t offset : {0u, 1u, 6u}) {
      for (Variant v : kAllVariants) {
        EXPECT_EQ(Reduce(v, c.op, c.x, c.sf, offset, c.y), c.expected)
            << VariantTag(v) << " " << OpName(c.op) << ": " << c.what << " offset " << offset;
      }
    }
  }
  // Random vectors across the boundaries, against the exact models.
  for (std::int32_t len : {65535, 65536, 65537, 131072, 131073, 200000}) {
    const Vector x = rng.Vector<std::int16_t>(static_cast<std::size_t>(len), 2);
    const Vector y = rng.Vector<std::int16_t>(static_cast<std::size_t>(len), 2);
    for (Op op : kOps) {
      const std::int32_t expected = Model(op, x, y, 4);
      for (Variant v : kAllVariants) {
        EXPECT_EQ(Reduce(v, op, x, 4, static_cast<std::size_t>(len) % 7, y), expected)
            << VariantTag(v) << " " << OpName(op) << " len " << len;
      }
      EXPECT_EQ(Mean(px, x, 0), MeanModel(x, 0));
    }
  }
}

TEST(Mean, RoundingTable) {
  struct Case {
    Vector x;
    std::int32_t sf;
    std::int16_t expected;
  };
  const Case cases[] = {
      {{1, 2}, 0, 2},           // 1.5 to even
      {{1, 4}, 0, 2},           // 2.5 to even
      {{-1, -2}, 0, -2},        // -1.5 to even
      {{-1, -4}, 0, -2},        // -2.5 to even
      {{0, 1}, -15, 16384},     // 0.5 * 32768
      {{-32768}, -1, -32768},   // saturated
      {{32767}, -1, 32767},     // saturated
      {{7}, 0, 7},              // one element is itself
      {{5, 6, 6}, 0, 6},        // 17 / 3
      {{32767, 32767}, 16, 0},  // every mean is 0 from sf 16 on
      {{-32768, -32768}, 16, 0},
      {{3}, 1, 2},  // 1.5
      {{1}, 1, 0},  // 0.5
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      EXPECT_EQ(Mean(v, c.x, c.sf), c.expected)
          << VariantTag(v) << " first " << c.x[0] << " len " << c.x.size() << " sf " << c.sf;
    }
  }
  // Against exact fractions while len * 2^sf stays below 2^36, where the
  // double-precision division decides the same in every variant.
  Rng rng("Mean.RoundingTable");
  for (std::int32_t len : Lengths()) {
    for (std::int32_t sf : {-20, -3, 0, 1, 4, 15}) {
      const Vector x = rng.Vector<std::int16_t>(static_cast<std::size_t>(len), 3);
      const std::int16_t expected = MeanModel(x, sf);
      for (Variant v : kAllVariants) {
        EXPECT_EQ(Mean(v, x, sf, static_cast<std::size_t>(len) % 16), expected)
            << VariantTag(v) << " len " << len << " sf " << sf;
      }
    }
  }
}

// Quotients between integers meet the rounding mode in force: px rounds by
// its own rule, m6 and a6 by the x87 unit's mode, w7 by the SIMD unit's (so
// does the w7 sum). The default mode, to nearest with ties to even, gives
// the same everywhere, as the tables show.
TEST(Mean, FollowsTheRoundingModeInForce) {
  const Vector quarter = {1, 1, 1, 2};         // mean 1.25
  const Vector three_quarters = {1, 2, 2, 2};  // mean 1.75
  const Vector sum_half = {1, 2};              // sum 3, halved 1.5
  const std::uint32_t x87 = qvlsSetFpuControl(0x800, qvls::fpu::kRoundingMask);  // up
  const std::uint32_t mxcsr = _mm_getcsr();
  _mm_setcsr((mxcsr & ~0x6000u) | 0x2000u);  // down
  std::int32_t means[2][4];
  std::int32_t sums[4];
  for (Variant v : kAllVariants) {
    means[0][v] = Mean(v, quarter, 0);
    means[1][v] = Mean(v, three_quarters, 0);
    sums[v] = Reduce(v, Op::kSum, sum_half, 1);
  }
  _mm_setcsr(mxcsr);
  qvlsLoadFpuControl(x87);
  EXPECT_EQ(means[0][px], 1);
  EXPECT_EQ(means[1][px], 2);
  EXPECT_EQ(means[0][m6], 2);
  EXPECT_EQ(means[0][a6], 2);
  EXPECT_EQ(means[1][m6], 2);
  EXPECT_EQ(means[0][w7], 1);
  EXPECT_EQ(means[1][w7], 1);
  EXPECT_EQ(sums[px], 2);
  EXPECT_EQ(sums[m6], 2);
  EXPECT_EQ(sums[w7], 1);
}

TEST(NormL2, Table) {
  struct Case {
    const char* what;
    Vector x;
    std::int32_t sf, expected;
  };
  // (2^26 + 1)^2 - 1 = 2^22 squares of -32768 and 128 of 1024: its root,
  // 2^26 + 1 - 2^-27 and a little, rounds to 2^26 + 1 in double precision.
  Vector below_square(4194304, INT16_MIN);
  below_square.insert(below_square.end(), 128, 1024);
  const Case cases[] = {
      {"{3, 4}", {3, 4}, 0, 5},
      {"{1, 1} truncates", {1, 1}, 0, 1},
      {"{-32768, -32768}", {INT16_MIN, INT16_MIN}, 0, 46340},
      {"{3, 4} halved truncates", {3, 4}, 1, 2},
      {"{3, 4} doubled", {3, 4}, -1, 10},
      {"{-32768} at sf -1", {INT16_MIN}, -1, 65536},
      {"saturates", {INT16_MIN}, -16, INT32_MAX},
      {"{1, 1} at sf -20", {1, 1}, -20, 1482910},
      {"a sum of squares just below (2^26 + 1)^2", below_square, 0, 67108865},
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      EXPECT_EQ(Reduce(v, Op::kNormL2, c.x, c.sf), c.expected) << VariantTag(v) << ": " << c.what;
    }
  }
}

TEST(Reduce, SingleElementAndSmallCases) {
  struct Case {
    Op op;
    Vector x, y;
    std::int32_t sf, expected;
  };
  const Case cases[] = {
      {Op::kSum, {1, 2}, {}, 1, 2},  // 1.5 to even
      {Op::kSum, {1, 4}, {}, 1, 2},  // 2.5 to even
      {Op::kSum, {-1, -2}, {}, 1, -2},
      {Op::kSum, {-5}, {}, 0, -5},
      {Op::kNormInf, {INT16_MIN}, {}, 0, 32768},
      {Op::kNormInf, {INT16_MIN}, {}, -16, INT32_MAX},
      {Op::kNormInf, {INT16_MIN}, {}, 15, 1},
      {Op::kNormInf, {INT16_MIN}, {}, 16, 0},
      {Op::kNormL1, {-7}, {}, 0, 7},
      {Op::kDiffNormL1, {INT16_MAX}, {INT16_MIN}, 0, 65535},
      {Op::kDiffNormL1, {3, -3}, {3, -3}, 0, 0},
  };
  for (const Case& c : cases) {
    for (Variant v : kAllVariants) {
      EXPECT_EQ(Reduce(v, c.op, c.x, c.sf, 0, c.y), c.expected)
          << VariantTag(v) << " " << OpName(c.op) << " first " << c.x[0] << " sf " << c.sf;
    }
  }
}

// A scale factor of any size costs no more than one of the last that still
// changes a result, and gives the results determined by the sums' bounds.
TEST(Reduce, ExtremeScaleFactors) {
  Rng rng("Reduce.ExtremeScaleFactors");
  const Vector positive = {300, 2, 9};
  const Vector negative = {-300, 2, 9};
  const Vector zeros(5, 0);
  const Vector random = rng.Vector<std::int16_t>(1000);
  const Vector other = rng.Vector<std::int16_t>(1000);
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    for (Op op : kOps) {
      EXPECT_EQ(Reduce(v, op, positive, INT32_MAX, 0, negative), 0) << OpName(op);
      EXPECT_EQ(Reduce(v, op, positive, INT32_MIN, 0, negative), INT32_MAX) << OpName(op);
      EXPECT_EQ(Reduce(v, op, zeros, INT32_MIN), 0) << OpName(op);
      EXPECT_EQ(Reduce(v, op, random, INT32_MAX, 0, other), Reduce(v, op, random, 47, 0, other))
          << OpName(op);
      EXPECT_EQ(Reduce(v, op, random, INT32_MIN, 0, other), Reduce(v, op, random, -32, 0, other))
          << OpName(op);
    }
    EXPECT_EQ(Reduce(v, Op::kSum, negative, INT32_MIN), INT32_MIN);
    EXPECT_EQ(Mean(v, positive, INT32_MAX), 0);
    EXPECT_EQ(Mean(v, negative, INT32_MAX), 0);
    EXPECT_EQ(Mean(v, positive, INT32_MIN), INT16_MAX);
    EXPECT_EQ(Mean(v, negative, INT32_MIN), INT16_MIN);
    EXPECT_EQ(Mean(v, zeros, INT32_MIN), 0);
    // One in 2^31 elements still saturates at sf -47.
    EXPECT_EQ(Mean(v, Vector{1}, -47), INT16_MAX);
    EXPECT_EQ(Mean(v, random, INT32_MIN), Mean(v, random, -47));
    EXPECT_EQ(Mean(v, random, INT32_MAX), Mean(v, random, 16));
  }
}

// Null pointers first (also with a bad length), then the length; the result
// is not written on failure.
TEST(Reduce, ArgumentChecks) {
  const Vector x = {1, 2, 3};
  const auto& t = qvls_variant_table;
  for (Variant v : kAllVariants) {
    for (std::int32_t len : {3, 0, -1}) {
      std::int32_t r = 77;
      std::int16_t r16 = 77;
      EXPECT_EQ(t.qvlsSum_i16toi32_sc.entry[v](nullptr, len, &r, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsMean_i16_sc.entry[v](x.data(), len, nullptr, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsNormInf_i16toi32_sc.entry[v](nullptr, len, &r, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsNormL1_i16toi32_sc.entry[v](x.data(), len, nullptr, 0),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsNormL2_i16toi32_sc.entry[v](nullptr, len, &r, 0), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDiffNormL1_i16toi32_sc.entry[v](x.data(), nullptr, len, &r, 0),
                QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(t.qvlsDiffNormL1_i16toi32_sc.entry[v](nullptr, x.data(), len, &r, 0),
                QVLS_ERR_NULL_POINTER);
      if (len <= 0) {
        EXPECT_EQ(t.qvlsSum_i16toi32_sc.entry[v](x.data(), len, &r, 0), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsMean_i16_sc.entry[v](x.data(), len, &r16, 0), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsNormInf_i16toi32_sc.entry[v](x.data(), len, &r, 0), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsNormL1_i16toi32_sc.entry[v](x.data(), len, &r, 0), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsNormL2_i16toi32_sc.entry[v](x.data(), len, &r, 0), QVLS_ERR_DATA_SIZE);
        EXPECT_EQ(t.qvlsDiffNormL1_i16toi32_sc.entry[v](x.data(), x.data(), len, &r, 0),
                  QVLS_ERR_DATA_SIZE);
      }
      EXPECT_EQ(r, 77);
      EXPECT_EQ(r16, 77);
    }
  }
}

}  // namespace
}  // namespace qvls_test
