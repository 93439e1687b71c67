// What the controller core calls of the command interpreter and the line
// services. Until they are built, controller/standin defines these entries.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// Caller-ID reporting is on ("+VCID"): non-zero.
std::uint8_t acu_caller_id_enabled();

// The modem-on-hold grant the data pump reported, which "+PMHR" reads.
std::atomic<std::uint8_t>& acu_moh_grant();

// Acts on the data pump's call-progress notification, read from the
// controller's copy of the last packet taken (DspTransportState::rx).
void RING_dsp_event();

}  // namespace vxctl
