// Bit reversal, m6 variant: the fixed-point in-place twin and the float
// engine's permutations (m6 takes its swap-list builder from a6).
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/bitrev/bitrev_packed.h"

void qvlsBitReverse_ci32_ip_m6(void* data, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermutePacked(data, n, list);
}

void qvlsBitReverse_cf32_ip_m6(void* data, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermutePacked(data, n, list);
}

void qvlsBitReverse_cf32_m6(const void* src, void* dst, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermuteOutOfPlacePacked(src, dst, n, list);
}
