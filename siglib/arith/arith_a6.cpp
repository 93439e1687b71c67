// Add, subtract, multiply and absolute value, a6 variant: m6's technique,
// with prefetch hints 128 bytes ahead in the unscaled additions and
// subtractions (non-temporal for the subtractions) and in the sign paths;
// the 16-bit products run m6's code itself; the complex product swaps and
// interleaves its halves with the word shuffle and prefetches; the 32-bit
// addition runs m6's copy of the px algorithm and the 32-bit products a6's
// own. The constant subtraction is m6's entry.
#include "siglib/arith/abs_kernels.h"
#include "siglib/arith/arith_entries.h"
#include "siglib/arith/m64_kernels.h"
#include "siglib/arith/operations.h"

namespace {

using namespace qvls::arith;

template <Op kOp, class Rule>
constexpr Prefetch AddSubHint() {
  if constexpr (kUnscaled<Rule>) {
    return kOp == Op::kAdd ? Prefetch::kCached : Prefetch::kNonTemporal;
  } else if constexpr (std::is_same_v<Rule, SignRule<std::int16_t>>) {
    return Prefetch::kCached;
  } else {
    return Prefetch::kNone;
  }
}

struct A6 : ShortCutOperations<qvlsZero_i16_a6, qvlsZero_i32_a6, qvlsCopy_i16_a6> {
  template <class Operands, class Rule>
  static void Run(const Operands& o, std::int32_t len, const Rule& rule) {
    constexpr Kind kKind = Operands::kKind;
    if constexpr (kKind == Kind::kAddSub16) {
      AddSubM64<QVLS_VARIANT_A6, AddSubHint<Operands::kOp, Rule>()>(o, len, rule);
    } else if constexpr (kKind == Kind::kAdd32) {
      ElementByElement<QVLS_VARIANT_M6>(o, len, rule);
    } else if constexpr (kKind == Kind::kProduct16) {
      ProductM64<QVLS_VARIANT_M6>(o, len, rule);
    } else if constexpr (kKind == Kind::kComplex) {
      ComplexM64<QVLS_VARIANT_A6, ShuffledWords, Prefetch::kCached>(o, len, rule);
    } else {
      ElementByElement<QVLS_VARIANT_A6>(o, len, rule);
    }
  }

  static void Abs(std::int16_t* p, std::int32_t len) { AbsM64<QVLS_VARIANT_A6>(p, len); }
};

}  // namespace

QVLS_DEFINE_ARITH_ENTRIES(a6, A6)
