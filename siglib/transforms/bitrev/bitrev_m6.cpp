// Bit reversal, m6 variant: the fixed-point in-place twin (m6 takes its
// swap-list builder from a6).
#include "siglib/transforms/bitrev/bitrev.h"
#include "siglib/transforms/bitrev/bitrev_packed.h"

void qvlsBitReverse_ci32_ip_m6(void* data, std::int32_t n, const std::int32_t* list) {
  qvls::bitrev::PermutePacked(data, n, list);
}
