// The radix passes, a6 variant: 128-bit single precision, element pairs
// through 64-bit single-precision moves, twiddles prefetched in the span-256
// pass.
#include "siglib/transforms/fft_radix/vector_entries.h"

QVLS_DEFINE_VECTOR_RADIX_KERNELS(a6, qvls::fft_radix::A6Pairs)
