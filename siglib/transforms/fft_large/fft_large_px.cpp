// The large-order FFT, generic variant: interleaved data, double
// intermediates, the block path at orders 11 and 12 (and for the 2048- and
// 4096-point chunks of 21 and 22) with its blocked radix-2 merges.
#include "siglib/transforms/fft_exec/fft_exec.h"
#include "siglib/transforms/fft_large/large_entries.h"
#include "siglib/transforms/fft_large/scalar_large.h"
#include "siglib/transforms/fft_radix/fft_radix.h"

QVLS_DEFINE_SCALAR_LARGE_FFT(px)
