#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "siglib/tests/support/guarded_buffer.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {

enum class Op { kHamming, kHann, kHannInPlace };
constexpr Op kOps[] = {Op::kHamming, Op::kHann, Op::kHannInPlace};

const char* OpName(Op op) {
  switch (op) {
    case Op::kHamming:
      return "Hamming";
    case Op::kHann:
      return "Hann";
    case Op::kHannInPlace:
      return "Hann in place";
  }
  return "?";
}

// The operation of one variant on xs; the output, with the buffers checked.
std::vector<std::int16_t> Window(Variant v, Op op, const std::vector<std::int16_t>& xs,
                                 std::size_t src_offset = 0, std::size_t dst_offset = 0) {
  const auto len = static_cast<std::int32_t>(xs.size());
  GuardedBuffer<std::int16_t> src(xs, src_offset);
  if (op == Op::kHannInPlace) {
    EXPECT_EQ(
        CallKeepingFpSettings(qvls_variant_table.qvlsWinHann_i16_ip.entry[v], src.data(), len),
        QVLS_OK);
    return src.Load();
  }
  GuardedBuffer<std::int16_t> dst(xs.size(), dst_offset);
  const auto& record =
      op == Op::kHann ? qvls_variant_table.qvlsWinHann_i16 : qvls_variant_table.qvlsWinHamming_i16;
  EXPECT_EQ(CallKeepingFpSettings(record.entry[v], src.data(), dst.data(), len), QVLS_OK);
  EXPECT_EQ(src.Load(), xs) << "the source changed";
  return dst.Load();
}

long double IdealWeight(Op op, std::size_t k, std::size_t len) {
  const long double c =
      std::cos(2 * std::numbers::pi_v<long double> * k / static_cast<long double>(len - 1));
  return op == Op::kHamming ? 0.54L - 0.46L * c : 0.5L * (1 - c);
}

// Beyond the half of rounding, the weights' own error times 32768: the
// double-precision rotation stays within 2^-40 of the ideal weight, the
// single-precision recurrence, which advances by 4 theta for up to 25 steps
// at these lengths, within 2^-19.
long double WeightErrorTolerance(Variant v) {
  return 32768 * std::ldexp(1.0L, v == px || v == m6 ? -40 : -19);
}

TEST(Window, AgainstIdealWeights) {
  Rng rng("Window.AgainstIdealWeights");
  for (Variant v : kAllVariants) {
    for (Op op : kOps) {
      for (std::size_t len = 3; len <= 200; ++len) {
        // Random samples, and full-scale ones where the weights' error counts most.
        const std::int16_t full_scale = len % 2 != 0 ? -32768 : 32767;
        for (const std::vector<std::int16_t>& xs :
             {rng.Vector<std::int16_t>(len, 4), std::vector<std::int16_t>(len, full_scale)}) {
          const std::vector<std::int16_t> ys = Window(v, op, xs, len % 16, len % 7);
          for (std::size_t k = 0; k < len; ++k) {
            const long double ideal = xs[k] * IdealWeight(op, k, len);
            ASSERT_LE(std::fabs(ys[k] - ideal), 0.5L + WeightErrorTolerance(v))
                << VariantTag(v) << " " << OpName(op) << " len " << len << " k " << k << " x "
                << xs[k];
          }
        }
      }
    }
  }
}

TEST(Window, SpecTable) {
  struct Case {
    Op op;
    std::vector<std::int16_t> in, out;
  };
  const Case cases[] = {
      {Op::kHamming, {32767, 32767, 32767}, {2621, 32767, 2621}},
      {Op::kHamming, {-32768, 100, -32768}, {-2621, 100, -2621}},
      {Op::kHann, {1000, 1000, 1000, 1000}, {0, 750, 750, 0}},
      {Op::kHannInPlace, {1000, 1000, 1000, 1000}, {0, 750, 750, 0}},
      {Op::kHann, {-7, -32768, 5}, {0, -32768, 0}},
      {Op::kHannInPlace, {-7, 32767, 5}, {0, 32767, 0}},
  };
  for (Variant v : kAllVariants) {
    for (const Case& c : cases) {
      EXPECT_EQ(Window(v, c.op, c.in, 2, 6), c.out) << VariantTag(v) << " " << OpName(c.op);
    }
  }
}

TEST(Window, ChecksBeforeAnyWrite) {
  const std::vector<std::int16_t> xs = {1, 2, 3, 4};
  for (Variant v : kAllVariants) {
    SCOPED_TRACE(VariantTag(v));
    GuardedBuffer<std::int16_t> src(xs, 0);
    GuardedBuffer<std::int16_t> dst(std::vector<std::int16_t>{9, 9, 9, 9}, 0);
    for (auto entry : {qvls_variant_table.qvlsWinHann_i16.entry[v],
                       qvls_variant_table.qvlsWinHamming_i16.entry[v]}) {
      EXPECT_EQ(entry(nullptr, dst.data(), 4), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(entry(nullptr, dst.data(), 2), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(entry(src.data(), nullptr, 4), QVLS_ERR_NULL_POINTER);
      EXPECT_EQ(entry(src.data(), nullptr, -1), QVLS_ERR_NULL_POINTER);
      for (std::int32_t len : {2, 1, 0, -1}) {
        EXPECT_EQ(entry(src.data(), dst.data(), len), QVLS_ERR_DATA_SIZE);
      }
    }
    auto in_place = qvls_variant_table.qvlsWinHann_i16_ip.entry[v];
    EXPECT_EQ(in_place(nullptr, 4), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(in_place(nullptr, 0), QVLS_ERR_NULL_POINTER);
    EXPECT_EQ(in_place(src.data(), 2), QVLS_ERR_DATA_SIZE);
    EXPECT_EQ(src.Load(), xs);
    EXPECT_EQ(dst.Load(), (std::vector<std::int16_t>{9, 9, 9, 9}));
  }
}

// The Hann ends are 0; an odd length passes its middle element through
// (the bounds included); an even length weights its two middle elements
// alike; a symmetric input gives a symmetric output.
TEST(Window, SymmetryEndsMiddle) {
  Rng rng("Window.SymmetryEndsMiddle");
  for (Variant v : kAllVariants) {
    for (Op op : kOps) {
      for (std::size_t len = 3; len <= 70; ++len) {
        std::vector<std::int16_t> xs = rng.Vector<std::int16_t>(len, 4);
        for (std::size_t k = 0; k < len / 2; ++k) xs[len - 1 - k] = xs[k];
        for (std::int16_t middle : {std::int16_t{-32768}, std::int16_t{32767}}) {
          xs[len / 2] = middle;
          if (len % 2 == 0) xs[len / 2 - 1] = middle;
          SCOPED_TRACE(testing::Message() << VariantTag(v) << " " << OpName(op) << " len " << len
                                          << " middle " << middle);
          const std::vector<std::int16_t> ys = Window(v, op, xs, 0, 2);
          EXPECT_EQ(std::vector<std::int16_t>(ys.rbegin(), ys.rend()), ys);
          if (op != Op::kHamming) {
            EXPECT_EQ(ys[0], 0);
          }
          if (len % 2 != 0) {
            EXPECT_EQ(ys[len / 2], middle);
          }
        }
      }
    }
  }
}

// px and m6 alike, a6 and w7 alike, for every operation; the in-place Hann
// equals the out-of-place one, also when its destination is its source.
TEST(Window, GroupsBitIdentical) {
  Rng rng("Window.GroupsBitIdentical");
  for (std::size_t len = 3; len <= 90; ++len) {
    const std::vector<std::int16_t> xs = rng.Vector<std::int16_t>(len);
    for (Op op : kOps) {
      SCOPED_TRACE(testing::Message() << OpName(op) << " len " << len);
      EXPECT_EQ(Window(m6, op, xs, 1, 3), Window(px, op, xs));
      EXPECT_EQ(Window(w7, op, xs, 1, 3), Window(a6, op, xs));
    }
    for (Variant v : kAllVariants) {
      SCOPED_TRACE(testing::Message() << VariantTag(v) << " len " << len);
      const std::vector<std::int16_t> out_of_place = Window(v, Op::kHann, xs);
      EXPECT_EQ(Window(v, Op::kHannInPlace, xs, 5), out_of_place);
      GuardedBuffer<std::int16_t> same(xs, 3);
      EXPECT_EQ(qvls_variant_table.qvlsWinHann_i16.entry[v](same.data(), same.data(),
                                                            static_cast<std::int32_t>(len)),
                QVLS_OK);
      EXPECT_EQ(same.Load(), out_of_place);
    }
  }
}

}  // namespace
}  // namespace qvls_test
