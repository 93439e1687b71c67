// Add, subtract, multiply and absolute value, w7 variant: 128-bit integer
// registers for sf >= 0 (16-bit: 16 elements per step unscaled, 8 scaled
// down; complex: 4 per step, 8 for sf = 1), w7's own copy of the 64-bit
// technique for sf < 0 (m6's, a6's for the complex product), the 32-bit
// addition in 32-bit lanes (add_i32_w7.h), the 32-bit product of two vectors
// in double precision (mul_i32_w7.cpp) and the 32-bit product by a constant
// in w7's own copy of the px algorithm.
#include <emmintrin.h>

#include "siglib/arith/abs_kernels.h"
#include "siglib/arith/add_i32_w7.h"
#include "siglib/arith/arith_entries.h"
#include "siglib/arith/m64_kernels.h"
#include "siglib/arith/mul_i32_w7.h"
#include "siglib/arith/operations.h"

namespace {

using namespace qvls::arith;

template <std::int32_t kBlocks>
using WideLoop = BinaryLoop<QVLS_VARIANT_W7, Packed128, kBlocks>;

template <class Rule, class T>
inline constexpr bool kIs = std::is_same_v<Rule, T>;

template <class Operands, class Rule>
void Wide16(const Operands& o, std::int32_t len, const Rule& rule) {
  if constexpr (kUnscaled<Rule>) {
    RunBinary<WideLoop<2>>(o, len, rule, Block16<Packed128>(o, rule));
  } else if constexpr (kScaledDown<Rule>) {
    RunBinary<WideLoop<1>>(o, len, rule, Block16<Packed128>(o, rule));
  } else if constexpr (Operands::kKind == Kind::kAddSub16) {
    constexpr bool kSign = kIs<Rule, SignRule<std::int16_t>>;
    AddSubM64<QVLS_VARIANT_W7, kSign ? Prefetch::kCached : Prefetch::kNone>(o, len, rule);
  } else {
    ProductM64<QVLS_VARIANT_W7>(o, len, rule);
  }
}

template <class Operands, class Rule>
void Add32(const Operands& o, std::int32_t len, const Rule& rule) {
  const std::int32_t* src = o.b.p;
  if (len < w7::kAdd32VectorFrom || kIs<Rule, SignRule<std::int32_t>>) {
    ElementByElement<QVLS_VARIANT_W7>(o, len, rule);
  } else if constexpr (kIs<Rule, SaturateRule<std::int32_t>>) {
    w7::AddVector32(src, o.d, len, w7::SaturatedSum{});
  } else if constexpr (kIs<Rule, ShiftLeftRule<std::int32_t>>) {
    w7::AddVector32(src, o.d, len, w7::ShiftedSum(rule.n));
  } else if constexpr (kIs<Rule, ScaleDownRule<std::int32_t>>) {
    if (rule.sf == 1) {
      w7::AddVector32(src, o.d, len, w7::HalvedSum{});
    } else if (rule.sf == 2) {
      w7::AddVector32(src, o.d, len, w7::QuarteredSum{});
    } else {
      w7::AddVector32(src, o.d, len, w7::ScaledSum(rule.sf));
    }
  }
}

template <class Operands, class Rule>
void Mul32(const Operands& o, std::int32_t len, const Rule& rule) {
  if constexpr (kIs<Rule, SaturateRule<std::int32_t>>) {
    w7::MulDouble32(o, len, 0);
  } else if constexpr (kIs<Rule, ScaleDownRule<std::int32_t>>) {
    w7::MulDouble32(o, len, rule.sf);
  } else if constexpr (kIs<Rule, ShiftLeftRule<std::int32_t>>) {
    w7::MulDouble32(o, len, -rule.n);
  } else {
    ElementByElement<QVLS_VARIANT_W7>(o, len, rule);
  }
}

template <class Rule>
void Complex(const ComplexOperands& o, std::int32_t len, const Rule& rule) {
  if constexpr (kScaledDown<Rule>) {
    if (rule.sf == 1) {
      RunBinary<WideLoop<2>>(o, len, rule, HalvingBlock{});
      return;
    }
  }
  if constexpr (kNegativeScale<Rule>) {
    ComplexM64<QVLS_VARIANT_W7, ShuffledWords, Prefetch::kCached>(o, len, rule);
  } else {
    RunBinary<WideLoop<1>>(o, len, rule, ComplexBlock<WideWords, Packed128, Rule>(rule));
  }
}

struct W7 : ShortCutOperations<qvlsZero_i16_w7, qvlsZero_i32_w7, qvlsCopy_i16_w7> {
  template <class Operands, class Rule>
  static void Run(const Operands& o, std::int32_t len, const Rule& rule) {
    constexpr Kind kKind = Operands::kKind;
    if constexpr (kKind == Kind::kAddSub16 || kKind == Kind::kProduct16) {
      Wide16(o, len, rule);
    } else if constexpr (kKind == Kind::kAdd32) {
      Add32(o, len, rule);
    } else if constexpr (kKind == Kind::kProduct32) {
      Mul32(o, len, rule);
    } else if constexpr (kKind == Kind::kComplex) {
      Complex(o, len, rule);
    } else {
      ElementByElement<QVLS_VARIANT_W7>(o, len, rule);
    }
  }

  static void Abs(std::int16_t* p, std::int32_t len) { AbsW7(p, len); }
};

}  // namespace

QVLS_DEFINE_ARITH_ENTRIES(w7, W7)
QVLS_DEFINE_SUB_CONST_ENTRY(w7, W7)
