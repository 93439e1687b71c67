// Minimum, maximum and nearest value, m6 variant.
//
// Plain extremes: each value is mapped by an exclusive-or with 0x8000
// (maximum) or 0x7FFF (minimum) to an unsigned value whose unsigned maximum
// is the signed extreme; max(a, b) = b + (a -sat b). An overlapping first
// load covers the elements before the 8-byte boundary, sixteen elements per
// step go into two accumulators, then four per step, and an overlapping last
// load takes the final four. Fewer than four elements are walked one by one.
//
// Index searches: blocks of 65536 elements (a multiple of eight); each lane
// tracks its extreme and that element's 16-bit offset in the block,
// replacing only on a strict improvement; the lanes are joined by value and,
// on equal values, by the smaller offset.
#include <mmintrin.h>

#include <cstring>

#include "siglib/memory/vector_access.h"
#include "siglib/search/search_entries.h"
#include "siglib/search/search_rules.h"

namespace {

using namespace qvls::search;
using qvls::mmx::Get8;

__m64 UnsignedMax(__m64 a, __m64 b) { return _mm_add_pi16(b, _mm_subs_pu16(a, b)); }

template <Extreme kExtreme>
std::int16_t BiasedExtreme(const std::int16_t* p, std::int32_t len) {
  if (len < 4) return SingleExtreme<kExtreme>(p, 0, len);
  const __m64 flip = _mm_set1_pi16(kExtreme == Extreme::kMax ? INT16_MIN : INT16_MAX);
  auto load = [&](std::int32_t i) { return _mm_xor_si64(Get8(p + i), flip); };
  __m64 acc[2] = {load(0), load(0)};
  std::int32_t i = qvls::ElementsToBoundary(p, sizeof *p, 8, len);
  for (; len - i >= 16; i += 16) {
    acc[0] = UnsignedMax(acc[0], load(i));
    acc[1] = UnsignedMax(acc[1], load(i + 4));
    acc[0] = UnsignedMax(acc[0], load(i + 8));
    acc[1] = UnsignedMax(acc[1], load(i + 12));
  }
  for (; len - i >= 4; i += 4) acc[0] = UnsignedMax(acc[0], load(i));
  if (i < len) acc[0] = UnsignedMax(acc[0], load(len - 4));
  __m64 best = UnsignedMax(acc[0], acc[1]);
  best = UnsignedMax(best, _mm_srli_si64(best, 32));
  best = UnsignedMax(best, _mm_srli_si64(best, 16));
  const auto lane0 = static_cast<std::int16_t>(_mm_cvtsi64_si32(_mm_xor_si64(best, flip)));
  _mm_empty();
  return lane0;
}

// One block of `count` elements (a multiple of 8, at most 65536) from
// `start`, four lanes, eight elements per step.
template <Extreme kExtreme>
void TrackLanes(const std::int16_t* p, std::int32_t start, std::int32_t count, Found& found) {
  const std::int16_t* block = p + start;
  __m64 value = Get8(block);
  __m64 offset = _mm_setr_pi16(0, 1, 2, 3);
  __m64 next = offset;
  const __m64 four = _mm_set1_pi16(4);
  auto take = [&](__m64 x) {
    const __m64 better =
        kExtreme == Extreme::kMin ? _mm_cmpgt_pi16(value, x) : _mm_cmpgt_pi16(x, value);
    value = _mm_or_si64(_mm_and_si64(better, x), _mm_andnot_si64(better, value));
    offset = _mm_or_si64(_mm_and_si64(better, next), _mm_andnot_si64(better, offset));
    next = _mm_add_pi16(next, four);
  };
  next = _mm_add_pi16(next, four);
  take(Get8(block + 4));
  for (std::int32_t k = 8; k < count; k += 8) {
    take(Get8(block + k));
    take(Get8(block + k + 4));
  }
  std::int16_t values[4];
  std::uint16_t offsets[4];
  std::memcpy(values, &value, sizeof values);
  std::memcpy(offsets, &offset, sizeof offsets);
  _mm_empty();
  std::int32_t lane = 0;
  for (std::int32_t k = 1; k < 4; ++k) {
    if (Beats<kExtreme>(values[k], values[lane]) ||
        (values[k] == values[lane] && offsets[k] < offsets[lane])) {
      lane = k;
    }
  }
  if (Beats<kExtreme>(values[lane], found.value)) found = {values[lane], start + offsets[lane]};
}

template <Extreme kExtreme>
constexpr auto LaneTracking = SearchInBlocks<kExtreme, 8, 65536, TrackLanes<kExtreme>>;

}  // namespace

QVLS_DEFINE_EXTREME_ENTRIES(m6, BiasedExtreme<Extreme::kMin>, BiasedExtreme<Extreme::kMax>)
QVLS_DEFINE_INDEX_ENTRIES(m6, LaneTracking<Extreme::kMin>, LaneTracking<Extreme::kMax>)

QVLS_DEFINE_NEAREST_VEC_ENTRY(m6, QVLS_VARIANT_M6)
