// The data pump's controller entry. The controller runs it (through the
// host interface's wake callback) each time it writes register 252 or rings
// register 254, and BlockTick runs it once more when a dial sequence has
// ended with a packet waiting.
#pragma once

#include "pump/context/dsp_context.h"

namespace pump {

// Applies a power-state change of register 252, then takes the waiting
// packet and answers it: commands 0x60-0xA4 through CpCommandTable, the
// memory and parameter codes 9-14 through the key tables, anything else
// with DP_ACK. While a dial sequence runs, packets other than 0x60 wait in
// the page. An answer the controller has no room for (register 0 busy) is
// lost.
void DispatchCpPacket(DspContext& context);

// Register 252: 0xD0 (port open) powers the front end up, 0xD1 and 0xD2
// are the low-power states, 0xD3 (port closed) powers it down. A value
// equal to the previous one, or outside 0xD0-0xD3, does nothing.
void ApplyPowerState(DspContext& context);

}  // namespace pump
