// Bit reversal, w7 variant: the swap-list and quarter-list builders, the
// fixed-point in-place twin and the float engine's permutations.
#include <emmintrin.h>

#include "siglib/memory/alignment.h"
#include "siglib/memory/vector_access.h"
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/bitrev/bitrev_lists.h"
#include "siglib/transforms/bitrev/bitrev_packed.h"
#include "siglib/transforms/bitrev/permute.h"

namespace {

using namespace qvls::bitrev;
namespace sse2 = qvls::sse2;

// On a 16-byte boundary every quadruple's neighbours (a, a + 1) and
// (h + a, h + a + 1) share one 128-bit unit each (a is even): a pair of
// quadruples a and b exchanges {a, a+1, h+a, h+a+1} with {b, h+b, b+1,
// h+b+1} by unpacking the units' 64-bit halves, and a self-reversed
// quadruple exchanges a + 1 with h + a the same way.
void PermuteInUnitsOf16(std::uint8_t* base, std::int32_t n, const std::int32_t* list) {
  if (n < 4) return;
  const std::int32_t h = n / 2;
  auto unit = [=](std::int32_t i) { return base + 8 * i; };
  WalkSwapList(
      list,
      [&](std::int32_t a, std::int32_t b) {
        const __m128i p = sse2::Load16(unit(a)), q = sse2::Load16(unit(h + a));
        const __m128i r = sse2::Load16(unit(b)), s = sse2::Load16(unit(h + b));
        sse2::Store16(unit(a), _mm_unpacklo_epi64(r, s));
        sse2::Store16(unit(h + a), _mm_unpackhi_epi64(r, s));
        sse2::Store16(unit(b), _mm_unpacklo_epi64(p, q));
        sse2::Store16(unit(h + b), _mm_unpackhi_epi64(p, q));
      },
      [&](std::int32_t a) {
        const __m128i p = sse2::Load16(unit(a)), q = sse2::Load16(unit(h + a));
        sse2::Store16(unit(a), _mm_unpacklo_epi64(p, q));
        sse2::Store16(unit(h + a), _mm_unpackhi_epi64(p, q));
      });
}

}  // namespace

std::int32_t* qvlsFFTSwapList_i32_w7(std::int32_t order) {
  return qvls::bitrev::BuildSwapList(order);
}

std::int32_t* qvlsFFTQuarterBitRevList_i32_w7(std::int32_t order) {
  return qvls::bitrev::BuildQuarterList(order);
}

void qvlsBitReverse_ci32_ip_w7(void* data, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermutePacked(data, n, list);
}

void qvlsBitReverse_cf32_ip_w7(void* data, std::int32_t n, const std::int32_t* list) {
  auto* base = static_cast<std::uint8_t*>(data);
  if (qvls::IsOnBoundary(data, 16)) {
    PermuteInUnitsOf16(base, n, list);
  } else if (qvls::IsOnBoundary(data, 8)) {
    PermuteInPlace(n, list, [=](std::int32_t i, std::int32_t j) {
      const __m128i x = sse2::Load8(base + 8 * i);
      sse2::Store8(base + 8 * i, sse2::Load8(base + 8 * j));
      sse2::Store8(base + 8 * j, x);
    });
  } else {
    PermuteInPlace(n, list, [=](std::int32_t i, std::int32_t j) { ExchangeWords(base, i, j); });
  }
}

void qvlsBitReverse_cf32_w7(const void* src, void* dst, std::int32_t n, const std::int32_t* list) {
  PermuteOutOfPlacePacked(src, dst, n, list);
}
