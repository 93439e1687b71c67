// What the controller core calls of the command interpreter and the line
// services. Until they are built, controller/standin defines these entries.
#pragma once

#include <atomic>
#include <cstdint>

namespace vxctl {

// The controller runs (1 after its initialisation at open, 0 after the
// close work); the port delivers the application's characters only then.
std::atomic<std::uint8_t>& acu_running();

// Caller-ID reporting is on ("+VCID"): non-zero.
std::uint8_t acu_caller_id_enabled();

// The modem-on-hold grant the data pump reported, which "+PMHR" reads.
std::atomic<std::uint8_t>& acu_moh_grant();

// Acts on the data pump's call-progress notification, read from the
// controller's copy of the last packet taken (DspTransportState::rx).
void RING_dsp_event();

}  // namespace vxctl
