// Add, subtract, multiply and absolute value, px variant: every operation
// one element at a time by the rule of its path.
#include "siglib/arith/arith_entries.h"
#include "siglib/arith/arith_rules.h"
#include "siglib/arith/operations.h"

namespace {

using namespace qvls::arith;

struct Px : ShortCutOperations<qvlsZero_i16_px, qvlsZero_i32_px, qvlsCopy_i16_px> {
  template <class Operands, class Rule>
  static void Run(const Operands& o, std::int32_t len, const Rule& rule) {
    ElementByElement<QVLS_VARIANT_PX>(o, len, rule);
  }

  // Four elements per step while four remain, then one at a time; only
  // negative elements are rewritten.
  static void Abs(std::int16_t* p, std::int32_t len) {
    auto one = [p](std::int32_t i) {
      const std::int16_t x = qvls::LoadAt(p, i);
      if (x < 0) qvls::StoreAt(p, i, Abs16(x));
    };
    std::int32_t i = 0;
    for (; len - i >= 4; i += 4) {
      one(i);
      one(i + 1);
      one(i + 2);
      one(i + 3);
    }
    for (; i < len; ++i) one(i);
  }
};

}  // namespace

QVLS_DEFINE_ARITH_ENTRIES(px, Px)
QVLS_DEFINE_SUB_CONST_ENTRY(px, Px)
