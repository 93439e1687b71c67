// The real recombination, a6 variant: the table in groups of four, four
// pairs per step in single precision with 64-bit element moves, prefetching
// the next data from both ends and the next table group.
#include "siglib/transforms/fft_radix/element_pairs.h"
#include "siglib/transforms/fft_real/fft_real.h"
#include "siglib/transforms/fft_real/real_table.h"
#include "siglib/transforms/fft_real/recombine.h"

float* qvlsFFTInitRealTable_f32_a6(std::int32_t n, const float* sine) {
  return qvls::fft_real::BuildGroups(n, sine);
}

void qvlsFFTRealRecombine_f32_a6(float* data, std::int32_t h, const float* table) {
  qvls::fft_real::RecombineFours<qvls::fft_radix::A6Pairs>(data, h, table);
}
