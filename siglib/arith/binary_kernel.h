// The kernel of a two-operand element-wise operation, d[i] = a[i] op b[i]
// (16-bit additions, subtractions and products, complex products), for one
// path of the scale-factor rule: the operands' single-element rule for the
// head and the tail, and a loop of kBlocks registers V per step through one
// block (add_sub_blocks.h, product_blocks.h, complex_blocks.h), which makes
// one register of results from one register of a and one of b.
//
// Loop options: prefetch hints 128 bytes ahead of both vectors, and (64-bit
// registers only) the software-pipelined store of each step's last block.
// The 128-bit loops use aligned loads and stores for every vector that lies
// on its 16-byte boundary, each combination in a loop of its own. A 64-bit
// kernel releases the packed registers before it returns.
//
// kOwner names the column whose compiled copy the loop is: a column that
// runs another column's technique in its own copy instantiates it under its
// own name.
#pragma once

#include <mmintrin.h>

#include <cstdint>
#include <type_traits>

#include "siglib/arith/arith_rules.h"
#include "siglib/arith/packed_ops.h"
#include "siglib/arith/vector_loop.h"
#include "siglib/frame/types.h"

namespace qvls::arith {

template <qvls_variant_column kOwner, class V, std::int32_t kBlocks,
          Prefetch kHint = Prefetch::kNone, bool kPipelined = false>
struct BinaryLoop {
  static_assert(!kPipelined || sizeof(V) == 8, "only the 64-bit loops pipeline their stores");
  using Register = V;
  static constexpr std::size_t kBoundary = sizeof(V);
  // Elements of T per register and per step.
  template <class T>
  static constexpr std::int32_t Lanes() {
    return sizeof(V) / sizeof(T);
  }
  template <class T>
  static constexpr std::int32_t Step() {
    return kBlocks * Lanes<T>();
  }

  template <bool kAlignedD, bool kAlignedA, bool kAlignedB, class T, class B, class Block>
  static void Steps(const T* a, B b, T* d, std::int32_t begin, std::int32_t end, Block block) {
    constexpr std::int32_t lanes = Lanes<T>();
    constexpr std::int32_t stored = kPipelined ? kBlocks - 1 : kBlocks;
    [[maybe_unused]] std::conditional_t<kPipelined, DelayedStore, NoDelayedStore> held;
    for (std::int32_t i = begin; i < end; i += Step<T>()) {
      PrefetchAhead<kHint>(a + i);
      if constexpr (kIsVector<B>) PrefetchAhead<kHint>(b.p + i);
      V r[kBlocks];
#pragma GCC unroll 8
      for (std::int32_t k = 0; k < kBlocks; ++k) {
        const std::int32_t at = i + k * lanes;
        r[k] = block(Load<V, kAlignedA>(a + at), LoadB<kAlignedB>(b, at));
      }
#pragma GCC unroll 8
      for (std::int32_t k = 0; k < stored; ++k) Store<kAlignedD>(d + i + k * lanes, r[k]);
      if constexpr (kPipelined) held.Hold(d + i + stored * lanes, r[stored]);
    }
    if constexpr (kPipelined) held.Flush();
  }

 private:
  template <bool kAligned, class B>
  static V LoadB(B b, std::int32_t at) {
    if constexpr (kIsVector<B>) {
      return Load<V, kAligned>(b.p + at);
    } else {
      static_assert(std::is_same_v<B, ConstantOperand<std::int16_t>>);
      return Broadcast16<V>(b.value);
    }
  }
};

// Runs the kernel of Loop with `block` over len elements of the operands
// (with members a, b and d, and Single(rule, i)).
template <class Loop, class Operands, class Rule, class Block>
void RunBinary(const Operands& o, std::int32_t len, const Rule& rule, const Block& block) {
  using T = std::remove_cvref_t<decltype(*o.d)>;
  // Copies of the operands, which no store through the vectors can change.
  auto single = [o, rule](std::int32_t i) { o.Single(rule, i); };
  auto steps = [&](std::int32_t begin, std::int32_t end, bool aligned_d) {
    if constexpr (sizeof(typename Loop::Register) == 8) {
      Loop::template Steps<false, false, false>(o.a, o.b, o.d, begin, end, block);
    } else {
      bool aligned_b = false;
      if constexpr (kIsVector<decltype(o.b)>) {
        aligned_b = IsOnBoundary(o.b.p + begin, Loop::kBoundary);
      }
      WithFlags(
          [&](auto d, auto a, auto b) {
            Loop::template Steps<d(), a(), b()>(o.a, o.b, o.d, begin, end, block);
          },
          aligned_d, IsOnBoundary(o.a + begin, Loop::kBoundary), aligned_b);
    }
  };
  RunSplit(o.d, len, Loop::template Step<T>(), Loop::kBoundary, single, steps);
  // The block's constants live in the packed registers too, whether or not
  // the loop ran.
  if constexpr (sizeof(typename Loop::Register) == 8) _mm_empty();
}

}  // namespace qvls::arith
