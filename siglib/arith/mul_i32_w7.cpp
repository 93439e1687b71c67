// w7's 32-bit multiplication in double-precision 128-bit registers, four
// products per step (two registers of two doubles), for -31 <= sf <= 62:
//
// - sf = 0: both operands converted to double and multiplied, the product
//   clamped to -2^31 .. 2^31 - 1 and converted back truncating. A product
//   that fits in 32 bits is exact in double precision, so this is the exact
//   saturated product.
// - otherwise: srcA times 2^-sf (a double built from its exponent field,
//   exact), times srcB (rounded once to 53 bits, to nearest with ties to
//   even), clamped, converted to the nearest integer with ties to even. The
//   two roundings can differ by one from the exact rule when |p| exceeds
//   2^53, which a result in range allows only for sf >= 23. The SIMD
//   rounding mode is forced to nearest for the kernel when the caller had
//   another, and the caller's control word is put back exactly.
//
// Single elements (head, tail, short vectors) take the same instructions on
// one lane.
#include "siglib/arith/mul_i32_w7.h"

#include <emmintrin.h>
#include <xmmintrin.h>

#include <bit>
#include <cstdint>

#include "siglib/arith/binary_kernel.h"
#include "siglib/frame/unaligned.h"

namespace qvls::arith::w7 {
namespace {

constexpr std::uint32_t kRoundingControl = 0x6000;  // MXCSR bits 13 and 14; 0 is to nearest

template <bool kTruncate>
struct DoubleProducts {
  explicit DoubleProducts(std::int32_t sf)
      : factor(_mm_set1_pd(std::bit_cast<double>(std::uint64_t(1023 - sf) << 52))) {}

  // Two products from the low two lanes of a and b, in the low two lanes.
  __m128i Two(__m128i a, __m128i b) const {
    __m128d p;
    if constexpr (kTruncate) {
      p = _mm_mul_pd(_mm_cvtepi32_pd(a), _mm_cvtepi32_pd(b));
    } else {
      p = _mm_mul_pd(_mm_mul_pd(_mm_cvtepi32_pd(a), factor), _mm_cvtepi32_pd(b));
    }
    p = _mm_min_pd(_mm_max_pd(p, _mm_set1_pd(-2147483648.0)), _mm_set1_pd(2147483647.0));
    return kTruncate ? _mm_cvttpd_epi32(p) : _mm_cvtpd_epi32(p);
  }

  // The block: four products.
  __m128i operator()(__m128i a, __m128i b) const {
    const __m128i low = Two(a, b);
    const __m128i high = Two(_mm_unpackhi_epi64(a, a), _mm_unpackhi_epi64(b, b));
    return _mm_unpacklo_epi64(low, high);
  }

  std::int32_t One(std::int32_t a, std::int32_t b) const {
    return _mm_cvtsi128_si32(Two(_mm_cvtsi32_si128(a), _mm_cvtsi32_si128(b)));
  }

  __m128d factor;  // 2^-sf
};

// The operands with the single-element rule of the double kernel.
struct DoubleOperands {
  const std::int32_t* a;
  VectorOperand<std::int32_t> b;
  std::int32_t* d;

  template <class Products>
  void Single(const Products& products, std::int32_t i) const {
    StoreAt(d, i, products.One(LoadAt(a, i), b.At(i)));
  }
};

template <bool kTruncate>
void Kernel(const DoubleOperands& o, std::int32_t len, std::int32_t sf) {
  const DoubleProducts<kTruncate> products(sf);
  RunBinary<BinaryLoop<QVLS_VARIANT_W7, Packed128, 1>>(o, len, products, products);
}

}  // namespace

void MulDouble32(const ProductOperands<std::int32_t, VectorOperand<std::int32_t>>& o,
                 std::int32_t len, std::int32_t sf) {
  const DoubleOperands operands{o.a, o.b, o.d};
  if (sf == 0) {
    Kernel<true>(operands, len, sf);
    return;
  }
  const std::uint32_t caller = _mm_getcsr();
  const std::uint32_t nearest = caller & ~kRoundingControl;
  if (nearest != caller) _mm_setcsr(nearest);
  Kernel<false>(operands, len, sf);
  if (nearest != caller) _mm_setcsr(caller);
}

}  // namespace qvls::arith::w7
