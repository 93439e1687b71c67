#include <gtest/gtest.h>
#include <xmmintrin.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "siglib/arith/tests/arith_models.h"
#include "siglib/frame/slots.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/variant_fixture.h"

namespace qvls_test {
namespace {


std::vector<qvls_ci16> RandomComplex(Rng& rng, std::size_t n) {
  std::vector<qvls_ci16> v(n);
  for (qvls_ci16& c : v) c = {rng.WithEdges<std::int16_t>(4), rng.WithEdges<std::int16_t>(4)};
  return v;
}

bool operator==(qvls_ci16 a, qvls_ci16 b) { return a.re == b.re && a.im == b.im; }

class Mul : public VariantTest {
 protected:
  // srcdst = scaled (src * srcdst), real, against the model.
  void ExpectReal(const std::vector<std::int16_t>& src, const std::vector<std::int16_t>& srcdst,
                  std::int32_t sf) {
    std::vector<std::int16_t> out = srcdst;
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i16_ip_sc, src.data(), out.data(),
                   static_cast<std::int32_t>(out.size()), sf),
              QVLS_OK);
    for (std::size_t i = 0; i < out.size(); ++i) {
      ASSERT_EQ(out[i], Scaled16(std::int32_t{src[i]} * srcdst[i], sf))
          << src[i] << " * " << srcdst[i] << " at sf " << sf << ", element " << i;
    }
  }

  void ExpectComplex(const std::vector<qvls_ci16>& src, const std::vector<qvls_ci16>& srcdst,
                     std::int32_t sf) {
    std::vector<qvls_ci16> out = srcdst;
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_ci16_ip_sc, src.data(), out.data(),
                   static_cast<std::int32_t>(out.size()), sf),
              QVLS_OK);
    for (std::size_t i = 0; i < out.size(); ++i) {
      const qvls_ci16 model = ComplexProductModel(src[i], srcdst[i], sf);
      ASSERT_TRUE(out[i] == model)
          << Describe(src[i]) << " * " << Describe(srcdst[i]) << " at sf " << sf << ": "
          << Describe(out[i]) << ", the model says " << Describe(model);
    }
  }
};

TEST_P(Mul, RealRandomAndEdgeValuesAgainstModel) {
  Rng rng("Mul.Real");
  const std::vector<std::int16_t> a = rng.Vector<std::int16_t>(2048, 4);
  const std::vector<std::int16_t> b = rng.Vector<std::int16_t>(2048, 4);
  for (std::int32_t sf = -20; sf <= 35; ++sf) ExpectReal(a, b, sf);
}

TEST_P(Mul, ComplexRandomAndEdgeValuesAgainstModel) {
  Rng rng("Mul.Complex");
  const std::vector<qvls_ci16> a = RandomComplex(rng, 2048);
  const std::vector<qvls_ci16> b = RandomComplex(rng, 2048);
  for (std::int32_t sf = -20; sf <= 36; ++sf) ExpectComplex(a, b, sf);
}

TEST_P(Mul, SquaresInPlace) {
  Rng rng("Mul.Squares");
  const std::vector<std::int16_t> real = rng.Vector<std::int16_t>(300, 4);
  const std::vector<qvls_ci16> complex = RandomComplex(rng, 300);
  for (std::int32_t sf : {-16, -3, 0, 1, 2, 15, 30, 31}) {
    std::vector<std::int16_t> r = real;
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i16_ip_sc, r.data(), r.data(), 300, sf), QVLS_OK);
    for (std::size_t i = 0; i < r.size(); ++i) {
      ASSERT_EQ(r[i], Scaled16(std::int32_t{real[i]} * real[i], sf)) << real[i] << " at sf " << sf;
    }
    std::vector<qvls_ci16> c = complex;
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_ci16_ip_sc, c.data(), c.data(), 300, sf), QVLS_OK);
    for (std::size_t i = 0; i < c.size(); ++i) {
      ASSERT_TRUE(c[i] == ComplexProductModel(complex[i], complex[i], sf))
          << Describe(complex[i]) << " squared at sf " << sf << " gave " << Describe(c[i]);
    }
  }
}

TEST_P(Mul, WorkedCases) {
  struct RealCase {
    std::int16_t a, b;
    std::int32_t sf;
    std::int16_t result;
  };
  const RealCase real[] = {
      {-32768, -32768, 0, 32767},
      {-32768, -32768, 15, 32767},
      {-32768, -32768, 16, 16384},
      {-32768, -32768, 30, 1},
      {-32768, -32768, 31, 0},
      {1, 1, 1, 0},
      {1, 3, 1, 2},
      {-1, 1, 1, 0},
      {3, -1, 1, -2},
      {3, 5, -16, 32767},
      {-3, 5, -16, -32768},
      {0, 5, -16, 0},
  };
  for (const RealCase& c : real) {
    for (std::int32_t len : {1, 24}) {
      std::vector<std::int16_t> srcdst(len, c.b);
      const std::vector<std::int16_t> src(len, c.a);
      ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i16_ip_sc, src.data(), srcdst.data(), len, c.sf),
                QVLS_OK);
      EXPECT_EQ(srcdst, std::vector<std::int16_t>(len, c.result))
          << c.a << " * " << c.b << " at sf " << c.sf << ", length " << len;
    }
  }

  struct ComplexCase {
    qvls_ci16 a, b;
    std::int32_t sf;
    qvls_ci16 result;
  };
  const qvls_ci16 corner{-32768, -32768};
  const ComplexCase complex[] = {
      {corner, corner, 0, {0, 32767}},  // 0 + 2^31 i
      {corner, corner, 16, {0, 32767}},
      {corner, corner, 17, {0, 16384}},
      {corner, corner, 31, {0, 1}},
      {corner, corner, 32, {0, 0}},
      {{0, 1}, {0, 1}, 0, {-1, 0}},  // i * i
      {{3, 0}, {1, 0}, 1, {2, 0}},
      {{1, 0}, {1, 0}, 1, {0, 0}},
      {{-1, 0}, {1, 0}, 1, {0, 0}},
      {{-3, 0}, {1, 0}, 1, {-2, 0}},
      {{32767, 0}, {32767, 0}, 15, {32766, 0}},
      {{32767, 32767}, {32767, -32767}, 15, {32767, 0}},
      // 2^31 - 32768 and 32768: the real part's multiply-add wraps on the way.
      {{-32768, -32768}, {-32768, 32767}, 0, {32767, 32767}},
      {{-32768, -32768}, {-32768, 32767}, 16, {32767, 0}},
      {{2, -3}, {-5, 7}, -16, {32767, 32767}},
      {{2, -3}, {-5, 7}, -4, {176, 464}},
  };
  for (const ComplexCase& c : complex) {
    for (std::int32_t len : {1, 24}) {
      std::vector<qvls_ci16> srcdst(len, c.b);
      const std::vector<qvls_ci16> src(len, c.a);
      ASSERT_EQ(Call(qvls_variant_table.qvlsMul_ci16_ip_sc, src.data(), srcdst.data(), len, c.sf),
                QVLS_OK);
      for (const qvls_ci16& r : srcdst) {
        ASSERT_TRUE(r == c.result) << Describe(c.a) << " * " << Describe(c.b) << " at sf " << c.sf
                                   << ", length " << len << ": " << Describe(r);
      }
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(Mul);

class MulI32 : public VariantTest {
 protected:
  // What this variant must give: w7 rounds the product to a double first.
  std::int32_t Model(std::int32_t a, std::int32_t b, std::int32_t sf) const {
    return variant() == w7 ? W7Product32(a, b, sf) : ExactProduct32(a, b, sf);
  }

  void ExpectModel(const std::vector<std::int32_t>& a, const std::vector<std::int32_t>& b,
                   std::int32_t sf) {
    std::vector<std::int32_t> dst(a.size());
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i32_sc, a.data(), b.data(), dst.data(),
                   static_cast<std::int32_t>(a.size()), sf),
              QVLS_OK);
    for (std::size_t i = 0; i < a.size(); ++i) {
      ASSERT_EQ(dst[i], Model(a[i], b[i], sf))
          << a[i] << " * " << b[i] << " at sf " << sf << ", element " << i;
    }
  }
};

TEST_P(MulI32, W7OnlyAsDocumented) {
  Rng rng("MulI32.W7OnlyAsDocumented");
  const std::vector<std::int32_t> a = rng.Vector<std::int32_t>(1024, 4);
  const std::vector<std::int32_t> b = rng.Vector<std::int32_t>(1024, 4);
  int differing = 0;
  for (std::int32_t sf = -40; sf <= 70; ++sf) {
    ExpectModel(a, b, sf);
    for (std::size_t i = 0; i < a.size(); ++i) {
      if (W7Product32(a[i], b[i], sf) != ExactProduct32(a[i], b[i], sf)) {
        ++differing;
        EXPECT_GE(sf, 23) << "the two rules may differ only from sf 23 on";
      }
    }
  }
  EXPECT_GT(differing, 0) << "the inputs reach the cases where w7 differs";

  // (2^30 + 1)^2 / 2^32 = 2^28 + 1/2 + 2^-32: the double nearest the product
  // drops the 2^-32, and the tie then goes to the even 2^28.
  const std::vector<std::int32_t> x(9, (1 << 30) + 1);
  std::vector<std::int32_t> dst(9);
  ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i32_sc, x.data(), x.data(), dst.data(), 9, 32),
            QVLS_OK);
  EXPECT_EQ(dst, std::vector<std::int32_t>(9, variant() == w7 ? 1 << 28 : (1 << 28) + 1));
}

TEST_P(MulI32, WorkedCases) {
  struct Case {
    std::int32_t a, b, sf, result;
  };
  const Case cases[] = {
      {kInt32Min, kInt32Min, 0, kInt32Max},
      {kInt32Min, kInt32Min, 62, 1},
      {kInt32Min, kInt32Min, 63, 0},
      {1, 1, -31, kInt32Max},
      {-1, 1, -31, kInt32Min},
      {1, 1, -32, kInt32Max},
      {46341, 46341, 0, kInt32Max},
      {46340, 46340, 0, 2147395600},
      {3, 1, 1, 2},
      {5, 1, 1, 2},
      {-5, 1, 1, -2},
      {1 << 15, 1 << 15, 30, 1},
  };
  for (const Case& c : cases) {
    const std::vector<std::int32_t> a(11, c.a);
    const std::vector<std::int32_t> b(11, c.b);
    std::vector<std::int32_t> dst(11);
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i32_sc, a.data(), b.data(), dst.data(), 11, c.sf),
              QVLS_OK);
    EXPECT_EQ(dst, std::vector<std::int32_t>(11, c.result))
        << c.a << " * " << c.b << " at sf " << c.sf;
  }
}

// dst may be either source, and both sources may be one vector.
TEST_P(MulI32, OperandsMayShareVectors) {
  Rng rng("MulI32.OperandsMayShareVectors");
  const std::vector<std::int32_t> a = rng.Vector<std::int32_t>(37, 4);
  const std::vector<std::int32_t> b = rng.Vector<std::int32_t>(37, 4);
  for (std::int32_t sf : {-5, 0, 30}) {
    std::vector<std::int32_t> first = a;
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i32_sc, first.data(), b.data(), first.data(), 37, sf),
              QVLS_OK);
    std::vector<std::int32_t> second = b;
    ASSERT_EQ(
        Call(qvls_variant_table.qvlsMul_i32_sc, a.data(), second.data(), second.data(), 37, sf),
        QVLS_OK);
    std::vector<std::int32_t> square = a;
    ASSERT_EQ(Call(qvls_variant_table.qvlsMul_i32_sc, square.data(), square.data(), square.data(),
                   37, sf),
              QVLS_OK);
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(first[i], Model(a[i], b[i], sf)) << "dst = srcA, sf " << sf;
      EXPECT_EQ(second[i], Model(a[i], b[i], sf)) << "dst = srcB, sf " << sf;
      EXPECT_EQ(square[i], Model(a[i], a[i], sf)) << "one vector for all three, sf " << sf;
    }
  }
}

// A caller that truncates in the SIMD unit still gets results rounded to
// nearest and finds its control word exactly as it left it.
TEST_P(MulI32, CallerRoundingRestored) {
  constexpr std::uint32_t kRoundingControl = 0x6000;
  constexpr std::uint32_t kTowardZero = 0x6000;
  const std::uint32_t saved = _mm_getcsr();
  const std::uint32_t truncating = (saved & ~kRoundingControl) | kTowardZero;

  Rng rng("MulI32.CallerRoundingRestored");
  std::vector<std::int32_t> a = {3, 5, -3, -5, 7, 1 << 30};
  std::vector<std::int32_t> b = {1, 1, 1, 1, 3, (1 << 30) + 3};
  for (int k = 0; k < 64; ++k) {
    a.push_back(rng.Any<std::int32_t>());
    b.push_back(rng.Any<std::int32_t>());
  }
  for (std::int32_t sf : {1, 2, 20, 32, 40}) {
    std::vector<std::int32_t> dst(a.size());
    _mm_setcsr(truncating);
    const qvls_status status = Entry(qvls_variant_table.qvlsMul_i32_sc)(
        a.data(), b.data(), dst.data(), static_cast<std::int32_t>(a.size()), sf);
    const std::uint32_t after = _mm_getcsr();
    _mm_setcsr(saved);
    ASSERT_EQ(status, QVLS_OK);
    EXPECT_EQ(after, truncating) << "sf " << sf;
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(dst[i], Model(a[i], b[i], sf)) << a[i] << " * " << b[i] << " at sf " << sf;
    }
  }
}

QVLS_INSTANTIATE_VARIANTS(MulI32);

}  // namespace
}  // namespace qvls_test
