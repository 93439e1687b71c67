// The square root, a6 variant: see sqrt_a6_kernel.h.
#include "siglib/sqrt/sqrt_a6_kernel.h"
#include "siglib/sqrt/sqrt_entries.h"
#include "siglib/sqrt/sqrt_rules.h"

qvls_status qvlsSqrt_i16_ip_sc_a6(std::int16_t* srcdst, std::int32_t len, std::int32_t sf) {
  return qvls::sqrt::Run(srcdst, len, sf, [](std::int16_t* p, std::int32_t n, std::int32_t s) {
    return qvls::sqrt::a6::Kernel(p, n, s, qvls::sqrt::HardwareRsqrt{});
  });
}
