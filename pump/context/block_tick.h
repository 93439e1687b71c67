// BlockTick: the data pump's work for one block of samples, called once per
// ready block by the block thread (followed by AdvanceAfeBlock). Nothing
// runs until the first successful reset command allocated the mode
// resources; then each tick resets the sample cursors, runs the line
// monitor and the mode block handler, and dispatches a controller packet
// that waited for a dial sequence to end.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

void BlockTick(DspContext& context);

// The line monitor (run by BlockTick before the mode block handler): it
// follows the controller's hook relay (register 242 bit 2) by stopping and
// starting the front end's line interface, and with the line-current check
// of Profile word 1 it stops the line after a run of high measurements,
// idles the modem, reports event 10 in register 56 and keeps the line
// stopped for 1000 ticks.
void RunLineMonitor(DspContext& context);

}  // namespace pump
