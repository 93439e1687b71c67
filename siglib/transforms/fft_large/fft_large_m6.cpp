// The large-order FFT, m6 variant: the px routines in m6's own entries, over
// its radix passes, px's radix tables and multiply by a constant, and its
// own block table.
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/fft_large/large_entries.h"
#include "siglib/transforms/fft_large/scalar_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"

QVLS_DEFINE_SCALAR_LARGE_FFT(m6)
