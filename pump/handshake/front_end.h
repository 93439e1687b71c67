// The receive front end of the handshake states: the input block widened,
// this modem's own tone taken out by the rejection filter (1300 Hz while
// originating, 2100 Hz while answering), then the context's AGC. The
// detectors hear the AGC's output.
#pragma once

#include <cstdint>
#include <span>

#include "pump/context/dsp_context.h"

namespace pump {

enum HandshakeFrontEndFlags : unsigned {
  kFrontEndAgc = 4,              // the AGC over the plain block
  kFrontEndRejectionAndAgc = 6,  // the rejection filter, then the AGC
};

struct FrontEndBlock {
  std::span<const std::int32_t> samples;   // the block as heard
  std::span<const std::int32_t> filtered;  // after the rejection filter (flags 6)
  std::span<const std::int32_t> levelled;  // after the AGC
};

// Binds the rejection filter for the call's direction and clears it.
void InitHandshakeFrontEnd(DspContext& context);

// The current input block through the front end.
FrontEndBlock RunHandshakeFrontEnd(DspContext& context, unsigned flags);

}  // namespace pump
