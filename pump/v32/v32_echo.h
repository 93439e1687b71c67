// The mode's echo canceller on the context: cleared at each start and
// retrain with the near taps placed behind the front end's latency.
#pragma once

#include <cstdint>

#include "afe/windows/afe_contract.h"
#include "pump/context/dsp_context.h"

namespace pump {

// Clears the canceller; its near taps start the front end's round trip
// behind the newest symbol; it adapts except in loopback.
void V32EchoReset(DspContext& context);

namespace v32 {
// The front end's round trip (its latency blocks of 48 samples and its
// sample offset, less the nine of the receiver's Hilbert pair), in history
// entries: two a symbol, even.
std::uint32_t EchoLatencyEntries(const afe::AfeInfo& info);
}  // namespace v32

}  // namespace pump
