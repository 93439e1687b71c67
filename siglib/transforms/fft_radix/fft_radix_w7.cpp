// The radix passes, w7 variant: the a6 operations in the same order, element
// pairs through the 128-bit integer unit, no prefetch.
#include "siglib/transforms/fft_radix/vector_entries.h"

QVLS_DEFINE_VECTOR_RADIX_KERNELS(w7, qvls::fft_radix::W7Pairs)
