// The 64-bit packed-integer technique (m6's) of the 16-bit operations and
// the complex product, by path. m6 runs it; a6 runs m6's compiled copy or
// its own (with prefetch hints, and the word shuffle for the complex
// product); w7 runs its own copy for negative scale factors. kOwner names
// the column whose copy runs.
//
// Elements per step (the vector loop starts at one step plus the largest
// head of 3 elements, 1 for complex ones):
//   additions and subtractions: 16 unscaled, 4 scaled down, 8 for sf < 0
//   products: 16 unscaled by a constant, 8 by a vector, 4 scaled down,
//             8 for sf < 0; stores software-pipelined
//   complex products: 2 for sf >= 0, 8 for sf < 0 (pipelined)
#pragma once

#include <mmintrin.h>

#include <cstdint>
#include <type_traits>

#include "siglib/arith/add_sub_blocks.h"
#include "siglib/arith/arith_rules.h"
#include "siglib/arith/binary_kernel.h"
#include "siglib/arith/complex_blocks.h"
#include "siglib/arith/product_blocks.h"
#include "siglib/frame/types.h"

namespace qvls::arith {

template <class Rule>
inline constexpr bool kUnscaled = std::is_same_v<Rule, SaturateRule<std::int16_t>>;
template <class Rule>
inline constexpr bool kScaledDown = std::is_same_v<Rule, ScaleDownRule<std::int16_t>>;
template <class Rule>
inline constexpr bool kNegativeScale = !kUnscaled<Rule> && !kScaledDown<Rule>;

// The block of a 16-bit addition, subtraction or product in registers V.
template <class V, class Operands, class Rule>
auto Block16(const Operands& o, const Rule& rule) {
  if constexpr (Operands::kKind == Kind::kAddSub16) {
    return AddSubBlock<Operands::kOp, V, Rule>(rule);
  } else {
    static_assert(Operands::kKind == Kind::kProduct16);
    return ProductBlock<V, decltype(o.b), Rule>(o.b, rule);
  }
}

template <qvls_variant_column kOwner, Prefetch kHint, class Operands, class Rule>
void AddSubM64(const Operands& o, std::int32_t len, const Rule& rule) {
  constexpr std::int32_t kBlocks = kUnscaled<Rule> ? 4 : (kScaledDown<Rule> ? 1 : 2);
  RunBinary<BinaryLoop<kOwner, Packed64, kBlocks, kHint>>(o, len, rule, Block16<Packed64>(o, rule));
}

template <qvls_variant_column kOwner, class Operands, class Rule>
void ProductM64(const Operands& o, std::int32_t len, const Rule& rule) {
  using B = decltype(o.b);
  constexpr std::int32_t kUnscaledBlocks = kIsVector<B> ? 2 : 4;
  constexpr std::int32_t kBlocks = kUnscaled<Rule> ? kUnscaledBlocks : (kScaledDown<Rule> ? 1 : 2);
  using Loop = BinaryLoop<kOwner, Packed64, kBlocks, Prefetch::kNone, (kBlocks > 1)>;
  RunBinary<Loop>(o, len, rule, Block16<Packed64>(o, rule));
}

template <qvls_variant_column kOwner, class Words, Prefetch kHint, class Rule>
void ComplexM64(const ComplexOperands& o, std::int32_t len, const Rule& rule) {
  constexpr std::int32_t kBlocks = kNegativeScale<Rule> ? 4 : 1;
  using Loop = BinaryLoop<kOwner, Packed64, kBlocks, kHint, (kBlocks > 1)>;
  RunBinary<Loop>(o, len, rule, ComplexBlock<Words, Packed64, Rule>(rule));
}

}  // namespace qvls::arith
