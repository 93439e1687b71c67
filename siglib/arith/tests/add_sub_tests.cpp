#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "siglib/arith/tests/arith_models.h"
#include "siglib/arith/tests/read_only_page.h"
#include "siglib/frame/slots.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {


// Operand pairs (a, b) whose exact sum (or difference, a - b) takes every
// value from `lowest` to `highest` once, with a drawn anywhere the range of
// b allows, so the lanes see every kind of operand behind each x.
struct Pairs {
  std::vector<std::int16_t> a;
  std::vector<std::int16_t> b;
  std::vector<std::int32_t> x;
};

Pairs CoveringPairs(bool sum, std::int32_t lowest, std::int32_t highest) {
  Rng rng(sum ? "AddSub.SumPairs" : "AddSub.DifferencePairs");
  Pairs pairs;
  for (std::int32_t x = lowest; x <= highest; ++x) {
    // b = x - a (sum) or a - x (difference) must be a 16-bit value.
    const std::int32_t lo = sum ? std::max(-32768, x - 32767) : std::max(-32768, x - 32768);
    const std::int32_t hi = sum ? std::min(32767, x + 32768) : std::min(32767, x + 32767);
    const auto a = static_cast<std::int32_t>(rng.Range(lo, hi));
    pairs.a.push_back(static_cast<std::int16_t>(a));
    pairs.b.push_back(static_cast<std::int16_t>(sum ? x - a : a - x));
    pairs.x.push_back(x);
  }
  return pairs;
}

std::vector<std::int16_t> ModelOf(const std::vector<std::int32_t>& xs, std::int32_t sf) {
  std::vector<std::int16_t> out;
  out.reserve(xs.size());
  for (std::int32_t x : xs) out.push_back(Scaled16(x, sf));
  return out;
}

std::int32_t Length(const std::vector<std::int16_t>& v) {
  return static_cast<std::int32_t>(v.size());
}

class AddSub : public VariantTest {};

TEST_P(AddSub, ExhaustiveOverExactIntermediate) {
  const Pairs sums = CoveringPairs(true, -65536, 65534);
  const Pairs differences = CoveringPairs(false, -65535, 65535);
  const auto& table = qvls_variant_table;
  for (std::int32_t sf = -20; sf <= 20; ++sf) {
    SCOPED_TRACE(testing::Message() << "sf " << sf);
    std::vector<std::int16_t> srcdst = sums.a;
    ASSERT_EQ(Call(table.qvlsAdd_i16_ip_sc, sums.b.data(), srcdst.data(), Length(srcdst), sf),
              QVLS_OK);
    EXPECT_EQ(srcdst, ModelOf(sums.x, sf)) << "qvlsAdd_i16_ip_sc";

    srcdst = differences.a;
    ASSERT_EQ(
        Call(table.qvlsSub_i16_ip_sc, differences.b.data(), srcdst.data(), Length(srcdst), sf),
        QVLS_OK);
    EXPECT_EQ(srcdst, ModelOf(differences.x, sf)) << "qvlsSub_i16_ip_sc";
  }

  const std::vector<std::int16_t> saturated = ModelOf(differences.x, 0);
  std::vector<std::int16_t> srcdst = differences.a;
  ASSERT_EQ(Call(table.qvlsSub_i16_ip, differences.b.data(), srcdst.data(), Length(srcdst)),
            QVLS_OK);
  EXPECT_EQ(srcdst, saturated) << "qvlsSub_i16_ip";

  std::vector<std::int16_t> dst(differences.a.size());
  ASSERT_EQ(
      Call(table.qvlsSub_i16, differences.b.data(), differences.a.data(), dst.data(), Length(dst)),
      QVLS_OK);
  EXPECT_EQ(dst, saturated) << "qvlsSub_i16 (srcB - srcA)";

  // The constant subtraction: every element against constants whose
  // differences reach both ends of the exact range.
  std::vector<std::int16_t> every;
  for (std::int32_t v = -32768; v <= 32767; ++v) every.push_back(static_cast<std::int16_t>(v));
  for (std::int32_t value : {-32768, -32767, -1, 1, 2, 12345, 32767}) {
    std::vector<std::int32_t> xs;
    for (std::int16_t v : every) xs.push_back(v - value);
    srcdst = every;
    ASSERT_EQ(Call(table.qvlsSubConst_i16_ip, value, srcdst.data(), Length(srcdst)), QVLS_OK);
    EXPECT_EQ(srcdst, ModelOf(xs, 0)) << "qvlsSubConst_i16_ip " << value;
  }
}

TEST_P(AddSub, Semantics) {
  const auto& table = qvls_variant_table;
  constexpr std::int32_t kLen = 40;  // past every vector loop's first step
  Rng rng("AddSub.Semantics");
  const std::vector<std::int16_t> values = rng.Vector<std::int16_t>(kLen);

  // A constant of 0 (the low 16 bits of the argument) writes nothing: the
  // vector lies on a page that cannot be written.
  for (std::int32_t value : {0, 0x10000, -0x10000}) {
    ReadOnlyPage<std::int16_t> page(values, 2);
    EXPECT_EQ(Call(table.qvlsSubConst_i16_ip, value, page.data(), kLen), QVLS_OK);
  }
  // Only the low 16 bits count: 0x10001 subtracts 1, 0xFFFF subtracts -1.
  std::vector<std::int16_t> v = {5, -32768, 32767};
  ASSERT_EQ(Call(table.qvlsSubConst_i16_ip, 0x10001, v.data(), 3), QVLS_OK);
  EXPECT_EQ(v, (std::vector<std::int16_t>{4, -32768, 32766}));
  ASSERT_EQ(Call(table.qvlsSubConst_i16_ip, 0xFFFF, v.data(), 3), QVLS_OK);
  EXPECT_EQ(v, (std::vector<std::int16_t>{5, -32767, 32767}));

  // qvlsSub_i16 subtracts its first vector from its second.
  std::vector<std::int16_t> a(kLen, 1000);
  std::vector<std::int16_t> b(kLen, 7);
  std::vector<std::int16_t> dst(kLen);
  ASSERT_EQ(Call(table.qvlsSub_i16, a.data(), b.data(), dst.data(), kLen), QVLS_OK);
  EXPECT_EQ(dst, std::vector<std::int16_t>(kLen, -993));

  // The overlaps the operations allow.
  std::vector<std::int16_t> same = values;
  ASSERT_EQ(Call(table.qvlsSub_i16_ip, same.data(), same.data(), kLen), QVLS_OK);
  EXPECT_EQ(same, std::vector<std::int16_t>(kLen, 0)) << "src = srcdst subtracts to zeros";

  for (std::int32_t sf : {0, 1, -3}) {
    same = values;
    ASSERT_EQ(Call(table.qvlsAdd_i16_ip_sc, same.data(), same.data(), kLen, sf), QVLS_OK);
    std::vector<std::int32_t> doubled;
    for (std::int16_t x : values) doubled.push_back(2 * x);
    EXPECT_EQ(same, ModelOf(doubled, sf)) << "src = srcdst doubles, sf " << sf;
  }

  const std::vector<std::int16_t> other = rng.Vector<std::int16_t>(kLen);
  std::vector<std::int32_t> differences;
  for (std::int32_t i = 0; i < kLen; ++i) differences.push_back(other[i] - values[i]);
  std::vector<std::int16_t> first = values;
  ASSERT_EQ(Call(table.qvlsSub_i16, first.data(), other.data(), first.data(), kLen), QVLS_OK);
  EXPECT_EQ(first, ModelOf(differences, 0)) << "dst = srcA";
  std::vector<std::int16_t> second = other;
  ASSERT_EQ(Call(table.qvlsSub_i16, values.data(), second.data(), second.data(), kLen), QVLS_OK);
  EXPECT_EQ(second, ModelOf(differences, 0)) << "dst = srcB";

  std::vector<std::int32_t> words(kLen, 0x40000001);
  ASSERT_EQ(Call(table.qvlsAdd_i32_ip_sc, words.data(), words.data(), kLen, 1), QVLS_OK);
  EXPECT_EQ(words, std::vector<std::int32_t>(kLen, 0x40000001)) << "32-bit src = srcdst, sf 1";
}

QVLS_INSTANTIATE_VARIANTS(AddSub);

class AddI32 : public VariantTest {
 protected:
  // srcdst = scaled (srcdst + src), against the 128-bit model.
  void ExpectModel(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b,
                   std::int32_t sf) {
    std::vector<std::int32_t> srcdst = a;
    ASSERT_EQ(Call(qvls_variant_table.qvlsAdd_i32_ip_sc, b.data(), srcdst.data(),
                   static_cast<std::int32_t>(a.size()), sf),
              QVLS_OK);
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_EQ(srcdst[i], Scaled32(static_cast<__int128>(a[i]) + b[i], sf))
          << a[i] << " + " << b[i] << " at sf " << sf << ", element " << i;
    }
  }
};

TEST_P(AddI32, RandomAndEdgePairsAgainstExactSum) {
  Rng rng("AddI32.RandomAndEdgePairs");
  const std::vector<std::int32_t> a = rng.Vector<std::int32_t>(1024, 4);
  const std::vector<std::int32_t> b = rng.Vector<std::int32_t>(1024, 4);
  for (std::int32_t sf = -40; sf <= 40; ++sf) ExpectModel(a, b, sf);
}

TEST_P(AddI32, WorkedCases) {
  struct Case {
    std::int32_t a, b, sf, result;
  };
  const Case cases[] = {
      {kInt32Max, 1, 0, kInt32Max},
      {kInt32Max, 1, 1, 1 << 30},
      {kInt32Min, kInt32Min, 0, kInt32Min},
      {kInt32Min, kInt32Min, 1, kInt32Min},
      {kInt32Min, kInt32Min, 2, -(1 << 30)},
      {kInt32Max, kInt32Max, 33, 0},
      {kInt32Min, kInt32Min, 33, 0},
      {1, 0, -31, kInt32Max},
      {-1, 0, -31, kInt32Min},
      {0, 0, -31, 0},
      {3, 3, -29, kInt32Max},
      {3, 1, 1, 2},  // 2 exactly
      {3, 2, 1, 2},  // 2.5 to even
      {3, 4, 1, 4},  // 3.5 to even
      {-3, -2, 1, -2},
  };
  for (const Case& c : cases) {
    // Alone, and repeated along a vector long enough for the vector loop.
    for (std::int32_t len : {1, 24}) {
      std::vector<std::int32_t> srcdst(len, c.a);
      const std::vector<std::int32_t> src(len, c.b);
      ASSERT_EQ(Call(qvls_variant_table.qvlsAdd_i32_ip_sc, src.data(), srcdst.data(), len, c.sf),
                QVLS_OK);
      EXPECT_EQ(srcdst, std::vector<std::int32_t>(len, c.result))
          << c.a << " + " << c.b << " at sf " << c.sf << ", length " << len;
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(AddI32);

}  // namespace
}  // namespace qvls_test
