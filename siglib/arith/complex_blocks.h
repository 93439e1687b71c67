// One register of complex products, src times srcdst, for each path of the
// scale-factor rule. Each complex element (real part in the low half) fills
// one 32-bit lane, and two pairwise multiply-adds of 16-bit halves give the
// parts of (a + ib)(c + id):
//
// - Real part: the destination with its imaginary half replaced by its one's
//   complement (NOT d = -d - 1) gives a*c + b*(NOT d) = a*c - b*d - b; adding
//   b back gives a*c - b*d. No -32768 is ever negated, and the one wrap of
//   the multiply-add (2^31, for a = c = b = -32768 and d = 32767) is undone
//   by the addition, since the final value fits in 32 bits.
// - Imaginary part: the destination with its halves swapped, (d, c), gives
//   a*d + b*c. Only a = b = c = d = -32768 leaves the range (2^31, wrapped
//   to -2^31); that lane becomes 2^31 - 1, which gives the same result as
//   2^31 under every scale factor.
//
// The rule then acts on the 32-bit lanes, narrowing saturates, and the two
// parts are interleaved back into (real, imaginary) order. Words says how
// halves are swapped and results interleaved: by shifts (m6), by the word
// shuffle (a6), or in 128-bit registers (w7).
#pragma once

#include <emmintrin.h>
#include <mmintrin.h>
#include <xmmintrin.h>

#include <cstdint>

#include "siglib/arith/add_sub_blocks.h"
#include "siglib/arith/arith_rules.h"
#include "siglib/arith/lanes.h"
#include "siglib/arith/packed_ops.h"

namespace qvls::arith {

// m6: the halves of each lane swapped by shifts; (re0, re1, im0, im1)
// interleaved by shifting the imaginary parts down.
struct ShiftedWords {
  static __m64 Swap(__m64 t) { return Or(Srl32(t, 16), Sll32(t, 16)); }
  static __m64 Interleave(__m64 p) { return _mm_unpacklo_pi16(p, _mm_srli_si64(p, 32)); }
};

// a6: both by the word shuffle.
struct ShuffledWords {
  static __m64 Swap(__m64 t) { return _mm_shuffle_pi16(t, _MM_SHUFFLE(2, 3, 0, 1)); }
  static __m64 Interleave(__m64 p) { return _mm_shuffle_pi16(p, _MM_SHUFFLE(3, 1, 2, 0)); }
};

// w7: four complex elements per 128-bit register.
struct WideWords {
  static __m128i Swap(__m128i t) { return Or(Srl32(t, 16), Sll32(t, 16)); }
  static __m128i Interleave(__m128i p) { return _mm_unpacklo_epi16(p, _mm_unpackhi_epi64(p, p)); }
};

// The real (lo) and imaginary (hi) parts of s * t in 32-bit lanes.
template <class Words, class V>
Wide<V> ComplexParts(V s, V t) {
  const V imaginary_halves = Broadcast32<V>(-0x10000);  // 0xFFFF0000
  const V re = Add32(MulAdd(s, Xor(t, imaginary_halves)), Sra32(s, 16));
  const V im = MulAdd(s, Words::Swap(t));
  const V wrapped = Equal32(im, Broadcast32<V>(-0x7FFFFFFF - 1));
  return {re, Add32(im, wrapped)};
}

// x times 2^-sf, to nearest with ties to even, for 1 <= sf <= 31 and any
// 32-bit lane: ((x >> 1) + (((x AND 1) + 2^(sf-1) - 1 + b) >> 1)) >> (sf - 1),
// b = bit sf of x, all shifts arithmetic. No intermediate leaves 32 bits.
template <class V>
struct RoundDownParts {
  explicit RoundDownParts(std::int32_t sf)
      : bias(Broadcast32<V>(static_cast<std::int32_t>((std::uint32_t{1} << (sf - 1)) - 1))),
        one(Broadcast32<V>(1)),
        count(Count<V>(sf)),
        count_after_halving(Count<V>(sf - 1)) {}

  V operator()(V x) const {
    const V b = And(Srl32(x, count), one);
    const V rest = Sra32(Add32(Add32(And(x, one), bias), b), 1);
    return Sra32(Add32(Sra32(x, 1), rest), count_after_halving);
  }

  V bias;
  V one;
  V count;
  V count_after_halving;
};

// sf = 1 alone: (x >> 1) + 1 exactly when the two lowest bits of x are 1.
template <class V>
V HalveParts(V x) {
  return Add32(Sra32(x, 1), And(And(x, Srl32(x, 1)), Broadcast32<V>(1)));
}

// The parts (32-bit lanes) to 16-bit results in (re..., im...) order.
template <class V, class Rule>
struct ComplexRule;

template <class V>
struct ComplexRule<V, SaturateRule<std::int16_t>> {
  explicit ComplexRule(SaturateRule<std::int16_t>) {}
  V operator()(Wide<V> x) const { return Pack32(x.lo, x.hi); }
};

template <class V>
struct ComplexRule<V, ScaleDownRule<std::int16_t>> {
  explicit ComplexRule(ScaleDownRule<std::int16_t> rule) : round(rule.sf) {}
  V operator()(Wide<V> x) const { return Pack32(round(x.lo), round(x.hi)); }
  RoundDownParts<V> round;
};

template <class V>
struct ComplexRule<V, ShiftLeftRule<std::int16_t>> {
  explicit ComplexRule(ShiftLeftRule<std::int16_t> rule) : count(Count<V>(rule.n)) {}
  V operator()(Wide<V> x) const { return ShiftLeft16(Pack32(x.lo, x.hi), count); }
  V count;
};

template <class V>
struct ComplexRule<V, SignRule<std::int16_t>> {
  explicit ComplexRule(SignRule<std::int16_t>) {}
  V operator()(Wide<V> x) const { return SignOf16(Pack32(x.lo, x.hi)); }
};

// The block: src and srcdst registers to one register of results.
template <class Words, class V, class Rule>
struct ComplexBlock {
  explicit ComplexBlock(const Rule& rule) : parts_rule(rule) {}
  V operator()(V s, V t) const { return Words::Interleave(parts_rule(ComplexParts<Words>(s, t))); }
  ComplexRule<V, Rule> parts_rule;
};

// w7's block for sf = 1.
struct HalvingBlock {
  __m128i operator()(__m128i s, __m128i t) const {
    const Wide<Packed128> x = ComplexParts<WideWords>(s, t);
    return WideWords::Interleave(Pack32(HalveParts(x.lo), HalveParts(x.hi)));
  }
};

}  // namespace qvls::arith
