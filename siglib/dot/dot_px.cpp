// Dot products, generic variant: five products per step while at least six
// remain (four complex elements while at least five remain), then one at a
// time. The floating-point loops keep one running double-precision sum in
// element order.
#include "siglib/dot/dot_entries.h"
#include "siglib/dot/dot_rules.h"

namespace {

using namespace qvls::dot;

std::int64_t ExactSum(const std::int16_t* a, const std::int16_t* b, std::int32_t len) {
  std::int64_t sum = 0;
  std::int32_t i = 0;
  for (; len - i >= 6; i += 5) {
    sum += Product(a, b, i) + Product(a, b, i + 1) + Product(a, b, i + 2) + Product(a, b, i + 3) +
           Product(a, b, i + 4);
  }
  return sum + SingleProducts(a, b, i, len);
}

ComplexSum ComplexExactSum(const std::int16_t* a, const qvls_ci16* c, std::int32_t len) {
  ComplexSum sum;
  std::int32_t i = 0;
  for (; len - i >= 5; i += 4) AddSingleComplex(a, c, i, i + 4, sum);
  AddSingleComplex(a, c, i, len, sum);
  return sum;
}

template <class A, class B>
double FloatSum(const A* a, const B* b, std::int32_t len) {
  return AddFloatProducts(0.0, a, b, 0, len);
}

}  // namespace

qvls_status qvlsDot_i16_sc_px(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                              std::int16_t* result, std::int32_t sf) {
  return Dot16<ExactSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i16toi32_sc_px(const std::int16_t* a, const std::int16_t* b, std::int32_t len,
                                   std::int32_t* result, std::int32_t sf) {
  return Dot32<ExactSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i16ci16toci32_sc_px(const std::int16_t* a, const qvls_ci16* c, std::int32_t len,
                                        qvls_ci32* result, std::int32_t sf) {
  return DotComplex<ComplexExactSum>(a, c, len, result, sf);
}

qvls_status qvlsDot_i16i32toi32_sc_px(const std::int16_t* a, const std::int32_t* b,
                                      std::int32_t len, std::int32_t* result, std::int32_t sf) {
  return DotFloat<std::int16_t, std::int32_t, FloatSum>(a, b, len, result, sf);
}

qvls_status qvlsDot_i32_sc_px(const std::int32_t* a, const std::int32_t* b, std::int32_t len,
                              std::int32_t* result, std::int32_t sf) {
  return DotFloat<std::int32_t, std::int32_t, FloatSum>(a, b, len, result, sf);
}
