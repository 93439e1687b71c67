// The fixed-point FFT, generic variant: scalar 32-bit arithmetic with the
// rounded Q14 product. Its conversions are the generic ones of the
// conversion family.
#include "siglib/transforms/fixed_fft/fixed_fft.h"
#include "siglib/transforms/fixed_fft/q14_tables.h"
#include "siglib/transforms/fixed_fft/radix_passes.h"
#include "siglib/transforms/fixed_fft/real_recombine.h"
#include "siglib/transforms/fixed_fft/scalar_arithmetic.h"

using qvls::fixed_fft::ScalarArithmetic;

std::int16_t* qvlsFFTSineTable_i16_px(std::int32_t order) {
  return qvls::fixed_fft::BuildSineTable(order);
}

std::int16_t* qvlsFFTTwiddleTable_ci16_px(std::int32_t order, const std::int16_t* sine,
                                          std::int32_t sine_order) {
  return qvls::fixed_fft::BuildTwiddleTable(order, sine, sine_order);
}

void qvlsFFTFwdRadix_ci32_ip_px_kernel(std::int32_t* data, std::int32_t n,
                                       const std::int16_t* twiddles) {
  qvls::fixed_fft::ForwardRadix<ScalarArithmetic>(data, n, twiddles);
}

void qvlsFFTRealRecombine_i32_px(std::int32_t* data, std::int32_t m, const std::int16_t* twiddles) {
  qvls::fixed_fft::RealRecombine<ScalarArithmetic>(data, m, twiddles);
}
