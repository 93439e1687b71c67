// Bit reversal, a6 variant: the swap-list and quarter-list builders, the
// fixed-point in-place twin and the float engine's permutations.
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/bitrev/bitrev_lists.h"
#include "siglib/transforms/bitrev/bitrev_packed.h"

std::int32_t* qvlsFFTSwapList_i32_a6(std::int32_t order) {
  return qvls::bitrev::BuildSwapList(order);
}

std::int32_t* qvlsFFTQuarterBitRevList_i32_a6(std::int32_t order) {
  return qvls::bitrev::BuildQuarterList(order);
}

void qvlsBitReverse_ci32_ip_a6(void* data, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermutePacked(data, n, list);
}

void qvlsBitReverse_cf32_ip_a6(void* data, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermutePacked(data, n, list);
}

void qvlsBitReverse_cf32_a6(const void* src, void* dst, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermuteOutOfPlacePacked(src, dst, n, list);
}
