#include <gtest/gtest.h>

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


std::vector<std::int16_t> EveryValue() {
  std::vector<std::int16_t> xs;
  for (std::int32_t x = -32768; x <= 32767; ++x) xs.push_back(static_cast<std::int16_t>(x));
  return xs;
}

class MulConst : public VariantTest {};

TEST_P(MulConst, ExhaustiveOverInputs) {
  const auto& table = qvls_variant_table;
  const std::vector<std::int16_t> xs = EveryValue();
  const auto n = static_cast<std::int32_t>(xs.size());
  for (std::int16_t value : {0, 1, -1, 2, 32767, -32768, 12345}) {
    for (std::int32_t sf : {-17, -16, -15, -1, 0, 1, 2, 14, 15, 16, 30, 31}) {
      SCOPED_TRACE(testing::Message() << "value " << value << ", sf " << sf);
      std::vector<std::int16_t> expected;
      for (std::int16_t x : xs) expected.push_back(Scaled16(std::int32_t{value} * x, sf));

      std::vector<std::int16_t> srcdst = xs;
      ASSERT_EQ(Call(table.qvlsMulConst_i16_ip_sc, value, srcdst.data(), n, sf), QVLS_OK);
      EXPECT_EQ(srcdst, expected) << "qvlsMulConst_i16_ip_sc";

      std::vector<std::int16_t> dst(xs.size(), 0x5A5A);
      ASSERT_EQ(Call(table.qvlsMulConst_i16_sc, xs.data(), value, dst.data(), n, sf), QVLS_OK);
      EXPECT_EQ(dst, expected) << "qvlsMulConst_i16_sc";

      // The same operation with src = dst works in place.
      dst = xs;
      ASSERT_EQ(Call(table.qvlsMulConst_i16_sc, dst.data(), value, dst.data(), n, sf), QVLS_OK);
      EXPECT_EQ(dst, expected) << "qvlsMulConst_i16_sc with src = dst";

      if (sf == 0) {
        srcdst = xs;
        ASSERT_EQ(Call(table.qvlsMulConst_i16_ip, value, srcdst.data(), n), QVLS_OK);
        EXPECT_EQ(srcdst, expected) << "qvlsMulConst_i16_ip";
      }
    }
  }
}

TEST_P(MulConst, WorkedCases) {
  struct Case {
    std::int16_t value, x;
    std::int32_t sf;
    std::int16_t result;
  };
  const Case cases[] = {
      {-32768, -32768, 0, 32767},
      {-32768, -32768, 15, 32767},
      {-32768, -32768, 16, 16384},
      {-32768, -32768, 30, 1},
      {32767, 32767, 15, 32766},
      {32767, -32768, 15, -32767},
      {1, 1, 1, 0},
      {1, 3, 1, 2},
      {1, 5, 1, 2},
      {1, -1, 1, 0},
      {1, -3, 1, -2},
      {1, 1, -15, 32767},
      {1, -1, -15, -32768},
      {-3, 5, -16, -32768},
      {-3, -5, -40, 32767},
      {-3, 0, -16, 0},
      {0, 77, -40, 0},
      {7, -3, 31, 0},
  };
  for (const Case& c : cases) {
    for (std::int32_t len : {1, 24}) {
      std::vector<std::int16_t> srcdst(len, c.x);
      ASSERT_EQ(Call(qvls_variant_table.qvlsMulConst_i16_ip_sc, c.value, srcdst.data(), len, c.sf),
                QVLS_OK);
      EXPECT_EQ(srcdst, std::vector<std::int16_t>(len, c.result))
          << c.value << " * " << c.x << " at sf " << c.sf << ", length " << len;
    }
  }
}

// A factor of 1 without scaling leaves the vector as it is without writing
// it (the vector lies on a page that cannot be written).
TEST_P(MulConst, FactorOfOneWritesNothing) {
  const auto& table = qvls_variant_table;
  Rng rng("MulConst.FactorOfOneWritesNothing");
  const std::vector<std::int16_t> values = rng.Vector<std::int16_t>(40);
  const std::vector<std::int32_t> words = rng.Vector<std::int32_t>(40);
  {
    ReadOnlyPage<std::int16_t> page(values, 6);
    EXPECT_EQ(Call(table.qvlsMulConst_i16_ip, 1, page.data(), 40), QVLS_OK);
    EXPECT_EQ(Call(table.qvlsMulConst_i16_ip_sc, 1, page.data(), 40, 0), QVLS_OK);
  }
  {
    ReadOnlyPage<std::int32_t> page(words, 4);
    EXPECT_EQ(Call(table.qvlsMulConst_i32_ip_sc, 1, page.data(), 40, 0), QVLS_OK);
  }
  // Out of place, the factor of 1 copies.
  std::vector<std::int16_t> dst(40);
  ASSERT_EQ(Call(table.qvlsMulConst_i16_sc, values.data(), 1, dst.data(), 40, 0), QVLS_OK);
  EXPECT_EQ(dst, values);
}

TEST_P(MulConst, Int32RandomAndEdgeValuesAgainstExactProduct) {
  Rng rng("MulConst.Int32");
  const std::vector<std::int32_t> xs = rng.Vector<std::int32_t>(512, 4);
  const auto n = static_cast<std::int32_t>(xs.size());
  std::vector<std::int32_t> values = {0, 1, -1, 2, kInt32Min, kInt32Max, 46341};
  for (int k = 0; k < 4; ++k) values.push_back(rng.Any<std::int32_t>());
  for (std::int32_t value : values) {
    for (std::int32_t sf = -40; sf <= 70; ++sf) {
      std::vector<std::int32_t> srcdst = xs;
      ASSERT_EQ(Call(qvls_variant_table.qvlsMulConst_i32_ip_sc, value, srcdst.data(), n, sf),
                QVLS_OK);
      for (std::int32_t i = 0; i < n; ++i) {
        ASSERT_EQ(srcdst[i], Scaled32(static_cast<__int128>(value) * xs[i], sf))
            << value << " * " << xs[i] << " at sf " << sf;
      }
    }
  }
}

TEST_P(MulConst, Int32WorkedCases) {
  struct Case {
    std::int32_t value, x, sf, result;
  };
  const Case cases[] = {
      {kInt32Min, kInt32Min, 0, kInt32Max},
      {kInt32Min, kInt32Min, 62, 1},
      {kInt32Min, kInt32Min, 63, 0},
      {1, 1, -31, kInt32Max},
      {1, -1, -31, kInt32Min},
      {3, 1, 1, 2},
      {5, 1, 1, 2},
      {-3, 1, 1, -2},
  };
  for (const Case& c : cases) {
    std::vector<std::int32_t> srcdst(3, c.x);
    ASSERT_EQ(Call(qvls_variant_table.qvlsMulConst_i32_ip_sc, c.value, srcdst.data(), 3, c.sf),
              QVLS_OK);
    EXPECT_EQ(srcdst, std::vector<std::int32_t>(3, c.result))
        << c.value << " * " << c.x << " at sf " << c.sf;
  }
}

QVLS_INSTANTIATE_VARIANTS(MulConst);

}  // namespace
}  // namespace qvls_test
