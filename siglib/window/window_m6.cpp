// The windows, m6 variant: the generic double-precision algorithm.
#include "siglib/window/window_entries.h"
#include "siglib/window/window_rules.h"

using qvls::window::Generic;
using qvls::window::Run;
using qvls::window::Shape;

qvls_status qvlsWinHamming_i16_m6(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  return Run(src, dst, len, Generic<Shape::kHamming>);
}

qvls_status qvlsWinHann_i16_m6(const std::int16_t* src, std::int16_t* dst, std::int32_t len) {
  return Run(src, dst, len, Generic<Shape::kHann>);
}

qvls_status qvlsWinHann_i16_ip_m6(std::int16_t* srcdst, std::int32_t len) {
  return Run(srcdst, srcdst, len, Generic<Shape::kHann>);
}
