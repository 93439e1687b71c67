// Minimum, maximum and nearest value, w7 variant (the index searches are
// the a6 entries).
//
// Plain extremes with overlapping 128-bit loads, harmless because minimum
// and maximum are idempotent: an unaligned load of the first eight
// elements, then from the next 16-byte boundary (a vector at an odd address
// is read unaligned throughout) thirty-two elements per step in four
// accumulators, then steps of sixteen and eight, and an unaligned load of
// the last eight. Fewer than eight elements: two overlapping loads of the
// first and the last four (or two).
#include <emmintrin.h>

#include "siglib/memory/vector_access.h"
#include "siglib/search/search_entries.h"
#include "siglib/search/search_rules.h"

namespace {

using namespace qvls::search;
using namespace qvls::sse2;

template <Extreme kExtreme>
__m128i Better8(__m128i a, __m128i b) {
  return kExtreme == Extreme::kMin ? _mm_min_epi16(a, b) : _mm_max_epi16(a, b);
}

template <Extreme kExtreme>
std::int16_t AcrossLanes(__m128i v) {
  v = Better8<kExtreme>(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(1, 0, 3, 2)));
  v = Better8<kExtreme>(v, _mm_shuffle_epi32(v, _MM_SHUFFLE(2, 3, 0, 1)));
  v = Better8<kExtreme>(v, _mm_shufflelo_epi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
  return static_cast<std::int16_t>(_mm_cvtsi128_si32(v));
}

template <Extreme kExtreme>
std::int16_t OverlappingExtreme(const std::int16_t* p, std::int32_t len) {
  if (len < 2) return qvls::LoadAt(p, 0);
  if (len < 4) {
    const __m128i first = _mm_shuffle_epi32(Load4(p), 0);
    return AcrossLanes<kExtreme>(
        Better8<kExtreme>(first, _mm_shuffle_epi32(Load4(p + len - 2), 0)));
  }
  if (len < 8) {
    const __m128i first = Load8(p);
    const __m128i last = Load8(p + len - 4);
    return AcrossLanes<kExtreme>(
        Better8<kExtreme>(_mm_unpacklo_epi64(first, first), _mm_unpacklo_epi64(last, last)));
  }
  const __m128i first = LoadUnaligned16(p);
  __m128i acc[4] = {first, first, first, first};
  std::int32_t i = qvls::ElementsToBoundary(p, sizeof *p, 16, len);
  const bool aligned = qvls::IsOnBoundary(p + i, 16);
  auto load = [&](std::int32_t k) { return aligned ? Load16(p + k) : LoadUnaligned16(p + k); };
  for (; len - i >= 32; i += 32) {
    for (std::int32_t k = 0; k < 4; ++k) acc[k] = Better8<kExtreme>(acc[k], load(i + 8 * k));
  }
  for (std::int32_t step = 16; step >= 8; step /= 2) {
    if (len - i < step) continue;
    for (std::int32_t k = 0; k < step / 8; ++k) acc[k] = Better8<kExtreme>(acc[k], load(i + 8 * k));
    i += step;
  }
  acc[0] = Better8<kExtreme>(acc[0], LoadUnaligned16(p + len - 8));
  return AcrossLanes<kExtreme>(
      Better8<kExtreme>(Better8<kExtreme>(acc[0], acc[1]), Better8<kExtreme>(acc[2], acc[3])));
}

}  // namespace

QVLS_DEFINE_EXTREME_ENTRIES(w7, OverlappingExtreme<Extreme::kMin>,
                            OverlappingExtreme<Extreme::kMax>)

QVLS_DEFINE_NEAREST_ENTRY(w7)
QVLS_DEFINE_NEAREST_VEC_ENTRY(w7, QVLS_VARIANT_W7)
