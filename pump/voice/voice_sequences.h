// The voice sequence tables: one transmit and one receive entry per
// sequence type, each running until replaced.
#pragma once

#include <cstdint>

#include "pump/context/dsp_context.h"

namespace pump {

// Both voice machines to the entries of `type` (0-5; any other is 5),
// without touching the streams.
void GoVoiceSequences(DspContext& context, std::int32_t type);

}  // namespace pump
