#include <gtest/gtest.h>

#include "siglib/frame/integer_rules.h"
#include "siglib/tests/support/random.h"
#include "siglib/tests/support/scale_model.h"

namespace qvls_test {
namespace {

TEST(IntegerRules, ScaleDownRoundsHalfToEvenAsTheModel) {
  Rng rng("IntegerRules.ScaleDown");
  const std::int64_t limit = std::int64_t{1} << 62;
  for (int sf = 1; sf <= 62; ++sf) {
    // Ties and their neighbours, then random products of every size.
    for (std::int64_t q : {-3, -2, -1, 0, 1, 2, 3}) {
      for (std::int64_t d : {-1, 0, 1}) {
        const __int128 half = static_cast<__int128>(1) << (sf - 1);
        const __int128 wide = q * 2 * half + half + d;
        if (wide < -limit || wide > limit) continue;
        const auto p = static_cast<std::int64_t>(wide);
        EXPECT_EQ(qvls::ScaleDownHalfEven(p, sf), Scale(p, sf)) << p << " sf " << sf;
      }
    }
    for (int i = 0; i < 2000; ++i) {
      const std::int64_t p = rng.Range(-limit, limit) >> rng.Range(0, 62);
      EXPECT_EQ(qvls::ScaleDownHalfEven(p, sf), Scale(p, sf)) << p << " sf " << sf;
    }
  }
  EXPECT_EQ(qvls::ScaleDownHalfEven(limit, 62), 1);
  EXPECT_EQ(qvls::ScaleDownHalfEven(-limit, 62), -1);
}

TEST(IntegerRules, SaturateAndWrap) {
  EXPECT_EQ(qvls::Saturate16(32768), 32767);
  EXPECT_EQ(qvls::Saturate16(-32769), -32768);
  EXPECT_EQ(qvls::Saturate16(-5), -5);
  EXPECT_EQ(qvls::Saturate32(std::int64_t{1} << 40), 2147483647);
  EXPECT_EQ(qvls::Saturate32(-(std::int64_t{1} << 31) - 1), -2147483647 - 1);

  Rng rng("IntegerRules.Wrap");
  for (int i = 0; i < 10000; ++i) {
    const std::int32_t a = rng.WithEdges<std::int32_t>();
    const std::int32_t b = rng.WithEdges<std::int32_t>();
    const int n = static_cast<int>(rng.Range(0, 31));
    auto wrap = [](std::int64_t v) {
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    };
    EXPECT_EQ(qvls::WrapAdd32(a, b), wrap(std::int64_t{a} + b));
    EXPECT_EQ(qvls::WrapSub32(a, b), wrap(std::int64_t{a} - b));
    EXPECT_EQ(qvls::WrapMul32(a, b), wrap(std::int64_t{a} * b));
    EXPECT_EQ(qvls::WrapShiftLeft32(a, n), wrap(std::int64_t{a} * (std::int64_t{1} << n)));
  }
}

}  // namespace
}  // namespace qvls_test
