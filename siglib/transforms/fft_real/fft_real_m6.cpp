// The real recombination, m6 variant: the px operations in its own entries.
#include "siglib/transforms/fft_real/fft_real.h"
#include "siglib/transforms/fft_real/real_table.h"
#include "siglib/transforms/fft_real/recombine.h"

float* qvlsFFTInitRealTable_f32_m6(std::int32_t n, const float* sine) {
  return qvls::fft_real::BuildPairs(n, sine);
}

void qvlsFFTRealRecombine_f32_m6(float* data, std::int32_t h, const float* table) {
  qvls::fft_real::RecombinePairs<double>(data, h, table);
}
