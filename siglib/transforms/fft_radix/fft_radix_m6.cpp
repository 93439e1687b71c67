// The radix passes, m6 variant: the generic passes in its own entries.
#include "siglib/transforms/fft_radix/fft_radix.h"
#include "siglib/transforms/fft_radix/scalar_passes.h"

using qvls::fft_radix::Direction;

void qvlsFFTFwdRadix_cf32_ip_m6_kernel(float* data, std::int32_t n, const float* twiddles) {
  qvls::fft_radix::ScalarPasses<Direction::kForward>(data, n, twiddles);
}

void qvlsFFTInvRadix_cf32_ip_m6_kernel(float* data, std::int32_t n, const float* twiddles) {
  qvls::fft_radix::ScalarPasses<Direction::kInverse>(data, n, twiddles);
}
