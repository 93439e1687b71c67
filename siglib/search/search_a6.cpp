// Minimum, maximum and nearest value, a6 variant (its index searches also
// serve w7).
//
// Plain extremes: single elements until the vector is 8-byte aligned, then
// sixteen per step in four accumulators of signed word minimum (maximum)
// with a prefetch 64 bytes ahead, then four per step, then the rest.
//
// Index searches: blocks of 4096 elements (a multiple of sixteen). A block's
// extreme comes from four accumulators of four lanes; only a block whose
// extreme beats the candidate is scanned again, sixteen elements at a time,
// for the first element equal to it: the lanes that match form a 4-bit mask
// and a table of the lowest set bit names the first.
#include <mmintrin.h>
#include <xmmintrin.h>

#include "siglib/memory/vector_access.h"
#include "siglib/search/search_entries.h"
#include "siglib/search/search_rules.h"

namespace {

using namespace qvls::search;
using qvls::mmx::Get8;

template <Extreme kExtreme>
__m64 Better4(__m64 a, __m64 b) {
  return kExtreme == Extreme::kMin ? _mm_min_pi16(a, b) : _mm_max_pi16(a, b);
}

// The extreme of the four lanes of v, in every lane.
template <Extreme kExtreme>
__m64 AcrossLanes(__m64 v) {
  v = Better4<kExtreme>(v, _mm_shuffle_pi16(v, _MM_SHUFFLE(1, 0, 3, 2)));
  return Better4<kExtreme>(v, _mm_shuffle_pi16(v, _MM_SHUFFLE(2, 3, 0, 1)));
}

// The extreme of n (a multiple of sixteen, at least sixteen) elements from p,
// with a prefetch 64 bytes ahead once per 64 bytes.
template <Extreme kExtreme>
__m64 ExtremeOf16s(const std::int16_t* p, std::int32_t n) {
  __m64 acc[4] = {Get8(p), Get8(p + 4), Get8(p + 8), Get8(p + 12)};
  for (std::int32_t i = 16; i < n; i += 16) {
    if (i % 32 == 0) _mm_prefetch(reinterpret_cast<const char*>(p + i) + 64, _MM_HINT_T0);
    for (std::int32_t k = 0; k < 4; ++k) acc[k] = Better4<kExtreme>(acc[k], Get8(p + i + 4 * k));
  }
  return AcrossLanes<kExtreme>(
      Better4<kExtreme>(Better4<kExtreme>(acc[0], acc[1]), Better4<kExtreme>(acc[2], acc[3])));
}

template <Extreme kExtreme>
std::int16_t SignedExtreme(const std::int16_t* p, std::int32_t len) {
  std::int32_t i = qvls::ElementsToBoundary(p, sizeof *p, 8, len);
  std::int16_t best = SingleExtreme<kExtreme>(p, 0, i > 0 ? i : 1);
  if (len - i >= 16) {
    const std::int32_t n = (len - i) / 16 * 16;
    __m64 acc = ExtremeOf16s<kExtreme>(p + i, n);
    for (i += n; len - i >= 4; i += 4) acc = Better4<kExtreme>(acc, Get8(p + i));
    acc = AcrossLanes<kExtreme>(acc);
    best = Better<kExtreme>(best, static_cast<std::int16_t>(_mm_cvtsi64_si32(acc)));
    _mm_empty();
  }
  return i < len ? Better<kExtreme>(best, SingleExtreme<kExtreme>(p, i, len)) : best;
}

// The lowest set bit of a 4-bit mask (0 for an empty one, never asked).
constexpr std::int8_t kLowestBit[16] = {0, 0, 1, 0, 2, 0, 1, 0, 3, 0, 1, 0, 2, 0, 1, 0};

// The offset of the first element equal to the value in every lane of
// `target` among n elements from p, which hold it.
std::int32_t FirstMatch(const std::int16_t* p, std::int32_t n, __m64 target) {
  for (std::int32_t i = 0; i < n; i += 16) {
    for (std::int32_t k = 0; k < 16; k += 4) {
      const __m64 equal = _mm_cmpeq_pi16(Get8(p + i + k), target);
      const int mask = _mm_movemask_pi8(_mm_packs_pi16(equal, equal)) & 0xF;
      if (mask != 0) return i + k + kLowestBit[mask];
    }
  }
  return n;  // not reached: the block holds its own extreme
}

template <Extreme kExtreme>
void SearchBlock(const std::int16_t* p, std::int32_t start, std::int32_t count, Found& found) {
  const __m64 extreme = ExtremeOf16s<kExtreme>(p + start, count);
  const auto value = static_cast<std::int16_t>(_mm_cvtsi64_si32(extreme));
  if (Beats<kExtreme>(value, found.value)) {
    found = {value, start + FirstMatch(p + start, count, extreme)};
  }
  _mm_empty();
}

template <Extreme kExtreme>
constexpr auto BlockSearch = SearchInBlocks<kExtreme, 16, 4096, SearchBlock<kExtreme>>;

}  // namespace

QVLS_DEFINE_EXTREME_ENTRIES(a6, SignedExtreme<Extreme::kMin>, SignedExtreme<Extreme::kMax>)
QVLS_DEFINE_INDEX_ENTRIES(a6, BlockSearch<Extreme::kMin>, BlockSearch<Extreme::kMax>)

QVLS_DEFINE_NEAREST_VEC_ENTRY(a6, QVLS_VARIANT_A6)
