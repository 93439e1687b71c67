// One register of results of a 16-bit product, a times b, for each path of
// the scale-factor rule; V is __m64 or __m128i. The products come from the
// pairwise multiply-add: each element of a is paired with 0 and multiplied
// with (value, 0) for a constant, or with the element of b repeated, so each
// 32-bit lane holds exactly one product. The rule acts on the 32-bit lanes
// and narrowing with signed saturation does the final saturation.
#pragma once

#include <cstdint>
#include <type_traits>

#include "siglib/arith/add_sub_blocks.h"
#include "siglib/arith/arith_rules.h"
#include "siglib/arith/lanes.h"
#include "siglib/arith/packed_ops.h"

namespace qvls::arith {

// The products of the lower and upper lanes of a with a constant.
template <class V>
struct ConstantProducts {
  explicit ConstantProducts(ConstantOperand<std::int16_t> b)
      : value(b.value), weights(Broadcast32<V>(static_cast<std::uint16_t>(b.value))) {}
  Wide<V> operator()(V a, V) const {
    const V zero = Zero<V>();
    return {MulAdd(UnpackLo16(a, zero), weights), MulAdd(UnpackHi16(a, zero), weights)};
  }
  std::int16_t value;
  V weights;  // (value, 0) in each 32-bit lane
};

// The products of the lower and upper lanes of a and b.
template <class V>
struct VectorProducts {
  explicit VectorProducts(VectorOperand<std::int16_t>) {}
  Wide<V> operator()(V a, V b) const {
    const V zero = Zero<V>();
    return {MulAdd(UnpackLo16(a, zero), UnpackLo16(b, b)),
            MulAdd(UnpackHi16(a, zero), UnpackHi16(b, b))};
  }
};

template <class V, class B>
using ProductsOf = std::conditional_t<std::is_same_v<B, ConstantOperand<std::int16_t>>,
                                      ConstantProducts<V>, VectorProducts<V>>;

template <class V, class B, class Rule>
struct ProductBlock;

template <class V, class B>
struct ProductBlock<V, B, SaturateRule<std::int16_t>> {
  ProductBlock(B b, SaturateRule<std::int16_t>) : products(b) {}
  V operator()(V a, V b) const {
    const Wide<V> p = products(a, b);
    return Pack32(p.lo, p.hi);
  }
  ProductsOf<V, B> products;
};

// |p| <= 2^30 and 2^(sf-1) <= 2^29: no lane wraps.
template <class V, class B>
struct ProductBlock<V, B, ScaleDownRule<std::int16_t>> {
  ProductBlock(B b, ScaleDownRule<std::int16_t> rule) : products(b), round(rule.sf) {}
  V operator()(V a, V b) const {
    const Wide<V> p = products(a, b);
    return Pack32(round(p.lo), round(p.hi));
  }
  ProductsOf<V, B> products;
  RoundDownLanes<V> round;
};

// Saturated to 16 bits, widened again, shifted left by n, saturated again.
template <class V, class B>
struct ProductBlock<V, B, ShiftLeftRule<std::int16_t>> {
  ProductBlock(B b, ShiftLeftRule<std::int16_t> rule) : products(b), count(Count<V>(rule.n)) {}
  V operator()(V a, V b) const {
    const Wide<V> p = products(a, b);
    return ShiftLeft16(Pack32(p.lo, p.hi), count);
  }
  ProductsOf<V, B> products;
  V count;
};

// A vector product's sign: the saturated product narrowed to its sign.
template <class V>
struct ProductBlock<V, VectorOperand<std::int16_t>, SignRule<std::int16_t>> {
  ProductBlock(VectorOperand<std::int16_t> b, SignRule<std::int16_t>) : products(b) {}
  V operator()(V a, V b) const {
    const Wide<V> p = products(a, b);
    return SignOf16(Pack32(p.lo, p.hi));
  }
  VectorProducts<V> products;
};

// A constant's product needs no multiplication for its sign: a lane is
// 32767 or -32768 by the sign of the value XOR the sign of a (the lane of
// the value's bound flipped where a is negative), and 0 where a is 0.
template <class V>
struct ProductBlock<V, ConstantOperand<std::int16_t>, SignRule<std::int16_t>> {
  ProductBlock(ConstantOperand<std::int16_t> b, SignRule<std::int16_t>)
      : bound(Broadcast16<V>(b.value > 0 ? 32767 : -32768)) {}
  V operator()(V a, V) const {
    const V zero = Zero<V>();
    return AndNot(Equal16(a, zero), Xor(Greater16(zero, a), bound));
  }
  V bound;  // the result for a positive a
};

}  // namespace qvls::arith
