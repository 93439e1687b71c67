// The real recombination, generic variant: the table as pairs, the pair
// loop one pair at a time in double.
#include "siglib/transforms/fft_real/fft_real.h"
#include "siglib/transforms/fft_real/real_table.h"
#include "siglib/transforms/fft_real/recombine.h"

float* qvlsFFTInitRealTable_f32_px(std::int32_t n, const float* sine) {
  return qvls::fft_real::BuildPairs(n, sine);
}

void qvlsFFTRealRecombine_f32_px(float* data, std::int32_t h, const float* table) {
  qvls::fft_real::RecombinePairs<double>(data, h, table);
}
