// The one-sample operation around a variant's dot product: the sample is
// written at positions index and index + len, so that after index advances
// the window index .. index+len-1 (oldest first, ending with the sample)
// stays contiguous without moving anything; then the window times the taps.
#pragma once

#include <cstdint>

#include "siglib/fir/fir_checks.h"
#include "siglib/fir/fir_scaling.h"
#include "siglib/fir/fir_state.h"
#include "siglib/frame/unaligned.h"

namespace qvls::fir {

// dot(h, window) returns the sum of the taps times window[0 .. len-1].
template <Layout kLayout, LargeShifts kLarge, class Dot>
qvls_status OneSample(std::int16_t x, std::int16_t* out, fir_state* state, std::int32_t sf,
                      Dot&& dot) {
  fir_state h;
  if (const qvls_status status = CheckSample(out, state, kLayout, h); status != QVLS_OK) {
    return status;
  }
  std::int16_t* delay = ArrayAt<std::int16_t>(state, h.delay);
  StoreAt(delay, h.index, x);
  StoreAt(delay, h.index + h.len, x);
  const std::int32_t index = h.index + 1 == h.len ? 0 : h.index + 1;
  const std::uint32_t sum = dot(h, delay + index);
  StoreAt(out, 0, ScaleOutput(sum, OutputScaleFor<kLarge>(ScaleExponent(h.taps_factor, sf))));
  WriteIndex(state, index);
  return QVLS_OK;
}

}  // namespace qvls::fir
