// The direct DFT of odd length, a6 variant: 128-bit single precision over
// records {Re s, Re d, Im s, Im d}.
#include "siglib/transforms/dft_direct/direct_vector.h"

void qvlsDFTDirectOdd_cf32_a6_kernel(const float* src, float* dst, std::int32_t n,
                                     std::int32_t direction, const dft_roots_table* roots,
                                     std::uint8_t* work) {
  qvls::dft_direct::DirectVector<qvls::dft_direct::SumDifferenceLayout>(src, dst, n, direction,
                                                                        roots, work);
}
