// Add, subtract, multiply and absolute value, m6 variant: the 16-bit and
// complex operations in 64-bit packed-integer registers (m64_kernels.h),
// the 32-bit operations element by element in m6's own copy of the px
// algorithm.
#include "siglib/arith/abs_kernels.h"
#include "siglib/arith/arith_entries.h"
#include "siglib/arith/m64_kernels.h"
#include "siglib/arith/operations.h"

namespace {

using namespace qvls::arith;

struct M6 : ShortCutOperations<qvlsZero_i16_m6, qvlsZero_i32_m6, qvlsCopy_i16_m6> {
  template <class Operands, class Rule>
  static void Run(const Operands& o, std::int32_t len, const Rule& rule) {
    constexpr Kind kKind = Operands::kKind;
    if constexpr (kKind == Kind::kAddSub16) {
      AddSubM64<QVLS_VARIANT_M6, Prefetch::kNone>(o, len, rule);
    } else if constexpr (kKind == Kind::kProduct16) {
      ProductM64<QVLS_VARIANT_M6>(o, len, rule);
    } else if constexpr (kKind == Kind::kComplex) {
      ComplexM64<QVLS_VARIANT_M6, ShiftedWords, Prefetch::kNone>(o, len, rule);
    } else {
      ElementByElement<QVLS_VARIANT_M6>(o, len, rule);
    }
  }

  static void Abs(std::int16_t* p, std::int32_t len) { AbsM64<QVLS_VARIANT_M6>(p, len); }
};

}  // namespace

QVLS_DEFINE_ARITH_ENTRIES(m6, M6)
QVLS_DEFINE_SUB_CONST_ENTRY(m6, M6)
