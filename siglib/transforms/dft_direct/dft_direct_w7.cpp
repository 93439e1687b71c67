// The direct DFT of odd length, w7 variant: a6's operations over records
// {Re s, Im s, Re d, Im d}, so a6's bits.
#include "siglib/transforms/dft_direct/direct_vector.h"

void qvlsDFTDirectOdd_cf32_w7_kernel(const float* src, float* dst, std::int32_t n,
                                     std::int32_t direction, const dft_roots_table* roots,
                                     std::uint8_t* work) {
  qvls::dft_direct::DirectVector<qvls::dft_direct::PairLayout>(src, dst, n, direction, roots, work);
}
