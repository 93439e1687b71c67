// The controller's background pass and its parts: the dispatch of the
// queued events and the event sources that turn the modem task's state
// into events.
#pragma once

#include <cstdint>

namespace vxctl {

// (acu_run, acu_init and acu_timer_service are declared with the core's
// entries in layer2/corecode/mt/services/command_interpreter.h.)

// The poll routine of the current state and its variant, when it has one.
void acu_poll_state();
// EvDteChar, the DTR edges and RTS, the event sources, then every queued
// event through the tables, each followed by the line services' step.
void acu_dispatch_events();
void acu_event_sources();
// The tick work of every 10 ms, 100 ms, 1 s and 1 min tick counted since
// the last call.
void acu_tick();

// The controller's state byte, as the state machine moves it.
void acu_set_state(std::uint8_t state);

}  // namespace vxctl
