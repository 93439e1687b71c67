// The fixed-point FFT, w7 variant: packed arithmetic with the truncating Q14
// product, word pairs built by word shuffles (the arithmetic a6 and w7
// share), and its own twiddle-table builder.
#include "siglib/transforms/fixed_fft/packed_entries.h"

QVLS_DEFINE_PACKED_FIXED_FFT(w7, qvls::fixed_fft::A6Arithmetic)

std::int16_t* qvlsFFTTwiddleTable_ci16_w7(std::int32_t order, const std::int16_t* sine,
                                          std::int32_t sine_order) {
  return qvls::fixed_fft::BuildTwiddleTable(order, sine, sine_order);
}
