// What the controller state machine, its start-up and its reset call of
// the link protocols, the fax services and the voice service. Until they
// are built, controller/standin defines these entries.
#pragma once

#include <cstdint>

namespace vxctl {

// Link protocols (ec_poll is the core's: services/link_protocols.h).
void ec_stop();
// One V.80 step, the V.80 reset, and its start on the DTE side after the
// connect report.
void v80_poll();
void v80_reset();
void v80_activate();
// V.44's default capabilities and negotiation parameters.
void v44_default_capabilities();
void v44_reset_parameters();

// Fax services. One step of the session: 1 when no fax class is set.
std::uint8_t fax_poll();
void fax_timer_tick();
void fax_set_class(std::uint8_t fax_class, std::uint8_t verbose, std::uint8_t mode);
void fax_reset(std::uint8_t how);

// Voice service. One step: 0 nothing to report.
std::uint8_t voice_run();
void voice_timer_tick();
void voice_enter(std::uint8_t how);
void voice_set_command_state();

}  // namespace vxctl
