// The fixed-point FFT, m6 variant: packed arithmetic with the truncating Q14
// product, word pairs built by unpacking. m6 takes its twiddle-table builder
// from a6.
#include "siglib/transforms/fixed_fft/packed_entries.h"

QVLS_DEFINE_PACKED_FIXED_FFT(m6, qvls::fixed_fft::M6Arithmetic)
