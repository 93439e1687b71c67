// The real recombination, w7 variant: the a6 arithmetic with 16-byte element
// moves and no prefetch.
#include "siglib/transforms/fft_radix/element_pairs.h"
#include "siglib/transforms/fft_real/fft_real.h"
#include "siglib/transforms/fft_real/real_table.h"
#include "siglib/transforms/fft_real/recombine.h"

float* qvlsFFTInitRealTable_f32_w7(std::int32_t n, const float* sine) {
  return qvls::fft_real::BuildGroups(n, sine);
}

void qvlsFFTRealRecombine_f32_w7(float* data, std::int32_t h, const float* table) {
  qvls::fft_real::RecombineFours<qvls::fft_radix::W7Pairs>(data, h, table);
}
