// What the DTE interface's files share among themselves.
#pragma once

#include "layer2/corecode/dte/dte_interface.h"
#include "layer2/corecode/dte/dte_state.h"

namespace vxctl {

// Re-arms the escape detector: count and leading guard 0, the prescaler
// and the guard countdown reloaded.
void dte_escape_arm(DteEscapeState& escape);

// Sleeps 1 ms of the machine's time.
void dte_delay_1ms();

// The wait of the command flush and the fax drain: loads the command
// interpreter's 500-tick counter, then until `drained` pushes, runs the
// command interpreter's ticks and sleeps 1 ms. Gives up when the port
// closes, or when the counter runs out: raises the assertion hook of
// `module` at `line` once and calls `give_up`. Says which of the three
// ended it.
DteFlushResult dte_wait_drained(bool (*drained)(), void (*push)(), const char* module,
                                unsigned line, void (*give_up)());

}  // namespace vxctl
