// The direct DFT of an odd length N (the primes 5..149), from the definition
// with the inputs n and N - n paired: (N - 1)² real products, no
// trigonometry. Unscaled; nothing checked, nothing allocated.
//
// direction +1 forward, -1 inverse; src and dst hold N elements each and may
// be the same array. roots: the context's direct_roots (with the index
// entries in a6 and w7). work: (N - 1)/2 pair records of four singles, on a
// 16-byte boundary (the a6 and w7 kernels store them with aligned stores).
//
// px and m6 give the same bits (double sums, rounded when stored); a6 and w7
// give the same bits (single precision, 128-bit SIMD, one record per
// multiply-add in two partial sums, the records laid out {Re s, Re d, Im s,
// Im d} in a6 and {Re s, Im s, Re d, Im d} in w7).
#pragma once

#include <cstdint>

#include "siglib/transforms/dft_context/dft_context.h"

using qvlsDFTDirectOdd_cf32_kernel_fn = void(const float* src, float* dst, std::int32_t n,
                                             std::int32_t direction, const dft_roots_table* roots,
                                             std::uint8_t* work);
qvlsDFTDirectOdd_cf32_kernel_fn qvlsDFTDirectOdd_cf32_px_kernel, qvlsDFTDirectOdd_cf32_m6_kernel,
    qvlsDFTDirectOdd_cf32_a6_kernel, qvlsDFTDirectOdd_cf32_w7_kernel;
