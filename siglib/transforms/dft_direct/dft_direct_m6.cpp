// The direct DFT of odd length, m6 variant: the generic variant's
// operations in the same order, so the same bits.
#include "siglib/transforms/dft_direct/direct_scalar.h"

void qvlsDFTDirectOdd_cf32_m6_kernel(const float* src, float* dst, std::int32_t n,
                                     std::int32_t direction, const dft_roots_table* roots,
                                     std::uint8_t* work) {
  qvls::dft_direct::DirectScalar(src, dst, n, direction, roots, work);
}
