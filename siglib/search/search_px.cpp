// Minimum, maximum and nearest value, generic variant. The plain extremes
// keep two running candidates for the even and the odd elements, four
// elements per step, then the rest; the index searches walk from element 1
// upward.
#include "siglib/search/search_entries.h"
#include "siglib/search/search_rules.h"

namespace {

using namespace qvls::search;
using qvls::LoadAt;

template <Extreme kExtreme>
std::int16_t EvenOddExtreme(const std::int16_t* p, std::int32_t len) {
  std::int16_t even = LoadAt(p, 0);
  std::int16_t odd = even;
  std::int32_t i = 1;
  for (; len - i >= 4; i += 4) {
    odd = Better<kExtreme>(LoadAt(p, i), odd);
    even = Better<kExtreme>(LoadAt(p, i + 1), even);
    odd = Better<kExtreme>(LoadAt(p, i + 2), odd);
    even = Better<kExtreme>(LoadAt(p, i + 3), even);
  }
  for (; i < len; ++i) even = Better<kExtreme>(LoadAt(p, i), even);
  return Better<kExtreme>(even, odd);
}

template <Extreme kExtreme>
Found FirstExtreme(const std::int16_t* p, std::int32_t len) {
  Found found{LoadAt(p, 0), 0};
  Walk<kExtreme>(p, 1, len, found);
  return found;
}

}  // namespace

QVLS_DEFINE_EXTREME_ENTRIES(px, EvenOddExtreme<Extreme::kMin>, EvenOddExtreme<Extreme::kMax>)
QVLS_DEFINE_INDEX_ENTRIES(px, FirstExtreme<Extreme::kMin>, FirstExtreme<Extreme::kMax>)

QVLS_DEFINE_NEAREST_ENTRY(px)
QVLS_DEFINE_NEAREST_VEC_ENTRY(px, QVLS_VARIANT_PX)
